// The editing rules of the setup window's pages, free of Qt so that the
// command-line tool can apply a change exactly as the window would. Every
// function works on the setup record while it is in host order (the window
// converts the multi-byte fields when it opens), writes only the entries of
// the recorder's channels and leaves every other byte alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orva::view::setup {

using Image = std::span<uint8_t>;
using ConstImage = std::span<const uint8_t>;

inline constexpr size_t kImageSize = 64512;

// Offsets of the fields the pages edit.
namespace at {
inline constexpr size_t kMajor = 0x0000, kMinor = 0x0001, kVideoStandard = 0x0002, kSystemNumber = 0x0003;
inline constexpr size_t kClock = 0x0004;
inline constexpr size_t kHue = 0x0008, kSaturation = 0x0018, kContrast = 0x0028, kBrightness = 0x0038;
inline constexpr size_t kCovert = 0x0048, kCameraNames = 0x0058, kCameraNameBytes = 32;
inline constexpr size_t kSpotMode = 0x0258, kSpotDwell = 0x025C, kSpotMember = 0x026C;
inline constexpr size_t kDisplayChoice1 = 0x027C, kDisplaySwitch1 = 0x027D, kDisplaySwitch2 = 0x027E,
                        kDisplayChoice2 = 0x027F, kDisplayChoice3 = 0x19E4, kDisplayChoice4 = 0x19E5,
                        kDisplayChoice5 = 0x19E6;
inline constexpr size_t kResolutionClass = 0x0284, kRecSwitch1 = 0x0285, kRecSwitch2 = 0x0286, kTopRate = 0x0287,
                        kValueA = 0x0288, kValueB = 0x028A, kRecChoice = 0x028C, kRecChoice2 = 0x1168;
inline constexpr size_t kMode1Rate = 0x0290, kMode1Enable = 0x02A0, kMode2Rate = 0x02B0, kMode2Enable = 0x02C0,
                        kMotionRate = 0x02D0, kMotionEnable = 0x02E0, kMotionSensitivity = 0x02F0,
                        kMotionAreas = 0x0300, kMode4Rate = 0x0930, kMode4Enable = 0x0940, kSchedule = 0x0950,
                        kMode5Rate = 0x09F8, kMode5Enable = 0x0A08, kMode5Sensitivity = 0x0A18, kMode6FlagsA = 0x0A38,
                        kMode6FlagsB = 0x0A48, kMode6Value = 0x0A58;
inline constexpr size_t kPriority = 0x0A5C, kLanguage = 0x0A64, kDateFormat = 0x0A65, kStatusChoice = 0x0A6C;
inline constexpr size_t kSensor = 0x0C10, kAutoDelete = 0x0C20;
inline constexpr size_t kPtzAddress = 0x0C24, kPtzProtocol = 0x0C34, kPtzBaud = 0x0C44;
inline constexpr size_t kCtrlAddress = 0x0C54, kCtrlProtocol = 0x0C64, kCtrlBaud = 0x0C74;
inline constexpr size_t kDst = 0x0C84, kDstState = 0x0C85, kDstStart = 0x0C86, kDstEnd = 0x0C8C,
                        kDstWindowHours = 0x0C92, kDstWindowMinutes = 0x0C93, kDstEndAnswer = 0x0C94;
inline constexpr size_t kMailText = 0x0DB8, kMailTextBytes = 128, kMailChoice = 0x0FB8, kMailPayloadBytes = 516;
inline constexpr size_t kEventActions1 = 0x0FBC, kEventActions2 = 0x0FC0, kEventActions3 = 0x0FC4;
inline constexpr size_t kResolution1 = 0x0FCC, kResolution2 = 0x0FDC, kMotionResolution = 0x0FEC, kResolution4 = 0x0FFC,
                        kResolution5 = 0x100C, kResolution6 = 0x101C;
inline constexpr size_t kTimeZone = 0x102C, kNtp = 0x102D, kNtpKind = 0x1030, kNtpBuiltInName = 0x1034,
                        kNtpAddress = 0x1054, kNtpUserName = 0x1058, kNtpNameBytes = 32;
inline constexpr size_t kPanLow = 0x10E0, kPanHigh = 0x1100, kTiltLow = 0x1120, kTiltHigh = 0x1140;
inline constexpr size_t kEventValue2 = 0x116C, kEventValue3 = 0x1170;
inline constexpr size_t kDeinterlace = 0x11E8, kUserTable = 0x15F8;
inline constexpr size_t kAssign = 0x1840, kAssignFifth = 0x1880;
inline constexpr size_t kSmartSwitch1 = 0x1940, kSmartInterval = 0x1941, kSmartSwitch2 = 0x1942;
inline constexpr size_t kEventFifth1 = 0x1943, kEventFifth2 = 0x1944, kEventFifth3 = 0x1945;
inline constexpr size_t kSystemOption = 0x19E8;
}  // namespace at

