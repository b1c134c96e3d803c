// The field table itself, as a compile-time array, so that the editing rules
// can take their offsets from it as constants (setup_rules.h's `at`).
// Everything else reads it through setup_fields.h.
#pragma once

#include <array>
#include <cstddef>

#include "orva/setup/setup_fields.h"

namespace orva::field_table {

using K = FieldKind;
using I = SetupFieldId;

constexpr SetupField F(I id, const char* key, uint16_t offset, uint16_t width, uint16_t count, K kind,
                       const char* page) {
  return {id, key, offset, width, count, width, kind, 0, 1, false, page};
}
constexpr SetupField RO(I id, const char* key, uint16_t offset, uint16_t width, K kind) {
  return {id, key, offset, width, 1, width, kind, 0, 1, true, "read only"};
}
// Rows of `inner` entries (two indexes).
constexpr SetupField Grid(I id, const char* key, uint16_t offset, uint16_t width, uint16_t rows, uint16_t inner,
                          uint8_t innerBase, K kind, const char* page) {
  return {id, key, offset, width, static_cast<uint16_t>(rows * inner), width, kind, inner, innerBase, false, page};
}
constexpr SetupField Ch(I id, const char* key, uint16_t offset, K kind, const char* page) {
  return F(id, key, offset, 1, 16, kind, page);
}
constexpr SetupField One(I id, const char* key, uint16_t offset, K kind, const char* page) {
  return F(id, key, offset, 1, 1, kind, page);
}
// A user-table row: one byte per slot.
constexpr SetupField Slot(I id, const char* key, uint16_t offset, K kind) {
  return F(id, key, offset, 1, 8, kind, "user accounts");  // rights as on/off, levels as numbers
}

inline constexpr const char* kDst = "DST";
inline constexpr const char* kRecBasics = "recording basics";
inline constexpr const char* kSysBasics = "system basics";

// clang-format off
inline constexpr std::array kFields = {
  RO(I::kMajorVersion, "major_version", 0x0000, 1, K::kNumber),
  RO(I::kMinorVersion, "minor_version", 0x0001, 1, K::kNumber),
  One(I::kVideoStandard, "video_standard", 0x0002, K::kVideoStandard, kSysBasics),
  One(I::kSystemNumber, "system_number", 0x0003, K::kNumber, kSysBasics),
  RO(I::kRecorderClock, "recorder_clock", 0x0004, 4, K::kClock),
  Ch(I::kHue, "hue", 0x0008, K::kNumber, "camera image"),
  Ch(I::kSaturation, "saturation", 0x0018, K::kNumber, "camera image"),
  Ch(I::kContrast, "contrast", 0x0028, K::kNumber, "camera image"),
  Ch(I::kBrightness, "brightness", 0x0038, K::kNumber, "camera image"),
  Ch(I::kCovert, "covert", 0x0048, K::kSwitch, "covert"),
  F(I::kCameraName, "camera_name", 0x0058, 32, 16, K::kText, "camera names"),
  One(I::kSpotSequenceMode, "spot_sequence_mode", 0x0258, K::kNumber, "spot"),
  Ch(I::kSpotDwellTime, "spot_dwell_time", 0x025C, K::kNumber, "spot"),
  Ch(I::kSpotSequenceMembership, "spot_sequence_membership", 0x026C, K::kSwitch, "spot"),
  One(I::kDisplayChoice1, "display_choice_1", 0x027C, K::kNumber, "display"),
  One(I::kDisplaySwitch1, "display_switch_1", 0x027D, K::kSwitch, "display"),
  One(I::kDisplaySwitch2, "display_switch_2", 0x027E, K::kSwitch, "display"),
  One(I::kDisplayChoice2, "display_choice_2", 0x027F, K::kNumber, "display"),
  One(I::kRecordingResolutionClass, "recording_resolution_class", 0x0284, K::kNumber, kRecBasics),
  One(I::kRecordingSwitch1, "recording_switch_1", 0x0285, K::kSwitch, kRecBasics),
  One(I::kRecordingSwitch2, "recording_switch_2", 0x0286, K::kSwitch, kRecBasics),
  One(I::kTopFrameRate, "top_frame_rate", 0x0287, K::kNumber, kRecBasics),
  F(I::kRecordingValueA, "recording_value_a", 0x0288, 2, 1, K::kNumber, kRecBasics),
  F(I::kRecordingValueB, "recording_value_b", 0x028A, 2, 1, K::kNumber, kRecBasics),
  One(I::kRecordingChoice, "recording_choice", 0x028C, K::kNumber, kRecBasics),
  Ch(I::kRecordMode1Rate, "record_mode_1_rate", 0x0290, K::kNumber, "record mode 1"),
  Ch(I::kRecordMode1Enable, "record_mode_1_enable", 0x02A0, K::kSwitch, "record mode 1"),
  Ch(I::kRecordMode2Rate, "record_mode_2_rate", 0x02B0, K::kNumber, "record mode 2"),
  Ch(I::kRecordMode2Enable, "record_mode_2_enable", 0x02C0, K::kSwitch, "record mode 2"),
  Ch(I::kMotionRecordRate, "motion_record_rate", 0x02D0, K::kNumber, "motion recording"),
  Ch(I::kMotionRecordEnable, "motion_record_enable", 0x02E0, K::kSwitch, "motion recording"),
  Ch(I::kMotionSensitivity, "motion_sensitivity", 0x02F0, K::kNumber, "motion recording"),
  // Per channel 9 rows of 11 cells; key motion_area.CHANNEL.ROW.
  Grid(I::kMotionArea, "motion_area", 0x0300, 11, 16, 9, 1, K::kCells, "motion area"),
  Ch(I::kRecordMode4Rate, "record_mode_4_rate", 0x0930, K::kNumber, "record mode 4"),
  Ch(I::kRecordMode4Enable, "record_mode_4_enable", 0x0940, K::kSwitch, "record mode 4"),
  Grid(I::kRecordingSchedule, "recording_schedule", 0x0950, 1, 7, 24, 0, K::kSwitch, "schedule"),
  Ch(I::kRecordMode5Rate, "record_mode_5_rate", 0x09F8, K::kNumber, "record mode 5"),
  Ch(I::kRecordMode5Enable, "record_mode_5_enable", 0x0A08, K::kSwitch, "record mode 5"),
  Ch(I::kRecordMode5Sensitivity, "record_mode_5_sensitivity", 0x0A18, K::kNumber, "record mode 5"),
  Ch(I::kRecordMode6FlagsA, "record_mode_6_flags_a", 0x0A38, K::kSwitch, "record mode 6"),
  Ch(I::kRecordMode6FlagsB, "record_mode_6_flags_b", 0x0A48, K::kSwitch, "record mode 6"),
  One(I::kRecordMode6Value, "record_mode_6_value", 0x0A58, K::kNumber, "record mode 6"),
  F(I::kPriorityList, "priority_list", 0x0A5C, 1, 5, K::kNumber, "priority"),
  One(I::kLanguage, "language", 0x0A64, K::kNumber, kSysBasics),
  One(I::kDateFormat, "date_format", 0x0A65, K::kNumber, kSysBasics),
  RO(I::kSystemStatusChoice, "system_status_choice", 0x0A6C, 1, K::kNumber),
  Ch(I::kSensorMode, "sensor_mode", 0x0C10, K::kNumber, "sensor"),
  One(I::kAutoDelete, "auto_delete", 0x0C20, K::kNumber, "auto delete"),
  Ch(I::kPtzAddress, "ptz_address", 0x0C24, K::kNumber, "PTZ setup"),
  Ch(I::kPtzProtocol, "ptz_protocol", 0x0C34, K::kNumber, "PTZ setup"),
  Ch(I::kPtzBaudRate, "ptz_baud_rate", 0x0C44, K::kNumber, "PTZ setup"),
  Ch(I::kControllerAddress, "controller_address", 0x0C54, K::kNumber, "PTZ controller"),
  Ch(I::kControllerProtocol, "controller_protocol", 0x0C64, K::kNumber, "PTZ controller"),
  Ch(I::kControllerBaudRate, "controller_baud_rate", 0x0C74, K::kNumber, "PTZ controller"),
  One(I::kDaylightSaving, "daylight_saving", 0x0C84, K::kSwitch, kDst),
  One(I::kDaylightSavingState, "daylight_saving_state", 0x0C85, K::kNumber, kDst),
  One(I::kDstStartMonth, "dst_start_month", 0x0C86, K::kNumber, kDst),
  One(I::kDstStartWeek, "dst_start_week", 0x0C87, K::kNumber, kDst),
  One(I::kDstStartWeekday, "dst_start_weekday", 0x0C88, K::kNumber, kDst),
  One(I::kDstStartDay, "dst_start_day", 0x0C89, K::kNumber, kDst),
  One(I::kDstStartHour, "dst_start_hour", 0x0C8A, K::kNumber, kDst),
  One(I::kDstStartMinute, "dst_start_minute", 0x0C8B, K::kNumber, kDst),
  One(I::kDstEndMonth, "dst_end_month", 0x0C8C, K::kNumber, kDst),
  One(I::kDstEndWeek, "dst_end_week", 0x0C8D, K::kNumber, kDst),
  One(I::kDstEndWeekday, "dst_end_weekday", 0x0C8E, K::kNumber, kDst),
  One(I::kDstEndDay, "dst_end_day", 0x0C8F, K::kNumber, kDst),
  One(I::kDstEndHour, "dst_end_hour", 0x0C90, K::kNumber, kDst),
  One(I::kDstEndMinute, "dst_end_minute", 0x0C91, K::kNumber, kDst),
  One(I::kDstWindowHours, "dst_window_hours", 0x0C92, K::kNumber, kDst),
  One(I::kDstWindowMinutes, "dst_window_minutes", 0x0C93, K::kNumber, kDst),
  One(I::kDstEndAnswer, "dst_end_answer", 0x0C94, K::kNumber, kDst),
  F(I::kEmailText1, "email_text_1", 0x0DB8, 128, 1, K::kText, "e-mail"),
  F(I::kEmailText2, "email_text_2", 0x0E38, 128, 1, K::kText, "e-mail"),
  F(I::kEmailText3, "email_text_3", 0x0EB8, 128, 1, K::kText, "e-mail"),
  F(I::kEmailText4, "email_text_4", 0x0F38, 128, 1, K::kText, "e-mail"),
  One(I::kEmailChoice, "email_choice", 0x0FB8, K::kNumber, "e-mail"),
  F(I::kEventActionsGroup1, "event_actions_group_1", 0x0FBC, 1, 4, K::kYesNo, "event group 1"),
  F(I::kEventActionsGroup2, "event_actions_group_2", 0x0FC0, 1, 4, K::kYesNo, "event group 2"),
  F(I::kEventActionsGroup3, "event_actions_group_3", 0x0FC4, 1, 4, K::kYesNo, "event group 3"),
  Ch(I::kRecordMode1Resolution, "record_mode_1_resolution", 0x0FCC, K::kResolution, "record mode 1"),
  Ch(I::kRecordMode2Resolution, "record_mode_2_resolution", 0x0FDC, K::kResolution, "record mode 2"),
  Ch(I::kMotionRecordResolution, "motion_record_resolution", 0x0FEC, K::kResolution, "motion recording"),
  Ch(I::kRecordMode4Resolution, "record_mode_4_resolution", 0x0FFC, K::kResolution, "record mode 4"),
  Ch(I::kRecordMode5Resolution, "record_mode_5_resolution", 0x100C, K::kResolution, "record mode 5"),
  Ch(I::kRecordMode6Resolution, "record_mode_6_resolution", 0x101C, K::kResolution, "record mode 6"),
  One(I::kTimeZone, "time_zone", 0x102C, K::kNumber, "NTP"),
  One(I::kNtp, "ntp", 0x102D, K::kNumber, "NTP"),
  One(I::kNtpServerKind, "ntp_server_kind", 0x1030, K::kNumber, "NTP"),
  RO(I::kBuiltinNtpServerName, "builtin_ntp_server_name", 0x1034, 32, K::kText),
  F(I::kNtpServerAddress, "ntp_server_address", 0x1054, 4, 1, K::kIpv4, "NTP"),
  F(I::kUserNtpServerName, "user_ntp_server_name", 0x1058, 32, 1, K::kText, "NTP"),
  F(I::kPanLowLimit, "pan_low_limit", 0x10E0, 2, 16, K::kNumber, "PTZ limits"),
  F(I::kPanHighLimit, "pan_high_limit", 0x1100, 2, 16, K::kNumber, "PTZ limits"),
  F(I::kTiltLowLimit, "tilt_low_limit", 0x1120, 2, 16, K::kNumber, "PTZ limits"),
  F(I::kTiltHighLimit, "tilt_high_limit", 0x1140, 2, 16, K::kNumber, "PTZ limits"),
  F(I::kRecordingChoice2, "recording_choice_2", 0x1168, 4, 1, K::kNumber, kRecBasics),
  F(I::kEventGroup2Value, "event_group_2_value", 0x116C, 4, 1, K::kSigned, "event group 2"),
  F(I::kEventGroup3Value, "event_group_3_value", 0x1170, 4, 1, K::kSigned, "event group 3"),
  Ch(I::kDeinterlace, "deinterlace", 0x11E8, K::kSwitch, "deinterlace"),
  Slot(I::kStopRecordingRight, "stop_recording_right", 0x15F8, K::kSwitch),
  Slot(I::kSetupRight, "setup_right", 0x1600, K::kSwitch),
  Slot(I::kPlaybackRight, "playback_right", 0x1608, K::kSwitch),
  Slot(I::kBackupRight, "backup_right", 0x1610, K::kSwitch),
  Slot(I::kPtzRight, "ptz_right", 0x1618, K::kSwitch),
  Slot(I::kCovertRight, "covert_right", 0x1620, K::kSwitch),
  Slot(I::kAccessRight, "access_right", 0x1628, K::kSwitch),
  Slot(I::kRebootRight, "reboot_right", 0x1630, K::kSwitch),
  Slot(I::kUserLevel, "user_level", 0x1638, K::kNumber),
  F(I::kUserId, "user_id", 0x1640, 32, 8, K::kText, "user accounts"),
  F(I::kUserPassword, "user_password", 0x1740, 32, 8, K::kPassword, "user accounts"),
  // Per entry four values; key channel_assignment.ENTRY.VALUE.
  Grid(I::kChannelAssignment, "channel_assignment", 0x1840, 1, 16, 4, 1, K::kNumber, "channel assignment"),
  // One value per entry, in the first byte of each group of four.
  SetupField{I::kChannelAssignmentFifth, "channel_assignment_fifth", 0x1880, 1, 16, 4, K::kNumber, 0, 1, false,
             "channel assignment"},
  One(I::kSmartSwitch1, "smart_switch_1", 0x1940, K::kSwitch, "smart"),
  One(I::kSmartInterval, "smart_interval", 0x1941, K::kNumber, "smart"),
  One(I::kSmartSwitch2, "smart_switch_2", 0x1942, K::kSwitch, "smart"),
  One(I::kEventActionsGroup1Fifth, "event_actions_group_1_fifth", 0x1943, K::kYesNo, "event group 1"),
  One(I::kEventActionsGroup2Fifth, "event_actions_group_2_fifth", 0x1944, K::kYesNo, "event group 2"),
  One(I::kEventActionsGroup3Fifth, "event_actions_group_3_fifth", 0x1945, K::kYesNo, "event group 3"),
  One(I::kDisplayChoice3, "display_choice_3", 0x19E4, K::kNumber, "display"),
  One(I::kDisplayChoice4, "display_choice_4", 0x19E5, K::kNumber, "display"),
  One(I::kDisplayChoice5, "display_choice_5", 0x19E6, K::kNumber, "display"),
  One(I::kSystemOption, "system_option", 0x19E8, K::kSwitch, kSysBasics),
};
// clang-format on

static_assert(kFields.size() == static_cast<size_t>(SetupFieldId::kCount));

constexpr bool IdsInOrder() {
  for (size_t i = 0; i < kFields.size(); ++i)
    if (static_cast<size_t>(kFields[i].id) != i) return false;
  return true;
}
static_assert(IdsInOrder(), "each row must sit at the position of its id");

constexpr const SetupField& At(SetupFieldId id) { return kFields[static_cast<size_t>(id)]; }
constexpr size_t OffsetOf(SetupFieldId id) { return At(id).offset; }
constexpr size_t WidthOf(SetupFieldId id) { return At(id).width; }

}  // namespace orva::field_table
