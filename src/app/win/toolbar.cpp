#include "app/win/toolbar.h"

#include <commctrl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "resource_ids.h"
#include "shell/win/gdi.h"

const std::array<ToolbarEntry, 30> kToolbarEntries{{
    {0, IDM_FILE_NEW, "Nowy... (Ctrl+N)"},
    {1, IDM_FILE_OPEN, "Otwórz... (Ctrl+O)"},
    {2, IDM_FILE_SAVE, "Zapisz (Ctrl+S)"},
    {-1, 0, nullptr},
    {3, IDM_EDIT_UNDO, "Cofnij (Ctrl+Z)"},
    {4, IDM_EDIT_REDO, "Ponów (Ctrl+Y)"},
    {-1, 0, nullptr},
    {5, IDM_LINE_WIDTH_1, "Grubość 1 piksel"},
    {6, IDM_LINE_WIDTH_2, "Grubość 2 piksele"},
    {7, IDM_LINE_WIDTH_3, "Grubość 3 piksele"},
    {8, IDM_LINE_WIDTH_4, "Grubość 4 piksele"},
    {-1, 0, nullptr},
    {15, IDM_FILL_NONE, "Brak wypełnienia"},
    {16, IDM_FILL_LADDER_1, "1 stopień drabinki"},
    {17, IDM_FILL_LADDER_2, "2 stopnie drabinki"},
    {18, IDM_FILL_LADDER_3, "3 stopnie drabinki"},
    {19, IDM_FILL_LADDER_4, "4 stopnie drabinki"},
    {20, IDM_FILL_LADDER_5, "5 stopni drabinki"},
    {21, IDM_FILL_LADDER_6, "6 stopni drabinki"},
    {22, IDM_FILL_UNIFORM_20, "Równomiernie 20%"},
    {-1, 0, nullptr},
    {9, IDM_EDIT_DELETE, "Usuń (Del)"},
    {-1, 0, nullptr},
    {10, IDM_ZOOM_IN, "Powiększ"},
    {11, IDM_ZOOM_OUT, "Pomniejsz"},
    {-1, 0, nullptr},
    {12, IDM_TOOL_POINTER, "Wskaźnik"},
    {13, IDM_TOOL_ERASER, "Gumka"},
    {24, IDM_TOOL_MOVE, "Przemieść"},
    {23, IDM_TOOL_DIRECTION, "Kierunkowość"},
}};

namespace {

// The tooltip texts as the toolbar keeps pointers to them: built once, alive for the run.
const std::vector<std::wstring>& Tooltips() {
  static const std::vector<std::wstring> texts = [] {
    std::vector<std::wstring> t;
    for (const ToolbarEntry& e : kToolbarEntries) t.push_back(e.tooltip ? WideFromUtf8(e.tooltip) : L"");
    return t;
  }();
  return texts;
}

}  // namespace

HWND CreateToolbar(HWND parent, RECT& layout) {
  std::vector<TBBUTTON> buttons(kToolbarEntries.size());
  for (std::size_t i = 0; i < kToolbarEntries.size(); ++i) {
    const ToolbarEntry& e = kToolbarEntries[i];
    TBBUTTON& b = buttons[i];
    b.iBitmap = e.image < 0 ? 0 : e.image;
    b.idCommand = static_cast<int>(e.command);
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = e.image < 0 ? BTNS_SEP : BTNS_BUTTON;
    b.iString = e.image < 0 ? 0 : reinterpret_cast<INT_PTR>(Tooltips()[i].c_str());
  }
  HWND toolbar = CreateToolbarEx(parent, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT | TBSTYLE_TRANSPARENT,
                                 0, 0, nullptr, 0, buttons.data(), static_cast<int>(buttons.size()), 16, 16, 16, 16,
                                 sizeof(TBBUTTON));
  if (!toolbar) throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć paska narzędzi."));
  SendMessageW(toolbar, TB_SETMAXTEXTROWS, 0, 0);
  SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
  const BitmapHandle strip(static_cast<HBITMAP>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_TOOLBAR), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  HIMAGELIST images = strip ? ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 25, 0) : nullptr;
  // The image list keeps its own copy: the strip goes at the end of this scope.
  const bool added = images && ImageList_AddMasked(images, strip.Get(), RGB(255, 0, 255)) >= 0;
  if (!added) {
    if (images) ImageList_Destroy(images);
    DestroyWindow(toolbar);
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się zainicjować paska narzędzi."));
  }
  SendMessageW(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
  SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
  RECT r{};
  GetWindowRect(toolbar, &r);
  layout.top += r.bottom - r.top;
  return toolbar;
}

void DestroyToolbarImages(HWND toolbar) {
  if (!toolbar) return;
  auto images = reinterpret_cast<HIMAGELIST>(SendMessageW(toolbar, TB_SETIMAGELIST, 0, 0));
  if (images) ImageList_Destroy(images);
}

void ApplyToolbarStates(HWND toolbar, const CommandStates& states) {
  for (const ToolbarEntry& e : kToolbarEntries) {
    if (e.image < 0) continue;
    const LRESULT current = SendMessageW(toolbar, TB_GETSTATE, e.command, 0);
    if (current == -1) continue;
    const CommandState state = states(e.command);
    const auto old = static_cast<BYTE>(current);
    const auto wanted = static_cast<BYTE>((old & ~(TBSTATE_ENABLED | TBSTATE_CHECKED)) |
                                          (state.enabled ? TBSTATE_ENABLED : 0) |
                                          (state.checked ? TBSTATE_CHECKED : 0));
    if (wanted != old) SendMessageW(toolbar, TB_SETSTATE, e.command, MAKELPARAM(wanted, 0));
  }
}
