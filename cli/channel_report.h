// What live, play and local play print per channel at the end of a run, and
// the folder their --pictures option writes into.
#pragma once

#include <array>
#include <ostream>
#include <string>

#include "orva/media/channel_decoder.h"
#include "orva/media/headless_view.h"

namespace orva::cli {

// Creates the --pictures folder (nothing to do for an empty name). False
// with a message on `err` when it cannot be made.
bool PreparePicturesDir(const std::string& dir, std::ostream& err);

// One "channel N: WxH pictures=P" line per channel that showed pictures
// (with " keyframes=K skipped=S" when `counts`), and with a folder each
// channel's last picture as chNN.ppm in it.
void ReportChannels(HeadlessView& view, const H264Library& library,
                    const std::array<ChannelDecoderStats, kChannelCount>& stats, bool counts,
                    const std::string& picturesDir, std::ostream& out, std::ostream& err);

}  // namespace orva::cli
