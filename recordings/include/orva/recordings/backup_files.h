// The download file pair: a data file (.vid) with the stream frames as
// received, and an index file (.idx) with a summary, 1024 segment slots and
// one seek entry per second of video. All numbers are big-endian.
//
// BackupPairWriter writes one download into as many pairs as it needs
// (a new pair after 650 MiB of data or when the segment slots are full).
// It is synchronous and single-threaded: the download's writer thread
// (backup_writer.h) drives it. Files are written through WritableFile, so
// that tests can hand it a device that fails.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "orva/media/stream_frames.h"

namespace orva {

inline constexpr char kPairMagic[16] = "Orva7160";
inline constexpr uint32_t kPairHeaderTag = 0x20070516;
inline constexpr uint32_t kSummaryTag = 0xCAFECAFE;
inline constexpr uint32_t kSegmentTag = 0xBC987302;
inline constexpr uint32_t kTrailerTag = 0x19720505;
inline constexpr size_t kPairHeaderSize = 64;
inline constexpr size_t kSummaryOffset = 64;
inline constexpr size_t kSummarySize = 128;
inline constexpr size_t kSegmentSlotsOffset = 192;
inline constexpr size_t kSegmentRecordSize = 256;
inline constexpr size_t kSegmentSlots = 1024;
inline constexpr size_t kSeekTableOffset = kSegmentSlotsOffset + kSegmentSlots * kSegmentRecordSize;  // 262,336
inline constexpr size_t kSeekEntrySize = 8;
inline constexpr size_t kTrailerSize = 64;
inline constexpr uint64_t kSplitAfterBytes = 0x28A00000;  // 650 MiB of data

struct SegmentRecord {
  uint32_t start = 0;       // time (header offset 24) of the first video frame
  uint32_t end = 0;         // of the last
  uint32_t firstSeek = 0;   // .idx offset of the first seek entry
  uint32_t videoMask = 0;   // channels with video (offsets 36 and 44)
  uint32_t audioMask = 0;   // offset 40 of the last audio header
  std::array<uint8_t, 4> tail{};  // bytes 48-51 of the last video header; [2] is the recording kind
  std::array<uint32_t, 16> videoBytes{};
  std::array<uint32_t, 16> audioBytes{};
  uint8_t Kind() const { return tail[2]; }
};

struct SummaryBlock {
  uint32_t earliest = 0;
  uint32_t latest = 0;
  uint32_t count = 0;
};

struct SeekEntry {
  uint32_t video = 0;  // .vid offset of the video frame
  uint32_t audio = 0;  // .vid offset of the latest audio frame before it, 0 if none
};

// Byte layouts (exactly the sizes above).
std::array<uint8_t, kPairHeaderSize> EncodePairHeader(uint32_t linkTime);
std::array<uint8_t, kSegmentRecordSize> EncodeSegmentRecord(const SegmentRecord& record);
std::array<uint8_t, kSummarySize> EncodeSummary(const SummaryBlock& summary);
// .idx trailer (link time at 32) or .vid trailer (last video frame at 36).
std::array<uint8_t, kTrailerSize> EncodeIdxTrailer(uint32_t linkTime);
std::array<uint8_t, kTrailerSize> EncodeVidTrailer(uint32_t lastVideo);
// False when the bytes are not such a block (size, magic, tag).
bool DecodePairHeader(std::span<const uint8_t> bytes, uint32_t& linkTime);
bool DecodeSegmentRecord(std::span<const uint8_t> bytes, SegmentRecord& out);
bool DecodeSummary(std::span<const uint8_t> bytes, SummaryBlock& out);
bool DecodeTrailer(std::span<const uint8_t> bytes, uint32_t& value, size_t valueOffset);
// The first five characters of the magic, case-insensitively.
bool HasPairMagic(std::span<const uint8_t> bytes);

// A file being written: appends are buffered, positioned writes go straight
// to their place (they never reach into the append buffer).
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual bool Append(std::span<const uint8_t> bytes) = 0;
  virtual bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  virtual uint64_t Size() const = 0;  // bytes appended so far
  virtual bool Close() = 0;           // flushes; false when anything failed
  virtual std::string Error() const = 0;
};
using FileOpener = std::function<std::unique_ptr<WritableFile>(const std::string& path, std::string& error)>;
// POSIX files with a 1 MiB append buffer; creates or truncates.
std::unique_ptr<WritableFile> OpenPosixFile(const std::string& path, std::string& error);

struct PairNames {
  std::string vid, idx;
};

class BackupPairWriter {
 public:
  struct Options {
    std::string folder;                    // the Download folder; created when missing
    FileOpener open = OpenPosixFile;
    std::function<uint32_t()> now;         // seconds since 1970 for names and link times
    uint64_t splitAfter = kSplitAfterBytes;
  };
  explicit BackupPairWriter(Options options);
  ~BackupPairWriter();  // closes the open pair

  // One received frame (record header and data). False when the pair cannot
  // be created or written: Error() says why; what was written stays on disk.
  bool Write(std::span<const uint8_t> frame);
  // Closes the open pair (segment record, trailers, summary).
  bool Close();

  const std::vector<PairNames>& Pairs() const { return m_pairs; }
  uint64_t VideoFrames() const { return m_videoFrames; }
  uint64_t AudioFrames() const { return m_audioFrames; }
  const std::string& Error() const { return m_error; }

 private:
  bool OpenPair(uint32_t linkTime);
  uint32_t NextLink();
  bool ClosePair(uint32_t linkTime);
  bool WriteVideo(std::span<const uint8_t> frame);
  bool WriteAudio(std::span<const uint8_t> frame);
  bool AppendFrame(std::span<const uint8_t> frame, uint64_t& offset);
  bool FlushSegment();
  bool Fail(const std::string& why);

  Options m_options;
  std::unique_ptr<WritableFile> m_idx, m_vid;
  std::vector<PairNames> m_pairs;
  std::string m_error;
  bool m_failed = false;

  // The open pair.
  uint64_t m_lastVideo = 0, m_lastAudio = 0, m_previous = kPairHeaderSize;
  bool m_haveSeek = false;
  uint32_t m_lastSeekTime = 0;
  std::vector<SegmentRecord> m_written;  // segment records of the open pair
  bool m_segmentOpen = false;
  uint32_t m_recordingId = 0;
  SegmentRecord m_segment;
  std::array<uint64_t, 16> m_videoTotals{}, m_audioValues{};
  uint64_t m_videoFrames = 0, m_audioFrames = 0;
  uint32_t m_lastName = 0;
  uint32_t m_lastLink = 0;
};

}  // namespace orva
