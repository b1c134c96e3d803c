// Backup download and local playback as a user does them, against the
// in-process simulator: the backup calendar and its day, the event list for
// backup, a typed range whose size is asked for and downloaded with the
// progress window, then the pairs played locally (Live ignored, the remote
// event list's Play withheld) and one channel exported; and a size beyond
// the free space refused with 13/0. With ORVA_GUI_SHOTS set, the windows are
// saved there as pictures.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>

#include "backup_pages.h"
#include "download_progress.h"
#include "export_dialog.h"
#include "gui_support.h"
#include "local_playback_window.h"
#include "orva/recordings/local_log.h"
#include "orva/recordings/local_player.h"
#include "orva/sim/simulator.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "orva/view/search_window.h"
#include "search_pages.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;

void Shot(QWidget* widget, const char* name) {
  if (const char* dir = std::getenv("ORVA_GUI_SHOTS"))
    widget->grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QString::fromLatin1(name));
}

std::unique_ptr<sim::Simulator> StartSimulator(int frameBytes = 0) {
  sim::SimConfig config;
  config.host = "127.0.0.1";
  config.port = 0;
  config.channels = 16;
  config.video.fps = 5;
  config.archive.frameBytes = frameBytes;
  auto simulator = std::make_unique<sim::Simulator>(config);
  std::string error;
  EXPECT_TRUE(simulator->Start(error)) << error;
  return simulator;
}

