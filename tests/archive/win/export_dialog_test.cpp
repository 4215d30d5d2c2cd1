// The export dialog "Eksportuj archiwum" as a user drives it: sources from the open dialog in
// the order it returned them, a join in copy and in recompress mode on the worker while the
// dialog stays responsive, failures shown once, and closing refused during a job and safe
// whenever the dialog goes.
#include "archive/win/export_dialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/avi.h"
#include "archive/avi_builder.h"
#include "archive/jpeg_codec.h"
#include "base/bytes.h"
#include "base/text.h"
#include "base/thread.h"
#include "base/ui_queue.h"
#include "doc/win/win_file_dialogs.h"
#include "export_medium_test_util.h"
#include "resource_ids.h"
#include "shell/win/ui_queue_window.h"
#include "support/files.h"

using namespace archive_win_test;

namespace {

// The open and save dialogs, answered by the test. The real ones are owned by the active window,
// so that is recorded with each question.
class FakeFiles : public FileDialogs {
 public:
  std::vector<std::wstring> sources;  // empty: cancelled
  std::wstring output;                // empty: cancelled
  int saveQuestions = 0;
  HWND lastActive = nullptr;
  FileRequest lastOpen, lastSave;

  SaveAnswer AskYesNoCancel(const std::wstring&, const std::wstring&) override {
    ADD_FAILURE() << "the export dialog asks no question";
    return SaveAnswer::Cancel;
  }
  bool ChooseFile(const FileRequest&, std::string&) override {
    ADD_FAILURE() << "the export dialog asks for wide paths";
    return false;
  }
  bool ChooseFiles(const FileRequest& request, std::vector<std::wstring>& strings) override {
    lastActive = GetActiveWindow();
    if (!request.save) {
      lastOpen = request;
      strings = sources;
      return !sources.empty();
    }
    lastSave = request;
    ++saveQuestions;
    strings = {output};
    return !output.empty();
  }
};

std::wstring Wide(const std::filesystem::path& p) { return p.wstring(); }

std::vector<std::string> FramesOf(const std::string& avi, std::vector<std::uint8_t>* header = nullptr) {
  std::vector<std::uint8_t> block(kAviHeaderBufferSize);
  std::vector<std::string> frames;
  ScanAviFile(
      reinterpret_cast<const std::uint8_t*>(avi.data()), avi.size(), block.data(),
      [&](const std::uint8_t* d, std::uint32_t n) { frames.emplace_back(reinterpret_cast<const char*>(d), n); });
  if (header) *header = block;
  return frames;
}

std::wstring Note(HWND button) {
  wchar_t note[256] = L"";
  DWORD length = 256;
  SendMessageW(button, BCM_GETNOTE, reinterpret_cast<WPARAM>(&length), reinterpret_cast<LPARAM>(note));
  return note;
}

// Positions given to the progress bar, seen by subclassing it; calls `onPosition` after each.
struct ProgressWatch {
  std::vector<std::uint32_t> positions;
  std::function<void(std::uint32_t)> onPosition;
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR self) {
    const LRESULT result = DefSubclassProc(window, message, wparam, lparam);
    if (message == PBM_SETPOS) {
      auto* watch = reinterpret_cast<ProgressWatch*>(self);
      watch->positions.push_back(static_cast<std::uint32_t>(wparam));
      if (watch->onPosition) watch->onPosition(static_cast<std::uint32_t>(wparam));
    }
    return result;
  }
  void Attach(HWND progress) { SetWindowSubclass(progress, &Proc, 1, reinterpret_cast<DWORD_PTR>(this)); }
};

class ExportDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder);
    // Three recordings of the synthetic road as the card archives them: 10, 7 and 5 frames.
    const struct {
      const char* name;
      std::uint32_t track, count;
      double start;
    } recordings[] = {{"rano.avi", 0, 10, 0.0}, {"południe.avi", 1, 7, 3.0}, {"wieczór.avi", 2, 5, 9.0}};
    for (const auto& r : recordings) {
      frames.push_back(SyntheticJpegFrames(r.track, r.count, r.start));
      trevna_test::WriteBytes(folder / std::filesystem::u8path(r.name), BuildArchiveAvi(frames.back(), 180, 144));
      names.push_back(WideFromUtf8(r.name));
    }
  }

  // The open dialog's answer for several files: the folder, then the names.
  std::vector<std::wstring> Choice(const std::vector<std::wstring>& chosen) const {
    std::vector<std::wstring> strings{Wide(folder.Path())};
    strings.insert(strings.end(), chosen.begin(), chosen.end());
    return strings;
  }

  HWND Open(ExportDialog& dialog) {
    const HWND window = dialog.CreateModeless(nullptr);
    EXPECT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    return window;
  }

  static void Click(HWND dialog, int id) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

  static bool JobControlsEnabled(HWND dialog) {
    for (int id : {IDC_EXPORT_CHOOSE, IDC_EXPORT_SOURCES, IDC_EXPORT_COPY, IDC_EXPORT_RECOMPRESS})
      if (!IsWindowEnabled(GetDlgItem(dialog, id))) return false;
    return true;
  }
  static bool AnyJobControlEnabled(HWND dialog) {
    for (int id : {IDC_EXPORT_CHOOSE, IDC_EXPORT_SOURCES, IDC_EXPORT_COPY, IDC_EXPORT_RECOMPRESS})
      if (IsWindowEnabled(GetDlgItem(dialog, id))) return true;
    return false;
  }
  // Back to idle after a job: "Zrobione", the bar at 0 and the controls enabled.
  static bool Idle(HWND dialog) {
    return Utf8Text(dialog, IDC_EXPORT_STATUS) == "Zrobione" && JobControlsEnabled(dialog);
  }

  trevna_test::TempFolder folder{"export-dialog"};
  std::vector<std::vector<std::string>> frames;
  std::vector<std::wstring> names;
  UiQueue queue;
  UiQueueWindow queueWindow{queue};
  FakeFiles files;
  RecordedErrors errors;
};

}  // namespace

