// Recorder time: seconds since 1970 that encode the recorder's wall clock as
// if it were UTC. Neither side applies a zone or daylight-saving offset, so
// both conversions are plain UTC calendar arithmetic.
#pragma once

#include <cstdint>
#include <string>

namespace orva {

struct UserTime {
  int32_t year = 0;    // full year
  int32_t month = 0;   // 0-11
  int32_t day = 0;     // 0-30 (day of month minus one)
  int32_t hour = 0;    // 0-23
  int32_t minute = 0;  // 0-59
  int32_t second = 0;  // 0-59
  bool operator==(const UserTime&) const = default;
};

// Breaks t down as UTC. A negative t is traced and leaves `out` untouched.
void GetTime_tToUsertime(int64_t t, UserTime& out);

// The inverse: the fields read as a UTC calendar date and time (timegm).
int64_t GetUsertimeToTime_t(const UserTime& in);

// A recorder time as text by the date-format setting: 0 year-month-day,
// 1 month-day-year, 2 day-month-year, then the time after `separator`
// ("2009-12-07 10:15:30"). A negative value counts as 0.
std::string FormatRecorderTime(int64_t seconds, int dateFormat, const char* separator = " ");

// The local zone's offset from UTC in seconds at time t (daylight saving
// included), for values that record "this computer's wall clock as UTC".
int64_t LocalUtcOffsetSeconds(int64_t t);

}  // namespace orva
