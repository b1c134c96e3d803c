#include "test_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace orva::test {
namespace {

uint8_t Clamp(double value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

void PutBe32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value >> 24);
  out[at + 1] = static_cast<uint8_t>(value >> 16);
  out[at + 2] = static_cast<uint8_t>(value >> 8);
  out[at + 3] = static_cast<uint8_t>(value);
}

}  // namespace

Yuv ToYuv(Rgb colour) {
  const double r = colour.r / 255.0, g = colour.g / 255.0, b = colour.b / 255.0;
  return {Clamp(16 + 65.481 * r + 128.553 * g + 24.966 * b), Clamp(128 - 37.797 * r - 74.203 * g + 112.0 * b),
          Clamp(128 + 112.0 * r - 93.786 * g - 18.214 * b)};
}

Yv12Picture::Yv12Picture(int w, int h)
    : width(w), height(h), bytes(static_cast<size_t>(w) * h + 2 * static_cast<size_t>(w / 2) * (h / 2), 0) {}

void Yv12Picture::Fill(int x, int y, int w, int h, Rgb colour) {
  const Yuv yuv = ToYuv(colour);
  uint8_t* luma = bytes.data();
  uint8_t* v = luma + static_cast<size_t>(width) * height;
  uint8_t* u = v + static_cast<size_t>(width / 2) * (height / 2);
  for (int row = y; row < y + h; ++row) std::memset(luma + static_cast<size_t>(row) * width + x, yuv.y, w);
  for (int row = y / 2; row < (y + h) / 2; ++row) {
    std::memset(v + static_cast<size_t>(row) * (width / 2) + x / 2, yuv.v, w / 2);
    std::memset(u + static_cast<size_t>(row) * (width / 2) + x / 2, yuv.u, w / 2);
  }
}

Yuv SampleYv12(const uint8_t* buffer, int width, int height, int x, int y) {
  const size_t luma = static_cast<size_t>(width) * height;
  const size_t chroma = static_cast<size_t>(width / 2) * (height / 2);
  const size_t at = static_cast<size_t>(y / 2) * (width / 2) + x / 2;
  return {buffer[static_cast<size_t>(y) * width + x], buffer[luma + chroma + at], buffer[luma + at]};
}

Rgb SampleBgr(const uint8_t* buffer, int width, int x, int y) {
  const uint8_t* pixel = buffer + (static_cast<size_t>(y) * width + x) * 3;
  return {pixel[2], pixel[1], pixel[0]};
}

struct TestH264Encoder::State {
  AVCodecContext* codec = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  int64_t pts = 0;
};

TestH264Encoder::~TestH264Encoder() {
  if (!m_state) return;
  avcodec_free_context(&m_state->codec);
  av_frame_free(&m_state->frame);
  av_packet_free(&m_state->packet);
  delete m_state;
}

bool TestH264Encoder::Open(int width, int height, int gop, std::string& error) {
  if (m_state) {
    error = "already open";
    return false;
  }
  av_log_set_level(AV_LOG_ERROR);  // keep libx264's statistics out of the test output
  const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
  if (!x264) {
    error = "libavcodec has no libx264 encoder";
    return false;
  }
  m_state = new State;
  AVCodecContext* c = avcodec_alloc_context3(x264);
  m_state->codec = c;
  m_state->frame = av_frame_alloc();
  m_state->packet = av_packet_alloc();
  if (!c || !m_state->frame || !m_state->packet) {
    error = "out of memory";
    return false;
  }
  c->width = width;
  c->height = height;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->time_base = {1, 30};
  c->framerate = {30, 1};
  c->gop_size = gop;
  c->max_b_frames = 0;
  c->thread_count = 1;
  av_opt_set(c->priv_data, "preset", "ultrafast", 0);
  av_opt_set(c->priv_data, "tune", "zerolatency", 0);
  av_opt_set(c->priv_data, "forced-idr", "1", 0);
  // Every key frame carries its parameter sets in-band, as the recorder's do.
  if (avcodec_open2(c, x264, nullptr) < 0) {
    error = "libx264 did not open";
    return false;
  }
  m_state->frame->format = AV_PIX_FMT_YUV420P;
  m_state->frame->width = width;
  m_state->frame->height = height;
  if (av_frame_get_buffer(m_state->frame, 0) < 0) {
    error = "no frame buffer";
    return false;
  }
  return true;
}

