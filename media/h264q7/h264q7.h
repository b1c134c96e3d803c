/* The H.264 decoder library the client loads by name (libH264_Q7.so).
 *
 * Each decode call takes one coded part: the recorder's 20-byte frame header
 * followed by one H.264 access unit in Annex B form (start codes), possibly
 * followed by zero padding. The picture comes out at once, as planar YV12 at
 * the size given to open: luma width x height, then V, then U, each chroma
 * plane width/2 x height/2.
 *
 * Handles are independent. One handle must not be used by two threads at the
 * same time; the RGB conversion may be called from any thread.
 */
#ifndef ORVA_H264Q7_H
#define ORVA_H264Q7_H

#include <stdint.h>

#define H264Q7_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Results of zerta_h264_decoder_open, _flush and _decode. */
enum {
  H264Q7_PICTURE = 1,       /* a picture was written */
  H264Q7_NEED_MORE = 0,     /* accepted, no picture yet */
  H264Q7_ERR_ARGUMENT = -1, /* null pointer, short input, bad size or field mode */
  H264Q7_ERR_NOT_OPEN = -2, /* decode before a successful open */
  H264Q7_ERR_DECODE = -3,   /* the data was rejected by the decoder */
  H264Q7_ERR_SIZE = -4,     /* the picture does not match the opened size; what fits was written */
  H264Q7_ERR_CAPACITY = -5, /* output smaller than the opened picture; what fits was written */
  H264Q7_ERR_FORMAT = -6,   /* the stream is not 8-bit 4:2:0 */
  H264Q7_ERR_MEMORY = -7,   /* allocation failed */
};

/* Field modes of zerta_h264_decoder_decode. */
enum {
  H264Q7_FIELD_NONE = 0, /* the part is a whole picture */
  H264Q7_FIELD_EVEN = 1, /* the part is the first field: even lines */
  H264Q7_FIELD_ODD = 2,  /* the part is the second field: odd lines */
};

/* The size of the header the library skips at the start of every part. */
#define H264Q7_FRAME_HEADER_BYTES 20
/* Largest width or height accepted by open. */
#define H264Q7_MAX_DIMENSION 4096

H264Q7_EXPORT void* zerta_h264_decoder_create(int32_t reserved);
H264Q7_EXPORT void zerta_h264_decoder_destroy(void* handle);
H264Q7_EXPORT int zerta_h264_decoder_open(void* handle, int width, int height);
H264Q7_EXPORT int zerta_h264_decoder_flush(void* handle);
H264Q7_EXPORT int zerta_h264_decoder_decode(void* handle, const uint8_t* input, int inputLength, uint8_t* output,
                                            int outputCapacity, int32_t* userValue, int fieldMode);
H264Q7_EXPORT void zertalib_convertYV12toRGB24(const uint8_t* src, uint8_t* dst, int width, int height);

#ifdef __cplusplus
}
#endif

#endif
