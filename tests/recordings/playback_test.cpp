// Remote playback driven by a scripted recorder and a fake clock: the
// request and its answer, the flow credit, pacing against the frames' own
// times, the re-positioning after a pause, generations on a direction
// change, sound only at normal speed, and the refusals with the stop.
#include <gtest/gtest.h>

#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/time_convert.h"
#include "orva/media/headless_view.h"
#include "orva/recordings/remote_playback.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

void* Create(int32_t) { return reinterpret_cast<void*>(0x1); }
int Decode(void*, const uint8_t*, int, uint8_t*, int, int32_t*, int) { return 1; }

constexpr uint32_t kT0 = 1260180930;  // 2009-12-07 10:15:30

// Sleeping only moves the clock on; shared by both threads.
class FakeClock : public PlaybackClock {
 public:
  int64_t NowMs() override { return now.load(); }
  void SleepMs(int ms) override {
    now += ms;
    std::this_thread::yield();
  }
  std::atomic<int64_t> now{0};
};

// A PLAY_DATA record: 192-byte header, 20-byte frame header, picture bytes.
std::vector<uint8_t> VideoRecord(int channel, uint64_t ms, bool key = true, uint8_t marker = 0) {
  const size_t data = 20 + 400;
  std::vector<uint8_t> r(192 + data, 0x11);
  std::fill(r.begin(), r.begin() + 192, 0);
  StoreBE32(r.data() + 16, 0x20061123);
  StoreBE32(r.data() + 24, static_cast<uint32_t>(ms / 1000));
  StoreBE32(r.data() + 28, static_cast<uint32_t>(data));
  r[52] = marker;
  StoreBE32(r.data() + 80, static_cast<uint32_t>(ms / 1000));
  StoreBE32(r.data() + 84, static_cast<uint32_t>(ms % 1000 * 1000));
  uint8_t* h = r.data() + 192;
  StoreBE32(h, 1);
  StoreBE32(h + 4, static_cast<uint32_t>((data + 3) / 4) << 8);
  StoreBE32(h + 8, static_cast<uint32_t>((1 << 3) | (channel << 5) | (key ? 0 : 1 << 11)));
  StoreBE32(h + 12, 0);
  StoreBE32(h + 16, 0);
  return r;
}

std::vector<uint8_t> AudioRecord(int channel) {
  std::vector<uint8_t> r(128 + 4016, 0);
  StoreBE32(r.data() + 16, 0x2518F049);
  StoreBE32(r.data() + 28, 4016);
  uint8_t* h = r.data() + 128;
  StoreBE32(h, 0xFFFFFFFF);
  StoreBE32(h + 8, static_cast<uint32_t>(channel));
  StoreBE32(h + 12, 4016 / 16);
  return r;
}

struct Calls : PlaybackObserver {
  void OnPlaybackStopped(bool reopen) override { stopped = reopen ? 2 : 1; }
  void OnShownTime(uint32_t) override { shownAt.push_back(clock->now.load()); }
  FakeClock* clock = nullptr;
  std::atomic<int> stopped{0};
  std::vector<int64_t> shownAt;  // receive thread only, read after a sync
};

