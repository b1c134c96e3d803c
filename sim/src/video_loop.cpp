#include "video_loop.h"

#include <map>
#include <mutex>

#include "h264_encoder.h"
#include "test_picture.h"

namespace orva::sim::detail {

namespace {

struct CacheEntry {
  std::mutex mutex;  // held while the loop is encoded, so it is encoded once
  std::shared_ptr<const VideoLoop> loop;
};

std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<VideoLoopKey, std::shared_ptr<CacheEntry>>& Cache() {
  static std::map<VideoLoopKey, std::shared_ptr<CacheEntry>> cache;
  return cache;
}

bool Encode(const VideoLoopKey& key, const std::function<bool()>& cancelled, VideoLoop& loop,
            std::string& error) {
  loop.format = VideoFormatFor(key.sizeCode, key.pal);
  const VideoFormat& format = loop.format;
  const int fieldCount = format.twoFields ? 2 : 1;
  H264Encoder encoders[2];
  for (int f = 0; f < fieldCount; ++f) {
    if (!encoders[f].Open(format.width, format.codedHeight(), key.fps, key.bitrateKbps, error)) {
      return false;
    }
  }
  const int frameCount = key.fps * key.loopSeconds;
  std::vector<EncodedPicture> coded[2];
  Canvas canvas(format.width, format.height);
  Planes420 planes;
  for (int frame = 0; frame < frameCount; ++frame) {
    if (cancelled && cancelled()) {
      error = "cancelled";
      return false;
    }
    DrawTestPicture(canvas, key.channel, frame, frameCount, format.twoFields);
    const bool forceKey = frame % key.fps == 0;
    for (int f = 0; f < fieldCount; ++f) {
      // A field is every other line: the first field the even lines.
      SampleTo420(canvas, format.twoFields ? f : 0, format.twoFields ? 2 : 1, planes);
      if (!encoders[f].Encode(planes, forceKey, coded[f], error)) return false;
    }
  }
  for (int f = 0; f < fieldCount; ++f) {
    if (!encoders[f].Finish(coded[f], error)) return false;
    if (coded[f].size() != static_cast<size_t>(frameCount)) {
      error = "encoder produced " + std::to_string(coded[f].size()) + " pictures for " +
              std::to_string(frameCount) + " inputs";
      return false;
    }
  }
  for (int frame = 0; frame < frameCount; ++frame) {
    const EncodedPicture& first = coded[0][static_cast<size_t>(frame)];
    const bool key0 = frame % key.fps == 0;
    if (first.key != key0 ||
        (format.twoFields && coded[1][static_cast<size_t>(frame)].key != key0)) {
      error = "encoder did not put key frames at the GOP starts";
      return false;
    }
    std::vector<uint8_t> data;
    const std::vector<uint8_t>* second =
        format.twoFields ? &coded[1][static_cast<size_t>(frame)].bytes : nullptr;
    if (!BuildVideoFrameData(format, key.channel, key0, first.bytes, second, data, error)) {
      return false;
    }
    loop.frames.push_back(std::move(data));
    loop.key.push_back(key0);
  }
  return true;
}

}  // namespace

std::shared_ptr<const VideoLoop> GetVideoLoop(const VideoLoopKey& key,
                                              const std::function<bool()>& cancelled,
                                              std::string& error) {
  std::shared_ptr<CacheEntry> entry;
  {
    const std::lock_guard<std::mutex> lock(CacheMutex());
    std::shared_ptr<CacheEntry>& slot = Cache()[key];
    if (!slot) slot = std::make_shared<CacheEntry>();
    entry = slot;
  }
  const std::lock_guard<std::mutex> lock(entry->mutex);
  if (entry->loop) return entry->loop;
  auto loop = std::make_shared<VideoLoop>();
  if (!Encode(key, cancelled, *loop, error)) return nullptr;
  entry->loop = std::move(loop);
  return entry->loop;
}

}  // namespace orva::sim::detail
