// The first bytes of a file in the upgrade folder, as the firmware scan
// reads them (component images, and main images with their build date
// text), against the recorder that the input's first 768 bytes describe
// (a HELLO48_ACK identity record, as the scan compares names and builds).
#include <cstdlib>
#include <span>

#include "orva/link/firmware.h"
#include "orva/link/identity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < orva::kIdentitySize) return 0;
  orva::RecorderIdentity identity;
  if (!orva::ParseIdentity({data, orva::kIdentitySize}, identity)) std::abort();
  std::span<const uint8_t> head(data + orva::kIdentitySize, size - orva::kIdentitySize);
  const auto image = orva::ProbeFirmwareImage(head, identity);
  if (image && (image->component < 0 || image->component >= orva::kFirmwareComponents)) std::abort();
  (void)orva::ParseMainBuildTime(head);
  return 0;
}
