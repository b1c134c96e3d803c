// Firmware upgrade: the scan rules over a folder of images, the entry and
// FW_UPDATE_REQ layout, and the upload against a scripted recorder
// (fragment sizes and the last-fragment bit, verdicts, unreadable files,
// uploads interleaved with other senders).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/firmware.h"
#include "orva/link/time_convert.h"
#include "test_support.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

constexpr uint32_t kMainBuild = 1260180930;   // 2009-12-07 10:15:30 on the recorder's clock
constexpr uint32_t kOtherBuild = 1262401445;  // 2010-01-02 03:04:05

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(x >> (24 - 8 * i));
}

std::vector<uint8_t> ComponentImage(const std::string& name, uint32_t built, size_t size = 64) {
  std::vector<uint8_t> image(size, 0);
  std::memcpy(image.data() + 3, "VBoot", 5);
  Put32(image, 8, built);
  std::memcpy(image.data() + 32, name.data(), name.size());
  for (size_t i = 64; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7);
  return image;
}

std::vector<uint8_t> MainImage(const std::string& name, const std::string& dateText) {
  std::vector<uint8_t> image(300, 0);
  std::memcpy(image.data() + 4, name.data(), name.size());
  std::memcpy(image.data() + 40, dateText.data(), dateText.size());
  return image;
}

RecorderIdentity Identity() {
  RecorderIdentity id;
  auto name = [&](int i, const char* text) { std::strncpy(id.firmName[static_cast<size_t>(i)].data(), text, 32); };
  name(0, "MAIN_NAME");
  name(1, "BOOT_ONE");
  name(3, "OTHER_NAME");
  name(4, "FOURTH");
  id.firmVer[0] = kMainBuild;
  id.firmVer[1] = kOtherBuild;
  id.firmVer[3] = kOtherBuild;
  id.firmVer[4] = kOtherBuild;
  return id;
}

