#include "test_picture.h"

#include <algorithm>
#include <cmath>

namespace orva::sim::detail {

namespace {

Yuv FromRgb(double r, double g, double b) {
  // Studio-range BT.601, as an encoder expects by default.
  const auto clamp = [](double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
  };
  return {clamp(16 + (65.738 * r + 129.057 * g + 25.064 * b) / 256),
          clamp(128 + (-37.945 * r - 74.494 * g + 112.439 * b) / 256),
          clamp(128 + (112.439 * r - 94.154 * g - 18.285 * b) / 256)};
}

constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kBlack{16, 128, 128};
constexpr Yuv kYellow{210, 16, 146};

// Segments a-g of the digits 0-9, bit 0 = a (top), clockwise, g = middle.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

// 5 x 7 bitmaps of the digits, one byte per row, bit 4 = leftmost column.
constexpr uint8_t kFont[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

}  // namespace

void SevenSegmentDigit(Canvas& c, int digit, int x, int y, int w, int h, Yuv colour) {
  const int t = std::max(2, w / 6);  // stroke thickness
  const int half = h / 2;
  const uint8_t s = kSegments[digit];
  if (s & 0x01) c.Fill(x, y, w, t, colour);                      // a
  if (s & 0x02) c.Fill(x + w - t, y, t, half, colour);           // b
  if (s & 0x04) c.Fill(x + w - t, y + half, t, h - half, colour);  // c
  if (s & 0x08) c.Fill(x, y + h - t, w, t, colour);              // d
  if (s & 0x10) c.Fill(x, y + half, t, h - half, colour);        // e
  if (s & 0x20) c.Fill(x, y, t, half, colour);                   // f
  if (s & 0x40) c.Fill(x, y + half - t / 2, w, t, colour);       // g
}

void SmallNumber(Canvas& c, int value, int digits, int x, int y, int scale, Yuv colour) {
  for (int i = digits - 1; i >= 0; --i) {
    const int digit = value % 10;
    value /= 10;
    const int left = x + i * 6 * scale;
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (kFont[digit][row] & (0x10 >> col)) {
          c.Fill(left + col * scale, y + row * scale, scale, scale, colour);
        }
      }
    }
  }
}

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      y_(static_cast<size_t>(width) * height),
      u_(y_.size()),
      v_(y_.size()) {}

void Canvas::Fill(int x, int y, int w, int h, Yuv colour) {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(width_, x + w), y1 = std::min(height_, y + h);
  for (int row = y0; row < y1; ++row) {
    const size_t base = static_cast<size_t>(row) * width_;
    for (int col = x0; col < x1; ++col) {
      y_[base + col] = colour.y;
      u_[base + col] = colour.u;
      v_[base + col] = colour.v;
    }
  }
}

Yuv Canvas::At(int x, int y) const {
  const size_t i = static_cast<size_t>(y) * width_ + x;
  return {y_[i], u_[i], v_[i]};
}

Yuv ChannelColour(int channel) {
  // Sixteen hues around the colour circle, dark enough for white digits.
  const double hue = (channel % 16) * 22.5;
  const double value = 0.55 * 255, saturation = 0.8;
  const double chroma = value * saturation;
  const double h6 = hue / 60.0;
  const double x = chroma * (1 - std::fabs(std::fmod(h6, 2.0) - 1));
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h6)) {
    case 0: r = chroma; g = x; break;
    case 1: r = x; g = chroma; break;
    case 2: g = chroma; b = x; break;
    case 3: g = x; b = chroma; break;
    case 4: r = x; b = chroma; break;
    default: r = chroma; b = x; break;
  }
  const double m = value - chroma;
  return FromRgb(r + m, g + m, b + m);
}

void DrawTestPicture(Canvas& c, int channel, int frame, int loopFrames, bool fieldMarker) {
  const int w = c.width(), h = c.height();
  c.Fill(0, 0, w, h, ChannelColour(channel));

  // Channel number 1-16 as on screen, about half the picture high.
  const int digitH = h / 2, digitW = std::max(8, h / 4);
  const int number = channel + 1;
  const int count = number >= 10 ? 2 : 1;
  const int gap = digitW / 3;
  const int totalW = count * digitW + (count - 1) * gap;
  int x = (w - totalW) / 2;
  const int y = (h - digitH) / 2;
  if (count == 2) {
    SevenSegmentDigit(c, number / 10, x, y, digitW, digitH, kWhite);
    x += digitW + gap;
  }
  SevenSegmentDigit(c, number % 10, x, y, digitW, digitH, kWhite);

  // A bar sweeping from left to right once per loop.
  const int barW = std::max(8, w / 16);
  const int barX = loopFrames > 0 ? (w - barW) * frame / loopFrames : 0;
  c.Fill(barX, h / 8, barW, h * 3 / 4, kYellow);

  // Frame counter, small, bottom right: clients write their own status text
  // at the bottom left.
  const int scale = std::max(1, h / 120);
  SmallNumber(c, frame % 1000, 3, w - (3 * 6 + 4) * scale, h - 10 * scale, scale, kWhite);

  if (fieldMarker) {
    const int size = std::max(16, h / 10);
    for (int row = 0; row < size; ++row) {
      c.FillLine(w - size - 8, 8 + row, size, (8 + row) % 2 == 0 ? kBlack : kWhite);
    }
  }
}

void SampleTo420(const Canvas& canvas, int firstLine, int lineStep, Planes420& out) {
  const int w = canvas.width();
  const int h = (canvas.height() - firstLine + lineStep - 1) / lineStep;
  out.width = w;
  out.height = h;
  out.y.assign(static_cast<size_t>(w) * h, 0);
  out.u.assign(static_cast<size_t>(w / 2) * (h / 2), 128);
  out.v.assign(out.u.size(), 128);
  const auto line = [&](int row) { return firstLine + row * lineStep; };
  for (int row = 0; row < h; ++row) {
    for (int col = 0; col < w; ++col) {
      out.y[static_cast<size_t>(row) * w + col] = canvas.At(col, line(row)).y;
    }
  }
  for (int row = 0; row < h / 2; ++row) {
    for (int col = 0; col < w / 2; ++col) {
      int u = 0, v = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const Yuv p = canvas.At(col * 2 + dx, line(row * 2 + dy));
          u += p.u;
          v += p.v;
        }
      }
      const size_t i = static_cast<size_t>(row) * (w / 2) + col;
      out.u[i] = static_cast<uint8_t>((u + 2) / 4);
      out.v[i] = static_cast<uint8_t>((v + 2) / 4);
    }
  }
}

}  // namespace orva::sim::detail
