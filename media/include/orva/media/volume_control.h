// Speaker volume and mute, range 0-65535.
//
// The desktop client remembers the volume and mute state at start, clears
// mute, sets its own volume and restores both at exit; the implementation
// over the system's mixer comes with the desktop layer. MemoryVolumeControl
// holds the values in memory for tests and headless use.
#pragma once

#include <mutex>

namespace orva {

inline constexpr int kMaxVolume = 65535;

class VolumeControl {
 public:
  virtual ~VolumeControl() = default;
  virtual int GetVolume() const = 0;  // 0-65535, -1 on failure
  // False (value unchanged) on failure or when value is outside 0-65535.
  virtual bool SetVolume(int value) = 0;
  virtual bool GetMute() const = 0;  // false on failure
  virtual bool SetMute(bool mute) = 0;
};

class MemoryVolumeControl final : public VolumeControl {
 public:
  explicit MemoryVolumeControl(int volume = kMaxVolume, bool mute = false);
  int GetVolume() const override;
  bool SetVolume(int value) override;
  bool GetMute() const override;
  bool SetMute(bool mute) override;
  // While set every call fails as a missing mixer would.
  void SetFailing(bool failing);

 private:
  mutable std::mutex m_lock;
  int m_volume;
  bool m_mute;
  bool m_failing = false;
};

}  // namespace orva
