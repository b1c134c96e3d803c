// Remote playback end to end against orva-sim in its own process.
//
//   playback_bench [--channels N] [--size-code C] [--fps N] [--seconds S]
//
// Plays S seconds (default 10) of yesterday's recording at speed 1 on N
// channels (default 16) through a relay that notes each frame's time and
// data. Printed: how closely the client follows the frames' timestamps,
// as |shown - due| in ms (median, p99), where due = reference tick + (frame
// ms - reference frame ms) with the client's own reference (the first
// frame's arrival, its time less 100 ms), measured
// both where playback hands a frame to its decoder (OnShownTime, the
// pacing itself) and where the decoder hands the picture to the view
// (DrawChannel); and the client's CPU per picture against bare libavcodec
// decoding the same access units in the same run, as a ratio.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "orva/link/dvr_session.h"
#include "orva/link/time_convert.h"
#include "orva/media/headless_view.h"
#include "orva/media/live_controller.h"
#include "orva/recordings/remote_playback.h"
#include "play_relay.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kLeadMs = 100;

struct Args {
  int channels = 16;
  int sizeCode = 1;
  int fps = 15;
  double seconds = 10;
};

double NowMs() {
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

// Notes when each channel's picture reached the view.
class TimingView : public orva::HeadlessView {
 public:
  struct Draw {
    int channel;
    double at;
  };
  void DrawChannel(int channel) override {
    const double at = NowMs();
    HeadlessView::DrawChannel(channel);
    std::lock_guard lock(m_lock);
    m_draws.push_back({channel & 15, at});
  }
  std::vector<Draw> Draws() {
    std::lock_guard lock(m_lock);
    return m_draws;
  }

 private:
  std::mutex m_lock;
  std::vector<Draw> m_draws;
};

// Notes when each frame was handed to its decoder, in order.
class TimingObserver : public orva::PlaybackObserver, public orva::SessionObserver {
 public:
  struct Shown {
    uint32_t second;
    double at;
  };
  void OnShownTime(uint32_t time) override {
    const double at = NowMs();
    std::lock_guard lock(m_lock);
    m_shown.push_back({time, at});
  }
  void OnIdentity(const orva::RecorderIdentity&) override {
    std::lock_guard lock(m_lock);
    m_identity = true;
  }
  bool Identity() {
    std::lock_guard lock(m_lock);
    return m_identity;
  }
  std::vector<Shown> ShownTimes() {
    std::lock_guard lock(m_lock);
    return m_shown;
  }

 private:
  std::mutex m_lock;
  std::vector<Shown> m_shown;
  bool m_identity = false;
};

struct Spread {
  double median = 0, p99 = 0;
  size_t count = 0;
};

Spread Measure(std::vector<double> lateness) {
  Spread s;
  s.count = lateness.size();
  if (lateness.empty()) return s;
  for (double& v : lateness) v = std::fabs(v);
  std::sort(lateness.begin(), lateness.end());
  s.median = lateness[lateness.size() / 2];
  s.p99 = lateness[std::min(lateness.size() - 1, static_cast<size_t>(std::ceil(0.99 * lateness.size())) - 1)];
  return s;
}

template <typename Pred>
bool WaitFor(Pred done, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string k = argv[i];
    if (k == "--channels") a.channels = std::atoi(argv[i + 1]);
    else if (k == "--size-code") a.sizeCode = std::atoi(argv[i + 1]);
    else if (k == "--fps") a.fps = std::atoi(argv[i + 1]);
    else if (k == "--seconds") a.seconds = std::atof(argv[i + 1]);
  }
  bench::SimProcess sim;
  if (!sim.Start({"--port", "0", "--channels", std::to_string(a.channels), "--size-code", std::to_string(a.sizeCode),
                  "--fps", std::to_string(a.fps), "--audio-channels", "none"}))
    return std::fprintf(stderr, "playback_bench: orva-sim did not start\n"), 1;
  bench::PlayRelay relay;
  if (!relay.Start(sim.port)) return std::fprintf(stderr, "playback_bench: no relay\n"), 1;

  orva::H264Library library;
  std::string error;
  if (!library.Load("", error)) std::fprintf(stderr, "playback_bench: %s\n", error.c_str());
  std::mutex decodeLock;
  TimingView view;
  TimingObserver observer;
  orva::LiveController live(library, decodeLock, view, nullptr);
  orva::PlaybackHooks hooks;
  hooks.stopLive = [&] { live.StopLive(); };
  hooks.restartLive = [&] { live.StartLive(); };
  hooks.queueAudio = [&](int ch, std::span<const uint8_t> f) { return live.QueueAudio(ch, f); };
  hooks.silenceAudio = [&](bool silent) { live.SilenceAudio(silent); };
  hooks.drainAndStopAudio = [&] { live.DrainAudio(); };
  orva::DvrSession session({"127.0.0.1", relay.Port(), "admin", "4711", ""}, &observer);
  hooks.audioOn = [&] { return session.AudioState(); };
  orva::RemotePlayback playback(library, decodeLock, view, hooks);
  playback.SetObserver(&observer);
  live.Attach(session);
  playback.Attach(session);
  session.Open();
  if (!WaitFor([&] { return observer.Identity(); }, 10s)) return std::fprintf(stderr, "playback_bench: no login\n"), 1;

  // Noon yesterday on the recorder's clock (local time encoded as UTC).
  const int64_t utc = std::time(nullptr);
  const int64_t wallNow = utc + orva::LocalUtcOffsetSeconds(utc);
  const uint32_t start = static_cast<uint32_t>(wallNow - wallNow % 86400 - 86400 + 12 * 3600);
  orva::PlaybackRequest request;
  request.channelMask = (1u << a.channels) - 1;
  request.start = start;
  playback.SetChannelMask(request.channelMask);
  if (!playback.Request(request, {}) || !WaitFor([&] { return playback.Playing(); }, 60s))
    return std::fprintf(stderr, "playback_bench: the playback did not start\n"), 1;
  const double cpu0 = bench::ClientThreadsCpu(false);
  // The recording's own clock decides the length: S seconds of frames.
  const auto frames = [&] { return relay.Frames(); };
  WaitFor(
      [&] {
        auto shown = observer.ShownTimes();
        if (shown.empty()) return false;
        return shown.back().second >= shown.front().second + static_cast<uint32_t>(a.seconds);
      },
      std::chrono::milliseconds(static_cast<long long>(a.seconds * 3000 + 60000)));
  std::printf("client threads, cpu since the connection opened:\n");
  const double clientCpu = bench::ClientThreadsCpu(true) - cpu0;
  uint64_t pictures = 0;
  for (const auto& s : playback.DecoderStats()) pictures += s.pictures;
  const auto shown = observer.ShownTimes();
  const auto draws = view.Draws();
  const std::vector<bench::RelayedFrame> relayed = frames();
  playback.Stop(true);
  session.Close();
  relay.Stop();

  // The n-th frame handed to a decoder is the n-th video frame relayed
  // (at speed 1 without commands none is dropped); the seconds must agree.
  const size_t n = std::min(shown.size(), relayed.size());
  size_t mismatched = 0, lateArrivals = 0;
  std::vector<double> queued, drawn;
  std::vector<std::vector<std::pair<double, double>>> perChannel(16);  // (queued at, due) in order
  // The client takes its reference 100 ms ahead of the first frame, at the
  // tick the first frame arrived; the first frame is handed over when it is
  // due, the lead later, so the reference tick is that less the lead.
  const double referenceTick = n > 0 ? shown[0].at - kLeadMs : 0;
  for (size_t i = 0; i < n; ++i) {
    if (shown[i].second != relayed[i].second) ++mismatched;
    const double due = referenceTick + kLeadMs + static_cast<double>(relayed[i].ms - relayed[0].ms);
    if (i > 0) queued.push_back(shown[i].at - due);
    // Frames the simulator sent too late cannot be on time.
    if (relayed[i].arrivedMs > due + 1) ++lateArrivals;
    perChannel[static_cast<size_t>(relayed[i].channel & 15)].push_back({shown[i].at, due});
  }
  // A picture drawn shows the latest frame its channel had been handed.
  for (const auto& d : draws) {
    const auto& list = perChannel[static_cast<size_t>(d.channel)];
    auto it = std::upper_bound(list.begin(), list.end(), d.at,
                               [](double at, const std::pair<double, double>& e) { return at < e.first; });
    if (it == list.begin()) continue;
    drawn.push_back(d.at - std::prev(it)->second);
  }
  std::vector<std::vector<std::vector<uint8_t>>> units(16);
  for (size_t i = 0; i < n; ++i) units[static_cast<size_t>(relayed[i].channel & 15)].push_back(relayed[i].data);
  const bench::BareResult bare = bench::DecodeBare(units);

  const Spread q = Measure(queued), d = Measure(drawn);
  std::printf("playback: %d channels, size code %d, %d fps, %.0f s of recording from %s\n", a.channels, a.sizeCode,
              a.fps, a.seconds, orva::FormatRecorderTime(start, 0).c_str());
  std::printf("frames handed to decoders: %zu (relayed %zu, seconds mismatched %zu)\n", shown.size(),
              relayed.size(), mismatched);
  std::printf("frames that reached the client after they were due: %zu\n", lateArrivals);
  std::printf("|handed - due|: median %.2f ms, p99 %.2f ms over %zu frames\n", q.median, q.p99, q.count);
  std::printf("|drawn - due|:  median %.2f ms, p99 %.2f ms over %zu pictures\n", d.median, d.p99, d.count);
  const double clientPer = clientCpu / static_cast<double>(std::max<uint64_t>(pictures, 1));
  const double barePer = bare.cpu / static_cast<double>(std::max<uint64_t>(bare.pictures, 1));
  std::printf("client threads: %.2f s cpu for %llu pictures = %.3f ms/picture\n", clientCpu,
              static_cast<unsigned long long>(pictures), clientPer * 1000);
  std::printf("bare libavcodec: %llu pictures; cpu %.2f s = %.3f ms/picture\n",
              static_cast<unsigned long long>(bare.pictures), bare.cpu, barePer * 1000);
  std::printf("ratio client/bare cpu per picture: %.2f\n", clientPer / barePer);
  return 0;
}
