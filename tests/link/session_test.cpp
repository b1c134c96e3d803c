// DvrSession against a scripted recorder on loopback: the handshake bytes,
// refusals, reading past what the client does not handle, time limits, the
// audio flag, goodbyes and the close sequence.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/dvr_session.h"
#include "../setup/trace_capture.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;
using Clock = std::chrono::steady_clock;

class SessionTest : public ::testing::Test {
 protected:
  std::unique_ptr<DvrSession> MakeSession(SessionTiming timing = test::FastTiming(), std::string user = "Admin",
                                          std::string password = "Pass4711") {
    ConnectParams params{"127.0.0.1", recorder.Port(), std::move(user), std::move(password), "site"};
    return std::make_unique<DvrSession>(std::move(params), &observer, &journal, timing);
  }
  // Opens the session and plays the recorder up to the accepted login.
  void LogIn(DvrSession& session, uint8_t channels = 16) {
    session.Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage hello;
    ASSERT_TRUE(recorder.ReadMessage(hello));
    ASSERT_EQ(hello.code, msg::HELLO);
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload(2, channels))));
    ASSERT_TRUE(observer.WaitForIdentity());
    WireMessage live;
    ASSERT_TRUE(recorder.ReadMessage(live));
    ASSERT_EQ(live.code, msg::LIVE_REQ);
  }
  bool Saw(LogonKind kind) {
    auto entries = journal.Entries();
    return std::any_of(entries.begin(), entries.end(), [&](auto& e) { return e.kind == kind; });
  }

  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  test::MemoryJournal journal;
};

TEST_F(SessionTest, HandshakeSendsLowerCaseHelloAndLiveRequestForAllChannels) {
  auto session = MakeSession();
  session->Open();
  ASSERT_TRUE(recorder.Accept());
  WireMessage hello;
  ASSERT_TRUE(recorder.ReadMessage(hello));
  EXPECT_EQ(hello.control, 0x0080);
  ASSERT_EQ(hello.payload.size(), 32u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(hello.payload.data())), "admin");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(hello.payload.data() + 16)), "pass4711");
  EXPECT_EQ(session->State(), SessionState::kGreeting);

  ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload(2, 12, 1, 0))));
  ASSERT_TRUE(observer.WaitForIdentity());
  WireMessage live;
  ASSERT_TRUE(recorder.ReadMessage(live));
  EXPECT_EQ(live.control, 0x0800);
  EXPECT_EQ(live.payload, (std::vector<uint8_t>{0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(session->ChannelCount(), 16);  // 12 is not a recorder size
  EXPECT_EQ(session->Identity().channelNum, 16);
  EXPECT_FALSE(session->VersionFlag());  // version 1.0
  EXPECT_TRUE(session->Connected());
  EXPECT_EQ(session->State(), SessionState::kReady);
  ASSERT_TRUE(Saw(LogonKind::kAccepted));
  EXPECT_EQ(journal.Entries()[0].user, "Admin");
  EXPECT_EQ(journal.Entries()[0].host, "127.0.0.1");

  session->Close();
  WireMessage bye;
  ASSERT_TRUE(recorder.ReadMessage(bye));
  EXPECT_EQ(bye.code, msg::BYE48);
  EXPECT_TRUE(bye.payload.empty());
  EXPECT_TRUE(recorder.WaitForClientClose());
  EXPECT_TRUE(Saw(LogonKind::kUserClosed));
  EXPECT_EQ(session->State(), SessionState::kIdle);
}

TEST_F(SessionTest, FourChannelRecorderAndVersionFlag) {
  auto session = MakeSession();
  session->Open();
  ASSERT_TRUE(recorder.Accept());
  WireMessage hello;
  ASSERT_TRUE(recorder.ReadMessage(hello));
  ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload(3, 4, 1, 1))));
  ASSERT_TRUE(observer.WaitForIdentity());
  EXPECT_EQ(session->ChannelCount(), 4);
  EXPECT_TRUE(session->VersionFlag());
}

