// The day's 24-hour time bar of the search window.
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "orva/link/time_convert.h"
#include "search_pages.h"

namespace orva::view {
namespace {

constexpr int kRows = 16;
constexpr int kRowsBottom = kTimeBarRowTop + kRows * kTimeBarRowPitch;
constexpr int kLegendTop = kRowsBottom + 10;

}  // namespace

DayTimeBar::DayTimeBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("dayTimeBar"));
  setFixedSize(sizeHint());
  setCursor(Qt::CrossCursor);
}

QSize DayTimeBar::sizeHint() const { return {kBarLeft + kTimeBarWidth + 24, kLegendTop + 44}; }

void DayTimeBar::SetDay(const QString& title, const std::vector<SpanRecord>& spans, uint32_t selection,
                        uint32_t dayStart, int channelCount) {
  m_title = title;
  m_segments = TimeBarSegments(spans, selection, dayStart);
  m_channelCount = std::clamp(channelCount, 1, kRows);
  update();
}

void DayTimeBar::SetCursorSeconds(uint32_t secondsOfDay) {
  m_cursor = std::clamp(static_cast<int>(secondsOfDay % 86400 / 3600 * 12 + secondsOfDay % 3600 / 60 / 5), 0,
                        kTimeBarWidth - 1);
  update();
}

void DayTimeBar::SetBand(uint32_t fromSeconds, uint32_t toSeconds) {
  const auto pixel = [](uint32_t s) { return static_cast<int>(s % 86400 / 300); };
  m_bandFrom = fromSeconds > toSeconds ? 0 : pixel(fromSeconds);
  m_bandTo = fromSeconds > toSeconds ? -1 : pixel(toSeconds);
  update();
}

void DayTimeBar::Pick(int x) {
  m_cursor = std::clamp(x - kBarLeft, 0, kTimeBarWidth - 1);
  update();
  emit startPicked(TimeBarSecondsAt(m_cursor));
}

void DayTimeBar::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() != Qt::LeftButton) return;
  if (p.x() < kBarLeft || p.x() >= kBarLeft + kTimeBarWidth || p.y() < kTimeBarRowTop - 12 || p.y() >= kRowsBottom)
    return;
  emit pressedAt(TimeBarSecondsAt(std::clamp(p.x() - kBarLeft, 0, kTimeBarWidth - 1)));
  Pick(p.x());
}

void DayTimeBar::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) Pick(event->position().toPoint().x());
}

void DayTimeBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(13, 17, 23));
  QFont small = font();
  small.setPixelSize(10);
  QFont bold = font();
  bold.setPixelSize(14);
  bold.setBold(true);

  p.setPen(QColor(230, 237, 243));
  p.setFont(bold);
  p.drawText(QRect(kBarLeft, 8, kTimeBarWidth, 20), Qt::AlignCenter, m_title);

  // Hour scale: a tick every hour, a label every three.
  p.setFont(small);
  for (int h = 0; h <= 24; ++h) {
    const int x = kBarLeft + h * 12;
    p.setPen(QColor(72, 79, 88));
    p.drawLine(x, kTimeBarRowTop - (h % 3 ? 4 : 8), x, kTimeBarRowTop - 2);
    if (h % 3 == 0) {
      p.setPen(QColor(139, 148, 158));
      p.drawText(QRect(x - 15, kTimeBarRowTop - 24, 30, 14), Qt::AlignCenter, QString::asprintf("%02d", h));
    }
  }

  const QString word = SearchText("search.channel_word", "CH");
  for (int row = 0; row < kRows; ++row) {
    const int top = kTimeBarRowTop + row * kTimeBarRowPitch;
    const bool present = row < m_channelCount;
    p.setPen(present ? QColor(201, 209, 217) : QColor(72, 79, 88));
    p.drawText(QRect(6, top - 5, kBarLeft - 12, 18), Qt::AlignVCenter | Qt::AlignLeft,
               QString::asprintf("%s%02d", word.toUtf8().constData(), row + 1));
    // The track: the gap colour where nothing was recorded.
    p.fillRect(QRect(kBarLeft, top, kTimeBarWidth, kTimeBarRowBottom - kTimeBarRowTop),
               present ? QColor(33, 38, 45) : QColor(22, 27, 34));
  }
  for (int h = 3; h < 24; h += 3)
    p.fillRect(QRect(kBarLeft + h * 12, kTimeBarRowTop - 2, 1, kRowsBottom - kTimeBarRowTop), QColor(48, 54, 61));
  for (const TimeBarSegment& s : m_segments) {
    if (s.row < 0 || s.row >= kRows) continue;
    const int top = kTimeBarRowTop + s.row * kTimeBarRowPitch;
    p.fillRect(QRect(kBarLeft + s.x0, top, std::max(1, s.x1 - s.x0), kTimeBarRowBottom - kTimeBarRowTop),
               RecordingKindColour(s.colour));
  }

  // Legend: the six kinds in two rows.
  for (int k = 0; k < kRecordingKinds; ++k) {
    const int x = 6 + (k % 3) * 124, y = kLegendTop + (k / 3) * 18;
    p.fillRect(QRect(x, y + 3, 14, 9), RecordingKindColour(k));
    p.setPen(QColor(201, 209, 217));
    p.drawText(QRect(x + 20, y, 100, 16), Qt::AlignVCenter | Qt::AlignLeft, RecordingKindName(k));
  }

  if (m_bandTo >= m_bandFrom)
    p.fillRect(QRect(kBarLeft + m_bandFrom, kTimeBarRowTop - 2, m_bandTo - m_bandFrom + 1, kRowsBottom - kTimeBarRowTop + 2),
               QColor(88, 166, 255, 60));

  // The cursor: cyan, inverting what lies under it.
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.setPen(QPen(QColor(0, 255, 255), 1));
  const int x = kBarLeft + m_cursor;
  p.drawLine(x, kTimeBarRowTop - 10, x, kRowsBottom);
}

