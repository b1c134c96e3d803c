// Helpers shared by the snapshot renderer and the file writers.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>

namespace orva::pictures::detail {

// YV12 (luma w x h, then V, then U, each w/2 x h/2, top row first) to 24-bit
// B,G,R rows stored bottom-up, as a device-independent bitmap keeps them.
// Width and height must be even; `dst` holds w * h * 3 bytes.
void Yv12ToBottomUpBgr(const uint8_t* src, int width, int height, uint8_t* dst);

// Any non-null image as top-down 24-bit R,G,B rows (QImage::Format_RGB888).
// False with an error text for a null or empty image.
bool ToRgb888(const QImage& image, QImage& out, std::string& error);

// A TIFF file through libtiff as 24-bit colour; null when it cannot be read.
QImage LoadTiff(const std::string& path);

}  // namespace orva::pictures::detail
