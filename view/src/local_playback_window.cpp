#include "local_playback_window.h"

#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "orva/link/time_convert.h"
#include "search_pages.h"
#include "skin_style.h"

namespace orva::view {
namespace {

const char* const kNavStyle =
    "QPushButton { text-align: left; padding: 7px 12px; min-width: 132px; background: transparent;"
    "  border: 1px solid transparent; border-radius: 5px; color: #c9d1d9; }"
    "QPushButton:hover { background: #21262d; }"
    "QPushButton:checked { background: #1f6feb; color: #ffffff; border-color: #388bfd; }"
    "QPushButton:disabled { color: #484f58; }";

}  // namespace

LocalPlaybackWindow::LocalPlaybackWindow(std::string folder, int dateFormat, uint8_t opacity, QWidget* parent)
    : QDialog(parent), m_folder(std::move(folder)), m_dateFormat(dateFormat) {
  setObjectName(QStringLiteral("localPlaybackWindow"));
  setWindowTitle(SearchText("local.title", "Local playback"));
  skin::StyleDialog(this, opacity);
  resize(720, 560);

  auto* nav = new QVBoxLayout;
  nav->setSpacing(3);
  struct Entry {
    const char* name;
    const char* key;
    const char* fallback;
  };
  static const Entry entries[] = {{"Calendar", "search.page.calendar", "Calendar"},
                                  {"TimeRange", "search.page.range", "Time range"},
                                  {"Events", "search.page.events", "Events"}};
  auto* heading = new QLabel(SearchText("local.section", "Downloaded").toUpper(), this);
  heading->setStyleSheet(QStringLiteral("color: #6e7681; font-size: 10px; font-weight: bold; padding: 8px 4px 2px;"));
  nav->addWidget(heading);
  for (const Entry& e : entries) {
    auto* b = new QPushButton(SearchText(e.key, e.fallback), this);
    b->setObjectName(QStringLiteral("page.") + QString::fromLatin1(e.name));
    b->setCheckable(true);
    b->setAutoExclusive(true);
    b->setStyleSheet(QString::fromLatin1(kNavStyle));
    b->setFocusPolicy(Qt::NoFocus);
    nav->addWidget(b);
    m_buttons[QString::fromLatin1(e.name)] = b;
  }
  nav->addStretch(1);
  auto* rescan = new QPushButton(SearchText("local.rescan", "\u21BB  Read folder again"), this);
  m_export = new QPushButton(SearchText("local.export", "Export\u2026"), this);
  m_export->setObjectName(QStringLiteral("export"));
  m_export->setToolTip(SearchText("local.export.tip", "Write one channel of a stretch as an MP4 file"));
  nav->addWidget(rescan);
  nav->addWidget(m_export);
  connect(m_buttons["Calendar"], &QPushButton::clicked, this, &LocalPlaybackWindow::OpenCalendar);
  connect(m_buttons["TimeRange"], &QPushButton::clicked, this, &LocalPlaybackWindow::OpenTimeRange);
  connect(m_buttons["Events"], &QPushButton::clicked, this, &LocalPlaybackWindow::OpenEvents);
  connect(rescan, &QPushButton::clicked, this, &LocalPlaybackWindow::Rescan);
  connect(m_export, &QPushButton::clicked, this, &LocalPlaybackWindow::exportRequested);

  auto* title = new QLabel(windowTitle(), this);
  title->setObjectName(QStringLiteral("noticeTitle"));
  m_summary = new QLabel(this);
  m_summary->setStyleSheet(QStringLiteral("color: #8b949e;"));
  m_empty = new QLabel(this);
  m_empty->setObjectName(QStringLiteral("emptyPage"));
  m_empty->setAlignment(Qt::AlignCenter);
  m_empty->setWordWrap(true);
  m_empty->setStyleSheet(QStringLiteral("color: #8b949e; font-size: 13px;"));
  m_stack = new QStackedWidget(this);
  m_stack->addWidget(m_empty);

  m_calendar = new CalendarPage(this);
  m_timeBar = new TimeBarPage(this);
  m_range = new TimeRangePage(dateFormat, this);
  m_events = new EventListPage(dateFormat, this);
  for (QWidget* page : std::initializer_list<QWidget*>{m_calendar, m_timeBar, m_range, m_events}) m_stack->addWidget(page);
  connect(m_calendar, &CalendarPage::dayClicked, this, &LocalPlaybackWindow::ShowDay);
  connect(m_timeBar, &TimeBarPage::backRequested, this, &LocalPlaybackWindow::OpenCalendar);
  connect(m_timeBar, &TimeBarPage::playRequested, this, [this](uint32_t start) { emit playRequested(start, 0); });
  connect(m_range, &TimeRangePage::playRequested, this, &LocalPlaybackWindow::playRequested);
  // Every segment is on the one list; the kind tabs only filter it.
  connect(m_events, &EventListPage::playRequested, this,
          [this](const EventEntry& e, int, int) { emit playRequested(e.start, e.end); });

  auto* right = new QVBoxLayout;
  auto* head = new QHBoxLayout;
  head->addWidget(title);
  head->addStretch(1);
  head->addWidget(m_summary);
  right->addLayout(head);
  right->addWidget(m_stack, 1);
  auto* outer = new QHBoxLayout(this);
  outer->addLayout(nav);
  outer->addSpacing(8);
  outer->addLayout(right, 1);

  // The close button and Escape both end in finished; hiding for a playback does not.
  connect(this, &QDialog::finished, this, &LocalPlaybackWindow::closed);
  Rescan();
}

QAbstractButton* LocalPlaybackWindow::PageButton(const QString& name) const {
  const auto it = m_buttons.find(name);
  return it == m_buttons.end() ? nullptr : it->second;
}

QString LocalPlaybackWindow::CurrentPageName() const { return m_stack->currentWidget()->objectName(); }

void LocalPlaybackWindow::Rescan() {
  std::vector<std::string> problems;
  m_pairs = ScanPairs(m_folder, &problems);
  m_spans = LocalDaySpans(m_pairs);
  m_events->SetEvents(LocalEvents(m_pairs), 0, 0);
  const bool any = m_calendar->SetYearMaps(LocalYearMaps(LocalCalendar(m_pairs)), QDate::currentDate().year());
  if (any && !m_pairs.empty())
    m_range->SetStart(m_pairs.front().earliest);
  UpdateSummary();
  for (auto& [name, button] : m_buttons) button->setEnabled(any);
  m_export->setEnabled(any);
  if (!any) {
    m_empty->setText(SearchText("local.empty", "No downloaded recordings in\n%1").arg(QString::fromStdString(m_folder)));
    Show(m_empty, QString());
    return;
  }
  if (m_stack->currentWidget() == m_empty) OpenCalendar();
  if (m_dayYear) ShowDay(m_dayYear, m_dayMonth, m_dayDay);
}

void LocalPlaybackWindow::UpdateSummary() {
  size_t segments = 0;
  for (const LocalPair& p : m_pairs) segments += p.segments.size();
  m_summary->setText(SearchText("local.summary", "%1 files, %2 recordings").arg(m_pairs.size()).arg(segments));
}

void LocalPlaybackWindow::Show(QWidget* page, const QString& button) {
  m_stack->setCurrentWidget(page);
  if (QAbstractButton* b = PageButton(button)) b->setChecked(true);
}

void LocalPlaybackWindow::OpenCalendar() { Show(m_calendar, QStringLiteral("Calendar")); }
void LocalPlaybackWindow::OpenTimeRange() { Show(m_range, QStringLiteral("TimeRange")); }
void LocalPlaybackWindow::OpenEvents() { Show(m_events, QStringLiteral("Events")); }

void LocalPlaybackWindow::ShowDay(int year, int month1, int day1) {
  m_dayYear = year, m_dayMonth = month1, m_dayDay = day1;
  m_timeBar->SetDay(year, month1, day1, m_spans, 0xFFFF, 16, m_dateFormat);
  // The cursor starts at the day's first recording.
  const uint32_t dayStart = m_timeBar->DayStart();
  uint32_t first = 86400;
  for (const SpanRecord& s : m_spans)
    if (s.end >= dayStart && s.start < dayStart + 86400) first = std::min(first, s.start <= dayStart ? 0 : s.start - dayStart);
  m_timeBar->SetStartSeconds(first == 86400 ? 0 : first);
  Show(m_timeBar, QStringLiteral("Calendar"));
}

ExportDefaults LocalPlaybackWindow::DefaultExport() const {
  ExportDefaults d;
  uint32_t from = 0, to = 0, dayEnd = UINT32_MAX;
  if (m_stack->currentWidget() == m_timeBar && m_timeBar->DayStart() != 0) {
    // The shown day: from the cursor to the day's last recording.
    from = m_timeBar->DayStart() + m_timeBar->StartSeconds();
    dayEnd = m_timeBar->DayStart() + 86399;
  } else if (!m_pairs.empty()) {
    from = m_pairs.front().earliest;
  }
  uint32_t channels = 0;
  for (const SpanRecord& s : m_spans) {
    if (s.end < from || s.start > dayEnd) continue;
    to = std::max(to, std::min(s.end, dayEnd));
    if (channels == 0) channels = s.channelMask;
  }
  d.from = from;
  d.to = std::max(to, from);
  for (int ch = 0; ch < 16; ++ch)
    if ((channels >> ch) & 1u) {
      d.channel = ch;
      break;
    }
  return d;
}

}  // namespace orva::view
