// The recorder's own log: what happened to the simulated recorder (power,
// recording on/off, remote operations, client logins), kept for as long as
// the simulator runs and shared by its sessions. The LOG_INFO_ACK block adds
// the latest event stretches of the archive as event records.
//
// Log types (type-mask bits) and the kind bits this recorder writes:
//   power     (bit 0): kind 0 power on, 1 power off (detail: the cause)
//   record    (bit 1): kind 0 recording started, 1 recording stopped (detail: user)
//   operation (bit 2): kind 0 remote reboot, 1 remote power-off (detail: user);
//                      kind 0 also a setup change and kind 4 a factory reset
//                      (detail: user and what changed)
//   client    (bit 3): kind 0 login, 1 logout, 2 login refused (detail: user and
//                      peer address)
//   event     (bit 4): the archive's event kind as the kind mask (1, 2 motion,
//                      4 alarm), with the event's channel mask
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "archive.h"

namespace orva::sim::detail {

namespace logtype {
inline constexpr uint32_t kPower = 0x01, kRecord = 0x02, kOperation = 0x04, kClient = 0x08,
                          kEvent = 0x10;
}  // namespace logtype

namespace logkind {
// Bits as the recorder's log uses them: power started / failure / shut down;
// operation setup changed, firmware upgraded, factory reset.
inline constexpr uint32_t kPowerOn = 0x01, kPowerFailure = 0x02, kPowerOff = 0x04;
inline constexpr uint32_t kRecordStart = 0x01, kRecordStop = 0x02;
inline constexpr uint32_t kSetupChange = 0x01, kFirmwareUpgraded = 0x08, kFactoryReset = 0x10;
inline constexpr uint32_t kLogin = 0x01, kLogout = 0x02, kLoginRefused = 0x04;
}  // namespace logkind

struct LogEntry {
  uint32_t type = 0, kind = 0, time = 0, channels = 0;
  std::string detail;
};

inline constexpr size_t kLogHeaderBytes = 24;  // the six words before the detail text

class RecorderLog {
 public:
  // Records kept besides the archive's events; the oldest go first.
  static constexpr size_t kMaxEntries = 2000;

  // Appends a record stamped with the recorder's clock now.
  void Add(uint32_t type, uint32_t kind, const std::string& detail, uint32_t channels = 0);
  std::vector<LogEntry> Entries() const;

  // The LOG_INFO_ACK block: the own records and the latest `events` event
  // stretches of the archive, oldest first (stable by time), numbered from 1,
  // each `recordBytes` long (at least 25) with the detail text cut to fit
  // and zero-terminated.
  std::vector<uint8_t> Block(const Archive& archive, size_t events, size_t recordBytes) const;

 private:
  mutable std::mutex mutex_;
  std::deque<LogEntry> entries_;
};

}  // namespace orva::sim::detail
