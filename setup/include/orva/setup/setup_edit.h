// Changes to the setup by key, applied the way the setup window's pages apply
// them: the channel rows that are selected, the common editing rule, the
// frame-rate budget, the resolution of a group, the video standard cascade,
// priority and assignment rules, the account rules, the DST day limit. What a
// page would not let the user choose is refused with the reason, and nothing
// of the change is written then. `orvactl setup set` is built on this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orva/setup/setup_database.h"
#include "orva/setup/setup_rules.h"
#include "orva/setup/system_tables.h"

namespace orva::setup {

// The stored values a page offers for a field, [low, high]: the pages size
// their sliders and lists from it and the changes by key check against it.
// A field without a page range takes what its kind allows.
struct ValueRange {
  uint32_t low = 0;
  uint32_t high = UINT32_MAX;
};
ValueRange PageRange(SetupFieldId id);

struct EditContext {
  RecorderShape shape;       // the recorder's channels and product
  RowMask selected = 0;      // bit c: channel c's row is selected
  int account = 0;           // the logged-in account; only account 0 edits slot 1 (the administrator)
  SystemTables tables;       // languages and protocols as the recorder announced them
};

// Applies `edits` (key, value) in order to a record in host order. On the
// first refusal: false, `error` names the key and the reason, and `db` is as
// it was before the call. user_id.N and user_password.N of one slot are one
// account addition (both must be given, as the page's Add needs both).
bool ApplySetupEdits(SetupDatabase& db, const std::vector<std::pair<std::string, std::string>>& edits,
                     const EditContext& context, std::string& error);

}  // namespace orva::setup
