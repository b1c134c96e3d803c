// The header pass of the MP4 export: which frames of which files go into
// the file, read from the record headers alone so that a bad request is
// refused before any output exists.
#include <ctime>
#include <map>
#include <memory>

#include "mp4_export_internal.h"
#include "orva/link/trace.h"
#include "orva/recordings/local_player.h"

namespace orva::mp4 {

int64_t CaptureTimeUs(const VideoRecordHeader& h) {
  if (h.captureSeconds == 0) return int64_t{h.frameSecond} * 1000000;
  return int64_t{h.captureSeconds} * 1000000 + (h.captureMicroseconds % 1000000);
}

std::string IsoTime(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

namespace {

std::string Stretch(const ExportRequest& r) { return IsoTime(r.from) + " and " + IsoTime(r.to); }

}  // namespace

bool BuildExportPlan(const ExportRequest& request, ExportPlan& plan, std::string& error) {
  plan = ExportPlan{};
  const int channel = request.channel;
  if (channel < 0 || channel >= 16) {
    error = "channel " + std::to_string(channel + 1) + " does not exist (1-16)";
    return false;
  }
  if (request.to < request.from) {
    error = "empty range: " + IsoTime(request.to) + " lies before " + IsoTime(request.from);
    return false;
  }
  std::vector<std::string> problems;
  const std::vector<LocalPair> pairs = ScanPairs(request.folder, &problems);
  if (pairs.empty()) {
    error = "no downloaded recordings in " + request.folder;
    return false;
  }
  const std::vector<PlaybackEntry> entries = BuildPlaybackList(pairs, request.from, request.to);

  std::map<std::string, uint32_t> fileIndex;
  bool anyFrame = false, channelSeen = false, started = false;
  int64_t lastAnyUs = 0, lastUs = 0;
  for (const PlaybackEntry& e : entries) {
    std::string openError;
    std::unique_ptr<ReadableFile> vid = OpenPosixReader(e.vid, openError);
    if (!vid) {
      Trace("ExportMp4... %s\n", openError.c_str());
      continue;
    }
    bool used = false;
    uint32_t file = 0;
    auto take = [&](const LocalFrame& f, bool audio, int64_t timeUs) {
      const bool key = !audio && f.info.keyFrame;
      if (!used) {
        auto [it, added] = fileIndex.try_emplace(e.vid, static_cast<uint32_t>(plan.vids.size()));
        if (added) {
          plan.vids.push_back(e.vid);
          plan.sourceFiles.push_back(e.vid);
          plan.sourceFiles.push_back(e.idx);
        }
        file = it->second;
        used = true;
      }
      plan.frames.push_back({file, f.offset, e.endOffset, audio, key, timeUs});
    };
    LocalFrame f;
    // ReadFrameAt only moves forwards (next > offset), so the walk ends.
    for (uint64_t at = e.startOffset; at < e.endOffset; at = f.next) {
      if (!ReadFrameAt(*vid, at, e.endOffset, f, false)) {
        Trace("ExportMp4... %s: no readable frame at %llu, rest of the segment left out\n", e.vid.c_str(),
              static_cast<unsigned long long>(at));
        break;
      }
      if (f.kind == LocalFrame::kAudio) {
        // Sound carries no time: it counts as in the range after a picture that is.
        if ((f.info.channel & 15) != channel || !anyFrame) continue;
        channelSeen = true;
        // Sound before the first key frame has nothing to be timed against.
        if (started) {
          take(f, true, lastAnyUs);
          ++plan.audioFrames;
        }
        continue;
      }
      if (f.video.frameSecond > request.to) break;
      if (f.video.frameSecond < request.from) continue;
      anyFrame = true;
      const int64_t timeUs = CaptureTimeUs(f.video);
      lastAnyUs = timeUs;
      if ((f.info.channel & 15) != channel) continue;
      channelSeen = true;
      // Marker records are passed over in playback as well.
      if (f.video.marker == 1) continue;
      if (!started) {
        if (f.kind != LocalFrame::kVideo || !f.info.keyFrame) continue;
        started = true;
        plan.sizeCode = f.info.sizeCode;
        plan.startUs = timeUs;
      } else if (f.kind != LocalFrame::kVideo || f.info.sizeCode != plan.sizeCode || timeUs <= lastUs) {
        // Another picture size cannot join the track; an earlier time is a
        // repeat (pairs of overlapping downloads) or a broken clock.
        ++plan.skipped;
        continue;
      }
      lastUs = timeUs;
      take(f, false, timeUs);
      ++plan.videoFrames;
    }
  }
  for (const std::string& line : problems) Trace("ExportMp4... %s\n", line.c_str());
  if (!anyFrame && !channelSeen) {
    error = "empty range: nothing recorded between " + Stretch(request);
    return false;
  }
  if (!channelSeen) {
    error = "channel " + std::to_string(channel + 1) + " has no recording between " + Stretch(request);
    return false;
  }
  if (plan.videoFrames == 0) {
    error = "channel " + std::to_string(channel + 1) + " has no video (no key frame) between " + Stretch(request);
    return false;
  }
  return true;
}

}  // namespace orva::mp4
