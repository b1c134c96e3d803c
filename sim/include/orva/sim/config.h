// Configuration of the recorder simulator: identity, users, cameras, fault
// switches, and the command-line / config-file parsers that fill it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orva::sim {

// One firmware component announced in HELLO48_ACK.
struct FirmwareComponent {
  int index;           // 0..19
  std::string name;    // at most 31 bytes
  uint32_t buildTime;  // wire seconds (recorder wall clock encoded as UTC)
};

// One user slot of the recorder's rights table.
struct SimUser {
  std::string id, password;  // stored as typed; the login check lower-cases both sides
  uint8_t level = 1;         // 0 = slot not in use
  bool stopRecording = false, setup = false, playback = false, backup = false,
       ptz = false, covert = false, access = true, reboot = false;
};

struct SimFaults {
  bool neverAnswerHello = false;  // read HELLO, then keep reading and never answer
  int32_t byeOnHello = 0;         // non-zero: answer HELLO with BYE48 carrying this result, then close
  bool closeMidMessage = false;   // send the HELLO48_ACK header and part of its payload, then close
  int stallSeconds = 0;           // send the HELLO48_ACK header, wait N seconds, then the payload
};

// Live video: what each channel's test picture looks like on the wire.
struct SimVideoConfig {
  int sizeCode = 1;                     // 0-3: 1 = 352 wide, 0/3 = 704 wide, 2 = two fields
  std::array<int, 16> channelSizeCode;  // per-channel override; -1 = use sizeCode
  bool pal = false;                     // 625-line picture heights
  int fps = 15;                         // 1-30 frames per second per channel; one GOP per second
  int bitrateKbps = 512;                // 32-8000, per channel (per field for size code 2)
  int loopSeconds = 2;                  // 1-60: length of the encoded loop, repeated
  std::array<bool, 16> videoLoss{};     // announced as lost; these channels send nothing
  int fragmentBytes = 65535;            // 16-65535: largest LIVE_DATA payload

  SimVideoConfig() { channelSizeCode.fill(-1); }
  int SizeCodeOf(size_t channel) const {
    return channel < channelSizeCode.size() && channelSizeCode[channel] >= 0
               ? channelSizeCode[channel]
               : sizeCode;
  }
};

// One periodic kind of event: occurrences start at every multiple of `period`
// seconds of the recorder's clock and last `length` seconds, on `channels`.
struct SimEventPattern {
  int kind = 2;                       // event kind 1, 2 or 4
  int period = 600;                   // 2-86400 seconds
  int length = 30;                    // 1-period seconds
  std::array<bool, 16> channels{};
};

// The simulated recording archive and the faults of its search and playback.
struct SimArchiveConfig {
  int days = 3;                            // 0-3650: recorded up to now for this many days
  uint32_t start = 0;                      // wire seconds; non-zero replaces `days`
  uint32_t end = 0;                        // wire seconds; 0 = still recording (now)
  std::array<bool, 16> channels;           // channels recording continuously
  std::vector<SimEventPattern> events;     // event recordings (also on other channels)
  bool clock = true;                       // pictures show the recorded time (encoded on demand)
  int searchFragmentBytes = 4096;          // 16-65535: largest search reply fragment
  int eventPageSize = 20;                  // 1-1000 records per EVENT_INFO_ACK_BYPG page
  int32_t monthNack = 0, dayNack = 0, eventNack = 0;  // non-zero: refuse with this result
  int32_t playOnNack = 0, playOffNack = 0;
  int playFailFrames = 0;                  // > 0: PLAY_ON_FAIL after this many video frames
  int32_t playFailResult = 0;
  // Backup download.
  int frameBytes = 0;                      // > 0: video frame data padded with zeros to this size
  int estimateMs = 0;                      // 0-60000: time a size estimate takes
  int32_t transOnNack = 0, transOffNack = 0;  // non-zero: refuse with this result
  int transFailFrames = 0;                 // > 0: TRANS_ON_FAIL after this many video frames
  int32_t transFailResult = 0;

  SimArchiveConfig();
};

// The recorder's log, status and firmware answers.
struct SimInfoConfig {
  int logRecordBytes = 200;       // 32-4096: size of one LOG_INFO_ACK record
  int logEvents = 200;            // 0-2000: latest archive events listed in the log
  int32_t logNack = 0;            // non-zero: refuse LOG_INFO_REQ with this result
  uint32_t diskTotalMb = 2097152; // capacity a: the disk size (2 TB)
  uint32_t diskDayMb = 40960;     // megabytes one recorded day takes off the free space
  int statusDevices = 0;          // 0-4 extra devices; 0 sends the 16-byte status block
  int32_t statusNack = 0;         // non-zero: refuse STATUS_INFO_REQ with this result
  // Firmware upgrade.
  int32_t fwUpdateNack = 0;       // non-zero: refuse FW_UPDATE_REQ with this result
  int32_t fwRxFail = 0;           // non-zero: FW_DATA_RX_FAIL with this result for every image
  int32_t fwUpdateFail = 0;       // non-zero: FW_UPDATE_FAIL with this result after a good image
  std::string writeFirmware;      // non-empty: write sample firmware files here and exit
};

