#include "playback_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>

#include "orva/link/time_convert.h"
#include "search_pages.h"

namespace orva::view {
namespace {

constexpr int kTextWidth = 188;
constexpr int kBarStart = kTextWidth + 64;  // after the zoom buttons

int LowestKind(uint8_t mask) {
  for (int k = 0; k < kRecordingKinds; ++k)
    if (mask & (1u << k)) return k;
  return 0;
}

QString SpanLabel(uint32_t span) {
  return span >= 3600 ? QStringLiteral("%1 h").arg(span / 3600) : QStringLiteral("%1 min").arg(span / 60);
}

}  // namespace

TimeWindow PlaybackWindow(uint32_t shown, uint32_t span) {
  const uint32_t day = shown - shown % 86400;
  span = std::clamp<uint32_t>(span, 60, 86400);
  const int64_t from = std::clamp<int64_t>(static_cast<int64_t>(shown) - span / 2, day, day + 86400 - span);
  return {static_cast<uint32_t>(from), static_cast<uint32_t>(from + span)};
}

std::vector<BarPiece> PlaybackBarPieces(const std::vector<SpanRecord>& spans, uint32_t selection, TimeWindow window,
                                        int width) {
  std::vector<BarPiece> pieces;
  if (width <= 0 || window.to <= window.from) return pieces;
  const double scale = static_cast<double>(width) / (window.to - window.from);
  for (const SpanRecord& s : spans) {
    if (!(s.channelMask & selection) || s.end <= window.from || s.start >= window.to || s.end < s.start) continue;
    const uint32_t a = std::max(s.start, window.from), b = std::min(s.end, window.to);
    BarPiece p;
    p.x0 = std::clamp(static_cast<int>((a - window.from) * scale), 0, width - 1);
    p.x1 = std::clamp(static_cast<int>((b - window.from) * scale + 0.5), p.x0 + 1, width);
    p.colour = LowestKind(s.kind);
    pieces.push_back(p);
  }
  return pieces;
}

PlaybackTimeBar::PlaybackTimeBar(int dateFormat, QWidget* parent) : QWidget(parent), m_dateFormat(dateFormat) {
  setObjectName(QStringLiteral("playbackTimeBar"));
  setCursor(Qt::PointingHandCursor);
  m_out = new QToolButton(this);
  m_in = new QToolButton(this);
  m_out->setObjectName(QStringLiteral("zoomOut"));
  m_in->setObjectName(QStringLiteral("zoomIn"));
  m_out->setText(QStringLiteral("\u2212"));
  m_in->setText(QStringLiteral("+"));
  m_out->setToolTip(SearchText("tip.zoom_out", "Show more of the day (mouse wheel down)"));
  m_in->setToolTip(SearchText("tip.zoom_in", "Zoom in around the shown picture (mouse wheel up)"));
  for (QToolButton* b : {m_out, m_in}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setStyleSheet(QStringLiteral(
        "QToolButton { background: #21262d; color: #e6edf3; border: 1px solid #3a424c; border-radius: 4px;"
        "  font-weight: bold; } QToolButton:hover { background: #30363d; } QToolButton:disabled { color: #484f58; }"));
  }
  connect(m_in, &QToolButton::clicked, this, &PlaybackTimeBar::ZoomIn);
  connect(m_out, &QToolButton::clicked, this, &PlaybackTimeBar::ZoomOut);
  SetZoom(0);
}

void PlaybackTimeBar::resizeEvent(QResizeEvent*) {
  m_out->setGeometry(kTextWidth + 6, 4, 24, height() / 2 - 4);
  m_in->setGeometry(kTextWidth + 32, 4, 24, height() / 2 - 4);
}

void PlaybackTimeBar::SetSpans(std::vector<SpanRecord> spans, uint32_t selection) {
  m_spans = std::move(spans);
  m_selection = selection;
  update();
}

void PlaybackTimeBar::SetShownTime(uint32_t time) {
  if (time == m_shown) return;
  m_shown = time;
  update();
}

void PlaybackTimeBar::SetStateText(const QString& text) {
  m_state = text;
  update();
}

void PlaybackTimeBar::SetZoom(int level) {
  m_zoom = std::clamp(level, 0, static_cast<int>(kPlaybackZoomSpans.size()) - 1);
  m_out->setEnabled(m_zoom > 0);
  m_in->setEnabled(m_zoom + 1 < static_cast<int>(kPlaybackZoomSpans.size()));
  update();
}

QRect PlaybackTimeBar::BarRect() const { return QRect(kBarStart, 16, width() - kBarStart - 8, height() - 22); }

uint32_t PlaybackTimeBar::TimeAtX(int x) const {
  const QRect bar = BarRect();
  const TimeWindow w = Window();
  const double f = std::clamp(static_cast<double>(x - bar.left()) / std::max(1, bar.width()), 0.0, 1.0);
  return std::min(w.to - 1, w.from + static_cast<uint32_t>(f * (w.to - w.from)));
}

QString PlaybackTimeBar::TimeText() const {
  return m_shown ? QString::fromStdString(FormatRecorderTime(m_shown, m_dateFormat)) : QStringLiteral("--");
}

void PlaybackTimeBar::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() != Qt::LeftButton || !BarRect().adjusted(0, -14, 0, 4).contains(p) || m_shown == 0) return;
  emit jumpRequested(TimeAtX(p.x()));
}

