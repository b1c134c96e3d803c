// CAudioPlayer: the one audio queue, IMA ADPCM decoder and sound output.
//
// The receive path (or a local player) enqueues copies of audio frames; the
// player thread takes the third-oldest frame once three are queued (so two
// always stay behind), decodes it into one 16,000-byte chunk and writes that
// to its CSoundOut. Playback starts once N chunks are written (after a
// further 100 ms when N is 1).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "orva/media/adpcm.h"
#include "orva/media/sound_device.h"
#include "orva/media/sound_out.h"

namespace orva {

class CAudioPlayer {
 public:
  // At most this many frames wait (64 s of sound); later ones are refused so
  // a stalled player cannot eat memory.
  static constexpr size_t kMaxQueuedFrames = 128;

  // Opens the sound output on `device` with prebuffer depth N (clamped to
  // 1..15) and starts the player thread. `device` must outlive the player and
  // serve no other player at the same time.
  CAudioPlayer(SoundDevice& device, int prebufferDepth);
  ~CAudioPlayer();
  CAudioPlayer(const CAudioPlayer&) = delete;
  CAudioPlayer& operator=(const CAudioPlayer&) = delete;

  // Queues a copy of one audio frame (16-byte header + ADPCM data; the copy
  // is the header's frame length). A frame that does not parse, whose length
  // is below 16 or beyond `length`, or that finds the queue full, is refused
  // with a trace and false.
  bool Enqueue(const uint8_t* frame, size_t length);
  size_t QueueDepth() const;
  // While set the player stays silent: frames it would play are dropped
  // undecoded (the two held back stay queued).
  void SetDiscard(bool discard) { m_discard = discard; }

  uint64_t ChunksWritten() const { return m_chunksWritten.load(); }  // chunks the sound output took
  uint64_t SamplesDecoded() const { return m_samplesDecoded.load(); }
  uint64_t FramesDropped() const { return m_framesDropped.load(); }  // refused or discarded
  int LastChannel() const { return m_lastChannel.load(); }           // channel of the last decoded frame, -1 none
  bool Started() const { return m_started.load(); }                  // Start() has happened
  bool OutputReady() const { return m_soundOut.Ready(); }
  int PrebufferDepth() const { return m_depth; }

 private:
  // Manual-reset "frame queued" event.
  class FrameEvent {
   public:
    void Set();
    void Reset();
    bool WaitFor(std::chrono::milliseconds timeout);

   private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_set = false;
  };

  void Thread_Player();
  void PlayEntry(const std::vector<uint8_t>& frame);
  bool Take(std::vector<uint8_t>& frame);  // the entry at position 2, when there is one
  void Pause(std::chrono::milliseconds duration);  // a sleep that the stop flag cuts short

  const int m_depth;
  CSoundOut m_soundOut;

  mutable std::mutex m_queueLock;  // guards m_queue only
  std::list<std::vector<uint8_t>> m_queue;
  FrameEvent m_frameQueued;

  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_discard{false};
  std::mutex m_stopLock;
  std::condition_variable m_stopCv;

  // Player thread only.
  AdpcmState m_state;
  std::vector<int16_t> m_scratch;  // one chunk of samples
  std::vector<uint8_t> m_chunk;    // the same as little-endian bytes
  uint32_t m_chunkCount = 0;

  std::atomic<uint64_t> m_chunksWritten{0};
  std::atomic<uint64_t> m_samplesDecoded{0};
  std::atomic<uint64_t> m_framesDropped{0};
  std::atomic<int> m_lastChannel{-1};
  std::atomic<bool> m_started{false};
  std::thread m_thread;
};

}  // namespace orva
