// orvactl live: logs in, lets live view run, stops it in order and reports
// what the client decoded, through the same pipeline the desktop uses.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "arg_parse.h"
#include "channel_report.h"
#include "cli_session.h"
#include "commands.h"
#include "snapshot_option.h"

namespace orva::cli {
namespace {

struct LiveArgs {
  double seconds = 5;
  uint32_t mask = 0x0000FFFF;
  std::string picturesDir;
  std::string wavPath;
  int audioChannel = 1;  // as on screen
  std::string snapshotDir;
  int snapshotFormat = -1;  // unset: jpg
};

bool ParseLiveArgs(const std::vector<std::string>& args, LiveArgs& out, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& dest) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      dest = args[++i];
      return true;
    };
    std::string text;
    uint64_t n = 0;
    if (a == "--seconds") {
      if (!value(text)) return false;
      char* end = nullptr;
      out.seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end || !(out.seconds > 0) || out.seconds > 86400) {
        error = "--seconds must be a positive number, not '" + text + "'";
        return false;
      }
    } else if (a == "--channels") {
      if (!value(text)) return false;
      if (!ParseNumber(text, 0xFFFF, n) || n == 0) {
        error = "--channels must be a channel mask from 1 to 0xFFFF, not '" + text + "'";
        return false;
      }
      out.mask = static_cast<uint32_t>(n);
    } else if (a == "--pictures") {
      if (!value(out.picturesDir)) return false;
    } else if (a == "--audio") {
      if (!value(out.wavPath)) return false;
    } else if (a == "--audio-channel") {
      if (!value(text)) return false;
      if (!ParseNumber(text, 16, n) || n == 0) {
        error = "--audio-channel must be a channel from 1 to 16, not '" + text + "'";
        return false;
      }
      out.audioChannel = static_cast<int>(n);
    } else if (a == "--snapshot") {
      if (!value(out.snapshotDir)) return false;
      if (out.snapshotDir.empty()) {
        error = "--snapshot needs a folder";
        return false;
      }
    } else if (a == "--format") {
      if (!value(text) || !ParseSnapshotFormat(text, out.snapshotFormat, error)) return false;
    } else {
      error = "live: unknown argument '" + a + "'";
      return false;
    }
  }
  if (out.snapshotFormat >= 0 && out.snapshotDir.empty()) {
    error = "--format needs --snapshot";
    return false;
  }
  return true;
}

}  // namespace

int RunLive(const Options& options, std::ostream& out, std::ostream& err) {
  LiveArgs args;
  std::string error;
  if (!ParseLiveArgs(options.args, args, error)) {
    err << "orvactl: " << error << "\n";
    return kExitUsage;
  }
  if (!PreparePicturesDir(args.picturesDir, err)) return kExitUsage;
  // Before any thread starts: the snapshot writers need Qt's fonts.
  std::unique_ptr<SnapshotTaker> snapshots;
  if (!args.snapshotDir.empty()) {
    snapshots = std::make_unique<SnapshotTaker>(args.snapshotDir, std::max(args.snapshotFormat, 0));
    if (!snapshots->Prepare(error)) {
      err << "orvactl: " << error << "\n";
      return kExitUsage;
    }
  }
  LiveOptions live;
  live.requestMask = args.mask;
  live.rgbPictures = false;
  live.wavPath = args.wavPath;
  live.audioChannel = args.audioChannel - 1;
  CliSession session(options, live);
  if (snapshots) snapshots->Attach(*session.View());

  int code = session.Login(error);
  if (code == kExitOk) code = session.WaitForAnnouncements(std::chrono::seconds(1), error);
  const auto runFor = std::chrono::milliseconds(static_cast<long long>(args.seconds * 1000));
  if (code == kExitOk && !args.wavPath.empty()) {
    code = session.WaitUntil([&] { return session.Session().LiveActive(); }, std::chrono::seconds(5), error);
    if (code == kExitOk) session.Live()->RequestAudio(true);
  }
  if (code == kExitOk) {
    // The run counts from the first picture: a recorder may take a while to
    // start its streams. No picture within the timeout is not an error (every
    // channel may have lost its video); the run then starts anyway.
    auto anyPicture = [&] {
      for (const auto& s : session.Live()->DecoderStats())
        if (s.pictures > 0) return true;
      return false;
    };
    code = session.WaitUntil(anyPicture, std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000)),
                             error);
    if (code == kExitTimeout) code = kExitOk;
  }
  if (code == kExitOk) code = session.Run(runFor, error);
  int snapshotCode = kExitOk;
  std::string snapshotError;
  if (code == kExitOk && snapshots) {
    // While the stream still runs: every channel that showed pictures.
    const auto delivered = session.Live()->DecoderStats();
    uint16_t mask = 0;
    for (int ch = 0; ch < kChannelCount; ++ch)
      if (delivered[ch].pictures > 0) mask |= static_cast<uint16_t>(1u << ch);
    const auto wait = std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
    snapshotCode = snapshots->Request(session, mask, wait, snapshotError);
    // The connection's own failures end the command as before.
    if (snapshotCode == kExitConnect || snapshotCode == kExitRefused) {
      code = snapshotCode;
      error = snapshotError;
    }
  }
  if (code != kExitOk) {
    session.Close();
    err << "orvactl: " << error << "\n";
    return code;
  }
  session.Live()->StopLive();

  ReportChannels(*session.View(), session.Library(), session.Live()->DecoderStats(), true, args.picturesDir, out,
                 err);
  if (snapshots) {
    if (snapshotCode != kExitOk) err << "orvactl: " << snapshotError << "\n";
    if (!snapshots->Write(out, err) && snapshotCode == kExitOk) snapshotCode = kExitUsage;
  }
  if (!args.wavPath.empty()) {
    const AudioStats audio = session.Live()->Audio();
    out << "audio: channel " << args.audioChannel << " chunks=" << audio.chunks << " samples=" << audio.samples
        << "\n";
  }
  out.flush();
  session.Close();
  return snapshotCode;
}

}  // namespace orva::cli
