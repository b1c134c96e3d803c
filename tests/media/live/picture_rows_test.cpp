// The finishing pass's row operations against a plain per-byte reference:
// rounding down at every byte position (vector body, eight-byte steps and
// the tail), which lines the interpolation replaces, and the bottom-up turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "../../../media/src/picture_rows.h"

namespace orva {
namespace {

uint8_t Floor(uint8_t a, uint8_t b) { return static_cast<uint8_t>((a + b) / 2); }

std::vector<uint8_t> Random(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> v(n);
  for (auto& c : v) c = static_cast<uint8_t>(random());
  return v;
}

TEST(PictureRows, AverageRoundsDownAtEveryPositionAndLength) {
  const std::vector<std::pair<uint8_t, uint8_t>> extremes = {{0, 0}, {0, 1}, {1, 2}, {0, 255}, {255, 255},
                                                             {254, 255}, {127, 128}, {128, 129}};
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 24u, 31u, 33u, 352u, 705u, 1056u}) {
    // Random rows, and rows of each extreme pair.
    std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> cases = {
        {Random(n, static_cast<uint32_t>(n)), Random(n, static_cast<uint32_t>(n) + 1000)}};
    for (auto [x, y] : extremes) cases.push_back({std::vector<uint8_t>(n, x), std::vector<uint8_t>(n, y)});
    for (const auto& [a, b] : cases) {
      std::vector<uint8_t> out(n + 1, 0xAB);  // one guard byte past the row
      AverageRow(a.data(), b.data(), out.data(), n);
      for (size_t i = 0; i < n; ++i) ASSERT_EQ(out[i], Floor(a[i], b[i])) << "n=" << n << " i=" << i;
      EXPECT_EQ(out[n], 0xAB) << "wrote past the row, n=" << n;
      // In place, as the interpolation runs: the output is the first input.
      std::vector<uint8_t> inPlace = a;
      AverageRow(inPlace.data(), b.data(), inPlace.data(), n);
      EXPECT_TRUE(std::equal(inPlace.begin(), inPlace.end(), out.begin())) << "in place, n=" << n;
    }
  }
}

TEST(PictureRows, FillReplacesOnlyOddLinesBetweenTwoLinesAndKeepsTheLast) {
  for (int lines : {1, 2, 3, 4, 5, 6, 7, 240, 480}) {
    for (size_t stride : {size_t{17}, size_t{352}, size_t{704}}) {
      const std::vector<uint8_t> before = Random(stride * static_cast<size_t>(lines), static_cast<uint32_t>(lines));
      std::vector<uint8_t> plane = before;
      FillSecondField(plane.data(), stride, lines);
      for (int r = 0; r < lines; ++r) {
        const bool filled = (r & 1) && r + 1 < lines;
        for (size_t x = 0; x < stride; ++x) {
          const size_t at = static_cast<size_t>(r) * stride + x;
          const uint8_t want = filled ? Floor(before[at - stride], before[at + stride]) : before[at];
          ASSERT_EQ(plane[at], want) << "lines=" << lines << " stride=" << stride << " row " << r;
        }
      }
    }
  }
}

// The worker interpolates right after the first field and takes from the
// second only the lines the interpolation keeps: the picture must be the one
// of decoding both fields into it and interpolating afterwards.
TEST(PictureRows, InterpolatingBeforeTheSecondFieldGivesTheSamePicture) {
  for (int height : {2, 4, 6, 8, 10, 240, 480, 576}) {
    for (int width : {16, 352, 704}) {
      const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
      const size_t bytes = luma + 2 * static_cast<size_t>(width / 2) * static_cast<size_t>(height / 2);
      const std::vector<uint8_t> first = Random(bytes, static_cast<uint32_t>(height * 1000 + width));
      const std::vector<uint8_t> second = Random(bytes, static_cast<uint32_t>(height * 1000 + width + 1));
      // Both fields in one picture: each plane's odd lines from the second.
      std::vector<uint8_t> both = first;
      const size_t chroma = static_cast<size_t>(width / 2);
      const size_t planes[3][3] = {{0, static_cast<size_t>(width), static_cast<size_t>(height)},
                                   {luma, chroma, static_cast<size_t>(height / 2)},
                                   {luma + chroma * static_cast<size_t>(height / 2), chroma,
                                    static_cast<size_t>(height / 2)}};
      for (const auto& p : planes)
        for (size_t r = 1; r < p[2]; r += 2)
          std::copy_n(second.begin() + static_cast<long>(p[0] + r * p[1]), p[1],
                      both.begin() + static_cast<long>(p[0] + r * p[1]));
      FillSecondFieldYv12(both.data(), width, height);
      std::vector<uint8_t> early = first;
      FillSecondFieldYv12(early.data(), width, height);
      CopyKeptSecondFieldLines(second.data(), early.data(), width, height);
      EXPECT_EQ(early, both) << width << " x " << height;
    }
  }
}

TEST(PictureRows, BottomUpTurnsRowsAndInterpolatesCountedFromTheTop) {
  for (int lines : {1, 2, 5, 6, 480}) {
    for (bool fill : {false, true}) {
      const size_t stride = 704 * 3;
      const std::vector<uint8_t> src = Random(stride * static_cast<size_t>(lines), 7);
      std::vector<uint8_t> dst(src.size(), 0);
      BottomUpRows(src.data(), dst.data(), stride, lines, fill);
      for (int r = 0; r < lines; ++r) {
        const bool filled = fill && (r & 1) && r + 1 < lines;
        const size_t out = static_cast<size_t>(lines - 1 - r) * stride;
        for (size_t x = 0; x < stride; x += 97) {
          const size_t at = static_cast<size_t>(r) * stride + x;
          const uint8_t want = filled ? Floor(src[at - stride], src[at + stride]) : src[at];
          ASSERT_EQ(dst[out + x], want) << "lines=" << lines << " fill=" << fill << " row " << r;
        }
      }
    }
  }
}

}  // namespace
}  // namespace orva
