// Makes the program's artwork as files for the resource script: the toolbar strip, the error
// mark, the logo, the sample picture, the program icon and the editor's three tool cursors.
// Everything is drawn here from simple shapes, so the pictures are reviewed and changed as code.
// Run by the build on the build machine:  trevna-artwork <output folder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "archive/sample_picture.h"

namespace {

struct Colour {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

constexpr Colour kMagenta{255, 0, 255};
constexpr Colour kClear{0, 0, 0, 0};
constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWhite{255, 255, 255};
constexpr Colour kNavy{24, 54, 120};
constexpr Colour kBlue{52, 110, 200};
constexpr Colour kGrey{110, 110, 110};
constexpr Colour kLight{200, 200, 200};
constexpr Colour kRed{200, 30, 30};
constexpr Colour kGreen{30, 140, 60};
constexpr Colour kYellow{236, 190, 60};
constexpr Colour kAmber{250, 170, 20};

// An RGBA picture, top row first, with a few drawing primitives in pixel coordinates.
class Canvas {
 public:
  Canvas(int width, int height, Colour fill) : w_(width), h_(height), p_(width * height, fill) {}
  int Width() const { return w_; }
  int Height() const { return h_; }
  Colour At(int x, int y) const { return p_[y * w_ + x]; }
  void Set(int x, int y, Colour c) {
    if (x >= 0 && y >= 0 && x < w_ && y < h_) p_[y * w_ + x] = c;
  }
  void Rect(int x0, int y0, int x1, int y1, Colour c) {  // inclusive corners
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) Set(x, y, c);
  }
  void Frame(int x0, int y0, int x1, int y1, Colour c) {
    Rect(x0, y0, x1, y0, c);
    Rect(x0, y1, x1, y1, c);
    Rect(x0, y0, x0, y1, c);
    Rect(x1, y0, x1, y1, c);
  }
  void Disc(double cx, double cy, double r, Colour c) {
    for (int y = int(cy - r) - 1; y <= int(cy + r) + 1; ++y)
      for (int x = int(cx - r) - 1; x <= int(cx + r) + 1; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Set(x, y, c);
  }
  void Ring(double cx, double cy, double r, double width, Colour c) {
    for (int y = int(cy - r) - 1; y <= int(cy + r) + 1; ++y)
      for (int x = int(cx - r) - 1; x <= int(cx + r) + 1; ++x) {
        const double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
        if (d <= r && d > r - width) Set(x, y, c);
      }
  }
  // A line of the given thickness: pixels whose centre lies within thickness / 2 of the segment.
  void Line(double x0, double y0, double x1, double y1, double thickness, Colour c) {
    const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    const double half = thickness / 2;
    for (int y = int(std::min(y0, y1) - half) - 1; y <= int(std::max(y0, y1) + half) + 1; ++y)
      for (int x = int(std::min(x0, x1) - half) - 1; x <= int(std::max(x0, x1) + half) + 1; ++x) {
        double t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        const double px = x0 + t * dx - x, py = y0 + t * dy - y;
        if (px * px + py * py <= half * half + 0.01) Set(x, y, c);
      }
  }
  // A filled polygon (even-odd rule, pixel centres).
  void Polygon(const std::vector<std::pair<double, double>>& v, Colour c) {
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) {
        bool inside = false;
        for (std::size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) {
          const auto [xi, yi] = v[i];
          const auto [xj, yj] = v[j];
          if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
        }
        if (inside) Set(x, y, c);
      }
  }
  // Copies `other` with its top-left corner at (x, y); clear pixels are skipped.
  void Paste(const Canvas& other, int x, int y) {
    for (int j = 0; j < other.h_; ++j)
      for (int i = 0; i < other.w_; ++i)
        if (other.At(i, j).a) Set(x + i, y + j, other.At(i, j));
  }

