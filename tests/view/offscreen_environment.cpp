// One QApplication for the whole program on Qt's offscreen platform, with
// no X display in reach, so that no OpenGL context can be made.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

class OffscreenEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    static int argc = 1;
    static char name[] = "view_tests";
    static char* argv[] = {name, nullptr};
    m_app = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { m_app.reset(); }

 private:
  std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new OffscreenEnvironment);

}  // namespace
