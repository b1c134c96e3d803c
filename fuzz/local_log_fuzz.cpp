// The client's own log file ORVA7000.log: loading whatever the file holds,
// then appending to it (the ring's position comes from the file) and loading
// again, with the viewer's text helpers over every record.
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "orva/recordings/local_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& scratch = orva::fuzz::ScratchFolder::Get();
  scratch.Reset();
  std::filesystem::create_directories(scratch.Path() / "Log");
  orva::LocalLog log(scratch.Path(), [] { return int64_t{1260180930}; });
  if (!orva::fuzz::WriteFile(log.FilePath(), {data, size})) std::abort();

  std::vector<orva::LocalLogRecord> records;
  std::string error;
  const bool loaded = log.Load(records, error);
  if (!loaded && !records.empty()) std::abort();
  if (records.size() > orva::kLocalLogSlots) std::abort();
  for (const auto& r : records) {
    (void)orva::LocalLogTimeText(r.time, static_cast<int>(r.slot % 3));
    (void)orva::LocalLogMainIndex(r.mainType);
    (void)orva::LocalLogSubIndex(r.mainType, r.subType);
    if (r.host.size() > orva::kLocalLogHostBytes || r.user.size() > orva::kLocalLogUserBytes) std::abort();
  }
  // Appending after a damaged file must leave a file that loads.
  if (log.Append(2, 1, "admin", "10.0.0.1", &error)) {
    std::vector<orva::LocalLogRecord> after;
    if (!log.Load(after, error) && loaded) std::abort();
  }
  return 0;
}
