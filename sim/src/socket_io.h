// Blocking-free socket reads and whole-buffer sends for one client socket.
// Every wait is cut into short polls so that a stop request is seen quickly.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orva::sim::detail {

using Clock = std::chrono::steady_clock;

// Writes one whole line to stderr, prefixed "orva-sim: ".
void LogLine(const std::string& line);

enum class IoResult { kOk, kClosed, kStopped, kTimeout, kError, kBadData };

const char* IoResultText(IoResult result);

class SocketIo {
 public:
  SocketIo(int fd, const std::atomic<bool>& stop) : fd_(fd), stop_(stop) {}

  // Reads exactly `count` bytes. `hardDeadline` always limits the wait. A
  // `*messageDeadline` of time_point::max() means the message has not begun:
  // the first byte that arrives sets it to now + `messageLimit`, so an idle
  // client may wait forever but a started message must finish in time.
  IoResult ReadExact(uint8_t* buffer, size_t count, Clock::time_point hardDeadline,
                     Clock::time_point* messageDeadline, std::chrono::milliseconds messageLimit);
  // Sends every byte (MSG_NOSIGNAL, retries partial sends).
  bool SendAll(const uint8_t* data, size_t count);
  // Sleeps, waking early (false) when a stop is requested.
  bool Pause(std::chrono::milliseconds duration);
  int fd() const { return fd_; }

 private:
  int fd_;
  const std::atomic<bool>& stop_;
};

}  // namespace orva::sim::detail
