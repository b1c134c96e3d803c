// The decoder library's decode call, as the decode workers make it: one
// coded part (frame header, then H.264) into one picture buffer. The first
// two bytes pick the picture size and the field mode; one handle lives for
// the whole run so that state carried between parts is exercised too.
#include <cstdlib>
#include <vector>

#include "h264q7.h"

namespace {

struct Size {
  int width, height;
};
constexpr Size kSizes[] = {{352, 240}, {352, 288}, {704, 240}, {704, 288}, {704, 480}, {704, 576}, {720, 576}, {16, 16}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static void* handle = zerta_h264_decoder_create(0);
  static std::vector<uint8_t> picture(1244160);
  static int openWidth = 0, openHeight = 0;
  const Size want = kSizes[data[0] & 7];
  const int fieldMode = (data[0] >> 3) % 3;
  // A short output buffer now and then, as a caller with a wrong size would pass.
  const int capacity = (data[1] & 0x80) ? static_cast<int>(picture.size()) : (data[1] & 0x7F) * 1024;
  if (want.width != openWidth || want.height != openHeight || (data[1] & 1)) {
    if (zerta_h264_decoder_open(handle, want.width, want.height) < 0) std::abort();  // every size here is valid
    openWidth = want.width;
    openHeight = want.height;
  }
  int32_t userValue = 0;
  const int result = zerta_h264_decoder_decode(handle, data + 2, static_cast<int>(size - 2), picture.data(), capacity,
                                               &userValue, fieldMode);
  if (result == H264Q7_PICTURE) {
    static std::vector<uint8_t> rgb(1244160);
    zertalib_convertYV12toRGB24(picture.data(), rgb.data(), openWidth, openHeight);
  }
  if (data[1] & 2) zerta_h264_decoder_flush(handle);
  return 0;
}
