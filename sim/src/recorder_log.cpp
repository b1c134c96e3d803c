#include "recorder_log.h"

#include <algorithm>
#include <cstring>

#include "orva/sim/wire.h"

namespace orva::sim::detail {

void RecorderLog::Add(uint32_t type, uint32_t kind, const std::string& detail,
                      uint32_t channels) {
  const std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back({type, kind, WireNow(), channels, detail});
  if (entries_.size() > kMaxEntries) entries_.pop_front();
}

std::vector<LogEntry> RecorderLog::Entries() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return {entries_.begin(), entries_.end()};
}

std::vector<uint8_t> RecorderLog::Block(const Archive& archive, size_t events,
                                        size_t recordBytes) const {
  std::vector<LogEntry> all;
  if (events > 0) {
    const std::vector<SpanInfo> spans = archive.Events(0);
    const size_t first = spans.size() > events ? spans.size() - events : 0;
    for (size_t i = first; i < spans.size(); ++i) {
      all.push_back({logtype::kEvent, spans[i].kind, spans[i].start, spans[i].channels, {}});
    }
  }
  const std::vector<LogEntry> own = Entries();
  all.insert(all.end(), own.begin(), own.end());
  std::stable_sort(all.begin(), all.end(),
                   [](const LogEntry& a, const LogEntry& b) { return a.time < b.time; });

  recordBytes = std::max(recordBytes, kLogHeaderBytes + 1);
  const size_t textRoom = recordBytes - kLogHeaderBytes - 1;  // keeps the terminator
  std::vector<uint8_t> block(all.size() * recordBytes, 0);
  for (size_t i = 0; i < all.size(); ++i) {
    const LogEntry& e = all[i];
    uint8_t* r = block.data() + i * recordBytes;
    PutU32(r, static_cast<uint32_t>(i + 1));
    PutU32(r + 4, static_cast<uint32_t>(recordBytes));
    PutU32(r + 8, e.type);
    PutU32(r + 12, e.kind);
    PutU32(r + 16, e.time);
    PutU32(r + 20, e.channels);
    std::memcpy(r + kLogHeaderBytes, e.detail.data(), std::min(e.detail.size(), textRoom));
  }
  return block;
}

}  // namespace orva::sim::detail
