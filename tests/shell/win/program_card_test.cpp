// The program command (Ctrl+F7) of the main frame against simulated cards over SSH.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "doc/document.h"
#include "resource_ids.h"
#include "shell/win/error_box.h"
#include "support/files.h"
#include "frame_cards.h"
#include "frame_test_support.h"

using namespace frame_test;

namespace {

// What the status bar is told, in order: "text ..." and "progress N", read from the controls'
// own messages (the frame's workers reach them only through the UI queue).
std::vector<std::string>* g_trace = nullptr;
WNDPROC g_barProc = nullptr;
WNDPROC g_progressProc = nullptr;

LRESULT CALLBACK TraceBar(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == SB_SETTEXTW && LOWORD(wparam) == 0 && g_trace) {
    g_trace->push_back("text " + Utf8FromWide(reinterpret_cast<const wchar_t*>(lparam)));
  }
  return CallWindowProcW(g_barProc, hwnd, message, wparam, lparam);
}

LRESULT CALLBACK TraceProgress(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == PBM_SETPOS && g_trace) g_trace->push_back("progress " + std::to_string(wparam));
  return CallWindowProcW(g_progressProc, hwnd, message, wparam, lparam);
}

// Records what the frame's status bar is told from now until the object goes.
struct StatusTrace {
  explicit StatusTrace(StatusBar& bar) {
    g_trace = &steps;
    g_barProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(bar.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TraceBar)));
    g_progressProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(bar.Progress(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TraceProgress)));
  }
  ~StatusTrace() { g_trace = nullptr; }
  bool Saw(const std::string& step) const { return std::find(steps.begin(), steps.end(), step) != steps.end(); }
  std::vector<std::string> steps;
};

std::size_t Occurrences(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
  return count;
}

bool LoggedIn(FrameRig& rig) {
  return rig.frame->CardConnection().IsConnected() && rig.frame->CardConnection().SlotFree();
}

class ProgramCard : public ::testing::Test {
 protected:
  void SetUp() override {
    auto found = FrameCards::Read();
    if (!found) GTEST_SKIP() << "needs the simulated cards of ctest's fixture (TREVNA_CARDSIM_INFO)";
    cards = *found;
    SetErrorBoxHook([this](HWND, const std::string& text) { errors.push_back(Utf8FromCp1250(text)); });
  }
  void TearDown() override { SetErrorBoxHook(nullptr); }

  // A frame logged in to the card at `address` through "Otwórz połączenie".
  std::unique_ptr<FrameRig> Connect(std::uint32_t address, std::uint16_t port) {
    device::ConnectionOptions options;
    options.sshPort = port;
    options.limits.callTimeoutMs = 3000;
    options.probeEvery = 5;  // a link the card's restart dropped is noticed within half a second
    options.timing.sleep = [](unsigned) {};  // the card's restart wait, shortened
    auto rig = std::make_unique<FrameRig>(std::move(options));
    rig->fakes.dialogs->cardAddress = address;
    rig->fakes.dialogs->user = cards.user;
    rig->fakes.dialogs->password = cards.password;
    rig->Command(IDM_CONNECTION_OPEN);
    // Connected, and the opening's request done: the menu commands post into a free slot.
    EXPECT_TRUE(rig->PumpUntil([&] { return LoggedIn(*rig); }, 30000))
        << "status: " << Utf8FromWide(rig->frame->StatusView().Text());
    return rig;
  }

  FrameCards cards;
  std::vector<std::string> errors;
  trevna_test::TempFolder folder{"frame-program"};
};

