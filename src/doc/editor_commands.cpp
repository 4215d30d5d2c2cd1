#include "doc/editor_commands.h"

#include <algorithm>
#include <cmath>

std::optional<std::int32_t> DirectionAngle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  const std::int32_t dx = x2 - x1;
  const std::int32_t dy = y2 - y1;
  if (dx == 0 && dy == 0) return std::nullopt;
  const float fx = static_cast<float>(dx);
  const float fy = static_cast<float>(dy);
  const float length = std::sqrt(fx * fx + fy * fy);
  const float degrees = std::atan2(fy / length, fx / length) * 57.295826f;
  std::int32_t angle = 450 - static_cast<std::int32_t>(std::floor(degrees + 0.5f));
  if (angle >= 360) angle -= 360;
  return angle;
}

CanvasPoint ClampVertex(const RenderState& state, CanvasPoint point) {
  return {std::clamp(point.x, state.VisibleLeft(), state.VisibleRight() - 1),
          std::clamp(point.y, 0, Picture::kCanvasHeight - 1)};
}

DetectorEditor::DetectorEditor(Document& document, UpdateSink& updates) : document_(document), updates_(updates) {}

void DetectorEditor::SetCurrentTrack(int track) {
  if (track == currentTrack_) return;
  currentTrack_ = track;
  document_.Current().selected = -1;
  updates_.RequestUpdate(UpdateView | UpdateCommands);
}

void DetectorEditor::Select(std::int32_t index) {
  RenderState& state = document_.Current();
  state.selected = index >= 0 && static_cast<std::size_t>(index) < state.detectors.size() ? index : -1;
  FollowSelection();
}

void DetectorEditor::FollowSelection() {
  if (const Detector* d = document_.Current().SelectedDetector()) {
    lineWidth_ = d->lineWidth;
    ladderSteps_ = d->ladderSteps;
    fillPercent_ = d->fillPercent;
  }
  updates_.RequestUpdate(UpdateView | UpdateCommands);
}

void DetectorEditor::SetTool(EditorTool tool) {
  if (tool == tool_) return;
  tool_ = tool;
  updates_.RequestUpdate(UpdateView);
}

// The selected detector changes first: its new revision makes the settings follow the detector
// as it was, and the settings then take the new value.
void DetectorEditor::ChangeLineWidth(std::int32_t width) {
  document_.SetLineWidth(width);
  if (width != lineWidth_) {
    lineWidth_ = width;
    updates_.RequestUpdate(UpdateView);
  }
}

void DetectorEditor::ChangeLadderAndFill(std::int32_t ladder, std::int32_t fill) {
  document_.SetLadderAndFill(ladder, fill);
  if (ladder != ladderSteps_ || fill != fillPercent_) {
    ladderSteps_ = ladder;
    fillPercent_ = fill;
    updates_.RequestUpdate(UpdateView);
  }
}

bool DetectorEditor::RunCommand(std::uint32_t command, CanvasPoint contextPoint) {
  if (command >= kCommandLineWidth1 && command <= kCommandLineWidth4) {
    ChangeLineWidth(static_cast<std::int32_t>(command - kCommandLineWidth1 + 1));
    return true;
  }
  if (command >= kCommandLadder1 && command <= kCommandLadder6) {
    ChangeLadderAndFill(static_cast<std::int32_t>(command - kCommandLadder1 + 1), 0);
    return true;
  }
  switch (command) {
    case kCommandNoFill: ChangeLadderAndFill(0, 0); return true;
    case kCommandEvenFill: ChangeLadderAndFill(0, 20); return true;
    case kCommandZoomIn:
    case kCommandZoomOut: {
      const int zoom = command == kCommandZoomIn ? std::min(zoom_ + 1, kMaxZoom) : std::max(zoom_ - 1, 1);
      if (zoom != zoom_) {
        zoom_ = zoom;
        updates_.RequestUpdate(UpdateViewSize);
      }
      return true;
    }
    case kCommandPointerTool: SetTool(EditorTool::Pointer); return true;
    case kCommandEraserTool: SetTool(EditorTool::Eraser); return true;
    case kCommandMoveTool: SetTool(EditorTool::Move); return true;
    case kCommandDirectionTool: SetTool(EditorTool::Direction); return true;
    case kCommandInsertQuadrilateral: InsertDetector(DetectorKind::Quadrilateral, std::nullopt); return true;
    case kCommandInsertLine: InsertDetector(DetectorKind::Line, std::nullopt); return true;
    case kCommandInsertQuadrilateralAtPoint: InsertDetector(DetectorKind::Quadrilateral, contextPoint); return true;
    case kCommandInsertLineAtPoint: InsertDetector(DetectorKind::Line, contextPoint); return true;
    case kCommandCopy: clipboard_.Copy(document_); updates_.RequestUpdate(UpdateCommands); return true;
    case kCommandPaste:
      if (clipboard_.Paste(document_, currentTrack_)) FollowSelection();
      return true;
    case kCommandDelete:
      if (DetectorClipboard::Delete(document_)) FollowSelection();
      return true;
    case kCommandUndo:
      if (document_.StepBack()) FollowSelection();
      return true;
    case kCommandRedo:
      if (document_.StepForward()) FollowSelection();
      return true;
    default:
      return false;
  }
}

