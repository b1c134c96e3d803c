// CVideoView on the offscreen platform: layouts and pages, the window map
// (drag, double-click, arrange), texts, picture rate, snapshots, full
// screen, and what the RGB path actually paints.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <cstdio>
#include <thread>

#include "orva/services/resources.h"
#include "orva/view/video_view.h"
#include "view_test_support.h"

using namespace orva::view;
using namespace orva::view::test;

namespace {

class VideoViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view = std::make_unique<CVideoView>(0);
    view->resize(815, 548);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->StartStream(ViewMode::kLive, 16);
  }
  QPoint Centre(int position) const {
    const Rect r = view->CurrentRects().at(static_cast<size_t>(position));
    return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  QImage Grab() {
    QApplication::processEvents();
    return view->grab().toImage();
  }
  std::unique_ptr<CVideoView> view;
};

uint16_t Bits(std::initializer_list<int> channels) {
  uint16_t m = 0;
  for (int c : channels) m = static_cast<uint16_t>(m | (1u << c));
  return m;
}

}  // namespace

TEST_F(VideoViewTest, SameLayoutAgainStepsThroughPagesAndWraps) {
  MarkPresent(*view, 0xFFFF);
  EXPECT_EQ(view->Layout(), 14);
  QSignalSpy visible(view.get(), &CVideoView::visibleChannelsChanged);
  std::vector<int> pages;
  for (int i = 0; i < 5; ++i) {
    view->SetLayout(1);
    pages.push_back(view->Page());
  }
  EXPECT_EQ(pages, (std::vector<int>{0, 1, 2, 3, 0}));
  ASSERT_EQ(visible.count(), 5);
  EXPECT_EQ(visible.at(1).at(0).value<quint16>(), Bits({4, 5, 6, 7}));
  EXPECT_EQ(visible.at(3).at(0).value<quint16>(), Bits({12, 13, 14, 15}));

  // Layout 6 shows channels 7 and 8 on both pages.
  view->SetLayout(6);
  EXPECT_EQ(view->VisibleChannels(), 0x01FF);
  view->SetLayout(6);
  EXPECT_EQ(view->Page(), 1);
  EXPECT_EQ(view->VisibleChannels(), 0xFF80);
  view->SetLayout(6);
  EXPECT_EQ(view->Page(), 0);
  view->SetLayout(99);  // no such layout: nothing changes
  EXPECT_EQ(view->Layout(), 6);
}

TEST_F(VideoViewTest, PageWithoutPresentChannelsIsPassedOverWithoutBlocking) {
  MarkPresent(*view, Bits({13}));
  QSignalSpy layouts(view.get(), &CVideoView::layoutChanged);
  view->SetLayout(1);
  EXPECT_EQ(view->Page(), 0);  // returned at once; the search runs on the event loop
  EXPECT_EQ(layouts.count(), 0);
  ASSERT_TRUE(layouts.wait(2000));
  EXPECT_EQ(view->Page(), 3);
  EXPECT_EQ(view->VisibleChannels(), Bits({12, 13, 14, 15}));

  // Nothing present anywhere: the search gives up after 17 pages.
  MarkPresent(*view, 0);
  {
    orva::ChannelPictureStore::Channel& ch = view->Store().At(13);
    std::lock_guard lock(ch.lock);
    ch.present = false;
  }
  layouts.clear();
  view->SetLayout(0);  // page 0, then 17 more: page 17 % 16
  ASSERT_TRUE(layouts.wait(2000));
  EXPECT_EQ(view->Page(), 1);
}

