#include "archive.h"

#include <algorithm>
#include <tuple>

namespace orva::sim::detail {

namespace {

constexpr uint32_t kDay = 86400;

bool Has(uint16_t mask, int channel) { return (mask >> channel) & 1u; }

struct Piece {
  int kind;
  uint32_t start, end;
};

// Resolves overlapping event occurrences: at each second the highest kind
// present wins. Input in any order; output sorted and non-overlapping.
std::vector<Piece> Resolve(const std::vector<Piece>& pieces) {
  struct Edge {
    uint64_t at;
    int kind, delta;
  };
  std::vector<Edge> edges;
  edges.reserve(pieces.size() * 2);
  for (const Piece& p : pieces) {
    edges.push_back({p.start, p.kind, +1});
    edges.push_back({static_cast<uint64_t>(p.end) + 1, p.kind, -1});
  }
  std::sort(edges.begin(), edges.end(),
            [](const Edge& a, const Edge& b) { return a.at < b.at; });
  std::vector<Piece> out;
  int active[5] = {};  // by kind 1, 2, 4
  size_t i = 0;
  while (i < edges.size()) {
    const uint64_t at = edges[i].at;
    for (; i < edges.size() && edges[i].at == at; ++i) active[edges[i].kind] += edges[i].delta;
    const int kind = active[4] > 0 ? 4 : active[2] > 0 ? 2 : active[1] > 0 ? 1 : 0;
    if (!out.empty() && out.back().end == UINT32_MAX) {
      if (out.back().kind == kind) continue;  // same kind goes on
      out.back().end = static_cast<uint32_t>(at - 1);
    }
    if (kind != 0) out.push_back({kind, static_cast<uint32_t>(at), UINT32_MAX});
  }
  return out;
}

}  // namespace

int MonthLength(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

CivilDate DateOf(uint32_t second) {
  // Civil-from-days (proleptic Gregorian), the inverse of WireTime.
  const long long z = second / kDay + 719468;
  const long long era = z / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day};
}

Archive::Archive(const SimConfig& config) : config_(config) {
  const SimArchiveConfig& a = config.archive;
  const int present = std::min<int>(config.channels, 16);
  const uint16_t presentMask = static_cast<uint16_t>((1u << present) - 1u);
  for (int ch = 0; ch < 16; ++ch) {
    if (a.channels[static_cast<size_t>(ch)]) continuous_ = static_cast<uint16_t>(continuous_ | (1u << ch));
  }
  continuous_ &= presentMask;
  for (const SimEventPattern& e : a.events) {
    uint16_t mask = 0;
    for (int ch = 0; ch < 16; ++ch) {
      if (e.channels[static_cast<size_t>(ch)]) mask = static_cast<uint16_t>(mask | (1u << ch));
    }
    mask &= presentMask;
    if (mask != 0) patterns_.push_back({e.kind, e.period, e.length, mask});
  }
  last_ = a.end;
  if (a.start != 0) {
    first_ = a.start;
  } else if (a.days > 0) {
    const uint32_t now = a.end != 0 ? a.end : WireNow();
    const uint32_t span = static_cast<uint32_t>(a.days) * kDay;
    first_ = now > span ? now - span : 1;
  } else {
    recordsNothing_ = true;
  }
}

uint32_t Archive::Last() const {
  if (recordsNothing_) return 0;
  return last_ != 0 ? last_ : WireNow() - 1;
}

uint16_t Archive::Channels(uint8_t kindMask) const {
  if (Empty()) return 0;
  uint16_t mask = KindSelected(kindMask, 0) ? continuous_ : 0;
  for (const Pattern& p : patterns_) {
    if (KindSelected(kindMask, p.kind)) mask = static_cast<uint16_t>(mask | p.channels);
  }
  return mask;
}

std::vector<Stretch> Archive::ChannelStretches(int channel, uint32_t from, uint32_t to) const {
  std::vector<Stretch> out;
  if (channel < 0 || channel > 15) return out;
  const uint32_t lo = std::max(from, First()), hi = std::min(to, Last());
  if (lo > hi) return out;
  std::vector<Piece> events;
  for (const Pattern& p : patterns_) {
    if (!Has(p.channels, channel)) continue;
    const uint64_t period = static_cast<uint64_t>(p.period);
    const uint64_t length = static_cast<uint64_t>(p.length);
    // The first occurrence that may still run at `lo`.
    uint64_t n = lo + 1 >= length ? (lo + 1 - length) / period : 0;
    for (; n * period <= hi; ++n) {
      const uint64_t s = std::max<uint64_t>(n * period, lo);
      const uint64_t e = std::min<uint64_t>(n * period + length - 1, hi);
      if (s <= e) events.push_back({p.kind, static_cast<uint32_t>(s), static_cast<uint32_t>(e)});
    }
  }
  const std::vector<Piece> resolved = Resolve(events);
  const bool continuous = Has(continuous_, channel);
  uint64_t cursor = lo;  // first second not yet covered
  for (const Piece& p : resolved) {
    if (continuous && p.start > cursor) {
      out.push_back({0, static_cast<uint32_t>(cursor), p.start - 1});
    }
    out.push_back({p.kind, p.start, p.end});
    cursor = static_cast<uint64_t>(p.end) + 1;
  }
  if (continuous && cursor <= hi) out.push_back({0, static_cast<uint32_t>(cursor), hi});
  return out;
}

std::optional<Stretch> Archive::At(int channel, uint32_t second) const {
  const std::vector<Stretch> s = ChannelStretches(channel, second, second);
  if (s.empty()) return std::nullopt;
  return s.front();
}

std::optional<uint32_t> Archive::NextRecorded(uint32_t from, uint32_t to, int direction,
                                              uint16_t channels, uint8_t kindMask) const {
  channels &= Channels(kindMask);
  const uint32_t lo = std::max(from, First()), hi = std::min(to, Last());
  if (channels == 0 || lo > hi) return std::nullopt;
  // Day-long windows: every pattern recurs within a day, so a search only
  // walks far when the archive itself ends.
  if (direction > 0) {
    for (uint64_t start = lo; start <= hi; start += kDay) {
      const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(start + kDay - 1, hi));
      std::optional<uint32_t> best;
      for (int ch = 0; ch < 16; ++ch) {
        if (!Has(channels, ch)) continue;
        for (const Stretch& s : ChannelStretches(ch, static_cast<uint32_t>(start), end)) {
          if (!KindSelected(kindMask, s.kind)) continue;
          if (!best || s.start < *best) best = s.start;
          break;
        }
      }
      if (best) return best;
    }
    return std::nullopt;
  }
  for (int64_t end = hi; end >= static_cast<int64_t>(lo); end -= kDay) {
    const uint32_t start =
        static_cast<uint32_t>(std::max<int64_t>(end - kDay + 1, static_cast<int64_t>(lo)));
    std::optional<uint32_t> best;
    for (int ch = 0; ch < 16; ++ch) {
      if (!Has(channels, ch)) continue;
      const std::vector<Stretch> stretches =
          ChannelStretches(ch, start, static_cast<uint32_t>(end));
      for (auto it = stretches.rbegin(); it != stretches.rend(); ++it) {
        if (!KindSelected(kindMask, it->kind)) continue;
        if (!best || it->end > *best) best = it->end;
        break;
      }
    }
    if (best) return best;
  }
  return std::nullopt;
}

