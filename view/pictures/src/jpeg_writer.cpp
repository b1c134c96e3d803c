// JPEG snapshots through the libjpeg 6b interface. libjpeg reports errors
// by calling error_exit, which by default prints and exits the process; the
// one here jumps back so that a failed write becomes false and a message.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "orva/pictures/snapshot.h"
#include "pictures_internal.h"

namespace orva::pictures {
namespace {

struct JpegError {
  jpeg_error_mgr pub;  // first, so that cinfo->err points at the whole struct
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings and trace messages would go to stderr; the file is still good.
extern "C" void OnJpegMessage(j_common_ptr) {}

// Only plain C objects live in this frame: the jump out of libjpeg must not
// skip any destructor.
bool Compress(FILE* file, const QImage& rgb, char* message, size_t messageSize) {
  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  JpegError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnJpegError;
  err.pub.output_message = OnJpegMessage;
  err.message[0] = '\0';
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::snprintf(message, messageSize, "%s", err.message);
    return false;
  }
  jpeg_create_compress(&cinfo);  // jpeg_CreateCompress with the library version (62)
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
  cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);  // the library's default quality
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    // libjpeg only reads the rows it is given.
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

bool WriteJpeg(const QImage& image, const std::string& path, std::string& error) {
  QImage rgb;  // top-down R,G,B rows, as the compressor takes them
  if (!detail::ToRgb888(image, rgb, error)) return false;
  if (rgb.width() > JPEG_MAX_DIMENSION || rgb.height() > JPEG_MAX_DIMENSION) {
    error = "the picture is too large for a JPEG file";
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  char message[JMSG_LENGTH_MAX + 1] = {};
  const bool compressed = Compress(file, rgb, message, sizeof message);
  const bool written = std::ferror(file) == 0;
  const int closed = std::fclose(file);
  if (!compressed || !written || closed != 0) {
    error = "cannot write " + path + ": " + (compressed ? std::strerror(errno) : message);
    std::remove(path.c_str());  // no half-written file left behind
    return false;
  }
  return true;
}

}  // namespace orva::pictures
