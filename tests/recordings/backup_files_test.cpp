// The download pair written byte by byte: a download of less than a second,
// segments and the marker byte, the split into linked pairs, the slot limit,
// and a device that fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "orva/link/wire.h"
#include "orva/recordings/backup_files.h"

namespace orva {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Video(int channel, uint32_t second, uint32_t recordingId, uint8_t marker = 0,
                           size_t bytes = 300, uint8_t kind = 2) {
  std::vector<uint8_t> r(192 + 20 + bytes, 0x5A);
  std::fill(r.begin(), r.begin() + 212, 0);
  StoreBE32(r.data() + 16, 0x20061123);
  StoreBE32(r.data() + 24, second);
  StoreBE32(r.data() + 28, static_cast<uint32_t>(20 + bytes));
  StoreBE32(r.data() + 32, 0xDEADBEEF);  // replaced by the back link
  StoreBE32(r.data() + 40, recordingId);
  r[48] = 0x11, r[49] = 0x22, r[50] = kind, r[51] = 0x44;
  r[52] = marker;
  StoreBE32(r.data() + 192, 1);
  StoreBE32(r.data() + 192 + 8, static_cast<uint32_t>((1 << 3) | (channel << 5)));
  return r;
}

std::vector<uint8_t> Audio(uint32_t channelMask) {
  std::vector<uint8_t> r(128 + 4016, 0);
  StoreBE32(r.data() + 16, 0x2518F049);
  StoreBE32(r.data() + 28, 4016);
  StoreBE32(r.data() + 40, channelMask);
  StoreBE32(r.data() + 128, 0xFFFFFFFF);
  return r;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class BackupFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::path(::testing::TempDir()) / ("orva-backup-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
  }
  void TearDown() override { fs::remove_all(folder); }
  BackupPairWriter::Options Opts(uint64_t split = kSplitAfterBytes) {
    BackupPairWriter::Options o;
    o.folder = folder.string();
    o.now = [] { return 0x4B1CD5C2u; };
    o.splitAfter = split;
    return o;
  }
  fs::path folder;
};

TEST_F(BackupFilesTest, ADownloadOfLessThanOneSecondIsOneSegmentOneSeekEntryAndBothTrailers) {
  const auto v0 = Video(0, 1000, 7), v1 = Video(1, 1000, 7), a = Audio(0x3);
  {
    BackupPairWriter writer(Opts());
    ASSERT_TRUE(writer.Write(v0));
    ASSERT_TRUE(writer.Write(a));
    ASSERT_TRUE(writer.Write(v1));
    ASSERT_TRUE(writer.Close());
    ASSERT_EQ(writer.Pairs().size(), 1u);
    EXPECT_EQ(fs::path(writer.Pairs()[0].vid).filename(), "4b1cd5c2.vid");
  }
  const auto idx = ReadAll((folder / "4b1cd5c2.idx").string());
  const auto vid = ReadAll((folder / "4b1cd5c2.vid").string());
  ASSERT_EQ(idx.size(), 262336u + 8 + 64);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(idx.data())), "Orva7160");
  EXPECT_EQ(LoadBE32(idx.data() + 16), 0x20070516u);
  EXPECT_EQ(LoadBE32(idx.data() + 32), 0u);  // first pair: no link
  // Summary.
  EXPECT_EQ(LoadBE32(idx.data() + 64 + 16), 0xCAFECAFEu);
  EXPECT_EQ(LoadBE32(idx.data() + 64 + 24), 1000u);
  EXPECT_EQ(LoadBE32(idx.data() + 64 + 28), 1000u);
  EXPECT_EQ(LoadBE32(idx.data() + 64 + 32), 1u);
  // Segment record in slot 0; slot 1 stays empty.
  const uint8_t* s = idx.data() + 192;
  EXPECT_EQ(LoadBE32(s + 16), 0xBC987302u);
  EXPECT_EQ(std::vector<uint32_t>({LoadBE32(s + 24), LoadBE32(s + 28), LoadBE32(s + 32), LoadBE32(s + 36),
                                   LoadBE32(s + 40), LoadBE32(s + 44)}),
            std::vector<uint32_t>({1000, 1000, 262336, 0x3, 0x3, 0x3}));
  EXPECT_EQ(std::vector<uint8_t>(s + 48, s + 52), std::vector<uint8_t>({0x11, 0x22, 2, 0x44}));
  EXPECT_EQ(LoadBE32(s + 80), v0.size());
  EXPECT_EQ(LoadBE32(s + 84), v1.size());
  EXPECT_EQ(LoadBE32(s + 144), a.size() / 2);
  EXPECT_EQ(LoadBE32(s + 148), a.size() / 2);
  EXPECT_TRUE(std::all_of(idx.begin() + 192 + 256, idx.begin() + 262336, [](uint8_t b) { return b == 0; }));
  // One seek entry (the first video frame, no audio before it), then the trailer.
  EXPECT_EQ(LoadBE32(idx.data() + 262336), 64u);
  EXPECT_EQ(LoadBE32(idx.data() + 262340), 0u);
  EXPECT_EQ(LoadBE32(idx.data() + 262344 + 16), 0x19720505u);
  EXPECT_EQ(LoadBE32(idx.data() + 262344 + 32), 0u);
  // Data file: frames as received but for the back links, then the trailer.
  ASSERT_EQ(vid.size(), 64 + v0.size() + a.size() + v1.size() + 64);
  const size_t at1 = 64 + v0.size(), at2 = at1 + a.size();
  EXPECT_EQ(LoadBE32(vid.data() + 64 + 32), 64u);
  EXPECT_EQ(LoadBE32(vid.data() + at1 + 32), 64u);
  EXPECT_EQ(LoadBE32(vid.data() + at2 + 32), at1);
  EXPECT_TRUE(std::equal(v1.begin() + 36, v1.end(), vid.begin() + static_cast<long>(at2 + 36)));
  EXPECT_EQ(LoadBE32(vid.data() + vid.size() - 64 + 16), 0x19720505u);
  EXPECT_EQ(LoadBE32(vid.data() + vid.size() - 64 + 36), at2);
}

