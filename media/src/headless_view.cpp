#include "orva/media/headless_view.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace orva {

bool HeadlessView::WritePpm(int channel, const std::string& path, const H264Library& library, std::string& error) {
  ChannelPictureStore::Channel& ch = Store().At(channel);
  std::vector<uint8_t> bgr;
  int w = 0, h = 0;
  bool bottomUp = false;
  {
    std::lock_guard lock(ch.lock);
    if (!ch.hasPicture) {
      error = "channel " + std::to_string(channel + 1) + " has no picture";
      return false;
    }
    w = ch.width;
    h = ch.height;
    bgr.resize(static_cast<size_t>(w) * h * 3);
    if (ch.rgb) {
      std::copy(ch.picture.begin(), ch.picture.begin() + static_cast<long>(bgr.size()), bgr.begin());
      bottomUp = true;
    } else {
      if (!library.Exports().convertToRgb) {
        error = "the decoder library cannot convert pictures";
        return false;
      }
      library.Exports().convertToRgb(ch.picture.data(), bgr.data(), w, h);
    }
  }
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) {
    error = "cannot write " + path;
    return false;
  }
  std::fprintf(file.get(), "P6\n%d %d\n255\n", w, h);
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  for (int r = 0; r < h; ++r) {
    const uint8_t* src = bgr.data() + static_cast<size_t>(bottomUp ? h - 1 - r : r) * w * 3;
    for (int x = 0; x < w; ++x) {
      row[x * 3 + 0] = src[x * 3 + 2];
      row[x * 3 + 1] = src[x * 3 + 1];
      row[x * 3 + 2] = src[x * 3 + 0];
    }
    if (std::fwrite(row.data(), 1, row.size(), file.get()) != row.size()) {
      error = "cannot write " + path;
      return false;
    }
  }
  return true;
}

}  // namespace orva
