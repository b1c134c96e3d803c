// The one table of the setup database's fields: where each lies, how wide it
// is, how many entries it has, how it is shown, its key and the page that
// edits it. Typed access, `orvactl setup show`, the diff of two records and
// the tests are all driven from this table; nothing is written per field.
//
// Keys are stable (docs/SETUP.md lists them): the field's snake_case name,
// then one `.N` per index, counted from 1 (channels, slots, ranks, days,
// rows, entries). The one exception is the hour of the recording schedule,
// which is the clock hour 0-23: `recording_schedule.DAY.HOUR`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orva {

// How an entry is stored and shown.
enum class FieldKind : uint8_t {
  kNumber,         // unsigned, 1/2/4 bytes, "%u"
  kSigned,         // signed 32-bit, "%d"
  kSwitch,         // 1 "on", 0 "off" (other values as numbers)
  kYesNo,          // 1 "yes", 0 "no" (other values as numbers)
  kVideoStandard,  // 0 "NTSC", 1 "PAL"
  kResolution,     // 0 "4CIF", 1 "2CIF", 2 "CIF"
  kText,           // zero-terminated text in the recorder's code page (UTF-8 here), width-1 bytes max
  kPassword,       // like kText, shown masked
  kIpv4,           // 4 bytes, most significant first, "a.b.c.d"
  kClock,          // 32-bit recorder time, shown "YYYY-MM-DD HH:MM:SS"
  kCells,          // a row of 0/1 bytes, shown as one digit per byte
};

// One row per field; the order of SetupFieldId and of the table is the
// order of the offsets.
enum class SetupFieldId : uint16_t {
  kMajorVersion, kMinorVersion, kVideoStandard, kSystemNumber, kRecorderClock,
  kHue, kSaturation, kContrast, kBrightness, kCovert, kCameraName,
  kSpotSequenceMode, kSpotDwellTime, kSpotSequenceMembership,
  kDisplayChoice1, kDisplaySwitch1, kDisplaySwitch2, kDisplayChoice2,
  kRecordingResolutionClass, kRecordingSwitch1, kRecordingSwitch2, kTopFrameRate,
  kRecordingValueA, kRecordingValueB, kRecordingChoice,
  kRecordMode1Rate, kRecordMode1Enable, kRecordMode2Rate, kRecordMode2Enable,
  kMotionRecordRate, kMotionRecordEnable, kMotionSensitivity, kMotionArea,
  kRecordMode4Rate, kRecordMode4Enable, kRecordingSchedule,
  kRecordMode5Rate, kRecordMode5Enable, kRecordMode5Sensitivity,
  kRecordMode6FlagsA, kRecordMode6FlagsB, kRecordMode6Value,
  kPriorityList, kLanguage, kDateFormat, kSystemStatusChoice,
  kSensorMode, kAutoDelete, kPtzAddress, kPtzProtocol, kPtzBaudRate,
  kControllerAddress, kControllerProtocol, kControllerBaudRate,
  kDaylightSaving, kDaylightSavingState,
  kDstStartMonth, kDstStartWeek, kDstStartWeekday, kDstStartDay, kDstStartHour, kDstStartMinute,
  kDstEndMonth, kDstEndWeek, kDstEndWeekday, kDstEndDay, kDstEndHour, kDstEndMinute,
  kDstWindowHours, kDstWindowMinutes, kDstEndAnswer,
  kEmailText1, kEmailText2, kEmailText3, kEmailText4, kEmailChoice,
  kEventActionsGroup1, kEventActionsGroup2, kEventActionsGroup3,
  kRecordMode1Resolution, kRecordMode2Resolution, kMotionRecordResolution,
  kRecordMode4Resolution, kRecordMode5Resolution, kRecordMode6Resolution,
  kTimeZone, kNtp, kNtpServerKind, kBuiltinNtpServerName, kNtpServerAddress, kUserNtpServerName,
  kPanLowLimit, kPanHighLimit, kTiltLowLimit, kTiltHighLimit,
  kRecordingChoice2, kEventGroup2Value, kEventGroup3Value, kDeinterlace,
  kStopRecordingRight, kSetupRight, kPlaybackRight, kBackupRight, kPtzRight, kCovertRight,
  kAccessRight, kRebootRight, kUserLevel, kUserId, kUserPassword,
  kChannelAssignment, kChannelAssignmentFifth,
  kSmartSwitch1, kSmartInterval, kSmartSwitch2,
  kEventActionsGroup1Fifth, kEventActionsGroup2Fifth, kEventActionsGroup3Fifth,
  kDisplayChoice3, kDisplayChoice4, kDisplayChoice5, kSystemOption,
  kCount
};

struct SetupField {
  SetupFieldId id;
  const char* key;     // base key, e.g. "camera_name"
  uint16_t offset;     // of entry 0
  uint16_t width;      // bytes of one entry (1, 2, 4, or the text / row width)
  uint16_t count;      // entries
  uint16_t stride;     // bytes from one entry to the next (usually = width)
  FieldKind kind;
  uint16_t inner;      // 0: one index; else entries form rows of `inner` (two indexes)
  uint8_t innerBase;   // first value of the second index (1, or 0 for clock hours)
  bool readOnly;       // shown, never edited by a page
  const char* page;    // the page that edits it ("read only" for readOnly fields)

  // Bytes from the first entry's start to the end of the last entry.
  size_t Span() const { return static_cast<size_t>(stride) * (count - 1u) + width; }
};

// Every field, in offset order; SetupFields()[i].id == SetupFieldId(i).
std::span<const SetupField> SetupFields();
const SetupField& FieldOf(SetupFieldId id);
// By base key ("hue"); nullptr when there is no such field.
const SetupField* FindSetupField(std::string_view baseKey);

// A parsed key: the field and the 0-based entry.
struct SetupKey {
  const SetupField* field = nullptr;
  int entry = 0;
};
// "camera_name.3" -> camera_name, entry 2; "recording_schedule.2.13" -> entry
// 24 + 13. Fails on an unknown field, a missing or extra index, or an index
// out of range.
std::optional<SetupKey> ParseSetupKey(std::string_view key);
// The stable key of one entry (the inverse of ParseSetupKey).
std::string SetupKeyName(const SetupField& field, int entry);

// The complete list of multi-byte numbers that change byte order between the
// wire (big-endian) and the pages (host order). Nothing else is converted.
struct MultiByteRun {
  uint16_t offset;
  uint8_t width;   // 2 or 4
  uint16_t count;  // consecutive values
};
std::span<const MultiByteRun> SetupMultiByteRuns();

}  // namespace orva
