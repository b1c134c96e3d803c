// A bare POSIX socket client for driving the simulator in tests. It encodes
// and decodes the wire header itself so that the tests do not depend on the
// simulator's own framing code.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace orva::sim::test {

struct RawMessage {
  std::array<uint8_t, 16> header{};
  uint16_t code = 0;
  bool audioFlag = false;
  uint16_t streamFlags = 0;
  std::vector<uint8_t> payload;
};

class RawClient {
 public:
  RawClient() = default;
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connect(uint16_t port);
  bool SendBytes(const std::vector<uint8_t>& bytes);
  bool SendMessage(uint16_t code, const std::vector<uint8_t>& payload);
  bool SendHello(const std::string& user, const std::string& password);
  // Reads exactly n bytes; false on close, error or timeout.
  bool ReadBytes(std::vector<uint8_t>& out, size_t n, std::chrono::milliseconds timeout);
  bool ReadMessage(RawMessage& message,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
  // True when the peer closes (EOF or reset) within the timeout; any data
  // that arrives first is discarded and counted in *extraBytes.
  bool WaitClosed(std::chrono::milliseconds timeout, size_t* extraBytes = nullptr);
  // True when nothing at all arrives within the timeout and the link stays open.
  bool StaysSilent(std::chrono::milliseconds timeout);
  void Close();

 private:
  int fd_ = -1;
};

std::vector<uint8_t> EncodeHeader(uint16_t code, uint16_t length, bool audio = false,
                                  uint16_t flags = 0);
uint32_t BigEndian32(const std::vector<uint8_t>& bytes, size_t offset);
uint16_t BigEndian16(const std::vector<uint8_t>& bytes, size_t offset);
// Zero-terminated text of a fixed-width field.
std::string FieldText(const std::vector<uint8_t>& bytes, size_t offset, size_t width);

}  // namespace orva::sim::test
