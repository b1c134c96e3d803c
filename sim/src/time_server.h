// The Time protocol (RFC 868 over TCP) that the simulated recorder offers on
// a port of its own when asked: every connection gets the seconds since
// 1900-01-01 00:00 UTC as four big-endian bytes, then the server closes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace orva::sim::detail {

// 1900 to 1970 in seconds: 70 years, 17 of them leap years.
inline constexpr int64_t kSeconds1900To1970 = 2208988800;

// The four answer bytes for a time in seconds since 1970 (modulo 2^32, as
// the protocol's 32-bit field wraps in 2036).
uint32_t Rfc868Seconds(int64_t unixSeconds);

class TimeServer {
 public:
  // `offset` seconds are added to the true time (tests tell it from the PC's).
  explicit TimeServer(int64_t offset) : offset_(offset) {}
  ~TimeServer();  // Stop()
  TimeServer(const TimeServer&) = delete;
  TimeServer& operator=(const TimeServer&) = delete;

  bool Start(const std::string& host, uint16_t port, std::string& error);
  void Stop();
  uint16_t Port() const { return port_; }  // 0 while not running

 private:
  void Run();

  int64_t offset_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace orva::sim::detail
