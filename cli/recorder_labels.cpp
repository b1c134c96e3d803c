#include "recorder_labels.h"

#include <array>
#include <bit>

namespace orva::cli {
namespace {

constexpr std::array<const char*, 5> kTypes = {"Power", "Record", "Operation", "Client", "Event"};
constexpr std::array<int, 5> kKindBits = {3, 5, 10, 8, 5};  // kind bits used per type

constexpr std::array<const char*, 3> kPowerKinds = {"Power on", "Power off", "Power failure"};
constexpr std::array<const char*, 5> kRecordKinds = {"Recording started", "Recording stopped", "Disk full",
                                                     "Disk overwrite", "Disk error"};
// Kind 9 is reported as 5 and shares its label.
constexpr std::array<const char*, 9> kOperationKinds = {
    "Remote reboot", "Remote power off", "Setup changed", "Time changed",  "Firmware upgrade",
    "Backup",        "Playback",         "Recording stop", "Factory reset"};
constexpr std::array<const char*, 8> kClientKinds = {"Remote login",    "Remote logout",   "Remote login refused",
                                                     "Remote setup",    "Remote playback", "Remote backup",
                                                     "Remote live view", "Remote upgrade"};
constexpr std::array<const char*, 5> kEventKinds = {"Video loss", "Motion", "Sensor alarm", "Panic", "Text input"};

constexpr std::array<const char*, 6> kRecordingStates = {"idle",  "continuous", "schedule",
                                                         "motion", "alarm",     "manual"};
constexpr std::array<const char*, 3> kDeviceStates = {"ready", "busy", "fault"};

template <size_t N>
const char* Pick(const std::array<const char*, N>& table, int index) {
  return index >= 0 && static_cast<size_t>(index) < N ? table[static_cast<size_t>(index)] : "";
}

}  // namespace

const char* LogTypeLabel(int type) { return Pick(kTypes, type); }

const char* LogKindLabel(int type, int kind) {
  switch (type) {
    case kLogPower: return Pick(kPowerKinds, kind);
    case kLogRecord: return Pick(kRecordKinds, kind);
    case kLogOperation: return Pick(kOperationKinds, kind == 9 ? 5 : kind);
    case kLogClient: return Pick(kClientKinds, kind);
    case kLogEvent: return Pick(kEventKinds, kind);
    default: return "";
  }
}

int LogKindBit(const LogRecord& record) {
  const int type = LogTypeOf(record);
  if (type < 0 || LogKindOf(record) < 0) return -1;
  const uint32_t used = record.kindMask & ((1u << kKindBits[static_cast<size_t>(type)]) - 1u);
  return used == 0 ? -1 : std::countr_zero(used);
}

const char* RecordingStateLabel(uint32_t state) {
  return state < kRecordingStates.size() ? kRecordingStates[state] : "unknown";
}

const char* DeviceStateLabel(uint32_t state) { return state < kDeviceStates.size() ? kDeviceStates[state] : "unknown"; }

}  // namespace orva::cli
