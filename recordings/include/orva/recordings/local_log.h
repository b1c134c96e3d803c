// The client's own event log: a fixed ring of 2500 records in
// <Location>/Log/ORVA7000.log, little-endian (unlike the download files).
//
// File layout:
//   0   u32  wrapped flag (0 until the ring has filled once, then 1)
//   4   u32  next slot to write (0-2499)
//   8 + 184*n  record slot n
// Record layout (184 bytes):
//   0 u32 slot, 4 u32 size (184), 8 u32 main type, 12 u32 sub type,
//   16 u32 time, 20 8 zero bytes, 28 host (128 bytes), 156 user (28 bytes).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "orva/link/logon_journal.h"

namespace orva {

inline constexpr uint32_t kLocalLogSlots = 2500, kLocalLogRecordSize = 184;
inline constexpr uint32_t kLocalLogHeaderSize = 8;
inline constexpr uint32_t kLocalLogHostBytes = 128, kLocalLogUserBytes = 28;
// The viewer never reads more than this much of the file.
inline constexpr uint32_t kLocalLogMaxLoadBytes = 2u * 1024u * 1024u;
// Largest record size a file may declare and still be loaded (the slots of a
// bigger record would hold only a handful of entries within the 2 MiB).
inline constexpr uint32_t kLocalLogMaxRecordSize = 4096;

enum class LogMain : uint32_t { kProgram = 1, kLogon = 2, kLocalPlayback = 4, kSetupImage = 8 };

struct LocalLogRecord {
  uint32_t slot, size, mainType, subType;
  int64_t time;  // the stored u32 read as signed 32-bit
  std::string host, user;
};

// The record time value: the current wall clock of this computer encoded as if
// it were UTC (time(nullptr) plus the local zone's UTC offset, DST included).
int64_t LocalClockValue();

class LocalLog : public LogonJournal {
 public:
  using Clock = std::function<int64_t()>;

  // base = the client's base folder `Location`; the file is
  // base/"Log"/"ORVA7000.log" (folder created when missing).
  explicit LocalLog(std::filesystem::path base, Clock clock = LocalClockValue);

  std::filesystem::path FilePath() const;

  // Removable mode turns appending off.
  void SetAppendEnabled(bool enabled);

  // Writes one record. False with a reason when nothing was written (appending
  // disabled, folder or file unusable, short write). Never throws.
  bool Append(uint32_t mainType, uint32_t subType, const std::string& user, const std::string& host,
              std::string* error = nullptr);

  // Append(2, kind, ...); failures are dropped, the connection must not stall
  // on its journal.
  void WriteLogon(LogonKind kind, const std::string& user, const std::string& host) override;

  // Oldest first. Missing file -> true with an empty list. A file shorter than
  // header plus one record -> true with an empty list. Unusable record size or
  // unreadable file -> false with an error text and an empty list.
  bool Load(std::vector<LocalLogRecord>& oldestFirst, std::string& error) const;

 private:
  std::filesystem::path base_;
  Clock clock_;
  mutable std::mutex mutex_;
  bool appendEnabled_ = true;
};

// Viewer helpers.
// Time text of a record for date format 0 (year first), 1 (month first) or
// 2 (day first); a negative value shows as 0 (1970-01-01 00:00:00).
std::string LocalLogTimeText(int64_t time, int dateFormat);
// Bit index (0-3) of the lowest main-type bit, or -1 when none is set.
int LocalLogMainIndex(uint32_t mainType);
// Bit index of the lowest sub-type bit that the main type knows, or -1 (then
// the viewer shows no sub-type text and traces "index_sub ...None...").
int LocalLogSubIndex(uint32_t mainType, uint32_t subType);

}  // namespace orva