TEST_F(SessionTest, OtherProductFamiliesAndMisSizedIdentitiesAreRefused) {
  for (bool misSized : {false, true}) {
    ScriptedRecorder peer;
    test::RecordingObserver watcher;
    ConnectParams params{"127.0.0.1", peer.Port(), "admin", "x", ""};
    DvrSession session(std::move(params), &watcher, nullptr, test::FastTiming());
    session.Open();
    ASSERT_TRUE(peer.Accept());
    WireMessage hello;
    ASSERT_TRUE(peer.ReadMessage(hello));
    auto payload = ScriptedRecorder::IdentityPayload(4);
    if (misSized) payload = std::vector<uint8_t>(700, 2);  // a family-2 byte, but the size is wrong
    ASSERT_TRUE(peer.Write(Frame(msg::HELLO48_ACK, payload)));
    ASSERT_TRUE(watcher.WaitForNotice(kNoticeConnectionClosed));
    auto notices = watcher.Notices();
    ASSERT_GE(notices.size(), 2u);
    EXPECT_EQ(notices[0], kNoticeWrongFamily);
    // No live request: the connection just ends.
    EXPECT_TRUE(peer.WaitForClientClose());
    EXPECT_FALSE(watcher.WaitForIdentity(10ms));
    session.Close();
  }
}

TEST_F(SessionTest, CodesTheClientDoesNotHandleAreReadPast) {
  auto session = MakeSession();
  session->Open();
  ASSERT_TRUE(recorder.Accept());
  WireMessage hello;
  ASSERT_TRUE(recorder.ReadMessage(hello));
  std::vector<uint8_t> bytes = Frame(msg::HELLO, std::vector<uint8_t>(100, 0x05));  // a client code, from the recorder
  for (auto part : {Frame(500, std::vector<uint8_t>(3000, 0x05)),                  // not in the catalogue
                    Frame(msg::LIVE_NACK, Be32(1)),                                 // no handler yet
                    Frame(msg::TRANS_ON_NACK, std::vector<uint8_t>(12, 0x77)),      // 12-byte result
                    Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload())})
    bytes.insert(bytes.end(), part.begin(), part.end());
  // Deliver in small pieces so that headers and payloads straddle reads.
  for (size_t i = 0; i < bytes.size(); i += 333) {
    std::vector<uint8_t> piece(bytes.begin() + i, bytes.begin() + std::min(bytes.size(), i + 333));
    ASSERT_TRUE(recorder.Write(piece));
  }
  ASSERT_TRUE(observer.WaitForIdentity());
  EXPECT_EQ(session->Identity().productNumber, 2);
  EXPECT_TRUE(observer.Notices().empty());
}

TEST_F(SessionTest, AHeaderFollowedBySilenceEndsTheConnectionAtTheLimit) {
  SessionTiming timing = test::FastTiming();
  timing.recvLimit = 300ms;
  auto session = MakeSession(timing);
  session->Open();
  ASSERT_TRUE(recorder.Accept());
  WireMessage hello;
  ASSERT_TRUE(recorder.ReadMessage(hello));
  auto header = Frame(msg::HELLO48_ACK, std::vector<uint8_t>(768, 0));
  header.resize(16 + 100);  // the header and part of the payload, then nothing
  const auto start = Clock::now();
  ASSERT_TRUE(recorder.Write(header));
  ASSERT_TRUE(observer.WaitForNotice(kNoticeConnectionClosed, 3s));
  EXPECT_GE(Clock::now() - start, 250ms);
  for (int i = 0; i < 100 && session->ReceiveThreadRunning(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(session->ReceiveThreadRunning());
}

TEST_F(SessionTest, GoodbyesPostTheirNoticesAndTheLoopGoesOnUntilTheRecorderCloses) {
  auto session = MakeSession();
  LogIn(*session);
  ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(0))));   // no notice
  ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(2))));   // 3/1
  ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(37))));  // 15/0, not category 3
  ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, {})));        // -100: traced only
  ASSERT_TRUE(observer.WaitForNotice(kNoticeNotPermitted));
  EXPECT_FALSE(session->Connected());
  // Still connected at the socket level: the recorder decides when to close.
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(session->ReceiveThreadRunning());
  recorder.CloseClient();
  ASSERT_TRUE(observer.WaitForNotice(kNoticeConnectionClosed));
  auto notices = observer.Notices();
  ASSERT_EQ(notices.size(), 3u);
  EXPECT_EQ(notices[0], (Notice{3, 1}));
  EXPECT_EQ(notices[1], kNoticeNotPermitted);
  EXPECT_EQ(notices[2], kNoticeConnectionClosed);
  auto entries = journal.Entries();
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [](auto& e) { return e.kind == LogonKind::kFailed; }), 4);
  session->Close();
  EXPECT_FALSE(Saw(LogonKind::kUserClosed));  // the goodbye already cleared the connected flag
}