TEST_F(BackupFilesTest, SegmentsChangeOnlyOnFramesWithoutTheMarker) {
  BackupPairWriter writer(Opts());
  ASSERT_TRUE(writer.Write(Video(0, 10, 1)));
  ASSERT_TRUE(writer.Write(Video(0, 11, 2, 1)));  // new id, marked: same segment
  ASSERT_TRUE(writer.Write(Video(0, 12, 2, 0)));  // now it starts
  ASSERT_TRUE(writer.Write(Video(0, 12, 2, 0)));
  ASSERT_TRUE(writer.Write(Video(0, 14, 3, 0)));
  ASSERT_TRUE(writer.Close());
  const auto idx = ReadAll(writer.Pairs()[0].idx);
  SummaryBlock summary;
  ASSERT_TRUE(DecodeSummary(std::span(idx).subspan(64, 128), summary));
  EXPECT_EQ(summary.count, 3u);
  EXPECT_EQ(std::pair(summary.earliest, summary.latest), std::pair(10u, 14u));
  std::vector<std::array<uint32_t, 3>> got;
  for (size_t n = 0; n < 3; ++n) {
    SegmentRecord r;
    ASSERT_TRUE(DecodeSegmentRecord(std::span(idx).subspan(192 + 256 * n, 256), r));
    got.push_back({r.start, r.end, (r.firstSeek - 262336) / 8});
  }
  // Seek entries: 10, 11 | 12 | 14 (one per second of video).
  EXPECT_EQ(got, (std::vector<std::array<uint32_t, 3>>{{10, 11, 0}, {12, 12, 2}, {14, 14, 3}}));
  EXPECT_EQ(idx.size(), 262336u + 4 * 8 + 64);
}

