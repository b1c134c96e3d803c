// Captures what orva::Trace writes during a test.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "orva/link/trace.h"

namespace orva {

class TraceCapture {
 public:
  TraceCapture() {
    int fd = mkstemp(path_);
    if (fd >= 0) close(fd);
    TraceRedirectForTest(path_);
  }
  ~TraceCapture() {
    TraceRedirectForTest(nullptr);
    unlink(path_);
  }
  std::string Text() const {
    std::ifstream in(path_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  char path_[32] = "/tmp/orva_trace_XXXXXX";
};

}  // namespace orva
