// The backup controls' rules (size text, the free-space refusal, a running
// download), the day page's stretch, the progress window's percentages, and
// local playback in the main window from pairs written in the Download
// folder: the local search pages, play, speed steps, pause, step, the
// slider's seek and closing with the stop key.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>

#include "backup_pages.h"
#include "download_progress.h"
#include "gui_support.h"
#include "local_playback_window.h"
#include "orva/link/wire.h"
#include "orva/recordings/backup_files.h"
#include "orva/recordings/local_player.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "search_pages.h"
#include "skin_button.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;

TEST(BackupControls, SizeAnswersDecideWhatIsOffered) {
  struct Case {
    uint32_t kib;
    bool fits, running;
    const char* text;
    bool start, calculate;
  };
  const Case cases[] = {
      {512, true, false, "512 KByte", true, false},
      {5 * 1024 + 3, true, false, "5 MByte", true, false},
      {3 * 1048576 + 7, true, false, "3 GByte", true, false},
      {0, true, false, "0 KByte", false, true},   // nothing to copy: ask again instead
      {2048, false, false, "", false, true},     // refused by the free-space rule (13/0)
      {2048, true, true, "2 MByte", false, false},  // one download at a time
  };
  for (const Case& c : cases) {
    BackupControls controls;
    controls.SetRangeValid(true);
    controls.SetDownloadRunning(c.running);
    ASSERT_TRUE(controls.CalculateButton()->isEnabled());
    controls.SetWaiting();
    EXPECT_FALSE(controls.CalculateButton()->isEnabled()) << "disabled while waiting";
    EXPECT_FALSE(controls.StartButton()->isEnabled());
    controls.ShowSize(c.kib, c.fits);
    EXPECT_EQ(controls.SizeText()->text(), QString::fromLatin1(c.text)) << c.kib;
    EXPECT_EQ(controls.StartButton()->isEnabled(), c.start) << c.kib << " fits " << c.fits;
    EXPECT_EQ(controls.CalculateButton()->isEnabled(), c.calculate) << c.kib;
    // The download ends: a fitting size is offered again.
    controls.SetDownloadRunning(false);
    EXPECT_EQ(controls.StartButton()->isEnabled(), c.fits && c.kib > 0);
    // A new range forgets the answer.
    controls.Forget();
    EXPECT_EQ(controls.SizeText()->text(), QString());
    EXPECT_FALSE(controls.StartButton()->isEnabled());
    EXPECT_TRUE(controls.CalculateButton()->isEnabled());
  }
}

TEST(BackupPages, DayPagePressAndDragChooseTheStretch) {
  BackupDayPage page;
  const uint32_t day = 1260144000;  // 2009-12-07 00:00:00
  SpanRecord rec;
  rec.channelMask = 0x3;
  rec.kind = 1;
  rec.start = day + 3600;
  rec.end = day + 7200;
  page.SetDay(2009, 12, 7, {rec}, 0xFFFF, 16, 0);
  EXPECT_EQ(page.From(), 3600u) << "opens on the day's recorded stretch";
  EXPECT_EQ(page.To(), 7200u);
  DownloadRange range;
  ASSERT_TRUE(page.Range(range));
  EXPECT_EQ(range.start, day + 3600);
  EXPECT_EQ(range.end, day + 7200);
  EXPECT_EQ(range.eventKind, 0);

  page.Controls()->ShowSize(100, true);
  ASSERT_TRUE(page.Controls()->StartButton()->isEnabled());
  // Press at 06:00, drag to 08:00: the end pixel counts whole.
  DayTimeBar* bar = page.Bar();
  const int y = kTimeBarRowTop + 3;
  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(DayTimeBar::kBarLeft + 72, y));
  EXPECT_EQ(page.From(), 6u * 3600);
  EXPECT_FALSE(page.Controls()->StartButton()->isEnabled()) << "the old size no longer holds";
  QMouseEvent move(QEvent::MouseMove, QPointF(DayTimeBar::kBarLeft + 96, y), bar->mapToGlobal(QPointF(DayTimeBar::kBarLeft + 96, y)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(bar, &move);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(DayTimeBar::kBarLeft + 96, y));
  EXPECT_EQ(page.From(), 6u * 3600);
  EXPECT_EQ(page.To(), 8u * 3600 + 299);
  // No channel chosen: nothing to ask for.
  page.SetSelection(0);
  EXPECT_FALSE(page.Range(range));
  EXPECT_FALSE(page.Controls()->CalculateButton()->isEnabled());
}

