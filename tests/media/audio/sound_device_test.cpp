// The clocked play-once buffer and the WAV-file device.
#include <gtest/gtest.h>

#include <future>
#include <unistd.h>

#include "audio_test_util.h"
#include "orva/media/sound_device.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using audiotest::WaitFor;

TEST(ClockedDevice, CursorsFollowTheClockAndStopAtTheEnd) {
  ManualSoundClock clock;
  MemorySoundDevice device(clock, 640);
  std::string error;
  ASSERT_TRUE(device.Open(256000, error)) << error;
  size_t play = 1, write = 1;
  ASSERT_TRUE(device.GetCursors(play, write));
  EXPECT_EQ(play, 0u);
  EXPECT_EQ(write, 0u);

  ASSERT_TRUE(device.PlayFrom(1000));
  clock.Advance(100ms);  // 3200 bytes
  ASSERT_TRUE(device.GetCursors(play, write));
  EXPECT_EQ(play, 4200u);
  EXPECT_EQ(write, 4840u);  // the write lead runs ahead while playing

  device.Stop();
  clock.Advance(1s);
  ASSERT_TRUE(device.GetCursors(play, write));
  EXPECT_EQ(play, 4200u);  // stopped: nothing moves
  EXPECT_EQ(write, 4200u);
  EXPECT_EQ(device.Played().size(), 3200u);

  ASSERT_TRUE(device.PlayFrom(250000));
  clock.Advance(1s);  // only 6000 bytes were left
  EXPECT_EQ(device.WaitForEnd(), SoundDevice::WaitResult::kEnded);
  EXPECT_FALSE(device.IsPlaying());
  ASSERT_TRUE(device.GetCursors(play, write));
  EXPECT_EQ(play, 0u);
  EXPECT_EQ(device.Played().size(), 9200u);

  // A Stop is not an end; a Wake before the wait is kept for it.
  ASSERT_TRUE(device.PlayFrom(0));
  device.Stop();
  device.Wake();
  EXPECT_EQ(device.WaitForEnd(), SoundDevice::WaitResult::kWoken);
}

TEST(ClockedDevice, RefusesRegionsOutsideTheBuffer) {
  ManualSoundClock clock;
  MemorySoundDevice device(clock);
  std::string error;
  const uint8_t bytes[4] = {1, 2, 3, 4};
  size_t play = 0, write = 0;
  EXPECT_FALSE(device.GetCursors(play, write));  // no buffer yet
  EXPECT_FALSE(device.Open(0, error));
  EXPECT_FALSE(device.Open(101, error));  // not whole samples
  ASSERT_TRUE(device.Open(1000, error));
  EXPECT_TRUE(device.Write(996, bytes, 4));
  EXPECT_FALSE(device.Write(997, bytes, 4));
  EXPECT_FALSE(device.Write(2000, bytes, 1));
  EXPECT_FALSE(device.Write(0, nullptr, 1));
  EXPECT_FALSE(device.PlayFrom(1000));
  EXPECT_EQ(device.Peek(996, 10), std::vector<uint8_t>({1, 2, 3, 4}));

  device.FailOpen("no sound hardware");
  EXPECT_FALSE(device.Open(1000, error));
  EXPECT_EQ(error, "no sound hardware");
}

TEST(ClockedDevice, WaiterWakesWhenTheManualClockReachesTheEnd) {
  ManualSoundClock clock;
  MemorySoundDevice device(clock);
  std::string error;
  ASSERT_TRUE(device.Open(256000, error));
  ASSERT_TRUE(device.PlayFrom(0));
  auto result = std::async(std::launch::async, [&] { return device.WaitForEnd(); });
  clock.Advance(4s);
  EXPECT_EQ(result.wait_for(30ms), std::future_status::timeout);
  clock.Advance(3999ms);
  EXPECT_EQ(result.wait_for(30ms), std::future_status::timeout);
  clock.Advance(1ms);
  ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(result.get(), SoundDevice::WaitResult::kEnded);
  EXPECT_EQ(device.Played().size(), 256000u);
}

