// orvactl export: one channel of the downloaded pairs as an MP4 file with
// its SHA-256 list beside it, without any recorder.
#include <cstdio>

#include "arg_parse.h"
#include "commands.h"
#include "local_folder.h"
#include "orva/recordings/mp4_export.h"

namespace orva::cli {
namespace {

int Usage(const std::string& error, std::ostream& err) {
  err << "orvactl: " << error << "\nTry 'orvactl --help'.\n";
  return kExitUsage;
}

}  // namespace

int RunExport(const Options& options, std::ostream& out, std::ostream& err) {
  ExportRequest request;
  request.folder = DownloadFolder(options);
  bool haveFrom = false, haveTo = false;
  int channel = 0;
  const std::vector<std::string>& args = options.args;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--copy") {
      request.copyFirstField = true;
      continue;
    }
    if (a == "--from" || a == "--to" || a == "--channel") {
      if (i + 1 >= args.size()) return Usage(a + " needs a value", err);
      const std::string& text = args[++i];
      if (a == "--channel") {
        uint64_t n = 0;
        if (!ParseNumber(text, 16, n) || n == 0) return Usage("--channel must be 1-16, not '" + text + "'", err);
        channel = static_cast<int>(n);
      } else {
        uint32_t& t = a == "--from" ? request.from : request.to;
        if (!ParseWallClock(text, t))
          return Usage(a + " must be a time \"YYYY-MM-DD HH:MM:SS\" from 2000 to 2037, not '" + text + "'", err);
        (a == "--from" ? haveFrom : haveTo) = true;
      }
    } else if (a.starts_with("-") || !request.output.empty()) {
      return Usage("export: unknown argument '" + a + "'", err);
    } else {
      request.output = a;
    }
  }
  if (!haveFrom || !haveTo || channel == 0 || request.output.empty())
    return Usage("export needs --from TIME --to TIME --channel C and the output OUT.mp4", err);
  if (request.to < request.from) return Usage("--to must not be before --from", err);
  request.channel = channel - 1;
  ExportResult result;
  std::string error;
  if (!ExportMp4(request, result, error)) {
    err << "orvactl: export: " << error << "\n";
    return kExitRefused;
  }
  char line[64];
  std::snprintf(line, sizeof line, " frames=%llu duration=%.2f\n", static_cast<unsigned long long>(result.videoFrames),
                result.durationSeconds);
  out << "export: " << request.output << line;
  out << "sha256: " << result.sha256Path << "\n";
  out.flush();
  return kExitOk;
}

}  // namespace orva::cli
