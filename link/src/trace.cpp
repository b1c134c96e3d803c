#include "orva/link/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace orva {
namespace {

struct TraceSink {
  std::mutex mutex;
  bool resolved = false;
  FILE* file = nullptr;  // nullptr with resolved = true: discard
  bool ownsFile = false;

  void CloseOwned() {
    if (ownsFile && file) std::fclose(file);
    file = nullptr;
    ownsFile = false;
  }

  void Open(const char* target) {
    CloseOwned();
    resolved = true;
    if (!target || !*target) return;
    if (std::strchr(target, '/')) {
      file = std::fopen(target, "a");
      ownsFile = file != nullptr;
    } else {
      file = stderr;
    }
  }

  // Resolve lazily so that the environment can be set by main() before the
  // first trace.
  void Resolve() {
    if (!resolved) Open(std::getenv("ORVA_TRACE"));
  }
};

TraceSink& Sink() {
  static TraceSink sink;
  return sink;
}

}  // namespace

bool TraceEnabled() {
  TraceSink& sink = Sink();
  std::lock_guard lock(sink.mutex);
  sink.Resolve();
  return sink.file != nullptr;
}

void Trace(const char* format, ...) {
  TraceSink& sink = Sink();
  std::lock_guard lock(sink.mutex);
  sink.Resolve();
  if (!sink.file) return;
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  std::fputs(buffer, sink.file);
  std::fflush(sink.file);
}

void TraceRedirectForTest(const char* path) {
  TraceSink& sink = Sink();
  std::lock_guard lock(sink.mutex);
  if (path) {
    sink.Open(path);
  } else {
    sink.CloseOwned();
    sink.resolved = false;
  }
}

}  // namespace orva
