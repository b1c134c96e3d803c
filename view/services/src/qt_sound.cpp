#include "orva/services/qt_sound.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "orva/link/trace.h"

namespace orva::services {

// ------------------------------------------------------------------ PcmRing

PcmRing::PcmRing(size_t capacity, QObject* parent) : QIODevice(parent), m_ring(std::max<size_t>(capacity, 2)) {}

void PcmRing::Push(const uint8_t* data, size_t bytes) {
  if (bytes == 0) return;
  std::lock_guard<std::mutex> lock(m_lock);
  m_pushed += bytes;
  const size_t capacity = m_ring.size();
  if (bytes >= capacity) {  // only the newest bytes fit
    m_dropped += m_size + bytes - capacity;
    data += bytes - capacity;
    bytes = capacity;
    m_head = 0;
    m_size = 0;
  } else if (m_size + bytes > capacity) {
    const size_t drop = m_size + bytes - capacity;
    m_head = (m_head + drop) % capacity;
    m_size -= drop;
    m_dropped += drop;
  }
  size_t tail = (m_head + m_size) % capacity;
  const size_t first = std::min(bytes, capacity - tail);
  std::memcpy(m_ring.data() + tail, data, first);
  std::memcpy(m_ring.data(), data + first, bytes - first);
  m_size += bytes;
}

void PcmRing::SetPump(std::function<void()> pump) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_pump = std::move(pump);
}

size_t PcmRing::Buffered() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_size;
}

qint64 PcmRing::bytesAvailable() const {
  return static_cast<qint64>(Buffered()) + QIODevice::bytesAvailable();
}

qint64 PcmRing::readData(char* data, qint64 maxSize) {
  if (maxSize <= 0) return 0;
  std::function<void()> pump;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    pump = m_pump;
  }
  if (pump) pump();
  // Whole 16-bit samples only.
  const size_t want = static_cast<size_t>(maxSize) & ~size_t{1};
  std::lock_guard<std::mutex> lock(m_lock);
  const size_t take = std::min(want, m_size) & ~size_t{1};
  const size_t capacity = m_ring.size();
  const size_t first = std::min(take, capacity - m_head);
  std::memcpy(data, m_ring.data() + m_head, first);
  std::memcpy(data + first, m_ring.data(), take - first);
  m_head = (m_head + take) % capacity;
  m_size -= take;
  if (!m_fillSilence || take == want) return static_cast<qint64>(take);
  std::memset(data + take, 0, want - take);
  return static_cast<qint64>(want);
}

qint64 PcmRing::writeData(const char*, qint64) { return -1; }

// ----------------------------------------------------------- QtSoundDevice

namespace {
// Half a second of played sound may wait for the sink; more means the sink
// has stalled, and the oldest is dropped rather than piling up latency.
constexpr size_t kRingBytes = kSoundBytesPerSecond / 2;
// The sink's own buffer: 200 ms.
constexpr qsizetype kSinkBufferBytes = static_cast<qsizetype>(kSoundBytesPerSecond / 5);
}  // namespace

QtSoundDevice::QtSoundDevice(const QAudioDevice& device, SoundClock& clock)
    : ClockedSoundDevice(clock), m_ring(new PcmRing(kRingBytes)) {
  m_ring->SetPump([this] { Pump(); });
  m_ring->open(QIODevice::ReadOnly);
  if (device.isNull()) return;
  QAudioFormat format;
  format.setSampleRate(16000);
  format.setChannelCount(1);
  format.setSampleFormat(QAudioFormat::Int16);
  if (!device.isFormatSupported(format)) Trace("QtSoundDevice: %s may resample 16 kHz mono.\n", qPrintable(device.description()));
  m_sink = new QAudioSink(device, format);
  m_sink->setBufferSize(kSinkBufferBytes);
  m_sink->setVolume(m_level.load());
  m_ring->SetFillSilence(true);
  m_sink->start(m_ring);
}

QtSoundDevice::~QtSoundDevice() {
  // The clock model first: what it still plays goes to the ring, which lives on.
  Stop();
  if (m_sink) {
    m_sink->stop();
    delete m_sink;
  }
  m_ring->SetPump(nullptr);
  delete m_ring;
}

void QtSoundDevice::Pump() {
  std::lock_guard<std::mutex> lock(m_lock);
  AdvanceLocked();
}

void QtSoundDevice::OnPlayed(const uint8_t* data, size_t bytes) { m_ring->Push(data, bytes); }

void QtSoundDevice::SetLevel(double level) {
  level = std::clamp(level, 0.0, 1.0);
  m_level = level;
  if (!m_sink) return;
  QAudioSink* sink = m_sink;
  // The sink belongs to the GUI thread; calls from there go straight through.
  QMetaObject::invokeMethod(sink, [sink, level] { sink->setVolume(level); }, Qt::AutoConnection);
}

// --------------------------------------------------------------- volume

double VolumeToLevel(int volume) { return std::clamp(volume, 0, kMaxVolume) / double{kMaxVolume}; }
int LevelToVolume(double level) { return static_cast<int>(std::lround(std::clamp(level, 0.0, 1.0) * kMaxVolume)); }

QtVolumeControl::QtVolumeControl(QtSoundDevice* device)
    : m_device(device), m_volume(device ? LevelToVolume(device->Level()) : -1) {}

int QtVolumeControl::GetVolume() const {
  if (!m_device) {
    Trace("mixerOpen failed.\n");
    return -1;
  }
  std::lock_guard<std::mutex> lock(m_lock);
  return m_volume;
}

bool QtVolumeControl::SetVolume(int value) {
  if (!m_device) {
    Trace("mixerOpen failed.\n");
    return false;
  }
  if (value < 0 || value > kMaxVolume) return false;
  std::lock_guard<std::mutex> lock(m_lock);
  m_volume = value;
  if (!m_mute) m_device->SetLevel(VolumeToLevel(value));
  return true;
}

bool QtVolumeControl::GetMute() const {
  if (!m_device) {
    Trace("mixerOpen failed.\n");
    return false;
  }
  std::lock_guard<std::mutex> lock(m_lock);
  return m_mute;
}

bool QtVolumeControl::SetMute(bool mute) {
  if (!m_device) {
    Trace("mixerOpen failed.\n");
    return false;
  }
  std::lock_guard<std::mutex> lock(m_lock);
  m_mute = mute;
  m_device->SetLevel(mute ? 0.0 : VolumeToLevel(m_volume));
  return true;
}

}  // namespace orva::services
