#include "orva/recordings/search_records.h"

#include <algorithm>
#include <cstdio>

#include "orva/link/time_convert.h"
#include "orva/link/wire.h"

namespace orva {

std::vector<YearMapRecord> ParseYearMaps(std::span<const uint8_t> bytes) {
  std::vector<YearMapRecord> out(bytes.size() / kYearMapRecordSize);
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t* p = bytes.data() + i * kYearMapRecordSize;
    out[i].year = LoadBE32(p);
    std::copy_n(p + 4, out[i].days.size(), out[i].days.begin());
  }
  return out;
}

std::vector<SpanRecord> ParseSpans(std::span<const uint8_t> bytes) {
  std::vector<SpanRecord> out(bytes.size() / kSpanRecordSize);
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t* p = bytes.data() + i * kSpanRecordSize;
    out[i].channelMask = LoadBE32(p);
    out[i].kind = p[4];
    out[i].start = LoadBE32(p + 16);
    out[i].end = LoadBE32(p + 20);
  }
  return out;
}

void AppendSpanRecord(std::vector<uint8_t>& out, const SpanRecord& record) {
  uint8_t p[kSpanRecordSize] = {};
  StoreBE32(p, record.channelMask);
  p[4] = record.kind;
  StoreBE32(p + 16, record.start);
  StoreBE32(p + 20, record.end);
  out.insert(out.end(), p, p + kSpanRecordSize);
}

void AppendYearMapRecord(std::vector<uint8_t>& out, const YearMapRecord& record) {
  uint8_t year[4];
  StoreBE32(year, record.year);
  out.insert(out.end(), year, year + 4);
  out.insert(out.end(), record.days.begin(), record.days.end());
}

std::vector<EventEntry> NumberEvents(const std::vector<SpanRecord>& records) {
  std::vector<EventEntry> out;
  out.reserve(records.size());
  int counts[3] = {0, 0, 0};
  for (const SpanRecord& r : records) {
    EventEntry e{r.channelMask, r.kind, -1, r.start, r.end};
    if (r.kind == 1) e.number = counts[0]++;
    if (r.kind == 2) e.number = counts[1]++;
    if (r.kind == 4) e.number = counts[2]++;
    out.push_back(e);
  }
  return out;
}

// ------------------------------------------------------------- calendar

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month0) {
  static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month0 < 0 || month0 > 11) return 0;
  return month0 == 1 && IsLeapYear(year) ? 29 : kLengths[month0];
}

int WeekdayOfFirst(int year, int month0) {
  const int y = year - 1;
  long days = y / 400 + y / 4 + 365L * year - y / 100 - 364;
  for (int m = 0; m < month0; ++m) days += DaysInMonth(year, m);
  return static_cast<int>(((days % 7) + 7) % 7);
}

bool MonthHasRecordings(const YearMapRecord& map, int month0) {
  const int length = DaysInMonth(static_cast<int>(map.year), month0);
  for (int d = 0; d < length; ++d)
    if (map.Flag(month0, d)) return true;
  return false;
}

const YearMapRecord* FindYear(const std::vector<YearMapRecord>& maps, int year) {
  for (const YearMapRecord& m : maps)
    if (static_cast<int>(m.year) == year) return &m;
  return nullptr;
}

CalendarMonth ChooseCalendarMonth(const std::vector<YearMapRecord>& maps, int currentYear) {
  // A current year outside the calendar's range would never come round again.
  int year = std::clamp(currentYear, kFirstCalendarYear, kLastCalendarYear);
  const int first = year;
  do {
    if (const YearMapRecord* map = FindYear(maps, year))
      for (int m = 11; m >= 0; --m)
        if (MonthHasRecordings(*map, m)) return {true, year, m};
    year = year == kFirstCalendarYear ? kLastCalendarYear : year - 1;
  } while (year != first);
  return {};
}

std::vector<CalendarCell> CalendarGrid(int year, int month0, const YearMapRecord* map) {
  std::vector<CalendarCell> cells;
  const int w = WeekdayOfFirst(year, month0);
  const int length = DaysInMonth(year, month0);
  for (int j = 0; j < length; ++j)
    cells.push_back({j, (w + j) % 7, (w + j) / 7, map != nullptr && map->Flag(month0, j)});
  return cells;
}

// ------------------------------------------------------------- time bar

int TimeBarX(uint32_t recorderTime) {
  const uint32_t ofDay = recorderTime % 86400;
  return static_cast<int>(ofDay / 3600 * 12 + ofDay % 3600 / 60 / 5);
}

uint32_t TimeBarSecondsAt(int x) { return static_cast<uint32_t>(std::clamp(x, 0, kTimeBarWidth - 1)) * 300; }

std::vector<TimeBarSegment> TimeBarSegments(const std::vector<SpanRecord>& spans, uint32_t selection,
                                            uint32_t dayStart) {
  std::vector<TimeBarSegment> out;
  const int64_t dayEnd = int64_t{dayStart} + 86400;
  for (const SpanRecord& s : spans) {
    const uint8_t kinds = s.kind & 0x3F;
    if (kinds == 0 || s.end < s.start || s.end < dayStart || s.start >= dayEnd) continue;
    int colour = 0;
    while (!(kinds & (1u << colour))) ++colour;
    // The pixel that holds the end is part of the bar: a span that ends at
    // 01:59:59 covers the 01:55 pixel, or every hour would show a gap.
    const int x0 = s.start <= dayStart ? 0 : TimeBarX(s.start);
    int x1 = s.end >= dayEnd ? kTimeBarWidth : TimeBarX(s.end) + 1;
    if (x1 <= x0) x1 = x0 + 1;
    const uint32_t mask = s.channelMask & selection;
    for (int ch = 0; ch < 16; ++ch)
      if (mask & (1u << ch)) out.push_back({ch, colour, x0, x1});
  }
  // Continuous recording underneath, events on top: a one-minute alarm
  // shares its 5-minute pixel with the recording around it and must show.
  std::stable_sort(out.begin(), out.end(),
                   [](const TimeBarSegment& a, const TimeBarSegment& b) { return a.colour < b.colour; });
  return out;
}

// ------------------------------------------------------------- texts

std::string FormatDayTitle(int year, int month1, int day1, int dateFormat) {
  char text[48];
  if (dateFormat == 1)
    std::snprintf(text, sizeof text, "%02d - %02d - %04d", month1, day1, year);
  else if (dateFormat == 2)
    std::snprintf(text, sizeof text, "%02d - %02d - %04d", day1, month1, year);
  else
    std::snprintf(text, sizeof text, "%04d - %02d - %02d", year, month1, day1);
  return text;
}

std::string FormatClockText(uint32_t secondsOfDay) {
  char text[32];
  secondsOfDay %= 86400;
  std::snprintf(text, sizeof text, "%02u : %02u : %02u", secondsOfDay / 3600, secondsOfDay % 3600 / 60,
                secondsOfDay % 60);
  return text;
}

std::string FormatChannelList(uint32_t mask) {
  std::string out;
  char text[8];
  for (int ch = 0; ch < 32; ++ch)
    if (mask & (1u << ch)) {
      std::snprintf(text, sizeof text, "%02d ", ch + 1);
      out += text;
    }
  return out;
}

std::string EventPaging::CurrentText() const { return std::to_string(current + 1); }
std::string EventPaging::TotalText() const { return "/  " + std::to_string(last + 1); }

}  // namespace orva