TEST_F(BackupFilesTest, LargeDownloadsSplitIntoLinkedPairsWithDistinctNames) {
  BackupPairWriter writer(Opts(2000));
  for (uint32_t s = 0; s < 12; ++s) ASSERT_TRUE(writer.Write(Video(static_cast<int>(s % 4), 100 + s, 1)));
  ASSERT_TRUE(writer.Close());
  ASSERT_GE(writer.Pairs().size(), 3u);
  EXPECT_EQ(writer.VideoFrames(), 12u);
  std::set<std::string> names;
  uint32_t previousTrailerLink = 0;
  for (size_t i = 0; i < writer.Pairs().size(); ++i) {
    names.insert(writer.Pairs()[i].vid);
    const auto idx = ReadAll(writer.Pairs()[i].idx);
    uint32_t headerLink = 0, trailerLink = 0;
    ASSERT_TRUE(DecodePairHeader(idx, headerLink));
    ASSERT_TRUE(DecodeTrailer(std::span(idx).last(64), trailerLink, 32));
    EXPECT_EQ(headerLink, previousTrailerLink) << i;
    EXPECT_EQ(trailerLink != 0, i + 1 < writer.Pairs().size()) << i;
    previousTrailerLink = trailerLink;
    SummaryBlock summary;
    ASSERT_TRUE(DecodeSummary(std::span(idx).subspan(64, 128), summary));
    EXPECT_EQ(summary.count, 1u);
  }
  EXPECT_EQ(names.size(), writer.Pairs().size());
}

TEST_F(BackupFilesTest, MoreThan1024SegmentsOpenTheNextPairInsteadOfOverrunningTheSlots) {
  BackupPairWriter writer(Opts());
  for (uint32_t id = 1; id <= 1030; ++id) ASSERT_TRUE(writer.Write(Video(0, id, id, 0, 8)));
  ASSERT_TRUE(writer.Close());
  ASSERT_EQ(writer.Pairs().size(), 2u);
  const auto first = ReadAll(writer.Pairs()[0].idx), second = ReadAll(writer.Pairs()[1].idx);
  SummaryBlock a, b;
  ASSERT_TRUE(DecodeSummary(std::span(first).subspan(64, 128), a));
  ASSERT_TRUE(DecodeSummary(std::span(second).subspan(64, 128), b));
  EXPECT_EQ(a.count, 1024u);
  EXPECT_EQ(b.count, 6u);
  EXPECT_EQ(LoadBE32(first.data() + 262336), 64u);  // the seek table starts where it should
  EXPECT_EQ(first.size(), 262336u + 1024 * 8 + 64);
}

// A device that takes `room` bytes and then refuses.
class FullDevice : public WritableFile {
 public:
  explicit FullDevice(size_t room) : m_room(room) {}
  bool Append(std::span<const uint8_t> b) override {
    if (m_size + b.size() > m_room) return false;
    m_size += b.size();
    return true;
  }
  bool WriteAt(uint64_t, std::span<const uint8_t>) override { return true; }
  uint64_t Size() const override { return m_size; }
  bool Close() override { return true; }
  std::string Error() const override { return "No space left on device"; }

 private:
  size_t m_room, m_size = 0;
};

TEST_F(BackupFilesTest, AFailingDeviceStopsTheWriterWithItsReason) {
  auto opts = Opts();
  opts.open = [](const std::string& path, std::string&) -> std::unique_ptr<WritableFile> {
    return std::make_unique<FullDevice>(path.ends_with(".vid") ? 2000 : 1 << 20);
  };
  BackupPairWriter writer(opts);
  ASSERT_TRUE(writer.Write(Video(0, 1, 1)));
  ASSERT_TRUE(writer.Write(Video(0, 2, 1)));
  EXPECT_FALSE(writer.Write(Video(0, 3, 1, 0, 2000)));
  EXPECT_NE(writer.Error().find("No space left"), std::string::npos) << writer.Error();
  EXPECT_FALSE(writer.Write(Video(0, 4, 1)));  // stays stopped
  EXPECT_FALSE(writer.Close());

  auto refuse = Opts();
  refuse.open = [](const std::string& path, std::string& error) -> std::unique_ptr<WritableFile> {
    error = path + ": Permission denied";
    return nullptr;
  };
  BackupPairWriter denied(refuse);
  EXPECT_FALSE(denied.Write(Video(0, 1, 1)));
  EXPECT_NE(denied.Error().find("Permission denied"), std::string::npos);
}

}  // namespace
}  // namespace orva
