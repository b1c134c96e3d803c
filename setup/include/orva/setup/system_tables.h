// The recorder's language and serial-protocol tables, announced after login
// in SYS_ETC_INFO (320 bytes, numbers into built-in name lists) and
// SYS_ETC_INFO_EX (3,200 bytes, the same tables with names). When an
// extended table has arrived it is used instead of the short one.
//
// SYS_ETC_INFO:    0x000 64 language numbers (1-13, 0 unused)
//                  0x040 64 x 2 camera protocols (number 1-6, baud-rate count)
//                  0x0C0 64 x 2 controller protocols (number 1-2, baud-rate count)
// SYS_ETC_INFO_EX: 0x000 64 x 16 language names       0x400 64 x 16 camera protocol names
//                  0x800 64 camera baud-rate counts    0x840 64 x 16 controller protocol names
//                  0xC40 64 controller baud-rate counts
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orva {

inline constexpr size_t kSysEtcInfoSize = 320, kSysEtcInfoExSize = 3200;
inline constexpr int kTableSlots = 64;

enum class ProtocolTable { kCamera, kController };

struct SystemTables {
  std::array<uint8_t, kSysEtcInfoSize> info{};      // zeroed until a valid SYS_ETC_INFO
  std::array<uint8_t, kSysEtcInfoExSize> infoEx{};  // zeroed until a valid SYS_ETC_INFO_EX
  bool exArrived = false;                           // a valid SYS_ETC_INFO_EX has arrived
};

// The built-in lists, numbered from 1 in the short table.
// 13 names: "English", "Chinese", ... "Japanese".
const std::array<const char*, 13>& BuiltinLanguageNames();
// 17 names matched (case-insensitively) against the extended table's names;
// position i selects the localized name i of the resource library.
const std::array<const char*, 17>& KnownLanguageNames();
// "Pelco-P", ... "Vitek" (camera) and "TKC-2000", "Vista KBD" (controller).
std::span<const char* const> BuiltinProtocolNames(ProtocolTable table);
// "2400 bps" ... "76800 bps", by stored index 0-5.
const std::array<const char*, 6>& BaudRateNames();

// The language shown for a slot.
struct LanguageName {
  int known = -1;    // with an extended table: position in KnownLanguageNames(), or -1
  std::string text;  // the name to show when the UI has no localized text for `known`
};
// Slot 0-63; an unused or unknown slot gives an empty text.
LanguageName LanguageForSlot(const SystemTables& tables, int slot);
// The slots among the first 64 whose language is known, in slot order (the
// language chooser's items).
std::vector<int> LanguageSlots(const SystemTables& tables);

// Entry p (0-63) of the camera or controller protocol table: its name
// (empty when unknown) and the number of baud rates it allows.
std::string ProtocolName(const SystemTables& tables, ProtocolTable table, int entry);
int ProtocolBaudCount(const SystemTables& tables, ProtocolTable table, int entry);

}  // namespace orva
