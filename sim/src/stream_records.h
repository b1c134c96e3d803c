// The recorder's stream records as they leave in live blocks: the 20-byte
// video frame header, the 16-byte audio frame header, the 192-byte video and
// 128-byte audio record headers, and the 4-byte length that opens a block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orva::sim::detail {

inline constexpr uint32_t kVideoRecordType = 0x20061123;
inline constexpr uint32_t kAudioRecordType = 0x2518F049;
inline constexpr size_t kVideoRecordHeaderSize = 192;
inline constexpr size_t kAudioRecordHeaderSize = 128;
inline constexpr size_t kFrameHeaderSize = 20;
inline constexpr size_t kAudioFrameHeaderSize = 16;
inline constexpr size_t kAudioSamplesPerFrame = 8000;  // 0.5 s at 16 kHz
inline constexpr size_t kAudioFrameSize = kAudioFrameHeaderSize + kAudioSamplesPerFrame / 2;
// A client reassembles a live block in a buffer of this many bytes.
inline constexpr size_t kMaxLiveBlock = 1244160;
// Playback and download records have no length prefix, so the largest
// frame data that still fits a client's frame buffer.
inline constexpr size_t kMaxArchiveFrameBytes = kMaxLiveBlock - 192;
// The largest first part that the 16-bit length field (4-byte units) can name.
inline constexpr size_t kMaxFirstPart = 0xFFFF * 4 / 16 * 16;

struct VideoFormat {
  int sizeCode = 1;
  bool pal = false;
  int width = 352;        // of the whole picture
  int height = 240;       // of the whole picture
  bool twoFields = false; // size code 2: each part is one field of height / 2 lines
  int codedHeight() const { return twoFields ? height / 2 : height; }
};

VideoFormat VideoFormatFor(int sizeCode, bool pal);

// Frame data of one video frame: part 1 = frame header + `first` (the whole
// picture or the first field), zero-padded to a multiple of 16 bytes so that
// its length is exactly what the header's first-part length rounds to; for
// two fields, part 2 = its own frame header (same fields) + `second`.
bool BuildVideoFrameData(const VideoFormat& format, int channel, bool key,
                         const std::vector<uint8_t>& first, const std::vector<uint8_t>* second,
                         std::vector<uint8_t>& out, std::string& error);

// A whole live block: record length, 192-byte record header, frame data.
std::vector<uint8_t> BuildLiveVideoBlock(const std::vector<uint8_t>& frameData,
                                         uint32_t frameSecond, uint32_t captureSeconds,
                                         uint32_t captureMicros);

// What a recorded frame's record header says about its recording.
struct RecordedFrame {
  uint32_t second = 0;        // frame second and capture seconds
  uint32_t micros = 0;        // capture microseconds
  uint32_t recordingId = 0;   // offset 40
  uint8_t kind = 0;           // offset 50: 0 continuous, else the event kind
  size_t padTo = 0;           // frame data shorter than this is padded with zeros
};

// Frame data bytes of a recorded frame once padded.
inline size_t PaddedFrameBytes(size_t dataBytes, size_t padTo) {
  return dataBytes < padTo ? padTo : dataBytes;
}

// A playback record: 192-byte record header + frame data, no length prefix.
std::vector<uint8_t> BuildPlaybackVideoRecord(const std::vector<uint8_t>& frameData,
                                              const RecordedFrame& recorded);
// A playback record: 128-byte record header + audio frame.
std::vector<uint8_t> BuildPlaybackAudioRecord(int channel, const std::vector<uint8_t>& audioFrame,
                                              uint32_t frameSecond);

// Audio frame (4016 bytes) from 4000 bytes of ADPCM and the coder state at its start.
std::vector<uint8_t> BuildAudioFrame(int channel, int16_t predictor, int stepIndex,
                                     const std::vector<uint8_t>& adpcm);
// A whole live block: record length, 128-byte record header, audio frame.
std::vector<uint8_t> BuildLiveAudioBlock(int channel, const std::vector<uint8_t>& audioFrame,
                                         uint32_t frameSecond);

}  // namespace orva::sim::detail
