// The output definition editor's floating tool window "Definicja wyjść": holds the scrolled
// ComposerView. Closing it only hides it and clears the main frame's flag for it.
#pragma once

#include "logic/win/composer_view.h"
#include "shell/win/frame_parts.h"
#include "shell/win/window.h"

class ComposerFrame : public Window, public DefinitionsPart {
 public:
  // Creates the frame (owned by the main window, 233 pixels left of its right edge, at `top`)
  // and the view over the editor's document. Throws on failure.
  void Create(FrameContext& frame, int top) override;
  void Show(bool visible) override { Window::Show(visible); }
  HWND Handle() const override { return window; }
  void Invalidate(const RenderState& state) override { view_.Invalidate(state); }

  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

  ComposerView& View() { return view_; }

 private:
  FrameContext* frame_ = nullptr;
  ComposerView view_;
};
