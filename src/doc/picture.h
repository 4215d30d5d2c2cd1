// The shared, copy-on-write handle through which revisions hold the canvas pictures
// (background pictures, eraser masks), and the one shared white picture.
#pragma once

#include <memory>
#include <utility>

#include "base/picture.h"

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

// The one shared all-white canvas picture: new pictures and untouched eraser masks share it
// until they are written.
const std::shared_ptr<const Picture>& WhitePicture();
Cow<Picture> SharedWhitePicture();
