// Local playback of pairs written by the download writer: the pairs in
// order with their links, the local calendar and events, and the player
// (play across a split to the end, speed cycles, skip counters, steps,
// seeks, and truncated or corrupt files) against a clock the test moves.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "orva/link/time_convert.h"
#include "orva/link/wire.h"
#include "orva/media/headless_view.h"
#include "orva/recordings/backup_files.h"
#include "orva/recordings/local_files.h"
#include "orva/recordings/local_player.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kT0 = 1260180000;  // 2009-12-07 10:00:00
constexpr int kFps = 10;
constexpr int kSeconds = 20;

void* Create(int32_t) { return reinterpret_cast<void*>(0x1); }
int Decode(void*, const uint8_t*, int, uint8_t*, int, int32_t*, int) { return 1; }

// Time moves only when the test says so; sleepers wait for it.
class ManualClock : public PlaybackClock {
 public:
  int64_t NowMs() override { return m_now.load(); }
  void SleepMs(int ms) override {
    std::unique_lock lock(m_lock);
    const int64_t until = m_now.load() + ms;
    m_blocked.insert(until);
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_now.load() >= until || m_released; });
    m_blocked.erase(m_blocked.find(until));
  }
  // Moves time on in 10 ms steps; after each, waits until the player is
  // asleep again (or has gone idle in a pause).
  void Advance(int64_t ms) {
    for (int64_t done = 0; done < ms; done += 10) {
      std::unique_lock lock(m_lock);
      m_now += 10;
      m_changed.notify_all();
      m_changed.wait_for(lock, 5ms, [&] { return !m_blocked.empty() && *m_blocked.begin() > m_now.load(); });
    }
  }
  void Release() {
    std::lock_guard lock(m_lock);
    m_released = true;
    m_changed.notify_all();
  }

 private:
  std::atomic<int64_t> m_now{0};
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::multiset<int64_t> m_blocked;  // deadlines of the threads asleep
  bool m_released = false;
};

std::vector<uint8_t> Video(int channel, uint64_t ms, bool key, uint32_t recordingId, uint8_t kind) {
  std::vector<uint8_t> r(192 + 20 + 200, 0x33);
  std::fill(r.begin(), r.begin() + 212, 0);
  StoreBE32(r.data() + 16, 0x20061123);
  StoreBE32(r.data() + 24, static_cast<uint32_t>(ms / 1000));
  StoreBE32(r.data() + 28, 220);
  StoreBE32(r.data() + 40, recordingId);
  r[50] = kind;
  StoreBE32(r.data() + 80, static_cast<uint32_t>(ms / 1000));
  StoreBE32(r.data() + 84, static_cast<uint32_t>(ms % 1000 * 1000));
  StoreBE32(r.data() + 192, 1);
  StoreBE32(r.data() + 196, 50u << 8);  // a first part of 208 bytes fits the 220
  StoreBE32(r.data() + 200, static_cast<uint32_t>((1 << 3) | (channel << 5) | (key ? 0 : 1 << 11)));
  return r;
}

std::vector<uint8_t> Audio(int channel) {
  std::vector<uint8_t> r(128 + 4016, 0);
  StoreBE32(r.data() + 16, 0x2518F049);
  StoreBE32(r.data() + 28, 4016);
  StoreBE32(r.data() + 40, 1u << channel);
  StoreBE32(r.data() + 128, 0xFFFFFFFF);
  StoreBE32(r.data() + 136, static_cast<uint32_t>(channel));
  StoreBE32(r.data() + 140, 4016 / 16);
  return r;
}

struct Events : LocalPlayerObserver {
  void OnListEnd() override { ++ends; }
  void OnSeekDone(uint32_t target, uint32_t landed, double) override {
    std::lock_guard lock(m);
    seeks.push_back({target, landed});
  }
  std::atomic<int> ends{0};
  std::mutex m;
  std::vector<std::pair<uint32_t, uint32_t>> seeks;
};

class LocalPlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::path(::testing::TempDir()) / ("orva-local-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    H264Exports e;
    e.create = Create;
    e.decode = Decode;
    library = H264Library::FromExports(e);
    // Twenty seconds of two channels: a continuous recording, then a motion
    // recording, split into linked pairs.
    BackupPairWriter::Options o;
    o.folder = folder.string();
    o.now = [] { return 0x5000u; };
    o.splitAfter = 40000;
    BackupPairWriter writer(o);
    for (int s = 0; s < kSeconds; ++s) {
      const uint32_t id = s < 10 ? 1 : 2;
      for (int f = 0; f < kFps; ++f) {
        const uint64_t ms = (uint64_t{kT0} + s) * 1000 + f * (1000 / kFps);
        if (f % 5 == 0) {
          ASSERT_TRUE(writer.Write(Audio(0)));
        }
        for (int ch = 0; ch < 2; ++ch) ASSERT_TRUE(writer.Write(Video(ch, ms, f == 0, id, s < 10 ? 0 : 2)));
      }
    }
    ASSERT_TRUE(writer.Close());
    pairs = writer.Pairs().size();
  }
  void TearDown() override {
    clock.Release();
    if (player) player->Stop();
    fs::remove_all(folder);
  }
  void StartPlayer(uint32_t from) {
    LocalPlayerOptions o;
    o.clock = &clock;
    player = std::make_unique<LocalPlayer>(library, decodeLock, view, o);
    player->SetObserver(&events);
    ASSERT_TRUE(player->Start(ScanPairs(folder.string()), from));
    clock.Advance(10);
  }
  // Keeps time moving (a decoder backlog also sleeps) until the mode is reached.
  bool WaitForMode(int mode) {
    for (int i = 0; i < 2000 && player->Mode() != mode; ++i) clock.Advance(10);
    return player->Mode() == mode;
  }

  fs::path folder;
  size_t pairs = 0;
  H264Library library;
  std::mutex decodeLock;
  HeadlessView view;
  ManualClock clock;
  Events events;
  std::unique_ptr<LocalPlayer> player;
};

TEST(LocalPairIndex, SummaryCountsFromNoneToMoreThanTheSlotsReadCleanly) {
  // An index held in memory: header, a closed summary counting `count`
  // segments, `present` segment records, and the trailer.
  struct Case {
    uint32_t count;
    size_t present, want;
  };
  const Case cases[] = {{0, 0, 0}, {0, 2, 0}, {2, 2, 2}, {3, 1, 1}, {5000, 2, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    std::vector<uint8_t> idx(kSeekTableOffset + kTrailerSize, 0);
    const auto header = EncodePairHeader(1260180930u);
    std::copy(header.begin(), header.end(), idx.begin());
    const auto summary = EncodeSummary(SummaryBlock{1260180000u, 1260189000u, c.count});
    std::copy(summary.begin(), summary.end(), idx.begin() + kSummaryOffset);
    for (size_t n = 0; n < c.present; ++n) {
      SegmentRecord r;
      r.start = 1260180000u + static_cast<uint32_t>(n) * 60;
      r.end = r.start + 30;
      const auto bytes = EncodeSegmentRecord(r);
      std::copy(bytes.begin(), bytes.end(), idx.begin() + static_cast<long>(kSegmentSlotsOffset + n * kSegmentRecordSize));
    }
    auto file = MemoryReader(std::move(idx));
    LocalPair pair;
    std::string error;
    ASSERT_TRUE(ReadPairIndex(*file, pair, error)) << error;
    EXPECT_EQ(pair.segments.size(), c.want);
    EXPECT_EQ(pair.earliest, 1260180000u);
  }
}

TEST_F(LocalPlaybackTest, PairsAreChainedAndTheLocalSearchSeesTheirSegments) {
  ASSERT_GE(pairs, 3u);
  // Files that are not pairs, or not whole, are left out with a reason.
  std::ofstream(folder / "junk.idx") << "not an index";
  std::ofstream(folder / "junk.vid") << "Orva7160 but far too short";
  std::ofstream(folder / "other.idx") << "x";
  std::ofstream(folder / "other.vid") << "Something else";
  std::vector<std::string> problems;
  const auto found = ScanPairs(folder.string(), &problems);
  ASSERT_EQ(found.size(), pairs);
  EXPECT_EQ(problems.size(), 2u);
  for (size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].joinedPrevious, i > 0) << i;
    EXPECT_EQ(found[i].joinedNext, i + 1 < found.size()) << i;
    if (i > 0) {
      EXPECT_LE(found[i - 1].latest, found[i].earliest);
    }
  }
  const auto years = LocalCalendar(found);
  ASSERT_EQ(years.size(), 1u);
  EXPECT_EQ(years[0].year, 2009);
  EXPECT_EQ(years[0].kinds[11 * 31 + 6], (1u << 0) | (1u << 2));  // 7 December: continuous and motion
  EXPECT_EQ(std::count_if(years[0].kinds.begin(), years[0].kinds.end(), [](uint32_t k) { return k != 0; }), 1);
  const auto events = LocalEvents(found);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().start, kT0);
  EXPECT_EQ(events.back().end, kT0 + kSeconds - 1);
  EXPECT_EQ(events.back().kind, 2);
  EXPECT_EQ(events.back().number, static_cast<int>(std::count_if(events.begin(), events.end(),
                                                                 [](const EventEntry& e) { return e.kind == 2; })) - 1);
}

