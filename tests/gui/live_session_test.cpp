// A whole session against the in-process simulator: connect, let live view
// run, and check on the screen that the panes show real camera pictures.
// Built twice: offscreen (QPainter path), and as the Xvfb program with an
// OpenGL context, where the YUV path must be the one drawing.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSlider>
#include <cstdlib>

#include "gui_support.h"
#include "orva/media/live_controller.h"
#include "orva/sim/simulator.h"
#include "orva/view/layout_geometry.h"
#include "orva/view/main_window.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;

constexpr int kChannels = 8;

QImage GrabView(CVideoView* view) {
#ifdef ORVA_GUI_XVFB
  // What the X server shows, OpenGL surfaces included.
  const QPoint origin = view->mapToGlobal(QPoint(0, 0));
  return view->screen()->grabWindow(0, origin.x(), origin.y(), view->width(), view->height()).toImage();
#else
  return view->grab().toImage();
#endif
}

// The pane's picture shrunk to a small thumbnail, so that comparisons look at
// the picture and not at a few pixels of text.
QImage Thumb(const QImage& grab, const Rect& r) {
  const QRect inner(r.left + 4, r.top + 4, r.Width() - 8, r.Height() - 8);
  return grab.copy(inner).convertToFormat(QImage::Format_RGB888).scaled(32, 24, Qt::IgnoreAspectRatio,
                                                                           Qt::SmoothTransformation);
}

double MeanDifference(const QImage& a, const QImage& b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (a.width() * a.height() * 3.0);
}

struct PaneCheck {
  int differFromIdle = 0;  // panes unlike the idle picture
  int distinct = 0;        // of those, panes unlike every other such pane
};

PaneCheck CheckPanes(const QImage& idle, const QImage& live, int layout) {
  const std::vector<Rect> rects = LayoutRects(layout, live.width(), live.height(), 1);
  std::vector<QImage> moving;
  PaneCheck out;
  for (size_t i = 0; i < rects.size() && static_cast<int>(i) < kChannels; ++i) {
    const QImage now = Thumb(live, rects[i]);
    if (MeanDifference(now, Thumb(idle, rects[i])) > 10.0) moving.push_back(now);
  }
  out.differFromIdle = static_cast<int>(moving.size());
  for (size_t i = 0; i < moving.size(); ++i) {
    bool unique = true;
    for (size_t j = 0; j < moving.size() && unique; ++j)
      if (i != j && MeanDifference(moving[i], moving[j]) < 6.0) unique = false;
    out.distinct += unique ? 1 : 0;
  }
  return out;
}

TEST(LiveSession, PanesShowTheRecordersCameras) {
  sim::SimConfig config;
  config.host = "127.0.0.1";
  config.port = 0;
  config.channels = kChannels;
  config.video.fps = 8;
  sim::Simulator simulator(config);
  std::string error;
  ASSERT_TRUE(simulator.Start(error)) << error;

  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  ASSERT_TRUE(services.Decoder().Loaded()) << "the decoder library must be next to the program";
  MainWindow window(services);
  window.show();
  ASSERT_TRUE(guitest::WaitFor([&] { return window.isVisible(); }, 5s));
  guitest::Spin(200ms);
  CVideoView* view = window.VideoView();
#ifdef ORVA_GUI_XVFB
  EXPECT_TRUE(view->YuvPathActive()) << "with an OpenGL context the YUV path draws";
#endif
  const QImage idle = GrabView(view);

  ConnectParams p;
  p.address = "127.0.0.1";
  p.port = simulator.Port();
  p.user = "admin";
  p.password = "4711";
  window.Connect(p);
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));

  PaneCheck best;
  QImage live;
  guitest::WaitFor([&] {
    live = GrabView(view);
    const PaneCheck now = CheckPanes(idle, live, view->Layout());
    if (now.distinct > best.distinct) best = now;
    return best.distinct >= kChannels;
  }, 30s);
  if (const char* dir = std::getenv("ORVA_GUI_SHOTS")) live.save(QString::fromUtf8(dir) + "/live_view.png");
  EXPECT_EQ(view->Layout(), 5) << "eight channels start in the eight-pane layout";
  EXPECT_GE(best.differFromIdle, kChannels - 1);
  EXPECT_GE(best.distinct, kChannels - 1) << "each pane shows its own camera";
  EXPECT_GT(simulator.VideoFramesSent(0), 0u);
  EXPECT_GT(window.Live()->DecoderStats()[0].pictures, 0u);
#ifdef ORVA_GUI_XVFB
  EXPECT_TRUE(view->YuvPathActive());
#endif

  // Save takes a snapshot of every visible channel and stays disabled until
  // the writers have finished.
  window.TakeSnapshots();
  EXPECT_FALSE(window.Command("Save")->isEnabled());
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Command("Save")->isEnabled(); }, 20s));
  int saved = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(services.Paths().saved, ec)) saved += entry.is_regular_file();
  EXPECT_GE(saved, kChannels - 1);

  // A single camera: the channel button.
  window.Command("Ch3")->click();
  EXPECT_EQ(view->Layout(), 0);
  EXPECT_EQ(view->SingleShownChannel(), 2);

  // Live off and on again, once the recorder has answered the narrower request.
  guitest::Spin(500ms);
  window.Command("Live")->click();
  EXPECT_FALSE(window.Session()->LiveActive());
  window.Command("Live")->click();
  EXPECT_TRUE(guitest::WaitFor([&] { return window.Session()->LiveActive(); }, 10s));

  window.Quit();
  EXPECT_FALSE(window.HasConnection());
}

}  // namespace
}  // namespace orva::view
