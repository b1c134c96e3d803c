#include "orva/recordings/local_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "orva/link/time_convert.h"
#include "orva/link/trace.h"
#include "orva/link/wire.h"

namespace orva {

namespace {

class PosixReader final : public ReadableFile {
 public:
  PosixReader(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
  ~PosixReader() override { ::close(m_fd); }
  uint64_t Size() const override { return m_size; }
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    if (offset > m_size || out.size() > m_size - offset) return false;
    while (!out.empty()) {
      const ssize_t n = ::pread(m_fd, out.data(), out.size(), static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      out = out.subspan(static_cast<size_t>(n));
      offset += static_cast<uint64_t>(n);
    }
    return true;
  }

 private:
  int m_fd;
  uint64_t m_size;
};

class BytesReader final : public ReadableFile {
 public:
  explicit BytesReader(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
  uint64_t Size() const override { return m_bytes.size(); }
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    if (offset > m_bytes.size() || out.size() > m_bytes.size() - offset) return false;
    // An empty read (an index whose summary counts no segment) has no buffer to copy into.
    if (!out.empty()) std::memcpy(out.data(), m_bytes.data() + offset, out.size());
    return true;
  }

 private:
  std::vector<uint8_t> m_bytes;
};

uint32_t DayOf(uint32_t t) { return t / 86400; }

}  // namespace

std::unique_ptr<ReadableFile> OpenPosixReader(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    error = path + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixReader>(fd, static_cast<uint64_t>(st.st_size));
}

std::unique_ptr<ReadableFile> MemoryReader(std::vector<uint8_t> bytes) {
  return std::make_unique<BytesReader>(std::move(bytes));
}

bool ReadPairIndex(ReadableFile& idx, LocalPair& out, std::string& error) {
  out.idxSize = idx.Size();
  if (out.idxSize < kSeekTableOffset + kTrailerSize) {
    error = "the index is shorter than its segment table";
    return false;
  }
  std::vector<uint8_t> head(kSegmentSlotsOffset);
  if (!idx.ReadAt(0, head) || !DecodePairHeader(head, out.headerLink)) {
    error = "the index has no valid file header";
    return false;
  }
  SummaryBlock summary;
  const bool closed = DecodeSummary(std::span(head).subspan(kSummaryOffset, kSummarySize), summary);
  // An index that was never closed has no summary: take the slots that hold records.
  const size_t count = closed ? std::min<size_t>(summary.count, kSegmentSlots) : kSegmentSlots;
  std::vector<uint8_t> slots(count * kSegmentRecordSize);
  if (!idx.ReadAt(kSegmentSlotsOffset, slots)) {
    error = "the segment table cannot be read";
    return false;
  }
  out.segments.clear();
  for (size_t n = 0; n < count; ++n) {
    SegmentRecord r;
    if (!DecodeSegmentRecord(std::span(slots).subspan(n * kSegmentRecordSize, kSegmentRecordSize), r)) {
      if (closed) Trace("ReadPairIndex... segment %zu is not a segment record, skipped\n", n);
      if (!closed) break;
      continue;
    }
    out.segments.push_back(r);
  }
  out.earliest = closed ? summary.earliest : 0;
  out.latest = closed ? summary.latest : 0;
  if (!closed)
    for (const SegmentRecord& r : out.segments) {
      if (r.start && (!out.earliest || r.start < out.earliest)) out.earliest = r.start;
      out.latest = std::max(out.latest, r.end);
    }
  std::vector<uint8_t> trailer(kTrailerSize);
  if (!idx.ReadAt(out.idxSize - kTrailerSize, trailer) || !DecodeTrailer(trailer, out.trailerLink, 32))
    out.trailerLink = 0;
  return true;
}

void OrderPairs(std::vector<LocalPair>& pairs) {
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const LocalPair& a, const LocalPair& b) { return a.earliest < b.earliest; });
  // A pair that continues a split download moves right after the one it continues.
  for (size_t i = 0; i + 1 < pairs.size(); ++i) {
    if (pairs[i].trailerLink == 0) continue;
    for (size_t j = i + 1; j < pairs.size(); ++j)
      if (pairs[j].headerLink == pairs[i].trailerLink) {
        std::rotate(pairs.begin() + static_cast<long>(i) + 1, pairs.begin() + static_cast<long>(j),
                    pairs.begin() + static_cast<long>(j) + 1);
        break;
      }
  }
  for (size_t i = 0; i < pairs.size(); ++i) {
    pairs[i].joinedPrevious = i > 0 && pairs[i].headerLink != 0 && pairs[i].headerLink == pairs[i - 1].trailerLink;
    pairs[i].joinedNext =
        i + 1 < pairs.size() && pairs[i].trailerLink != 0 && pairs[i].trailerLink == pairs[i + 1].headerLink;
  }
}

