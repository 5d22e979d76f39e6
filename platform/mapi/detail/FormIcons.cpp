// Drawing the form icons on a 16-unit grid (the 32-pixel icon doubles every unit) and writing
// them as .ico files: ICONDIR, one ICONDIRENTRY, a BITMAPINFOHEADER with the doubled height,
// the BGRA rows bottom-up, then the 1-bit AND mask (1 = transparent), rows padded to 32 bits.
#include "platform/mapi/detail/FormIcons.h"

#include <cstdlib>
#include <vector>

namespace platform::mapi::detail {
namespace {

constexpr std::uint32_t kOutline = 0xFF303030;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr int kGrid = 16;
constexpr std::size_t kDirSize = 6 + 16;
constexpr std::size_t kInfoSize = 40;

class Canvas {
 public:
  explicit Canvas(int size) : m_size(size), m_scale(size / kGrid), m_pixels(static_cast<std::size_t>(size) * size, 0) {}

  std::uint32_t at(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * m_size + x]; }

  // One grid unit, clipped to the canvas.
  void cell(int gx, int gy, std::uint32_t colour) {
    if (gx < 0 || gy < 0 || gx >= kGrid || gy >= kGrid) return;
    for (int y = gy * m_scale; y < (gy + 1) * m_scale; ++y)
      for (int x = gx * m_scale; x < (gx + 1) * m_scale; ++x) m_pixels[static_cast<std::size_t>(y) * m_size + x] = colour;
  }
  void fill(int x0, int y0, int x1, int y1, std::uint32_t colour) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) cell(x, y, colour);
  }
  void frame(int x0, int y0, int x1, int y1, std::uint32_t colour) {
    fill(x0, y0, x1, y0, colour);
    fill(x0, y1, x1, y1, colour);
    fill(x0, y0, x0, y1, colour);
    fill(x1, y0, x1, y1, colour);
  }
  void box(int x0, int y0, int x1, int y1, std::uint32_t colour) {
    fill(x0, y0, x1, y1, colour);
    frame(x0, y0, x1, y1, kOutline);
  }
  void line(int x0, int y0, int x1, int y1, std::uint32_t colour) {
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    for (int err = dx + dy;;) {
      cell(x0, y0, colour);
      if (x0 == x1 && y0 == y1) break;
      const int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        x0 += sx;
      }
      if (e2 <= dx) {
        err += dx;
        y0 += sy;
      }
    }
  }
  // A disc of radius r (grid units) centred on the point (cx, cy) of the grid.
  void disc(double cx, double cy, double r, std::uint32_t colour) {
    for (int y = 0; y < kGrid; ++y)
      for (int x = 0; x < kGrid; ++x) {
        const double ex = x + 0.5 - cx, ey = y + 0.5 - cy;
        if (ex * ex + ey * ey <= r * r) cell(x, y, colour);
      }
  }
  void ring(double cx, double cy, double r, std::uint32_t colour) {
    disc(cx, cy, r, kOutline);
    disc(cx, cy, r - 0.9, colour);
  }

 private:
  int m_size;
  int m_scale;
  std::vector<std::uint32_t> m_pixels;
};

void person(Canvas& c, double cx, int x0, int x1, std::uint32_t colour) {
  c.ring(cx, 5, 3, colour);
  c.box(x0, 10, x1, 15, colour);
}

