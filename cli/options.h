// Command line of orvactl: global options, then a command and its arguments.
#pragma once

#include <string>
#include <vector>

namespace orva::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitConnect = 2,   // the connection could not be made, or was lost
  kExitRefused = 3,   // the recorder refused (goodbye, product family, rights)
  kExitTimeout = 4,   // no answer within the timeout
};

struct Options {
  std::string host = "127.0.0.1";
  int port = 2000;
  std::string user = "admin";
  std::string password;      // --password, else ORVA_PASSWORD, else empty
  double timeoutSeconds = 10;
  std::string location;      // base folder for the local log; empty: no log
  std::string site;          // free text kept with the connection (system shows it)
  int dateFormat = 0;        // 0 year-month-day, 1 month-day-year, 2 day-month-year
  std::string command;
  std::vector<std::string> args;  // what follows the command
};

// Parses argv (argv[0] is the program). On error returns false with a
// message. `env_password` is the value of ORVA_PASSWORD or nullptr.
bool ParseOptions(int argc, const char* const* argv, const char* envPassword, Options& out, std::string& error,
                  bool& showHelp);

std::string Usage();

}  // namespace orva::cli