TEST(SplitOpenFileResult, FolderThenNamesOrOnePath) {
  const struct {
    std::wstring buffer;  // as the open dialog leaves it, double zero at the end
    std::vector<std::wstring> strings;
  } cases[] = {
      {std::wstring(L"C:\\nagrania\0b.avi\0a.avi\0\0", 26), {L"C:\\nagrania", L"b.avi", L"a.avi"}},
      {std::wstring(L"C:\\nagrania\\a.avi\0\0", 19), {L"C:\\nagrania\\a.avi"}},
      {std::wstring(L"\0\0", 2), {}},
      {std::wstring(L"abc", 3), {L"abc"}},  // no terminator within the capacity
  };
  for (const auto& c : cases) EXPECT_EQ(SplitOpenFileResult(c.buffer.data(), c.buffer.size()), c.strings);
}

// Three recordings joined in both modes: the list keeps the open dialog's order, the controls
// are disabled and closing is refused while the job runs, the bar shows 0, 33, 66 and goes back
// to 0 with "Zrobione", and the output holds every frame at 6.25 frames per second, read back by
// the engine's reader and by ffprobe.
TEST_F(ExportDialogTest, JoinsThreeRecordingsInCopyAndRecompressMode) {
  const std::vector<std::wstring> order = {names[2], names[0], names[1]};  // not sorted
  const std::vector<int> frameOrder = {2, 0, 1};
  for (const ExportMode mode : {kExportCopy, kExportRecompress}) {
    SCOPED_TRACE(mode == kExportCopy ? "copy" : "recompress");
    const auto output = folder / (mode == kExportCopy ? "kopia.avi" : "konwersja.avi");
    ExportDialog dialog(files, queue);
    const HWND window = Open(dialog);
    EXPECT_EQ(Utf8Text(window, IDC_EXPORT_STATUS), "Gotowy");
    EXPECT_EQ(Utf8FromWide(Note(GetDlgItem(window, IDC_EXPORT_COPY))), "Najpierw wybierz pliki źródłowe");

    files.sources = Choice(order);
    Click(window, IDC_EXPORT_CHOOSE);
    const HWND list = GetDlgItem(window, IDC_EXPORT_SOURCES);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
    for (int i = 0; i < 3; ++i) {
      wchar_t item[MAX_PATH] = L"";
      SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
      EXPECT_EQ(std::wstring(item), order[i]) << i;
    }
    EXPECT_EQ(Utf8FromWide(Note(GetDlgItem(window, IDC_EXPORT_COPY))),
              "Eksportuje pliki źródłowe do jednego nagrania bez ingerencji w obraz");
    EXPECT_EQ(Utf8FromWide(Note(GetDlgItem(window, IDC_EXPORT_RECOMPRESS))),
              "Eksportuje pliki źródłowe do jednego nagrania i rekompresuje obrazy");
    if (mode == kExportCopy) SaveDialogArtifact(window, "export_dialog_before");

    ProgressWatch progress;
    std::wstring statusDuringJob;
    progress.onPosition = [&](std::uint32_t position) {
      if (position == 33 && statusDuringJob.empty()) {
        statusDuringJob = Text(GetDlgItem(window, IDC_EXPORT_STATUS));
        if (mode == kExportRecompress) SaveDialogArtifact(window, "export_dialog_during");
      }
    };
    progress.Attach(GetDlgItem(window, IDC_EXPORT_PROGRESS));
    files.output = Wide(output);
    Click(window, mode == kExportCopy ? IDC_EXPORT_COPY : IDC_EXPORT_RECOMPRESS);
    EXPECT_FALSE(AnyJobControlEnabled(window));
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window)) << "closing must be refused while a job is requested";

    ASSERT_TRUE(PumpUntil([&] { return Idle(window); })) << Utf8Text(window, IDC_EXPORT_STATUS);
    EXPECT_EQ(progress.positions, (std::vector<std::uint32_t>{0, 33, 66, 0}));
    EXPECT_EQ(Utf8FromWide(statusDuringJob), "Eksportowanie...");
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_EXPORT_PROGRESS, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(files.saveQuestions, mode == kExportCopy ? 1 : 2);
    EXPECT_EQ(files.lastActive, window);
    EXPECT_TRUE(files.lastOpen.multiple);
    EXPECT_EQ(files.lastSave.proposedName, L"Nagranie archiwum.avi");
    for (const FileRequest* request : {&files.lastOpen, &files.lastSave}) {
      EXPECT_EQ(Utf8FromWide(request->filterName), "Film wideo (*.avi)");
      EXPECT_EQ(request->pattern, L"*.avi");
      EXPECT_EQ(request->defaultExtension, L"avi");
    }
    EXPECT_TRUE(errors.boxes.empty()) << errors.Texts()[0];

    // The engine's reader: every frame, in list order; the header says 22 frames at 6.25/s.
    std::vector<std::uint8_t> header;
    const std::string joined = trevna_test::ReadBytes(output);
    const auto out = FramesOf(joined, &header);
    std::vector<std::string> expected;
    for (int k : frameOrder) expected.insert(expected.end(), frames[k].begin(), frames[k].end());
    ASSERT_EQ(out.size(), expected.size());
    const auto* raw = reinterpret_cast<const std::uint8_t*>(joined.data());
    EXPECT_EQ(LoadU32(raw + kAviTotalFramesOffset), expected.size());
    EXPECT_EQ(LoadU32(raw + 32), 160000u) << "microseconds per frame";
    EXPECT_EQ(LoadU32(raw + 132) * 4, LoadU32(raw + 128) * 25) << "stream rate / scale = 6.25";
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (mode == kExportCopy) {
        EXPECT_EQ(out[i], expected[i]) << "frame " << i;
        continue;
      }
      RawImage image;
      ASSERT_TRUE(DecodeJpeg(reinterpret_cast<const std::uint8_t*>(out[i].data()), out[i].size(), image)) << i;
      std::free(image.pixels);
      EXPECT_EQ(image.components, 3u) << "frame " << i;
      EXPECT_EQ(image.width, 180u);
    }

    // ffprobe counts the frames and reads the rate.
    const auto report = folder / "ffprobe.txt";
    const std::string probe = RunUnixProgram(
        L"Z:\\usr\\bin\\ffprobe",
        L"-v error -count_frames -select_streams v:0 -show_entries stream=codec_name,r_frame_rate,nb_read_frames "
        L"-of default=noprint_wrappers=1 -o \"" +
            WideFromUtf8(UnixPath(Wide(report))) + L"\" \"" + WideFromUtf8(UnixPath(Wide(output))) + L"\"",
        report, "nb_read_frames=");
    EXPECT_EQ(probe, "codec_name=mjpeg\nr_frame_rate=25/4\nnb_read_frames=22\n");

    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window)) << "after the job the dialog closes";
  }
}

