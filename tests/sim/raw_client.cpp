#include "raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orva::sim::test {

using Clock = std::chrono::steady_clock;

RawClient::~RawClient() { Close(); }

void RawClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RawClient::Connect(uint16_t port) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd_ < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
}

bool RawClient::SendBytes(const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::vector<uint8_t> EncodeHeader(uint16_t code, uint16_t length, bool audio, uint16_t flags) {
  std::vector<uint8_t> h(16, 0);
  const uint16_t control = static_cast<uint16_t>((code << 7) | (audio ? 0x08 : 0));
  h[2] = static_cast<uint8_t>(control >> 8);
  h[3] = static_cast<uint8_t>(control);
  h[4] = static_cast<uint8_t>(flags >> 8);
  h[5] = static_cast<uint8_t>(flags);
  h[6] = static_cast<uint8_t>(length >> 8);
  h[7] = static_cast<uint8_t>(length);
  return h;
}

bool RawClient::SendMessage(uint16_t code, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> bytes = EncodeHeader(code, static_cast<uint16_t>(payload.size()));
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return SendBytes(bytes);
}

bool RawClient::SendHello(const std::string& user, const std::string& password) {
  std::vector<uint8_t> payload(32, 0);
  std::memcpy(payload.data(), user.data(), std::min<size_t>(user.size(), 16));
  std::memcpy(payload.data() + 16, password.data(), std::min<size_t>(password.size(), 16));
  return SendMessage(1, payload);
}

bool RawClient::ReadBytes(std::vector<uint8_t>& out, size_t n, std::chrono::milliseconds timeout) {
  out.assign(n, 0);
  const Clock::time_point deadline = Clock::now() + timeout;
  size_t got = 0;
  while (got < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t r = ::recv(fd_, out.data() + got, n - got, 0);
    if (r <= 0) {
      out.resize(got);
      return false;
    }
    got += static_cast<size_t>(r);
  }
  return true;
}

bool RawClient::ReadMessage(RawMessage& message, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> header;
  if (!ReadBytes(header, 16, timeout)) return false;
  std::copy(header.begin(), header.end(), message.header.begin());
  const uint16_t control = BigEndian16(header, 2);
  message.code = static_cast<uint16_t>(control >> 7);
  message.audioFlag = (control & 0x08) != 0;
  message.streamFlags = BigEndian16(header, 4);
  return ReadBytes(message.payload, BigEndian16(header, 6), timeout);
}

bool RawClient::WaitClosed(std::chrono::milliseconds timeout, size_t* extraBytes) {
  const Clock::time_point deadline = Clock::now() + timeout;
  size_t extra = 0;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t buffer[4096];
    const ssize_t r = ::recv(fd_, buffer, sizeof(buffer), 0);
    if (r <= 0) break;
    extra += static_cast<size_t>(r);
  }
  if (extraBytes != nullptr) *extraBytes = extra;
  return true;
}

bool RawClient::StaysSilent(std::chrono::milliseconds timeout) {
  pollfd pfd{fd_, POLLIN, 0};
  return ::poll(&pfd, 1, static_cast<int>(timeout.count())) == 0;
}

uint32_t BigEndian32(const std::vector<uint8_t>& b, size_t o) {
  return (static_cast<uint32_t>(b.at(o)) << 24) | (static_cast<uint32_t>(b.at(o + 1)) << 16) |
         (static_cast<uint32_t>(b.at(o + 2)) << 8) | b.at(o + 3);
}

uint16_t BigEndian16(const std::vector<uint8_t>& b, size_t o) {
  return static_cast<uint16_t>((b.at(o) << 8) | b.at(o + 1));
}

std::string FieldText(const std::vector<uint8_t>& b, size_t offset, size_t width) {
  std::string text;
  for (size_t i = 0; i < width && b.at(offset + i) != 0; ++i) {
    text.push_back(static_cast<char>(b[offset + i]));
  }
  return text;
}

}  // namespace orva::sim::test