TEST_F(VideoViewTest, NineChannelRecorderStartsInSixteenPanesWithIdleWindows) {
  view->StartStream(ViewMode::kLive, 9);
  EXPECT_EQ(view->Layout(), 14);
  EXPECT_EQ(view->VisibleChannels(), 0x01FF);
  const QColor green(0, 200, 0);
  for (int c = 0; c < 16; ++c) StoreRgbPicture(*view, c, 352, 240, {green, green, green});
  for (int c = 0; c < 16; ++c) view->DrawChannel(c);
  const QImage image = Grab();
  EXPECT_TRUE(Near(image.pixelColor(Centre(8)), green));
  for (int w = 9; w < 16; ++w) EXPECT_FALSE(Near(image.pixelColor(Centre(w)), green)) << "window " << w;
  // A click on a window beyond the channel count starts nothing.
  QSignalSpy clicked(view.get(), &CVideoView::channelClicked);
  QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(12));
  EXPECT_EQ(clicked.count(), 0);
}

TEST_F(VideoViewTest, DragSwapsWindowsOfPresentChannels) {
  MarkPresent(*view, static_cast<uint16_t>(0xFFFF & ~Bits({9})));
  QSignalSpy visible(view.get(), &CVideoView::visibleChannelsChanged);
  QTest::mousePress(view.get(), Qt::LeftButton, {}, Centre(0));
  QTest::mouseMove(view.get(), Centre(3));
  QTest::mouseMove(view.get(), Centre(5));
  QTest::mouseRelease(view.get(), Qt::LeftButton, {}, Centre(5));
  EXPECT_EQ(view->ChannelInWindow(0), 5);
  EXPECT_EQ(view->ChannelInWindow(5), 0);
  EXPECT_EQ(visible.count(), 1);

  // Onto a window whose channel has no stream: no swap.
  QTest::mousePress(view.get(), Qt::LeftButton, {}, Centre(1));
  QTest::mouseMove(view.get(), Centre(9));
  QTest::mouseRelease(view.get(), Qt::LeftButton, {}, Centre(9));
  EXPECT_EQ(view->ChannelInWindow(1), 1);
  EXPECT_EQ(view->ChannelInWindow(9), 9);

  // Press and release on one window: the PTZ channel pick.
  QSignalSpy clicked(view.get(), &CVideoView::channelClicked);
  QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(5));
  ASSERT_EQ(clicked.count(), 1);
  EXPECT_EQ(clicked.at(0).at(0).toInt(), 0);

  // Menu mode: dragging is off.
  view->SetMenuMode(true);
  QTest::mousePress(view.get(), Qt::LeftButton, {}, Centre(2));
  QTest::mouseMove(view.get(), Centre(3));
  QTest::mouseRelease(view.get(), Qt::LeftButton, {}, Centre(3));
  EXPECT_EQ(view->ChannelInWindow(2), 2);
  view->SetMenuMode(false);

  // Arrange puts channel n back into window n.
  view->Arrange();
  for (int w = 0; w < 16; ++w) EXPECT_EQ(view->ChannelInWindow(w), w);
}

TEST_F(VideoViewTest, DoubleClickShowsOneChannelAndBack) {
  MarkPresent(*view, static_cast<uint16_t>(0xFFFF & ~Bits({6})));
  view->SetLayout(1);
  view->SetLayout(1);  // page 1: channels 4-7
  QSignalSpy visible(view.get(), &CVideoView::visibleChannelsChanged);
  QTest::mouseDClick(view.get(), Qt::LeftButton, {}, Centre(1));
  EXPECT_EQ(view->Layout(), 0);
  EXPECT_EQ(view->Page(), 5);
  EXPECT_EQ(view->SingleShownChannel(), 5);
  ASSERT_GE(visible.count(), 1);
  EXPECT_EQ(visible.last().at(0).value<quint16>(), Bits({5}));

  QTest::mouseDClick(view.get(), Qt::LeftButton, {}, Centre(0));
  EXPECT_EQ(view->Layout(), 1);
  EXPECT_EQ(view->Page(), 1);
  EXPECT_EQ(view->SingleShownChannel(), -1);
  EXPECT_EQ(visible.last().at(0).value<quint16>(), Bits({4, 5, 6, 7}));

  // A channel without stream is not shown alone; menu mode ignores double-clicks.
  QTest::mouseDClick(view.get(), Qt::LeftButton, {}, Centre(2));
  EXPECT_EQ(view->Layout(), 1);
  view->SetMenuMode(true);
  QTest::mouseDClick(view.get(), Qt::LeftButton, {}, Centre(3));
  EXPECT_EQ(view->Layout(), 1);
  view->SetMenuMode(false);
  view->ShowSingle(6);
  EXPECT_EQ(view->Layout(), 1);
  view->ShowSingle(7);
  EXPECT_EQ(view->SingleShownChannel(), 7);
}

