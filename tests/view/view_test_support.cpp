#include "view_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "orva/view/layout_geometry.h"

namespace orva::view::test {

void StoreRgbPicture(CVideoView& view, int channel, int width, int height, const Bands& bands) {
  const Crop crop = CropFor(height);
  ChannelPictureStore::Channel& ch = view.Store().At(channel);
  std::lock_guard lock(ch.lock);
  for (int line = 0; line < height; ++line) {
    const QColor c = line < crop.top ? bands.top : line >= height - crop.bottom ? bands.bottom : bands.middle;
    uint8_t* row = ch.picture.data() + static_cast<size_t>(height - 1 - line) * width * 3;  // bottom-up
    for (int x = 0; x < width; ++x) {
      row[3 * x + 0] = static_cast<uint8_t>(c.blue());
      row[3 * x + 1] = static_cast<uint8_t>(c.green());
      row[3 * x + 2] = static_cast<uint8_t>(c.red());
    }
  }
  ch.width = width;
  ch.height = height;
  ch.rgb = true;
  ch.present = true;
  ch.hasPicture = true;
  ++ch.pictures;
}

void StoreYv12Picture(CVideoView& view, int channel, int width, int height, Yuv top, Yuv middle, Yuv bottom) {
  const Crop crop = CropFor(height);
  ChannelPictureStore::Channel& ch = view.Store().At(channel);
  std::lock_guard lock(ch.lock);
  auto band = [&](int line) { return line < crop.top ? top : line >= height - crop.bottom ? bottom : middle; };
  uint8_t* y = ch.picture.data();
  uint8_t* v = y + static_cast<size_t>(width) * height;
  uint8_t* u = v + static_cast<size_t>(width / 2) * (height / 2);
  for (int line = 0; line < height; ++line) std::memset(y + static_cast<size_t>(line) * width, band(line).y, width);
  for (int line = 0; line < height / 2; ++line) {
    std::memset(u + static_cast<size_t>(line) * (width / 2), band(2 * line).u, width / 2);
    std::memset(v + static_cast<size_t>(line) * (width / 2), band(2 * line).v, width / 2);
  }
  ch.width = width;
  ch.height = height;
  ch.rgb = false;
  ch.present = true;
  ch.hasPicture = true;
  ++ch.pictures;
}

void MarkPresent(CVideoView& view, uint16_t mask, bool hasPicture) {
  for (int c = 0; c < 16; ++c) {
    if (!(mask & (1u << c))) continue;
    ChannelPictureStore::Channel& ch = view.Store().At(c);
    std::lock_guard lock(ch.lock);
    ch.present = true;
    ch.hasPicture = hasPicture;
  }
}

bool Near(QColor a, QColor b, int tolerance) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

void Percentiles(QVector<double> samples, double& median, double& p99) {
  median = p99 = 0;
  if (samples.isEmpty()) return;
  std::sort(samples.begin(), samples.end());
  median = samples[samples.size() / 2];
  p99 = samples[std::min<qsizetype>(samples.size() - 1, samples.size() * 99 / 100)];
}

}  // namespace orva::view::test

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

namespace orva::view::test {

int FeedSixteenChannels(CVideoView& view, int fps, int ms) {
  std::atomic<bool> stop{false};
  std::atomic<int> fed{0};
  std::vector<std::thread> workers;
  for (int c = 0; c < 16; ++c) {
    workers.emplace_back([&, c] {
      const auto period = std::chrono::microseconds(1000000 / fps);
      auto next = std::chrono::steady_clock::now();
      int n = 0;
      while (!stop.load()) {
        const uint8_t level = static_cast<uint8_t>(40 + (n++ * 7 + c * 11) % 180);
        if (view.RgbDrawMode()) {
          const QColor colour(level, 255 - level, c * 15);
          StoreRgbPicture(view, c, 352, 240, {colour, colour, colour});
        } else {
          StoreYv12Picture(view, c, 352, 240, {level, 128, 128}, {level, 90, 200}, {level, 128, 128});
        }
        view.RefreshText(c, 360, 240);
        view.DrawChannel(c);
        ++fed;
        next += period;
        std::this_thread::sleep_until(next);
      }
    });
  }
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  stop = true;
  for (std::thread& t : workers) t.join();
  QCoreApplication::processEvents();
  return fed.load();
}

}  // namespace orva::view::test
