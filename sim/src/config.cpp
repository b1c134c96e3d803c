#include <arpa/inet.h>

#include <ctime>
#include <set>

#include "orva/sim/config.h"
#include "orva/sim/payloads.h"

namespace orva::sim {

uint32_t WireTime(int year, int month, int day, int hour, int minute, int second) {
  // Days since 1970-01-01 in the proleptic Gregorian calendar (civil-from-days
  // inverse); the recorder's wall clock is encoded as if it were UTC.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int mp = (month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = static_cast<long long>(era) * 146097 + doe - 719468;
  return static_cast<uint32_t>(days * 86400 + hour * 3600 + minute * 60 + second);
}

std::vector<FirmwareComponent> DefaultFirmware() {
  return {{0, "MAIN_NAME", WireTime(2009, 12, 7, 10, 15, 30)},
          {3, "OTHER_NAME", WireTime(2010, 1, 2, 3, 4, 5)}};
}

std::vector<SimUser> DefaultUsers() {
  SimUser admin;
  admin.id = "admin";
  admin.password = "4711";
  admin.stopRecording = admin.setup = admin.playback = admin.backup = true;
  admin.ptz = admin.covert = admin.access = admin.reboot = true;
  SimUser guest;
  guest.id = "guest";
  guest.password = "guest";
  SimUser blocked;
  blocked.id = "blocked";
  blocked.password = "blocked";
  blocked.access = false;
  return {admin, guest, blocked};
}

std::array<std::string, 16> DefaultCameraNames() {
  std::array<std::string, 16> names;
  names[0] = "Front door";
  names[1] = "Yard";
  for (size_t i = 2; i < names.size(); ++i) names[i] = "Camera " + std::to_string(i + 1);
  return names;
}

std::array<bool, 16> DefaultCovert() {
  std::array<bool, 16> covert{};
  covert[1] = true;
  return covert;
}

std::array<bool, 16> DefaultAudioChannels() {
  std::array<bool, 16> audio{};
  audio[0] = true;
  return audio;
}

std::array<bool, 16> DefaultPtzChannels() {
  std::array<bool, 16> ptz{};
  ptz[0] = true;
  return ptz;
}

std::vector<SimEventPattern> DefaultEventPatterns() {
  SimEventPattern motion;
  motion.kind = 2;
  motion.period = 600;
  motion.length = 30;
  for (size_t ch = 1; ch < 16; ch += 2) motion.channels[ch] = true;
  SimEventPattern alarm;
  alarm.kind = 4;
  alarm.period = 7200;
  alarm.length = 60;
  alarm.channels[0] = true;
  return {motion, alarm};
}

SimArchiveConfig::SimArchiveConfig() : events(DefaultEventPatterns()) { channels.fill(true); }

uint32_t WireNow() {
  // The recorder keeps local time and sends it as if it were UTC.
  const time_t now = std::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return static_cast<uint32_t>(static_cast<long long>(now) + local.tm_gmtoff);
}

namespace {

bool InRange(int value, int min, int max, const std::string& what, std::string& error) {
  if (value >= min && value <= max) return true;
  error = what + " " + std::to_string(value) + " is outside " + std::to_string(min) + "-" +
          std::to_string(max);
  return false;
}

bool ValidateStreaming(const SimConfig& config, std::string& error) {
  const SimVideoConfig& video = config.video;
  if (!InRange(video.sizeCode, 0, 3, "size code", error)) return false;
  for (size_t ch = 0; ch < video.channelSizeCode.size(); ++ch) {
    if (video.channelSizeCode[ch] != -1 &&
        !InRange(video.channelSizeCode[ch], 0, 3,
                 "size code of channel " + std::to_string(ch + 1), error)) {
      return false;
    }
  }
  return InRange(video.fps, 1, 30, "frame rate", error) &&
         InRange(video.bitrateKbps, 32, 8000, "bit rate (kbit/s)", error) &&
         InRange(video.loopSeconds, 1, 60, "loop length (seconds)", error) &&
         InRange(video.fragmentBytes, 16, 65535, "fragment size", error) &&
         InRange(config.framesPerChannel, 0, 1000000000, "frame limit", error);
}

bool ValidateArchive(const SimArchiveConfig& archive, std::string& error) {
  if (!InRange(archive.days, 0, 3650, "archive days", error) ||
      !InRange(archive.searchFragmentBytes, 16, 65535, "search fragment size", error) ||
      !InRange(archive.eventPageSize, 1, 1000, "event page size", error) ||
      !InRange(archive.playFailFrames, 0, 1000000000, "playback failure frame count", error)) {
    return false;
  }
  if (archive.start != 0 && archive.end != 0 && archive.start > archive.end) {
    error = "archive start lies after its end";
    return false;
  }
  for (const SimEventPattern& event : archive.events) {
    if (event.kind != 1 && event.kind != 2 && event.kind != 4) {
      error = "event kind " + std::to_string(event.kind) + " is not 1, 2 or 4";
      return false;
    }
    if (!InRange(event.period, 2, 86400, "event period (seconds)", error) ||
        !InRange(event.length, 1, event.period, "event length (seconds)", error)) {
      return false;
    }
  }
  return true;
}

bool TextFits(const std::string& text, const std::string& what, std::string& error) {
  if (text.size() > kTextField - 1) {
    error = what + " '" + text + "' is longer than " + std::to_string(kTextField - 1) + " bytes";
    return false;
  }
  if (text.find('\0') != std::string::npos) {
    error = what + " contains a zero byte";
    return false;
  }
  return true;
}

}  // namespace

bool ValidateSimConfig(const SimConfig& config, std::string& error) {
  in_addr addr{};
  if (inet_pton(AF_INET, config.host.c_str(), &addr) != 1) {
    error = "host '" + config.host + "' is not a dotted IPv4 address";
    return false;
  }
  if (config.users.size() > kUserSlots) {
    error = "at most " + std::to_string(kUserSlots) + " users fit the rights table, got " +
            std::to_string(config.users.size());
    return false;
  }
  for (const SimUser& user : config.users) {
    if (!TextFits(user.id, "user ID", error) || !TextFits(user.password, "password", error)) {
      return false;
    }
  }
  std::set<int> indices;
  for (const FirmwareComponent& fw : config.firmware) {
    if (fw.index < 0 || static_cast<size_t>(fw.index) >= kFirmwareSlots) {
      error = "firmware index " + std::to_string(fw.index) + " is outside 0-19";
      return false;
    }
    if (!indices.insert(fw.index).second) {
      error = "firmware index " + std::to_string(fw.index) + " is given twice";
      return false;
    }
    if (!TextFits(fw.name, "firmware name", error)) return false;
  }
  for (size_t ch = 0; ch < config.cameraNames.size(); ++ch) {
    std::u16string units;
    if (!Utf8ToUtf16(config.cameraNames[ch], units)) {
      error = "camera " + std::to_string(ch + 1) + " name is not valid UTF-8";
      return false;
    }
    if (units.size() > kNameUnits) {
      error = "camera " + std::to_string(ch + 1) + " name is longer than " +
              std::to_string(kNameUnits) + " UTF-16 units";
      return false;
    }
    if (units.find(u'\0') != std::u16string::npos) {
      error = "camera " + std::to_string(ch + 1) + " name contains a zero character";
      return false;
    }
  }
  if (config.faults.stallSeconds < 0 || config.faults.stallSeconds > 3600) {
    error = "stall must be 0-3600 seconds";
    return false;
  }
  const SimInfoConfig& info = config.info;
  if (info.logRecordBytes < 32 || info.logRecordBytes > 4096) {
    error = "log record size must be 32-4096 bytes";
    return false;
  }
  if (info.logEvents < 0 || info.logEvents > 2000) {
    error = "log events must be 0-2000";
    return false;
  }
  if (info.statusDevices < 0 || info.statusDevices > 4) {
    error = "status devices must be 0-4";
    return false;
  }
  const SimSetupConfig& setup = config.setup;
  if (setup.fragmentBytes < 16 || setup.fragmentBytes > 65535) {
    error = "setup fragment size must be 16-65535 bytes";
    return false;
  }
  if (setup.sysEtcBytes < 0 || setup.sysEtcBytes > 65535 || setup.sysEtcExBytes < 0 ||
      setup.sysEtcExBytes > 65535) {
    error = "table sizes after the login must be 0-65535 bytes";
    return false;
  }
  if (setup.timePort < -1 || setup.timePort > 65535) {
    error = "time port must be 0-65535";
    return false;
  }
  if (setup.timePort > 0 && setup.timePort == config.port) {
    error = "the time server needs a port other than the recorder's";
    return false;
  }
  return ValidateStreaming(config, error) && ValidateArchive(config.archive, error);
}

}  // namespace orva::sim
