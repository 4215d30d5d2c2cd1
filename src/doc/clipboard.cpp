#include "doc/clipboard.h"

#include "doc/document.h"

void DetectorClipboard::Copy(const Document& document) {
  const Detector* selected = document.Current().SelectedDetector();
  full_ = selected != nullptr;
  if (selected) detector_ = *selected;
}

bool DetectorClipboard::Paste(Document& document, int currentTrack) {
  if (!full_ || currentTrack < 0 ||
      static_cast<std::size_t>(currentTrack) >= document.Current().pictures.size())
    return false;
  RenderState& state = document.NewRenderState();
  detector_.track = currentTrack;
  state.detectors.push_back(detector_);
  state.selected = static_cast<std::int32_t>(state.detectors.size() - 1);
  return true;
}

bool DetectorClipboard::Delete(Document& document) {
  if (!document.Current().SelectedDetector()) return false;
  RenderState& state = document.NewRenderState();
  state.detectors.erase(state.detectors.begin() + state.selected);
  state.selected = -1;
  return true;
}

bool DetectorClipboard::CanCopy(const Document& document) { return document.Current().SelectedDetector() != nullptr; }
