// Parsers for the values of the simulator's options; each returns false with
// an error text that names the offending value.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "orva/sim/config.h"

namespace orva::sim::detail {

bool ParseInteger(const std::string& text, long long min, long long max, long long& out,
                  std::string& error);
// ParseInteger into a field of another integer type.
template <typename T>
bool ParseIn(const std::string& value, long long min, long long max, T& out, std::string& error) {
  long long v = 0;
  if (!ParseInteger(value, min, max, v, error)) return false;
  out = static_cast<T>(v);
  return true;
}
bool ParseByte(const std::string& text, uint8_t& out, std::string& error);
bool ParseBool(const std::string& text, bool& out, std::string& error);
bool ParseVersion(const std::string& text, uint8_t& major, uint8_t& minor, std::string& error);
bool ParseMac(const std::string& text, std::array<uint8_t, 6>& out, std::string& error);
// "ID:PASSWORD[:RIGHTS]"; RIGHTS omitted means every right.
bool ParseUser(const std::string& text, SimUser& out, std::string& error);
// "N:NAME" with N = 1-16 as on screen; returns the index 0-15.
bool ParseCamera(const std::string& text, size_t& index, std::string& name, std::string& error);
// "INDEX:NAME[:YYYY-MM-DD HH:MM:SS]" (a 'T' may replace the space; a plain
// number is taken as wire seconds).
bool ParseFirmware(const std::string& text, FirmwareComponent& out, std::string& error);
// "YYYY-MM-DD HH:MM:SS" (or with 'T') or plain wire seconds.
bool ParseDateTime(const std::string& text, uint32_t& out, std::string& error);

}  // namespace orva::sim::detail

namespace orva::sim::detail {

// Options of live streaming and device answers (sizes, rates, lists of
// channels, refusals). Returns false when `name` is not one of them; else
// `ok` tells whether the value was good (with `error` naming what is wrong).
bool ApplyStreamOption(const std::string& name, const std::string& value, SimConfig& config,
                       bool& ok, std::string& error);
// "N[,N...]" with channels 1-16 as on screen, or "none".
bool ParseChannelList(const std::string& text, std::array<bool, 16>& out, std::string& error);

}  // namespace orva::sim::detail

namespace orva::sim::detail {

// Options of the recording archive, its search answers and playback.
// `eventsReplaced` tracks the first `event` of a source, which replaces the
// default patterns. Returns false when `name` is not one of them.
bool ApplyArchiveOption(const std::string& name, const std::string& value, SimConfig& config,
                        bool& eventsReplaced, bool& ok, std::string& error);

}  // namespace orva::sim::detail

namespace orva::sim::detail {

// Options of the log and status answers. Returns false when `name` is not
// one of them.
bool ApplyInfoOption(const std::string& name, const std::string& value, SimConfig& config,
                     bool& ok, std::string& error);

}  // namespace orva::sim::detail

namespace orva::sim::detail {

// Options of the setup database, the test mail, the tables sent after the
// login and the time server. Returns false when `name` is not one of them.
bool ApplySetupOption(const std::string& name, const std::string& value, SimConfig& config,
                      bool& ok, std::string& error);

}  // namespace orva::sim::detail
