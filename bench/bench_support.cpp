#include "bench_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
}
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "orva/media/stream_frames.h"

extern char** environ;

namespace bench {

bool SimProcess::Start(const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) return false;
  std::vector<std::string> all = {ORVA_SIM_PROGRAM};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : all) argv.push_back(s.data());
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

SimProcess::~SimProcess() {
  if (pid > 0) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
}

uint32_t YesterdayNoon() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int64_t wire = static_cast<int64_t>(now) + local.tm_gmtoff;
  return static_cast<uint32_t>(wire - wire % 86400 - 86400 + 12 * 3600);
}

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

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

double ClientThreadsCpu(bool print) {
  double total = 0;
  for (auto& [name, cpu] : ThreadCpu()) {
    if (name.rfind("orva-", 0) != 0) continue;
    if (print) std::printf("  thread %-16s %.2f s cpu\n", name.c_str(), cpu);
    total += cpu;
  }
  return total;
}

BareResult DecodeBare(const std::vector<std::vector<std::vector<uint8_t>>>& frames) {
  BareResult r;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  std::vector<AVCodecContext*> contexts;
  for (size_t i = 0; i < 2 * frames.size(); ++i) {
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
    avcodec_open2(ctx, codec, nullptr);
    contexts.push_back(ctx);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  uint64_t decoded = 0, secondFields = 0;
  auto decode = [&](AVCodecContext* ctx, const uint8_t* data, size_t size) {
    std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(padded.data(), data, size);
    packet->data = padded.data();
    packet->size = static_cast<int>(size);
    if (avcodec_send_packet(ctx, packet) == 0)
      while (avcodec_receive_frame(ctx, frame) == 0) ++decoded;
  };
  size_t longest = 0;
  for (const auto& f : frames) longest = std::max(longest, f.size());
  const double cpu0 = ThreadCpuSeconds();
  // Channel by channel within each frame index, as the frames arrive.
  for (size_t n = 0; n < longest; ++n) {
    for (size_t ch = 0; ch < frames.size(); ++ch) {
      if (n >= frames[ch].size()) continue;
      const auto& f = frames[ch][n];
      if (f.size() < 20) continue;
      orva::FrameInfo info;
      orva::ParseFrameHeader(f.data(), info);
      const size_t first = std::min<size_t>(info.partLength, f.size());
      if (first <= 20) continue;
      decode(contexts[ch * 2], f.data() + 20, first - 20);
      if (info.sizeCode == 2 && f.size() > first + 20) {
        const uint64_t before = decoded;
        decode(contexts[ch * 2 + 1], f.data() + first + 20, f.size() - first - 20);
        secondFields += decoded - before;
      }
    }
  }
  r.cpu = ThreadCpuSeconds() - cpu0;
  r.pictures = decoded - secondFields;  // two fields make one picture
  av_frame_free(&frame);
  av_packet_free(&packet);
  for (auto* ctx : contexts) avcodec_free_context(&ctx);
  return r;
}

}  // namespace bench
