// The local playback window: the downloaded pairs of the Download folder
// found the way the recorder's are (a calendar whose days open the 24-hour
// bar, a time range, the event list), each leading to a local playback, and
// the export of a stretch of one channel to an MP4 file. It needs no
// connection. The main window owns the player; this window only says what
// to play.
#pragma once

#include <QDialog>
#include <map>
#include <string>
#include <vector>

#include "orva/recordings/local_files.h"

class QAbstractButton;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace orva::view {

class CalendarPage;
class EventListPage;
class TimeBarPage;
class TimeRangePage;

// What the export dialog starts with: the shown day's choice.
struct ExportDefaults {
  uint32_t from = 0, to = 0;
  int channel = 0;
};

class LocalPlaybackWindow : public QDialog {
  Q_OBJECT
 public:
  LocalPlaybackWindow(std::string folder, int dateFormat, uint8_t opacity, QWidget* parent = nullptr);

  // Reads the folder again (a download may have added pairs).
  void Rescan();
  const std::vector<LocalPair>& Pairs() const { return m_pairs; }
  const std::string& Folder() const { return m_folder; }

  // Page buttons "Calendar", "TimeRange", "Events".
  QAbstractButton* PageButton(const QString& name) const;
  QPushButton* ExportButton() const { return m_export; }
  void OpenCalendar();
  void OpenTimeRange();
  void OpenEvents();
  QString CurrentPageName() const;
  CalendarPage* Calendar() const { return m_calendar; }
  TimeBarPage* TimeBar() const { return m_timeBar; }
  TimeRangePage* TimeRange() const { return m_range; }
  EventListPage* Events() const { return m_events; }
  ExportDefaults DefaultExport() const;

 signals:
  // end 0: to the end of the recordings.
  void playRequested(quint32 start, quint32 end);
  void exportRequested();
  // Closed by the user: local playback ends.
  void closed();

 private:
  void Show(QWidget* page, const QString& button);
  void ShowDay(int year, int month1, int day1);
  void UpdateSummary();

  const std::string m_folder;
  const int m_dateFormat;
  std::vector<LocalPair> m_pairs;
  std::vector<SpanRecord> m_spans;
  int m_dayYear = 0, m_dayMonth = 0, m_dayDay = 0;

  std::map<QString, QAbstractButton*> m_buttons;
  QStackedWidget* m_stack = nullptr;
  QLabel* m_empty = nullptr;
  QLabel* m_summary = nullptr;
  QPushButton* m_export = nullptr;
  CalendarPage* m_calendar = nullptr;
  TimeBarPage* m_timeBar = nullptr;
  TimeRangePage* m_range = nullptr;
  EventListPage* m_events = nullptr;
};

}  // namespace orva::view
