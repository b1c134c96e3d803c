// Backup download against a scripted recorder: the size requests and the
// free-space rule at its boundary, the data request, frames written into a
// playable pair, and the ends: done, a lost connection, a failing disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/recordings/download.h"
#include "orva/recordings/local_files.h"
#include "test_support.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

std::vector<uint8_t> Video(int channel, uint32_t second) {
  std::vector<uint8_t> r(192 + 20 + 3000, 0x42);
  std::fill(r.begin(), r.begin() + 212, 0);
  StoreBE32(r.data() + 16, 0x20061123);
  StoreBE32(r.data() + 24, second);
  StoreBE32(r.data() + 28, 3020);
  StoreBE32(r.data() + 40, 9);
  StoreBE32(r.data() + 192, 1);
  StoreBE32(r.data() + 200, static_cast<uint32_t>((1 << 3) | (channel << 5)));
  return r;
}

struct Ended : DownloadObserver {
  void OnSizeEstimated(uint32_t kib, bool fits) override {
    lastKib = kib;
    lastFits = fits;
    ++estimates;
  }
  void OnDownloadEnded(const std::string& e) override {
    std::lock_guard lock(m);
    error = e;
    ++ends;
  }
  std::atomic<uint32_t> lastKib{0};
  std::atomic<bool> lastFits{false};
  std::atomic<int> estimates{0}, ends{0};
  std::mutex m;
  std::string error;
};

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::path(::testing::TempDir()) / ("orva-dl-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
  }
  void TearDown() override {
    if (session) session->Close();
    download.reset();
    fs::remove_all(folder);
  }
  void Connect(FileOpener open = OpenPosixFile) {
    DownloadOptions o;
    o.folder = folder.string();
    o.freeMiB = [this] { return freeMiB.load(); };
    o.open = std::move(open);
    o.now = [] { return 0x6000u; };
    download = std::make_unique<DownloadController>(o);
    download->SetObserver(&ended);
    ConnectParams params{"127.0.0.1", recorder.Port(), "admin", "4711", ""};
    session = std::make_unique<DvrSession>(std::move(params), &observer, nullptr, test::FastTiming());
    download->Attach(*session);
    session->Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m));
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload(2, 4))));
    ASSERT_TRUE(observer.WaitForIdentity());
    ASSERT_TRUE(recorder.ReadMessage(m));  // LIVE_REQ
  }
  void Expect(uint16_t code, const std::vector<uint8_t>& payload) {
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m, 2s)) << code;
    EXPECT_EQ(m.code, code);
    EXPECT_EQ(m.payload, payload) << code;
  }
  void SendRecord(const std::vector<uint8_t>& r) {
    for (size_t at = 0; at < r.size(); at += 1000) {
      const bool last = at + 1000 >= r.size();
      std::vector<uint8_t> part(r.begin() + at, r.begin() + std::min(r.size(), at + 1000));
      ASSERT_TRUE(recorder.Write(Frame(msg::TRANS_ON_DATA, part, last ? 0x4000 : 0)));
    }
  }
  bool WaitEnded(int n = 1) {
    for (int i = 0; i < 500 && ended.ends.load() < n; ++i) std::this_thread::sleep_for(10ms);
    return ended.ends.load() >= n;
  }
  std::vector<uint8_t> Range(uint32_t mask, uint8_t kind, uint32_t start, uint32_t end) {
    std::vector<uint8_t> p(24, 0);
    StoreBE32(p.data(), mask);
    p[4] = kind;
    StoreBE32(p.data() + 16, start);
    StoreBE32(p.data() + 20, end);
    return p;
  }

  fs::path folder;
  std::atomic<uint64_t> freeMiB{1000};
  Ended ended;
  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  std::unique_ptr<DownloadController> download;
  std::unique_ptr<DvrSession> session;
};