TEST(DownloadProgress, PercentOfTheEstimateClampedAndStop) {
  struct Case {
    uint64_t received;
    uint32_t estimate;
    const char* text;
  };
  const Case cases[] = {{0, 1000, "0.0 %"},    {1, 3, "33.3 %"},       {999, 1000, "99.9 %"},
                        {1000, 1000, "100.0 %"}, {5000, 1000, "100.0 %"}, {7, 0, "0.0 %"}};
  for (const Case& c : cases)
    EXPECT_EQ(DownloadPercentText(c.received, c.estimate), QString::fromLatin1(c.text)) << c.received << "/" << c.estimate;

  DownloadProgressWindow window(2048);
  EXPECT_EQ(window.PercentText()->text(), QStringLiteral("0 %"));
  EXPECT_EQ(window.Bar()->maximum(), 2048);
  window.SetReceived(512);
  EXPECT_EQ(window.Bar()->value(), 512);
  EXPECT_EQ(window.PercentText()->text(), QStringLiteral("25.0 %"));
  window.SetReceived(9999);
  EXPECT_EQ(window.Bar()->value(), 2048);
  int stops = 0;
  QObject::connect(&window, &DownloadProgressWindow::stopRequested, [&] { ++stops; });
  window.StopButton()->click();
  window.StopButton()->click();
  EXPECT_EQ(stops, 1) << "the stop is asked once";
}

// ------------------------------------------------------------ local playback

constexpr uint32_t kT0 = 1260180000;  // 2009-12-07 10:00:00
constexpr int kSeconds = 30, kFps = 5;

std::vector<uint8_t> Video(int channel, uint64_t ms, bool key, uint32_t recordingId, uint8_t kind) {
  std::vector<uint8_t> r(192 + 20 + 200, 0x33);
  std::fill(r.begin(), r.begin() + 212, 0);
  StoreBE32(r.data() + 16, 0x20061123);
  StoreBE32(r.data() + 24, static_cast<uint32_t>(ms / 1000));
  StoreBE32(r.data() + 28, 220);
  StoreBE32(r.data() + 40, recordingId);
  r[50] = kind;
  StoreBE32(r.data() + 80, static_cast<uint32_t>(ms / 1000));
  StoreBE32(r.data() + 84, static_cast<uint32_t>(ms % 1000 * 1000));
  StoreBE32(r.data() + 192, 1);
  StoreBE32(r.data() + 196, (220u + 3) / 4 << 8);
  StoreBE32(r.data() + 200, static_cast<uint32_t>((1 << 3) | (channel << 5) | (key ? 0 : 1 << 11)));
  return r;
}

// Thirty seconds of two channels: a continuous recording, then a motion one.
void WritePairs(const std::filesystem::path& folder) {
  BackupPairWriter::Options o;
  o.folder = folder.string();
  o.now = [] { return 0x6000u; };
  BackupPairWriter writer(o);
  for (int s = 0; s < kSeconds; ++s)
    for (int f = 0; f < kFps; ++f)
      for (int ch = 0; ch < 2; ++ch)
        ASSERT_TRUE(writer.Write(Video(ch, (uint64_t{kT0} + s) * 1000 + f * 200, f == 0, s < 15 ? 1 : 2,
                                       s < 15 ? 0 : 2)));
  ASSERT_TRUE(writer.Close());
}

QString Offered(const MainWindow& window) {
  QString out;
  for (int code : {1, 2, 3, 4, 7})
    if (window.Command(QStringLiteral("Play%1").arg(code))->isEnabled()) out += QString::number(code);
  return out;
}

