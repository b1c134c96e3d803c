#include "orva/link/identity.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "orva/link/wire.h"

namespace orva {

bool ParseIdentity(std::span<const uint8_t> p, RecorderIdentity& out) {
  if (p.size() != kIdentitySize) return false;
  RecorderIdentity id;
  id.protocolMajor = p[0];
  id.protocolMinor = p[1];
  id.productNumber = p[2];
  id.productMajor = p[3];
  id.productMinor = p[4];
  id.frontVersion = p[5];
  id.channelNum = p[6];
  id.account = p[7];
  std::memcpy(id.mac.data(), p.data() + 8, 6);
  for (int i = 0; i < kFirmwareComponents; ++i) {
    std::memcpy(id.firmName[i].data(), p.data() + 48 + 32 * i, 32);
    id.firmName[i][32] = '\0';
    id.firmVer[i] = LoadBE32(p.data() + 688 + 4 * i);
  }
  out = id;
  return true;
}

std::array<uint8_t, kIdentitySize> EncodeIdentity(const RecorderIdentity& id) {
  std::array<uint8_t, kIdentitySize> p{};
  p[0] = id.protocolMajor;
  p[1] = id.protocolMinor;
  p[2] = id.productNumber;
  p[3] = id.productMajor;
  p[4] = id.productMinor;
  p[5] = id.frontVersion;
  p[6] = id.channelNum;
  p[7] = id.account;
  std::memcpy(p.data() + 8, id.mac.data(), 6);
  for (int i = 0; i < kFirmwareComponents; ++i) {
    std::memcpy(p.data() + 48 + 32 * i, id.firmName[i].data(), 32);
    StoreBE32(p.data() + 688 + 4 * i, id.firmVer[i]);
  }
  return p;
}

int ProductFamily(uint8_t productNumber) {
  switch (productNumber) {
    case 1: return 1;
    case 2:
    case 3: return 2;
    case 4: return 3;
    default: return 0;
  }
}

const char* FamilyLabel(uint8_t productNumber) {
  switch (productNumber) {
    case 0: return "TALN7xxx...\n";
    case 1: return "TALN2xxx...\n";
    case 2:
    case 3: return "ORVA7xx...\n";
    case 4: return "ORVA1xx...\n";
    default: return "Unknown product...\n";
  }
}

uint8_t NormaliseChannelCount(uint8_t channelNum) {
  return (channelNum == 4 || channelNum == 8 || channelNum == 16) ? channelNum : 16;
}

bool VersionFlag(uint8_t major, uint8_t minor) { return major > 1 || (major == 1 && minor > 0); }

std::array<uint8_t, kHelloSize> BuildHello(std::string_view user, std::string_view password) {
  std::array<uint8_t, kHelloSize> out{};
  auto put = [&](std::string_view text, size_t offset) {
    for (size_t i = 0; i < text.size() && i < 16; ++i)
      out[offset + i] = static_cast<uint8_t>(std::tolower(static_cast<unsigned char>(text[i])));
  };
  put(user, 0);
  put(password, 16);
  return out;
}

std::string FormatMac(const std::array<uint8_t, 6>& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

}  // namespace orva
