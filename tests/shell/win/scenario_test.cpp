// The whole main frame as the program builds it (MakeApplicationParts), against a simulated
// card, driven the way a technician works: menus, accelerators, clicks at computed points. Each
// window adds its steps here; the modal questions and the shell are answered by fakes.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "doc/document_file.h"
#include "doc/script.h"
#include "logic/win/parameters_panel.h"
#include "logic/win/tuning_frame.h"
#include "scenario_fixture.h"

using namespace frame_test;

namespace {

TEST_F(Scenario, ATechnicianStartsANewDocumentAndConnectsToTheCard) {
  MainFrame& frame = *rig->frame;
  // The program starts: title, status, both tabs, the strip, every menu of the bar.
  EXPECT_EQ(WindowTitle(frame.window), L"TrevnaConf");
  EXPECT_EQ(frame.StatusView().Text(), WideFromUtf8("Nie połączony"));
  HMENU bar = GetMenu(frame.window);
  ASSERT_EQ(GetMenuItemCount(bar), 7);
  const char* titles[] = {"&Plik", "&Edycja", "&Widok", "W&staw", "P&ołączenie", "&Narzędzia", "Po&moc"};
  for (int i = 0; i < 7; ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(bar, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), WideFromUtf8(titles[i]));
  }
  EXPECT_TRUE(rig->MenuState(IDM_DEVICE_PROGRAM) & MF_GRAYED);

  // Ctrl+N on the editor's tab, saved under a name with "Zapisz jako" (Ctrl+S is greyed while
  // nothing changed, so its accelerator does nothing): the title follows.
  rig->ClickTab(1);
  EXPECT_EQ(frame.Tabs().CurrentTab(), 1);
  rig->Key(frame.Tabs().Handle(), 'N', true);
  EXPECT_EQ(WindowTitle(frame.window), L"TrevnaConf");
  const auto path = folder.Path() / "nowy.trv";
  files->path = Cp1250FromWide(path.wstring());
  EXPECT_TRUE(rig->MenuState(IDM_FILE_SAVE) & MF_GRAYED);
  rig->Key(frame.Tabs().Handle(), 'S', true);
  EXPECT_EQ(WindowTitle(frame.window), L"TrevnaConf");
  rig->Command(IDM_FILE_SAVE_AS);
  EXPECT_EQ(WindowTitle(frame.window), path.wstring() + L" - TrevnaConf");

  // The card is opened (the login dialog's request) and the connection commands come alive.
  ASSERT_TRUE(frame.CardConnection().PostOpen(FrameCards::kNormal, cards.user, cards.password));
  EXPECT_TRUE(rig->PumpUntil([&] { return frame.CardConnection().IsConnected(); }, 30000))
      << Utf8FromWide(frame.StatusView().Text());
  EXPECT_FALSE(rig->MenuState(IDM_DEVICE_PROGRAM) & MF_GRAYED);
  EXPECT_TRUE(rig->MenuState(IDM_CONNECTION_OPEN) & MF_GRAYED);
  // "Rozłącz" closes the link.
  rig->Command(IDM_CONNECTION_CLOSE);
  EXPECT_TRUE(rig->PumpUntil([&] { return !frame.CardConnection().IsConnected(); }, 30000));
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
}

