// Stream records and frame headers: what every picture and piece of sound
// from the recorder (live, playback, download, file) is wrapped in.
//
// A record is a record header (192 bytes video, 128 audio) followed by frame
// data that begins with a 20-byte frame header. Live blocks carry a 4-byte
// record length before the record. All integers are big-endian; parsing
// never trusts a length from the wire beyond the bytes actually present.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "orva/link/wire.h"

namespace orva {

inline constexpr size_t kVideoRecordHeaderSize = 192;
inline constexpr size_t kAudioRecordHeaderSize = 128;
inline constexpr size_t kFrameHeaderSize = 20;
inline constexpr size_t kLiveLengthPrefix = 4;
inline constexpr uint32_t ENC_HEADER_TYPE_VIDEO = 0x20061123;
inline constexpr uint32_t ENC_HEADER_TYPE_AUDIO = 0x2518F049;

enum FrameKind : int { kFrameNone = 0, kFrameVideo = 1, kFrameAudio = 2 };

// The parsed frame header. Fields that do not apply to the kind are 0.
struct FrameInfo {
  uint8_t channel = 0;
  uint8_t keyFrame = 0;   // video
  uint8_t sizeCode = 0;   // video
  uint8_t pal = 0;        // video
  uint32_t partLength = 0;  // video: first-part length in bytes; audio: frame length in bytes
  uint16_t stepIndex = 0;   // audio
  int16_t predictor = 0;    // audio
  uint16_t width = 0;       // video
  uint16_t height = 0;      // video
};

// Parses the 20-byte header at `header` (needs 20 bytes). Returns the kind.
int ParseFrameHeader(const uint8_t* header, FrameInfo& out);

struct PictureSize {
  uint16_t width = 0;
  uint16_t height = 0;
};
// Size code 1: 352 x 240/288; 2: 704 x 480/576 (two fields); 0 or 3: 704 x 240/288.
PictureSize PictureSizeFor(int sizeCode, bool pal);
// The first part in bytes: the 4-byte-unit count rounded up to a multiple of 4 units.
uint32_t FirstPartBytes(uint32_t units);
// The sizes the file readers accept: 352/360 x 240/288 and 704/720 x 240/288/480/576.
bool IsValidPictureSize(int width, int height);
// The width the on-screen text shows: 360 for 352-wide pictures, 720 otherwise.
int ShownWidth(int width);

// The record header fields the client reads (host order).
struct VideoRecordHeader {
  uint32_t type = 0;
  uint32_t frameSecond = 0;
  uint32_t dataSize = 0;
  uint32_t previousRecord = 0;
  uint32_t segment = 0;
  uint8_t marker = 0;
  uint32_t captureSeconds = 0;
  uint32_t captureMicroseconds = 0;
};
struct AudioRecordHeader {
  uint32_t type = 0;
  uint32_t dataSize = 0;
  uint32_t previousRecord = 0;
  uint32_t channelMask = 0;
};
// Both need the full header size available; false otherwise.
bool ParseVideoRecordHeader(std::span<const uint8_t> bytes, VideoRecordHeader& out);
bool ParseAudioRecordHeader(std::span<const uint8_t> bytes, AudioRecordHeader& out);

// A video record as a channel decoder's queue takes it.
struct ChannelFrame {
  uint32_t generation = 0;
  uint8_t marker = 0;   // remote playback: record marker byte was 1
  uint8_t reverse = 0;  // remote playback running backwards
  FrameInfo info;
  MessageHeader header;       // of the last fragment, channel bits = frame channel
  std::vector<uint8_t> data;  // frame data, starting with the frame header
};

// Checks that a video frame's parts lie inside its data: the frame header is
// there, the picture size is known, and the first part (and for two-field
// pictures the second part, with its own frame header) fits.
bool VideoFrameFits(const FrameInfo& info, size_t dataLength);

// Live block helpers. A live block is: 4-byte length s, record, where a
// video record's frame data is s - 192 bytes from byte 196.
enum class LiveBlockKind { kInvalid, kVideo, kAudio };
struct LiveBlock {
  LiveBlockKind kind = LiveBlockKind::kInvalid;
  FrameInfo info;
  std::span<const uint8_t> frame;  // frame data (video) or the audio frame (audio)
};
// Never reads past `block`; a length or frame size pointing past it gives kInvalid.
LiveBlock ParseLiveBlock(std::span<const uint8_t> block);

}  // namespace orva
