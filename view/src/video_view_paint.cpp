// Painting: what each position shows, the RGB path and the texts that
// both paths draw over the pictures.
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "orva/services/resources.h"
#include "video_view_impl.h"

namespace orva::view {

namespace {

const QColor kTitleColour(0, 255, 0);
const QColor kStatusColour(0, 255, 255);
constexpr int kTextX = 7, kTitleY = 3, kCharHeight = 17, kStatusGap = 5;

uint8_t Clamp8(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// BT.601 limited range, fixed point (x 256), for the painter path when a
// channel still holds YV12 pictures.
void Yv12RowsToRgb(const uint8_t* picture, int w, int h, int firstRow, QImage& out) {
  const uint8_t* yPlane = picture;
  const uint8_t* vPlane = picture + static_cast<size_t>(w) * h;
  const uint8_t* uPlane = vPlane + static_cast<size_t>(w / 2) * (h / 2);
  for (int y = 0; y < out.height(); ++y) {
    const int row = firstRow + y;
    const uint8_t* ys = yPlane + static_cast<size_t>(row) * w;
    const uint8_t* us = uPlane + static_cast<size_t>(row / 2) * (w / 2);
    const uint8_t* vs = vPlane + static_cast<size_t>(row / 2) * (w / 2);
    uint8_t* dst = out.scanLine(y);
    for (int x = 0; x < w; ++x) {
      const int c = 298 * (ys[x] - 16);
      const int u = us[x / 2] - 128, v = vs[x / 2] - 128;
      dst[3 * x + 0] = Clamp8((c + 409 * v + 128) >> 8);
      dst[3 * x + 1] = Clamp8((c - 100 * u - 208 * v + 128) >> 8);
      dst[3 * x + 2] = Clamp8((c + 516 * u + 128) >> 8);
    }
  }
}

bool SizeFits(int w, int h, bool rgb) {
  if (w <= 0 || h <= 0 || w > 720 || h > 576) return false;
  const size_t bytes = rgb ? static_cast<size_t>(w) * h * 3 : static_cast<size_t>(w) * h * 3 / 2;
  return bytes <= kPictureBytes && (rgb || (w % 2 == 0 && h % 2 == 0));
}

}  // namespace

QFont CVideoView::TextFont() {
  // "Arial Bold" is a face name; fall back through Arial to the metric
  // compatible free face so that titles are measured with real glyphs.
  QFont::insertSubstitutions(QStringLiteral("Arial Bold"), {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
  QFont font(QStringLiteral("Arial Bold"));
  font.setPixelSize(kCharHeight);  // 13 points at 96 dpi: 13 x 1.33 + 0.5
  font.setWeight(QFont::Bold);
  return font;
}

QString CVideoView::FitCameraTitle(const QString& title, int windowWidth, const QFont& font) {
  const int limit = TitleLimit(windowWidth);
  const QFontMetrics metrics(font);
  if (limit <= 0 || metrics.horizontalAdvance(title) <= limit) return title;
  QString cut = title;
  while (!cut.isEmpty() && metrics.horizontalAdvance(cut) > limit) cut.chop(1);
  return cut + QStringLiteral("...");
}

QString CVideoView::TitleText(ViewMode mode, int channel, const QString& cameraTitle, int shownWidth, int height,
                              int windowWidth, const QFont& font) {
  switch (mode) {
    case ViewMode::kLive:
      return QStringLiteral("%1 %2x%3").arg(FitCameraTitle(cameraTitle, windowWidth, font)).arg(shownWidth).arg(height);
    case ViewMode::kRemotePlayback:
    case ViewMode::kLocalPlayback:
      return QString::asprintf("CH%02d  %dx%d", (channel & 15) + 1, shownWidth, height);
    case ViewMode::kNone: break;
  }
  return {};
}

QString CVideoView::StatusText(ViewMode mode, int rate) {
  switch (mode) {
    case ViewMode::kLive: return QString::asprintf("LIVE  %02d", rate);
    case ViewMode::kRemotePlayback: return QString::asprintf("R-PLAY  %02d", rate);
    case ViewMode::kLocalPlayback: return QString::asprintf("L-PLAY  %02d", rate);
    case ViewMode::kNone: break;
  }
  return {};
}

std::vector<Pane> CVideoView::Impl::Panes() const {
  const std::vector<Rect> rects = LayoutRects(layout, q.width(), q.height(), border);
  const std::vector<int> windows = PageWindows(layout, page);
  const bool live = mode == ViewMode::kLive;
  const uint16_t loss = lossMask.load(), allowed = live ? drawMask.load() : 0xFFFF;
  std::vector<Pane> panes;
  for (size_t i = 0; i < rects.size() && i < windows.size(); ++i) {
    Pane pane;
    pane.rect = rects[i];
    pane.window = windows[i];
    if (pane.window >= 0) pane.channel = windowMap[static_cast<size_t>(pane.window)];
    const int c = pane.channel;
    if (c >= 0 && c < channelCount) {
      bool present = false, picture = false;
      {
        ChannelPictureStore::Channel& ch = q.Store().At(c);
        std::lock_guard lock(ch.lock);
        present = ch.present;
        picture = ch.hasPicture;
      }
      present = present && (allowed & (1u << c));
      // A channel that lost its video keeps its present flag until its
      // worker stops, so the loss is checked first: its last picture is stale.
      if (live && (loss & (1u << c))) {
        pane.kind = PaneKind::kVideoLoss;
      } else if (present) {
        pane.kind = covert[static_cast<size_t>(c)] ? PaneKind::kCovert
                    : picture                      ? PaneKind::kPicture
                                                   : PaneKind::kIdle;
      } else if (live && covert[static_cast<size_t>(c)]) {
        pane.kind = PaneKind::kCovert;
      }
    }
    panes.push_back(pane);
  }
  return panes;
}

bool CVideoView::Impl::FetchRgb(int channel) {
  RgbCache& cache = rgbCache[static_cast<size_t>(channel)];
  ChannelPictureStore::Channel& ch = q.Store().At(channel);
  const uint64_t serial = drawSerial[static_cast<size_t>(channel)].load();
  std::lock_guard lock(ch.lock);
  const int w = ch.width, h = ch.height;
  if (!SizeFits(w, h, ch.rgb)) return false;
  if (cache.pictures == ch.pictures && cache.serial == serial && cache.width == w && cache.height == h &&
      cache.rgb == ch.rgb && !cache.image.isNull())
    return true;
  Crop crop = CropFor(h);
  if (crop.top + crop.bottom >= h) crop = {};
  const int shown = h - crop.top - crop.bottom;
  const QImage::Format format = ch.rgb ? QImage::Format_BGR888 : QImage::Format_RGB888;
  if (cache.image.width() != w || cache.image.height() != shown || cache.image.format() != format)
    cache.image = QImage(w, shown, format);
  if (cache.image.isNull()) return false;
  const uint8_t* picture = ch.picture.data();
  if (ch.rgb) {
    // Bottom-up rows: picture line r is stored at row h - 1 - r.
    const size_t row = static_cast<size_t>(w) * 3;
    for (int y = 0; y < shown; ++y)
      std::memcpy(cache.image.scanLine(y), picture + static_cast<size_t>(h - 1 - (crop.top + y)) * row, row);
  } else {
    Yv12RowsToRgb(picture, w, h, crop.top, cache.image);
  }
  cache.pictures = ch.pictures;
  cache.serial = serial;
  cache.width = w;
  cache.height = h;
  cache.rgb = ch.rgb;
  return true;
}

void CVideoView::Impl::DrawFixed(QPainter& p, const QPixmap& pixmap, const QRect& rect) const {
  if (pixmap.isNull()) {
    p.fillRect(rect, Qt::black);  // a missing picture file leaves the pane blank
  } else {
    p.drawPixmap(rect, pixmap);
  }
}

void CVideoView::Impl::DrawTexts(QPainter& p, const Pane& pane) {
  if (!textOn || pane.channel < 0) return;
  const QRect r = ToQRect(pane.rect);
  p.save();
  p.setClipRect(r);
  p.setFont(font);
  const int lineHeight = QFontMetrics(font).height();
  if (pane.kind == PaneKind::kVideoLoss) {
    p.setPen(kTitleColour);
    p.drawText(QRect(r.left() + kTextX, r.top() + kTitleY, r.width(), lineHeight), Qt::AlignLeft | Qt::AlignTop,
               QString::asprintf("CH%d  Video Loss", pane.channel + 1));
  } else if (pane.kind == PaneKind::kPicture) {
    TextRecord record;
    std::array<StatusMark, kStatusMarkOffsets.size()> channelMarks{};
    {
      std::lock_guard lock(textLock);
      record = text[static_cast<size_t>(pane.channel)];
      channelMarks = marks[static_cast<size_t>(pane.channel)];
    }
    if (record.valid) {
      const QString title = CVideoView::TitleText(mode, pane.channel, cameraTitles[static_cast<size_t>(pane.channel)],
                                                  record.shownWidth, record.height, r.width(), font);
      const QString status = CVideoView::StatusText(mode, rates[static_cast<size_t>(pane.channel)].load());
      p.setPen(kTitleColour);
      p.drawText(QRect(r.left() + kTextX, r.top() + kTitleY, r.width(), lineHeight), Qt::AlignLeft | Qt::AlignTop,
                 title);
      p.setPen(kStatusColour);
      p.drawText(QRect(r.left() + kTextX, r.top() + r.height() - kCharHeight - kStatusGap, r.width(), lineHeight),
                 Qt::AlignLeft | Qt::AlignTop, status);
      const int length = static_cast<int>(status.size());
      // The player's state icon after the status text, in panes wide enough;
      // in playback it takes the first place of the mark record.
      const bool playback = mode == ViewMode::kRemotePlayback || mode == ViewMode::kLocalPlayback;
      if (playback && r.width() > 190)
        DrawMark(p, r, length, kStatusMarkOffsets[0], CVideoView::PlaybackMark(playMode, playPaused, playSpeed));
      for (size_t i = playback ? 1 : 0; i < kStatusMarkOffsets.size(); ++i)
        if (const char* name = CVideoView::StatusMarkPicture(channelMarks[i]))
          DrawMark(p, r, length, kStatusMarkOffsets[i], name);
    }
  }
  p.restore();
}

void CVideoView::Impl::DrawMark(QPainter& p, const QRect& pane, int statusLength, int offset, const char* picture) {
  auto it = markCache.find(picture);
  if (it == markCache.end()) it = markCache.emplace(picture, services::Resources::Picture(picture)).first;
  const QPixmap& mark = it->second;
  if (!mark.isNull())
    p.drawPixmap(QRect(pane.left() + statusLength * 10 + offset, pane.top() + pane.height() - 18, 16, 16), mark);
}

void CVideoView::Impl::PaintOverlay(QPainter& p, const std::vector<Pane>& panes, const QRegion& region) {
  for (const Pane& pane : panes) {
    const QRect r = ToQRect(pane.rect);
    if (!region.intersects(r)) continue;
    switch (pane.kind) {
      case PaneKind::kIdle: DrawFixed(p, idle, r); break;
      case PaneKind::kCovert: DrawFixed(p, loss, r); break;
      case PaneKind::kVideoLoss: DrawFixed(p, loss, r); break;
      case PaneKind::kPicture: break;
    }
    DrawTexts(p, pane);
  }
  if (pressed && dragMoved && !dragImage.isNull()) {
    p.save();
    p.setOpacity(0.6);
    p.drawPixmap(dragPos - QPoint(dragImage.width() / 2, dragImage.height() / 2), dragImage);
    p.restore();
  }
}

void CVideoView::Impl::PaintRgb(QPainter& p, const QRegion& region) {
  const std::vector<Pane> panes = Panes();
  p.fillRect(q.rect(), background);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  std::vector<int64_t> stamps;
  for (const Pane& pane : panes) {
    if (pane.kind != PaneKind::kPicture) continue;
    const QRect r = ToQRect(pane.rect);
    if (!region.intersects(r)) continue;
    // Taken before the picture is read: the picture shown is this one or newer.
    stamps.push_back(drawnAt[static_cast<size_t>(pane.channel)].exchange(0));
    if (FetchRgb(pane.channel)) {
      p.drawImage(r, rgbCache[static_cast<size_t>(pane.channel)].image);
    } else {
      DrawFixed(p, idle, r);
    }
  }
  PaintOverlay(p, panes, region);
  const int64_t end = NowNs();
  for (int64_t stamp : stamps) RecordLatency(stamp, end);
}

void CVideoView::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  if (d->gl) {
    p.fillRect(event->rect(), d->background);  // covered by the OpenGL surface
    return;
  }
  d->PaintRgb(p, event->region());
}

}  // namespace orva::view
