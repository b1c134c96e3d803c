// The main window's live-view commands against the simulator, counted on
// the wire: layout buttons ask for live video again every time, and the
// "Live" toggle is gated only by playback and the connection's existence.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QRegularExpression>
#include <QSignalSpy>

#include "gui_support.h"
#include "orva/sim/simulator.h"
#include "orva/recordings/local_log.h"
#include "orva/sim/wire.h"
#include "orva/media/live_controller.h"
#include "orva/view/main_window.h"
#include "playback_bar.h"
#include "skin_button.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;

struct LiveBench {
  std::unique_ptr<sim::Simulator> simulator;
  std::unique_ptr<services::AppServices> services;
  std::unique_ptr<MainWindow> window;

  LiveBench() {
    sim::SimConfig config;
    config.host = "127.0.0.1";
    config.port = 0;
    config.channels = 4;
    config.video.fps = 2;
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    EXPECT_TRUE(simulator->Start(error)) << error;
    services::CommandLine cl;
    cl.removable = false;
    services = std::make_unique<services::AppServices>(cl);
    window = std::make_unique<MainWindow>(*services);
    window->show();
    ConnectParams p;
    p.address = "127.0.0.1";
    p.port = simulator->Port();
    p.user = "admin";
    p.password = "4711";
    window->Connect(p);
  }
  ~LiveBench() {
    window->Disconnect();
    window.reset();
  }
  bool Live() const { return window->Session() && window->Session()->LiveActive(); }
  size_t Count(uint16_t code) const {
    size_t n = 0;
    for (const auto& m : simulator->Received()) n += m.code == code;
    return n;
  }
  bool WaitCount(uint16_t code, size_t count) const {
    return guitest::WaitFor([&] { return Count(code) >= count; }, 5s);
  }
};

TEST(LiveCommands, EveryLayoutPressAsksForLiveVideoAgain) {
  LiveBench bench;
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live(); }, 10s));
  ASSERT_TRUE(bench.WaitCount(sim::code::kLiveReq, 1));
  guitest::Spin(300ms);
  const size_t before = bench.Count(sim::code::kLiveReq);
  // Four channels start in the four-pane layout: its button shows the same
  // channels each time, and each press still sends LIVE_REQ.
  ASSERT_EQ(bench.window->VideoView()->Layout(), 1);
  bench.window->Command("Layout4")->click();
  EXPECT_TRUE(bench.WaitCount(sim::code::kLiveReq, before + 1));
  bench.window->Command("Layout4")->click();
  EXPECT_TRUE(bench.WaitCount(sim::code::kLiveReq, before + 2));
  guitest::Spin(200ms);
  EXPECT_EQ(bench.Count(sim::code::kLiveReq), before + 2);
}

TEST(LiveCommands, LiveStopsAfterTheConnectedFlagWasCleared) {
  LiveBench bench;
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live(); }, 10s));
  // What LIVE_NACK and BYE48 leave behind: live still marked active on a
  // connection whose connected flag is off.
  bench.window->Session()->SetConnected(false);
  const size_t stops = bench.Count(sim::code::kLiveStop);
  bench.window->Command("Live")->click();
  EXPECT_FALSE(bench.window->Session()->LiveActive());
  EXPECT_TRUE(bench.WaitCount(sim::code::kLiveStop, stops + 1));
}

// The local-setup dialog's OK is in effect at once on the running
// connection: the next snapshot's date text and the next player's depths.
TEST(LiveCommands, LocalSettingsTakeEffectWhileLiveViewRuns) {
  LiveBench bench;
  CVideoView* view = bench.window->VideoView();
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live() && (view->PresentChannels() & 1u); }, 10s));
  auto snapshotText = [&] {
    QSignalSpy ready(view, &CVideoView::snapshotReady);
    view->RequestSnapshots();
    if (!ready.wait(5000)) return QString();
    return ready.at(0).at(5).toString();
  };
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d  ")).match(snapshotText()).hasMatch());
  guitest::WaitFor([&] { return !bench.window->SnapshotsPending(); }, 5s);

  services::LocalSetup setup = bench.services->Setup();
  setup.dateFormat = 2;
  setup.audioBuf = {4, 9, 1};
  bench.window->ApplyLocalSetup(setup);
  const QString text = snapshotText();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d-\\d\\d-\\d{4}  ")).match(text).hasMatch())
      << text.toStdString();
  EXPECT_EQ(bench.window->Live()->AudioDepth(true), 4);
  EXPECT_EQ(bench.window->Live()->AudioDepth(false), 9);
  EXPECT_EQ(bench.window->PlaybackBar()->DateFormat(), 2);
  guitest::WaitFor([&] { return !bench.window->SnapshotsPending(); }, 5s);
}

// After LIVE_STOP nothing of the stream is left: no sound indicator without
// a player, display mode 0, and "Save" does nothing (no snapshot, no local
// log entry 8/2).
TEST(LiveCommands, StoppedLiveViewLeavesNoSoundAndNothingToSave) {
  LiveBench bench;
  CVideoView* view = bench.window->VideoView();
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live(); }, 10s));
  // Stopped at once, before the handshake's queued view reset has run: the
  // stop must still be what the view shows last.
  bench.window->Command("Live")->click();
  guitest::Spin(300ms);
  EXPECT_EQ(view->Mode(), ViewMode::kNone);

  bench.window->Command("Live")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live(); }, 10s));
  guitest::Spin(300ms);
  EXPECT_EQ(view->Mode(), ViewMode::kLive);
  if (bench.services->Sound()) {
    bench.window->Command("Audio")->click();
    ASSERT_TRUE(guitest::WaitFor([&] { return bench.window->Session()->AudioIndicator(); }, 5s));
  }
  bench.window->Command("Live")->click();
  EXPECT_FALSE(bench.Live());
  EXPECT_FALSE(bench.window->Session()->AudioIndicator());
  guitest::Spin(300ms);
  EXPECT_EQ(view->Mode(), ViewMode::kNone);
  EXPECT_FALSE(static_cast<SkinButton*>(bench.window->Command("Audio"))->Lit());

  auto snapshotEntries = [&] {
    std::vector<LocalLogRecord> records;
    std::string error;
    bench.services->Log().Load(records, error);
    return std::count_if(records.begin(), records.end(), [](const LocalLogRecord& r) {
      return r.mainType == static_cast<uint32_t>(LogMain::kSetupImage) && r.subType == 2;
    });
  };
  const auto before = snapshotEntries();
  bench.window->Command("Save")->click();
  EXPECT_TRUE(bench.window->Command("Save")->isEnabled());
  EXPECT_EQ(snapshotEntries(), before);
  EXPECT_FALSE(bench.window->SnapshotsPending());
}

}  // namespace
}  // namespace orva::view
