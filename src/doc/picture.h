// Pictures of the canvas (background pictures, eraser masks, live pictures) and the shared,
// copy-on-write handle through which revisions hold them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// One immutable value shared by every holder until a holder writes it. Write() gives the holder
// its own copy first unless it is the only one, so a copy of a handle behaves like a deep copy
// of the value while costing one reference. Used on the main thread only.
template <class T>
class Cow {
 public:
  Cow() : value_(std::make_shared<T>()) {}
  explicit Cow(T value) : value_(std::make_shared<T>(std::move(value))) {}

  // Shares a value made by MakeShared (never one created const).
  static Cow Share(std::shared_ptr<const T> value) {
    Cow cow(NoValue{});
    cow.value_ = std::move(value);
    return cow;
  }
  static std::shared_ptr<const T> MakeShared(T value) { return std::make_shared<T>(std::move(value)); }

  const T& operator*() const { return *value_; }
  const T* operator->() const { return value_.get(); }
  const T& Read() const { return *value_; }
  // The identity of the shared value, for measuring how much revisions share.
  const T* Identity() const { return value_.get(); }
  bool Shares(const Cow& other) const { return value_ == other.value_; }

  // The holder's own writable value; copies it first when another holder shares it.
  T& Write() {
    if (value_.use_count() != 1) value_ = std::make_shared<T>(*value_);
    // Every value is created non-const (make_shared<T>), so writing through it is sound.
    return const_cast<T&>(*value_);
  }
  void Assign(T value) { value_ = std::make_shared<T>(std::move(value)); }

 private:
  struct NoValue {};
  explicit Cow(NoValue) {}
  std::shared_ptr<const T> value_;
};

// Canvas picture: 240 x 144 pixels, three bytes per pixel (blue, green, red), top row first.
struct Picture {
  static constexpr std::int32_t kCanvasWidth = 240;
  static constexpr std::int32_t kCanvasHeight = 144;
  static constexpr std::size_t kBytes = std::size_t{kCanvasWidth} * kCanvasHeight * 3;

  std::int32_t width = kCanvasWidth;
  std::int32_t height = kCanvasHeight;
  std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(kBytes, 255);  // white

  // First byte of pixel (x, y); the caller keeps x and y inside the picture.
  std::size_t Offset(int x, int y) const { return (static_cast<std::size_t>(y) * width + x) * 3; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  // Black means all three bytes 0 (an erased pixel of an eraser mask).
  bool IsBlack(int x, int y) const;
  void SetBlack(int x, int y) { SetGrey(x, y, 0); }
  void SetGrey(int x, int y, std::uint8_t grey);
  // (blue + green + red) / 3, integer division.
  std::uint8_t Grey(int x, int y) const;
  // True when some pixel is black; used to tell erased masks from untouched ones.
  bool HasBlack() const;

  bool operator==(const Picture&) const = default;
};

// The one shared all-white canvas picture: new pictures and untouched eraser masks share it
// until they are written.
const std::shared_ptr<const Picture>& WhitePicture();
Cow<Picture> SharedWhitePicture();
