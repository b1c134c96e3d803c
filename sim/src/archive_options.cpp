// Values of the archive, search and playback options.
#include <vector>

#include "option_values.h"
#include "stream_records.h"

namespace orva::sim::detail {

namespace {

bool ParseIntIn(const std::string& value, long long min, long long max, int& out,
                std::string& error) {
  long long v = 0;
  if (!ParseInteger(value, min, max, v, error)) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseResult(const std::string& value, int32_t& out, std::string& error) {
  long long v = 0;
  if (!ParseInteger(value, INT32_MIN, INT32_MAX, v, error)) return false;
  out = static_cast<int32_t>(v);
  return true;
}

// TIME, or `word` (none / now) for 0.
bool ParseTimeOr(const std::string& value, const char* word, uint32_t& out, std::string& error) {
  if (value == word) {
    out = 0;
    return true;
  }
  return ParseDateTime(value, out, error);
}

// "KIND:PERIOD:LENGTH:CHANNELS".
bool ParseEvent(const std::string& value, SimEventPattern& out, std::string& error) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t colon = value.find(':', start);
    if (colon == std::string::npos) {
      error = "'" + value + "' is not KIND:PERIOD:LENGTH:CHANNELS";
      return false;
    }
    parts.push_back(value.substr(start, colon - start));
    start = colon + 1;
  }
  SimEventPattern event;
  if (!ParseIntIn(parts[0], 1, 4, event.kind, error) ||
      (event.kind != 1 && event.kind != 2 && event.kind != 4)) {
    error = "event kind '" + parts[0] + "' is not 1, 2 or 4";
    return false;
  }
  if (!ParseIntIn(parts[1], 2, 86400, event.period, error)) {
    error = "event period " + error;
    return false;
  }
  if (!ParseIntIn(parts[2], 1, event.period, event.length, error)) {
    error = "event length " + error;
    return false;
  }
  if (!ParseChannelList(value.substr(start), event.channels, error)) {
    error = "event " + error;
    return false;
  }
  out = event;
  return true;
}

// "FRAMES:RESULT".
bool ParseFailure(const std::string& value, int& frames, int32_t& result, std::string& error) {
  const size_t colon = value.find(':');
  if (colon == std::string::npos) {
    error = "'" + value + "' is not FRAMES:RESULT";
    return false;
  }
  return ParseIntIn(value.substr(0, colon), 1, 1000000000, frames, error) &&
         ParseResult(value.substr(colon + 1), result, error);
}

}  // namespace

bool ApplyArchiveOption(const std::string& name, const std::string& value, SimConfig& config,
                        bool& eventsReplaced, bool& ok, std::string& error) {
  SimArchiveConfig& archive = config.archive;
  if (name == "archive-days") {
    ok = ParseIntIn(value, 0, 3650, archive.days, error);
  } else if (name == "archive-start") {
    ok = ParseTimeOr(value, "none", archive.start, error);
  } else if (name == "archive-end") {
    ok = ParseTimeOr(value, "now", archive.end, error);
  } else if (name == "archive-channels") {
    ok = ParseChannelList(value, archive.channels, error);
  } else if (name == "event") {
    if (!eventsReplaced) archive.events.clear();
    eventsReplaced = true;
    SimEventPattern event;
    ok = value == "none" || ParseEvent(value, event, error);
    if (ok && value != "none") archive.events.push_back(event);
  } else if (name == "search-fragment-bytes") {
    ok = ParseIntIn(value, 16, 65535, archive.searchFragmentBytes, error);
  } else if (name == "event-page-size") {
    ok = ParseIntIn(value, 1, 1000, archive.eventPageSize, error);
  } else if (name == "month-nack") {
    ok = ParseResult(value, archive.monthNack, error);
  } else if (name == "day-nack") {
    ok = ParseResult(value, archive.dayNack, error);
  } else if (name == "event-nack") {
    ok = ParseResult(value, archive.eventNack, error);
  } else if (name == "play-on-nack") {
    ok = ParseResult(value, archive.playOnNack, error);
  } else if (name == "play-off-nack") {
    ok = ParseResult(value, archive.playOffNack, error);
  } else if (name == "play-fail") {
    ok = ParseFailure(value, archive.playFailFrames, archive.playFailResult, error);
  } else if (name == "archive-frame-bytes") {
    ok = ParseIntIn(value, 0, static_cast<long long>(kMaxArchiveFrameBytes), archive.frameBytes,
                    error);
  } else if (name == "trans-estimate-ms") {
    ok = ParseIntIn(value, 0, 60000, archive.estimateMs, error);
  } else if (name == "trans-on-nack") {
    ok = ParseResult(value, archive.transOnNack, error);
  } else if (name == "trans-off-nack") {
    ok = ParseResult(value, archive.transOffNack, error);
  } else if (name == "trans-fail") {
    ok = ParseFailure(value, archive.transFailFrames, archive.transFailResult, error);
  } else {
    return false;
  }
  return true;
}

}  // namespace orva::sim::detail
