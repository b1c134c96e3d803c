// Live view end to end against orva-sim in its own process.
//
//   live_bench [--channels N] [--frames N] [--size-code C] [--fps N] [--fast]
//              [--realtime SECONDS]
//
// Default: the simulator streams N frames per channel, paced at its frame
// rate (--fast: as fast as the client reads, where the live backlog rule
// drops frames by design). The same access units are first collected raw,
// then the client's whole path (receive, reassembly, queues, decode workers,
// picture store) decodes them, then bare libavcodec decodes the collected
// units on one thread. Printed: pictures per second and CPU time per picture
// of both, and their ratio (the client path's cost relative to bare
// decoding).
//
// Real-time mode: the simulator paces at its frame rate for SECONDS; printed
// is whether every channel kept its rate without skipped frames, and the CPU
// time the decode workers used meanwhile.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "orva/link/catalogue.h"
#include "orva/link/dvr_session.h"
#include "orva/media/headless_view.h"
#include "orva/media/live_controller.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Args {
  int channels = 16;
  int frames = 150;
  int sizeCode = 2;
  int fps = 30;
  bool fast = false;  // as fast as the client reads, instead of paced at fps
  double realtime = 0;
};

// The simulator's arguments for a run.
std::vector<std::string> SimArgs(const Args& a, bool limited) {
  std::vector<std::string> args = {"--port", "0", "--channels", std::to_string(a.channels),
                                   "--size-code", std::to_string(a.sizeCode), "--fps", std::to_string(a.fps),
                                   "--audio-channels", "none"};
  if (limited) args.insert(args.end(), {"--frames", std::to_string(a.frames)});
  if (a.fast) args.push_back("--fast");
  return args;
}

orva::ConnectParams Params(uint16_t port) { return {"127.0.0.1", port, "admin", "4711", ""}; }

// Collects every video frame of every channel without decoding it.
struct Collected {
  std::mutex lock;
  std::vector<std::vector<std::vector<uint8_t>>> frames;  // [channel][n] frame data
  std::vector<orva::FrameInfo> info;                      // per channel, last
  std::atomic<int> total{0};
};

bool Collect(uint16_t port, const Args& a, Collected& out) {
  out.frames.assign(16, {});
  out.info.assign(16, {});
  orva::SessionObserver observer;
  orva::DvrSession session(Params(port), &observer);
  session.SetHandler(orva::msg::LIVE_CHANNEL_INFO, [](orva::DvrSession& s, const orva::MessageHeader& h) {
    std::vector<uint8_t> p;
    s.SetLiveActive(true);
    return s.ReadPayload(h, p);
  });
  session.SetHandler(orva::msg::LIVE_DATA, [&out](orva::DvrSession& s, const orva::MessageHeader& h) {
    auto result = s.Reassembly().ReadFragment(s.ReadFd(), h, s.RecvLimit());
    if (result == orva::FrameReassembly::Result::kReadFailed) return false;
    if (result != orva::FrameReassembly::Result::kComplete) return true;
    orva::LiveBlock block = orva::ParseLiveBlock(s.Reassembly().Block());
    if (block.kind != orva::LiveBlockKind::kVideo || block.info.channel >= 16) return true;
    std::lock_guard g(out.lock);
    out.frames[block.info.channel].emplace_back(block.frame.begin(), block.frame.end());
    out.info[block.info.channel] = block.info;
    ++out.total;
    return true;
  });
  session.Open();
  const int want = a.channels * a.frames;
  int last = -1;
  auto lastChange = Clock::now();
  // The simulator encodes its loops first: allow a minute for the first frame.
  while (out.total.load() < want && Clock::now() - lastChange < (last <= 0 ? 60s : 3s)) {
    std::this_thread::sleep_for(20ms);
    if (out.total.load() != last) {
      last = out.total.load();
      lastChange = Clock::now();
    }
  }
  session.Close();
  return out.total.load() > 0;
}

struct ClientResult {
  // cpu: the process's over the run; in real-time mode the decode workers'
  // over the measured seconds.
  double wall = 0, cpu = 0, pathCpu = 0;
  uint64_t pictures = 0, skipped = 0;
  std::array<uint64_t, 16> perChannel{};
};

