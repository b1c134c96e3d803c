#include "orva/recordings/local_log.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

#include "orva/link/trace.h"

namespace orva {
namespace {

namespace fs = std::filesystem;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

class LocalLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/orva_locallog_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  void WriteAll(const fs::path& p, const std::vector<uint8_t>& b) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  // A ring file built by hand: `slots` records whose slot field is their index.
  std::vector<uint8_t> RingFile(uint32_t wrapped, uint32_t next, size_t slots, uint32_t recSize = 184) {
    std::vector<uint8_t> b(8 + slots * recSize);
    PutU32(b, 0, wrapped);
    PutU32(b, 4, next);
    for (size_t s = 0; s < slots; ++s) {
      PutU32(b, 8 + s * recSize, static_cast<uint32_t>(s));
      PutU32(b, 8 + s * recSize + 4, recSize);
    }
    return b;
  }
  fs::path dir_;
};

TEST_F(LocalLogTest, ExactBytesOfHeaderAndRecord) {
  LocalLog log(dir_, [] { return int64_t{0x12345678}; });
  EXPECT_EQ(log.FilePath(), dir_ / "Log" / "ORVA7000.log");
  std::string error;
  ASSERT_TRUE(log.Append(2, 1, "bob", "10.0.0.7", &error)) << error;
  std::vector<uint8_t> want(8 + 184, 0);
  want[4] = 1;                                         // header: wrapped 0, next 1
  const uint8_t rec[] = {0, 0, 0, 0, 184, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
  std::copy(std::begin(rec), std::end(rec), want.begin() + 8);
  std::string host = "10.0.0.7", user = "bob";
  std::copy(host.begin(), host.end(), want.begin() + 8 + 28);
  std::copy(user.begin(), user.end(), want.begin() + 8 + 156);
  EXPECT_EQ(ReadAll(log.FilePath()), want);

  log.WriteLogon(LogonKind::kFailed, "eve", "dvr");
  std::vector<LocalLogRecord> recs;
  ASSERT_TRUE(log.Load(recs, error)) << error;
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[1].slot, 1u);
  EXPECT_EQ(recs[1].mainType, 2u);
  EXPECT_EQ(recs[1].subType, 4u);
  EXPECT_EQ(recs[1].user, "eve");
  EXPECT_EQ(recs[1].host, "dvr");
}

TEST_F(LocalLogTest, NegativeTimeIsKeptSignedAndShownAsZero) {
  LocalLog log(dir_, [] { return int64_t{-5}; });
  ASSERT_TRUE(log.Append(1, 1, "", ""));
  EXPECT_EQ(U32(ReadAll(log.FilePath()), 8 + 16), 0xFFFFFFFBu);
  std::vector<LocalLogRecord> recs;
  std::string error;
  ASSERT_TRUE(log.Load(recs, error));
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].time, -5);
  EXPECT_EQ(LocalLogTimeText(recs[0].time, 0), "1970-01-01 00:00:00");
  EXPECT_EQ(LocalLogTimeText(86400 * 40 + 3661, 1), "02-10-1970 01:01:01");
  EXPECT_EQ(LocalLogTimeText(86400 * 40 + 3661, 2), "10-02-1970 01:01:01");
}

