#include "doc/win/main_view.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "base/text.h"
#include "base/trace.h"
#include "doc/area_mask.h"
#include "doc/background.h"
#include "doc/file_commands.h"

namespace {

constexpr UINT kSaveCommand = 57603;

// Every editor command whose item the menus may hold, for greying and check marks.
constexpr UINT kMenuCommands[] = {
    kCommandUndo, kCommandRedo, kCommandCopy, kCommandPaste, kCommandDelete,
    kCommandLineWidth1, kCommandLineWidth1 + 1, kCommandLineWidth1 + 2, kCommandLineWidth4,
    kCommandNoFill, kCommandLadder1, kCommandLadder1 + 1, kCommandLadder1 + 2, kCommandLadder1 + 3,
    kCommandLadder1 + 4, kCommandLadder6, kCommandEvenFill,
    kCommandPointerTool, kCommandEraserTool, kCommandMoveTool, kCommandDirectionTool,
    kCommandInsertQuadrilateral, kCommandInsertLine, kCommandInsertQuadrilateralAtPoint,
    kCommandInsertLineAtPoint, kCommandBackgroundFromFile, kCommandBackgroundFromLive};

// The arrow of a directional detector, pointing down at angle 0.
constexpr POINT kArrow[7] = {{3, -10}, {-3, -10}, {-3, 5}, {-6, 5}, {0, 11}, {6, 5}, {3, 5}};

constexpr COLORREF kArrowFill = RGB(255, 242, 0);
constexpr COLORREF kCurrentFrame = RGB(255, 0, 0);

std::uint32_t Pixel32(const std::uint8_t* bgr) {
  return static_cast<std::uint32_t>(bgr[0]) | static_cast<std::uint32_t>(bgr[1]) << 8 |
         static_cast<std::uint32_t>(bgr[2]) << 16;
}

}  // namespace

// --- update requests ------------------------------------------------------------------------

void MainView::Updates::RequestUpdate(std::uint32_t bits) {
  if (target_) {
    target_->RequestUpdate(bits);
  } else {
    early_ |= bits;
  }
}

void MainView::Updates::Attach(UpdateSink& target) {
  target_ = &target;
  if (early_) target.RequestUpdate(std::exchange(early_, 0));
}

// --- the part ---------------------------------------------------------------------------------

MainView::MainView() : document_(updates_), editor_(document_, updates_) { document_.SetObserver(this); }

MainView::~MainView() {
  document_.SetObserver(nullptr);
  if (scroller_.window) DestroyWindow(scroller_.window);
}

void MainView::Create(FrameContext& frame, HWND parent, const RECT& area) {
  frame_ = &frame;
  updates_.Attach(frame.Updates());
  scroller_.Create(parent, frame.Instance(), area);

  WNDCLASSEXW windowClass{};
  windowClass.hInstance = frame.Instance();
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = L"MainView";
  RegisterWindowClass(windowClass);
  RefreshGeometry();
  const SIZE size = geometry_.ViewSize();
  if (!CreateFrameworkWindow(*this, 0, L"MainView", L"", WS_CHILD | WS_VISIBLE, 0, 0, size.cx, size.cy,
                             scroller_.window, nullptr, frame.Instance())) {
    throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć okna widoku."));
  }
  frame.Definitions().Invalidate(document_.Current());
  updates_.RequestUpdate(UpdateViewSize | UpdateView | UpdateCommands);
}

