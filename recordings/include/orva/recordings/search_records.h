// The records of the recorder's search replies and what the search windows
// compute from them: the year maps behind the calendar, the day spans behind
// the 24-hour time bar, the event list with its per-kind numbers and pages.
//
// Everything here is plain data and pure functions; the search controller
// (search_controller.h) fills the records from the wire.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orva {

inline constexpr size_t kYearMapRecordSize = 376;
inline constexpr size_t kSpanRecordSize = 24;
inline constexpr size_t kPagePrefixSize = 12;
inline constexpr int kFirstCalendarYear = 2000;
inline constexpr int kLastCalendarYear = 2037;

// One year that holds recordings: a flag per month (0-11) and day (0-30).
struct YearMapRecord {
  uint32_t year = 0;
  std::array<uint8_t, 372> days{};
  bool Flag(int month0, int day0) const { return days[static_cast<size_t>(month0 * 31 + day0)] != 0; }
};

// A recorded span (day replies) or an event (event replies).
struct SpanRecord {
  uint32_t channelMask = 0;  // bit n = channel n (0-based)
  uint8_t kind = 0;          // day replies: kind mask, bits 0-5; events: 1, 2 or 4
  uint32_t start = 0;        // recorder time
  uint32_t end = 0;
};

// An event list entry: the record with its running number among the events
// of its kind (kinds 1, 2 and 4 counted separately from 0; -1 for others).
struct EventEntry {
  uint32_t channelMask = 0;
  int kind = 0;
  int number = -1;
  uint32_t start = 0;
  uint32_t end = 0;
};

// Whole records only; a trailing partial record is ignored.
std::vector<YearMapRecord> ParseYearMaps(std::span<const uint8_t> bytes);
std::vector<SpanRecord> ParseSpans(std::span<const uint8_t> bytes);
// The same layout back (for the simulator-independent tests and fixtures).
void AppendSpanRecord(std::vector<uint8_t>& out, const SpanRecord& record);
void AppendYearMapRecord(std::vector<uint8_t>& out, const YearMapRecord& record);
std::vector<EventEntry> NumberEvents(const std::vector<SpanRecord>& records);

// --- calendar ---
bool IsLeapYear(int year);
int DaysInMonth(int year, int month0);
// Weekday of the first day of the month, 0 = Sunday.
int WeekdayOfFirst(int year, int month0);
// A month counts when one of its real days is flagged (31 February does not).
bool MonthHasRecordings(const YearMapRecord& map, int month0);
const YearMapRecord* FindYear(const std::vector<YearMapRecord>& maps, int year);

struct CalendarMonth {
  bool found = false;
  int year = 0;
  int month0 = 0;
};
// The month the calendar opens on: the latest month with recordings of the
// current year, else of the year before, 2000 stepping back to 2037, until
// the search comes round to the current year again (not found).
CalendarMonth ChooseCalendarMonth(const std::vector<YearMapRecord>& maps, int currentYear);

struct CalendarCell {
  int day0 = 0;    // 0-based day of the month
  int column = 0;  // 0 = Sunday
  int row = 0;
  bool recorded = false;
};
// The month's days in a 7-column grid, Sunday first.
std::vector<CalendarCell> CalendarGrid(int year, int month0, const YearMapRecord* map);

// --- day time bar ---
inline constexpr int kTimeBarWidth = 288;  // 24 h at 12 pixels per hour
inline constexpr int kTimeBarRowPitch = 19;
inline constexpr int kTimeBarRowTop = 76;
inline constexpr int kTimeBarRowBottom = 84;
inline constexpr int kRecordingKinds = 6;

struct TimeBarSegment {
  int row = 0;     // channel, 0-based
  int colour = 0;  // the lowest set bit of the kind mask, 0-5
  int x0 = 0;      // pixels from the bar's left edge, 0-288
  int x1 = 0;      // x0 < x1
};
// Bar pixel of a time of day: hour * 12 + minute / 5.
int TimeBarX(uint32_t recorderTime);
// Seconds after midnight at a bar pixel: x * 300, within the day.
uint32_t TimeBarSecondsAt(int x);
// The bars the day view draws for `dayStart` (midnight, recorder time):
// every channel set both in a span's mask and in `selection`, from the pixel
// of its start up to and with the pixel of its end (so at least one pixel),
// in drawing order: by colour, continuous recording first. Parts of a span
// outside the day are cut off at its edges, so a span from the evening
// before starts at 0, one past midnight ends at 288.
std::vector<TimeBarSegment> TimeBarSegments(const std::vector<SpanRecord>& spans, uint32_t selection,
                                            uint32_t dayStart);

// --- texts (date format 0 Y-M-D, 1 M-D-Y, 2 D-M-Y) ---
// "%04d - %02d - %02d" in the order of the date format (month and day 1-based).
std::string FormatDayTitle(int year, int month1, int day1, int dateFormat);
// "%02d : %02d : %02d"
std::string FormatClockText(uint32_t secondsOfDay);
// "%02d " per set bit, ascending, channels counted from 1.
std::string FormatChannelList(uint32_t mask);

// --- event pages ---
struct EventPaging {
  int current = 0;  // page index from 0
  int last = 0;     // last page index
  // The page field and buttons are hidden with one page (last <= 0).
  bool Visible() const { return last > 0; }
  void Previous() { current = current - 1 < 0 ? (last > 0 ? last : 0) : current - 1; }
  void Next() { current = current + 1 > last ? 0 : current + 1; }
  std::string CurrentText() const;  // "%d", current + 1
  std::string TotalText() const;    // "/  %d", last + 1
};

}  // namespace orva
