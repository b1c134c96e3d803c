// The main window: its commands, the features still to come, sound, notices
// one at a time, category 2 closing the connection, and rights gating.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSlider>

#include "gui_support.h"
#include "orva/link/catalogue.h"
#include "orva/setup/setup_exchange.h"
#include "orva/setup/user_rights.h"
#include "orva/sim/simulator.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "orva/view/search_window.h"
#include "skin_button.h"
#include "test_support.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;

services::CommandLine FixedDisk() {
  services::CommandLine cl;
  cl.removable = false;
  return cl;
}

std::unique_ptr<sim::Simulator> StartSimulator(sim::SimConfig config = {}) {
  config.host = "127.0.0.1";
  config.port = 0;
  auto simulator = std::make_unique<sim::Simulator>(config);
  std::string error;
  EXPECT_TRUE(simulator->Start(error)) << error;
  return simulator;
}

ConnectParams Login(const sim::Simulator& simulator, const std::string& user, const std::string& password) {
  ConnectParams p;
  p.address = "127.0.0.1";
  p.port = simulator.Port();
  p.user = user;
  p.password = password;
  return p;
}

bool Ready(const MainWindow& window) {
  return window.Session() && window.Session()->State() == SessionState::kReady;
}

TEST(MainWindowCommands, EveryCommandIsThereAndConnectionCommandsWaitForARecorder) {
  services::AppServices services(FixedDisk());
  MainWindow window(services);
  EXPECT_EQ(window.size(), QSize(928, 698));
  EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
  ASSERT_NE(window.VideoView(), nullptr);
  EXPECT_EQ(window.VideoView()->geometry(), QRect(53, 72, 815, 548));

  QStringList all = {"Full", "Connect", "Live", "Audio", "RSearch", "RSetup", "FirmUp", "Pan", "Zoom", "LSearch",
                     "LSetup", "Save", "Load", "OSD", "Arrange", "Sound", "SelAudio", "Mike", "Min", "Quit"};
  for (int i = 1; i <= 16; ++i) all << QStringLiteral("Ch%1").arg(i);
  for (int panes : kLayoutButtonPanes) all << QStringLiteral("Layout%1").arg(panes);
  for (int i = 1; i <= 7; ++i) all << QStringLiteral("Play%1").arg(i);
  for (const QString& name : all) EXPECT_NE(window.Command(name), nullptr) << name.toStdString();

  for (const char* name : {"RSearch", "FirmUp", "Pan", "Zoom", "Play1", "Play2", "Play3", "Play4",
                           "Play6", "Play7"})
    EXPECT_FALSE(window.Command(QString::fromLatin1(name))->isEnabled()) << name;
  EXPECT_FALSE(window.PlaybackSlider()->isEnabled());
  // RSetup without a recorder opens a saved setup for review.
  for (const char* name : {"Connect", "Live", "Audio", "Play5", "Save", "Load", "LSearch", "LSetup", "RSetup", "OSD", "Arrange", "Ch1",
                           "Layout16"})
    EXPECT_TRUE(window.Command(QString::fromLatin1(name))->isEnabled()) << name;

  // Without a connection the connection commands do nothing.
  window.Command("Live")->click();
  window.Command("Play5")->click();
  window.Command("Save")->click();
  EXPECT_FALSE(window.HasConnection());
  EXPECT_TRUE(window.Command("Save")->isEnabled()) << "no stream, no snapshot";
  EXPECT_EQ(window.CurrentNotice(), nullptr);
}

TEST(MainWindowCommands, LayoutButtonsSelectTheirLayoutsAndPageOnRepeat) {
  services::AppServices services(FixedDisk());
  MainWindow window(services);
  CVideoView* view = window.VideoView();
  for (size_t i = 0; i < kLayoutButtonPanes.size(); ++i) {
    window.Command(QStringLiteral("Layout%1").arg(kLayoutButtonPanes[i]))->click();
    EXPECT_EQ(view->Layout(), kLayoutButtonLayouts[i]) << kLayoutButtonPanes[i];
  }
  window.Command("Layout4")->click();
  EXPECT_EQ(view->Layout(), 1);
  const int page = view->Page();
  window.Command("Layout4")->click();
  EXPECT_EQ(view->Layout(), 1);
  EXPECT_NE(view->Page(), page) << "pressing the current layout again shows its next page";
  const bool osd = view->TextOn();
  window.Command("OSD")->click();
  EXPECT_NE(view->TextOn(), osd);
}

