// Search and remote playback as a user does them, against the in-process
// simulator with its recording archive: calendar, day time bar, playback in
// the video grid steered by the playback buttons, the playback screen's
// time bar, stop bringing the search window back; and the rights gate.
// With ORVA_GUI_SHOTS set, the windows are saved there as pictures.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QTest>
#include <bit>
#include <set>
#include <cstdlib>

#include "gui_support.h"
#include "orva/sim/simulator.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "orva/view/search_window.h"
#include "playback_bar.h"
#include "search_pages.h"
#include "skin_button.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;

void Shot(QWidget* widget, const char* name) {
  if (const char* dir = std::getenv("ORVA_GUI_SHOTS"))
    widget->grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QString::fromLatin1(name));
}

bool Lit(const MainWindow& window, const char* name) {
  return static_cast<SkinButton*>(window.Command(QString::fromLatin1(name)))->Lit();
}

// Which of the step, reverse, forward, pause and step keys are offered.
QString Offered(const MainWindow& window) {
  QString out;
  for (int code : {1, 2, 3, 4, 7})
    if (window.Command(QStringLiteral("Play%1").arg(code))->isEnabled()) out += QString::number(code);
  return out;
}

std::unique_ptr<sim::Simulator> StartSimulator() {
  sim::SimConfig config;
  config.host = "127.0.0.1";
  config.port = 0;
  config.channels = 16;
  config.video.fps = 5;
  auto simulator = std::make_unique<sim::Simulator>(config);
  std::string error;
  EXPECT_TRUE(simulator->Start(error)) << error;
  return simulator;
}

ConnectParams Login(const sim::Simulator& simulator, const char* user, const char* password) {
  ConnectParams p;
  p.address = "127.0.0.1";
  p.port = simulator.Port();
  p.user = user;
  p.password = password;
  return p;
}

// The user's rights arrive just after live view starts: ask for the search
// window until they are there (a refusal before that shows 15/0, closed here).
RecordingSearchWindow* OpenSearchWindow(MainWindow& window) {
  for (int i = 0; i < 50 && !window.SearchWindow(); ++i) {
    if (NoticeWindow* notice = window.CurrentNotice()) notice->close();
    window.Command("RSearch")->click();
    if (!window.SearchWindow()) guitest::Spin(100ms);
  }
  return window.SearchWindow();
}

