// The sound side of the MP4 export: the recorder's IMA ADPCM decoded to
// 16 kHz samples and encoded with libavcodec's own AAC encoder.
#include <algorithm>

#include "mp4_export_av.h"
#include "orva/link/trace.h"
#include "orva/media/adpcm.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace orva::mp4 {
namespace {

constexpr int kRate = static_cast<int>(kSampleRate);
// Sound that falls this far behind the pictures' clock (a gap in the
// recording) is brought back by silence; less is left as it is, so that
// the jitter between sound and pictures never adds silence.
constexpr int64_t kGapSamples = kRate / 4;

}  // namespace

bool AudioTrack::Open(bool globalHeader, std::string& error) {
  const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!aac) {
    error = "libavcodec has no AAC encoder";
    return false;
  }
  m_encoder.reset(avcodec_alloc_context3(aac));
  m_frame.reset(av_frame_alloc());
  m_packet.reset(av_packet_alloc());
  if (!m_encoder || !m_frame || !m_packet) {
    error = "out of memory for the AAC encoder";
    return false;
  }
  AVCodecContext* c = m_encoder.get();
  c->sample_fmt = AV_SAMPLE_FMT_FLTP;
  c->sample_rate = kRate;
  av_channel_layout_default(&c->ch_layout, 1);
  c->bit_rate = 48000;
  c->time_base = {1, kRate};
  if (globalHeader) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int rc = avcodec_open2(c, aac, nullptr);
  if (rc < 0) {
    error = "cannot open the AAC encoder: " + AvError(rc);
    return false;
  }
  m_frame->format = c->sample_fmt;
  m_frame->sample_rate = c->sample_rate;
  m_frame->nb_samples = c->frame_size;
  if (av_channel_layout_copy(&m_frame->ch_layout, &c->ch_layout) < 0 || av_frame_get_buffer(m_frame.get(), 0) < 0) {
    error = "out of memory for the AAC encoder";
    return false;
  }
  return true;
}

bool AudioTrack::Add(std::span<const uint8_t> frame, int64_t atTicks, std::string& error) {
  AudioFrameInfo info;
  std::string why;
  if (!CheckAudioFrame(frame.data(), frame.size(), info, why)) {
    Trace("ExportMp4... sound frame left out: %s\n", why.c_str());
    return true;
  }
  const int64_t at = av_rescale_q(atTicks, kTicks, {1, kRate});
  if (at > m_queued + kGapSamples) {
    m_pending.insert(m_pending.end(), static_cast<size_t>(at - m_queued), 0.0f);
    m_queued = at;
  }
  const size_t bytes = info.frameLength - kAudioFrameHeaderBytes;
  std::vector<int16_t> samples(bytes * 2);
  AdpcmState state{info.predictor, info.stepIndex};
  const size_t n = DecodeImaAdpcm(frame.data() + kAudioFrameHeaderBytes, bytes, state, samples.data(), samples.size());
  for (size_t i = 0; i < n; ++i) m_pending.push_back(samples[i] / 32768.0f);
  m_queued += static_cast<int64_t>(n);
  ++m_frames;
  return EncodeFrames(false, error);
}

bool AudioTrack::EncodeFrames(bool all, std::string& error) {
  AVCodecContext* c = m_encoder.get();
  const size_t size = static_cast<size_t>(c->frame_size);
  size_t used = 0;
  while (m_pending.size() - used >= size || (all && used < m_pending.size())) {
    const size_t n = std::min(size, m_pending.size() - used);
    if (av_frame_make_writable(m_frame.get()) < 0) {
      error = "out of memory for the AAC encoder";
      return false;
    }
    float* out = reinterpret_cast<float*>(m_frame->data[0]);
    std::copy_n(m_pending.begin() + static_cast<std::ptrdiff_t>(used), n, out);
    // The encoder takes a short last frame only when it says so; else pad it.
    const bool shortOk = (c->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    if (!shortOk) std::fill(out + n, out + size, 0.0f);
    m_frame->nb_samples = static_cast<int>(shortOk ? n : size);
    m_frame->pts = m_encoded;
    m_encoded += m_frame->nb_samples;
    used += n;
    const int rc = avcodec_send_frame(c, m_frame.get());
    if (rc < 0) {
      error = "the AAC encoder refused sound: " + AvError(rc);
      return false;
    }
    if (!Drain(error)) return false;
  }
  m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(used));
  return true;
}

bool AudioTrack::Drain(std::string& error) {
  int rc;
  while ((rc = avcodec_receive_packet(m_encoder.get(), m_packet.get())) >= 0) {
    av_packet_rescale_ts(m_packet.get(), m_encoder->time_base, m_stream->time_base);
    m_packet->stream_index = m_stream->index;
    rc = av_interleaved_write_frame(m_format, m_packet.get());
    if (rc < 0) {
      error = "cannot write a sound packet: " + AvError(rc);
      return false;
    }
  }
  if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
    error = "the AAC encoder failed: " + AvError(rc);
    return false;
  }
  return true;
}

bool AudioTrack::Finish(std::string& error) {
  if (!EncodeFrames(true, error)) return false;
  avcodec_send_frame(m_encoder.get(), nullptr);
  return Drain(error);
}

}  // namespace orva::mp4
