// CAudioPlayer: which frames play, prebuffer and start, decoding into
// chunks, bad frames; and the in-memory volume control.
#include <gtest/gtest.h>

#include <cmath>

#include "audio_test_util.h"
#include "orva/media/audio_player.h"
#include "orva/media/volume_control.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using audiotest::FlatFrame;
using audiotest::SampleAt;
using audiotest::WaitFor;

bool Enqueue(CAudioPlayer& player, const std::vector<uint8_t>& frame) {
  return player.Enqueue(frame.data(), frame.size());
}

// Every sample of chunk `index` in the device buffer equals `value`.
bool ChunkIsFlat(MemorySoundDevice& device, size_t index, int16_t value, size_t samples = 8000) {
  const auto pcm = device.Peek(index * kAudioChunkBytes, kAudioChunkBytes);
  if (pcm.size() != kAudioChunkBytes) return false;
  for (size_t i = 0; i < samples; ++i)
    if (SampleAt(pcm, i) != value) return false;
  return true;
}

struct PlayerRig {
  explicit PlayerRig(int depth) : player(device, depth) {}
  ManualSoundClock clock;  // never advanced: the buffer never plays on its own
  MemorySoundDevice device{clock};
  CAudioPlayer player;
};

TEST(AudioPlayer, TwoFramesStayQueuedAndLaterOnesPlayInArrivalOrder) {
  PlayerRig rig(15);
  ASSERT_TRUE(rig.player.OutputReady());
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(1000)));
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(2000)));
  std::this_thread::sleep_for(60ms);  // several rounds of the player thread
  EXPECT_EQ(rig.player.ChunksWritten(), 0u);
  EXPECT_EQ(rig.player.SamplesDecoded(), 0u);
  EXPECT_EQ(rig.player.QueueDepth(), 2u);

  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(3000, 4000, 6)));
  ASSERT_TRUE(WaitFor([&] { return rig.player.ChunksWritten() == 1; }));
  EXPECT_TRUE(ChunkIsFlat(rig.device, 0, 3000));
  EXPECT_EQ(rig.player.LastChannel(), 6);

  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(4000)));
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(5000)));
  ASSERT_TRUE(WaitFor([&] { return rig.player.ChunksWritten() == 3; }));
  EXPECT_TRUE(ChunkIsFlat(rig.device, 1, 4000));
  EXPECT_TRUE(ChunkIsFlat(rig.device, 2, 5000));
  EXPECT_EQ(rig.player.QueueDepth(), 2u);  // the first two never leave
  EXPECT_EQ(rig.player.SamplesDecoded(), 24000u);
  EXPECT_FALSE(rig.player.Started());
}

TEST(AudioPlayer, DepthFifteenStartsAfterFifteenChunks) {
  PlayerRig rig(15);
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(Enqueue(rig.player, FlatFrame(static_cast<int16_t>(i))));
  ASSERT_TRUE(WaitFor([&] { return rig.player.ChunksWritten() == 14; }));
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(rig.player.Started());
  EXPECT_EQ(rig.device.PlayCalls(), 0u);

  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(99)));
  ASSERT_TRUE(WaitFor([&] { return rig.player.Started(); }));
  EXPECT_EQ(rig.player.ChunksWritten(), 15u);
  EXPECT_EQ(rig.device.PlayCalls(), 1u);
  EXPECT_TRUE(rig.device.IsPlaying());
  size_t play = 1, write = 1;
  ASSERT_TRUE(rig.device.GetCursors(play, write));
  EXPECT_EQ(play, 0u);
}

TEST(AudioPlayer, DepthOneStartsAfterA100MsPauseAndOnlyOnce) {
  PlayerRig rig(1);
  const auto queued = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Enqueue(rig.player, FlatFrame(500)));
  ASSERT_TRUE(WaitFor([&] { return rig.player.Started(); }));
  EXPECT_GE(std::chrono::steady_clock::now() - queued, 100ms);
  EXPECT_EQ(rig.player.ChunksWritten(), 1u);
  EXPECT_EQ(rig.device.PlayCalls(), 1u);

  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Enqueue(rig.player, FlatFrame(600)));
  ASSERT_TRUE(WaitFor([&] { return rig.player.ChunksWritten() == 4; }));
  EXPECT_EQ(rig.device.PlayCalls(), 1u);
}

