// Recording on and off with the rights and password rules, the recording
// state the answers set, listen with its guard, reboot, the clock and the
// daylight-saving table, over a scripted recorder.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/device_control.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

struct Answers : DeviceObserver {
  std::mutex lock;
  std::vector<bool> recording;
  std::vector<uint32_t> times;
  void OnRecordingChanged(bool on) override {
    std::lock_guard g(lock);
    recording.push_back(on);
  }
  void OnDvrTime(uint32_t t) override {
    std::lock_guard g(lock);
    times.push_back(t);
  }
};

class DeviceControlTest : public ::testing::Test {
 protected:
  void Connect(uint8_t account = 0) {
    ConnectParams params{"127.0.0.1", recorder.Port(), "admin", "Secret", ""};
    session = std::make_unique<DvrSession>(std::move(params), &observer, nullptr, test::FastTiming());
    device.Attach(*session);
    session->Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage hello;
    ASSERT_TRUE(recorder.ReadMessage(hello));
    auto identity = ScriptedRecorder::IdentityPayload();
    identity[7] = account;
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, identity)));
    ASSERT_TRUE(observer.WaitForIdentity());
    WireMessage live;
    ASSERT_TRUE(recorder.ReadMessage(live));
  }
  void Sync() {
    ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(3))));
    ++marks;
    for (int i = 0; i < 300; ++i) {
      auto n = observer.Notices();
      if (std::count(n.begin(), n.end(), Notice{3, 2}) >= marks) {
        session->SetConnected(true);  // the marker's goodbye cleared it
        return;
      }
      std::this_thread::sleep_for(10ms);
    }
    FAIL() << "the receive loop did not get there";
  }
  uint16_t NextCode() {
    WireMessage m;
    return recorder.ReadMessage(m, 1s) ? m.code : 0;
  }

  std::chrono::steady_clock::time_point now{};
  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  Answers answers;
  DeviceControl device{&answers, [this] { return now; }};
  std::unique_ptr<DvrSession> session;
  int marks = 0;
};

TEST_F(DeviceControlTest, RecordingFollowsTheAnswersAndTheStatus) {
  Connect();
  EXPECT_EQ(device.ToggleRecording(true, nullptr), RequestOutcome::kSent);
  EXPECT_EQ(NextCode(), msg::REC_ON_REQ);
  ASSERT_TRUE(recorder.Write(Frame(msg::REC_ON_ACK, Be32(50))));  // 50 after REC_ON: not recording
  Sync();
  EXPECT_FALSE(device.Recording());
  ASSERT_TRUE(recorder.Write(Frame(msg::REC_ON_ACK, Be32(49))));
  Sync();
  EXPECT_TRUE(device.Recording());
  ASSERT_TRUE(recorder.Write(Frame(msg::REC_OFF_ACK, Be32(49))));  // 49 after REC_OFF: still recording
  Sync();
  EXPECT_TRUE(device.Recording());
  std::vector<uint8_t> status = Be32(0);
  for (int32_t w : {7, 0, 0}) {
    auto b = Be32(w);
    status.insert(status.end(), b.begin(), b.end());
  }
  ASSERT_TRUE(recorder.Write(Frame(msg::REC_STATUS, std::vector<uint8_t>(status.begin(), status.begin() + 12))));
  Sync();
  EXPECT_TRUE(device.Recording());  // 12 bytes change nothing
  ASSERT_TRUE(recorder.Write(Frame(msg::REC_STATUS, status)));
  Sync();
  EXPECT_FALSE(device.Recording());  // second word 7: not recording
  ASSERT_TRUE(recorder.Write(Frame(msg::REC_ON_NACK, Be32(65))));
  ASSERT_TRUE(recorder.Write(Frame(msg::REC_OFF_NACK, Be32(9))));  // traced only
  ASSERT_TRUE(recorder.Write(Frame(msg::REC_STATUS_COMPANION, std::vector<uint8_t>(12, 0))));
  Sync();
  EXPECT_TRUE(observer.WaitForNotice({5, 1}));
}

