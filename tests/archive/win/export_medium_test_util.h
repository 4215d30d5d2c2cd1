// Helpers of the export and archive medium dialog tests: pumping messages until a condition
// holds, reading control texts, recorded error boxes, and running a Linux program (ffprobe)
// from the Wine test.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "shell/win/error_box.h"
#include "shell/win/gdi.h"
#include "support/files.h"
#include "support/win_artifacts.h"

namespace archive_win_test {

// Dispatches messages until `done` holds or `seconds` pass; returns whether it held.
inline bool PumpUntil(const std::function<bool()>& done, int seconds = 60) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

inline std::wstring Text(HWND window) {
  wchar_t buffer[1024] = L"";
  GetWindowTextW(window, buffer, 1024);
  return buffer;
}

inline std::string Utf8Text(HWND dialog, int id) { return Utf8FromWide(Text(GetDlgItem(dialog, id))); }

// Error boxes, recorded (owner and UTF-8 text) instead of shown, while the object lives.
struct RecordedErrors {
  struct Box {
    HWND owner;
    std::string text;
  };
  std::vector<Box> boxes;
  RecordedErrors() {
    SetErrorBoxHook([this](HWND owner, const std::string& text) { boxes.push_back({owner, Utf8FromCp1250(text)}); });
  }
  ~RecordedErrors() { SetErrorBoxHook({}); }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes) texts.push_back(box.text);
    return texts;
  }
};

// Captures what the dialog shows on screen: every child painted now, then the client area
// copied from the window's own surface. (A dialog does not answer WM_PRINTCLIENT itself.)
inline bool CaptureClient(HWND window, OffscreenBitmap& picture) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  GdiFlush();
  RECT client{};
  GetClientRect(window, &client);
  if (!picture.Create(client.right, client.bottom)) return false;
  WindowDc screen(window);
  return BitBlt(picture.Dc(), 0, 0, client.right, client.bottom, screen.Get(), 0, 0, SRCCOPY) != FALSE;
}

inline void SaveDialogArtifact(HWND window, const std::string& name) {
  OffscreenBitmap picture;
  if (CaptureClient(window, picture)) trevna_test::SaveArtifact(picture, name);
}

// The Linux path of a Windows path under Wine (empty elsewhere).
inline std::string UnixPath(const std::wstring& path) {
  using Convert = char*(CDECL*)(const wchar_t*);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (!convert) return {};
  char* unix = convert(path.c_str());
  if (!unix) return {};
  std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

// Starts a Linux program from the Wine test (Wine runs a non-Windows executable natively,
// detached: there is no process handle to wait on and no redirected output), which writes its
// results to the file `output`. Returns that file's text once it holds `lastLine`, or what it
// held at the deadline.
inline std::string RunUnixProgram(const std::wstring& program, const std::wstring& arguments,
                                  const std::filesystem::path& output, const std::string& lastLine) {
  std::error_code ignored;
  std::filesystem::remove(output, ignored);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return "(not started)";
  }
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  std::string text;
  PumpUntil([&] {
    text = trevna_test::ReadBytes(output);
    return text.find(lastLine) != std::string::npos;
  });
  return text;
}

}  // namespace archive_win_test
