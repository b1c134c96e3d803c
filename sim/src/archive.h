// The simulated recording archive. Nothing is stored: every answer is worked
// out from the configured recording window and the periodic event patterns.
// Per channel the recorded time splits into stretches of one kind each:
// continuous recording (kind 0) or an event recording (kind 1, 2 or 4); an
// event stretch replaces the continuous recording it falls into, and where
// events of two kinds overlap the higher kind wins. Times are wire seconds;
// a stretch's end is its last recorded second (inclusive).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "orva/sim/config.h"

namespace orva::sim::detail {

struct Stretch {
  int kind = 0;  // 0 continuous, else the event kind
  uint32_t start = 0, end = 0;
};

// One record of a day or event answer: channel mask, kind (a kind mask in
// day answers, the event kind in event answers), first and last second.
struct SpanInfo {
  uint16_t channels = 0;
  uint8_t kind = 0;
  uint32_t start = 0, end = 0;
};

// Kind-mask bit of a stretch kind: bit 0 continuous, bit k event kind k.
inline uint8_t KindBit(int kind) { return static_cast<uint8_t>(kind == 0 ? 1u : 1u << kind); }
// Whether a request's kind mask selects a kind; 0 selects everything.
inline bool KindSelected(uint8_t kindMask, int kind) {
  return kindMask == 0 || (kindMask & KindBit(kind)) != 0;
}

class Archive {
 public:
  // A window given in days is fixed here, counted back from the clock now.
  explicit Archive(const SimConfig& config);

  bool Empty() const { return First() > Last(); }
  uint32_t First() const { return first_; }
  // The last complete second: the configured end, or the one before now.
  uint32_t Last() const;

  // Channels with any recording that `kindMask` selects.
  uint16_t Channels(uint8_t kindMask) const;
  // The stretches of a channel within [from, to], cut to that window.
  std::vector<Stretch> ChannelStretches(int channel, uint32_t from, uint32_t to) const;
  std::optional<Stretch> At(int channel, uint32_t second) const;
  // The first (direction > 0) or last (< 0) second within [from, to] at which
  // a channel of `channels` has a recording of a selected kind.
  std::optional<uint32_t> NextRecorded(uint32_t from, uint32_t to, int direction,
                                       uint16_t channels, uint8_t kindMask) const;
  // Recordings are numbered by segment: a new one begins wherever any
  // channel's recording kind changes, so concurrent channels share the id.
  uint32_t RecordingId(uint32_t second) const;

  // Year -> 372 day flags (month 0-11 x 31 days), for the years with recordings.
  std::map<int, std::array<uint8_t, 372>> YearMaps() const;
  // The day's stretches (month 1-12, day 1-31), channels with the same kind,
  // start and end merged into one record, in start order.
  std::vector<SpanInfo> DaySpans(int year, int month, int day) const;
  // Every event occurrence (kind 0 = all kinds), cut to the archive, channels
  // merged as above, in start order; at most the latest kMaxEvents.
  std::vector<SpanInfo> Events(int kind) const;
  static constexpr size_t kMaxEvents = 20000;

 private:
  struct Pattern {
    int kind, period, length;
    uint16_t channels;
  };
  const SimConfig& config_;
  uint32_t first_ = 1, last_ = 0;  // last_ = 0: follows the clock
  bool recordsNothing_ = false;
  uint16_t continuous_ = 0;        // channels recording all the time
  std::vector<Pattern> patterns_;  // only patterns with present channels
};

// Calendar helpers (recorder time is encoded as UTC).
struct CivilDate {
  int year, month, day;  // month 1-12, day 1-31
};
CivilDate DateOf(uint32_t second);
int MonthLength(int year, int month);

}  // namespace orva::sim::detail
