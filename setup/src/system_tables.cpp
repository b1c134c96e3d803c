#include "orva/setup/system_tables.h"

#include <algorithm>
#include <cctype>

namespace orva {
namespace {

constexpr size_t kExNameBytes = 16;
constexpr size_t kExLanguages = 0x000, kExCameraNames = 0x400, kExCameraBauds = 0x800, kExControllerNames = 0x840,
                 kExControllerBauds = 0xC40;
constexpr size_t kInfoLanguages = 0x000, kInfoCamera = 0x040, kInfoController = 0x0C0;

constexpr std::array<const char*, 13> kBuiltinLanguages = {
    "English", "Chinese", "French",  "German",    "Italian", "Dutch",     "Russian",
    "Polish",  "Spanish", "Hungarian", "Slovak", "Portuguese", "Japanese"};
constexpr std::array<const char*, 17> kKnownLanguages = {
    "English", "French",  "German",   "Italian",  "Dutch",     "Russian",   "Polish",  "Spanish", "Hungarian",
    "Slovak",  "Portuguese", "Korean", "Japanese", "S.Chinese", "T.Chinese", "Turkish", "Danish"};
constexpr const char* kCameraProtocols[] = {"Pelco-P", "Pelco-D", "Vista PD", "Dongyang", "TKC-2000", "Vitek"};
constexpr const char* kControllerProtocols[] = {"TKC-2000", "Vista KBD"};
constexpr std::array<const char*, 6> kBauds = {"2400 bps", "4800 bps", "9600 bps", "19200 bps", "38400 bps",
                                               "76800 bps"};

// A 16-byte name of the extended table, ending at its terminator or the field's end.
std::string ExName(const SystemTables& t, size_t base, int slot) {
  const uint8_t* p = t.infoEx.data() + base + static_cast<size_t>(slot) * kExNameBytes;
  return std::string(p, std::find(p, p + kExNameBytes, uint8_t{0}));
}

bool EqualsNoCase(const std::string& a, const char* b) {
  const std::string_view bv(b);
  return a.size() == bv.size() && std::equal(a.begin(), a.end(), bv.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool InRange(int slot) { return slot >= 0 && slot < kTableSlots; }

}  // namespace

const std::array<const char*, 13>& BuiltinLanguageNames() { return kBuiltinLanguages; }
const std::array<const char*, 17>& KnownLanguageNames() { return kKnownLanguages; }
const std::array<const char*, 6>& BaudRateNames() { return kBauds; }

std::span<const char* const> BuiltinProtocolNames(ProtocolTable table) {
  if (table == ProtocolTable::kCamera) return kCameraProtocols;
  return kControllerProtocols;
}

LanguageName LanguageForSlot(const SystemTables& tables, int slot) {
  LanguageName out;
  if (!InRange(slot)) return out;
  if (tables.exArrived) {
    out.text = ExName(tables, kExLanguages, slot);
    for (size_t i = 0; i < kKnownLanguages.size() && !out.text.empty(); ++i)
      if (EqualsNoCase(out.text, kKnownLanguages[i])) {
        out.known = static_cast<int>(i);
        out.text = kKnownLanguages[i];
        break;
      }
    return out;
  }
  const uint8_t number = tables.info[kInfoLanguages + static_cast<size_t>(slot)];
  if (number >= 1 && number <= kBuiltinLanguages.size()) out.text = kBuiltinLanguages[number - 1];
  return out;
}

std::vector<int> LanguageSlots(const SystemTables& tables) {
  std::vector<int> slots;
  for (int s = 0; s < kTableSlots; ++s) {
    const bool known = tables.exArrived ? !ExName(tables, kExLanguages, s).empty()
                                        : tables.info[kInfoLanguages + static_cast<size_t>(s)] != 0;
    if (known) slots.push_back(s);
  }
  return slots;
}

std::string ProtocolName(const SystemTables& tables, ProtocolTable table, int entry) {
  if (!InRange(entry)) return {};
  const bool camera = table == ProtocolTable::kCamera;
  if (tables.exArrived) return ExName(tables, camera ? kExCameraNames : kExControllerNames, entry);
  const uint8_t number = tables.info[(camera ? kInfoCamera : kInfoController) + 2 * static_cast<size_t>(entry)];
  const auto names = BuiltinProtocolNames(table);
  return number >= 1 && number <= names.size() ? names[number - 1] : std::string();
}

int ProtocolBaudCount(const SystemTables& tables, ProtocolTable table, int entry) {
  if (!InRange(entry)) return 0;
  const bool camera = table == ProtocolTable::kCamera;
  if (tables.exArrived) return tables.infoEx[(camera ? kExCameraBauds : kExControllerBauds) + static_cast<size_t>(entry)];
  return tables.info[(camera ? kInfoCamera : kInfoController) + 2 * static_cast<size_t>(entry) + 1];
}

}  // namespace orva