void PlaybackTimeBar::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y();
  if (steps > 0) ZoomIn();
  if (steps < 0) ZoomOut();
  event->accept();
}

void PlaybackTimeBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(48, 54, 61), 1));
  p.setBrush(QColor(13, 17, 23));
  p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);

  // The shown time, always in view, and the player's state under it.
  QFont mono(QStringLiteral("DejaVu Sans Mono"));
  mono.setPixelSize(14);
  mono.setBold(true);
  p.setFont(mono);
  p.setPen(QColor(126, 231, 135));
  p.drawText(QRect(10, 3, kTextWidth - 10, 20), Qt::AlignLeft | Qt::AlignVCenter, TimeText());
  QFont small = font();
  small.setPixelSize(10);
  p.setFont(small);
  p.setPen(QColor(139, 148, 158));
  p.drawText(QRect(10, 22, kTextWidth - 10, 16), Qt::AlignLeft | Qt::AlignVCenter, m_state);
  const uint32_t span = kPlaybackZoomSpans[static_cast<size_t>(m_zoom)];
  p.drawText(QRect(kTextWidth + 4, height() / 2 + 2, 56, 14), Qt::AlignCenter, SpanLabel(span));

  const QRect bar = BarRect();
  const TimeWindow w = Window();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(bar, QColor(33, 38, 45));
  for (const BarPiece& piece : PlaybackBarPieces(m_spans, m_selection, w, bar.width()))
    p.fillRect(QRect(bar.left() + piece.x0, bar.top(), piece.x1 - piece.x0, bar.height()),
               RecordingKindColour(piece.colour));

  // Ticks: six to twelve labelled marks whatever the zoom.
  const uint32_t step = span == 86400 ? 7200 : span == 21600 ? 1800 : span == 3600 ? 600 : 60;
  const uint32_t label = span == 86400 ? 4 : span == 21600 ? 2 : span == 3600 ? 1 : 2;
  for (uint32_t t = (w.from + step - 1) / step * step; t <= w.to; t += step) {
    const int x = bar.left() + static_cast<int>(static_cast<double>(t - w.from) / span * bar.width());
    p.fillRect(QRect(x, bar.top() - 3, 1, 3), QColor(110, 118, 129));
    if ((t / step) % label) continue;
    const uint32_t s = t % 86400;
    // Labels stay inside the bar's ends.
    const int labelLeft = std::clamp(x - 20, bar.left(), bar.right() - 40);
    p.drawText(QRect(labelLeft, 1, 40, 13), Qt::AlignCenter,
               t - w.from == span && s == 0 ? QStringLiteral("24:00") : QString::asprintf("%02u:%02u", s / 3600, s / 60 % 60));
  }

  // The shown frame.
  if (m_shown >= w.from && m_shown <= w.to && m_shown) {
    const int x = bar.left() + static_cast<int>(static_cast<double>(m_shown - w.from) / span * bar.width());
    p.fillRect(QRect(x - 1, bar.top() - 2, 3, bar.height() + 4), QColor(255, 255, 255));
    p.fillRect(QRect(x, bar.top() - 2, 1, bar.height() + 4), QColor(0, 200, 255));
  }
}

}  // namespace orva::view