TEST_F(SessionTest, AGoodbyeSentJustBeforeTheRecorderClosesIsNotLost) {
  auto session = MakeSession();
  session->Open();
  ASSERT_TRUE(recorder.Accept());
  WireMessage hello;
  ASSERT_TRUE(recorder.ReadMessage(hello));
  ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(1))));
  recorder.CloseClient();
  ASSERT_TRUE(observer.WaitForNotice(kNoticeConnectionClosed));
  auto notices = observer.Notices();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0], (Notice{3, 0}));
}

TEST_F(SessionTest, ClosingDuringLiveSendsLiveStopThenByeAndWaitsBeforeClosing) {
  SessionTiming timing = test::FastTiming();
  timing.closeGrace = 400ms;
  auto session = MakeSession(timing);
  LogIn(*session);
  session->SetLiveActive(true);
  std::thread closer([&] { session->Close(); });
  WireMessage first, second;
  ASSERT_TRUE(recorder.ReadMessage(first));
  ASSERT_TRUE(recorder.ReadMessage(second));
  const auto byeAt = Clock::now();
  EXPECT_EQ(first.code, msg::LIVE_STOP);
  EXPECT_EQ(second.code, msg::BYE48);
  ASSERT_TRUE(recorder.WaitForClientClose());
  // Without the grace the socket would close within a few milliseconds.
  EXPECT_GE(Clock::now() - byeAt, 250ms);
  closer.join();
  EXPECT_FALSE(session->LiveActive());
}

TEST_F(SessionTest, ClosingAStreamTracesItsStopMessageText) {
  struct Case {
    void (DvrSession::*set)(bool);
    uint16_t code;
    const char* text;
  };
  const Case cases[] = {{&DvrSession::SetLiveActive, msg::LIVE_STOP, "Send...LIVE_STOP\n"},
                        {&DvrSession::SetPlaybackActive, msg::RPLAY_STOP, "Send...RPLAY_STOP...\n"},
                        {&DvrSession::SetTransferActive, msg::TRANS_OFF_REQ, "Send...TRANS_OFF_REQ...\n"}};
  for (const Case& c : cases) {
    ScriptedRecorder peer;
    test::RecordingObserver watcher;
    test::MemoryJournal log;
    DvrSession session(ConnectParams{"127.0.0.1", peer.Port(), "Admin", "Pass4711", "site"}, &watcher, &log,
                       test::FastTiming());
    session.Open();
    ASSERT_TRUE(peer.Accept());
    WireMessage hello, live, stop;
    ASSERT_TRUE(peer.ReadMessage(hello));
    ASSERT_TRUE(peer.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload())));
    ASSERT_TRUE(watcher.WaitForIdentity());
    ASSERT_TRUE(peer.ReadMessage(live));
    TraceCapture capture;
    (session.*c.set)(true);
    session.Close();
    ASSERT_TRUE(peer.ReadMessage(stop));
    EXPECT_EQ(stop.code, c.code);
    const std::string text = capture.Text();
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), c.text);
    EXPECT_NE(text.find("Send...BYE48...\n"), std::string::npos) << text;
  }
}

TEST_F(SessionTest, FirmwareBuildTimesAreTracedAsSignedNumbers) {
  TraceCapture capture;
  auto session = MakeSession();
  session->Open();
  ASSERT_TRUE(recorder.Accept());
  WireMessage hello;
  ASSERT_TRUE(recorder.ReadMessage(hello));
  auto identity = ScriptedRecorder::IdentityPayload();
  std::fill(identity.begin() + 692, identity.begin() + 696, uint8_t{0xFF});  // FirmVer[1] = 0xFFFFFFFF
  ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, identity)));
  ASSERT_TRUE(observer.WaitForIdentity());
  EXPECT_EQ(session->Identity().firmVer[1], 0xFFFFFFFFu);
  const std::string text = capture.Text();
  EXPECT_NE(text.find("FirmVer[0] : 1260180930\t"), std::string::npos);
  EXPECT_NE(text.find("FirmVer[1] : -1\t"), std::string::npos) << text;
  session->Close();
}

struct StageLog : CloseParticipant {
  std::vector<CloseStage> stages;
  std::mutex lock;
  void OnCloseStage(CloseStage stage) override {
    std::lock_guard guard(lock);
    stages.push_back(stage);
  }
};

