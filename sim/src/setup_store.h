// The recorder's setup database, shared by the sessions of one simulator:
// served to DB_INFO_REQ, replaced by DB_UPDATE_REQ, restored by DB_INIT_REQ.
// The users, camera names, covert channels and video standard the recorder
// works with are read from it, so a change takes effect at once. With a
// setup file, every change is written to it and the next run starts from it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "orva/sim/config.h"

namespace orva::sim::detail {

// What a replacement changed that the recorder acts on.
struct SetupChanges {
  bool names = false;     // camera names or covert flags: DB_CHANGE
  bool users = false;     // the user table: RIGHT_CHANGE
  bool standard = false;  // NTSC / PAL: live pictures change size
  bool any = false;       // any byte at all
  std::string Describe() const;  // "camera names, users" for the log
};

class SetupStore {
 public:
  explicit SetupStore(const SimConfig& config);

  // Reads the setup file when the configuration names one and it exists; a
  // file of the wrong size is an error and changes nothing.
  bool Load(std::string& error);

  // The record as sent: its clock field set to `clock`.
  std::vector<uint8_t> Snapshot(uint32_t clock) const;
  // Replaces the record (kSetupBytes bytes) / restores the factory record.
  SetupChanges Replace(const uint8_t* image);
  SetupChanges Reset();

  // Users of the stored user table, one per slot (8); an empty ID is a free slot.
  std::vector<SimUser> Users() const;
  std::vector<uint8_t> RightsTable() const;  // the 584 stored bytes
  // DB_CHANGE or DB_CHANGE_UNICODE from the stored names and covert bytes.
  std::vector<uint8_t> NameNotice(bool unicode) const;
  // True while the stored standard is PAL (read by the streaming threads).
  const std::atomic<bool>& Pal() const { return pal_; }
  // Non-empty when the last write to the setup file failed.
  std::string FileError() const;

 private:
  SetupChanges ReplaceLocked(const std::vector<uint8_t>& image);
  void SaveLocked();

  const SimConfig& config_;
  const std::vector<uint8_t> factory_;
  // Names as configured, in full: the narrow name field holds at most 31
  // bytes, so the Unicode notice takes these while the field is unchanged.
  std::array<std::u16string, 16> configuredNames_;
  mutable std::mutex mutex_;
  std::vector<uint8_t> image_;
  std::string fileError_;
  std::atomic<bool> pal_{false};
};

}  // namespace orva::sim::detail
