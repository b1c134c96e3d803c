// A sound device that records what it plays into a WAV file.
#include <cerrno>
#include <cstring>

#include "orva/link/trace.h"
#include "orva/media/sound_device.h"

namespace orva {
namespace {

// The 32-bit size fields of the header bound the data.
constexpr uint64_t kMaxWavData = 0xFFFFFFFFull - 36;

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// 44-byte header of a PCM WAV file: 16 kHz, mono, 16 bits.
void MakeHeader(uint8_t* h, uint32_t dataBytes) {
  std::memcpy(h, "RIFF", 4);
  PutLe32(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  PutLe32(h + 16, 16);
  PutLe16(h + 20, 1);  // PCM
  PutLe16(h + 22, 1);  // channels
  PutLe32(h + 24, 16000);
  PutLe32(h + 28, static_cast<uint32_t>(kSoundBytesPerSecond));
  PutLe16(h + 32, 2);  // block alignment
  PutLe16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  PutLe32(h + 40, dataBytes);
}

}  // namespace

WavFileSoundDevice::WavFileSoundDevice(std::string path, SoundClock& clock)
    : ClockedSoundDevice(clock), m_path(std::move(path)) {}

WavFileSoundDevice::~WavFileSoundDevice() {
  std::string error;
  if (!Close(error)) Trace("WavFileSoundDevice: %s\n", error.c_str());
}

bool WavFileSoundDevice::OnOpen(std::string& error) {
  if (m_file != nullptr) return true;  // a new buffer keeps appending to the same file
  m_file = std::fopen(m_path.c_str(), "wb");
  if (m_file == nullptr) {
    error = "cannot create WAV file " + m_path + ": " + std::strerror(errno);
    return false;
  }
  uint8_t header[44];
  MakeHeader(header, 0);
  if (std::fwrite(header, 1, sizeof header, m_file) != sizeof header) {
    error = "cannot write WAV file " + m_path + ": " + std::strerror(errno);
    std::fclose(m_file);
    m_file = nullptr;
    return false;
  }
  m_dataBytes = 0;
  m_writeFailed = false;
  return true;
}

void WavFileSoundDevice::OnPlayed(const uint8_t* data, size_t bytes) {
  if (m_file == nullptr || m_writeFailed) return;
  if (bytes > kMaxWavData - m_dataBytes) {
    Trace("WavFileSoundDevice: %s is full, further sound is not recorded\n", m_path.c_str());
    m_writeFailed = true;
    return;
  }
  if (std::fwrite(data, 1, bytes, m_file) != bytes) {
    Trace("WavFileSoundDevice: write to %s failed: %s\n", m_path.c_str(), std::strerror(errno));
    m_writeFailed = true;
    return;
  }
  m_dataBytes += bytes;
}

bool WavFileSoundDevice::Close(std::string& error) {
  Stop();  // takes what has played up to now
  std::lock_guard guard(m_lock);
  return FinishLocked(error);
}

bool WavFileSoundDevice::FinishLocked(std::string& error) {
  if (m_file == nullptr) return true;
  uint8_t header[44];
  MakeHeader(header, static_cast<uint32_t>(m_dataBytes));
  bool ok = std::fseek(m_file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, m_file) == sizeof header;
  if (std::fclose(m_file) != 0) ok = false;
  m_file = nullptr;
  if (!ok) error = "cannot finish WAV file " + m_path + ": " + std::strerror(errno);
  if (m_writeFailed && ok) {
    error = "WAV file " + m_path + " is incomplete";
    ok = false;
  }
  return ok;
}

uint64_t WavFileSoundDevice::DataBytes() const {
  std::lock_guard guard(m_lock);
  return m_dataBytes;
}

}  // namespace orva
