// The one way failures are shown: an error box with the system's default caption and the
// error icon, owned by the window that failed (or none). Texts are Windows-1250.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

void ShowError(HWND owner, const std::string& cp1250Text);

// Replaces the message box, so tests can see what would be shown. Empty restores the box.
void SetErrorBoxHook(std::function<void(HWND owner, const std::string& cp1250Text)> hook);
