#include "arg_parse.h"

#include <charconv>
#include <cstdio>

#include "orva/link/time_convert.h"
#include "orva/recordings/search_records.h"

namespace orva::cli {
namespace {

// `count` digits exactly at `pos`.
bool Digits(const std::string& text, size_t pos, size_t count, int& out) {
  if (pos + count > text.size()) return false;
  int value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  out = value;
  return true;
}

bool DateAt(const std::string& text, int& year, int& month1, int& day1) {
  if (!Digits(text, 0, 4, year) || text[4] != '-' || !Digits(text, 5, 2, month1) || text[7] != '-' ||
      !Digits(text, 8, 2, day1))
    return false;
  if (year < kFirstCalendarYear || year > kLastCalendarYear || month1 < 1 || month1 > 12) return false;
  return day1 >= 1 && day1 <= DaysInMonth(year, month1 - 1);
}

}  // namespace

bool ParseNumber(const std::string& text, uint64_t max, uint64_t& out) {
  int base = 10;
  const char* begin = text.data();
  if (text.size() > 2 && (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0)) {
    base = 16;
    begin += 2;
  }
  auto [end, ec] = std::from_chars(begin, text.data() + text.size(), out, base);
  return ec == std::errc() && end == text.data() + text.size() && out <= max && begin != text.data() + text.size();
}

bool ParseChannelMask(const std::string& option, const std::string& text, uint32_t& out, std::string& error) {
  uint64_t n = 0;
  if (!ParseNumber(text, 0xFFFF, n) || n == 0) {
    error = option + " must be a channel mask from 1 to 0xFFFF, not '" + text + "'";
    return false;
  }
  out = static_cast<uint32_t>(n);
  return true;
}

bool ParseDate(const std::string& text, int& year, int& month1, int& day1) {
  return text.size() == 10 && DateAt(text, year, month1, day1);
}

bool ParseWallClock(const std::string& text, uint32_t& out) {
  UserTime t;
  int month1 = 0, day1 = 0;
  if (text.size() != 19 || !DateAt(text, t.year, month1, day1) || text[10] != ' ' ||
      !Digits(text, 11, 2, t.hour) || text[13] != ':' || !Digits(text, 14, 2, t.minute) || text[16] != ':' ||
      !Digits(text, 17, 2, t.second))
    return false;
  if (t.hour > 23 || t.minute > 59 || t.second > 59) return false;
  t.month = month1 - 1;
  t.day = day1 - 1;
  out = static_cast<uint32_t>(GetUsertimeToTime_t(t));
  return true;
}

std::string FormatDate(int year, int month1, int day1, int dateFormat) {
  char text[16];
  if (dateFormat == 1)
    std::snprintf(text, sizeof text, "%02d-%02d-%04d", month1, day1, year);
  else if (dateFormat == 2)
    std::snprintf(text, sizeof text, "%02d-%02d-%04d", day1, month1, year);
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month1, day1);
  return text;
}

std::string FormatMonth(int year, int month1, int dateFormat) {
  char text[16];
  if (dateFormat == 0)
    std::snprintf(text, sizeof text, "%04d-%02d", year, month1);
  else
    std::snprintf(text, sizeof text, "%02d-%04d", month1, year);
  return text;
}

std::string FormatChannels(uint32_t mask) {
  std::string out;
  for (int ch = 0; ch < 32; ++ch) {
    if (!(mask & (1u << ch))) continue;
    char text[8];
    std::snprintf(text, sizeof text, "%s%02d", out.empty() ? "" : ",", ch + 1);
    out += text;
  }
  return out;
}

}  // namespace orva::cli
