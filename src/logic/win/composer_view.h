// The view of the output definition editor: every output, Z and track definition drawn as a
// formula row ("Y1" <- formula), one off-screen picture per change, a click selects a node and
// the right button opens the command menu of that node.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "doc/render_state.h"
#include "shell/win/gdi.h"
#include "shell/win/scroll_view.h"
#include "shell/win/window.h"

class Document;

class ComposerView : public Window {
 public:
  // One drawn row: the definition it shows and the laid-out copy of its root, whose
  // rectangles are in view pixels (what hit testing uses).
  struct Row {
    DefinitionFamily family;
    std::size_t index;
    ExprNode root;
  };

  ComposerView() : scroller_(*this) {}

  // Creates the scroll view over `area` of `frame` and the view inside it. Throws on failure.
  void Create(HWND frame, HINSTANCE instance, const RECT& area, Document& document);

  // Lays out and draws every definition of `state`.
  void Invalidate(const RenderState& state);

  void Resize(int width, int height) override;
  bool Paint() override;
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

  ScrollView& Scroller() { return scroller_; }
  const std::vector<Row>& Rows() const { return rows_; }
  const OffscreenBitmap& Picture() const { return picture_; }

  // The pop-up menu for the current selection, as it is shown (null with no selection).
  HMENU BuildMenu() const;
  // The menu step of a right click: null when the menu would not open. Tests install a hook
  // that stands for the user (it sees the menu and returns the chosen command, 0 for none).
  using MenuChooser = UINT (*)(HMENU menu, void* context);
  void SetMenuChooser(MenuChooser chooser, void* context) {
    chooser_ = chooser;
    chooserContext_ = context;
  }

 private:
  void SelectAt(int x, int y);
  void OpenMenu(int x, int y);
  void ApplyCommand(UINT command);

  Document* document_ = nullptr;
  ScrollView scroller_;
  OffscreenBitmap picture_;
  std::vector<Row> rows_;
  MenuChooser chooser_ = nullptr;
  void* chooserContext_ = nullptr;
};
