// Shared set-up of the application-services tests: a private HOME and
// XDG_CONFIG_HOME (so QSettings never touches the real user's settings) and a
// QGuiApplication on the offscreen platform.
#pragma once

#include <filesystem>
#include <string>

namespace orva::services::test {

// The private home folder of this test run.
const std::filesystem::path& TestHome();
// The file QSettings("Tarn", "ORVA7000") writes.
std::filesystem::path SettingsFile();
// Removes every stored setting.
void ClearSettings();
// A fresh, empty folder under the test home.
std::filesystem::path FreshDir(const std::string& name);
std::string ReadText(const std::filesystem::path& file);
void WriteText(const std::filesystem::path& file, const std::string& text);

}  // namespace orva::services::test
