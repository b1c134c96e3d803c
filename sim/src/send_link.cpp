#include "send_link.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "orva/sim/wire.h"

namespace orva::sim::detail {

std::unique_lock<std::mutex> SendLink::LockForControl() {
  controlWaiting_.fetch_add(1);
  std::unique_lock<std::mutex> lock(mutex_);
  controlWaiting_.fetch_sub(1);
  return lock;
}

bool SendLink::SendLocked(uint16_t code, const std::vector<uint8_t>& payload,
                          std::string& error) {
  std::vector<uint8_t> bytes;
  if (!BuildMessage(code, payload, audioOn_, bytes, error)) return false;
  if (!io_.SendAll(bytes.data(), bytes.size())) {
    error = "send failed";
    return false;
  }
  return true;
}

bool SendLink::SendBlockLocked(uint16_t code, const std::vector<uint8_t>& block, int channel,
                               uint32_t frameTag, size_t maxFragment, size_t& fragments,
                               std::string& error, uint16_t speedCode) {
  maxFragment = std::clamp<size_t>(maxFragment, 1, 0xFFFF);
  fragments = 0;
  std::vector<uint8_t> message;
  size_t offset = 0;
  do {
    const size_t piece = std::min(maxFragment, block.size() - offset);
    const bool last = offset + piece == block.size();
    WireHeader header;
    header.code = code;
    header.audioFlag = audioOn_;
    header.streamFlags = static_cast<uint16_t>(((channel & 0x0F) << 6) | (speedCode & 0x3F) |
                                               (last ? kLastFragment : 0));
    header.length = static_cast<uint16_t>(piece);
    header.frameTag = frameTag;
    message.resize(kHeaderSize + piece);
    EncodeHeader(header, message.data());
    if (piece > 0) std::memcpy(message.data() + kHeaderSize, block.data() + offset, piece);
    if (!io_.SendAll(message.data(), message.size())) {
      error = "send failed";
      return false;
    }
    offset += piece;
    ++fragments;
  } while (offset < block.size());
  return true;
}

bool SendLink::SendRawLocked(const uint8_t* data, size_t count) {
  return io_.SendAll(data, count);
}

}  // namespace orva::sim::detail

namespace orva::sim::detail {

void SendLink::Abort() { ::shutdown(io_.fd(), SHUT_RDWR); }

}  // namespace orva::sim::detail
