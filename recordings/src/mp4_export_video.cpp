// The video side of the MP4 export: H.264 decoding of field streams, the
// weave of two fields into one picture, its libx264 encoding, and the
// packet writer that gives every picture its duration.
#include <algorithm>
#include <cstring>

#include "mp4_export_av.h"
#include "orva/link/trace.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

namespace orva::mp4 {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

bool H264Decoder::Open(std::string& error) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (!codec) {
    error = "libavcodec has no H.264 decoder";
    return false;
  }
  m_codec.reset(avcodec_alloc_context3(codec));
  m_packet.reset(av_packet_alloc());
  if (!m_codec || !m_packet) {
    error = "out of memory for the H.264 decoder";
    return false;
  }
  // Frame threads would only add delay to a pairing that waits for both fields.
  m_codec->thread_count = 1;
  m_codec->pkt_timebase = kTicks;
  const int rc = avcodec_open2(m_codec.get(), codec, nullptr);
  if (rc < 0) {
    error = "cannot open the H.264 decoder: " + AvError(rc);
    return false;
  }
  return true;
}

bool H264Decoder::Send(std::span<const uint8_t> unit, int64_t pts) {
  // Not reference-counted: libavcodec copies the bytes into a padded buffer.
  m_packet->data = const_cast<uint8_t*>(unit.data());
  m_packet->size = static_cast<int>(unit.size());
  m_packet->pts = pts;
  const int rc = avcodec_send_packet(m_codec.get(), m_packet.get());
  av_packet_unref(m_packet.get());
  return rc >= 0;
}

void H264Decoder::Flush() { avcodec_send_packet(m_codec.get(), nullptr); }

void H264Decoder::Receive(std::deque<FramePtr>& out) {
  for (;;) {
    FramePtr frame(av_frame_alloc());
    if (!frame || avcodec_receive_frame(m_codec.get(), frame.get()) < 0) return;
    frame->pts = frame->best_effort_timestamp;
    out.push_back(std::move(frame));
  }
}

bool ProbePictureSize(std::span<const uint8_t> unit, int& width, int& height) {
  H264Decoder decoder;
  std::string error;
  std::deque<FramePtr> frames;
  if (!decoder.Open(error) || !decoder.Send(unit, 0)) return false;
  decoder.Flush();
  decoder.Receive(frames);
  if (frames.empty()) return false;
  width = frames.front()->width;
  height = frames.front()->height;
  return width > 0 && height > 0;
}

bool VideoTrack::Write(AVPacket* packet, std::string& error) {
  // The muxer needs strictly rising decoding times.
  if (packet->dts == AV_NOPTS_VALUE) packet->dts = packet->pts;
  if (packet->dts <= m_lastDts) packet->dts = m_lastDts + 1;
  packet->pts = std::max(packet->pts, packet->dts);
  if (m_holding && !Emit(packet->dts - m_held->dts, error)) return false;
  if (!m_held) m_held.reset(av_packet_alloc());
  if (!m_held) {
    error = "out of memory for a video packet";
    return false;
  }
  av_packet_move_ref(m_held.get(), packet);
  m_lastDts = m_held->dts;
  if (!m_started) m_first = m_held->pts;
  m_started = m_holding = true;
  return true;
}

bool VideoTrack::Emit(int64_t duration, std::string& error) {
  m_held->duration = duration;
  m_lastDuration = duration;
  m_end = std::max(m_end, m_held->pts + duration);
  m_held->stream_index = m_stream->index;
  av_packet_rescale_ts(m_held.get(), kTicks, m_stream->time_base);
  m_holding = false;
  const int rc = av_interleaved_write_frame(m_format, m_held.get());
  if (rc < 0) {
    error = "cannot write a video packet: " + AvError(rc);
    return false;
  }
  ++m_written;
  return true;
}

bool VideoTrack::Finish(std::string& error) {
  if (!m_holding) return true;
  // A single picture shows for a tenth of a second, a common recorder rate.
  return Emit(m_lastDuration > 0 ? m_lastDuration : kTicks.den / 10, error);
}

