// Test helpers: synthetic YV12 pictures, a libx264 encoder that turns them
// into H.264 Annex B access units (ultrafast, zerolatency, no B-frames), and
// the recorder's frame header around coded parts.
//
// To reuse elsewhere: copy this file and test_encoder.cpp and link the test
// with PkgConfig::FFMPEG (libavcodec with the libx264 encoder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orva::test {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};
struct Yuv {
  uint8_t y = 0, u = 0, v = 0;
};

// BT.601 limited range, the matrix libswscale assumes for YUV without tags.
Yuv ToYuv(Rgb colour);

inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kWhite{255, 255, 255};

// A planar YV12 picture: luma width x height, then V, then U (width/2 x height/2 each).
struct Yv12Picture {
  Yv12Picture(int w, int h);
  int width;
  int height;
  std::vector<uint8_t> bytes;
  // Fills the rectangle (even coordinates and sizes keep chroma exact).
  void Fill(int x, int y, int w, int h, Rgb colour);
};

// Reads one sample of a YV12 buffer laid out like Yv12Picture.
Yuv SampleYv12(const uint8_t* buffer, int width, int height, int x, int y);
// Reads the B,G,R bytes of pixel (x, y) of a top-row-first 24-bit picture.
Rgb SampleBgr(const uint8_t* buffer, int width, int x, int y);

// Encodes pictures one by one; every Encode gives one access unit at once.
class TestH264Encoder {
 public:
  TestH264Encoder() = default;
  ~TestH264Encoder();
  TestH264Encoder(const TestH264Encoder&) = delete;
  TestH264Encoder& operator=(const TestH264Encoder&) = delete;

  bool Open(int width, int height, int gop, std::string& error);
  // `forceKey` asks for an IDR picture. `key` reports whether the unit is one.
  bool Encode(const Yv12Picture& picture, std::vector<uint8_t>& accessUnit, bool& key, std::string& error,
              bool forceKey = false);

 private:
  struct State;
  State* m_state = nullptr;
};

// Encodes `count` copies of `picture` (the first is a key frame).
std::vector<std::vector<uint8_t>> EncodeStream(const Yv12Picture& picture, int count, int gop = 10);

// Size codes of the frame header.
inline constexpr int kSizeCif = 1;       // 352 x 240 / 288
inline constexpr int kSizeTwoField = 2;  // 704 x 480 / 576
inline constexpr int kSizeHalfD1 = 3;    // 704 x 240 / 288

// The recorder's 20-byte video frame header (big-endian words).
std::vector<uint8_t> VideoFrameHeader(int sizeCode, bool pal, bool key, int channel, uint32_t firstPartUnits);

// One part: frame header + access unit, zero-padded to a multiple of 16 bytes.
std::vector<uint8_t> MakePart(const std::vector<uint8_t>& accessUnit, int sizeCode, bool key);

// A two-field frame as the recorder sends it: first part (header, first
// field, padding) then second part (header, second field). `firstLength`
// receives the byte length of the first part.
std::vector<uint8_t> MakeTwoFieldFrame(const std::vector<uint8_t>& firstField, const std::vector<uint8_t>& secondField,
                                       bool key, int& firstLength);

}  // namespace orva::test
