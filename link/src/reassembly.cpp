#include "orva/link/reassembly.h"

#include "orva/link/trace.h"

namespace orva {

FrameReassembly::FrameReassembly(size_t capacity) : m_buffer(capacity) {}

void FrameReassembly::Reset() {
  m_fill = 0;
  m_completeSize = 0;
  m_dropping = false;
}

FrameReassembly::Result FrameReassembly::ReadFragment(int fd, const MessageHeader& header,
                                                      std::chrono::milliseconds limit) {
  m_completeSize = 0;
  const size_t length = header.length;
  if (!m_dropping && m_fill + length > m_buffer.size()) {
    Trace("Reassembly overrun : %zu + %zu > %zu, block dropped\n", m_fill, length, m_buffer.size());
    m_dropping = true;
    m_fill = 0;
  }
  if (m_dropping) {
    if (!DiscardBytes(fd, length, limit)) return Result::kReadFailed;
    if (header.IsLastFragment()) {
      m_dropping = false;
      return Result::kDropped;
    }
    return Result::kPartial;
  }
  if (!RecvExact(fd, std::span<uint8_t>(m_buffer.data() + m_fill, length), limit)) return Result::kReadFailed;
  m_fill += length;
  if (!header.IsLastFragment()) return Result::kPartial;
  m_completeSize = m_fill;
  m_fill = 0;
  return Result::kComplete;
}

}  // namespace orva
