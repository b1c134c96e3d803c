// Shared by the desktop window tests: one QApplication for the whole run,
// created with a private HOME and XDG_CONFIG_HOME so that settings and files
// never touch the real user's, and small waiting helpers.
#pragma once

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace orva::guitest {

// The private home of this run (settings live below it).
std::filesystem::path TestHome();
// A new empty folder below the private home.
std::filesystem::path FreshFolder(const std::string& name);
// Removes every value of the client's settings.
void ClearSettings();
// Processes events until `done` holds or the time has passed.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);
void Spin(std::chrono::milliseconds duration);

}  // namespace orva::guitest
