// In-memory volume and mute.
#include "orva/media/volume_control.h"

#include <algorithm>

#include "orva/link/trace.h"

namespace orva {

MemoryVolumeControl::MemoryVolumeControl(int volume, bool mute)
    : m_volume(std::clamp(volume, 0, kMaxVolume)), m_mute(mute) {}

int MemoryVolumeControl::GetVolume() const {
  std::lock_guard guard(m_lock);
  if (m_failing) {
    Trace("Volume GetVolume failed.\n");
    return -1;
  }
  return m_volume;
}

bool MemoryVolumeControl::SetVolume(int value) {
  std::lock_guard guard(m_lock);
  if (m_failing) {
    Trace("Volume SetVolume failed.\n");
    return false;
  }
  if (value < 0 || value > kMaxVolume) return false;
  m_volume = value;
  return true;
}

bool MemoryVolumeControl::GetMute() const {
  std::lock_guard guard(m_lock);
  if (m_failing) {
    Trace("Mute GetMute failed.\n");
    return false;
  }
  return m_mute;
}

bool MemoryVolumeControl::SetMute(bool mute) {
  std::lock_guard guard(m_lock);
  if (m_failing) {
    Trace("Mute SetMute failed.\n");
    return false;
  }
  m_mute = mute;
  return true;
}

void MemoryVolumeControl::SetFailing(bool failing) {
  std::lock_guard guard(m_lock);
  m_failing = failing;
}

}  // namespace orva
