// The simulated recorder's setup database: the offsets this recorder itself
// writes or acts on, and the builders of its factory record and of the two
// table notices it sends after a login. The record is kept in network byte
// order, as the recorder keeps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "orva/sim/config.h"

namespace orva::sim::detail {

inline constexpr size_t kSetupBytes = 64512;        // 0xFC00
inline constexpr size_t kSetupUpdateBytes = 64516;  // CRC + record
inline constexpr size_t kTestMailBytes = 516;       // 0x0DB8-0x0FBB of the record
inline constexpr size_t kSysEtcInfoBytes = 320;
inline constexpr size_t kSysEtcInfoExBytes = 3200;

namespace setupat {
inline constexpr size_t kMajor = 0x0000, kMinor = 0x0001, kStandard = 0x0002,
                        kSystemNumber = 0x0003, kClock = 0x0004;
inline constexpr size_t kHue = 0x0008, kSaturation = 0x0018, kContrast = 0x0028,
                        kBrightness = 0x0038, kCovert = 0x0048, kNames = 0x0058;
inline constexpr size_t kNameBytes = 32;
inline constexpr size_t kSpotMode = 0x0258, kSpotDwell = 0x025C, kSpotMember = 0x026C;
inline constexpr size_t kDisplay = 0x027C;  // choice 1, switch 1, switch 2, choice 2
inline constexpr size_t kResolutionClass = 0x0284, kRecSwitches = 0x0285,
                        kTopRate = 0x0287, kValueA = 0x0288, kValueB = 0x028A,
                        kRecChoice = 0x028C;
// Rate and enable arrays of record modes 1, 2, motion, 4 and 5.
inline constexpr size_t kMode1Rate = 0x0290, kMode1Enable = 0x02A0, kMode2Rate = 0x02B0,
                        kMode2Enable = 0x02C0, kMotionRate = 0x02D0, kMotionEnable = 0x02E0,
                        kMotionSensitivity = 0x02F0, kMotionAreas = 0x0300,
                        kMode4Rate = 0x0930, kMode4Enable = 0x0940, kSchedule = 0x0950,
                        kMode5Rate = 0x09F8, kMode5Enable = 0x0A08,
                        kMode5Sensitivity = 0x0A18, kMode6FlagsA = 0x0A38,
                        kMode6FlagsB = 0x0A48, kMode6Value = 0x0A58;
inline constexpr size_t kMotionCells = 99, kScheduleBytes = 7 * 24;
inline constexpr size_t kPriority = 0x0A5C, kLanguage = 0x0A64, kDateFormat = 0x0A65,
                        kStatusChoice = 0x0A6C;
inline constexpr size_t kSensor = 0x0C10, kAutoDelete = 0x0C20, kPtzAddress = 0x0C24,
                        kPtzProtocol = 0x0C34, kPtzBaud = 0x0C44, kCtrlAddress = 0x0C54,
                        kCtrlProtocol = 0x0C64, kCtrlBaud = 0x0C74;
inline constexpr size_t kDst = 0x0C84;  // 0x0C84-0x0C94
inline constexpr size_t kMailWord1 = 0x0DB0, kMailWord2 = 0x0DB4, kMailTexts = 0x0DB8,
                        kMailTextBytes = 128, kMailChoice = 0x0FB8;
inline constexpr size_t kEventGroups = 0x0FBC;   // three groups of four yes/no bytes
inline constexpr size_t kResolutions = 0x0FCC;   // six arrays of 16, to 0x102B
inline constexpr size_t kTimeZone = 0x102C, kNtp = 0x102D, kNtpKind = 0x1030,
                        kNtpBuiltIn = 0x1034, kNtpAddress = 0x1054, kNtpUserName = 0x1058;
inline constexpr size_t kWord1078 = 0x1078, kWord107A = 0x107A;
inline constexpr size_t kPtzLimits = 0x10E0;     // four tables of 16 16-bit values
inline constexpr size_t kWords1160 = 0x1160;     // five 32-bit values
inline constexpr size_t kDeinterlace = 0x11E8, kWords11F8 = 0x11F8, kUserTable = 0x15F8,
                        kAssignment = 0x1840, kAssignmentFifth = 0x1880, kWords18C0 = 0x18C0;
inline constexpr size_t kSmart = 0x1940, kEventFifth = 0x1943, kDisplayMore = 0x19E4,
                        kSystemOption = 0x19E8;
}  // namespace setupat

// 4, 8 or 16 as the hello answer's count is read; anything else counts as 16.
int SetupChannels(const SimConfig& config);

// The record a factory reset restores: every field consistent with the
// configuration (names, covert channels, users, video standard, channel
// count), the bytes no field covers filled with a non-zero pattern.
std::vector<uint8_t> FactorySetup(const SimConfig& config);

// The frame rate at the top of the recording range for a video standard and
// resolution class, as the recorder derives it when the standard changes.
int TopFrameRate(int channels, int product, bool pal, int resolutionClass);

// The language and serial-protocol tables, padded with zeros or cut to
// `bytes` (the fault of a wrong size).
std::vector<uint8_t> BuildSysEtcInfo(size_t bytes);
std::vector<uint8_t> BuildSysEtcInfoEx(size_t bytes);

}  // namespace orva::sim::detail
