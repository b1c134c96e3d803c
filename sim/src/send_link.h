// The sending half of one client connection. Every message to the client
// goes through one lock, so that messages from the session thread and the
// streaming thread never interleave and the fragments of a block stay
// together. It also stamps every message with the current audio flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "socket_io.h"

namespace orva::sim::detail {

class SendLink {
 public:
  explicit SendLink(SocketIo& io) : io_(io) {}

  std::mutex& mutex() { return mutex_; }

  // Takes the lock for the session thread, telling the streaming thread to
  // let go of it between blocks (a plain mutex would let a busy streamer
  // starve the session).
  std::unique_lock<std::mutex> LockForControl();
  bool ControlWaiting() const { return controlWaiting_.load() > 0; }

  // The following require the lock.
  bool audioOn() const { return audioOn_; }
  void SetAudio(bool on) { audioOn_ = on; }
  // One single-block message.
  bool SendLocked(uint16_t code, const std::vector<uint8_t>& payload, std::string& error);
  // A block in consecutive messages of at most `maxFragment` payload bytes;
  // the last one carries the last-fragment bit. `channel` goes into the
  // stream-flag channel bits, `frameTag` into every fragment's header and
  // `speedCode` (playback) into stream-flag bits 0-5.
  bool SendBlockLocked(uint16_t code, const std::vector<uint8_t>& block, int channel,
                       uint32_t frameTag, size_t maxFragment, size_t& fragments,
                       std::string& error, uint16_t speedCode = 0);
  // Shuts the connection down both ways, so that the session thread's read
  // ends too (used when the streaming thread's send fails).
  void Abort();
  // Raw bytes (the fault switches that cut messages short).
  bool SendRawLocked(const uint8_t* data, size_t count);

 private:
  SocketIo& io_;
  std::mutex mutex_;
  std::atomic<int> controlWaiting_{0};
  bool audioOn_ = false;
};

}  // namespace orva::sim::detail