TEST_F(VideoViewTest, TitlesAreFittedAndFormattedByMode) {
  const QFont font = CVideoView::TextFont();
  EXPECT_EQ(font.pixelSize(), 17);
  EXPECT_EQ(font.weight(), QFont::Bold);
  const QFontMetrics metrics(font);
  const QString longTitle = QStringLiteral("Parking lot north entrance");
  ASSERT_GT(metrics.horizontalAdvance(longTitle), 69);
  const QString fitted = CVideoView::FitCameraTitle(longTitle, 250, font);
  ASSERT_TRUE(fitted.endsWith(QStringLiteral("...")));
  const QString kept = fitted.chopped(3);
  EXPECT_TRUE(longTitle.startsWith(kept));
  EXPECT_LE(metrics.horizontalAdvance(kept), 69);
  EXPECT_GT(metrics.horizontalAdvance(longTitle.left(kept.size() + 1)), 69);  // one character more is too wide
  EXPECT_EQ(CVideoView::FitCameraTitle(longTitle, 198, font), longTitle);    // no limit
  EXPECT_EQ(CVideoView::FitCameraTitle(longTitle, 600, font), longTitle);
  EXPECT_EQ(CVideoView::FitCameraTitle(QStringLiteral("Door"), 250, font), QStringLiteral("Door"));

  EXPECT_EQ(CVideoView::TitleText(ViewMode::kLive, 2, QStringLiteral("Door"), 360, 240, 400, font),
            QStringLiteral("Door 360x240"));
  EXPECT_EQ(CVideoView::TitleText(ViewMode::kRemotePlayback, 2, QStringLiteral("Door"), 720, 480, 400, font),
            QStringLiteral("CH03  720x480"));
  EXPECT_EQ(CVideoView::StatusText(ViewMode::kLive, 7), QStringLiteral("LIVE  07"));
  EXPECT_EQ(CVideoView::StatusText(ViewMode::kRemotePlayback, 25), QStringLiteral("R-PLAY  25"));
  EXPECT_EQ(CVideoView::StatusText(ViewMode::kLocalPlayback, 0), QStringLiteral("L-PLAY  00"));
}

TEST_F(VideoViewTest, PictureRateIsHalfTheTwoSecondCountRoundedUp) {
  auto rateAfter = [&](int pictures) {
    for (int i = 0; i < pictures; ++i) view->DrawChannel(3);
    view->TickPictureRate();
    return view->PictureRate(3);
  };
  EXPECT_EQ(rateAfter(0), 0);
  EXPECT_EQ(rateAfter(1), 1);
  EXPECT_EQ(rateAfter(2), 1);
  EXPECT_EQ(rateAfter(7), 4);
  EXPECT_EQ(rateAfter(50), 25);
  EXPECT_EQ(rateAfter(0), 0);  // the count starts over each period
}