// ------------------------------------------------------------ the page

TimeBarPage::TimeBarPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("timeBarPage"));
  m_bar = new DayTimeBar(this);
  m_startText = new QLabel(FormatClockText(0).c_str(), this);
  m_startText->setObjectName(QStringLiteral("startText"));
  m_startText->setStyleSheet(QStringLiteral(
      "color: #7ee787; background: #0d1117; border: 1px solid #30363d; border-radius: 4px; padding: 3px 8px;"
      "font-family: 'DejaVu Sans Mono', monospace; font-size: 14px;"));
  m_entry = new QTimeEdit(this);
  m_entry->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  m_entry->setToolTip(SearchText("search.time_entry", "Type a time to move the cursor"));
  m_play = new QPushButton(SearchText("search.play", "\u25B6  Play"), this);
  m_play->setDefault(true);
  auto* back = new QPushButton(SearchText("search.back", "Calendar"), this);

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(SearchText("search.start", "Start"), this));
  row->addWidget(m_startText);
  row->addSpacing(12);
  row->addWidget(m_entry);
  row->addStretch(1);
  row->addWidget(back);
  row->addWidget(m_play);
  auto* column = new QVBoxLayout(this);
  column->addWidget(m_bar, 0, Qt::AlignHCenter);
  column->addLayout(row);
  column->addStretch(1);

  connect(m_bar, &DayTimeBar::startPicked, this, [this](uint32_t s) {
    m_start = s;
    m_startText->setText(QString::fromStdString(FormatClockText(s)));
    const QSignalBlocker block(m_entry);
    m_entry->setTime(QTime(0, 0).addSecs(static_cast<int>(s)));
  });
  connect(m_entry, &QTimeEdit::timeChanged, this, [this](QTime t) {
    m_start = static_cast<uint32_t>(QTime(0, 0).secsTo(t));
    m_startText->setText(QString::fromStdString(FormatClockText(m_start)));
    m_bar->SetCursorSeconds(m_start);
  });
  connect(m_play, &QPushButton::clicked, this, [this] { emit playRequested(m_dayStart + m_start); });
  connect(back, &QPushButton::clicked, this, &TimeBarPage::backRequested);
}

void TimeBarPage::SetDay(int year, int month1, int day1, const std::vector<SpanRecord>& spans, uint32_t selection,
                         int channelCount, int dateFormat) {
  UserTime midnight;
  midnight.year = year;
  midnight.month = month1 - 1;
  midnight.day = day1 - 1;
  m_dayStart = static_cast<uint32_t>(std::max<int64_t>(0, GetUsertimeToTime_t(midnight)));
  m_bar->SetDay(QString::fromStdString(FormatDayTitle(year, month1, day1, dateFormat)), spans, selection, m_dayStart,
                channelCount);
}

void TimeBarPage::SetStartSeconds(uint32_t secondsOfDay) {
  m_start = secondsOfDay % 86400;
  m_startText->setText(QString::fromStdString(FormatClockText(m_start)));
  m_bar->SetCursorSeconds(m_start);
  const QSignalBlocker block(m_entry);
  m_entry->setTime(QTime(0, 0).addSecs(static_cast<int>(m_start)));
}

QString TimeBarPage::StartText() const { return m_startText->text(); }

}  // namespace orva::view