std::vector<LocalPair> ScanPairs(const std::string& folder, std::vector<std::string>* problems,
                                 const ReaderOpener& open) {
  std::vector<LocalPair> pairs;
  std::error_code ec;
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.path().extension() == ".idx") paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  for (const auto& path : paths) {
    LocalPair pair;
    pair.idx = path.string();
    pair.vid = std::filesystem::path(path).replace_extension(".vid").string();
    std::string error;
    auto vid = open(pair.vid, error);
    std::vector<uint8_t> magic(16);
    if (!vid || !vid->ReadAt(0, magic) || !HasPairMagic(magic)) {
      if (problems) problems->push_back(pair.vid + ": " + (error.empty() ? "not a download data file" : error));
      continue;
    }
    pair.vidSize = vid->Size();
    auto idx = open(pair.idx, error);
    if (!idx || !ReadPairIndex(*idx, pair, error)) {
      if (problems) problems->push_back(pair.idx + ": " + error);
      continue;
    }
    pairs.push_back(std::move(pair));
  }
  OrderPairs(pairs);
  return pairs;
}

std::vector<LocalYear> LocalCalendar(const std::vector<LocalPair>& pairs) {
  std::vector<LocalYear> years;
  auto yearFor = [&](int y) -> LocalYear& {
    for (LocalYear& ly : years)
      if (ly.year == y) return ly;
    years.push_back({y, {}});
    return years.back();
  };
  for (const LocalPair& p : pairs)
    for (const SegmentRecord& r : p.segments) {
      if (r.end < r.start) continue;
      const uint32_t bit = 1u << (r.Kind() & 31);
      // A day per step, bounded: a corrupt record cannot make this run long.
      for (uint32_t day = DayOf(r.start), last = std::min(DayOf(r.end), DayOf(r.start) + 366); day <= last; ++day) {
        UserTime u;
        GetTime_tToUsertime(int64_t{day} * 86400, u);
        yearFor(u.year).kinds[static_cast<size_t>(u.month * 31 + u.day)] |= bit;
      }
    }
  std::sort(years.begin(), years.end(), [](const LocalYear& a, const LocalYear& b) { return a.year < b.year; });
  return years;
}

std::vector<YearMapRecord> LocalYearMaps(const std::vector<LocalYear>& years) {
  std::vector<YearMapRecord> maps;
  for (const LocalYear& y : years) {
    YearMapRecord m;
    m.year = static_cast<uint32_t>(y.year);
    for (size_t i = 0; i < y.kinds.size(); ++i) m.days[i] = y.kinds[i] ? 1 : 0;
    maps.push_back(m);
  }
  return maps;
}

std::vector<EventEntry> LocalEvents(const std::vector<LocalPair>& pairs) {
  std::vector<SpanRecord> records;
  for (const LocalPair& p : pairs)
    for (const SegmentRecord& r : p.segments) records.push_back({r.videoMask, r.Kind(), r.start, r.end});
  return NumberEvents(records);
}

