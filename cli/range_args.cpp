#include "range_args.h"

#include "arg_parse.h"

namespace orva::cli {

bool ParseEventRef(const std::string& text, int& kind, int& number, std::string& error) {
  const size_t colon = text.find(':');
  uint64_t k = 0, n = 0;
  if (colon == std::string::npos || !ParseNumber(text.substr(0, colon), 4, k) || (k != 1 && k != 2 && k != 4) ||
      !ParseNumber(text.substr(colon + 1), 1000000, n)) {
    error = "--event must be KIND:NUMBER with kind 1, 2 or 4 and the number from 0, not '" + text + "'";
    return false;
  }
  kind = static_cast<int>(k);
  number = static_cast<int>(n);
  return true;
}

bool ParseRangeArgs(const std::string& command, const std::vector<std::string>& args, RangeArgs& out,
                    std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a != "--from" && a != "--to" && a != "--event" && a != "--channels") {
      error = command + ": unknown argument '" + a + "'";
      return false;
    }
    if (i + 1 >= args.size()) {
      error = a + " needs a value";
      return false;
    }
    const std::string& text = args[++i];
    if (a == "--from" || a == "--to") {
      uint32_t t = 0;
      if (!ParseWallClock(text, t)) {
        error = a + " must be a time \"YYYY-MM-DD HH:MM:SS\" from 2000 to 2037, not '" + text + "'";
        return false;
      }
      (a == "--from" ? out.from : out.to) = t;
    } else if (a == "--event") {
      if (!ParseEventRef(text, out.eventKind, out.eventNumber, error)) return false;
    } else {
      uint32_t mask = 0;
      if (!ParseChannelMask("--channels", text, mask, error)) return false;
      out.channels = mask;
    }
  }
  const bool range = out.from || out.to;
  if (range == (out.eventKind != 0) || (range && !(out.from && out.to))) {
    error = command + " needs either --from TIME --to TIME or --event KIND:NUMBER";
    return false;
  }
  if (range && *out.to < *out.from) {
    error = "--to must not be before --from";
    return false;
  }
  return true;
}

int ResolveRange(CliSession& session, const SearchWaiter& waiter, const RangeArgs& args, const Options& options,
                 DownloadRange& range, std::string& error) {
  SearchController& search = session.Search();
  if (args.channels) search.SetSelection(*args.channels);
  range.channelMask = search.Selection();
  if (args.eventKind == 0) {
    range.start = *args.from;
    range.end = *args.to;
    return kExitOk;
  }
  search.RequestEvents();
  const int code = AwaitReply(session, waiter, [&] { return waiter.Events().has_value(); }, options, error);
  if (code != kExitOk) return code;
  for (const EventEntry& e : waiter.Events().value_or(std::vector<EventEntry>{})) {
    if (e.kind != args.eventKind || e.number != args.eventNumber) continue;
    range.start = e.start;
    range.end = e.end;
    range.eventKind = e.kind;
    return kExitOk;
  }
  error = "the recorder lists no event " + std::to_string(args.eventNumber) + " of kind " +
          std::to_string(args.eventKind);
  return kExitUsage;
}

}  // namespace orva::cli
