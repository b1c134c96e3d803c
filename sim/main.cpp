// orva-sim: runs the recorder simulator until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "orva/sim/config.h"
#include "orva/sim/firmware_files.h"
#include "orva/sim/simulator.h"

int main(int argc, char** argv) {
  orva::sim::SimConfig config;
  std::string error;
  bool showHelp = false;
  if (!orva::sim::ParseSimArgs(argc, argv, config, error, showHelp)) {
    std::fprintf(stderr, "orva-sim: %s\nTry 'orva-sim --help' for the options.\n", error.c_str());
    return 1;
  }
  if (showHelp) {
    std::fputs(orva::sim::SimUsage().c_str(), stdout);
    return 0;
  }
  if (!config.info.writeFirmware.empty()) {
    std::vector<std::string> written;
    if (!orva::sim::WriteSampleFirmware(config, config.info.writeFirmware, written, error)) {
      std::fprintf(stderr, "orva-sim: %s\n", error.c_str());
      return 1;
    }
    for (const std::string& path : written) std::printf("%s\n", path.c_str());
    return 0;
  }

  // Block the stop signals before any thread starts, so only sigwait sees them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  orva::sim::Simulator simulator(config);
  if (!simulator.Start(error)) {
    std::fprintf(stderr, "orva-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("orva-sim listening on %s:%u\n", config.host.c_str(),
              static_cast<unsigned>(simulator.Port()));
  if (simulator.TimePort() != 0) {
    std::printf("orva-sim time server on %s:%u\n", config.host.c_str(),
                static_cast<unsigned>(simulator.TimePort()));
  }
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  simulator.Stop();
  return 0;
}
