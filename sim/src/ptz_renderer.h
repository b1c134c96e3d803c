// Live pictures of a steerable channel: a view into a scene four times the
// picture in each direction, moved and scaled by the camera, with the dome
// menu drawn on top while it is open. Encoded frame by frame with the
// channel's own encoder(s), as the loops are (one GOP per second, no
// B-frames, headers on each key frame; two fields for size code 2).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "h264_encoder.h"
#include "orva/sim/simulator.h"
#include "stream_records.h"
#include "test_picture.h"

namespace orva::sim::detail {

class PtzRenderer {
 public:
  PtzRenderer(int channel, const VideoFormat& format, int fps, int bitrateKbps);
  bool Open(std::string& error);
  // Renders and encodes one frame; `frameData` gets the frame headers and
  // the coded picture (or fields), ready for a live block.
  bool Next(const PtzState& view, bool forceKey, std::vector<uint8_t>& frameData, bool& key,
            std::string& error);

 private:
  void DrawScene();
  void DrawView(const PtzState& view);
  void DrawMenu(int row);

  int channel_;
  VideoFormat format_;
  int fps_, bitrateKbps_;
  Canvas scene_, view_;
  H264Encoder encoders_[2];
  Planes420 planes_;
};

}  // namespace orva::sim::detail
