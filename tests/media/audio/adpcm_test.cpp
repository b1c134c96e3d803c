// IMA ADPCM decoding against the worked examples and against an independent
// encoder; the audio frame header.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "audio_test_util.h"
#include "orva/media/adpcm.h"

namespace orva {
namespace {

using audiotest::MakeFrame;

TEST(Adpcm, WorkedExampleOfByte0x7F) {
  const uint8_t data[] = {0x7F};
  AdpcmState state;  // predictor 0, index 0
  int16_t out[2] = {};
  ASSERT_EQ(DecodeImaAdpcm(data, 1, state, out, 2), 2u);
  // High nibble 7 first: step 7 -> diff 0+7+3+1 = 11; then 15 with step 16 -> -(2+16+8+4).
  EXPECT_EQ(out[0], 11);
  EXPECT_EQ(out[1], -19);
  EXPECT_EQ(state.index, 16);
  EXPECT_EQ(state.predictor, -19);
}

TEST(Adpcm, ClampsToPlusMinus32767) {
  // Index 6 (step 13), code 14: diff 1 + 13 + 6 = 20, subtracted.
  AdpcmState low{-32760, 6};
  const uint8_t down[] = {0xE0};
  int16_t out[2] = {};
  ASSERT_EQ(DecodeImaAdpcm(down, 1, low, out, 1), 1u);
  EXPECT_EQ(out[0], -32767);  // not -32768
  AdpcmState high{32760, 6};
  const uint8_t up[] = {0x60};
  ASSERT_EQ(DecodeImaAdpcm(up, 1, high, out, 1), 1u);
  EXPECT_EQ(out[0], 32767);
}

TEST(Adpcm, AHeaderPredictorOfMinus32768IsUsedUnclampedForTheFirstStep) {
  // Header W3 bits 16-31 = 0x8000: the frame starts at -32768. Code 4 at
  // index 0 adds 0 + 7; only the sum is clamped.
  std::vector<uint8_t> frame(17, 0);
  audiotest::PutBe32(&frame[0], 0xFFFFFFFFu);
  audiotest::PutBe32(&frame[12], 0x80000001u);
  frame[16] = 0x40;
  AudioFrameInfo info;
  ASSERT_TRUE(ParseAudioFrameHeader(frame.data(), frame.size(), info));
  ASSERT_EQ(info.predictor, -32768);
  AdpcmState state{info.predictor, info.stepIndex};
  int16_t out[2] = {};
  ASSERT_EQ(DecodeImaAdpcm(&frame[16], 1, state, out, 2), 2u);
  EXPECT_EQ(out[0], -32761);  // not -32767 + 7
  // Code 4 moved the index to 2 (step 9): code 0 adds 9 >> 3 = 1.
  EXPECT_EQ(out[1], -32760);
}

TEST(Adpcm, StopsAtMaxSamplesAndKeepsIndexInTable) {
  std::vector<uint8_t> data(100, 0x77);  // keeps raising the index
  AdpcmState state{0, 80};
  std::vector<int16_t> out(64, 0x5555);
  EXPECT_EQ(DecodeImaAdpcm(data.data(), data.size(), state, out.data(), 63), 63u);
  EXPECT_EQ(out[63], 0x5555);  // untouched past the limit
  EXPECT_EQ(state.index, 88);
  EXPECT_EQ(state.predictor, 32767);
  // An index from the network beyond the table is used as 88: step 32767,
  // code 0 adds 32767 >> 3.
  AdpcmState wild{0, 127};
  const uint8_t zero[] = {0x00};
  ASSERT_EQ(DecodeImaAdpcm(zero, 1, wild, out.data(), 1), 1u);
  EXPECT_EQ(out[0], 4095);
}

// A textbook IMA ADPCM encoder, written here without the decoder's code. It
// tracks the decoder's reconstruction as part of encoding.
struct ReferenceEncoder {
  static constexpr int kSteps[89] = {
      7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,    31,
      34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,   130,   143,
      157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,   544,   598,   658,
      724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,
      3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487, 12635, 13899,
      15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
  int predicted = 0;
  int index = 0;
  std::vector<int16_t> reconstructed;

  unsigned Encode(int sample) {
    int step = kSteps[index];
    int diff = sample - predicted;
    unsigned code = 0;
    if (diff < 0) {
      code = 8;
      diff = -diff;
    }
    int delta = step >> 3;
    for (unsigned bit = 4; bit != 0; bit >>= 1) {
      if (diff >= step) {
        code |= bit;
        diff -= step;
        delta += step;
      }
      step >>= 1;
    }
    predicted += (code & 8) ? -delta : delta;
    if (predicted > 32767) predicted = 32767;
    if (predicted < -32768) predicted = -32768;
    static constexpr int kAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
    index += kAdjust[code & 7];
    if (index < 0) index = 0;
    if (index > 88) index = 88;
    reconstructed.push_back(static_cast<int16_t>(predicted));
    return code;
  }
};

TEST(Adpcm, DecodesWhatAnIndependentEncoderProduced) {
  static_assert(std::size(ReferenceEncoder::kSteps) == 89);
  constexpr size_t kSamples = 8000;  // one frame, 0.5 s
  std::vector<int> sine(kSamples);
  for (size_t n = 0; n < kSamples; ++n)
    sine[n] = static_cast<int>(std::lround(12000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * n / 16000.0)));