TEST(MainWindowCommands, VolumeSliderAndMute) {
  services::AppServices services(FixedDisk());
  MainWindow window(services);
  QSlider* volume = window.VolumeSlider();
  EXPECT_EQ(volume->minimum(), 0);
  EXPECT_EQ(volume->maximum(), 65535);
  EXPECT_EQ(volume->value(), 40000);
  // Without a sound output every volume call fails and reads -1.
  const bool haveSound = services.Sound() != nullptr;
  EXPECT_EQ(services.Volume().GetVolume(), haveSound ? 40000 : -1);
  volume->setValue(1234);
  EXPECT_EQ(services.Volume().GetVolume(), haveSound ? 1234 : -1);
  window.Command("Sound")->click();
  EXPECT_EQ(services.Volume().GetMute(), haveSound);
  EXPECT_FALSE(volume->isEnabled()) << "the slider rests while muted";
  EXPECT_TRUE(static_cast<SkinButton*>(window.Command("Sound"))->Lit());
  window.Command("Sound")->click();
  EXPECT_FALSE(services.Volume().GetMute());
  EXPECT_TRUE(volume->isEnabled());
  EXPECT_FALSE(static_cast<SkinButton*>(window.Command("Sound"))->Lit());
}

TEST(MainWindowCommands, NextAudioChannelWrapsOverVisibleChannelsWithSound) {
  EXPECT_EQ(NextAudioChannel(-1, 0b1010, 0xFFFF), 1);
  EXPECT_EQ(NextAudioChannel(1, 0b1010, 0xFFFF), 3);
  EXPECT_EQ(NextAudioChannel(3, 0b1010, 0xFFFF), 1);
  EXPECT_EQ(NextAudioChannel(1, 0b1010, 0b0010), 1) << "channel 3 is not visible";
  EXPECT_EQ(NextAudioChannel(15, 0x8001, 0xFFFF), 0);
  EXPECT_EQ(NextAudioChannel(2, 0b1010, 0b0100), -1);
}

TEST(MainWindowNotices, OneAtATimeAndSizedByItsText) {
  services::AppServices services(FixedDisk());
  MainWindow window(services);
  window.show();
  ASSERT_TRUE(window.ShowNotice(kNoticeConnectRefused));
  NoticeWindow* first = window.CurrentNotice();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Shown(), kNoticeConnectRefused);
  EXPECT_FALSE(first->Text().isEmpty());
  EXPECT_FALSE(window.ShowNotice(Notice{3, 1})) << "a second notice while one is shown is dropped";
  EXPECT_EQ(window.CurrentNotice(), first);

  first->close();
  guitest::WaitFor([&] { return window.CurrentNotice() == nullptr; }, 2s);
  ASSERT_TRUE(window.ShowNotice(Notice{3, 1}));
  EXPECT_EQ(window.CurrentNotice()->Shown(), (Notice{3, 1}));
  window.CurrentNotice()->close();

  EXPECT_DOUBLE_EQ(NoticeWidthFactor(QLocale::English), 1.9);
  EXPECT_DOUBLE_EQ(NoticeWidthFactor(QLocale::Japanese), 1.85);
  EXPECT_DOUBLE_EQ(NoticeWidthFactor(QLocale::Korean), 1.875);
}

