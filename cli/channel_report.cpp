#include "channel_report.h"

#include <cstdio>
#include <filesystem>
#include <mutex>

namespace orva::cli {

bool PreparePicturesDir(const std::string& dir, std::ostream& err) {
  if (dir.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    err << "orvactl: cannot create " << dir << ": " << ec.message() << "\n";
    return false;
  }
  return true;
}

void ReportChannels(HeadlessView& view, const H264Library& library,
                    const std::array<ChannelDecoderStats, kChannelCount>& stats, bool counts,
                    const std::string& picturesDir, std::ostream& out, std::ostream& err) {
  for (int ch = 0; ch < kChannelCount; ++ch) {
    if (stats[ch].pictures == 0) continue;
    ChannelPictureStore::Channel& c = view.Store().At(ch);
    int w, h;
    {
      std::lock_guard lock(c.lock);
      w = c.width;
      h = c.height;
    }
    char line[160];
    if (counts)
      std::snprintf(line, sizeof line, "channel %d: %dx%d pictures=%llu keyframes=%llu skipped=%llu\n", ch + 1, w, h,
                    static_cast<unsigned long long>(stats[ch].pictures),
                    static_cast<unsigned long long>(stats[ch].keyFrames),
                    static_cast<unsigned long long>(stats[ch].skipped));
    else
      std::snprintf(line, sizeof line, "channel %d: %dx%d pictures=%llu\n", ch + 1, w, h,
                    static_cast<unsigned long long>(stats[ch].pictures));
    out << line;
    if (!picturesDir.empty()) {
      char name[16];
      std::snprintf(name, sizeof name, "ch%02d.ppm", ch + 1);
      std::string error;
      if (!view.WritePpm(ch, (std::filesystem::path(picturesDir) / name).string(), library, error))
        err << "orvactl: " << error << "\n";
    }
  }
}

}  // namespace orva::cli
