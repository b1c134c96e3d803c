#include "stream_records.h"

#include <cstring>

#include "orva/sim/wire.h"

namespace orva::sim::detail {

namespace {

void PutFrameHeader(uint8_t* out, const VideoFormat& format, int channel, bool key,
                    size_t firstPartBytes) {
  const uint32_t units = static_cast<uint32_t>(firstPartBytes / 4);
  const uint32_t w1 = (format.pal ? 0x40u : 0u) | (units << 8);
  const uint32_t sizeA = (static_cast<uint32_t>(format.sizeCode) >> 1) & 1u;
  const uint32_t sizeB = static_cast<uint32_t>(format.sizeCode) & 1u;
  const uint32_t w2 = sizeA | (sizeB << 3) | ((static_cast<uint32_t>(channel) & 0x1Fu) << 5) |
                      (key ? 0u : 1u << 11);
  PutU32(out, 1);
  PutU32(out + 4, w1);
  PutU32(out + 8, w2);
  PutU32(out + 12, 0);
  PutU32(out + 16, 0);
}

}  // namespace

VideoFormat VideoFormatFor(int sizeCode, bool pal) {
  VideoFormat f;
  f.sizeCode = sizeCode;
  f.pal = pal;
  const int lines = pal ? 288 : 240;
  switch (sizeCode) {
    case 1:
      f.width = 352;
      f.height = lines;
      break;
    case 2:
      f.width = 704;
      f.height = lines * 2;
      f.twoFields = true;
      break;
    default:  // 0 and 3
      f.width = 704;
      f.height = lines;
      break;
  }
  return f;
}

bool BuildVideoFrameData(const VideoFormat& format, int channel, bool key,
                         const std::vector<uint8_t>& first, const std::vector<uint8_t>* second,
                         std::vector<uint8_t>& out, std::string& error) {
  if (format.twoFields != (second != nullptr)) {
    error = "two-field frames need exactly two coded fields";
    return false;
  }
  const size_t firstPart = (kFrameHeaderSize + first.size() + 15) / 16 * 16;
  if (firstPart > kMaxFirstPart) {
    error = "coded picture of " + std::to_string(first.size()) +
            " bytes is too large for the first-part length field";
    return false;
  }
  const size_t total = firstPart + (second != nullptr ? kFrameHeaderSize + second->size() : 0);
  if (4 + kVideoRecordHeaderSize + total > kMaxLiveBlock) {
    error = "frame of " + std::to_string(total) + " bytes does not fit a client's frame buffer";
    return false;
  }
  out.assign(total, 0);
  PutFrameHeader(out.data(), format, channel, key, firstPart);
  std::memcpy(out.data() + kFrameHeaderSize, first.data(), first.size());
  if (second != nullptr) {
    PutFrameHeader(out.data() + firstPart, format, channel, key, firstPart);
    std::memcpy(out.data() + firstPart + kFrameHeaderSize, second->data(), second->size());
  }
  return true;
}

std::vector<uint8_t> BuildLiveVideoBlock(const std::vector<uint8_t>& frameData,
                                         uint32_t frameSecond, uint32_t captureSeconds,
                                         uint32_t captureMicros) {
  std::vector<uint8_t> block(4 + kVideoRecordHeaderSize + frameData.size(), 0);
  uint8_t* record = block.data() + 4;
  PutU32(block.data(), static_cast<uint32_t>(kVideoRecordHeaderSize + frameData.size()));
  PutU32(record + 16, kVideoRecordType);
  PutU32(record + 24, frameSecond);
  PutU32(record + 28, static_cast<uint32_t>(frameData.size()));
  record[52] = 0;  // marker: an ordinary frame
  PutU32(record + 80, captureSeconds);
  PutU32(record + 84, captureMicros);
  std::memcpy(record + kVideoRecordHeaderSize, frameData.data(), frameData.size());
  return block;
}

std::vector<uint8_t> BuildPlaybackVideoRecord(const std::vector<uint8_t>& frameData,
                                              const RecordedFrame& recorded) {
  // Padding goes at the end of the frame data: after the only part of a
  // one-picture frame, which the client never reads past, or after the
  // second field, where zero bytes are legal trailing bytes of the stream.
  const size_t dataBytes = PaddedFrameBytes(frameData.size(), recorded.padTo);
  std::vector<uint8_t> record(kVideoRecordHeaderSize + dataBytes, 0);
  PutU32(record.data() + 16, kVideoRecordType);
  PutU32(record.data() + 24, recorded.second);
  PutU32(record.data() + 28, static_cast<uint32_t>(dataBytes));
  PutU32(record.data() + 40, recorded.recordingId);
  record[50] = recorded.kind;
  record[52] = 0;  // marker: every frame sent is meant to be shown
  PutU32(record.data() + 80, recorded.second);
  PutU32(record.data() + 84, recorded.micros);
  std::memcpy(record.data() + kVideoRecordHeaderSize, frameData.data(), frameData.size());
  return record;
}

std::vector<uint8_t> BuildPlaybackAudioRecord(int channel, const std::vector<uint8_t>& audioFrame,
                                              uint32_t frameSecond) {
  std::vector<uint8_t> record(kAudioRecordHeaderSize + audioFrame.size(), 0);
  PutU32(record.data() + 16, kAudioRecordType);
  PutU32(record.data() + 24, frameSecond);
  PutU32(record.data() + 28, static_cast<uint32_t>(audioFrame.size()));
  PutU32(record.data() + 40, 1u << (channel & 15));
  std::memcpy(record.data() + kAudioRecordHeaderSize, audioFrame.data(), audioFrame.size());
  return record;
}

std::vector<uint8_t> BuildAudioFrame(int channel, int16_t predictor, int stepIndex,
                                     const std::vector<uint8_t>& adpcm) {
  std::vector<uint8_t> frame(kAudioFrameHeaderSize + adpcm.size(), 0);
  const uint32_t w2 = (static_cast<uint32_t>(channel) & 0x7Fu) |
                      ((static_cast<uint32_t>(stepIndex) & 0x7Fu) << 8);
  const uint32_t w3 = static_cast<uint32_t>((frame.size() / 16) & 0xFFFFu) |
                      (static_cast<uint32_t>(static_cast<uint16_t>(predictor)) << 16);
  PutU32(frame.data(), 0xFFFFFFFFu);
  PutU32(frame.data() + 4, 0);
  PutU32(frame.data() + 8, w2);
  PutU32(frame.data() + 12, w3);
  std::memcpy(frame.data() + kAudioFrameHeaderSize, adpcm.data(), adpcm.size());
  return frame;
}

std::vector<uint8_t> BuildLiveAudioBlock(int channel, const std::vector<uint8_t>& audioFrame,
                                         uint32_t frameSecond) {
  std::vector<uint8_t> block(4 + kAudioRecordHeaderSize + audioFrame.size(), 0);
  uint8_t* record = block.data() + 4;
  PutU32(block.data(), static_cast<uint32_t>(kAudioRecordHeaderSize + audioFrame.size()));
  PutU32(record + 16, kAudioRecordType);
  PutU32(record + 24, frameSecond);
  PutU32(record + 28, static_cast<uint32_t>(audioFrame.size()));
  PutU32(record + 40, 1u << (channel & 15));
  std::memcpy(record + kAudioRecordHeaderSize, audioFrame.data(), audioFrame.size());
  return block;
}

}  // namespace orva::sim::detail
