// The audio player thread: queue, decode, chunk, prebuffer, start.
#include "orva/media/audio_player.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "orva/link/trace.h"

namespace orva {

using namespace std::chrono_literals;

void CAudioPlayer::FrameEvent::Set() {
  {
    std::lock_guard guard(m_lock);
    m_set = true;
  }
  m_cv.notify_all();
}

void CAudioPlayer::FrameEvent::Reset() {
  std::lock_guard guard(m_lock);
  m_set = false;
}

bool CAudioPlayer::FrameEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_lock);
  return m_cv.wait_for(lock, timeout, [&] { return m_set; });
}

CAudioPlayer::CAudioPlayer(SoundDevice& device, int prebufferDepth)
    : m_depth(std::clamp(prebufferDepth, 1, static_cast<int>(kSoundBufferChunks) - 1)),
      m_soundOut(device, m_depth),
      m_scratch(kAudioChunkBytes / 2),
      m_chunk(kAudioChunkBytes) {
  if (!m_soundOut.Ready()) Trace("CAudioPlayer... no sound output, frames are decoded and dropped\n");
  m_thread = std::thread(&CAudioPlayer::Thread_Player, this);
}

CAudioPlayer::~CAudioPlayer() {
  {
    std::lock_guard guard(m_stopLock);
    m_stop = true;
  }
  m_stopCv.notify_all();
  m_frameQueued.Set();
  if (m_thread.joinable()) m_thread.join();
  std::lock_guard guard(m_queueLock);
  m_queue.clear();
  // m_soundOut goes last, after the thread that writes to it.
}

bool CAudioPlayer::Enqueue(const uint8_t* frame, size_t length) {
  AudioFrameInfo info;
  std::string error;
  if (!CheckAudioFrame(frame, length, info, error)) {
    Trace("CAudioPlayer::Enqueue... %s\n", error.c_str());
    ++m_framesDropped;
    return false;
  }
  {
    std::lock_guard guard(m_queueLock);
    if (m_queue.size() >= kMaxQueuedFrames) {
      Trace("CAudioPlayer::Enqueue... queue full (%zu frames), frame dropped\n", m_queue.size());
      ++m_framesDropped;
      return false;
    }
    m_queue.emplace_back(frame, frame + info.frameLength);
  }
  m_frameQueued.Set();
  std::this_thread::yield();
  return true;
}

size_t CAudioPlayer::QueueDepth() const {
  std::lock_guard guard(m_queueLock);
  return m_queue.size();
}

void CAudioPlayer::Pause(std::chrono::milliseconds duration) {
  std::unique_lock lock(m_stopLock);
  m_stopCv.wait_for(lock, duration, [&] { return m_stop.load(); });
}

bool CAudioPlayer::Take(std::vector<uint8_t>& frame) {
  std::lock_guard guard(m_queueLock);
  if (m_queue.size() < 3) return false;
  auto third = std::next(m_queue.begin(), 2);
  frame = std::move(*third);
  m_queue.erase(third);
  return true;
}

void CAudioPlayer::Thread_Player() {
  std::vector<uint8_t> frame;
  while (!m_stop) {
    if (m_discard) {
      if (Take(frame)) ++m_framesDropped;
      Pause(1ms);
      continue;
    }
    m_frameQueued.WaitFor(1ms);
    if (QueueDepth() < 3) {
      Pause(10ms);
      continue;
    }
    if (!Take(frame)) continue;
    if (m_discard) {  // set while this round waited: the frame is not played
      ++m_framesDropped;
      continue;
    }
    PlayEntry(frame);
    // Start once the prebuffer holds N chunks; the count never comes back to
    // N, so Start happens once per player.
    if (++m_chunkCount == static_cast<uint32_t>(m_depth)) {
      if (m_depth == 1) Pause(100ms);
      if (m_stop) break;
      m_soundOut.Start();
      m_started = true;
    }
    if (m_chunkCount > 1000) m_chunkCount = 100;
    m_frameQueued.Reset();
  }
}

void CAudioPlayer::PlayEntry(const std::vector<uint8_t>& frame) {
  AudioFrameInfo info;
  // Checked when queued; parse again for the decoder state.
  if (!ParseAudioFrameHeader(frame.data(), frame.size(), info)) return;
  m_state.predictor = info.predictor;
  m_state.index = info.stepIndex;
  if (info.stepIndex > kAdpcmMaxIndex)
    Trace("CAudioPlayer... step index %d out of range, using %d\n", info.stepIndex, kAdpcmMaxIndex);
  const size_t dataBytes = std::min(frame.size() - kAudioFrameHeaderBytes, kMaxAdpcmBytesPerChunk);
  // A short frame leaves the rest of its chunk silent rather than repeating
  // the tail of the previous frame.
  std::fill(m_scratch.begin(), m_scratch.end(), int16_t{0});
  const size_t samples =
      DecodeImaAdpcm(frame.data() + kAudioFrameHeaderBytes, dataBytes, m_state, m_scratch.data(), m_scratch.size());
  for (size_t i = 0; i < m_scratch.size(); ++i) {
    const auto v = static_cast<uint16_t>(m_scratch[i]);
    m_chunk[2 * i] = static_cast<uint8_t>(v & 0xFF);
    m_chunk[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  m_samplesDecoded += samples;
  m_lastChannel = info.channel;
  if (m_soundOut.WriteChunk(m_chunk.size(), m_chunk.data())) ++m_chunksWritten;
}

}  // namespace orva
