#include "app/win/main_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "app/win/tab_view.h"
#include "app/win/toolbar.h"
#include "doc/editor_commands.h"
#include "doc/win/main_view.h"
#include "resource_ids.h"
#include "shell/win/error_box.h"
#include "support/files.h"
#include "frame_test_support.h"

using namespace frame_test;

namespace {

bool Contains(const Log& log, const std::string& entry) {
  return std::find(log.begin(), log.end(), entry) != log.end();
}

std::string Joined(const Log& log) {
  std::string all;
  for (const auto& e : log) all += e + "; ";
  return all;
}

// Every identifier of the command table and what its action leaves behind. Connection
// requests that need a card are covered by the programming tests against the simulator.
struct Route {
  UINT id;
  std::string expected;  // an entry of the log, or "" when `check` decides
  std::function<bool(FrameRig&)> check = {};
};

std::vector<Route> RoutingTable() {
  std::vector<Route> table = {
      {IDM_FILE_NEW, "editor.DocumentReplaced"},
      {IDM_FILE_OPEN, "files.ChooseOpen"},
      {IDM_FILE_SAVE, "files.ChooseSave"},  // no path yet: Save as
      {IDM_FILE_SAVE_AS, "files.ChooseSave"},
      {IDM_ZOOM_IN, "live.ZoomIn"},  // the video tab is active
      {IDM_ZOOM_OUT, "live.ZoomOut"},
      {IDM_VIEW_PARAMETERS, "", [](FrameRig& r) { return !r.frame->PanelWanted(Panel::Parameters); }},
      {IDM_VIEW_DEFINITIONS, "", [](FrameRig& r) { return !r.frame->PanelWanted(Panel::Definitions); }},
      {IDM_VIEW_DEVICE_LIST, "", [](FrameRig& r) { return !r.frame->PanelWanted(Panel::DeviceList); }},
      {IDM_VIEW_TUNING, "", [](FrameRig& r) { return r.frame->PanelWanted(Panel::Tuning); }},
      {IDM_VIEW_DETECTION_PREVIEW, "live.Preview on"},
      {IDM_CONNECTION_OPEN, "dialog.Login"},
      {IDM_ARCHIVE_DOWNLOAD, "dialog.ArchiveDownload"},
      {IDM_ARCHIVE_EXPORT, "dialog.Export"},
      {IDM_ARCHIVE_MEDIUM, "dialog.Medium"},
      {IDM_DEVICE_PASSWORD, "dialog.ChangePassword"},
      {IDM_DEVICE_NETWORK, "dialog.Network"},
      {IDM_OUTPUT_TEST, "dialog.OutputTest",
       [](FrameRig& r) { return !r.frame->OutputTest().Read().open && r.frame->OutputTest().Read().mask == 0; }},
      {IDM_HELP_MANUAL, "shell.Open \\Help.pdf"},
      {IDM_HELP_ABOUT, "dialog.About"},
  };
  for (UINT id : kEditorStateCommands) table.push_back({id, "editor.Command " + std::to_string(id)});
  return table;
}

TEST(MainFrame, EveryCommandOfTheTableReachesItsAction) {
  FrameRig rig;
  for (const Route& route : RoutingTable()) {
    rig.log.clear();
    rig.Command(route.id);
    if (!route.expected.empty()) {
      EXPECT_TRUE(Contains(rig.log, route.expected)) << route.id << " gave: " << Joined(rig.log);
    }
    if (route.check) {
      EXPECT_TRUE(route.check(rig)) << route.id;
    }
    // Only the editor's own identifiers may reach the editor.
    const bool editorRoute = route.expected.rfind("editor.Command", 0) == 0;
    EXPECT_EQ(editorRoute, Contains(rig.log, "editor.Command " + std::to_string(route.id))) << route.id;
  }
  // Every command of the table is an item of the main menu (the context menu's inserts aside).
  HMENU menu = GetMenu(rig.frame->window);
  for (UINT id : {IDM_APP_EXIT, IDM_CONNECTION_CLOSE, IDM_DEVICE_PROGRAM, IDM_DEVICE_DOWNLOAD_PROGRAM,
                  IDM_DEVICE_RESTART}) {
    EXPECT_NE(GetMenuState(menu, id, MF_BYCOMMAND), static_cast<UINT>(-1)) << id;
  }
  for (const Route& route : RoutingTable()) {
    if (route.id == IDM_INSERT_QUAD_AT || route.id == IDM_INSERT_LINE_AT) continue;
    EXPECT_NE(GetMenuState(menu, route.id, MF_BYCOMMAND), static_cast<UINT>(-1)) << route.id;
  }
  // Identifiers of other windows' menus are not the frame's: they fall to the editor, which
  // refuses them, and nothing else happens.
  rig.log.clear();
  EXPECT_FALSE(rig.frame->Command(ID_COMPOSER_OR));
  EXPECT_EQ(Joined(rig.log), "editor.Refused " + std::to_string(ID_COMPOSER_OR) + "; ");
}

TEST(MainFrame, ZoomGoesToTheActiveTabsView) {
  FrameRig rig;
  rig.ClickTab(1);
  rig.log.clear();
  rig.Command(IDM_ZOOM_IN);
  rig.Command(IDM_ZOOM_OUT);
  EXPECT_EQ(Joined(rig.log), "editor.ZoomIn; editor.ZoomOut; ");
}

TEST(MainFrame, MenuStateWithoutACardGreysTheConnectionItemsButOpen) {
  FrameRig rig;
  EXPECT_FALSE(rig.MenuState(IDM_CONNECTION_OPEN) & MF_GRAYED);
  for (UINT id : {IDM_CONNECTION_CLOSE, IDM_DEVICE_PROGRAM, IDM_DEVICE_DOWNLOAD_PROGRAM, IDM_DEVICE_RESTART,
                  IDM_ARCHIVE_DOWNLOAD, IDM_DEVICE_PASSWORD, IDM_DEVICE_NETWORK}) {
    EXPECT_TRUE(rig.MenuState(id) & MF_GRAYED) << id;
  }
  for (UINT id : {IDM_ARCHIVE_EXPORT, IDM_ARCHIVE_MEDIUM, IDM_OUTPUT_TEST, IDM_HELP_ABOUT, IDM_HELP_MANUAL}) {
    EXPECT_FALSE(rig.MenuState(id) & MF_GRAYED) << id;
  }
  // Check marks follow the flags and the live view's detection preview.
  for (UINT id : {IDM_VIEW_PARAMETERS, IDM_VIEW_DEFINITIONS, IDM_VIEW_DEVICE_LIST}) {
    EXPECT_TRUE(rig.MenuState(id) & MF_CHECKED) << id;
  }
  EXPECT_FALSE(rig.MenuState(IDM_VIEW_TUNING) & MF_CHECKED);
  EXPECT_FALSE(rig.MenuState(IDM_VIEW_DETECTION_PREVIEW) & MF_CHECKED);
  rig.Command(IDM_VIEW_DETECTION_PREVIEW);
  EXPECT_TRUE(rig.MenuState(IDM_VIEW_DETECTION_PREVIEW) & MF_CHECKED);
  // Ctrl+F7 reaches the program command whatever the menu says; it checks the card itself.
  rig.log.clear();
  EXPECT_TRUE(rig.Key(rig.fakes.live->view, VK_F7, true));
  EXPECT_FALSE(Contains(rig.log, "files.ChooseSave"));  // not connected: nothing saved
}

TEST(MainFrame, F12FromAChildWindowTogglesTheTuningWindowAndItsCheckMark) {
  FrameRig rig;
  EXPECT_FALSE(rig.fakes.tuning->Visible());
  HWND child = rig.frame->Problems().List();  // the focus may be anywhere in the frame
  for (bool shown : {true, false}) {
    ASSERT_TRUE(rig.Key(child, VK_F12));
    EXPECT_EQ(rig.fakes.tuning->Visible(), shown);
    EXPECT_EQ((rig.MenuState(IDM_VIEW_TUNING) & MF_CHECKED) != 0, shown);
  }
}

// The accelerators work whichever child has the focus. Ctrl+S needs something to save: Save is
// greyed without changes, and the system ignores the key of a greyed item.
TEST(MainFrame, AcceleratorsReachTheFrameFromAnyChild) {
  struct Key {
    UINT vk;
    bool control;
    std::string expected;
    bool modified = false;
  };
  const auto editor = [](UINT id) { return "editor.Command " + std::to_string(id); };
  const Key keys[] = {{'N', true, "editor.DocumentReplaced"},      {'O', true, "files.ChooseOpen"},
                      {'Z', true, editor(IDM_EDIT_UNDO)},          {'Y', true, editor(IDM_EDIT_REDO)},
                      {'C', true, editor(IDM_EDIT_COPY)},          {'V', true, editor(IDM_EDIT_PASTE)},
                      {VK_DELETE, true, editor(IDM_EDIT_DELETE)},  {VK_F1, false, "shell.Open \\Help.pdf"},
                      {VK_F11, false, "dialog.OutputTest"},        {'S', true, "files.ChooseSave", true}};
  FrameRig rig;
  Document& doc = rig.frame->Doc();
  const HWND children[] = {rig.frame->Tabs().Handle(), rig.frame->Problems().List(), rig.frame->Toolbar(),
                           rig.frame->StatusView().Handle(), rig.fakes.live->view};
  for (HWND child : children) {
    doc.Replace(RenderState::New(), "");
    rig.log.clear();
    EXPECT_TRUE(rig.Key(child, 'S', true));
    EXPECT_FALSE(Contains(rig.log, "files.ChooseSave")) << "saved an unchanged document";
    for (const Key& k : keys) {
      if (k.modified) doc.NewRenderState();
      rig.log.clear();
      EXPECT_TRUE(rig.Key(child, k.vk, k.control)) << k.expected;
      EXPECT_TRUE(Contains(rig.log, k.expected)) << k.expected << " gave: " << Joined(rig.log);
    }
  }
}

TEST(MainFrame, FreshStartShowsTheVideoTabAndEachTabItsWindows) {
  FrameRig rig;
  struct Expect {
    int tab;
    bool live, editor, deviceList, parameters, definitions, tuning;
  };
  const Expect expected[] = {{0, true, false, true, false, false, false},
                             {1, false, true, false, true, true, false},
                             {0, true, false, true, false, false, false}};
  for (const Expect& e : expected) {
    if (rig.frame->Tabs().CurrentTab() != e.tab) rig.ClickTab(e.tab);
    EXPECT_EQ(rig.frame->Tabs().CurrentTab(), e.tab);
    EXPECT_EQ(IsWindowVisible(rig.fakes.live->view) != FALSE, e.live) << e.tab;
    EXPECT_EQ(IsWindowVisible(rig.fakes.editor->view) != FALSE, e.editor) << e.tab;
    EXPECT_EQ(rig.fakes.deviceList->Visible(), e.deviceList) << e.tab;
    EXPECT_EQ(rig.fakes.parameters->Visible(), e.parameters) << e.tab;
    EXPECT_EQ(rig.fakes.definitions->Visible(), e.definitions) << e.tab;
    EXPECT_EQ(rig.fakes.tuning->Visible(), e.tuning) << e.tab;
  }
  // A floating window closed with its close box stays hidden on its tab.
  rig.frame->PanelClosed(Panel::DeviceList);
  rig.Idle();
  EXPECT_FALSE(rig.fakes.deviceList->Visible());
  EXPECT_FALSE(rig.MenuState(IDM_VIEW_DEVICE_LIST) & MF_CHECKED);
}

// The title follows every change of the document's path at once, whether a command of the frame
// or anything else holding the document made it (a part, the program command's save).
TEST(MainFrame, TitleFollowsTheDocumentsPath) {
  trevna_test::TempFolder folder("frame");
  FrameRig rig;
  Document& doc = rig.frame->Doc();
  EXPECT_EQ(WindowTitle(rig.frame->window), L"TrevnaConf");
  const std::string path = Cp1250FromWide((folder.Path() / "trasa.trv").wstring());
  const std::string other = Cp1250FromWide((folder.Path() / "inna trasa.trv").wstring());
  struct Step {
    const char* what;
    std::function<void()> act;  // without serving the update requests
    std::string path;           // "" for the bare name
  };
  const Step steps[] = {
      {"Save As", [&] { rig.fakes.files->path = path; rig.frame->Command(IDM_FILE_SAVE_AS); }, path},
      {"New", [&] { rig.fakes.files->answers = {SaveAnswer::No}; rig.frame->Command(IDM_FILE_NEW); }, ""},
      {"Open", [&] { rig.frame->Command(IDM_FILE_OPEN); }, path},
      {"saved elsewhere", [&] { doc.MarkSaved(other); }, other},
      {"replaced", [&] { doc.Replace(RenderState::New(), path); }, path},
      {"replaced by a new one", [&] { doc.Replace(RenderState::New(), ""); }, ""},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(WindowTitle(rig.frame->window), step.path.empty() ? L"TrevnaConf" : WideFromCp1250(step.path) + L" - TrevnaConf")
        << step.what;
    rig.Idle();
  }
}

// The frame is the document's one observer and hands its events on: every new revision to the
// editor, another revision shown to the definitions window, and at each view update the selected
// detector to the parameters and tuning windows.
TEST(MainFrame, TheDocumentsEventsReachTheParts) {
  FrameRig rig;
  Document& doc = rig.frame->Doc();
  FakeBundle& f = rig.fakes;
  ASSERT_FALSE(f.definitions->shown.empty()) << "the definitions window shows the first revision at the start";
  EXPECT_EQ(f.definitions->shown.back(), &doc.Current());

  const int follows = f.editor->follows;
  RenderState& added = doc.NewRenderState();
  added.detectors.emplace_back();
  added.selected = 0;
  EXPECT_EQ(f.editor->follows, follows + 1) << "a new revision reaches the editor";
  const int binds = f.parameters->bound.binds;
  rig.Idle();
  EXPECT_GT(f.parameters->bound.binds, binds);
  EXPECT_EQ(f.parameters->bound.last, doc.Current().SelectedDetector());
  EXPECT_EQ(f.tuning->bound.last, doc.Current().SelectedDetector());
  ASSERT_NE(f.tuning->bound.last, nullptr);

  const std::size_t shown = f.definitions->shown.size();
  ASSERT_TRUE(doc.StepBack());
  EXPECT_EQ(f.editor->follows, follows + 2) << "undo reaches the editor";
  ASSERT_EQ(f.definitions->shown.size(), shown + 1) << "undo reaches the definitions window";
  EXPECT_EQ(f.definitions->shown.back(), &doc.Current());
  rig.Idle();
  EXPECT_EQ(f.parameters->bound.last, nullptr) << "the first revision has no detector";
  EXPECT_EQ(f.tuning->bound.last, nullptr);
}

// The program's own windows all work on the frame's one document: the editor inserts into it,
// the parameters window changes the detector the editor selected in it.
TEST(MainFrame, ThePartsOfTheProgramSeeOneDocument) {
  FrameRig rig(ApplicationParts);
  rig.ClickTab(1);
  Document& doc = rig.frame->Doc();
  auto& view = dynamic_cast<MainView&>(rig.frame->Editor());
  EXPECT_EQ(&view.Editor().GetDocument(), &doc);
  rig.Command(IDM_INSERT_QUAD);
  ASSERT_NE(doc.Current().SelectedDetector(), nullptr) << "the editor inserted into another document";
  const std::size_t revisions = doc.RevisionCount();
  HWND delay = GetDlgItem(rig.frame->Parameters().Handle(), IDC_PARAMETERS_DELAY);
  ASSERT_NE(delay, nullptr);
  SendMessageW(delay, EM_SETSEL, 0, -1);
  SendMessageW(delay, WM_CHAR, VK_BACK, 0);
  SendMessageW(delay, WM_CHAR, L'3', 0);
  rig.Idle();
  EXPECT_EQ(doc.RevisionCount(), revisions + 1);
  EXPECT_EQ(doc.Current().SelectedDetector()->delay, 3000);
  rig.Command(IDM_EDIT_UNDO);
  EXPECT_EQ(doc.Current().SelectedDetector()->delay, 0) << "the editor's undo took back the parameters window's change";
}

TEST(MainFrame, AFailingCommandShowsItsErrorAndTheFrameGoesOn) {
  trevna_test::TempFolder folder("frame");
  std::vector<std::string> shown;
  SetErrorBoxHook([&](HWND owner, const std::string& text) {
    EXPECT_EQ(owner, nullptr);
    shown.push_back(text);
  });
  FrameRig rig;
  rig.fakes.files->path = Cp1250FromWide((folder.Path() / "brak" / "x.trv").wstring());  // no such folder
  rig.Command(IDM_FILE_SAVE_AS);
  SetErrorBoxHook(nullptr);
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_NE(rig.frame->window, nullptr);
  EXPECT_EQ(WindowTitle(rig.frame->window), L"TrevnaConf");
  rig.Command(IDM_VIEW_TUNING);  // still serving commands
  EXPECT_TRUE(rig.fakes.tuning->Visible());
}

// The toolbar shows what the menus show. After each step of a user, the tool, line width and
// fill buttons that the table names are pressed and no other; the buttons it names greyed are
// greyed and no other; and every button is pressed and enabled exactly as its menu item is
// checked and enabled when the menu opens.
TEST(MainFrame, ToolbarButtonsShowTheStateOfTheirMenuItems) {
  FrameRig rig(ApplicationParts);
  rig.ClickTab(1);
  struct Step {
    const char* what;
    std::vector<UINT> commands;
    std::vector<UINT> pressed, greyed;
  };
  const Step steps[] = {
      {"fresh", {}, {IDM_TOOL_POINTER, IDM_LINE_WIDTH_1, IDM_FILL_LADDER_2}, {IDM_FILE_SAVE, IDM_EDIT_UNDO, IDM_EDIT_REDO, IDM_EDIT_DELETE}},
      {"eraser", {IDM_TOOL_ERASER}, {IDM_TOOL_ERASER, IDM_LINE_WIDTH_1, IDM_FILL_LADDER_2}, {IDM_FILE_SAVE, IDM_EDIT_UNDO, IDM_EDIT_REDO, IDM_EDIT_DELETE}},
      {"inserted", {IDM_INSERT_QUAD}, {IDM_TOOL_ERASER, IDM_LINE_WIDTH_1, IDM_FILL_LADDER_2}, {IDM_EDIT_REDO}},
      {"width 3, even fill", {IDM_LINE_WIDTH_3, IDM_FILL_UNIFORM_20}, {IDM_TOOL_ERASER, IDM_LINE_WIDTH_3, IDM_FILL_UNIFORM_20}, {IDM_EDIT_REDO}},
      {"no fill, direction", {IDM_FILL_NONE, IDM_TOOL_DIRECTION}, {IDM_TOOL_DIRECTION, IDM_LINE_WIDTH_3, IDM_FILL_NONE}, {IDM_EDIT_REDO}},
      {"deleted", {IDM_EDIT_DELETE}, {IDM_TOOL_DIRECTION, IDM_LINE_WIDTH_3, IDM_FILL_NONE}, {IDM_EDIT_REDO, IDM_EDIT_DELETE}},
      {"undone", {IDM_EDIT_UNDO, IDM_TOOL_MOVE}, {IDM_TOOL_MOVE, IDM_LINE_WIDTH_3, IDM_FILL_NONE}, {}},
      {"ladder 6, pointer", {IDM_FILL_LADDER_6, IDM_TOOL_POINTER}, {IDM_TOOL_POINTER, IDM_LINE_WIDTH_3, IDM_FILL_LADDER_6}, {IDM_EDIT_REDO}},
  };
  HWND toolbar = rig.frame->Toolbar();
  const auto has = [](const std::vector<UINT>& ids, UINT id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
  for (const Step& step : steps) {
    for (UINT id : step.commands) rig.Command(id);
    for (const ToolbarEntry& e : kToolbarEntries) {
      if (e.image < 0) continue;
      const auto state = static_cast<UINT>(SendMessageW(toolbar, TB_GETSTATE, e.command, 0));
      const bool pressed = (state & TBSTATE_CHECKED) != 0, enabled = (state & TBSTATE_ENABLED) != 0;
      EXPECT_EQ(pressed, has(step.pressed, e.command)) << step.what << ": " << e.tooltip;
      EXPECT_EQ(enabled, !has(step.greyed, e.command)) << step.what << ": " << e.tooltip;
      const UINT menu = rig.MenuState(e.command);
      if (menu == static_cast<UINT>(-1)) continue;  // no menu item
      EXPECT_EQ(pressed, (menu & MF_CHECKED) != 0) << step.what << ": " << e.tooltip;
      EXPECT_EQ(enabled, (menu & MF_GRAYED) == 0) << step.what << ": " << e.tooltip;
    }
  }
}

TEST(MainFrame, StatusBarTextAndProgress) {
  FrameRig rig;
  StatusBar& bar = rig.frame->StatusView();
  EXPECT_EQ(bar.Text(), WideFromUtf8("Nie połączony"));
  EXPECT_FALSE(bar.ProgressVisible());
  bar.ShowProgress("", 40);  // no text: the text stays
  EXPECT_EQ(bar.Text(), WideFromUtf8("Nie połączony"));
  EXPECT_TRUE(bar.ProgressVisible());
  EXPECT_EQ(bar.ProgressPosition(), 40);
  bar.ShowProgress(Cp1250FromUtf8("Wysyłanie pliku..."), 10);
  EXPECT_EQ(bar.Text(), WideFromUtf8("Wysyłanie pliku..."));
  EXPECT_EQ(bar.ProgressPosition(), 10);
  bar.ShowStatus(Cp1250FromUtf8("Plik pomyślnie wysłany"));
  EXPECT_FALSE(bar.ProgressVisible());
  EXPECT_EQ(bar.Text(), WideFromUtf8("Plik pomyślnie wysłany"));
  // The progress bar lies inside part 1 (320..480).
  RECT progress{};
  GetWindowRect(bar.Progress(), &progress);
  MapWindowPoints(nullptr, bar.Handle(), reinterpret_cast<POINT*>(&progress), 2);
  EXPECT_GE(progress.left, 320);
  EXPECT_LE(progress.right, 480);
}

TEST(MainFrame, DiagnosticsAreSortedAndFollowTheDocument) {
  FrameRig rig;
  ProblemsView& problems = rig.frame->Problems();
  problems.ClearProblems();
  for (const char* text : {"Detektor B2 ma numer", "Definicja wyjścia Y1", "Detektor A1 ma numer"}) {
    problems.AddProblem(WideFromUtf8(text));
  }
  EXPECT_EQ(problems.Rows(), (std::vector<std::wstring>{WideFromUtf8("Definicja wyjścia Y1"),
                                                        WideFromUtf8("Detektor A1 ma numer"),
                                                        WideFromUtf8("Detektor B2 ma numer")}));
  // The validation runs on every content change and replaces the rows.
  Document& doc = rig.frame->Doc();
  RenderState& bad = doc.NewRenderState();
  bad.detectors.resize(2);
  bad.detectors[0].number = 3;
  bad.detectors[1].number = 3;
  rig.Idle();
  EXPECT_EQ(problems.Rows(),
            std::vector<std::wstring>{WideFromUtf8("Dwa detektory mają zadeklarowaną taką samą nazwę A3.")});
  EXPECT_TRUE(rig.frame->HasErrors());
  RenderState& fixed = doc.NewRenderState();
  fixed.detectors[1].number = 4;
  rig.Idle();
  EXPECT_TRUE(problems.Rows().empty());
  EXPECT_FALSE(rig.frame->HasErrors());
}

TEST(MainFrame, DiagnosticsStripStays120PixelsAboveTheStatusBarOnResize) {
  FrameRig rig;
  for (SIZE size : {SIZE{900, 700}, SIZE{640, 480}, SIZE{1200, 800}}) {
    SetWindowPos(rig.frame->window, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    rig.Idle();
    RECT client{}, strip{}, status{};
    GetClientRect(rig.frame->window, &client);
    GetWindowRect(rig.frame->Problems().window, &strip);
    GetWindowRect(rig.frame->StatusView().Handle(), &status);
    EXPECT_EQ(strip.bottom - strip.top, 120) << size.cx;
    EXPECT_EQ(strip.right - strip.left, client.right) << size.cx;
    EXPECT_EQ(strip.bottom, status.top) << size.cx;
    // The tab view ends where the strip begins.
    RECT tabs{};
    GetWindowRect(rig.frame->Tabs().Handle(), &tabs);
    EXPECT_EQ(tabs.bottom, strip.top) << size.cx;
  }
}

TEST(MainFrame, CloseWithUnsavedChangesAsksAndYesSavesNoDiscardsCancelKeeps) {
  trevna_test::TempFolder folder("frame");
  struct Case {
    SaveAnswer answer;
    bool windowGone;
    bool saved;
  };
  const Case cases[] = {{SaveAnswer::Yes, true, true}, {SaveAnswer::No, true, false},
                        {SaveAnswer::Cancel, false, false}};
  int n = 0;
  for (const Case& c : cases) {
    FrameRig rig;
    const auto path = folder.Path() / ("zamkniecie" + std::to_string(n++) + ".trv");
    rig.frame->Doc().NewRenderState();  // modified
    rig.fakes.files->answers = {c.answer};
    rig.fakes.files->path = Cp1250FromWide(path.wstring());
    SendMessageW(rig.frame->window, WM_CLOSE, 0, 0);
    rig.Idle();
    EXPECT_TRUE(Contains(rig.log, "files.Ask"));
    EXPECT_EQ(rig.frame->window == nullptr, c.windowGone);
    EXPECT_EQ(std::filesystem::exists(path), c.saved);
  }
  // "Zakończ" closes the same way.
  FrameRig rig;
  rig.Command(IDM_APP_EXIT);
  EXPECT_EQ(rig.frame->window, nullptr);
}

}  // namespace
