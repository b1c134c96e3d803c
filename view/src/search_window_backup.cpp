// The backup side of the search window: the backup calendar and its day,
// the typed range and the event list for backup, their size requests and
// the download start.
#include <QDate>
#include <QLabel>
#include <QStackedWidget>
#include <QTimer>

#include "backup_pages.h"
#include "orva/link/time_convert.h"
#include "orva/recordings/local_log.h"
#include "orva/view/search_window.h"
#include "search_pages.h"

namespace orva::view {

void RecordingSearchWindow::OpenBackupCalendar() {
  // Coming back from the day: the year map held is shown again, no request.
  if (m_backupCalendar) {
    Show(m_backupCalendar, QStringLiteral("BackupCalendar"));
    return;
  }
  ShowWaiting(QStringLiteral("BackupCalendar"));
  m_search.RequestMonth(SearchFamily::kBackup);
}

void RecordingSearchWindow::OpenBackupRange() {
  if (!m_backupRange) {
    m_backupRange = new BackupRangePage(m_dateFormat, this);
    m_backupRange->SetSelection(m_search.Selection());
    WireBackupPage(m_backupRange);
    // Starts on the day's stretch when one was chosen, else on the last hour.
    if (m_backupDay && m_backupDay->DayStart() != 0) {
      m_backupRange->SetRange(m_backupDay->DayStart() + m_backupDay->From(), m_backupDay->DayStart() + m_backupDay->To());
    } else {
      const auto now = static_cast<uint32_t>(std::max<int64_t>(3600, LocalClockValue()));
      m_backupRange->SetRange(now - 3600, now);
    }
  }
  Show(m_backupRange, QStringLiteral("BackupRange"));
}

void RecordingSearchWindow::OpenEventBackup() {
  if (m_eventBackup) {
    Show(m_eventBackup, QStringLiteral("EventBackup"));
    return;
  }
  ShowWaiting(QStringLiteral("EventBackup"));
  m_eventsForBackup = true;
  m_search.RequestEvents();
}

EventBackupPage* RecordingSearchWindow::EnsureEventBackup() {
  if (m_eventBackup) return m_eventBackup;
  m_eventBackup = new EventBackupPage(m_dateFormat, this);
  m_eventBackup->SetSelection(m_search.Selection());
  WireBackupPage(m_eventBackup);
  connect(m_eventBackup->List(), &EventListPage::pageRequested, this, [this](int kind, int page) {
    m_eventsForBackup = true;
    m_search.RequestEventPage(kind, page);
  });
  return m_eventBackup;
}

EventListPage* RecordingSearchWindow::EventTarget() const {
  if (m_eventsForBackup) return m_eventBackup ? m_eventBackup->List() : nullptr;
  return m_events;
}

void RecordingSearchWindow::WireBackupPage(BackupPage* page) {
  page->Controls()->SetDownloadRunning(m_downloadRunning || m_download.Running());
  connect(page, &BackupPage::calculateRequested, this, [this, page](const DownloadRange& range) {
    // One answer is awaited at a time: another page asking takes it over.
    if (m_sizeAsker && m_sizeAsker != page) m_sizeAsker->Controls()->StopWaiting();
    m_sizeAsker = page;
    m_download.RequestSize(range);
    m_sizeWatchRounds = 0;
    m_sizeWatch->start();
  });
  connect(page, &BackupPage::startRequested, this, [this](const DownloadRange& range) {
    if (!m_download.Start(range)) return;  // one runs already
    SetDownloadRunning(true);
    emit downloadRequested();
    m_closingItself = true;
    close();
  });
}

void RecordingSearchWindow::ShowBackupYearMaps(const std::vector<YearMapRecord>& maps) {
  if (!m_backupCalendar) {
    m_backupCalendar = new CalendarPage(this);
    m_backupCalendar->setObjectName(QStringLiteral("backupCalendarPage"));
    connect(m_backupCalendar, &CalendarPage::dayClicked, this, [this](int y, int m, int d) {
      if (!m_search.RequestDay(SearchFamily::kBackup, y, m, d)) return;
      m_dayYear = y, m_dayMonth = m, m_dayDay = d;
      m_backupCalendar->SetBusy(true);
    });
  }
  if (!m_backupCalendar->SetYearMaps(maps, QDate::currentDate().year())) {
    m_session.PostNotice(Notice{4, 0});
    m_waiting->setText(SearchText("search.no_recordings", "The recorder holds no recordings."));
    return;
  }
  if (m_wanted == QLatin1String("BackupCalendar") && m_stack->currentWidget() == m_waiting)
    Show(m_backupCalendar, QStringLiteral("BackupCalendar"));
}

void RecordingSearchWindow::ShowBackupDay(const std::vector<SpanRecord>& spans) {
  if (!m_backupDay) {
    m_backupDay = new BackupDayPage(this);
    WireBackupPage(m_backupDay);
    connect(m_backupDay, &BackupDayPage::backRequested, this, &RecordingSearchWindow::OpenBackupCalendar);
  }
  m_backupDay->SetDay(m_dayYear, m_dayMonth, m_dayDay, spans, m_search.Selection(), m_channelCount, m_dateFormat);
  Show(m_backupDay, QStringLiteral("BackupCalendar"));
}

void RecordingSearchWindow::ShowBackupSize(uint32_t kib, bool fits) {
  m_sizeWatch->stop();
  // The page that asked; else the first open one, typed range first.
  BackupPage* page = m_sizeAsker;
  if (!page) page = m_backupRange ? static_cast<BackupPage*>(m_backupRange) : m_eventBackup;
  if (!page) page = m_backupDay;
  m_sizeAsker = nullptr;
  if (page) page->Controls()->ShowSize(kib, fits);
}

void RecordingSearchWindow::CheckSizeRefused() {
  if (m_download.Busy()) return;
  // The answer may still be on its way to this thread: one more round.
  static constexpr int kGraceRounds = 2;
  if (++m_sizeWatchRounds < kGraceRounds) return;
  m_sizeWatch->stop();
  m_sizeWatchRounds = 0;
  if (m_sizeAsker) m_sizeAsker->Controls()->StopWaiting();
  m_sizeAsker = nullptr;
}

void RecordingSearchWindow::SetDownloadRunning(bool running) {
  m_downloadRunning = running;
  for (BackupPage* page : std::initializer_list<BackupPage*>{m_backupDay, m_backupRange, m_eventBackup})
    if (page) page->Controls()->SetDownloadRunning(running);
}

}  // namespace orva::view
