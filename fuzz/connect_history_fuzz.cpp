// The connection history file ConnectInfo100.log: reading whatever it holds,
// recording a connection into it (refresh in place, next index, or over the
// oldest entry) and reading it back.
#include <cstdlib>
#include <string>
#include <vector>

#include "connect_history.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  auto& scratch = orva::fuzz::ScratchFolder::Get();
  scratch.Reset();
  const auto file = scratch.Path() / orva::view::kConnectHistoryFileName;
  if (!orva::fuzz::WriteFile(file, {data + 1, size - 1})) std::abort();

  std::vector<orva::view::ConnectEntry> entries;
  std::string error;
  (void)orva::view::ReadConnectHistory(file, entries, error);
  if (entries.size() > orva::view::kConnectHistoryEntries + 1) std::abort();
  // A field without its terminator reads as all of its 260 bytes, never more.
  for (const auto& e : entries)
    if (e.address.size() > orva::view::kConnectTextBytes || e.site.size() > orva::view::kConnectTextBytes) std::abort();

  // Record either a recorder already listed (refreshed in place) or a new one.
  orva::view::ConnectEntry entry;
  if (!entries.empty() && (data[0] & 1)) {
    entry = entries[data[0] % entries.size()];
  } else {
    entry.address = "192.168.0." + std::to_string(data[0]);
    entry.port = 2000;
  }
  entry.time = 1260180930u + data[0];
  entry.site = "fuzz";
  if (!orva::view::RecordConnection(file, entry, error)) return 0;
  std::vector<orva::view::ConnectEntry> after;
  if (!orva::view::ReadConnectHistory(file, after, error)) std::abort();
  // What was just recorded is in the file (a damaged file may list the same
  // recorder twice, so look for the entry itself rather than the newest site).
  // An address is kept to its field's width less the terminator (a damaged
  // entry may have read back longer than that).
  const std::string stored = entry.address.substr(0, orva::view::kConnectTextBytes - 1);
  bool found = false;
  for (const auto& e : after)
    found = found || (e.address == stored && e.port == entry.port && e.time == entry.time && e.site == "fuzz");
  if (!found) std::abort();
  (void)orva::view::SiteFor(after, entry.address, entry.port);
  return 0;
}
