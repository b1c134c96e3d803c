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
// is whether every channel kept its rate without skipped frames.
extern "C" {
#include <libavcodec/avcodec.h>
}
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <atomic>
#include <map>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orva/link/catalogue.h"
#include "orva/link/dvr_session.h"
#include "orva/media/headless_view.h"
#include "orva/media/live_controller.h"

extern char** environ;

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

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of each thread of this process, by thread name.
std::map<std::string, double> ThreadCpu() {
  std::map<std::string, double> out;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return out;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::string base = std::string("/proc/self/task/") + e->d_name;
    FILE* f = std::fopen((base + "/stat").c_str(), "r");
    if (!f) continue;
    char buf[1024] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    std::string stat(buf, n);
    auto open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::string name = stat.substr(open + 1, close - open - 1);
    if (name.rfind("orva-dec", 0) == 0) name = "orva-dec (all)";
    unsigned long utime = 0, stime = 0;
    std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    out[name] += static_cast<double>(utime + stime) / tick;
  }
  closedir(dir);
  return out;
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The simulator in its own process; its first line names the port.
struct SimProcess {
  pid_t pid = -1;
  uint16_t port = 0;
  bool Start(const Args& a, bool limited) {
    int out[2];
    if (pipe(out) != 0) return false;
    std::vector<std::string> args = {ORVA_SIM_PROGRAM, "--port", "0", "--channels", std::to_string(a.channels),
                                     "--size-code", std::to_string(a.sizeCode), "--fps", std::to_string(a.fps),
                                     "--audio-channels", "none"};
    if (limited) args.insert(args.end(), {"--frames", std::to_string(a.frames)});
    if (a.fast) args.push_back("--fast");
    std::vector<char*> argv;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    int rc = posix_spawn(&pid, ORVA_SIM_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) return false;
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    auto colon = line.rfind(':');
    if (colon == std::string::npos) return false;
    port = static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
    return port != 0;
  }
  ~SimProcess() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

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
  const double cpu0 = CpuSeconds();
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
    const auto warm = live.DecoderStats();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const auto end = live.DecoderStats();
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
  r.cpu = CpuSeconds() - cpu0;
  // The client's own threads (receive, connect, decode workers) were all
  // started by this run: their whole CPU time is the client path's.
  for (auto& [name, cpu] : ThreadCpu()) {
    if (name.rfind("orva-", 0) != 0) continue;
    std::printf("  thread %-16s %.2f s cpu\n", name.c_str(), cpu);
    r.pathCpu += cpu;
  }
  auto stats = live.DecoderStats();
  for (int ch = 0; ch < 16; ++ch) {
    r.perChannel[ch] = stats[ch].pictures;
    r.pictures += stats[ch].pictures;
    r.skipped += stats[ch].skipped;
  }
  session.Close();
  return r;
}

// Bare libavcodec on one thread: one decoder per field stream per channel.
struct BareResult {
  double cpu = 0;
  uint64_t pictures = 0;
};

BareResult DecodeBare(Collected& c, const Args& a) {
  BareResult r;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  std::vector<AVCodecContext*> contexts;
  for (int i = 0; i < 32; ++i) {
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
    avcodec_open2(ctx, codec, nullptr);
    contexts.push_back(ctx);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto decode = [&](AVCodecContext* ctx, const uint8_t* data, size_t size) {
    std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(padded.data(), data, size);
    packet->data = padded.data();
    packet->size = static_cast<int>(size);
    if (avcodec_send_packet(ctx, packet) == 0)
      while (avcodec_receive_frame(ctx, frame) == 0) ++r.pictures;
  };
  const double cpu0 = ThreadCpuSeconds();
  for (int n = 0; n < a.frames; ++n) {
    for (int ch = 0; ch < 16; ++ch) {
      if (n >= static_cast<int>(c.frames[ch].size())) continue;
      const auto& f = c.frames[ch][n];
      orva::FrameInfo info;
      orva::ParseFrameHeader(f.data(), info);
      const size_t first = std::min<size_t>(info.partLength, f.size());
      decode(contexts[ch * 2], f.data() + 20, first - 20);
      if (info.sizeCode == 2 && f.size() > first + 20) decode(contexts[ch * 2 + 1], f.data() + first + 20, f.size() - first - 20);
    }
  }
  r.cpu = ThreadCpuSeconds() - cpu0;
  if (a.sizeCode == 2) r.pictures /= 2;  // two fields make one picture
  av_frame_free(&frame);
  av_packet_free(&packet);
  for (auto* ctx : contexts) avcodec_free_context(&ctx);
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
    SimProcess sim;
    if (!sim.Start(a, false)) return std::fprintf(stderr, "live_bench: orva-sim did not start\n"), 1;
    ClientResult c = RunClient(sim.port, a, a.realtime);
    bool kept = c.skipped == 0;
    for (int ch = 0; ch < a.channels; ++ch) {
      double rate = static_cast<double>(c.perChannel[ch]) / a.realtime;
      std::printf("channel %d: %.1f pictures/s\n", ch + 1, rate);
      if (rate < 0.9 * 30) kept = false;
    }
    std::printf("realtime %d channels: pictures=%llu skipped=%llu cpu=%.2fs over %.1fs: %s\n", a.channels,
                static_cast<unsigned long long>(c.pictures), static_cast<unsigned long long>(c.skipped), c.cpu,
                c.wall, kept ? "sustained" : "NOT sustained");
    return 0;
  }

  Collected collected;
  {
    SimProcess sim;
    if (!sim.Start(a, true) || !Collect(sim.port, a, collected))
      return std::fprintf(stderr, "live_bench: could not collect frames from orva-sim\n"), 1;
  }
  ClientResult client;
  {
    SimProcess sim;
    if (!sim.Start(a, true)) return std::fprintf(stderr, "live_bench: orva-sim did not start\n"), 1;
    client = RunClient(sim.port, a, 0);
  }
  BareResult bare = DecodeBare(collected, a);
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