bool TestH264Encoder::Encode(const Yv12Picture& picture, std::vector<uint8_t>& accessUnit, bool& key,
                             std::string& error, bool forceKey) {
  if (!m_state || !m_state->codec) {
    error = "not open";
    return false;
  }
  AVFrame* frame = m_state->frame;
  if (picture.width != frame->width || picture.height != frame->height || av_frame_make_writable(frame) < 0) {
    error = "picture size differs from the encoder's";
    return false;
  }
  const int w = picture.width, h = picture.height;
  const uint8_t* v = picture.bytes.data() + static_cast<size_t>(w) * h;
  const uint8_t* u = v + static_cast<size_t>(w / 2) * (h / 2);
  for (int row = 0; row < h; ++row)
    std::memcpy(frame->data[0] + row * frame->linesize[0], picture.bytes.data() + static_cast<size_t>(row) * w, w);
  for (int row = 0; row < h / 2; ++row) {
    std::memcpy(frame->data[1] + row * frame->linesize[1], u + static_cast<size_t>(row) * (w / 2), w / 2);
    std::memcpy(frame->data[2] + row * frame->linesize[2], v + static_cast<size_t>(row) * (w / 2), w / 2);
  }
  frame->pts = m_state->pts++;
  frame->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  if (avcodec_send_frame(m_state->codec, frame) < 0) {
    error = "send_frame failed";
    return false;
  }
  if (avcodec_receive_packet(m_state->codec, m_state->packet) < 0) {
    error = "the encoder held the picture back";
    return false;
  }
  accessUnit.assign(m_state->packet->data, m_state->packet->data + m_state->packet->size);
  key = (m_state->packet->flags & AV_PKT_FLAG_KEY) != 0;
  av_packet_unref(m_state->packet);
  return true;
}

std::vector<std::vector<uint8_t>> EncodeStream(const Yv12Picture& picture, int count, int gop) {
  std::vector<std::vector<uint8_t>> units;
  TestH264Encoder encoder;
  std::string error;
  if (!encoder.Open(picture.width, picture.height, gop, error)) return units;
  for (int i = 0; i < count; ++i) {
    std::vector<uint8_t> unit;
    bool key = false;
    if (!encoder.Encode(picture, unit, key, error, i == 0)) return {};
    units.push_back(std::move(unit));
  }
  return units;
}

std::vector<uint8_t> VideoFrameHeader(int sizeCode, bool pal, bool key, int channel, uint32_t firstPartUnits) {
  std::vector<uint8_t> header(20, 0);
  PutBe32(header, 0, 1);
  PutBe32(header, 4, (pal ? 1u << 6 : 0u) | ((firstPartUnits & 0xFFFFu) << 8));
  const uint32_t sizeBits = ((sizeCode >> 1) & 1u) | ((sizeCode & 1u) << 3);
  PutBe32(header, 8, sizeBits | ((static_cast<uint32_t>(channel) & 31u) << 5) | (key ? 0u : 1u << 11));
  return header;
}

std::vector<uint8_t> MakePart(const std::vector<uint8_t>& accessUnit, int sizeCode, bool key) {
  const size_t bytes = 20 + accessUnit.size();
  std::vector<uint8_t> part = VideoFrameHeader(sizeCode, false, key, 0, static_cast<uint32_t>((bytes + 3) / 4));
  part.insert(part.end(), accessUnit.begin(), accessUnit.end());
  part.resize((part.size() + 15) / 16 * 16, 0);
  return part;
}

std::vector<uint8_t> MakeTwoFieldFrame(const std::vector<uint8_t>& firstField, const std::vector<uint8_t>& secondField,
                                       bool key, int& firstLength) {
  std::vector<uint8_t> frame = MakePart(firstField, kSizeTwoField, key);
  firstLength = static_cast<int>(frame.size());
  std::vector<uint8_t> second = VideoFrameHeader(kSizeTwoField, false, key, 0, 0);
  second.insert(second.end(), secondField.begin(), secondField.end());
  frame.insert(frame.end(), second.begin(), second.end());
  return frame;
}

}  // namespace orva::test
