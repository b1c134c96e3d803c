// The downloaded file pair as local playback reads it. The input is cut in
// two by its first two bytes: the index part is laid over the start of a
// full-size .idx (header, summary and the first segment slots, so that the
// corpus stays small), and the rest is the .vid data file, read forwards by
// record lengths and backwards by back links.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "orva/recordings/backup_files.h"
#include "orva/recordings/local_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t cut = std::min<size_t>(size - 2, (size_t{data[0]} << 8) | data[1]);
  const uint8_t* idxPart = data + 2;
  const uint8_t* vidPart = idxPart + cut;
  const size_t vidSize = size - 2 - cut;

  // The index: the part at offset 0; its last 64 bytes (when it is long
  // enough) also become the trailer.
  std::vector<uint8_t> idx(orva::kSeekTableOffset + 16 * orva::kSeekEntrySize + orva::kTrailerSize, 0);
  std::copy(idxPart, idxPart + std::min(cut, idx.size() - orva::kTrailerSize), idx.begin());
  if (cut >= orva::kTrailerSize) std::copy(idxPart + cut - orva::kTrailerSize, idxPart + cut, idx.end() - orva::kTrailerSize);
  auto idxFile = orva::MemoryReader(std::move(idx));

  orva::LocalPair pair;
  std::string error;
  if (orva::ReadPairIndex(*idxFile, pair, error)) {
    if (pair.segments.size() > orva::kSegmentSlots) std::abort();
    std::vector<orva::LocalPair> pairs{pair, pair};
    orva::OrderPairs(pairs);
    const auto years = orva::LocalCalendar(pairs);
    (void)orva::LocalYearMaps(years);
    (void)orva::LocalEvents(pairs);
    (void)orva::LocalDaySpans(pairs);
  }

  auto vid = orva::MemoryReader(std::vector<uint8_t>(vidPart, vidPart + vidSize));
  (void)orva::HasPairMagic({vidPart, vidSize});
  const uint64_t limit = vidSize >= orva::kTrailerSize ? vidSize - orva::kTrailerSize : vidSize;
  uint64_t offset = std::min<uint64_t>(orva::kPairHeaderSize, limit);
  orva::LocalFrame frame, last;
  bool haveLast = false;
  for (int n = 0; n < 256 && orva::ReadFrameAt(*vid, offset, limit, frame); ++n) {
    if (frame.next <= offset || frame.next > limit) std::abort();  // forwards, inside the data
    offset = frame.next;
    last = frame;
    haveLast = true;
  }
  if (haveLast) {
    orva::LocalFrame before;
    for (int n = 0; n < 256 && orva::ReadFrameBefore(*vid, last, vid->Size(), before); ++n) {
      if (before.offset >= last.offset) break;  // a back link that does not go back ends the walk
      last = before;
    }
  }
  return 0;
}
