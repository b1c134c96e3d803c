// The orvactl commands. Each returns an exit code (options.h).
#pragma once

#include <ostream>
#include <vector>

#include "options.h"
#include "orva/recordings/local_files.h"

namespace orva::cli {

int RunInfo(const Options& options, std::ostream& out, std::ostream& err);
int RunLive(const Options& options, std::ostream& out, std::ostream& err);
int RunRec(const Options& options, std::ostream& out, std::ostream& err);
int RunTime(const Options& options, std::ostream& out, std::ostream& err);
int RunReboot(const Options& options, std::ostream& out, std::ostream& err);
int RunPtz(const Options& options, std::ostream& out, std::ostream& err);
int RunCalendar(const Options& options, std::ostream& out, std::ostream& err);
int RunDay(const Options& options, std::ostream& out, std::ostream& err);
int RunEvents(const Options& options, std::ostream& out, std::ostream& err);
int RunPlay(const Options& options, std::ostream& out, std::ostream& err);
int RunSize(const Options& options, std::ostream& out, std::ostream& err);
int RunDownload(const Options& options, std::ostream& out, std::ostream& err);
// local files|calendar|events|play (options.args[0]), on the Download folder.
int RunLocal(const Options& options, std::ostream& out, std::ostream& err);
int RunLocalPlay(const Options& options, std::ostream& out, std::ostream& err);
// log, status and system: the recorder's log, status and identity views.
int RunLog(const Options& options, std::ostream& out, std::ostream& err);
int RunStatus(const Options& options, std::ostream& out, std::ostream& err);
int RunSystem(const Options& options, std::ostream& out, std::ostream& err);
// firmware [--dir DIR] [--list] [--rows R,...] [--reboot]: the upgrade folder's candidates, uploaded.
int RunFirmware(const Options& options, std::ostream& out, std::ostream& err);
int RunExport(const Options& options, std::ostream& out, std::ostream& err);
// setup get|put|show|diff|reset (options.args[0]) and test-mail.
int RunSetup(const Options& options, std::ostream& out, std::ostream& err);
int RunTestMail(const Options& options, std::ostream& out, std::ostream& err);

// The pairs of the Download folder, with the ones that cannot be read named on `err`.
std::vector<LocalPair> ScanDownloads(const Options& options, std::ostream& err);

// Whole program: parse, dispatch, report.
int RunOrvactl(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace orva::cli
