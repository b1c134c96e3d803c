// Live view over a real connection from a scripted recorder: the live
// request and its decoders, the channel information, reassembled frames
// reaching the right channel, sound reaching the player only for the shown
// channel, refusals, and the stop.
#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/media/headless_view.h"
#include "orva/media/live_controller.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

std::atomic<int> g_decodes{0};
void* Create(int32_t) { return reinterpret_cast<void*>(0x1); }
int Decode(void*, const uint8_t*, int, uint8_t*, int, int32_t*, int) {
  ++g_decodes;
  return 1;
}

std::vector<uint8_t> VideoBlock(int channel, bool key, size_t h264Bytes = 3000) {
  const size_t data = 20 + h264Bytes;
  std::vector<uint8_t> block(4 + 192 + data, 0x11);
  StoreBE32(block.data(), static_cast<uint32_t>(192 + data));
  StoreBE32(block.data() + 4 + 16, 0x20061123);
  uint8_t* h = block.data() + 196;
  StoreBE32(h, 1);
  StoreBE32(h + 4, static_cast<uint32_t>((data + 3) / 4) << 8);
  StoreBE32(h + 8, static_cast<uint32_t>((1 << 3) | (channel << 5) | (key ? 0 : 1 << 11)));
  StoreBE32(h + 12, 0);
  StoreBE32(h + 16, 0);
  return block;
}

std::vector<uint8_t> AudioBlock(int channel) {
  std::vector<uint8_t> block(4 + 128 + 4016, 0x00);
  StoreBE32(block.data(), 128 + 4016);
  StoreBE32(block.data() + 4 + 16, 0x2518F049);
  uint8_t* h = block.data() + 132;
  StoreBE32(h, 0xFFFFFFFF);
  StoreBE32(h + 8, static_cast<uint32_t>(channel));
  StoreBE32(h + 12, 4016 / 16);
  return block;
}

// A sound device whose Open waits until released, to hold the receive
// thread inside the audio player's start.
class GatedSoundDevice : public SoundDevice {
 public:
  explicit GatedSoundDevice(SoundDevice& inner) : m_inner(inner) {}
  bool Open(size_t bytes, std::string& error) override {
    std::unique_lock lock(m_lock);
    m_entered = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_open; });
    return m_inner.Open(bytes, error);
  }
  size_t BufferSize() const override { return m_inner.BufferSize(); }
  bool Write(size_t offset, const uint8_t* data, size_t bytes) override { return m_inner.Write(offset, data, bytes); }
  bool PlayFrom(size_t offset) override { return m_inner.PlayFrom(offset); }
  void Stop() override { m_inner.Stop(); }
  bool GetCursors(size_t& play, size_t& write) override { return m_inner.GetCursors(play, write); }
  WaitResult WaitForEnd() override { return m_inner.WaitForEnd(); }
  void Wake() override { m_inner.Wake(); }
  bool WaitEntered() {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, 3s, [this] { return m_entered; });
  }
  void Release() {
    std::lock_guard lock(m_lock);
    m_open = true;
    m_changed.notify_all();
  }

 private:
  SoundDevice& m_inner;
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_entered = false, m_open = false;
};

class LiveControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_decodes = 0;
    H264Exports e;
    e.create = Create;
    e.decode = Decode;
    library = H264Library::FromExports(e);
  }
  void Connect(uint8_t channels, SoundDevice* sound = nullptr) {
    live = std::make_unique<LiveController>(library, decodeLock, view, sound);
    ConnectParams params{"127.0.0.1", recorder.Port(), "admin", "4711", ""};
    session = std::make_unique<DvrSession>(std::move(params), &observer, nullptr, test::FastTiming());
    live->Attach(*session);
    session->Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage hello;
    ASSERT_TRUE(recorder.ReadMessage(hello));
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload(2, channels))));
    ASSERT_TRUE(observer.WaitForIdentity());
    ASSERT_TRUE(recorder.ReadMessage(liveReq));
  }
  // Sends a block as LIVE_DATA fragments of at most `piece` bytes.
  void SendBlock(const std::vector<uint8_t>& block, size_t piece = 1000, bool audio = false) {
    for (size_t at = 0; at < block.size(); at += piece) {
      const bool last = at + piece >= block.size();
      std::vector<uint8_t> part(block.begin() + at, block.begin() + std::min(block.size(), at + piece));
      ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_DATA, part, last ? 0x4000 : 0, audio)));
    }
  }
  // A goodbye with result 1 marks the point up to which the loop has read.
  // It carries the recorder's current audio flag, as every message does.
  void Sync() {
    ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(1), 0x4000, audioOn)));
    ++marks;
    for (int i = 0; i < 300; ++i) {
      auto n = observer.Notices();
      if (std::count(n.begin(), n.end(), Notice{3, 0}) >= marks) return;
      std::this_thread::sleep_for(10ms);
    }
    FAIL() << "the receive loop did not get there";
  }
  static bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 300 && !done(); ++i) std::this_thread::sleep_for(10ms);
    return done();
  }

  H264Library library;
  std::mutex decodeLock;
  HeadlessView view;
  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  std::unique_ptr<LiveController> live;
  std::unique_ptr<DvrSession> session;
  WireMessage liveReq;
  int marks = 0;
  bool audioOn = false;
};

TEST_F(LiveControllerTest, TheHandshakeStartsLiveViewForEveryChannelOfTheRecorder) {
  Connect(4);
  EXPECT_EQ(liveReq.code, msg::LIVE_REQ);
  EXPECT_EQ(liveReq.payload, (std::vector<uint8_t>{0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(view.Layout(), 1);  // four panes for a four-channel recorder
  // Channel information: channels 0-3 shown, video lost on 2 and on 9 (no such channel).
  ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_CHANNEL_INFO, Be32(0x0204000F))));
  Sync();
  EXPECT_TRUE(session->LiveActive());
  EXPECT_EQ(live->VideoLoss(), 0x0004);
  EXPECT_EQ(view.ChannelMask(), 0x000F);
  EXPECT_EQ(live->Generation(), 1u);
}

TEST_F(LiveControllerTest, ReassembledFramesReachTheirChannelsDecoder) {
  Connect(16);
  // Before the channel information live is not active: frames are dropped.
  SendBlock(VideoBlock(5, true));
  ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_CHANNEL_INFO, Be32(0x0000FFFF))));
  for (int i = 0; i < 4; ++i) SendBlock(VideoBlock(5, true), 700);
  for (int i = 0; i < 3; ++i) SendBlock(VideoBlock(9, true), 65535);
  Sync();
  ASSERT_TRUE(WaitFor([&] { return live->DecoderStats()[5].pictures == 2 && live->DecoderStats()[9].pictures == 1; }))
      << live->DecoderStats()[5].pictures << " " << live->DecoderStats()[5].skipped << " "
      << live->DecoderStats()[5].discarded << " " << live->DecoderStats()[9].pictures << " " << g_decodes.load();
  EXPECT_EQ(live->DecoderStats()[4].pictures, 0u);
  EXPECT_EQ(view.Draws(5), 2u);
}

TEST_F(LiveControllerTest, CovertChannelsAreLeftOutOfTheShownMaskAndNotDecoded) {
  Connect(16);
  live->SetCovertHidden([](int ch) { return ch == 3; });
  ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_CHANNEL_INFO, Be32(0x0000FFFF))));
  for (int i = 0; i < 4; ++i) SendBlock(VideoBlock(3, true));
  Sync();
  EXPECT_EQ(view.ChannelMask(), 0xFFF7);
  ASSERT_TRUE(WaitFor([&] { return live->DecoderStats()[3].discarded == 2; }));
  EXPECT_EQ(live->DecoderStats()[3].pictures, 0u);
}