TEST_F(ProgramCard, ConnectedMenuGreysOnlyOpenAndAProgramWithErrorsIsRefused) {
  auto rig = Connect(FrameCards::kNormal, cards.normalPort);
  EXPECT_TRUE(rig->MenuState(IDM_CONNECTION_OPEN) & MF_GRAYED);
  for (UINT id : {IDM_CONNECTION_CLOSE, IDM_DEVICE_PROGRAM, IDM_DEVICE_DOWNLOAD_PROGRAM, IDM_DEVICE_RESTART,
                  IDM_ARCHIVE_DOWNLOAD, IDM_DEVICE_PASSWORD, IDM_DEVICE_NETWORK, IDM_ARCHIVE_EXPORT}) {
    EXPECT_FALSE(rig->MenuState(id) & MF_GRAYED) << id;
  }
  const std::size_t logBefore = cards.Log("127.0.0.2").size();
  RenderState& state = rig->frame->Doc().NewRenderState();
  state.detectors.resize(1);
  state.detectors[0].number = 17;
  rig->fakes.files->path = Cp1250FromWide((folder.Path() / "bledny.trv").wstring());
  rig->log.clear();
  rig->Command(IDM_DEVICE_PROGRAM);
  EXPECT_EQ(errors, std::vector<std::string>{"Program zawiera błędy. Usuń je i spróbuj ponownie."});
  EXPECT_EQ(rig->frame->Problems().Rows(),
            std::vector<std::wstring>{WideFromUtf8("Detektor A17 ma numer spoza zakresu 1-16.")});
  EXPECT_EQ(std::count(rig->log.begin(), rig->log.end(), "files.ChooseSave"), 0) << "nothing saved";
  EXPECT_EQ(cards.Log("127.0.0.2").substr(logBefore).find("scp"), std::string::npos) << "nothing sent";
}

TEST_F(ProgramCard, AValidDocumentIsSavedSentAndTheCardRestarted) {
  auto rig = Connect(FrameCards::kNormal, cards.normalPort);
  StatusTrace status(rig->frame->StatusView());
  std::vector<std::string>& trace = status.steps;
  RenderState& state = rig->frame->Doc().NewRenderState();
  state.detectors.resize(2);
  state.detectors[1].number = 2;
  const auto path = folder.Path() / "skrzyzowanie.trv";
  rig->fakes.files->path = Cp1250FromWide(path.wstring());
  const std::size_t restartsBefore = Occurrences(cards.Log("127.0.0.2"), "\"event\":\"restarted\"");
  rig->Key(rig->frame->Tabs().Handle(), VK_F7, true);  // Ctrl+F7
  const std::string done = "text Plik pomyślnie wysłany";
  EXPECT_TRUE(rig->PumpUntil([&] { return status.Saw(done); }, 60000))
      << "status bar saw " << trace.size() << " steps, errors " << errors.size();
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_FALSE(rig->frame->Doc().Modified());
  EXPECT_EQ(WindowTitle(rig->frame->window), path.wstring() + L" - TrevnaConf");
  // The steps in order, the progress rising from 0 through 25 to 100.
  const auto at = [&](const std::string& step) { return std::find(trace.begin(), trace.end(), step) - trace.begin(); };
  EXPECT_LT(at("text Wysyłanie pliku..."), at("text Restartowanie..."));
  EXPECT_LT(at("text Restartowanie..."), at(done));
  int last = -1;
  for (const std::string& step : trace) {
    if (step.rfind("progress ", 0) != 0) continue;
    const int position = std::stoi(step.substr(9));
    EXPECT_GE(position, last) << "progress went back";
    last = position;
  }
  EXPECT_EQ(last, 100);
  EXPECT_FALSE(rig->frame->StatusView().ProgressVisible());
  // The card received the saved file, read its program and is back on the network (its
  // listeners open again only after the program is read).
  const auto restarts = [&] { return Occurrences(cards.Log("127.0.0.2"), "\"event\":\"restarted\""); };
  EXPECT_TRUE(rig->PumpUntil([&] { return restarts() > restartsBefore; }, 30000));
  const std::string log = cards.Log("127.0.0.2");
  EXPECT_NE(log.find("\"alias\":\"skrzyzowanie\""), std::string::npos);
  EXPECT_NE(log.find("\"size\":" + std::to_string(std::filesystem::file_size(path))), std::string::npos);
  EXPECT_NE(log.find("sync && /vemo/restart"), std::string::npos);
  EXPECT_NE(log.find("\"detectors\":2"), std::string::npos);

  // The card's restart dropped the link; once the frame has noticed, the user logs in again
  // and the other requests of the connection menu reach the card: the program comes back as
  // the same file, and the card restarts.
  EXPECT_TRUE(rig->PumpUntil([&] { return !rig->frame->CardConnection().IsConnected(); }, 30000));
  rig->Command(IDM_CONNECTION_OPEN);
  ASSERT_TRUE(rig->PumpUntil([&] { return LoggedIn(*rig); }, 30000));
  const auto copy = folder.Path() / "z karty.trv";
  rig->fakes.files->path = Cp1250FromWide(copy.wstring());
  struct Step {
    UINT id;
    std::string status;
  };
  for (const Step& step : {Step{IDM_DEVICE_DOWNLOAD_PROGRAM, "text Plik pomyślnie pobrany"},
                           Step{IDM_DEVICE_RESTART, "text Trevna pomyślnie zrestartowany"}}) {
    trace.clear();
    rig->Command(step.id);
    EXPECT_TRUE(rig->PumpUntil([&] { return status.Saw(step.status); }, 30000))
        << step.id << ": " << ::testing::PrintToString(trace);
  }
  ASSERT_TRUE(std::filesystem::exists(copy));
  EXPECT_EQ(std::filesystem::file_size(copy), std::filesystem::file_size(path));
  EXPECT_EQ(rig->fakes.files->offered, L"Pobrany dokument.trv");  // the download's save dialog
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
}