TEST(MainWindowNotices, ConnectionLostClosesTheConnectionFirst) {
  auto simulator = StartSimulator();
  services::AppServices services(FixedDisk());
  MainWindow window(services);
  window.show();
  window.Connect(Login(*simulator, "admin", "4711"));
  ASSERT_TRUE(guitest::WaitFor([&] { return Ready(window); }, 10s));

  // A notice is open; category 2 still closes the connection, then is dropped.
  ASSERT_TRUE(window.ShowNotice(Notice{6, 0}));
  EXPECT_FALSE(window.ShowNotice(kNoticeConnectionClosed));
  EXPECT_FALSE(window.HasConnection());
  EXPECT_TRUE(simulator->WaitForMessage(msg::BYE48, 5s)) << "the close sequence says goodbye";
  window.CurrentNotice()->close();
  guitest::WaitFor([&] { return window.CurrentNotice() == nullptr; }, 2s);
  guitest::Spin(300ms);
  EXPECT_EQ(window.CurrentNotice(), nullptr) << "reports of the closed connection are dropped";
}

TEST(MainWindowNotices, ARecorderThatGoesAwayIsReportedAndForgotten) {
  auto simulator = StartSimulator();
  services::AppServices services(FixedDisk());
  MainWindow window(services);
  window.show();
  window.Connect(Login(*simulator, "admin", "4711"));
  ASSERT_TRUE(guitest::WaitFor([&] { return Ready(window); }, 10s));
  simulator->Stop();
  ASSERT_TRUE(guitest::WaitFor([&] { return !window.HasConnection(); }, 10s));
  ASSERT_NE(window.CurrentNotice(), nullptr);
  EXPECT_EQ(window.CurrentNotice()->Shown(), kNoticeConnectionClosed);
  window.CurrentNotice()->close();
}

TEST(MainWindowNotices, RefusedConnectEndsIdle) {
  services::AppServices services(FixedDisk());
  MainWindow window(services);
  window.show();
  ConnectParams p;
  p.address = "127.0.0.1";
  p.port = 1;  // nothing listens there
  p.user = "admin";
  window.Connect(p);
  ASSERT_TRUE(guitest::WaitFor([&] { return !window.HasConnection(); }, 10s));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.CurrentNotice() != nullptr; }, 2s));
  EXPECT_EQ(window.CurrentNotice()->Shown(), kNoticeConnectRefused);
  window.CurrentNotice()->close();
}

TEST(MainWindowRights, StoppingRecordingWithoutTheRightShowsTheRefusal) {
  auto simulator = StartSimulator();
  services::AppServices services(FixedDisk());
  MainWindow window(services);
  window.show();
  window.Connect(Login(*simulator, "guest", "guest"));
  ASSERT_TRUE(guitest::WaitFor([&] { return Ready(window) && window.Session()->Connected(); }, 10s));
  // Starting needs no right.
  window.Command("Play5")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return simulator->Recording(); }, 5s));
  // The recording state reaches the window: the record key is lit.
  auto* record = static_cast<SkinButton*>(window.Command("Play5"));
  ASSERT_TRUE(guitest::WaitFor([&] { return record->Lit(); }, 5s));
  // ... and every pane carries the recording mark after its status text.
  for (int ch : {0, 15})
    EXPECT_TRUE(guitest::WaitFor(
        [&] { return window.VideoView()->StatusMarkAt(ch, kStatusMarkOffsets[1]) == StatusMark::kRecord; }, 2s));
  window.Command("Play5")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return window.CurrentNotice() != nullptr; }, 5s));
  EXPECT_EQ(window.CurrentNotice()->Shown(), kNoticeNotPermitted);
  EXPECT_TRUE(simulator->Recording()) << "nothing was sent";
  window.CurrentNotice()->close();
  window.Disconnect();
}

