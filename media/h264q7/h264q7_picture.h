// Placing a decoded picture into the caller's YV12 output.
#pragma once

#include <cstddef>
#include <cstdint>

struct AVFrame;

namespace h264q7 {

// Bytes of a YV12 picture of this size (luma plus two quarter-size chroma planes).
size_t Yv12Bytes(int width, int height);

// Writes `frame` into `output` (capacity bytes), a YV12 picture of
// width x height. Field mode 0 copies the picture as it is; modes 1 and 2
// take it as one field of half the height and write its lines into the even
// (1) or odd (2) lines of each plane. Writes only what lies inside both the
// picture and the capacity. Returns H264Q7_PICTURE, or a negative result
// when the frame's size or format does not match or the capacity is short.
int WritePicture(const AVFrame& frame, uint8_t* output, size_t capacity, int width, int height, int fieldMode);

}  // namespace h264q7
