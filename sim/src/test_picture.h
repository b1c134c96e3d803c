// The moving test picture of one channel: its own background colour, the
// channel number in large seven-segment digits, a bar sweeping across and a
// small frame counter. Drawn at full resolution in 4:4:4 and then sampled to
// the 4:2:0 planes the encoder takes, optionally as one field of the picture.
#pragma once

#include <cstdint>
#include <vector>

namespace orva::sim::detail {

struct Yuv {
  uint8_t y, u, v;
};

class Canvas {
 public:
  Canvas(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  // Fills the rectangle, clipped to the canvas.
  void Fill(int x, int y, int w, int h, Yuv colour);
  void FillLine(int x, int y, int w, Yuv colour) { Fill(x, y, w, 1, colour); }
  Yuv At(int x, int y) const;

 private:
  int width_, height_;
  std::vector<uint8_t> y_, u_, v_;
};

struct Planes420 {
  int width = 0, height = 0;
  std::vector<uint8_t> y, u, v;  // width x height, then two (width/2) x (height/2)
};

// Draws frame `frame` of a loop of `loopFrames` frames for `channel` (0-15).
// With `fieldMarker` a patch whose even lines are black and odd lines white
// is added at the top right, so the two fields of the picture differ there.
void DrawTestPicture(Canvas& canvas, int channel, int frame, int loopFrames, bool fieldMarker);

// Samples lines first, first + step, ... of the canvas into 4:2:0 planes of
// canvas width x (canvas height / step). Step 1 is the whole picture; step 2
// with first 0 or 1 gives the first or second field.
void SampleTo420(const Canvas& canvas, int firstLine, int lineStep, Planes420& out);

// A digit 0-9 in seven segments filling w x h at (x, y).
void SevenSegmentDigit(Canvas& c, int digit, int x, int y, int w, int h, Yuv colour);
// `value` as `digits` decimal digits of a 5 x 7 font scaled by `scale`.
void SmallNumber(Canvas& c, int value, int digits, int x, int y, int scale, Yuv colour);

// Background colour of a channel, distinct for each of the 16 channels.
Yuv ChannelColour(int channel);

}  // namespace orva::sim::detail
