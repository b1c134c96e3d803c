// Argument values shared by the orvactl commands: numbers and masks,
// recorder wall-clock times, and the date and channel texts they print.
#pragma once

#include <cstdint>
#include <string>

namespace orva::cli {

// Decimal, or hexadecimal with 0x; at most `max`.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t& out);
// A channel mask 1-0xFFFF (bit n = channel n+1), with a message naming `option`.
bool ParseChannelMask(const std::string& option, const std::string& text, uint32_t& out, std::string& error);
// "YYYY-MM-DD HH:MM:SS" on the recorder's clock (years 2000-2037), as
// recorder time.
bool ParseWallClock(const std::string& text, uint32_t& out);
// "YYYY-MM-DD" (years 2000-2037); month and day from 1.
bool ParseDate(const std::string& text, int& year, int& month1, int& day1);

// By the date format: 0 YYYY-MM-DD, 1 MM-DD-YYYY, 2 DD-MM-YYYY.
std::string FormatDate(int year, int month1, int day1, int dateFormat);
// 0 YYYY-MM; 1 and 2 MM-YYYY (the day-first order without a day).
std::string FormatMonth(int year, int month1, int dateFormat);
// "01,03": the channels of a mask, from 1, ascending.
std::string FormatChannels(uint32_t mask);

}  // namespace orva::cli