TEST_F(VideoViewTest, SnapshotsOnlyForVisiblePresentChannels) {
  MarkPresent(*view, static_cast<uint16_t>(0xFFFF & ~Bits({2})));
  view->SetLayout(1);  // channels 0-3 visible
  view->RequestSnapshots();
  for (int c = 0; c < 16; ++c)
    EXPECT_EQ(view->Store().TakeSnapshotRequest(c), c == 0 || c == 1 || c == 3) << "channel " << c;

  QSignalSpy ready(view.get(), &CVideoView::snapshotReady);
  QThread* gui = QThread::currentThread();
  QThread* deliveredOn = nullptr;
  QObject::connect(view.get(), &CVideoView::snapshotReady, view.get(), [&] { deliveredOn = QThread::currentThread(); });
  std::thread worker([&] { view->OnSnapshot(4, {1, 2, 3, 4, 5, 6}, 2, 1, true, "2023-11-14  22:13:20"); });
  worker.join();
  ASSERT_TRUE(ready.wait(2000));
  EXPECT_EQ(deliveredOn, gui);
  EXPECT_EQ(ready.at(0).at(0).toInt(), 4);
  EXPECT_EQ(ready.at(0).at(1).toByteArray(), QByteArray("\x01\x02\x03\x04\x05\x06", 6));
  EXPECT_EQ(ready.at(0).at(5).toString(), QStringLiteral("2023-11-14  22:13:20"));
}

TEST_F(VideoViewTest, NoOpenGlMeansRgbPathEvenWithYuvDrawMode) {
  EXPECT_FALSE(view->YuvPathActive());
  EXPECT_TRUE(view->RgbDrawMode());
  CVideoView rgb(1);
  EXPECT_FALSE(rgb.YuvPathActive());
}

TEST_F(VideoViewTest, RgbPathPaintsCroppedPicturesScaledIntoTheirPanes) {
  view->SetTextOn(false);
  // Channel 0: bottom-up BGR 352 x 240, red crop lines on top, blue below.
  StoreRgbPicture(*view, 0, 352, 240, {QColor(255, 0, 0), QColor(0, 200, 0), QColor(0, 0, 255)});
  // Channel 1: YV12 704 x 480, white crop lines on top, black below, red shown.
  StoreYv12Picture(*view, 1, 704, 480, {235, 128, 128}, {81, 90, 240}, {16, 128, 128});
  view->DrawChannel(0);
  view->DrawChannel(1);
  const QImage image = Grab();
  const Rect r0 = view->CurrentRects()[0], r1 = view->CurrentRects()[1];
  const int x0 = (r0.left + r0.right) / 2, x1 = (r1.left + r1.right) / 2;
  for (int y : {r0.top, (r0.top + r0.bottom) / 2, r0.bottom - 1})
    EXPECT_TRUE(Near(image.pixelColor(x0, y), QColor(0, 200, 0))) << "y " << y << " " << qPrintable(image.pixelColor(x0, y).name());
  for (int y : {r1.top, (r1.top + r1.bottom) / 2, r1.bottom - 1})
    EXPECT_TRUE(Near(image.pixelColor(x1, y), QColor(255, 0, 0))) << "y " << y << " " << qPrintable(image.pixelColor(x1, y).name());
  // Border between panes keeps the background.
  EXPECT_EQ(image.pixelColor(r0.right, x0 / 4), QColor(150, 150, 150));
  // A channel without a picture yet shows the idle picture, not a picture colour.
  MarkPresent(*view, Bits({2}), false);
  const QImage idle = Grab();
  const QPoint c2 = Centre(2);
  EXPECT_FALSE(Near(idle.pixelColor(c2), QColor(0, 200, 0)));
  EXPECT_FALSE(Near(idle.pixelColor(c2), QColor(255, 0, 0)));
  EXPECT_FALSE(view->PaintLatenciesMs().isEmpty());
}

