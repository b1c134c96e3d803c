#include "time_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "orva/sim/wire.h"
#include "socket_io.h"

namespace orva::sim::detail {

uint32_t Rfc868Seconds(int64_t unixSeconds) {
  return static_cast<uint32_t>(static_cast<uint64_t>(unixSeconds + kSeconds1900To1970));
}

TimeServer::~TimeServer() { Stop(); }

bool TimeServer::Start(const std::string& host, uint16_t port, std::string& error) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    error = "time server: host '" + host + "' is not a dotted IPv4 address";
    return false;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("time server: cannot create socket: ") + std::strerror(errno);
    return false;
  }
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(fd, 8) != 0) {
    error = "time server: cannot listen on " + host + ":" + std::to_string(port) + ": " +
            std::strerror(errno);
    ::close(fd);
    return false;
  }
  sockaddr_in bound{};
  socklen_t len = sizeof(bound);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
  listenFd_ = fd;
  port_ = ntohs(bound.sin_port);
  stop_.store(false);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void TimeServer::Stop() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    listenFd_ = -1;
  }
  port_ = 0;
}

void TimeServer::Run() {
  while (!stop_.load()) {
    pollfd pfd{listenFd_, POLLIN, 0};
    if (::poll(&pfd, 1, 50) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // The answer is four bytes, far below any socket buffer: one send does.
    uint8_t answer[4];
    PutU32(answer, Rfc868Seconds(static_cast<int64_t>(std::time(nullptr)) + offset_));
    if (::send(fd, answer, sizeof(answer), MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof(answer))) {
      LogLine(std::string("time server: answer not sent: ") + std::strerror(errno));
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
  }
}

}  // namespace orva::sim::detail
