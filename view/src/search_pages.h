// The pages of the recording search window. Each page is a plain widget
// that shows what it is given and reports what the user chose through its
// signals; the search window owns the controllers and wires them.
#pragma once

#include <QDateTime>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "orva/recordings/search_records.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QTabBar;
class QTimeEdit;
class QTreeWidget;

namespace orva::view {

// The colour of each recording kind (bit 0-5 of a day record's kind mask).
QColor RecordingKindColour(int kind);
QString RecordingKindName(int kind);
// A text from the resource library, or the fallback when it has none.
QString SearchText(const char* key, const char* fallback);
// Recorder times are calendar fields read as UTC; the edits show them so.
QDateTime FromRecorder(uint32_t time);
uint32_t ToRecorder(const QDateTime& time);
QDateTimeEdit* MakeRecorderTimeEdit(int dateFormat, QWidget* parent);

// One row per channel up to the channel count, "%s%02d" with the channel
// word, and an on and an off button; a choice applies at once.
class ChannelSelectPage : public QWidget {
  Q_OBJECT
 public:
  ChannelSelectPage(int channelCount, uint32_t selection, QWidget* parent = nullptr);
  uint32_t Selection() const { return m_selection; }
  QAbstractButton* OnButton(int channel) const;
  QAbstractButton* OffButton(int channel) const;

 signals:
  void channelChanged(int channel, bool on);

 private:
  uint32_t m_selection;
  std::vector<QAbstractButton*> m_on, m_off;
};

// The playback calendar: a year, its twelve month buttons (enabled when the
// month holds recordings) and the month's days Sunday first; flagged days
// are highlighted and clickable.
class CalendarPage : public QWidget {
  Q_OBJECT
 public:
  explicit CalendarPage(QWidget* parent = nullptr);
  // Opens on the latest month with recordings; false (nothing shown) when
  // none of the years has one.
  bool SetYearMaps(const std::vector<YearMapRecord>& maps, int currentYear);
  void ShowMonth(int year, int month0);
  void SetBusy(bool busy);
  int Year() const { return m_year; }
  int Month() const { return m_month0; }
  QAbstractButton* MonthButton(int month0) const { return m_months[static_cast<size_t>(month0)]; }
  // The button of a day of the shown month, null beyond its length.
  QAbstractButton* DayButton(int day0) const;

 signals:
  void dayClicked(int year, int month1, int day1);

 private:
  void StepYear(int direction);

  std::vector<YearMapRecord> m_maps;
  int m_year = 0, m_month0 = 0;
  QLabel* m_yearLabel = nullptr;
  QLabel* m_busy = nullptr;
  QPushButton* m_prevYear = nullptr;
  QPushButton* m_nextYear = nullptr;
  std::array<QPushButton*, 12> m_months{};
  std::array<QPushButton*, 42> m_cells{};
  std::array<int, 31> m_cellOfDay{};
};

// The 24-hour bar of one day: 16 channel rows 19 pixels apart, 288 pixels
// wide (5 minutes a pixel), a colour per kind with a legend, and the cursor
// that a click or a drag places.
class DayTimeBar : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kBarLeft = 70;
  explicit DayTimeBar(QWidget* parent = nullptr);
  void SetDay(const QString& title, const std::vector<SpanRecord>& spans, uint32_t selection, uint32_t dayStart,
              int channelCount);
  // Moves the cursor to the pixel of this time of day.
  void SetCursorSeconds(uint32_t secondsOfDay);
  // A chosen stretch of the day drawn as a band (backup); from > to: none.
  void SetBand(uint32_t fromSeconds, uint32_t toSeconds);
  int CursorX() const { return m_cursor; }  // from the bar's left edge
  const std::vector<TimeBarSegment>& Segments() const { return m_segments; }
  QSize sizeHint() const override;

 signals:
  // A click or drag set the start time (seconds after midnight).
  void startPicked(uint32_t secondsOfDay);
  // The button went down at this time (before startPicked).
  void pressedAt(uint32_t secondsOfDay);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void Pick(int x);