  // Start mid-stream from a state a frame header could carry.
  ReferenceEncoder encoder;
  encoder.predicted = -200;
  encoder.index = 20;
  std::vector<uint8_t> coded(kSamples / 2);
  for (size_t n = 0; n < kSamples; n += 2) {
    const unsigned hi = encoder.Encode(sine[n]);
    const unsigned lo = encoder.Encode(sine[n + 1]);
    coded[n / 2] = static_cast<uint8_t>((hi << 4) | lo);
  }

  AdpcmState state{-200, 20};
  std::vector<int16_t> decoded(kSamples);
  ASSERT_EQ(DecodeImaAdpcm(coded.data(), coded.size(), state, decoded.data(), decoded.size()), kSamples);
  EXPECT_EQ(decoded, encoder.reconstructed);

  double signal = 0, noise = 0;
  for (size_t n = 0; n < kSamples; ++n) {
    signal += double(sine[n]) * sine[n];
    noise += double(sine[n] - decoded[n]) * (sine[n] - decoded[n]);
  }
  const double snrDb = 10.0 * std::log10(signal / std::max(noise, 1.0));
  EXPECT_GT(snrDb, 25.0);
}

TEST(AudioFrameHeader, ParsesFieldsOfTheExample) {
  std::vector<uint8_t> frame(16, 0);
  audiotest::PutBe32(&frame[0], 0xFFFFFFFFu);
  audiotest::PutBe32(&frame[8], 0x7FFF8F85u);  // unused bits set around channel 5 and index 15
  audiotest::PutBe32(&frame[12], 0xFF3800FBu);
  AudioFrameInfo info;
  ASSERT_TRUE(ParseAudioFrameHeader(frame.data(), frame.size(), info));
  EXPECT_EQ(info.frameLength, 4016u);
  EXPECT_EQ(info.predictor, -200);
  EXPECT_EQ(info.channel, 5);
  EXPECT_EQ(info.stepIndex, 15);

  frame[3] = 0xFE;  // W0 no longer the audio marker
  EXPECT_FALSE(ParseAudioFrameHeader(frame.data(), frame.size(), info));
  EXPECT_FALSE(ParseAudioFrameHeader(frame.data(), 15, info));
}

TEST(AudioFrameHeader, CheckRejectsLengthsThatDoNotFit) {
  std::string error;
  AudioFrameInfo info;
  const auto good = MakeFrame(2, 0, 0, std::vector<uint8_t>(64, 0));
  EXPECT_TRUE(CheckAudioFrame(good.data(), good.size(), info, error)) << error;
  EXPECT_TRUE(CheckAudioFrame(good.data(), good.size() + 10, info, error));  // longer copy: fine

  EXPECT_FALSE(CheckAudioFrame(good.data(), good.size() - 16, info, error));  // claims more than given
  EXPECT_NE(error.find("80"), std::string::npos) << error;

  auto empty = good;
  empty[15] = 0;  // length field 0
  EXPECT_FALSE(CheckAudioFrame(empty.data(), empty.size(), info, error));
  EXPECT_FALSE(CheckAudioFrame(good.data(), 8, info, error));
  EXPECT_FALSE(CheckAudioFrame(nullptr, 100, info, error));
}

}  // namespace
}  // namespace orva
