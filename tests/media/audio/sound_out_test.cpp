// CSoundOut on a manual clock: laps, restarts N chunks behind the writer,
// the catch-up rule.
#include <gtest/gtest.h>

#include "audio_test_util.h"
#include "orva/media/sound_out.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using audiotest::WaitFor;

constexpr size_t kChunk = 16000;

// Chunk number k is filled with the byte k + 1.
const uint8_t* Chunk(int k) {
  static std::vector<std::vector<uint8_t>> chunks;
  while (chunks.size() <= static_cast<size_t>(k)) chunks.emplace_back(kChunk, static_cast<uint8_t>(chunks.size() + 1));
  return chunks[k].data();
}

bool AllEqual(const std::vector<uint8_t>& bytes, size_t from, size_t count, uint8_t value) {
  if (from + count > bytes.size()) return false;
  return std::all_of(bytes.begin() + from, bytes.begin() + from + count, [&](uint8_t b) { return b == value; });
}

size_t PlayCursor(MemorySoundDevice& device) {
  size_t play = 0, write = 0;
  EXPECT_TRUE(device.GetCursors(play, write));
  return play;
}

struct Rig {
  explicit Rig(int depth) : out(device, depth) {}
  ManualSoundClock clock;
  MemorySoundDevice device{clock};
  CSoundOut out;
};

TEST(SoundOut, PlaysLapAfterLapRestartingNChunksBehindTheWriter) {
  Rig rig(2);
  ASSERT_TRUE(rig.out.Ready());
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(0)));
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(1)));
  EXPECT_EQ(rig.out.WriteOffset(), 32000u);
  rig.out.Start();
  // The writer keeps two chunks ahead, one chunk per half second.
  for (int k = 2; k <= 16; ++k) {
    rig.clock.Advance(500ms);
    ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(k)));
  }
  EXPECT_EQ(rig.out.WriterLap(), 1u);  // chunk 15 wrapped the offset
  EXPECT_EQ(rig.out.WriteOffset(), 16000u);
  EXPECT_EQ(rig.out.PlayerLap(), 0u);
  EXPECT_EQ(rig.device.PlayCalls(), 1u);

  rig.clock.Advance(500ms);  // 8 s: the end of the buffer
  ASSERT_TRUE(WaitFor([&] { return rig.out.PlayerLap() == 1; }));
  // One chunk of the new lap is not the two it waits for.
  EXPECT_FALSE(rig.device.IsPlaying());
  const auto lap0 = rig.device.Played();
  ASSERT_EQ(lap0.size(), 256000u);
  for (int k = 0; k < 16; ++k) EXPECT_TRUE(AllEqual(lap0, k * kChunk, kChunk, static_cast<uint8_t>(k + 1))) << k;

  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(17)));
  ASSERT_TRUE(WaitFor([&] { return rig.device.PlayCalls() == 2; }));
  EXPECT_EQ(PlayCursor(rig.device), 0u);  // write offset 32000 - 2 chunks
  rig.clock.Advance(1s);
  const auto played = rig.device.Played();
  ASSERT_EQ(played.size(), 288000u);
  EXPECT_TRUE(AllEqual(played, 256000, kChunk, 17));  // chunk 16 at the start of lap 1
  EXPECT_TRUE(AllEqual(played, 272000, kChunk, 18));
}

TEST(SoundOut, PlayerALapAheadWaitsForTheWriterToWrap) {
  Rig rig(2);
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(0)));
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(1)));
  rig.out.Start();
  rig.clock.Advance(8s);  // nothing more written: the player runs to the end
  ASSERT_TRUE(WaitFor([&] { return rig.out.PlayerLap() == 1; }));
  for (int k = 2; k <= 15; ++k) ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(k)));
  // Wrapped, but the new lap holds no chunk yet.
  EXPECT_EQ(rig.out.WriterLap(), 1u);
  EXPECT_EQ(rig.out.WriteOffset(), 0u);
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(16)));
  EXPECT_FALSE(rig.device.IsPlaying());
  EXPECT_EQ(rig.device.PlayCalls(), 1u);
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(17)));
  ASSERT_TRUE(WaitFor([&] { return rig.device.PlayCalls() == 2; }));
  EXPECT_EQ(PlayCursor(rig.device), 0u);
  EXPECT_TRUE(AllEqual(rig.device.Peek(0, kChunk), 0, kChunk, 17));
}

