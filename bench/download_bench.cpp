// Download writer throughput end to end against orva-sim in its own process.
//
//   download_bench [--seconds S] [--channels N] [--frame-bytes B] [--location DIR]
//
// Downloads S recorded seconds (default 16) of N channels (default 4) whose
// frames the simulator pads to B bytes (default 1,000,000; --archive-clock=no
// keeps the simulator cheap), so that the data passes the 650 MiB split.
// Printed: the client's MiB/s from the data request to the closed last pair,
// and the baseline measured in the same run: a raw sequential write of the
// same number of bytes, in 1 MiB writes, into the same folder. The ratio
// download / raw is the figure to watch; the pairs are checked to be chained.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "cli_session.h"
#include "orva/link/time_convert.h"
#include "orva/recordings/local_files.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The same bytes as plain appends, in the writer's 1 MiB pieces.
double RawWrite(const fs::path& path, uint64_t bytes) {
  std::vector<char> block(1 << 20, 0x5A);
  const auto t0 = Clock::now();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 0;
  for (uint64_t left = bytes; left > 0;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
    if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) break;
    left -= n;
  }
  ::close(fd);
  return Seconds(Clock::now() - t0);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 16, channels = 4, frameBytes = 1000000;
  std::string location = (fs::temp_directory_path() / "orva-download-bench").string();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--channels")) channels = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--frame-bytes")) frameBytes = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--location")) location = argv[i + 1];
  }
  fs::remove_all(location);
  bench::SimProcess sim;
  if (!sim.Start({"--port", "0", "--channels", std::to_string(channels), "--archive-frame-bytes",
                  std::to_string(frameBytes), "--archive-clock=no"})) {
    std::fprintf(stderr, "orva-sim did not start\n");
    return 1;
  }
  orva::cli::Options options;
  options.port = sim.port;
  options.password = "4711";
  options.location = location;
  orva::cli::CliSession session(options);
  std::string error;
  if (session.Login(error) != orva::cli::kExitOk) {
    std::fprintf(stderr, "login: %s\n", error.c_str());
    return 1;
  }
  const uint32_t yesterdayNoon = bench::YesterdayNoon();
  orva::DownloadRange range;
  range.channelMask = (1u << channels) - 1;
  range.start = yesterdayNoon;
  range.end = yesterdayNoon + static_cast<uint32_t>(seconds) - 1;

  // The baseline runs before and after the download (the page cache's
  // writeback of one slows the next); the faster of the two counts.
  const fs::path rawPath = fs::path(location) / "Download" / "raw.bin";
  fs::create_directories(rawPath.parent_path());
  const uint64_t expectBytes = uint64_t{static_cast<uint32_t>(seconds)} * 15 * static_cast<uint32_t>(channels) *
                               (static_cast<uint64_t>(frameBytes) + 192);
  const double rawBefore = RawWrite(rawPath, expectBytes);
  fs::remove(rawPath);
  ::sync();

  orva::DownloadController& download = session.Download();
  const auto t0 = Clock::now();
  download.Start(range);
  while (download.Running() && !session.ConnectionLost()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const double clientSeconds = Seconds(Clock::now() - t0);
  const orva::DownloadStats stats = download.Stats();
  session.Close();

  const uint64_t bytes = stats.receivedBytes;
  ::sync();
  const double rawAfter = RawWrite(rawPath, bytes);
  fs::remove(rawPath);
  // The first baseline wrote the expected bytes: scaled to what came.
  const double raw = std::min(rawBefore * static_cast<double>(bytes) / static_cast<double>(expectBytes), rawAfter);
  const std::vector<orva::LocalPair> pairs = orva::ScanPairs((fs::path(location) / "Download").string());
  bool chained = !pairs.empty();
  for (size_t i = 1; i < pairs.size(); ++i) chained = chained && pairs[i].joinedPrevious && pairs[i - 1].joinedNext;

  const double mib = static_cast<double>(bytes) / (1 << 20);
  std::printf("download of %d s x %d channels at %d bytes a frame: %.0f MiB, %llu video frames, %zu pairs (%s)\n",
              seconds, channels, frameBytes, mib, static_cast<unsigned long long>(stats.videoFrames),
              stats.pairs.size(), chained ? "chained" : "NOT chained");
  std::printf("  client  %.2f s  %.0f MiB/s\n", clientSeconds, mib / clientSeconds);
  std::printf("  raw     %.2f s before, %.2f s after  %.0f MiB/s (same bytes, same folder)\n", rawBefore,
              rawAfter, mib / raw);
  std::printf("  ratio download / raw throughput: %.2f\n", raw / clientSeconds);
  if (!stats.error.empty()) std::printf("  error: %s\n", stats.error.c_str());
  fs::remove_all(location);
  return stats.error.empty() && chained ? 0 : 1;
}
