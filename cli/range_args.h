// What size and download copy: a time range or one event of the event
// list, and the channels, as the backup windows choose them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli_session.h"
#include "orva/recordings/download.h"
#include "search_wait.h"

namespace orva::cli {

struct RangeArgs {
  std::optional<uint32_t> from, to;  // recorder time
  int eventKind = 0;                 // 1, 2 or 4 with --event
  int eventNumber = -1;
  std::optional<uint32_t> channels;
};

// "--from T --to T | --event KIND:NUMBER [--channels MASK]"; `command` names the command in messages.
bool ParseRangeArgs(const std::string& command, const std::vector<std::string>& args, RangeArgs& out,
                    std::string& error);
// "KIND:NUMBER" with kind 1, 2 or 4 and the number from 0.
bool ParseEventRef(const std::string& text, int& kind, int& number, std::string& error);

// The range to ask for, after OpenSearch: an event is looked up in the
// recorder's event list. An exit code.
int ResolveRange(CliSession& session, const SearchWaiter& waiter, const RangeArgs& args, const Options& options,
                 DownloadRange& range, std::string& error);

}  // namespace orva::cli
