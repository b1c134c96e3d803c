#include "transfer_plan.h"

#include <algorithm>

#include "orva/sim/wire.h"
#include "socket_io.h"
#include "stream_records.h"

namespace orva::sim::detail {

namespace {

constexpr uint64_t kWindow = 86400;

bool Has(uint16_t mask, int channel) { return (mask >> channel) & 1u; }

// The range's last second within the archive, or 0 with nothing to send.
uint64_t LastOf(const Archive& archive, const TransferRange& range) {
  return std::min<uint64_t>(range.end, archive.Last());
}

// Calls `fn` with the channel's selected stretches of the range, in order,
// in pieces of at most a window; stops when it returns false.
void ForEachStretch(const Archive& archive, int channel, const TransferRange& range,
                    const std::function<bool(const Stretch&)>& fn) {
  const uint64_t last = LastOf(archive, range);
  for (uint64_t from = std::max<uint64_t>(range.start, archive.First()); from <= last;
       from += kWindow) {
    const uint64_t to = std::min(from + kWindow - 1, last);
    for (const Stretch& s : archive.ChannelStretches(channel, static_cast<uint32_t>(from),
                                                     static_cast<uint32_t>(to))) {
      if (KindSelected(range.kindMask, s.kind) && !fn(s)) return;
    }
  }
}

uint64_t GopBytes(ArchivePictures& pictures, int channel, uint32_t second, int fps,
                  size_t padTo) {
  uint64_t bytes = 0;
  for (int index = 0; index < fps; ++index) {
    const std::vector<uint8_t>* frame = pictures.Find(channel, second, index);
    if (frame != nullptr) {
      bytes += kVideoRecordHeaderSize + PaddedFrameBytes(frame->size(), padTo);
    }
  }
  return bytes;
}

// Exact: the loop's GOP g is shown at every second s with s % gops == g.
uint64_t LoopVideoBytes(const SimConfig& config, const Archive& archive, int channel,
                        const TransferRange& range, ArchivePictures& pictures) {
  const uint64_t gops = pictures.LoopGops(channel);
  if (gops == 0) return 0;
  const size_t padTo = static_cast<size_t>(config.archive.frameBytes);
  std::vector<uint64_t> perGop(gops);
  for (uint64_t g = 0; g < gops; ++g) {
    perGop[g] = GopBytes(pictures, channel, static_cast<uint32_t>(g), config.video.fps, padTo);
  }
  uint64_t bytes = 0;
  ForEachStretch(archive, channel, range, [&](const Stretch& s) {
    const uint64_t n = uint64_t{s.end} - s.start + 1;
    for (uint64_t g = 0; g < gops; ++g) {
      const uint64_t offset = (g + gops - s.start % gops) % gops;  // first second showing g
      bytes += perGop[g] * (n / gops + (offset < n % gops ? 1 : 0));
    }
    return true;
  });
  return bytes;
}

// Sampled: a still picture per second costs about the same every second.
uint64_t SampledVideoBytes(const SimConfig& config, const Archive& archive, int channel,
                           const TransferRange& range, uint64_t seconds,
                           ArchivePictures& pictures, const std::function<bool()>& cancelled,
                           bool& failed) {
  const uint64_t samples = std::min(kSamples, seconds);
  const size_t padTo = static_cast<size_t>(config.archive.frameBytes);
  uint64_t sampled = 0, taken = 0, passed = 0;
  ForEachStretch(archive, channel, range, [&](const Stretch& s) {
    const uint64_t n = uint64_t{s.end} - s.start + 1;
    // Sample k sits at recorded second (2k + 1) * seconds / (2 * samples).
    while (taken < samples) {
      const uint64_t at = (2 * taken + 1) * seconds / (2 * samples);
      if (at >= passed + n) break;
      const uint32_t second = static_cast<uint32_t>(s.start + (at - passed));
      std::string error;
      if (cancelled() || !pictures.Make(channel, second, s.kind, false, cancelled, error)) {
        if (!cancelled()) {
          LogLine("channel " + std::to_string(channel + 1) + " has no recorded pictures: " +
                  error);
        }
        failed = true;
        return false;
      }
      sampled += GopBytes(pictures, channel, second, config.video.fps, padTo);
      ++taken;
    }
    passed += n;
    return taken < samples;
  });
  if (failed || taken == 0) return 0;
  return (sampled * seconds + taken / 2) / taken;
}

}  // namespace

bool ParseRange(const std::vector<uint8_t>& payload, const Archive& archive, TransferRange& out) {
  if (payload.size() != kRangeSize) return false;
  out.kindMask = payload[4];
  out.channels = static_cast<uint16_t>(GetU32(payload.data()) & archive.Channels(out.kindMask));
  out.start = GetU32(payload.data() + 16);
  out.end = GetU32(payload.data() + 20);
  return true;
}

RangeWalker::RangeWalker(const Archive& archive, const TransferRange& range)
    : archive_(archive), range_(range), last_(LastOf(archive, range)) {}

void RangeWalker::Load(uint64_t from) {
  loaded_ = true;
  windowStart_ = from;
  windowEnd_ = std::min(from + kWindow - 1, last_);
  for (int ch = 0; ch < 16; ++ch) {
    auto& list = stretches_[static_cast<size_t>(ch)];
    list.clear();
    cursor_[static_cast<size_t>(ch)] = 0;
    if (!Has(range_.channels, ch)) continue;
    for (const Stretch& s : archive_.ChannelStretches(ch, static_cast<uint32_t>(windowStart_),
                                                      static_cast<uint32_t>(windowEnd_))) {
      if (KindSelected(range_.kindMask, s.kind)) list.push_back(s);
    }
  }
}

bool RangeWalker::Seek(uint64_t from) {
  from = std::max<uint64_t>(from, std::max<uint64_t>(range_.start, archive_.First()));
  while (from <= last_) {
    if (!loaded_ || from < windowStart_ || from > windowEnd_) Load(from);
    uint64_t best = UINT64_MAX;
    for (size_t ch = 0; ch < 16; ++ch) {
      const auto& list = stretches_[ch];
      size_t& at = cursor_[ch];
      while (at < list.size() && list[at].end < from) ++at;
      if (at < list.size()) best = std::min<uint64_t>(best, std::max<uint64_t>(list[at].start, from));
    }
    if (best != UINT64_MAX) {
      second_ = best;
      return true;
    }
    from = windowEnd_ + 1;
  }
  return false;
}

uint16_t RangeWalker::Channels() const {
  uint16_t mask = 0;
  for (size_t ch = 0; ch < 16; ++ch) {
    const auto& list = stretches_[ch];
    const size_t at = cursor_[ch];
    if (at < list.size() && list[at].start <= second_ && second_ <= list[at].end) {
      mask = static_cast<uint16_t>(mask | (1u << ch));
    }
  }
  return mask;
}

int RangeWalker::KindOf(int channel) const {
  const size_t ch = static_cast<size_t>(channel & 15);
  const size_t at = cursor_[ch];
  return at < stretches_[ch].size() ? stretches_[ch][at].kind : 0;
}

uint64_t AudioBytesPerSecond() { return 2 * (kAudioRecordHeaderSize + kAudioFrameSize); }

uint64_t EstimateTransferBytes(const SimConfig& config, const Archive& archive,
                               const TransferRange& range, ArchivePictures& pictures,
                               const std::function<bool()>& cancelled, uint16_t& failed) {
  uint64_t bytes = 0;
  for (int ch = 0; ch < 16 && !cancelled(); ++ch) {
    if (!Has(range.channels, ch) || Has(failed, ch)) continue;
    uint64_t seconds = 0;
    ForEachStretch(archive, ch, range, [&](const Stretch& s) {
      seconds += uint64_t{s.end} - s.start + 1;
      return true;
    });
    if (seconds == 0) continue;
    bool channelFailed = false;
    uint64_t video = 0;
    if (config.archive.clock) {
      video = SampledVideoBytes(config, archive, ch, range, seconds, pictures, cancelled,
                                channelFailed);
    } else {
      std::string error;
      if (pictures.Make(ch, 0, 0, false, cancelled, error)) {
        video = LoopVideoBytes(config, archive, ch, range, pictures);
      } else {
        if (!cancelled()) LogLine("channel " + std::to_string(ch + 1) + " has no pictures: " + error);
        channelFailed = true;
      }
    }
    if (channelFailed) {
      failed = static_cast<uint16_t>(failed | (1u << ch));
      continue;
    }
    bytes += video;
    if (config.audioChannels[static_cast<size_t>(ch)]) bytes += seconds * AudioBytesPerSecond();
  }
  return bytes;
}

}  // namespace orva::sim::detail