TEST_F(LocalPlaybackTest, PlaysAcrossTheSplitToTheEndThenPauses) {
  StartPlayer(kT0 + 5);
  EXPECT_EQ(player->ListStart(), kT0);
  clock.Advance(16000);
  ASSERT_TRUE(WaitForMode(kPlayPause));
  EXPECT_EQ(events.ends.load(), 1);
  EXPECT_EQ(player->ShownTime(), kT0 + kSeconds - 1);
  EXPECT_EQ(player->Stats().shown, static_cast<uint64_t>((kSeconds - 5) * kFps * 2));
  EXPECT_EQ(player->Stats().unusable, 0u);
  // Reverse and steps remain possible at the end.
  player->Command(kPlayStepBackward);
  ASSERT_TRUE(WaitForMode(kPlayPause));
  EXPECT_LT(player->ShownTime(), kT0 + kSeconds);
}

TEST_F(LocalPlaybackTest, SpeedCyclesAndSkipCountersKeepKeyFrames) {
  StartPlayer(kT0);
  const int forward[] = {2, 3, 4, 1, 2};
  for (int speed : forward) {
    player->Command(kPlayForward);
    EXPECT_EQ(player->Speed(), speed);
  }
  // At speed 2 one frame in two is shown, key frames always.
  const auto before = player->Stats();
  clock.Advance(6000);
  const auto after = player->Stats();
  const uint64_t shown = after.shown - before.shown, passed = after.passed - before.passed;
  ASSERT_GT(shown + passed, 100u);
  EXPECT_NEAR(static_cast<double>(shown) / static_cast<double>(shown + passed), 0.5, 0.08);
  const int reverse[] = {-1, -2, -3, -4, -1};
  for (int speed : reverse) {
    player->Command(kPlayReverse);
    EXPECT_EQ(player->Speed(), speed);
  }
  const uint32_t at = player->ShownTime();
  clock.Advance(2000);
  EXPECT_LT(player->ShownTime(), at);
}

TEST_F(LocalPlaybackTest, StepsShowOneFramePerVisibleChannelAndSeeksLandAtOrAfterTheTarget) {
  StartPlayer(kT0 + 2);
  player->Command(kPlayPause);
  ASSERT_TRUE(WaitForMode(kPlayPause));
  const uint64_t shown = player->Stats().shown;
  player->Command(kPlayStepForward);
  ASSERT_TRUE(WaitForMode(kPlayPause));
  EXPECT_EQ(player->Stats().shown, shown + 2);
  player->SetVisibleChannels(0x0002);
  player->Command(kPlayStepForward);
  ASSERT_TRUE(WaitForMode(kPlayPause));
  EXPECT_EQ(player->Stats().shown, shown + 3);

  const uint32_t targets[] = {kT0 + 12, kT0, kT0 + 19, kT0 + 500};
  for (uint32_t target : targets) player->Seek(target);
  for (int i = 0; i < 300; ++i) {
    {
      std::lock_guard lock(events.m);
      if (events.seeks.size() >= 1) break;
    }
    std::this_thread::sleep_for(10ms);
  }
  // Seeks that come faster than the player runs them collapse into the last.
  for (uint32_t target : targets) {
    player->Seek(target);
    for (int i = 0; i < 300; ++i) {
      std::lock_guard lock(events.m);
      if (!events.seeks.empty() && events.seeks.back().first == target) break;
      std::this_thread::sleep_for(1ms);
    }
  }
  std::lock_guard lock(events.m);
  std::map<uint32_t, uint32_t> landed(events.seeks.begin(), events.seeks.end());
  EXPECT_EQ(landed[kT0 + 12], kT0 + 12);
  EXPECT_EQ(landed[kT0], kT0);
  EXPECT_EQ(landed[kT0 + 19], kT0 + 19);
  EXPECT_EQ(landed[kT0 + 500], 0u);  // beyond the end: nothing, and no endless search
}

