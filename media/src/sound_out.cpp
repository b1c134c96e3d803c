// Chunked sound output with laps, prebuffer and restarts.
#include "orva/media/sound_out.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "orva/link/trace.h"

namespace orva {

using namespace std::chrono_literals;

CSoundOut::CSoundOut(SoundDevice& device, int prebufferDepth)
    : m_device(device), m_depth(std::clamp(prebufferDepth, 1, static_cast<int>(kSoundBufferChunks) - 1)) {
  std::string error;
  if (!m_device.Open(kBufferBytes, error)) {
    Trace("CSoundOut... sound buffer failed: %s\n", error.c_str());
    return;
  }
  m_ready = true;
  m_thread = std::thread(&CSoundOut::Thread_Notify, this);
}

CSoundOut::~CSoundOut() {
  {
    std::lock_guard guard(m_lock);
    m_stop = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) {
    m_device.Wake();
    m_thread.join();
  }
  if (m_ready) m_device.Stop();
}

void CSoundOut::AdvanceWriteOffset() {
  {
    std::lock_guard guard(m_lock);
    uint32_t next = m_writeOffset + kChunkBytes;
    if (next >= kBufferBytes) {
      next = 0;
      ++m_writerLap;
    }
    m_writeOffset = next;
  }
  m_changed.notify_all();
}

bool CSoundOut::WriteChunk(size_t bytes, const uint8_t* data) {
  if (!m_ready) return false;
  if (data == nullptr || bytes == 0 || bytes > kChunkBytes) {
    Trace("CSoundOut::WriteChunk... refused %zu bytes\n", bytes);
    return false;
  }
  size_t play = 0, write = 0;
  bool restart = false;
  if (m_device.GetCursors(play, write) && m_writerLap == m_playerLap && write > m_writeOffset) {
    // The player has run past what was written: skip one chunk ahead so the
    // new sound does not land behind it, and restart there.
    AdvanceWriteOffset();
    restart = true;
  }
  const uint32_t offset = m_writeOffset;
  if (!m_device.Write(offset, data, bytes)) {
    Trace("CSoundOut::WriteChunk... write at %u failed\n", offset);
    return false;
  }
  if (restart) {
    m_device.Stop();
    m_device.PlayFrom(offset);
    // The buffer now plays the writer's lap. When the skip wrapped the offset
    // this is a new lap that no end event will count, so count it here;
    // otherwise the laps would stay one apart for a whole lap.
    {
      std::lock_guard guard(m_lock);
      m_playerLap = m_writerLap.load();
    }
    m_changed.notify_all();
  }
  AdvanceWriteOffset();
  return true;
}

void CSoundOut::Start() {
  if (!m_ready) return;
  m_device.PlayFrom(0);
}

void CSoundOut::Thread_Notify() {
  const uint32_t prebufferBytes = static_cast<uint32_t>(m_depth) * kChunkBytes;
  while (!m_stop) {
    if (m_device.WaitForEnd() != SoundDevice::WaitResult::kEnded) continue;  // woken: re-check the stop flag
    std::unique_lock lock(m_lock);
    ++m_playerLap;
    // The player is a lap ahead: wait for the writer to wrap.
    m_changed.wait(lock, [&] { return m_stop || m_playerLap <= m_writerLap; });
    // Same lap: wait for N chunks of it.
    bool waited = false;
    while (!m_stop && m_playerLap == m_writerLap && m_writeOffset < prebufferBytes) {
      waited = true;
      m_changed.wait(lock);
    }
    if (m_depth == 1 && waited) m_changed.wait_for(lock, 100ms, [&] { return m_stop.load(); });
    if (m_stop) break;
    // A writer that has lapped the player can be fewer than N chunks into its
    // lap; the position then wraps to the end of the buffer.
    const uint32_t position = (m_writeOffset + kBufferBytes - prebufferBytes) % kBufferBytes;
    lock.unlock();
    m_device.PlayFrom(position);
  }
}

}  // namespace orva
