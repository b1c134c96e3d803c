// The video view's geometry without Qt: the 15 layouts with their window
// rectangles, pages and page counts, cropping, title limits and the date
// text. Kept apart so that every rule is tested exactly.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orva::view {

inline constexpr int kLayoutCount = 15;
inline constexpr int kWindowCount = 16;

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// Windows shown per page: 1, 4, 6, 7, 7, 8, 9, 10, 10, 10, 10, 13, 13, 13, 16.
int WindowsPerPage(int layout);
// The rectangles of the layout's positions in a view of width w and height
// h with border b (1 in the main window).
std::vector<Rect> LayoutRects(int layout, int w, int h, int b);
// Windows on page `page` of the layout, by position; -1 for an empty position.
// Layout 6: page 0 windows 0-8, page 1 windows 7-15.
std::vector<int> PageWindows(int layout, int page);
// Page counts and the starting layout from the recorder's channel count.
std::array<int, kLayoutCount> PageCounts(int channelCount);
int StartingLayout(int channelCount);
// Rows shown of a picture: 8 top / 4 bottom for 240/288 lines, 16 / 8 for 480/576.
struct Crop {
  int top = 0, bottom = 0;
};
Crop CropFor(int height);
// The most pixels a camera title may take in a window of this width; 0 = no limit.
int TitleLimit(int windowWidth);
// Date-time text of a snapshot by date format (two spaces between date and time).
std::string SnapshotTimeText(uint32_t wireSeconds, int dateFormat);

}  // namespace orva::view
