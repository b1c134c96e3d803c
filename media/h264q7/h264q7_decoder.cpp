// Decoder instances: one libavcodec H.264 decoder per handle, set up for
// low latency so that each access unit gives its picture back at once.
#include <climits>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "h264q7.h"
#include "h264q7_picture.h"

namespace {

struct DecoderInstance {
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  AVBufferRef* input = nullptr;  // reused packet data, see FillPacket
  int width = 0;  // the opened size; 0 until open succeeds
  int height = 0;
};

void CloseCodec(DecoderInstance& decoder) { avcodec_free_context(&decoder.codec); }

// A fresh decoder: a new size usually means a new stream with its own
// parameter sets, so nothing of the old one is kept.
bool OpenCodec(DecoderInstance& decoder) {
  CloseCodec(decoder);
  const AVCodec* h264 = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (!h264) return false;
  AVCodecContext* context = avcodec_alloc_context3(h264);
  if (!context) return false;
  // Frame threading holds pictures back by one frame per thread; the
  // recorder's streams have no B-frames, so with one thread and low delay
  // every access unit leaves the decoder as a picture right away.
  context->thread_count = 1;
  context->thread_type = FF_THREAD_SLICE;
  context->flags |= AV_CODEC_FLAG_LOW_DELAY;
  if (avcodec_open2(context, h264, nullptr) < 0) {
    avcodec_free_context(&context);
    return false;
  }
  decoder.codec = context;
  return true;
}

void DestroyInstance(DecoderInstance* decoder) {
  CloseCodec(*decoder);
  av_buffer_unref(&decoder->input);
  av_packet_free(&decoder->packet);
  av_frame_free(&decoder->frame);
  delete decoder;
}

bool ValidSize(int width, int height) {
  return width > 0 && height > 0 && width <= H264Q7_MAX_DIMENSION && height <= H264Q7_MAX_DIMENSION &&
         width % 2 == 0 && height % 2 == 0;
}

// Puts a copy of the part into the instance's packet, with the zeroed padding
// libavcodec reads past the end (the caller's buffer cannot promise it). The
// data buffer is reused while the decoder holds no reference to it (it lets
// go of a packet once read), so a part normally costs no allocation; a
// longer part, or a buffer still referenced, gets a new one.
bool FillPacket(DecoderInstance& decoder, const uint8_t* data, int size) {
  constexpr size_t kStep = 64 * 1024;
  const size_t need = static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE;
  if (!decoder.input || decoder.input->size < need || !av_buffer_is_writable(decoder.input)) {
    av_buffer_unref(&decoder.input);
    decoder.input = av_buffer_alloc((need + kStep - 1) / kStep * kStep);
    if (!decoder.input) return false;
  }
  std::memcpy(decoder.input->data, data, static_cast<size_t>(size));
  std::memset(decoder.input->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  decoder.packet->buf = av_buffer_ref(decoder.input);
  if (!decoder.packet->buf) return false;
  decoder.packet->data = decoder.input->data;
  decoder.packet->size = size;
  return true;
}

int Decode(DecoderInstance* decoder, const uint8_t* input, int inputLength, uint8_t* output, int outputCapacity,
           int fieldMode) {
  if (!decoder || !input || !output || inputLength < H264Q7_FRAME_HEADER_BYTES || outputCapacity < 0 ||
      fieldMode < H264Q7_FIELD_NONE || fieldMode > H264Q7_FIELD_ODD)
    return H264Q7_ERR_ARGUMENT;
  if (!decoder->codec || decoder->width == 0) return H264Q7_ERR_NOT_OPEN;

  const int payload = inputLength - H264Q7_FRAME_HEADER_BYTES;
  if (payload == 0) return H264Q7_NEED_MORE;
  if (!FillPacket(*decoder, input + H264Q7_FRAME_HEADER_BYTES, payload)) {
    av_packet_unref(decoder->packet);
    return H264Q7_ERR_MEMORY;
  }
  const int sent = avcodec_send_packet(decoder->codec, decoder->packet);
  av_packet_unref(decoder->packet);

  int result = sent < 0 && sent != AVERROR(EAGAIN) ? H264Q7_ERR_DECODE : H264Q7_NEED_MORE;
  // Normally one picture; should a part hold more than one, the last wins.
  for (;;) {
    const int received = avcodec_receive_frame(decoder->codec, decoder->frame);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) break;
    if (received < 0) {
      result = H264Q7_ERR_DECODE;
      break;
    }
    result = h264q7::WritePicture(*decoder->frame, output, static_cast<size_t>(outputCapacity), decoder->width,
                                  decoder->height, fieldMode);
    av_frame_unref(decoder->frame);
  }
  return result;
}

}  // namespace

extern "C" {

H264Q7_EXPORT void* zerta_h264_decoder_create(int32_t reserved) {
  (void)reserved;
  DecoderInstance* decoder = new (std::nothrow) DecoderInstance;
  if (!decoder) return nullptr;
  decoder->packet = av_packet_alloc();
  decoder->frame = av_frame_alloc();
  if (!decoder->packet || !decoder->frame || !OpenCodec(*decoder)) {
    DestroyInstance(decoder);
    return nullptr;
  }
  return decoder;
}

H264Q7_EXPORT void zerta_h264_decoder_destroy(void* handle) {
  if (handle) DestroyInstance(static_cast<DecoderInstance*>(handle));
}

H264Q7_EXPORT int zerta_h264_decoder_open(void* handle, int width, int height) {
  auto* decoder = static_cast<DecoderInstance*>(handle);
  if (!decoder || !ValidSize(width, height)) return H264Q7_ERR_ARGUMENT;
  decoder->width = 0;
  decoder->height = 0;
  if (!OpenCodec(*decoder)) return H264Q7_ERR_MEMORY;
  decoder->width = width;
  decoder->height = height;
  return 0;
}

H264Q7_EXPORT int zerta_h264_decoder_flush(void* handle) {
  auto* decoder = static_cast<DecoderInstance*>(handle);
  if (!decoder) return H264Q7_ERR_ARGUMENT;
  if (decoder->codec) avcodec_flush_buffers(decoder->codec);
  return 0;
}

H264Q7_EXPORT int zerta_h264_decoder_decode(void* handle, const uint8_t* input, int inputLength, uint8_t* output,
                                            int outputCapacity, int32_t* userValue, int fieldMode) {
  const int result =
      Decode(static_cast<DecoderInstance*>(handle), input, inputLength, output, outputCapacity, fieldMode);
  if (userValue) *userValue = result;
  return result;
}

}  // extern "C"
