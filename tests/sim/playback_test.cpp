// Remote playback against a one-minute archive of two channels: credit,
// order and decodability of the frames, speeds, re-positioning, steps, the
// ends of the recordings, event playback and the playback faults.
#include <gtest/gtest.h>

#include <map>

#include "archive_client.h"

namespace orva::sim {
namespace {

using namespace std::chrono_literals;
using namespace test;

const uint32_t kStart = WireTime(2024, 3, 10, 12, 0, 0);
const uint32_t kEnd = kStart + 60;

SimConfig PlaybackConfig() {
  SimConfig config;
  config.channels = 2;
  config.fast = true;
  config.video.fps = 5;
  config.video.fragmentBytes = 1000;
  config.ptzChannels.fill(false);
  config.archive.start = kStart;
  config.archive.end = kEnd;
  config.archive.events.clear();
  return config;
}

struct Player : Session {
  explicit Player(SimConfig config) : Session(std::move(config)) {}
  // PLAY_ON_REQ; returns the PLAY_CHANNEL_INFO mask after checking the ACK.
  uint32_t Play(uint32_t mask, uint8_t kinds, uint32_t start, uint32_t end = 0) {
    EXPECT_TRUE(client.SendMessage(kPlayOnReqCode, PlayRequest(mask, kinds, start, end)));
    RawMessage info, ack;
    EXPECT_TRUE(client.ReadMessage(info) && client.ReadMessage(ack));
    EXPECT_EQ(info.code, kPlayChannelInfoCode);
    EXPECT_EQ(ack.code, kPlayOnAckCode);
    return info.payload.size() >= 4 ? BigEndian32(info.payload, 0) : 0;
  }
  void Send(uint16_t code, const std::vector<uint8_t>& payload = {}) {
    EXPECT_TRUE(client.SendMessage(code, payload));
  }
  // Grants `credit` and reads `count` video frames (audio goes to `audio`).
  std::vector<PlayFrame> Frames(uint32_t credit, size_t count,
                                std::vector<PlayFrame>* audio = nullptr) {
    if (credit > 0) Send(kRplayCreditCode, Word(credit));
    std::vector<PlayFrame> frames;
    while (frames.size() < count) {
      PlayFrame frame;
      std::string error;
      if (!ReadPlayFrame(client, frame, others, error)) {
        ADD_FAILURE() << error << " after " << frames.size() << " frames";
        break;
      }
      if (frame.video) {
        frames.push_back(frame);
      } else if (audio != nullptr) {
        audio->push_back(frame);
      }
    }
    return frames;
  }
  bool Got(uint16_t code) const {
    return std::any_of(others.begin(), others.end(),
                       [code](const RawMessage& m) { return m.code == code; });
  }
  std::vector<RawMessage> others;
};

TEST(SimulatorPlayback, ForwardPlaybackKeepsToTheCreditAndDecodes) {
  Player p(PlaybackConfig());
  ASSERT_TRUE(p.client.SendBytes(EncodeHeader(kAudioOnOffCode, 0, true)));  // sound on
  EXPECT_EQ(p.Play(0xFFFF, 0, kStart + 50), 0x3u);
  EXPECT_TRUE(p.client.StaysSilent(300ms));  // no credit yet

  std::vector<PlayFrame> audio;
  std::vector<PlayFrame> frames = p.Frames(7, 7, &audio);
  ASSERT_EQ(frames.size(), 7u);
  EXPECT_TRUE(p.client.StaysSilent(300ms));  // audio does not use credit, video did
  for (size_t i = 0; i < frames.size(); ++i) {
    const PlayFrame& f = frames[i];
    EXPECT_EQ(f.frame.channel, static_cast<int>(i % 2));
    EXPECT_EQ(f.Micros(), uint64_t{kStart + 50} * 1000000 + i / 2 * 200000) << i;
    EXPECT_EQ(f.frame.key, i < 2);
    EXPECT_EQ(f.speedCode, 11);
    EXPECT_EQ(f.second, kStart + 50);
  }
  ASSERT_EQ(audio.size(), 2u);  // the sound of 50.0 and 50.5, channel 1 only

  std::vector<PlayFrame> rest = p.Frames(1000, 110 - 7, &audio);
  frames.insert(frames.end(), rest.begin(), rest.end());
  RawMessage done;
  ASSERT_TRUE(p.client.ReadMessage(done));
  EXPECT_EQ(done.code, kPlayOnDoneCode);
  EXPECT_TRUE(p.client.StaysSilent(300ms));
  EXPECT_EQ(audio.size(), 22u);
  for (const PlayFrame& a : audio) EXPECT_EQ(a.audio.channel, 0);

  std::map<std::pair<int, uint32_t>, int> perSecond;
  uint64_t previous = 0;
  H264Decoder decoder;
  bool fragmented = false;
  for (const PlayFrame& f : frames) {
    EXPECT_GE(f.Micros(), previous);
    previous = f.Micros();
    ++perSecond[{f.frame.channel, f.second}];
    fragmented |= f.fragmentSizes.size() > 1;
    if (f.frame.channel != 0) continue;
    Picture picture;
    std::string error;
    ASSERT_TRUE(decoder.Decode(f.frame.first, picture, error)) << error;
    EXPECT_EQ(picture.width, 352);
    EXPECT_EQ(picture.height, 240);
  }
  EXPECT_TRUE(fragmented);
  EXPECT_EQ(perSecond.size(), 22u);  // seconds 50-60 of both channels ...
  for (const auto& [key, count] : perSecond) EXPECT_EQ(count, 5);  // ... in whole GOPs
  EXPECT_EQ(frames.back().second, kEnd);
}

TEST(SimulatorPlayback, SpeedsRepositioningAndSteps) {
  Player p(PlaybackConfig());
  p.Play(0x3, 0, kStart);
  p.Frames(2, 2);
  for (const uint16_t code : {12, 13, 14, 11}) {
    SCOPED_TRACE("speed code " + std::to_string(code));
    p.Send(kRplayForwardCode);
    const std::vector<PlayFrame> frames = p.Frames(4, 4);
    ASSERT_EQ(frames.size(), 4u);
    for (const PlayFrame& f : frames) {
      EXPECT_EQ(f.speedCode, code);
      if (code != 11) {
        EXPECT_TRUE(f.frame.key && f.frame.captureMicros == 0);
      }
    }
    if (code != 11) {
      EXPECT_EQ(frames[2].second, frames[0].second + 1);  // a key per second
    }
  }

  // Back from a given time: RPLAY_SYNC first, then key frames going back.
  p.Send(kRplayBackwardCode, PlayRequest(0x3, 0, kStart + 31, 0));
  const std::vector<PlayFrame> back = p.Frames(6, 6);
  ASSERT_EQ(back.size(), 6u);
  ASSERT_FALSE(p.others.empty());
  EXPECT_EQ(p.others.back().code, kRplaySyncCode);
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i].second, kStart + 31 - i / 2);
    EXPECT_EQ(back[i].frame.channel, static_cast<int>(i % 2));
    EXPECT_TRUE(back[i].frame.key);
    EXPECT_EQ(back[i].speedCode, 9);
    H264Decoder fresh;  // each reverse frame decodes on its own
    Picture picture;
    std::string error;
    EXPECT_TRUE(fresh.Decode(back[i].frame.first, picture, error)) << error;
  }
  p.Send(kRplayBackwardCode);
  const std::vector<PlayFrame> faster = p.Frames(2, 2);
  ASSERT_EQ(faster.size(), 2u);
  EXPECT_EQ(faster[0].speedCode, 8);
  EXPECT_EQ(faster[0].second, kStart + 28);

  // Steps: one frame of each step channel, forward the next frame, backward
  // the key frame before the position.
  p.Send(kRplayPauseCode);
  p.Send(kRplayStepChannelsCode, Word(0x2));
  struct Step {
    uint16_t code;
    uint32_t second, micros;
    bool key;
  };
  for (const Step& step : {Step{kRplayStepFwdCode, kStart + 28, 200000, false},
                           Step{kRplayStepBackCode, kStart + 28, 0, true},
                           Step{kRplayStepBackCode, kStart + 27, 0, true}}) {
    p.Send(step.code);
    const std::vector<PlayFrame> one = p.Frames(5, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].frame.channel, 1);
    EXPECT_EQ(one[0].second, step.second);
    EXPECT_EQ(one[0].frame.captureMicros, step.micros);
    EXPECT_EQ(one[0].frame.key, step.key);
    EXPECT_TRUE(p.client.StaysSilent(200ms));
  }
  p.Send(kRplayStopCode);
  RawMessage off;
  ASSERT_TRUE(p.client.ReadMessage(off));
  EXPECT_EQ(off.code, kPlayOffAckCode);
  p.Send(kRplayForwardCode);
  EXPECT_TRUE(p.client.StaysSilent(300ms));
}

