// The channel selection and the playback calendar of the search window.
#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "orva/services/resources.h"
#include "search_pages.h"

namespace orva::view {

QString SearchText(const char* key, const char* fallback) {
  return services::Resources::Text(key, fallback);
}

QColor RecordingKindColour(int kind) {
  // Distinct on the dark panel and, by brightness at least, for the common
  // forms of colour blindness: green, blue, amber, violet, red, teal.
  static const QColor colours[kRecordingKinds] = {{63, 185, 80},  {88, 166, 255}, {227, 179, 65},
                                                   {188, 140, 255}, {248, 81, 73}, {57, 197, 207}};
  return colours[std::clamp(kind, 0, kRecordingKinds - 1)];
}

QString RecordingKindName(int kind) {
  static const char* const names[kRecordingKinds] = {"Continuous", "Sensor", "Motion", "Video loss", "Alarm",
                                                     "Manual"};
  const int k = std::clamp(kind, 0, kRecordingKinds - 1);
  const QByteArray key = QByteArray("search.kind.") + QByteArray::number(k);
  return SearchText(key.constData(), names[k]);
}

// ------------------------------------------------------------ channels

ChannelSelectPage::ChannelSelectPage(int channelCount, uint32_t selection, QWidget* parent)
    : QWidget(parent), m_selection(selection) {
  setObjectName(QStringLiteral("channelPage"));
  auto* grid = new QGridLayout(this);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(4);
  const QString word = SearchText("search.channel_word", "CH");
  const int count = std::clamp(channelCount, 0, 16);
  for (int ch = 0; ch < count; ++ch) {
    // Two columns of eight rows keep the page as tall as the calendar.
    const int row = ch % 8, column = (ch / 8) * 4;
    auto* label = new QLabel(QString::asprintf("%s%02d", word.toUtf8().constData(), ch + 1), this);
    auto* on = new QPushButton(SearchText("search.on", "On"), this);
    auto* off = new QPushButton(SearchText("search.off", "Off"), this);
    for (QPushButton* b : {on, off}) {
      b->setCheckable(true);
      b->setMinimumWidth(52);
    }
    on->setObjectName(QStringLiteral("on%1").arg(ch + 1));
    off->setObjectName(QStringLiteral("off%1").arg(ch + 1));
    auto* group = new QButtonGroup(this);
    group->addButton(on);
    group->addButton(off);
    ((selection >> ch) & 1u ? on : off)->setChecked(true);
    connect(on, &QPushButton::clicked, this, [this, ch] {
      m_selection |= 1u << ch;
      emit channelChanged(ch, true);
    });
    connect(off, &QPushButton::clicked, this, [this, ch] {
      m_selection &= ~(1u << ch);
      emit channelChanged(ch, false);
    });
    grid->addWidget(label, row, column);
    grid->addWidget(on, row, column + 1);
    grid->addWidget(off, row, column + 2);
    m_on.push_back(on);
    m_off.push_back(off);
  }
  grid->setColumnMinimumWidth(3, 24);
  grid->setRowStretch(8, 1);
}

QAbstractButton* ChannelSelectPage::OnButton(int channel) const {
  return channel >= 0 && channel < static_cast<int>(m_on.size()) ? m_on[static_cast<size_t>(channel)] : nullptr;
}
QAbstractButton* ChannelSelectPage::OffButton(int channel) const {
  return channel >= 0 && channel < static_cast<int>(m_off.size()) ? m_off[static_cast<size_t>(channel)] : nullptr;
}

// ------------------------------------------------------------ calendar

namespace {

const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

const char* const kCellStyle =
    "QPushButton { background: #161b22; color: #545c68; border: 1px solid #21262d; border-radius: 4px;"
    "  min-width: 34px; min-height: 28px; padding: 0; }"
    "QPushButton:enabled { background: #1f6feb; color: #ffffff; border-color: #388bfd; font-weight: bold; }"
    "QPushButton:enabled:hover { background: #388bfd; }";
const char* const kMonthStyle =
    "QPushButton { min-width: 40px; padding: 4px 2px; }"
    "QPushButton:disabled { color: #545c68; background: #1c2026; border-color: #262c34; }"
    "QPushButton:checked { background: #2f81f7; color: #ffffff; border-color: #58a6ff; }";

}  // namespace

CalendarPage::CalendarPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("calendarPage"));
  auto* column = new QVBoxLayout(this);
  column->setSpacing(10);

  auto* top = new QHBoxLayout;
  m_prevYear = new QPushButton(QStringLiteral("\u25C0"), this);
  m_nextYear = new QPushButton(QStringLiteral("\u25B6"), this);
  m_prevYear->setToolTip(SearchText("search.prev_year", "Previous year with recordings"));
  m_nextYear->setToolTip(SearchText("search.next_year", "Next year with recordings"));
  m_yearLabel = new QLabel(this);
  m_yearLabel->setObjectName(QStringLiteral("noticeTitle"));
  m_yearLabel->setAlignment(Qt::AlignCenter);
  m_busy = new QLabel(SearchText("search.busy", "Asking the recorder\u2026"), this);
  m_busy->setStyleSheet(QStringLiteral("color: #8b949e;"));
  m_busy->hide();
  top->addWidget(m_prevYear);
  top->addWidget(m_yearLabel, 1);
  top->addWidget(m_nextYear);
  column->addLayout(top);
  connect(m_prevYear, &QPushButton::clicked, this, [this] { StepYear(-1); });
  connect(m_nextYear, &QPushButton::clicked, this, [this] { StepYear(1); });

  auto* months = new QGridLayout;
  months->setSpacing(4);
  for (int m = 0; m < 12; ++m) {
    const QByteArray key = QByteArray("search.month.") + QByteArray::number(m + 1);
    auto* b = new QPushButton(SearchText(key.constData(), kMonthNames[m]), this);
    b->setCheckable(true);
    b->setAutoExclusive(true);
    b->setStyleSheet(QString::fromLatin1(kMonthStyle));
    connect(b, &QPushButton::clicked, this, [this, m] { ShowMonth(m_year, m); });
    months->addWidget(b, m / 6, m % 6);
    m_months[static_cast<size_t>(m)] = b;
  }
  column->addLayout(months);

  auto* days = new QGridLayout;
  days->setSpacing(4);
  for (int w = 0; w < 7; ++w) {
    const QByteArray key = QByteArray("search.weekday.") + QByteArray::number(w);
    auto* head = new QLabel(SearchText(key.constData(), kWeekdayNames[w]), this);
    head->setAlignment(Qt::AlignCenter);
    head->setStyleSheet(w == 0 ? QStringLiteral("color: #ff7b72;") : QStringLiteral("color: #8b949e;"));
    days->addWidget(head, 0, w);
  }
  for (size_t i = 0; i < m_cells.size(); ++i) {
    auto* cell = new QPushButton(this);
    cell->setStyleSheet(QString::fromLatin1(kCellStyle));
    cell->setFocusPolicy(Qt::NoFocus);
    days->addWidget(cell, static_cast<int>(i / 7) + 1, static_cast<int>(i % 7));
    m_cells[i] = cell;
    connect(cell, &QPushButton::clicked, this, [this, i] {
      for (int d = 0; d < DaysInMonth(m_year, m_month0); ++d)
        if (m_cellOfDay[static_cast<size_t>(d)] == static_cast<int>(i)) emit dayClicked(m_year, m_month0 + 1, d + 1);
    });
  }
  column->addLayout(days);
  auto* foot = new QHBoxLayout;
  auto* hint = new QLabel(SearchText("search.calendar.hint", "Highlighted days hold recordings: pick one."), this);
  hint->setStyleSheet(QStringLiteral("color: #8b949e;"));
  foot->addWidget(hint, 1);
  foot->addWidget(m_busy);
  column->addLayout(foot);
  column->addStretch(1);
}

