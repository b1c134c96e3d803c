// The recorder's status block (disks, recording, extra storage devices)
// and the texts the status and system views show, with an estimate of the
// days until the disk is full from two or more samples of its free space.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orva {

inline constexpr size_t kStatusBlockSize = 16;
inline constexpr size_t kStatusBlockWithDevices = 28;

struct RecorderStatus {
  uint32_t recordingMask = 0;  // bit c: channel c + 1 is recording
  uint32_t state = 0;          // recording state code 0-5
  uint32_t capacityA = 0;      // total, MB
  uint32_t capacityB = 0;      // MB
  bool hasDevices = false;     // the block was longer than 16 bytes
  std::array<uint8_t, 4> present{}, value{}, deviceState{};
};

// Fields the block is too short for stay 0; the device section is read
// (as far as it goes) only from a block longer than 16 bytes.
RecorderStatus ParseStatusBlock(std::span<const uint8_t> block);

// "%5lld MByte" under 1024 MB, "%5lld GByte" up to 1023 GB, else "%6.2f TByte".
std::string FormatCapacity(uint64_t megabytes);
// "00:0A:1B:2C:3D:4E": upper case.
std::string FormatMacAddress(const std::array<uint8_t, 6>& mac);
// A build time as "%04d  %02d%02d  %02d%02d" (negative as 0).
std::string FormatBuildTime(int64_t wireSeconds);

// One reading of the free space, at a steady-clock time in seconds.
struct FreeSpaceSample {
  double atSeconds = 0;
  uint64_t freeMB = 0;
};
// Days until the free space reaches 0 at the rate seen between the first and
// the last sample; nothing (unknown) with fewer than two samples or when the
// free space is not falling.
std::optional<double> DaysUntilFull(const std::vector<FreeSpaceSample>& samples);

}  // namespace orva