TEST(SimulatorPlayback, EventPlaybackEndsOfTheArchiveAndLiveTakingOver) {
  SimConfig config = PlaybackConfig();
  SimEventPattern motion;  // channel 2: 3 s every 10 s
  motion.period = 10;
  motion.length = 3;
  motion.channels[1] = true;
  config.archive.events = {motion};
  Player p(config);

  // Only the motion stretches up to the end time, gaps skipped.
  EXPECT_EQ(p.Play(0x3, 0x04, kStart + 3, kStart + 22), 0x2u);
  const std::vector<PlayFrame> events = p.Frames(100, 30);
  for (const PlayFrame& f : events) {
    const uint32_t s = f.second - kStart;
    EXPECT_TRUE(s % 10 < 3 && s >= 10 && s <= 22) << s;
    EXPECT_EQ(f.frame.channel, 1);
    EXPECT_EQ(f.kind, 2);
    EXPECT_EQ(f.recordingId, kStart + s / 10 * 10);  // one id per stretch
  }
  RawMessage message;
  ASSERT_TRUE(p.client.ReadMessage(message));
  EXPECT_EQ(message.code, kPlayOnDoneCode);
  EXPECT_TRUE(p.client.StaysSilent(300ms));

  for (const std::vector<uint8_t>& nothing :
       {PlayRequest(0x3, 0x10, kStart, 0), PlayRequest(0x3, 0, kEnd + 5, 0)}) {
    p.Send(kPlayOnReqCode, nothing);
    ASSERT_TRUE(p.client.ReadMessage(message));
    EXPECT_EQ(message.code, kPlayOnNackCode);
    EXPECT_EQ(BigEndian32(message.payload, 0), 83u);
  }

  // Both ends of the archive.
  p.Play(0x1, 0, kEnd - 1);
  const std::vector<PlayFrame> last = p.Frames(100, 10);
  ASSERT_TRUE(p.client.ReadMessage(message));
  EXPECT_EQ(message.code, kPlayOnDoneCode);
  p.others.clear();
  p.Send(kRplayBackwardCode, PlayRequest(0x1, 0, kStart + 1, 0));
  const std::vector<PlayFrame> first = p.Frames(0, 2);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_TRUE(p.Got(kRplaySyncCode));
  EXPECT_EQ(first[1].second, kStart);
  ASSERT_TRUE(p.client.ReadMessage(message));
  EXPECT_EQ(message.code, kPlayOnDoneCode);

  // A live request ends the playback.
  p.Play(0x3, 0, kStart);
  p.Send(kLiveReqCode, Word(0x1));
  p.Send(kRplayCreditCode, Word(50));
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(p.client.ReadMessage(message));
    EXPECT_TRUE(message.code == kLiveChannelInfoCode || message.code == kLiveDataCode)
        << message.code;
  }
}

TEST(SimulatorPlayback, FailAndRefusedStopByFaultSwitch) {
  SimConfig failing = PlaybackConfig();
  failing.archive.playFailFrames = 3;
  failing.archive.playFailResult = 98;
  Player p(failing);
  p.Play(0x3, 0, kStart);
  EXPECT_EQ(p.Frames(10, 3).size(), 3u);
  RawMessage message;
  ASSERT_TRUE(p.client.ReadMessage(message));
  EXPECT_EQ(message.code, kPlayOnFailCode);
  EXPECT_EQ(BigEndian32(message.payload, 0), 98u);
  EXPECT_TRUE(p.client.StaysSilent(300ms));

  SimConfig refusing = PlaybackConfig();
  refusing.archive.playOffNack = 2;
  Player q(refusing);
  q.Play(0x3, 0, kStart);
  q.Send(kRplayStopCode);
  ASSERT_TRUE(q.client.ReadMessage(message));
  EXPECT_EQ(message.code, kPlayOffNackCode);
  EXPECT_EQ(BigEndian32(message.payload, 0), 2u);
  EXPECT_EQ(q.Frames(2, 2).size(), 2u);  // still playing
}

}  // namespace
}  // namespace orva::sim