TEST_F(LocalLogTest, Slot2499SetsWrappedAndNextRecordGoesToSlot0) {
  int64_t t = 0;
  LocalLog log(dir_, [&t] { return t; });
  for (t = 0; t < 2499; ++t) ASSERT_TRUE(log.Append(1, 1, "", ""));
  auto bytes = ReadAll(log.FilePath());
  EXPECT_EQ(U32(bytes, 0), 0u);
  EXPECT_EQ(U32(bytes, 4), 2499u);
  ASSERT_TRUE(log.Append(1, 1, "", ""));  // t = 2499 -> slot 2499
  bytes = ReadAll(log.FilePath());
  EXPECT_EQ(bytes.size(), 8u + 2500u * 184u);
  EXPECT_EQ(U32(bytes, 0), 1u);
  EXPECT_EQ(U32(bytes, 4), 0u);
  EXPECT_EQ(U32(bytes, 8 + 2499 * 184), 2499u);
  t = 9999;
  ASSERT_TRUE(log.Append(1, 2, "", ""));
  bytes = ReadAll(log.FilePath());
  EXPECT_EQ(bytes.size(), 8u + 2500u * 184u);
  EXPECT_EQ(U32(bytes, 4), 1u);
  EXPECT_EQ(U32(bytes, 8 + 16), 9999u);

  std::vector<LocalLogRecord> recs;
  std::string error;
  ASSERT_TRUE(log.Load(recs, error)) << error;
  ASSERT_EQ(recs.size(), 2500u);
  EXPECT_EQ(recs.front().slot, 1u);
  EXPECT_EQ(recs.front().time, 1);
  EXPECT_EQ(recs.back().slot, 0u);
  EXPECT_EQ(recs.back().time, 9999);
}

TEST_F(LocalLogTest, WrappedOrderAndShortRings) {
  LocalLog log(dir_);
  std::vector<LocalLogRecord> recs;
  std::string error;
  WriteAll(log.FilePath(), RingFile(1, 10, 2500));
  ASSERT_TRUE(log.Load(recs, error)) << error;
  ASSERT_EQ(recs.size(), 2500u);
  EXPECT_EQ(recs.front().slot, 10u);
  EXPECT_EQ(recs.back().slot, 9u);

  // Wrapped, but the file holds only 20 slots and next lies beyond them.
  WriteAll(log.FilePath(), RingFile(1, 50, 20));
  ASSERT_TRUE(log.Load(recs, error)) << error;
  ASSERT_EQ(recs.size(), 20u);
  EXPECT_EQ(recs.front().slot, 0u);
  EXPECT_EQ(recs.back().slot, 19u);

  // Not wrapped: slots 0 .. present-1, whatever next says.
  WriteAll(log.FilePath(), RingFile(0, 3, 7));
  ASSERT_TRUE(log.Load(recs, error)) << error;
  EXPECT_EQ(recs.size(), 7u);

  // A larger declared record size is honoured.
  WriteAll(log.FilePath(), RingFile(0, 3, 3, 200));
  ASSERT_TRUE(log.Load(recs, error)) << error;
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[2].slot, 2u);
}

TEST_F(LocalLogTest, GarbageRecordSizeAndTruncatedFilesLoadSafely) {
  LocalLog log(dir_);
  std::vector<LocalLogRecord> recs;
  std::string error;
  ASSERT_TRUE(log.Load(recs, error));  // missing file
  EXPECT_TRUE(recs.empty());

  for (uint32_t bad : {0u, 1u, 183u, 0xFFFFFFFFu}) {
    auto b = RingFile(0, 1, 5);
    PutU32(b, 12, bad);
    WriteAll(log.FilePath(), b);
    recs.assign(1, LocalLogRecord{});
    EXPECT_FALSE(log.Load(recs, error)) << bad;
    EXPECT_NE(error.find("record size"), std::string::npos) << error;
    EXPECT_TRUE(recs.empty());
  }
  for (size_t len : {0u, 5u, 8u, 191u}) {
    WriteAll(log.FilePath(), std::vector<uint8_t>(len, 0xAB));
    ASSERT_TRUE(log.Load(recs, error)) << len << " " << error;
    EXPECT_TRUE(recs.empty());
  }
  // A partial trailing record is not shown.
  auto b = RingFile(0, 3, 3);
  b.resize(b.size() - 1);
  WriteAll(log.FilePath(), b);
  ASSERT_TRUE(log.Load(recs, error));
  EXPECT_EQ(recs.size(), 2u);
}

