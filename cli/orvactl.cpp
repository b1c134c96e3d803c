#include <cstdlib>

#include "commands.h"

namespace orva::cli {

int RunOrvactl(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  Options options;
  std::string error;
  bool showHelp = false;
  if (!ParseOptions(argc, argv, std::getenv("ORVA_PASSWORD"), options, error, showHelp)) {
    err << "orvactl: " << error << "\n" << "Try 'orvactl --help'.\n";
    return kExitUsage;
  }
  if (showHelp) {
    out << Usage();
    return kExitOk;
  }
  if (options.command == "info") return RunInfo(options, out, err);
  if (options.command == "live") return RunLive(options, out, err);
  if (options.command == "rec") return RunRec(options, out, err);
  if (options.command == "time") return RunTime(options, out, err);
  if (options.command == "reboot") return RunReboot(options, out, err);
  if (options.command == "ptz") return RunPtz(options, out, err);
  if (options.command == "calendar") return RunCalendar(options, out, err);
  if (options.command == "day") return RunDay(options, out, err);
  if (options.command == "events") return RunEvents(options, out, err);
  if (options.command == "play") return RunPlay(options, out, err);
  if (options.command == "size") return RunSize(options, out, err);
  if (options.command == "download") return RunDownload(options, out, err);
  if (options.command == "local") return RunLocal(options, out, err);
  if (options.command == "export") return RunExport(options, out, err);
  if (options.command == "log") return RunLog(options, out, err);
  if (options.command == "firmware") return RunFirmware(options, out, err);
  if (options.command == "status") return RunStatus(options, out, err);
  if (options.command == "system") return RunSystem(options, out, err);
  if (options.command == "setup") return RunSetup(options, out, err);
  if (options.command == "test-mail") return RunTestMail(options, out, err);
  err << "orvactl: unknown command '" << options.command << "'\nTry 'orvactl --help'.\n";
  return kExitUsage;
}

}  // namespace orva::cli
