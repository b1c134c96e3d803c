// The backup pages of the recording search window: the day's time range
// (from the backup calendar's day reply), a time range typed directly, and
// the event list for backup. Each carries the same controls: Calculate asks
// the recorder for the size, the size is shown by the download rule, and
// Start begins the download once the size fits.
#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "orva/recordings/download.h"
#include "orva/recordings/search_records.h"

class QButtonGroup;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTimeEdit;

namespace orva::view {

class DayTimeBar;
class EventListPage;

// Calculate, the size field and Start. Calculate is offered while a range is
// chosen and no answer is awaited; a fitting size > 0 offers Start unless a
// download runs. A changed range forgets the size.
class BackupControls : public QWidget {
  Q_OBJECT
 public:
  explicit BackupControls(QWidget* parent = nullptr);
  void SetRangeValid(bool valid);
  // The range changed: the size asked for before no longer holds.
  void Forget();
  void SetWaiting();
  // The recorder's answer: a size that does not fit (notice 13/0 is the
  // connection's) clears the field and offers Calculate again.
  void ShowSize(uint32_t kib, bool fits);
  // Refused, or the window gave the request up.
  void StopWaiting();
  void SetDownloadRunning(bool running);
  bool Waiting() const { return m_waiting; }
  QPushButton* CalculateButton() const { return m_calculate; }
  QPushButton* StartButton() const { return m_start; }
  QLabel* SizeText() const { return m_size; }

 signals:
  void calculateRequested();
  void startRequested();

 private:
  void Update();

  bool m_valid = false, m_waiting = false, m_running = false;
  bool m_haveSize = false, m_fits = false;
  uint32_t m_kib = 0;
  QPushButton* m_calculate = nullptr;
  QPushButton* m_start = nullptr;
  QLabel* m_size = nullptr;
};

// A page that asks for a backup size and starts the download.
class BackupPage : public QWidget {
  Q_OBJECT
 public:
  using QWidget::QWidget;
  BackupControls* Controls() const { return m_controls; }
  // The search window's channel selection, which every request carries.
  void SetSelection(uint32_t selection);
  // The chosen range; false when nothing (or no channel) is chosen.
  virtual bool Range(DownloadRange& out) const = 0;

 signals:
  void calculateRequested(const orva::DownloadRange& range);
  void startRequested(const orva::DownloadRange& range);

 protected:
  void AttachControls(BackupControls* controls);
  void RangeChanged();
  uint32_t m_selection = 0xFFFF;

 private:
  BackupControls* m_controls = nullptr;
};

// The backup calendar's day: the 24-hour bar; a press sets the start, a drag
// spans to the end, and both times can be typed.
class BackupDayPage : public BackupPage {
  Q_OBJECT
 public:
  explicit BackupDayPage(QWidget* parent = nullptr);
  void SetDay(int year, int month1, int day1, const std::vector<SpanRecord>& spans, uint32_t selection,
              int channelCount, int dateFormat);
  // Seconds after midnight, both included.
  void SetStretch(uint32_t from, uint32_t to);
  uint32_t From() const { return m_from; }
  uint32_t To() const { return m_to; }
  uint32_t DayStart() const { return m_dayStart; }
  DayTimeBar* Bar() const { return m_bar; }
  bool Range(DownloadRange& out) const override;

 signals:
  void backRequested();

 private:
  DayTimeBar* m_bar = nullptr;
  QTimeEdit* m_fromEdit = nullptr;
  QTimeEdit* m_toEdit = nullptr;
  uint32_t m_dayStart = 0, m_from = 0, m_to = 0, m_anchor = 0;
};

// Start and end typed directly.
class BackupRangePage : public BackupPage {
  Q_OBJECT
 public:
  BackupRangePage(int dateFormat, QWidget* parent = nullptr);
  void SetRange(uint32_t start, uint32_t end);
  QDateTimeEdit* StartEdit() const { return m_start; }
  QDateTimeEdit* EndEdit() const { return m_end; }
  bool Range(DownloadRange& out) const override;

 private:
  QDateTimeEdit* m_start = nullptr;
  QDateTimeEdit* m_end = nullptr;
};

// The event list with the backup controls under it: the selected event's
// stretch, asked for with its kind.
class EventBackupPage : public BackupPage {
  Q_OBJECT
 public:
  EventBackupPage(int dateFormat, QWidget* parent = nullptr);
  EventListPage* List() const { return m_list; }
  bool Range(DownloadRange& out) const override;

 private:
  EventListPage* m_list = nullptr;
};

}  // namespace orva::view
