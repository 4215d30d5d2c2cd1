#include "shell/win/frame_parts.h"

#include "doc/document.h"
#include "doc/update_sink.h"

void FollowRevision(FrameContext& frame) { frame.Editor().FollowSelection(); }

void ShowRevisionDefinitions(FrameContext& frame, const RenderState& state) { frame.Definitions().Invalidate(state); }

void ServeEditorUpdates(FrameContext& frame, std::uint32_t bits) {
  bits &= UpdateView | UpdateViewSize;
  if (!bits) return;
  const Detector* selected = frame.Doc().Current().SelectedDetector();
  frame.Parameters().Bind(selected);
  frame.Tuning().Bind(selected);
  frame.Editor().ServeUpdates(bits);
}
