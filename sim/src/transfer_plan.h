// What a backup download of a range sends, and the size estimate the
// recorder gives for it beforehand. A download sends, second by second, the
// video records of every recorded second of the selected channels and kinds
// (one GOP each) and, for channels with sound, two audio records a second.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive.h"
#include "archive_pictures.h"
#include "orva/sim/config.h"

namespace orva::sim::detail {

inline constexpr size_t kRangeSize = 24;

struct TransferRange {
  uint16_t channels = 0;  // requested channels that have recordings of the kinds
  uint8_t kindMask = 0;   // 0 and 63 select every kind
  uint32_t start = 0, end = 0;
};

// The 24-byte range payload; false when it is not 24 bytes.
bool ParseRange(const std::vector<uint8_t>& payload, const Archive& archive, TransferRange& out);

// The selected stretches of the range in windows of at most a day, all
// channels at once, so that a long range never needs all its stretches in
// memory. A stretch longer than a window comes in pieces.
class RangeWalker {
 public:
  RangeWalker(const Archive& archive, const TransferRange& range);
  // Moves to the first recorded second at or after `from`; false when the
  // range has none left.
  bool Seek(uint64_t from);
  uint64_t second() const { return second_; }
  // Channels recorded at the current second, and each one's kind.
  uint16_t Channels() const;
  int KindOf(int channel) const;

 private:
  void Load(uint64_t from);
  const Archive& archive_;
  TransferRange range_;
  uint64_t last_ = 0;  // the range's end within the archive
  uint64_t second_ = 0;
  bool loaded_ = false;
  uint64_t windowStart_ = 0, windowEnd_ = 0;
  std::array<std::vector<Stretch>, 16> stretches_;
  std::array<size_t, 16> cursor_{};
};

// Bytes of the audio records of one recorded second of a channel with sound.
uint64_t AudioBytesPerSecond();

// Bytes of the records the download of `range` will send. With the clock
// off the recorded pictures are the live loops, whose sizes are known: the
// result is exact. With the clock on each channel's GOP size is sampled
// (kSamples GOPs spread over the channel's recorded seconds, encoded for the
// download anyway) and multiplied out. Channels whose pictures cannot be
// made are added to `failed` and count nothing.
uint64_t EstimateTransferBytes(const SimConfig& config, const Archive& archive,
                               const TransferRange& range, ArchivePictures& pictures,
                               const std::function<bool()>& cancelled, uint16_t& failed);
inline constexpr uint64_t kSamples = 6;

}  // namespace orva::sim::detail