ClientResult RunClient(uint16_t port, const Args& a, double seconds) {
  ClientResult r;
  orva::H264Library library;
  std::string error;
  if (!library.Load("", error)) std::fprintf(stderr, "live_bench: %s\n", error.c_str());
  std::mutex decodeLock;
  orva::HeadlessView view(false);
  orva::LiveController live(library, decodeLock, view, nullptr);
  orva::SessionObserver observer;
  orva::DvrSession session(Params(port), &observer);
  live.Attach(session);
  const double cpu0 = bench::ProcessCpuSeconds();
  const auto t0 = Clock::now();
  session.Open();
  auto total = [&] {
    uint64_t n = 0;
    for (auto& s : live.DecoderStats()) n += s.pictures;
    return n;
  };
  if (seconds > 0) {
    // Measure after the stream has settled: until the first usable key frame
    // every channel skips frames by design.
    while (total() == 0 && Clock::now() - t0 < 60s) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(2s);
    // The decode workers' CPU over the measured window only.
    const double workers0 = bench::ThreadCpu()["orva-dec (all)"];
    const auto warm = live.DecoderStats();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const auto end = live.DecoderStats();
    r.cpu = bench::ThreadCpu()["orva-dec (all)"] - workers0;
    for (int ch = 0; ch < 16; ++ch) {
      r.perChannel[ch] = end[ch].pictures - warm[ch].pictures;
      r.pictures += r.perChannel[ch];
      r.skipped += end[ch].skipped - warm[ch].skipped;
    }
    r.wall = seconds;
    session.Close();
    return r;
  } else {
    // Each channel keeps its last two frames queued: they are never decoded.
    const uint64_t want = static_cast<uint64_t>(a.channels) * static_cast<uint64_t>(a.frames - 2);
    uint64_t last = 0;
    auto lastChange = Clock::now();
    while (total() < want && Clock::now() - lastChange < (last == 0 ? 60s : 3s)) {
      std::this_thread::sleep_for(5ms);
      if (total() != last) {
        last = total();
        lastChange = Clock::now();
      }
    }
  }
  r.wall = std::chrono::duration<double>(Clock::now() - t0).count();
  r.cpu = bench::ProcessCpuSeconds() - cpu0;
  // The client's own threads (receive, connect, decode workers) were all
  // started by this run: their whole CPU time is the client path's.
  r.pathCpu = bench::ClientThreadsCpu(true);
  auto stats = live.DecoderStats();
  for (int ch = 0; ch < 16; ++ch) {
    r.perChannel[ch] = stats[ch].pictures;
    r.pictures += stats[ch].pictures;
    r.skipped += stats[ch].skipped;
  }
  session.Close();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string k = argv[i];
    if (k == "--channels") a.channels = std::atoi(argv[i + 1]);
    else if (k == "--frames") a.frames = std::atoi(argv[i + 1]);
    else if (k == "--size-code") a.sizeCode = std::atoi(argv[i + 1]);
    else if (k == "--fps") a.fps = std::atoi(argv[i + 1]);
    else if (k == "--realtime") a.realtime = std::atof(argv[i + 1]);
  }
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--fast") a.fast = true;
  if (a.realtime > 0) {
    bench::SimProcess sim;
    if (!sim.Start(SimArgs(a, false))) return std::fprintf(stderr, "live_bench: orva-sim did not start\n"), 1;
    ClientResult c = RunClient(sim.port, a, a.realtime);
    bool kept = c.skipped == 0;
    for (int ch = 0; ch < a.channels; ++ch) {
      double rate = static_cast<double>(c.perChannel[ch]) / a.realtime;
      std::printf("channel %d: %.1f pictures/s\n", ch + 1, rate);
      if (rate < 0.9 * 30) kept = false;
    }
    std::printf("realtime %d channels: pictures=%llu skipped=%llu cpu=%.2fs (decode workers) over %.1fs: %s\n",
                a.channels,
                static_cast<unsigned long long>(c.pictures), static_cast<unsigned long long>(c.skipped), c.cpu,
                c.wall, kept ? "sustained" : "NOT sustained");
    return 0;
  }

  Collected collected;
  {
    bench::SimProcess sim;
    if (!sim.Start(SimArgs(a, true)) || !Collect(sim.port, a, collected))
      return std::fprintf(stderr, "live_bench: could not collect frames from orva-sim\n"), 1;
  }
  ClientResult client;
  {
    bench::SimProcess sim;
    if (!sim.Start(SimArgs(a, true))) return std::fprintf(stderr, "live_bench: orva-sim did not start\n"), 1;
    client = RunClient(sim.port, a, 0);
  }
  // The same number of frames per channel as the client was sent.
  for (auto& f : collected.frames) f.resize(std::min<size_t>(f.size(), static_cast<size_t>(a.frames)));
  bench::BareResult bare = bench::DecodeBare(collected.frames);
  const double clientPerPicture = client.pathCpu / static_cast<double>(std::max<uint64_t>(client.pictures, 1));
  const double barePerPicture = bare.cpu / static_cast<double>(std::max<uint64_t>(bare.pictures, 1));
  std::printf("frames collected: %d over %d channels (size code %d, %s at %d fps)\n", collected.total.load(),
              a.channels, a.sizeCode, a.fast ? "fast" : "paced", a.fps);
  std::printf("client path: %llu pictures in %.2f s wall (simulator start included); client threads' cpu %.2f s "
              "= %.3f ms/picture (process cpu %.2f s); skipped %llu\n",
              static_cast<unsigned long long>(client.pictures), client.wall, client.pathCpu, clientPerPicture * 1000,
              client.cpu, static_cast<unsigned long long>(client.skipped));
  std::printf("bare libavcodec: %llu pictures; cpu %.2f s = %.3f ms/picture\n",
              static_cast<unsigned long long>(bare.pictures), bare.cpu, barePerPicture * 1000);
  std::printf("ratio client/bare cpu per picture: %.2f\n", clientPerPicture / barePerPicture);
  return 0;
}
