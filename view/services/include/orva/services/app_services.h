// The long-lived services of the desktop client that the main window and the
// video view share: settings, folders, the decoder library and decode lock,
// the sound output and volume, the local log. Created once at start, in the
// start-up order, and torn down in the shutdown order.
#pragma once

#include <QString>
#include <memory>
#include <mutex>
#include <optional>

#include "orva/services/desktop.h"
#include "orva/services/local_setup.h"
#include "orva/media/h264_decoder.h"
#include "orva/media/sound_device.h"
#include "orva/media/volume_control.h"
#include "orva/recordings/local_log.h"

namespace orva::services {

struct CommandLine {
  std::optional<std::string> connectHost;  // --connect HOST[:PORT]
  uint16_t connectPort = 2000;
  std::string user = "admin";             // --user NAME (password from ORVA_PASSWORD)
  std::string password;
  std::optional<bool> removable;          // --removable
  bool simulator = false;                 // --simulator: start the built-in simulated recorder and connect to it
  bool help = false;                      // --help / -h: print CommandLineUsage() and exit
};
// Parses the client's command line. Qt's own options (-platform NAME,
// -style NAME, --platform=NAME, ...) are skipped with their values and left
// to QApplication; argv is not changed. An unknown option is an error.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error);
std::string CommandLineUsage();

class AppServices {
 public:
  // Start-up steps that need no window: start-up file, defaults, settings,
  // removable mode, folders, decoder library ("H264_Q7.Dll not found."),
  // resources ("OrvaRes.dll not found."), sound output, volume (remembered,
  // mute cleared), local log start entry.
  // Construct on the GUI thread after the QApplication exists (the sound
  // sink lives there).
  explicit AppServices(const CommandLine& commandLine);
  // Shutdown order: local log end entry, libraries, volume restored.
  ~AppServices();

  const StartupFile& Startup() const { return m_startup; }
  LocalSetup& Setup() { return m_setup; }
  // Applies a changed setup (the local-setup dialog's OK): saves it unless
  // removable, creates Upgrade/, writes the local-log entry.
  void ApplySetup(const LocalSetup& setup);
  bool Removable() const { return m_removable; }
  Folders Paths() const { return FoldersOf(m_setup.location); }
  // Where downloads go and local playback looks: Location/Download, or in
  // removable mode Download/ under the working directory.
  std::filesystem::path DownloadFolder() const;

  const H264Library& Decoder() const { return m_decoder; }
  std::mutex& DecodeLock() { return m_decodeLock; }
  // Null when the computer has no sound output.
  SoundDevice* Sound() { return m_sound.get(); }
  VolumeControl& Volume() { return *m_volume; }
  LocalLog& Log() { return *m_log; }
  // Results of the start-up steps, for the main window's messages.
  bool ResourcesLoaded() const { return m_resourcesLoaded; }
  const std::string& DecoderError() const { return m_decoderError; }
  bool ScreenSaverInhibited() const { return m_screenSaver && m_screenSaver->Active(); }

 private:
  StartupFile m_startup;
  LocalSetup m_setup;
  bool m_removable = false;
  H264Library m_decoder;
  std::mutex m_decodeLock;
  std::unique_ptr<SoundDevice> m_sound;
  std::unique_ptr<VolumeControl> m_volume;
  int m_rememberedVolume = -1;
  bool m_rememberedMute = false;
  std::unique_ptr<LocalLog> m_log;
  std::unique_ptr<ScreenSaverInhibitor> m_screenSaver;
  bool m_resourcesLoaded = false;
  std::string m_decoderError;
};

}  // namespace orva::services
