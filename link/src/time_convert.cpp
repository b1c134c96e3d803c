#include "orva/link/time_convert.h"

#include <cstdio>
#include <ctime>

#include "orva/link/trace.h"

namespace orva {

void GetTime_tToUsertime(int64_t t, UserTime& out) {
  if (t < 0) {
    Trace("Error...GetTime_tToUsertime... time : %lld\n", static_cast<long long>(t));
    return;
  }
  time_t tt = static_cast<time_t>(t);
  tm parts{};
  if (!gmtime_r(&tt, &parts)) return;
  out.year = parts.tm_year + 1900;
  out.month = parts.tm_mon;
  out.day = parts.tm_mday - 1;
  out.hour = parts.tm_hour;
  out.minute = parts.tm_min;
  out.second = parts.tm_sec;
}

int64_t GetUsertimeToTime_t(const UserTime& in) {
  tm parts{};
  parts.tm_year = in.year - 1900;
  parts.tm_mon = in.month;
  parts.tm_mday = in.day + 1;
  parts.tm_hour = in.hour;
  parts.tm_min = in.minute;
  parts.tm_sec = in.second;
  return static_cast<int64_t>(timegm(&parts));
}

std::string FormatRecorderTime(int64_t seconds, int dateFormat, const char* separator) {
  UserTime t;
  GetTime_tToUsertime(seconds < 0 ? 0 : seconds, t);
  const int year = t.year, month = t.month + 1, day = t.day + 1;
  char text[80];
  switch (dateFormat) {
    case 1:
      std::snprintf(text, sizeof text, "%02d-%02d-%04d%s%02d:%02d:%02d", month, day, year, separator, t.hour, t.minute,
                    t.second);
      break;
    case 2:
      std::snprintf(text, sizeof text, "%02d-%02d-%04d%s%02d:%02d:%02d", day, month, year, separator, t.hour, t.minute,
                    t.second);
      break;
    default:
      std::snprintf(text, sizeof text, "%04d-%02d-%02d%s%02d:%02d:%02d", year, month, day, separator, t.hour, t.minute,
                    t.second);
      break;
  }
  return text;
}

int64_t LocalUtcOffsetSeconds(int64_t t) {
  time_t tt = static_cast<time_t>(t);
  tm local{};
  if (!localtime_r(&tt, &local)) return 0;
  return local.tm_gmtoff;
}

}  // namespace orva
