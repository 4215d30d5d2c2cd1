#include "doc/win/main_view.h"

#include <windowsx.h>

#include <algorithm>
#include <stdexcept>

#include "base/text.h"
#include "base/trace.h"
#include "doc/background.h"
#include "doc/file_commands.h"
#include "resource_ids.h"

// The editor engine numbers its commands without seeing the resources: each number is the one
// the menus, toolbar and accelerators use.
static_assert(kCommandZoomIn == IDM_ZOOM_IN && kCommandZoomOut == IDM_ZOOM_OUT);
static_assert(kCommandLineWidth1 == IDM_LINE_WIDTH_1 && kCommandLineWidth1 + 1 == IDM_LINE_WIDTH_2 &&
              kCommandLineWidth1 + 2 == IDM_LINE_WIDTH_3 && kCommandLineWidth4 == IDM_LINE_WIDTH_4);
static_assert(kCommandLadder1 == IDM_FILL_LADDER_1 && kCommandLadder1 + 1 == IDM_FILL_LADDER_2 &&
              kCommandLadder1 + 2 == IDM_FILL_LADDER_3 && kCommandLadder1 + 3 == IDM_FILL_LADDER_4 &&
              kCommandLadder1 + 4 == IDM_FILL_LADDER_5 && kCommandLadder6 == IDM_FILL_LADDER_6);
static_assert(kCommandNoFill == IDM_FILL_NONE && kCommandEvenFill == IDM_FILL_UNIFORM_20);
static_assert(kCommandPointerTool == IDM_TOOL_POINTER && kCommandEraserTool == IDM_TOOL_ERASER &&
              kCommandMoveTool == IDM_TOOL_MOVE && kCommandDirectionTool == IDM_TOOL_DIRECTION);
static_assert(kCommandInsertQuadrilateral == IDM_INSERT_QUAD && kCommandInsertLine == IDM_INSERT_LINE &&
              kCommandInsertQuadrilateralAtPoint == IDM_INSERT_QUAD_AT && kCommandInsertLineAtPoint == IDM_INSERT_LINE_AT);
static_assert(kCommandBackgroundFromFile == IDM_BACKGROUND_FILE && kCommandBackgroundFromLive == IDM_BACKGROUND_LIVE);
static_assert(kCommandCopy == IDM_EDIT_COPY && kCommandPaste == IDM_EDIT_PASTE && kCommandDelete == IDM_EDIT_DELETE &&
              kCommandUndo == IDM_EDIT_UNDO && kCommandRedo == IDM_EDIT_REDO);

namespace {

bool IsStateCommand(UINT id) {
  return std::find(kEditorStateCommands.begin(), kEditorStateCommands.end(), id) != kEditorStateCommands.end();
}

}  // namespace

// --- the part ---------------------------------------------------------------------------------

MainView::~MainView() {
  if (scroller_.window) DestroyWindow(scroller_.window);
}

void MainView::Create(FrameContext& frame, HWND parent, const RECT& area) {
  frame_ = &frame;
  document_ = &frame.Doc();
  editor_.emplace(*document_, frame.Updates());
  scroller_.Create(parent, frame.Instance(), area);

  RefreshGeometry();
  const SIZE size = geometry_.ViewSize();
  CreateDescribedWindow(*this, {.className = L"MainView",
                                .instance = frame.Instance(),
                                .background = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)),
                                .style = WS_CHILD | WS_VISIBLE,
                                .width = size.cx,
                                .height = size.cy,
                                .parent = scroller_.window,
                                .failure = "Nie udało się utworzyć okna widoku."});
  RequestUpdate(UpdateViewSize | UpdateView | UpdateCommands);
}