std::vector<SpanRecord> LocalDaySpans(const std::vector<LocalPair>& pairs) {
  std::vector<SpanRecord> spans;
  for (const LocalPair& p : pairs)
    for (const SegmentRecord& r : p.segments)
      spans.push_back({r.videoMask, static_cast<uint8_t>(1u << (r.Kind() & 7)), r.start, r.end});
  return spans;
}

// ------------------------------------------------------------- frames

bool ReadFrameAt(ReadableFile& vid, uint64_t offset, uint64_t limit, LocalFrame& out, bool withData) {
  out = LocalFrame{};
  out.offset = offset;
  limit = std::min(limit, vid.Size());
  if (offset < kPairHeaderSize || offset + kAudioRecordHeaderSize > limit) return false;
  uint8_t header[kVideoRecordHeaderSize];
  if (!vid.ReadAt(offset, std::span(header, kAudioRecordHeaderSize))) return false;
  const uint32_t type = LoadBE32(header + 16);
  out.backLink = LoadBE32(header + 32);
  if (type == ENC_HEADER_TYPE_VIDEO) {
    if (offset + kVideoRecordHeaderSize > limit ||
        !vid.ReadAt(offset + kAudioRecordHeaderSize,
                    std::span(header + kAudioRecordHeaderSize, kVideoRecordHeaderSize - kAudioRecordHeaderSize)))
      return false;
    ParseVideoRecordHeader(std::span(header, kVideoRecordHeaderSize), out.video);
    const uint64_t dataAt = offset + kVideoRecordHeaderSize;
    if (out.video.dataSize < kFrameHeaderSize || out.video.dataSize > limit - dataAt) {
      Trace("ReadIndex... video record at %llu claims %u bytes past its file, stopped\n",
            static_cast<unsigned long long>(offset), out.video.dataSize);
      return false;
    }
    out.next = dataAt + out.video.dataSize;
    uint8_t frameHeader[kFrameHeaderSize];
    if (!vid.ReadAt(dataAt, frameHeader)) return false;
    if (ParseFrameHeader(frameHeader, out.info) != kFrameVideo || !IsValidPictureSize(out.info.width, out.info.height)) {
      out.kind = LocalFrame::kSkipped;
      return true;
    }
    out.kind = LocalFrame::kVideo;
    if (withData) {
      out.data.resize(out.video.dataSize);
      if (!vid.ReadAt(dataAt, out.data)) return false;
    }
    return true;
  }
  if (type != ENC_HEADER_TYPE_AUDIO) {
    Trace("nType is not ENC_HEADER_TYPE_AUDIO!...ReadIndex\n");
    return false;
  }
  ParseAudioRecordHeader(std::span(header, kAudioRecordHeaderSize), out.audio);
  const uint64_t dataAt = offset + kAudioRecordHeaderSize;
  uint8_t frameHeader[kFrameHeaderSize];
  if (dataAt + kFrameHeaderSize > limit || !vid.ReadAt(dataAt, frameHeader) ||
      ParseFrameHeader(frameHeader, out.info) != kFrameAudio) {
    Trace("ReadIndex... audio record at %llu unreadable, stopped\n", static_cast<unsigned long long>(offset));
    return false;
  }
  const uint64_t length = out.audio.dataSize ? out.audio.dataSize : out.info.partLength;
  if (length > limit - dataAt) return false;
  out.next = dataAt + length;
  out.kind = LocalFrame::kAudio;
  if (withData) {
    out.data.resize(out.info.partLength);
    if (!vid.ReadAt(dataAt, out.data)) return false;
  }
  return true;
}

bool ReadFrameBefore(ReadableFile& vid, const LocalFrame& frame, uint64_t limit, LocalFrame& out, bool withData) {
  // A link must point backwards, or a corrupt file could make a reader loop.
  if (frame.backLink < kPairHeaderSize || frame.backLink >= frame.offset) return false;
  if (!ReadFrameAt(vid, frame.backLink, limit, out, withData)) {
    Trace("nType is not ENC_HEADER_TYPE_AUDIO!...ReadIndexRvs\n");
    return false;
  }
  return true;
}

}  // namespace orva