TEST(AudioPlayer, ShortFrameLeavesTheRestOfItsChunkSilentAndLongOnesAreCut) {
  PlayerRig rig(15);
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(1)));
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(2)));
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(1000)));        // full chunk
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(2000, 96)));    // 192 samples
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(3000, 4992)));  // more than one chunk's worth
  ASSERT_TRUE(WaitFor([&] { return rig.player.ChunksWritten() == 3; }));
  EXPECT_TRUE(ChunkIsFlat(rig.device, 0, 1000));
  const auto shortChunk = rig.device.Peek(kAudioChunkBytes, kAudioChunkBytes);
  EXPECT_EQ(SampleAt(shortChunk, 191), 2000);
  EXPECT_EQ(SampleAt(shortChunk, 192), 0);
  EXPECT_EQ(SampleAt(shortChunk, 7999), 0);  // not the 1000 of the frame before
  EXPECT_TRUE(ChunkIsFlat(rig.device, 2, 3000));
  EXPECT_EQ(rig.player.SamplesDecoded(), 8000u + 192u + 8000u);
}

TEST(AudioPlayer, ChunkHoldsTheDecodedFrameFromItsHeaderState) {
  PlayerRig rig(15);
  // A rising ramp of code 4 from predictor -300, index 30 (step 130).
  auto frame = audiotest::MakeFrame(3, 30, -300, std::vector<uint8_t>(4000, 0x44));
  AdpcmState state{-300, 30};
  std::vector<int16_t> expected(8000);
  ASSERT_EQ(DecodeImaAdpcm(frame.data() + 16, 4000, state, expected.data(), expected.size()), 8000u);
  ASSERT_EQ(expected[0], -300 + 16 + 130);  // the state came from the header, not from earlier frames
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(7)));
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(8)));
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(9000)));
  ASSERT_TRUE(Enqueue(rig.player, frame));
  ASSERT_TRUE(WaitFor([&] { return rig.player.ChunksWritten() == 2; }));
  const auto pcm = rig.device.Peek(kAudioChunkBytes, kAudioChunkBytes);
  for (size_t i = 0; i < 8000; ++i) ASSERT_EQ(SampleAt(pcm, i), expected[i]) << i;
  // Little-endian bytes in the buffer.
  EXPECT_EQ(pcm[0], static_cast<uint8_t>(expected[0] & 0xFF));
  EXPECT_EQ(pcm[1], static_cast<uint8_t>((expected[0] >> 8) & 0xFF));
}

TEST(AudioPlayer, RejectsBadFramesAndSurvivesAWildStepIndex) {
  PlayerRig rig(15);
  audiotest::TraceCapture trace;
  auto good = FlatFrame(100, 64);
  EXPECT_FALSE(rig.player.Enqueue(nullptr, 0));
  EXPECT_FALSE(rig.player.Enqueue(good.data(), 10));
  EXPECT_FALSE(rig.player.Enqueue(good.data(), good.size() - 16));  // header claims more than given
  auto zeroLength = good;
  zeroLength[15] = 0;
  EXPECT_FALSE(Enqueue(rig.player, zeroLength));
  auto notAudio = good;
  notAudio[0] = 0;
  EXPECT_FALSE(Enqueue(rig.player, notAudio));
  EXPECT_EQ(rig.player.QueueDepth(), 0u);
  EXPECT_EQ(rig.player.FramesDropped(), 5u);
  EXPECT_NE(trace.Text().find("does not fit"), std::string::npos) << trace.Text();

  // Longer copy than the frame: only the frame is kept.
  auto padded = FlatFrame(100, 64);
  padded.resize(padded.size() + 500, 0xEE);
  ASSERT_TRUE(Enqueue(rig.player, padded));
  ASSERT_TRUE(Enqueue(rig.player, padded));
  // Step index 127 from the wire is used as 88 (step 32767): code 0 adds 4095.
  ASSERT_TRUE(Enqueue(rig.player, audiotest::MakeFrame(1, 127, 100, std::vector<uint8_t>(16, 0))));
  ASSERT_TRUE(WaitFor([&] { return rig.player.ChunksWritten() == 1; }));
  const auto pcm = rig.device.Peek(0, 4);
  EXPECT_EQ(SampleAt(pcm, 0), 100 + 4095);
}

