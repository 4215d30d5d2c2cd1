#include "doc/document.h"

#include "base/trace.h"

Document::Document(UpdateSink& updates) : updates_(updates) {
  history_.push_back(std::make_unique<RenderState>(RenderState::New()));
}

void Document::SetModified() { modified_ = true; }

void Document::ShowCurrent(bool definitions) {
  if (!observer_) return;
  observer_->SelectRevision(Current());
  if (definitions) observer_->ShowDefinitions(Current());
}

RenderState& Document::NewRenderState() {
  TimingTrace timing("Document::NewRenderState");
  history_.resize(current_ + 1);
  history_.push_back(std::make_unique<RenderState>(*history_[current_]));
  if (history_.size() > kHistoryCapacity) history_.erase(history_.begin());
  current_ = history_.size() - 1;
  ++stamp_;
  SetModified();
  // Commands are refreshed after every edit, not only the first: undo becomes possible again
  // after an undo to the first revision, and the program is validated after each change.
  updates_.RequestUpdate(UpdateView | UpdateCommands);
  ShowCurrent(false);
  return *history_[current_];
}

bool Document::StepBack() {
  if (history_.empty() || current_ == 0) return false;
  --current_;
  ++stamp_;
  SetModified();
  updates_.RequestUpdate(UpdateView | UpdateCommands);
  ShowCurrent(true);
  return true;
}

bool Document::StepForward() {
  if (current_ + 1 >= history_.size()) return false;
  ++current_;
  ++stamp_;
  SetModified();
  updates_.RequestUpdate(UpdateView | UpdateCommands);
  ShowCurrent(true);
  return true;
}

void Document::Replace(RenderState state, const std::string& path) {
  history_.clear();
  history_.push_back(std::make_unique<RenderState>(std::move(state)));
  current_ = 0;
  ++stamp_;
  path_ = path;
  modified_ = false;
  updates_.RequestUpdate(UpdateCommands | UpdateViewSize | UpdateView);
  if (observer_) {
    observer_->PathChanged(path_);
    observer_->SelectRevision(Current());
    observer_->ShowDefinitions(Current());
  }
}

void Document::MarkSaved(const std::string& path) {
  path_ = path;
  modified_ = false;
  updates_.RequestUpdate(UpdateCommands);
  if (observer_) observer_->PathChanged(path_);
}

template <class Same, class Change>
bool Document::ChangeSelected(Same same, Change change) {
  const Detector* selected = Current().SelectedDetector();
  if (!selected || same(*selected)) return false;
  change(*NewRenderState().SelectedDetector());
  return true;
}

bool Document::SetNumber(std::uint32_t number) {
  return ChangeSelected([&](const Detector& d) { return d.number == number; },
                        [&](Detector& d) { d.number = number; });
}

bool Document::SetAngle(std::int32_t angle) {
  return ChangeSelected([&](const Detector& d) { return d.angle == angle; },
                        [&](Detector& d) { d.angle = angle; });
}

bool Document::SetDelay(std::int32_t delay) {
  return ChangeSelected([&](const Detector& d) { return d.delay == delay; },
                        [&](Detector& d) { d.delay = delay; });
}

bool Document::SetExtension(std::int32_t extension) {
  return ChangeSelected([&](const Detector& d) { return d.extension == extension; },
                        [&](Detector& d) { d.extension = extension; });
}

bool Document::SetThresholds(std::int32_t featureThreshold, std::int32_t threshold) {
  return ChangeSelected(
      [&](const Detector& d) { return d.featureThreshold == featureThreshold && d.threshold == threshold; },
      [&](Detector& d) {
        d.featureThreshold = featureThreshold;
        d.threshold = threshold;
      });
}

bool Document::SetLineWidth(std::int32_t lineWidth) {
  return ChangeSelected([&](const Detector& d) { return d.lineWidth == lineWidth; },
                        [&](Detector& d) { d.lineWidth = lineWidth; });
}

bool Document::SetLadderAndFill(std::int32_t ladderSteps, std::int32_t fillPercent) {
  return ChangeSelected(
      [&](const Detector& d) { return d.ladderSteps == ladderSteps && d.fillPercent == fillPercent; },
      [&](Detector& d) {
        d.ladderSteps = ladderSteps;
        d.fillPercent = fillPercent;
      });
}

bool Document::SetNormal() {
  return ChangeSelected([](const Detector& d) { return !d.contrast && !d.directional; },
                        [](Detector& d) { d.contrast = d.directional = false; });
}

bool Document::SetDirectional() {
  return ChangeSelected([](const Detector& d) { return !d.contrast && d.directional; },
                        [](Detector& d) {
                          d.contrast = false;
                          d.directional = true;
                        });
}

bool Document::SetContrast() {
  return ChangeSelected([](const Detector& d) { return d.contrast && !d.directional; },
                        [](Detector& d) {
                          d.contrast = true;
                          d.directional = false;
                        });
}