TEST(ClockedDevice, RealTimeDeviceEndsAfterItsDuration) {
  NullSoundDevice device;  // steady clock
  std::string error;
  ASSERT_TRUE(device.Open(1600, error));  // 50 ms of sound
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(device.PlayFrom(0));
  EXPECT_EQ(device.WaitForEnd(), SoundDevice::WaitResult::kEnded);
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 49ms);
}

// ---------------------------------------------------------------- WAV file

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

class WavDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/orva_wav_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    m_dir = dir;
    m_path = m_dir + "/out.wav";
  }
  void TearDown() override {
    unlink(m_path.c_str());
    rmdir(m_dir.c_str());
  }
  std::string m_dir, m_path;
};

TEST_F(WavDeviceTest, WritesWhatWasPlayedWithAFinishedHeader) {
  ManualSoundClock clock;
  std::vector<uint8_t> pcm(256000);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 7 + i / 256);
  {
    WavFileSoundDevice device(m_path, clock);
    std::string error;
    ASSERT_TRUE(device.Open(256000, error)) << error;
    ASSERT_TRUE(device.Write(0, pcm.data(), pcm.size()));
    ASSERT_TRUE(device.PlayFrom(0));
    clock.Advance(250ms);  // 8000 bytes from 0
    device.Stop();
    clock.Advance(2s);
    ASSERT_TRUE(device.PlayFrom(240000));
    clock.Advance(1s);  // the last 16000 bytes, then the end
    EXPECT_EQ(device.WaitForEnd(), SoundDevice::WaitResult::kEnded);
    EXPECT_TRUE(device.Close(error)) << error;
    EXPECT_TRUE(device.Close(error));  // a second close does nothing
  }
  const auto file = ReadFile(m_path);
  ASSERT_EQ(file.size(), 44u + 24000u);
  const uint8_t header[44] = {'R', 'I', 'F', 'F', 0xE4, 0x5D, 0x00, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                              16,  0,   0,   0,   1,    0,    1,    0,    0x80, 0x3E, 0, 0,  0x00, 0x7D, 0, 0,
                              2,   0,   16,  0,   'd',  'a',  't',  'a',  0xC0, 0x5D, 0, 0};
  EXPECT_TRUE(std::equal(header, header + 44, file.begin()));
  EXPECT_EQ(Le32(file, 40), 24000u);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 8000, file.begin() + 44));
  EXPECT_TRUE(std::equal(pcm.begin() + 240000, pcm.end(), file.begin() + 44 + 8000));
}

TEST_F(WavDeviceTest, DestructorFinishesTheFileAndReopenAppends) {
  ManualSoundClock clock;
  {
    WavFileSoundDevice device(m_path, clock);
    std::string error;
    ASSERT_TRUE(device.Open(256000, error));
    ASSERT_TRUE(device.PlayFrom(0));
    clock.Advance(100ms);
    ASSERT_TRUE(device.Open(256000, error));  // a new sound buffer: same file
    ASSERT_TRUE(device.PlayFrom(0));
    clock.Advance(50ms);
    EXPECT_EQ(device.DataBytes(), 3200u);  // the last 50 ms are taken when the device is next touched
  }
  const auto file = ReadFile(m_path);
  ASSERT_EQ(file.size(), 44u + 4800u);
  EXPECT_EQ(Le32(file, 4), 36u + 4800u);
  EXPECT_EQ(Le32(file, 40), 4800u);
}

TEST_F(WavDeviceTest, UncreatableFileFailsOpenWithItsPath) {
  ManualSoundClock clock;
  WavFileSoundDevice device(m_dir + "/missing/out.wav", clock);
  std::string error;
  EXPECT_FALSE(device.Open(256000, error));
  EXPECT_NE(error.find("missing/out.wav"), std::string::npos) << error;
  EXPECT_TRUE(device.Close(error));
}

}  // namespace
}  // namespace orva
