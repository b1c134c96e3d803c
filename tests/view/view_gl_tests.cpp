// The YUV path on a real X display (run under xvfb-run): an OpenGL context
// exists, YV12 planes are converted in the shader, the crop is respected,
// and bottom-up RGB pictures show the right way up.
#include <gtest/gtest.h>

#include <QApplication>
#include <QOpenGLWidget>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <memory>

#include "orva/view/video_view.h"
#include "view_test_support.h"

using namespace orva::view;
using namespace orva::view::test;

namespace {

bool g_display = false;

class DisplayEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_display = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (!g_display) return;
    qputenv("QT_QPA_PLATFORM", "xcb");
    static int argc = 1;
    static char name[] = "view_gl_tests";
    static char* argv[] = {name, nullptr};
    m_app = new QApplication(argc, argv);
  }

 private:
  // Never destroyed: tearing it down unloads the GL driver, after which the
  // leak checker can no longer name the driver's own allocations.
  static inline QApplication* m_app = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new DisplayEnvironment);

class GlViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!g_display) GTEST_SKIP() << "no X display (run under xvfb-run)";
    view = std::make_unique<CVideoView>(0);
    view->resize(815, 548);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->StartStream(ViewMode::kLive, 16);
  }
  QImage Frame() {
    for (int i = 0; i < 5; ++i) {
      QApplication::processEvents();
      QTest::qWait(20);
    }
    auto* surface = view->findChild<QOpenGLWidget*>();
    return surface ? surface->grabFramebuffer() : view->grab().toImage();
  }
  std::unique_ptr<CVideoView> view;
};

}  // namespace

TEST_F(GlViewTest, YuvPathIsActiveOnlyWithDrawModeZero) {
  EXPECT_TRUE(view->YuvPathActive());
  EXPECT_FALSE(view->RgbDrawMode());
  ASSERT_NE(view->findChild<QOpenGLWidget*>(), nullptr);
  CVideoView rgb(1);
  EXPECT_FALSE(rgb.YuvPathActive());
  EXPECT_EQ(rgb.findChild<QOpenGLWidget*>(), nullptr);
}

TEST_F(GlViewTest, ShaderShowsCroppedYv12AndUprightRgbPictures) {
  view->SetTextOn(false);
  // Channel 0: YV12 352 x 240, white crop lines on top, black below, red shown.
  StoreYv12Picture(*view, 0, 352, 240, {235, 128, 128}, {81, 90, 240}, {16, 128, 128});
  // Channel 1: YV12 704 x 480, blue shown (Y 41, U 240, V 110).
  StoreYv12Picture(*view, 1, 704, 480, {235, 128, 128}, {41, 240, 110}, {235, 128, 128});
  // Channel 2: bottom-up BGR, red crop lines on top, blue below, green shown.
  StoreRgbPicture(*view, 2, 352, 288, {QColor(255, 0, 0), QColor(0, 200, 0), QColor(0, 0, 255)});
  for (int c = 0; c < 3; ++c) view->DrawChannel(c);
  const QImage image = Frame();
  ASSERT_TRUE(view->YuvPathActive());
  const std::vector<Rect> rects = view->CurrentRects();
  auto check = [&](int pane, QColor expected) {
    const Rect r = rects[static_cast<size_t>(pane)];
    const int x = (r.left + r.right) / 2;
    for (int y : {r.top, (r.top + r.bottom) / 2, r.bottom - 1})
      EXPECT_TRUE(Near(image.pixelColor(x, y), expected, 30))
          << "pane " << pane << " y " << y << " " << qPrintable(image.pixelColor(x, y).name());
  };
  check(0, QColor(255, 0, 0));
  check(1, QColor(0, 0, 255));
  check(2, QColor(0, 200, 0));
  // A present channel without a picture shows the idle picture.
  MarkPresent(*view, 1u << 3, false);
  const QImage idle = Frame();
  const Rect r3 = rects[3];
  const QColor c3 = idle.pixelColor((r3.left + r3.right) / 2, (r3.top + r3.bottom) / 2);
  EXPECT_FALSE(Near(c3, QColor(255, 0, 0)) || Near(c3, QColor(0, 200, 0)));
  EXPECT_FALSE(view->PaintLatenciesMs().isEmpty());
}

TEST_F(GlViewTest, SixteenChannelPaintLatencyYuv) {
  view->ClearPaintLatencies();
  const int fed = FeedSixteenChannels(*view, 25, 3000);
  const QVector<double> samples = view->PaintLatenciesMs();
  double median = 0, p99 = 0;
  Percentiles(samples, median, p99);
  std::printf("YUV path, 16 x 25 pictures/s: %d fed, %lld painted, median %.2f ms, p99 %.2f ms\n", fed,
              static_cast<long long>(samples.size()), median, p99);
  EXPECT_TRUE(view->YuvPathActive());
  EXPECT_GT(samples.size(), fed / 20);
  EXPECT_LT(median, 200.0);
}

TEST_F(GlViewTest, FullScreenKeepsDrawingAfterTheSurfaceMoves) {
  view->SetTextOn(false);
  StoreYv12Picture(*view, 0, 352, 240, {81, 90, 240}, {81, 90, 240}, {81, 90, 240});
  view->DrawChannel(0);
  ASSERT_TRUE(view->EnterFullScreen(0));
  QTest::qWait(50);
  view->SetLayout(0);
  view->DrawChannel(0);
  const QImage full = Frame();
  EXPECT_EQ(full.size(), QGuiApplication::primaryScreen()->geometry().size() * full.devicePixelRatio());
  EXPECT_TRUE(Near(full.pixelColor(full.width() / 2, full.height() / 2), QColor(255, 0, 0), 30));
  view->LeaveFullScreen();
  EXPECT_TRUE(view->YuvPathActive());
  view->DrawChannel(0);
  const QImage back = Frame();
  EXPECT_EQ(back.size(), QSize(815, 548));
  EXPECT_TRUE(Near(back.pixelColor(back.width() / 2, back.height() / 2), QColor(255, 0, 0), 30));
}