uint32_t Archive::RecordingId(uint32_t second) const {
  uint32_t id = First();
  for (const Pattern& p : patterns_) {
    const uint64_t start = static_cast<uint64_t>(second) / p.period * p.period;
    const uint64_t boundary = second < start + p.length ? start : start + p.length;
    if (boundary <= second) id = std::max(id, static_cast<uint32_t>(boundary));
  }
  return id;
}

std::map<int, std::array<uint8_t, 372>> Archive::YearMaps() const {
  std::map<int, std::array<uint8_t, 372>> maps;
  if (Empty()) return maps;
  for (uint64_t day = First() / kDay * kDay; day <= Last(); day += kDay) {
    const uint32_t from = static_cast<uint32_t>(day);
    bool any = false;
    for (int ch = 0; ch < 16 && !any; ++ch) {
      any = !ChannelStretches(ch, from, from + (kDay - 1)).empty();
    }
    if (!any) continue;
    const CivilDate date = DateOf(from);
    auto [it, added] = maps.try_emplace(date.year);
    if (added) it->second.fill(0);
    it->second[static_cast<size_t>((date.month - 1) * 31 + (date.day - 1))] = 1;
  }
  return maps;
}

std::vector<SpanInfo> Archive::DaySpans(int year, int month, int day) const {
  const uint32_t from = WireTime(year, month, day, 0, 0, 0);
  std::map<std::tuple<uint32_t, uint8_t, uint32_t>, uint16_t> merged;  // (start, kind, end)
  for (int ch = 0; ch < 16; ++ch) {
    for (const Stretch& s : ChannelStretches(ch, from, from + (kDay - 1))) {
      uint16_t& mask = merged[{s.start, KindBit(s.kind), s.end}];
      mask = static_cast<uint16_t>(mask | (1u << ch));
    }
  }
  std::vector<SpanInfo> spans;
  for (const auto& [key, mask] : merged) {
    spans.push_back({mask, std::get<1>(key), std::get<0>(key), std::get<2>(key)});
  }
  return spans;
}

std::vector<SpanInfo> Archive::Events(int kind) const {
  std::map<std::tuple<uint32_t, int, uint32_t>, uint16_t> merged;  // (start, kind, end)
  if (Empty()) return {};
  const uint64_t first = First(), last = Last();
  for (const Pattern& p : patterns_) {
    if (kind != 0 && p.kind != kind) continue;
    const uint64_t period = static_cast<uint64_t>(p.period);
    const uint64_t length = static_cast<uint64_t>(p.length);
    uint64_t n = first + 1 >= length ? (first + 1 - length) / period : 0;
    // Only the latest occurrences can make it into the answer.
    const uint64_t lastN = last / period;
    if (lastN > n + kMaxEvents) n = lastN - kMaxEvents;
    for (; n * period <= last; ++n) {
      const uint64_t s = std::max(n * period, first);
      const uint64_t e = std::min(n * period + length - 1, last);
      if (s > e) continue;
      uint16_t& mask = merged[{static_cast<uint32_t>(s), p.kind, static_cast<uint32_t>(e)}];
      mask = static_cast<uint16_t>(mask | p.channels);
    }
  }
  std::vector<SpanInfo> events;
  for (const auto& [key, mask] : merged) {
    events.push_back({mask, static_cast<uint8_t>(std::get<1>(key)), std::get<0>(key),
                      std::get<2>(key)});
  }
  if (events.size() > kMaxEvents) events.erase(events.begin(), events.end() - kMaxEvents);
  return events;
}

}  // namespace orva::sim::detail