bool CalendarPage::SetYearMaps(const std::vector<YearMapRecord>& maps, int currentYear) {
  m_maps = maps;
  const CalendarMonth chosen = ChooseCalendarMonth(m_maps, currentYear);
  if (!chosen.found) return false;
  ShowMonth(chosen.year, chosen.month0);
  return true;
}

void CalendarPage::ShowMonth(int year, int month0) {
  m_year = year;
  m_month0 = std::clamp(month0, 0, 11);
  const YearMapRecord* map = FindYear(m_maps, year);
  m_yearLabel->setText(QString::number(year));
  bool earlier = false, later = false;
  for (const YearMapRecord& y : m_maps) {
    bool any = false;
    for (int m = 0; m < 12 && !any; ++m) any = MonthHasRecordings(y, m);
    earlier = earlier || (any && static_cast<int>(y.year) < year);
    later = later || (any && static_cast<int>(y.year) > year);
  }
  m_prevYear->setEnabled(earlier);
  m_nextYear->setEnabled(later);
  for (int m = 0; m < 12; ++m) {
    QPushButton* b = m_months[static_cast<size_t>(m)];
    b->setEnabled(map && MonthHasRecordings(*map, m));
    b->setChecked(m == m_month0);
  }
  for (QPushButton* cell : m_cells) {
    cell->setText(QString());
    cell->setEnabled(false);
    cell->setVisible(true);
  }
  m_cellOfDay.fill(-1);
  for (const CalendarCell& c : CalendarGrid(year, m_month0, map)) {
    const size_t index = static_cast<size_t>(c.row * 7 + c.column);
    if (index >= m_cells.size()) continue;
    m_cells[index]->setText(QString::number(c.day0 + 1));
    m_cells[index]->setEnabled(c.recorded);
    m_cellOfDay[static_cast<size_t>(c.day0)] = static_cast<int>(index);
  }
}

void CalendarPage::StepYear(int direction) {
  // The nearest year in that direction that has a month with recordings.
  int best = 0;
  for (const YearMapRecord& y : m_maps) {
    const int year = static_cast<int>(y.year);
    if ((year - m_year) * direction <= 0) continue;
    bool any = false;
    for (int m = 0; m < 12 && !any; ++m) any = MonthHasRecordings(y, m);
    if (any && (best == 0 || std::abs(year - m_year) < std::abs(best - m_year))) best = year;
  }
  if (best == 0) return;
  const YearMapRecord* map = FindYear(m_maps, best);
  int month = direction > 0 ? 0 : 11;
  while (map && !MonthHasRecordings(*map, month)) month += direction > 0 ? 1 : -1;
  ShowMonth(best, month);
}

void CalendarPage::SetBusy(bool busy) { m_busy->setVisible(busy); }

QAbstractButton* CalendarPage::DayButton(int day0) const {
  if (day0 < 0 || day0 >= 31 || m_cellOfDay[static_cast<size_t>(day0)] < 0) return nullptr;
  return m_cells[static_cast<size_t>(m_cellOfDay[static_cast<size_t>(day0)])];
}

}  // namespace orva::view
