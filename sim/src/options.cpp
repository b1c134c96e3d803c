// Command line and config file of the simulator. Both go through one table of
// options so that a config-file key is exactly the option name without dashes.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "option_values.h"
#include "orva/sim/config.h"
#include "orva/sim/payloads.h"

namespace orva::sim {

namespace {

struct OptionInfo {
  const char* name;
  bool takesValue;  // false: a switch (optional yes/no value in the config file)
};

constexpr OptionInfo kOptions[] = {
    {"host", true},
    {"port", true},
    {"channels", true},
    {"product", true},
    {"protocol", true},
    {"version", true},
    {"front", true},
    {"mac", true},
    {"unicode-names", false},
    {"user", true},
    {"camera", true},
    {"covert", true},
    {"firmware", true},
    {"login-refused-result", true},
    {"access-denied-result", true},
    {"never-answer-hello", false},
    {"bye-on-hello", true},
    {"close-mid-message", false},
    {"stall", true},
    {"size-code", true},
    {"channel-size", true},
    {"pal", false},
    {"fps", true},
    {"bitrate", true},
    {"loop-seconds", true},
    {"fragment-bytes", true},
    {"video-loss", true},
    {"audio-channels", true},
    {"ptz", true},
    {"fast", false},
    {"frames", true},
    {"rec-on-nack", true},
    {"rec-off-nack", true},
    {"listen-nack", true},
    {"archive-days", true},
    {"archive-start", true},
    {"archive-end", true},
    {"archive-channels", true},
    {"event", true},
    {"archive-clock", false},
    {"search-fragment-bytes", true},
    {"event-page-size", true},
    {"month-nack", true},
    {"day-nack", true},
    {"event-nack", true},
    {"play-on-nack", true},
    {"play-off-nack", true},
    {"play-fail", true},
    {"archive-frame-bytes", true},
    {"trans-estimate-ms", true},
    {"trans-on-nack", true},
    {"trans-off-nack", true},
    {"trans-fail", true},
    {"log-record-bytes", true},
    {"log-events", true},
    {"log-nack", true},
    {"disk-total-mb", true},
    {"disk-day-mb", true},
    {"status-devices", true},
    {"status-nack", true},
    {"fw-update-nack", true},
    {"fw-rx-fail", true},
    {"fw-update-fail", true},
    {"write-firmware", true},
    {"setup-version", true},
    {"setup-fragment-bytes", true},
    {"setup-crc-fault", false},
    {"db-info-nack", true},
    {"db-update-nack", true},
    {"db-init-nack", true},
    {"test-mail-nack", true},
    {"setup-file", true},
    {"sys-etc-bytes", true},
    {"sys-etc-ex-bytes", true},
    {"time-port", true},
    {"time-offset", true},
    {"config", true},
    {"verbose", false},
    {"help", false},
};

const OptionInfo* FindOption(const std::string& name) {
  for (const OptionInfo& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// Repeatable list options replace the built-in defaults on their first use in
// each source, so a config file's users replace the defaults and the command
// line's users replace the file's.
struct ApplyState {
  bool usersReplaced = false;
  bool covertReplaced = false;
  bool firmwareReplaced = false;
  bool eventsReplaced = false;
};

bool ApplyCovert(const std::string& value, SimConfig& config, ApplyState& state,
                 std::string& error) {
  if (!state.covertReplaced) {
    config.covert.fill(false);
    state.covertReplaced = true;
  }
  if (value == "none") return true;
  std::stringstream list(value);
  std::string item;
  bool any = false;
  while (std::getline(list, item, ',')) {
    long long channel = 0;
    if (!detail::ParseInteger(item, 1, 16, channel, error)) {
      error = "covert channel " + error;
      return false;
    }
    config.covert[static_cast<size_t>(channel - 1)] = true;
    any = true;
  }
  if (!any) {
    error = "covert needs channel numbers 1-16 or 'none'";
    return false;
  }
  return true;
}

bool ApplyInt32(const std::string& value, int32_t& out, std::string& error) {
  long long v = 0;
  if (!detail::ParseInteger(value, INT32_MIN, INT32_MAX, v, error)) return false;
  out = static_cast<int32_t>(v);
  return true;
}

// Applies one option; `name` is without dashes and already known.
bool ApplyOption(const OptionInfo& option, const std::string& value, SimConfig& config,
                 ApplyState& state, std::string& error) {
  const std::string name = option.name;
  long long number = 0;
  bool ok = true;
  if (!option.takesValue) {
    bool on = true;
    if (!detail::ParseBool(value, on, error)) return false;
    if (name == "unicode-names") config.unicodeNames = on;
    if (name == "never-answer-hello") config.faults.neverAnswerHello = on;
    if (name == "close-mid-message") config.faults.closeMidMessage = on;
    if (name == "verbose") config.verbose = on;
    if (name == "pal") config.video.pal = on;
    if (name == "fast") config.fast = on;
    if (name == "archive-clock") config.archive.clock = on;
    if (name == "setup-crc-fault") config.setup.crcFault = on;
    return true;
  }
  if (detail::ApplyStreamOption(name, value, config, ok, error)) return ok;
  if (detail::ApplyArchiveOption(name, value, config, state.eventsReplaced, ok, error)) return ok;
  if (detail::ApplyInfoOption(name, value, config, ok, error)) return ok;
  if (detail::ApplySetupOption(name, value, config, ok, error)) return ok;
  if (name == "host") {
    config.host = value;
  } else if (name == "port") {
    ok = detail::ParseInteger(value, 0, 65535, number, error);
    if (ok) config.port = static_cast<uint16_t>(number);
  } else if (name == "channels") {
    ok = detail::ParseByte(value, config.channels, error);
  } else if (name == "product") {
    ok = detail::ParseByte(value, config.productNumber, error);
  } else if (name == "protocol") {
    ok = detail::ParseVersion(value, config.protocolMajor, config.protocolMinor, error);
  } else if (name == "version") {
    ok = detail::ParseVersion(value, config.productMajor, config.productMinor, error);
  } else if (name == "front") {
    ok = detail::ParseByte(value, config.frontVersion, error);
  } else if (name == "mac") {
    ok = detail::ParseMac(value, config.mac, error);
  } else if (name == "user") {
    SimUser user;
    ok = detail::ParseUser(value, user, error);
    if (ok) {
      if (!state.usersReplaced) config.users.clear();
      state.usersReplaced = true;
      if (config.users.size() >= kUserSlots) {
        error = "at most " + std::to_string(kUserSlots) + " users fit the rights table";
        return false;
      }
      config.users.push_back(user);
    }
  } else if (name == "camera") {
    size_t index = 0;
    std::string cameraName;
    ok = detail::ParseCamera(value, index, cameraName, error);
    if (ok) config.cameraNames[index] = cameraName;
  } else if (name == "covert") {
    ok = ApplyCovert(value, config, state, error);
  } else if (name == "firmware") {
    FirmwareComponent fw{};
    ok = detail::ParseFirmware(value, fw, error);
    if (ok) {
      if (!state.firmwareReplaced) config.firmware.clear();
      state.firmwareReplaced = true;
      std::erase_if(config.firmware, [&](const FirmwareComponent& f) { return f.index == fw.index; });
      config.firmware.push_back(fw);
    }
  } else if (name == "login-refused-result") {
    ok = ApplyInt32(value, config.loginRefusedResult, error);
  } else if (name == "access-denied-result") {
    ok = ApplyInt32(value, config.accessDeniedResult, error);
  } else if (name == "bye-on-hello") {
    ok = ApplyInt32(value, config.faults.byeOnHello, error);
    if (ok && config.faults.byeOnHello == 0) {
      error = "result 0 would switch the fault off; give a non-zero result";
      ok = false;
    }
  } else if (name == "stall") {
    ok = detail::ParseInteger(value, 0, 3600, number, error);
    if (ok) config.faults.stallSeconds = static_cast<int>(number);
  }
  return ok;
}

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

bool LoadInto(const std::string& path, SimConfig& config, std::string& error) {
  // The file is small by nature; a cap keeps a wrong path (a device, a huge
  // log) from being read into memory.
  constexpr off_t kMaxFileBytes = 1 << 20;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    error = "cannot open config file '" + path + "': " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode) || info.st_size > kMaxFileBytes) {
    error = "config file '" + path + "' is not a regular file of at most 1 MiB";
    return false;
  }
  std::ifstream in(path);
  if (!in) {
    error = "cannot open config file '" + path + "': " + std::strerror(errno);
    return false;
  }
  ApplyState state;
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
    const std::string text = Trim(line);
    if (text.empty() || text[0] == '#') continue;
    const size_t eq = text.find('=');
    const std::string key = Trim(text.substr(0, eq));
    std::string value = eq == std::string::npos ? std::string() : Trim(text.substr(eq + 1));
    // Quotes keep leading or trailing spaces of a value (camera names).
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    const OptionInfo* option = FindOption(key);
    if (option == nullptr || key == "help" || key == "config") {
      error = where + (option == nullptr ? "unknown key '" + key + "'"
                                         : "'" + key + "' cannot be used in a config file");
      return false;
    }
    if (option->takesValue && eq == std::string::npos) {
      error = where + "'" + key + "' needs '= value'";
      return false;
    }
    if (!ApplyOption(*option, value, config, state, error)) {
      error = where + key + ": " + error;
      return false;
    }
  }
  if (in.bad()) {
    error = "error reading config file '" + path + "'";
    return false;
  }
  return true;
}

}  // namespace

