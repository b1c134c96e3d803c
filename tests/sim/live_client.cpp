#include "live_client.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <ctime>

namespace orva::sim::test {

bool LoginAndReadNotices(RawClient& client, std::vector<RawMessage>* notices) {
  if (!client.SendHello("admin", "4711")) return false;
  static constexpr uint16_t kExpected[] = {5, 270, 258, 125, 259, 24};
  for (uint16_t code : kExpected) {
    RawMessage message;
    if (!client.ReadMessage(message) || message.code != code) return false;
    if (notices != nullptr) notices->push_back(message);
  }
  return true;
}

bool ReadBlock(RawClient& client, Block& block, std::vector<RawMessage>& others,
               std::string& error, std::chrono::milliseconds timeout, uint16_t code) {
  block = Block{};
  for (;;) {
    RawMessage message;
    if (!client.ReadMessage(message, timeout)) {
      error = "no complete block within the time-out";
      return false;
    }
    if (message.code != code) {
      if (!block.fragmentSizes.empty()) {
        error = "message " + std::to_string(message.code) + " inside a fragmented block";
        return false;
      }
      others.push_back(message);
      continue;
    }
    block.bytes.insert(block.bytes.end(), message.payload.begin(), message.payload.end());
    block.fragmentSizes.push_back(message.payload.size());
    block.streamFlags.push_back(message.streamFlags);
    block.frameTags.push_back(BigEndian32(std::vector<uint8_t>(message.header.begin(),
                                                               message.header.end()),
                                          12));
    block.audioFlag = message.audioFlag;
    if (message.streamFlags & 0x4000) return true;
  }
}

bool ParseVideoBlock(const Block& block, VideoFrame& frame, std::string& error) {
  const std::vector<uint8_t>& b = block.bytes;
  if (b.size() < 4 + 192 + 20) {
    error = "video block of " + std::to_string(b.size()) + " bytes is too short";
    return false;
  }
  const uint32_t recordLength = BigEndian32(b, 0);
  if (recordLength != b.size() - 4) {
    error = "record length " + std::to_string(recordLength) + " for a block of " +
            std::to_string(b.size());
    return false;
  }
  if (BigEndian32(b, 4 + 16) != 0x20061123u) {
    error = "not a video record";
    return false;
  }
  const uint32_t dataSize = BigEndian32(b, 4 + 28);
  if (dataSize != recordLength - 192) {
    error = "data size " + std::to_string(dataSize) + " disagrees with the record length";
    return false;
  }
  if (b[4 + 52] != 0) {
    error = "marker byte set";
    return false;
  }
  frame.frameSecond = BigEndian32(b, 4 + 24);
  frame.captureSeconds = BigEndian32(b, 4 + 80);
  frame.captureMicros = BigEndian32(b, 4 + 84);
  const size_t data = 4 + 192;
  frame.firstHeader.assign(b.begin() + data, b.begin() + data + 20);
  if (BigEndian32(b, data) != 1) {
    error = "frame header W0 is not 1";
    return false;
  }
  const uint32_t w1 = BigEndian32(b, data + 4), w2 = BigEndian32(b, data + 8);
  if (BigEndian32(b, data + 12) != 0 || BigEndian32(b, data + 16) != 0) {
    error = "frame header W3/W4 not zero";
    return false;
  }
  frame.pal = (w1 >> 6) & 1;
  const uint32_t units = (w1 >> 8) & 0xFFFF;
  frame.firstPartBytes = ((units + 3) / 4) * 4 * 4;
  frame.sizeCode = static_cast<int>((w2 & 1) * 2 + ((w2 >> 3) & 1));
  frame.channel = static_cast<int>((w2 >> 5) & 0x1F);
  frame.key = ((w2 >> 11) & 1) == 0;
  if (frame.firstPartBytes < 20 || frame.firstPartBytes > dataSize) {
    error = "first part of " + std::to_string(frame.firstPartBytes) + " bytes in " +
            std::to_string(dataSize) + " data bytes";
    return false;
  }
  frame.first.assign(b.begin() + data + 20, b.begin() + data + frame.firstPartBytes);
  frame.second.clear();
  frame.secondHeader.clear();
  if (frame.sizeCode == 2) {
    if (dataSize < frame.firstPartBytes + 20) {
      error = "two-field frame without a second part";
      return false;
    }
    const size_t second = data + frame.firstPartBytes;
    frame.secondHeader.assign(b.begin() + second, b.begin() + second + 20);
    frame.second.assign(b.begin() + second + 20, b.end());
  } else if (frame.firstPartBytes != dataSize) {
    // Only zero padding may follow the part the header names.
    const auto rest = b.begin() + static_cast<std::ptrdiff_t>(data + frame.firstPartBytes);
    if (std::any_of(rest, b.end(), [](uint8_t byte) { return byte != 0; })) {
      error = "one-picture frame with data after its first part (" +
              std::to_string(frame.firstPartBytes) + " of " + std::to_string(dataSize) + ")";
      return false;
    }
    frame.padding = dataSize - frame.firstPartBytes;
  }
  return true;
}

bool IsAudioBlock(const Block& block) {
  return block.bytes.size() >= 24 && BigEndian32(block.bytes, 4 + 16) == 0x2518F049u;
}

bool ParseAudioBlock(const Block& block, AudioFrame& frame, std::string& error) {
  const std::vector<uint8_t>& b = block.bytes;
  if (b.size() < 4 + 128 + 16 || !IsAudioBlock(block)) {
    error = "not an audio block";
    return false;
  }
  const uint32_t recordLength = BigEndian32(b, 0);
  const uint32_t dataSize = BigEndian32(b, 4 + 28);
  if (recordLength != b.size() - 4 || dataSize != recordLength - 128) {
    error = "audio record length " + std::to_string(recordLength) + " / data size " +
            std::to_string(dataSize) + " for a block of " + std::to_string(b.size());
    return false;
  }
  frame.channelMask = BigEndian32(b, 4 + 40);
  const size_t f = 4 + 128;
  if (BigEndian32(b, f) != 0xFFFFFFFFu) {
    error = "audio frame W0 is not all ones";
    return false;
  }
  const uint32_t w2 = BigEndian32(b, f + 8), w3 = BigEndian32(b, f + 12);
  frame.channel = static_cast<int>(w2 & 0x7F);
  frame.stepIndex = static_cast<int>((w2 >> 8) & 0x7F);
  frame.frameLength = (w3 & 0xFFFF) * 16;
  frame.predictor = static_cast<int16_t>(w3 >> 16);
  if (frame.frameLength != dataSize) {
    error = "audio frame length " + std::to_string(frame.frameLength) + " vs data size " +
            std::to_string(dataSize);
    return false;
  }
  frame.adpcm.assign(b.begin() + f + 16, b.end());
  return true;
}

std::vector<int16_t> DecodeAdpcm(const std::vector<uint8_t>& data, int16_t& predictor,
                                 int& index) {
  static const int kSteps[89] = {
      7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,
      23,    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,
      73,    80,    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,
      230,   253,   279,   307,   337,   371,   408,   449,   494,   544,   598,   658,
      724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
      2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,
      7132,  7845,  8630,  9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350,
      22385, 24623, 27086, 29794, 32767};
  static const int kAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
  std::vector<int16_t> out;
  out.reserve(data.size() * 2);
  int p = predictor, i = index;
  const auto one = [&](int c) {
    const int step = kSteps[i];
    int diff = step >> 3;
    if (c & 4) diff += step;
    if (c & 2) diff += step >> 1;
    if (c & 1) diff += step >> 2;
    p = (c & 8) ? p - diff : p + diff;
    p = std::clamp(p, -32767, 32767);
    i = std::clamp(i + kAdjust[c & 7], 0, 88);
    out.push_back(static_cast<int16_t>(p));
  };
  for (uint8_t byte : data) {
    one(byte >> 4);
    one(byte & 0x0F);
  }
  predictor = static_cast<int16_t>(p);
  index = i;
  return out;
}

double Picture::MeanU() const {
  double sum = 0;
  for (uint8_t value : u) sum += value;
  return u.empty() ? 0 : sum / static_cast<double>(u.size());
}

double Picture::MeanV() const {
  double sum = 0;
  for (uint8_t value : v) sum += value;
  return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

struct H264Decoder::State {
  AVCodecContext* context = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
};

H264Decoder::H264Decoder() : state_(std::make_unique<State>()) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (codec == nullptr) return;
  state_->context = avcodec_alloc_context3(codec);
  state_->context->flags |= AV_CODEC_FLAG_LOW_DELAY;  // a picture out per picture in
  state_->context->thread_count = 1;
  if (avcodec_open2(state_->context, codec, nullptr) < 0) avcodec_free_context(&state_->context);
  state_->packet = av_packet_alloc();
  state_->frame = av_frame_alloc();
}

H264Decoder::~H264Decoder() {
  av_frame_free(&state_->frame);
  av_packet_free(&state_->packet);
  avcodec_free_context(&state_->context);
}

bool H264Decoder::Decode(const std::vector<uint8_t>& annexB, Picture& picture,
                         std::string& error) {
  if (state_->context == nullptr) {
    error = "no H.264 decoder";
    return false;
  }
  // The decoder reads up to 64 bytes past the end; give it zeroed padding.
  std::vector<uint8_t> padded(annexB);
  padded.resize(annexB.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  state_->packet->data = padded.data();
  state_->packet->size = static_cast<int>(annexB.size());
  int rc = avcodec_send_packet(state_->context, state_->packet);
  if (rc < 0) {
    error = "decoder refused the picture (" + std::to_string(rc) + ")";
    return false;
  }
  rc = avcodec_receive_frame(state_->context, state_->frame);
  if (rc < 0) {
    error = "decoder gave no picture (" + std::to_string(rc) + ")";
    return false;
  }
  const AVFrame* f = state_->frame;
  picture.width = f->width;
  picture.height = f->height;
  picture.y.clear();
  picture.u.clear();
  picture.v.clear();
  for (int row = 0; row < f->height; ++row) {
    const uint8_t* line = f->data[0] + static_cast<ptrdiff_t>(row) * f->linesize[0];
    picture.y.insert(picture.y.end(), line, line + f->width);
  }
  for (int row = 0; row < f->height / 2; ++row) {
    const uint8_t* u = f->data[1] + static_cast<ptrdiff_t>(row) * f->linesize[1];
    const uint8_t* v = f->data[2] + static_cast<ptrdiff_t>(row) * f->linesize[2];
    picture.u.insert(picture.u.end(), u, u + f->width / 2);
    picture.v.insert(picture.v.end(), v, v + f->width / 2);
  }
  av_frame_unref(state_->frame);
  return true;
}

uint32_t LocalWireSeconds() {
  const time_t now = std::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return static_cast<uint32_t>(static_cast<long long>(now) + local.tm_gmtoff);
}

}  // namespace orva::sim::test
