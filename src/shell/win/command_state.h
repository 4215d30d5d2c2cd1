// The state a command shows wherever it appears: greyed or not, checked (a menu item's check
// mark, a toolbar button pressed) or not. One function of the frame gives it for every command;
// the menus and the toolbar only apply it.
#pragma once

#include <windows.h>

#include <functional>

struct CommandState {
  bool enabled = true;
  bool checked = false;
  bool operator==(const CommandState&) const = default;
};

using CommandStates = std::function<CommandState(UINT id)>;

// Greys and checks every command item of `menu` and of its sub-menus as `states` says.
void ApplyMenuStates(HMENU menu, const CommandStates& states);