TEST_F(DownloadTest, SizeRequestsAndTheFreeSpaceRuleAtItsBoundary) {
  Connect();
  download->RequestSize({0x3, 100, 200, 2});  // an event of kind 2: its kind bit
  Expect(msg::TRANS_ON_REQ, Range(0x3, 4, 100, 200));
  download->RequestSize({0xF, 100, 200, 0});  // a time range: all kinds
  Expect(msg::TRANS_ON_REQ, Range(0xF, 63, 100, 200));
  // 1000 MiB free: 900 MiB leave exactly 100 spare; 901 MiB do not.
  const std::pair<uint32_t, bool> cases[] = {{900 * 1024, true}, {901 * 1024, false}, {0, true}};
  int n = 0;
  for (auto [kib, fits] : cases) {
    ASSERT_TRUE(recorder.Write(Frame(msg::TRANS_ON_ACK, Be32(static_cast<int32_t>(kib)))));
    ++n;
    for (int i = 0; i < 300 && ended.estimates.load() < n; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ended.lastKib.load(), kib);
    EXPECT_EQ(ended.lastFits.load(), fits) << kib;
  }
  ASSERT_TRUE(observer.WaitForNotice({13, 0}));
  EXPECT_EQ(download->Shortfall(), (std::pair<uint64_t, int64_t>{901, 900}));
  EXPECT_EQ(FormatDownloadSize(1023), "1023 KByte");
  EXPECT_EQ(FormatDownloadSize(1024), "1 MByte");
  EXPECT_EQ(FormatDownloadSize(1048576 * 3 + 5), "3 GByte");
  // A refusal with the recorder's own sizes.
  std::vector<uint8_t> nack = Be32(87);
  for (int32_t v : {5000, 1200}) {
    auto b = Be32(v);
    nack.insert(nack.end(), b.begin(), b.end());
  }
  ASSERT_TRUE(recorder.Write(Frame(msg::TRANS_ON_NACK, nack)));
  ASSERT_TRUE(observer.WaitForNotice({6, 5}));
  EXPECT_EQ(download->RecorderShortfall(), (std::pair<uint32_t, uint32_t>{5000, 1200}));
}

TEST_F(DownloadTest, AnEventDownloadIsWrittenAndClosedWhenTheRecorderIsDone) {
  Connect();
  ASSERT_TRUE(download->Start({0x3, 1000, 1010, 4}));
  Expect(msg::TRANS_DATA_REQ, Range(0x3, 0, 1000, 1010));  // kind byte 0 for an event's data
  EXPECT_TRUE(session->TransferActive());
  EXPECT_FALSE(download->Start({0x3, 1000, 1010, 0}));  // one at a time
  for (uint32_t s = 0; s < 10; ++s)
    for (int ch = 0; ch < 2; ++ch) SendRecord(Video(ch, 1000 + s));
  ASSERT_TRUE(recorder.Write(Frame(msg::TRANS_ON_DONE, {})));
  Expect(msg::TRANS_OFF_REQ, {});
  ASSERT_TRUE(WaitEnded());
  EXPECT_FALSE(session->TransferActive());
  const auto stats = download->Stats();
  EXPECT_EQ(stats.videoFrames, 20u);
  EXPECT_EQ(stats.receivedBytes, 20u * 3212);
  EXPECT_TRUE(stats.error.empty());
  const auto pairs = ScanPairs(folder.string());
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].earliest, 1000u);
  EXPECT_EQ(pairs[0].latest, 1009u);
}

TEST_F(DownloadTest, ALostConnectionStillClosesAPlayablePair) {
  Connect();
  ASSERT_TRUE(download->Start({0xF, 500, 600, 0}));
  WireMessage m;
  ASSERT_TRUE(recorder.ReadMessage(m));
  for (uint32_t s = 0; s < 5; ++s) SendRecord(Video(0, 500 + s));
  // Half a frame, then the recorder is gone.
  ASSERT_TRUE(recorder.Write(Frame(msg::TRANS_ON_DATA, std::vector<uint8_t>(700, 1), 0)));
  recorder.CloseClient();
  ASSERT_TRUE(observer.WaitForNotice({2, 0}));
  session->Close();
  ASSERT_TRUE(WaitEnded());
  const auto pairs = ScanPairs(folder.string());
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].segments.size(), 1u);
  EXPECT_EQ(pairs[0].latest, 504u);
  EXPECT_EQ(pairs[0].vidSize, 64u + 5 * 3212 + 64);  // both trailers written
}

TEST_F(DownloadTest, AFailingDiskStopsTheDownloadAndTellsTheUser) {
  Connect([](const std::string& path, std::string& error) -> std::unique_ptr<WritableFile> {
    if (path.ends_with(".vid")) {
      error = path + ": No space left on device";
      return nullptr;
    }
    return OpenPosixFile(path, error);
  });
  ASSERT_TRUE(download->Start({0xF, 500, 600, 0}));
  WireMessage m;
  ASSERT_TRUE(recorder.ReadMessage(m));
  SendRecord(Video(0, 500));
  Expect(msg::TRANS_OFF_REQ, {});
  ASSERT_TRUE(observer.WaitForNotice(kNoticeDownloadWriteFailed));
  ASSERT_TRUE(recorder.Write(Frame(msg::TRANS_OFF_ACK, {})));
  ASSERT_TRUE(WaitEnded());
  std::lock_guard lock(ended.m);
  EXPECT_NE(ended.error.find("No space left"), std::string::npos) << ended.error;
  EXPECT_FALSE(download->Running());
}

}  // namespace
}  // namespace orva
