// YV12 to 24-bit BGR, top row first, through libswscale.
#include <mutex>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "h264q7.h"

namespace {

// One scaler per picture size, kept for reuse: a client shows only a few
// sizes, so a handful of entries covers them all. A scaler is not safe for
// two threads at once, so every conversion runs under the cache's lock.
class ScalerCache {
 public:
  ScalerCache() = default;
  ScalerCache(const ScalerCache&) = delete;
  ScalerCache& operator=(const ScalerCache&) = delete;
  ~ScalerCache() {
    for (Entry& entry : m_entries) sws_freeContext(entry.scaler);
  }

  void Convert(const uint8_t* src, uint8_t* dst, int width, int height) {
    std::lock_guard<std::mutex> lock(m_lock);
    SwsContext* scaler = Find(width, height);
    if (!scaler) return;
    const int chromaWidth = width / 2;
    const uint8_t* luma = src;
    const uint8_t* v = luma + static_cast<size_t>(width) * static_cast<size_t>(height);
    const uint8_t* u = v + static_cast<size_t>(chromaWidth) * static_cast<size_t>(height / 2);
    const uint8_t* const planes[3] = {luma, u, v};
    const int strides[3] = {width, chromaWidth, chromaWidth};
    uint8_t* const out[1] = {dst};
    const int outStrides[1] = {width * 3};
    sws_scale(scaler, planes, strides, 0, height, out, outStrides);
  }

 private:
  static constexpr int kEntries = 8;
  struct Entry {
    int width = 0;
    int height = 0;
    SwsContext* scaler = nullptr;
  };

  SwsContext* Find(int width, int height) {
    for (Entry& entry : m_entries)
      if (entry.scaler && entry.width == width && entry.height == height) return entry.scaler;
    // Same size in and out: the flags only choose how chroma is upsampled.
    SwsContext* scaler = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGR24,
                                        SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!scaler) return nullptr;
    Entry& slot = m_entries[m_next];
    m_next = (m_next + 1) % kEntries;
    sws_freeContext(slot.scaler);
    slot = {width, height, scaler};
    return scaler;
  }

  std::mutex m_lock;
  Entry m_entries[kEntries];
  int m_next = 0;
};

ScalerCache& Cache() {
  static ScalerCache cache;
  return cache;
}

}  // namespace

extern "C" H264Q7_EXPORT void zertalib_convertYV12toRGB24(const uint8_t* src, uint8_t* dst, int width,
                                                            int height) {
  // Odd sizes have no YV12 layout that both sides agree on; refuse them.
  if (!src || !dst || width <= 0 || height <= 0 || width > H264Q7_MAX_DIMENSION ||
      height > H264Q7_MAX_DIMENSION || width % 2 != 0 || height % 2 != 0)
    return;
  Cache().Convert(src, dst, width, height);
}