// The recorder's setup database and its exchange, and the Time-protocol
// server that the recorder runs beside it on request.
struct SimSetupConfig {
  uint8_t major = 4, minor = 2;   // database version in bytes 0 and 1
  int fragmentBytes = 16384;      // 16-65535: largest DB_INFO_ACK fragment
  bool crcFault = false;          // fault: DB_INFO_ACK carries a CRC that does not match
  int32_t infoNack = 0;           // non-zero: refuse DB_INFO_REQ (DB48_INFO_NACK) with this result
  int32_t updateNack = 0;         // non-zero: refuse DB_UPDATE_REQ with this result
  int32_t initNack = 0;           // non-zero: refuse DB_INIT_REQ with this result
  int32_t testMailNack = 0;       // non-zero: refuse SEND_TEST_MAIL_REQ with this result
  std::string file;               // non-empty: the setup is read from and kept in this file
  int sysEtcBytes = 320;          // 0-65535: SYS_ETC_INFO size after login; 0 = not sent
  int sysEtcExBytes = 3200;       // 0-65535: SYS_ETC_INFO_EX size after login; 0 = not sent
  int timePort = -1;              // RFC 868 time server port; -1 = none, 0 = any free port
  int64_t timeOffset = 0;         // seconds added to the true time the time server reports
};

// Motion (kind 2) 30 s every 10 minutes on channels 2, 4, ... 16 and alarm
// (kind 4) 1 minute every 2 hours on channel 1.
std::vector<SimEventPattern> DefaultEventPatterns();

// Wire seconds of a recorder wall-clock date and time (month 1-12, day 1-31).
uint32_t WireTime(int year, int month, int day, int hour, int minute, int second);

std::vector<FirmwareComponent> DefaultFirmware();
std::vector<SimUser> DefaultUsers();
std::array<std::string, 16> DefaultCameraNames();
std::array<bool, 16> DefaultCovert();
std::array<bool, 16> DefaultAudioChannels();  // channel 1 (index 0)
std::array<bool, 16> DefaultPtzChannels();    // channel 1 (index 0)
// The recorder's wall clock now, as wire seconds (local time encoded as UTC).
uint32_t WireNow();

struct SimConfig {
  std::string host = "127.0.0.1";
  uint16_t port = 2000;  // 0 = pick a free port (tests)
  uint8_t productNumber = 2, channels = 16, protocolMajor = 1, protocolMinor = 0,
          productMajor = 1, productMinor = 1, frontVersion = 3;
  std::array<uint8_t, 6> mac{0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E};
  std::vector<FirmwareComponent> firmware = DefaultFirmware();
  std::vector<SimUser> users = DefaultUsers();  // up to 8 slots, slot 0 first
  std::array<std::string, 16> cameraNames = DefaultCameraNames();  // UTF-8
  std::array<bool, 16> covert = DefaultCovert();
  bool unicodeNames = false;       // announce names with DB_CHANGE_UNICODE instead of DB_CHANGE
  int32_t loginRefusedResult = 1;  // BYE48 result for unknown user / wrong password
  int32_t accessDeniedResult = 37; // BYE48 result when the matching slot has access 0 or level 0
  SimFaults faults;
  bool verbose = false;            // one line per message to stderr

  SimVideoConfig video;
  std::array<bool, 16> audioChannels = DefaultAudioChannels();  // channels that carry sound
  std::array<bool, 16> ptzChannels = DefaultPtzChannels();  // steerable cameras, encoded live
  bool fast = false;               // stream as fast as the client reads instead of in real time
  int framesPerChannel = 0;        // > 0: each channel stops after this many frames per LIVE_REQ
  int32_t recOnNack = 0;           // non-zero: REC_ON_REQ is refused with this result
  int32_t recOffNack = 0;          // non-zero: REC_OFF_REQ is refused with this result
  int32_t listenNack = 0;          // non-zero: A_LISTEN_REQ is refused with this result

  SimArchiveConfig archive;        // recordings, their search and playback
  SimInfoConfig info;              // log and status answers
  SimSetupConfig setup;            // setup database, its exchange, time server
};

// Checks the limits that the wire layouts impose (slot count, text widths,
// firmware indices, valid UTF-8 names, host address).
bool ValidateSimConfig(const SimConfig& config, std::string& error);

// Command line. A --config FILE is loaded first; the other options override it.
// Returns false with a clear error text on any bad option or value.
bool ParseSimArgs(int argc, const char* const* argv, SimConfig& config, std::string& error,
                  bool& showHelp);
// Config file: one "key = value" per line, keys are the option names without
// the dashes, '#' starts a comment line.
bool LoadSimConfigFile(const std::string& path, SimConfig& config, std::string& error);
std::string SimUsage();

}  // namespace orva::sim