bool FieldWeaver::Open(int width, int fieldHeight, AVRational frameRate, bool globalHeader, std::string& error) {
  if (!m_fields[0].Open(error) || !m_fields[1].Open(error)) return false;
  const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
  if (!x264) {
    error = "libavcodec has no libx264 encoder";
    return false;
  }
  m_width = width;
  m_fieldHeight = fieldHeight;
  m_encoder.reset(avcodec_alloc_context3(x264));
  m_woven.reset(av_frame_alloc());
  m_packet.reset(av_packet_alloc());
  if (!m_encoder || !m_woven || !m_packet) {
    error = "out of memory for the H.264 encoder";
    return false;
  }
  AVCodecContext* c = m_encoder.get();
  c->width = width;
  c->height = fieldHeight * 2;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->time_base = kTicks;
  c->framerate = frameRate;
  // No reordering: every packet keeps its picture's capture time as its
  // decoding time, which the track writer's durations rely on.
  c->max_b_frames = 0;
  if (globalHeader) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(c->priv_data, "preset", "veryfast", 0);
  av_opt_set(c->priv_data, "crf", "16", 0);  // visually lossless
  av_opt_set(c->priv_data, "forced-idr", "1", 0);
  // The export is a library call: no encoder statistics on stderr.
  av_opt_set(c->priv_data, "x264-params", "log=-1", 0);
  const int rc = avcodec_open2(c, x264, nullptr);
  if (rc < 0) {
    error = "cannot open the libx264 encoder: " + AvError(rc);
    return false;
  }
  m_woven->format = AV_PIX_FMT_YUV420P;
  m_woven->width = c->width;
  m_woven->height = c->height;
  if (av_frame_get_buffer(m_woven.get(), 0) < 0) {
    error = "out of memory for the woven picture";
    return false;
  }
  return true;
}

bool FieldWeaver::Add(std::span<const uint8_t> first, std::span<const uint8_t> second, int64_t pts,
                      VideoTrack& track, std::string& error) {
  // A field the decoder refuses leaves its partner unpaired; Pair drops it.
  m_fields[0].Send(first, pts);
  m_fields[1].Send(second, pts);
  m_fields[0].Receive(m_decoded[0]);
  m_fields[1].Receive(m_decoded[1]);
  return Pair(track, error);
}

bool FieldWeaver::Pair(VideoTrack& track, std::string& error) {
  auto usable = [&](const AVFrame* f) {
    return f->width == m_width && f->height == m_fieldHeight &&
           (f->format == AV_PIX_FMT_YUV420P || f->format == AV_PIX_FMT_YUVJ420P);
  };
  while (!m_decoded[0].empty() && !m_decoded[1].empty()) {
    const AVFrame* a = m_decoded[0].front().get();
    const AVFrame* b = m_decoded[1].front().get();
    if (a->pts != b->pts) {
      m_decoded[a->pts < b->pts ? 0 : 1].pop_front();
      continue;
    }
    if (usable(a) && usable(b)) {
      if (av_frame_make_writable(m_woven.get()) < 0) {
        error = "out of memory for the woven picture";
        return false;
      }
      AVFrame* w = m_woven.get();
      // 4:2:0 fields interleave their chroma lines the same way as their luma.
      for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? m_fieldHeight : m_fieldHeight / 2;
        const int bytes = plane == 0 ? m_width : m_width / 2;
        for (int row = 0; row < rows; ++row) {
          std::memcpy(w->data[plane] + (2 * row) * w->linesize[plane], a->data[plane] + row * a->linesize[plane],
                      bytes);
          std::memcpy(w->data[plane] + (2 * row + 1) * w->linesize[plane],
                      b->data[plane] + row * b->linesize[plane], bytes);
        }
      }
      w->pts = a->pts;
      w->color_range = a->color_range;
      w->pict_type = a->key_frame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
      if (!Encode(w, track, error)) return false;
    } else {
      Trace("ExportMp4... field pair of %dx%d and %dx%d (format %d) is not %dx%d 4:2:0, left out\n", a->width,
            a->height, b->width, b->height, a->format, m_width, m_fieldHeight);
    }
    m_decoded[0].pop_front();
    m_decoded[1].pop_front();
  }
  return true;
}

bool FieldWeaver::Encode(const AVFrame* frame, VideoTrack& track, std::string& error) {
  int rc = avcodec_send_frame(m_encoder.get(), frame);
  if (rc < 0 && rc != AVERROR_EOF) {
    error = "the H.264 encoder refused a picture: " + AvError(rc);
    return false;
  }
  while ((rc = avcodec_receive_packet(m_encoder.get(), m_packet.get())) >= 0)
    if (!track.Write(m_packet.get(), error)) return false;
  if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
    error = "the H.264 encoder failed: " + AvError(rc);
    return false;
  }
  return true;
}

bool FieldWeaver::Finish(VideoTrack& track, std::string& error) {
  for (int i = 0; i < 2; ++i) {
    m_fields[i].Flush();
    m_fields[i].Receive(m_decoded[i]);
  }
  return Pair(track, error) && Encode(nullptr, track, error);
}

}  // namespace orva::mp4
