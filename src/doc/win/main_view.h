// The detector editor: the canvas (window class "MainView", inside its own scroll view) on which
// the technician places and shapes detectors over the track pictures. It edits the frame's
// document (FrameContext::Doc) through the DetectorEditor it makes at Create; the window only
// turns mouse gestures at client points into the editor's canvas-level calls and has
// CanvasPainter draw the revision when it changed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "doc/document.h"
#include "doc/editor_commands.h"
#include "doc/win/canvas_painter.h"
#include "doc/win/editor_layout.h"
#include "shell/win/frame_parts.h"
#include "shell/win/gdi.h"
#include "shell/win/scroll_view.h"
#include "shell/win/window.h"

class MainView : public Window, public EditorPart {
 public:
  MainView() = default;
  ~MainView() override;

  // EditorPart
  void Create(FrameContext& frame, HWND parent, const RECT& area) override;
  void Layout(const RECT& area) override;
  void Show(bool visible) override;
  void ZoomIn() override;
  void ZoomOut() override;
  bool Command(UINT id) override;
  std::optional<CommandState> StateOf(UINT id, bool contextMenu = false) const override;
  void DocumentReplaced() override;
  void FollowSelection() override;
  void ServeUpdates(std::uint32_t bits) override;

  // The editor's state (tool, zoom, settings, current track, clipboard); from Create on.
  DetectorEditor& Editor() { return *editor_; }
  const PaneGeometry& Geometry() const { return geometry_; }
  int HighlightedVertex() const { return highlighted_; }
  HWND Scroller() const { return scroller_.window; }

  bool Paint() override;
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void RequestUpdate(std::uint32_t bits);
  void OnLeftButtonDown(POINT point);
  void OnMouseMove(POINT point);
  void OnLeftButtonUp(POINT point);
  void OnRightButtonDown(POINT point);
  void CancelGesture();
  bool SetToolCursor();
  void EraseAt(POINT point);
  // Selects among the detectors under the point (click cycling); returns the new selection.
  std::int32_t ChooseSelection(POINT point);
  bool Gesture() const { return vertexDrag_ || moveDrag_ || directionDrag_; }
  // Canvas delta of the current drag (truncated towards zero).
  CanvasPoint DragDelta() const;
  // Serving UpdateView: draws every pane after a change of revision, selection, current track
  // or size, otherwise only the panes marked dirty.
  void Refresh();
  // Repaints only the current track's pane (highlight changes, drag previews, eraser strokes).
  void RepaintCurrentPane();
  void RefreshGeometry();
  // What the current track's pane shows of the pointer and a gesture in progress.
  CanvasPreview Preview() const;

  FrameContext* frame_ = nullptr;
  Document* document_ = nullptr;           // the frame's, from Create on
  std::optional<DetectorEditor> editor_;  // made at Create
  PaneGeometry geometry_;
  OffscreenBitmap picture_;  // the view's picture, drawn once per change
  CanvasPainter painter_;

  int highlighted_ = -1;
  int dragVertex_ = -1;
  POINT dragStart_{};
  POINT dragPoint_{};
  bool vertexDrag_ = false;
  bool moveDrag_ = false;
  bool directionDrag_ = false;
  POINT contextPoint_{};

  // What the picture was last drawn for: a change of any of these redraws every pane.
  std::uint64_t drawnStamp_ = ~std::uint64_t{0};
  std::int32_t drawnSelected_ = -2;
  int drawnTrack_ = -2;
  int drawnPictures_ = -1;
  std::uint32_t dirtyPanes_ = 0;  // panes to redraw although the rest is current

  ScrollView scroller_{*this};  // last: destroyed first, taking the view's window with it
};
