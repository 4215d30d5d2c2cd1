#include "logic/win/composer_view.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/text.h"
#include "base/trace.h"
#include "doc/document.h"
#include "doc/selection.h"
#include "logic/definition_commands.h"
#include "logic/expression_layout.h"
#include "resource_ids.h"

// The definition engine numbers the pop-up menu's commands without seeing the resources.
static_assert(kCommandMakeOr == ID_COMPOSER_OR && kCommandMakeAnd == ID_COMPOSER_AND &&
              kCommandMakeXor == ID_COMPOSER_XOR && kCommandMakeZero == ID_COMPOSER_ZERO &&
              kCommandMakeOne == ID_COMPOSER_ONE && kCommandReset == ID_COMPOSER_RESET);
static_assert(kCommandDetectorFirst == ID_COMPOSER_DETECTOR_FIRST && kCommandDetectorLast == ID_COMPOSER_DETECTOR_LAST &&
              kCommandMakeUndefined == ID_COMPOSER_UNDEFINED);

namespace {

constexpr COLORREF kSelectedFrame = RGB(0, 0, 255);

// The text of a leaf as the editor shows it (Windows-1250).
std::string LeafText(const ExprNode& node) {
  char text[16];
  const unsigned number = node.number;
  switch (node.kind) {
    case NodeKind::Zero: return "0";
    case NodeKind::One: return "1";
    case NodeKind::DetectorA: std::snprintf(text, sizeof text, "A%u", number); break;
    case NodeKind::DetectorB: std::snprintf(text, sizeof text, "B%u", number); break;
    case NodeKind::DetectorC: std::snprintf(text, sizeof text, "C%u", number); break;
    case NodeKind::DetectorD: std::snprintf(text, sizeof text, "D%u", number); break;
    case NodeKind::OutputLabel: std::snprintf(text, sizeof text, "Y%u", number); break;
    case NodeKind::ZLabel: std::snprintf(text, sizeof text, "Z%u", number); break;
    case NodeKind::TrackLabel: std::snprintf(text, sizeof text, "%cc", static_cast<char>('A' + number)); break;
    default: return Cp1250FromUtf8("Nieokreślony");
  }
  return text;
}

SIZE MeasureText(HDC dc, const std::wstring& text) {
  RECT rect{0, 0, 100, 100};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

bool HasGlyph(HDC dc, wchar_t character) {
  WORD glyph = 0xFFFF;
  return GetGlyphIndicesW(dc, &character, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == 1 && glyph != 0xFFFF &&
         glyph != 0;  // 0 is the missing-glyph box
}

FontHandle GlyphFont(const wchar_t* face) {
  return FontHandle(CreateFontW(24, 0, 0, 0, 500, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH, face));
}

// The fonts and characters of the four operator glyphs. The Symbol font draws them by their
// Symbol codes (in the U+F000 page of a symbol font, or at the codes themselves). A Symbol font
// without one of them (Wine's own lacks the and, exclusive-or and arrow glyphs) would draw the
// missing-glyph box; then all four come by their Unicode meaning from the first font that has
// them all, so the formulas stay readable and consistent.
class OperatorGlyphs {
 public:
  struct Glyph {
    HFONT font;
    wchar_t character;
  };

  explicit OperatorGlyphs(HDC dc) : symbol_(GlyphFont(L"Symbol")) {
    SelectObjectScope selected(dc, symbol_.Get());
    for (wchar_t page : {wchar_t{0xF000}, wchar_t{0}}) {
      bool all = true;
      for (const Code& code : kCodes) all = all && HasGlyph(dc, static_cast<wchar_t>(page + code.symbol));
      if (all) {
        page_ = page;
        return;
      }
    }
    for (const wchar_t* face : {L"Segoe UI Symbol", L"Cambria Math", L"DejaVu Sans", L"Lucida Sans Unicode",
                                L"Arial Unicode MS"}) {
      FontHandle font = GlyphFont(face);
      SelectObjectScope candidate(dc, font.Get());
      wchar_t got[LF_FACESIZE] = L"";
      GetTextFaceW(dc, LF_FACESIZE, got);
      bool all = std::wstring(got) == face;
      for (const Code& code : kCodes) all = all && HasGlyph(dc, code.meaning);
      if (all) {
        fallback_ = std::move(font);
        return;
      }
    }
  }

  Glyph For(NodeKind kind) const {
    for (const Code& code : kCodes) {
      if (code.kind != kind) continue;
      if (fallback_) return {fallback_.Get(), code.meaning};
      return {symbol_.Get(), static_cast<wchar_t>(page_ + code.symbol)};
    }
    return For(NodeKind::Assign);
  }

 private:
  struct Code {
    NodeKind kind;
    wchar_t symbol;   // code in the Symbol font
    wchar_t meaning;  // the same sign in Unicode
  };
  static constexpr Code kCodes[] = {
      {NodeKind::And, 0xC7, 0x2227},     // logical and
      {NodeKind::Or, 0xC8, 0x2228},      // logical or
      {NodeKind::Xor, 0xC5, 0x2295},     // circled plus
      {NodeKind::Assign, 0xDC, 0x21D0},  // leftwards double arrow
  };
  FontHandle symbol_;
  FontHandle fallback_;
  wchar_t page_ = 0xF000;
};

SIZE MeasureGlyph(HDC dc, const OperatorGlyphs::Glyph& glyph) {
  SelectObjectScope font(dc, glyph.font);
  RECT rect{0, 0, 100, 100};
  DrawTextW(dc, &glyph.character, 1, &rect, DT_CALCRECT);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// Lays out one node with its top-left corner at 0,0: its rectangle becomes its picture's size
// and its children are moved to where they are copied into it.
void LayoutNode(ExprNode& node, HDC dc, const OperatorGlyphs& glyphs) {
  if (IsOperator(node.kind) && node.children.size() == 2) {
    ExprNode& first = node.children[0];
    ExprNode& second = node.children[1];
    LayoutNode(first, dc, glyphs);
    LayoutNode(second, dc, glyphs);
    const SIZE glyph = MeasureGlyph(dc, glyphs.For(node.kind));
    const int w0 = first.rect.right, h0 = first.rect.bottom;
    const int w1 = second.rect.right, h1 = second.rect.bottom;
    const int height = std::max({h0, static_cast<int>(glyph.cy), h1});
    OffsetNode(first, 4, (height - h0) / 2 + 4);
    OffsetNode(second, w0 + glyph.cx + 12, (height - h1) / 2 + 4);
    node.rect = {0, 0, w0 + glyph.cx + w1 + 16, height + 8};
    return;
  }
  const SIZE text = MeasureText(dc, WideFromCp1250(LeafText(node)));
  node.rect = {0, 0, text.cx + 8, text.cy + 8};
}

void Frame(HDC dc, const NodeRect& r, bool selected) {
  const RECT rect{r.left, r.top, r.right, r.bottom};
  if (selected) {
    BrushHandle blue(CreateSolidBrush(kSelectedFrame));
    FrameRect(dc, &rect, blue.Get());
  } else {
    FrameRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  }
}

// The part of `selection` ("A"/"B" steps ended by "X") below the child reached by `step`.
std::string_view ChildSelection(std::string_view selection, char step) {
  if (!selection.empty() && selection.front() == step) return selection.substr(1);
  return {};
}

// Draws a laid-out node at the rectangles it carries. `selection` is the part of the selection
// path that concerns this node.
void DrawNode(HDC dc, const OperatorGlyphs& glyphs, const ExprNode& node, std::string_view selection, bool framed) {
  const RECT area{node.rect.left, node.rect.top, node.rect.right, node.rect.bottom};
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const bool selected = !selection.empty() && selection.front() == 'X';
  if (IsOperator(node.kind) && node.children.size() == 2) {
    const ExprNode& first = node.children[0];
    const ExprNode& second = node.children[1];
    DrawNode(dc, glyphs, first, ChildSelection(selection, 'A'), true);
    DrawNode(dc, glyphs, second, ChildSelection(selection, 'B'), true);
    const OperatorGlyphs::Glyph glyph = glyphs.For(node.kind);
    const SIZE size = MeasureGlyph(dc, glyph);
    const int height = node.rect.bottom - node.rect.top - 8;
    RECT place{first.rect.right + 4, node.rect.top + (height - size.cy) / 2 + 4, 0, 0};
    place.right = place.left + size.cx;
    place.bottom = place.top + size.cy;
    SelectObjectScope font(dc, glyph.font);
    DrawTextW(dc, &glyph.character, 1, &place, DT_NOCLIP);
    if (framed) Frame(dc, node.rect, selected);
    return;
  }
  const std::wstring text = WideFromCp1250(LeafText(node));
  RECT place{node.rect.left + 4, node.rect.top + 4, node.rect.right, node.rect.bottom};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place, DT_NOCLIP);
  Frame(dc, node.rect, selected);  // leaves are always framed
}

constexpr NodeKind LabelKind(DefinitionFamily family) {
  return family == DefinitionFamily::Output ? NodeKind::OutputLabel
         : family == DefinitionFamily::Z    ? NodeKind::ZLabel
                                            : NodeKind::TrackLabel;
}

char FamilyLetter(DefinitionFamily family) {
  return family == DefinitionFamily::Output ? 'Y' : family == DefinitionFamily::Z ? 'Z' : 'C';
}

char IndexCharacter(DefinitionFamily family, std::size_t index) {
  return static_cast<char>((family == DefinitionFamily::Track ? 'a' : '0') + index);
}

// The selection of a display row ("B" + the node path) when the selection lies in it.
std::string RowSelection(const SelectionPath& path, DefinitionFamily family, std::size_t index) {
  if (path.size() > 2 && path[0] == FamilyLetter(family) && path[1] == IndexCharacter(family, index)) {
    std::string selection(1, 'B');
    selection.append(path, 2, std::string::npos);
    return selection;
  }
  return {};
}

}  // namespace

void ComposerView::Create(HWND frame, HINSTANCE instance, const RECT& area, Document& document) {
  document_ = &document;
  scroller_.Create(frame, instance, area);
  CreateDescribedWindow(*this, {.className = L"ComposerView",
                                .instance = instance,
                                .classStyle = CS_OWNDC,
                                .style = WS_CHILD | WS_VISIBLE,
                                .width = 8,
                                .height = 4,
                                .parent = scroller_.window,
                                .failure = "Nie udało się utworzyć widoku Definicji wyjść."});
}

void ComposerView::Invalidate(const RenderState& state) {
  TimingTrace trace("ComposerView::Invalidate");
  rows_.clear();
  for (DefinitionFamily family : {DefinitionFamily::Output, DefinitionFamily::Z, DefinitionFamily::Track}) {
    const auto& definitions = Definitions(state, family);
    for (std::size_t i = 0; i < definitions.size(); ++i) {
      const std::uint32_t label = family == DefinitionFamily::Track ? static_cast<std::uint32_t>(i)
                                                                    : static_cast<std::uint32_t>(i + 1);
      rows_.push_back({family, i, ExprNode(NodeKind::Assign, ExprNode(LabelKind(family), label), *definitions[i])});
    }
  }

  MemoryDc measure(nullptr);
  const OperatorGlyphs glyphs(measure.Get());
  // Leaf texts in a TrueType face: the system's bitmap font has no Polish letters under every
  // locale ("Nieokreślony").
  const FontHandle text(CreateFontW(16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
  SelectObjectScope measureText(measure.Get(), text.Get());
  int width = 8, height = 4;
  for (Row& row : rows_) {
    LayoutNode(row.root, measure.Get(), glyphs);
    width = std::max(width, static_cast<int>(row.root.rect.right) + 8);
    height += row.root.rect.bottom + 4;
  }
  if (!picture_.Create(width, height)) return;
  const RECT all{0, 0, width, height};
  FillRect(picture_.Dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SelectObjectScope drawText(picture_.Dc(), text.Get());
  SetBkMode(picture_.Dc(), TRANSPARENT);
  SetTextColor(picture_.Dc(), RGB(0, 0, 0));
  int y = 4;
  for (Row& row : rows_) {
    const int rowHeight = row.root.rect.bottom;
    OffsetNode(row.root, 4, y);
    DrawNode(picture_.Dc(), glyphs, row.root, RowSelection(state.selectionPath, row.family, row.index), false);
    y += rowHeight + 4;
  }

  if (!window) return;
  RECT client{};
  GetClientRect(window, &client);
  if (client.right != width || client.bottom != height) {
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
    scroller_.Update();
  }
  InvalidateRect(window, nullptr, FALSE);
}

void ComposerView::Resize(int width, int height) {
  if (!scroller_.window) return;
  SetWindowPos(scroller_.window, nullptr, 0, 0, width, height, SWP_NOZORDER);
  scroller_.Update();
}

bool ComposerView::Paint() {
  PaintDc paint(window);
  if (picture_.Valid()) picture_.CopyTo(paint.Get());
  return true;
}

void ComposerView::SelectAt(int x, int y) {
  if (!document_) return;
  SelectionPath selected;
  for (const Row& row : rows_) {
    // The row is "label <- formula"; the formula is the second child of the display row.
    const std::string path = HitTest(row.root.children[1], x, y);
    if (!path.empty()) {
      selected = MakeSelectionPath(row.family, row.index, path);
      break;
    }
  }
  RenderState& state = document_->Current();
  if (selected != state.selectionPath) {
    state.selectionPath = selected;  // not an edit: no undo step
    Invalidate(state);
  }
}

HMENU ComposerView::BuildMenu() const {
  if (!document_) return nullptr;
  const RenderState& state = document_->Current();
  const ExprNode* node = ResolvePath(state);
  if (state.selectionPath.empty() || !node) return nullptr;
  const MenuHandle loaded(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_COMPOSER_MENU)));
  if (!loaded) return nullptr;
  HMENU menu = GetSubMenu(loaded.Get(), 0);
  RemoveMenu(loaded.Get(), 0, MF_BYPOSITION);  // the sub-menu outlives its bar

  UINT checked = 0;
  switch (node->kind) {
    case NodeKind::Zero: checked = kCommandMakeZero; break;
    case NodeKind::One: checked = kCommandMakeOne; break;
    case NodeKind::And: checked = kCommandMakeAnd; break;
    case NodeKind::Or: checked = kCommandMakeOr; break;
    case NodeKind::Xor: checked = kCommandMakeXor; break;
    default: break;
  }
  if (checked) CheckMenuItem(menu, checked, MF_BYCOMMAND | MF_CHECKED);

  auto insert = [&](const std::wstring& text, UINT command, bool check) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING | MIIM_ID | MIIM_STATE;
    item.wID = command;
    item.fState = check ? MFS_CHECKED : 0;
    std::wstring copy = text;
    item.dwTypeData = copy.data();
    InsertMenuItemW(menu, kCommandMakeOr, FALSE, &item);
  };
  const auto used = document_->UsedNumbers();
  for (int track = 0; track < 4; ++track) {
    for (std::uint32_t bit = 0; bit < 32; ++bit) {
      if (!(used[static_cast<std::size_t>(track)] & (1u << bit))) continue;
      const bool same = DetectorKindTrack(node->kind) == track && node->number == bit + 1;
      insert(DetectorWideName(track, bit + 1), DetectorCommand(track, bit + 1), same);
    }
  }
  if (state.selectionPath[0] == 'Z' && state.selectionPath.size() == 3) {
    insert(WideFromUtf8("Nieokreślony"), kCommandMakeUndefined, node->kind == NodeKind::Undefined);
  }
  return menu;
}

void ComposerView::OpenMenu(int x, int y) {
  SelectAt(x, y);
  MenuHandle menu(BuildMenu());
  if (!menu) return;
  UINT command = 0;
  if (chooser_) {
    command = chooser_(menu.Get(), chooserContext_);
  } else {
    POINT point{x, y};
    ClientToScreen(window, &point);
    command = static_cast<UINT>(
        TrackPopupMenu(menu.Get(), TPM_RIGHTBUTTON | TPM_RETURNCMD, point.x, point.y, 0, window, nullptr));
  }
  if (command) ApplyCommand(command);
}

void ComposerView::ApplyCommand(UINT command) {
  if (!document_ || document_->Current().selectionPath.empty()) return;
  RunDefinitionCommand(*document_, command);
  Invalidate(document_->Current());
}

LRESULT ComposerView::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_LBUTTONDOWN:
      SelectAt(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
    case WM_RBUTTONDOWN:
      OpenMenu(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
    case WM_COMMAND:
      ApplyCommand(LOWORD(wparam));
      return 0;
    case WM_PRINTCLIENT:
      if (picture_.Valid()) picture_.CopyTo(reinterpret_cast<HDC>(wparam));
      return 0;
    default:
      return Window::WindowProc(hwnd, message, wparam, lparam);
  }
}