void draw(Canvas& c, const IconStyle& style) {
  const std::uint32_t colour = style.colour;
  switch (style.glyph) {
    case Glyph::kEnvelope:
      c.box(0, 3, 15, 12, colour);
      c.line(0, 3, 7, 9, kOutline);
      c.line(15, 3, 8, 9, kOutline);
      break;
    case Glyph::kCalendar:
      c.box(1, 2, 14, 14, kWhite);
      c.box(1, 2, 14, 5, colour);
      for (int y : {7, 10})
        for (int x : {3, 6, 9, 12}) c.fill(x, y, x + 1, y + 1, colour);
      c.fill(4, 1, 4, 3, kOutline);
      c.fill(11, 1, 11, 3, kOutline);
      break;
    case Glyph::kPerson:
      person(c, 8, 3, 12, colour);
      break;
    case Glyph::kPeople:
      person(c, 11, 8, 15, colour);
      person(c, 5, 0, 9, colour);
      break;
    case Glyph::kBook:
      c.box(2, 1, 13, 14, colour);
      c.fill(2, 1, 4, 14, kOutline);
      c.fill(6, 4, 11, 4, kWhite);
      c.fill(6, 7, 11, 7, kWhite);
      break;
    case Glyph::kSticky:
      c.box(1, 1, 14, 14, colour);
      c.line(9, 14, 14, 9, kOutline);
      for (int i = 1; i <= 4; ++i) c.line(9 + i, 14, 14, 9 + i, kWhite);
      break;
    case Glyph::kSheet:
      c.box(2, 0, 13, 15, kWhite);
      for (int y : {4, 7, 10}) c.fill(4, y, 11, y, colour);
      break;
    case Glyph::kCheck:
      c.box(1, 1, 14, 14, kWhite);
      for (int d : {0, 1}) {
        c.line(3, 8 + d, 6, 11 + d, colour);
        c.line(6, 11 + d, 12, 4 + d, colour);
      }
      break;
  }
  if (style.badge != 0) c.ring(12, 12, 3.9, style.badge);
}

void put16(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}
void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}
unsigned get16(std::string_view b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t get32(std::string_view b, std::size_t at) { return get16(b, at) | (std::uint32_t{get16(b, at + 2)} << 16); }

}  // namespace

std::string makeIcoFile(const IconStyle& style, int size) {
  Canvas canvas(size);
  draw(canvas, style);
  const std::size_t maskRow = static_cast<std::size_t>((size + 31) / 32) * 4;
  const std::size_t colourBytes = static_cast<std::size_t>(size) * size * 4;
  const std::size_t imageBytes = kInfoSize + colourBytes + maskRow * size;

  std::string out;
  out.reserve(kDirSize + imageBytes);
  put16(out, 0);  // ICONDIR: reserved, type 1 (icon), one image
  put16(out, 1);
  put16(out, 1);
  out.push_back(static_cast<char>(size));  // ICONDIRENTRY: width, height, colours, reserved
  out.push_back(static_cast<char>(size));
  out.push_back(0);
  out.push_back(0);
  put16(out, 1);   // planes
  put16(out, 32);  // bits per pixel
  put32(out, static_cast<std::uint32_t>(imageBytes));
  put32(out, static_cast<std::uint32_t>(kDirSize));
  put32(out, kInfoSize);  // BITMAPINFOHEADER
  put32(out, static_cast<std::uint32_t>(size));
  put32(out, static_cast<std::uint32_t>(size * 2));  // colour image and mask together
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);  // BI_RGB
  put32(out, static_cast<std::uint32_t>(colourBytes + maskRow * size));
  for (int i = 0; i < 4; ++i) put32(out, 0);
  for (int y = size - 1; y >= 0; --y)
    for (int x = 0; x < size; ++x) put32(out, canvas.at(x, y));  // little-endian ARGB is BGRA
  for (int y = size - 1; y >= 0; --y) {
    std::string row(maskRow, '\0');
    for (int x = 0; x < size; ++x)
      if ((canvas.at(x, y) >> 24) == 0) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    out += row;
  }
  return out;
}

std::optional<IcoSize> icoSize(std::string_view bytes) {
  if (bytes.size() < kDirSize || get16(bytes, 0) != 0 || get16(bytes, 2) != 1 || get16(bytes, 4) == 0)
    return std::nullopt;
  const std::size_t length = get32(bytes, 6 + 8);
  const std::size_t offset = get32(bytes, 6 + 12);
  if (offset > bytes.size() || length > bytes.size() - offset || length < kInfoSize) return std::nullopt;
  const auto side = [](unsigned char b) { return b == 0 ? 256 : static_cast<int>(b); };
  return IcoSize{side(static_cast<unsigned char>(bytes[6])), side(static_cast<unsigned char>(bytes[7]))};
}

}  // namespace platform::mapi::detail
