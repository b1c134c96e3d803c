// ExportMp4: the header pass picks the frames, the first key frame sets up
// the video track, then every frame is read again with its data and goes to
// the muxer; the SHA-256 list is written last, from the finished files.
#include "orva/recordings/mp4_export.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "mp4_export_av.h"
#include "mp4_export_internal.h"
#include "orva/link/trace.h"

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

namespace orva {
namespace fs = std::filesystem;
using namespace mp4;

namespace {

// The muxer and its file; a failed export removes what it wrote.
struct Output {
  AVFormatContext* format = nullptr;
  std::string path;
  bool created = false, kept = false;
  ~Output() {
    if (format && format->pb) avio_closep(&format->pb);
    avformat_free_context(format);
    if (created && !kept) {
      std::error_code ignored;
      fs::remove(path, ignored);
      fs::remove(path + ".sha256", ignored);
    }
  }
};

bool SamePath(const std::string& a, const std::string& b) {
  std::error_code ea, eb;
  const fs::path pa = fs::weakly_canonical(a, ea), pb = fs::weakly_canonical(b, eb);
  return !ea && !eb && pa == pb;
}

// A source file as the list names it: relative to the list's folder when it
// lies inside it, so the folder can move as a whole; absolute otherwise.
std::string ListedName(const std::string& file, const fs::path& listFolder) {
  std::error_code ec;
  const fs::path absolute = fs::weakly_canonical(fs::absolute(file, ec), ec);
  if (ec) return file;
  const fs::path relative = absolute.lexically_relative(listFolder);
  if (!relative.empty() && *relative.begin() != "..") return relative.string();
  return absolute.string();
}

// The usual distance between pictures, for the encoder's rate control.
AVRational FrameRate(const ExportPlan& plan) {
  std::vector<int64_t> steps;
  int64_t last = -1;
  for (const PlannedFrame& f : plan.frames) {
    if (f.audio) continue;
    if (last >= 0) steps.push_back(f.timeUs - last);
    last = f.timeUs;
  }
  if (steps.empty()) return {10, 1};
  std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
  const int64_t median = std::max<int64_t>(steps[steps.size() / 2], 1000);
  return av_d2q(1e6 / static_cast<double>(median), 1000);
}

bool WriteCheckList(const ExportPlan& plan, const std::string& output, const std::string& listPath,
                    std::string& error) {
  std::error_code ec;
  const fs::path folder = fs::weakly_canonical(fs::absolute(listPath, ec).parent_path(), ec);
  std::string text, line;
  if (!Sha256Line(output, fs::path(output).filename().string(), line, error)) return false;
  text += line;
  for (const std::string& source : plan.sourceFiles) {
    if (!Sha256Line(source, ListedName(source, folder), line, error)) return false;
    text += line;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(listPath.c_str(), "w"), std::fclose);
  if (!file || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
      std::fclose(file.release()) != 0) {
    error = "cannot write " + listPath;
    return false;
  }
  return true;
}

}  // namespace

bool ExportMp4(const ExportRequest& request, ExportResult& result, std::string& error) {
  result = ExportResult{};
  ExportPlan plan;
  if (!BuildExportPlan(request, plan, error)) return false;
  if (request.output.empty()) {
    error = "no output file given";
    return false;
  }
  for (const std::string& source : plan.sourceFiles)
    if (SamePath(source, request.output)) {
      error = "the output " + request.output + " is one of the source files";
      return false;
    }

  std::vector<std::unique_ptr<ReadableFile>> vids;
  for (const std::string& path : plan.vids) {
    vids.push_back(OpenPosixReader(path, error));
    if (!vids.back()) return false;
  }
  auto read = [&](const PlannedFrame& p, LocalFrame& frame) {
    return ReadFrameAt(*vids[p.file], p.offset, p.limit, frame, true) &&
           frame.kind == (p.audio ? LocalFrame::kAudio : LocalFrame::kVideo);
  };

  // The first key frame that decodes decides the track: its size and
  // parameter sets. A damaged one is passed over for the next.
  const bool weave = plan.sizeCode == 2 && !request.copyFirstField;
  LocalFrame frame;
  std::span<const uint8_t> first, second;
  int width = 0, height = 0;
  std::vector<uint8_t> parameterSets;
  auto usable = [&](const PlannedFrame& p, std::string& why) {
    const std::string where = "key frame of channel " + std::to_string(request.channel + 1) + " at " +
                              IsoTime(p.timeUs / 1000000) + " (" + plan.vids[p.file] + ")";
    int w2 = 0, h2 = 0;
    if (!read(p, frame) || !SplitPictureParts(frame, first, second)) {
      why = "the " + where + " is damaged";
    } else if (!ProbePictureSize(first, width, height) ||
               (weave && (!ProbePictureSize(second, w2, h2) || w2 != width || h2 != height))) {
      why = "the " + where + " does not decode as H.264";
    } else if (!weave && (parameterSets = ParameterSets(first)).empty()) {
      why = "the " + where + " carries no SPS and PPS";
    } else {
      return true;
    }
    return false;
  };
  constexpr int kStartTries = 32;  // bounds the search in a file that is damaged throughout
  size_t start = 0;
  int tries = 0;
  bool found = false;
  for (; start < plan.frames.size() && tries < kStartTries; ++start) {
    const PlannedFrame& p = plan.frames[start];
    if (p.audio || !p.key) continue;
    std::string why;
    if ((found = usable(p, why))) break;
    if (tries++ == 0) error = why;
  }
  if (!found) {
    if (tries == kStartTries)
      error += ", nor do the next " + std::to_string(kStartTries - 1) + " key frames";
    else if (tries > 1)
      error += ", nor does any later one";
    return false;
  }
  if (start > 0) {
    Trace("ExportMp4... %s; starting at the next key frame that decodes\n", error.c_str());
    error.clear();
    const uint64_t droppedVideo = static_cast<uint64_t>(
        std::count_if(plan.frames.begin(), plan.frames.begin() + static_cast<std::ptrdiff_t>(start),
                      [](const PlannedFrame& p) { return !p.audio; }));
    plan.videoFrames -= droppedVideo;
    plan.audioFrames -= start - droppedVideo;
    plan.skipped += droppedVideo;
    plan.frames.erase(plan.frames.begin(), plan.frames.begin() + static_cast<std::ptrdiff_t>(start));
    plan.startUs = plan.frames.front().timeUs;
  }

  Output out;
  out.path = request.output;
  int rc = avformat_alloc_output_context2(&out.format, nullptr, "mp4", request.output.c_str());
  if (rc < 0 || !out.format) {
    error = "libavformat has no MP4 muxer: " + AvError(rc);
    return false;
  }
  AVFormatContext* format = out.format;
  const bool globalHeader = (format->oformat->flags & AVFMT_GLOBALHEADER) != 0;
  AVStream* video = avformat_new_stream(format, nullptr);
  if (!video) {
    error = "out of memory for the video track";
    return false;
  }
  video->time_base = kTicks;
  FieldWeaver weaver;
  if (weave) {
    if (!weaver.Open(width, height, FrameRate(plan), globalHeader, error)) return false;
    avcodec_parameters_from_context(video->codecpar, weaver.Encoder());
    height *= 2;
  } else {
    AVCodecParameters* par = video->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_H264;
    par->width = width;
    par->height = height;
    par->extradata = static_cast<uint8_t*>(av_mallocz(parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata) {
      error = "out of memory for the video track";
      return false;
    }
    std::copy(parameterSets.begin(), parameterSets.end(), par->extradata);
    par->extradata_size = static_cast<int>(parameterSets.size());
    // One field of a two-field picture: half the lines, so twice as tall pixels.
    if (plan.sizeCode == 2) par->sample_aspect_ratio = video->sample_aspect_ratio = {1, 2};
  }
  AudioTrack audio;
  if (plan.audioFrames > 0) {
    AVStream* sound = avformat_new_stream(format, nullptr);
    if (!sound || !audio.Open(globalHeader, error)) {
      if (error.empty()) error = "out of memory for the sound track";
      return false;
    }
    avcodec_parameters_from_context(sound->codecpar, audio.Encoder());
    sound->time_base = audio.Encoder()->time_base;
    audio.SetStream(format, sound);
  }
  result.creationTime = IsoTime(plan.startUs / 1000000);
  av_dict_set(&format->metadata, "creation_time", result.creationTime.c_str(), 0);
  if (!request.title.empty()) av_dict_set(&format->metadata, "title", request.title.c_str(), 0);

  rc = avio_open(&format->pb, request.output.c_str(), AVIO_FLAG_WRITE);
  if (rc < 0) {
    error = "cannot write " + request.output + ": " + AvError(rc);
    return false;
  }
  out.created = true;
  rc = avformat_write_header(format, nullptr);
  if (rc < 0) {
    error = "cannot start " + request.output + ": " + AvError(rc);
    return false;
  }

  VideoTrack track(format, video);
  PacketPtr packet(av_packet_alloc());
  if (!packet) {
    error = "out of memory for a video packet";
    return false;
  }
  for (const PlannedFrame& p : plan.frames) {
    if (!read(p, frame)) {
      Trace("ExportMp4... %s: frame at %llu no longer readable, left out\n", plan.vids[p.file].c_str(),
            static_cast<unsigned long long>(p.offset));
      continue;
    }
    const int64_t ticks = av_rescale(p.timeUs - plan.startUs, kTicks.den, 1000000);
    if (p.audio) {
      if (!audio.Add(frame.data, ticks, error)) return false;
      continue;
    }
    if (!SplitPictureParts(frame, first, second)) {
      Trace("ExportMp4... %s: picture at %llu does not fit its record, left out\n", plan.vids[p.file].c_str(),
            static_cast<unsigned long long>(p.offset));
      continue;
    }
    if (weave) {
      if (!weaver.Add(first, second, ticks, track, error)) return false;
      continue;
    }
    if (av_new_packet(packet.get(), static_cast<int>(first.size())) < 0) {
      error = "out of memory for a video packet";
      return false;
    }
    std::copy(first.begin(), first.end(), packet->data);
    packet->pts = packet->dts = ticks;
    if (frame.info.keyFrame) packet->flags |= AV_PKT_FLAG_KEY;
    if (!track.Write(packet.get(), error)) return false;
  }
  if ((weave && !weaver.Finish(track, error)) || !track.Finish(error) ||
      (plan.audioFrames > 0 && !audio.Finish(error)))
    return false;
  if (track.Written() == 0) {
    error = "no picture of channel " + std::to_string(request.channel + 1) + " could be decoded";
    return false;
  }
  rc = av_write_trailer(format);
  if (rc >= 0) rc = avio_closep(&format->pb);
  if (rc < 0) {
    error = "cannot finish " + request.output + ": " + AvError(rc);
    return false;
  }

  result.sha256Path = request.output + ".sha256";
  if (!WriteCheckList(plan, request.output, result.sha256Path, error)) return false;
  out.kept = true;
  result.videoFrames = track.Written();
  result.audioFrames = audio.Frames();
  result.skippedFrames = plan.skipped + (plan.videoFrames - track.Written());
  result.durationSeconds = static_cast<double>(track.EndTicks() - track.FirstTicks()) / kTicks.den;
  result.width = width;
  result.height = height;
  result.reencoded = weave;
  result.sourceFiles = plan.sourceFiles.size();
  return true;
}

}  // namespace orva
