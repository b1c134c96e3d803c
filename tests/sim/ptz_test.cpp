// PTZ: channel selection answers, camera moves held until stop, presets, the
// dome menu, and the live pictures of a steered channel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <thread>

#include "live_client.h"
#include "orva/sim/simulator.h"

namespace orva::sim {
namespace {

using namespace std::chrono_literals;
using namespace test;

constexpr uint16_t kPtzChannelReq = 282, kPtzChannelAck = 283, kPtzMoveReq = 284,
                   kPtzMoveStop = 285;

SimConfig PtzConfig(int sizeCode = 1) {
  SimConfig config;
  config.port = 0;
  config.video.fps = 10;
  config.video.sizeCode = sizeCode;
  config.audioChannels.fill(false);
  return config;
}

std::vector<uint8_t> Move(int command, int preset = 0) {
  return {static_cast<uint8_t>(command), static_cast<uint8_t>(preset & 0xFF), 0,
          static_cast<uint8_t>(preset >> 8)};
}

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = 3000ms) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return pred();
}

double MeanLumaDifference(const Picture& a, const Picture& b) {
  if (a.y.size() != b.y.size() || a.y.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.y.size(); ++i) sum += std::abs(int(a.y[i]) - int(b.y[i]));
  return sum / static_cast<double>(a.y.size());
}

struct PtzSession {
  explicit PtzSession(SimConfig config) : sim(std::move(config)) {
    std::string error;
    EXPECT_TRUE(sim.Start(error)) << error;
    EXPECT_TRUE(client.Connect(sim.Port()));
    EXPECT_TRUE(LoginAndReadNotices(client));
  }
  // Selects a channel and returns the first byte of the answer (0 if none).
  int Select(uint8_t channel) {
    EXPECT_TRUE(client.SendMessage(kPtzChannelReq, {channel, 0, 0, 0}));
    RawMessage ack;
    if (!client.ReadMessage(ack) || ack.code != kPtzChannelAck || ack.payload.empty()) return 0;
    return ack.payload[0];
  }
  void StartLive(uint32_t mask) {
    EXPECT_TRUE(client.SendMessage(16, {0, 0, static_cast<uint8_t>(mask >> 8),
                                        static_cast<uint8_t>(mask)}));
    RawMessage info;
    EXPECT_TRUE(client.ReadMessage(info));
    EXPECT_EQ(info.code, 17);
  }
  // Reads and decodes `count` frames of channel 0; returns the last picture.
  Picture Frames(int count) {
    Picture picture;
    for (int i = 0; i < count; ++i) {
      Block block;
      VideoFrame frame;
      std::string error;
      std::vector<RawMessage> others;
      if (!ReadBlock(client, block, others, error) || !ParseVideoBlock(block, frame, error) ||
          !decoder.Decode(frame.first, picture, error)) {
        ADD_FAILURE() << error;
        break;
      }
      EXPECT_EQ(frame.channel, 0);
    }
    return picture;
  }
  Simulator sim;
  RawClient client;
  H264Decoder decoder;
};

TEST(SimulatorPtz, ChannelAckTellsSteerableChannelsAndMovesReachTheLog) {
  SimConfig config = PtzConfig();
  config.ptzChannels = {};
  config.ptzChannels[0] = config.ptzChannels[2] = true;
  config.channels = 2;  // channel 3 is configured steerable but does not exist
  PtzSession s(config);
  EXPECT_EQ(s.Select(0), 1);
  EXPECT_EQ(s.Select(1), 2);
  EXPECT_EQ(s.Select(2), 2);
  EXPECT_EQ(s.Select(16), 2);  // out of range
  // A held move on the fixed channel changes nothing.
  EXPECT_EQ(s.Select(1), 2);
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(0)));
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(9, 300)));
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveStop, {}));
  ASSERT_TRUE(s.sim.WaitForMessage(kPtzMoveStop, 2000ms));
  std::vector<ReceivedMessage> moves;
  for (const ReceivedMessage& m : s.sim.Received()) {
    if (m.code == kPtzMoveReq || m.code == kPtzMoveStop) moves.push_back(m);
  }
  ASSERT_EQ(moves.size(), 3u);
  EXPECT_EQ(moves[1].payload, (std::vector<uint8_t>{9, 44, 0, 1}));
  EXPECT_TRUE(moves[2].payload.empty());
  EXPECT_EQ(s.sim.PtzPosition(1).x, 0);
  EXPECT_EQ(s.sim.PtzPosition(0).x, 352 * 4 / 2);  // untouched, in the middle
}

