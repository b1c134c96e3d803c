// BMP snapshots written by hand: the two headers of a 24-bit uncompressed
// bitmap, then the rows bottom-up in blue-green-red order.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "orva/pictures/snapshot.h"
#include "pictures_internal.h"

namespace orva::pictures {
namespace {

constexpr uint32_t kHeadersSize = 14 + 40;

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool WriteBmp(const QImage& image, const std::string& path, std::string& error) {
  QImage rgb;
  if (!detail::ToRgb888(image, rgb, error)) return false;
  const uint32_t w = static_cast<uint32_t>(rgb.width());
  const uint32_t h = static_cast<uint32_t>(rgb.height());
  // Rows are padded to 4 bytes as the format requires; 800 x 3 needs none,
  // and then the sizes are exactly 54 + w x h x 3 and w x h x 3.
  const uint64_t stride = (uint64_t{w} * 3 + 3) & ~uint64_t{3};
  const uint64_t imageSize = stride * h;
  if (imageSize + kHeadersSize > 0xFFFFFFFFu) {
    error = "the picture is too large for a BMP file";
    return false;
  }
  uint8_t header[kHeadersSize] = {};
  header[0] = 'B';
  header[1] = 'M';
  Put32(header + 2, static_cast<uint32_t>(imageSize) + kHeadersSize);
  // bytes 6-9: two reserved 16-bit zeros
  Put32(header + 10, kHeadersSize);
  Put32(header + 14, 40);
  Put32(header + 18, w);
  Put32(header + 22, h);  // positive: bottom-up
  Put16(header + 26, 1);
  Put16(header + 28, 24);
  // bytes 30-33: no compression (0)
  Put32(header + 34, static_cast<uint32_t>(imageSize));
  // bytes 38-53: resolutions and colour counts, all 0

  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(header, 1, sizeof header, file.get()) == sizeof header;
  std::vector<uint8_t> row(stride, 0);
  for (uint32_t r = 0; ok && r < h; ++r) {
    const uint8_t* src = rgb.constScanLine(static_cast<int>(h - 1 - r));
    for (uint32_t x = 0; x < w; ++x) {
      row[x * 3 + 0] = src[x * 3 + 2];
      row[x * 3 + 1] = src[x * 3 + 1];
      row[x * 3 + 2] = src[x * 3 + 0];
    }
    ok = std::fwrite(row.data(), 1, row.size(), file.get()) == row.size();
  }
  const int closed = std::fclose(file.release());
  if (!ok || closed != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(path.c_str());  // no half-written file left behind
    return false;
  }
  return true;
}

}  // namespace orva::pictures
