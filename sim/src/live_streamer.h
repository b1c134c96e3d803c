// The streaming thread of one client session: sends the live video loops of
// the requested channels and, while audio is on, their sound, paced in real
// time or (fast mode) as fast as the client reads.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "audio_source.h"
#include "orva/sim/config.h"
#include "ptz_cameras.h"
#include "ptz_renderer.h"
#include "send_link.h"
#include "video_loop.h"

namespace orva::sim::detail {

// Frames sent, for tests and benchmarks; shared by all sessions of a simulator.
struct StreamCounters {
  std::array<std::atomic<uint64_t>, 16> video{};
  std::array<std::atomic<uint64_t>, 16> audio{};
};

class LiveStreamer {
 public:
  using TraceFn = std::function<void(const std::string&)>;
  LiveStreamer(const SimConfig& config, SendLink& link, const std::atomic<bool>& stop,
               StreamCounters& counters, TraceFn trace, PtzCameras* ptz = nullptr,
               const std::atomic<bool>* pal = nullptr);
  ~LiveStreamer();  // Shutdown()
  LiveStreamer(const LiveStreamer&) = delete;
  LiveStreamer& operator=(const LiveStreamer&) = delete;

  // With the link's lock held: (re)start streaming `mask` (bit i = channel i)
  // from the top of each loop, or stop streaming.
  void StartLocked(uint16_t mask);
  void StopLocked();
  // Ends the thread; call without the lock.
  void Shutdown();
  // True once a send has failed (the connection is then shut down).
  bool Broken() const { return broken_.load(); }

 private:
  using Lock = std::unique_lock<std::mutex>;
  void Run();
  bool Idle() const;            // nothing left to send for the current request
  uint16_t MissingLoops() const;
  void LoadLoops(uint16_t channels);
  // Each returns false when the request changed meanwhile or sending failed.
  bool SendVideoTick(Lock& lock);
  bool SendAudioTick(Lock& lock);
  bool SendBlock(Lock& lock, const std::vector<uint8_t>& block, int channel, uint32_t second,
                 const char* what, std::atomic<uint64_t>& counter);
  bool ChannelLive(int channel) const;
  // Steerable channels are rendered and encoded live instead of looped.
  bool Steered(int channel) const { return ptz_ != nullptr && ptz_->Steerable(channel); }
  bool HasSource(int channel) const;
  bool NextFrame(int channel, std::vector<uint8_t>& frameData, bool& key);
  // Drops the pictures of the other standard when the setup has changed it.
  void FollowStandard();
  void Fail(const std::string& why);

  const SimConfig& config_;
  SendLink& link_;
  const std::atomic<bool>& stop_;
  StreamCounters& counters_;
  TraceFn trace_;
  PtzCameras* ptz_;
  const std::atomic<bool>* pal_;  // the video standard in the setup; null: the configured one
  bool streamPal_;                // the standard of the loaded pictures (streaming thread only)
  std::condition_variable wake_;
  std::atomic<bool> ending_{false};
  std::atomic<bool> broken_{false};

  // Guarded by the link's lock.
  uint64_t generation_ = 0;
  bool active_ = false;
  uint16_t mask_ = 0;
  std::chrono::steady_clock::time_point start_{};
  uint64_t videoTick_ = 0, audioTick_ = 0;
  std::array<int, 16> framesSent_{};
  std::array<size_t, 16> loopPosition_{};
  std::array<std::shared_ptr<const VideoLoop>, 16> loops_{};
  std::array<std::unique_ptr<PtzRenderer>, 16> live_{};
  uint16_t failed_ = 0;  // channels whose loop could not be encoded
  std::array<ImaAdpcmEncoder, 16> adpcm_{};
  std::array<uint64_t, 16> samplePosition_{};

  std::thread thread_;  // last: starts after everything above exists
};

}  // namespace orva::sim::detail
