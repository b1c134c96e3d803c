// The user table of RIGHT_CHANGE and the two camera-name notices
// (DB_CHANGE, DB_CHANGE_UNICODE). The first byte picks the parser; for the
// user table the second also gives a login name to look up.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "orva/setup/change_notice.h"
#include "orva/setup/user_rights.h"

namespace {

void CheckTitles(const orva::CameraNotice& notice, size_t limit) {
  for (const auto& title : notice.titles) {
    const void* end = std::memchr(title.data(), 0, title.size());
    if (end == nullptr) std::abort();  // always terminated
    if (static_cast<size_t>(static_cast<const char*>(end) - title.data()) > limit) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t pick = data[0] % 4;
  std::span<const uint8_t> payload(data + 1, size - 1);
  std::string error;
  switch (pick) {
    case 0: {
      orva::UserRightsTable table;
      const bool ok = orva::ParseUserRightsTable(payload, table, error);
      if (ok != (payload.size() == orva::kUserRightsTableSize)) std::abort();
      for (int slot = 0; slot < orva::kUserSlotCount; ++slot) {
        if (table.UserId(slot).size() > 31 || table.Password(slot).size() > 31) std::abort();
        for (int r = 0; r < orva::kRightCount; ++r) (void)table.Has(slot, static_cast<orva::Right>(r));
      }
      // Look every stored ID up again, in upper case: each must find a slot with that ID.
      for (int slot = 0; slot < orva::kUserSlotCount; ++slot) {
        std::string id = table.UserId(slot);
        for (char& c : id)
          if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        const int found = orva::FindUserSlot(table, id);
        if (!id.empty() && (found < 0 || found > slot)) std::abort();
        if (id.empty() && found != -1) std::abort();
      }
      break;
    }
    case 1: {
      orva::UserRightsTable table;
      (void)orva::ReadUserRightsFromSetupDatabase(payload, table, error);
      break;
    }
    case 2: {
      orva::CameraNotice notice;
      if (orva::ParseDbChange(payload, notice, error)) CheckTitles(notice, orva::kTitleBytes - 1);
      break;
    }
    default: {
      orva::CameraNotice notice;
      if (orva::ParseDbChangeUnicode(payload, notice, error)) CheckTitles(notice, orva::kUnicodeTitleMaxBytes);
      // The converter alone, on units taken from the input in host order.
      std::vector<uint16_t> units(payload.size() / 2);
      if (!units.empty()) std::memcpy(units.data(), payload.data(), units.size() * 2);
      const size_t limit = payload.empty() ? 0 : payload[0];
      if (orva::Utf16ToUtf8Bounded(units, limit).size() > limit) std::abort();
      break;
    }
  }
  return 0;
}
