#include "orva/link/recorder_status.h"

#include <algorithm>
#include <cstdio>

#include "orva/link/time_convert.h"
#include "orva/link/wire.h"

namespace orva {

RecorderStatus ParseStatusBlock(std::span<const uint8_t> block) {
  RecorderStatus s;
  uint8_t words[kStatusBlockSize] = {};
  std::copy_n(block.begin(), std::min(block.size(), sizeof words), words);
  s.recordingMask = LoadBE32(words);
  s.state = LoadBE32(words + 4);
  s.capacityA = LoadBE32(words + 8);
  s.capacityB = LoadBE32(words + 12);
  s.hasDevices = block.size() > kStatusBlockSize;
  if (s.hasDevices)
    for (size_t d = 0; d < 4; ++d) {
      auto at = [&](size_t offset) -> uint8_t { return offset < block.size() ? block[offset] : 0; };
      s.present[d] = at(16 + d);
      s.value[d] = at(20 + d);
      s.deviceState[d] = at(24 + d);
    }
  return s;
}

std::string FormatCapacity(uint64_t megabytes) {
  char text[48];
  if (megabytes < 1024) {
    std::snprintf(text, sizeof text, "%5llu MByte", static_cast<unsigned long long>(megabytes));
  } else if (const uint64_t g = megabytes / 1024; g <= 1023) {
    std::snprintf(text, sizeof text, "%5llu GByte", static_cast<unsigned long long>(g));
  } else {
    std::snprintf(text, sizeof text, "%6.2f TByte", static_cast<double>(g) / 1024.0);
  }
  return text;
}

std::string FormatMacAddress(const std::array<uint8_t, 6>& mac) {
  char text[24];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

std::string FormatBuildTime(int64_t wireSeconds) {
  UserTime u;
  GetTime_tToUsertime(wireSeconds < 0 ? 0 : wireSeconds, u);
  char text[40];
  std::snprintf(text, sizeof text, "%04d  %02d%02d  %02d%02d", u.year, u.month + 1, u.day + 1, u.hour, u.minute);
  return text;
}

std::optional<double> DaysUntilFull(const std::vector<FreeSpaceSample>& samples) {
  if (samples.size() < 2) return std::nullopt;
  const FreeSpaceSample& first = samples.front();
  const FreeSpaceSample& last = samples.back();
  const double seconds = last.atSeconds - first.atSeconds;
  if (seconds <= 0 || last.freeMB >= first.freeMB) return std::nullopt;
  const double perSecond = static_cast<double>(first.freeMB - last.freeMB) / seconds;
  return static_cast<double>(last.freeMB) / perSecond / 86400.0;
}

}  // namespace orva
