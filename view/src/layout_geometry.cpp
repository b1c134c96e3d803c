#include "orva/view/layout_geometry.h"

#include <cstdio>

#include "orva/link/time_convert.h"

namespace orva::view {

namespace {

// A cell span of a grid: columns c0..c1 and rows r0..r1, inclusive.
struct Span {
  int c0, c1, r0, r1;
};

constexpr int kPerPage[kLayoutCount] = {1, 4, 6, 7, 7, 8, 9, 10, 10, 10, 10, 13, 13, 13, 16};

// Grid size (2, 3 or 4) of each layout; layout 0 has none.
constexpr int kGrid[kLayoutCount] = {0, 2, 3, 4, 4, 4, 3, 4, 4, 4, 4, 4, 4, 4, 4};

std::vector<Span> Spans(int layout) {
  auto one = [](int c, int r) { return Span{c, c, r, r}; };
  auto rowByRow = [&](int n) {
    std::vector<Span> s;
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c) s.push_back(one(c, r));
    return s;
  };
  switch (layout) {
    case 1: return rowByRow(2);
    case 2: return {{0, 1, 0, 1}, one(2, 0), one(2, 1), one(0, 2), one(1, 2), one(2, 2)};
    case 3: return {{0, 1, 0, 1}, {2, 3, 0, 1}, {0, 1, 2, 3}, one(2, 2), one(3, 2), one(2, 3), one(3, 3)};
    case 4: return {{0, 1, 0, 1}, {2, 3, 0, 1}, one(0, 2), one(0, 3), {1, 2, 2, 3}, one(3, 2), one(3, 3)};
    case 5: return {{0, 2, 0, 2}, one(3, 0), one(3, 1), one(3, 2), one(0, 3), one(1, 3), one(2, 3), one(3, 3)};
    case 6: return rowByRow(3);
    case 7:
      return {{0, 1, 0, 1}, {2, 3, 0, 1}, one(0, 2), one(1, 2), one(2, 2),
              one(3, 2),    one(0, 3),    one(1, 3), one(2, 3), one(3, 3)};
    case 8:
      return {{0, 1, 0, 1}, one(2, 0), one(3, 0), one(2, 1), one(3, 1),
              one(0, 2),    one(1, 2), one(0, 3), one(1, 3), {2, 3, 2, 3}};
    case 9:
      return {one(0, 0), one(1, 0), one(2, 0), one(3, 0), {0, 1, 1, 2},
              {2, 3, 1, 2}, one(0, 3), one(1, 3), one(2, 3), one(3, 3)};
    case 10:
      return {one(0, 0), one(1, 0), one(0, 1),    one(1, 1), {2, 3, 0, 1},
              one(0, 2), one(0, 3), {1, 2, 2, 3}, one(3, 2), one(3, 3)};
    case 11:
      return {{0, 1, 0, 1}, one(2, 0), one(3, 0), one(2, 1), one(3, 1), one(0, 2), one(1, 2),
              one(2, 2),    one(3, 2), one(0, 3), one(1, 3), one(2, 3), one(3, 3)};
    case 12:
      return {one(0, 0), one(1, 0), one(2, 0), one(3, 0), {0, 1, 1, 2}, one(2, 1), one(3, 1),
              one(2, 2), one(3, 2), one(0, 3), one(1, 3), one(2, 3),    one(3, 3)};
    case 13:
      return {one(0, 0), one(1, 0), one(2, 0), one(3, 0), one(0, 1), one(0, 2), {1, 2, 1, 2},
              one(3, 1), one(3, 2), one(0, 3), one(1, 3), one(2, 3), one(3, 3)};
    case 14: return rowByRow(4);
    default: return {};
  }
}

// Lines of an n x n grid over `extent`: index 0 and n are the outer edges,
// 1..n-1 the inner lines (W/2; W/3, 2(W/3); q, 2q, 3q).
std::vector<int> Lines(int n, int extent) {
  std::vector<int> lines(static_cast<size_t>(n) + 1);
  const int step = extent / n;
  for (int i = 1; i < n; ++i) lines[static_cast<size_t>(i)] = i * step;
  lines[0] = 0;
  lines[static_cast<size_t>(n)] = extent;
  return lines;
}

// The low edge of cell i: 2b from the view edge or b after an inner line;
// the high edge (exclusive): 2b before the view edge or b before a line.
int LowEdge(const std::vector<int>& lines, int i, int b) { return i == 0 ? 2 * b : lines[static_cast<size_t>(i)] + b; }
int HighEdge(const std::vector<int>& lines, int i, int b) {
  const size_t n = lines.size() - 1;
  return static_cast<size_t>(i) + 1 == n ? lines[n] - 2 * b : lines[static_cast<size_t>(i) + 1] - b;
}

}  // namespace

int WindowsPerPage(int layout) { return layout >= 0 && layout < kLayoutCount ? kPerPage[layout] : 0; }

std::vector<Rect> LayoutRects(int layout, int w, int h, int b) {
  std::vector<Rect> rects;
  if (layout < 0 || layout >= kLayoutCount) return rects;
  if (layout == 0) {
    rects.push_back({2 * b, 2 * b, w - 2 * b, h - 2 * b});
    return rects;
  }
  const int n = kGrid[layout];
  const std::vector<int> cols = Lines(n, w), rows = Lines(n, h);
  for (const Span& s : Spans(layout))
    rects.push_back({LowEdge(cols, s.c0, b), LowEdge(rows, s.r0, b), HighEdge(cols, s.c1, b), HighEdge(rows, s.r1, b)});
  return rects;
}

std::vector<int> PageWindows(int layout, int page) {
  const int k = WindowsPerPage(layout);
  std::vector<int> windows(static_cast<size_t>(k), -1);
  if (k == 0 || page < 0) return windows;
  // Layout 6 overlaps its two pages: the second shows windows 7-15.
  const int first = layout == 6 ? (page == 0 ? 0 : page == 1 ? 7 : kWindowCount) : page * k;
  for (int i = 0; i < k; ++i)
    if (first + i < kWindowCount) windows[static_cast<size_t>(i)] = first + i;
  return windows;
}

std::array<int, kLayoutCount> PageCounts(int channelCount) {
  if (channelCount <= 4) return {4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  if (channelCount <= 8) return {8, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  return {16, 4, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1};
}

int StartingLayout(int channelCount) { return channelCount <= 4 ? 1 : channelCount <= 8 ? 6 : 14; }

Crop CropFor(int height) {
  if (height == 240 || height == 288) return {8, 4};
  if (height == 480 || height == 576) return {16, 8};
  return {};
}

int TitleLimit(int windowWidth) {
  if (windowWidth >= 199 && windowWidth <= 266) return 69;
  if (windowWidth >= 267 && windowWidth <= 401) return 121;
  if (windowWidth >= 402 && windowWidth <= 537) return 212;
  return 0;
}

std::string SnapshotTimeText(uint32_t wireSeconds, int dateFormat) {
  return FormatRecorderTime(wireSeconds, dateFormat, "  ");
}

}  // namespace orva::view
