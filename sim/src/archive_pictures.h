// The recorded pictures of the archive, made on demand. Each recorded second
// of a channel is one GOP (a key frame, then fps - 1 other frames).
//
// With the clock on, a GOP is encoded from a still picture of that second:
// the channel's colour and number, the recorded date and time, a bar that
// sweeps once a minute, a tag for event recordings, and a small frame
// counter that is the only thing changing within the GOP, so the frames
// after the key cost the encoder little. GOPs are cached (least recently
// used first out), so stepping and re-positioning do not encode again; a GOP
// needed only for its key frame (reverse, fast speeds) is encoded key only.
// With the clock off, the channel's live loop is replayed, GOP by GOP.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "h264_encoder.h"
#include "orva/sim/config.h"
#include "stream_records.h"
#include "video_loop.h"

namespace orva::sim::detail {

class ArchivePictures {
 public:
  explicit ArchivePictures(const SimConfig& config);
  ~ArchivePictures();
  ArchivePictures(const ArchivePictures&) = delete;
  ArchivePictures& operator=(const ArchivePictures&) = delete;

  // Frame data of frame `index` of the GOP of `second`, or nullptr when it
  // has not been made yet.
  const std::vector<uint8_t>* Find(int channel, uint32_t second, int index);
  // Makes the GOP (only its key frame with `keyOnly`); `kind` is the
  // recording's kind for the event tag. Slow: call without the link lock.
  bool Make(int channel, uint32_t second, int kind, bool keyOnly,
            const std::function<bool()>& cancelled, std::string& error);
  // With the clock off: the GOPs of the channel's loop once made, else 0.
  size_t LoopGops(int channel) const;
  static constexpr size_t kCachedGops = 64;

 private:
  struct Gop {
    std::vector<std::vector<uint8_t>> frames;
  };
  struct Encoders;
  using Key = std::pair<int, uint32_t>;  // channel, second
  bool Encode(int channel, uint32_t second, int kind, int frameCount, Gop& gop,
              std::string& error);

  const SimConfig& config_;
  std::array<std::shared_ptr<const VideoLoop>, 16> loops_{};  // clock off
  std::array<std::unique_ptr<Encoders>, 16> encoders_;       // clock on
  std::map<Key, std::pair<Gop, std::list<Key>::iterator>> gops_;
  std::list<Key> recent_;  // most recently used first
};

}  // namespace orva::sim::detail