TEST_F(ProgramCard, ASilentCardEndsInAnErrorBoxWhileTheFrameStaysResponsive) {
  auto rig = Connect(FrameCards::kStalled, cards.stalledPort);
  StatusTrace status(rig->frame->StatusView());
  rig->fakes.files->path = Cp1250FromWide((folder.Path() / "cisza.trv").wstring());
  rig->Command(IDM_DEVICE_PROGRAM);
  bool responsive = true;
  EXPECT_TRUE(rig->PumpUntil(
      [&] {
        DWORD_PTR result = 0;
        responsive = responsive && SendMessageTimeoutW(rig->frame->window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result);
        return !errors.empty();
      },
      30000))
      << "status: " << Utf8FromWide(rig->frame->StatusView().Text());
  EXPECT_TRUE(responsive);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_TRUE(status.Saw("text Wysyłanie pliku..."));
  EXPECT_TRUE(status.Saw("text Nie udało się wysłać pliku"));
}

TEST_F(ProgramCard, RozlaczDuringAStalledUploadEndsTheConnectionWithoutAnErrorBox) {
  auto rig = Connect(FrameCards::kStalled, cards.stalledPort);
  StatusTrace status(rig->frame->StatusView());
  rig->fakes.files->path = Cp1250FromWide((folder.Path() / "rozlacz.trv").wstring());
  rig->Command(IDM_DEVICE_PROGRAM);
  ASSERT_TRUE(rig->PumpUntil([&] { return status.Saw("text Wysyłanie pliku..."); }, 30000));
  // The click interrupts the transfer the card never answers: the connection ends quietly,
  // where a dropped click would leave the transfer to fail at the call limit with an error box.
  rig->Command(IDM_CONNECTION_CLOSE);
  EXPECT_TRUE(rig->PumpUntil([&] { return !rig->frame->CardConnection().IsConnected(); }, 30000))
      << "status: " << Utf8FromWide(rig->frame->StatusView().Text());
  EXPECT_TRUE(rig->PumpUntil([&] { return rig->frame->StatusView().Text() == WideFromUtf8("Nie połączony"); }, 30000))
      << "status: " << Utf8FromWide(rig->frame->StatusView().Text());
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
  EXPECT_FALSE(rig->MenuState(IDM_CONNECTION_OPEN) & MF_GRAYED);
}

}  // namespace

namespace {

TEST_F(ProgramCard, ReportsOfAnUploadEndingAfterTheFrameClosedAreDropped) {
  auto rig = Connect(FrameCards::kStalled, cards.stalledPort);
  rig->fakes.files->path = Cp1250FromWide((folder.Path() / "zamkniete.trv").wstring());
  rig->Command(IDM_DEVICE_PROGRAM);  // the card never answers the transfer
  SendMessageW(rig->frame->window, WM_CLOSE, 0, 0);
  ASSERT_EQ(rig->frame->window, nullptr);
  rig->frame->StopWorkers();  // the upload ends now and reports its failure
  EXPECT_GT(rig->queue.Size(), 0u) << "the worker reported nothing after the close";
  PumpMessages();
  rig->queue.RunPending();
  EXPECT_TRUE(errors.empty()) << "a report reached the closed frame: " << errors[0];
}

}  // namespace
