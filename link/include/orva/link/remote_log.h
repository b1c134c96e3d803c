// The recorder's log as it arrives: a block of equal-size records, kept in
// 200-byte slots (at most 2,500), with the rules by which a viewer labels
// them (log type and kind by their lowest set bits), fills the detail
// column, filters by type and pages a print-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orva {

inline constexpr size_t kLogSlotSize = 200;
inline constexpr size_t kLogMaxRecords = 2500;
inline constexpr size_t kLogHeaderSize = 24;  // the six words before the detail text
inline constexpr int kLogRowsPerPage = 33;

enum LogType : int { kLogPower = 0, kLogRecord = 1, kLogOperation = 2, kLogClient = 3, kLogEvent = 4 };

struct LogRecord {
  uint32_t number = 0;
  uint32_t size = 0;
  uint32_t typeMask = 0;     // bit 0 power, 1 record, 2 operation, 3 client, 4 event
  uint32_t kindMask = 0;     // lowest set bit picks the kind within the type
  int32_t time = 0;          // wire seconds; negative shows as 0
  uint32_t channelMask = 0;  // event records: bit i = channel i + 1
  std::string detail;        // zero-terminated text of the slot
};

// The records of a log block: the record size is the first record's second
// word; whole records only; each cut to its 200-byte slot; at most 2,500.
// A record size of 0 (or under the 24-byte head) yields none.
std::vector<LogRecord> ParseLogBlock(std::span<const uint8_t> block);

// The log type by the lowest of bits 0-4, or -1 (traced).
int LogTypeOf(const LogRecord& record);
// The kind by the lowest of the type's kind bits (power 0-2, record 0-4,
// operation 0-9, client 0-7, event 0-4), or -1 (traced); for operation
// records kind 9 shares kind 5's label, so it is reported as 5.
int LogKindOf(const LogRecord& record);
// The English labels of the log types and kinds (by LogTypeOf and
// LogKindOf; "" for none). The desktop's resource texts translate these; the
// command-line tool prints them as they are, so both show the same list.
const char* LogTypeName(int type);
const char* LogKindName(int type, int kind);
// The detail column: the channel list for events ("%02d " each), the text
// for power kind 1 only, for operations except kinds 2 and 8, else the text.
std::string LogDetailText(const LogRecord& record);
// "%04d-%02d-%02d %02d:%02d:%02d" in the order of the date format.
std::string LogTimeText(int32_t time, int dateFormat);

// The combined viewer and the five per-type viewers.
enum class LogView { kAll, kEvent, kOperation, kPower, kRecord, kClient };
bool LogViewShows(LogView view, const LogRecord& record);
// "Remote Log All", "Remote Log Event", ...: the print document's name.
const char* LogViewDocumentName(LogView view);
// Indexes of the records the view lists, newest (last received) first.
std::vector<size_t> LogViewRows(const std::vector<LogRecord>& records, LogView view);
// Pages of a print-out of `rows` rows: 33 a page.
inline int LogPageCount(size_t rows) { return static_cast<int>((rows + kLogRowsPerPage - 1) / kLogRowsPerPage); }

}  // namespace orva
