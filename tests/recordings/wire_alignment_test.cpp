// Every message the recorder may send, with a payload longer than any
// handler expects, is read exactly to its announced length: a goodbye sent
// right after it is still seen, so the stream stayed aligned.
#include <gtest/gtest.h>

#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/device_control.h"
#include "orva/link/ptz_control.h"
#include "orva/media/headless_view.h"
#include "orva/media/live_controller.h"
#include "orva/recordings/download.h"
#include "orva/recordings/remote_playback.h"
#include "orva/recordings/search_controller.h"
#include "orva/setup/rights_monitor.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

TEST(WireAlignmentTest, EveryHandlerReadsExactlyTheAnnouncedPayload) {
  H264Library library;
  std::mutex decodeLock;
  HeadlessView view;
  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  RightsMonitor rights;
  DeviceControl device;
  PtzControl ptz;
  LiveController live(library, decodeLock, view, nullptr);
  SearchController search;
  PlaybackTiming timing;
  timing.controlPauseMs = timing.commandSettleFastMs = timing.commandSettleSlowMs = 0;
  RemotePlayback playback(library, decodeLock, view, {}, nullptr, timing);
  DownloadController download(DownloadOptions{});
  ConnectParams params{"127.0.0.1", recorder.Port(), "admin", "4711", ""};
  DvrSession session(std::move(params), &observer, nullptr, test::FastTiming());
  rights.Attach(session);
  device.Attach(session);
  ptz.Attach(session);
  live.Attach(session);
  search.Attach(session);
  playback.Attach(session);
  download.Attach(session);
  session.Open();
  ASSERT_TRUE(recorder.Accept());
  WireMessage m;
  ASSERT_TRUE(recorder.ReadMessage(m));
  ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload(2, 4))));
  ASSERT_TRUE(observer.WaitForIdentity());
  search.OpenWindow(nullptr, 4);

  int marks = 0;
  std::vector<uint16_t> lost;
  for (uint16_t code = 0; code <= msg::kMaxCode; ++code) {
    if (!msg::IsRecorderToClient(code) || code == msg::BYE48 || code == msg::HELLO48_ACK) continue;
    // 1,500 bytes: longer than every fixed payload except the identity and
    // the rights and names tables, which get twice their size.
    const size_t size = code == msg::RIGHT_CHANGE || code == msg::DB_CHANGE || code == msg::DB_CHANGE_UNICODE
                            ? 2400
                            : 1500;
    ASSERT_TRUE(recorder.Write(Frame(code, std::vector<uint8_t>(size, 0))));
    ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(2))));
    ++marks;
    bool seen = false;
    for (int i = 0; i < 200 && !seen; ++i) {
      auto n = observer.Notices();
      seen = std::count(n.begin(), n.end(), Notice{3, 1}) >= marks;
      if (!seen) std::this_thread::sleep_for(5ms);
    }
    if (!seen || session.State() != SessionState::kReady) {
      lost.push_back(code);
      break;
    }
  }
  EXPECT_TRUE(lost.empty()) << "the stream lost its alignment after code " << (lost.empty() ? 0 : lost[0]);
  EXPECT_GT(marks, 60);
  session.Close();
}

}  // namespace
}  // namespace orva
