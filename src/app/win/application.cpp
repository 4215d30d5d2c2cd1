#include "app/win/application.h"

#include <commctrl.h>

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "archive/md5.h"
#include "base/text.h"
#include "base/ui_queue.h"
#include "shell/pending_updates.h"
#include "shell/win/error_box.h"
#include "app/win/application_parts.h"
#include "app/win/main_frame.h"
#include "shell/win/main_loop.h"
#include "shell/win/ui_queue_window.h"

int RunApplication(HINSTANCE instance, const StartupOptions& options) {
  InitCommonControls();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                                       ICC_PROGRESS_CLASS | ICC_LINK_CLASS};
  InitCommonControlsEx(&controls);
  PendingUpdates updates;
  // Workers report to the windows through this queue (device/sinks.h); it outlives them all.
  UiQueue uiQueue;
  std::unique_ptr<UiQueueWindow> queueWindow;
  auto frame = std::make_unique<MainFrame>(updates, uiQueue, MakeApplicationParts(updates));
  try {
    const bool md5Works = options.selfTest ? options.selfTest() : Md5SelfTest();
    if (!md5Works) throw std::runtime_error("Funkcja MD5 jest niepoprawna.");
    queueWindow = std::make_unique<UiQueueWindow>(uiQueue);
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
  uiQueue.Clear();  // reports for windows that are gone
  return 0;
}
