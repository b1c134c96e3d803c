// The recorder's identity record (the HELLO48_ACK payload) and the values
// the client derives from it, plus the HELLO payload builder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orva {

inline constexpr size_t kHelloSize = 32;
inline constexpr size_t kIdentitySize = 768;
inline constexpr int kFirmwareComponents = 20;
inline constexpr int kMaxChannels = 16;

struct RecorderIdentity {
  uint8_t protocolMajor = 0;
  uint8_t protocolMinor = 0;
  uint8_t productNumber = 0;
  uint8_t productMajor = 0;
  uint8_t productMinor = 0;
  uint8_t frontVersion = 0;
  uint8_t channelNum = 0;  // normalised to 4, 8 or 16 once accepted
  uint8_t account = 0;
  std::array<uint8_t, 6> mac{};
  std::array<std::array<char, 33>, kFirmwareComponents> firmName{};  // 32 wire bytes, always terminated
  std::array<uint32_t, kFirmwareComponents> firmVer{};              // build time in wire seconds; 0 = none
};

// Parses exactly kIdentitySize bytes; false (record untouched) for any other size.
bool ParseIdentity(std::span<const uint8_t> payload, RecorderIdentity& out);
// The wire form of a record, for tests and tools.
std::array<uint8_t, kIdentitySize> EncodeIdentity(const RecorderIdentity& id);

// product number 1 -> 1; 2 or 3 -> 2; 4 -> 3; else 0. Only family 2 is accepted.
int ProductFamily(uint8_t productNumber);
inline constexpr int kAcceptedFamily = 2;
// The trace label of a product number ("ORVA7xx...\n" and so on).
const char* FamilyLabel(uint8_t productNumber);
// 4, 8 and 16 stay; anything else becomes 16.
uint8_t NormaliseChannelCount(uint8_t channelNum);
// Set for product versions above 1.0.
bool VersionFlag(uint8_t productMajor, uint8_t productMinor);

// HELLO: user ID and password, each lower-cased, cut to 16 bytes, zero-padded.
std::array<uint8_t, kHelloSize> BuildHello(std::string_view user, std::string_view password);

// "00:0A:1B:2C:3D:4E"
std::string FormatMac(const std::array<uint8_t, 6>& mac);

}  // namespace orva
