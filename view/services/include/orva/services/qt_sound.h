// Sound output over Qt Multimedia, and the speaker volume on it.
//
// QtSoundDevice keeps the clocked buffer model of ClockedSoundDevice, so that
// CSoundOut's chunk, lap and restart logic runs exactly as on the reference
// clock. Whatever that clock "plays" is pushed into a PcmRing, a small
// thread-safe byte ring that a QAudioSink (16 kHz, mono, 16-bit) pulls from.
// When the sink asks for more than has been played, the ring answers with
// silence, so the sink never runs dry and the latency stays at the sink's
// own buffer size.
//
// Threads: the sink lives on the thread that creates the device (the GUI
// thread, which must run an event loop) and pulls there; CSoundOut's threads
// write and play from elsewhere. Create and destroy the device on the GUI
// thread, and only while no audio player uses it.
#pragma once

#include <QAudioDevice>
#include <QIODevice>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "orva/media/sound_device.h"
#include "orva/media/volume_control.h"

class QAudioSink;

namespace orva::services {

class PcmRing final : public QIODevice {
 public:
  // capacity: bytes kept at most; older bytes are dropped when it overflows.
  explicit PcmRing(size_t capacity, QObject* parent = nullptr);

  // Appends played bytes (any thread).
  void Push(const uint8_t* data, size_t bytes);
  // Called at the start of every read, outside the ring's lock, so that the
  // producer can bring its output up to date first.
  void SetPump(std::function<void()> pump);
  // When set, reads are topped up with silence to the size asked for.
  void SetFillSilence(bool fill) { m_fillSilence = fill; }

  size_t Buffered() const;
  uint64_t Dropped() const { return m_dropped.load(); }
  uint64_t Pushed() const { return m_pushed.load(); }

  // Always unbuffered: QIODevice's own read-ahead would split samples and
  // pull sound before it has been played.
  bool open(OpenMode mode) override { return QIODevice::open(mode | QIODevice::Unbuffered); }
  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override;

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 maxSize) override;

 private:
  mutable std::mutex m_lock;
  std::vector<uint8_t> m_ring;
  size_t m_head = 0, m_size = 0;  // first byte and count of buffered bytes
  std::function<void()> m_pump;
  std::atomic<bool> m_fillSilence{false};
  std::atomic<uint64_t> m_dropped{0}, m_pushed{0};
};

class QtSoundDevice final : public ClockedSoundDevice {
 public:
  // Opens a sink on `device` unless it is null (then the ring alone, for tests
  // and machines without sound output).
  explicit QtSoundDevice(const QAudioDevice& device, SoundClock& clock = SteadySoundClock::Instance());
  ~QtSoundDevice() override;

  bool HasSink() const { return m_sink != nullptr; }
  PcmRing& Ring() { return *m_ring; }
  // Brings the play position up to the clock, pushing what was played.
  void Pump();

  // Linear output level 0.0-1.0 on the sink (any thread).
  void SetLevel(double level);
  double Level() const { return m_level.load(); }

 protected:
  void OnPlayed(const uint8_t* data, size_t bytes) override;

 private:
  PcmRing* m_ring = nullptr;   // owned; deleted after the sink
  QAudioSink* m_sink = nullptr;
  std::atomic<double> m_level{1.0};
};

// 0-65535 <-> 0.0-1.0.
double VolumeToLevel(int volume);
int LevelToVolume(double level);

// The speaker volume and mute of the client's sound output. Mute sets the
// sink's level to 0 and keeps the volume for unmuting. Without a device every
// call fails with the mixer traces.
class QtVolumeControl final : public VolumeControl {
 public:
  explicit QtVolumeControl(QtSoundDevice* device);
  int GetVolume() const override;
  bool SetVolume(int value) override;
  bool GetMute() const override;
  bool SetMute(bool mute) override;

 private:
  QtSoundDevice* const m_device;
  mutable std::mutex m_lock;
  int m_volume;
  bool m_mute = false;
};

}  // namespace orva::services
