#include "orva/recordings/backup_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "orva/link/trace.h"
#include "orva/link/wire.h"

namespace orva {

namespace {

template <size_t N>
std::array<uint8_t, N> Block(uint32_t tag) {
  std::array<uint8_t, N> b{};
  std::memcpy(b.data(), kPairMagic, sizeof kPairMagic);
  StoreBE32(b.data() + 16, tag);
  return b;
}

bool HasBlock(std::span<const uint8_t> bytes, size_t size, uint32_t tag) {
  return bytes.size() >= size && std::memcmp(bytes.data(), kPairMagic, sizeof kPairMagic) == 0 &&
         LoadBE32(bytes.data() + 16) == tag;
}

class PosixFile final : public WritableFile {
 public:
  static constexpr size_t kBuffer = 1 << 20;
  explicit PosixFile(int fd) : m_fd(fd) { m_buffer.reserve(kBuffer); }
  ~PosixFile() override { Close(); }

  bool Append(std::span<const uint8_t> bytes) override {
    if (m_buffer.size() + bytes.size() > kBuffer && !Flush()) return false;
    if (bytes.size() >= kBuffer) {
      if (!WriteAll(m_flushed, bytes)) return false;
      m_flushed += bytes.size();
      return true;
    }
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    return true;
  }
  bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    if (offset + bytes.size() > m_flushed && !Flush()) return false;
    return WriteAll(offset, bytes);
  }
  uint64_t Size() const override { return m_flushed + m_buffer.size(); }
  bool Close() override {
    if (m_fd < 0) return m_error.empty();
    const bool flushed = Flush();
    if (::close(m_fd) != 0 && m_error.empty()) m_error = std::strerror(errno);
    m_fd = -1;
    return flushed && m_error.empty();
  }
  std::string Error() const override { return m_error; }

 private:
  bool Flush() {
    if (m_buffer.empty()) return true;
    if (!WriteAll(m_flushed, m_buffer)) return false;
    m_flushed += m_buffer.size();
    m_buffer.clear();
    return true;
  }
  bool WriteAll(uint64_t offset, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::pwrite(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        m_error = n < 0 ? std::strerror(errno) : "nothing written";
        return false;
      }
      bytes = bytes.subspan(static_cast<size_t>(n));
      offset += static_cast<uint64_t>(n);
    }
    return true;
  }

  int m_fd;
  uint64_t m_flushed = 0;
  std::vector<uint8_t> m_buffer;
  std::string m_error;
};

uint32_t WallClockNow() { return static_cast<uint32_t>(std::time(nullptr)); }

}  // namespace

std::unique_ptr<WritableFile> OpenPosixFile(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd);
}

// ------------------------------------------------------------- layouts

std::array<uint8_t, kPairHeaderSize> EncodePairHeader(uint32_t linkTime) {
  auto b = Block<kPairHeaderSize>(kPairHeaderTag);
  StoreBE32(b.data() + 32, linkTime);
  return b;
}

std::array<uint8_t, kSegmentRecordSize> EncodeSegmentRecord(const SegmentRecord& r) {
  auto b = Block<kSegmentRecordSize>(kSegmentTag);
  StoreBE32(b.data() + 24, r.start);
  StoreBE32(b.data() + 28, r.end);
  StoreBE32(b.data() + 32, r.firstSeek);
  StoreBE32(b.data() + 36, r.videoMask);
  StoreBE32(b.data() + 40, r.audioMask);
  StoreBE32(b.data() + 44, r.videoMask);
  std::memcpy(b.data() + 48, r.tail.data(), 4);
  for (size_t ch = 0; ch < 16; ++ch) {
    StoreBE32(b.data() + 80 + 4 * ch, r.videoBytes[ch]);
    StoreBE32(b.data() + 144 + 4 * ch, r.audioBytes[ch]);
  }
  return b;
}

