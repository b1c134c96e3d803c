// The factory setup record and the language / serial-protocol tables.
#include <algorithm>
#include <cstring>
#include <string>

#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "setup_layout.h"

namespace orva::sim::detail {

namespace at = setupat;

namespace {

struct TableEntry {
  uint8_t number;    // 1-based into the client's built-in name list
  const char* name;  // the name SYS_ETC_INFO_EX gives
  uint8_t bauds;     // baud rates the protocol allows (0 for languages)
};

// "S.Chinese" is the extended table's name of built-in language 2, "Chinese".
constexpr TableEntry kLanguages[] = {{1, "English", 0}, {2, "S.Chinese", 0}, {3, "French", 0},
                                     {4, "German", 0},  {9, "Spanish", 0},   {13, "Japanese", 0}};
constexpr TableEntry kCameraProtocols[] = {{1, "Pelco-P", 4},  {2, "Pelco-D", 4},
                                           {3, "Vista PD", 3}, {4, "Dongyang", 3},
                                           {5, "TKC-2000", 6}, {6, "Vitek", 2}};
constexpr TableEntry kControllerProtocols[] = {{1, "TKC-2000", 6}, {2, "Vista KBD", 3}};
constexpr size_t kTableNameBytes = 16;

// Fills a text field whole: the text (at most width - 1 bytes), then zeros.
void PutText(std::vector<uint8_t>& image, size_t offset, size_t width, const std::string& text) {
  std::fill_n(image.begin() + static_cast<ptrdiff_t>(offset), width, uint8_t{0});
  std::memcpy(image.data() + offset, text.data(), std::min(text.size(), width - 1));
}

void Fill(std::vector<uint8_t>& image, size_t offset, size_t count, uint8_t value) {
  std::fill_n(image.begin() + static_cast<ptrdiff_t>(offset), count, value);
}

}  // namespace

int SetupChannels(const SimConfig& config) {
  const int n = config.channels;
  return n == 4 || n == 8 ? n : 16;
}

int TopFrameRate(int channels, int product, bool pal, int resolutionClass) {
  const int r = std::clamp(resolutionClass, 0, 2);
  const int ntsc[3][3] = {{3, 7, 15}, {7, 15, 30}, {15, 30, 30}};
  const int p625[3][3] = {{3, 6, 12}, {6, 12, 25}, {12, 25, 25}};
  const auto& table = pal ? p625 : ntsc;
  if (channels <= 4) return pal ? 25 : 30;
  // Row 0: more than 8 channels on product 3; row 1: more than 8 channels on
  // other products, or 5-8 on product 3; row 2: 5-8 channels on other products.
  int row = 0;
  if (channels > 8) {
    row = product == 3 ? 0 : 1;
  } else {
    row = product == 3 ? 1 : 2;
  }
  return table[row][r];
}

std::vector<uint8_t> FactorySetup(const SimConfig& config) {
  std::vector<uint8_t> d(kSetupBytes);
  // Bytes that no field covers are never zero here, so a client that loses
  // or rewrites them is caught.
  for (size_t o = 0; o < d.size(); ++o) d[o] = static_cast<uint8_t>(1 + (o * 37 + (o >> 8)) % 251);

  const int n = SetupChannels(config);
  const bool pal = config.video.pal;
  const size_t present = static_cast<size_t>(n);
  d[at::kMajor] = config.setup.major;
  d[at::kMinor] = config.setup.minor;
  d[at::kStandard] = pal ? 1 : 0;
  d[at::kSystemNumber] = 1;
  PutU32(&d[at::kClock], 0);  // stamped when the record is sent

  for (size_t field : {at::kHue, at::kSaturation, at::kContrast, at::kBrightness}) {
    Fill(d, field, 16, 50);
  }
  for (size_t ch = 0; ch < 16; ++ch) {
    d[at::kCovert + ch] = config.covert[ch] ? 1 : 0;
    PutText(d, at::kNames + ch * at::kNameBytes, at::kNameBytes,
            CutUtf8(config.cameraNames[ch], at::kNameBytes - 1));
    d[at::kSpotDwell + ch] = 5;
    d[at::kSpotMember + ch] = ch < present ? 1 : 0;
  }
  d[at::kSpotMode] = 0;
  const uint8_t display[] = {1, 1, 0, 2};
  std::copy(std::begin(display), std::end(display), d.begin() + at::kDisplay);

  // Recording: 4CIF everywhere at the rate the recorder gives every channel
  // after a change of standard, T / (4 n).
  const int product = config.productNumber;
  const int total = product == 3 ? (pal ? 200 : 240) : (pal ? 400 : 480);
  const auto rate = static_cast<uint8_t>(total / (4 * n));
  d[at::kResolutionClass] = 0;
  d[at::kRecSwitches] = 1;
  d[at::kRecSwitches + 1] = 1;
  d[at::kTopRate] = static_cast<uint8_t>(TopFrameRate(n, product, pal, 0));
  PutU16(&d[at::kValueA], 10);
  PutU16(&d[at::kValueB], 60);
  d[at::kRecChoice] = 1;
  struct ModeArrays {
    size_t rate, enable;
    uint8_t on;
  };
  const ModeArrays modes[] = {{at::kMode1Rate, at::kMode1Enable, 1},
                              {at::kMode2Rate, at::kMode2Enable, 0},
                              {at::kMotionRate, at::kMotionEnable, 1},
                              {at::kMode4Rate, at::kMode4Enable, 1},
                              {at::kMode5Rate, at::kMode5Enable, 0}};
  for (const ModeArrays& mode : modes) {
    Fill(d, mode.rate, 16, rate);
    Fill(d, mode.enable, 16, mode.on);
  }
  Fill(d, at::kMotionSensitivity, 16, 1);
  Fill(d, at::kMotionAreas, 16 * at::kMotionCells, 1);
  Fill(d, at::kSchedule, at::kScheduleBytes, 1);
  Fill(d, at::kMode5Sensitivity, 16, 1);
  Fill(d, at::kMode6FlagsA, 16, 1);
  Fill(d, at::kMode6FlagsB, 16, 0);
  d[at::kMode6Value] = 3;
  for (size_t rank = 0; rank < 5; ++rank) d[at::kPriority + rank] = static_cast<uint8_t>(rank);
  d[at::kLanguage] = 0;
  d[at::kDateFormat] = 0;
  d[at::kStatusChoice] = 1;

  // Alarm input 1 on, the rest off; 30-day auto delete.
  Fill(d, at::kSensor, 16, 1);
  d[at::kSensor] = 2;
  d[at::kAutoDelete] = 30;
  for (size_t ch = 0; ch < 16; ++ch) {
    d[at::kPtzAddress + ch] = static_cast<uint8_t>(ch + 1);
    d[at::kPtzProtocol + ch] = config.ptzChannels[ch] ? 1 : 0;  // entry 1: Pelco-D
    d[at::kPtzBaud + ch] = 2;                                      // 9600 bps
    d[at::kCtrlAddress + ch] = ch == 0 ? 1 : 0;
    d[at::kCtrlProtocol + ch] = 0;
    d[at::kCtrlBaud + ch] = 2;
  }
  // Daylight saving as DST_INFO announces it: last Sunday of March 02:00 to
  // last Sunday of October 03:00 (months, weeks and days counted from 0).
  const uint8_t dst[] = {1, 0, 2, 4, 0, 24, 2, 0, 9, 4, 0, 24, 3, 0, 3, 0, 0};
  std::copy(std::begin(dst), std::end(dst), d.begin() + at::kDst);

  PutU32(&d[at::kMailWord1], 25);
  PutU32(&d[at::kMailWord2], 300);
  const char* const mail[] = {"smtp.example.com", "recorder@example.com", "admin@example.com",
                              "Recorder alarm"};
  for (size_t i = 0; i < 4; ++i) {
    PutText(d, at::kMailTexts + i * at::kMailTextBytes, at::kMailTextBytes, mail[i]);
  }
  d[at::kMailChoice] = 1;
  const uint8_t events[] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0};
  std::copy(std::begin(events), std::end(events), d.begin() + at::kEventGroups);
  Fill(d, at::kResolutions, 6 * 16, 0);

