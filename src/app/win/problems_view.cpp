#include "app/win/problems_view.h"

#include <stdexcept>

#include "base/text.h"
#include "resource_ids.h"
#include "shell/win/gdi.h"

int ProblemsView::Height() { return ScaledPixels(120); }

void ProblemsView::Create(HWND parent, HINSTANCE instance, RECT& layout) {
  layout.bottom -= Height();
  CreateDescribedWindow(*this, {.className = L"ProblemsView",
                                .instance = instance,
                                .classStyle = CS_OWNDC,
                                .background = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)),
                                .exStyle = WS_EX_CLIENTEDGE,
                                .style = WS_CHILD | WS_VISIBLE,
                                .x = layout.left,
                                .y = layout.bottom,
                                .width = layout.right - layout.left,
                                .height = Height(),
                                .parent = parent,
                                .failure = "Nie udało się utworzyć okna widoku."});
  RECT client{};
  GetClientRect(window, &client);
  list_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                              LVS_SORTASCENDING | LVS_AUTOARRANGE,
                          0, 0, client.right, client.bottom, window, nullptr, instance, nullptr);
  if (!list_) throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć okna widoku listy."));
  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES);
  const std::wstring title = WideFromUtf8("Komunikaty diagnostyczne");
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.cx = 1000;
  column.pszText = const_cast<wchar_t*>(title.c_str());
  SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  HIMAGELIST images = ImageList_Create(20, 20, ILC_COLOR24 | ILC_MASK, 1, 0);
  const BitmapHandle mark(static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDB_ERROR_MARK), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (images && mark) ImageList_AddMasked(images, mark.Get(), RGB(255, 0, 255));
  // Without LVS_SHAREIMAGELISTS the list destroys the image list with itself.
  SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

void ProblemsView::Layout(RECT& layout) {
  MoveWindow(window, layout.left, layout.bottom - Height(), layout.right - layout.left, Height(), TRUE);
  layout.bottom -= Height();
  RECT client{};
  GetClientRect(window, &client);
  MoveWindow(list_, 0, 0, client.right, client.bottom, TRUE);
}

void ProblemsView::ClearProblems() {
  SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
}

void ProblemsView::AddProblem(const std::wstring& text) {
  std::wstring row = text.substr(0, 1000);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.pszText = row.data();
  SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

std::vector<std::wstring> ProblemsView::Rows() const {
  std::vector<std::wstring> rows;
  const int count = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t buffer[1024] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buffer;
    item.cchTextMax = 1024;
    SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    rows.emplace_back(buffer);
  }
  return rows;
}

LRESULT ProblemsView::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SIZE && list_) {
    MoveWindow(list_, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
    return 0;
  }
  return Window::WindowProc(hwnd, message, wparam, lparam);
}