void MainView::Layout(const RECT& area) {
  if (!scroller_.window) return;
  MoveWindow(scroller_.window, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  scroller_.Update();
}

void MainView::Show(bool visible) {
  if (scroller_.window) ShowWindow(scroller_.window, visible ? SW_SHOW : SW_HIDE);
}

void MainView::ZoomIn() { editor_.RunCommand(kCommandZoomIn); }
void MainView::ZoomOut() { editor_.RunCommand(kCommandZoomOut); }

bool MainView::Command(UINT id) {
  const bool ours = id == kCommandZoomIn || id == kCommandZoomOut ||
                    std::find(std::begin(kMenuCommands), std::end(kMenuCommands), id) != std::end(kMenuCommands);
  if (!ours) return false;
  if (Gesture()) CancelGesture();
  switch (id) {
    case kCommandBackgroundFromFile:
      if (frame_ && editor_.CurrentTrack() >= 0)
        LoadBackgroundFromFile(document_, editor_.CurrentTrack(), frame_->Files());
      return true;
    case kCommandBackgroundFromLive:
      if (frame_) BackgroundFromLiveVideo(document_, frame_->Live().CurrentPictures());
      return true;
    default:
      return editor_.RunCommand(id, geometry_.ToCanvas(contextPoint_, editor_.CurrentTrack()));
  }
}

void MainView::UpdateMenu(HMENU menu) { UpdateItems(menu, false); }

void MainView::UpdateItems(HMENU menu, bool contextMenu) {
  for (UINT id : kMenuCommands) {
    if (GetMenuState(menu, id, MF_BYCOMMAND) == static_cast<UINT>(-1)) continue;
    EnableMenuItem(menu, id, MF_BYCOMMAND | (editor_.IsEnabled(id, contextMenu) ? MF_ENABLED : MF_GRAYED));
    CheckMenuItem(menu, id, MF_BYCOMMAND | (editor_.IsChecked(id) ? MF_CHECKED : MF_UNCHECKED));
  }
  if (GetMenuState(menu, kSaveCommand, MF_BYCOMMAND) != static_cast<UINT>(-1))
    EnableMenuItem(menu, kSaveCommand, MF_BYCOMMAND | (document_.Modified() ? MF_ENABLED : MF_GRAYED));
}

void MainView::DocumentReplaced() {
  CancelGesture();
  highlighted_ = -1;
  if (editor_.CurrentTrack() == 0) {
    updates_.RequestUpdate(UpdateView | UpdateCommands);
  } else {
    editor_.SetCurrentTrack(0);
  }
  editor_.FollowSelection();
  updates_.RequestUpdate(UpdateViewSize);
}

void MainView::ServeUpdates(std::uint32_t bits) {
  if (bits & UpdateViewSize) {
    RefreshGeometry();
    if (window) {
      const SIZE size = geometry_.ViewSize();
      SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      scroller_.Update();
    }
  }
  if (bits & (UpdateView | UpdateViewSize)) {
    const Detector* selected = document_.Current().SelectedDetector();
    if (frame_) {
      frame_->Parameters().Bind(selected);
      frame_->Tuning().Bind(selected);
    }
    Refresh();
  }
}

void MainView::SelectRevision(const RenderState& state) {
  editor_.FollowSelection();
  if (next_) next_->SelectRevision(state);
}

void MainView::ShowDefinitions(const RenderState& state) {
  if (frame_) frame_->Definitions().Invalidate(state);
  if (next_) next_->ShowDefinitions(state);
}

void MainView::PathChanged(const std::string& path) {
  if (next_) next_->PathChanged(path);
}

// --- mouse ------------------------------------------------------------------------------------

std::int32_t MainView::ChooseSelection(POINT point) {
  const RenderState& state = document_.Current();
  const int track = editor_.CurrentTrack();
  return NextSelection(DetectorsAt(state, track, geometry_.ToCanvas(point, track)), state.selected);
}

void MainView::OnLeftButtonDown(POINT point) {
  const int pane = geometry_.PaneAt(point);
  if (pane != editor_.CurrentTrack()) {
    CancelGesture();
    highlighted_ = -1;
    editor_.SetCurrentTrack(pane);
    return;
  }
  const RenderState& state = document_.Current();
  const int track = editor_.CurrentTrack();
  switch (editor_.Tool()) {
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
        editor_.Select(next);
      }
      return;
    }
    case EditorTool::Eraser:
      editor_.BeginEraseStroke();
      EraseAt(point);
      SetCapture(window);
      return;
    case EditorTool::Move: {
      const std::int32_t next = ChooseSelection(point);
      if (next != state.selected) editor_.Select(next);
      if (document_.Current().SelectedDetector()) {
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
  if (editor_.Tool() == EditorTool::Eraser) {
    if (editor_.Erasing()) EraseAt(point);
    return;
  }
  if (Gesture()) {
    if (point.x != dragPoint_.x || point.y != dragPoint_.y) {
      dragPoint_ = point;
      RepaintCurrentPane();
    }
    return;
  }
  if (editor_.Tool() == EditorTool::Pointer) {
    const int vertex = VertexAt(document_.Current(), geometry_.ToCanvas(point, editor_.CurrentTrack()));
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
  if (editor_.Tool() == EditorTool::Eraser) {
    editor_.EndEraseStroke();
    if (GetCapture() == window) ReleaseCapture();
    return;
  }
  if (!Gesture()) {
    if (editor_.Tool() == EditorTool::Pointer)
      highlighted_ = VertexAt(document_.Current(), geometry_.ToCanvas(point, editor_.CurrentTrack()));
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
    editor_.MoveVertex(dragVertex_, delta.x, delta.y);
    highlighted_ = VertexAt(document_.Current(), geometry_.ToCanvas(point, editor_.CurrentTrack()));
  } else if (moveDrag) {
    editor_.MoveSelected(delta.x, delta.y);
  } else if (directionDrag) {
    editor_.EndDirectionDrag(dragStart_.x, dragStart_.y, point.x, point.y);
  }
  RepaintCurrentPane();
}

void MainView::CancelGesture() {
  const bool had = Gesture() || editor_.Erasing();
  if (vertexDrag_) highlighted_ = -1;
  vertexDrag_ = moveDrag_ = directionDrag_ = false;
  editor_.EndEraseStroke();
  if (window && GetCapture() == window) ReleaseCapture();
  if (had) RepaintCurrentPane();
}

void MainView::EraseAt(POINT point) {
  const int track = editor_.CurrentTrack();
  if (track < 0 || !document_.Current().SelectedDetector()) return;
  bool changed = false;
  for (int i = 0; i < 9; ++i)
    for (int j = 0; j < 9; ++j)
      changed |= editor_.Erase(geometry_.ToCanvas({point.x + j - 4, point.y + i - 4}, track));
  if (changed) RepaintCurrentPane();
}

void MainView::OnRightButtonDown(POINT point) {
  contextPoint_ = point;
  if (!frame_) return;
  MenuHandle menu(LoadMenuW(frame_->Instance(), MAKEINTRESOURCEW(kContextMenu)));
  HMENU items = menu ? GetSubMenu(menu.Get(), 0) : nullptr;
  if (!items) return;
  UpdateItems(items, true);
  POINT screen = point;
  ClientToScreen(window, &screen);
  TrackPopupMenu(items, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0,
                 frame_->MainWindow(), nullptr);
}

bool MainView::SetToolCursor() {
  int resource = 0;
  switch (editor_.Tool()) {
    case EditorTool::Pointer: break;
    case EditorTool::Eraser: resource = kEraserCursor; break;
    case EditorTool::Move: resource = kMoveCursor; break;
    case EditorTool::Direction: resource = kDirectionCursor; break;
  }
  HCURSOR cursor = nullptr;
  if (resource && frame_) cursor = LoadCursorW(frame_->Instance(), MAKEINTRESOURCEW(resource));
  SetCursor(cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW));
  return true;
}

// --- drawing ----------------------------------------------------------------------------------

void MainView::RefreshGeometry() {
  const RenderState& state = document_.Current();
  geometry_.zoom = editor_.Zoom();
  geometry_.pictureWidth = state.pictureWidth;
  geometry_.pictures = static_cast<int>(std::min<std::size_t>(state.pictures.size(), RenderState::kMaxTracks));
}

void MainView::RepaintCurrentPane() {
  const int track = editor_.CurrentTrack();
  if (track >= 0) dirtyPanes_ |= 1u << track;
  updates_.RequestUpdate(UpdateView);
}

void MainView::Redraw() {
  drawnStamp_ = ~std::uint64_t{0};
  Refresh();
}

void MainView::Refresh() {
  const auto started = GetTickCount();
  const RenderState& state = document_.Current();
  RefreshGeometry();
  const SIZE size = geometry_.ViewSize();
  const bool resized = picture_.Width() != size.cx || picture_.Height() != size.cy;
  if ((resized || !picture_.Valid()) && !picture_.Create(size.cx, size.cy)) return;
  const bool everything = resized || drawnStamp_ != document_.CurrentStamp() || drawnSelected_ != state.selected ||
                          drawnTrack_ != editor_.CurrentTrack();
  if (everything) {
    // The panes cover their own places; the white between them is laid once per layout.
    if (resized || drawnPictures_ != geometry_.pictures) {
      for (int y = 0; y < picture_.Height(); ++y) std::fill_n(picture_.Row(y), picture_.Width(), 0xFFFFFFu);
    }
    for (int pane = 0; pane < geometry_.pictures; ++pane) DrawPane(pane);
    if (window) InvalidateRect(window, nullptr, FALSE);
  } else {
    for (int pane = 0; pane < geometry_.pictures; ++pane) {
      if (!(dirtyPanes_ & (1u << pane))) continue;
      DrawPane(pane);
      const RECT extent = geometry_.Extent(pane);
      if (window) InvalidateRect(window, &extent, FALSE);
    }
  }
  dirtyPanes_ = 0;
  drawnStamp_ = document_.CurrentStamp();
  drawnSelected_ = state.selected;
  drawnTrack_ = editor_.CurrentTrack();
  drawnPictures_ = geometry_.pictures;
  Trace("%s: %ums\n", "MainView::OnPaint", static_cast<unsigned>(GetTickCount() - started));
}

void MainView::DrawPane(int pane) {
  const RenderState& state = document_.Current();
  const int z = geometry_.zoom;
  const int w = geometry_.pictureWidth;
  const int h = Picture::kCanvasHeight;
  const POINT origin = geometry_.Origin(pane);
  const RECT content = geometry_.Content(pane);
  HDC dc = picture_.Dc();
  GdiFlush();

  // Shadow, then the one-pixel frame (red around the current track).
  const RECT shadowRight{origin.x + z * w + 2, origin.y + 5, origin.x + z * w + 7, origin.y + z * h + 7};
  const RECT shadowBelow{origin.x + 5, origin.y + z * h + 2, origin.x + z * w + 2, origin.y + z * h + 7};
  FillRect(dc, &shadowRight, GetSysColorBrush(COLOR_3DDKSHADOW));
  FillRect(dc, &shadowBelow, GetSysColorBrush(COLOR_3DDKSHADOW));
  const RECT frame{origin.x, origin.y, origin.x + z * w + 2, origin.y + z * h + 2};
  {
    BrushHandle red(CreateSolidBrush(kCurrentFrame));
    FrameRect(dc, &frame, pane == editor_.CurrentTrack() ? red.Get() : GetSysColorBrush(COLOR_BTNSHADOW));
  }

  // The picture and the detectors of the track, drawn on the canvas as the masks are.
  raster::Surface& surface = *surface_;
  const ::Picture& background = state.pictures[static_cast<std::size_t>(pane)].Read();
  if (background.pixels.size() == Picture::kBytes && background.width == Picture::kCanvasWidth &&
      background.height == Picture::kCanvasHeight) {
    std::memcpy(surface.Bytes(), background.pixels.data(), Picture::kBytes);
  } else {
    surface.Fill(raster::kWhite);
  }
  const bool dragging = pane == editor_.CurrentTrack() && (vertexDrag_ || moveDrag_);
  const CanvasPoint delta = DragDelta();
  for (std::size_t i = 0; i < state.detectors.size(); ++i) {
    const Detector& detector = state.detectors[i];
    if (detector.track != pane) continue;
    const bool selected = static_cast<std::int32_t>(i) == state.selected;
    if (selected && dragging) {
      Detector preview = detector;
      for (int v = 0; v < 4; ++v) {
        if (vertexDrag_ && v != dragVertex_) continue;
        CanvasPoint& p = preview.vertices[static_cast<std::size_t>(v)];
        p = ClampVertex(state, {p.x + delta.x, p.y + delta.y});
      }
      RenderDetector(preview, surface, highlighted_, true, false);
    } else {
      RenderDetector(detector, surface, selected ? highlighted_ : -1, selected, false);
    }
  }

  // Stretched z times into the content rectangle: each canvas row once, then copied z - 1 times.
  const int left = (Picture::kCanvasWidth - w) / 2;
  for (int y = 0; y < h; ++y) {
    std::uint32_t* row = picture_.Row(content.top + y * z) + content.left;
    const std::uint8_t* source = surface.PixelAt(left, y);
    std::uint32_t* out = row;
    for (int x = 0; x < w; ++x, source += 3) {
      const std::uint32_t colour = Pixel32(source);
      for (int k = 0; k < z; ++k) *out++ = colour;
    }
    for (int k = 1; k < z; ++k)
      std::memcpy(picture_.Row(content.top + y * z + k) + content.left, row, sizeof(std::uint32_t) * z * w);
  }

  // Direction arrows and the line of a direction drag, clipped to the picture.
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, content.left, content.top, content.right, content.bottom);
  for (std::size_t i = 0; i < state.detectors.size(); ++i) {
    const Detector& detector = state.detectors[i];
    if (detector.track != pane || !detector.directional) continue;
    int angle = detector.angle;
    if (directionDrag_ && pane == editor_.CurrentTrack() && static_cast<std::int32_t>(i) == state.selected) {
      if (const auto dragged = DirectionAngle(dragStart_.x, dragStart_.y, dragPoint_.x, dragPoint_.y))
        angle = *dragged;
    }
    DrawArrow(dc, detector, angle, pane);
  }
  if (directionDrag_ && pane == editor_.CurrentTrack()) {
    PenHandle red(CreatePen(PS_SOLID, 1, kCurrentFrame));
    SelectObjectScope pen(dc, red.Get());
    const CanvasPoint from = geometry_.ToCanvas(dragStart_, pane);
    const CanvasPoint to = geometry_.ToCanvas(dragPoint_, pane);
    MoveToEx(dc, content.left + (from.x - left) * z, content.top + from.y * z, nullptr);
    LineTo(dc, content.left + (to.x - left) * z, content.top + to.y * z);
  }
  RestoreDC(dc, saved);
}

void MainView::DrawArrow(HDC dc, const Detector& detector, int angle, int pane) {
  const RECT content = geometry_.Content(pane);
  const int z = geometry_.zoom;
  const int shift = content.left - z * ((Picture::kCanvasWidth - geometry_.pictureWidth) / 2);
  float cx = 0, cy = 0;
  const int used = detector.UsedVertices();
  for (int v = 0; v < used; ++v) {
    cx += static_cast<float>(detector.vertices[static_cast<std::size_t>(v)].x);
    cy += static_cast<float>(detector.vertices[static_cast<std::size_t>(v)].y);
  }
  cx /= static_cast<float>(used);
  cy /= static_cast<float>(used);
  const double a = -(angle * 0.01745328);
  const double c = std::cos(a), s = std::sin(a);
  POINT points[7];
  for (int k = 0; k < 7; ++k) {
    const double x = (kArrow[k].x * c - kArrow[k].y * s + cx) * z;
    const double y = (kArrow[k].x * s + kArrow[k].y * c + cy) * z;
    points[k] = {static_cast<LONG>(std::floor(x + 0.5)) + shift, static_cast<LONG>(std::floor(y + 0.5)) + content.top};
  }
  BrushHandle fill(CreateSolidBrush(kArrowFill));
  SelectObjectScope brush(dc, fill.Get());
  SelectObjectScope pen(dc, GetStockObject(BLACK_PEN));
  Polygon(dc, points, 7);
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
