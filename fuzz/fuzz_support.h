// Helpers shared by the fuzz targets: a loopback listener that plays the
// recorder's side, a scratch folder per process, and message bytes built
// with the client's own header encoder.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace orva::fuzz {

// One message as the recorder puts it on the wire.
std::vector<uint8_t> Message(uint16_t code, std::span<const uint8_t> payload, uint16_t streamFlags = 0x4000,
                             bool audio = false);

// A TCP listener on 127.0.0.1 that accepts one client at a time.
class LoopbackPeer {
 public:
  LoopbackPeer();
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  uint16_t Port() const { return m_port; }
  bool Accept(std::chrono::milliseconds timeout);
  // Writes everything; false when the client has gone.
  bool Write(std::span<const uint8_t> bytes);
  // Reads one whole message and returns its code, or -1 on time-out or close.
  int ReadMessage(std::chrono::milliseconds timeout);
  // Reads and drops whatever the client sends until it closes (true) or
  // `timeout` passes (false).
  bool DrainUntilClosed(std::chrono::milliseconds timeout);
  void ShutdownWrite();
  void CloseClient();

 private:
  int m_listen = -1;
  int m_client = -1;
  uint16_t m_port = 0;
};

// A folder under the system's temporary folder, made once per process and
// emptied by Reset().
class ScratchFolder {
 public:
  static ScratchFolder& Get();
  const std::filesystem::path& Path() const { return m_path; }
  void Reset();

 private:
  ScratchFolder();
  std::filesystem::path m_path;
};

bool WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace orva::fuzz
