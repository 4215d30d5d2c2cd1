// State shared between the live stream worker and the user interface: the four live pictures,
// the tuning selection and counts (the detector tuning window's model) and the output test's
// forced outputs. Every accessor is safe to call from either thread.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "base/picture.h"

namespace device {

// The four live pictures, one per video track A..D, in the canvas picture's form (240 x 144,
// blue, green, red). A received 180 x 144 grey picture occupies columns 30..209.
class LivePictures {
 public:
  static constexpr int kWidth = Picture::kCanvasWidth;
  static constexpr int kHeight = Picture::kCanvasHeight;
  static constexpr int kFirstColumn = 30;
  static constexpr int kStreamWidth = 180;
  static constexpr std::size_t kBytes = Picture::kBytes;

  // Writes a 180 x 144 grey picture (25920 bytes, top row first) into track `track`.
  void PutGrey(int track, const std::uint8_t* grey);
  // Paints columns 30..209 of all four pictures white.
  void ClearStreamArea();
  // A copy of one picture (a track outside 0..3 reads the nearest one).
  Picture Copy(int track) const;
  // Runs `read` on one picture while the stream worker cannot write it, so a painter reads the
  // picture in place instead of copying it. `read` must be short and must not call back into
  // this object; the worker waits for it.
  template <class Read>
  void ReadLocked(int track, Read&& read) const {
    std::lock_guard lock(mutex_);
    read(static_cast<const Picture&>(pictures_[Slot(track)]));
  }

 private:
  static std::size_t Slot(int track) { return static_cast<std::size_t>(std::clamp(track, 0, 3)); }

  mutable std::mutex mutex_;
  std::array<Picture, 4> pictures_;  // all white at first
};

struct TuningRequest {
  int track;
  int index;
  bool reset;
};

// What the live worker needs from the detector tuning window.
class TuningTarget {
 public:
  virtual ~TuningTarget() = default;
  // Nothing when no detector is tuned; otherwise its track and index with the reset request,
  // which is cleared in the same step.
  virtual std::optional<TuningRequest> TakeTuningRequest() = 0;
  // The tuned track and detector index as one consistent pair; -1 each when none.
  virtual std::pair<int, int> TunedDetector() const = 0;
  // The 250 counts of a tuning message for the tuned detector.
  virtual void SetCounts(const std::uint16_t* counts) = 0;
};

// The tuning window's data: the tuned detector, the reset request and the running sums.
class TuningState : public TuningTarget {
 public:
  static constexpr int kValues = 250;

  // `changed` runs (on the worker thread) after new sums are stored, e.g. to invalidate the view.
  explicit TuningState(std::function<void()> changed = {});

  // Binds a detector (track 0..3, index = number - 1) or none (-1, -1).
  void Bind(int track, int index);
  // "Resetuj": asks the card to reset the detector's data with the next reply.
  void RequestReset();

  std::optional<TuningRequest> TakeTuningRequest() override;
  std::pair<int, int> TunedDetector() const override;
  // S[0] = c[0]; S[i] = S[i - 1] + c[i].
  void SetCounts(const std::uint16_t* counts) override;

  // The running sums as one whole copy (S[249] is the total).
  std::array<std::uint32_t, kValues> Sums() const;

 private:
  static std::uint64_t Pack(int track, int index);
  std::atomic<std::uint64_t> tuned_;
  std::atomic<bool> reset_{false};
  mutable std::mutex sumsMutex_;
  std::array<std::uint32_t, kValues> sums_{};
  std::function<void()> changed_;
};

// The output test dialog's state: open or closed, and the forced-output mask (bit k forces
// output Y(k+1)). Both live in one atomic word, so the worker never sees an open state with a
// mask from an earlier opening.
class OutputTestState {
 public:
  struct Snapshot {
    bool open;
    std::uint8_t mask;
  };
  void Open();                      // open, mask 0
  void SetMask(std::uint8_t mask);  // only while open
  void Close();                     // closed, mask 0
  Snapshot Read() const;

 private:
  std::atomic<std::uint16_t> word_{0};  // bit 8: open; bits 0..7: mask
};

// Tuning messages a consumer has not taken yet (trevnactl live writes each to a file). A card
// may send them faster than they are taken, or send nothing else: at most kMaxPending are
// kept (later ones are only counted as dropped), and at most `limit` are accepted in all.
class TuningLog {
 public:
  static constexpr std::size_t kMaxPending = 64;
  explicit TuningLog(std::size_t limit) : limit_(limit) {}
  void Add(const std::uint16_t* counts) {
    if (accepted_ >= limit_ || pending_.size() >= kMaxPending) {
      ++dropped_;
      return;
    }
    ++accepted_;
    pending_.emplace_back(counts, counts + TuningState::kValues);
  }
  std::vector<std::vector<std::uint16_t>> Take() { return std::exchange(pending_, {}); }
  std::size_t Accepted() const { return accepted_; }
  std::size_t Dropped() const { return dropped_; }

 private:
  std::size_t limit_;
  std::size_t accepted_ = 0;
  std::size_t dropped_ = 0;
  std::vector<std::vector<std::uint16_t>> pending_;
};

}  // namespace device
