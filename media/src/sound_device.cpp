// Clocks and the clocked play-once buffer behind every sound device.
#include "orva/media/sound_device.h"

#include <algorithm>
#include <cstring>

namespace orva {

// ------------------------------------------------------------------ clocks

SteadySoundClock& SteadySoundClock::Instance() {
  static SteadySoundClock clock;
  return clock;
}

SoundClock::Time SteadySoundClock::Now() const {
  return std::chrono::duration_cast<Time>(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadySoundClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Time deadline) {
  const std::chrono::steady_clock::time_point when(std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline));
  cv.wait_until(lock, when);
}

void ManualSoundClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Time deadline) {
  // Advance() notifies every watcher under the watcher's own lock, so a
  // plain wait cannot miss the step that reaches the deadline.
  if (Now() < deadline) cv.wait(lock);
}

void ManualSoundClock::Watch(SoundClockWatcher* watcher) {
  std::lock_guard guard(m_watchersLock);
  m_watchers.push_back(watcher);
}

void ManualSoundClock::Unwatch(SoundClockWatcher* watcher) {
  std::lock_guard guard(m_watchersLock);
  m_watchers.erase(std::remove(m_watchers.begin(), m_watchers.end(), watcher), m_watchers.end());
}

void ManualSoundClock::Advance(Time step) {
  if (step.count() > 0) m_now.fetch_add(step.count());
  std::lock_guard guard(m_watchersLock);
  for (SoundClockWatcher* watcher : m_watchers) watcher->OnClockAdvanced();
}

// ---------------------------------------------------------- clocked device

ClockedSoundDevice::ClockedSoundDevice(SoundClock& clock, size_t writeLead) : m_clock(clock), m_writeLead(writeLead) {
  m_clock.Watch(this);
}

ClockedSoundDevice::~ClockedSoundDevice() { m_clock.Unwatch(this); }

void ClockedSoundDevice::OnClockAdvanced() {
  std::lock_guard guard(m_lock);
  m_cv.notify_all();
}

void ClockedSoundDevice::OnPlayed(const uint8_t*, size_t) {}

bool ClockedSoundDevice::OnOpen(std::string&) { return true; }

void ClockedSoundDevice::AdvanceLocked() {
  if (!m_playing) return;
  const int64_t elapsed = std::max<int64_t>(0, (m_clock.Now() - m_startTime).count());
  // Whole samples only: 62,500 ns per 2-byte sample at 16 kHz.
  const uint64_t samples = static_cast<uint64_t>(elapsed) / 62500;
  const uint64_t remaining = m_buffer.size() - m_startPosition;
  const size_t target = m_startPosition + static_cast<size_t>(std::min<uint64_t>(samples * 2, remaining));
  if (target > m_position) {
    OnPlayed(m_buffer.data() + m_position, target - m_position);
    m_position = target;
  }
  if (m_position >= m_buffer.size()) {
    // Played to the end: a play-once buffer stops and its cursors read 0.
    m_playing = false;
    m_position = 0;
    m_endPending = true;
    m_cv.notify_all();
  }
}

bool ClockedSoundDevice::Open(size_t bytes, std::string& error) {
  std::lock_guard guard(m_lock);
  AdvanceLocked();
  if (bytes == 0 || bytes % 2 != 0) {
    error = "sound buffer size " + std::to_string(bytes) + " is not a positive number of samples";
    return false;
  }
  if (!OnOpen(error)) return false;
  m_buffer.assign(bytes, 0);
  m_playing = false;
  m_position = m_startPosition = 0;
  m_endPending = false;
  m_wakePending = false;
  m_cv.notify_all();
  return true;
}

size_t ClockedSoundDevice::BufferSize() const {
  std::lock_guard guard(m_lock);
  return m_buffer.size();
}

bool ClockedSoundDevice::Write(size_t offset, const uint8_t* data, size_t bytes) {
  std::lock_guard guard(m_lock);
  // What the position has passed is played before it can be overwritten.
  AdvanceLocked();
  if (data == nullptr || offset > m_buffer.size() || bytes > m_buffer.size() - offset) return false;
  std::memcpy(m_buffer.data() + offset, data, bytes);
  return true;
}

bool ClockedSoundDevice::PlayFrom(size_t offset) {
  std::lock_guard guard(m_lock);
  AdvanceLocked();
  if (offset >= m_buffer.size()) return false;
  m_playing = true;
  m_position = m_startPosition = offset;
  m_startTime = m_clock.Now();
  ++m_playCalls;
  m_cv.notify_all();  // a waiter re-computes its deadline
  return true;
}

void ClockedSoundDevice::Stop() {
  std::lock_guard guard(m_lock);
  AdvanceLocked();
  m_playing = false;
}

bool ClockedSoundDevice::GetCursors(size_t& play, size_t& write) {
  std::lock_guard guard(m_lock);
  if (m_buffer.empty()) return false;
  AdvanceLocked();
  play = m_position;
  write = m_playing ? std::min(m_buffer.size(), m_position + m_writeLead) : m_position;
  return true;
}

SoundDevice::WaitResult ClockedSoundDevice::WaitForEnd() {
  std::unique_lock lock(m_lock);
  for (;;) {
    AdvanceLocked();
    if (m_endPending) {
      m_endPending = false;
      return WaitResult::kEnded;
    }
    if (m_wakePending) {
      m_wakePending = false;
      return WaitResult::kWoken;
    }
    if (m_playing) {
      // The end falls due when the remaining bytes have played.
      const uint64_t samplesLeft = (m_buffer.size() - m_startPosition + 1) / 2;
      m_clock.WaitUntil(lock, m_cv, m_startTime + SoundClock::Time(static_cast<int64_t>(samplesLeft) * 62500));
    } else {
      m_cv.wait(lock);
    }
  }
}

void ClockedSoundDevice::Wake() {
  std::lock_guard guard(m_lock);
  m_wakePending = true;
  m_cv.notify_all();
}

bool ClockedSoundDevice::IsPlaying() {
  std::lock_guard guard(m_lock);
  AdvanceLocked();
  return m_playing;
}

uint64_t ClockedSoundDevice::PlayCalls() const {
  std::lock_guard guard(m_lock);
  return m_playCalls;
}

std::vector<uint8_t> ClockedSoundDevice::Peek(size_t offset, size_t bytes) const {
  std::lock_guard guard(m_lock);
  if (offset > m_buffer.size()) return {};
  bytes = std::min(bytes, m_buffer.size() - offset);
  return std::vector<uint8_t>(m_buffer.begin() + static_cast<std::ptrdiff_t>(offset),
                              m_buffer.begin() + static_cast<std::ptrdiff_t>(offset + bytes));
}

// ----------------------------------------------------------- memory device

std::vector<uint8_t> MemorySoundDevice::Played() {
  std::lock_guard guard(m_lock);
  AdvanceLocked();
  return m_played;
}

void MemorySoundDevice::FailOpen(std::string error) {
  std::lock_guard guard(m_lock);
  m_openError = std::move(error);
}

void MemorySoundDevice::OnPlayed(const uint8_t* data, size_t bytes) { m_played.insert(m_played.end(), data, data + bytes); }

bool MemorySoundDevice::OnOpen(std::string& error) {
  if (m_openError.empty()) return true;
  error = m_openError;
  return false;
}

}  // namespace orva
