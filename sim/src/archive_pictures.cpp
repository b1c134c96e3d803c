#include "archive_pictures.h"

#include <algorithm>

#include "archive.h"
#include "test_picture.h"

namespace orva::sim::detail {

namespace {

constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kYellow{210, 16, 146};
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kOrange{150, 44, 192};
constexpr Yuv kBlue{41, 240, 110};

// Digits, '-' and ':' in the 5 x 7 font of SmallNumber.
void DrawText(Canvas& c, const std::string& text, int x, int y, int scale, Yuv colour) {
  for (const char ch : text) {
    if (ch >= '0' && ch <= '9') {
      SmallNumber(c, ch - '0', 1, x, y, scale, colour);
    } else if (ch == '-') {
      c.Fill(x + scale, y + 3 * scale, 3 * scale, scale, colour);
    } else if (ch == ':') {
      c.Fill(x + 2 * scale, y + 2 * scale, scale, scale, colour);
      c.Fill(x + 2 * scale, y + 4 * scale, scale, scale, colour);
    }
    x += 6 * scale;
  }
}

std::string TwoDigits(int v) { return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10); }

struct Rect {
  int x, y, w, h;
};

Rect CounterRect(const Canvas& c) {
  const int scale = std::max(1, c.height() / 120);
  // Even position and size, so the region covers whole chroma samples.
  const int w = (2 * 6 * scale + 4) & ~1, h = (7 * scale + 6) & ~3;
  return {(c.width() - w - 4 * scale) & ~1, (c.height() - h - 2 * scale) & ~3, w, h};
}

void DrawCounter(Canvas& c, int channel, int frame) {
  const Rect r = CounterRect(c);
  const int scale = std::max(1, c.height() / 120);
  c.Fill(r.x, r.y, r.w, r.h, ChannelColour(channel));
  SmallNumber(c, frame % 100, 2, r.x + 2, r.y + 2, scale, kWhite);
}

void DrawStill(Canvas& c, int channel, uint32_t second, int kind) {
  const int w = c.width(), h = c.height();
  c.Fill(0, 0, w, h, ChannelColour(channel));
  const int number = channel + 1;
  const int digitH = h / 3, digitW = std::max(8, h / 6);
  int x = w / 16;
  const int y = (h - digitH) / 2;
  if (number >= 10) {
    SevenSegmentDigit(c, number / 10, x, y, digitW, digitH, kWhite);
    x += digitW + digitW / 3;
  }
  SevenSegmentDigit(c, number % 10, x, y, digitW, digitH, kWhite);

  const CivilDate date = DateOf(second);
  const uint32_t inDay = second % 86400;
  const int scale = std::max(2, h / 80);
  const int left = w - 62 * scale;
  const int top = h / 3;
  DrawText(c, std::to_string(date.year) + "-" + TwoDigits(date.month) + "-" + TwoDigits(date.day),
           left, top, scale, kWhite);
  DrawText(c,
           TwoDigits(static_cast<int>(inDay / 3600)) + ":" +
               TwoDigits(static_cast<int>(inDay / 60 % 60)) + ":" +
               TwoDigits(static_cast<int>(inDay % 60)),
           left, top + 10 * scale, scale, kWhite);

  // Once a minute across, so even a still shows the seconds passing.
  const int barW = std::max(8, w / 16);
  c.Fill((w - barW) * static_cast<int>(second % 60) / 59, h * 3 / 4, barW, h / 12, kYellow);
  if (kind != 0) {
    c.Fill(8, 8, w / 8, h / 10, kind == 4 ? kRed : kind == 2 ? kOrange : kBlue);
  }
}

// Updates the part of `out` (as sampled by SampleTo420) that shows `r`.
void Resample(const Canvas& c, int firstLine, int step, const Rect& r, Planes420& out) {
  const int w = out.width;
  for (int row = 0; row < out.height; ++row) {
    const int line = firstLine + row * step;
    if (line < r.y || line >= r.y + r.h) continue;
    for (int col = r.x; col < r.x + r.w && col < w; ++col) {
      out.y[static_cast<size_t>(row) * w + col] = c.At(col, line).y;
    }
  }
  for (int row = 0; row < out.height / 2; ++row) {
    const int top = firstLine + row * 2 * step, bottom = top + step;
    if (bottom < r.y || top >= r.y + r.h) continue;
    for (int col = r.x / 2; col < (r.x + r.w) / 2 && col < w / 2; ++col) {
      int u = 0, v = 0;
      for (const int line : {top, bottom}) {
        for (int dx = 0; dx < 2; ++dx) {
          const Yuv p = c.At(col * 2 + dx, line);
          u += p.u;
          v += p.v;
        }
      }
      const size_t i = static_cast<size_t>(row) * (w / 2) + col;
      out.u[i] = static_cast<uint8_t>((u + 2) / 4);
      out.v[i] = static_cast<uint8_t>((v + 2) / 4);
    }
  }
}

}  // namespace

