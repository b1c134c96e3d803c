// Changes by key as `orvactl setup set` takes them from the user: the first
// byte chooses the channel count (4, 8 or 16) and the logged-in account, the
// next two the selected rows, the rest is "key=value" lines. Whatever the
// lines say: a refused call leaves the record as it was; an accepted one
// writes only fields of the table (no gap byte), and no entry of a channel
// the recorder does not have.
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orva/setup/setup_edit.h"

namespace {

orva::SetupDatabase PatternRecord() {
  std::vector<uint8_t> bytes(orva::kSetupDatabaseSize);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i % 3 == 0 ? 0 : i % 7);
  bytes[0] = 4;
  bytes[1] = 2;
  orva::SetupDatabase db;
  std::string error;
  if (!orva::SetupDatabase::FromBytes(bytes, db, error)) std::abort();
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  static const orva::SetupDatabase original = PatternRecord();
  orva::setup::EditContext context;
  context.shape.channels = (data[0] & 3) == 0 ? 4 : (data[0] & 3) == 1 ? 8 : 16;
  context.shape.product = (data[0] >> 2) & 3;
  context.account = (data[0] >> 4) & 1;
  context.selected = static_cast<orva::setup::RowMask>(data[1] | data[2] << 8);
  std::vector<std::pair<std::string, std::string>> edits;
  const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);
  for (size_t at = 0; at < text.size() && edits.size() < 32;) {
    const size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    const size_t eq = line.find('=');
    if (eq != std::string_view::npos) edits.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    at = end + 1;
  }
  orva::SetupDatabase db = original;
  std::string error;
  if (!orva::setup::ApplySetupEdits(db, edits, context, error)) {
    if (!(db == original) || error.empty()) std::abort();
    return 0;
  }
  if (orva::DiffUninterpretedBytes(original, db) != 0) std::abort();
  for (const orva::SetupField& f : orva::SetupFields()) {
    const bool perChannel = (f.count == 16 && f.inner == 0) || f.id == orva::SetupFieldId::kMotionArea;
    if (!perChannel || f.id == orva::SetupFieldId::kChannelAssignmentFifth) continue;
    for (int entry = 0; entry < f.count; ++entry) {
      const int channel = f.inner ? entry / f.inner : entry;
      if (channel < context.shape.channels) continue;
      const auto a = original.EntryBytes(f.id, entry), b = db.EntryBytes(f.id, entry);
      if (!std::equal(a.begin(), a.end(), b.begin(), b.end())) std::abort();
    }
  }
  return 0;
}