TEST(LocalPlayback, SearchPagesPlayStepSeekAndClose) {
  guitest::ClearSettings();
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  WritePairs(services.DownloadFolder());
  MainWindow window(services);
  window.show();
  EXPECT_TRUE(window.Command("LSearch")->isEnabled()) << "no connection needed";
  window.Command("LSearch")->click();
  LocalPlaybackWindow* local = window.LocalWindow();
  ASSERT_NE(local, nullptr);
  ASSERT_EQ(local->Pairs().size(), 1u);
  EXPECT_EQ(local->CurrentPageName(), QStringLiteral("calendarPage"));

  // The calendar found the day; the event list holds the motion segment.
  CalendarPage* calendar = local->Calendar();
  EXPECT_EQ(calendar->Year(), 2009);
  EXPECT_EQ(calendar->Month(), 11);
  ASSERT_TRUE(calendar->DayButton(6)->isEnabled());
  EXPECT_FALSE(calendar->DayButton(5)->isEnabled());
  local->OpenEvents();
  EXPECT_EQ(local->Events()->List()->topLevelItemCount(), 1) << "kind 2 tab";
  const ExportDefaults none = local->DefaultExport();
  EXPECT_EQ(none.from, kT0);
  EXPECT_EQ(none.to, kT0 + kSeconds - 1);

  // The day's bar starts at the first recording; Play starts there.
  calendar->DayButton(6)->click();
  ASSERT_EQ(local->CurrentPageName(), QStringLiteral("timeBarPage"));
  EXPECT_EQ(local->TimeBar()->DayStart() + local->TimeBar()->StartSeconds(), kT0);
  local->TimeBar()->PlayButton()->click();
  ASSERT_NE(window.Local(), nullptr);
  EXPECT_FALSE(local->isVisible()) << "the window steps aside for the picture";
  ASSERT_TRUE(guitest::WaitFor([&] { return window.VideoView()->Mode() == ViewMode::kLocalPlayback; }, 5s));
  EXPECT_EQ(Offered(window), QStringLiteral("234"));
  EXPECT_TRUE(window.PlaybackSlider()->isEnabled());
  ASSERT_TRUE(guitest::WaitFor([&] { return window.PlaybackSlider()->minimum() == static_cast<int>(kT0); }, 5s));
  // The two recordings are not joined: the slider spans the one playing.
  EXPECT_EQ(window.PlaybackSlider()->maximum(), static_cast<int>(kT0 + 14));

  // Forward again steps the speed 2, 3, 4 and back to 1.
  for (int expected : {2, 3, 4, 1}) {
    window.Command("Play3")->click();
    EXPECT_EQ(window.Local()->Speed(), expected);
  }
  // Pause, then a single step; steps are offered only while paused.
  window.Command("Play4")->click();
  EXPECT_EQ(window.Local()->Mode(), 4);
  EXPECT_EQ(Offered(window), QStringLiteral("12347"));
  const uint32_t paused = window.Local()->ShownTime();
  window.Command("Play7")->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Local()->Mode() == 4; }, 5s));
  EXPECT_GE(window.Local()->ShownTime(), paused);

  // The slider seeks: the shown time lands on the chosen second.
  const uint32_t target = kT0 + 10;
  window.PlaybackSlider()->setValue(static_cast<int>(target));
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Local()->ShownTime() == target; }, 5s))
      << window.Local()->ShownTime();

  // Stop closes local playback; the view returns to the live layout.
  window.Command("Play6")->click();
  EXPECT_EQ(window.Local(), nullptr);
  guitest::Spin(50ms);
  EXPECT_EQ(window.LocalWindow(), nullptr);
  EXPECT_NE(window.VideoView()->Mode(), ViewMode::kLocalPlayback);
  EXPECT_FALSE(window.PlaybackSlider()->isEnabled());
  EXPECT_EQ(Offered(window), QString());
}

TEST(LocalPlayback, AStartNoRecordingHoldsIsRefusedWith4_0) {
  guitest::ClearSettings();
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  WritePairs(services.DownloadFolder());
  MainWindow window(services);
  window.OpenLocalPlayback();
  EXPECT_FALSE(window.StartLocalPlayback(kT0 + 3600, 0));
  ASSERT_NE(window.CurrentNotice(), nullptr);
  EXPECT_EQ(window.CurrentNotice()->Shown(), (Notice{4, 0}));
  EXPECT_EQ(window.Local(), nullptr);
  EXPECT_TRUE(window.LocalPlaybackOpen()) << "the window stays for another choice";
}

}  // namespace
}  // namespace orva::view
