// What a user's hand does in window tests, shared by the windows' own tests and the main
// frame's scenario: the client point of a canvas pixel in the detector editor's pane layout,
// and a stand-in for the user at a pop-up menu.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "doc/picture.h"
#include "doc/win/editor_layout.h"

namespace trevna_test {

// The client point of the detector editor at the centre of canvas pixel (x, y) of pane `track`.
inline POINT PanePoint(const PaneGeometry& g, int track, int x, int y) {
  const RECT content = g.Content(track);
  const int left = (Picture::kCanvasWidth - g.pictureWidth) / 2;
  return {content.left + (x - left) * g.zoom + g.zoom / 2, content.top + y * g.zoom + g.zoom / 2};
}

// Stands for the user at the pop-up menu: records its items and picks one by its text.
struct MenuUser {
  std::vector<std::wstring> items;
  std::vector<bool> checked;
  std::wstring pick;
  int opened = 0;

  static UINT Choose(HMENU menu, void* context) {
    auto& self = *static_cast<MenuUser*>(context);
    ++self.opened;
    self.items.clear();
    self.checked.clear();
    UINT chosen = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      wchar_t text[64] = L"";
      GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
      self.items.push_back(text);
      self.checked.push_back((GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_CHECKED) != 0);
      if (self.pick == text) chosen = GetMenuItemID(menu, i);
    }
    return chosen;
  }
};

}  // namespace trevna_test
