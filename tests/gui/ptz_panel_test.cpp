// The PTZ panels against the simulator: opening only in live view and with
// the PTZ right, key presses and releases on the wire, mode switching,
// presets and the camera menu (which locks layout and channel commands),
// following the shown channel, and the panel going with live view.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSpinBox>

#include "gui_support.h"
#include "orva/link/ptz_control.h"
#include "orva/sim/simulator.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "orva/view/ptz_panel.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kChannelReq = 282, kMoveReq = 284, kMoveStop = 285;

services::CommandLine FixedDisk() {
  services::CommandLine cl;
  cl.removable = false;
  return cl;
}

struct Bench {
  std::unique_ptr<sim::Simulator> simulator;
  std::unique_ptr<services::AppServices> services;
  std::unique_ptr<MainWindow> window;

  explicit Bench(const std::string& user, const std::string& password) {
    sim::SimConfig config;
    config.host = "127.0.0.1";
    config.port = 0;
    config.channels = 4;
    config.video.fps = 2;
    config.ptzChannels = {};
    config.ptzChannels[0] = true;  // channel 1 steers, channel 2 does not
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    EXPECT_TRUE(simulator->Start(error)) << error;
    services = std::make_unique<services::AppServices>(FixedDisk());
    window = std::make_unique<MainWindow>(*services);
    window->show();
    ConnectParams p;
    p.address = "127.0.0.1";
    p.port = simulator->Port();
    p.user = user;
    p.password = password;
    window->Connect(p);
  }
  ~Bench() {
    window->Disconnect();
    window.reset();
  }
  bool Live() const { return window->Session() && window->Session()->LiveActive(); }
  // Payloads of one message code the recorder received, in order.
  std::vector<Bytes> Sent(uint16_t code) const {
    std::vector<Bytes> out;
    for (const auto& m : simulator->Received())
      if (m.code == code) out.push_back(m.payload);
    return out;
  }
  bool WaitSent(uint16_t code, size_t count) const {
    return guitest::WaitFor([&] { return Sent(code).size() >= count; }, 5s);
  }
};

void Press(QAbstractButton* b) {
  QMouseEvent e(QEvent::MouseButtonPress, QPointF(b->rect().center()), b->mapToGlobal(QPointF(b->rect().center())),
                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(b, &e);
}
void Release(QAbstractButton* b) {
  QMouseEvent e(QEvent::MouseButtonRelease, QPointF(b->rect().center()), b->mapToGlobal(QPointF(b->rect().center())),
                Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(b, &e);
}
void Key(QWidget* w, QEvent::Type type, int key, bool autoRepeat = false) {
  QKeyEvent e(type, key, Qt::NoModifier, QString(), autoRepeat);
  QApplication::sendEvent(w, &e);
}

TEST(PtzPanel, OpensOnlyInLiveViewWithTheRightAndClosesByItsModeButton) {
  Bench bench("admin", "4711");
  MainWindow& w = *bench.window;
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live(); }, 10s));

  // Live view stopped: the command is off and opening does nothing.
  w.Command("Live")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return !bench.Live(); }, 5s));
  guitest::Spin(300ms);
  EXPECT_FALSE(w.Command("Pan")->isEnabled());
  w.OpenPtz(0);
  EXPECT_EQ(w.PtzPanel(), nullptr);

  w.Command("Live")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live() && w.Command("Pan")->isEnabled(); }, 5s));
  w.Command("Pan")->click();
  ASSERT_NE(w.PtzPanel(), nullptr);
  EXPECT_EQ(w.PtzPanel()->size(), QSize(kPtzPanelWidth, kPtzPanelHeight));
  EXPECT_EQ(w.PtzPanel()->pos(), w.mapToGlobal(QPoint(730, 550)));
  EXPECT_TRUE(w.PtzPanel()->windowFlags() & Qt::FramelessWindowHint);
  ASSERT_TRUE(bench.WaitSent(kChannelReq, 1));
  EXPECT_EQ(bench.Sent(kChannelReq).back(), (Bytes{0, 0, 0, 0})) << "first pane's channel, pan mode";
  EXPECT_EQ(w.PtzChannel(), 0);

  // The other mode's button re-selects in that mode; the same one closes.
  w.Command("Zoom")->click();
  ASSERT_TRUE(bench.WaitSent(kChannelReq, 2));
  EXPECT_EQ(bench.Sent(kChannelReq).back(), (Bytes{0, 1, 0, 0}));
  ASSERT_NE(w.PtzPanel(), nullptr);
  EXPECT_EQ(w.PtzPanel()->Mode(), 1);
  w.Command("Zoom")->click();
  EXPECT_EQ(w.PtzPanel(), nullptr);

  // The panel's own mode buttons only switch: the shown mode's does nothing.
  w.Command("Pan")->click();
  ASSERT_NE(w.PtzPanel(), nullptr);
  ASSERT_TRUE(bench.WaitSent(kChannelReq, 3));
  w.PtzPanel()->Button("Pan")->click();
  ASSERT_NE(w.PtzPanel(), nullptr) << "the pan button in pan mode keeps the panel";
  EXPECT_EQ(w.PtzPanel()->Mode(), 0);
  w.PtzPanel()->Button("Zoom")->click();
  ASSERT_NE(w.PtzPanel(), nullptr);
  EXPECT_EQ(w.PtzPanel()->Mode(), 1);
  ASSERT_TRUE(bench.WaitSent(kChannelReq, 4));
  EXPECT_EQ(bench.Sent(kChannelReq).back(), (Bytes{0, 1, 0, 0}));
  w.PtzPanel()->Button("Zoom")->click();
  ASSERT_NE(w.PtzPanel(), nullptr);
  guitest::Spin(100ms);
  EXPECT_EQ(bench.Sent(kChannelReq).size(), 4u) << "nothing sent for the mode already shown";

  // "X" closes it, as the main window's button of the shown mode does.
  w.PtzPanel()->Button("Close")->click();
  EXPECT_EQ(w.PtzPanel(), nullptr);

  // Stopping live view destroys the panel; so does the disconnect.
  w.Command("Pan")->click();
  ASSERT_NE(w.PtzPanel(), nullptr);
  w.Command("Live")->click();
  EXPECT_EQ(w.PtzPanel(), nullptr);
  w.Command("Live")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live() && w.Command("Pan")->isEnabled(); }, 5s));
  w.Command("Pan")->click();
  ASSERT_NE(w.PtzPanel(), nullptr);
  w.Disconnect();
  EXPECT_EQ(w.PtzPanel(), nullptr);
}