class SimulatorPtzLive : public ::testing::TestWithParam<int> {};

TEST_P(SimulatorPtzLive, HeldPanMovesPictureUntilStop) {
  PtzSession s(PtzConfig(GetParam()));
  ASSERT_EQ(s.Select(0), 1);
  const PtzState start = s.sim.PtzPosition(0);
  s.StartLive(1);
  const Picture before = s.Frames(4);
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(0)));
  s.Frames(6);
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveStop, {}));
  s.Frames(4);  // frames already under way when the stop arrived
  const PtzState moved = s.sim.PtzPosition(0);
  EXPECT_GT(moved.x, start.x);
  EXPECT_EQ(moved.y, start.y);
  EXPECT_EQ(moved.zoom, 100);
  const Picture after = s.Frames(3);
  const Picture later = s.Frames(5);
  const PtzState still = s.sim.PtzPosition(0);
  EXPECT_EQ(still.x, moved.x);
  EXPECT_EQ(still.y, moved.y);
  EXPECT_GT(MeanLumaDifference(before, after), 5.0);
  EXPECT_LT(MeanLumaDifference(after, later), 2.0);
}

INSTANTIATE_TEST_SUITE_P(SizeCodes, SimulatorPtzLive, ::testing::Values(1, 0, 2));

TEST(SimulatorPtz, PresetRecallReturnsToStoredPosition) {
  PtzSession s(PtzConfig());
  ASSERT_EQ(s.Select(0), 1);
  s.StartLive(1);
  s.Frames(2);
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(4)));  // zoom in
  s.Frames(4);
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveStop, {}));
  s.Frames(3);
  const PtzState stored = s.sim.PtzPosition(0);
  EXPECT_GT(stored.zoom, 100);
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(9, 300)));
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(3)));  // tilt down
  s.Frames(5);
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveStop, {}));
  s.Frames(3);
  const PtzState elsewhere = s.sim.PtzPosition(0);
  EXPECT_GT(elsewhere.y, stored.y);
  // Recalling a preset never stored changes nothing; the stored one returns.
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(12, 301)));
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(12, 300)));
  EXPECT_TRUE(WaitUntil([&] { return s.sim.PtzPosition(0).y == stored.y; }));
  const PtzState back = s.sim.PtzPosition(0);
  EXPECT_EQ(back.x, stored.x);
  EXPECT_EQ(back.zoom, stored.zoom);
}

TEST(SimulatorPtz, DomeMenuOpensMovesHighlightAndCloses) {
  PtzSession s(PtzConfig());
  ASSERT_EQ(s.Select(0), 1);
  s.StartLive(1);
  const Picture plain = s.Frames(3);
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(13)));
  ASSERT_TRUE(WaitUntil([&] { return s.sim.PtzPosition(0).menuOpen; }));
  EXPECT_EQ(s.sim.PtzPosition(0).menuRow, 0);
  for (int command : {3, 3, 2}) {  // down, down, up
    ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(command)));
    ASSERT_TRUE(s.client.SendMessage(kPtzMoveStop, {}));
  }
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(14)));
  EXPECT_TRUE(WaitUntil([&] { return s.sim.PtzPosition(0).menuRow == 1; }));
  s.Frames(3);
  const Picture withMenu = s.Frames(2);
  EXPECT_GT(MeanLumaDifference(plain, withMenu), 3.0);  // the box is drawn
  const PtzState open = s.sim.PtzPosition(0);
  EXPECT_EQ(open.x, 352 * 4 / 2);  // keys inside the menu do not move the camera
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(2)));  // up wraps to the last row
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(2)));
  EXPECT_TRUE(WaitUntil([&] { return s.sim.PtzPosition(0).menuRow == 3; }));
  ASSERT_TRUE(s.client.SendMessage(kPtzMoveReq, Move(16)));
  EXPECT_TRUE(WaitUntil([&] { return !s.sim.PtzPosition(0).menuOpen; }));
}

}  // namespace
}  // namespace orva::sim