TEST_F(VideoViewTest, VideoLossAndCovertReplaceThePicture) {
  const QColor green(0, 200, 0);
  StoreRgbPicture(*view, 2, 352, 240, {green, green, green});
  StoreRgbPicture(*view, 3, 352, 240, {green, green, green});
  view->DrawChannel(2);
  view->DrawChannel(3);
  EXPECT_TRUE(Near(Grab().pixelColor(Centre(2)), green));
  view->SetVideoLoss(Bits({2}));
  view->SetCovert(3, true);
  const QImage image = Grab();
  EXPECT_FALSE(Near(image.pixelColor(Centre(2)), green));
  EXPECT_FALSE(Near(image.pixelColor(Centre(3)), green));
  // The video-loss text is green at (7, 3) of the pane.
  const Rect r = view->CurrentRects()[2];
  bool greenText = false;
  for (int y = r.top + 3; y < r.top + 20; ++y)
    for (int x = r.left + 7; x < r.left + 60; ++x) greenText = greenText || image.pixelColor(x, y) == QColor(0, 255, 0);
  EXPECT_TRUE(greenText);
}

TEST_F(VideoViewTest, StatusMarksAreDrawnAtTheirPlacesAfterTheStatusText) {
  // The mark pictures come from the resource library (next to the program).
  ASSERT_TRUE(orva::services::Resources::Load());
  ASSERT_FALSE(orva::services::Resources::Picture(CVideoView::StatusMarkPicture(StatusMark::kRecord)).isNull());
  const QColor blue(0, 0, 200);
  StoreRgbPicture(*view, 0, 352, 240, {blue, blue, blue});
  view->RefreshText(0, 360, 240);
  view->DrawChannel(0);
  const Rect r = view->CurrentRects()[0];
  const int length = static_cast<int>(CVideoView::StatusText(ViewMode::kLive, 0).size());
  // Pixels of the 16 x 16 place at L x 10 + offset that are not the picture.
  auto marked = [&](const QImage& image, int offset) {
    int n = 0;
    for (int y = r.top + r.Height() - 18; y < r.top + r.Height() - 2; ++y)
      for (int x = r.left + length * 10 + offset; x < r.left + length * 10 + offset + 16; ++x)
        n += Near(image.pixelColor(x, y), blue) ? 0 : 1;
    return n;
  };
  for (int offset : kStatusMarkOffsets) EXPECT_EQ(marked(Grab(), offset), 0) << "no mark yet at +" << offset;

  struct Case {
    StatusMark mark;
    int x;
  };
  // Each place holds its own mark; another x is refused.
  for (Case c : {Case{StatusMark::kMotion, 5}, Case{StatusMark::kRecord, 25}, Case{StatusMark::kAudio, 40}}) {
    ASSERT_TRUE(view->SetStatusMark(0, c.mark, c.x));
    EXPECT_EQ(view->StatusMarkAt(0, c.x), c.mark);
  }
  EXPECT_FALSE(view->SetStatusMark(0, StatusMark::kAlarm, 30));
  EXPECT_FALSE(view->SetStatusMark(16, StatusMark::kAlarm, 5));
  const QImage all = Grab();
  for (int offset : kStatusMarkOffsets) EXPECT_GT(marked(all, offset), 20) << "mark at +" << offset;

  // A channel without the state shows no mark there; the others stay.
  view->SetStatusMark(0, StatusMark::kNone, 40);
  const QImage two = Grab();
  EXPECT_EQ(marked(two, 40), 0);
  EXPECT_GT(marked(two, 25), 20);
  // Off with the on-screen text.
  view->SetTextOn(false);
  EXPECT_EQ(marked(Grab(), 25), 0);
  view->SetTextOn(true);
  // The record outlives a new stream (the connection's state does).
  view->StartStream(ViewMode::kLive, 16);
  EXPECT_EQ(view->StatusMarkAt(0, 25), StatusMark::kRecord);
}

