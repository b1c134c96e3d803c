// Desktop integration: the screen saver and the font faces the client's
// texts are measured in.
#pragma once

#include <cstdint>
#include <string>

namespace orva::services {

// Keeps the screen saver off while it lives (org.freedesktop.ScreenSaver
// Inhibit / UnInhibit on the session bus). Without a session bus, or when no
// screen-saver service answers, it does nothing and Active() is false.
class ScreenSaverInhibitor {
 public:
  explicit ScreenSaverInhibitor(const std::string& reason = "Watching cameras");
  ~ScreenSaverInhibitor();  // UnInhibit
  ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
  ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

  bool Active() const { return m_active; }
  const std::string& Error() const { return m_error; }

 private:
  bool m_active = false;
  uint32_t m_cookie = 0;
  std::string m_error;
};

// Maps the faces the client's layouts were made for onto fonts every Linux
// desktop has: "Arial Bold" and "Arial" -> "Liberation Sans", "Tahoma" ->
// "DejaVu Sans". Call once after the QGuiApplication exists.
void InstallFontSubstitutions();

}  // namespace orva::services
