// The Qt-free geometry: rectangles of every layout, pages, page counts,
// cropping, title limits and the snapshot date text.
#include <gtest/gtest.h>

#include "orva/view/layout_geometry.h"

using namespace orva::view;

namespace {

// The main window's view: (53, 72)-(868, 620), border 1. Grid lines at
// W/2 = 407, W/3 = 271, q = 203 and H/2 = 274, H/3 = 182, r = 137; every
// rectangle right/bottom exclusive, 2 px from the view edge and 1 px from
// each inner line.
const std::vector<std::vector<Rect>> kExpected815x548 = {
    {{2, 2, 813, 546}},
    {{2, 2, 406, 273}, {408, 2, 813, 273}, {2, 275, 406, 546}, {408, 275, 813, 546}},
    {{2, 2, 541, 363}, {543, 2, 813, 181}, {543, 183, 813, 363}, {2, 365, 270, 546}, {272, 365, 541, 546}, {543, 365, 813, 546}},
    {{2, 2, 405, 273}, {407, 2, 813, 273}, {2, 275, 405, 546}, {407, 275, 608, 410}, {610, 275, 813, 410}, {407, 412, 608, 546}, {610, 412, 813, 546}},
    {{2, 2, 405, 273}, {407, 2, 813, 273}, {2, 275, 202, 410}, {2, 412, 202, 546}, {204, 275, 608, 546}, {610, 275, 813, 410}, {610, 412, 813, 546}},
    {{2, 2, 608, 410}, {610, 2, 813, 136}, {610, 138, 813, 273}, {610, 275, 813, 410}, {2, 412, 202, 546}, {204, 412, 405, 546}, {407, 412, 608, 546}, {610, 412, 813, 546}},
    {{2, 2, 270, 181}, {272, 2, 541, 181}, {543, 2, 813, 181}, {2, 183, 270, 363}, {272, 183, 541, 363}, {543, 183, 813, 363}, {2, 365, 270, 546}, {272, 365, 541, 546}, {543, 365, 813, 546}},
    {{2, 2, 405, 273}, {407, 2, 813, 273}, {2, 275, 202, 410}, {204, 275, 405, 410}, {407, 275, 608, 410}, {610, 275, 813, 410}, {2, 412, 202, 546}, {204, 412, 405, 546}, {407, 412, 608, 546}, {610, 412, 813, 546}},
    {{2, 2, 405, 273}, {407, 2, 608, 136}, {610, 2, 813, 136}, {407, 138, 608, 273}, {610, 138, 813, 273}, {2, 275, 202, 410}, {204, 275, 405, 410}, {2, 412, 202, 546}, {204, 412, 405, 546}, {407, 275, 813, 546}},
    {{2, 2, 202, 136}, {204, 2, 405, 136}, {407, 2, 608, 136}, {610, 2, 813, 136}, {2, 138, 405, 410}, {407, 138, 813, 410}, {2, 412, 202, 546}, {204, 412, 405, 546}, {407, 412, 608, 546}, {610, 412, 813, 546}},
    {{2, 2, 202, 136}, {204, 2, 405, 136}, {2, 138, 202, 273}, {204, 138, 405, 273}, {407, 2, 813, 273}, {2, 275, 202, 410}, {2, 412, 202, 546}, {204, 275, 608, 546}, {610, 275, 813, 410}, {610, 412, 813, 546}},
    {{2, 2, 405, 273}, {407, 2, 608, 136}, {610, 2, 813, 136}, {407, 138, 608, 273}, {610, 138, 813, 273}, {2, 275, 202, 410}, {204, 275, 405, 410}, {407, 275, 608, 410}, {610, 275, 813, 410}, {2, 412, 202, 546}, {204, 412, 405, 546}, {407, 412, 608, 546}, {610, 412, 813, 546}},
    {{2, 2, 202, 136}, {204, 2, 405, 136}, {407, 2, 608, 136}, {610, 2, 813, 136}, {2, 138, 405, 410}, {407, 138, 608, 273}, {610, 138, 813, 273}, {407, 275, 608, 410}, {610, 275, 813, 410}, {2, 412, 202, 546}, {204, 412, 405, 546}, {407, 412, 608, 546}, {610, 412, 813, 546}},
    {{2, 2, 202, 136}, {204, 2, 405, 136}, {407, 2, 608, 136}, {610, 2, 813, 136}, {2, 138, 202, 273}, {2, 275, 202, 410}, {204, 138, 608, 410}, {610, 138, 813, 273}, {610, 275, 813, 410}, {2, 412, 202, 546}, {204, 412, 405, 546}, {407, 412, 608, 546}, {610, 412, 813, 546}},
    {{2, 2, 202, 136}, {204, 2, 405, 136}, {407, 2, 608, 136}, {610, 2, 813, 136}, {2, 138, 202, 273}, {204, 138, 405, 273}, {407, 138, 608, 273}, {610, 138, 813, 273}, {2, 275, 202, 410}, {204, 275, 405, 410}, {407, 275, 608, 410}, {610, 275, 813, 410}, {2, 412, 202, 546}, {204, 412, 405, 546}, {407, 412, 608, 546}, {610, 412, 813, 546}},
};

}  // namespace