ConnectParams Admin(const sim::Simulator& simulator) {
  ConnectParams p;
  p.address = "127.0.0.1";
  p.port = simulator.Port();
  p.user = "admin";
  p.password = "4711";
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

TEST(DownloadSession, BackupPagesDownloadPlayLocallyAndExport) {
  guitest::ClearSettings();
  auto simulator = StartSimulator();
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  window.show();
  window.Connect(Admin(*simulator));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));

  // The backup calendar and a day's stretch.
  RecordingSearchWindow* search = OpenSearchWindow(window);
  ASSERT_NE(search, nullptr);
  search->PageButton("BackupCalendar")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return search->CurrentPageName() == "backupCalendarPage"; }, 10s));
  CalendarPage* calendar = search->BackupCalendar();
  int day0 = -1;  // the latest recorded day: recorded up to now
  for (int d = 0; d < 31; ++d)
    if (calendar->DayButton(d) && calendar->DayButton(d)->isEnabled()) day0 = d;
  ASSERT_GE(day0, 0);
  Shot(search, "backup_calendar.png");
  calendar->DayButton(day0)->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return search->CurrentPageName() == "backupDayPage"; }, 10s));
  BackupDayPage* day = search->BackupDay();
  EXPECT_LT(day->From(), day->To());
  EXPECT_TRUE(day->Controls()->CalculateButton()->isEnabled());
  EXPECT_FALSE(day->Controls()->StartButton()->isEnabled()) << "no size asked for yet";
  Shot(search, "backup_day.png");

  // The event list for backup: an event's size.
  search->PageButton("EventBackup")->click();
  ASSERT_TRUE(guitest::WaitFor([&] {
    return search->CurrentPageName() == "eventBackupPage" && search->EventBackup()->List()->List()->topLevelItemCount() > 0;
  }, 10s));
  EventBackupPage* events = search->EventBackup();
  EXPECT_FALSE(events->Controls()->CalculateButton()->isEnabled()) << "no event chosen";
  events->List()->List()->setCurrentItem(events->List()->List()->topLevelItem(0));
  ASSERT_TRUE(events->Controls()->CalculateButton()->isEnabled());
  events->Controls()->CalculateButton()->click();
  EXPECT_FALSE(events->Controls()->CalculateButton()->isEnabled()) << "disabled while waiting";
  ASSERT_TRUE(guitest::WaitFor([&] { return events->Controls()->StartButton()->isEnabled(); }, 10s));
  EXPECT_TRUE(events->Controls()->SizeText()->text().contains("Byte"));
  Shot(search, "backup_events.png");

  // A typed range of the last half minute: size, then the download.
  search->PageButton("BackupRange")->click();
  BackupRangePage* range = search->BackupRange();
  ASSERT_NE(range, nullptr);
  const auto now = static_cast<uint32_t>(LocalClockValue());
  range->SetRange(now - 40, now - 10);
  range->Controls()->CalculateButton()->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return range->Controls()->StartButton()->isEnabled(); }, 10s));
  const QString size = range->Controls()->SizeText()->text();
  EXPECT_TRUE(size.endsWith("KByte") || size.endsWith("MByte")) << size.toStdString();
  Shot(search, "backup_range.png");
  range->Controls()->StartButton()->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return !window.SearchWindow() && window.DownloadProgress(); }, 5s));
  DownloadProgressWindow* progress = window.DownloadProgress();
  ASSERT_TRUE(guitest::WaitFor([&] { return progress->Bar()->value() > 0; }, 20s));
  EXPECT_TRUE(progress->PercentText()->text().endsWith(" %"));
  Shot(progress, "progress.png");
  ASSERT_TRUE(guitest::WaitFor([&] { return !window.DownloadProgress(); }, 120s)) << "the download ends";
  EXPECT_FALSE(window.Session()->TransferActive());

  // Local playback of what came: the pairs' day, played from a typed range.
  window.Command("LSearch")->click();
  LocalPlaybackWindow* local = window.LocalWindow();
  ASSERT_NE(local, nullptr);
  ASSERT_FALSE(local->Pairs().empty());
  Shot(local, "local_calendar.png");
  local->OpenEvents();
  Shot(local, "local_events.png");
  local->OpenTimeRange();
  local->TimeRange()->SetStart(now - 40);
  Shot(local, "local_range.png");
  local->TimeRange()->PlayButton()->click();
  ASSERT_NE(window.Local(), nullptr);
  CVideoView* view = window.VideoView();
  ASSERT_TRUE(guitest::WaitFor([&] { return view->Mode() == ViewMode::kLocalPlayback; }, 5s));
  ASSERT_TRUE(guitest::WaitFor([&] { return view->PresentChannels() != 0 && window.Local()->ShownTime() > now - 38; }, 15s));
  window.Command("Live")->click();
  EXPECT_EQ(view->Mode(), ViewMode::kLocalPlayback) << "Live is ignored while local playback is open";
  Shot(&window, "local_play.png");
  window.Command("Play4")->click();
  guitest::Spin(600ms);
  Shot(&window, "local_paused.png");

  // The remote event list offers no playback meanwhile.
  window.Command("RSearch")->click();
  ASSERT_NE(window.SearchWindow(), nullptr);
  window.SearchWindow()->OpenEvents();
  EventListPage* remote = nullptr;
  ASSERT_TRUE(guitest::WaitFor([&] {
    remote = window.SearchWindow()->Events();
    return remote && remote->List()->topLevelItemCount() > 0;
  }, 10s));
  remote->List()->setCurrentItem(remote->List()->topLevelItem(0));
  EXPECT_FALSE(remote->PlayButton()->isEnabled());
  window.SearchWindow()->close();

  // Export channel 1 of ten seconds.
  window.OpenLocalPlayback();
  local->ExportButton()->click();
  ExportDialog* exporter = window.Export();
  ASSERT_NE(exporter, nullptr);
  exporter->From()->setDateTime(FromRecorder(now - 35));
  exporter->To()->setDateTime(FromRecorder(now - 25));
  EXPECT_TRUE(exporter->Output()->text().endsWith(".mp4"));
  exporter->ExportButton()->click();
  EXPECT_TRUE(exporter->Running());
  EXPECT_FALSE(exporter->ExportButton()->isEnabled());
  Shot(exporter, "export_running.png");
  ASSERT_TRUE(guitest::WaitFor([&] { return !exporter->Running(); }, 120s));
  EXPECT_TRUE(exporter->ResultText()->text().contains(".sha256")) << exporter->ResultText()->text().toStdString();
  EXPECT_TRUE(std::filesystem::exists(exporter->Request().output));
  Shot(exporter, "export.png");
  exporter->close();

  // Stop closes local playback; the live view it interrupted comes back.
  local->hide();
  window.Command("Play6")->click();
  EXPECT_EQ(window.Local(), nullptr);
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session()->LiveActive(); }, 10s));
  window.Disconnect();
}

TEST(DownloadSession, ASizeBeyondTheFreeSpaceIsRefusedWith13_0) {
  guitest::ClearSettings();
  auto simulator = StartSimulator(1243968);  // every picture padded to 1.2 MB
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  window.show();
  window.Connect(Admin(*simulator));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));
  RecordingSearchWindow* search = OpenSearchWindow(window);
  ASSERT_NE(search, nullptr);
  search->OpenBackupRange();
  BackupRangePage* range = search->BackupRange();
  const auto now = static_cast<uint32_t>(LocalClockValue());
  range->SetRange(now - 2 * 3600, now - 10);
  range->Controls()->CalculateButton()->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return window.CurrentNotice() != nullptr; }, 30s));
  EXPECT_EQ(window.CurrentNotice()->Shown(), (Notice{13, 0}));
  ASSERT_TRUE(guitest::WaitFor([&] { return !range->Controls()->Waiting(); }, 5s));
  EXPECT_EQ(range->Controls()->SizeText()->text(), QString());
  EXPECT_FALSE(range->Controls()->StartButton()->isEnabled());
  EXPECT_TRUE(range->Controls()->CalculateButton()->isEnabled());
  Shot(search, "backup_refused.png");
  window.CurrentNotice()->close();
  window.Disconnect();
}

}  // namespace
}  // namespace orva::view
