// Local playback of downloaded pairs, without any recorder: the playback
// list built from the pairs, and a reader thread that reads frames forwards
// or backwards, paces them against their own times at four speeds each way,
// steps frame by frame, seeks through the per-second seek table, and feeds
// the channel decoders and the audio player.
//
// Threads and contracts
// - Start, Command, Seek, SetVisibleChannels and Stop run on the owner's
//   thread (the UI thread, or orvactl's main thread). The operations only
//   set atomics and wake the reader thread.
// - The reader thread owns the files, the list position and the pacing
//   reference; it calls the observer, which only records and posts.
// - The decoders and the audio player belong to the player; they are
//   created by Start and released by Stop.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orva/media/audio_player.h"
#include "orva/media/channel_decoder.h"
#include "orva/recordings/local_files.h"
#include "orva/recordings/remote_playback.h"

namespace orva {

// One segment of a pair in the playback list.
struct PlaybackEntry {
  std::string vid, idx;
  size_t pair = 0;
  size_t segment = 0;
  uint32_t start = 0, end = 0;   // segment times
  uint32_t playFrom = 0;         // time playback of this entry starts at
  uint64_t startOffset = 0;      // .vid offset playback starts at
  uint64_t warmOffset = 0;       // a second before it: decoded, not shown, for the key frames
  uint64_t startMs = 0;          // time of the frame at startOffset
  uint64_t firstOffset = 0;      // the segment's first frame
  uint64_t endOffset = 0;        // the next segment's first frame, or the trailer
  uint32_t firstSeek = 0, seekEnd = 0;  // the segment's seek entries in the .idx
  uint32_t channelMask = 0;
  bool audio = false;
  bool joinedPrevious = false, joinedNext = false;
  bool found = false;
};

// The entries of `pairs` (in their order) limited to [start, end] (end 0:
// none); the one holding `start` starts at the first frame at or after it.
std::vector<PlaybackEntry> BuildPlaybackList(const std::vector<LocalPair>& pairs, uint32_t start, uint32_t end,
                                             const ReaderOpener& open = OpenPosixReader);

// The first video frame at or after `target` in an entry, through its seek
// entries; false when the entry has none.
bool FindFrameAtOrAfter(ReadableFile& idx, ReadableFile& vid, const PlaybackEntry& entry, uint32_t target,
                        LocalFrame& out);

inline constexpr uint32_t kNoEndTime = 2145916799;  // 2037-12-31 23:59:59 counts as none

class LocalPlayerObserver {
 public:
  virtual ~LocalPlayerObserver() = default;
  virtual void OnShownTime(uint32_t time) { (void)time; }
  virtual void OnSpeedChanged(int speed) { (void)speed; }
  virtual void OnAudioChannels(uint16_t mask) { (void)mask; }
  // The end (or start, in reverse) of the list: the player paused.
  virtual void OnListEnd() {}
  virtual void OnSeekDone(uint32_t target, uint32_t landed, double ms) { (void)target, (void)landed, (void)ms; }
  virtual void OnStopped() {}
};

struct LocalPlayerOptions {
  ReaderOpener open = OpenPosixReader;
  PlaybackClock* clock = nullptr;  // the steady clock when null
  SoundDevice* sound = nullptr;    // no sound when null
  int audioDepth = 15;
  int dateFormat = 0;
  // Local-log records of the start (4/1) and end (4/2) of a local playback.
  std::function<void(uint32_t subType)> logRecord;
};

struct LocalPlayerStats {
  uint64_t shown = 0;     // video frames queued to decoders
  uint64_t passed = 0;    // passed over (marker, skip counters, other channels)
  uint64_t audio = 0;     // audio frames queued
  uint64_t unusable = 0;  // frames that could not be read or shown
};

class LocalPlayer {
 public:
  LocalPlayer(const H264Library& library, std::mutex& decodeLock, ChannelView& view, LocalPlayerOptions options = {});
  ~LocalPlayer();  // Stop()
  LocalPlayer(const LocalPlayer&) = delete;
  LocalPlayer& operator=(const LocalPlayer&) = delete;

