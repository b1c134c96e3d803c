// Every (category, code) notice the client posts. The resource file carries a
// title and text for each, generated at build time from the link layer's
// notice table so that the two can never disagree.
#pragma once

#include <array>

#include "orva/link/notices.h"

namespace orva::services {

// clang-format off
inline constexpr std::array<Notice, 39> kPostedNotices = {{
  {0, 0}, {1, 0}, {1, 1}, {2, 0},
  {3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}, {3, 6}, {3, 7},
  {4, 0}, {5, 0}, {5, 1}, {5, 2},
  {6, 0}, {6, 1}, {6, 2}, {6, 3}, {6, 4}, {6, 5}, {6, 6}, {6, 7},
  {7, 0}, {7, 1}, {7, 2}, {7, 3},
  {8, 5}, {9, 0}, {10, 0}, {11, 0}, {11, 1}, {12, 0}, {12, 1},
  {13, 0}, {15, 0}, {16, 0}, {20, 0},
}};
// clang-format on

}  // namespace orva::services
