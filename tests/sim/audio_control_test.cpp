// Live sound and the device-control answers over real sockets.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "live_client.h"
#include "orva/sim/simulator.h"

namespace orva::sim {
namespace {

using namespace std::chrono_literals;
using namespace test;

constexpr uint16_t kRecOnReq = 32, kRecOnAck = 33, kRecOnNack = 34, kRecOffReq = 35,
                   kRecOffAck = 36, kRecOffNack = 37, kDvrTimeReq = 126, kDvrTimeAck = 127,
                   kRecStatus = 256, kListenReq = 272, kListenAck = 273, kListenNack = 274,
                   kRebootReq = 342, kRebootAck = 343, kPowerOffReq = 345, kPowerOffAck = 346;

struct Session {
  explicit Session(SimConfig config) : sim([&] {
    config.port = 0;
    return config;
  }()) {
    std::string error;
    EXPECT_TRUE(sim.Start(error)) << error;
    EXPECT_TRUE(client.Connect(sim.Port()));
    EXPECT_TRUE(LoginAndReadNotices(client, &notices));
  }
  RawMessage Ask(uint16_t code, bool audio = false) {
    if (audio) {
      std::vector<uint8_t> header = EncodeHeader(code, 0, true);
      EXPECT_TRUE(client.SendBytes(header));
    } else {
      EXPECT_TRUE(client.SendMessage(code, {}));
    }
    RawMessage answer;
    EXPECT_TRUE(client.ReadMessage(answer));
    return answer;
  }
  Simulator sim;
  RawClient client;
  std::vector<RawMessage> notices;
};

// Half-cycles counted with hysteresis, so that noise near zero does not count.
int ZeroCrossings(const std::vector<int16_t>& s, size_t begin, size_t end) {
  int crossings = 0, sign = 0;
  for (size_t i = begin; i < end; ++i) {
    const int now = s[i] > 1000 ? 1 : s[i] < -1000 ? -1 : 0;
    if (now != 0 && sign != 0 && now != sign) ++crossings;
    if (now != 0) sign = now;
  }
  return crossings;
}

TEST(SimulatorAudio, SoundFollowsTheSwitchAndDecodesToEachChannelsTone) {
  SimConfig config;
  config.fast = true;
  config.video.fps = 4;
  config.video.loopSeconds = 1;
  config.audioChannels = {};
  config.audioChannels[0] = config.audioChannels[1] = config.audioChannels[2] = true;
  Session s(config);
  ASSERT_TRUE(s.client.SendMessage(kLiveReqCode, {0, 0, 0, 3}));  // channels 1 and 2

  std::vector<RawMessage> others;
  Block block;
  std::string error;
  for (int i = 0; i < 20; ++i) {  // ten seconds of stream time without sound
    ASSERT_TRUE(ReadBlock(s.client, block, others, error)) << error;
    EXPECT_FALSE(IsAudioBlock(block));
    EXPECT_FALSE(block.audioFlag);
  }
  EXPECT_EQ(s.sim.AudioFramesSent(), 0u);

  ASSERT_TRUE(s.client.SendBytes(EncodeHeader(kAudioOnOffCode, 0, true)));
  std::map<int, std::vector<AudioFrame>> frames;
  bool flagOn = false;
  while (frames[0].size() < 4 || frames[1].size() < 4) {
    ASSERT_TRUE(ReadBlock(s.client, block, others, error)) << error;
    if (flagOn) {
      ASSERT_TRUE(block.audioFlag) << "flag fell back while audio is on";
    }
    flagOn |= block.audioFlag;
    if (!IsAudioBlock(block)) continue;
    EXPECT_TRUE(block.audioFlag);
    AudioFrame frame;
    ASSERT_TRUE(ParseAudioBlock(block, frame, error)) << error;
    EXPECT_EQ(block.bytes.size(), 4u + 128 + 4016);
    EXPECT_EQ(frame.frameLength, 4016u);
    EXPECT_EQ(frame.channelMask, 1u << frame.channel);
    ASSERT_NE(frame.channel, 2) << "channel 3 has sound but is not streamed";
    frames[frame.channel].push_back(frame);
  }

  for (int channel = 0; channel < 2; ++channel) {
    SCOPED_TRACE("audio channel " + std::to_string(channel));
    const std::vector<AudioFrame>& list = frames[channel];
    for (size_t k = 0; k + 1 < list.size(); ++k) {
      int16_t predictor = list[k].predictor;
      int index = list[k].stepIndex;
      const std::vector<int16_t> pcm = DecodeAdpcm(list[k].adpcm, predictor, index);
      ASSERT_EQ(pcm.size(), 8000u);
      // The coder's state runs on: the next header starts where this frame ended.
      EXPECT_EQ(list[k + 1].predictor, predictor);
      EXPECT_EQ(list[k + 1].stepIndex, index);
      // 0.4 s of tone at 400 + 100 x channel Hz, then silence.
      const double hz = ZeroCrossings(pcm, 0, 6400) / 2.0 / 0.4;
      EXPECT_NEAR(hz, 400 + 100 * channel, 10);
      int loudest = 0;
      for (size_t i = 6500; i < 8000; ++i) loudest = std::max(loudest, std::abs(int{pcm[i]}));
      EXPECT_LT(loudest, 300);
    }
  }
  EXPECT_GE(s.sim.AudioFramesSent(0), 4u);
  EXPECT_EQ(s.sim.AudioFramesSent(2), 0u);

  // Off again: once the flag is clear no sound follows.
  ASSERT_TRUE(s.client.SendBytes(EncodeHeader(kAudioOnOffCode, 0, false)));
  // Whatever the socket buffers hold from before the switch comes first.
  bool flagOff = false;
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (!flagOff && std::chrono::steady_clock::now() < until) {
    ASSERT_TRUE(ReadBlock(s.client, block, others, error)) << error;
    flagOff = !block.audioFlag;
  }
  ASSERT_TRUE(flagOff);
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(ReadBlock(s.client, block, others, error)) << error;
    EXPECT_FALSE(block.audioFlag);
    EXPECT_FALSE(IsAudioBlock(block));
  }
}

TEST(SimulatorDevice, RecordingListenClockAndDaylightSaving) {
  Session s(SimConfig{});
  const RawMessage& dst = s.notices.at(3);  // DST_INFO, before the two tables
  ASSERT_EQ(dst.payload.size(), 1204u);
  EXPECT_EQ(BigEndian32(dst.payload, 0), 1u);

  RawMessage answer = s.Ask(kRecOnReq);
  EXPECT_EQ(answer.code, kRecOnAck);
  ASSERT_EQ(answer.payload.size(), 4u);
  EXPECT_EQ(BigEndian32(answer.payload, 0), 49u);
  RawMessage status;
  ASSERT_TRUE(s.client.ReadMessage(status));
  EXPECT_EQ(status.code, kRecStatus);
  ASSERT_EQ(status.payload.size(), 16u);
  EXPECT_EQ(BigEndian32(status.payload, 4), 1u);
  EXPECT_TRUE(s.sim.Recording());

  answer = s.Ask(kRecOffReq);
  EXPECT_EQ(answer.code, kRecOffAck);
  EXPECT_EQ(BigEndian32(answer.payload, 0), 50u);
  ASSERT_TRUE(s.client.ReadMessage(status));
  EXPECT_EQ(status.code, kRecStatus);
  EXPECT_EQ(BigEndian32(status.payload, 4), 7u);
  EXPECT_FALSE(s.sim.Recording());

  answer = s.Ask(kListenReq);
  EXPECT_EQ(answer.code, kListenAck);
  EXPECT_TRUE(answer.payload.empty());

  answer = s.Ask(kDvrTimeReq);
  EXPECT_EQ(answer.code, kDvrTimeAck);
  ASSERT_EQ(answer.payload.size(), 4u);
  EXPECT_LE(std::abs(static_cast<long long>(BigEndian32(answer.payload, 0)) - LocalWireSeconds()),
            5);

  // The audio switch is answered by nothing, but every later message carries it.
  ASSERT_TRUE(s.client.SendBytes(EncodeHeader(kAudioOnOffCode, 0, true)));
  answer = s.Ask(kListenReq);
  EXPECT_TRUE(answer.audioFlag);
}

TEST(SimulatorDevice, ConfiguredRefusals) {
  SimConfig config;
  config.recOnNack = 65;
  config.recOffNack = 66;
  config.listenNack = 53;
  Session s(config);
  const std::pair<uint16_t, std::pair<uint16_t, uint32_t>> cases[] = {
      {kRecOnReq, {kRecOnNack, 65}}, {kRecOffReq, {kRecOffNack, 66}},
      {kListenReq, {kListenNack, 53}}};
  for (const auto& [request, expected] : cases) {
    const RawMessage answer = s.Ask(request);
    EXPECT_EQ(answer.code, expected.first);
    ASSERT_EQ(answer.payload.size(), 4u);
    EXPECT_EQ(BigEndian32(answer.payload, 0), expected.second);
  }
  EXPECT_FALSE(s.sim.Recording());
  EXPECT_TRUE(s.client.StaysSilent(200ms));  // no REC_STATUS after a refusal
}

TEST(SimulatorDevice, RebootAndPowerOffAnswerLastThenClose) {
  SimConfig config;
  config.video.fps = 10;
  config.video.loopSeconds = 1;
  Session s(config);
  // While live video runs, the answer must still be the last message.
  ASSERT_TRUE(s.client.SendMessage(kLiveReqCode, {0, 0, 0, 1}));
  std::vector<RawMessage> others;
  Block block;
  std::string error;
  ASSERT_TRUE(ReadBlock(s.client, block, others, error)) << error;
  ASSERT_TRUE(s.client.SendMessage(kRebootReq, {}));
  RawMessage message;
  bool acked = false;
  while (!acked && s.client.ReadMessage(message)) acked = message.code == kRebootAck;
  ASSERT_TRUE(acked);
  size_t extra = 1;
  EXPECT_TRUE(s.client.WaitClosed(2s, &extra));
  EXPECT_EQ(extra, 0u);

  RawClient next;
  ASSERT_TRUE(next.Connect(s.sim.Port()));
  ASSERT_TRUE(LoginAndReadNotices(next));
  ASSERT_TRUE(next.SendMessage(kPowerOffReq, {}));
  ASSERT_TRUE(next.ReadMessage(message));
  EXPECT_EQ(message.code, kPowerOffAck);
  EXPECT_TRUE(next.WaitClosed(2s, &extra));
  EXPECT_EQ(extra, 0u);
}

}  // namespace
}  // namespace orva::sim
