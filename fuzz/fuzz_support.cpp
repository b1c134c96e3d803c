#include "fuzz_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "orva/link/wire.h"

namespace orva::fuzz {

std::vector<uint8_t> Message(uint16_t code, std::span<const uint8_t> payload, uint16_t streamFlags, bool audio) {
  MessageHeader header = MakeHeader(code, static_cast<uint16_t>(payload.size()), audio);
  header.streamFlags = streamFlags;
  std::vector<uint8_t> out(kHeaderSize + payload.size());
  EncodeHeader(header, out.data());
  std::copy(payload.begin(), payload.end(), out.begin() + kHeaderSize);
  return out;
}

LoopbackPeer::LoopbackPeer() {
  m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listen, 4) != 0) {
    std::perror("fuzz: loopback listener");
    std::abort();
  }
  socklen_t len = sizeof addr;
  ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  CloseClient();
  if (m_listen >= 0) ::close(m_listen);
}

namespace {

// poll() that goes on after a signal: libFuzzer's timers interrupt it now and then.
int PollFor(int fd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    pollfd p{fd, POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n >= 0 || errno != EINTR) return n;
  }
}

}  // namespace

bool LoopbackPeer::Accept(std::chrono::milliseconds timeout) {
  CloseClient();
  if (PollFor(m_listen, std::chrono::steady_clock::now() + timeout) != 1) return false;
  m_client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
  return m_client >= 0;
}

bool LoopbackPeer::Write(std::span<const uint8_t> bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(m_client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

int LoopbackPeer::ReadMessage(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto readExact = [&](uint8_t* out, size_t count) {
    size_t got = 0;
    while (got < count) {
      if (PollFor(m_client, deadline) != 1) return false;
      const ssize_t n = ::recv(m_client, out + got, count - got, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  };
  uint8_t head[kHeaderSize];
  if (!readExact(head, sizeof head)) return -1;
  const MessageHeader header = DecodeHeader(head);
  std::vector<uint8_t> payload(header.length);
  if (!readExact(payload.data(), payload.size())) return -1;
  return header.Code();
}

bool LoopbackPeer::DrainUntilClosed(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  uint8_t scratch[4096];
  for (;;) {
    if (PollFor(m_client, deadline) != 1) return false;
    const ssize_t n = ::recv(m_client, scratch, sizeof scratch, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
  }
}

void LoopbackPeer::ShutdownWrite() {
  if (m_client >= 0) ::shutdown(m_client, SHUT_WR);
}

void LoopbackPeer::CloseClient() {
  if (m_client >= 0) ::close(m_client);
  m_client = -1;
}

ScratchFolder& ScratchFolder::Get() {
  static ScratchFolder folder;
  return folder;
}

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orva-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("fuzz: scratch folder");
    std::abort();
  }
  m_path = pattern;
  // Removed at exit so that long runs leave nothing behind.
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(Get().m_path, ignored);
  });
}

void ScratchFolder::Reset() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(m_path, ignored))
    std::filesystem::remove_all(entry.path(), ignored);
}

bool WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace orva::fuzz
