// PTZ requests over a scripted recorder: the key tables of both modes, the
// preset byte layout, keys only during live view, availability from the
// answer, the channel choice and the running preset ended at close.
#include <gtest/gtest.h>

#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/ptz_control.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

TEST(PtzTables, KeysMapToTheirCommandsInBothModes) {
  using K = PtzKey;
  EXPECT_EQ(PtzKeyCommand(PtzMode::kPan, K::kUp), 2);
  EXPECT_EQ(PtzKeyCommand(PtzMode::kPan, K::kDown), 3);
  EXPECT_EQ(PtzKeyCommand(PtzMode::kPan, K::kLeft), 1);  // key 2 in mode 0 sends 1
  EXPECT_EQ(PtzKeyCommand(PtzMode::kPan, K::kRight), 0);
  EXPECT_EQ(PtzKeyCommand(PtzMode::kZoom, K::kUp), 4);
  EXPECT_EQ(PtzKeyCommand(PtzMode::kZoom, K::kDown), 5);
  EXPECT_EQ(PtzKeyCommand(PtzMode::kZoom, K::kLeft), 7);
  EXPECT_EQ(PtzKeyCommand(PtzMode::kZoom, K::kRight), 6);
  uint8_t bytes[4];
  EncodePtzMove(10, 300, bytes);
  EXPECT_EQ(bytes[0], 10);
  EXPECT_EQ(bytes[1], 44);
  EXPECT_EQ(bytes[2], 0);
  EXPECT_EQ(bytes[3], 1);
}

TEST(PtzTables, TheChannelChoiceSkipsPanesWithVideoLoss) {
  const int shown[4] = {4, 5, 6, 7};
  EXPECT_EQ(ChoosePtzChannel(6, shown, 4, 0), 6);        // remembered and usable
  EXPECT_EQ(ChoosePtzChannel(6, shown, 4, 1u << 6), 4);  // lost: first usable pane
  EXPECT_EQ(ChoosePtzChannel(9, shown, 4, 1u << 4), 5);  // not shown, first pane lost
  EXPECT_EQ(ChoosePtzChannel(0, shown, 4, 0xF0), -1);    // nothing qualifies
}

struct Availability : PtzObserver {
  std::atomic<int> answers{0};
  std::atomic<bool> last{false};
  void OnPtzAvailability(bool steerable) override {
    last = steerable;
    ++answers;
  }
};

class PtzControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConnectParams params{"127.0.0.1", recorder.Port(), "admin", "4711", ""};
    session = std::make_unique<DvrSession>(std::move(params), &observer, nullptr, test::FastTiming());
    ptz.Attach(*session);
    session->Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m));
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload())));
    ASSERT_TRUE(observer.WaitForIdentity());
    ASSERT_TRUE(recorder.ReadMessage(m));  // LIVE_REQ
  }
  WireMessage Next() {
    WireMessage m;
    EXPECT_TRUE(recorder.ReadMessage(m, 2s));
    return m;
  }
  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  Availability availability;
  PtzControl ptz{&availability};
  std::unique_ptr<DvrSession> session;
};

TEST_F(PtzControlTest, SelectingAChannelAndLearningWhetherItCanBeSteered) {
  ASSERT_TRUE(ptz.SelectChannel(5, PtzMode::kZoom));
  WireMessage req = Next();
  EXPECT_EQ(req.code, msg::PTZ_CHANNEL_REQ);
  EXPECT_EQ(req.payload, (std::vector<uint8_t>{5, 1, 0, 0}));
  EXPECT_EQ(ptz.Availability(), 0);
  ASSERT_TRUE(recorder.Write(Frame(msg::PTZ_CHANNEL_ACK, {2, 0, 0, 0})));
  for (int i = 0; i < 200 && availability.answers == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(availability.last);
  EXPECT_EQ(ptz.Availability(), 1);
  ASSERT_TRUE(recorder.Write(Frame(msg::PTZ_CHANNEL_ACK, {1})));
  for (int i = 0; i < 200 && availability.answers < 2; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_TRUE(availability.last);
  EXPECT_EQ(ptz.Availability(), 2);
}

TEST_F(PtzControlTest, KeysReachTheRecorderOnlyDuringLiveView) {
  ptz.SelectChannel(0, PtzMode::kPan);
  Next();
  EXPECT_FALSE(ptz.KeyPressed(PtzKey::kLeft));  // live not active yet
  EXPECT_FALSE(ptz.KeyReleased());
  session->SetLiveActive(true);
  EXPECT_TRUE(ptz.KeyPressed(PtzKey::kLeft));
  EXPECT_TRUE(ptz.KeyReleased());
  WireMessage press = Next();
  EXPECT_EQ(press.code, msg::PTZ_MOVE_REQ);
  EXPECT_EQ(press.payload, (std::vector<uint8_t>{1, 0, 0, 0}));
  WireMessage release = Next();
  EXPECT_EQ(release.code, msg::PTZ_MOVE_STOP);
  EXPECT_TRUE(release.payload.empty());
}

TEST_F(PtzControlTest, PresetsDomeMenuAndTheRunningActionEndedAtClose) {
  ptz.Preset(1, 7, true);  // alternative mode: 12
  EXPECT_EQ(Next().payload, (std::vector<uint8_t>{12, 7, 0, 0}));
  ptz.Preset(2, 300);
  EXPECT_EQ(Next().payload, (std::vector<uint8_t>{10, 44, 0, 1}));
  EXPECT_TRUE(ptz.PresetRunning());
  ptz.DomeMenu(kPtzDomeMenuAccess);
  EXPECT_TRUE(ptz.MenuMode());
  EXPECT_EQ(Next().payload[0], 13);
  ptz.DomeMenu(kPtzMenuEscape);
  EXPECT_EQ(Next().payload[0], 15);
  EXPECT_FALSE(ptz.DomeMenu(17));
  ptz.ClosePanel();  // ends the running action with its number
  EXPECT_EQ(Next().payload, (std::vector<uint8_t>{11, 44, 0, 1}));
  EXPECT_FALSE(ptz.PresetRunning());
  EXPECT_FALSE(ptz.MenuMode());
  EXPECT_EQ(ptz.Availability(), 0);
}

}  // namespace
}  // namespace orva
