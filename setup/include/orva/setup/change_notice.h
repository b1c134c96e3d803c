// Camera-name change notices: DB_CHANGE (narrow names) and DB_CHANGE_UNICODE
// (UTF-16 names), each with the 16 covert flags.
//
// DB_CHANGE (596 bytes):         0 u32 BE head, 4 covert[16], 20 names 16 x 32 bytes, 532 64 unused
// DB_CHANGE_UNICODE (1108 bytes): 0 u32 BE head, 4 covert[16], 20 names 16 x 32 BE UTF-16 units
//                                 (unit 0 is not text, units 1-31 are), 1044 64 unused
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orva {

inline constexpr size_t kDbChangeSize = 596, kDbChangeUnicodeSize = 1108;
inline constexpr int kTitleBytes = 64;
inline constexpr int kNoticeChannels = 16;
// Longest converted Unicode title, leaving the 64-byte entry terminated.
inline constexpr size_t kUnicodeTitleMaxBytes = 62;

struct CameraNotice {
  bool unicode = false;
  uint32_t head = 0;                                       // first 32-bit value, host order, unused further
  std::array<uint8_t, 16> covert{};                        // 1 = covert
  std::array<std::array<char, kTitleBytes>, 16> titles{};  // NUL-terminated, zero-padded
};

// DB_CHANGE (exactly 596 bytes): names are narrow text, 32 bytes each, copied
// into the 64-byte titles (always terminated). On a wrong size: false, the
// trace "db change size : %d, Payload size : %d\n" and `out` unchanged.
bool ParseDbChange(std::span<const uint8_t> payload, CameraNotice& out, std::string& error);

// DB_CHANGE_UNICODE (exactly 1108 bytes): each name converted to UTF-8, cut at
// a character boundary to at most 62 bytes, zero-padded in its 64-byte entry;
// traces "%d...%s\n" (payload size, text) per channel. Wrong size: as above.
bool ParseDbChangeUnicode(std::span<const uint8_t> payload, CameraNotice& out, std::string& error);

// Host-order UTF-16 code units to UTF-8, ending at a 0 unit or the end of the
// span. Unpaired surrogates become '?'. Stops before the first character that
// would take the result past maxBytes, so no character is ever split.
std::string Utf16ToUtf8Bounded(std::span<const uint16_t> units, size_t maxBytes);

}  // namespace orva