TEST(PtzPanel, AGuestWithoutThePtzRightIsRefused) {
  Bench bench("guest", "guest");
  MainWindow& w = *bench.window;
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live() && w.Command("Pan")->isEnabled(); }, 10s));
  w.Command("Pan")->click();
  EXPECT_EQ(w.PtzPanel(), nullptr);
  ASSERT_NE(w.CurrentNotice(), nullptr);
  EXPECT_EQ(w.CurrentNotice()->Shown(), kNoticeNotPermitted);
  w.CurrentNotice()->close();
  guitest::Spin(200ms);
  EXPECT_TRUE(bench.Sent(kChannelReq).empty());
}

TEST(PtzPanel, KeysSendOneMoveOnPressAndAStopOnRelease) {
  Bench bench("admin", "4711");
  MainWindow& w = *bench.window;
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live() && w.Command("Pan")->isEnabled(); }, 10s));
  w.Command("Pan")->click();
  CPtzPanel* panel = w.PtzPanel();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(guitest::WaitFor([&] { return w.Ptz()->Availability() == 2; }, 5s)) << "channel 1 steers";
  EXPECT_TRUE(panel->Button("Left")->isEnabled());

  // Pan left is command 1; nothing more while held.
  Press(panel->Button("Left"));
  guitest::Spin(150ms);
  Release(panel->Button("Left"));
  ASSERT_TRUE(bench.WaitSent(kMoveStop, 1));
  ASSERT_EQ(bench.Sent(kMoveReq).size(), 1u);
  EXPECT_EQ(bench.Sent(kMoveReq)[0], (Bytes{1, 0, 0, 0}));

  // Zoom mode through the panel's own button; the arrow keys drive the pad
  // and auto-repeats send nothing more.
  panel->Button("Zoom")->click();
  ASSERT_TRUE(bench.WaitSent(kChannelReq, 2));
  EXPECT_EQ(bench.Sent(kChannelReq).back(), (Bytes{0, 1, 0, 0}));
  Key(panel, QEvent::KeyPress, Qt::Key_Up);
  Key(panel, QEvent::KeyPress, Qt::Key_Up, true);
  Key(panel, QEvent::KeyRelease, Qt::Key_Up);
  ASSERT_TRUE(bench.WaitSent(kMoveStop, 2));
  guitest::Spin(150ms);
  ASSERT_EQ(bench.Sent(kMoveReq).size(), 2u);
  EXPECT_EQ(bench.Sent(kMoveReq)[1], (Bytes{4, 0, 0, 0})) << "zoom up";
  EXPECT_EQ(bench.Sent(kMoveStop).size(), 2u);

  // Showing channel 2 alone makes it the PTZ channel; it cannot steer, so the
  // pad is disabled.
  ASSERT_TRUE(guitest::WaitFor([&] { return (w.VideoView()->PresentChannels() & 2u) != 0; }, 5s));
  w.Command("Ch2")->click();
  ASSERT_TRUE(bench.WaitSent(kChannelReq, 3));
  EXPECT_EQ(bench.Sent(kChannelReq).back(), (Bytes{1, 1, 0, 0}));
  ASSERT_TRUE(guitest::WaitFor([&] { return !panel->Button("Up")->isEnabled(); }, 5s));
  EXPECT_EQ(w.Ptz()->Availability(), 1);
  // A pane clicked in place follows too.
  emit w.VideoView()->channelClicked(0);
  ASSERT_TRUE(bench.WaitSent(kChannelReq, 4));
  EXPECT_EQ(bench.Sent(kChannelReq).back(), (Bytes{0, 1, 0, 0}));
  ASSERT_TRUE(guitest::WaitFor([&] { return panel->Button("Up")->isEnabled(); }, 5s));
}

