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

#include "orva/setup/setup_database.h"
#include "orva/setup/setup_field_table.h"

namespace orva::setup {

using Image = std::span<uint8_t>;
using ConstImage = std::span<const uint8_t>;

inline constexpr size_t kImageSize = kSetupDatabaseSize;

// Offsets of the fields the pages edit, all taken from the field table so
// that the pages, `orvactl setup` and show/diff can never disagree.
namespace at {
using field_table::OffsetOf;
using field_table::WidthOf;
using I = SetupFieldId;
inline constexpr size_t kMajor = OffsetOf(I::kMajorVersion), kMinor = OffsetOf(I::kMinorVersion),
                        kVideoStandard = OffsetOf(I::kVideoStandard), kSystemNumber = OffsetOf(I::kSystemNumber);
inline constexpr size_t kClock = OffsetOf(I::kRecorderClock);
inline constexpr size_t kHue = OffsetOf(I::kHue), kSaturation = OffsetOf(I::kSaturation),
                        kContrast = OffsetOf(I::kContrast), kBrightness = OffsetOf(I::kBrightness);
inline constexpr size_t kCovert = OffsetOf(I::kCovert), kCameraNames = OffsetOf(I::kCameraName),
                        kCameraNameBytes = WidthOf(I::kCameraName);
inline constexpr size_t kSpotMode = OffsetOf(I::kSpotSequenceMode), kSpotDwell = OffsetOf(I::kSpotDwellTime),
                        kSpotMember = OffsetOf(I::kSpotSequenceMembership);
inline constexpr size_t kDisplayChoice1 = OffsetOf(I::kDisplayChoice1), kDisplaySwitch1 = OffsetOf(I::kDisplaySwitch1),
                        kDisplaySwitch2 = OffsetOf(I::kDisplaySwitch2), kDisplayChoice2 = OffsetOf(I::kDisplayChoice2),
                        kDisplayChoice3 = OffsetOf(I::kDisplayChoice3), kDisplayChoice4 = OffsetOf(I::kDisplayChoice4),
                        kDisplayChoice5 = OffsetOf(I::kDisplayChoice5);
inline constexpr size_t kResolutionClass = OffsetOf(I::kRecordingResolutionClass),
                        kRecSwitch1 = OffsetOf(I::kRecordingSwitch1), kRecSwitch2 = OffsetOf(I::kRecordingSwitch2),
                        kTopRate = OffsetOf(I::kTopFrameRate), kValueA = OffsetOf(I::kRecordingValueA),
                        kValueB = OffsetOf(I::kRecordingValueB), kRecChoice = OffsetOf(I::kRecordingChoice),
                        kRecChoice2 = OffsetOf(I::kRecordingChoice2);
inline constexpr size_t kMode1Rate = OffsetOf(I::kRecordMode1Rate), kMode1Enable = OffsetOf(I::kRecordMode1Enable),
                        kMode2Rate = OffsetOf(I::kRecordMode2Rate), kMode2Enable = OffsetOf(I::kRecordMode2Enable),
                        kMotionRate = OffsetOf(I::kMotionRecordRate), kMotionEnable = OffsetOf(I::kMotionRecordEnable),
                        kMotionSensitivity = OffsetOf(I::kMotionSensitivity), kMotionAreas = OffsetOf(I::kMotionArea),
                        kMode4Rate = OffsetOf(I::kRecordMode4Rate), kMode4Enable = OffsetOf(I::kRecordMode4Enable),
                        kSchedule = OffsetOf(I::kRecordingSchedule), kMode5Rate = OffsetOf(I::kRecordMode5Rate),
                        kMode5Enable = OffsetOf(I::kRecordMode5Enable),
                        kMode5Sensitivity = OffsetOf(I::kRecordMode5Sensitivity),
                        kMode6FlagsA = OffsetOf(I::kRecordMode6FlagsA), kMode6FlagsB = OffsetOf(I::kRecordMode6FlagsB),
                        kMode6Value = OffsetOf(I::kRecordMode6Value);
inline constexpr size_t kPriority = OffsetOf(I::kPriorityList), kLanguage = OffsetOf(I::kLanguage),
                        kDateFormat = OffsetOf(I::kDateFormat), kStatusChoice = OffsetOf(I::kSystemStatusChoice);
inline constexpr size_t kSensor = OffsetOf(I::kSensorMode), kAutoDelete = OffsetOf(I::kAutoDelete);
inline constexpr size_t kPtzAddress = OffsetOf(I::kPtzAddress), kPtzProtocol = OffsetOf(I::kPtzProtocol),
                        kPtzBaud = OffsetOf(I::kPtzBaudRate);
inline constexpr size_t kCtrlAddress = OffsetOf(I::kControllerAddress), kCtrlProtocol = OffsetOf(I::kControllerProtocol),
                        kCtrlBaud = OffsetOf(I::kControllerBaudRate);
// kDstStart / kDstEnd: the six bytes month, week, weekday, day, hour, minute.
inline constexpr size_t kDst = OffsetOf(I::kDaylightSaving), kDstState = OffsetOf(I::kDaylightSavingState),
                        kDstStart = OffsetOf(I::kDstStartMonth), kDstEnd = OffsetOf(I::kDstEndMonth),
                        kDstWindowHours = OffsetOf(I::kDstWindowHours),
                        kDstWindowMinutes = OffsetOf(I::kDstWindowMinutes), kDstEndAnswer = OffsetOf(I::kDstEndAnswer);
inline constexpr size_t kMailText = OffsetOf(I::kEmailText1), kMailTextBytes = WidthOf(I::kEmailText1),
                        kMailChoice = OffsetOf(I::kEmailChoice), kMailPayloadBytes = kTestMailSize;
inline constexpr size_t kEventActions1 = OffsetOf(I::kEventActionsGroup1),
                        kEventActions2 = OffsetOf(I::kEventActionsGroup2),
                        kEventActions3 = OffsetOf(I::kEventActionsGroup3);
inline constexpr size_t kResolution1 = OffsetOf(I::kRecordMode1Resolution),
                        kResolution2 = OffsetOf(I::kRecordMode2Resolution),
                        kMotionResolution = OffsetOf(I::kMotionRecordResolution),
                        kResolution4 = OffsetOf(I::kRecordMode4Resolution),
                        kResolution5 = OffsetOf(I::kRecordMode5Resolution),
                        kResolution6 = OffsetOf(I::kRecordMode6Resolution);
inline constexpr size_t kTimeZone = OffsetOf(I::kTimeZone), kNtp = OffsetOf(I::kNtp),
                        kNtpKind = OffsetOf(I::kNtpServerKind), kNtpBuiltInName = OffsetOf(I::kBuiltinNtpServerName),
                        kNtpAddress = OffsetOf(I::kNtpServerAddress), kNtpUserName = OffsetOf(I::kUserNtpServerName),
                        kNtpNameBytes = WidthOf(I::kUserNtpServerName);
inline constexpr size_t kPanLow = OffsetOf(I::kPanLowLimit), kPanHigh = OffsetOf(I::kPanHighLimit),
                        kTiltLow = OffsetOf(I::kTiltLowLimit), kTiltHigh = OffsetOf(I::kTiltHighLimit);
inline constexpr size_t kEventValue2 = OffsetOf(I::kEventGroup2Value), kEventValue3 = OffsetOf(I::kEventGroup3Value);
inline constexpr size_t kDeinterlace = OffsetOf(I::kDeinterlace), kUserTable = OffsetOf(I::kStopRecordingRight);
inline constexpr size_t kAssign = OffsetOf(I::kChannelAssignment), kAssignFifth = OffsetOf(I::kChannelAssignmentFifth);
inline constexpr size_t kSmartSwitch1 = OffsetOf(I::kSmartSwitch1), kSmartInterval = OffsetOf(I::kSmartInterval),
                        kSmartSwitch2 = OffsetOf(I::kSmartSwitch2);
inline constexpr size_t kEventFifth1 = OffsetOf(I::kEventActionsGroup1Fifth),
                        kEventFifth2 = OffsetOf(I::kEventActionsGroup2Fifth),
                        kEventFifth3 = OffsetOf(I::kEventActionsGroup3Fifth);
inline constexpr size_t kSystemOption = OffsetOf(I::kSystemOption);
static_assert(kDstEnd == kDstStart + 6 && kDstWindowHours == kDstEnd + 6, "the DST groups are six bytes each");
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

}  // namespace orva::setup
