// The play command's arguments: what to play, for how long, and the script
// of motion commands performed from the first picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orva::cli {

struct PlayStep {
  int mode = 0;    // a motion command (1, 2, 3, 4, 7), or 0 to wait or seek
  int waitMs = 0;  // mode 0
  std::optional<uint32_t> seekTo;  // mode 0: move the position slider there (local playback)
  std::string text;
};

struct PlayArgs {
  std::optional<uint32_t> from, to;  // recorder time
  bool range = false;
  int eventKind = 0;  // 1, 2 or 4 with --event
  int eventNumber = -1;
  std::optional<uint32_t> channels;
  double seconds = 5;
  std::vector<PlayStep> script;
  std::string picturesDir;
};

// "fwd,rev,pause,stepf,stepb,wait:MS", and with `seek` also "seek:YYYY-MM-DD HH:MM:SS".
bool ParsePlayScript(const std::string& text, std::vector<PlayStep>& out, std::string& error, bool seek = false);
bool ParsePlayArgs(const std::vector<std::string>& args, PlayArgs& out, std::string& error);
// local play: --from, --to, --seconds, --script (with seek steps), --pictures.
bool ParseLocalPlayArgs(const std::vector<std::string>& args, PlayArgs& out, std::string& error);

}  // namespace orva::cli
