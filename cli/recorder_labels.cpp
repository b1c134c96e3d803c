#include "recorder_labels.h"

#include <array>
#include <bit>

namespace orva::cli {
namespace {

constexpr std::array<int, 5> kKindBits = {3, 5, 10, 8, 5};  // kind bits used per type

constexpr std::array<const char*, 6> kRecordingStates = {"idle",  "continuous", "schedule",
                                                         "motion", "alarm",     "manual"};
constexpr std::array<const char*, 3> kDeviceStates = {"ready", "busy", "fault"};

template <size_t N>
const char* Pick(const std::array<const char*, N>& table, int index) {
  return index >= 0 && static_cast<size_t>(index) < N ? table[static_cast<size_t>(index)] : "";
}

}  // namespace

const char* LogTypeLabel(int type) { return LogTypeName(type); }

const char* LogKindLabel(int type, int kind) { return LogKindName(type, kind); }

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