  // Builds the list from `pairs` and starts forward play at `start`. False
  // (notice 4/0 for the caller) when no entry holds the start.
  bool Start(const std::vector<LocalPair>& pairs, uint32_t start, uint32_t end = 0);
  // 1 step backward, 2 reverse, 3 forward, 4 pause, 7 step forward.
  void Command(int mode);
  // The position slider: go to the first frame at or after `target`.
  void Seek(uint32_t target);
  void SetVisibleChannels(uint16_t mask) { m_visible = mask; }
  void Stop();

  bool Running() const { return m_running.load(); }
  int Mode() const { return m_mode.load(); }
  int Speed() const { return m_speed.load(); }
  uint32_t ShownTime() const { return m_shown.load(); }
  uint32_t ListStart() const { return m_listStart.load(); }
  uint32_t ListEnd() const { return m_listEnd.load(); }
  uint16_t AudioChannels() const { return m_heard.load(); }
  const std::vector<PlaybackEntry>& Entries() const { return m_entries; }  // fixed while running
  LocalPlayerStats Stats() const;
  std::array<ChannelDecoderStats, kChannelCount> DecoderStats() const;
  void SetObserver(LocalPlayerObserver* observer) { m_observer = observer; }

 private:
  struct Files;
  void Thread_Play();
  bool OpenEntry(size_t index, Files& files);
  bool EnterEntry(size_t index, bool backwards, Files& files);
  bool StepForwardFrame(Files& files, LocalFrame& frame);
  bool StepBackwardFrame(Files& files, LocalFrame& frame);
  bool DoSeek(Files& files, uint32_t target, LocalFrame& landed);
  void TakeReference(const LocalFrame& frame);  // after a re-base or a resume
  void NewGenerationIfRebased();
  // Frames before the point a start or seek lands on are decoded but not
  // shown, so that every channel has its key frame when the pictures begin.
  bool Warming(const LocalFrame& frame);
  void Warm(const LocalFrame& frame);
  void Show(const LocalFrame& frame);
  void Pace(const LocalFrame& frame, int speed);  // waits until the frame is due
  void SlowForBacklog(const LocalFrame& frame);
  void QueueAudio(const LocalFrame& frame);
  bool PassBySpeed(const LocalFrame& frame, int speed);
  void PauseAtEnd();
  void Wait(int ms);
  void ReleaseDecoders();

  const H264Library& m_library;
  std::mutex& m_decodeLock;
  ChannelView& m_view;
  LocalPlayerOptions m_options;
  PlaybackClock& m_clock;
  LocalPlayerObserver* m_observer = nullptr;
  std::vector<PlaybackEntry> m_entries;  // written before the thread starts

  // Shared: the operations write, the reader thread reads.
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_mode{kPlayForward};
  std::atomic<int> m_speed{1};
  std::atomic<bool> m_rebase{true};
  std::atomic<bool> m_resumed{false};  // the pause-resume flag
  std::atomic<int> m_seekState{0};     // 0 none, 3 requested, 4 seeking
  std::atomic<uint32_t> m_seekTarget{0};
  std::atomic<uint16_t> m_visible{0xFFFF};
  std::atomic<uint32_t> m_shown{0};
  std::atomic<uint32_t> m_listStart{0}, m_listEnd{0};
  std::atomic<uint16_t> m_heard{0};
  std::atomic<uint64_t> m_statShown{0}, m_statPassed{0}, m_statAudio{0}, m_statUnusable{0};
  std::mutex m_wakeLock;
  std::condition_variable m_wake;

  // Reader thread only.
  size_t m_current = 0;
  uint32_t m_generation = 0;
  int64_t m_referenceMs = 0, m_referenceTick = 0;
  std::array<int, kChannelCount> m_skip{};
  uint16_t m_stepMask = 0;
  uint64_t m_hideBeforeMs = 0;  // warming up until a frame of this time
  bool m_needReference = false;

  mutable std::mutex m_slotsLock;  // guards m_slots and m_audio
  DecoderSlots m_slots;
  std::unique_ptr<CAudioPlayer> m_audio;

  std::thread m_thread;
};

}  // namespace orva
