// The orvactl commands. Each returns an exit code (options.h).
#pragma once

#include <ostream>

#include "options.h"

namespace orva::cli {

int RunInfo(const Options& options, std::ostream& out, std::ostream& err);
int RunLive(const Options& options, std::ostream& out, std::ostream& err);
int RunRec(const Options& options, std::ostream& out, std::ostream& err);
int RunTime(const Options& options, std::ostream& out, std::ostream& err);
int RunReboot(const Options& options, std::ostream& out, std::ostream& err);
int RunPtz(const Options& options, std::ostream& out, std::ostream& err);

// Whole program: parse, dispatch, report.
int RunOrvactl(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace orva::cli
