// The recorder's firmware: the components it runs, the images it has taken
// and that take effect at the next reboot, and what it checks of an image.
// Shared by all sessions of one simulator.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "orva/sim/config.h"

namespace orva::sim::detail {

// What FW_UPDATE_REQ announces (its 56 bytes).
struct FirmwareAnnouncement {
  int component = -1;
  uint32_t buildTime = 0;
  std::string name;  // the 32-byte name field up to its first zero
};
std::optional<FirmwareAnnouncement> ParseAnnouncement(std::span<const uint8_t> payload);

// The build time a main image states in its text "(Mon DD YYYY - HH:MM:SS".
std::optional<uint32_t> MainImageBuildTime(std::span<const uint8_t> image);

class FirmwareStore {
 public:
  explicit FirmwareStore(std::vector<FirmwareComponent> installed) : installed_(std::move(installed)) {}

  std::vector<FirmwareComponent> Installed() const;
  std::string Name(int component) const;
  // An empty text when `image` is a whole image of the announced component,
  // else why not.
  std::string Check(const FirmwareAnnouncement& announced, std::span<const uint8_t> image) const;
  // Written: runs after the next reboot.
  void Stage(const FirmwareAnnouncement& announced);
  // The reboot: staged builds become the installed ones.
  void Reboot();

 private:
  mutable std::mutex mutex_;
  std::vector<FirmwareComponent> installed_;
  std::vector<FirmwareAnnouncement> staged_;
};

// Writes a main image and one image per further component with an upgrade
// row into `folder`, each built `daysNewer` days after the installed build.
// Returns the paths written, or an error.
bool WriteSampleFirmware(const std::vector<FirmwareComponent>& installed, const std::string& folder,
                         int daysNewer, std::vector<std::string>& written, std::string& error);

}  // namespace orva::sim::detail
