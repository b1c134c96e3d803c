// The recording search window: one at a time, over a connection whose user
// may play back or back up. Its page buttons open the channel selection,
// the playback calendar (and from a day the 24-hour time bar), the time
// range and the event list, and the same three for backup (a day's stretch,
// a typed range, an event), each asking for the size before the download
// starts, and the recorder's log, status and system pages. A page
// that exists is shown again; calendars and event lists are created when the
// recorder's first reply arrives.
//
// The search controller's replies come on the receive thread: they are
// copied and posted to this window; the download's size answers reach it
// through the main window. Closing the window hands its channel selection
// to remote playback; closing it by hand also tells the recorder to drop an
// unfinished size estimate. A refused log or status request closes it (the
// main window shows the notice).
#pragma once

#include <QDialog>
#include <QPointer>
#include <map>

#include "orva/recordings/download.h"
#include "orva/recordings/remote_playback.h"
#include "orva/recordings/search_controller.h"
#include "orva/setup/rights_monitor.h"

class QAbstractButton;
class QLabel;
class QStackedWidget;
class QTimer;

namespace orva::view {

class BackupDayPage;
class BackupPage;
class BackupRangePage;
class LogPage;
class RemoteLogViewer;
class StatusPage;
class SystemPage;
class CalendarPage;
class EventBackupPage;
class ChannelSelectPage;
class EventListPage;
class TimeBarPage;
class TimeRangePage;

class RecordingSearchWindow : public QDialog, private SearchObserver {
  Q_OBJECT
 public:
  RecordingSearchWindow(SearchController& search, RemotePlayback& playback, DownloadController& download,
                        DvrSession& session, int dateFormat, uint8_t opacity, QWidget* parent = nullptr);
  ~RecordingSearchWindow() override;

  // Enables only the page buttons the user's rights allow.
  void SetAccess(SearchAccess access);
  SearchAccess Access() const { return m_access; }
  // After the stop button: back to the page the playback came from.
  void ReturnTo(const PlaybackOrigin& origin);
  void SetLocalPlaybackOpen(bool open);

  // The page buttons: "Channels", "Calendar", "TimeRange", "Events",
  // "BackupCalendar", "BackupRange", "EventBackup", "Log", "Status", "System".
  QAbstractButton* PageButton(const QString& name) const;
  void OpenChannels();
  void OpenCalendar();
  void OpenTimeRange();
  void OpenEvents();
  void OpenBackupCalendar();
  void OpenBackupRange();
  void OpenEventBackup();
  // search_window_recorder.cpp
  void OpenLog();
  void OpenStatus();
  void OpenSystem();
  // Where the status page keeps its free-space readings (the connection's,
  // so that the estimate outlives the window); before the status page opens.
  void SetFreeSpaceSamples(std::vector<FreeSpaceSample>* samples) { m_freeSamples = samples; }
  LogPage* Log() const { return m_logPage; }
  StatusPage* Status() const { return m_statusPage; }
  SystemPage* System() const { return m_systemPage; }
  RemoteLogViewer* LogViewerWindow() const;
  // The recorder's size answer, for the backup page that asked.
  void ShowBackupSize(uint32_t kib, bool fits);
  // While a download runs no page offers Start.
  void SetDownloadRunning(bool running);
  // The shown page's object name ("calendarPage", "timeBarPage", ...).
  QString CurrentPageName() const;
  CalendarPage* Calendar() const { return m_calendar; }
  TimeBarPage* TimeBar() const { return m_timeBar; }
  TimeRangePage* TimeRange() const { return m_range; }
  EventListPage* Events() const { return m_events; }
  ChannelSelectPage* Channels() const { return m_channels; }
  CalendarPage* BackupCalendar() const { return m_backupCalendar; }
  BackupDayPage* BackupDay() const { return m_backupDay; }
  BackupRangePage* BackupRange() const { return m_backupRange; }
  EventBackupPage* EventBackup() const { return m_eventBackup; }

 signals:
  // A playback request went out; the window closes itself.
  void playbackRequested();
  // A download started; the window closes itself.
  void downloadRequested();

 private:
  // SearchObserver: receive thread, copy and post.
  void OnYearMaps(SearchFamily family, const std::vector<YearMapRecord>& maps) override;
  void OnDaySpans(SearchFamily family, const std::vector<SpanRecord>& spans) override;
  void OnEventList(const std::vector<EventEntry>& events) override;
  void OnEventPage(const std::vector<EventEntry>& events, int current, int last) override;
  void OnBusyCleared() override;
  void OnLog(const std::vector<LogRecord>& records) override;
  void OnStatus(const RecorderStatus& status) override;
  void OnCloseRequested() override;
  void ShowLog(std::vector<LogRecord> records);

  void ShowYearMaps(const std::vector<YearMapRecord>& maps);
  void ShowDay(const std::vector<SpanRecord>& spans);
  EventListPage* EnsureEvents();
  // search_window_backup.cpp
  void ShowBackupYearMaps(const std::vector<YearMapRecord>& maps);
  void ShowBackupDay(const std::vector<SpanRecord>& spans);
  EventBackupPage* EnsureEventBackup();
  void WireBackupPage(BackupPage* page);
  // The event list that the last event request was for.
  EventListPage* EventTarget() const;
  void ShowEventList(const std::vector<EventEntry>& events);
  void CheckSizeRefused();
  void Show(QWidget* page, const QString& button);
  void ShowWaiting(const QString& button);
  void Play(const PlaybackRequest& request, PlaybackOrigin origin);
  void UpdateSelectionText();

  SearchController& m_search;
  RemotePlayback& m_playback;
  DownloadController& m_download;
  DvrSession& m_session;
  const int m_dateFormat;
  const uint8_t m_opacity;
  const int m_channelCount;
  SearchAccess m_access = SearchAccess::kAll;
  bool m_localPlayback = false;
  bool m_closed = false;
  QString m_wanted;  // the page button last chosen: replies show their page only then
  int m_dayYear = 0, m_dayMonth = 0, m_dayDay = 0;  // the day last asked for
  bool m_eventsForBackup = false;   // which event list the last event request serves
  bool m_downloadRunning = false;
  bool m_closingItself = false;     // after a playback or download request
  BackupPage* m_sizeAsker = nullptr;  // the page waiting for a size answer
  QTimer* m_sizeWatch = nullptr;
  int m_sizeWatchRounds = 0;

  std::map<QString, QAbstractButton*> m_buttons;
  QStackedWidget* m_stack = nullptr;
  QLabel* m_waiting = nullptr;
  QLabel* m_selectionText = nullptr;
  ChannelSelectPage* m_channels = nullptr;  // children: live as long as the window
  CalendarPage* m_calendar = nullptr;
  TimeBarPage* m_timeBar = nullptr;
  TimeRangePage* m_range = nullptr;
  EventListPage* m_events = nullptr;
  CalendarPage* m_backupCalendar = nullptr;
  BackupDayPage* m_backupDay = nullptr;
  BackupRangePage* m_backupRange = nullptr;
  EventBackupPage* m_eventBackup = nullptr;
  LogPage* m_logPage = nullptr;
  StatusPage* m_statusPage = nullptr;
  SystemPage* m_systemPage = nullptr;
  QPointer<RemoteLogViewer> m_logViewer;  // a window of its own, closed with this one
  std::vector<FreeSpaceSample>* m_freeSamples = nullptr;
};

}  // namespace orva::view