std::array<uint8_t, kSummarySize> EncodeSummary(const SummaryBlock& s) {
  auto b = Block<kSummarySize>(kSummaryTag);
  StoreBE32(b.data() + 24, s.earliest);
  StoreBE32(b.data() + 28, s.latest);
  StoreBE32(b.data() + 32, s.count);
  return b;
}

std::array<uint8_t, kTrailerSize> EncodeIdxTrailer(uint32_t linkTime) {
  auto b = Block<kTrailerSize>(kTrailerTag);
  StoreBE32(b.data() + 32, linkTime);
  return b;
}

std::array<uint8_t, kTrailerSize> EncodeVidTrailer(uint32_t lastVideo) {
  auto b = Block<kTrailerSize>(kTrailerTag);
  StoreBE32(b.data() + 36, lastVideo);
  return b;
}

bool DecodePairHeader(std::span<const uint8_t> bytes, uint32_t& linkTime) {
  if (!HasBlock(bytes, kPairHeaderSize, kPairHeaderTag)) return false;
  linkTime = LoadBE32(bytes.data() + 32);
  return true;
}

bool DecodeSegmentRecord(std::span<const uint8_t> bytes, SegmentRecord& r) {
  if (!HasBlock(bytes, kSegmentRecordSize, kSegmentTag)) return false;
  const uint8_t* b = bytes.data();
  r.start = LoadBE32(b + 24);
  r.end = LoadBE32(b + 28);
  r.firstSeek = LoadBE32(b + 32);
  r.videoMask = LoadBE32(b + 36) | LoadBE32(b + 44);
  r.audioMask = LoadBE32(b + 40);
  std::memcpy(r.tail.data(), b + 48, 4);
  for (size_t ch = 0; ch < 16; ++ch) {
    r.videoBytes[ch] = LoadBE32(b + 80 + 4 * ch);
    r.audioBytes[ch] = LoadBE32(b + 144 + 4 * ch);
  }
  return true;
}

bool DecodeSummary(std::span<const uint8_t> bytes, SummaryBlock& s) {
  if (!HasBlock(bytes, kSummarySize, kSummaryTag)) return false;
  s.earliest = LoadBE32(bytes.data() + 24);
  s.latest = LoadBE32(bytes.data() + 28);
  s.count = LoadBE32(bytes.data() + 32);
  return true;
}

bool DecodeTrailer(std::span<const uint8_t> bytes, uint32_t& value, size_t valueOffset) {
  if (!HasBlock(bytes, kTrailerSize, kTrailerTag) || valueOffset + 4 > kTrailerSize) return false;
  value = LoadBE32(bytes.data() + valueOffset);
  return true;
}

bool HasPairMagic(std::span<const uint8_t> bytes) {
  if (bytes.size() < 5) return false;
  for (size_t i = 0; i < 5; ++i)
    if (std::tolower(bytes[i]) != std::tolower(static_cast<unsigned char>(kPairMagic[i]))) return false;
  return true;
}

// ------------------------------------------------------------- writer

BackupPairWriter::BackupPairWriter(Options options) : m_options(std::move(options)) {
  if (!m_options.now) m_options.now = WallClockNow;
  if (!m_options.open) m_options.open = OpenPosixFile;
}

BackupPairWriter::~BackupPairWriter() { Close(); }

bool BackupPairWriter::Fail(const std::string& why) {
  if (!m_failed) {
    m_error = why;
    Trace("BackupWriter... %s\n", why.c_str());
  }
  m_failed = true;
  return false;
}

uint32_t BackupPairWriter::NextLink() {
  // The time of the split, but never the same value twice in one download:
  // pairs are chained by equal links, and two splits within one second
  // would otherwise make the chain ambiguous.
  m_lastLink = std::max(m_options.now(), m_lastLink + 1);
  return m_lastLink;
}

