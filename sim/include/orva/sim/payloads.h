// Builders for the recorder's payloads: identity record, user table and the
// camera-name change notices. All sizes are fixed by the wire layouts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "orva/sim/config.h"

namespace orva::sim {

inline constexpr size_t kHelloSize = 32;
inline constexpr size_t kHelloFieldSize = 16;
inline constexpr size_t kHello48AckSize = 768;
inline constexpr size_t kFirmwareSlots = 20;
inline constexpr size_t kFirmwareNameOffset = 48;
inline constexpr size_t kFirmwareTimeOffset = 688;
inline constexpr size_t kRightsTableSize = 584;
inline constexpr size_t kUserSlots = 8;
inline constexpr size_t kRightsLevelOffset = 0x40;
inline constexpr size_t kRightsIdOffset = 0x48;
inline constexpr size_t kRightsPasswordOffset = 0x148;
inline constexpr size_t kTextField = 32;  // IDs, passwords, firmware and narrow camera names
inline constexpr size_t kDbChangeSize = 596;
inline constexpr size_t kDbChangeUnicodeSize = 1108;
inline constexpr size_t kCameraCount = 16;
inline constexpr size_t kNameUnits = 31;  // UTF-16 units of one Unicode camera name

// HELLO48_ACK payload (768 bytes) announcing `account` as the user's slot.
std::vector<uint8_t> BuildHello48Ack(const SimConfig& config, uint8_t account);
// RIGHT_CHANGE payload: the 584-byte user rights table.
std::vector<uint8_t> BuildRightsTable(const std::vector<SimUser>& users);
// DB_CHANGE payload (596 bytes); names are copied as UTF-8 bytes, cut at a
// character boundary to fit 31 bytes.
std::vector<uint8_t> BuildDbChange(const SimConfig& config);
// DB_CHANGE_UNICODE payload (1108 bytes) with big-endian UTF-16 names.
std::vector<uint8_t> BuildDbChangeUnicode(const SimConfig& config);
// The same two notices from stored bytes: a covert byte per channel and
// narrow names of at most 32 bytes each (copied as they are).
std::vector<uint8_t> BuildDbChange(const std::array<uint8_t, 16>& covert,
                                   const std::array<std::string, 16>& names);
// UTF-16 names, cut to 31 units without splitting a surrogate pair.
std::vector<uint8_t> BuildDbChangeUnicode(const std::array<uint8_t, 16>& covert,
                                          const std::array<std::u16string, 16>& names);
// Cuts UTF-8 text to at most maxBytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t maxBytes);
// BYE48 / NACK payload: one big-endian signed result code.
std::vector<uint8_t> BuildResult(int32_t result);

inline constexpr size_t kDstInfoSize = 1204;
inline constexpr uint32_t kRecordingStarted = 49;  // REC_ON_ACK state
inline constexpr uint32_t kRecordingStopped = 50;  // REC_OFF_ACK state
inline constexpr uint32_t kStatusRecording = 1;    // REC_STATUS second word (below 6 = recording)
inline constexpr uint32_t kStatusIdle = 7;

// One big-endian 32-bit word (LIVE_CHANNEL_INFO, REC_*_ACK, DVR_TIME_ACK).
std::vector<uint8_t> BuildWord(uint32_t value);
// REC_STATUS: four words, the second the recording state.
std::vector<uint8_t> BuildRecStatus(bool recording);
// DST_INFO: 1204 bytes. First word 1 (daylight saving in use), then a start
// and an end rule as month, week, weekday, hour, minute words; the rest zero.
std::vector<uint8_t> BuildDstInfo();

// Strict UTF-8 to UTF-16 (surrogate pairs for planes 1-16). Returns false on
// malformed input (overlong forms, encoded surrogates, values past U+10FFFF).
bool Utf8ToUtf16(const std::string& text, std::u16string& out);

// ASCII lower-casing as the login check applies it (other bytes unchanged).
std::string LowerAscii(const std::string& text);

}  // namespace orva::sim