TEST_F(Scenario, ATechnicianDrawsDetectorsDefinesOutputsAndProgramsTheCard) {
  MainFrame& frame = Frame();
  rig->ClickTab(1);
  rig->Key(frame.Tabs().Handle(), 'N', true);
  ASSERT_EQ(Editor().Geometry().pictures, 2);

  // Two detectors on A, one on B, each inserted from the menu after a click into the pane.
  for (int track : {0, 0, 1}) {
    if (Editor().Editor().CurrentTrack() != track) Click(track, {120, 10});
    rig->Command(IDM_INSERT_QUAD);
  }
  ASSERT_EQ(State().detectors.size(), 3u);
  std::vector<std::string> names;
  for (const Detector& d : State().detectors) names.push_back(DetectorName(d.track, d.number));
  EXPECT_EQ(names, (std::vector<std::string>{"A1", "A2", "B1"}));
  ASSERT_EQ(State().selected, 2);

  // B1's first vertex dragged 5 right and 3 down; then one eraser stroke across it.
  const CanvasPoint vertex = State().detectors[2].vertices[0];
  Drag(1, vertex, {vertex.x + 5, vertex.y + 3});
  EXPECT_EQ(State().detectors[2].vertices[0].x, vertex.x + 5);
  EXPECT_EQ(State().detectors[2].vertices[0].y, vertex.y + 3);
  const auto& v = State().detectors[2].vertices;
  const CanvasPoint middle{(v[0].x + v[2].x) / 2, (v[0].y + v[2].y) / 2};
  rig->Command(kCommandEraserTool);
  const std::size_t revisions = Frame().Doc().RevisionCount();
  Drag(1, {middle.x - 6, middle.y}, {middle.x + 6, middle.y});
  EXPECT_EQ(Frame().Doc().RevisionCount(), revisions + 1) << "one revision per stroke";
  EXPECT_TRUE(State().detectors[2].eraser.Read().HasBlack());
  rig->Command(kCommandPointerTool);

  // A1 selected with the mouse (the first click only makes A current); its delay typed into the
  // parameters panel as "0,5".
  const auto& a1 = State().detectors[0].vertices;
  const CanvasPoint inA1{(a1[0].x + a1[2].x) / 2, (a1[0].y + a1[2].y) / 2};
  Click(0, inA1);
  Click(0, inA1);
  ASSERT_EQ(State().selected, 0);
  HWND delay = GetDlgItem(dynamic_cast<Inspector&>(frame.Parameters()).Handle(), IDC_PARAMETERS_DELAY);
  SendMessageW(delay, EM_SETSEL, 0, -1);
  SendMessageW(delay, WM_CHAR, VK_BACK, 0);
  for (wchar_t c : std::wstring(L"0,5")) SendMessageW(delay, WM_CHAR, c, 0);
  rig->Idle();
  EXPECT_EQ(State().detectors[0].delay, 500);

  // Y1 = (A1 | B1) and Y2 = A2 defined with clicks and the definition editor's menu.
  dynamic_cast<ComposerFrame&>(frame.Definitions()).View().SetMenuChooser(&trevna_test::MenuUser::Choose, &menuUser);
  PickInDefinitions(0, "", "&Suma");
  PickInDefinitions(0, "A", "A1");
  PickInDefinitions(0, "B", "B1");
  PickInDefinitions(1, "", "A2");
  EXPECT_EQ(PrintScript(State()).substr(0, 26), "Y1 = (A1 | B1)\nY2 = A2\nY3 ");

  // Saved with Ctrl+S: the file holds what the engine writes for this document, and reopening
  // it with Ctrl+O gives a document that is written the same way again.
  const auto path = folder.Path() / "scenariusz.trv";
  files->path = Cp1250FromWide(path.wstring());
  const std::string expected = SerializeDocument(State(), files->path).Joined();
  rig->Key(frame.Tabs().Handle(), 'S', true);
  EXPECT_EQ(WindowTitle(frame.window), path.wstring() + L" - TrevnaConf");
  const std::string saved = ReadWholeFile(files->path);
  EXPECT_EQ(saved, expected);
  rig->Key(frame.Tabs().Handle(), 'O', true);
  EXPECT_EQ(Frame().Doc().RevisionCount(), 1u) << "the history is the one loaded revision";
  EXPECT_EQ(SerializeDocument(State(), files->path).Joined(), saved);
  EXPECT_EQ(State().detectors.at(0).delay, 500);

  // "Symulator 1" is heard in the device list; choosing it brings its pictures into the live view.
  ChooseSimulator();
  if (HasFatalFailure()) return;

  // Logged in, the document goes to the card with Ctrl+F7: the card reads its program and
  // restarts, which ends the link.
  LogIn();
  const std::size_t logBefore = cards.Log("127.0.0.2").size();
  const auto cardLog = [&] { return cards.Log("127.0.0.2").substr(logBefore); };
  rig->Key(frame.Tabs().Handle(), VK_F7, true);
  EXPECT_TRUE(rig->PumpUntil([&] { return cardLog().find("\"alias\":\"scenariusz\"") != std::string::npos; }, 60000))
      << Utf8FromWide(frame.StatusView().Text());
  EXPECT_NE(cardLog().find("\"detectors\":3"), std::string::npos) << cardLog();
  EXPECT_TRUE(rig->PumpUntil([&] { return !frame.CardConnection().IsConnected(); }, 30000));
  // The card listens again only once its restart is over.
  EXPECT_TRUE(rig->PumpUntil([&] { return cardLog().find("\"event\":\"restarted\"") != std::string::npos; }, 30000));

  // Logged in again, "download program" brings back the same file.
  LogIn();
  const auto copy = folder.Path() / "z karty.trv";
  files->path = Cp1250FromWide(copy.wstring());
  rig->Command(IDM_DEVICE_DOWNLOAD_PROGRAM);
  EXPECT_TRUE(rig->PumpUntil([&] { return std::filesystem::exists(copy) && frame.CardConnection().SlotFree(); }, 30000))
      << Utf8FromWide(frame.StatusView().Text());
  EXPECT_EQ(ReadWholeFile(files->path), saved);

  // "Archiwum": the folders and the first folder's files listed, its first file downloaded into
  // a folder typed without a trailing separator.
  const trevna_test::TempFolder target{"frame-scenario-archive"};
  const auto itemText = [](HWND d, int id, int index) {
    const HWND box = GetDlgItem(d, id);
    std::wstring text(static_cast<std::size_t>(SendMessageW(box, LB_GETTEXTLEN, index, 0)), L'\0');
    SendMessageW(box, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return Utf8FromWide(text);
  };
  const auto listed = [](HWND d, int id) { return SendMessageW(GetDlgItem(d, id), LB_GETCOUNT, 0, 0) > 0; };
  const auto press = [](HWND d, int id) {
    SendMessageW(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(d, id)));
  };
  const auto idle = [&](HWND) { return frame.CardConnection().SlotFree(); };
  std::string archiveFolder, archiveFile;
  const std::string failure = trevna_test::ModalDriver::Run(
      [&] { SendMessageW(frame.window, WM_COMMAND, IDM_ARCHIVE_DOWNLOAD, 0); },
      {{"type the target, refresh",
        [&](HWND d) {
          if (!GetDlgItem(d, IDC_ARCHIVE_TARGET)) return false;
          SetDlgItemTextW(d, IDC_ARCHIVE_TARGET, target.Path().wstring().c_str());
          press(d, IDC_ARCHIVE_REFRESH);
          return true;
        }},
       {"folders listed", [&](HWND d) { return listed(d, IDC_ARCHIVE_FOLDERS) && idle(d); }},
       {"choose the first folder",
        [&](HWND d) {
          const HWND folders = GetDlgItem(d, IDC_ARCHIVE_FOLDERS);
          SendMessageW(folders, LB_SETCURSEL, 0, 0);
          SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_ARCHIVE_FOLDERS, LBN_SELCHANGE), reinterpret_cast<LPARAM>(folders));
          return true;
        }},
       {"files listed", [&](HWND d) { return listed(d, IDC_ARCHIVE_FILES) && idle(d); }},
       {"download the first file",
        [&](HWND d) {
          archiveFolder = itemText(d, IDC_ARCHIVE_FOLDERS, 0);
          archiveFile = itemText(d, IDC_ARCHIVE_FILES, 0);
          SendMessageW(GetDlgItem(d, IDC_ARCHIVE_FILES), LB_SETSEL, TRUE, 0);
          press(d, IDC_ARCHIVE_DOWNLOAD);
          return true;
        }},
       {"file marked", [&](HWND d) { return itemText(d, IDC_ARCHIVE_FILES, 0) == archiveFile + "  [S]" && idle(d); }},
       {"close", [&](HWND d) {
          press(d, IDCANCEL);
          return true;
        }}});
  EXPECT_EQ(failure, "") << Utf8FromWide(frame.StatusView().Text());
  const std::filesystem::path local = target.Path() / archiveFolder / archiveFile;
  const std::filesystem::path onCard = std::filesystem::path(cards.state) / "127.0.0.2" / "usbdrive" / archiveFolder / archiveFile;
  ASSERT_TRUE(std::filesystem::exists(local)) << local;
  EXPECT_EQ(ReadWholeFile(Cp1250FromWide(local.wstring())), ReadWholeFile(Cp1250FromWide(onCard.wstring())));

  // Tuning: with A1 selected in the editor and F12, the card sends A1's counts; a click on the
  // graph, answered Yes, applies the values the read-outs showed in one undo step.
  rig->ClickTab(1);
  Click(0, inA1);
  if (State().selected != 0) Click(0, inA1);
  ASSERT_EQ(State().selected, 0);
  rig->Key(frame.Tabs().Handle(), VK_F12);
  auto& tuning = dynamic_cast<TuningFrame&>(frame.Tuning());
  EXPECT_TRUE(IsWindowVisible(tuning.Handle()));
  struct Yes : TuningQuestions {
    int asked = 0;
    bool ConfirmApply(HWND) override { return ++asked > 0; }
  } yes;
  tuning.SetQuestions(&yes);
  const auto total = [&] { return tuning.State().Sums()[device::TuningState::kValues - 1]; };
  EXPECT_TRUE(rig->PumpUntil([&] { return total() > 0; }, 30000)) << "no counts of A1 from the card";
  RECT graph{};
  GetClientRect(tuning.View().window, &graph);
  const POINT onGraph{graph.right / 2, graph.bottom / 4};
  Send(tuning.View().window, WM_MOUSEMOVE, onGraph);
  const auto readout = [&](int id) {
    wchar_t text[32] = L"";
    GetDlgItemTextW(tuning.Handle(), id, text, 32);
    return std::wstring(text);
  };
  const std::wstring feature = readout(TuningFrame::kHorizontalReadout), threshold = readout(TuningFrame::kVerticalReadout);
  const std::size_t beforeTuning = Frame().Doc().RevisionCount();
  Send(tuning.View().window, WM_LBUTTONDOWN, onGraph, MK_LBUTTON);
  tuning.SetQuestions(nullptr);
  EXPECT_EQ(yes.asked, 1);
  EXPECT_EQ(Frame().Doc().RevisionCount(), beforeTuning + 1);
  EXPECT_EQ(std::to_wstring(State().detectors[0].featureThreshold), feature);
  EXPECT_EQ(std::to_wstring(State().detectors[0].threshold), threshold);

  // The output test (F11): Y2 ticked reaches the card's live stream replies as forced outputs.
  const std::size_t beforeForcing = cards.Log("127.0.0.2").size();
  const std::regex forcedY2("\"stream-reply\".*\"forced\":2[^0-9]");
  const std::string forcing = trevna_test::ModalDriver::Run(
      [&] { rig->Key(frame.Tabs().Handle(), VK_F11); },
      {{"tick Y2",
        [&](HWND d) {
          if (!GetDlgItem(d, IDC_FORCE_Y1 + 1)) return false;
          SendMessageW(GetDlgItem(d, IDC_FORCE_Y1 + 1), BM_CLICK, 0, 0);
          return true;
        }},
       {"the card's replies force Y2",
        [&](HWND) { return std::regex_search(cards.Log("127.0.0.2").substr(beforeForcing), forcedY2); }},
       {"close", [&](HWND d) {
          SendMessageW(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0);
          return true;
        }}});
  EXPECT_EQ(forcing, "");
  EXPECT_FALSE(frame.OutputTest().Read().open);

  // "Rozłącz".
  rig->Command(IDM_CONNECTION_CLOSE);
  EXPECT_TRUE(rig->PumpUntil([&] { return !frame.CardConnection().IsConnected(); }, 30000));
  // The worker reports the end after it let the connection go: the status comes a moment later.
  EXPECT_TRUE(rig->PumpUntil([&] { return frame.StatusView().Text() == WideFromUtf8("Nie połączony"); }))
      << Utf8FromWide(frame.StatusView().Text());
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
}

}  // namespace