  d[at::kTimeZone] = 1;  // GMT
  d[at::kNtp] = 0;
  d[at::kNtpKind] = 0;
  PutText(d, at::kNtpBuiltIn, 32, "time.example.net");
  const uint8_t address[] = {192, 0, 2, 1};
  std::copy(std::begin(address), std::end(address), d.begin() + at::kNtpAddress);
  PutText(d, at::kNtpUserName, 32, "ntp.example.org");
  PutU16(&d[at::kWord1078], 0x0102);
  PutU16(&d[at::kWord107A], 0x0304);
  // PTZ limits: pan 0-359, tilt 0-90 on every channel.
  const uint16_t limits[] = {0, 359, 0, 90};
  for (size_t table = 0; table < 4; ++table) {
    for (size_t ch = 0; ch < 16; ++ch) PutU16(&d[at::kPtzLimits + table * 32 + ch * 2], limits[table]);
  }
  const uint32_t words[] = {0x00010203, 1000, 1, 10, 20};
  for (size_t i = 0; i < 5; ++i) PutU32(&d[at::kWords1160 + 4 * i], words[i]);
  for (size_t ch = 0; ch < 16; ++ch) d[at::kDeinterlace + ch] = ch < present ? 1 : 0;
  for (size_t i = 0; i < 512; ++i) PutU16(&d[at::kWords11F8 + 2 * i], static_cast<uint16_t>(3 * i + 1));
  const std::vector<uint8_t> users = BuildRightsTable(config.users);
  std::copy(users.begin(), users.end(), d.begin() + at::kUserTable);
  for (size_t e = 0; e < 16; ++e) {
    for (size_t k = 0; k < 4; ++k) d[at::kAssignment + 4 * e + k] = static_cast<uint8_t>((e + k) % 4 + 1);
    d[at::kAssignmentFifth + 4 * e] = static_cast<uint8_t>(e + 1);
  }
  for (size_t i = 0; i < 64; ++i) PutU16(&d[at::kWords18C0 + 2 * i], static_cast<uint16_t>(0x100 + i));
  const uint8_t smart[] = {1, 10, 0, 1, 0, 1};
  std::copy(std::begin(smart), std::end(smart), d.begin() + at::kSmart);
  d[at::kDisplayMore] = 0;
  d[at::kDisplayMore + 1] = 1;
  d[at::kDisplayMore + 2] = 2;
  d[at::kSystemOption] = 1;
  return d;
}