TEST(SearchSession, CalendarTimeBarPlaybackButtonsAndStop) {
  auto simulator = StartSimulator();
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  window.show();
  window.Connect(Login(*simulator, "admin", "4711"));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));
  guitest::Spin(300ms);
  EXPECT_EQ(Offered(window), QString()) << "no playback keys in live view";

  // The calendar opens on the latest month; today holds recordings.
  RecordingSearchWindow* search = OpenSearchWindow(window);
  ASSERT_NE(search, nullptr);
  ASSERT_TRUE(guitest::WaitFor([&] { return search->CurrentPageName() == "calendarPage"; }, 10s));
  CalendarPage* calendar = search->Calendar();
  EXPECT_TRUE(calendar->MonthButton(calendar->Month())->isEnabled());
  EXPECT_TRUE(search->PageButton("BackupCalendar")->isEnabled()) << "admin may back up";
  int day0 = -1;  // the earliest recorded day of the month: recorded all day
  for (int d = 30; d >= 0; --d)
    if (calendar->DayButton(d) && calendar->DayButton(d)->isEnabled()) day0 = d;
  ASSERT_GE(day0, 0);
  Shot(search, "search_calendar.png");

  // The day's bar: continuous recording and events in their own colours.
  calendar->DayButton(day0)->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return search->CurrentPageName() == "timeBarPage"; }, 10s));
  TimeBarPage* bar = search->TimeBar();
  std::set<int> colours, rows;
  int start = -1;
  for (const TimeBarSegment& s : bar->Bar()->Segments()) {
    colours.insert(s.colour);
    rows.insert(s.row);
    if (s.row == 0 && s.colour == 0 && s.x1 - s.x0 > 12 && start < 0) start = s.x0 + 6;
  }
  EXPECT_GE(colours.size(), 2u);
  EXPECT_EQ(rows.size(), 16u);
  ASSERT_GE(start, 0);
  QTest::mouseClick(bar->Bar(), Qt::LeftButton, {}, QPoint(DayTimeBar::kBarLeft + start, kTimeBarRowTop + 3));
  EXPECT_EQ(bar->StartSeconds(), static_cast<uint32_t>(start) * 300);
  Shot(search, "search_time_bar.png");

  // Play: the search window goes, the grid plays all sixteen channels.
  bar->PlayButton()->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return window.RemotePlaybackRunning() && !window.SearchWindow(); }, 10s));
  CVideoView* view = window.VideoView();
  EXPECT_EQ(view->Mode(), ViewMode::kRemotePlayback);
  ASSERT_TRUE(guitest::WaitFor([&] { return std::popcount(view->PresentChannels()) == 16; }, 20s));
  EXPECT_TRUE(window.PlaybackBar()->isVisible());
  EXPECT_FALSE(window.PlaybackBar()->geometry().intersects(view->geometry()));
  ASSERT_TRUE(guitest::WaitFor([&] { return Lit(window, "Play3") && Offered(window) == "234"; }, 5s));
  const uint32_t begun = window.PlaybackBar()->ShownTime();
  ASSERT_TRUE(guitest::WaitFor([&] { return window.PlaybackBar()->ShownTime() > begun + 1; }, 10s));
  window.Command("Live")->click();
  EXPECT_EQ(view->Mode(), ViewMode::kRemotePlayback) << "Live is ignored while playing";
  guitest::Spin(500ms);
  Shot(&window, "playback_16.png");

  // Reverse: the shown time runs back.
  window.Command("Play2")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return Lit(window, "Play2"); }, 5s));
  EXPECT_EQ(Offered(window), QStringLiteral("234"));
  guitest::Spin(600ms);
  const uint32_t reversing = window.PlaybackBar()->ShownTime();
  ASSERT_TRUE(guitest::WaitFor([&] { return window.PlaybackBar()->ShownTime() + 1 < reversing; }, 10s));
  Shot(&window, "playback_reverse.png");

  // Pause, then single steps; the keys follow the paused state.
  window.Command("Play4")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return Lit(window, "Play4"); }, 5s));
  EXPECT_EQ(Offered(window), QStringLiteral("12347")) << "pause stays pressed, steps are offered";
  window.Command("Play7")->click();
  guitest::Spin(800ms);
  EXPECT_EQ(Offered(window), QStringLiteral("12347")) << "a step stays paused";
  EXPECT_TRUE(window.PlaybackBar()->isVisible());
  Shot(&window, "playback_paused_step.png");

  // The keyboard: space resumes forward play.
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QTest::keyClick(&window, Qt::Key_Space);
  ASSERT_TRUE(guitest::WaitFor([&] { return Lit(window, "Play3"); }, 5s)) << "space resumes";

  // Zoom in and jump: a new playback from the clicked time.
  PlaybackTimeBar* strip = window.PlaybackBar();
  strip->SetZoom(2);
  const QRect r = strip->BarRect();
  const uint32_t target = strip->TimeAtX(r.left() + r.width() / 4);
  QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(r.left() + r.width() / 4, r.center().y()));
  EXPECT_EQ(view->Mode(), ViewMode::kNone) << "the old playback stopped at once: nothing is shown";
  ASSERT_TRUE(guitest::WaitFor([&] {
    const uint32_t t = strip->ShownTime();
    return view->Mode() == ViewMode::kRemotePlayback && strip->isVisible() && Lit(window, "Play3") && t >= target && t < target + 30;
  }, 10s));
  ASSERT_TRUE(guitest::WaitFor([&] { return std::popcount(view->PresentChannels()) == 16; }, 20s));
  EXPECT_FALSE(window.SearchWindow()) << "a jump does not reopen the search";

  // Stop: live layout again, and the search window comes back on the day.
  ASSERT_TRUE(window.Command("Play6")->isEnabled());
  window.Command("Play6")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return !window.RemotePlaybackRunning(); }, 10s));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.SearchWindow() != nullptr; }, 10s));
  EXPECT_FALSE(window.RemotePlaybackRunning());
  EXPECT_FALSE(window.PlaybackBar()->isVisible());
  EXPECT_EQ(Offered(window), QString());
  EXPECT_EQ(window.SearchWindow()->CurrentPageName(), QStringLiteral("timeBarPage"));
  window.Disconnect();
  EXPECT_FALSE(window.SearchWindow());
}

TEST(SearchSession, WithoutPlaybackOrBackupRightTheSearchIsRefused) {
  auto simulator = StartSimulator();
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  window.show();
  window.Connect(Login(*simulator, "guest", "guest"));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));
  guitest::Spin(300ms);
  window.Command("RSearch")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return window.CurrentNotice() != nullptr; }, 5s));
  EXPECT_EQ(window.CurrentNotice()->Shown(), (Notice{15, 0}));
  EXPECT_EQ(window.SearchWindow(), nullptr);
  window.CurrentNotice()->close();
  window.Disconnect();
}

}  // namespace
}  // namespace orva::view
