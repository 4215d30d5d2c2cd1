#include "shell/win/gdi.h"

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

bool RenderClient(HWND window, OffscreenBitmap& target) {
  RECT client{};
  if (!GetClientRect(window, &client)) return false;
  if (!target.Create(client.right - client.left, client.bottom - client.top)) return false;
  SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(target.Dc()),
               PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND | PRF_NONCLIENT);
  return true;
}
