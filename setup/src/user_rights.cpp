#include "orva/setup/user_rights.h"

#include <algorithm>
#include <cstring>

#include "orva/link/trace.h"

namespace orva {
namespace {

// Size of the setup database image that carries the table.
constexpr size_t kSetupDatabaseImageSize = 64512;
static_assert(kUserRightsTableOffsetInSetupDatabase + kUserRightsTableSize <= kSetupDatabaseImageSize);
static_assert(kUserPasswordOffset + kUserSlotCount * kUserTextBytes == kUserRightsTableSize);

bool SlotOk(int slot) { return slot >= 0 && slot < kUserSlotCount; }
bool RightOk(Right r) { return static_cast<int>(r) >= 0 && static_cast<int>(r) < kRightCount; }

size_t RightIndex(int slot, Right r) {
  return static_cast<size_t>(static_cast<int>(r)) * kUserSlotCount + static_cast<size_t>(slot);
}

std::string ReadText(const UserRightsTable& t, size_t base, int slot) {
  if (!SlotOk(slot)) return std::string();
  const uint8_t* field = t.bytes.data() + base + static_cast<size_t>(slot) * kUserTextBytes;
  size_t n = 0;
  while (n < kUserTextBytes - 1 && field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

void WriteText(UserRightsTable& t, size_t base, int slot, std::string_view text) {
  if (!SlotOk(slot)) return;
  uint8_t* field = t.bytes.data() + base + static_cast<size_t>(slot) * kUserTextBytes;
  std::memset(field, 0, kUserTextBytes);
  std::memcpy(field, text.data(), std::min(text.size(), kUserTextBytes - 1));
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

const char* RightName(Right r) {
  static constexpr const char* kNames[kRightCount] = {"stop-recording", "setup", "playback", "backup",
                                                      "ptz",            "covert", "access",  "reboot"};
  return RightOk(r) ? kNames[static_cast<int>(r)] : "unknown";
}

uint8_t UserRightsTable::RightByte(int slot, Right r) const {
  return SlotOk(slot) && RightOk(r) ? bytes[RightIndex(slot, r)] : 0;
}

bool UserRightsTable::Has(int slot, Right r) const { return RightByte(slot, r) == 1; }

uint8_t UserRightsTable::Level(int slot) const {
  return SlotOk(slot) ? bytes[kUserLevelOffset + static_cast<size_t>(slot)] : 0;
}

std::string UserRightsTable::UserId(int slot) const { return ReadText(*this, kUserIdOffset, slot); }

std::string UserRightsTable::Password(int slot) const { return ReadText(*this, kUserPasswordOffset, slot); }

void UserRightsTable::SetRightByte(int slot, Right r, uint8_t v) {
  if (SlotOk(slot) && RightOk(r)) bytes[RightIndex(slot, r)] = v;
}

void UserRightsTable::SetLevel(int slot, uint8_t v) {
  if (SlotOk(slot)) bytes[kUserLevelOffset + static_cast<size_t>(slot)] = v;
}

void UserRightsTable::SetUserId(int slot, std::string_view id) { WriteText(*this, kUserIdOffset, slot, id); }

void UserRightsTable::SetPassword(int slot, std::string_view pw) {
  WriteText(*this, kUserPasswordOffset, slot, pw);
}

bool ParseUserRightsTable(std::span<const uint8_t> data, UserRightsTable& out, std::string& error) {
  // Zeroed first: a bad notice leaves every right withdrawn until a good one.
  out.bytes.fill(0);
  if (data.size() != kUserRightsTableSize) {
    Trace("RightChange size : %d, Payload size : %d\n", static_cast<int>(kUserRightsTableSize),
          static_cast<int>(data.size()));
    error = "user rights table must be " + std::to_string(kUserRightsTableSize) + " bytes, got " +
            std::to_string(data.size());
    return false;
  }
  std::copy(data.begin(), data.end(), out.bytes.begin());
  return true;
}

bool ReadUserRightsFromSetupDatabase(std::span<const uint8_t> database, UserRightsTable& out,
                                     std::string& error) {
  out.bytes.fill(0);
  if (database.size() != kSetupDatabaseImageSize) {
    error = "setup database must be " + std::to_string(kSetupDatabaseImageSize) + " bytes, got " +
            std::to_string(database.size());
    return false;
  }
  return ParseUserRightsTable(database.subspan(kUserRightsTableOffsetInSetupDatabase, kUserRightsTableSize),
                              out, error);
}

int FindUserSlot(const UserRightsTable& table, std::string_view loginId) {
  if (loginId.empty()) return -1;
  for (int slot = 0; slot < kUserSlotCount; ++slot) {
    const std::string id = table.UserId(slot);
    if (id.size() != loginId.size()) continue;
    bool same = true;
    for (size_t i = 0; i < id.size() && same; ++i) same = LowerAscii(id[i]) == LowerAscii(loginId[i]);
    if (same) return slot;
  }
  return -1;
}

}  // namespace orva
