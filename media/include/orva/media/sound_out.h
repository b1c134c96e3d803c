// CSoundOut: a looping sequence of 16 chunks of 16,000 bytes over a play-once
// SoundDevice buffer (8 s), with a prebuffer of N chunks.
//
// The writer (the audio player's thread) writes one chunk at a time at the
// write offset; each wrap of the offset to 0 is one writer lap. The buffer is
// never played looping: it plays once to its end, and the notification thread
// counts that as one player lap and restarts it N chunks behind the write
// offset once the writer has got that far into the lap. A writer that finds
// the play position already past its offset (same lap) skips a chunk ahead
// and restarts playback at the chunk it writes.
//
// Threads: WriteChunk and Start on the writer's thread; the notification
// thread inside. The write offset and writer lap change only on the writer's
// thread; the player lap on the notification thread (and on a catch-up
// restart, see WriteChunk).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "orva/media/adpcm.h"
#include "orva/media/sound_device.h"

namespace orva {

class CSoundOut {
 public:
  // Opens the device's buffer (16 x 16,000 bytes). N is clamped to 1..15.
  // When the buffer cannot be made the object is inert: Ready() is false and
  // WriteChunk fails.
  CSoundOut(SoundDevice& device, int prebufferDepth);
  ~CSoundOut();  // stop flag, wakes and joins the notification thread, stops the buffer
  CSoundOut(const CSoundOut&) = delete;
  CSoundOut& operator=(const CSoundOut&) = delete;

  // Writes up to one chunk at the write offset and moves the offset on by a
  // whole chunk. False (the chunk is lost) when not ready, `bytes` is 0 or
  // more than a chunk, or the device refuses the write.
  bool WriteChunk(size_t bytes, const uint8_t* data);
  // Plays once from position 0.
  void Start();

  bool Ready() const { return m_ready; }
  int PrebufferDepth() const { return m_depth; }
  uint32_t WriteOffset() const { return m_writeOffset.load(); }
  uint32_t WriterLap() const { return m_writerLap.load(); }
  uint32_t PlayerLap() const { return m_playerLap.load(); }

  static constexpr uint32_t kChunkBytes = static_cast<uint32_t>(kAudioChunkBytes);
  static constexpr uint32_t kBufferBytes = static_cast<uint32_t>(kAudioChunkBytes * kSoundBufferChunks);

 private:
  void Thread_Notify();
  void AdvanceWriteOffset();  // one chunk on, counting a lap at the wrap

  SoundDevice& m_device;
  const int m_depth;
  bool m_ready = false;
  std::mutex m_lock;  // taken around changes of the counters below, for m_changed
  std::condition_variable m_changed;
  std::atomic<uint32_t> m_writeOffset{0};
  std::atomic<uint32_t> m_writerLap{0};
  std::atomic<uint32_t> m_playerLap{0};
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

}  // namespace orva
