// Entry point of TrevnaConf.exe. Command-line arguments are ignored.
#include <windows.h>

#include "app/win/application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  StartupOptions options;
  options.showCommand = showCommand;
  return RunApplication(instance, options);
}
