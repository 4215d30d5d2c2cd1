// "O programie": the logo, the product name, its version, the description, the maker's page as
// a link (opened with the system's default handler) and "Zamknij".
#pragma once

#include <windows.h>

#include "shell/win/shell_launcher.h"

// The maker's page, shown by the link and opened by it.
extern const wchar_t kMakerPage[];

// Runs the dialog modally; returns 2 ("Zamknij", Esc or the close box).
INT_PTR RunAboutDialog(HWND owner, ShellLauncher& shell);