TEST_F(VideoViewTest, LiveResetFromAnotherThreadIsAppliedOnTheGuiThread) {
  QSignalSpy layouts(view.get(), &CVideoView::layoutChanged);
  view->SetVideoLoss(Bits({8}));  // left from the last stream
  // The handshake's live request, then at once the channel information,
  // both on the receive thread before the GUI thread runs the reset: the
  // channel information must win, the old stream's loss must not.
  std::thread receive([&] {
    view->ResetForLive(5);
    view->SetVideoLoss(Bits({2}));
    view->SetChannelMask(0x00FB);
  });
  receive.join();
  ASSERT_TRUE(layouts.wait(2000));
  EXPECT_EQ(view->Layout(), 5);
  EXPECT_EQ(view->Mode(), ViewMode::kLive);
  EXPECT_EQ(view->VisibleChannels(), 0x00FF);
  EXPECT_EQ(view->VideoLossChannels(), Bits({2}));
}

TEST_F(VideoViewTest, FullScreenCoversTheMonitorAndComesBack) {
  QWidget parent;
  parent.resize(928, 698);
  struct Unparent {  // the fixture owns the view, never the parent
    CVideoView* v;
    ~Unparent() { v->setParent(nullptr); }
  } guard{view.get()};
  view->setParent(&parent);
  view->Place(QRect(53, 72, 815, 548), 1, QColor(150, 150, 150));
  parent.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  QSignalSpy changed(view.get(), &CVideoView::fullScreenChanged);
  EXPECT_FALSE(view->EnterFullScreen(4));
  EXPECT_FALSE(view->EnterFullScreen(static_cast<int>(QGuiApplication::screens().size())));
  ASSERT_TRUE(view->EnterFullScreen(0));
  EXPECT_TRUE(view->FullScreen());
  EXPECT_TRUE(view->isWindow());
  EXPECT_EQ(view->geometry(), QGuiApplication::screens()[0]->geometry());
  EXPECT_FALSE(view->EnterFullScreen(0));  // already full screen
  QWidget* bar = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != view.get() && w->isVisible() && w->size() == QSize(350, 44)) bar = w;
  ASSERT_NE(bar, nullptr);
  const QRect screen = QGuiApplication::screens()[0]->geometry();
  EXPECT_EQ(bar->geometry().bottom(), screen.bottom());
  EXPECT_EQ(bar->geometry().center().x(), screen.center().x());
  EXPECT_NEAR(bar->windowOpacity(), 150.0 / 255.0, 0.01);
  // The bar's layout buttons: ignored in the PTZ panel's menu mode, and
  // every press is reported (live view asks again, also for the same layout).
  auto barButton = [&](const char* caption) -> QAbstractButton* {
    for (QAbstractButton* b : bar->findChildren<QAbstractButton*>())
      if (b->text() == QLatin1String(caption)) return b;
    return nullptr;
  };
  ASSERT_NE(barButton("4"), nullptr);
  QSignalSpy pressed(view.get(), &CVideoView::layoutPressed);
  const int before = view->Layout();
  view->SetMenuMode(true);
  barButton("4")->click();
  EXPECT_EQ(view->Layout(), before);
  EXPECT_EQ(pressed.count(), 0);
  view->SetMenuMode(false);
  barButton("4")->click();
  barButton("4")->click();
  EXPECT_EQ(view->Layout(), 1);
  EXPECT_EQ(pressed.count(), 2);

  view->LeaveFullScreen();
  EXPECT_FALSE(view->FullScreen());
  EXPECT_EQ(view->parentWidget(), &parent);
  EXPECT_EQ(view->geometry(), QRect(53, 72, 815, 548));
  EXPECT_EQ(changed.count(), 2);
}

TEST_F(VideoViewTest, SixteenChannelPaintLatencyRgb) {
  view->ClearPaintLatencies();
  const int fed = FeedSixteenChannels(*view, 25, 3000);
  const QVector<double> samples = view->PaintLatenciesMs();
  double median = 0, p99 = 0;
  Percentiles(samples, median, p99);
  std::printf("RGB path, 16 x 25 pictures/s: %d fed, %lld painted, median %.2f ms, p99 %.2f ms\n", fed,
              static_cast<long long>(samples.size()), median, p99);
  EXPECT_GT(samples.size(), fed / 10);
  EXPECT_LT(median, 200.0);
}
