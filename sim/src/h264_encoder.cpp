#include "h264_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>

namespace orva::sim::detail {

namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof(text));
  return text;
}

}  // namespace

H264Encoder::~H264Encoder() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
}

bool H264Encoder::Open(int width, int height, int fps, int bitrateKbps, std::string& error) {
  // The encoder's per-stream statistics would flood the simulator's stderr.
  static const bool quiet = [] {
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
    return true;
  }();
  (void)quiet;
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (codec == nullptr) {
    error = "libavcodec has no libx264 encoder";
    return false;
  }
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
    error = "out of memory for the H.264 encoder";
    return false;
  }
  context_->width = width;
  context_->height = height;
  context_->pix_fmt = AV_PIX_FMT_YUV420P;
  context_->time_base = AVRational{1, fps};
  context_->framerate = AVRational{fps, 1};
  context_->gop_size = fps;  // one key frame per second
  context_->max_b_frames = 0;
  context_->bit_rate = static_cast<int64_t>(bitrateKbps) * 1000;
  // A bounded buffer keeps single frames (key frames above all) from growing
  // past what a first-part length field and a client's frame buffer can hold.
  context_->rc_max_rate = context_->bit_rate;
  context_->rc_buffer_size = static_cast<int>(std::min<int64_t>(context_->bit_rate, 1600000));
  context_->thread_count = 1;
  av_opt_set(context_->priv_data, "preset", "ultrafast", 0);
  av_opt_set(context_->priv_data, "tune", "zerolatency", 0);
  av_opt_set(context_->priv_data, "forced-idr", "1", 0);
  // In-band SPS/PPS on every key frame, so a client can join at any GOP;
  // no scene-cut key frames, so GOPs stay exactly one second.
  const std::string params = "repeat-headers=1:scenecut=0:keyint=" + std::to_string(fps) +
                             ":min-keyint=" + std::to_string(fps);
  av_opt_set(context_->priv_data, "x264-params", params.c_str(), 0);
  int rc = avcodec_open2(context_, codec, nullptr);
  if (rc < 0) {
    error = "cannot open the H.264 encoder: " + AvError(rc);
    return false;
  }
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = width;
  frame_->height = height;
  rc = av_frame_get_buffer(frame_, 0);
  if (rc < 0) {
    error = "cannot allocate an encoder picture: " + AvError(rc);
    return false;
  }
  return true;
}

bool H264Encoder::Encode(const Planes420& picture, bool forceKey,
                         std::vector<EncodedPicture>& out, std::string& error) {
  if (context_ == nullptr || picture.width != context_->width ||
      picture.height != context_->height) {
    error = "picture does not match the encoder";
    return false;
  }
  int rc = av_frame_make_writable(frame_);
  if (rc < 0) {
    error = "encoder picture not writable: " + AvError(rc);
    return false;
  }
  const int w = picture.width, h = picture.height;
  for (int row = 0; row < h; ++row) {
    std::memcpy(frame_->data[0] + static_cast<ptrdiff_t>(row) * frame_->linesize[0],
                picture.y.data() + static_cast<size_t>(row) * w, static_cast<size_t>(w));
  }
  for (int row = 0; row < h / 2; ++row) {
    std::memcpy(frame_->data[1] + static_cast<ptrdiff_t>(row) * frame_->linesize[1],
                picture.u.data() + static_cast<size_t>(row) * (w / 2), static_cast<size_t>(w / 2));
    std::memcpy(frame_->data[2] + static_cast<ptrdiff_t>(row) * frame_->linesize[2],
                picture.v.data() + static_cast<size_t>(row) * (w / 2), static_cast<size_t>(w / 2));
  }
  frame_->pts = pts_++;
  frame_->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  rc = avcodec_send_frame(context_, frame_);
  if (rc < 0) {
    error = "H.264 encoding failed: " + AvError(rc);
    return false;
  }
  return Drain(out, error);
}

bool H264Encoder::Finish(std::vector<EncodedPicture>& out, std::string& error) {
  const int rc = avcodec_send_frame(context_, nullptr);
  if (rc < 0) {
    error = "H.264 encoder flush failed: " + AvError(rc);
    return false;
  }
  return Drain(out, error);
}

bool H264Encoder::Drain(std::vector<EncodedPicture>& out, std::string& error) {
  for (;;) {
    const int rc = avcodec_receive_packet(context_, packet_);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) {
      error = "H.264 encoding failed: " + AvError(rc);
      return false;
    }
    EncodedPicture picture;
    picture.key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    picture.bytes.assign(packet_->data, packet_->data + packet_->size);
    out.push_back(std::move(picture));
    av_packet_unref(packet_);
  }
}

}  // namespace orva::sim::detail
