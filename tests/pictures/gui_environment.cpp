// Rendering draws text, and Qt fonts need a QGuiApplication: one for the
// whole test program, offscreen unless the caller chose a platform.
#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "pictures_tests";
    static char* argv[] = {name, nullptr};
    m_app = new QGuiApplication(argc, argv);
  }
  void TearDown() override {
    delete m_app;
    m_app = nullptr;
  }

 private:
  QGuiApplication* m_app = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace
