// The output side of the sound path: a play-once sound buffer whose play
// position advances with a clock, in the manner of a hardware secondary
// buffer.
//
// SoundDevice is the whole contract CSoundOut relies on. It is kept small so
// that it can also be implemented over a pull-style audio sink (the sink's
// reads advance the play position; reaching the end raises the end event).
//
// ClockedSoundDevice implements it on a SoundClock: the play position is
// start + elapsed time x 32,000 bytes/s, worked out lazily whenever the
// device is touched, and the bytes the position passes are "played" (handed
// to OnPlayed). NullSoundDevice discards them, MemorySoundDevice keeps them
// (tests), WavFileSoundDevice appends them to a WAV file.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace orva {

inline constexpr size_t kSoundBytesPerSecond = 32000;  // 16,000 samples/s x 2 bytes, mono

class SoundDevice {
 public:
  enum class WaitResult { kEnded, kWoken };

  virtual ~SoundDevice() = default;
  // Creates the buffer afresh: `bytes` of silence, stopped at position 0,
  // no pending end event. False with `error` when the buffer cannot be made.
  virtual bool Open(size_t bytes, std::string& error) = 0;
  virtual size_t BufferSize() const = 0;
  // Copies `bytes` bytes to `offset`; false when the region leaves the buffer.
  virtual bool Write(size_t offset, const uint8_t* data, size_t bytes) = 0;
  // Plays once from `offset` to the end of the buffer (never loops); when
  // already playing, jumps there. False when offset is outside the buffer.
  virtual bool PlayFrom(size_t offset) = 0;
  // Stops where the play position is. Does not raise the end event.
  virtual void Stop() = 0;
  // Play and write cursors. The write cursor is the first byte that is safe
  // to write (at or ahead of the play cursor). After playing to the end the
  // buffer is stopped and both read 0.
  virtual bool GetCursors(size_t& play, size_t& write) = 0;
  // Blocks until the buffer has played to its end (an auto-reset event: each
  // end is reported once) or until Wake() (also auto-reset; a Wake before the
  // wait makes the next wait return at once).
  virtual WaitResult WaitForEnd() = 0;
  virtual void Wake() = 0;
};

// ------------------------------------------------------------------ clocks

// Woken when a clock that can jump (the manual clock) has moved.
class SoundClockWatcher {
 public:
  virtual void OnClockAdvanced() = 0;

 protected:
  ~SoundClockWatcher() = default;
};

class SoundClock {
 public:
  using Time = std::chrono::nanoseconds;
  virtual ~SoundClock() = default;
  virtual Time Now() const = 0;
  // Waits on `cv` (with `lock` held) until the clock may have reached
  // `deadline` or the cv is notified. Callers re-check their condition.
  virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Time deadline) = 0;
  virtual void Watch(SoundClockWatcher*) {}
  virtual void Unwatch(SoundClockWatcher*) {}
};

// Real time: std::chrono::steady_clock.
class SteadySoundClock final : public SoundClock {
 public:
  static SteadySoundClock& Instance();
  Time Now() const override;
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Time deadline) override;
};

// Time that moves only when Advance() is called; wakes every watching device.
class ManualSoundClock final : public SoundClock {
 public:
  Time Now() const override { return Time(m_now.load()); }
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Time deadline) override;
  void Watch(SoundClockWatcher* watcher) override;
  void Unwatch(SoundClockWatcher* watcher) override;
  void Advance(Time step);

 private:
  std::atomic<int64_t> m_now{0};
  std::mutex m_watchersLock;  // guards m_watchers; taken before any device lock
  std::vector<SoundClockWatcher*> m_watchers;
};

// ----------------------------------------------------------------- devices

class ClockedSoundDevice : public SoundDevice, private SoundClockWatcher {
 public:
  // writeLead: how far ahead of the play cursor the write cursor runs while
  // playing (bytes already committed to the output).
  explicit ClockedSoundDevice(SoundClock& clock = SteadySoundClock::Instance(), size_t writeLead = 0);
  ~ClockedSoundDevice() override;
  ClockedSoundDevice(const ClockedSoundDevice&) = delete;
  ClockedSoundDevice& operator=(const ClockedSoundDevice&) = delete;

  bool Open(size_t bytes, std::string& error) override;
  size_t BufferSize() const override;
  bool Write(size_t offset, const uint8_t* data, size_t bytes) override;
  bool PlayFrom(size_t offset) override;
  void Stop() override;
  bool GetCursors(size_t& play, size_t& write) override;
  WaitResult WaitForEnd() override;
  void Wake() override;

  // Observers for tests and tools.
  bool IsPlaying();
  uint64_t PlayCalls() const;                        // PlayFrom calls that started or moved playback
  std::vector<uint8_t> Peek(size_t offset, size_t bytes) const;  // buffer contents

 protected:
  // Called with the device lock held for every stretch of buffer the play
  // position passes, in order.
  virtual void OnPlayed(const uint8_t* data, size_t bytes);
  // Called by Open with the device lock held, before the buffer is made.
  virtual bool OnOpen(std::string& error);
  // Brings the play position up to the clock's now; derived destructors call
  // it (through Stop) before they go.
  void AdvanceLocked();
  mutable std::mutex m_lock;

 private:
  void OnClockAdvanced() override;

  SoundClock& m_clock;
  const size_t m_writeLead;
  std::condition_variable m_cv;
  std::vector<uint8_t> m_buffer;
  bool m_playing = false;
  size_t m_position = 0;       // play position, up to date after AdvanceLocked
  size_t m_startPosition = 0;  // where the current play began...
  SoundClock::Time m_startTime{0};  // ...and when
  bool m_endPending = false;
  bool m_wakePending = false;
  uint64_t m_playCalls = 0;
};

// Consumes in real time and discards.
class NullSoundDevice final : public ClockedSoundDevice {
 public:
  using ClockedSoundDevice::ClockedSoundDevice;
};

// Keeps everything played, for tests.
class MemorySoundDevice final : public ClockedSoundDevice {
 public:
  using ClockedSoundDevice::ClockedSoundDevice;
  std::vector<uint8_t> Played();  // everything played up to the clock's now
  // Open fails (with this text) while set; models a sound buffer that cannot be made.
  void FailOpen(std::string error);

 protected:
  void OnPlayed(const uint8_t* data, size_t bytes) override;
  bool OnOpen(std::string& error) override;

 private:
  std::vector<uint8_t> m_played;
  std::string m_openError;
};

// Consumes in real time and appends what is played to a 16 kHz mono 16-bit
// PCM WAV file. The file is created by the first Open (later Opens keep
// appending); Close (or the destructor) fixes up the header sizes.
class WavFileSoundDevice final : public ClockedSoundDevice {
 public:
  explicit WavFileSoundDevice(std::string path, SoundClock& clock = SteadySoundClock::Instance());
  ~WavFileSoundDevice() override;
  // Plays nothing more, finishes the header and closes the file. Idempotent.
  bool Close(std::string& error);
  uint64_t DataBytes() const;

 protected:
  void OnPlayed(const uint8_t* data, size_t bytes) override;
  bool OnOpen(std::string& error) override;

 private:
  bool FinishLocked(std::string& error);

  const std::string m_path;
  std::FILE* m_file = nullptr;
  uint64_t m_dataBytes = 0;
  bool m_writeFailed = false;
};

}  // namespace orva
