// The open document: its file name, its short history of revisions (RenderState) and the
// modified flag. Every change of content goes through NewRenderState, which makes a new current
// revision for the caller to change in place; undo and redo only move the current index.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "doc/render_state.h"
#include "doc/update_sink.h"

// What the document tells the windows around it. Every call has an empty default.
class DocumentObserver {
 public:
  virtual ~DocumentObserver() = default;
  // A new revision became current (edit, undo, redo): the detector editor selects its selected
  // detector, so its line width, ladder and fill settings follow it.
  virtual void SelectRevision(const RenderState& /*state*/) {}
  // Undo, redo, New or Load made another revision current: the output definition editor shows it.
  virtual void ShowDefinitions(const RenderState& /*state*/) {}
  // The document's path changed (window title).
  virtual void PathChanged(const std::string& /*path*/) {}
};

class Document {
 public:
  static constexpr std::size_t kHistoryCapacity = 100;

  // Starts with one new revision (RenderState::New), no path, not modified. Update requests go
  // to `updates`, which must outlive the document.
  explicit Document(UpdateSink& updates);
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  void SetObserver(DocumentObserver* observer) { observer_ = observer; }

  // The current revision. Changing it in place is meant only for what is not content: the
  // selected detector, the selection path and the layout rectangles of the definitions.
  const RenderState& Current() const { return *history_[current_]; }
  RenderState& Current() { return *history_[current_]; }

  // Drops the revisions after the current one, appends a copy of the current one, makes it
  // current (discarding the oldest beyond 100), sets modified, requests a view and command
  // refresh, traces its time as "Document::NewRenderState" and returns the new revision.
  RenderState& NewRenderState();

  // Undo and redo; each returns whether it moved.
  bool StepBack();
  bool StepForward();
  bool CanStepBack() const { return current_ > 0; }
  bool CanStepForward() const { return current_ + 1 < history_.size(); }

  std::size_t RevisionCount() const { return history_.size(); }
  std::size_t CurrentIndex() const { return current_; }
  const RenderState& Revision(std::size_t index) const { return *history_.at(index); }

  // Changes whenever another revision becomes current (edit, undo, redo, New, Load), so a
  // gesture can tell that the revision it works on is still the current one.
  std::uint64_t CurrentStamp() const { return stamp_; }

  const std::string& Path() const { return path_; }
  bool Modified() const { return modified_; }

  // Replaces the whole history with one revision, sets the path, clears modified and requests
  // the command and view-size refresh (New and a successful Load).
  void Replace(RenderState state, const std::string& path);
  // A successful save: sets the path and clears modified.
  void MarkSaved(const std::string& path);

  // Bit (number - 1) per track for the detectors of the current revision numbered 1..32.
  std::array<std::uint32_t, 4> UsedNumbers() const { return ::UsedNumbers(Current()); }

  // Setters of the selected detector. Each does nothing (and returns false) when no detector
  // is selected or the value is already stored; otherwise it makes one revision.
  bool SetNumber(std::uint32_t number);
  bool SetAngle(std::int32_t angle);
  bool SetDelay(std::int32_t delay);
  bool SetExtension(std::int32_t extension);
  bool SetThresholds(std::int32_t featureThreshold, std::int32_t threshold);
  bool SetLineWidth(std::int32_t lineWidth);
  bool SetLadderAndFill(std::int32_t ladderSteps, std::int32_t fillPercent);
  bool SetNormal();       // contrast false, directional false
  bool SetDirectional();  // contrast false, directional true
  bool SetContrast();     // contrast true, directional false

 private:
  template <class Same, class Change>
  bool ChangeSelected(Same same, Change change);
  void SetModified();
  void ShowCurrent(bool definitions);

  UpdateSink& updates_;
  DocumentObserver* observer_ = nullptr;
  std::string path_;
  std::vector<std::unique_ptr<RenderState>> history_;
  std::size_t current_ = 0;
  bool modified_ = false;
  std::uint64_t stamp_ = 0;
};