bool DetectorEditor::IsEnabled(std::uint32_t command, bool contextMenu) const {
  switch (command) {
    case kCommandUndo: return document_.CanStepBack();
    case kCommandRedo: return document_.CanStepForward();
    case kCommandCopy:
    case kCommandDelete: return DetectorClipboard::CanCopy(document_);
    case kCommandPaste: return clipboard_.CanPaste();
    case kCommandBackgroundFromFile:
    case kCommandInsertQuadrilateral:
    case kCommandInsertLine: return contextMenu || currentTrack_ >= 0;
    default: return true;
  }
}

bool DetectorEditor::IsChecked(std::uint32_t command) const {
  if (command >= kCommandLineWidth1 && command <= kCommandLineWidth4)
    return lineWidth_ == static_cast<std::int32_t>(command - kCommandLineWidth1 + 1);
  if (command >= kCommandLadder1 && command <= kCommandLadder6)
    return ladderSteps_ == static_cast<std::int32_t>(command - kCommandLadder1 + 1);
  switch (command) {
    case kCommandNoFill: return ladderSteps_ == 0 && fillPercent_ == 0;
    case kCommandEvenFill: return fillPercent_ == 20;
    case kCommandPointerTool: return tool_ == EditorTool::Pointer;
    case kCommandEraserTool: return tool_ == EditorTool::Eraser;
    case kCommandMoveTool: return tool_ == EditorTool::Move;
    case kCommandDirectionTool: return tool_ == EditorTool::Direction;
    default: return false;
  }
}

bool DetectorEditor::InsertDetector(DetectorKind kind, std::optional<CanvasPoint> point) {
  if (currentTrack_ < 0 || static_cast<std::size_t>(currentTrack_) >= document_.Current().pictures.size())
    return false;
  RenderState& state = document_.NewRenderState();
  std::uint32_t highest = 0;
  for (const Detector& d : state.detectors)
    if (d.track == currentTrack_) highest = std::max(highest, d.number);
  Detector detector;
  detector.ladderSteps = ladderSteps_;
  detector.lineWidth = lineWidth_;
  detector.fillPercent = 0;
  detector.kind = kind;
  detector.track = currentTrack_;
  detector.number = highest + 1;
  if (point) {
    const DetectorBounds box = BoundingBox(detector);
    const CanvasPoint at = ClampVertex(state, *point);
    for (CanvasPoint& v : detector.vertices)
      v = ClampVertex(state, {v.x + at.x - box.minX, v.y + at.y - box.minY});
  }
  state.detectors.push_back(std::move(detector));
  Select(static_cast<std::int32_t>(state.detectors.size() - 1));
  return true;
}

bool DetectorEditor::MoveVertex(int vertex, std::int32_t dx, std::int32_t dy) {
  const Detector* selected = document_.Current().SelectedDetector();
  if (!selected || vertex < 0 || vertex >= selected->UsedVertices() || (dx == 0 && dy == 0)) return false;
  RenderState& state = document_.NewRenderState();
  Detector& d = *state.SelectedDetector();
  CanvasPoint& v = d.vertices[static_cast<std::size_t>(vertex)];
  v = ClampVertex(state, {v.x + dx, v.y + dy});
  d.eraser = SharedWhitePicture();
  return true;
}

bool DetectorEditor::MoveSelected(std::int32_t dx, std::int32_t dy) {
  if (!document_.Current().SelectedDetector() || (dx == 0 && dy == 0)) return false;
  RenderState& state = document_.NewRenderState();
  Detector& d = *state.SelectedDetector();
  for (CanvasPoint& v : d.vertices) v = ClampVertex(state, {v.x + dx, v.y + dy});
  d.eraser = SharedWhitePicture();
  return true;
}

bool DetectorEditor::EndDirectionDrag(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  if (!document_.Current().SelectedDetector()) return false;
  RenderState& state = document_.NewRenderState();
  if (const auto angle = DirectionAngle(x1, y1, x2, y2)) state.SelectedDetector()->angle = *angle;
  return true;
}

void DetectorEditor::BeginEraseStroke() {
  document_.NewRenderState();
  erasing_ = true;
  eraserStamp_ = document_.CurrentStamp();
}

bool DetectorEditor::Erase(CanvasPoint pixel) {
  // The stroke writes only into its own revision, and only while that is still current.
  if (!erasing_ || eraserStamp_ != document_.CurrentStamp()) return false;
  RenderState& state = document_.Current();
  Detector* d = state.SelectedDetector();
  if (!d || !d->eraser->Contains(pixel.x, pixel.y) || d->eraser->IsBlack(pixel.x, pixel.y)) return false;
  d->eraser.Write().SetBlack(pixel.x, pixel.y);
  updates_.RequestUpdate(UpdateView);
  return true;
}

bool DetectorEditor::EraseBrush(std::int32_t x, std::int32_t y, int zoom) {
  if (currentTrack_ < 0 || zoom < 1) return false;
  const RenderState& state = document_.Current();
  const int left = state.VisibleLeft();
  const int right = state.VisibleRight() - 1;
  constexpr int half = kBrushSize / 2;
  bool changed = false;
  for (int i = 0; i < kBrushSize; ++i) {
    for (int j = 0; j < kBrushSize; ++j) {
      // Truncating division, as the view maps a screen pixel to a canvas pixel; clamping makes
      // the side that falls short of the picture its first row or column.
      const int cx = std::clamp(left + (x + j - half) / zoom, left, right);
      const int cy = std::clamp((y + i - half) / zoom, 0, Picture::kCanvasHeight - 1);
      changed |= Erase({cx, cy});
    }
  }
  return changed;
}
