// The HELLO48_ACK identity record and the values derived from it.
#include <cstdlib>
#include <cstring>

#include "orva/link/identity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orva::RecorderIdentity id;
  if (!orva::ParseIdentity({data, size}, id)) {
    if (size == orva::kIdentitySize) std::abort();  // the right size always parses
    return 0;
  }
  (void)orva::ProductFamily(id.productNumber);
  (void)orva::FamilyLabel(id.productNumber);
  const uint8_t channels = orva::NormaliseChannelCount(id.channelNum);
  if (channels != 4 && channels != 8 && channels != 16) std::abort();
  (void)orva::VersionFlag(id.productMajor, id.productMinor);
  (void)orva::FormatMac(id.mac);
  for (const auto& name : id.firmName)
    if (std::memchr(name.data(), 0, name.size()) == nullptr) std::abort();  // names stay terminated
  // Encoding what was parsed gives the same record back.
  const auto wire = orva::EncodeIdentity(id);
  orva::RecorderIdentity again;
  if (!orva::ParseIdentity(wire, again) || std::memcmp(&again.firmVer, &id.firmVer, sizeof id.firmVer) != 0 ||
      again.channelNum != id.channelNum || again.mac != id.mac)
    std::abort();
  return 0;
}
