// The playback screen's time bar: a strip under the video view while a
// remote playback runs. It shows the shown frame's date and time as text,
// the recorded spans of the selected channels around it (gaps stay dark),
// zooms 24 h / 6 h / 1 h / 10 min around the shown frame with the wheel and
// its two buttons, and reports a click as the time to jump to.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "orva/recordings/search_records.h"

class QToolButton;

namespace orva::view {

inline constexpr std::array<uint32_t, 4> kPlaybackZoomSpans{86400, 21600, 3600, 600};

// The window of `span` seconds around `shown`, kept inside its day (whole
// day at the widest level).
struct TimeWindow {
  uint32_t from = 0, to = 0;
};
TimeWindow PlaybackWindow(uint32_t shown, uint32_t span);

struct BarPiece {
  int x0 = 0, x1 = 0;  // x0 < x1, within 0..width
  int colour = 0;      // lowest set bit of the kind mask
};
// The spans of the selected channels that meet the window, in pixels of a
// bar `width` wide; at least one pixel each.
std::vector<BarPiece> PlaybackBarPieces(const std::vector<SpanRecord>& spans, uint32_t selection, TimeWindow window,
                                        int width);

class PlaybackTimeBar : public QWidget {
  Q_OBJECT
 public:
  explicit PlaybackTimeBar(int dateFormat, QWidget* parent = nullptr);
  void SetDateFormat(int dateFormat) {
    m_dateFormat = dateFormat;
    update();
  }
  int DateFormat() const { return m_dateFormat; }
  void SetSpans(std::vector<SpanRecord> spans, uint32_t selection);
  void SetShownTime(uint32_t time);
  uint32_t ShownTime() const { return m_shown; }
  // The state after the time ("Play x2", "Pause", "End of recording").
  void SetStateText(const QString& text);
  void SetZoom(int level);  // 0 = 24 h ... 3 = 10 min
  int Zoom() const { return m_zoom; }
  void ZoomIn() { SetZoom(m_zoom + 1); }
  void ZoomOut() { SetZoom(m_zoom - 1); }
  TimeWindow Window() const { return PlaybackWindow(m_shown, kPlaybackZoomSpans[static_cast<size_t>(m_zoom)]); }
  QRect BarRect() const;
  uint32_t TimeAtX(int x) const;  // in widget coordinates
  QString TimeText() const;

 signals:
  void jumpRequested(uint32_t time);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int m_dateFormat;
  std::vector<SpanRecord> m_spans;
  uint32_t m_selection = 0xFFFF;
  uint32_t m_shown = 0;
  int m_zoom = 0;
  QString m_state;
  QToolButton* m_in = nullptr;
  QToolButton* m_out = nullptr;
};

}  // namespace orva::view