TEST(PtzPanel, PresetsAndTheCameraMenu) {
  Bench bench("admin", "4711");
  MainWindow& w = *bench.window;
  ASSERT_TRUE(guitest::WaitFor([&] { return bench.Live() && w.Command("Pan")->isEnabled(); }, 10s));
  w.Command("Pan")->click();
  ASSERT_NE(w.PtzPanel(), nullptr);
  w.PtzPanel()->Button("Centre")->click();
  CPresetPanel* presets = w.PresetPanel();
  ASSERT_NE(presets, nullptr);
  EXPECT_EQ(presets->size(), QSize(kPresetPanelWidth, kPresetPanelHeight));
  EXPECT_EQ(presets->pos(), w.mapToGlobal(QPoint(0, 698 - 261)));

  // Preset 300: low byte 44, high byte 1.
  presets->Number()->setValue(300);
  presets->Action(1)->click();
  ASSERT_TRUE(bench.WaitSent(kMoveReq, 1));
  EXPECT_EQ(bench.Sent(kMoveReq)[0], (Bytes{9, 44, 0, 1}));
  presets->Number()->setValue(65535);
  EXPECT_EQ(presets->Number()->value(), 65535);

  // A running action (2) ends with action 3 when the panel closes.
  presets->Number()->setValue(7);
  presets->Action(2)->click();
  EXPECT_TRUE(w.Ptz()->PresetRunning());
  presets->Number()->setValue(9);  // the remembered number is the one that started
  presets->close();
  ASSERT_TRUE(bench.WaitSent(kMoveReq, 3));
  EXPECT_EQ(bench.Sent(kMoveReq)[1], (Bytes{10, 7, 0, 0}));
  EXPECT_EQ(bench.Sent(kMoveReq)[2], (Bytes{11, 7, 0, 0}));
  EXPECT_FALSE(w.Ptz()->PresetRunning());
  ASSERT_TRUE(guitest::WaitFor([&] { return w.PresetPanel() == nullptr; }, 2s));

  // The camera menu: 13, the preset panel closes, layout and channel
  // commands are ignored until 16.
  w.PtzPanel()->Button("Centre")->click();
  ASSERT_NE(w.PresetPanel(), nullptr);
  w.PresetPanel()->MenuButton()->click();
  ASSERT_TRUE(bench.WaitSent(kMoveReq, 4));
  EXPECT_EQ(bench.Sent(kMoveReq)[3], (Bytes{13, 0, 0, 0}));
  EXPECT_EQ(w.PresetPanel(), nullptr);
  EXPECT_TRUE(w.PtzMenuMode());
  ASSERT_NE(w.DomeMenuPanel(), nullptr);
  const int layout = w.VideoView()->Layout();
  w.Command("Layout1")->click();
  w.Command("Ch3")->click();
  EXPECT_EQ(w.VideoView()->Layout(), layout) << "menu mode keeps the layout";
  // The pad moves inside the camera's menu with the same codes.
  Press(w.PtzPanel()->Button("Down"));
  Release(w.PtzPanel()->Button("Down"));
  w.DomeMenuPanel()->Button("Enter")->click();
  w.DomeMenuPanel()->Button("Escape")->click();
  w.DomeMenuPanel()->Button("Leave")->click();
  ASSERT_TRUE(bench.WaitSent(kMoveReq, 8));
  const auto moves = bench.Sent(kMoveReq);
  EXPECT_EQ(moves[4], (Bytes{3, 0, 0, 0}));
  EXPECT_EQ(moves[5], (Bytes{14, 0, 0, 0}));
  EXPECT_EQ(moves[6], (Bytes{15, 0, 0, 0}));
  EXPECT_EQ(moves[7], (Bytes{16, 0, 0, 0}));
  EXPECT_FALSE(w.PtzMenuMode());
  EXPECT_EQ(w.DomeMenuPanel(), nullptr);
  w.Command("Layout1")->click();
  EXPECT_EQ(w.VideoView()->Layout(), 0) << "layouts work again";
}

}  // namespace
}  // namespace orva::view
