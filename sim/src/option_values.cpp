#include "option_values.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "orva/sim/payloads.h"

namespace orva::sim::detail {

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t pos = text.find(sep, start);
    parts.push_back(text.substr(start, pos - start));
    if (pos == std::string::npos) break;
    start = pos + 1;
  }
  return parts;
}

bool HexByte(const std::string& text, uint8_t& out) {
  if (text.size() != 2) return false;
  unsigned value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + 2, value, 16);
  if (ec != std::errc() || ptr != text.data() + 2) return false;
  out = static_cast<uint8_t>(value);
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

bool ParseDateTime(const std::string& text, uint32_t& out, std::string& error) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    long long seconds = 0;
    if (!ParseInteger(text, 0, 0xFFFFFFFFLL, seconds, error)) return false;
    out = static_cast<uint32_t>(seconds);
    return true;
  }
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char sep = 0;
  int consumed = 0;
  const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &y, &mo, &d, &sep,
                                 &h, &mi, &s, &consumed);
  if (fields != 7 || static_cast<size_t>(consumed) != text.size() || (sep != ' ' && sep != 'T')) {
    error = "time '" + text + "' is not YYYY-MM-DD HH:MM:SS";
    return false;
  }
  // 2106-02-07 is where the unsigned 32-bit seconds run out.
  if (y < 1970 || y > 2105 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 ||
      mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0) {
    error = "time '" + text + "' is out of range (1970-2105, valid date and time of day)";
    return false;
  }
  out = WireTime(y, mo, d, h, mi, s);
  return true;
}

namespace {

bool ApplyRight(const std::string& token, SimUser& user, std::string& error) {
  if (token == "all") {
    user.stopRecording = user.setup = user.playback = user.backup = true;
    user.ptz = user.covert = user.access = user.reboot = true;
  } else if (token == "none") {
    user.stopRecording = user.setup = user.playback = user.backup = false;
    user.ptz = user.covert = user.access = user.reboot = false;
  } else if (token == "stop-recording") {
    user.stopRecording = true;
  } else if (token == "setup") {
    user.setup = true;
  } else if (token == "playback") {
    user.playback = true;
  } else if (token == "backup") {
    user.backup = true;
  } else if (token == "ptz") {
    user.ptz = true;
  } else if (token == "covert") {
    user.covert = true;
  } else if (token == "access") {
    user.access = true;
  } else if (token == "reboot") {
    user.reboot = true;
  } else if (token.rfind("level=", 0) == 0) {
    long long level = 0;
    if (!ParseInteger(token.substr(6), 0, 255, level, error)) {
      error = "user level: " + error;
      return false;
    }
    user.level = static_cast<uint8_t>(level);
  } else {
    error = "unknown right '" + token +
            "' (use stop-recording, setup, playback, backup, ptz, covert, access, reboot, all, "
            "none, level=N)";
    return false;
  }
  return true;
}

}  // namespace

bool ParseInteger(const std::string& text, long long min, long long max, long long& out,
                  std::string& error) {
  long long value = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (text.empty() || ec == std::errc::invalid_argument || ptr != end) {
    error = "'" + text + "' is not a whole number";
    return false;
  }
  if (ec == std::errc::result_out_of_range || value < min || value > max) {
    error = "'" + text + "' is outside " + std::to_string(min) + "-" + std::to_string(max);
    return false;
  }
  out = value;
  return true;
}

bool ParseByte(const std::string& text, uint8_t& out, std::string& error) {
  long long value = 0;
  if (!ParseInteger(text, 0, 255, value, error)) return false;
  out = static_cast<uint8_t>(value);
  return true;
}

bool ParseBool(const std::string& text, bool& out, std::string& error) {
  const std::string t = LowerAscii(text);
  if (t.empty() || t == "1" || t == "true" || t == "yes" || t == "on") {
    out = true;
  } else if (t == "0" || t == "false" || t == "no" || t == "off") {
    out = false;
  } else {
    error = "'" + text + "' is not a yes/no value";
    return false;
  }
  return true;
}

bool ParseVersion(const std::string& text, uint8_t& major, uint8_t& minor, std::string& error) {
  const std::vector<std::string> parts = Split(text, '.');
  if (parts.size() != 2) {
    error = "'" + text + "' is not MAJOR.MINOR";
    return false;
  }
  return ParseByte(parts[0], major, error) && ParseByte(parts[1], minor, error);
}

bool ParseMac(const std::string& text, std::array<uint8_t, 6>& out, std::string& error) {
  std::vector<std::string> parts = Split(text, ':');
  if (parts.size() != 6) parts = Split(text, '-');
  std::array<uint8_t, 6> mac{};
  bool ok = parts.size() == 6;
  for (size_t i = 0; ok && i < 6; ++i) ok = HexByte(parts[i], mac[i]);
  if (!ok) {
    error = "'" + text + "' is not a MAC address like 00:0A:1B:2C:3D:4E";
    return false;
  }
  out = mac;
  return true;
}

bool ParseUser(const std::string& text, SimUser& out, std::string& error) {
  const size_t first = text.find(':');
  if (first == std::string::npos || first == 0) {
    error = "user '" + text + "' is not ID:PASSWORD[:RIGHTS]";
    return false;
  }
  SimUser user;
  user.id = text.substr(0, first);
  const size_t second = text.find(':', first + 1);
  user.password = text.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                      : second - first - 1);
  // Without a rights list the user gets every right; an empty list gives none.
  ApplyRight(second == std::string::npos ? "all" : "none", user, error);
  if (second != std::string::npos) {
    const std::string rights = text.substr(second + 1);
    if (!rights.empty()) {
      for (const std::string& token : Split(rights, ',')) {
        if (!ApplyRight(LowerAscii(token), user, error)) return false;
      }
    }
  }
  if (user.id.size() > kTextField - 1 || user.password.size() > kTextField - 1) {
    error = "user ID and password may have at most " + std::to_string(kTextField - 1) + " bytes";
    return false;
  }
  out = user;
  return true;
}

bool ParseCamera(const std::string& text, size_t& index, std::string& name, std::string& error) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) {
    error = "camera '" + text + "' is not N:NAME";
    return false;
  }
  long long channel = 0;
  if (!ParseInteger(text.substr(0, colon), 1, 16, channel, error)) {
    error = "camera channel " + error;
    return false;
  }
  std::string value = text.substr(colon + 1);
  std::u16string units;
  if (!Utf8ToUtf16(value, units)) {
    error = "camera " + std::to_string(channel) + " name is not valid UTF-8";
    return false;
  }
  if (units.size() > kNameUnits) {
    error = "camera " + std::to_string(channel) + " name is longer than " +
            std::to_string(kNameUnits) + " UTF-16 units";
    return false;
  }
  index = static_cast<size_t>(channel - 1);
  name = value;
  return true;
}

bool ParseFirmware(const std::string& text, FirmwareComponent& out, std::string& error) {
  const size_t first = text.find(':');
  if (first == std::string::npos) {
    error = "firmware '" + text + "' is not INDEX:NAME[:TIME]";
    return false;
  }
  long long index = 0;
  if (!ParseInteger(text.substr(0, first), 0, static_cast<long long>(kFirmwareSlots) - 1, index,
                    error)) {
    error = "firmware index " + error;
    return false;
  }
  const size_t second = text.find(':', first + 1);
  FirmwareComponent fw{static_cast<int>(index), text.substr(first + 1, second - first - 1), 0};
  if (fw.name.size() > kTextField - 1) {
    error = "firmware name '" + fw.name + "' is longer than 31 bytes";
    return false;
  }
  if (second != std::string::npos && !ParseDateTime(text.substr(second + 1), fw.buildTime, error)) {
    return false;
  }
  out = fw;
  return true;
}

}  // namespace orva::sim::detail
