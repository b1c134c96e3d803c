// Stream records as live view and remote playback receive them: the live
// block (length prefix, record header, frame), and the playback record
// (record header straight away), with the frame header and the check that a
// picture's parts lie inside its data. The first byte picks the form.
#include <cstdlib>
#include <span>

#include "orva/media/stream_frames.h"

namespace {

void CheckFrame(std::span<const uint8_t> frame) {
  if (frame.size() < orva::kFrameHeaderSize) return;
  orva::FrameInfo info;
  const int kind = orva::ParseFrameHeader(frame.data(), info);
  if (kind == orva::kFrameVideo && orva::VideoFrameFits(info, frame.size())) {
    // The decoder is given min(first part, data); a two-field picture's
    // second part, with its own header, must start inside the data.
    if (info.sizeCode == 2 && info.partLength + orva::kFrameHeaderSize >= frame.size()) std::abort();
    if (info.partLength > frame.size() + 15) std::abort();
    (void)orva::PictureSizeFor(info.sizeCode, info.pal != 0);
    (void)orva::ShownWidth(info.width);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::span<const uint8_t> block(data + 1, size - 1);
  if (data[0] & 1) {
    const orva::LiveBlock live = orva::ParseLiveBlock(block);
    if (live.kind != orva::LiveBlockKind::kInvalid) {
      // The frame is a view into the block.
      if (live.frame.data() < block.data() || live.frame.data() + live.frame.size() > block.data() + block.size())
        std::abort();
      volatile uint8_t sink = 0;
      for (uint8_t b : live.frame) sink = static_cast<uint8_t>(sink ^ b);
      (void)sink;
      if (live.kind == orva::LiveBlockKind::kVideo) CheckFrame(live.frame);
    }
    return 0;
  }
  orva::VideoRecordHeader video;
  if (orva::ParseVideoRecordHeader(block, video) && video.type == orva::ENC_HEADER_TYPE_VIDEO) {
    CheckFrame(block.subspan(orva::kVideoRecordHeaderSize));
    return 0;
  }
  orva::AudioRecordHeader audio;
  if (orva::ParseAudioRecordHeader(block, audio) && audio.type == orva::ENC_HEADER_TYPE_AUDIO)
    CheckFrame(block.subspan(orva::kAudioRecordHeaderSize));
  return 0;
}