class Folder {
 public:
  Folder() : m_path(fs::temp_directory_path() / ("orva_fw_" + std::to_string(::getpid()) + "_" +
                                                  std::to_string(s_count++))) {
    fs::create_directories(m_path);
  }
  ~Folder() { fs::remove_all(m_path); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = (m_path / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::string Path() const { return m_path.string(); }

 private:
  static inline int s_count = 0;
  fs::path m_path;
};

TEST(FirmwareScan, KeepsPerRowTheNewestImageNewerThanTheInstalledBuild) {
  Folder folder;
  // Component 3 (row 1): two images, only the newer one counts.
  folder.Write("other_a.bin", ComponentImage("OTHER_NAME", kOtherBuild + 10));
  const std::string newest = folder.Write("other_b.bin", ComponentImage("OTHER_NAME", kOtherBuild + 20));
  folder.Write("other_c.bin", ComponentImage("OTHER_NAME", kOtherBuild + 15));
  // Component 4 (row 2): equal to the installed build, not offered.
  folder.Write("fourth.bin", ComponentImage("FOURTH", kOtherBuild));
  // Component 1 has no row; an unknown name matches nothing; a short header is no image.
  folder.Write("boot.bin", ComponentImage("BOOT_ONE", kOtherBuild + 99));
  folder.Write("stranger.bin", ComponentImage("STRANGER", kOtherBuild + 99));
  std::vector<uint8_t> cut = ComponentImage("OTHER_NAME", kOtherBuild + 50);
  cut.resize(40);
  folder.Write("short.bin", cut);
  // Main images: a good one a day newer, one with a bad month, one without "(".
  const std::string main = folder.Write("main.bin", MainImage("MAIN_NAME", "built (Dec 08 2009 - 10:15:30)"));
  folder.Write("main_month.bin", MainImage("MAIN_NAME", "built (dec 09 2009 - 10:15:30)"));
  folder.Write("main_paren.bin", MainImage("MAIN_NAME", "built Dec 09 2009 - 10:15:30"));
  folder.Write("main_old.bin", MainImage("MAIN_NAME", "(Dec 07 2009 - 10:15:30)"));

  FirmwareRows rows;
  const int found = ScanUpgradeFolder(folder.Path(), Identity(), rows);
  // Sorted walk: main.bin, other_a, other_b (other_c is older than b).
  EXPECT_EQ(found, 3);
  ASSERT_TRUE(rows[0].Selected());
  EXPECT_EQ(rows[0].BuildTime(), kMainBuild + 86400);
  EXPECT_EQ(std::string(rows[0].Path()), main);
  EXPECT_EQ(rows[0].Component(), 0);
  ASSERT_TRUE(rows[1].Selected());
  EXPECT_EQ(rows[1].BuildTime(), kOtherBuild + 20);
  EXPECT_EQ(std::string(rows[1].Path()), newest);
  EXPECT_EQ(rows[1].Name(), "OTHER_NAME");
  for (int r = 2; r < kFirmwareRows; ++r) EXPECT_FALSE(rows[static_cast<size_t>(r)].Selected()) << r;
}

TEST(FirmwareScan, MainBuildTimeTextAndTheRowTables) {
  struct Case {
    const char* text;
    std::optional<UserTime> expected;
  };
  const Case cases[] = {
      {"x (Dec 07 2009 - 10:15:30)", UserTime{2009, 11, 6, 10, 15, 30}},
      {"(Jan 31 2024 - 23:59:59", UserTime{2024, 0, 30, 23, 59, 59}},
      {"(Feb 01 2010", UserTime{2010, 1, 0, 0, 0, 0}},  // the head ends: missing fields read 0
      {"(DEC 07 2009 - 10:15:30)", std::nullopt},       // months are compared case-sensitively
      {"Dec 07 2009 - 10:15:30", std::nullopt},          // no "("
      {"(De", std::nullopt},                            // cut inside the month
  };
  for (const Case& c : cases) {
    const std::string text = c.text;
    const auto got = ParseMainBuildTime(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << text;
    if (got) {
      EXPECT_EQ(*got, GetUsertimeToTime_t(*c.expected)) << text;
    }
  }
  const int rowComponents[] = {0, 3, 4, 2, 5, 6};
  for (int r = 0; r < kFirmwareRows; ++r) {
    EXPECT_EQ(GetIdxToType(r), rowComponents[r]);
    EXPECT_EQ(GetTypeToIdx(rowComponents[r]), r);
  }
  for (int outside : {-1, 6}) EXPECT_EQ(GetIdxToType(outside), -1);
  for (int component : {1, 7, 19, 20}) EXPECT_EQ(GetTypeToIdx(component), -1);
}

TEST(FirmwareScan, EntryCarriesTheUpdateRequestUnchanged) {
  Folder folder;
  const std::string path = folder.Write("fourth.bin", ComponentImage("FOURTH", 0x01020304));
  FirmwareRows rows;
  RecorderIdentity id = Identity();
  id.firmVer[4] = 0;
  ASSERT_EQ(ScanUpgradeFolder(folder.Path(), id, rows), 1);
  const FirmwareEntry& entry = rows[2];
  const auto& bytes = entry.Bytes();
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 1)), path);
  std::vector<uint8_t> expected(kFwUpdateReqSize, 0);
  Put32(expected, 4, 0x01020304);
  expected[16] = 4;
  std::memcpy(expected.data() + 21, "FOURTH", 6);
  const auto request = entry.UpdateRequest();
  EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()), expected);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 264, bytes.end()), expected);
}

// ------------------------------------------------------------ upload

struct RowLog : FirmwareObserver {
  std::mutex lock;
  std::vector<std::pair<int, FirmwareRowState>> changes;
  std::vector<int> progress;
  int finished = -1;
  void OnRowChanged(int row, FirmwareRowState state, int32_t) override {
    std::lock_guard g(lock);
    changes.emplace_back(row, state);
  }
  void OnUploadProgress(int, int percent) override {
    std::lock_guard g(lock);
    progress.push_back(percent);
  }
  void OnRunFinished(int successes) override {
    std::lock_guard g(lock);
    finished = successes;
  }
};

