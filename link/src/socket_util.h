// POSIX socket helpers used by the connection (private to the link layer).
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <string>

namespace orva::detail {

// Resolves a dotted IPv4 address or a host name to an IPv4 address.
// Returns 0 or an EAI_* / errno-style error (EHOSTUNREACH when nothing found).
int ResolveIPv4(const std::string& host, uint16_t port, sockaddr_in& out);

// Turns on keep-alive: first probe after idleSeconds of silence, then every
// intervalSeconds.
void EnableKeepAlive(int fd, int idleSeconds, int intervalSeconds);

// Connects a non-blocking socket within `timeout`, checking `cancel` every
// 100 ms. Returns 0 on success, else the errno (ETIMEDOUT, ECONNREFUSED,
// ECANCELED when cancelled, ...). The socket stays non-blocking.
int ConnectWithin(int fd, const sockaddr_in& address, std::chrono::milliseconds timeout,
                  const std::atomic<bool>& cancel);

}  // namespace orva::detail
