// orvactl play: asks for a playback as the time bar, the time-range window
// or the event list does, performs the script's motion commands from the
// first picture, stops in order and reports what the decoders showed.
#include <cstdio>
#include <filesystem>

#include "channel_report.h"
#include "cli_session.h"
#include "commands.h"
#include "orva/link/time_convert.h"
#include "play_script.h"
#include "search_wait.h"

namespace orva::cli {
namespace {

using Clock = std::chrono::steady_clock;

int Fail(CliSession& session, int code, const std::string& error, std::ostream& err) {
  if (session.Search().WindowOpen()) session.Search().CloseWindow();
  session.Close();
  err << "orvactl: " << error << "\n";
  return code;
}

std::chrono::milliseconds Timeout(const Options& options) {
  return std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
}

// The request as the window it stands for would build it.
int BuildRequest(CliSession& session, const SearchWaiter& waiter, const PlayArgs& args, const Options& options,
                 PlaybackRequest& request, PlaybackOrigin& origin, std::string& error) {
  SearchController& search = session.Search();
  if (args.eventKind != 0) {
    search.RequestEvents();
    int code = AwaitReply(session, waiter, [&] { return waiter.Events().has_value(); }, options, error);
    if (code != kExitOk) return code;
    for (const EventEntry& e : waiter.Events().value_or(std::vector<EventEntry>{})) {
      if (e.kind != args.eventKind || e.number != args.eventNumber) continue;
      request = EventPlaybackRequest(e, search.Selection(), session.Session().VersionFlag());
      origin.kind = PlaybackOriginKind::kEvent;
      origin.eventKind = e.kind;
      origin.eventNumber = e.number;
      return kExitOk;
    }
    error = "the recorder lists no event " + std::to_string(args.eventNumber) + " of kind " +
            std::to_string(args.eventKind);
    return kExitUsage;
  }
  const bool range = args.to.has_value() || args.range;
  request.channelMask = search.Selection();
  request.kindMask = range ? 63 : 0;
  request.start = *args.from;
  request.end = args.to.value_or(0);
  origin.kind = range ? PlaybackOriginKind::kTimeRange : PlaybackOriginKind::kTimeBar;
  return kExitOk;
}

bool AnyPicture(const RemotePlayback& playback) {
  for (const auto& s : playback.DecoderStats())
    if (s.pictures > 0) return true;
  return false;
}

// Performs the script; an exit code when the playback or connection ended.
int RunScript(CliSession& session, RemotePlayback& playback, const std::vector<PlayStep>& script, std::ostream& err,
              std::string& error) {
  for (const PlayStep& step : script) {
    int code = session.Run(std::chrono::milliseconds(0), error);
    if (code != kExitOk) return code;
    if (!playback.Playing()) {
      error = "the recorder ended the playback";
      return kExitRefused;
    }
    if (step.mode == 0) {
      code = session.Run(std::chrono::milliseconds(step.waitMs), error);
      if (code != kExitOk) return code;
    } else if (!playback.Allowed(step.mode)) {
      // As the desktop's buttons, a command that does not apply is ignored.
      err << "orvactl: play: '" << step.text << "' does not apply now; skipped\n";
    } else {
      playback.Command(step.mode);
    }
  }
  return kExitOk;
}

void Report(CliSession& session, const PlayArgs& args, uint32_t shown, int speed, const Options& options,
            std::ostream& out, std::ostream& err) {
  ReportChannels(*session.View(), session.Library(), session.Playback()->DecoderStats(), false, args.picturesDir,
                 out, err);
  out << "shown: " << FormatRecorderTime(shown, options.dateFormat) << "\n";
  out << "speed: " << speed << "\n";
}

}  // namespace

int RunPlay(const Options& options, std::ostream& out, std::ostream& err) {
  PlayArgs args;
  std::string error;
  if (!ParsePlayArgs(options.args, args, error)) {
    err << "orvactl: " << error << "\nTry 'orvactl --help'.\n";
    return kExitUsage;
  }
  if (!PreparePicturesDir(args.picturesDir, err)) return kExitUsage;
  CliSession session(options, LiveOptions{});
  RemotePlayback& playback = *session.Playback();
  SearchWaiter waiter;
  int code = OpenSearch(session, waiter, Right::kPlayback, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  if (args.channels) session.Search().SetSelection(*args.channels);
  PlaybackRequest request;
  PlaybackOrigin origin;
  code = BuildRequest(session, waiter, args, options, request, origin, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  origin.yearMaps = session.Search().YearMaps(SearchFamily::kPlayback);
  origin.daySpans = session.Search().DaySpans(SearchFamily::kPlayback);
  if (!playback.Request(request, std::move(origin))) return Fail(session, kExitConnect, "not connected", err);
  // The search window closes and hands its selection to the playback.
  playback.SetChannelMask(session.Search().CloseWindow());

  code = session.WaitUntil([&] { return playback.Playing() || !playback.Requested(); }, Timeout(options), error);
  if (code == kExitOk && !playback.Playing()) {
    code = kExitRefused;
    error = "the recorder refused the playback";
  }
  if (code != kExitOk) return Fail(session, code, error, err);
  // As live: the run counts from the first picture, and a recording without
  // pictures is not an error.
  code = session.WaitUntil([&] { return AnyPicture(playback); }, Timeout(options), error);
  if (code == kExitTimeout) code = kExitOk;
  const auto first = Clock::now();
  if (code == kExitOk) code = RunScript(session, playback, args.script, err, error);
  if (code == kExitOk) {
    const auto total = std::chrono::milliseconds(static_cast<long long>(args.seconds * 1000));
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(total - (Clock::now() - first));
    if (left.count() > 0) code = session.Run(left, error);
  }
  if (code != kExitOk) return Fail(session, code, error, err);
  const uint32_t shown = playback.LastShownTime();
  const int speed = playback.Speed();
  playback.Stop(true);
  Report(session, args, shown, speed, options, out, err);
  out.flush();
  session.Close();
  return kExitOk;
}

}  // namespace orva::cli
