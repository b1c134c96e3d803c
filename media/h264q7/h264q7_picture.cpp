#include "h264q7_picture.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "h264q7.h"

namespace h264q7 {
namespace {

struct SourcePlane {
  const uint8_t* data;
  int stride;
  int width;
  int height;
};

struct TargetPlane {
  size_t offset;  // from the start of the output
  int width;
  int height;
};

// Copies the source rows to target rows row * step + parity, clipped to the
// target plane and to the capacity of the output.
void CopyPlane(const SourcePlane& source, const TargetPlane& target, int step, int parity, uint8_t* output,
               size_t capacity) {
  const size_t columns = static_cast<size_t>(std::min(source.width, target.width));
  for (int row = 0; row < source.height; ++row) {
    const long targetRow = static_cast<long>(row) * step + parity;
    if (targetRow >= target.height) return;
    const size_t offset = target.offset + static_cast<size_t>(targetRow) * static_cast<size_t>(target.width);
    if (offset >= capacity) return;
    const size_t count = std::min(columns, capacity - offset);
    std::memcpy(output + offset, source.data + static_cast<ptrdiff_t>(row) * source.stride, count);
  }
}

}  // namespace

size_t Yv12Bytes(int width, int height) {
  const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
  return luma + 2 * (static_cast<size_t>(width / 2) * static_cast<size_t>(height / 2));
}

int WritePicture(const AVFrame& frame, uint8_t* output, size_t capacity, int width, int height, int fieldMode) {
  if (frame.format != AV_PIX_FMT_YUV420P && frame.format != AV_PIX_FMT_YUVJ420P) return H264Q7_ERR_FORMAT;
  if (frame.width <= 0 || frame.height <= 0 || frame.linesize[0] <= 0 || frame.linesize[1] <= 0 ||
      frame.linesize[2] <= 0)
    return H264Q7_ERR_FORMAT;

  const bool field = fieldMode != H264Q7_FIELD_NONE;
  const int step = field ? 2 : 1;
  const int parity = fieldMode == H264Q7_FIELD_ODD ? 1 : 0;

  const int chromaWidth = width / 2;
  const int chromaHeight = height / 2;
  const size_t lumaBytes = static_cast<size_t>(width) * static_cast<size_t>(height);
  const size_t chromaBytes = static_cast<size_t>(chromaWidth) * static_cast<size_t>(chromaHeight);

  // libavcodec rounds chroma sizes up for odd picture sizes.
  const int frameChromaWidth = (frame.width + 1) / 2;
  const int frameChromaHeight = (frame.height + 1) / 2;

  // YV12 keeps V before U; AVFrame planes are Y, U (Cb), V (Cr).
  CopyPlane({frame.data[0], frame.linesize[0], frame.width, frame.height}, {0, width, height}, step, parity, output,
            capacity);
  CopyPlane({frame.data[2], frame.linesize[2], frameChromaWidth, frameChromaHeight},
            {lumaBytes, chromaWidth, chromaHeight}, step, parity, output, capacity);
  CopyPlane({frame.data[1], frame.linesize[1], frameChromaWidth, frameChromaHeight},
            {lumaBytes + chromaBytes, chromaWidth, chromaHeight}, step, parity, output, capacity);

  const int expectedHeight = field ? height / 2 : height;
  if (frame.width != width || frame.height != expectedHeight) return H264Q7_ERR_SIZE;
  if (capacity < Yv12Bytes(width, height)) return H264Q7_ERR_CAPACITY;
  return H264Q7_PICTURE;
}

}  // namespace h264q7
