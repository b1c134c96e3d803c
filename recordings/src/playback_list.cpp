// The playback list of local playback: one entry per segment record, with
// the offsets the player reads between and the starting point for the
// requested time.
#include <algorithm>

#include "orva/link/trace.h"
#include "orva/link/wire.h"
#include "orva/recordings/local_player.h"

namespace orva {

namespace {

bool ReadSeekVideo(ReadableFile& idx, uint64_t at, uint32_t& video) {
  uint8_t entry[kSeekEntrySize];
  if (!idx.ReadAt(at, entry)) return false;
  video = LoadBE32(entry);
  return true;
}

}  // namespace

// The first video frame at or after `target` (seconds) among the segment's
// seek entries: a binary search over the entries, then frame by frame.
bool FindFrameAtOrAfter(ReadableFile& idx, ReadableFile& vid, const PlaybackEntry& e, uint32_t target,
                        LocalFrame& out) {
  const uint64_t count = (e.seekEnd - e.firstSeek) / kSeekEntrySize;
  if (count == 0) return false;
  uint64_t lo = 0, hi = count;  // the last entry whose frame second is <= target lies in [lo, hi)
  LocalFrame probe;
  while (hi - lo > 1) {
    const uint64_t mid = lo + (hi - lo) / 2;
    uint32_t video = 0;
    if (!ReadSeekVideo(idx, e.firstSeek + mid * kSeekEntrySize, video) ||
        !ReadFrameAt(vid, video, e.endOffset, probe, false)) {
      hi = mid;  // an unreadable entry: look before it
      continue;
    }
    if (probe.video.frameSecond <= target)
      lo = mid;
    else
      hi = mid;
  }
  uint32_t video = 0;
  if (!ReadSeekVideo(idx, e.firstSeek + lo * kSeekEntrySize, video)) return false;
  // Offsets only grow, so this walk ends at the entry's end at the latest.
  for (uint64_t at = video; at < e.endOffset;) {
    if (!ReadFrameAt(vid, at, e.endOffset, out, false)) return false;
    if (out.kind == LocalFrame::kVideo && out.video.frameSecond >= target) return true;
    at = out.next;
  }
  return false;
}

std::vector<PlaybackEntry> BuildPlaybackList(const std::vector<LocalPair>& pairs, uint32_t start, uint32_t end,
                                             const ReaderOpener& open) {
  if (end == kNoEndTime) end = 0;
  std::vector<PlaybackEntry> list;
  bool found = false;
  for (size_t p = 0; p < pairs.size(); ++p) {
    const LocalPair& pair = pairs[p];
    std::string error;
    auto idx = open(pair.idx, error);
    auto vid = open(pair.vid, error);
    if (!idx || !vid) {
      Trace("BuildPlaybackList... %s\n", error.c_str());
      continue;
    }
    const uint64_t seekLimit = idx->Size() - kTrailerSize;
    const uint64_t vidLimit = vid->Size() >= kPairHeaderSize + kTrailerSize ? vid->Size() - kTrailerSize : 0;
    const size_t n = pair.segments.size();
    for (size_t s = 0; s < n; ++s) {
      const SegmentRecord& r = pair.segments[s];
      PlaybackEntry e;
      e.vid = pair.vid;
      e.idx = pair.idx;
      e.pair = p;
      e.segment = s;
      e.start = r.start;
      e.end = r.end;
      e.firstSeek = r.firstSeek;
      e.seekEnd = static_cast<uint32_t>(s + 1 < n ? pair.segments[s + 1].firstSeek : seekLimit);
      uint32_t first = 0, next = 0;
      const bool seekOk = e.firstSeek >= kSeekTableOffset && (e.firstSeek - kSeekTableOffset) % kSeekEntrySize == 0 &&
                          e.seekEnd > e.firstSeek && e.seekEnd <= seekLimit &&
                          ReadSeekVideo(*idx, e.firstSeek, first);
      if (!seekOk || first < kPairHeaderSize || first >= vidLimit) {
        Trace("BuildPlaybackList... %s segment %zu points outside its files, skipped\n", pair.idx.c_str(), s);
        continue;
      }
      e.firstOffset = first;
      e.endOffset = vidLimit;
      if (s + 1 < n && ReadSeekVideo(*idx, pair.segments[s + 1].firstSeek, next) && next > first && next <= vidLimit)
        e.endOffset = next;
      e.channelMask = r.videoMask;
      e.audio = (r.videoMask & r.audioMask) != 0;
      e.joinedPrevious = s == 0 && pair.joinedPrevious;
      e.joinedNext = s + 1 == n && pair.joinedNext;
      if (end != 0 && (e.start > end || e.end < start)) continue;
      e.playFrom = e.start;
      e.startOffset = e.firstOffset;
      if (!found && start >= e.start && start <= e.end) {
        LocalFrame frame;
        if (FindFrameAtOrAfter(*idx, *vid, e, start, frame)) {
          e.startOffset = frame.offset;
          e.startMs = frame.TimeMs();
          e.playFrom = start;
          e.found = found = true;
          LocalFrame warm;
          e.warmOffset = start > e.start && FindFrameAtOrAfter(*idx, *vid, e, start - 1, warm) ? warm.offset
                                                                                              : e.startOffset;
        }
      }
      list.push_back(std::move(e));
    }
  }
  return list;
}

}  // namespace orva
