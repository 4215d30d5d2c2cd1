#include "shell/win/gdi.h"

#include "base/bitmap_file.h"

bool OffscreenBitmap::Create(int width, int height) {
  if (original_) SelectObject(dc_.Get(), original_);
  original_ = nullptr;
  bitmap_.Reset();
  bits_ = nullptr;
  width_ = height_ = 0;
  if (!dc_ || width <= 0 || height <= 0) return false;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_.Reset(CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_ || !bits) {
    bitmap_.Reset();
    return false;
  }
  original_ = SelectObject(dc_.Get(), bitmap_.Get());
  bits_ = static_cast<std::uint32_t*>(bits);
  width_ = width;
  height_ = height;
  return true;
}

std::uint32_t OffscreenBitmap::Pixel(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  GdiFlush();
  return bits_[static_cast<std::size_t>(y) * width_ + x] & 0xFFFFFF;
}

void OffscreenBitmap::CopyTo(HDC target, int x, int y) const {
  if (bits_) BitBlt(target, x, y, width_, height_, dc_.Get(), 0, 0, SRCCOPY);
}

std::string OffscreenBitmap::BmpFile() const {
  if (!bits_) return {};
  GdiFlush();
  const std::size_t stride = (static_cast<std::size_t>(width_) * 3 + 3) & ~std::size_t{3};
  std::string rows(stride * height_, '\0');
  for (int y = 0; y < height_; ++y) {
    const std::uint32_t* source = bits_ + static_cast<std::size_t>(height_ - 1 - y) * width_;  // bottom row first
    char* target = rows.data() + stride * y;
    for (int x = 0; x < width_; ++x, target += 3) {
      target[0] = static_cast<char>(source[x]);        // blue
      target[1] = static_cast<char>(source[x] >> 8);   // green
      target[2] = static_cast<char>(source[x] >> 16);  // red
    }
  }
  return BitmapFile(BitmapFormat{static_cast<std::uint32_t>(width_), static_cast<std::uint32_t>(height_), 24, 2835, true},
                    rows);
}

bool RenderClient(HWND window, OffscreenBitmap& target) {
  RECT client{};
  if (!GetClientRect(window, &client)) return false;
  if (!target.Create(client.right - client.left, client.bottom - client.top)) return false;
  SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(target.Dc()),
               PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND | PRF_NONCLIENT);
  return true;
}