class PlaybackTest : public ::testing::Test {
 protected:
  void Connect(uint8_t channels) {
    H264Exports e;
    e.create = Create;
    e.decode = Decode;
    library = H264Library::FromExports(e);
    PlaybackHooks hooks;
    hooks.restartLive = [this] { ++liveRestarts; };
    hooks.silenceAudio = [this](bool s) { silent = s; };
    hooks.audioOn = [] { return true; };
    hooks.queueAudio = [this](int ch, std::span<const uint8_t> frame) {
      audioQueued.push_back(ch);
      EXPECT_EQ(frame.size(), 4016u);
      return true;
    };
    PlaybackTiming timing;
    timing.controlPauseMs = 0;
    timing.commandSettleFastMs = timing.commandSettleSlowMs = 0;
    playback = std::make_unique<RemotePlayback>(library, decodeLock, view, hooks, &clock, timing);
    calls.clock = &clock;
    playback->SetObserver(&calls);
    ConnectParams params{"127.0.0.1", recorder.Port(), "admin", "4711", ""};
    session = std::make_unique<DvrSession>(std::move(params), &observer, nullptr, test::FastTiming());
    playback->Attach(*session);
    session->Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m));
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload(2, channels))));
    ASSERT_TRUE(observer.WaitForIdentity());
    ASSERT_TRUE(recorder.ReadMessage(m));  // LIVE_REQ
  }
  // Request and answer: playback runs in forward mode with a credit of 93.
  void Start(uint32_t mask = 0xF) {
    ASSERT_TRUE(playback->Request({mask, 0, kT0, 0}, {}));
    std::vector<uint8_t> request(24, 0);
    StoreBE32(request.data(), mask);
    StoreBE32(request.data() + 16, kT0);
    Expect(msg::PLAY_ON_REQ, request);
    ASSERT_TRUE(recorder.Write(Frame(msg::PLAY_CHANNEL_INFO, Be32(static_cast<int32_t>(mask)))));
    ASSERT_TRUE(recorder.Write(Frame(msg::PLAY_ON_ACK, {})));
    ExpectCredit(93);
    EXPECT_TRUE(playback->Playing());
    EXPECT_EQ(playback->Mode(), kPlayForward);
  }
  void Send(const std::vector<uint8_t>& record, int speedCode = 11, size_t piece = 300) {
    for (size_t at = 0; at < record.size(); at += piece) {
      const bool last = at + piece >= record.size();
      std::vector<uint8_t> part(record.begin() + at, record.begin() + std::min(record.size(), at + piece));
      ASSERT_TRUE(recorder.Write(Frame(msg::PLAY_DATA, part, static_cast<uint16_t>((last ? 0x4000 : 0) | speedCode))));
    }
  }
  void Expect(uint16_t code, const std::vector<uint8_t>& payload) {
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m, 2s)) << "waiting for " << code;
    EXPECT_EQ(m.code, code);
    EXPECT_EQ(m.payload, payload) << code;
  }
  void ExpectCredit(int32_t n) { Expect(msg::RPLAY_CREDIT, Be32(n)); }
  void ExpectNothing() {
    WireMessage m;
    EXPECT_FALSE(recorder.ReadMessage(m, 100ms))
        << "unexpected message " << m.code << " " << (m.payload.size() >= 4 ? LoadBE32(m.payload.data()) : 0);
  }
  // A goodbye with result 2 marks how far the receive loop has read.
  void Sync() {
    ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(2))));
    ++marks;
    for (int i = 0; i < 500; ++i) {
      auto n = observer.Notices();
      if (std::count(n.begin(), n.end(), Notice{3, 1}) >= marks) return;
      std::this_thread::sleep_for(10ms);
    }
    FAIL() << "the receive loop did not get there";
  }

  H264Library library;
  std::mutex decodeLock;
  HeadlessView view;
  FakeClock clock;
  Calls calls;
  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  std::unique_ptr<RemotePlayback> playback;
  std::unique_ptr<DvrSession> session;
  int marks = 0;
  std::atomic<int> liveRestarts{0};
  std::atomic<bool> silent{false};
  std::vector<int> audioQueued;
};