bool LoadSimConfigFile(const std::string& path, SimConfig& config, std::string& error) {
  SimConfig updated = config;
  if (!LoadInto(path, updated, error)) return false;
  if (!ValidateSimConfig(updated, error)) {
    error = path + ": " + error;
    return false;
  }
  config = std::move(updated);
  return true;
}

bool ParseSimArgs(int argc, const char* const* argv, SimConfig& config, std::string& error,
                  bool& showHelp) {
  showHelp = false;
  struct Item {
    const OptionInfo* option;
    std::string value;
  };
  std::vector<Item> items;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i] == nullptr ? std::string() : argv[i];
    if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
      error = "unexpected argument '" + arg + "'";
      return false;
    }
    const size_t eq = arg.find('=');
    const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    const OptionInfo* option = FindOption(name);
    if (option == nullptr) {
      error = "unknown option '--" + name + "'";
      return false;
    }
    std::string value;
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
    } else if (option->takesValue) {
      if (i + 1 >= argc || argv[i + 1] == nullptr) {
        error = "option '--" + name + "' needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (name == "help") {
      showHelp = true;
      return true;
    }
    items.push_back({option, value});
  }

  SimConfig updated = config;
  // The config file comes first whatever its place, so the command line wins.
  for (const Item& item : items) {
    if (std::string(item.option->name) == "config" && !LoadInto(item.value, updated, error)) {
      return false;
    }
  }
  ApplyState state;
  for (const Item& item : items) {
    if (std::string(item.option->name) == "config") continue;
    if (!ApplyOption(*item.option, item.value, updated, state, error)) {
      error = "--" + std::string(item.option->name) + ": " + error;
      return false;
    }
  }
  if (!ValidateSimConfig(updated, error)) return false;
  config = std::move(updated);
  return true;
}