bool BackupPairWriter::OpenPair(uint32_t linkTime) {
  std::error_code ec;
  std::filesystem::create_directories(m_options.folder, ec);
  if (ec) return Fail(m_options.folder + ": " + ec.message());
  // Names come from the time of opening; two pairs opened within one second
  // (a split of large frames, or a download right after another) must not
  // replace each other.
  uint32_t stamp = m_options.now();
  if (stamp <= m_lastName && !m_pairs.empty()) stamp = m_lastName + 1;
  PairNames names;
  for (;; ++stamp) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", stamp);
    const std::filesystem::path base = std::filesystem::path(m_options.folder) / hex;
    names = {base.string() + ".vid", base.string() + ".idx"};
    if (!std::filesystem::exists(names.vid, ec) && !std::filesystem::exists(names.idx, ec)) break;
  }
  m_lastName = stamp;
  Trace("MakeFileOpen...%x\n", stamp);
  std::string error;
  m_idx = m_options.open(names.idx, error);
  if (!m_idx) return Fail(error);
  m_vid = m_options.open(names.vid, error);
  if (!m_vid) return Fail(error);
  m_pairs.push_back(names);
  const auto header = EncodePairHeader(linkTime);
  static const std::vector<uint8_t> kEmpty(kSeekTableOffset - kPairHeaderSize, 0);
  if (!m_idx->Append(header) || !m_idx->Append(kEmpty)) return Fail(names.idx + ": " + m_idx->Error());
  if (!m_vid->Append(header)) return Fail(names.vid + ": " + m_vid->Error());
  m_lastVideo = m_lastAudio = 0;
  m_previous = kPairHeaderSize;
  m_haveSeek = false;
  m_written.clear();
  m_segmentOpen = false;
  return true;
}

bool BackupPairWriter::FlushSegment() {
  if (!m_segmentOpen) return true;
  m_segmentOpen = false;
  for (size_t ch = 0; ch < 16; ++ch) {
    m_segment.videoBytes[ch] = static_cast<uint32_t>(m_videoTotals[ch]);
    m_segment.audioBytes[ch] = static_cast<uint32_t>(m_audioValues[ch]);
  }
  const uint64_t slot = kSegmentSlotsOffset + kSegmentRecordSize * m_written.size();
  m_written.push_back(m_segment);
  if (!m_idx->WriteAt(slot, EncodeSegmentRecord(m_segment))) return Fail(m_pairs.back().idx + ": " + m_idx->Error());
  return true;
}

bool BackupPairWriter::ClosePair(uint32_t linkTime) {
  if (!m_idx || !m_vid) return false;
  bool ok = FlushSegment();
  ok = m_vid->Append(EncodeVidTrailer(static_cast<uint32_t>(m_lastVideo))) && ok;
  SummaryBlock summary;
  summary.count = static_cast<uint32_t>(m_written.size());
  for (const SegmentRecord& r : m_written) {
    if (r.start != 0 && (summary.earliest == 0 || r.start < summary.earliest)) summary.earliest = r.start;
    if (r.end > summary.latest) summary.latest = r.end;
  }
  ok = m_idx->WriteAt(kSummaryOffset, EncodeSummary(summary)) && ok;
  ok = m_idx->Append(EncodeIdxTrailer(linkTime)) && ok;
  const std::string idxError = m_idx->Error(), vidError = m_vid->Error();
  ok = m_idx->Close() && ok;
  ok = m_vid->Close() && ok;
  Trace("MakeFileClose...%x\n", m_lastName);
  m_idx.reset();
  m_vid.reset();
  if (!ok) return Fail(m_pairs.back().vid + ": " + (vidError.empty() ? idxError : vidError));
  return true;
}

bool BackupPairWriter::Close() {
  if (!m_idx) return !m_failed;
  return ClosePair(0) && !m_failed;
}

