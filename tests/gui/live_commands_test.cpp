// The main window's live-view commands against the simulator, counted on
// the wire: layout buttons ask for live video again every time, and the
// "Live" toggle is gated only by playback and the connection's existence.
#include <gtest/gtest.h>

#include <QAbstractButton>

#include "gui_support.h"
#include "orva/sim/simulator.h"
#include "orva/sim/wire.h"
#include "orva/view/main_window.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;

struct LiveBench {
  std::unique_ptr<sim::Simulator> simulator;
  std::unique_ptr<app::AppServices> services;
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
    app::CommandLine cl;
    cl.removable = false;
    services = std::make_unique<app::AppServices>(cl);
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

}  // namespace
}  // namespace orva::view
