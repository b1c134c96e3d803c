// "FirmUp" against the simulator: the window's rows from the Upgrade folder,
// a whole upload with the verdicts and progress shown, the reboot offered on
// close after a success, and the command refused for another account.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "firmware_window.h"
#include "gui_support.h"
#include "orva/services/app_services.h"
#include "orva/sim/firmware_files.h"
#include "orva/sim/simulator.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;

struct FirmwareSession {
  FirmwareSession(const std::string& user, const std::string& password, int32_t updateFail = 0) {
    sim::SimConfig config;
    config.host = "127.0.0.1";
    config.port = 0;
    config.video.fps = 5;
    config.info.fwUpdateFail = updateFail;
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    EXPECT_TRUE(simulator->Start(error)) << error;
    cl.removable = false;
    services = std::make_unique<services::AppServices>(cl);
    std::vector<std::string> written;
    EXPECT_TRUE(sim::WriteSampleFirmware(config, services->Paths().upgrade.string(), written, error)) << error;
    window = std::make_unique<MainWindow>(*services);
    window->SetQuestionHook([this](Notice n) {
      asked.push_back(n);
      return true;
    });
    window->show();
    window->Connect({"127.0.0.1", simulator->Port(), user, password, ""});
    EXPECT_TRUE(guitest::WaitFor([&] { return window->Session() && window->Session()->LiveActive(); }, 10s));
    // The command is offered once the window has seen the login.
    EXPECT_TRUE(guitest::WaitFor([&] { return window->Command("FirmUp")->isEnabled(); }, 5s));
  }
  template <typename T>
  T* Child(const char* name) {
    return window->FirmwareWindowShown()->findChild<T*>(QString::fromLatin1(name));
  }
  bool Received(uint16_t code) {
    for (const auto& m : simulator->Received())
      if (m.code == code) return true;
    return false;
  }
  std::unique_ptr<sim::Simulator> simulator;
  services::CommandLine cl;
  std::unique_ptr<services::AppServices> services;
  std::unique_ptr<MainWindow> window;
  std::vector<Notice> asked;
};

TEST(FirmwareWindowSession, UploadsTheCandidatesAndOffersTheReboot) {
  FirmwareSession s("admin", "4711");
  s.window->Command("FirmUp")->click();
  ASSERT_NE(s.window->FirmwareWindowShown(), nullptr);
  // Rows 0 (main) and 1 (component 3) have candidates; the rest are disabled.
  for (int r = 0; r < kFirmwareRows; ++r) {
    QCheckBox* box = s.Child<QCheckBox>(QStringLiteral("firmwareBox%1").arg(r).toLatin1().constData());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->isChecked(), r < 2) << r;
    EXPECT_EQ(box->isEnabled(), r < 2) << r;
  }
  auto* start = s.Child<QPushButton>("firmwareStart");
  ASSERT_TRUE(start->isEnabled());
  start->click();
  EXPECT_FALSE(s.Child<QCheckBox>("firmwareBox0")->isEnabled()) << "boxes are locked while the run goes on";
  ASSERT_TRUE(guitest::WaitFor([&] { return s.Child<QLabel>("firmwareStatus1")->text() == "Updated"; }, 15s));
  EXPECT_EQ(s.Child<QLabel>("firmwareStatus0")->text(), "Updated");
  EXPECT_EQ(s.Child<QProgressBar>("firmwareProgress0")->value(), 100);
  EXPECT_FALSE(start->isEnabled()) << "nothing is left to send";
  // For looking at the window by eye: ORVA_SCREENSHOTS=DIR keeps a picture of it.
  if (const QString dir = qEnvironmentVariable("ORVA_SCREENSHOTS"); !dir.isEmpty())
    s.window->FirmwareWindowShown()->grab().save(dir + QStringLiteral("/firmware_window.png"));
  // A second "FirmUp" while the window is open does nothing.
  FirmwareWindow* shown = s.window->FirmwareWindowShown();
  s.window->Command("FirmUp")->click();
  EXPECT_EQ(s.window->FirmwareWindowShown(), shown);
  s.Child<QPushButton>("firmwareClose")->click();
  ASSERT_EQ(s.asked, std::vector<Notice>{kNoticeRebootAfterUpgrade});
  EXPECT_TRUE(guitest::WaitFor([&] { return s.Received(342); }, 5s)) << "REBOOT_REQ";
}

TEST(FirmwareWindowSession, FailuresShowInTheRowAndNoRebootIsOffered) {
  FirmwareSession s("admin", "4711", 9);
  s.window->Command("FirmUp")->click();
  ASSERT_NE(s.window->FirmwareWindowShown(), nullptr);
  s.Child<QPushButton>("firmwareStart")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return s.Child<QLabel>("firmwareStatus1")->text() == "Failed (9)"; }, 15s));
  EXPECT_EQ(s.Child<QLabel>("firmwareStatus0")->text(), "Failed (9)");
  s.Child<QPushButton>("firmwareClose")->click();
  EXPECT_TRUE(s.asked.empty());
  guitest::Spin(300ms);
  EXPECT_FALSE(s.Received(342));
}

TEST(FirmwareWindowSession, AnotherAccountIsNotPermitted) {
  FirmwareSession s("guest", "guest");
  // Whatever the login showed goes first: one notice is shown at a time.
  if (NoticeWindow* shown = s.window->CurrentNotice()) shown->close();
  s.window->Command("FirmUp")->click();
  EXPECT_EQ(s.window->FirmwareWindowShown(), nullptr);
  ASSERT_NE(s.window->CurrentNotice(), nullptr);
  EXPECT_EQ(s.window->CurrentNotice()->Shown(), kNoticeNotPermitted)
      << s.window->CurrentNotice()->Shown().category << "/" << s.window->CurrentNotice()->Shown().code;
}

}  // namespace
}  // namespace orva::view