 private:
  int w_, h_;
  std::vector<Colour> p_;
};

void Put16(std::string& s, unsigned v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

std::string InfoHeader(int width, int height, int bits, std::uint32_t imageBytes) {
  std::string s;
  Put32(s, 40);
  Put32(s, std::uint32_t(width));
  Put32(s, std::uint32_t(height));
  Put16(s, 1);
  Put16(s, unsigned(bits));
  Put32(s, 0);
  Put32(s, imageBytes);
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, 0);
  Put32(s, 0);
  return s;
}

// A 24-bit bottom-up bitmap file; clear pixels are written as magenta.
std::string BitmapFile(const Canvas& c) {
  const int stride = (c.Width() * 3 + 3) & ~3;
  std::string rows;
  for (int y = c.Height() - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < c.Width(); ++x) {
      const Colour p = c.At(x, y).a ? c.At(x, y) : kMagenta;
      row += char(p.b);
      row += char(p.g);
      row += char(p.r);
    }
    row.resize(std::size_t(stride), '\0');
    rows += row;
  }
  std::string s = "BM";
  Put32(s, std::uint32_t(54 + rows.size()));
  Put32(s, 0);
  Put32(s, 54);
  return s + InfoHeader(c.Width(), c.Height(), 24, std::uint32_t(rows.size())) + rows;
}

// The image of one icon or cursor entry: 32-bit colour with alpha, then the 1-bit AND mask.
std::string IconImage(const Canvas& c) {
  std::string colour, mask;
  const int maskStride = ((c.Width() + 31) / 32) * 4;
  for (int y = c.Height() - 1; y >= 0; --y) {
    std::string maskRow(std::size_t(maskStride), '\0');
    for (int x = 0; x < c.Width(); ++x) {
      const Colour p = c.At(x, y);
      colour += char(p.a ? p.b : 0);
      colour += char(p.a ? p.g : 0);
      colour += char(p.a ? p.r : 0);
      colour += char(p.a);
      if (!p.a) maskRow[std::size_t(x / 8)] = char(maskRow[std::size_t(x / 8)] | (0x80 >> (x % 8)));
    }
    mask += maskRow;
  }
  return InfoHeader(c.Width(), c.Height() * 2, 32, std::uint32_t(colour.size() + mask.size())) + colour + mask;
}

// An .ico (type 1) or .cur (type 2, with the hot spot) file.
std::string IconFile(const std::vector<Canvas>& images, int type, int hotX = 0, int hotY = 0) {
  std::string head, body;
  Put16(head, 0);
  Put16(head, unsigned(type));
  Put16(head, unsigned(images.size()));
  std::uint32_t offset = 6 + 16 * std::uint32_t(images.size());
  for (const Canvas& c : images) {
    const std::string image = IconImage(c);
    head += char(c.Width() >= 256 ? 0 : c.Width());
    head += char(c.Height() >= 256 ? 0 : c.Height());
    head += '\0';
    head += '\0';
    Put16(head, type == 1 ? 1 : unsigned(hotX));
    Put16(head, type == 1 ? 32 : unsigned(hotY));
    Put32(head, std::uint32_t(image.size()));
    Put32(head, offset);
    offset += std::uint32_t(image.size());
    body += image;
  }
  return head + body;
}

// --- toolbar images (16 x 16, clear background) ---------------------------------------------

Canvas Page() {
  Canvas c(16, 16, kClear);
  c.Polygon({{3, 1}, {10, 1}, {14, 5}, {14, 15}, {3, 15}}, kWhite);
  c.Line(3, 1, 10, 1, 1, kGrey);
  c.Line(10, 1, 13.5, 4.5, 1, kGrey);
  c.Line(14, 5, 14, 15, 1, kGrey);
  c.Line(3, 15, 14, 15, 1, kGrey);
  c.Line(3, 1, 3, 15, 1, kGrey);
  c.Rect(10, 2, 10, 5, kGrey);
  c.Rect(10, 5, 13, 5, kGrey);
  return c;
}

