// Shared pieces of the decoder tests: the library under test, loaded once,
// and output buffers with a guard region behind them.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "orva/link/trace.h"
#include "orva/media/h264_decoder.h"

namespace orva::test {

// The library built with the tests, loaded with dlopen once for the program.
inline const H264Library& TestLibrary() {
  static H264Library library = [] {
    H264Library loaded;
    std::string error;
    loaded.Load(ORVA_DECODER_LIBRARY, error);
    return loaded;
  }();
  return library;
}

inline constexpr uint8_t kGuardByte = 0xA5;
inline constexpr size_t kGuardBytes = 4096;

// `size` usable bytes followed by a guard region of kGuardByte.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size, uint8_t fill = 0) : m_size(size), m_bytes(size + kGuardBytes, kGuardByte) {
    std::fill_n(m_bytes.begin(), size, fill);
  }
  uint8_t* data() { return m_bytes.data(); }
  size_t size() const { return m_size; }
  bool GuardIntact() const {
    return std::all_of(m_bytes.begin() + static_cast<ptrdiff_t>(m_size), m_bytes.end(),
                       [](uint8_t b) { return b == kGuardByte; });
  }
  // True when every byte in [from, to) still holds `value`.
  bool Untouched(size_t from, size_t to, uint8_t value) const {
    return std::all_of(m_bytes.begin() + static_cast<ptrdiff_t>(from), m_bytes.begin() + static_cast<ptrdiff_t>(to),
                       [value](uint8_t b) { return b == value; });
  }

 private:
  size_t m_size;
  std::vector<uint8_t> m_bytes;
};

inline size_t Yv12Size(int width, int height) {
  return static_cast<size_t>(width) * height + 2 * static_cast<size_t>(width / 2) * (height / 2);
}

// Captures what orva::Trace writes while it lives.
class TraceToFile {
 public:
  TraceToFile() {
    const int fd = mkstemp(m_path);
    if (fd >= 0) close(fd);
    TraceRedirectForTest(m_path);
  }
  ~TraceToFile() {
    TraceRedirectForTest(nullptr);
    unlink(m_path);
  }
  TraceToFile(const TraceToFile&) = delete;
  TraceToFile& operator=(const TraceToFile&) = delete;
  std::string Text() const {
    std::ifstream in(m_path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  char m_path[32] = "/tmp/orva_dectrace_XXXXXX";
};

}  // namespace orva::test
