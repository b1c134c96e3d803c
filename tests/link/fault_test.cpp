// A recorder that misbehaves: closes in the middle of a fragment, stalls past
// the read limit, overruns the reassembly buffer, sends a 65,535-byte
// message the client does not know, answers what was never asked, or goes
// away while the client closes. Each case must leave the client Idle with
// the notices it should post, and no thread of the connection behind.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/dvr_session.h"
#include "orva/media/headless_view.h"
#include "orva/media/h264_decoder.h"
#include "orva/media/live_controller.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int ThreadCount() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/task")) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ++n;
    ::closedir(d);
  }
  return n;
}

// A live video block: 4-byte length, 192-byte record header, frame data of
// `frameBytes` (zeros; the client drops it as unusable, which is enough to
// show that the block arrived whole).
Bytes LiveBlock(size_t frameBytes) {
  Bytes block(4 + 192 + frameBytes, 0);
  const uint32_t length = static_cast<uint32_t>(192 + frameBytes);
  StoreBE32(block.data(), length);
  StoreBE32(block.data() + 4 + 16, 0x20061123);
  return block;
}

// The block cut into LIVE_DATA fragments of at most `piece` bytes.
Bytes Fragments(const Bytes& block, size_t piece) {
  Bytes out;
  for (size_t at = 0; at < block.size(); at += piece) {
    const size_t n = std::min(piece, block.size() - at);
    const bool last = at + n == block.size();
    auto msg = Frame(msg::LIVE_DATA, Bytes(block.begin() + static_cast<long>(at), block.begin() + static_cast<long>(at + n)),
                     last ? 0x4000 : 0x0000);
    out.insert(out.end(), msg.begin(), msg.end());
  }
  return out;
}

// One connection with live view wired as the client wires it.
struct Client {
  explicit Client(uint16_t port, SessionTiming timing)
      : live(library, decodeLock, view, nullptr),
        session(ConnectParams{"127.0.0.1", port, "admin", "pw", ""}, &observer, &journal, timing) {
    live.Attach(session);
  }
  H264Library library;  // not loaded: frames are queued, nothing is decoded
  std::mutex decodeLock;
  HeadlessView view;
  LiveController live;
  test::RecordingObserver observer;
  test::MemoryJournal journal;
  DvrSession session;
};

struct FaultCase {
  const char* name;
  // Played after the login (LIVE_REQ read); the recorder may close or not.
  std::function<void(ScriptedRecorder&, Client&)> play;
  std::vector<Notice> notices;  // in order, before the connection-closed notice
  bool closesItself = true;     // the receive loop ends without Close
  std::chrono::milliseconds recvLimit = 2000ms;
};

