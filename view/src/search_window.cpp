#include "orva/view/search_window.h"

#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "orva/link/time_convert.h"
#include "orva/recordings/local_log.h"
#include "backup_pages.h"
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

template <typename F>
void PostTo(QObject* target, F&& f) {
  QMetaObject::invokeMethod(target, std::forward<F>(f), Qt::QueuedConnection);
}

}  // namespace

RecordingSearchWindow::RecordingSearchWindow(SearchController& search, RemotePlayback& playback,
                                             DownloadController& download, DvrSession& session, int dateFormat,
                                             uint8_t opacity, QWidget* parent)
    : QDialog(parent),
      m_search(search),
      m_playback(playback),
      m_download(download),
      m_session(session),
      m_dateFormat(dateFormat),
      m_opacity(opacity),
      m_channelCount(std::clamp(session.ChannelCount(), 1, 16)) {
  setObjectName(QStringLiteral("searchWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(SearchText("search.title", "Recording search"));
  skin::StyleDialog(this, opacity);
  resize(720, 560);

  auto* nav = new QVBoxLayout;
  nav->setSpacing(3);
  struct Entry {
    const char* name;
    const char* key;
    const char* fallback;
    const char* section;  // a heading above the entry, or null
  };
  static const Entry entries[] = {
      {"Channels", "search.page.channels", "Channels", "search.section.select"},
      {"Calendar", "search.page.calendar", "Calendar", "search.section.playback"},
      {"TimeRange", "search.page.range", "Time range", nullptr},
      {"Events", "search.page.events", "Events", nullptr},
      {"BackupCalendar", "search.page.backup_calendar", "Backup calendar", "search.section.backup"},
      {"BackupRange", "search.page.backup_range", "Backup time range", nullptr},
      {"EventBackup", "search.page.event_backup", "Event backup", nullptr},
      {"Log", "search.page.log", "Recorder log", "search.section.recorder"},
      {"Status", "search.page.status", "System status", nullptr},
      {"System", "search.page.system", "System information", nullptr}};
  static const char* const sections[] = {"Selection", "Playback", "Backup", "Recorder"};
  int section = 0;
  for (const Entry& e : entries) {
    if (e.section) {
      auto* heading = new QLabel(SearchText(e.section, sections[section++]).toUpper(), this);
      heading->setStyleSheet(QStringLiteral("color: #6e7681; font-size: 10px; font-weight: bold; padding: 8px 4px 2px;"));
      nav->addWidget(heading);
    }
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
  connect(m_buttons["Channels"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenChannels);
  connect(m_buttons["Calendar"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenCalendar);
  connect(m_buttons["TimeRange"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenTimeRange);
  connect(m_buttons["Events"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenEvents);
  connect(m_buttons["BackupCalendar"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenBackupCalendar);
  connect(m_buttons["BackupRange"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenBackupRange);
  connect(m_buttons["EventBackup"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenEventBackup);
  connect(m_buttons["Log"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenLog);
  connect(m_buttons["Status"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenStatus);
  connect(m_buttons["System"], &QPushButton::clicked, this, &RecordingSearchWindow::OpenSystem);
  // A refusal of the size request only clears the busy flag: watch it.
  m_sizeWatch = new QTimer(this);
  m_sizeWatch->setInterval(200);
  connect(m_sizeWatch, &QTimer::timeout, this, &RecordingSearchWindow::CheckSizeRefused);

  auto* title = new QLabel(windowTitle(), this);
  title->setObjectName(QStringLiteral("noticeTitle"));
  m_selectionText = new QLabel(this);
  m_selectionText->setStyleSheet(QStringLiteral("color: #8b949e;"));
  m_waiting = new QLabel(this);
  m_waiting->setAlignment(Qt::AlignCenter);
  m_waiting->setStyleSheet(QStringLiteral("color: #8b949e; font-size: 13px;"));
  m_stack = new QStackedWidget(this);
  m_stack->addWidget(m_waiting);

  auto* right = new QVBoxLayout;
  auto* head = new QHBoxLayout;
  head->addWidget(title);
  head->addStretch(1);
  head->addWidget(m_selectionText);
  right->addLayout(head);
  right->addWidget(m_stack, 1);
  auto* outer = new QHBoxLayout(this);
  outer->addLayout(nav);
  outer->addSpacing(8);
  outer->addLayout(right, 1);

  m_search.OpenWindow(this, m_channelCount);
  UpdateSelectionText();
  OpenCalendar();
}

RecordingSearchWindow::~RecordingSearchWindow() {
  // Closed by the user: the recorder drops an estimate it is still making.
  if (!m_closingItself) m_download.CancelEstimate();
  // After CloseWindow no reply callback runs; posts already queued die with us.
  m_playback.SetChannelMask(m_search.CloseWindow());
}

QAbstractButton* RecordingSearchWindow::PageButton(const QString& name) const {
  const auto it = m_buttons.find(name);
  return it == m_buttons.end() ? nullptr : it->second;
}

QString RecordingSearchWindow::CurrentPageName() const {
  return m_stack->currentWidget() ? m_stack->currentWidget()->objectName() : QString();
}

void RecordingSearchWindow::SetAccess(SearchAccess access) {
  m_access = access;
  const bool playback = access == SearchAccess::kAll || access == SearchAccess::kPlaybackOnly;
  const bool backup = access == SearchAccess::kAll || access == SearchAccess::kBackupOnly;
  for (const char* name : {"Calendar", "TimeRange", "Events"}) m_buttons[QString::fromLatin1(name)]->setEnabled(playback);
  for (const char* name : {"BackupCalendar", "BackupRange", "EventBackup"})
    m_buttons[QString::fromLatin1(name)]->setEnabled(backup);
  const QAbstractButton* wanted = PageButton(m_wanted);
  if (wanted && !wanted->isEnabled()) {
    if (backup && !playback)
      OpenBackupCalendar();
    else
      OpenChannels();
  }
}

void RecordingSearchWindow::SetLocalPlaybackOpen(bool open) {
  m_localPlayback = open;
  if (m_events) m_events->SetLocalPlaybackOpen(open);
}

void RecordingSearchWindow::Show(QWidget* page, const QString& button) {
  if (m_stack->indexOf(page) < 0) m_stack->addWidget(page);
  m_stack->setCurrentWidget(page);
  m_wanted = button;
  if (QAbstractButton* b = PageButton(button)) b->setChecked(true);
}

void RecordingSearchWindow::ShowWaiting(const QString& button) {
  m_waiting->setText(SearchText("search.waiting", "Asking the recorder\u2026"));
  Show(m_waiting, button);
}

void RecordingSearchWindow::UpdateSelectionText() {
  const uint32_t selection = m_search.Selection();
  const QString list = QString::fromStdString(FormatChannelList(selection)).trimmed();
  m_selectionText->setText(SearchText("search.selection", "Channels: ") +
                           (list.isEmpty() ? SearchText("search.selection.none", "none") : list));
}

// ------------------------------------------------------------ pages

void RecordingSearchWindow::OpenChannels() {
  if (!m_channels) {
    m_channels = new ChannelSelectPage(m_channelCount, m_search.Selection(), this);
    connect(m_channels, &ChannelSelectPage::channelChanged, this, [this](int ch, bool on) {
      m_search.SetChannel(ch, on);
      UpdateSelectionText();
      for (BackupPage* page : std::initializer_list<BackupPage*>{m_backupDay, m_backupRange, m_eventBackup})
        if (page) page->SetSelection(m_search.Selection());
    });
  }
  Show(m_channels, QStringLiteral("Channels"));
}

void RecordingSearchWindow::OpenCalendar() {
  if (m_calendar) {
    Show(m_calendar, QStringLiteral("Calendar"));
    return;
  }
  // The calendar is made when the recorder's month reply arrives.
  ShowWaiting(QStringLiteral("Calendar"));
  m_search.RequestMonth(SearchFamily::kPlayback);
}

void RecordingSearchWindow::OpenTimeRange() {
  if (!m_range) {
    m_range = new TimeRangePage(m_dateFormat, this);
    connect(m_range, &TimeRangePage::playRequested, this, [this](uint32_t start, uint32_t end) {
      PlaybackOrigin origin;
      origin.kind = PlaybackOriginKind::kTimeRange;
      Play(PlaybackRequest{m_search.Selection(), 63, start, end}, std::move(origin));
    });
    // Starts at the day picked in the calendar, else at the running playback.
    uint32_t start = m_timeBar ? m_timeBar->DayStart() + m_timeBar->StartSeconds() : 0;
    if (m_playback.Playing()) start = m_playback.LastShownTime();
    if (start == 0) start = static_cast<uint32_t>(std::max<int64_t>(0, LocalClockValue() - 3600));
    m_range->SetStart(start);
  }
  Show(m_range, QStringLiteral("TimeRange"));
}

void RecordingSearchWindow::OpenEvents() {
  if (m_events) {
    Show(m_events, QStringLiteral("Events"));
    return;
  }
  ShowWaiting(QStringLiteral("Events"));
  m_eventsForBackup = false;
  m_search.RequestEvents();
}

EventListPage* RecordingSearchWindow::EnsureEvents() {
  if (m_events) return m_events;
  m_events = new EventListPage(m_dateFormat, this);
  m_events->SetLocalPlaybackOpen(m_localPlayback);
  connect(m_events, &EventListPage::pageRequested, this,
          [this](int kind, int page) {
            m_eventsForBackup = false;
            m_search.RequestEventPage(kind, page);
          });
  connect(m_events, &EventListPage::playRequested, this, [this](const EventEntry& event, int kind, int page) {
    PlaybackOrigin origin;
    origin.kind = PlaybackOriginKind::kEvent;
    origin.eventKind = kind;
    origin.eventPage = page;
    origin.eventNumber = event.number;
    Play(EventPlaybackRequest(event, m_search.Selection(), m_session.VersionFlag()), std::move(origin));
  });
  return m_events;
}

void RecordingSearchWindow::ShowYearMaps(const std::vector<YearMapRecord>& maps) {
  if (!m_calendar) {
    m_calendar = new CalendarPage(this);
    connect(m_calendar, &CalendarPage::dayClicked, this, [this](int y, int m, int d) {
      if (!m_search.RequestDay(SearchFamily::kPlayback, y, m, d)) return;  // a day request is still out
      m_dayYear = y, m_dayMonth = m, m_dayDay = d;
      m_calendar->SetBusy(true);
    });
  }
  if (!m_calendar->SetYearMaps(maps, QDate::currentDate().year())) {
    m_session.PostNotice(Notice{4, 0});
    m_waiting->setText(SearchText("search.no_recordings", "The recorder holds no recordings."));
    return;
  }
  // Shown only when the user is waiting for it (not over a reopened day).
  if (m_wanted == QLatin1String("Calendar") && m_stack->currentWidget() == m_waiting)
    Show(m_calendar, QStringLiteral("Calendar"));
}

void RecordingSearchWindow::ShowDay(const std::vector<SpanRecord>& spans) {
  if (!m_timeBar) {
    m_timeBar = new TimeBarPage(this);
    connect(m_timeBar, &TimeBarPage::backRequested, this, &RecordingSearchWindow::OpenCalendar);
    connect(m_timeBar, &TimeBarPage::playRequested, this, [this](uint32_t start) {
      PlaybackOrigin origin;
      origin.kind = PlaybackOriginKind::kTimeBar;
      origin.yearMaps = m_search.YearMaps(SearchFamily::kPlayback);
      origin.daySpans = m_search.DaySpans(SearchFamily::kPlayback);
      Play(PlaybackRequest{m_search.Selection(), 0, start, 0}, std::move(origin));
    });
  }
  m_timeBar->SetDay(m_dayYear, m_dayMonth, m_dayDay, spans, m_search.Selection(), m_channelCount, m_dateFormat);
  // While a playback runs the cursor starts where it is.
  m_timeBar->SetStartSeconds(m_playback.Playing() ? m_playback.LastShownTime() % 86400 : 0);
  Show(m_timeBar, QStringLiteral("Calendar"));
}

void RecordingSearchWindow::ReturnTo(const PlaybackOrigin& origin) {
  const uint32_t shown = m_playback.LastShownTime() ? m_playback.LastShownTime() : m_playback.StartTime();
  switch (origin.kind) {
    case PlaybackOriginKind::kTimeBar: {
      if (origin.daySpans.empty()) return;
      UserTime day;
      GetTime_tToUsertime(shown, day);
      m_dayYear = day.year, m_dayMonth = day.month + 1, m_dayDay = day.day + 1;
      ShowDay(origin.daySpans);
      m_timeBar->SetStartSeconds(shown % 86400);
      if (!origin.yearMaps.empty()) ShowYearMaps(origin.yearMaps);
      break;
    }
    case PlaybackOriginKind::kEvent: {
      EventListPage* page = EnsureEvents();
      const EventPaging paging = m_search.Paging();
      page->SetKind(origin.eventKind);
      page->SetEvents(m_search.Events(), origin.eventPage, paging.last);
      Show(page, QStringLiteral("Events"));
      break;
    }
    case PlaybackOriginKind::kTimeRange:
      OpenTimeRange();
      break;
  }
}

void RecordingSearchWindow::Play(const PlaybackRequest& request, PlaybackOrigin origin) {
  // A new request replaces a running playback.
  if (m_playback.Playing()) m_playback.Stop(false);
  m_playback.SetChannelMask(request.channelMask);
  origin.fromSearchWindow = true;
  if (!m_playback.Request(request, std::move(origin))) return;
  emit playbackRequested();
  // The time bar closed a moment after its request; so does every page here.
  m_closingItself = true;
  QTimer::singleShot(50, this, &QDialog::close);
}

// ------------------------------------------------------------ replies

void RecordingSearchWindow::OnYearMaps(SearchFamily family, const std::vector<YearMapRecord>& maps) {
  PostTo(this, [this, family, maps] {
    if (family == SearchFamily::kPlayback)
      ShowYearMaps(maps);
    else
      ShowBackupYearMaps(maps);
  });
}

void RecordingSearchWindow::OnDaySpans(SearchFamily family, const std::vector<SpanRecord>& spans) {
  PostTo(this, [this, family, spans] {
    if (family == SearchFamily::kPlayback)
      ShowDay(spans);
    else
      ShowBackupDay(spans);
  });
}

void RecordingSearchWindow::OnEventList(const std::vector<EventEntry>& events) {
  PostTo(this, [this, events] { ShowEventList(events); });
}

void RecordingSearchWindow::ShowEventList(const std::vector<EventEntry>& events) {
  const bool backup = m_eventsForBackup;
  const bool fresh = backup ? !m_eventBackup : !m_events;
  EventListPage* page = backup ? EnsureEventBackup()->List() : EnsureEvents();
  page->SetEvents(events, 0, 0);
  const QString button = backup ? QStringLiteral("EventBackup") : QStringLiteral("Events");
  if (m_wanted == button && m_stack->currentWidget() == m_waiting)
    Show(backup ? static_cast<QWidget*>(m_eventBackup) : page, button);
  // A new list opens on kind 2 and asks for its first page.
  if (fresh) {
    page->SetKind(2);
    m_search.RequestEventPage(2, 0);
  }
}

void RecordingSearchWindow::OnEventPage(const std::vector<EventEntry>& events, int current, int last) {
  PostTo(this, [this, events, current, last] {
    if (EventListPage* page = EventTarget()) page->SetEvents(events, current, last);
  });
}

void RecordingSearchWindow::OnBusyCleared() {
  PostTo(this, [this] {
    for (CalendarPage* c : {m_calendar, m_backupCalendar})
      if (c) c->SetBusy(false);
  });
}

}  // namespace orva::view
