#include "orva/services/app_services.h"

#include <QCoreApplication>
#include <QDir>
#include <QMediaDevices>
#include <filesystem>
#include <system_error>

#include "orva/services/qt_sound.h"
#include "orva/services/resources.h"
#include "orva/link/trace.h"

namespace orva::services {
namespace {

std::filesystem::path ProgramFile() {
  if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath().toStdString();
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe;
}

}  // namespace

AppServices::AppServices(const CommandLine& commandLine) {
  std::error_code ec;
  auto workingDirectory = std::filesystem::current_path(ec);
  m_startup = ReadStartupFile(ec ? std::filesystem::path(".") : workingDirectory);
  const LocalSetup defaults = DefaultLocalSetup(m_startup, QDir::homePath().toStdString());
  m_setup = LoadLocalSetup(defaults);
  m_removable = DetectRemovableMode(ProgramFile(), commandLine.removable);
  if (m_removable) Trace("Removable mode.\n");

  m_screenSaver = std::make_unique<ScreenSaverInhibitor>();
  if (!m_removable) {
    std::string error;
    if (!CreateUpgradeFolder(m_setup.location, error)) Trace("Upgrade folder: %s\n", error.c_str());
  }
  // A missing decoder has already traced "H264_Q7.Dll not found.".
  m_decoder.Load("", m_decoderError);
  m_resourcesLoaded = Resources::Load();

  QtSoundDevice* sound = nullptr;
  const auto outputs = QMediaDevices::audioOutputs();
  if (!outputs.isEmpty()) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    auto owned = std::make_unique<QtSoundDevice>(device.isNull() ? outputs.first() : device);
    sound = owned.get();
    m_sound = std::move(owned);
  } else {
    Trace("No sound output device.\n");
  }
  m_volume = std::make_unique<QtVolumeControl>(sound);
  m_rememberedVolume = m_volume->GetVolume();
  m_rememberedMute = m_volume->GetMute();
  m_volume->SetMute(false);

  m_log = std::make_unique<LocalLog>(m_setup.location);
  m_log->SetAppendEnabled(!m_removable);
  m_log->Append(static_cast<uint32_t>(LogMain::kProgram), 1, "", "");
}

AppServices::~AppServices() {
  m_log->Append(static_cast<uint32_t>(LogMain::kProgram), 2, "", "");
  m_decoder.Unload();
  Resources::Unload();
  if (m_rememberedVolume >= 0) m_volume->SetVolume(m_rememberedVolume);
  m_volume->SetMute(m_rememberedMute);
  m_screenSaver.reset();
}

std::filesystem::path AppServices::DownloadFolder() const {
  if (!m_removable) return Paths().download;
  std::error_code ec;
  const auto here = std::filesystem::current_path(ec);
  return (ec ? std::filesystem::path(".") : here) / "Download";
}

void AppServices::ApplySetup(const LocalSetup& setup) {
  const std::string location = m_setup.location;
  m_setup = setup;
  if (m_removable) {
    // The base folder stays; nothing is saved or created.
    m_setup.location = location;
    return;
  }
  SaveLocalSetup(m_setup);
  std::string error;
  if (!CreateUpgradeFolder(m_setup.location, error)) Trace("Upgrade folder: %s\n", error.c_str());
  m_log->Append(static_cast<uint32_t>(LogMain::kSetupImage), 1, "", "");
}

}  // namespace orva::services
