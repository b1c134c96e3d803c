#include "play_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "orva/link/catalogue.h"
#include "orva/link/wire.h"
#include "orva/media/stream_frames.h"

namespace bench {
namespace {

constexpr uint32_t kVideoRecordType = 0x20061123;
constexpr size_t kRecordHeader = 192;

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

PlayRelay::~PlayRelay() { Stop(); }

bool PlayRelay::Start(uint16_t simPort) {
  m_simPort = simPort;
  m_listen = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(m_listen, 1) != 0 || getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    return false;
  m_port = ntohs(addr.sin_port);
  m_thread = std::thread([this] { Run(); });
  return true;
}

void PlayRelay::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_listen >= 0) close(m_listen);
  m_listen = -1;
}

std::vector<RelayedFrame> PlayRelay::Frames() const {
  std::lock_guard lock(m_lock);
  return m_frames;
}

size_t PlayRelay::FrameCount() const {
  std::lock_guard lock(m_lock);
  return m_frames.size();
}

void PlayRelay::Run() {
  // Not one of the client's threads: its CPU is not the client's.
  pthread_setname_np(pthread_self(), "bench-relay");
  pollfd accept{m_listen, POLLIN, 0};
  while (!m_stop && poll(&accept, 1, 50) <= 0) {
  }
  if (m_stop) return;
  const int client = ::accept(m_listen, nullptr, nullptr);
  const int sim = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(m_simPort);
  if (client < 0 || sim < 0 || connect(sim, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (client >= 0) close(client);
    if (sim >= 0) close(sim);
    return;
  }
  std::vector<uint8_t> buffer(1 << 16);
  pollfd fds[2] = {{client, POLLIN, 0}, {sim, POLLIN, 0}};
  while (!m_stop) {
    if (poll(fds, 2, 50) <= 0) continue;
    bool ended = false;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = recv(fds[i].fd, buffer.data(), buffer.size(), 0);
      if (n <= 0 || !WriteAll(fds[1 - i].fd, buffer.data(), static_cast<size_t>(n))) {
        ended = true;
        break;
      }
      if (i == 1) Parse(buffer.data(), static_cast<size_t>(n));
    }
    if (ended) break;
  }
  close(client);
  close(sim);
}

void PlayRelay::Parse(const uint8_t* bytes, size_t count) {
  while (count > 0) {
    if (m_payloadLeft == 0) {
      const size_t take = std::min(count, orva::kHeaderSize - m_header.size());
      m_header.insert(m_header.end(), bytes, bytes + take);
      bytes += take;
      count -= take;
      if (m_header.size() < orva::kHeaderSize) return;
      const orva::MessageHeader h = orva::DecodeHeader(m_header.data());
      m_header.clear();
      m_playData = h.Code() == orva::msg::PLAY_DATA;
      m_last = h.IsLastFragment();
      m_payloadLeft = h.length;
      if (m_payloadLeft == 0 && m_playData && m_last) Complete();
      continue;
    }
    const size_t take = std::min(count, m_payloadLeft);
    if (m_playData) m_block.insert(m_block.end(), bytes, bytes + take);
    bytes += take;
    count -= take;
    m_payloadLeft -= take;
    if (m_payloadLeft == 0 && m_playData && m_last) Complete();
  }
}

void PlayRelay::Complete() {
  const std::vector<uint8_t> block = std::move(m_block);
  m_block.clear();
  if (block.size() < kRecordHeader + 20 || Be32(block.data() + 16) != kVideoRecordType) return;
  RelayedFrame f;
  f.arrivedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
  f.second = Be32(block.data() + 24);
  f.ms = int64_t{Be32(block.data() + 80)} * 1000 + Be32(block.data() + 84) / 1000;
  const size_t size = std::min<size_t>(Be32(block.data() + 28), block.size() - kRecordHeader);
  f.data.assign(block.begin() + kRecordHeader, block.begin() + static_cast<std::ptrdiff_t>(kRecordHeader + size));
  if (f.data.size() < 20) return;
  orva::FrameInfo info;
  orva::ParseFrameHeader(f.data.data(), info);
  f.channel = info.channel;
  std::lock_guard lock(m_lock);
  m_frames.push_back(std::move(f));
}

}  // namespace bench