std::vector<uint8_t> BuildSysEtcInfo(size_t bytes) {
  std::vector<uint8_t> t(kSysEtcInfoBytes, 0);
  for (size_t k = 0; k < std::size(kLanguages); ++k) t[k] = kLanguages[k].number;
  for (size_t p = 0; p < std::size(kCameraProtocols); ++p) {
    t[0x040 + 2 * p] = kCameraProtocols[p].number;
    t[0x040 + 2 * p + 1] = kCameraProtocols[p].bauds;
  }
  for (size_t p = 0; p < std::size(kControllerProtocols); ++p) {
    t[0x0C0 + 2 * p] = kControllerProtocols[p].number;
    t[0x0C0 + 2 * p + 1] = kControllerProtocols[p].bauds;
  }
  t.resize(bytes, 0);
  return t;
}

std::vector<uint8_t> BuildSysEtcInfoEx(size_t bytes) {
  std::vector<uint8_t> t(kSysEtcInfoExBytes, 0);
  auto name = [&t](size_t offset, const char* text) {
    std::memcpy(t.data() + offset, text, std::min(std::strlen(text), kTableNameBytes - 1));
  };
  for (size_t k = 0; k < std::size(kLanguages); ++k) name(k * kTableNameBytes, kLanguages[k].name);
  for (size_t p = 0; p < std::size(kCameraProtocols); ++p) {
    name(0x400 + p * kTableNameBytes, kCameraProtocols[p].name);
    t[0x800 + p] = kCameraProtocols[p].bauds;
  }
  for (size_t p = 0; p < std::size(kControllerProtocols); ++p) {
    name(0x840 + p * kTableNameBytes, kControllerProtocols[p].name);
    t[0xC40 + p] = kControllerProtocols[p].bauds;
  }
  t.resize(bytes, 0);
  return t;
}

}  // namespace orva::sim::detail
