// The streaming thread of a remote playback: sends the archive's frames of
// the playback's channels in time order, as far as the client's credit
// allows, paced against the frames' own times (or as fast as possible with
// --fast), forward or backward at four speeds, or one step at a time.
//
// Speeds: at +1 every frame of every GOP; at -1 and at +-2, +-3, +-4 only
// key frames, one per recorded second and channel (the other frames of a GOP
// cannot be decoded without the ones before them), at 1, 2, 4 and 8 recorded
// seconds per second. A forward step sends the next frame, a backward step
// the key frame before the current position, for each step channel.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "archive.h"
#include "archive_pictures.h"
#include "audio_source.h"
#include "orva/sim/config.h"
#include "send_link.h"

namespace orva::sim::detail {

class PlaybackStreamer {
 public:
  using TraceFn = std::function<void(const std::string&)>;
  PlaybackStreamer(const SimConfig& config, const Archive& archive, SendLink& link,
                   const std::atomic<bool>& stop, TraceFn trace);
  ~PlaybackStreamer();  // Shutdown()
  PlaybackStreamer(const PlaybackStreamer&) = delete;
  PlaybackStreamer& operator=(const PlaybackStreamer&) = delete;

  // The following need the link's lock.
  // Plays `channels` forward at speed 1 from `first` (a recorded second),
  // up to `end` (inclusive; 0 = the end of the archive), recordings of the
  // kinds in `kindMask` only (0 = all).
  void StartLocked(uint16_t channels, uint8_t kindMask, uint32_t first, uint32_t end);
  void StopLocked();
  bool ActiveLocked() const { return active_; }
  void CreditLocked(uint32_t frames);
  // Without a position: faster when already playing that way, else speed 1
  // from where playback stands.
  void PlayLocked(int direction);
  // Re-positions to `second` and plays that way at speed 1.
  void PlayFromLocked(int direction, uint32_t second);
  void PauseLocked();
  void StepLocked(int direction);
  void SetStepChannelsLocked(uint16_t channels) { stepChannels_ = channels; }

  void Shutdown();  // ends the thread; call without the lock
  bool Broken() const { return broken_.load(); }

 private:
  using Lock = std::unique_lock<std::mutex>;
  using Clock = std::chrono::steady_clock;
  struct Slot {
    uint32_t second = 0;
    int index = 0;  // frame within the second's GOP
  };
  void Run();
  bool PlanSlot();  // false: nothing left that way
  uint16_t RecordedAt(uint32_t second, uint16_t channels);
  void AbandonSlot();
  uint64_t SlotMs(const Slot& slot) const;
  Clock::time_point Due() const;
  bool KeyOnly() const;
  int Direction() const { return running_ ? direction_ : stepDirection_; }
  uint16_t SpeedCode() const;
  bool SendAudio(Lock& lock);
  bool SendVideo(Lock& lock, int channel, const std::vector<uint8_t>& frameData);
  bool SendRecord(Lock& lock, const std::vector<uint8_t>& record, int channel, const char* what);
  bool Finish(uint16_t code, const std::vector<uint8_t>& payload);  // DONE or FAIL
  void Fail(const std::string& why);
  void Trace(const std::string& line) const {
    if (trace_) trace_(line);
  }

  const SimConfig& config_;
  const Archive& archive_;
  SendLink& link_;
  const std::atomic<bool>& stop_;
  TraceFn trace_;
  ArchivePictures pictures_;  // used by the thread only
  std::condition_variable wake_;
  std::atomic<bool> ending_{false};
  std::atomic<bool> broken_{false};

  // Guarded by the link's lock.
  uint64_t generation_ = 0;
  bool active_ = false, running_ = false;
  uint16_t channels_ = 0, stepChannels_ = 0;
  uint8_t kindMask_ = 0;
  uint32_t end_ = 0;
  int direction_ = 1, speed_ = 1;
  int steps_ = 0, stepDirection_ = 1;
  int64_t credit_ = 0;
  uint64_t framesSent_ = 0;
  Slot position_;               // the last slot sent ...
  bool positionNext_ = true;    // ... or, when set, the next one
  bool slotValid_ = false;
  Slot slot_;
  uint16_t slotAll_ = 0, slotLeft_ = 0;  // channels of the slot, those still to send
  std::array<int, 16> slotKinds_{};
  bool slotAudioDone_ = false;
  bool rebase_ = true;
  Clock::time_point refWall_{};
  uint64_t refMs_ = 0;
  uint32_t cachedSecond_ = 0;  // RecordedAt's last answer
  uint16_t cachedAsked_ = 0, cachedChannels_ = 0;
  std::array<int, 16> cachedKinds_{};
  bool cacheValid_ = false;
  uint16_t failed_ = 0;  // channels whose pictures could not be made
  std::array<ImaAdpcmEncoder, 16> adpcm_{};

  std::thread thread_;  // last: starts after everything above exists
};

}  // namespace orva::sim::detail