Canvas Folder() {
  Canvas c(16, 16, kClear);
  c.Rect(1, 4, 6, 5, kAmber);
  c.Rect(1, 5, 13, 14, kYellow);
  c.Frame(1, 5, 13, 14, kGrey);
  c.Polygon({{4, 8}, {16, 8}, {13, 15}, {1, 15}}, kAmber);
  return c;
}

Canvas Floppy() {
  Canvas c(16, 16, kClear);
  c.Rect(1, 1, 14, 14, kNavy);
  c.Rect(4, 1, 11, 6, kWhite);
  c.Rect(9, 2, 10, 5, kNavy);
  c.Rect(3, 9, 12, 14, kLight);
  return c;
}

Canvas CurvedArrow(bool left) {
  Canvas c(16, 16, kClear);
  for (int a = 200; a <= 340; a += 4) {  // the arc, as short segments
    const double t = a * 3.14159265 / 180, u = (a + 4) * 3.14159265 / 180;
    c.Line(8 + 5 * std::cos(t), 11 + 5 * std::sin(t), 8 + 5 * std::cos(u), 11 + 5 * std::sin(u), 2, kBlue);
  }
  c.Polygon({{0, 8}, {7, 8}, {3.5, 13}}, kBlue);
  Canvas out(16, 16, kClear);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) out.Set(left ? x : 15 - x, y - 2, c.At(x, y));
  return out;
}

Canvas LineWidth(int width) {
  Canvas c(16, 16, kClear);
  c.Rect(2, 8 - width / 2, 13, 8 - width / 2 + width - 1, kBlack);
  return c;
}

Canvas Cross(Colour colour) {
  Canvas c(16, 16, kClear);
  c.Line(3, 3, 12, 12, 3, colour);
  c.Line(12, 3, 3, 12, 3, colour);
  return c;
}

Canvas Magnifier(bool plus) {
  Canvas c(16, 16, kClear);
  c.Disc(6.5, 6.5, 5, kWhite);
  c.Ring(6.5, 6.5, 5.5, 1.6, kGrey);
  c.Line(10, 10, 14, 14, 3, kGrey);
  c.Rect(4, 6, 9, 7, kNavy);
  if (plus) c.Rect(6, 4, 7, 9, kNavy);
  return c;
}

Canvas Pointer() {
  Canvas c(16, 16, kClear);
  c.Polygon({{3, 1}, {3, 14}, {6, 11}, {9, 15.5}, {11, 14.5}, {8.5, 10}, {13, 10}}, kBlack);
  c.Polygon({{4, 3.5}, {4, 11.5}, {6.2, 9.3}, {9.2, 14}, {9.8, 13.6}, {7, 9}, {10.5, 9}}, kWhite);
  return c;
}

Canvas Eraser() {
  Canvas c(16, 16, kClear);
  c.Polygon({{1, 10}, {8, 3}, {15, 10}, {9, 15}, {5, 15}}, kLight);
  c.Polygon({{5, 6}, {8, 3}, {15, 10}, {12, 13}}, {230, 90, 110});
  c.Line(1, 15, 15, 15, 1, kGrey);
  return c;
}

Canvas Quad(int steps, bool uniform) {
  Canvas c(16, 16, kClear);
  const std::vector<std::pair<double, double>> q{{4, 1}, {12, 1}, {15, 15}, {1, 15}};
  c.Polygon(q, kWhite);
  if (uniform) {
    for (int y = 2; y < 15; y += 2)
      for (int x = (y / 2) % 2; x < 16; x += 2)
        if (c.At(x, y).a) c.Set(x, y, kGreen);
  }
  for (int i = 1; i <= steps; ++i) {
    const double y = 1 + 14.0 * i / (steps + 1);
    const double half = 4 + 3.0 * (y - 1) / 14;  // the quad widens downwards
    c.Line(8 - half, y, 8 + half, y, 1.4, kGreen);
  }
  for (std::size_t i = 0; i < q.size(); ++i) {
    const auto a = q[i], b = q[(i + 1) % q.size()];
    c.Line(a.first, a.second, b.first, b.second, 1, kBlack);
  }
  return c;
}

