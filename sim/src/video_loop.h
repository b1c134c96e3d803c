// Encoded picture loops, one per channel and stream setting, shared by every
// simulator in the process so that tests starting many simulators encode
// each loop once.
#pragma once

#include <compare>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "stream_records.h"

namespace orva::sim::detail {

struct VideoLoopKey {
  int channel = 0;
  int sizeCode = 1;
  bool pal = false;
  int fps = 15;
  int bitrateKbps = 512;
  int loopSeconds = 2;
  auto operator<=>(const VideoLoopKey&) const = default;
};

struct VideoLoop {
  VideoFormat format;
  // Ready frame data (frame headers included), one entry per frame; frame 0
  // and every fps-th frame after it are key frames, so the loop restarts on one.
  std::vector<std::vector<uint8_t>> frames;
  std::vector<bool> key;
};

// Returns the loop, encoding it on first use. `cancelled` is polled between
// frames; a cancelled or failed encoding is not cached.
std::shared_ptr<const VideoLoop> GetVideoLoop(const VideoLoopKey& key,
                                              const std::function<bool()>& cancelled,
                                              std::string& error);

}  // namespace orva::sim::detail
