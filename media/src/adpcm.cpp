// IMA ADPCM decoding and the audio frame header.
#include "orva/media/adpcm.h"

#include <algorithm>
#include <cstdio>

namespace orva {
namespace {

constexpr int16_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

// One code, in the order of the IMA reference: diff from the step, sign,
// clamp, index update. The lower clamp is -32767, as the recorder's decoder has it.
int16_t DecodeNibble(unsigned code, int& predictor, int& index) {
  const int step = kStepTable[index];
  int diff = step >> 3;
  if (code & 4) diff += step;
  if (code & 2) diff += step >> 1;
  if (code & 1) diff += step >> 2;
  predictor += (code & 8) ? -diff : diff;
  predictor = std::clamp(predictor, -32767, 32767);
  index = std::clamp(index + kIndexTable[code & 15], 0, kAdpcmMaxIndex);
  return static_cast<int16_t>(predictor);
}

}  // namespace

size_t DecodeImaAdpcm(const uint8_t* data, size_t bytes, AdpcmState& state, int16_t* out, size_t maxSamples) {
  if (data == nullptr || out == nullptr) return 0;
  // The header's predictor is used as it is; only the result of each step is clamped.
  int predictor = state.predictor;
  // The index comes from the network (7 bits); never let it leave the table.
  int index = std::clamp(state.index, 0, kAdpcmMaxIndex);
  size_t written = 0;
  for (size_t i = 0; i < bytes && written < maxSamples; ++i) {
    out[written++] = DecodeNibble(data[i] >> 4, predictor, index);
    if (written < maxSamples) out[written++] = DecodeNibble(data[i] & 0x0F, predictor, index);
  }
  state.predictor = static_cast<int16_t>(predictor);
  state.index = index;
  return written;
}

bool ParseAudioFrameHeader(const uint8_t* frame, size_t available, AudioFrameInfo& out) {
  if (frame == nullptr || available < kAudioFrameHeaderBytes) return false;
  if (Be32(frame) != 0xFFFFFFFFu) return false;
  const uint32_t w2 = Be32(frame + 8);
  const uint32_t w3 = Be32(frame + 12);
  out.channel = static_cast<int>(w2 & 0x7F);
  out.stepIndex = static_cast<int>((w2 >> 8) & 0x7F);
  out.frameLength = (w3 & 0xFFFF) * 16;
  out.predictor = static_cast<int16_t>(static_cast<uint16_t>(w3 >> 16));
  return true;
}

bool CheckAudioFrame(const uint8_t* frame, size_t length, AudioFrameInfo& out, std::string& error) {
  if (frame == nullptr || length < kAudioFrameHeaderBytes) {
    error = "audio frame of " + std::to_string(length) + " bytes is shorter than its 16-byte header";
    return false;
  }
  if (!ParseAudioFrameHeader(frame, length, out)) {
    char text[64];
    std::snprintf(text, sizeof text, "audio frame header word 0 is 0x%08X, not 0xFFFFFFFF", Be32(frame));
    error = text;
    return false;
  }
  if (out.frameLength < kAudioFrameHeaderBytes || out.frameLength > length) {
    error = "audio frame length " + std::to_string(out.frameLength) + " does not fit the " + std::to_string(length) +
            " bytes received";
    return false;
  }
  return true;
}

}  // namespace orva
