// Reassembly of fragmented blocks (frames, logs, firmware answers).
//
// Each fragment's payload is read from the socket straight into the buffer
// at its fill position. A block that would overrun the buffer is dropped:
// the rest of its fragments are read past so the stream stays aligned on the
// next header, and the next block starts clean.
//
// Owned and used by the receive thread only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "orva/link/wire.h"

namespace orva {

inline constexpr size_t kFrameBufferSize = 1244160;  // 720 x 576 x 3

class FrameReassembly {
 public:
  enum class Result {
    kPartial,     // more fragments to come
    kComplete,    // Block() holds the whole block
    kDropped,     // the block overran the buffer and was dropped
    kReadFailed,  // the payload could not be read: the connection is lost
  };

  explicit FrameReassembly(size_t capacity = kFrameBufferSize);

  Result ReadFragment(int fd, const MessageHeader& header, std::chrono::milliseconds limit = kDefaultRecvLimit);

  // The completed block; valid after kComplete until the next ReadFragment or Reset.
  std::span<const uint8_t> Block() const { return {m_buffer.data(), m_completeSize}; }
  size_t Fill() const { return m_fill; }
  size_t Capacity() const { return m_buffer.size(); }
  // Starts over (e.g. when a new stream begins).
  void Reset();

 private:
  std::vector<uint8_t> m_buffer;
  size_t m_fill = 0;
  size_t m_completeSize = 0;
  bool m_dropping = false;  // current block overran: read past until its last fragment
};

}  // namespace orva
