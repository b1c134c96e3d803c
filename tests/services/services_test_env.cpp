#include "services_test_env.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QGuiApplication>
#include <QSettings>
#include <fstream>
#include <memory>
#include <sstream>

namespace orva::services::test {
namespace {

std::filesystem::path MakeHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orva-app-tests-XXXXXX").string();
  const char* made = mkdtemp(pattern.data());
  return made ? std::filesystem::path(made) : std::filesystem::temp_directory_path() / "orva-app-tests";
}

class AppEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    const auto& home = TestHome();
    std::filesystem::create_directories(home / ".config");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    unsetenv("ORVA_PASSWORD");
    unsetenv("ORVA_RESOURCES");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "services_tests";
    static char* argv[] = {name, nullptr};
    m_app = std::make_unique<QGuiApplication>(argc, argv);
  }
  void TearDown() override {
    m_app.reset();
    std::error_code ec;
    std::filesystem::remove_all(TestHome(), ec);
  }

 private:
  std::unique_ptr<QGuiApplication> m_app;
};

const bool kRegistered = [] {
  ::testing::AddGlobalTestEnvironment(new AppEnvironment);
  return true;
}();

}  // namespace

const std::filesystem::path& TestHome() {
  static const std::filesystem::path home = MakeHome();
  return home;
}

std::filesystem::path SettingsFile() { return TestHome() / ".config" / "Tarn" / "ORVA7000.conf"; }

void ClearSettings() {
  QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
  settings.clear();
  settings.sync();
}

std::filesystem::path FreshDir(const std::string& name) {
  const auto dir = TestHome() / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace orva::services::test