std::string SimUsage() {
  return R"(Usage: orva-sim [OPTIONS]
Plays the recorder's side of the ORVA7000 protocol on a TCP port.

  --host ADDR              IPv4 address to listen on (default 127.0.0.1)
  --port N                 TCP port, 0 = any free port (default 2000)
  --channels N             channel count announced in the handshake, 0-255 (default 16)
  --product N              product number, 0-255 (default 2)
  --protocol MAJOR.MINOR   protocol version (default 1.0)
  --version MAJOR.MINOR    recorder software version (default 1.1)
  --front N                front-panel version, 0-255 (default 3)
  --mac AA:BB:CC:DD:EE:FF  recorder MAC address
  --unicode-names          announce camera names with DB_CHANGE_UNICODE
  --user ID:PASSWORD[:RIGHTS]
                           a user slot; the first use replaces the default users.
                           RIGHTS: comma list of stop-recording, setup, playback,
                           backup, ptz, covert, access, reboot, all, none, level=N;
                           omitted = all rights, empty = no rights (login refused)
  --camera N:NAME          name of channel N (1-16), UTF-8, at most 31 UTF-16 units
  --covert N[,N...]|none   covert channels (1-16); the first use clears the default
  --firmware INDEX:NAME[:YYYY-MM-DD HH:MM:SS]
                           firmware component 0-19; the first use replaces the defaults
  --login-refused-result N BYE48 result for an unknown user or wrong password (default 1)
  --access-denied-result N BYE48 result for a user without access (default 37)
  --never-answer-hello     fault: read HELLO and never answer
  --bye-on-hello RESULT    fault: answer HELLO with BYE48 carrying RESULT, then close
  --close-mid-message      fault: close in the middle of the HELLO48_ACK payload
  --stall SECONDS          fault: pause between the HELLO48_ACK header and payload
Live video and sound:
  --size-code N            picture size code 0-3: 1 = 352x240/288, 0 or 3 = 704x240/288,
                           2 = 704x480/576 as two fields (default 1)
  --channel-size CH:N      size code of channel CH (1-16); repeatable
  --pal                    625-line pictures (288/576 lines) instead of 240/480
  --fps N                  frames per second per channel, 1-30 (default 15)
  --bitrate KBPS           H.264 bit rate per channel, 32-8000 (default 512)
  --loop-seconds N         length of the encoded picture loop, 1-60 (default 2)
  --fragment-bytes N       largest LIVE_DATA payload, 16-65535 (default 65535)
  --video-loss LIST|none   channels (1-16) reported as lost; they send nothing
  --audio-channels LIST|none
                           channels (1-16) with sound (default 1)
  --ptz LIST|none          channels (1-16) with a steerable camera, encoded live (default 1)
  --fast                   stream as fast as the client reads, not in real time
  --frames N               each channel stops after N frames per live request
Device answers:
  --rec-on-nack RESULT     refuse REC_ON_REQ with this result (0 = accept, default)
  --rec-off-nack RESULT    refuse REC_OFF_REQ with this result (0 = accept, default)
  --listen-nack RESULT     refuse A_LISTEN_REQ with this result (0 = accept, default)
Recordings, search and playback:
  --archive-days N         recorded for the last N days up to now, 0-3650 (default 3;
                           0 = nothing recorded)
  --archive-start TIME|none
                           first recorded second (YYYY-MM-DD HH:MM:SS or wire seconds);
                           replaces --archive-days
  --archive-end TIME|now   last recorded second (default now: still recording)
  --archive-channels LIST|none
                           channels (1-16) recording continuously (default all)
  --event KIND:PERIOD:LENGTH:CHANNELS|none
                           event recordings of kind 1, 2 or 4, LENGTH s from every
                           multiple of PERIOD s (2-86400) on CHANNELS; repeatable, the
                           first use replaces the defaults 2:600:30:2,4,...,16 and
                           4:7200:60:1
  --archive-clock[=no]     recorded pictures show the recorded time (default on; off
                           replays the live loops)
  --search-fragment-bytes N
                           largest search reply fragment, 16-65535 (default 4096)
  --event-page-size N      records per EVENT_INFO_ACK_BYPG page, 1-1000 (default 20)
  --month-nack RESULT      refuse both month requests with this result
  --day-nack RESULT        refuse both day requests with this result
  --event-nack RESULT      refuse EVENT_INFO_REQ and EVENT_INFO_REQ_BYPG with this result
  --play-on-nack RESULT    refuse PLAY_ON_REQ with this result
  --play-off-nack RESULT   refuse RPLAY_STOP with this result
  --play-fail FRAMES:RESULT
                           end each playback with PLAY_ON_FAIL RESULT after FRAMES frames
  --archive-frame-bytes N  pad the data of every recorded video frame (playback and
                           download) with zeros to N bytes, 0-1243968 (default 0 = no
                           padding); for large downloads in little time
Backup download:
  --trans-estimate-ms N    a size estimate takes N ms, 0-60000 (default 0)
  --trans-on-nack RESULT   refuse TRANS_ON_REQ with this result (87: with the required
                           and available KiB)
  --trans-off-nack RESULT  refuse TRANS_OFF_REQ with this result; the download goes on
  --trans-fail FRAMES:RESULT
                           end each download with TRANS_ON_FAIL RESULT after FRAMES
                           video frames
Log and status:
  --log-record-bytes N     size of one LOG_INFO_ACK record, 32-4096 (default 200)
  --log-events N           latest archive events listed in the log, 0-2000 (default 200)
  --log-nack RESULT        refuse LOG_INFO_REQ with this result
  --disk-total-mb N        disk size reported by STATUS_INFO_ACK in MB (default 2097152)
  --disk-day-mb N          MB one recorded day takes off the free space (default 40960)
  --status-devices N       extra storage devices in STATUS_INFO_ACK, 0-4 (default 0 =
                           16-byte block without the device section)
  --status-nack RESULT     refuse STATUS_INFO_REQ with this result
  --fw-update-nack RESULT  refuse FW_UPDATE_REQ with this result
  --fw-rx-fail RESULT      answer every uploaded image with FW_DATA_RX_FAIL and this result
  --fw-update-fail RESULT  take the image, then answer FW_UPDATE_FAIL with this result
  --write-firmware DIR     write sample firmware files for the configured components
                           (one day newer than installed) into DIR and exit
Setup database, test mail and time server:
  --setup-version MAJOR.MINOR
                           database version in the setup record's first bytes (default 4.2)
  --setup-fragment-bytes N largest DB_INFO_ACK fragment, 16-65535 (default 16384)
  --setup-crc-fault        fault: DB_INFO_ACK carries a CRC that does not match
  --db-info-nack RESULT    refuse DB_INFO_REQ with DB48_INFO_NACK and this result
  --db-update-nack RESULT  refuse DB_UPDATE_REQ with this result
  --db-init-nack RESULT    refuse DB_INIT_REQ with this result
  --test-mail-nack RESULT  refuse SEND_TEST_MAIL_REQ with this result
  --setup-file PATH        keep the setup in PATH: read at start when it exists (64512
                           bytes), written after every change
  --sys-etc-bytes N        size of SYS_ETC_INFO after the login, 0-65535 (default 320;
                           0 = not sent, other sizes padded or cut)
  --sys-etc-ex-bytes N     size of SYS_ETC_INFO_EX after the login, 0-65535 (default
                           3200; 0 = not sent)
  --time-port N            answer the Time protocol (RFC 868, TCP) on port N, 0 = any
                           free port (default: no time server)
  --time-offset SECONDS    added to the true time the time server reports (default 0)

  --config FILE            read "key = value" lines (option names without dashes)
  --verbose                one line per message on stderr
  --help                   show this text
)";
}

}  // namespace orva::sim
