// A setup record for the setup tests: network order, a given version, with
// recognisable filler in every byte so that anything written by mistake
// shows; the video standard NTSC, spot mode 0, the rate pages at 4CIF and
// record mode 1 switched on.
#pragma once

#include <cstdint>
#include <vector>

#include "orva/setup/setup_rules.h"

namespace orva::test {

inline std::vector<uint8_t> FilledSetupRecord(uint8_t major = 4, uint8_t minor = 2) {
  namespace at = setup::at;
  std::vector<uint8_t> b(kSetupDatabaseSize);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
  b[0] = major;
  b[1] = minor;
  b[at::kVideoStandard] = 0;
  b[at::kSpotMode] = 0;
  for (int c = 0; c < 16; ++c) {
    for (size_t r : {at::kResolution1, at::kResolution2, at::kMotionResolution, at::kResolution4, at::kResolution5})
      b[r + static_cast<size_t>(c)] = 0;
    b[at::kMode1Enable + static_cast<size_t>(c)] = 1;
  }
  return b;
}

}  // namespace orva::test