TEST_F(SessionTest, ClosingTwiceRunsTheSequenceOnceAndInOrder) {
  auto session = MakeSession();
  StageLog log;
  session->AddCloseParticipant(&log);
  LogIn(*session);
  session->SetTransferActive(true);
  std::thread a([&] { session->Close(); });
  std::thread b([&] { session->Close(); });
  a.join();
  b.join();
  session->Close();
  const std::vector<CloseStage> want = {CloseStage::kBegin,         CloseStage::kStreamStopped,
                                        CloseStage::kReleaseDownloadWriter, CloseStage::kCloseSearchAndSetup,
                                        CloseStage::kResetVideo,    CloseStage::kReleaseData,
                                        CloseStage::kCloseRemaining};
  EXPECT_EQ(log.stages, want);
  WireMessage stop;
  ASSERT_TRUE(recorder.ReadMessage(stop));
  EXPECT_EQ(stop.code, msg::TRANS_OFF_REQ);
  EXPECT_EQ(stop.control >> 7, 102);
  auto states = observer.States();
  EXPECT_EQ(std::count(states.begin(), states.end(), SessionState::kClosing), 1);
}

TEST_F(SessionTest, ARefusedConnectionPostsItsNoticeAndEndsIdle) {
  int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(probe);  // nobody listens on this port now

  ConnectParams params{"127.0.0.1", ntohs(addr.sin_port), "admin", "x", ""};
  DvrSession session(std::move(params), &observer, &journal, test::FastTiming());
  session.Open();
  ASSERT_TRUE(observer.WaitForNotice(kNoticeConnectRefused));
  ASSERT_TRUE(observer.WaitForState(SessionState::kIdle));
  EXPECT_EQ(observer.ConnectError(), ECONNREFUSED);
  EXPECT_TRUE(Saw(LogonKind::kFailed));
  session.Close();
}

struct FakeAudio : AudioSwitch {
  std::vector<std::string> calls;
  void StartAudio(bool live) override { calls.push_back(live ? "start-live" : "start-playback"); }
  void StopAudio() override { calls.push_back("stop"); }
};

TEST_F(SessionTest, TheAudioFlagIsFollowedOnlyWhileAStreamRuns) {
  auto session = MakeSession();
  FakeAudio audio;
  session->SetAudioSwitch(&audio);
  LogIn(*session);
  // Live not active yet: ignored.
  ASSERT_TRUE(recorder.Write(Frame(500, {}, 0x4000, true)));
  session->SetLiveActive(true);
  ASSERT_TRUE(recorder.Write(Frame(500, {}, 0x4000, true)));
  ASSERT_TRUE(recorder.Write(Frame(500, {}, 0x4000, true)));  // no change: nothing
  ASSERT_TRUE(recorder.Write(Frame(500, {}, 0x4000, false)));
  // A final marker to know the loop has read everything.
  ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(1))));
  ASSERT_TRUE(observer.WaitForNotice(Notice{3, 0}));
  EXPECT_EQ(audio.calls, (std::vector<std::string>{"start-live", "stop"}));
  EXPECT_EQ(observer.AudioIndicators(), (std::vector<bool>{true, false}));
  EXPECT_FALSE(session->AudioIndicator());
}

TEST_F(SessionTest, HandlersOnlyForCodesTheRecorderSends) {
  auto session = MakeSession();
  auto handler = [](DvrSession&, const MessageHeader&) { return true; };
  EXPECT_FALSE(session->SetHandler(msg::HELLO, handler));
  EXPECT_FALSE(session->SetHandler(msg::LIVE_REQ, handler));
  EXPECT_TRUE(session->SetHandler(msg::TRANS_ON_NACK, handler));
  EXPECT_TRUE(session->SetHandler(msg::LIVE_DATA, handler));
}

TEST_F(SessionTest, ReplacingThePasswordNeverMixesOldAndNewBytes) {
  auto session = MakeSession(test::FastTiming(), "admin", "averylongoldpass");
  session->ReplaceLoginPassword("new");
  EXPECT_EQ(session->LoginPassword(), "new");
  session->ReplaceLoginPassword("a-much-longer-new-password");
  EXPECT_EQ(session->LoginPassword(), "a-much-longer-new-password");
}

}  // namespace
}  // namespace orva
