#include "orva/link/wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "orva/link/trace.h"

namespace orva {

using Clock = std::chrono::steady_clock;

MessageHeader MakeHeader(uint16_t code, uint16_t length, bool audioFlag) {
  MessageHeader h;
  h.SetCode(code);
  h.SetAudioFlag(audioFlag);
  h.length = length;
  return h;
}

void EncodeHeader(const MessageHeader& h, uint8_t out[kHeaderSize]) {
  StoreBE16(out + 0, h.reserved0);
  StoreBE16(out + 2, h.control);
  StoreBE16(out + 4, h.streamFlags);
  StoreBE16(out + 6, h.length);
  StoreBE32(out + 8, h.reserved1);
  StoreBE32(out + 12, h.frameTag);
}

MessageHeader DecodeHeader(const uint8_t in[kHeaderSize]) {
  MessageHeader h;
  h.reserved0 = LoadBE16(in + 0);
  h.control = LoadBE16(in + 2);
  h.streamFlags = LoadBE16(in + 4);
  h.length = LoadBE16(in + 6);
  h.reserved1 = LoadBE32(in + 8);
  h.frameTag = LoadBE32(in + 12);
  return h;
}

PacketSocket::~PacketSocket() { ShutdownAndClose(); }

void PacketSocket::Attach(int fd) {
  std::lock_guard lock(m_sendLock);
  m_fd = fd;
  m_fdForReads = fd;
}

void PacketSocket::ShutdownSend() {
  std::lock_guard lock(m_sendLock);
  if (m_fd >= 0) ::shutdown(m_fd, SHUT_WR);
}

void PacketSocket::ShutdownAndClose() {
  std::lock_guard lock(m_sendLock);
  if (m_fd >= 0) {
    ::shutdown(m_fd, SHUT_WR);
    ::close(m_fd);
  }
  m_fd = -1;
  m_fdForReads = -1;
}

bool PacketSocket::IsOpen() const {
  std::lock_guard lock(m_sendLock);
  return m_fd >= 0;
}

bool PacketSocket::SendPacket(const MessageHeader& header, const void* payload, size_t length) {
  // Header and payload leave as one buffer so that a message is split only
  // when the socket itself takes part of it.
  std::vector<uint8_t> buffer(kHeaderSize + length);
  EncodeHeader(header, buffer.data());
  if (length && payload) std::memcpy(buffer.data() + kHeaderSize, payload, length);

  std::lock_guard lock(m_sendLock);
  if (m_fd < 0) return false;
  size_t sent = 0;
  const auto deadline = Clock::now() + m_sendLimit;
  while (sent < buffer.size()) {
    ssize_t n = ::send(m_fd, buffer.data() + sent, buffer.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    int err = n < 0 ? errno : EPIPE;
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EWOULDBLOCK) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() > 0) {
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 100)));
        continue;
      }
      err = ETIMEDOUT;
    }
    Trace("nErr : %d... send error...socket closed\n", err);
    return false;
  }
  return true;
}

bool RecvExact(int fd, std::span<uint8_t> buffer, std::chrono::milliseconds limit) {
  if (fd < 0) return false;
  const auto deadline = Clock::now() + limit;
  size_t got = 0;
  while (got < buffer.size()) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;  // the limit covers the whole call
    ssize_t n = ::recv(fd, buffer.data() + got, buffer.size() - got, MSG_DONTWAIT);
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) return false;  // peer closed: the count can never complete
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 100)));
      continue;
    }
    Trace("nErr : %d... receive error...socket closed\n", errno);
    return false;
  }
  return true;
}

int32_t RecvResultCode(int fd, const MessageHeader& header, uint8_t* extra, std::chrono::milliseconds limit) {
  if (header.length == 0) return kResultNoPayload;
  std::vector<uint8_t> payload(header.length);
  if (!RecvExact(fd, payload, limit)) return kResultReadFailed;
  if (payload.size() < 4) return kResultNoPayload;  // too short to hold a code
  if (payload.size() == 12 && extra) std::memcpy(extra, payload.data() + 4, 8);
  return static_cast<int32_t>(LoadBE32(payload.data()));
}

bool DiscardBytes(int fd, size_t count, std::chrono::milliseconds limit) {
  uint8_t scratch[4096];
  const auto deadline = Clock::now() + limit;
  while (count > 0) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    size_t chunk = std::min(count, sizeof scratch);
    if (!RecvExact(fd, std::span<uint8_t>(scratch, chunk), left)) return false;
    count -= chunk;
  }
  return true;
}

bool DiscardPayload(int fd, const MessageHeader& header, std::chrono::milliseconds limit) {
  return DiscardBytes(fd, header.length, limit);
}

}  // namespace orva
