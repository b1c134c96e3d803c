// What the end-to-end benchmarks share: orva-sim in its own process, CPU
// time per thread, and bare libavcodec decoding of collected access units
// (the baseline the client's path is measured against).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace bench {

// orva-sim started with `args` (after the program name); its first line
// names the port. Stopped with SIGTERM when destroyed.
struct SimProcess {
  pid_t pid = -1;
  uint16_t port = 0;
  bool Start(const std::vector<std::string>& args);
  ~SimProcess();
};

// Noon of yesterday on the recorder's clock (local time encoded as UTC),
// where orva-sim's default archive records on every channel.
uint32_t YesterdayNoon();

double ProcessCpuSeconds();
double ThreadCpuSeconds();
// CPU seconds of each thread of this process, by name; the decode workers
// summed as "orva-dec (all)".
std::map<std::string, double> ThreadCpu();
// The client's own threads (named orva-...): their CPU seconds, each printed.
double ClientThreadsCpu(bool print);

struct BareResult {
  double cpu = 0;
  uint64_t pictures = 0;
};
// Frame data (20-byte frame header onwards) per channel, decoded on this
// thread with one decoder per field stream; two-field frames count once.
BareResult DecodeBare(const std::vector<std::vector<std::vector<uint8_t>>>& frames);

}  // namespace bench
