// The recorder's log and status blocks as the log and status viewers read
// them: records, their labels and detail texts, the per-type views and their
// pages; the status fields and the texts of the status view.
#include <cstdlib>
#include <span>
#include <vector>

#include "orva/link/recorder_status.h"
#include "orva/link/remote_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::span<const uint8_t> block(data + 1, size - 1);
  if (data[0] & 1) {
    const orva::RecorderStatus status = orva::ParseStatusBlock(block);
    (void)orva::FormatCapacity(status.capacityA);
    (void)orva::FormatCapacity(uint64_t{status.capacityB} * 1024 * 1024);
    (void)orva::FormatBuildTime(static_cast<int32_t>(status.recordingMask));
    return 0;
  }
  const auto records = orva::ParseLogBlock(block);
  if (records.size() > orva::kLogMaxRecords) std::abort();
  for (const auto& r : records) {
    if (r.detail.size() >= orva::kLogSlotSize) std::abort();
    (void)orva::LogTypeOf(r);
    (void)orva::LogKindOf(r);
    (void)orva::LogDetailText(r);
    (void)orva::LogTimeText(r.time, data[0] >> 1 & 3);
  }
  for (auto view : {orva::LogView::kAll, orva::LogView::kEvent, orva::LogView::kOperation, orva::LogView::kPower,
                    orva::LogView::kRecord, orva::LogView::kClient}) {
    const auto rows = orva::LogViewRows(records, view);
    for (size_t i : rows)
      if (i >= records.size()) std::abort();
    (void)orva::LogPageCount(rows.size());
  }
  return 0;
}
