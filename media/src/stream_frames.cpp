#include "orva/media/stream_frames.h"

namespace orva {

int ParseFrameHeader(const uint8_t* h, FrameInfo& out) {
  out = FrameInfo{};
  const uint32_t w0 = LoadBE32(h);
  const uint32_t w1 = LoadBE32(h + 4);
  const uint32_t w2 = LoadBE32(h + 8);
  const uint32_t w3 = LoadBE32(h + 12);
  if (w0 == 0x00000001) {
    out.pal = static_cast<uint8_t>((w1 >> 6) & 1);
    out.partLength = FirstPartBytes((w1 >> 8) & 0xFFFF);
    out.sizeCode = static_cast<uint8_t>(((w2 & 1) << 1) | ((w2 >> 3) & 1));
    out.channel = static_cast<uint8_t>((w2 >> 5) & 0x1F);
    out.keyFrame = ((w2 >> 11) & 1) ? 0 : 1;
    PictureSize size = PictureSizeFor(out.sizeCode, out.pal);
    out.width = size.width;
    out.height = size.height;
    return kFrameVideo;
  }
  if (w0 == 0xFFFFFFFF) {
    out.channel = static_cast<uint8_t>(w2 & 0x7F);
    out.stepIndex = static_cast<uint16_t>((w2 >> 8) & 0x7F);
    out.partLength = (w3 & 0xFFFF) * 16;
    out.predictor = static_cast<int16_t>(static_cast<uint16_t>(w3 >> 16));
    return kFrameAudio;
  }
  return kFrameNone;
}

PictureSize PictureSizeFor(int sizeCode, bool pal) {
  switch (sizeCode) {
    case 1: return {352, static_cast<uint16_t>(pal ? 288 : 240)};
    case 2: return {704, static_cast<uint16_t>(pal ? 576 : 480)};
    default: return {704, static_cast<uint16_t>(pal ? 288 : 240)};
  }
}

uint32_t FirstPartBytes(uint32_t units) { return ((units + 3) / 4) * 4 * 4; }

bool IsValidPictureSize(int width, int height) {
  if (width == 352 || width == 360) return height == 240 || height == 288;
  if (width == 704 || width == 720) return height == 240 || height == 288 || height == 480 || height == 576;
  return false;
}

int ShownWidth(int width) { return width == 352 ? 360 : 720; }

bool ParseVideoRecordHeader(std::span<const uint8_t> b, VideoRecordHeader& out) {
  if (b.size() < kVideoRecordHeaderSize) return false;
  out.type = LoadBE32(b.data() + 16);
  out.frameSecond = LoadBE32(b.data() + 24);
  out.dataSize = LoadBE32(b.data() + 28);
  out.previousRecord = LoadBE32(b.data() + 32);
  out.segment = LoadBE32(b.data() + 40);
  out.marker = b[52];
  out.captureSeconds = LoadBE32(b.data() + 80);
  out.captureMicroseconds = LoadBE32(b.data() + 84);
  return true;
}

bool ParseAudioRecordHeader(std::span<const uint8_t> b, AudioRecordHeader& out) {
  if (b.size() < kAudioRecordHeaderSize) return false;
  out.type = LoadBE32(b.data() + 16);
  out.dataSize = LoadBE32(b.data() + 28);
  out.previousRecord = LoadBE32(b.data() + 32);
  out.channelMask = LoadBE32(b.data() + 40);
  return true;
}

bool VideoFrameFits(const FrameInfo& info, size_t dataLength) {
  if (dataLength < kFrameHeaderSize || info.width == 0) return false;
  const size_t first = info.partLength;
  if (first < kFrameHeaderSize) return false;
  if (info.sizeCode == 2) return first + kFrameHeaderSize < dataLength;  // the second field needs its own header
  // A single picture may be padded past the data by the rounding of its length.
  return first <= dataLength + 15;
}

LiveBlock ParseLiveBlock(std::span<const uint8_t> block) {
  LiveBlock out;
  if (block.size() < kLiveLengthPrefix + 24) return out;
  const uint32_t recordLength = LoadBE32(block.data());
  const auto record = block.subspan(kLiveLengthPrefix);
  if (recordLength > record.size()) return out;
  if (LoadBE32(record.data() + 16) == ENC_HEADER_TYPE_VIDEO) {
    if (recordLength < kVideoRecordHeaderSize + kFrameHeaderSize) return out;
    out.frame = record.subspan(kVideoRecordHeaderSize, recordLength - kVideoRecordHeaderSize);
    if (ParseFrameHeader(out.frame.data(), out.info) != kFrameVideo) return out;
    out.kind = LiveBlockKind::kVideo;
    return out;
  }
  // Anything that is not marked video is taken as audio.
  if (record.size() < kAudioRecordHeaderSize + kFrameHeaderSize) return out;
  const auto audio = record.subspan(kAudioRecordHeaderSize);
  if (ParseFrameHeader(audio.data(), out.info) != kFrameAudio) return out;
  if (out.info.partLength < 16 || out.info.partLength > audio.size()) return out;
  out.frame = audio.first(out.info.partLength);
  out.kind = LiveBlockKind::kAudio;
  return out;
}

}  // namespace orva
