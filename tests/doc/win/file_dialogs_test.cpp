// The Win32 question box and open / save dialogs, answered the way a user would: the test finds
// the dialog the call opened, types a name or presses a button, and checks what comes back.
#include "doc/win/win_file_dialogs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "doc/win/editor_view_support.h"
#include "support/files.h"

namespace trevna_test {
namespace {

// What the timer does to the modal dialog on top (an enabled, visible dialog of this thread). A
// dialog that should not be there (an error box) gets answered too, at most a few times, so a
// wrong turn fails the test instead of hanging it.
std::function<void(HWND)> g_answer;
std::wstring g_title;
int g_answers = 0;

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (std::wstring(name) != L"#32770" || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;  // not up yet: the timer comes again
  if (++g_answers >= 3) KillTimer(nullptr, id);
  wchar_t title[128] = {};
  GetWindowTextW(dialog, title, 128);
  g_title = title;
  g_answer(dialog);
}

class FileDialogsTest : public testing::Test {
 protected:
  void SetUp() override {
    owner = CreateHost(host);
  }
  void TearDown() override {
    KillTimer(nullptr, timer_);
    DestroyWindow(owner);
  }
  // Arms the answer; the dialog's own modal loop runs the timer.
  void Answer(std::function<void(HWND)> answer) {
    KillTimer(nullptr, timer_);
    g_answer = std::move(answer);
    g_answers = 0;
    g_title.clear();
    timer_ = SetTimer(nullptr, 0, 50, AnswerDialog);
  }
  // Types `name` into the file name box and presses the default button.
  static void TypeName(HWND dialog, const std::wstring& name) {
    HWND box = GetDlgItem(dialog, 0x47c);  // combo box of the file name
    if (!box) box = GetDlgItem(dialog, 0x480);
    if (box) {
      SetWindowTextW(box, name.c_str());
    } else {
      ADD_FAILURE() << "unexpected dialog: " << Utf8FromWide(g_title);
    }
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  }

  RecordingWindow host;
  HWND owner = nullptr;
  UINT_PTR timer_ = 0;
};

TEST_F(FileDialogsTest, QuestionBoxGivesTheButtonPressed) {
  Win32FileDialogs dialogs(owner);
  struct Case {
    int button;
    SaveAnswer answer;
  };
  for (const Case& c : {Case{IDYES, SaveAnswer::Yes}, Case{IDNO, SaveAnswer::No}, Case{IDCANCEL, SaveAnswer::Cancel}}) {
    Answer([button = c.button](HWND box) { PostMessageW(box, WM_COMMAND, button, 0); });
    EXPECT_EQ(dialogs.AskYesNoCancel(WideFromUtf8("Czy chcesz zapisać zmiany?"), L"Zapisz..."), c.answer);
    EXPECT_EQ(g_title, L"Zapisz...");
  }
}

TEST_F(FileDialogsTest, OpenAndSaveDialogsReturnTheChosenPathWithTheDefaultExtension) {
  TempFolder folder("file-dialogs");
  const std::wstring base = (folder.Path() / L"").wstring();
  const std::wstring polish = base + WideFromUtf8("tło.bmp");  // a Polish name survives the round trip
  WriteBytes(std::filesystem::path(polish), "x");
  Win32FileDialogs dialogs(owner);

  std::string path;
  FileRequest open = BitmapOpenRequest();
  open.initialFolder = base;
  Answer([&](HWND dialog) { TypeName(dialog, polish); });
  ASSERT_TRUE(dialogs.ChooseFile(open, path));
  EXPECT_EQ(WideFromCp1250(path), polish);

  FileRequest save = DocumentSaveRequest();
  save.initialFolder = base;
  Answer([&](HWND dialog) { TypeName(dialog, base + L"nowy"); });
  ASSERT_TRUE(dialogs.ChooseFile(save, path));
  EXPECT_EQ(WideFromCp1250(path), base + L"nowy.trv") << "the default extension is added";

  Answer([](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_FALSE(dialogs.ChooseFile(open, path));
}

// Several files at once come back as the folder and the names, in wide text: a name the
// Windows-1250 code page lacks arrives whole. One file comes back as its full path.
TEST_F(FileDialogsTest, SeveralFilesComeBackAsTheFolderAndTheirNames) {
  TempFolder folder("file-dialogs-many");
  const std::wstring dir = folder.Path().wstring();
  const std::wstring other = WideFromUtf8("ж.avi");
  for (const std::wstring& name : {std::wstring(L"b.avi"), other}) WriteBytes(folder.Path() / name, "x");
  Win32FileDialogs dialogs(owner);
  FileRequest request;
  request.filterName = L"Film wideo (*.avi)";
  request.pattern = L"*.avi";
  request.initialFolder = dir;
  request.multiple = true;
  struct Case {
    std::wstring typed;
    std::vector<std::wstring> strings;
  };
  const Case cases[] = {
      {L"\"b.avi\" \"" + other + L"\"", {dir, L"b.avi", other}},
      {dir + L"\\" + other, {dir + L"\\" + other}},
  };
  for (const Case& c : cases) {
    std::vector<std::wstring> strings;
    Answer([&](HWND dialog) { TypeName(dialog, c.typed); });
    ASSERT_TRUE(dialogs.ChooseFiles(request, strings)) << Utf8FromWide(c.typed);
    EXPECT_EQ(strings, c.strings) << Utf8FromWide(c.typed);
  }
  std::vector<std::wstring> untouched{L"keep"};
  Answer([](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_FALSE(dialogs.ChooseFiles(request, untouched));
  EXPECT_EQ(untouched, std::vector<std::wstring>{L"keep"});
}

}  // namespace
}  // namespace trevna_test
