// The 584-byte user table: eight user slots with their rights, level, ID and
// password. It arrives alone in RIGHT_CHANGE and also sits at 0x15F8 inside
// the 64,512-byte setup database; both carry the same layout.
//
// Layout (offsets from the start of the table, one byte per slot per row):
//   0x000 + 8*right + slot   right byte (1 = granted), rights in Right order
//   0x040 + slot             user level (0 = slot not in use)
//   0x048 + 32*slot          user ID, up to 31 bytes, NUL-terminated
//   0x148 + 32*slot          password, up to 31 bytes, NUL-terminated
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orva {

enum class Right : int { kStopRecording = 0, kSetup, kPlayback, kBackup, kPtz, kCovert, kAccess, kReboot };
inline constexpr int kRightCount = 8, kUserSlotCount = 8;
inline constexpr size_t kUserRightsTableSize = 584;
inline constexpr size_t kUserRightsTableOffsetInSetupDatabase = 0x15F8;
inline constexpr size_t kUserLevelOffset = 0x040, kUserIdOffset = 0x048, kUserPasswordOffset = 0x148;
inline constexpr size_t kUserTextBytes = 32;  // per slot; at most 31 bytes of text

// "stop-recording", "setup", "playback", "backup", "ptz", "covert", "access",
// "reboot"; "unknown" for a value outside the enum.
const char* RightName(Right r);

struct UserRightsTable {
  std::array<uint8_t, kUserRightsTableSize> bytes{};  // the wire/database layout, verbatim

  uint8_t RightByte(int slot, Right r) const;  // 0 for a slot or right out of range
  bool Has(int slot, Right r) const;           // byte == 1
  uint8_t Level(int slot) const;               // 0 for a slot out of range
  std::string UserId(int slot) const;          // up to 31 bytes, stops at NUL
  std::string Password(int slot) const;        // up to 31 bytes, stops at NUL

  // Out-of-range slots (or rights) are ignored.
  void SetRightByte(int slot, Right r, uint8_t v);
  void SetLevel(int slot, uint8_t v);
  void SetUserId(int slot, std::string_view id);        // cut to 31 bytes, zero-padded
  void SetPassword(int slot, std::string_view pw);      // cut to 31 bytes, zero-padded
};

// Exactly 584 bytes, else false with an error text naming the size, the trace
// "RightChange size : %d, Payload size : %d\n" and `out` left zeroed (every
// right then reads as 0).
bool ParseUserRightsTable(std::span<const uint8_t> data, UserRightsTable& out, std::string& error);

// Reads the table at 0x15F8 of a setup database image (exactly 64,512 bytes;
// else false with an error text and `out` left zeroed).
bool ReadUserRightsFromSetupDatabase(std::span<const uint8_t> database, UserRightsTable& out,
                                     std::string& error);

// First slot whose user ID equals loginId ignoring ASCII letter case
// (byte-wise compare after lower-casing), or -1. An empty login ID matches
// nothing: unused slots have empty IDs and must not be taken for the user.
int FindUserSlot(const UserRightsTable& table, std::string_view loginId);

}  // namespace orva
