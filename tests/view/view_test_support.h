// Helpers for the video view tests: pictures written into the channel
// store the way the decode workers write them, and pixel checks.
#pragma once

#include <QColor>
#include <QImage>
#include <cstdint>

#include "orva/view/video_view.h"

namespace orva::view::test {

struct Bands {
  QColor top, middle, bottom;  // crop rows at the top, shown rows, crop rows at the bottom
};

// A bottom-up BGR24 picture: the cropped lines at top and bottom in their
// own colours, every shown line in `middle`.
void StoreRgbPicture(CVideoView& view, int channel, int width, int height, const Bands& bands);
// A YV12 picture (Y, V, U planes) with one (Y, U, V) per band.
struct Yuv {
  uint8_t y, u, v;
};
void StoreYv12Picture(CVideoView& view, int channel, int width, int height, Yuv top, Yuv middle, Yuv bottom);
// Marks channels present with a picture and no stream behind them.
void MarkPresent(CVideoView& view, uint16_t mask, bool hasPicture = true);

bool Near(QColor a, QColor b, int tolerance = 24);
// Median and 99th percentile of the samples (0 when empty).
void Percentiles(QVector<double> samples, double& median, double& p99);

}  // namespace orva::view::test

namespace orva::view::test {
// 16 worker threads store pictures (352 x 240, YV12 or RGB by the view's
// draw mode) at `fps` and call DrawChannel for `ms` milliseconds while the
// GUI thread runs its event loop. Returns the pictures fed.
int FeedSixteenChannels(CVideoView& view, int fps, int ms);
}  // namespace orva::view::test
