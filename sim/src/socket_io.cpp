#include "socket_io.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace orva::sim::detail {

namespace {
constexpr std::chrono::milliseconds kPollSlice{50};
}

const char* IoResultText(IoResult result) {
  switch (result) {
    case IoResult::kOk:
      return "ok";
    case IoResult::kClosed:
      return "peer closed the connection";
    case IoResult::kStopped:
      return "simulator stopping";
    case IoResult::kTimeout:
      return "timed out";
    case IoResult::kError:
      return "socket error";
    case IoResult::kBadData:
      return "not a valid message header";
  }
  return "?";
}

IoResult SocketIo::ReadExact(uint8_t* buffer, size_t count, Clock::time_point hardDeadline,
                             Clock::time_point* messageDeadline,
                             std::chrono::milliseconds messageLimit) {
  size_t got = 0;
  while (got < count) {
    if (stop_.load()) return IoResult::kStopped;
    const Clock::time_point now = Clock::now();
    Clock::time_point deadline = hardDeadline;
    if (messageDeadline != nullptr && *messageDeadline != Clock::time_point::max()) {
      deadline = std::min(deadline, *messageDeadline);
    }
    if (now >= deadline) return IoResult::kTimeout;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    pollfd pfd{fd_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(std::min(left, kPollSlice).count()) + 1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return IoResult::kError;
    }
    if (ready == 0) continue;
    const ssize_t n = ::recv(fd_, buffer + got, count - got, 0);
    if (n == 0) return IoResult::kClosed;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return errno == ECONNRESET ? IoResult::kClosed : IoResult::kError;
    }
    if (messageDeadline != nullptr && *messageDeadline == Clock::time_point::max()) {
      *messageDeadline = Clock::now() + messageLimit;
    }
    got += static_cast<size_t>(n);
  }
  return IoResult::kOk;
}

bool SocketIo::SendAll(const uint8_t* data, size_t count) {
  size_t sent = 0;
  while (sent < count) {
    if (stop_.load()) return false;
    const ssize_t n = ::send(fd_, data + sent, count - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;  // includes the send time-out set on the socket
    }
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool SocketIo::Pause(std::chrono::milliseconds duration) {
  const Clock::time_point end = Clock::now() + duration;
  while (Clock::now() < end) {
    if (stop_.load()) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    std::this_thread::sleep_for(std::min(left, kPollSlice));
  }
  return !stop_.load();
}

}  // namespace orva::sim::detail
