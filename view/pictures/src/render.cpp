// The 800 x 600 snapshot: the channel's picture without its margin,
// stretched nearest-neighbour (as a colour-on-colour stretch does), with the
// date-time text written over it in cyan.
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <mutex>

#include "orva/pictures/snapshot.h"
#include "pictures_internal.h"

namespace orva::pictures {
namespace detail {
namespace {

inline uint8_t Clamp(int value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); }

// BT.601 studio-swing conversion in 6-bit fixed point (coefficients x 64,
// rounded): R = 1.164 (Y-16) + 1.596 (V-128), G = 1.164 (Y-16) - 0.391
// (U-128) - 0.813 (V-128), B = 1.164 (Y-16) + 2.018 (U-128). Every product
// fits 16 bits; the sums are shifted right by 6 with rounding and clamped.
constexpr int kY = 75;   // 1.164 x 64 = 74.5
constexpr int kRV = 102;  // 1.596 x 64
constexpr int kGU = 25;   // 0.391 x 64
constexpr int kGV = 52;   // 0.813 x 64
constexpr int kBU = 129;  // 2.018 x 64

}  // namespace

void Yv12ToBottomUpBgr(const uint8_t* src, int width, int height, uint8_t* dst) {
  const size_t w = static_cast<size_t>(width);
  const size_t cw = w / 2;
  const uint8_t* lumaPlane = src;
  const uint8_t* vPlane = src + w * static_cast<size_t>(height);
  const uint8_t* uPlane = vPlane + cw * static_cast<size_t>(height / 2);
  // Two rows at a time: each 2 x 2 block shares one chroma pair.
  for (int r = 0; r + 1 < height; r += 2) {
    const uint8_t* vRow = vPlane + cw * static_cast<size_t>(r / 2);
    const uint8_t* uRow = uPlane + cw * static_cast<size_t>(r / 2);
    for (int dy = 0; dy < 2; ++dy) {
      const uint8_t* yRow = lumaPlane + w * static_cast<size_t>(r + dy);
      uint8_t* out = dst + w * 3 * static_cast<size_t>(height - 1 - (r + dy));
      for (size_t x = 0; x < w; ++x) {
        const int u = uRow[x / 2] - 128;
        const int v = vRow[x / 2] - 128;
        const int y = kY * (yRow[x] - 16) + 32;
        out[x * 3 + 0] = Clamp((y + kBU * u) >> 6);
        out[x * 3 + 1] = Clamp((y - kGU * u - kGV * v) >> 6);
        out[x * 3 + 2] = Clamp((y + kRV * v) >> 6);
      }
    }
  }
}

bool ToRgb888(const QImage& image, QImage& out, std::string& error) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
    error = "no picture to write";
    return false;
  }
  // Alpha is dropped the way a 32-bit bitmap loses its fourth byte.
  out = image.format() == QImage::Format_RGB888 ? image : image.convertToFormat(QImage::Format_RGB888);
  if (out.isNull()) {
    error = "the picture cannot be converted to 24-bit colour";
    return false;
  }
  return true;
}

}  // namespace detail

namespace {

constexpr int kMaxSide = 4096;      // far above any recorder picture
constexpr int kTextHeight = -21;    // -(16 pt x 1.33 + 0.5), as a character height
constexpr size_t kMaxTextChars = 255;

// Top-left of the text cell. The formula centres a text whose average
// character is half the character height wide; the arithmetic (and its
// truncation toward zero) is kept exactly so that snapshots line up with
// the recorder client's own.
QPoint TextPosition(int length) {
  const int h = kTextHeight;
  return QPoint((kSnapshotWidth + length * h / 2) / 2, kSnapshotHeight + h - 10);
}

void DrawTimeText(QImage& image, const QString& timeText) {
  // Without a QGuiApplication Qt has no font database; the picture is
  // still worth saving.
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
  InstallSnapshotFont();
  const QString text = timeText.left(static_cast<qsizetype>(kMaxTextChars));
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(-kTextHeight);  // a negative height is the em height in pixels
  font.setWeight(QFont::Normal);    // 400
  // Plain cyan pixels, as text drawn without smoothing on a bitmap.
  font.setStyleStrategy(QFont::NoAntialias);
  QPainter painter(&image);
  painter.setFont(font);
  painter.setPen(QColor(0, 255, 255));
  painter.setBackgroundMode(Qt::TransparentMode);
  // The position is the top of the text cell (text drawn aligned to the
  // top), so the baseline sits one ascent lower.
  const QPoint topLeft = TextPosition(static_cast<int>(text.size()));
  painter.drawText(QPoint(topLeft.x(), topLeft.y() + QFontMetrics(font).ascent()), text);
}

}  // namespace

void InstallSnapshotFont() {
  static std::once_flag once;
  std::call_once(once, [] { QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")); });
}

QImage RenderSnapshot(const std::vector<uint8_t>& picture, int width, int height, bool rgb,
                      const QString& timeText) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return {};
  if (!rgb && (width % 2 != 0 || height % 2 != 0)) return {};
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (picture.size() < (rgb ? pixels * 3 : pixels * 3 / 2)) return {};
  // The decoder leaves a ragged border; wide (D1) pictures get twice the cut.
  const bool wide = width > 700;
  const int sx = wide ? 12 : 6;
  const int sy = wide ? 12 : 6;
  const int sw = wide ? width - 22 : width - 11;
  const int sh = wide ? height - 20 : height - 10;
  if (sw <= 0 || sh <= 0) return {};

  std::vector<uint8_t> converted;
  const uint8_t* bgr = picture.data();
  if (!rgb) {
    converted.resize(pixels * 3);
    detail::Yv12ToBottomUpBgr(picture.data(), width, height, converted.data());
    bgr = converted.data();
  }

  QImage image(kSnapshotWidth, kSnapshotHeight, QImage::Format_RGB32);
  if (image.isNull()) return {};
  // Each target pixel takes the source pixel under its centre; the source
  // rectangle is in top-down picture coordinates, the rows are bottom-up.
  std::vector<int> columns(kSnapshotWidth);
  for (int x = 0; x < kSnapshotWidth; ++x) columns[static_cast<size_t>(x)] = sx + (2 * x + 1) * sw / (2 * kSnapshotWidth);
  const size_t stride = static_cast<size_t>(width) * 3;
  for (int y = 0; y < kSnapshotHeight; ++y) {
    const int srcRow = sy + (2 * y + 1) * sh / (2 * kSnapshotHeight);
    const uint8_t* row = bgr + stride * static_cast<size_t>(height - 1 - srcRow);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < kSnapshotWidth; ++x) {
      const uint8_t* p = row + static_cast<size_t>(columns[static_cast<size_t>(x)]) * 3;
      out[x] = qRgb(p[2], p[1], p[0]);
    }
  }
  DrawTimeText(image, timeText);
  return image.convertToFormat(QImage::Format_RGB888);
}

}  // namespace orva::pictures
