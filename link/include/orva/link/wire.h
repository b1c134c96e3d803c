// Message framing: the 16-byte header, the send path under one lock and the
// three low-level reads every handler uses.
//
// Threading: reads (RecvExact, RecvResultCode, DiscardPayload) happen only on
// the receive thread. PacketSocket::SendPacket may be called from any thread;
// one lock is held for the whole message, so messages never interleave.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

namespace orva {

inline constexpr size_t kHeaderSize = 16;
inline constexpr std::chrono::milliseconds kDefaultRecvLimit{20000};

// Result codes RecvResultCode returns when there is no code to return.
inline constexpr int32_t kResultNoPayload = -100;
inline constexpr int32_t kResultReadFailed = -99;

// Stream-flag bits.
inline constexpr uint16_t kLastFragment = 0x4000;
inline constexpr uint16_t kChannelShift = 6;
inline constexpr uint16_t kChannelMask = 0x03C0;
inline constexpr uint16_t kSpeedMask = 0x003F;

// Host-order view of the header. The four big-endian 32-bit words on the
// wire are (reserved | control), (stream flags | length), reserved, tag.
struct MessageHeader {
  uint16_t reserved0 = 0;
  uint16_t control = 0;      // bits 7-15 code, bit 3 audio flag, bits 0-2 status
  uint16_t streamFlags = 0;  // bits 0-5 speed, 6-9 channel, 14 last fragment
  uint16_t length = 0;       // payload bytes that follow
  uint32_t reserved1 = 0;
  uint32_t frameTag = 0;

  uint16_t Code() const { return static_cast<uint16_t>(control >> 7); }
  bool AudioFlag() const { return (control & 0x0008) != 0; }
  bool IsLastFragment() const { return (streamFlags & kLastFragment) != 0; }
  int Channel() const { return (streamFlags & kChannelMask) >> kChannelShift; }
  int SpeedCode() const { return streamFlags & kSpeedMask; }

  void SetCode(uint16_t code) { control = static_cast<uint16_t>((control & 0x007F) | ((code & 0x01FF) << 7)); }
  void SetAudioFlag(bool on) { control = static_cast<uint16_t>(on ? (control | 0x0008) : (control & ~0x0008)); }
  void SetChannel(int channel) {
    streamFlags = static_cast<uint16_t>((streamFlags & ~kChannelMask) | ((channel & 0x0F) << kChannelShift));
  }
};

// A header for a client request: code, payload length, optional audio flag;
// everything else zero.
MessageHeader MakeHeader(uint16_t code, uint16_t length, bool audioFlag = false);

void EncodeHeader(const MessageHeader& header, uint8_t out[kHeaderSize]);
MessageHeader DecodeHeader(const uint8_t in[kHeaderSize]);

// Big-endian field helpers for payload builders and parsers.
inline uint32_t LoadBE32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline uint16_t LoadBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline void StoreBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline void StoreBE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// The send side of a connection: the socket descriptor and the lock that both
// serialises messages and guards the descriptor against being closed (and its
// number reused) while another thread sends on it.
class PacketSocket {
 public:
  PacketSocket() = default;
  ~PacketSocket();
  PacketSocket(const PacketSocket&) = delete;
  PacketSocket& operator=(const PacketSocket&) = delete;

  void Attach(int fd);
  // shutdown(SHUT_WR) then close; marks the socket closed. Idempotent.
  void ShutdownAndClose();
  void ShutdownSend();
  bool IsOpen() const;
  // Valid only on the receive thread, which is the only one that reads.
  int ReadFd() const { return m_fdForReads; }

  // Sends header (host order, length already set) and payload as one buffer.
  // Failures are traced ("nErr : %d... send error...socket closed") and the
  // message is lost; sending on a closed socket fails silently. The return
  // value only tells tests whether every byte was accepted.
  bool SendPacket(const MessageHeader& header, const void* payload, size_t length);

  // How long a send may wait for a peer that reads nothing.
  void SetSendLimit(std::chrono::milliseconds limit) { m_sendLimit = limit; }

 private:
  mutable std::mutex m_sendLock;  // guards m_fd and the wire
  int m_fd = -1;
  int m_fdForReads = -1;  // copy for the receive thread; closed only after it ends
  std::chrono::milliseconds m_sendLimit = kDefaultRecvLimit;
};

// Reads exactly buffer.size() bytes within `limit` for the whole call. Waits
// with poll() rather than spinning. Fails at once on a socket error or when
// the peer has closed (no further byte can ever arrive).
bool RecvExact(int fd, std::span<uint8_t> buffer, std::chrono::milliseconds limit = kDefaultRecvLimit);

// The big-endian signed result code at the start of the payload announced by
// header. kResultNoPayload when the length is 0, kResultReadFailed when the
// read fails. With a 12-byte payload and `extra` given, bytes 4-11 are copied
// there unchanged (network order).
int32_t RecvResultCode(int fd, const MessageHeader& header, uint8_t* extra = nullptr,
                       std::chrono::milliseconds limit = kDefaultRecvLimit);

// Reads past the payload header announces; false when the read failed.
bool DiscardPayload(int fd, const MessageHeader& header, std::chrono::milliseconds limit = kDefaultRecvLimit);

// Reads past `count` bytes without allocating per call.
bool DiscardBytes(int fd, size_t count, std::chrono::milliseconds limit = kDefaultRecvLimit);

}  // namespace orva