TEST_F(PlaybackTest, CreditOf48GoesOutOnThe49thFrameAndFramesArePacedByTheirTimes) {
  Connect(4);
  Start();
  const uint64_t base = uint64_t{kT0} * 1000;
  for (int i = 0; i < 48; ++i) Send(VideoRecord(i % 4, base + 100u * i));
  Sync();
  ExpectNothing();
  Send(VideoRecord(0, base + 4800));
  ExpectCredit(48);
  for (int i = 49; i < 96; ++i) Send(VideoRecord(0, base + 100u * i));
  Sync();
  ExpectNothing();
  Send(VideoRecord(0, base + 9600));  // the 97th
  ExpectCredit(48);
  Sync();
  EXPECT_EQ(playback->Speed(), 1);
  EXPECT_FALSE(silent.load());
  // The first frame sets the reference 100 ms before its own time; frame i
  // is handed over when it is due, at 100 + i x 100 ms.
  ASSERT_EQ(calls.shownAt.size(), 97u);
  for (size_t i = 0; i < calls.shownAt.size(); ++i) {
    EXPECT_GE(calls.shownAt[i], static_cast<int64_t>(i) * 100 + 100) << i;
    EXPECT_LE(calls.shownAt[i], static_cast<int64_t>(i) * 100 + 130) << i;
  }
  // At another speed nothing waits for the frames' times (a second apart
  // here): one millisecond per frame, and what a busy decoder adds.
  const int64_t before = clock.now.load();
  for (int i = 0; i < 10; ++i) Send(VideoRecord(0, base + 10000 + 1000u * i), 13);
  Sync();
  EXPECT_EQ(playback->Speed(), 3);
  EXPECT_TRUE(silent.load());
  EXPECT_LT(clock.now.load() - before, 500);
  // A stall of more than 3 s re-bases instead of racing to catch up.
  Send(VideoRecord(0, base + 100000), 11);
  Send(VideoRecord(0, base + 200000), 11);
  Send(VideoRecord(0, base + 200100), 11);
  Sync();
  EXPECT_LT(clock.now.load() - before, 500 + 3100 + 3100 + 200);
}

TEST_F(PlaybackTest, StepBackAfterPauseRepositionsToTheLastShownFrameThenStepsOnce) {
  Connect(4);
  Start();
  const uint64_t base = uint64_t{kT0} * 1000;
  for (int i = 0; i < 6; ++i) Send(VideoRecord(i % 4, base + 100u * i));
  Sync();
  EXPECT_EQ(playback->LastShownTime(), kT0);
  playback->Pause();
  Expect(msg::RPLAY_PAUSE, {});
  Send(VideoRecord(0, base + 600));  // in flight: dropped
  Sync();
  EXPECT_EQ(playback->LastShownTime(), kT0);
  EXPECT_FALSE(playback->Allowed(kPlayPause));

  playback->StepBackward();
  std::vector<uint8_t> position(24, 0);
  StoreBE32(position.data(), 0xF);
  ASSERT_TRUE(session->VersionFlag());
  position[5] = 1;
  StoreBE32(position.data() + 16, kT0 + 1);  // last shown second + 1
  Expect(msg::RPLAY_BACKWARD, position);
  ExpectCredit(4);
  EXPECT_EQ(playback->Resume(), kResumeRepositioning);
  EXPECT_EQ(playback->Direction(), kDirectionToBackward);
  // The recorder plays back from there: everything after the last shown
  // frame is dropped, and the credit is renewed when it runs out.
  const uint64_t queuedBefore = playback->Stats().queued;
  for (int i = 0; i < 4; ++i) Send(VideoRecord(i, base + 1900 - 100u * i), 9);
  ExpectCredit(4);
  Send(VideoRecord(1, base + 700), 9);
  Sync();
  ExpectNothing();
  Send(VideoRecord(1, base + 500), 9);  // the last shown frame: one step follows
  Expect(msg::RPLAY_PAUSE, {});
  Expect(msg::RPLAY_STEP_BACK, {});
  Expect(msg::RPLAY_STEP_CHANNELS, Be32(0xFFFF));
  ExpectCredit(1);
  EXPECT_EQ(playback->Resume(), kResumeRunning);
  EXPECT_EQ(playback->Stats().queued, queuedBefore);
  Send(VideoRecord(1, base + 400), 9);  // the stepped frame is shown
  Sync();
  EXPECT_EQ(playback->Stats().queued, queuedBefore + 1);
  ExpectNothing();
}

