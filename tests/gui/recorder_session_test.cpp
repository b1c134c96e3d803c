// The search window's recorder pages against the simulator: the log fetched
// into the viewer, the status answer in its page, the system rows from the
// logon, and a refused log request closing the search window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QTreeWidget>

#include "gui_support.h"
#include "orva/services/app_services.h"
#include "orva/sim/simulator.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "orva/view/recorder_views.h"
#include "orva/view/search_window.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;

struct Session {
  explicit Session(int32_t logNack) {
    sim::SimConfig config;
    config.host = "127.0.0.1";
    config.port = 0;
    config.channels = 16;
    config.video.fps = 5;
    config.info.logNack = logNack;
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    EXPECT_TRUE(simulator->Start(error)) << error;
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
  RecordingSearchWindow* Search() {
    if (!guitest::WaitFor([&] { return window->Session() && window->Session()->LiveActive(); }, 10s)) return nullptr;
    for (int i = 0; i < 50 && !window->SearchWindow(); ++i) {
      if (NoticeWindow* notice = window->CurrentNotice()) notice->close();
      window->Command("RSearch")->click();
      if (!window->SearchWindow()) guitest::Spin(100ms);
    }
    return window->SearchWindow();
  }
  std::unique_ptr<sim::Simulator> simulator;
  services::CommandLine cl;
  std::unique_ptr<services::AppServices> services;
  std::unique_ptr<MainWindow> window;
};

TEST(RecorderSession, LogStatusAndSystemPages) {
  Session s(0);
  RecordingSearchWindow* search = s.Search();
  ASSERT_NE(search, nullptr);
  search->PageButton("Log")->click();
  ASSERT_NE(search->Log(), nullptr);
  search->Log()->FetchButton()->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return search->LogViewerWindow() != nullptr; }, 10s));
  EXPECT_GT(search->LogViewerWindow()->List()->topLevelItemCount(), 0);
  EXPECT_TRUE(search->Log()->ShowButton()->isEnabled());

  search->PageButton("Status")->click();
  ASSERT_NE(search->Status(), nullptr);
  ASSERT_TRUE(guitest::WaitFor([&] { return search->Status()->List()->topLevelItemCount() > 0; }, 10s));
  EXPECT_EQ(search->Status()->List()->topLevelItemCount(), 3 + 1 + 16) << "16-byte block: no device rows";
  EXPECT_EQ(search->Status()->List()->topLevelItem(0)->text(1), "2.00 TByte");

  search->PageButton("System")->click();
  ASSERT_NE(search->System(), nullptr);
  EXPECT_EQ(search->System()->List()->topLevelItem(1)->text(1), QString::number(s.simulator->Port()));
  EXPECT_EQ(search->CurrentPageName(), "systemPage");
}

TEST(RecorderSession, ARefusedLogClosesTheSearchWindow) {
  Session s(83);
  RecordingSearchWindow* search = s.Search();
  ASSERT_NE(search, nullptr);
  search->PageButton("Log")->click();
  search->Log()->FetchButton()->click();
  EXPECT_TRUE(guitest::WaitFor([&] { return s.window->SearchWindow() == nullptr; }, 10s));
}

}  // namespace
}  // namespace orva::view
