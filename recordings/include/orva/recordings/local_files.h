// Reading downloaded pairs: the files of the Download folder in playback
// order with their links, the local calendar and event list built from their
// segment records, and frame-by-frame reading of a data file forwards (by
// record lengths) and backwards (by the back links).
//
// Every read goes through ReadableFile and checks what it reads against the
// file's size: a truncated or corrupt pair ends or skips cleanly with a trace,
// never reads past a buffer and never loops.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "orva/media/stream_frames.h"
#include "orva/recordings/backup_files.h"
#include "orva/recordings/search_records.h"

namespace orva {

class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  virtual uint64_t Size() const = 0;
  // Exactly out.size() bytes at offset, or false.
  virtual bool ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
};
using ReaderOpener = std::function<std::unique_ptr<ReadableFile>(const std::string& path, std::string& error)>;
std::unique_ptr<ReadableFile> OpenPosixReader(const std::string& path, std::string& error);
// A file held in memory (tests, and small files read whole).
std::unique_ptr<ReadableFile> MemoryReader(std::vector<uint8_t> bytes);

struct LocalPair {
  std::string idx, vid;
  uint32_t headerLink = 0;   // .idx header offset 32
  uint32_t trailerLink = 0;  // .idx trailer offset 32
  uint32_t earliest = 0;     // summary offset 24
  uint32_t latest = 0;
  uint64_t idxSize = 0, vidSize = 0;
  std::vector<SegmentRecord> segments;
  bool joinedPrevious = false, joinedNext = false;
};

// The pairs of `folder` whose data file starts with the magic, sorted by
// earliest start, with split pairs chained after the pair they continue.
// Pairs that cannot be read are left out with a line in `problems`.
std::vector<LocalPair> ScanPairs(const std::string& folder, std::vector<std::string>* problems = nullptr,
                                 const ReaderOpener& open = OpenPosixReader);
// Reads one pair's index (header, summary, segment records, trailer).
bool ReadPairIndex(ReadableFile& idx, LocalPair& out, std::string& error);
// Orders pairs by earliest start and chains the split ones (sets the joined flags).
void OrderPairs(std::vector<LocalPair>& pairs);

// Per day of one year: the kind bits 1 << kind of the segments that cover it.
struct LocalYear {
  int year = 0;
  std::array<uint32_t, 372> kinds{};  // month * 31 + day
};
std::vector<LocalYear> LocalCalendar(const std::vector<LocalPair>& pairs);
// As year maps (a flag where any kind is set), for the shared calendar view.
std::vector<YearMapRecord> LocalYearMaps(const std::vector<LocalYear>& years);
// Every segment as an event (kind = record byte 50), numbered per kind.
std::vector<EventEntry> LocalEvents(const std::vector<LocalPair>& pairs);
// The day's spans for the time bar: one span per segment.
std::vector<SpanRecord> LocalDaySpans(const std::vector<LocalPair>& pairs);

// One frame read from a data file.
struct LocalFrame {
  enum Kind { kNone, kVideo, kAudio, kSkipped } kind = kNone;
  uint64_t offset = 0;       // of the record header
  uint64_t next = 0;         // offset after the frame
  uint32_t backLink = 0;     // header offset 32
  VideoRecordHeader video;   // kVideo / kSkipped
  AudioRecordHeader audio;   // kAudio
  FrameInfo info;
  std::vector<uint8_t> data;  // frame data (after the record header)
  uint64_t TimeMs() const { return uint64_t{video.captureSeconds} * 1000 + video.captureMicroseconds / 1000; }
};

// Reads the frame at `offset` of a data file whose frames end at `limit`
// (the trailer's start). False at the limit, or with a trace for a record
// that does not fit; kSkipped for a picture size the display cannot show.
bool ReadFrameAt(ReadableFile& vid, uint64_t offset, uint64_t limit, LocalFrame& out, bool withData = true);
// The frame before `frame` through its back link; false at the start of the file.
bool ReadFrameBefore(ReadableFile& vid, const LocalFrame& frame, uint64_t limit, LocalFrame& out,
                     bool withData = true);

}  // namespace orva
