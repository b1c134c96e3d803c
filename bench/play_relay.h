// A loopback relay between one client and orva-sim that notes every video
// frame of remote playback on its way to the client: channel, frame time
// and data. The benchmark learns from it which frame the client showed when.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace bench {

struct RelayedFrame {
  int channel = 0;
  int64_t ms = 0;        // capture time: seconds * 1000 + microseconds / 1000
  uint32_t second = 0;   // the frame second (record header offset 24)
  std::vector<uint8_t> data;  // frame data, from the frame header on
  double arrivedMs = 0;       // steady clock, when its last byte passed
};

class PlayRelay {
 public:
  ~PlayRelay();
  // Listens on a free loopback port; the first client is relayed to `simPort`.
  bool Start(uint16_t simPort);
  uint16_t Port() const { return m_port; }
  void Stop();
  std::vector<RelayedFrame> Frames() const;
  size_t FrameCount() const;

 private:
  void Run();
  void Parse(const uint8_t* bytes, size_t count);
  void Complete();

  uint16_t m_simPort = 0, m_port = 0;
  int m_listen = -1;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;

  // Relay thread only: the parser of the recorder's side.
  std::vector<uint8_t> m_header, m_block;
  size_t m_payloadLeft = 0;
  bool m_playData = false, m_last = false;

  mutable std::mutex m_lock;
  std::vector<RelayedFrame> m_frames;
};

}  // namespace bench
