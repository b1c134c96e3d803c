#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <numeric>

#include "orva/services/qt_sound.h"
#include "orva/media/sound_out.h"

namespace orva::services {
namespace {

std::vector<uint8_t> Pattern(size_t bytes, uint8_t seed = 0) {
  std::vector<uint8_t> v(bytes);
  for (size_t i = 0; i < bytes; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return v;
}

std::vector<uint8_t> ReadAll(QIODevice& ring, size_t chunk) {
  std::vector<uint8_t> out;
  std::vector<char> buffer(chunk);
  for (;;) {
    const qint64 got = ring.read(buffer.data(), static_cast<qint64>(chunk));
    if (got <= 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + got);
  }
  return out;
}

TEST(PcmRing, BytesLeaveInOrderWhateverTheReadSizes) {
  PcmRing ring(1000);
  ring.open(QIODevice::ReadOnly);
  const auto data = Pattern(3000);
  std::vector<uint8_t> out;
  size_t pushed = 0;
  // Pushes of uneven sizes, each read back in uneven pieces, wrapping the ring many times.
  const size_t pushSizes[] = {2, 98, 400, 600, 36, 250};
  for (size_t i = 0; pushed < data.size(); ++i) {
    const size_t n = std::min(pushSizes[i % 6], data.size() - pushed);
    ring.Push(data.data() + pushed, n);
    pushed += n;
    char buffer[333];
    for (size_t r = i; ring.Buffered() > 0; ++r) {
      const qint64 got = ring.read(buffer, 2 + static_cast<qint64>(r * 37 % 331));
      ASSERT_GT(got, 0);
      EXPECT_EQ(got % 2, 0) << "whole samples only";
      out.insert(out.end(), buffer, buffer + got);
    }
  }
  EXPECT_EQ(ring.Dropped(), 0u);
  EXPECT_EQ(out, data);
}

TEST(PcmRing, OverflowDropsTheOldestAndSilenceTopsUpReads) {
  PcmRing ring(100);
  ring.open(QIODevice::ReadOnly);
  const auto data = Pattern(200);
  ring.Push(data.data(), 60);
  ring.Push(data.data() + 60, 100);  // one push bigger than what is left
  EXPECT_EQ(ring.Dropped(), 60u);
  EXPECT_EQ(ring.Buffered(), 100u);
  EXPECT_EQ(ReadAll(ring, 30), std::vector<uint8_t>(data.begin() + 60, data.begin() + 160));

  ring.Push(data.data(), 200);  // more than the whole ring: only the newest 100
  EXPECT_EQ(ReadAll(ring, 100), std::vector<uint8_t>(data.begin() + 100, data.begin() + 200));

  ring.SetFillSilence(true);
  ring.Push(data.data(), 4);
  char buffer[10];
  std::fill(std::begin(buffer), std::end(buffer), 'x');
  ASSERT_EQ(ring.read(buffer, 10), 10);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), std::vector<uint8_t>(data.begin(), data.begin() + 4));
  for (int i = 4; i < 10; ++i) EXPECT_EQ(buffer[i], 0);
}

TEST(PcmRing, EveryReadPumpsTheProducerFirst) {
  PcmRing ring(100);
  ring.open(QIODevice::ReadOnly);
  int pumps = 0;
  const uint8_t bytes[2] = {1, 2};
  ring.SetPump([&] {
    ++pumps;
    ring.Push(bytes, 2);
  });
  char buffer[4];
  EXPECT_EQ(ring.read(buffer, 4), 2);
  EXPECT_EQ(pumps, 1);
  EXPECT_EQ(buffer[1], 2);
}

// The clock model decides what is played; the ring hands exactly that on.
TEST(QtSoundDevice, WhatTheClockPlaysReachesTheRingInOrder) {
  ManualSoundClock clock;
  QtSoundDevice device(QAudioDevice(), clock);
  EXPECT_FALSE(device.HasSink());
  std::string error;
  ASSERT_TRUE(device.Open(64000, error)) << error;
  const auto data = Pattern(64000, 3);
  ASSERT_TRUE(device.Write(0, data.data(), data.size()));
  ASSERT_TRUE(device.PlayFrom(1000));
  clock.Advance(std::chrono::milliseconds(250));  // 8000 bytes
  const auto first = ReadAll(device.Ring(), 4096);
  EXPECT_EQ(first, std::vector<uint8_t>(data.begin() + 1000, data.begin() + 9000));
  // On to the end of the buffer and no further, read as a sink would, 0.25 s at a time.
  std::vector<uint8_t> rest;
  for (int step = 0; step < 12; ++step) {
    clock.Advance(std::chrono::milliseconds(250));
    const auto got = ReadAll(device.Ring(), 4096);
    rest.insert(rest.end(), got.begin(), got.end());
  }
  EXPECT_EQ(rest, std::vector<uint8_t>(data.begin() + 9000, data.end()));
  size_t play = 1, write = 1;
  ASSERT_TRUE(device.GetCursors(play, write));
  EXPECT_EQ(play, 0u);
}

TEST(QtSoundDevice, ChunksWrittenThroughCSoundOutArePlayedInOrder) {
  ManualSoundClock clock;
  QtSoundDevice device(QAudioDevice(), clock);
  std::vector<uint8_t> expected;
  {
    CSoundOut out(device, 2);
    ASSERT_TRUE(out.Ready());
    for (uint8_t k = 0; k < 3; ++k) {
      const auto chunk = Pattern(CSoundOut::kChunkBytes, static_cast<uint8_t>(k * 50));
      ASSERT_TRUE(out.WriteChunk(chunk.size(), chunk.data()));
      expected.insert(expected.end(), chunk.begin(), chunk.end());
    }
    out.Start();
    std::vector<uint8_t> played;
    for (int step = 0; step < 6; ++step) {  // three chunks
      clock.Advance(std::chrono::milliseconds(250));
      const auto got = ReadAll(device.Ring(), 7000);
      played.insert(played.end(), got.begin(), got.end());
    }
    ASSERT_GE(played.size(), expected.size());
    EXPECT_EQ(std::vector<uint8_t>(played.begin(), played.begin() + static_cast<long>(expected.size())), expected);
  }
}

TEST(Volume, MappingCoversTheWholeRange) {
  EXPECT_EQ(VolumeToLevel(0), 0.0);
  EXPECT_EQ(VolumeToLevel(65535), 1.0);
  EXPECT_NEAR(VolumeToLevel(32768), 0.5, 1e-4);
  EXPECT_EQ(LevelToVolume(0.0), 0);
  EXPECT_EQ(LevelToVolume(1.0), 65535);
  EXPECT_EQ(LevelToVolume(2.0), 65535);
  EXPECT_EQ(LevelToVolume(-1.0), 0);
  for (int v = 0; v <= 65535; v += 97) ASSERT_EQ(LevelToVolume(VolumeToLevel(v)), v);
}

TEST(Volume, MuteKeepsTheVolumeAndSilencesTheSink) {
  ManualSoundClock clock;
  QtSoundDevice device(QAudioDevice(), clock);
  QtVolumeControl volume(&device);
  EXPECT_EQ(volume.GetVolume(), 65535);  // the sink starts at full level
  EXPECT_FALSE(volume.GetMute());
  ASSERT_TRUE(volume.SetVolume(40000));
  EXPECT_NEAR(device.Level(), 40000 / 65535.0, 1e-9);
  ASSERT_TRUE(volume.SetMute(true));
  EXPECT_EQ(device.Level(), 0.0);
  EXPECT_EQ(volume.GetVolume(), 40000);
  ASSERT_TRUE(volume.SetVolume(20000));  // moved while muted: still silent
  EXPECT_EQ(device.Level(), 0.0);
  ASSERT_TRUE(volume.SetMute(false));
  EXPECT_NEAR(device.Level(), 20000 / 65535.0, 1e-9);
  EXPECT_FALSE(volume.SetVolume(-1));
  EXPECT_FALSE(volume.SetVolume(65536));
  EXPECT_EQ(volume.GetVolume(), 20000);
}

TEST(Volume, WithoutSoundOutputEveryCallFails) {
  QtVolumeControl volume(nullptr);
  EXPECT_EQ(volume.GetVolume(), -1);
  EXPECT_FALSE(volume.SetVolume(100));
  EXPECT_FALSE(volume.GetMute());
  EXPECT_FALSE(volume.SetMute(true));
}

TEST(QtSoundDevice, RealSinkPullsWhatIsPlayed) {
  if (QMediaDevices::audioOutputs().isEmpty()) GTEST_SKIP() << "no sound output on this machine";
  QtSoundDevice device(QMediaDevices::defaultAudioOutput());
  ASSERT_TRUE(device.HasSink());
  std::string error;
  ASSERT_TRUE(device.Open(32000, error)) << error;
  ASSERT_TRUE(device.PlayFrom(0));
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 600) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_GT(device.Ring().Pushed(), 0u);
  EXPECT_LT(device.Ring().Buffered(), device.Ring().Pushed());
}

}  // namespace
}  // namespace orva::services