TEST_F(PlaybackTest, DirectionChangesRestartTheStreamsOfChannelsThatWereHidden) {
  Connect(16);
  playback->SetVisibleChannels(0x0003);
  Start(0xFFFF);
  const uint64_t base = uint64_t{kT0} * 1000;
  Send(VideoRecord(0, base));
  Sync();
  for (int ch : {0, 1, 5}) EXPECT_EQ(playback->Generation(ch), 1u) << ch;
  playback->Reverse();
  Expect(msg::RPLAY_BACKWARD, {});
  ExpectCredit(93);
  EXPECT_EQ(playback->Direction(), kDirectionToBackward);
  Send(VideoRecord(0, base - 100), 9);
  Sync();
  EXPECT_EQ(playback->Generation(0), 1u);
  EXPECT_EQ(playback->Generation(1), 1u);
  EXPECT_EQ(playback->Generation(5), 2u);
  EXPECT_EQ(playback->Speed(), -1);
  // Forward again without a pause: no position, a fresh credit.
  playback->Forward();
  Expect(msg::RPLAY_FORWARD, {});
  ExpectCredit(93);
  EXPECT_EQ(playback->Direction(), kDirectionToForward);
}

TEST_F(PlaybackTest, SoundOnlyAtNormalSpeedAndOnlyForTheChannelShownAlone) {
  Connect(4);
  Start();
  const uint64_t base = uint64_t{kT0} * 1000;
  view.ShowSingle(2);
  Send(VideoRecord(2, base), 12);  // speed 2
  Send(AudioRecord(2), 12);
  Sync();
  EXPECT_TRUE(silent.load());
  EXPECT_TRUE(audioQueued.empty());
  Send(VideoRecord(2, base + 100), 11);
  Send(AudioRecord(2), 11);
  Send(AudioRecord(3), 11);
  Sync();
  EXPECT_FALSE(silent.load());
  EXPECT_EQ(audioQueued, std::vector<int>{2});
  EXPECT_EQ(playback->AudioChannels(), 0x000C);
}

TEST_F(PlaybackTest, RefusalsFailureEndAndStop) {
  Connect(4);
  ASSERT_TRUE(playback->Request({0xF, 63, kT0, kT0 + 60}, {}));
  WireMessage m;
  ASSERT_TRUE(recorder.ReadMessage(m));
  ASSERT_TRUE(recorder.Write(Frame(msg::PLAY_ON_NACK, Be32(83))));
  ASSERT_TRUE(observer.WaitForNotice({4, 0}));
  EXPECT_FALSE(playback->Playing());
  EXPECT_FALSE(playback->Requested());

  Start();
  ASSERT_TRUE(recorder.Write(Frame(msg::PLAY_ON_DONE, {})));
  Expect(msg::RPLAY_PAUSE, {});
  EXPECT_TRUE(playback->Paused());
  EXPECT_EQ(playback->Resume(), kResumeRunning);
  EXPECT_TRUE(playback->Playing());

  ASSERT_TRUE(recorder.Write(Frame(msg::PLAY_ON_FAIL, Be32(86))));
  Expect(msg::RPLAY_STOP, {});
  ASSERT_TRUE(observer.WaitForNotice({6, 3}));
  for (int i = 0; i < 200 && liveRestarts.load() == 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(liveRestarts.load(), 1);
  EXPECT_FALSE(playback->Playing());
  EXPECT_FALSE(session->PlaybackActive());
  EXPECT_EQ(calls.stopped.load(), 1);
  EXPECT_EQ(view.Layout(), 14);
  Send(VideoRecord(0, uint64_t{kT0} * 1000));  // after the stop: read and dropped
  Sync();
  EXPECT_EQ(session->State(), SessionState::kReady);

  // The stop button reopens the search window the playback came from.
  Start();
  playback->Stop(true);
  Expect(msg::RPLAY_STOP, {});
  EXPECT_EQ(calls.stopped.load(), 2);
  EXPECT_FALSE(playback->Allowed(kPlayForward));
}

}  // namespace
}  // namespace orva
