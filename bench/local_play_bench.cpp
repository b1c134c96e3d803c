// Local playback of 16 channels of two-field video at speed 1 and speed 4.
//
//   local_play_bench [--seconds S] [--play S1] [--location DIR]
//
// Downloads S recorded seconds (default 60) of 16 channels at size code 2
// from orva-sim in its own process (--archive-clock=no: the live loops, real
// H.264), then plays them with the local player and the real decoder
// library, headless: S1 seconds (default 5) at speed 1, then speed 4 until
// the list ends (at most S1 seconds). For each phase: the frames the speed
// rule lets through in the media time covered, counted from the pair
// itself (the expectation), the frames the player queued, the pictures the
// decoders showed, and the frames they dropped (skips beyond the speed rule).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "bench_support.h"
#include "cli_session.h"
#include "orva/media/headless_view.h"
#include "orva/recordings/local_player.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Totals {
  uint64_t queued = 0, pictures = 0, dropped = 0;
  uint32_t shown = 0;
};

Totals Snapshot(const orva::LocalPlayer& player) {
  Totals t;
  t.queued = player.Stats().shown;
  for (const auto& s : player.DecoderStats()) {
    t.pictures += s.pictures;
    t.dropped += s.skipped + s.discarded;
  }
  t.shown = player.ShownTime();
  return t;
}

// Video frames of seconds [from, to] that the speed rule shows, per channel
// counter, from the pairs themselves.
uint64_t Expected(const std::vector<orva::LocalPair>& pairs, uint32_t from, uint32_t to, int speed) {
  const int limit = speed == 2 ? 1 : speed == 3 ? 3 : speed == 4 ? 7 : 0;
  uint64_t count = 0;
  int counter[16] = {};
  for (const orva::LocalPair& pair : pairs) {
    std::string error;
    auto vid = orva::OpenPosixReader(pair.vid, error);
    if (!vid) continue;
    orva::LocalFrame frame;
    for (uint64_t at = orva::kPairHeaderSize; orva::ReadFrameAt(*vid, at, vid->Size() - 64, frame, false);
         at = frame.next) {
      if (frame.kind != orva::LocalFrame::kVideo) continue;
      const uint32_t t = frame.video.frameSecond;
      if (t < from || t > to) continue;
      int& c = counter[frame.info.channel & 15];
      if (limit == 0 || frame.info.keyFrame) {
        c = 0;
        ++count;
      } else if (++c > limit) {
        c = 0;
        ++count;
      }
    }
  }
  return count;
}

void Print(const char* phase, const Totals& a, const Totals& b, uint64_t expected, double wall) {
  const uint64_t queued = b.queued - a.queued, pictures = b.pictures - a.pictures;
  std::printf("%s: %.2f s wall, media %u s, expected %llu, queued %llu, pictures %llu (%.3f of expected), dropped %llu\n",
              phase, wall, b.shown - a.shown, static_cast<unsigned long long>(expected),
              static_cast<unsigned long long>(queued), static_cast<unsigned long long>(pictures),
              expected ? static_cast<double>(pictures) / static_cast<double>(expected) : 0.0,
              static_cast<unsigned long long>(b.dropped - a.dropped));
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  double play = 5;
  std::string location = (fs::temp_directory_path() / "orva-local-play-bench").string();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--play")) play = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--location")) location = argv[i + 1];
  }
  fs::remove_all(location);
  const uint32_t start = bench::YesterdayNoon();
  {
    bench::SimProcess sim;
    if (!sim.Start({"--port", "0", "--channels", "16", "--size-code", "2", "--archive-clock=no"})) {
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
    orva::DownloadRange range;
    range.start = start;
    range.end = start + static_cast<uint32_t>(seconds) - 1;
    session.Download().Start(range);
    while (session.Download().Running() && !session.ConnectionLost())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    session.Close();
  }
  const auto pairs = orva::ScanPairs((fs::path(location) / "Download").string());
  orva::H264Library library;
  std::string error;
  if (!library.Load("", error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::mutex decodeLock;
  orva::HeadlessView view;
  orva::LocalPlayer player(library, decodeLock, view);
  if (!player.Start(pairs, start)) {
    std::fprintf(stderr, "nothing to play\n");
    return 1;
  }
  const auto phase = std::chrono::milliseconds(static_cast<long long>(play * 1000));
  const Totals begin = Snapshot(player);
  auto t0 = Clock::now();
  std::this_thread::sleep_for(phase);
  const Totals one = Snapshot(player);
  const double wall1 = std::chrono::duration<double>(Clock::now() - t0).count();
  for (int i = 0; i < 3; ++i) player.Command(orva::kPlayForward);  // 1 -> 2 -> 3 -> 4
  t0 = Clock::now();
  while (Clock::now() - t0 < phase && player.Mode() != orva::kPlayPause)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the decoders finish what is queued
  const Totals four = Snapshot(player);
  const double wall4 = std::chrono::duration<double>(Clock::now() - t0).count();
  player.Stop();
  std::printf("local playback, 16 channels, two-field 704x480, %d s downloaded\n", seconds);
  Print("speed 1", begin, one, Expected(pairs, start, one.shown, 1), wall1);
  Print("speed 4", one, four, Expected(pairs, one.shown + 1, four.shown, 4), wall4);
  fs::remove_all(location);
  return 0;
}