void MainView::Layout(const RECT& area) {
  if (!scroller_.window) return;
  MoveWindow(scroller_.window, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  scroller_.Update();
}

void MainView::Show(bool visible) {
  if (scroller_.window) ShowWindow(scroller_.window, visible ? SW_SHOW : SW_HIDE);
}

void MainView::RequestUpdate(std::uint32_t bits) {
  if (frame_) frame_->Updates().RequestUpdate(bits);
}

void MainView::ZoomIn() {
  if (editor_) editor_->RunCommand(kCommandZoomIn);
}
void MainView::ZoomOut() {
  if (editor_) editor_->RunCommand(kCommandZoomOut);
}

bool MainView::Command(UINT id) {
  if (!editor_) return false;
  if (id != kCommandZoomIn && id != kCommandZoomOut && !IsStateCommand(id)) return false;
  if (Gesture()) CancelGesture();
  switch (id) {
    case kCommandBackgroundFromFile:
      if (frame_ && editor_->CurrentTrack() >= 0)
        LoadBackgroundFromFile(*document_, editor_->CurrentTrack(), frame_->Files());
      return true;
    case kCommandBackgroundFromLive:
      if (frame_) BackgroundFromLiveVideo(*document_, frame_->Live().CurrentPictures());
      return true;
    default:
      return editor_->RunCommand(id, geometry_.ToCanvas(contextPoint_, editor_->CurrentTrack()));
  }
}

std::optional<CommandState> MainView::StateOf(UINT id, bool contextMenu) const {
  if (!editor_ || !IsStateCommand(id)) return std::nullopt;
  return CommandState{editor_->IsEnabled(id, contextMenu), editor_->IsChecked(id)};
}

void MainView::DocumentReplaced() {
  if (!editor_) return;
  CancelGesture();
  highlighted_ = -1;
  if (editor_->CurrentTrack() == 0) {
    RequestUpdate(UpdateView | UpdateCommands);
  } else {
    editor_->SetCurrentTrack(0);
  }
  editor_->FollowSelection();
  RequestUpdate(UpdateViewSize);
}

void MainView::FollowSelection() {
  if (editor_) editor_->FollowSelection();
}

void MainView::ServeUpdates(std::uint32_t bits) {
  if (!editor_) return;
  if (bits & UpdateViewSize) {
    RefreshGeometry();
    if (window) {
      const SIZE size = geometry_.ViewSize();
      SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      scroller_.Update();
    }
  }
  if (bits & (UpdateView | UpdateViewSize)) Refresh();
}

// --- mouse ------------------------------------------------------------------------------------

std::int32_t MainView::ChooseSelection(POINT point) {
  const RenderState& state = document_->Current();
  const int track = editor_->CurrentTrack();
  return NextSelection(DetectorsAt(state, track, geometry_.ToCanvas(point, track)), state.selected);
}

void MainView::OnLeftButtonDown(POINT point) {
  const int pane = geometry_.PaneAt(point);
  if (pane != editor_->CurrentTrack()) {
    CancelGesture();
    highlighted_ = -1;
    editor_->SetCurrentTrack(pane);
    return;
  }
  const RenderState& state = document_->Current();
  const int track = editor_->CurrentTrack();
  switch (editor_->Tool()) {
    case EditorTool::Pointer: {
      const int vertex = VertexAt(state, geometry_.ToCanvas(point, track));
      if (vertex >= 0) {
        dragStart_ = dragPoint_ = point;
        dragVertex_ = vertex;
        highlighted_ = vertex;
        vertexDrag_ = true;
        SetCapture(window);
        return;
      }
      const std::int32_t next = ChooseSelection(point);
      if (vertex != highlighted_ || next != state.selected) {
        highlighted_ = vertex;
        editor_->Select(next);
      }
      return;
    }
    case EditorTool::Eraser:
      editor_->BeginEraseStroke();
      EraseAt(point);
      SetCapture(window);
      return;
    case EditorTool::Move: {
      const std::int32_t next = ChooseSelection(point);
      if (next != state.selected) editor_->Select(next);
      if (document_->Current().SelectedDetector()) {
        dragStart_ = dragPoint_ = point;
        moveDrag_ = true;
        SetCapture(window);
      }
      return;
    }
    case EditorTool::Direction:
      if (state.SelectedDetector()) {
        dragStart_ = dragPoint_ = point;
        directionDrag_ = true;
        SetCapture(window);
        RepaintCurrentPane();
      }
      return;
  }
}

void MainView::OnMouseMove(POINT point) {
  if (editor_->Tool() == EditorTool::Eraser) {
    if (editor_->Erasing()) EraseAt(point);
    return;
  }
  if (Gesture()) {
    if (point.x != dragPoint_.x || point.y != dragPoint_.y) {
      dragPoint_ = point;
      RepaintCurrentPane();
    }
    return;
  }
  if (editor_->Tool() == EditorTool::Pointer) {
    const int vertex = VertexAt(document_->Current(), geometry_.ToCanvas(point, editor_->CurrentTrack()));
    if (vertex != highlighted_) {
      highlighted_ = vertex;
      RepaintCurrentPane();
    }
  }
}

CanvasPoint MainView::DragDelta() const {
  return {(dragPoint_.x - dragStart_.x) / geometry_.zoom, (dragPoint_.y - dragStart_.y) / geometry_.zoom};
}

void MainView::OnLeftButtonUp(POINT point) {
  if (editor_->Tool() == EditorTool::Eraser) {
    editor_->EndEraseStroke();
    if (GetCapture() == window) ReleaseCapture();
    return;
  }
  if (!Gesture()) {
    if (editor_->Tool() == EditorTool::Pointer)
      highlighted_ = VertexAt(document_->Current(), geometry_.ToCanvas(point, editor_->CurrentTrack()));
    return;
  }
  dragPoint_ = point;
  const CanvasPoint delta = DragDelta();
  // The flags go first: releasing the capture reports a cancel, which must find no gesture.
  const bool vertexDrag = std::exchange(vertexDrag_, false);
  const bool moveDrag = std::exchange(moveDrag_, false);
  const bool directionDrag = std::exchange(directionDrag_, false);
  if (GetCapture() == window) ReleaseCapture();
  if (vertexDrag) {
    editor_->MoveVertex(dragVertex_, delta.x, delta.y);
    highlighted_ = VertexAt(document_->Current(), geometry_.ToCanvas(point, editor_->CurrentTrack()));
  } else if (moveDrag) {
    editor_->MoveSelected(delta.x, delta.y);
  } else if (directionDrag) {
    editor_->EndDirectionDrag(dragStart_.x, dragStart_.y, point.x, point.y);
  }
  RepaintCurrentPane();
}

void MainView::CancelGesture() {
  const bool had = Gesture() || editor_->Erasing();
  if (vertexDrag_) highlighted_ = -1;
  vertexDrag_ = moveDrag_ = directionDrag_ = false;
  editor_->EndEraseStroke();
  if (window && GetCapture() == window) ReleaseCapture();
  if (had) RepaintCurrentPane();
}

void MainView::EraseAt(POINT point) {
  const int track = editor_->CurrentTrack();
  if (track < 0) return;
  const RECT content = geometry_.Content(track);
  if (editor_->EraseBrush(point.x - content.left, point.y - content.top, geometry_.zoom)) RepaintCurrentPane();
}

void MainView::OnRightButtonDown(POINT point) {
  contextPoint_ = point;
  if (!frame_) return;
  MenuHandle menu(LoadMenuW(frame_->Instance(), MAKEINTRESOURCEW(IDR_EDITOR_CONTEXTMENU)));
  HMENU items = menu ? GetSubMenu(menu.Get(), 0) : nullptr;
  if (!items) return;
  ApplyMenuStates(items, [this](UINT id) { return StateOf(id, true).value_or(CommandState{}); });
  POINT screen = point;
  ClientToScreen(window, &screen);
  TrackPopupMenu(items, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0,
                 frame_->MainWindow(), nullptr);
}

bool MainView::SetToolCursor() {
  int resource = 0;
  switch (editor_->Tool()) {
    case EditorTool::Pointer: break;
    case EditorTool::Eraser: resource = IDC_ERASER; break;
    case EditorTool::Move: resource = IDC_MOVE; break;
    case EditorTool::Direction: resource = IDC_DIRECTION; break;
  }
  HCURSOR cursor = nullptr;
  if (resource && frame_) cursor = LoadCursorW(frame_->Instance(), MAKEINTRESOURCEW(resource));
  SetCursor(cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW));
  return true;
}

