// IMA ADPCM as the recorder codes its sound, and the 16-byte audio frame
// header that precedes every frame of it.
//
// An audio frame is a 16-byte header (big-endian words W0-W3) followed by
// ADPCM data, two 4-bit codes per byte, high nibble first. The header carries
// the decoder state to start from, so every frame decodes on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orva {

inline constexpr size_t kAudioChunkBytes = 16000;  // one frame's PCM: 8000 samples, 0.5 s
inline constexpr size_t kSoundBufferChunks = 16;   // 256,000-byte sound buffer, 8 s
inline constexpr size_t kSampleRate = 16000;       // mono, 16-bit
inline constexpr size_t kAudioFrameHeaderBytes = 16;
inline constexpr size_t kMaxAdpcmBytesPerChunk = kAudioChunkBytes / 4;  // 4000 bytes -> 8000 samples
inline constexpr int kAdpcmMaxIndex = 88;

struct AdpcmState {
  int16_t predictor = 0;
  int index = 0;  // 0-88; values outside are clamped before use
};

// Decodes `bytes` bytes (two codes per byte, high nibble first) into at most
// maxSamples samples; returns the number of samples written. The predictor is
// clamped to -32767..32767.
size_t DecodeImaAdpcm(const uint8_t* data, size_t bytes, AdpcmState& state, int16_t* out, size_t maxSamples);

// Parsed 16-byte audio frame header: channel (W2 bits 0-6), step index
// (W2 bits 8-14), frame length in bytes (W3 bits 0-15 x 16, header included),
// predictor (W3 bits 16-31 as int16).
struct AudioFrameInfo {
  int channel = 0;
  int stepIndex = 0;
  uint32_t frameLength = 0;
  int16_t predictor = 0;
};

// False when fewer than 16 bytes are available or W0 is not 0xFFFFFFFF.
// Does not judge the frame length; see CheckAudioFrame.
bool ParseAudioFrameHeader(const uint8_t* frame, size_t available, AudioFrameInfo& out);

// Parses and checks a whole frame of `length` bytes: the header must parse and
// the frame length must lie between 16 and `length`. On failure `error` says why.
bool CheckAudioFrame(const uint8_t* frame, size_t length, AudioFrameInfo& out, std::string& error);

}  // namespace orva
