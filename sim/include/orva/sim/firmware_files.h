// Sample firmware files for the simulated recorder's components, for demos
// and tests of the upgrade.
#pragma once

#include <string>
#include <vector>

#include "orva/sim/config.h"

namespace orva::sim {

// A main image and one image per further component that the upgrade offers,
// each one day newer than the configured build, written into `folder`
// (created if missing). Returns the paths, or false with an error text.
bool WriteSampleFirmware(const SimConfig& config, const std::string& folder, std::vector<std::string>& written,
                         std::string& error);

}  // namespace orva::sim
