// Live video over real sockets: channel information, block layout and
// fragmentation, decodable pictures, two-field frames, pacing and stopping.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <thread>

#include "live_client.h"
#include "orva/sim/simulator.h"

namespace orva::sim {
namespace {

using namespace std::chrono_literals;
using namespace test;

SimConfig FastConfig() {
  SimConfig config;
  config.port = 0;
  config.fast = true;
  config.video.fps = 5;
  config.video.loopSeconds = 1;
  config.audioChannels.fill(false);
  config.ptzChannels.fill(false);  // these tests check the looped test picture
  return config;
}

std::vector<uint8_t> Mask(uint32_t mask) {
  return {static_cast<uint8_t>(mask >> 24), static_cast<uint8_t>(mask >> 16),
          static_cast<uint8_t>(mask >> 8), static_cast<uint8_t>(mask)};
}

struct Live {
  explicit Live(SimConfig config) : sim(std::move(config)) {
    std::string error;
    EXPECT_TRUE(sim.Start(error)) << error;
    EXPECT_TRUE(client.Connect(sim.Port()));
    EXPECT_TRUE(LoginAndReadNotices(client));
  }
  // Sends LIVE_REQ and returns the channel word of the LIVE_CHANNEL_INFO.
  uint32_t Request(uint32_t mask) {
    EXPECT_TRUE(client.SendMessage(kLiveReqCode, Mask(mask)));
    RawMessage info;
    EXPECT_TRUE(client.ReadMessage(info));
    EXPECT_EQ(info.code, kLiveChannelInfoCode);
    EXPECT_EQ(info.payload.size(), 4u);
    return info.payload.size() == 4 ? BigEndian32(info.payload, 0) : 0;
  }
  // Reads `count` video frames (asserting each block's layout).
  std::vector<VideoFrame> Frames(size_t count) {
    std::vector<VideoFrame> frames;
    std::vector<RawMessage> others;
    while (frames.size() < count) {
      Block block;
      std::string error;
      if (!ReadBlock(client, block, others, error)) {
        ADD_FAILURE() << error;
        break;
      }
      VideoFrame frame;
      if (!ParseVideoBlock(block, frame, error)) {
        ADD_FAILURE() << error;
        break;
      }
      blocks.push_back(block);
      frames.push_back(frame);
    }
    EXPECT_TRUE(others.empty());
    return frames;
  }
  Simulator sim;
  RawClient client;
  std::vector<Block> blocks;
};

TEST(SimulatorLive, ChannelInfoReportsExistingChannelsAndVideoLoss) {
  SimConfig config = FastConfig();
  config.channels = 4;
  config.framesPerChannel = 3;
  config.video.videoLoss[1] = true;  // channel 2, exists
  config.video.videoLoss[8] = true;  // channel 9, beyond the channel count
  Live live(config);
  EXPECT_EQ(live.Request(0xFFFF), 0x000Fu | (0x0102u << 16));
  std::map<int, int> perChannel;
  for (const VideoFrame& frame : live.Frames(9)) ++perChannel[frame.channel];
  EXPECT_EQ(perChannel, (std::map<int, int>{{0, 3}, {2, 3}, {3, 3}}));
  EXPECT_TRUE(live.client.StaysSilent(300ms));  // frame limit reached, loss channel silent
  EXPECT_EQ(live.sim.VideoFramesSent(1), 0u);
  EXPECT_EQ(live.sim.VideoFramesSent(0), 3u);

  // A mask naming only missing channels streams nothing.
  EXPECT_EQ(live.Request(0xFFF0), 0x0102u << 16);
  EXPECT_TRUE(live.client.StaysSilent(300ms));
}

TEST(SimulatorLive, BlocksAreConsistentAndFragmented) {
  SimConfig config = FastConfig();
  config.framesPerChannel = 11;
  config.video.fragmentBytes = 1000;
  Live live(config);
  ASSERT_EQ(live.Request(0x3) & 0xFFFF, 0x3u);
  const std::vector<VideoFrame> frames = live.Frames(22);
  ASSERT_EQ(frames.size(), 22u);
  std::map<int, int> index;
  const uint32_t now = LocalWireSeconds();
  bool sawSeveralFragments = false;
  for (size_t i = 0; i < frames.size(); ++i) {
    const VideoFrame& f = frames[i];
    const Block& block = live.blocks[i];
    SCOPED_TRACE("frame " + std::to_string(i) + " channel " + std::to_string(f.channel));
    ASSERT_TRUE(f.channel == 0 || f.channel == 1);
    // Key frame on every GOP start, the loop of 5 frames restarting on one.
    EXPECT_EQ(f.key, index[f.channel] % 5 == 0);
    ++index[f.channel];
    EXPECT_EQ(f.sizeCode, 1);
    EXPECT_FALSE(f.pal);
    EXPECT_EQ(f.firstPartBytes % 16, 0u);
    EXPECT_LE(std::abs(static_cast<long long>(f.frameSecond) - now), 5);
    EXPECT_EQ(f.captureSeconds, f.frameSecond);
    EXPECT_LT(f.captureMicros, 1000000u);
    for (size_t k = 0; k < block.fragmentSizes.size(); ++k) {
      const bool last = k + 1 == block.fragmentSizes.size();
      EXPECT_EQ((block.streamFlags[k] & 0x4000) != 0, last);
      EXPECT_EQ((block.streamFlags[k] >> 6) & 0xF, f.channel);
      EXPECT_EQ(block.frameTags[k], f.frameSecond);
      if (last) {
        EXPECT_LE(block.fragmentSizes[k], 1000u);
      } else {
        EXPECT_EQ(block.fragmentSizes[k], 1000u);
      }
    }
    sawSeveralFragments |= block.fragmentSizes.size() > 1;
  }
  EXPECT_TRUE(sawSeveralFragments);
  EXPECT_EQ(index[0], 11);
  EXPECT_EQ(index[1], 11);
  EXPECT_EQ(live.sim.VideoFramesSent(0), 11u);
}

TEST(SimulatorLive, PicturesDecodeAtTheirSizeAndDifferPerChannel) {
  SimConfig config = FastConfig();
  config.video.pal = true;
  config.video.channelSizeCode[1] = 3;  // channel 2: 704 wide
  config.framesPerChannel = 5;
  Live live(config);
  live.Request(0x3);
  std::map<int, std::vector<Picture>> pictures;
  std::map<int, std::unique_ptr<H264Decoder>> decoders;
  for (const VideoFrame& frame : live.Frames(10)) {
    auto& decoder = decoders[frame.channel];
    if (!decoder) decoder = std::make_unique<H264Decoder>();
    Picture picture;
    std::string error;
    ASSERT_TRUE(decoder->Decode(frame.first, picture, error)) << error;
    pictures[frame.channel].push_back(picture);
  }
  ASSERT_EQ(pictures[0].size(), 5u);
  ASSERT_EQ(pictures[1].size(), 5u);
  EXPECT_EQ(pictures[0][0].width, 352);
  EXPECT_EQ(pictures[0][0].height, 288);
  EXPECT_EQ(pictures[1][0].width, 704);
  EXPECT_EQ(pictures[1][0].height, 288);
  // Own background colour per channel.
  const double du = pictures[0][0].MeanU() - pictures[1][0].MeanU();
  const double dv = pictures[0][0].MeanV() - pictures[1][0].MeanV();
  EXPECT_GT(std::hypot(du, dv), 10.0);
  // Something moves from frame to frame.
  const Picture& a = pictures[0][0];
  const Picture& b = pictures[0][3];
  size_t changed = 0;
  for (size_t i = 0; i < a.y.size(); ++i) changed += std::abs(a.y[i] - b.y[i]) > 40;
  EXPECT_GT(changed, 1000u);
}

TEST(SimulatorLive, SizeCodeTwoCarriesTwoDecodableFields) {
  SimConfig config = FastConfig();
  config.video.sizeCode = 2;
  config.framesPerChannel = 2;
  Live live(config);
  live.Request(0x1);
  H264Decoder first, second;
  for (const VideoFrame& frame : live.Frames(2)) {
    EXPECT_EQ(frame.sizeCode, 2);
    EXPECT_EQ(frame.secondHeader, frame.firstHeader);
    Picture even, odd;
    std::string error;
    ASSERT_TRUE(first.Decode(frame.first, even, error)) << error;
    ASSERT_TRUE(second.Decode(frame.second, odd, error)) << error;
    EXPECT_EQ(even.width, 704);
    EXPECT_EQ(even.height, 240);
    EXPECT_EQ(odd.width, 704);
    EXPECT_EQ(odd.height, 240);
    // The marker patch at the top right: dark on the even lines (first
    // field), bright on the odd lines (second field).
    EXPECT_LT(even.Luma(704 - 8 - 24, 10), 70);
    EXPECT_GT(odd.Luma(704 - 8 - 24, 10), 180);
  }
}

TEST(SimulatorLive, RealTimePacingNewRequestAndStop) {
  SimConfig config = FastConfig();
  config.fast = false;
  config.video.fps = 10;
  Live live(config);
  live.Request(0x1);
  const auto start = std::chrono::steady_clock::now();
  const std::vector<VideoFrame> frames = live.Frames(6);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // Six frames at 10 per second: about half a second (the first at once).
  EXPECT_GE(elapsed, 400ms);
  EXPECT_LE(elapsed, 1500ms);
  for (const VideoFrame& frame : frames) EXPECT_EQ(frame.channel, 0);

  // A new request replaces the mask; its frames follow the new channel info.
  ASSERT_TRUE(live.client.SendMessage(kLiveReqCode, Mask(0x2)));
  std::vector<RawMessage> others;
  Block block;
  std::string error;
  bool sawInfo = false, sawNewFrame = false;
  while (!sawNewFrame && ReadBlock(live.client, block, others, error)) {
    VideoFrame frame;
    ASSERT_TRUE(ParseVideoBlock(block, frame, error)) << error;
    for (const RawMessage& m : others) sawInfo |= m.code == kLiveChannelInfoCode;
    if (!sawInfo) continue;  // frames of the old request still on the way
    EXPECT_EQ(frame.channel, 1);
    EXPECT_TRUE(frame.key);
    sawNewFrame = true;
  }
  EXPECT_TRUE(sawNewFrame) << error;

  ASSERT_TRUE(live.client.SendMessage(kLiveStopCode, {}));
  bool acked = false;
  RawMessage message;
  while (!acked && live.client.ReadMessage(message)) acked = message.code == kLiveStopAckCode;
  EXPECT_TRUE(acked);
  EXPECT_TRUE(live.client.StaysSilent(300ms));
}

TEST(SimulatorLive, MalformedRequestIsRefusedAndTheSessionGoesOn) {
  Live live(FastConfig());
  ASSERT_TRUE(live.client.SendMessage(kLiveReqCode, {0, 1}));
  RawMessage nack;
  ASSERT_TRUE(live.client.ReadMessage(nack));
  EXPECT_EQ(nack.code, kLiveNackCode);
  ASSERT_EQ(nack.payload.size(), 4u);
  EXPECT_EQ(BigEndian32(nack.payload, 0), 2u);
  EXPECT_EQ(live.Request(0x1) & 0xFFFF, 1u);
}

TEST(SimulatorLive, StopEndsAStreamToAClientThatDoesNotRead) {
  SimConfig config = FastConfig();
  config.video.fragmentBytes = 65535;
  auto live = std::make_unique<Live>(config);
  live->Request(0x3);
  // Nobody reads: the fast stream fills the socket buffers and then blocks.
  const auto limit = std::chrono::steady_clock::now() + 10s;
  uint64_t before = 0, after = 1;
  while (before != after && std::chrono::steady_clock::now() < limit) {
    before = live->sim.VideoFramesSent(0);
    std::this_thread::sleep_for(200ms);
    after = live->sim.VideoFramesSent(0);
    if (after == 0) before = 1;  // still encoding
  }
  ASSERT_EQ(before, after) << "the stream never blocked";
  const auto start = std::chrono::steady_clock::now();
  live->sim.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
}

}  // namespace
}  // namespace orva::sim