// Every RIGHT_CHANGE action reaches the windows, from a scripted recorder
// that changes the connected user's rights while the panels are open.
TEST(MainWindowRights, RightChangesReachTheOpenWindows) {
  test::ScriptedRecorder recorder;
  services::AppServices services(FixedDisk());
  MainWindow window(services);
  window.show();
  ConnectParams p;
  p.address = "127.0.0.1";
  p.port = recorder.Port();
  p.user = "operator";
  p.password = "pw";
  window.Connect(p);
  ASSERT_TRUE(recorder.Accept());
  test::WireMessage message;
  ASSERT_TRUE(recorder.ReadMessage(message));  // HELLO
  ASSERT_TRUE(recorder.Write(test::Frame(msg::HELLO48_ACK, test::ScriptedRecorder::IdentityPayload(2, 4))));
  auto table = [](std::initializer_list<std::pair<Right, uint8_t>> changes) {
    UserRightsTable t;
    t.SetUserId(1, "operator");
    t.SetPassword(1, "pw");
    t.SetLevel(1, 2);
    for (int r = 0; r < kRightCount; ++r) t.SetRightByte(1, static_cast<Right>(r), 1);
    for (auto [right, value] : changes) t.SetRightByte(1, right, value);
    return test::Frame(msg::RIGHT_CHANGE, std::vector<uint8_t>(t.bytes.begin(), t.bytes.end()));
  };
  ASSERT_TRUE(recorder.Write(table({})));
  ASSERT_TRUE(recorder.Write(test::Frame(msg::LIVE_CHANNEL_INFO, test::Be32(0x0000000F))));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Live() && window.Session()->Connected(); }, 5s));
  auto dismissNotice = [&](Notice expected) {
    ASSERT_TRUE(guitest::WaitFor([&] { return window.CurrentNotice() != nullptr; }, 5s));
    EXPECT_EQ(window.CurrentNotice()->Shown(), expected);
    window.CurrentNotice()->close();
    guitest::Spin(50ms);
  };

  window.OpenPtz(0);
  ASSERT_NE(window.PtzPanel(), nullptr);
  window.OpenSearch();
  ASSERT_NE(window.SearchWindow(), nullptr);
  ASSERT_EQ(window.SearchWindow()->Access(), SearchAccess::kAll);

  // Setup right withdrawn while the setup window edits: it closes, nothing is sent.
  window.OpenRemoteSetup();
  for (;;) {
    ASSERT_TRUE(recorder.ReadMessage(message));
    if (message.code == msg::DB_INFO_REQ) break;
  }
  std::vector<uint8_t> record(kSetupDatabaseSize, 0);
  record[0] = 4;
  record[1] = 2;
  std::vector<uint8_t> answer = test::Be32(static_cast<int32_t>(SetupCrc(record)));
  answer.insert(answer.end(), record.begin(), record.end());
  ASSERT_TRUE(recorder.Write(test::Frame(msg::DB_INFO_ACK, answer)));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.SetupWindowShown() != nullptr; }, 5s));
  ASSERT_TRUE(recorder.Write(table({{Right::kSetup, 0}})));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.SetupWindowShown() == nullptr; }, 5s));
  ASSERT_TRUE(recorder.Write(table({})));

  // PTZ right withdrawn: PTZ control stops with notice 15/0.
  ASSERT_TRUE(recorder.Write(table({{Right::kPtz, 0}})));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.PtzPanel() == nullptr; }, 5s));
  dismissNotice(kNoticeNotPermitted);
  EXPECT_FALSE(static_cast<SkinButton*>(window.Command("Pan"))->Lit());

  // Playback withdrawn, backup kept: the search window allows only backup.
  ASSERT_TRUE(recorder.Write(table({{Right::kPtz, 0}, {Right::kPlayback, 0}})));
  ASSERT_TRUE(guitest::WaitFor(
      [&] { return window.SearchWindow() && window.SearchWindow()->Access() == SearchAccess::kBackupOnly; }, 5s));

  // Access withdrawn: notice 15/0 and nothing else; above all the search
  // window is not opened up to everything.
  ASSERT_TRUE(recorder.Write(table({{Right::kPtz, 0}, {Right::kPlayback, 0}, {Right::kAccess, 0}})));
  dismissNotice(kNoticeNotPermitted);
  guitest::Spin(200ms);
  ASSERT_NE(window.SearchWindow(), nullptr);
  EXPECT_EQ(window.SearchWindow()->Access(), SearchAccess::kBackupOnly);

  // Neither search right: the search window closes.
  ASSERT_TRUE(recorder.Write(table({{Right::kPlayback, 0}, {Right::kBackup, 0}})));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.SearchWindow() == nullptr; }, 5s));
  window.Disconnect();
}

}  // namespace
}  // namespace orva::view
