// Values of the log and status options.
#include "option_values.h"

namespace orva::sim::detail {

bool ApplyInfoOption(const std::string& name, const std::string& value, SimConfig& config,
                     bool& ok, std::string& error) {
  SimInfoConfig& info = config.info;
  if (name == "log-record-bytes") {
    ok = ParseIn(value, 32, 4096, info.logRecordBytes, error);
  } else if (name == "log-events") {
    ok = ParseIn(value, 0, 2000, info.logEvents, error);
  } else if (name == "log-nack") {
    ok = ParseIn(value, INT32_MIN, INT32_MAX, info.logNack, error);
  } else if (name == "disk-total-mb") {
    ok = ParseIn(value, 1, UINT32_MAX, info.diskTotalMb, error);
  } else if (name == "disk-day-mb") {
    ok = ParseIn(value, 0, UINT32_MAX, info.diskDayMb, error);
  } else if (name == "status-devices") {
    ok = ParseIn(value, 0, 4, info.statusDevices, error);
  } else if (name == "status-nack") {
    ok = ParseIn(value, INT32_MIN, INT32_MAX, info.statusNack, error);
  } else if (name == "fw-update-nack") {
    ok = ParseIn(value, INT32_MIN, INT32_MAX, info.fwUpdateNack, error);
  } else if (name == "fw-rx-fail") {
    ok = ParseIn(value, INT32_MIN, INT32_MAX, info.fwRxFail, error);
  } else if (name == "fw-update-fail") {
    ok = ParseIn(value, INT32_MIN, INT32_MAX, info.fwUpdateFail, error);
  } else if (name == "write-firmware") {
    info.writeFirmware = value;
    if (value.empty()) {
      ok = false;
      error = "--write-firmware needs a folder";
    }
  } else {
    return false;
  }
  return true;
}

}  // namespace orva::sim::detail