// --- drawing ----------------------------------------------------------------------------------

void MainView::RefreshGeometry() {
  const RenderState& state = document_->Current();
  geometry_.zoom = editor_->Zoom();
  geometry_.pictureWidth = state.pictureWidth;
  geometry_.pictures = static_cast<int>(std::min<std::size_t>(state.pictures.size(), RenderState::kMaxTracks));
}

void MainView::RepaintCurrentPane() {
  const int track = editor_->CurrentTrack();
  if (track >= 0) dirtyPanes_ |= 1u << track;
  RequestUpdate(UpdateView);
}

CanvasPreview MainView::Preview() const {
  CanvasPreview preview;
  preview.currentTrack = editor_->CurrentTrack();
  preview.highlighted = highlighted_;
  if (vertexDrag_ || moveDrag_) {
    preview.moving = moveDrag_;
    preview.dragVertex = vertexDrag_ ? dragVertex_ : -1;
    preview.delta = DragDelta();
  }
  if (directionDrag_) {
    preview.directionDrag = true;
    preview.angle = DirectionAngle(dragStart_.x, dragStart_.y, dragPoint_.x, dragPoint_.y);
    preview.lineFrom = geometry_.ToCanvas(dragStart_, preview.currentTrack);
    preview.lineTo = geometry_.ToCanvas(dragPoint_, preview.currentTrack);
  }
  return preview;
}

