// The libavcodec / libavformat side of the MP4 export: the video track
// (copied units or woven and re-encoded fields) and the sound track.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace orva::mp4 {

struct AvFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
  void operator()(AVPacket* p) const { av_packet_free(&p); }
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using FramePtr = std::unique_ptr<AVFrame, AvFree>;
using PacketPtr = std::unique_ptr<AVPacket, AvFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, AvFree>;

std::string AvError(int code);

// All times below are in kTicks (90 kHz), counted from the export's start.
inline constexpr AVRational kTicks{1, 90000};

// One H.264 decoder (a field stream, or the probe of a first key frame).
class H264Decoder {
 public:
  bool Open(std::string& error);
  // False when the decoder refuses the unit (it is dropped).
  bool Send(std::span<const uint8_t> unit, int64_t pts);
  void Flush();
  // Moves the pictures decoded so far to `out`.
  void Receive(std::deque<FramePtr>& out);

 private:
  CodecPtr m_codec;
  PacketPtr m_packet;
};

// Decodes one access unit to learn the picture size; false when it does not decode.
bool ProbePictureSize(std::span<const uint8_t> unit, int& width, int& height);

// Writes the video packets in decoding order. Each packet is held until the
// next one arrives so that its duration is the true distance to it; the
// last gets the distance before it.
class VideoTrack {
 public:
  VideoTrack(AVFormatContext* format, AVStream* stream) : m_format(format), m_stream(stream) {}
  // Takes the packet's data; times in kTicks.
  bool Write(AVPacket* packet, std::string& error);
  bool Finish(std::string& error);
  uint64_t Written() const { return m_written; }
  // The first picture's time and the end of the last one.
  int64_t FirstTicks() const { return m_first; }
  int64_t EndTicks() const { return m_end; }

 private:
  bool Emit(int64_t duration, std::string& error);
  AVFormatContext* m_format;
  AVStream* m_stream;
  PacketPtr m_held;
  bool m_holding = false, m_started = false;
  int64_t m_lastDts = INT64_MIN, m_lastDuration = 0, m_first = 0, m_end = 0;
  uint64_t m_written = 0;
};

// Two-field pictures: both field streams decoded, woven line by line (the
// first field on the even lines) and encoded with libx264.
class FieldWeaver {
 public:
  // Opens the encoder for fields of width x fieldHeight; `globalHeader` as the muxer needs.
  bool Open(int width, int fieldHeight, AVRational frameRate, bool globalHeader, std::string& error);
  AVCodecContext* Encoder() const { return m_encoder.get(); }
  // One recorded picture; false only for an encoder or muxer failure.
  bool Add(std::span<const uint8_t> first, std::span<const uint8_t> second, int64_t pts, VideoTrack& track,
           std::string& error);
  bool Finish(VideoTrack& track, std::string& error);

 private:
  bool Pair(VideoTrack& track, std::string& error);
  bool Encode(const AVFrame* frame, VideoTrack& track, std::string& error);
  int m_width = 0, m_fieldHeight = 0;
  H264Decoder m_fields[2];
  std::deque<FramePtr> m_decoded[2];
  CodecPtr m_encoder;
  FramePtr m_woven;
  PacketPtr m_packet;
};

// The channel's sound: IMA ADPCM frames decoded and encoded as AAC.
class AudioTrack {
 public:
  bool Open(bool globalHeader, std::string& error);
  AVCodecContext* Encoder() const { return m_encoder.get(); }
  void SetStream(AVFormatContext* format, AVStream* stream) { m_format = format, m_stream = stream; }
  // One recorded sound frame (16-byte header and ADPCM) heard at `atTicks`.
  // False for an encoder or muxer failure; a damaged frame is left out.
  bool Add(std::span<const uint8_t> frame, int64_t atTicks, std::string& error);
  bool Finish(std::string& error);
  uint64_t Frames() const { return m_frames; }

 private:
  bool EncodeFrames(bool all, std::string& error);
  bool Drain(std::string& error);
  CodecPtr m_encoder;
  FramePtr m_frame;
  PacketPtr m_packet;
  AVFormatContext* m_format = nullptr;
  AVStream* m_stream = nullptr;
  std::vector<float> m_pending;  // samples not yet encoded
  int64_t m_queued = 0;          // samples handed over so far, silence included
  int64_t m_encoded = 0;         // samples sent to the encoder
  uint64_t m_frames = 0;
};

}  // namespace orva::mp4