struct ArchivePictures::Encoders {
  explicit Encoders(const VideoFormat& f) : format(f), canvas(f.width, f.height) {}
  VideoFormat format;
  H264Encoder fields[2];
  Canvas canvas;
  Planes420 planes[2];
};

ArchivePictures::ArchivePictures(const SimConfig& config) : config_(config) {}

ArchivePictures::~ArchivePictures() = default;

const std::vector<uint8_t>* ArchivePictures::Find(int channel, uint32_t second, int index) {
  const int fps = config_.video.fps;
  if (channel < 0 || channel > 15 || index < 0 || index >= fps) return nullptr;
  if (!config_.archive.clock) {
    const auto& loop = loops_[static_cast<size_t>(channel)];
    if (!loop) return nullptr;
    const size_t gops = loop->frames.size() / static_cast<size_t>(fps);
    return &loop->frames[second % gops * static_cast<size_t>(fps) + static_cast<size_t>(index)];
  }
  const auto it = gops_.find({channel, second});
  if (it == gops_.end() || static_cast<size_t>(index) >= it->second.first.frames.size()) {
    return nullptr;
  }
  recent_.splice(recent_.begin(), recent_, it->second.second);
  return &it->second.first.frames[static_cast<size_t>(index)];
}

size_t ArchivePictures::LoopGops(int channel) const {
  if (config_.archive.clock || channel < 0 || channel > 15) return 0;
  const auto& loop = loops_[static_cast<size_t>(channel)];
  return loop ? loop->frames.size() / static_cast<size_t>(config_.video.fps) : 0;
}

bool ArchivePictures::Make(int channel, uint32_t second, int kind, bool keyOnly,
                           const std::function<bool()>& cancelled, std::string& error) {
  const size_t index = static_cast<size_t>(channel);
  const int fps = config_.video.fps;
  if (!config_.archive.clock) {
    if (loops_[index]) return true;
    VideoLoopKey key;
    key.channel = channel;
    key.sizeCode = config_.video.SizeCodeOf(index);
    key.pal = config_.video.pal;
    key.fps = fps;
    key.bitrateKbps = config_.video.bitrateKbps;
    key.loopSeconds = config_.video.loopSeconds;
    loops_[index] = GetVideoLoop(key, cancelled, error);
    return loops_[index] != nullptr;
  }
  const Key key{channel, second};
  const auto found = gops_.find(key);
  if (found != gops_.end() && (keyOnly || found->second.first.frames.size() == static_cast<size_t>(fps))) {
    return true;
  }
  Gop gop;
  if (!Encode(channel, second, kind, keyOnly ? 1 : fps, gop, error)) return false;
  if (found != gops_.end()) {
    recent_.erase(found->second.second);
    gops_.erase(found);
  }
  recent_.push_front(key);
  gops_.emplace(key, std::make_pair(std::move(gop), recent_.begin()));
  while (gops_.size() > kCachedGops) {
    gops_.erase(recent_.back());
    recent_.pop_back();
  }
  return true;
}

bool ArchivePictures::Encode(int channel, uint32_t second, int kind, int frameCount, Gop& gop,
                             std::string& error) {
  auto& encoders = encoders_[static_cast<size_t>(channel)];
  if (!encoders) {
    const VideoFormat format =
        VideoFormatFor(config_.video.SizeCodeOf(static_cast<size_t>(channel)), config_.video.pal);
    auto made = std::make_unique<Encoders>(format);
    for (int f = 0; f < (format.twoFields ? 2 : 1); ++f) {
      if (!made->fields[f].Open(format.width, format.codedHeight(), config_.video.fps,
                                config_.video.bitrateKbps, error)) {
        return false;
      }
    }
    encoders = std::move(made);
  }
  Encoders& e = *encoders;
  const VideoFormat& format = e.format;
  const int fieldCount = format.twoFields ? 2 : 1;
  const int step = format.twoFields ? 2 : 1;
  DrawStill(e.canvas, channel, second, kind);
  for (int frame = 0; frame < frameCount; ++frame) {
    DrawCounter(e.canvas, channel, frame);
    std::vector<EncodedPicture> coded[2];
    for (int f = 0; f < fieldCount; ++f) {
      const int first = format.twoFields ? f : 0;
      if (frame == 0) {
        SampleTo420(e.canvas, first, step, e.planes[f]);
      } else {
        Resample(e.canvas, first, step, CounterRect(e.canvas), e.planes[f]);
      }
      if (!e.fields[f].Encode(e.planes[f], frame == 0, coded[f], error)) return false;
      if (coded[f].size() != 1 || coded[f][0].key != (frame == 0)) {
        error = "archive encoder did not return one picture with a key frame at the GOP start";
        return false;
      }
    }
    std::vector<uint8_t> data;
    if (!BuildVideoFrameData(format, channel, frame == 0, coded[0][0].bytes,
                             format.twoFields ? &coded[1][0].bytes : nullptr, data, error)) {
      return false;
    }
    gop.frames.push_back(std::move(data));
  }
  return true;
}

}  // namespace orva::sim::detail
