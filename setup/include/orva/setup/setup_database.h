// The recorder's setup database: one 64,512-byte record, kept exactly as it
// arrived. Only the multi-byte numbers of SetupMultiByteRuns() ever change
// byte order (ToHostOrder when a setup window opens, ToNetworkOrder on OK);
// every other byte, the gaps and everything past 0x1A40 included, goes back
// to the recorder as it came.
//
// The record knows which order it is in, so the typed accessors read and
// write the numbers correctly in either order, and Save and the update
// message always use network order whatever the current state.
//
// Not thread-safe: one owner at a time (see SetupExchange for the handover).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orva/setup/setup_fields.h"
#include "orva/setup/user_rights.h"

namespace orva {

inline constexpr size_t kSetupDatabaseSize = 0xFC00;       // 64,512
inline constexpr size_t kSetupInterpretedSize = 0x1A40;    // the client reads nothing beyond
inline constexpr size_t kTestMailOffset = 0x0DB8, kTestMailSize = 516;

enum class SetupByteOrder { kNetwork, kHost };

class SetupDatabase {
 public:
  SetupDatabase();  // all zero, network order

  // Exactly 64,512 bytes in network order, else false with a message.
  static bool FromBytes(std::span<const uint8_t> bytes, SetupDatabase& out, std::string& error);

  // The bytes in their current order.
  std::span<const uint8_t> Bytes() const { return m_bytes; }
  // Every byte in the current order, for the editing rules (setup_rules.h).
  std::span<uint8_t> MutableBytes() { return m_bytes; }
  // A copy in network order (what goes on the wire and into files).
  std::vector<uint8_t> NetworkBytes() const;

  SetupByteOrder Order() const { return m_order; }
  void ToHostOrder();     // no-op when already in host order
  void ToNetworkOrder();  // no-op when already in network order

  // Bytes 0 and 1: the database version.
  uint8_t Major() const { return m_bytes[0]; }
  uint8_t Minor() const { return m_bytes[1]; }
  // A database newer than 4.1 (affects the time-zone list of the NTP page).
  bool NewerThan41() const { return Major() > 4 || (Major() == 4 && Minor() > 1); }

  // --- typed access by field; `entry` is 0-based, out of range reads 0 and
  // writes nothing. Numbers: entries of 1, 2 or 4 bytes, in the record's
  // current order. Text, password, IPv4 and row fields are bytes.
  uint32_t Value(SetupFieldId id, int entry = 0) const;
  void SetValue(SetupFieldId id, int entry, uint32_t value);
  // Text up to the terminator or width-1 bytes.
  std::string Text(SetupFieldId id, int entry = 0) const;
  // Writes at most width-1 bytes (cut at a UTF-8 character boundary),
  // zero-padded. Returns false when the text had to be cut.
  bool SetText(SetupFieldId id, int entry, std::string_view text);
  // The raw bytes of one entry (any kind).
  std::span<const uint8_t> EntryBytes(SetupFieldId id, int entry = 0) const;
  std::span<uint8_t> MutableEntryBytes(SetupFieldId id, int entry = 0);

  // The user table at 0x15F8 (same layout as RIGHT_CHANGE).
  UserRightsTable Users() const;
  void SetUsers(const UserRightsTable& table);

  // The 516 bytes of SEND_TEST_MAIL_REQ (0x0DB8-0x0FBB).
  std::span<const uint8_t> TestMailBytes() const { return {m_bytes.data() + kTestMailOffset, kTestMailSize}; }

  // --- by key, for show/diff and command-line edits ---
  // The shown value of one entry ("on", "PAL", "4CIF", text, "10.0.0.1", ...).
  std::string FormatEntry(const SetupField& field, int entry) const;
  // Parses `value` as FormatEntry shows it (numbers also accepted for every
  // named value) and writes it. False with a message for a read-only field,
  // an unknown key, a value out of the entry's range or a text too long.
  bool SetByKey(std::string_view key, std::string_view value, std::string& error);

  bool operator==(const SetupDatabase& other) const;

 private:
  size_t EntryOffset(const SetupField& field, int entry) const;

  std::array<uint8_t, kSetupDatabaseSize> m_bytes{};
  SetupByteOrder m_order = SetupByteOrder::kNetwork;
};

// One `key: value` line per entry of every field, in offset order.
struct SetupLine {
  std::string key;
  std::string value;
};
std::vector<SetupLine> ShowSetup(const SetupDatabase& db);

// The entries whose shown value differs between two records, in offset order.
struct SetupChange {
  std::string key;
  std::string before;
  std::string after;
};
std::vector<SetupChange> DiffSetup(const SetupDatabase& before, const SetupDatabase& after);
// How many bytes outside every field of the table differ (gaps, 0x1A40 on).
size_t DiffUninterpretedBytes(const SetupDatabase& before, const SetupDatabase& after);

// A setup file is the record exactly as the recorder sends it: 64,512 bytes,
// network order, nothing else. Save writes network order whatever the
// record's current order.
bool SaveSetupFile(const std::string& path, const SetupDatabase& db, std::string& error);
// Refuses a file of another size, or, when `current` is given, a record of
// another database version (bytes 0 and 1) than `current`, with a message.
bool LoadSetupFile(const std::string& path, SetupDatabase& out, std::string& error,
                   const SetupDatabase* current = nullptr);

}  // namespace orva