bool BackupPairWriter::AppendFrame(std::span<const uint8_t> frame, uint64_t& offset) {
  offset = m_vid->Size();
  // The back link to the previous frame replaces header offset 32.
  uint8_t link[4];
  StoreBE32(link, static_cast<uint32_t>(m_previous));
  if (!m_vid->Append(frame.first(32)) || !m_vid->Append(link) || !m_vid->Append(frame.subspan(36)))
    return Fail(m_pairs.back().vid + ": " + m_vid->Error());
  m_previous = offset;
  return true;
}

bool BackupPairWriter::Write(std::span<const uint8_t> frame) {
  if (m_failed) return false;
  if (!m_idx && !OpenPair(0)) return false;
  if (frame.size() >= kVideoRecordHeaderSize && LoadBE32(frame.data() + 16) == ENC_HEADER_TYPE_VIDEO)
    return WriteVideo(frame);
  if (frame.size() >= kAudioRecordHeaderSize) return WriteAudio(frame);
  Trace("BackupWriter... frame of %zu bytes is no record, not written\n", frame.size());
  return true;
}

bool BackupPairWriter::WriteVideo(std::span<const uint8_t> frame) {
  VideoRecordHeader rec;
  ParseVideoRecordHeader(frame, rec);
  FrameInfo info;
  const bool parsed = frame.size() >= kVideoRecordHeaderSize + kFrameHeaderSize &&
                      ParseFrameHeader(frame.data() + kVideoRecordHeaderSize, info) == kFrameVideo &&
                      info.channel < 16;
  // A new recording starts a segment only on a frame without the marker; the
  // first frame of a pair always opens one, so no frame lies outside a segment.
  const bool newRecording = rec.marker == 0 && rec.segment != m_recordingId;
  if (!m_segmentOpen || newRecording) {
    if (!FlushSegment()) return false;
    if (m_written.size() == kSegmentSlots) {
      // The slots never grow into the seek table: the next pair takes over.
      const uint32_t link = NextLink();
      if (!ClosePair(link) || !OpenPair(link)) return false;
    }
    m_segmentOpen = true;
    m_recordingId = rec.segment;
    m_segment = {};
    m_segment.start = rec.frameSecond;
    m_segment.firstSeek = static_cast<uint32_t>(m_idx->Size());
    m_videoTotals.fill(0);
    m_audioValues.fill(0);
    m_haveSeek = false;
  }
  if (parsed) {
    m_segment.videoMask |= 1u << info.channel;
    m_videoTotals[info.channel] += frame.size();
  }
  m_segment.end = rec.frameSecond;
  std::memcpy(m_segment.tail.data(), frame.data() + 48, 4);
  uint64_t offset = 0;
  if (!AppendFrame(frame, offset)) return false;
  m_lastVideo = offset;
  ++m_videoFrames;
  if (!m_haveSeek || rec.frameSecond != m_lastSeekTime) {
    uint8_t entry[kSeekEntrySize];
    StoreBE32(entry, static_cast<uint32_t>(offset));
    StoreBE32(entry + 4, static_cast<uint32_t>(m_lastAudio));
    if (!m_idx->Append(entry)) return Fail(m_pairs.back().idx + ": " + m_idx->Error());
    m_haveSeek = true;
    m_lastSeekTime = rec.frameSecond;
  }
  if (m_lastVideo > m_options.splitAfter) {
    const uint32_t link = NextLink();
    return ClosePair(link) && OpenPair(link);
  }
  return true;
}

bool BackupPairWriter::WriteAudio(std::span<const uint8_t> frame) {
  uint64_t offset = 0;
  if (!AppendFrame(frame, offset)) return false;
  m_lastAudio = offset;
  ++m_audioFrames;
  const uint32_t mask = LoadBE32(frame.data() + 40);
  const int channels = std::popcount(mask & 0xFFFF);
  for (size_t ch = 0; ch < 16; ++ch)
    if (mask & (1u << ch)) m_audioValues[ch] = frame.size() / static_cast<size_t>(channels);
  m_segment.audioMask = mask;
  return true;
}

}  // namespace orva