TEST_F(LocalLogTest, OutOfRangeNextRestartsRingAtSlot0) {
  LocalLog log(dir_);
  WriteAll(log.FilePath(), RingFile(1, 7777, 3));
  ASSERT_TRUE(log.Append(1, 1, "", ""));
  auto bytes = ReadAll(log.FilePath());
  EXPECT_EQ(bytes.size(), 8u + 3u * 184u);
  EXPECT_EQ(U32(bytes, 0), 1u);
  EXPECT_EQ(U32(bytes, 4), 1u);
  EXPECT_EQ(U32(bytes, 8 + 8), 1u);  // slot 0 now holds the new record
}

TEST_F(LocalLogTest, ANextIndexPastTheFileRestartsAtSlot0AndTheLogStaysReadable) {
  // Header (wrapped, next) and how many bytes of slots follow it.
  struct Case {
    uint32_t wrapped, next;
    size_t slotBytes;
    uint32_t wantSlot;  // where the new record must go
  };
  const Case cases[] = {
      {0, 37, 174, 0},    // a damaged file shorter than one record
      {0, 5, 184 * 3, 0},  // claims five records, holds three
      {1, 2, 184 * 2, 2},  // holds exactly the slots before next: a normal ring
      {0, 0, 0, 0},        // only a header
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.next);
    LocalLog log(dir_);
    std::vector<uint8_t> file(8 + c.slotBytes, 0xA5);
    PutU32(file, 0, c.wrapped);
    PutU32(file, 4, c.next);
    for (size_t slot = 0; 8 + (slot + 1) * 184 <= file.size(); ++slot) PutU32(file, 8 + slot * 184 + 4, 184);
    WriteAll(log.FilePath(), file);
    ASSERT_TRUE(log.Append(2, 1, "admin", "10.0.0.1"));
    auto bytes = ReadAll(log.FilePath());
    EXPECT_EQ(U32(bytes, 4), c.wantSlot + 1);
    EXPECT_EQ(U32(bytes, 8 + c.wantSlot * 184), c.wantSlot);  // the record's own slot number
    std::vector<LocalLogRecord> records;
    std::string error;
    ASSERT_TRUE(log.Load(records, error)) << error;
    ASSERT_FALSE(records.empty());
    EXPECT_TRUE(std::any_of(records.begin(), records.end(), [](auto& r) { return r.user == "admin"; }));
    fs::remove(log.FilePath());
  }
}

TEST_F(LocalLogTest, LongTextsFillTheirWholeFieldsAndAreCutThere) {
  LocalLog log(dir_, [] { return int64_t{0x01020304}; });
  ASSERT_TRUE(log.Append(2, 1, std::string(27, 'v') + "uXYZ", std::string(127, 'g') + "hXYZ"));
  auto bytes = ReadAll(log.FilePath());
  ASSERT_EQ(bytes.size(), 8u + 184u);  // nothing spills past the record
  EXPECT_EQ(bytes[8 + 28 + 126], 'g');
  EXPECT_EQ(bytes[8 + 28 + 127], 'h');  // the 128th host byte, no terminator
  EXPECT_EQ(bytes[8 + 156], 'v');       // the user field starts right after
  EXPECT_EQ(bytes[8 + 156 + 27], 'u');  // the 28th user byte
  EXPECT_EQ(U32(bytes, 8 + 16), 0x01020304u);
  std::vector<LocalLogRecord> recs;
  std::string error;
  ASSERT_TRUE(log.Load(recs, error));
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].host, std::string(127, 'g') + "h");
  EXPECT_EQ(recs[0].user, std::string(27, 'v') + "u");
}

TEST_F(LocalLogTest, RemovableModeWritesNothing) {
  LocalLog log(dir_);
  log.SetAppendEnabled(false);
  std::string error;
  EXPECT_FALSE(log.Append(1, 1, "", "", &error));
  EXPECT_FALSE(error.empty());
  log.WriteLogon(LogonKind::kAccepted, "u", "h");
  EXPECT_FALSE(fs::exists(dir_ / "Log"));
  log.SetAppendEnabled(true);
  EXPECT_TRUE(log.Append(1, 1, "", ""));
}