// Jobs that end early: with no sources no save dialog is asked; a cancelled save writes
// nothing; a source that is not an AVI file ends with its message, shown once by the dialog,
// and leaves no output; a source chosen as the output (after the save dialog's own "replace?"
// question), in other letters, is refused and keeps every byte. Each ends with "Zrobione"
// and the controls enabled.
TEST_F(ExportDialogTest, JobsThatEndEarlyShowTheirMessageAndWriteNothing) {
  trevna_test::WriteBytes(folder / "opis.avi", "Nagranie z kamery 2, wtorek");
  const std::wstring output = Wide(folder / "wynik.avi");
  const std::string notAvi = Utf8FromWide(Wide(folder / "opis.avi"));
  const struct {
    const char* what;
    std::vector<std::wstring> chosen;  // empty: no sources chosen
    std::wstring output;               // empty: the save dialog is cancelled
    int saveQuestions;
    std::vector<std::string> errors;
  } cases[] = {
      {"no sources", {}, output, 0, {}},
      {"save cancelled", {names[0]}, L"", 1, {}},
      {"not an AVI",
       {names[0], L"opis.avi"},
       output,
       1,
       {"Nie udało się wczytać pliku `" + notAvi + "'.\nNiepoprawny nagłówek bloku RIFF."}},
      {"a source as the output",
       {names[0], names[1]},
       Wide(folder / "RANO.AVI"),
       1,
       {"Połączone nagranie nie może zastąpić pliku źródłowego `" + Utf8FromWide(Wide(folder / "RANO.AVI")) + "'."}},
  };
  const std::string source = trevna_test::ReadBytes(folder / "rano.avi");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    errors.boxes.clear();
    files.saveQuestions = 0;
    ExportDialog dialog(files, queue);
    const HWND window = Open(dialog);
    if (!c.chosen.empty()) {
      files.sources = Choice(c.chosen);
      Click(window, IDC_EXPORT_CHOOSE);
    }
    files.output = c.output;
    Click(window, IDC_EXPORT_COPY);
    ASSERT_TRUE(PumpUntil([&] { return Idle(window); })) << Utf8Text(window, IDC_EXPORT_STATUS);
    EXPECT_EQ(files.saveQuestions, c.saveQuestions);
    EXPECT_EQ(errors.Texts(), c.errors);
    for (const auto& box : errors.boxes) EXPECT_EQ(box.owner, window);
    EXPECT_FALSE(std::filesystem::exists(folder / "wynik.avi"));
    EXPECT_EQ(trevna_test::ReadBytes(folder / "rano.avi"), source);
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
  }
}

