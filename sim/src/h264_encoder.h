// A thin wrapper over libavcodec's libx264 encoder, set up the way the
// recorder's stream needs it: no B-frames, a key frame (IDR) opening every
// GOP, parameter sets repeated on each key frame, Annex B byte stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_picture.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace orva::sim::detail {

struct EncodedPicture {
  bool key = false;
  std::vector<uint8_t> bytes;  // Annex B
};

class H264Encoder {
 public:
  H264Encoder() = default;
  ~H264Encoder();
  H264Encoder(const H264Encoder&) = delete;
  H264Encoder& operator=(const H264Encoder&) = delete;

  bool Open(int width, int height, int fps, int bitrateKbps, std::string& error);
  // Encodes one picture. Output comes out in input order (no reordering);
  // the encoded pictures available so far are appended to `out`.
  bool Encode(const Planes420& picture, bool forceKey, std::vector<EncodedPicture>& out,
              std::string& error);
  // Drains the encoder at the end of the input.
  bool Finish(std::vector<EncodedPicture>& out, std::string& error);

 private:
  bool Drain(std::vector<EncodedPicture>& out, std::string& error);

  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int64_t pts_ = 0;
};

}  // namespace orva::sim::detail