TEST_F(LocalPlaybackTest, TruncatedAndCorruptDataFilesEndCleanly) {
  // The last pair loses its tail mid-frame; the first one gets a back link
  // that points forwards.
  auto found = ScanPairs(folder.string());
  const std::string last = found.back().vid;
  fs::resize_file(last, fs::file_size(last) - 300);
  {
    std::fstream f(found.front().vid, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<uint8_t> header(192);
    f.seekg(64 + 4144);  // the first video frame follows the first audio frame
    f.read(reinterpret_cast<char*>(header.data()), 192);
    ASSERT_EQ(LoadBE32(header.data() + 16), 0x20061123u);
    StoreBE32(header.data() + 32, 0x7FFFFFF0);
    f.seekp(64 + 4144);
    f.write(reinterpret_cast<const char*>(header.data()), 192);
  }
  StartPlayer(kT0 + 15);
  clock.Advance(6000);
  ASSERT_TRUE(WaitForMode(kPlayPause));
  EXPECT_GE(player->ShownTime(), kT0 + 18);
  player->Seek(kT0 + 1);
  for (int i = 0; i < 300 && player->ShownTime() > kT0 + 1; ++i) std::this_thread::sleep_for(10ms);
  player->Command(kPlayReverse);
  clock.Advance(3000);
  ASSERT_TRUE(WaitForMode(kPlayPause));  // the start of the list: paused, not looping
  EXPECT_GE(events.ends.load(), 2);
}


TEST_F(LocalPlaybackTest, AMissingChainedPairAndASegmentPointingPastItsFileAreLeftOut) {
  auto found = ScanPairs(folder.string());
  ASSERT_GE(found.size(), 3u);
  // The middle pair of the split download is gone.
  fs::remove(found[1].idx);
  fs::remove(found[1].vid);
  // The last pair's first segment claims seek entries far beyond its index.
  {
    std::fstream f(found.back().idx, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t first[4];
    StoreBE32(first, 0x7FFFFFF8);
    f.seekp(192 + 32);
    f.write(reinterpret_cast<const char*>(first), 4);
  }
  const auto pairs = ScanPairs(folder.string());
  ASSERT_EQ(pairs.size(), found.size() - 1);
  EXPECT_FALSE(pairs[0].joinedNext);  // the chain breaks where the pair is missing
  const auto list = BuildPlaybackList(pairs, kT0, 0);
  size_t fromLast = 0;
  for (const PlaybackEntry& e : list) fromLast += e.vid == found.back().vid;
  EXPECT_EQ(fromLast, pairs.back().segments.size() - 1);  // the broken segment is skipped
  // Playing from the start runs over the gap and ends at the last readable frame.
  StartPlayer(kT0);
  clock.Advance(25000);
  ASSERT_TRUE(WaitForMode(kPlayPause));
  EXPECT_EQ(player->ShownTime(), kT0 + kSeconds - 1);
  EXPECT_EQ(events.ends.load(), 1);
}


TEST_F(LocalPlaybackTest, ASeekBetweenKeyFramesShowsItsPictureAtOnce) {
  // One channel whose key frames come every 1.5 s: a seek to second 4 lands
  // on a frame that needs the key frame at 3.0 s.
  const fs::path other = folder / "gop";
  BackupPairWriter::Options o;
  o.folder = other.string();
  o.now = [] { return 0x7000u; };
  {
    BackupPairWriter writer(o);
    for (int f = 0; f < 60; ++f)
      ASSERT_TRUE(writer.Write(Video(0, uint64_t{kT0} * 1000 + f * 100u, f % 15 == 0, 1, 0)));
    ASSERT_TRUE(writer.Close());
  }
  LocalPlayerOptions po;
  po.clock = &clock;
  player = std::make_unique<LocalPlayer>(library, decodeLock, view, po);
  player->SetObserver(&events);
  ASSERT_TRUE(player->Start(ScanPairs(other.string()), kT0));
  clock.Advance(1000);  // past the two frames a decoder always holds back
  player->Command(kPlayPause);
  ASSERT_TRUE(WaitForMode(kPlayPause));
  std::this_thread::sleep_for(100ms);
  const uint64_t draws = view.Draws(0), skipped = player->DecoderStats()[0].skipped;
  player->Seek(kT0 + 4);
  for (int i = 0; i < 300; ++i) {
    {
      std::lock_guard lock(events.m);
      if (!events.seeks.empty()) break;
    }
    clock.Advance(10);  // the player may still sleep out the frame it paced
  }
  ASSERT_TRUE(WaitForMode(kPlayPause));
  for (int i = 0; i < 100 && view.Draws(0) == draws; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(view.Draws(0), draws + 1);  // the landing frame, decoded from the key frame before it
  EXPECT_EQ(player->DecoderStats()[0].skipped, skipped);
  EXPECT_EQ(player->ShownTime(), kT0 + 4);
}

}  // namespace
}  // namespace orva
