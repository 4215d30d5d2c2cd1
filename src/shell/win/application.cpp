#include "shell/win/application.h"

#include <commctrl.h>

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "archive/md5.h"
#include "base/text.h"
#include "shell/pending_updates.h"
#include "shell/win/error_box.h"
#include "shell/win/main_frame.h"
#include "shell/win/main_loop.h"

int RunApplication(HINSTANCE instance, const StartupOptions& options) {
  InitCommonControls();
  PendingUpdates updates;
  auto frame = std::make_unique<MainFrame>(updates);
  try {
    const bool md5Works = options.selfTest ? options.selfTest() : Md5SelfTest();
    if (!md5Works) throw std::runtime_error("Funkcja MD5 jest niepoprawna.");
    frame->Create(instance);
  } catch (const std::exception& e) {
    ShowError(nullptr, Cp1250FromUtf8("Nie powiodło się zainicjowanie aplikacji.\n") + e.what());
    if (frame->window) DestroyWindow(frame->window);
    frame.reset();
    return 1;
  }
  ShowWindow(frame->window, options.showCommand);
  UpdateWindow(frame->window);

  RunMainLoop(*frame, updates);

  frame->StopWorkers();
  frame.reset();
  return 0;
}