// A worker that cannot be started (at either step) is shown once in an error box owned by the
// dialog, and the dialog ends by itself, so its owner (the main window) is enabled again. A
// timer in the modal loop plays a user left with the dialog still open: it presses "Połącz..."
// and closes the dialog; a dialog that then cannot be closed is ended after 20 s, failing.
TEST_F(ExportDialogTest, AWorkerThatCannotStartEndsTheDialogAndFreesItsOwner) {
  const HWND owner = CreateWindowExW(0, L"STATIC", L"Okno programu", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                                     300, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  static HWND seen;
  static bool wedged;
  static std::chrono::steady_clock::time_point pressed;
  const struct {
    int step;
    const char* message;
  } cases[] = {{1, "Nie udało się utworzyć kontrolera nowego wątku."}, {2, "Nie udało się utworzyć nowego wątku."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    errors.boxes.clear();
    seen = nullptr;
    wedged = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
      const HWND found = FindWindowW(nullptr, L"Eksportuj archiwum");
      if (!found) return;
      if (!seen) {
        seen = found;
        pressed = std::chrono::steady_clock::now();
        SendMessageW(found, WM_COMMAND, MAKEWPARAM(IDC_EXPORT_COPY, BN_CLICKED), 0);
        PostMessageW(found, WM_CLOSE, 0, 0);
      } else if (std::chrono::steady_clock::now() - pressed > std::chrono::seconds(20)) {
        wedged = true;
        EndDialog(found, 2);
      }
    });
    thread_testing::FailNextStart(c.step);
    {
      ExportDialog dialog(files, queue);
      EXPECT_EQ(dialog.RunModal(owner), 2);
    }
    KillTimer(nullptr, timer);
    EXPECT_FALSE(wedged) << "the dialog could not be closed";
    EXPECT_EQ(errors.Texts(), std::vector<std::string>{c.message});
    for (const auto& box : errors.boxes) EXPECT_TRUE(box.owner != nullptr && box.owner != owner);
    EXPECT_TRUE(IsWindowEnabled(owner));
  }
  DestroyWindow(owner);
}

// The dialog goes while the worker is in the middle of a job (its owner is destroyed): the
// object waits for the job, the reports still queued for it are dropped, nothing is shown.
TEST_F(ExportDialogTest, DestroyedDuringAJobDropsTheWorkersReports) {
  auto dialog = std::make_unique<ExportDialog>(files, queue);
  const HWND window = Open(*dialog);
  files.sources = Choice(names);
  files.output = Wide(folder / "porzucone.avi");
  ProgressWatch progress;
  progress.Attach(GetDlgItem(window, IDC_EXPORT_PROGRESS));
  Click(window, IDC_EXPORT_RECOMPRESS);
  ASSERT_TRUE(PumpUntil([&] { return !progress.positions.empty(); }));
  DestroyWindow(window);
  dialog.reset();  // stops the worker after its job
  queue.RunPending();
  EXPECT_TRUE(errors.boxes.empty());
  EXPECT_EQ(queue.Size(), 0u);
}

// What the main frame calls: the modal dialog, closed by the user, ends with result 2.
TEST_F(ExportDialogTest, ModalDialogEndsWithTwo) {
  static HWND seen = nullptr;
  seen = nullptr;
  // A thread timer fires inside the dialog's own modal loop and closes the dialog it finds.
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND found = FindWindowW(nullptr, L"Eksportuj archiwum");
    if (found && !seen) {
      seen = found;
      PostMessageW(found, WM_CLOSE, 0, 0);
    }
  });
  ExportDialog dialog(files, queue);
  EXPECT_EQ(dialog.RunModal(nullptr), 2);
  KillTimer(nullptr, timer);
  EXPECT_NE(seen, nullptr);
}
