#include "orva/link/remote_log.h"

#include <algorithm>
#include <cstdio>

#include "orva/link/time_convert.h"
#include "orva/link/trace.h"
#include "orva/link/wire.h"

namespace orva {

namespace {

constexpr int kKindBits[5] = {3, 5, 10, 8, 5};  // kind bits used per log type
constexpr const char* kTypeNames[5] = {"power", "record", "operation", "client", "event"};

constexpr const char* kTypeLabels[5] = {"Power", "Record", "Operation", "Client", "Event"};
constexpr const char* kPowerKinds[] = {"System started", "Power failure", "System shut down"};
constexpr const char* kRecordKinds[] = {"Recording started", "Recording stopped", "Disk full", "Overwriting started",
                                        "Disk error"};
// Kind 9 comes as 5 (LogKindOf) and shares its label.
constexpr const char* kOperationKinds[] = {"Setup changed", "Time changed", "Log cleared",    "Firmware upgraded",
                                           "Factory reset", "User logon",   "User logoff",    "Disk formatted",
                                           "Local playback"};
constexpr const char* kClientKinds[] = {"Client connected", "Client disconnected", "Logon refused", "Remote setup",
                                        "Remote playback",  "Backup",              "PTZ control",   "Firmware upload"};
constexpr const char* kEventKinds[] = {"Sensor", "Motion", "Video loss", "Video restored", "Alarm output"};

template <size_t N>
const char* Pick(const char* const (&table)[N], int index) {
  return index >= 0 && static_cast<size_t>(index) < N ? table[index] : "";
}

}  // namespace

const char* LogTypeName(int type) { return Pick(kTypeLabels, type); }

const char* LogKindName(int type, int kind) {
  switch (type) {
    case kLogPower: return Pick(kPowerKinds, kind);
    case kLogRecord: return Pick(kRecordKinds, kind);
    case kLogOperation: return Pick(kOperationKinds, kind);
    case kLogClient: return Pick(kClientKinds, kind);
    case kLogEvent: return Pick(kEventKinds, kind);
    default: return "";
  }
}

std::vector<LogRecord> ParseLogBlock(std::span<const uint8_t> block) {
  std::vector<LogRecord> out;
  if (block.size() < 8) return out;
  const uint32_t size = LoadBE32(block.data() + 4);
  if (size < kLogHeaderSize) return out;
  const size_t count = std::min<size_t>(block.size() / size, kLogMaxRecords);
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = block.data() + i * size;
    const size_t slot = std::min<size_t>(size, kLogSlotSize);
    LogRecord r;
    r.number = LoadBE32(p);
    r.size = LoadBE32(p + 4);
    r.typeMask = LoadBE32(p + 8);
    r.kindMask = LoadBE32(p + 12);
    r.time = static_cast<int32_t>(LoadBE32(p + 16));
    r.channelMask = LoadBE32(p + 20);
    // The text ends at its terminator or at the end of the slot, whichever comes first.
    const char* text = reinterpret_cast<const char*>(p + kLogHeaderSize);
    r.detail.assign(text, std::find(text, text + (slot - kLogHeaderSize), '\0'));
    out.push_back(std::move(r));
  }
  return out;
}

int LogTypeOf(const LogRecord& record) {
  for (int t = 0; t < 5; ++t)
    if (record.typeMask & (1u << t)) return t;
  Trace("Error...log...%d...index_main : %d\n", record.number, -1);
  return -1;
}

int LogKindOf(const LogRecord& record) {
  const int type = LogTypeOf(record);
  if (type < 0) return -1;
  for (int k = 0; k < kKindBits[type]; ++k)
    if (record.kindMask & (1u << k)) return type == kLogOperation && k == 9 ? 5 : k;
  if (type != kLogClient) Trace("index_sub %s...None...\n", kTypeNames[type]);
  return -1;
}

std::string LogDetailText(const LogRecord& record) {
  const int type = LogTypeOf(record);
  if (type < 0) return {};
  if (type == kLogEvent) {
    std::string channels;
    char text[8];
    for (int ch = 0; ch < 32; ++ch)
      if (record.channelMask & (1u << ch)) {
        std::snprintf(text, sizeof text, "%02d ", ch + 1);
        channels += text;
      }
    return channels;
  }
  const int kind = LogKindOf(record);
  if (type == kLogPower) return kind == 1 ? record.detail : std::string();
  if (type == kLogOperation && (kind == 2 || kind == 8)) return {};
  return record.detail;
}

std::string LogTimeText(int32_t time, int dateFormat) { return FormatRecorderTime(time < 0 ? 0 : time, dateFormat); }

bool LogViewShows(LogView view, const LogRecord& record) {
  switch (view) {
    case LogView::kAll: return true;
    case LogView::kEvent: return (record.typeMask & 0x10) != 0;
    case LogView::kClient: return (record.typeMask & 0x08) != 0;
    case LogView::kOperation: return (record.typeMask & 0x04) != 0;
    case LogView::kRecord: return (record.typeMask & 0x02) != 0;
    case LogView::kPower: return (record.typeMask & 0x01) != 0;
  }
  return false;
}

const char* LogViewDocumentName(LogView view) {
  switch (view) {
    case LogView::kAll: return "Remote Log All";
    case LogView::kEvent: return "Remote Log Event";
    case LogView::kOperation: return "Remote Log Operation";
    case LogView::kPower: return "Remote Log Power";
    case LogView::kRecord: return "Remote Log Record";
    case LogView::kClient: return "Remote Log Client";
  }
  return "";
}

std::vector<size_t> LogViewRows(const std::vector<LogRecord>& records, LogView view) {
  std::vector<size_t> rows;
  for (size_t i = records.size(); i-- > 0;)
    if (LogViewShows(view, records[i])) rows.push_back(i);
  return rows;
}

}  // namespace orva
