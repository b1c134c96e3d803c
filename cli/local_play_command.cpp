// orvactl local play: the local player on the downloaded pairs, headless,
// with the real decoder library; performs the script's motion commands and
// slider moves from the first picture and reports what was shown.
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "channel_report.h"
#include "commands.h"
#include "orva/link/notices.h"
#include "orva/link/time_convert.h"
#include "orva/media/headless_view.h"
#include "orva/recordings/local_log.h"
#include "orva/recordings/local_player.h"
#include "play_script.h"

namespace orva::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct SeekDone {
  uint32_t target = 0, landed = 0;
  double ms = 0;
};

class SeekWaiter : public LocalPlayerObserver {
 public:
  void OnSeekDone(uint32_t target, uint32_t landed, double ms) override {
    std::lock_guard lock(m_lock);
    m_done.push_back({target, landed, ms});
  }
  std::vector<SeekDone> Done() const {
    std::lock_guard lock(m_lock);
    return m_done;
  }

 private:
  mutable std::mutex m_lock;
  std::vector<SeekDone> m_done;
};

// Polls `done` every 10 ms for at most `wait`.
bool WaitFor(const std::function<bool()>& done, Clock::duration wait) {
  const auto deadline = Clock::now() + wait;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

bool AnyPicture(const LocalPlayer& player) {
  for (const auto& s : player.DecoderStats())
    if (s.pictures > 0) return true;
  return false;
}

// The main window's buttons: forward and reverse always, pause while
// playing, steps while paused.
bool Allowed(int mode, int current) {
  if (mode == kPlayPause) return current == kPlayForward || current == kPlayReverse;
  if (mode == kPlayStepForward || mode == kPlayStepBackward) return current == kPlayPause;
  return true;
}

void RunScript(LocalPlayer& player, const SeekWaiter& seeks, const std::vector<PlayStep>& script,
               Clock::duration timeout, std::ostream& err) {
  for (const PlayStep& step : script) {
    if (step.seekTo) {
      const size_t before = seeks.Done().size();
      player.Seek(*step.seekTo);
      if (!WaitFor([&] { return seeks.Done().size() > before; }, timeout))
        err << "orvactl: local play: '" << step.text << "' did not finish in time\n";
      // A seek while paused shows the picture there, then pauses again.
      WaitFor([&] { return player.Mode() == kPlayPause || player.Mode() == kPlayForward ||
                           player.Mode() == kPlayReverse; }, 500ms);
    } else if (step.mode == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(step.waitMs));
    } else if (!Allowed(step.mode, player.Mode())) {
      err << "orvactl: local play: '" << step.text << "' does not apply now; skipped\n";
    } else {
      player.Command(step.mode);
      // As after the buttons: a step finishes before the next command.
      if (step.mode == kPlayStepForward || step.mode == kPlayStepBackward)
        WaitFor([&] { return player.Mode() == kPlayPause; }, 500ms);
    }
  }
}

void Report(const LocalPlayer& player, HeadlessView& view, const H264Library& library, const PlayArgs& args,
            const std::vector<SeekDone>& seeks, uint32_t shown, int speed, const Options& options,
            std::ostream& out, std::ostream& err) {
  for (const SeekDone& s : seeks) {
    char ms[32];
    std::snprintf(ms, sizeof ms, " ms=%.1f", s.ms);
    out << "seek: target=" << FormatRecorderTime(s.target, options.dateFormat)
        << " landed=" << (s.landed ? FormatRecorderTime(s.landed, options.dateFormat) : std::string("none")) << ms
        << "\n";
  }
  ReportChannels(view, library, player.DecoderStats(), false, args.picturesDir, out, err);
  out << "shown: " << FormatRecorderTime(shown, options.dateFormat) << "\n";
  out << "speed: " << speed << "\n";
}

}  // namespace

int RunLocalPlay(const Options& options, std::ostream& out, std::ostream& err) {
  PlayArgs args;
  std::string error;
  const std::vector<std::string> rest(options.args.begin() + 1, options.args.end());
  if (!ParseLocalPlayArgs(rest, args, error)) {
    err << "orvactl: " << error << "\nTry 'orvactl --help'.\n";
    return kExitUsage;
  }
  if (!PreparePicturesDir(args.picturesDir, err)) return kExitUsage;
  const std::vector<LocalPair> pairs = ScanDownloads(options, err);
  H264Library library;
  if (!library.Load("", error)) err << "orvactl: " << error << ": no pictures will be decoded\n";
  std::mutex decodeLock;
  HeadlessView view;
  LocalPlayerOptions playerOptions;
  playerOptions.dateFormat = options.dateFormat;
  // With --location the start and end of the local playback go into the
  // client's local log, as the desktop records them.
  std::unique_ptr<LocalLog> log;
  if (!options.location.empty()) {
    log = std::make_unique<LocalLog>(options.location);
    playerOptions.logRecord = [&log](uint32_t subType) {
      log->Append(static_cast<uint32_t>(LogMain::kLocalPlayback), subType, "", "");
    };
  }
  LocalPlayer player(library, decodeLock, view, playerOptions);
  SeekWaiter seeks;
  player.SetObserver(&seeks);
  if (!player.Start(pairs, *args.from, args.to.value_or(0))) {
    err << "orvactl: " << FormatNotice({4, 0}) << "\n";
    return kExitRefused;
  }
  const auto timeout = std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
  // As remote playback: the run counts from the first picture.
  WaitFor([&] { return AnyPicture(player); }, timeout);
  const auto first = Clock::now();
  RunScript(player, seeks, args.script, timeout, err);
  const auto total = std::chrono::milliseconds(static_cast<long long>(args.seconds * 1000));
  const auto left = total - (Clock::now() - first);
  if (left > Clock::duration::zero()) std::this_thread::sleep_for(left);
  const uint32_t shown = player.ShownTime();
  const int speed = player.Speed();
  player.Stop();
  Report(player, view, library, args, seeks.Done(), shown, speed, options, out, err);
  out.flush();
  return kExitOk;
}

}  // namespace orva::cli
