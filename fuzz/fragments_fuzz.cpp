// Message headers and fragment reassembly: the input is a recorder's byte
// stream (headers and payloads) pushed through a socket pair; every header is
// decoded and every payload handed to the reassembly buffer as a fragment,
// with a buffer small enough that overruns happen often.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "orva/link/reassembly.h"
#include "orva/link/wire.h"

using namespace std::chrono_literals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the buffer: the real one, or a small one that the
  // fragments overrun all the time.
  const size_t capacity = (data[0] & 1) ? orva::kFrameBufferSize : 64 + 32 * (data[0] >> 1);
  static orva::FrameReassembly big;
  orva::FrameReassembly small(capacity);
  orva::FrameReassembly& reassembly = (data[0] & 1) ? big : small;
  reassembly.Reset();
  ++data;
  --size;

  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
  // Write everything up front, then close: reads past the end must fail, not wait.
  int buffer = 1 << 20;
  ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fds[1], data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  ::close(fds[1]);

  uint8_t head[orva::kHeaderSize];
  while (orva::RecvExact(fds[0], head, 50ms)) {
    const orva::MessageHeader header = orva::DecodeHeader(head);
    uint8_t again[orva::kHeaderSize];
    orva::EncodeHeader(header, again);
    if (std::memcmp(head, again, sizeof head) != 0) std::abort();  // the header must survive a round trip
    const auto result = reassembly.ReadFragment(fds[0], header, 50ms);
    if (result == orva::FrameReassembly::Result::kReadFailed) break;
    if (reassembly.Fill() > reassembly.Capacity()) std::abort();
    if (result == orva::FrameReassembly::Result::kComplete) {
      const auto block = reassembly.Block();
      if (block.size() > reassembly.Capacity()) std::abort();
      volatile uint8_t sink = 0;
      for (uint8_t b : block) sink = static_cast<uint8_t>(sink ^ b);  // every byte must be readable
      (void)sink;
    }
  }
  ::close(fds[0]);
  return 0;
}
