#include "picture_rows.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orva {

void AverageRow(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  size_t x = 0;
#if defined(__SSE2__)
  // The byte average instruction rounds up; taking away the low bit of
  // a ^ b (set exactly when a + b is odd) rounds it down instead.
  const __m128i one = _mm_set1_epi8(1);
  for (; x + 16 <= n; x += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    const __m128i odd = _mm_and_si128(_mm_xor_si128(va, vb), one);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_sub_epi8(_mm_avg_epu8(va, vb), odd));
  }
#endif
  // Eight bytes at a time: common bits plus half the differing ones.
  for (; x + 8 <= n; x += 8) {
    uint64_t va, vb;
    std::memcpy(&va, a + x, 8);
    std::memcpy(&vb, b + x, 8);
    const uint64_t avg = (va & vb) + (((va ^ vb) & 0xFEFEFEFEFEFEFEFEull) >> 1);
    std::memcpy(out + x, &avg, 8);
  }
  for (; x < n; ++x) out[x] = static_cast<uint8_t>((a[x] + b[x]) >> 1);
}

void FillSecondField(uint8_t* plane, size_t stride, int lines) {
  for (int r = 1; r + 1 < lines; r += 2) {
    uint8_t* row = plane + static_cast<size_t>(r) * stride;
    AverageRow(row - stride, row + stride, row, stride);
  }
}

namespace {

struct Plane {
  size_t offset;
  size_t stride;
  int lines;
  bool fill;
};

std::array<Plane, 3> Yv12Planes(int width, int height) {
  const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
  const size_t chroma = static_cast<size_t>(width / 2);
  const bool fillChroma = height >= 6;
  return {{{0, static_cast<size_t>(width), height, true},
           {luma, chroma, height / 2, fillChroma},
           {luma + chroma * static_cast<size_t>(height / 2), chroma, height / 2, fillChroma}}};
}

}  // namespace

void FillSecondFieldYv12(uint8_t* picture, int width, int height) {
  for (const Plane& p : Yv12Planes(width, height))
    if (p.fill) FillSecondField(picture + p.offset, p.stride, p.lines);
}

void CopyKeptSecondFieldLines(const uint8_t* field, uint8_t* picture, int width, int height) {
  for (const Plane& p : Yv12Planes(width, height)) {
    for (int r = 1; r < p.lines; r += 2) {
      if (p.fill && r + 1 < p.lines) continue;  // replaced by the interpolation
      const size_t at = p.offset + static_cast<size_t>(r) * p.stride;
      std::memcpy(picture + at, field + at, p.stride);
    }
  }
}

void BottomUpRows(const uint8_t* src, uint8_t* dst, size_t stride, int lines, bool fill) {
  for (int r = 0; r < lines; ++r) {
    uint8_t* out = dst + static_cast<size_t>(lines - 1 - r) * stride;
    const uint8_t* row = src + static_cast<size_t>(r) * stride;
    if (fill && (r & 1) && r + 1 < lines) {
      AverageRow(row - stride, row + stride, out, stride);
    } else {
      std::memcpy(out, row, stride);
    }
  }
}

}  // namespace orva
