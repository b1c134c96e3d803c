// Local seek latency in a full-size download pair.
//
//   local_seek_bench [--megabytes N] [--seeks N] [--folder DIR]
//
// Writes one pair of N MiB (default 650: the size at which downloads split)
// of 16 channels at 15 frames per second with the download writer, then
// seeks a local player to random targets and reports the median and the
// largest time from the request to the landed frame. The baseline, measured
// in the same run on the same file, is one random 192-byte read of the data
// file (what any seek costs at least); the ratio tells how many such reads a
// seek costs.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "orva/link/wire.h"
#include "orva/media/headless_view.h"
#include "orva/recordings/backup_files.h"
#include "orva/recordings/local_player.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

void* Create(int32_t) { return reinterpret_cast<void*>(0x1); }
int Decode(void*, const uint8_t*, int, uint8_t*, int, int32_t*, int) { return 1; }

std::vector<uint8_t> Frame(int channel, uint64_t ms, bool key, uint32_t id, size_t bytes) {
  std::vector<uint8_t> r(192 + 20 + bytes, 0x5A);
  std::fill(r.begin(), r.begin() + 212, 0);
  orva::StoreBE32(r.data() + 16, 0x20061123);
  orva::StoreBE32(r.data() + 24, static_cast<uint32_t>(ms / 1000));
  orva::StoreBE32(r.data() + 28, static_cast<uint32_t>(20 + bytes));
  orva::StoreBE32(r.data() + 40, id);
  orva::StoreBE32(r.data() + 80, static_cast<uint32_t>(ms / 1000));
  orva::StoreBE32(r.data() + 84, static_cast<uint32_t>(ms % 1000 * 1000));
  orva::StoreBE32(r.data() + 192, 1);
  orva::StoreBE32(r.data() + 196, static_cast<uint32_t>((20 + bytes + 3) / 4) << 8);
  orva::StoreBE32(r.data() + 200, static_cast<uint32_t>((1 << 3) | (channel << 5) | (key ? 0 : 1 << 11)));
  return r;
}

struct SeekWaiter : orva::LocalPlayerObserver {
  void OnSeekDone(uint32_t target, uint32_t landed, double ms) override {
    std::lock_guard lock(m);
    results.push_back({target, landed, ms});
    cv.notify_all();
  }
  struct Result {
    uint32_t target, landed;
    double ms;
  };
  std::mutex m;
  std::condition_variable cv;
  std::vector<Result> results;
};

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t megabytes = 650;
  int seeks = 100;
  fs::path folder = fs::temp_directory_path() / "orva-seek-bench";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--megabytes")) megabytes = std::strtoull(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--seeks")) seeks = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--folder")) folder = argv[i + 1];
  }
  fs::remove_all(folder);
  const uint32_t t0 = 1260180000;
  const size_t frameBytes = 12000;
  const int fps = 15;
  uint32_t seconds = 0;
  {
    orva::BackupPairWriter::Options o;
    o.folder = folder.string();
    o.splitAfter = megabytes * 1024 * 1024 + (64 << 20);  // one pair of the whole size
    orva::BackupPairWriter writer(o);
    const auto began = Clock::now();
    uint64_t written = 0;
    for (; written < megabytes * 1024 * 1024; ++seconds)
      for (int f = 0; f < fps; ++f)
        for (int ch = 0; ch < 16; ++ch) {
          const auto frame = Frame(ch, (uint64_t{t0} + seconds) * 1000 + f * 1000 / fps, f == 0,
                                   1 + seconds / 600, frameBytes);
          if (!writer.Write(frame)) {
            std::fprintf(stderr, "write failed: %s\n", writer.Error().c_str());
            return 1;
          }
          written += frame.size();
        }
    writer.Close();
    std::printf("pair: %llu MiB, %u s of 16 channels, written in %.1f s\n",
                static_cast<unsigned long long>(written >> 20), seconds,
                std::chrono::duration<double>(Clock::now() - began).count());
  }

  orva::H264Exports e;
  e.create = Create;
  e.decode = Decode;
  const orva::H264Library library = orva::H264Library::FromExports(e);
  std::mutex decodeLock;
  orva::HeadlessView view;
  orva::LocalPlayer player(library, decodeLock, view);
  SeekWaiter waiter;
  player.SetObserver(&waiter);
  const auto pairs = orva::ScanPairs(folder.string());
  if (pairs.empty() || !player.Start(pairs, t0)) {
    std::fprintf(stderr, "no playable pair\n");
    return 1;
  }
  player.Command(orva::kPlayPause);
  std::mt19937 random(7);
  std::vector<double> seekMs;
  int exact = 0;
  for (int i = 0; i < seeks; ++i) {
    const uint32_t target = t0 + random() % seconds;
    player.Seek(target);
    std::unique_lock lock(waiter.m);
    waiter.cv.wait_for(lock, std::chrono::seconds(5),
                       [&] { return !waiter.results.empty() && waiter.results.back().target == target; });
    if (waiter.results.empty() || waiter.results.back().target != target) {
      std::fprintf(stderr, "seek to %u did not finish\n", target);
      return 1;
    }
    seekMs.push_back(waiter.results.back().ms);
    exact += waiter.results.back().landed == target;
  }
  player.Stop();

  // Baseline: random header reads of the same data file.
  std::string error;
  auto vid = orva::OpenPosixReader(pairs[0].vid, error);
  std::vector<double> readMs;
  uint8_t header[192];
  for (int i = 0; i < 1000; ++i) {
    const uint64_t at = 64 + random() % (vid->Size() - 64 - 192);
    const auto began = Clock::now();
    vid->ReadAt(at, header);
    readMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - began).count());
  }
  const double median = Percentile(seekMs, 0.5), largest = Percentile(seekMs, 1.0);
  const double readMedian = std::max(Percentile(readMs, 0.5), 1e-6);
  std::printf("seek: %d targets, %d landed exactly, median %.2f ms, max %.2f ms\n", seeks, exact, median, largest);
  std::printf("baseline: one random header read, median %.4f ms\n", readMedian);
  std::printf("ratio: median seek = %.1f header reads\n", median / readMedian);
  fs::remove_all(folder);
  return 0;
}