// Host-order access to the multi-byte fields.
uint16_t Get16(ConstImage image, size_t offset);
void Set16(Image image, size_t offset, uint16_t value);
uint32_t Get32(ConstImage image, size_t offset);
void Set32(Image image, size_t offset, uint32_t value);
// A zero-terminated text field of `width` bytes (at most width - 1 bytes).
std::string GetText(ConstImage image, size_t offset, size_t width);
void SetText(Image image, size_t offset, size_t width, std::string_view text);

// Bit c of a mask: channel c's row is selected.
using RowMask = uint16_t;
inline bool Selected(RowMask mask, int c) { return c >= 0 && c < 16 && ((mask >> c) & 1u) != 0; }

// The common editing rule: the value is written for c and, when c's row is
// selected, for every other selected row among the first `channels`.
// Returns the channels written.
RowMask WriteChannels(Image image, size_t base, int c, uint8_t value, RowMask selected, int channels);
RowMask TargetRows(int c, RowMask selected, int channels);

// --- recording rates ---
// Resolution weight: 4CIF 4, 2CIF 2, CIF 1; an unknown code counts as 4CIF
// so that it can never let a group exceed its budget.
int ResolutionWeight(uint8_t resolution);

struct RateShape {
  int groups = 4;    // G
  int perGroup = 4;  // N
  int budget = 120;  // units per second per group
};
RateShape RateShapeFor(int channels, int product, bool pal);

struct RatePage {
  size_t rate, enable, resolution;
};
inline constexpr RatePage kMode1{at::kMode1Rate, at::kMode1Enable, at::kResolution1};
inline constexpr RatePage kMode2{at::kMode2Rate, at::kMode2Enable, at::kResolution2};
inline constexpr RatePage kMotion{at::kMotionRate, at::kMotionEnable, at::kMotionResolution};
inline constexpr RatePage kMode4{at::kMode4Rate, at::kMode4Enable, at::kResolution4};
inline constexpr RatePage kMode5{at::kMode5Rate, at::kMode5Enable, at::kResolution5};
// Record mode 6 has resolutions but no rates (rate 0: none).
inline constexpr RatePage kMode6{0, 0, at::kResolution6};

struct RecorderShape {
  int channels = 16;  // 4, 8 or 16
  int product = 0;    // 1-4, 0 unknown
};

// The largest rate channel c may take now.
int RateLimit(ConstImage image, const RatePage& page, int c, RowMask selected, const RecorderShape& shape);
// Moves c's rate slider to `wanted`: the rate actually written (the smaller
// of wanted and the limit), with the common editing rule; a rate of 0 also
// clears the enable bytes written.
int SetRate(Image image, const RatePage& page, int c, int wanted, RowMask selected, const RecorderShape& shape);
// Chooses a resolution for c's group (and every other group whose first row
// is selected, when this group's first row is selected): each channel of
// those groups takes it and the rate budget / weight / N. Returns the groups
// written as a bit mask.
uint8_t SetGroupResolution(Image image, const RatePage& page, int group, uint8_t resolution, RowMask selected,
                           const RecorderShape& shape);