TEST_F(LocalLogTest, UnusableFileOrDeviceFailsWithoutThrowing) {
  std::string error;
  {
    LocalLog log(dir_ / "a");
    fs::create_directories(log.FilePath());  // the log path is a directory
    EXPECT_FALSE(log.Append(1, 1, "", "", &error));
    EXPECT_NE(error.find("ORVA7000.log"), std::string::npos) << error;
    std::vector<LocalLogRecord> recs;
    EXPECT_FALSE(log.Load(recs, error));
    EXPECT_TRUE(recs.empty());
  }
  {
    std::ofstream(dir_ / "plainfile") << "x";
    LocalLog log(dir_ / "plainfile");  // the base folder is a file
    error.clear();
    EXPECT_FALSE(log.Append(1, 1, "", "", &error));
    EXPECT_FALSE(error.empty());
  }
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  {
    // Some sandboxes give a /dev/full that accepts writes.
    FILE* probe = std::fopen("/dev/full", "w");
    const bool fails = !probe || std::fputc('x', probe) == EOF || std::fflush(probe) != 0;
    if (probe) std::fclose(probe);
    if (!fails) GTEST_SKIP() << "/dev/full accepts writes here";
  }
  LocalLog log(dir_ / "full");
  fs::create_directories(log.FilePath().parent_path());
  fs::create_symlink("/dev/full", log.FilePath());  // every write fails with ENOSPC
  error.clear();
  EXPECT_FALSE(log.Append(1, 1, "", "", &error));
  EXPECT_NE(error.find("write"), std::string::npos) << error;
}

TEST_F(LocalLogTest, ConcurrentAppendsKeepHeaderConsistent) {
  std::atomic<int64_t> counter{0};
  LocalLog log(dir_, [&counter] { return counter.fetch_add(1); });
  constexpr int kThreads = 4, kEach = 150;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&log, i] {
      for (int k = 0; k < kEach; ++k) log.WriteLogon(LogonKind::kAccepted, "u" + std::to_string(i), "h");
    });
  }
  for (auto& th : threads) th.join();
  auto bytes = ReadAll(log.FilePath());
  EXPECT_EQ(U32(bytes, 0), 0u);
  EXPECT_EQ(U32(bytes, 4), uint32_t{kThreads * kEach});
  std::vector<LocalLogRecord> recs;
  std::string error;
  ASSERT_TRUE(log.Load(recs, error));
  ASSERT_EQ(recs.size(), size_t{kThreads * kEach});
  std::set<int64_t> times;
  for (size_t i = 0; i < recs.size(); ++i) {
    EXPECT_EQ(recs[i].slot, i);
    times.insert(recs[i].time);
  }
  EXPECT_EQ(times.size(), recs.size());  // no record overwrote another
}

TEST(LocalLogLabels, LowestKnownBitAndNoneTrace) {
  char path[] = "/tmp/orva_trace_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  TraceRedirectForTest(path);
  EXPECT_EQ(LocalLogMainIndex(0), -1);
  EXPECT_EQ(LocalLogMainIndex(0x6), 1);
  EXPECT_EQ(LocalLogSubIndex(2, 0x6), 1);
  EXPECT_EQ(LocalLogSubIndex(2, 4), 2);
  EXPECT_EQ(LocalLogSubIndex(1, 4), -1);  // program knows bits 0-1 only
  EXPECT_EQ(LocalLogSubIndex(8, 0), -1);
  TraceRedirectForTest(nullptr);
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  unlink(path);
  EXPECT_EQ(text, "index_sub Program...None...index_sub setup, image...None...");
}

}  // namespace
}  // namespace orva