Canvas Direction() {
  Canvas c(16, 16, kClear);
  c.Line(8, 15, 8, 5, 3, kRed);
  c.Polygon({{2.5, 7}, {8, 0}, {13.5, 7}}, kRed);
  return c;
}

Canvas Move() {
  Canvas c(16, 16, kClear);
  c.Line(8, 2, 8, 14, 2, kBlack);
  c.Line(2, 8, 14, 8, 2, kBlack);
  c.Polygon({{4.5, 4}, {8, 0}, {11.5, 4}}, kBlack);
  c.Polygon({{4.5, 12}, {8, 16}, {11.5, 12}}, kBlack);
  c.Polygon({{4, 4.5}, {0, 8}, {4, 11.5}}, kBlack);
  c.Polygon({{12, 4.5}, {16, 8}, {12, 11.5}}, kBlack);
  return c;
}

// The 25 images of the strip, in the order the toolbar's entries name them.
Canvas ToolbarStrip() {
  std::vector<Canvas> images{
      Page(),                // 0 new
      Folder(),              // 1 open
      Floppy(),              // 2 save
      CurvedArrow(true),     // 3 undo
      CurvedArrow(false),    // 4 redo
      LineWidth(1),          // 5..8 line widths
      LineWidth(2),
      LineWidth(3),
      LineWidth(4),
      Cross(kRed),           // 9 delete
      Magnifier(true),       // 10 zoom in
      Magnifier(false),      // 11 zoom out
      Pointer(),             // 12 pointer tool
      Eraser(),              // 13 eraser tool
      Canvas(16, 16, kClear),  // 14 not used
      Quad(0, false),        // 15 no fill
      Quad(1, false),        // 16..21 ladders of 1..6 steps
      Quad(2, false),
      Quad(3, false),
      Quad(4, false),
      Quad(5, false),
      Quad(6, false),
      Quad(0, true),         // 22 uniform 20 %
      Direction(),           // 23 directional
      Move(),                // 24 move tool
  };
  Canvas strip(16 * int(images.size()), 16, kClear);
  for (std::size_t i = 0; i < images.size(); ++i) strip.Paste(images[i], 16 * int(i), 0);
  return strip;
}

// The diagnostics list's error mark: a red disc with a white cross, 20 x 20.
Canvas ErrorMark() {
  Canvas c(20, 20, kClear);
  c.Disc(9.5, 9.5, 9, kRed);
  c.Line(6, 6, 13, 13, 2.4, kWhite);
  c.Line(13, 6, 6, 13, 2.4, kWhite);
  return c;
}

// The program's sign at any size: a blue rounded tile with a road in perspective and a detector
// frame over one lane.
Canvas Emblem(int size) {
  const double s = size / 48.0;
  Canvas c(size, size, kClear);
  c.Rect(int(2 * s), int(4 * s), size - 1 - int(2 * s), size - 1 - int(4 * s), kBlue);
  c.Rect(int(4 * s), int(2 * s), size - 1 - int(4 * s), size - 1 - int(2 * s), kBlue);
  c.Disc(4 * s, 4 * s, 2 * s, kBlue);
  c.Disc(size - 1 - 4 * s, 4 * s, 2 * s, kBlue);
  c.Disc(4 * s, size - 1 - 4 * s, 2 * s, kBlue);
  c.Disc(size - 1 - 4 * s, size - 1 - 4 * s, 2 * s, kBlue);
  c.Polygon({{20 * s, 8 * s}, {28 * s, 8 * s}, {42 * s, 44 * s}, {6 * s, 44 * s}}, kGrey);
  c.Line(24 * s, 10 * s, 24 * s, 42 * s, std::max(1.0, 1.5 * s), kWhite);
  const double lw = std::max(1.0, 2.2 * s);
  c.Line(27 * s, 24 * s, 35 * s, 24 * s, lw, kYellow);
  c.Line(35 * s, 24 * s, 38 * s, 34 * s, lw, kYellow);
  c.Line(38 * s, 34 * s, 27 * s, 34 * s, lw, kYellow);
  c.Line(27 * s, 34 * s, 27 * s, 24 * s, lw, kYellow);
  return c;
}

