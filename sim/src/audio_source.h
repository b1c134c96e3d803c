// The recorder's sound: a recognisable beep pattern per audio channel and the
// IMA ADPCM coder that packs it, 4 bits per sample, high nibble first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orva::sim::detail {

inline constexpr int kAudioRate = 16000;

class ImaAdpcmEncoder {
 public:
  int16_t predictor() const { return predictor_; }
  int stepIndex() const { return index_; }
  // Codes an even number of samples into samples / 2 bytes. The state runs on
  // across calls; each call's starting state is what a frame header carries.
  std::vector<uint8_t> Encode(const int16_t* samples, size_t count);

 private:
  uint8_t EncodeSample(int sample);
  int16_t predictor_ = 0;
  int index_ = 0;
};

// Tone frequency of an audio channel (0-15): 400 + 100 x channel Hz.
int ToneFrequency(int channel);
// Samples [first, first + count) of a channel's signal: in every half second
// a 0.4 s beep at the channel's frequency, then 0.1 s of silence.
void ToneSamples(int channel, uint64_t first, size_t count, int16_t* out);

}  // namespace orva::sim::detail