TEST(LayoutGeometry, EveryLayoutInTheMainWindowView) {
  for (int layout = 0; layout < kLayoutCount; ++layout) {
    SCOPED_TRACE(layout);
    const std::vector<Rect> rects = LayoutRects(layout, 815, 548, 1);
    EXPECT_EQ(rects, kExpected815x548[static_cast<size_t>(layout)]);
    EXPECT_EQ(static_cast<int>(rects.size()), WindowsPerPage(layout));
  }
}

TEST(LayoutGeometry, BorderScalesGapsAndFullScreenSizes) {
  // 1280 x 1024, border 2: outer edge 4 px in, inner gap 4 px around 640 / 512.
  const std::vector<Rect> quad = LayoutRects(1, 1280, 1024, 2);
  ASSERT_EQ(quad.size(), 4u);
  EXPECT_EQ(quad[0], (Rect{4, 4, 638, 510}));
  EXPECT_EQ(quad[3], (Rect{642, 514, 1276, 1020}));
  // No border: the cells touch.
  const std::vector<Rect> grid = LayoutRects(14, 800, 600, 0);
  EXPECT_EQ(grid[0], (Rect{0, 0, 200, 150}));
  EXPECT_EQ(grid[15], (Rect{600, 450, 800, 600}));
  EXPECT_TRUE(LayoutRects(15, 800, 600, 1).empty());
  EXPECT_TRUE(LayoutRects(-1, 800, 600, 1).empty());
  EXPECT_EQ(WindowsPerPage(15), 0);
}

TEST(LayoutGeometry, PagesAndTheLastPage) {
  EXPECT_EQ(PageWindows(0, 5), (std::vector<int>{5}));
  EXPECT_EQ(PageWindows(1, 0), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(PageWindows(1, 3), (std::vector<int>{12, 13, 14, 15}));
  // Last page: the remaining windows take the first positions.
  EXPECT_EQ(PageWindows(2, 2), (std::vector<int>{12, 13, 14, 15, -1, -1}));
  EXPECT_EQ(PageWindows(3, 2), (std::vector<int>{14, 15, -1, -1, -1, -1, -1}));
  EXPECT_EQ(PageWindows(5, 1), (std::vector<int>{8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(PageWindows(7, 1), (std::vector<int>{10, 11, 12, 13, 14, 15, -1, -1, -1, -1}));
  EXPECT_EQ(PageWindows(13, 1), (std::vector<int>{13, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}));
  // Layout 6 overlaps: windows 7 and 8 are on both pages.
  EXPECT_EQ(PageWindows(6, 0), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(PageWindows(6, 1), (std::vector<int>{7, 8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(PageWindows(6, 2), (std::vector<int>(9, -1)));
  EXPECT_EQ(PageWindows(1, -1), (std::vector<int>(4, -1)));
}

TEST(LayoutGeometry, PageCountsAndStartingLayout) {
  using Counts = std::array<int, kLayoutCount>;
  for (int n : {1, 4}) {
    EXPECT_EQ(PageCounts(n), (Counts{4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(StartingLayout(n), 1);
  }
  for (int n : {5, 8}) {
    EXPECT_EQ(PageCounts(n), (Counts{8, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(StartingLayout(n), 6);
  }
  for (int n : {9, 16}) {
    EXPECT_EQ(PageCounts(n), (Counts{16, 4, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1}));
    EXPECT_EQ(StartingLayout(n), 14);
  }
}

TEST(LayoutGeometry, CropRowsAndTitleLimits) {
  // 704 x 480 shows lines 16-471; 352 x 240 lines 8-235.
  EXPECT_EQ(CropFor(480).top, 16);
  EXPECT_EQ(480 - 1 - CropFor(480).bottom, 471);
  EXPECT_EQ(CropFor(240).top, 8);
  EXPECT_EQ(240 - 1 - CropFor(240).bottom, 235);
  EXPECT_EQ(CropFor(288).top, 8);
  EXPECT_EQ(CropFor(288).bottom, 4);
  EXPECT_EQ(CropFor(576).top, 16);
  EXPECT_EQ(CropFor(576).bottom, 8);
  EXPECT_EQ(CropFor(100).top + CropFor(100).bottom, 0);

  EXPECT_EQ(TitleLimit(198), 0);
  EXPECT_EQ(TitleLimit(199), 69);
  EXPECT_EQ(TitleLimit(266), 69);
  EXPECT_EQ(TitleLimit(267), 121);
  EXPECT_EQ(TitleLimit(401), 121);
  EXPECT_EQ(TitleLimit(402), 212);
  EXPECT_EQ(TitleLimit(537), 212);
  EXPECT_EQ(TitleLimit(538), 0);
}

TEST(LayoutGeometry, SnapshotTimeTextByDateFormat) {
  // 1700000000 = 2023-11-14 22:13:20 as UTC, no zone applied.
  EXPECT_EQ(SnapshotTimeText(1700000000u, 0), "2023-11-14  22:13:20");
  EXPECT_EQ(SnapshotTimeText(1700000000u, 1), "11-14-2023  22:13:20");
  EXPECT_EQ(SnapshotTimeText(1700000000u, 2), "14-11-2023  22:13:20");
  EXPECT_EQ(SnapshotTimeText(0u, 0), "1970-01-01  00:00:00");
  EXPECT_EQ(SnapshotTimeText(0u, 7), "1970-01-01  00:00:00");  // unknown format: year first
}