void MainView::Refresh() {
  const auto started = GetTickCount();
  const RenderState& state = document_->Current();
  RefreshGeometry();
  const SIZE size = geometry_.ViewSize();
  const bool resized = picture_.Width() != size.cx || picture_.Height() != size.cy;
  if ((resized || !picture_.Valid()) && !picture_.Create(size.cx, size.cy)) return;
  const bool everything = resized || drawnStamp_ != document_->CurrentStamp() || drawnSelected_ != state.selected ||
                          drawnTrack_ != editor_->CurrentTrack();
  const CanvasPreview preview = Preview();
  if (everything) {
    painter_.DrawAll(picture_, state, geometry_, preview, resized || drawnPictures_ != geometry_.pictures);
    if (window) InvalidateRect(window, nullptr, FALSE);
  } else {
    for (int pane = 0; pane < geometry_.pictures; ++pane) {
      if (!(dirtyPanes_ & (1u << pane))) continue;
      painter_.DrawPane(picture_, state, geometry_, pane, preview);
      const RECT extent = geometry_.Extent(pane);
      if (window) InvalidateRect(window, &extent, FALSE);
    }
  }
  dirtyPanes_ = 0;
  drawnStamp_ = document_->CurrentStamp();
  drawnSelected_ = state.selected;
  drawnTrack_ = editor_->CurrentTrack();
  drawnPictures_ = geometry_.pictures;
  Trace("%s: %ums\n", "MainView::OnPaint", static_cast<unsigned>(GetTickCount() - started));
}

bool MainView::Paint() {
  PaintDc paint(window);
  const RECT& area = paint.Area();
  BitBlt(paint.Get(), area.left, area.top, area.right - area.left, area.bottom - area.top, picture_.Dc(), area.left,
         area.top, SRCCOPY);
  return true;
}

LRESULT MainView::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  const POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PRINTCLIENT:
      BitBlt(reinterpret_cast<HDC>(wparam), 0, 0, picture_.Width(), picture_.Height(), picture_.Dc(), 0, 0, SRCCOPY);
      return 0;
    case WM_LBUTTONDOWN:
      OnLeftButtonDown(point);
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(point);
      return 0;
    case WM_LBUTTONUP:
      OnLeftButtonUp(point);
      return 0;
    case WM_RBUTTONDOWN:
      OnRightButtonDown(point);
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != hwnd) CancelGesture();
      return 0;
    case WM_CANCELMODE:
      CancelGesture();
      break;
    case WM_SETCURSOR:
      if (LOWORD(lparam) == HTCLIENT) return SetToolCursor();
      break;
    default:
      break;
  }
  return Window::WindowProc(hwnd, message, wparam, lparam);
}