TEST(AudioPlayer, DiscardDropsWhatWouldPlayAndKeepsTheTwoHeldBack) {
  PlayerRig rig(15);
  rig.player.SetDiscard(true);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(Enqueue(rig.player, FlatFrame(static_cast<int16_t>(i + 1))));
  ASSERT_TRUE(WaitFor([&] { return rig.player.QueueDepth() == 2; }));
  EXPECT_EQ(rig.player.FramesDropped(), 3u);
  EXPECT_EQ(rig.player.ChunksWritten(), 0u);
  EXPECT_EQ(rig.player.SamplesDecoded(), 0u);
  rig.player.SetDiscard(false);
  ASSERT_TRUE(Enqueue(rig.player, FlatFrame(777)));
  ASSERT_TRUE(WaitFor([&] { return rig.player.ChunksWritten() == 1; }));
  EXPECT_TRUE(ChunkIsFlat(rig.device, 0, 777));
}

TEST(AudioPlayer, WithoutSoundOutputFramesAreStillConsumed) {
  ManualSoundClock clock;
  MemorySoundDevice device(clock);
  device.FailOpen("no sound output here");
  audiotest::TraceCapture trace;
  CAudioPlayer player(device, 1);
  EXPECT_FALSE(player.OutputReady());
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(Enqueue(player, FlatFrame(5)));
  ASSERT_TRUE(WaitFor([&] { return player.SamplesDecoded() == 16000; }));
  EXPECT_EQ(player.ChunksWritten(), 0u);
  EXPECT_EQ(player.QueueDepth(), 2u);
  EXPECT_NE(trace.Text().find("no sound output here"), std::string::npos);
}

TEST(AudioPlayer, DestroysPromptlyWhilePrebuffering) {
  const auto begin = std::chrono::steady_clock::now();
  {
    PlayerRig rig(1);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Enqueue(rig.player, FlatFrame(5)));
    ASSERT_TRUE(WaitFor([&] { return rig.player.ChunksWritten() == 1; }));
    // Destroyed inside the 100 ms pause: it is cut short, and Start never comes.
  }
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
}

TEST(VolumeControl, KeepsTheRangeAndFailsLikeAMissingMixer) {
  MemoryVolumeControl mixer(30000, true);
  EXPECT_EQ(mixer.GetVolume(), 30000);
  EXPECT_TRUE(mixer.GetMute());
  EXPECT_TRUE(mixer.SetVolume(65535));
  EXPECT_TRUE(mixer.SetVolume(0));
  EXPECT_FALSE(mixer.SetVolume(65536));
  EXPECT_FALSE(mixer.SetVolume(-1));
  EXPECT_EQ(mixer.GetVolume(), 0);
  EXPECT_TRUE(mixer.SetMute(false));
  mixer.SetFailing(true);
  EXPECT_EQ(mixer.GetVolume(), -1);
  EXPECT_FALSE(mixer.GetMute());
  EXPECT_FALSE(mixer.SetVolume(40000));
  EXPECT_FALSE(mixer.SetMute(true));
  mixer.SetFailing(false);
  EXPECT_EQ(mixer.GetVolume(), 0);  // failures changed nothing
  EXPECT_FALSE(mixer.GetMute());
}

}  // namespace
}  // namespace orva
