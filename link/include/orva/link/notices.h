// Notices: the (category, code) pairs by which the network side tells the
// user interface about failures and refusals, and the one table of their
// texts that both the command-line tool and the desktop client show.
#pragma once

#include <cstdint>
#include <string>

namespace orva {

struct Notice {
  uint16_t category = 0;
  uint16_t code = 0;
  bool operator==(const Notice&) const = default;
  // The packed form carried in one word: category * 65536 + code.
  uint32_t Packed() const { return (uint32_t{category} << 16) | code; }
};

// clang-format off
inline constexpr Notice kNoticeSocketFailed     {0, 0};
inline constexpr Notice kNoticeConnectTimedOut  {1, 0};
inline constexpr Notice kNoticeConnectRefused   {1, 1};
inline constexpr Notice kNoticeConnectionClosed {2, 0};   // the receive loop has ended
inline constexpr Notice kNoticeNotPermitted     {15, 0};  // user lacks the right
// The client's own refusal of a recorder of another product family. The
// category lies outside the range the recorder's notices use.
inline constexpr Notice kNoticeWrongFamily      {20, 0};
// clang-format on

// Category 3: BYE48 from the recorder, by result.
// Result 1, 2, 3, 33, 34, 35, 36, -2 give codes 0-7; 37 gives notice 15/0;
// anything else gives no notice (false).
bool NoticeForByeResult(int32_t result, Notice& out);

struct NoticeText {
  const char* title;
  const char* text;
};

// Title and text for a notice; a generic text for pairs the table lacks.
NoticeText LookupNotice(Notice notice);

// "title: text" on one line, for command-line output.
std::string FormatNotice(Notice notice);

}  // namespace orva