// The About dialog's logo, 400 x 165: a dark band with the emblem, a road in perspective
// with detector frames, and a light lower band.
Canvas Logo() {
  Canvas c(400, 165, kWhite);
  for (int y = 0; y < 120; ++y) {
    const auto shade = std::uint8_t(40 + y / 3);
    c.Rect(0, y, 399, y, {std::uint8_t(shade / 3), std::uint8_t(shade / 2 + 10), shade});
  }
  c.Polygon({{230, 10}, {270, 10}, {390, 119}, {110, 119}}, {90, 90, 96});
  for (int y = 14; y < 119; y += 16) c.Line(250, y, 250 + (y - 10) * 0.0, y + 8, 2, kWhite);
  c.Line(250, 10, 250, 119, 1, {160, 160, 160});
  const auto frame = [&](double x0, double y0, double x1, double y1, double slope, Colour k) {
    c.Line(x0, y0, x1, y0, 3, k);
    c.Line(x1, y0, x1 + slope, y1, 3, k);
    c.Line(x1 + slope, y1, x0 - slope, y1, 3, k);
    c.Line(x0 - slope, y1, x0, y0, 3, k);
  };
  frame(200, 70, 240, 100, 8, kYellow);
  frame(262, 70, 302, 100, 8, kGreen);
  c.Paste(Emblem(96), 20, 12);
  c.Rect(0, 120, 399, 123, kYellow);
  c.Rect(0, 124, 399, 164, {235, 238, 244});
  for (int i = 0; i < 5; ++i) c.Rect(24 + i * 14, 136, 33 + i * 14, 153, i % 2 ? kNavy : kBlue);
  return c;
}

// The editor's tool cursors, 32 x 32: an arrow with the tool's sign beside it.
Canvas CursorArrow() {
  Canvas c(32, 32, kClear);
  c.Polygon({{0, 0}, {0, 17}, {4.5, 13}, {7.5, 19.5}, {10, 18.5}, {7, 12}, {12.5, 12}}, kBlack);
  c.Polygon({{1, 2.5}, {1, 14.5}, {4.8, 11.3}, {8, 18}, {8.8, 17.6}, {5.6, 11}, {10, 11}}, kWhite);
  return c;
}

Canvas Cursor(const Canvas& sign) {
  Canvas c = CursorArrow();
  Canvas big(16, 16, kClear);
  big.Paste(sign, 0, 0);
  c.Paste(big, 14, 14);
  return c;
}

bool Write(const std::string& folder, const std::string& name, const std::string& bytes) {
  std::ofstream out(folder + "/" + name, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) std::fprintf(stderr, "trevna-artwork: cannot write %s/%s\n", folder.c_str(), name.c_str());
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trevna-artwork <output folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  bool ok = Write(out, "toolbar.bmp", BitmapFile(ToolbarStrip()));
  ok = Write(out, "error_mark.bmp", BitmapFile(ErrorMark())) && ok;
  ok = Write(out, "logo.bmp", BitmapFile(Logo())) && ok;
  ok = Write(out, "sample.bmp", SampleBitmapFile()) && ok;
  ok = Write(out, "trevnaconf.ico", IconFile({Emblem(16), Emblem(32), Emblem(48)}, 1)) && ok;
  ok = Write(out, "eraser.cur", IconFile({Cursor(Eraser())}, 2)) && ok;
  ok = Write(out, "move.cur", IconFile({Cursor(Move())}, 2)) && ok;
  ok = Write(out, "direction.cur", IconFile({Cursor(Direction())}, 2)) && ok;
  return ok ? 0 : 1;
}
