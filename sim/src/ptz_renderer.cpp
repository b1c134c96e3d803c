#include "ptz_renderer.h"

#include <algorithm>

#include "ptz_cameras.h"

namespace orva::sim::detail {

namespace {
constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kBlack{16, 128, 128};
constexpr Yuv kGrey{90, 128, 128};
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kGreen{145, 54, 34};
constexpr Yuv kBlue{41, 240, 110};
constexpr Yuv kYellow{210, 16, 146};
constexpr Yuv kMenuBack{40, 160, 120};
}  // namespace

PtzRenderer::PtzRenderer(int channel, const VideoFormat& format, int fps, int bitrateKbps)
    : channel_(channel),
      format_(format),
      fps_(fps),
      bitrateKbps_(bitrateKbps),
      scene_(format.width * kPtzSceneScale, format.height * kPtzSceneScale),
      view_(format.width, format.height) {}

bool PtzRenderer::Open(std::string& error) {
  const int fieldCount = format_.twoFields ? 2 : 1;
  for (int f = 0; f < fieldCount; ++f) {
    if (!encoders_[f].Open(format_.width, format_.codedHeight(), fps_, bitrateKbps_, error)) {
      return false;
    }
  }
  DrawScene();
  return true;
}

void PtzRenderer::DrawScene() {
  const int w = format_.width, h = format_.height;
  const int sw = scene_.width(), sh = scene_.height();
  scene_.Fill(0, 0, sw, sh, ChannelColour(channel_));
  // A grid every quarter picture, so any pan shows lines moving.
  for (int x = 0; x < sw; x += w / 4) scene_.Fill(x, 0, 2, sh, kGrey);
  for (int y = 0; y < sh; y += h / 4) scene_.Fill(0, y, sw, 2, kGrey);
  // A coloured block near each corner and the channel number in the middle.
  scene_.Fill(w / 2, h / 2, w / 2, h / 2, kRed);
  scene_.Fill(sw - w, h / 2, w / 2, h / 2, kGreen);
  scene_.Fill(w / 2, sh - h, w / 2, h / 2, kBlue);
  scene_.Fill(sw - w, sh - h, w / 2, h / 2, kYellow);
  const int number = channel_ + 1;
  const int digitW = w / 6, digitH = h / 2;
  const int left = sw / 2 - (number >= 10 ? digitW + digitW / 4 : digitW / 2);
  const int top = sh / 2 - digitH / 2;
  if (number >= 10) {
    SevenSegmentDigit(scene_, number / 10, left, top, digitW, digitH, kWhite);
    SevenSegmentDigit(scene_, number % 10, left + digitW * 3 / 2, top, digitW, digitH, kWhite);
  } else {
    SevenSegmentDigit(scene_, number, left, top, digitW, digitH, kWhite);
  }
  // A white square just right of the number to tell the pan direction.
  scene_.Fill(sw / 2 + w / 4, sh / 2 - h / 8, w / 8, h / 8, kWhite);
}

void PtzRenderer::DrawView(const PtzState& view) {
  const int w = format_.width, h = format_.height;
  const int zoom = std::max(view.zoom, 1);
  for (int py = 0; py < h; ++py) {
    const int sy = std::clamp(view.y + (py - h / 2) * 100 / zoom, 0, scene_.height() - 1);
    for (int px = 0; px < w; ++px) {
      const int sx = std::clamp(view.x + (px - w / 2) * 100 / zoom, 0, scene_.width() - 1);
      view_.Fill(px, py, 1, 1, scene_.At(sx, sy));
    }
  }
}

void PtzRenderer::DrawMenu(int row) {
  const int w = format_.width, h = format_.height;
  const int left = w / 8, top = h / 8, boxW = w / 2, rowH = h / 8;
  view_.Fill(left - 2, top - 2, boxW + 4, rowH * kPtzMenuRows + 4, kWhite);
  view_.Fill(left, top, boxW, rowH * kPtzMenuRows, kMenuBack);
  for (int r = 0; r < kPtzMenuRows; ++r) {
    const int y = top + r * rowH;
    if (r == row) view_.Fill(left, y, boxW, rowH, kYellow);
    const int scale = std::max(1, rowH / 10);
    SmallNumber(view_, r + 1, 1, left + 4, y + (rowH - 7 * scale) / 2, scale,
                r == row ? kBlack : kWhite);
    // The item's "label": a bar whose length differs per row.
    view_.Fill(left + 8 + 6 * scale, y + rowH / 2 - 1, boxW / 3 + r * boxW / 10, 3,
               r == row ? kBlack : kWhite);
  }
}

bool PtzRenderer::Next(const PtzState& view, bool forceKey, std::vector<uint8_t>& frameData,
                       bool& key, std::string& error) {
  DrawView(view);
  if (view.menuOpen) DrawMenu(view.menuRow);
  const int fieldCount = format_.twoFields ? 2 : 1;
  std::vector<EncodedPicture> coded[2];
  for (int f = 0; f < fieldCount; ++f) {
    SampleTo420(view_, format_.twoFields ? f : 0, format_.twoFields ? 2 : 1, planes_);
    if (!encoders_[f].Encode(planes_, forceKey, coded[f], error)) return false;
    // Live frames cannot wait: the encoder must give each picture back at once.
    if (coded[f].size() != 1) {
      error = "live encoder returned " + std::to_string(coded[f].size()) + " pictures for one";
      return false;
    }
  }
  key = coded[0][0].key;
  if (format_.twoFields && coded[1][0].key != key) {
    error = "the two fields disagree on the key frame";
    return false;
  }
  frameData.clear();
  return BuildVideoFrameData(format_, channel_, key, coded[0][0].bytes,
                             format_.twoFields ? &coded[1][0].bytes : nullptr, frameData, error);
}

}  // namespace orva::sim::detail