class FirmwareUploadTest : public ::testing::Test {
 protected:
  void Connect(uint8_t account = 0) {
    ConnectParams params{"127.0.0.1", recorder.Port(), "admin", "4711", ""};
    session = std::make_unique<DvrSession>(std::move(params), &observer, nullptr, test::FastTiming());
    upgrade.Attach(*session);
    session->Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage hello;
    ASSERT_TRUE(recorder.ReadMessage(hello));
    std::vector<uint8_t> identity = ScriptedRecorder::IdentityPayload();
    const std::array<uint8_t, kIdentitySize> wire = EncodeIdentity(Identity());
    std::copy(wire.begin() + 48, wire.end(), identity.begin() + 48);
    identity[7] = account;
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, identity)));
    ASSERT_TRUE(observer.WaitForIdentity());
    WireMessage live;
    ASSERT_TRUE(recorder.ReadMessage(live));
  }
  // The announcement, the ACK, and every FW_DATA up to the one with bit 14.
  std::vector<WireMessage> Upload(std::vector<uint8_t>* image = nullptr) {
    WireMessage announce;
    EXPECT_TRUE(recorder.ReadMessage(announce));
    EXPECT_EQ(announce.code, msg::FW_UPDATE_REQ);
    EXPECT_EQ(announce.payload.size(), kFwUpdateReqSize);
    EXPECT_TRUE(recorder.Write(Frame(msg::FW_UPDATE_ACK, {})));
    std::vector<WireMessage> fragments;
    for (WireMessage m; recorder.ReadMessage(m);) {
      EXPECT_EQ(m.code, msg::FW_DATA);
      if (image) image->insert(image->end(), m.payload.begin(), m.payload.end());
      fragments.push_back(m);
      if (m.streamFlags & 0x4000) break;
    }
    return fragments;
  }
  template <typename F>
  bool WaitFor(F done) {
    for (int i = 0; i < 500; ++i) {
      if (done()) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  Folder folder;
  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  RowLog rows;
  FirmwareUpgrade upgrade{&rows};
  std::unique_ptr<DvrSession> session;
};

TEST_F(FirmwareUploadTest, FragmentsAreEightThousandBytesWithTheBitOnTheLastOnly) {
  Connect();
  struct Case {
    size_t size;
    std::vector<size_t> fragments;
  };
  const Case cases[] = {{8000, {8000}}, {8001, {8000, 1}}, {16005, {8000, 8000, 5}}, {64, {64}}};
  uint32_t build = kOtherBuild;
  for (const Case& c : cases) {
    const std::vector<uint8_t> file = ComponentImage("OTHER_NAME", ++build, c.size);
    folder.Write("other.bin", file);
    ASSERT_EQ(upgrade.BeginCommand(folder.Path()), kNoticeFirmwareFound);
    ASSERT_TRUE(upgrade.Start());
    std::vector<uint8_t> sent;
    const std::vector<WireMessage> fragments = Upload(&sent);
    ASSERT_EQ(fragments.size(), c.fragments.size()) << c.size;
    for (size_t i = 0; i < fragments.size(); ++i) {
      EXPECT_EQ(fragments[i].payload.size(), c.fragments[i]) << c.size;
      EXPECT_EQ((fragments[i].streamFlags & 0x4000) != 0, i + 1 == fragments.size()) << c.size;
    }
    EXPECT_EQ(sent, file);
    ASSERT_TRUE(recorder.Write(Frame(msg::FW_DATA_RX_DONE, {})));
    ASSERT_TRUE(recorder.Write(Frame(msg::FW_UPDATE_DONE, {})));
    ASSERT_TRUE(WaitFor([&] { return !upgrade.Running(); })) << c.size;
    EXPECT_EQ(upgrade.RowState(1), FirmwareRowState::kDone);
    std::lock_guard g(rows.lock);
    EXPECT_EQ(rows.progress.back(), 100);
  }
}

TEST_F(FirmwareUploadTest, VerdictsMoveOnAndOneSuccessIsCounted) {
  Connect();
  folder.Write("main.bin", MainImage("MAIN_NAME", "(Dec 08 2009 - 10:15:30)"));
  folder.Write("other.bin", ComponentImage("OTHER_NAME", kOtherBuild + 1, 9000));
  folder.Write("fourth.bin", ComponentImage("FOURTH", kOtherBuild + 1, 100));
  ASSERT_EQ(upgrade.BeginCommand(folder.Path()), kNoticeFirmwareFound);
  ASSERT_TRUE(upgrade.Start());
  // Row 0 refused with 17: no upload, straight on to row 1.
  WireMessage announce;
  ASSERT_TRUE(recorder.ReadMessage(announce));
  EXPECT_EQ(announce.payload[16], 0);
  ASSERT_TRUE(recorder.Write(Frame(msg::FW_UPDATE_NACK, Be32(17))));
  // Row 1 is transferred, then fails to be written.
  EXPECT_EQ(Upload().size(), 2u);
  ASSERT_TRUE(recorder.Write(Frame(msg::FW_DATA_RX_DONE, {})));
  ASSERT_TRUE(recorder.Write(Frame(msg::FW_UPDATE_FAIL, Be32(5))));
  // Row 2 succeeds.
  EXPECT_EQ(Upload().size(), 1u);
  ASSERT_TRUE(recorder.Write(Frame(msg::FW_DATA_RX_DONE, {})));
  ASSERT_TRUE(recorder.Write(Frame(msg::FW_UPDATE_DONE, {})));
  ASSERT_TRUE(WaitFor([&] { return !upgrade.Running(); }));
  EXPECT_EQ(upgrade.RowState(0), FirmwareRowState::kRefused);
  EXPECT_EQ(upgrade.RowResult(0), 17);
  EXPECT_EQ(upgrade.RowState(1), FirmwareRowState::kFailed);
  EXPECT_EQ(upgrade.RowResult(1), 5);
  EXPECT_EQ(upgrade.RowState(2), FirmwareRowState::kDone);
  EXPECT_EQ(upgrade.Successes(), 1);
  std::lock_guard g(rows.lock);
  EXPECT_EQ(rows.finished, 1);
  // Nothing is announced again once the run is over.
  WireMessage extra;
  EXPECT_FALSE(recorder.ReadMessage(extra, 200ms));
}

TEST_F(FirmwareUploadTest, UncheckedRowsAreSkippedAndAnUnreadableFileEndsItsRow) {
  Connect();
  folder.Write("main.bin", MainImage("MAIN_NAME", "(Dec 08 2009 - 10:15:30)"));
  const std::string other = folder.Write("other.bin", ComponentImage("OTHER_NAME", kOtherBuild + 1, 100));
  folder.Write("fourth.bin", ComponentImage("FOURTH", kOtherBuild + 1, 100));
  ASSERT_EQ(upgrade.BeginCommand(folder.Path()), kNoticeFirmwareFound);
  upgrade.SetChecked(0, false);
  fs::remove(other);  // gone between the scan and the upload
  ASSERT_TRUE(upgrade.Start());
  WireMessage announce;
  ASSERT_TRUE(recorder.ReadMessage(announce));
  EXPECT_EQ(announce.payload[16], 3);
  ASSERT_TRUE(recorder.Write(Frame(msg::FW_UPDATE_ACK, {})));
  // Without data to send, the row ends and the next one is announced.
  ASSERT_TRUE(recorder.ReadMessage(announce));
  EXPECT_EQ(announce.code, msg::FW_UPDATE_REQ);
  EXPECT_EQ(announce.payload[16], 4);
  EXPECT_EQ(upgrade.RowState(1), FirmwareRowState::kUnreadable);
  EXPECT_EQ(upgrade.RowState(0), FirmwareRowState::kCandidate);
  upgrade.Cancel();
  EXPECT_EQ(upgrade.RowState(2), FirmwareRowState::kCancelled);
  EXPECT_FALSE(upgrade.Running());
}

TEST_F(FirmwareUploadTest, UploadNeverInterleavesWithOtherSenders) {
  Connect();
  const std::vector<uint8_t> file = ComponentImage("OTHER_NAME", kOtherBuild + 1, 8000 * 40 + 123);
  folder.Write("other.bin", file);
  ASSERT_EQ(upgrade.BeginCommand(folder.Path()), kNoticeFirmwareFound);
  ASSERT_TRUE(upgrade.Start());
  WireMessage announce;
  ASSERT_TRUE(recorder.ReadMessage(announce));
  std::atomic<bool> stop{false};
  const std::vector<uint8_t> request(20, 0xAB);
  std::thread other([&] {
    while (!stop) session->Send(msg::LIVE_REQ, request);
  });
  ASSERT_TRUE(recorder.Write(Frame(msg::FW_UPDATE_ACK, {})));
  std::vector<uint8_t> sent;
  int others = 0;
  for (WireMessage m; recorder.ReadMessage(m);) {
    if (m.code == msg::LIVE_REQ) {
      EXPECT_EQ(m.payload, request);
      ++others;
      continue;
    }
    ASSERT_EQ(m.code, msg::FW_DATA);
    sent.insert(sent.end(), m.payload.begin(), m.payload.end());
    if (m.streamFlags & 0x4000) break;
  }
  stop = true;
  other.join();
  EXPECT_EQ(sent, file);
  EXPECT_GT(others, 0);
}

TEST_F(FirmwareUploadTest, AnAccountOtherThanZeroMayNotUpgrade) {
  Connect(2);
  folder.Write("other.bin", ComponentImage("OTHER_NAME", kOtherBuild + 1));
  EXPECT_EQ(upgrade.BeginCommand(folder.Path()), kNoticeNotPermitted);
  EXPECT_FALSE(upgrade.Rows()[1].Selected());
}

}  // namespace
}  // namespace orva