TEST_F(LiveControllerTest, SoundPlaysOnlyForTheChannelShownAlone) {
  ManualSoundClock clock;
  MemorySoundDevice device(clock);
  Connect(16, &device);
  ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_CHANNEL_INFO, Be32(0x0000FFFF))));
  Sync();
  // The recorder turns its audio on: the player is created.
  audioOn = true;
  for (int i = 0; i < 3; ++i) SendBlock(AudioBlock(2), 65535, true);
  Sync();
  EXPECT_TRUE(session->AudioIndicator());
  EXPECT_EQ(live->AudioChannels(), 0x0004);
  EXPECT_EQ(live->Audio().channel, -1);  // grid shown: nothing queued
  view.ShowSingle(2);
  for (int i = 0; i < 4; ++i) SendBlock(AudioBlock(2), 65535, true);
  SendBlock(AudioBlock(7), 65535, true);
  Sync();
  EXPECT_EQ(live->Audio().channel, 2);
  EXPECT_EQ(live->AudioChannels(), 0x0084);
  ASSERT_TRUE(WaitFor([&] { return live->Audio().chunks == 2; }));  // two frames always stay queued
  // Audio off in the next header: the player goes.
  audioOn = false;
  ASSERT_TRUE(recorder.Write(Frame(500, {})));
  Sync();
  EXPECT_FALSE(session->AudioIndicator());
  EXPECT_EQ(live->AudioChannels(), 0);
}

TEST_F(LiveControllerTest, TheStopEndsTheSoundAndItsIndicator) {
  ManualSoundClock clock;
  MemorySoundDevice device(clock);
  Connect(16, &device);
  ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_CHANNEL_INFO, Be32(0x0000FFFF))));
  audioOn = true;
  SendBlock(AudioBlock(3), 65535, true);
  Sync();
  ASSERT_TRUE(live->AudioPlayerExists());
  ASSERT_TRUE(session->AudioIndicator());
  ASSERT_EQ(live->AudioChannels(), 0x0008);
  live->StopLive();
  EXPECT_FALSE(live->AudioPlayerExists());
  EXPECT_FALSE(session->AudioIndicator());
  EXPECT_FALSE(session->AudioState());
  EXPECT_EQ(live->AudioChannels(), 0);
  EXPECT_EQ(observer.AudioIndicators().back(), false);
}

TEST_F(LiveControllerTest, AStopWhileTheRecordersSoundIsBeingStartedLeavesNoPlayer) {
  ManualSoundClock clock;
  MemorySoundDevice inner(clock);
  GatedSoundDevice device(inner);
  Connect(16, &device);
  ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_CHANNEL_INFO, Be32(0x0000FFFF))));
  Sync();
  // The recorder's next header turns audio on: the receive thread has seen
  // live active and is starting the player when the user stops live view.
  ASSERT_TRUE(recorder.Write(Frame(500, {}, 0x4000, true)));
  ASSERT_TRUE(device.WaitEntered());
  std::atomic<bool> stopped{false};
  std::thread user([&] {
    live->StopLive();
    stopped = true;
  });
  std::this_thread::sleep_for(100ms);
  device.Release();
  user.join();
  ASSERT_TRUE(stopped);
  Sync();  // the receive thread is past that header
  EXPECT_FALSE(live->AudioPlayerExists()) << "a player started after the stop had released it";
  EXPECT_FALSE(session->AudioIndicator());
  EXPECT_FALSE(session->LiveActive());
}

TEST_F(LiveControllerTest, RefusalsAndTheStop) {
  Connect(8);
  EXPECT_EQ(view.Layout(), 5);
  ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_CHANNEL_INFO, Be32(0x000000FF))));
  ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_STOP_NACK, Be32(4))));  // traced only
  ASSERT_TRUE(recorder.Write(Frame(msg::LIVE_NACK, Be32(1))));
  ASSERT_TRUE(observer.WaitForNotice({5, 0}));
  EXPECT_FALSE(session->Connected());
  live->StopLive();
  WireMessage stop;
  ASSERT_TRUE(recorder.ReadMessage(stop));
  EXPECT_EQ(stop.code, msg::LIVE_STOP);
  EXPECT_FALSE(session->LiveActive());
  EXPECT_EQ(view.Layout(), 14);
  // Frames after the stop find no decoder.
  for (int i = 0; i < 4; ++i) SendBlock(VideoBlock(1, true));
  Sync();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(g_decodes.load(), 0);
}

}  // namespace
}  // namespace orva