  QString m_title;
  std::vector<TimeBarSegment> m_segments;
  int m_channelCount = 16;
  int m_cursor = 0;
  int m_bandFrom = 0, m_bandTo = -1;  // pixels
};

// The day view: the bar, the start time "%02d : %02d : %02d", a time-entry
// box that moves the cursor, and Play.
class TimeBarPage : public QWidget {
  Q_OBJECT
 public:
  explicit TimeBarPage(QWidget* parent = nullptr);
  void SetDay(int year, int month1, int day1, const std::vector<SpanRecord>& spans, uint32_t selection,
              int channelCount, int dateFormat);
  void SetStartSeconds(uint32_t secondsOfDay);
  uint32_t StartSeconds() const { return m_start; }
  uint32_t DayStart() const { return m_dayStart; }
  QString StartText() const;
  DayTimeBar* Bar() const { return m_bar; }
  QTimeEdit* TimeEntry() const { return m_entry; }
  QPushButton* PlayButton() const { return m_play; }

 signals:
  void playRequested(uint32_t startTime);
  void backRequested();

 private:
  DayTimeBar* m_bar = nullptr;
  QLabel* m_startText = nullptr;
  QTimeEdit* m_entry = nullptr;
  QPushButton* m_play = nullptr;
  uint32_t m_dayStart = 0;
  uint32_t m_start = 0;
};

// A start and, when switched on, an end; Play.
class TimeRangePage : public QWidget {
  Q_OBJECT
 public:
  explicit TimeRangePage(int dateFormat, QWidget* parent = nullptr);
  void SetStart(uint32_t time);
  QDateTimeEdit* StartEdit() const { return m_start; }
  QDateTimeEdit* EndEdit() const { return m_end; }
  QCheckBox* EndSwitch() const { return m_endOn; }
  QPushButton* PlayButton() const { return m_play; }

 signals:
  void playRequested(uint32_t start, uint32_t end);

 private:
  QDateTimeEdit* m_start = nullptr;
  QDateTimeEdit* m_end = nullptr;
  QCheckBox* m_endOn = nullptr;
  QPushButton* m_play = nullptr;
};

// The event list: kind tabs 1, 2 and 4, the entries of the current kind,
// pages with wrap-around, and Play for the selected entry.
class EventListPage : public QWidget {
  Q_OBJECT
 public:
  static constexpr std::array<int, 3> kKinds{1, 2, 4};
  EventListPage(int dateFormat, QWidget* parent = nullptr);
  // Selects the tab of `kind` without asking for a page.
  void SetKind(int kind);
  int Kind() const { return m_kind; }
  // The entries held and the page they belong to; the list is rebuilt.
  void SetEvents(const std::vector<EventEntry>& events, int current, int last);
  const EventPaging& Paging() const { return m_paging; }
  void SetLocalPlaybackOpen(bool open);
  // The selected entry, or null.
  const EventEntry* Selected() const;
  QTreeWidget* List() const { return m_list; }
  QTabBar* Tabs() const { return m_tabs; }
  QLineEdit* PageField() const { return m_page; }
  QLabel* PageTotal() const { return m_total; }
  QAbstractButton* PreviousButton() const;
  QAbstractButton* NextButton() const;
  QAbstractButton* GoButton() const;
  QPushButton* PlayButton() const { return m_play; }

 signals:
  void pageRequested(int kind, int page);
  void playRequested(const orva::EventEntry& event, int kind, int page);
  void selectionChanged();

 private:
  void Rebuild();
  void ShowPaging();
  void UpdatePlay();

  int m_dateFormat;
  int m_kind = 2;
  bool m_localPlayback = false;
  EventPaging m_paging;
  std::vector<EventEntry> m_events;
  std::vector<EventEntry> m_shown;
  QTabBar* m_tabs = nullptr;
  QTreeWidget* m_list = nullptr;
  QLineEdit* m_page = nullptr;
  QLabel* m_total = nullptr;
  QPushButton* m_prev = nullptr;
  QPushButton* m_next = nullptr;
  QPushButton* m_go = nullptr;
  QPushButton* m_play = nullptr;
};

}  // namespace orva::view