// Top frame rate for resolution class r. `basicsPage`: the recording basics
// page's variant (product 3 with up to 4 channels depends on r).
int TopFrameRate(const RecorderShape& shape, bool pal, int resolutionClass, bool basicsPage);
// The basics page's class choice: the same class does nothing; another one
// first sets the top frame rate and then stores the class. True when written.
bool ChooseResolutionClass(Image image, int resolutionClass, const RecorderShape& shape);
// Value A by list position: 1-4 store 5, 10, 15, 20; any other stores 0.
uint16_t ValueAForPosition(int position);
int PositionForValueA(uint16_t value);  // -1 when the stored value is not listed
// Value B: 1-8 store 30 ... 240; any other stores 10.
uint16_t ValueBForPosition(int position);
int PositionForValueB(uint16_t value);

// Video standard change: false (nothing written) when unchanged.
bool ChangeVideoStandard(Image image, uint8_t standard, const RecorderShape& shape);

// Sensitivity slider position (1-3) <-> stored value (0-2).
inline int SensitivityPosition(uint8_t stored) { return 3 - (stored > 2 ? 2 : stored); }
inline uint8_t SensitivityValue(int position) {
  return static_cast<uint8_t>(3 - (position < 1 ? 1 : position > 3 ? 3 : position));
}

// --- other Rec pages ---
inline constexpr uint8_t kUnassigned = 6;
// Priority row k takes list item a; duplicates elsewhere become unassigned.
void ChoosePriority(Image image, int row, int item);
// Channel assignment: k 0-3 the four values, 4 the fifth. False (nothing
// written) when a nonzero value already sits in another of the first four.
bool ChooseAssignment(Image image, int entry, int k, uint8_t value);
// Spot dwell: slider position v writes v * 5 seconds, per channel (mode 0,
// common editing rule) or per group of four (mode 1) or eight (mode 2).
void SetSpotDwell(Image image, int c, int position, RowMask selected, int channels);
// Spot mode; modes 1 and 2 copy the first dwell of each group to the group.
void SetSpotMode(Image image, uint8_t mode, int channels);

// --- System pages ---
// PTZ protocol p for channel c (common editing rule); a baud index not below
// the protocol's allowed count is lowered to count - 1 (0 when it allows none).
void ChooseProtocol(Image image, size_t protocolBase, size_t baudBase, int c, uint8_t protocol, int allowedBauds,
                    RowMask selected, int channels);

enum class AddCheck { kOk, kEmpty, kMismatch, kFactoryPassword };
AddCheck CheckNewAccount(std::string_view id, std::string_view password, std::string_view again);
enum class AddResult { kAdded, kDuplicateId, kDuplicatePassword, kRefused };
// Writes ID and password into `slot` after the case-insensitive uniqueness
// checks against every other slot.
AddResult AddAccount(Image image, int slot, std::string_view id, std::string_view password);

// NTP zone list position <-> stored zone code (newer databases put code 24
// at position 11).
bool NewerDatabase(uint8_t major, uint8_t minor);
uint8_t ZoneForPosition(int position, bool newer);
int PositionForZone(uint8_t code, bool newer);
// Seconds added to GMT; nullopt for code 0 (nothing shown).
std::optional<int> ZoneOffsetSeconds(uint8_t code);
// An RFC 868 answer (already in host order) as seconds since 1970.
uint32_t Rfc868ToUnix(uint32_t value);

// DST: days of a month (February counts 29).
int DaysInMonth(int month0);
// Month, week or weekday changed: the day index is limited to the month.
void ClampDstDay(Image image, size_t group);
// The leave-time question is due: daylight saving on and the end moment of
// now's year lies at or after now by no more than the window.
bool DstQuestionDue(ConstImage image, int64_t now);
// Applies daylight saving for the NTP page's informational clock: one hour
// added between the start and end moments of t's year.
int64_t ApplyDst(ConstImage image, int64_t t);

}  // namespace orva::view::setup