TEST_F(DeviceControlTest, StoppingRecordingNeedsTheRightAndTheExactPassword) {
  Connect();
  ASSERT_TRUE(recorder.Write(Frame(msg::REC_ON_ACK, Be32(51))));
  Sync();
  ASSERT_TRUE(device.Recording());
  int asked = 0;
  auto typed = [&](std::string text) {
    return [&asked, text] {
      ++asked;
      return std::optional<std::string>(text);
    };
  };
  EXPECT_EQ(device.ToggleRecording(false, typed("Secret")), RequestOutcome::kNotPermitted);
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(observer.WaitForNotice(kNoticeNotPermitted));
  EXPECT_EQ(device.ToggleRecording(true, typed("secret")), RequestOutcome::kWrongPassword);  // case counts
  EXPECT_EQ(device.ToggleRecording(true, [] { return std::optional<std::string>(); }), RequestOutcome::kCancelled);
  EXPECT_EQ(device.ToggleRecording(true, typed("Secret")), RequestOutcome::kSent);
  EXPECT_EQ(NextCode(), msg::REC_OFF_REQ);
  EXPECT_EQ(NextCode(), 0);  // nothing else went out
}

TEST_F(DeviceControlTest, ListenIsGuardedForTwoSecondsAndOnlyForAccountZero) {
  Connect();
  EXPECT_EQ(device.Listen(false), RequestOutcome::kSuppressed);
  EXPECT_EQ(device.Listen(true), RequestOutcome::kSent);
  now += 1999ms;
  EXPECT_EQ(device.Listen(true), RequestOutcome::kSuppressed);
  now += 1ms;
  EXPECT_EQ(device.Listen(true), RequestOutcome::kSent);
  EXPECT_EQ(NextCode(), msg::A_LISTEN_REQ);
  EXPECT_EQ(NextCode(), msg::A_LISTEN_REQ);
  ASSERT_TRUE(recorder.Write(Frame(msg::A_LISTEN_NACK, Be32(54))));
  EXPECT_TRUE(observer.WaitForNotice({12, 0}));
}

TEST_F(DeviceControlTest, ListenFromAnotherAccountIsNotPermitted) {
  Connect(2);
  EXPECT_EQ(device.Listen(true), RequestOutcome::kNotPermitted);
  EXPECT_TRUE(observer.WaitForNotice(kNoticeNotPermitted));
}

TEST_F(DeviceControlTest, RebootTimeAndDaylightSavingTable) {
  Connect();
  EXPECT_EQ(device.Reboot(false), RequestOutcome::kNotPermitted);
  EXPECT_EQ(device.Reboot(true), RequestOutcome::kSent);
  EXPECT_EQ(NextCode(), msg::REBOOT_REQ);
  ASSERT_TRUE(recorder.Write(Frame(msg::REBOOT_NACK, Be32(2))));
  EXPECT_TRUE(observer.WaitForNotice({6, 1}));

  EXPECT_EQ(device.RequestTime(), RequestOutcome::kSent);
  EXPECT_EQ(NextCode(), msg::DVR_TIME_REQ);
  ASSERT_TRUE(recorder.Write(Frame(msg::DVR_TIME_ACK, Be32(1260180930))));

  ASSERT_TRUE(recorder.Write(Frame(msg::DST_INFO, std::vector<uint8_t>(1203, 1))));  // wrong size: ignored
  std::vector<uint8_t> dst(1204, 0xAB);
  dst[0] = 0;
  dst[1] = 0;
  dst[2] = 0;
  dst[3] = 5;
  ASSERT_TRUE(recorder.Write(Frame(msg::DST_INFO, dst)));
  Sync();
  {
    std::lock_guard g(answers.lock);
    EXPECT_EQ(answers.times, (std::vector<uint32_t>{1260180930}));
  }
  auto table = device.DstTable();
  ASSERT_TRUE(table.has_value());
  ASSERT_EQ(table->size(), 1204u);
  uint32_t first;
  std::memcpy(&first, table->data(), 4);
  EXPECT_EQ(first, 5u);  // host order
  EXPECT_EQ((*table)[4], 0xAB);
}

}  // namespace
}  // namespace orva