TEST(FaultTest, AMisbehavingRecorderLeavesTheClientIdleWithItsNotices) {
  const Bytes channelInfo = Frame(msg::LIVE_CHANNEL_INFO, Be32(0x0000FFFF));
  auto write = [](ScriptedRecorder& r, const Bytes& b) { ASSERT_TRUE(r.Write(b)); };
  const FaultCase cases[] = {
      {"closes in the middle of a fragment",
       [&](ScriptedRecorder& r, Client&) {
         write(r, channelInfo);
         auto first = Fragments(LiveBlock(3000), 1000);
         first.resize(16 + 1000 + 16 + 400);  // one whole fragment, then a header and part of its payload
         write(r, first);
         r.CloseClient();
       },
       {}},
      {"closes in the middle of a header",
       [&](ScriptedRecorder& r, Client&) {
         auto bye = Frame(msg::BYE48, Be32(1));
         bye.resize(9);
         write(r, bye);
         r.CloseClient();
       },
       {}},
      {"stalls in a fragment past the read limit",
       [&](ScriptedRecorder& r, Client&) {
         write(r, channelInfo);
         auto part = Fragments(LiveBlock(3000), 4000);
         part.resize(16 + 100);
         write(r, part);  // and nothing more, the socket stays open
       },
       {}, true, 300ms},
      {"stalls in a header past the read limit",
       [&](ScriptedRecorder& r, Client&) {
         auto head = Frame(msg::DVR_TIME_ACK, Be32(7));
         head.resize(8);
         write(r, head);
       },
       {}, true, 300ms},
      {"overruns the reassembly buffer, then says goodbye",
       [&](ScriptedRecorder& r, Client&) {
         write(r, channelInfo);
         // 1,310,700 bytes without a last fragment: more than the 1,244,160 the buffer holds.
         Bytes burst;
         for (int i = 0; i < 20; ++i) {
           auto f = Frame(msg::LIVE_DATA, Bytes(65535, 0x5A), 0x0000);
           burst.insert(burst.end(), f.begin(), f.end());
         }
         auto tail = Frame(msg::LIVE_DATA, Bytes(10, 0x5A), 0x4000);
         burst.insert(burst.end(), tail.begin(), tail.end());
         // The next block starts clean: a whole one that fits.
         auto next = Fragments(LiveBlock(500), 200);
         burst.insert(burst.end(), next.begin(), next.end());
         auto bye = Frame(msg::BYE48, Be32(1));
         burst.insert(burst.end(), bye.begin(), bye.end());
         write(r, burst);
         r.CloseClient();
       },
       {{3, 0}}},
      {"sends an unknown code with a 65,535-byte payload",
       [&](ScriptedRecorder& r, Client&) {
         write(r, Frame(500, Bytes(65535, 0xEE)));
         write(r, Frame(msg::kMaxCode, Bytes(65535, 0x11)));
         write(r, Frame(msg::BYE48, Be32(2)));
         r.CloseClient();
       },
       {{3, 1}}},
      {"answers what was never asked and repeats its login answer",
       [&](ScriptedRecorder& r, Client&) {
         Bytes out;
         for (const Bytes& m : {Fragments(LiveBlock(300), 100),  // live data before any channel information
                                Frame(msg::LIVE_STOP_ACK, {}), Frame(msg::LIVE_STOP_NACK, Be32(1)),
                                Frame(msg::PLAY_ON_ACK, Be32(0)),
                                Frame(msg::TRANS_ON_DATA, Bytes(300, 1)), Frame(msg::LOG_INFO_ACK, Bytes(40, 2)),
                                Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload()),
                                Frame(msg::BYE48, Be32(33))})
           out.insert(out.end(), m.begin(), m.end());
         write(r, out);
         r.CloseClient();
       },
       {{5, 0}, {3, 3}}},
      {"goes away as soon as the client starts to close",
       [&](ScriptedRecorder& r, Client& c) {
         write(r, channelInfo);
         for (int i = 0; i < 200 && !c.session.LiveActive(); ++i) std::this_thread::sleep_for(5ms);
         ASSERT_TRUE(c.session.LiveActive());
         std::thread closer([&] { c.session.Close(); });
         WireMessage stop;
         EXPECT_TRUE(r.ReadMessage(stop));
         EXPECT_EQ(stop.code, msg::LIVE_STOP);
         r.CloseClient();  // before the goodbye
         closer.join();
       },
       {}, false},
      {"goes away before the client closes, while live runs",
       [&](ScriptedRecorder& r, Client& c) {
         write(r, channelInfo);
         for (int i = 0; i < 200 && !c.session.LiveActive(); ++i) std::this_thread::sleep_for(5ms);
         r.CloseClient();
         ASSERT_TRUE(c.observer.WaitForNotice(kNoticeConnectionClosed));
         c.session.Close();  // the stop and the goodbye go to a closed socket: silently lost
       },
       {}},
  };
  const int threadsBefore = ThreadCount();
  for (const FaultCase& fc : cases) {
    SCOPED_TRACE(fc.name);
    ScriptedRecorder recorder;
    SessionTiming timing = test::FastTiming();
    timing.recvLimit = fc.recvLimit;
    {
      Client client(recorder.Port(), timing);
      client.session.Open();
      ASSERT_TRUE(recorder.Accept());
      WireMessage hello, live;
      ASSERT_TRUE(recorder.ReadMessage(hello));
      ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload())));
      ASSERT_TRUE(client.observer.WaitForIdentity());
      ASSERT_TRUE(recorder.ReadMessage(live));
      ASSERT_EQ(live.code, msg::LIVE_REQ);

      const auto start = Clock::now();
      fc.play(recorder, client);
      ASSERT_TRUE(client.observer.WaitForNotice(kNoticeConnectionClosed, 5s));
      if (fc.recvLimit < 1000ms) {
        EXPECT_GE(Clock::now() - start, fc.recvLimit - 50ms);  // not before the limit
        EXPECT_LT(Clock::now() - start, fc.recvLimit + 1500ms);
      }
      for (int i = 0; i < 200 && client.session.ReceiveThreadRunning(); ++i) std::this_thread::sleep_for(5ms);
      if (fc.closesItself) {
        EXPECT_FALSE(client.session.ReceiveThreadRunning());
      }
      client.session.Close();
      EXPECT_EQ(client.session.State(), SessionState::kIdle);
      EXPECT_FALSE(client.session.ReceiveThreadRunning());
      EXPECT_FALSE(client.session.LiveActive());

      auto notices = client.observer.Notices();
      std::vector<Notice> want = fc.notices;
      want.push_back(kNoticeConnectionClosed);
      EXPECT_EQ(notices, want);
      auto states = client.observer.States();
      ASSERT_FALSE(states.empty());
      EXPECT_EQ(states.back(), SessionState::kIdle);
      EXPECT_EQ(std::count(states.begin(), states.end(), SessionState::kClosing), 1);
    }
    // Decode workers, the receive and the connect thread: all gone.
    EXPECT_EQ(ThreadCount(), threadsBefore);
  }
}

}  // namespace
}  // namespace orva
