#include "audio_source.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orva::sim::detail {

namespace {

constexpr int kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

constexpr size_t kHalfSecond = kAudioRate / 2;
constexpr size_t kBeepSamples = kAudioRate * 4 / 10;
constexpr double kAmplitude = 8000.0;

}  // namespace

uint8_t ImaAdpcmEncoder::EncodeSample(int sample) {
  const int step = kStepTable[index_];
  int diff = sample - predictor_;
  uint8_t code = 0;
  if (diff < 0) {
    code = 8;
    diff = -diff;
  }
  if (diff >= step) {
    code |= 4;
    diff -= step;
  }
  if (diff >= step / 2) {
    code |= 2;
    diff -= step / 2;
  }
  if (diff >= step / 4) code |= 1;
  // Track exactly what a decoder reconstructs (its clamp included), so that
  // the state carried into the next frame header is the decoder's state.
  int delta = step >> 3;
  if (code & 4) delta += step;
  if (code & 2) delta += step >> 1;
  if (code & 1) delta += step >> 2;
  const int next = (code & 8) ? predictor_ - delta : predictor_ + delta;
  predictor_ = static_cast<int16_t>(std::clamp(next, -32767, 32767));
  index_ = std::clamp(index_ + kIndexTable[code], 0, 88);
  return code;
}

std::vector<uint8_t> ImaAdpcmEncoder::Encode(const int16_t* samples, size_t count) {
  std::vector<uint8_t> out(count / 2);
  for (size_t i = 0; i + 1 < count; i += 2) {
    const uint8_t high = EncodeSample(samples[i]);
    const uint8_t low = EncodeSample(samples[i + 1]);
    out[i / 2] = static_cast<uint8_t>((high << 4) | low);
  }
  return out;
}

int ToneFrequency(int channel) { return 400 + 100 * channel; }

void ToneSamples(int channel, uint64_t first, size_t count, int16_t* out) {
  const double frequency = ToneFrequency(channel);
  for (size_t i = 0; i < count; ++i) {
    const size_t inHalf = static_cast<size_t>((first + i) % kHalfSecond);
    if (inHalf >= kBeepSamples) {
      out[i] = 0;
      continue;
    }
    const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(inHalf) /
                         static_cast<double>(kAudioRate);
    out[i] = static_cast<int16_t>(std::lround(kAmplitude * std::sin(phase)));
  }
}

}  // namespace orva::sim::detail
