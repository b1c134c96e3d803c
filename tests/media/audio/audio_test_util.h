// Helpers for the sound path tests: polling waits, frame building, trace capture.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "orva/link/trace.h"

namespace orva::audiotest {

using namespace std::chrono_literals;

// Polls `condition` until it holds or `timeout` passes (other threads make it true).
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5000ms) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

inline void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// An audio frame as the recorder sends it. `data.size()` should be a multiple
// of 16 so that the length field is exact.
inline std::vector<uint8_t> MakeFrame(int channel, int stepIndex, int16_t predictor, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> frame(16 + data.size());
  PutBe32(&frame[0], 0xFFFFFFFFu);
  PutBe32(&frame[8], static_cast<uint32_t>(channel & 0x7F) | (static_cast<uint32_t>(stepIndex & 0x7F) << 8));
  PutBe32(&frame[12], (static_cast<uint32_t>(static_cast<uint16_t>(predictor)) << 16) |
                          static_cast<uint32_t>(frame.size() / 16));
  std::copy(data.begin(), data.end(), frame.begin() + 16);
  return frame;
}

// Codes of 0 at step index 0 never move the predictor: every sample of the
// frame equals `predictor`.
inline std::vector<uint8_t> FlatFrame(int16_t predictor, size_t dataBytes = 4000, int channel = 1) {
  return MakeFrame(channel, 0, predictor, std::vector<uint8_t>(dataBytes, 0));
}

inline int16_t SampleAt(const std::vector<uint8_t>& pcm, size_t index) {
  return static_cast<int16_t>(static_cast<uint16_t>(pcm[2 * index] | (pcm[2 * index + 1] << 8)));
}

// Captures what orva::Trace writes while it lives.
class TraceCapture {
 public:
  TraceCapture() {
    int fd = mkstemp(m_path);
    if (fd >= 0) close(fd);
    TraceRedirectForTest(m_path);
  }
  ~TraceCapture() {
    TraceRedirectForTest(nullptr);
    unlink(m_path);
  }
  std::string Text() const {
    std::ifstream in(m_path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  char m_path[32] = "/tmp/orva_audio_XXXXXX";
};

}  // namespace orva::audiotest