TEST(SoundOut, WriterBehindThePlayerSkipsAChunkAndRestartsThere) {
  Rig rig(2);
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(0)));
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(1)));
  rig.out.Start();
  rig.clock.Advance(1s);  // play cursor exactly at the write offset: not behind
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(2)));
  EXPECT_EQ(rig.device.PlayCalls(), 1u);
  EXPECT_EQ(rig.out.WriteOffset(), 48000u);

  rig.clock.Advance(750ms);  // cursor 56000, beyond the offset 48000
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(3)));
  EXPECT_EQ(rig.device.PlayCalls(), 2u);
  EXPECT_EQ(PlayCursor(rig.device), 64000u);  // restarted at the chunk just written
  EXPECT_EQ(rig.out.WriteOffset(), 80000u);
  EXPECT_TRUE(AllEqual(rig.device.Peek(48000, kChunk), 0, kChunk, 0));  // the skipped chunk

  rig.clock.Advance(500ms);
  const auto played = rig.device.Played();
  ASSERT_EQ(played.size(), 3 * kChunk + 8000 + kChunk);
  EXPECT_TRUE(AllEqual(played, 2 * kChunk, kChunk, 3));
  EXPECT_TRUE(AllEqual(played, 3 * kChunk, 8000, 0));  // what played while the writer was late
  EXPECT_TRUE(AllEqual(played, 3 * kChunk + 8000, kChunk, 4));
  EXPECT_EQ(rig.out.PlayerLap(), 0u);
  EXPECT_EQ(rig.out.WriterLap(), 0u);
}

TEST(SoundOut, CatchUpThatWrapsStartsThePlayersNextLap) {
  Rig rig(2);
  for (int k = 0; k < 15; ++k) ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(k)));
  rig.out.Start();
  rig.clock.Advance(7600ms);  // cursor 243200, beyond the offset 240000
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(15)));
  EXPECT_EQ(rig.out.WriterLap(), 1u);
  EXPECT_EQ(rig.out.PlayerLap(), 1u);
  EXPECT_EQ(PlayCursor(rig.device), 0u);
  EXPECT_EQ(rig.out.WriteOffset(), 16000u);
  // The catch-up rule still works in the new lap.
  rig.clock.Advance(1s);
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(16)));
  EXPECT_EQ(rig.device.PlayCalls(), 3u);
  EXPECT_EQ(PlayCursor(rig.device), 32000u);
}

TEST(SoundOut, WriterALapAheadRestartsAtTheWrappedPosition) {
  Rig rig(2);
  for (int k = 0; k < 2; ++k) ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(k)));
  rig.out.Start();
  for (int k = 2; k < 33; ++k) ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(k)));  // a burst
  EXPECT_EQ(rig.out.WriterLap(), 2u);
  EXPECT_EQ(rig.out.WriteOffset(), 16000u);
  rig.clock.Advance(8s);
  ASSERT_TRUE(WaitFor([&] { return rig.device.PlayCalls() == 2; }));
  EXPECT_EQ(rig.out.PlayerLap(), 1u);
  EXPECT_EQ(PlayCursor(rig.device), 240000u);  // 16000 - 2 chunks, wrapped
}

TEST(SoundOut, DepthOneWaitsAFurther100MsBeforeARestart) {
  Rig rig(1);
  for (int k = 0; k < 16; ++k) ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(k)));
  rig.out.Start();
  rig.clock.Advance(8s);
  ASSERT_TRUE(WaitFor([&] { return rig.out.PlayerLap() == 1; }));
  const auto written = std::chrono::steady_clock::now();
  ASSERT_TRUE(rig.out.WriteChunk(kChunk, Chunk(16)));
  ASSERT_TRUE(WaitFor([&] { return rig.device.PlayCalls() == 2; }));
  EXPECT_GE(std::chrono::steady_clock::now() - written, 100ms);
  EXPECT_EQ(PlayCursor(rig.device), 0u);
}

TEST(SoundOut, RefusesOversizedChunksAndClampsDepth) {
  Rig rig(40);
  EXPECT_EQ(rig.out.PrebufferDepth(), 15);
  Rig low(0);
  EXPECT_EQ(low.out.PrebufferDepth(), 1);
  std::vector<uint8_t> big(kChunk + 1, 9);
  EXPECT_FALSE(rig.out.WriteChunk(big.size(), big.data()));
  EXPECT_FALSE(rig.out.WriteChunk(0, big.data()));
  EXPECT_FALSE(rig.out.WriteChunk(10, nullptr));
  EXPECT_EQ(rig.out.WriteOffset(), 0u);
  // A short chunk still moves the offset by a whole chunk.
  EXPECT_TRUE(rig.out.WriteChunk(100, big.data()));
  EXPECT_EQ(rig.out.WriteOffset(), 16000u);
}

TEST(SoundOut, InertWhenTheBufferCannotBeMade) {
  ManualSoundClock clock;
  MemorySoundDevice device(clock);
  device.FailOpen("no buffer");
  audiotest::TraceCapture trace;
  CSoundOut out(device, 2);
  EXPECT_FALSE(out.Ready());
  EXPECT_FALSE(out.WriteChunk(kChunk, Chunk(0)));
  out.Start();
  EXPECT_EQ(device.PlayCalls(), 0u);
  EXPECT_NE(trace.Text().find("no buffer"), std::string::npos);
}

}  // namespace
}  // namespace orva
