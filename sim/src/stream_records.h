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

// Audio frame (4016 bytes) from 4000 bytes of ADPCM and the coder state at its start.
std::vector<uint8_t> BuildAudioFrame(int channel, int16_t predictor, int stepIndex,
                                     const std::vector<uint8_t>& adpcm);
// A whole live block: record length, 128-byte record header, audio frame.
std::vector<uint8_t> BuildLiveAudioBlock(int channel, const std::vector<uint8_t>& audioFrame,
                                         uint32_t frameSecond);

}  // namespace orva::sim::detail
