#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QThread>
#include <memory>

#include "gui_support.h"
#include "orva/services/desktop.h"

namespace orva::guitest {
namespace {

std::filesystem::path g_home;
int g_folderCount = 0;

// The OpenGL driver is unloaded at exit, after which the leak checker can no
// longer name the allocations the driver keeps for the process. Keeping it
// loaded lets tests/lsan.supp name it.
void PinGlDrivers() {
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void*) {
        const std::string name = info->dlpi_name ? info->dlpi_name : "";
        if (name.find("_dri.so") != std::string::npos || name.find("libgallium") != std::string::npos)
          dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        return 0;
      },
      nullptr);
}

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/orva-gui-XXXXXX";
    const char* made = mkdtemp(pattern);
    ASSERT_NE(made, nullptr);
    g_home = made;
    std::filesystem::create_directories(g_home / ".config");
    setenv("HOME", g_home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_home / ".config").c_str(), 1);
    // Headless unless the caller chose a platform (the Xvfb run uses xcb).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    m_app = std::make_unique<QApplication>(argc, argv);
    services::InstallFontSubstitutions();
  }
  void TearDown() override {
    PinGlDrivers();
    m_app.reset();
    std::error_code ec;
    std::filesystem::remove_all(g_home, ec);
  }

 private:
  std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace

std::filesystem::path TestHome() { return g_home; }

std::filesystem::path FreshFolder(const std::string& name) {
  const auto path = g_home / (name + "-" + std::to_string(++g_folderCount));
  std::filesystem::create_directories(path);
  return path;
}

void ClearSettings() {
  QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
  settings.clear();
  settings.sync();
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

void Spin(std::chrono::milliseconds duration) {
  WaitFor([] { return false; }, duration);
}

}  // namespace orva::guitest
