#include "device/live_state.h"

#include <algorithm>
#include <cstring>

namespace device {

void LivePictures::PutGrey(int track, const std::uint8_t* grey) {
  if (track < 0 || track > 3) return;
  std::lock_guard lock(mutex_);
  std::uint8_t* picture = pictures_[static_cast<std::size_t>(track)].pixels.data();
  for (int row = 0; row < kHeight; ++row) {
    std::uint8_t* out = picture + (std::size_t{static_cast<unsigned>(row)} * kWidth + kFirstColumn) * 3;
    const std::uint8_t* in = grey + std::size_t{static_cast<unsigned>(row)} * kStreamWidth;
    for (int column = 0; column < kStreamWidth; ++column) {
      out[0] = out[1] = out[2] = in[column];
      out += 3;
    }
  }
}

void LivePictures::ClearStreamArea() {
  std::lock_guard lock(mutex_);
  for (auto& picture : pictures_) {
    for (int row = 0; row < kHeight; ++row) {
      std::memset(picture.pixels.data() + (std::size_t{static_cast<unsigned>(row)} * kWidth + kFirstColumn) * 3, 0xFF,
                  std::size_t{kStreamWidth} * 3);
    }
  }
}

Picture LivePictures::Copy(int track) const {
  std::lock_guard lock(mutex_);
  return pictures_[Slot(track)];
}

std::uint64_t TuningState::Pack(int track, int index) {
  return (std::uint64_t{static_cast<std::uint32_t>(track)} << 32) | static_cast<std::uint32_t>(index);
}

TuningState::TuningState(std::function<void()> changed) : tuned_(Pack(-1, -1)), changed_(std::move(changed)) {}

void TuningState::Bind(int track, int index) {
  if (track < 0 || index < 0) track = index = -1;
  tuned_.store(Pack(track, index));
}

void TuningState::RequestReset() { reset_.store(true); }

std::pair<int, int> TuningState::TunedDetector() const {
  const std::uint64_t packed = tuned_.load();
  return {static_cast<int>(static_cast<std::uint32_t>(packed >> 32)), static_cast<int>(static_cast<std::uint32_t>(packed))};
}

std::optional<TuningRequest> TuningState::TakeTuningRequest() {
  const auto [track, index] = TunedDetector();
  if (track < 0 || index < 0) return std::nullopt;
  return TuningRequest{track, index, reset_.exchange(false)};
}

void TuningState::SetCounts(const std::uint16_t* counts) {
  std::array<std::uint32_t, kValues> sums;
  sums[0] = counts[0];
  for (int i = 1; i < kValues; ++i) sums[i] = sums[i - 1] + counts[i];
  {
    std::lock_guard lock(sumsMutex_);
    sums_ = sums;
  }
  if (changed_) changed_();
}

std::array<std::uint32_t, TuningState::kValues> TuningState::Sums() const {
  std::lock_guard lock(sumsMutex_);
  return sums_;
}

void OutputTestState::Open() { word_.store(0x100); }

void OutputTestState::SetMask(std::uint8_t mask) {
  std::uint16_t current = word_.load();
  while ((current & 0x100) && !word_.compare_exchange_weak(current, static_cast<std::uint16_t>(0x100 | mask))) {
  }
}

void OutputTestState::Close() { word_.store(0); }

OutputTestState::Snapshot OutputTestState::Read() const {
  const std::uint16_t word = word_.load();
  return {(word & 0x100) != 0, static_cast<std::uint8_t>(word & 0xFF)};
}

}  // namespace device
