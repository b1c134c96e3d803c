// TIFF snapshots and TIFF pictures through libtiff. Every handle gets its
// own error and warning handlers, so libtiff prints nothing on stderr and
// its first error becomes the error text.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "orva/pictures/snapshot.h"
#include "pictures_internal.h"

namespace orva::pictures {
namespace detail {
namespace {

constexpr uint32_t kMaxReadSide = 16384;
constexpr uint64_t kMaxReadPixels = uint64_t{64} << 20;  // a 256 MB raster at most
constexpr tmsize_t kMaxSingleAlloc = tmsize_t{256} << 20;

extern "C" int OnTiffError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* text = static_cast<std::string*>(user);
  if (text->empty()) {
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, fmt, ap);
    *text = (module && *module) ? std::string(module) + ": " + buffer : std::string(buffer);
  }
  return 1;  // handled: the default handler stays quiet
}

extern "C" int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Opens with the handlers above writing into `messages`.
TIFF* OpenTiff(const std::string& path, const char* mode, std::string& messages) {
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
  if (!options) {
    messages = "out of memory";
    return nullptr;
  }
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnTiffError, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnTiffWarning, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxSingleAlloc);
  return TIFFOpenExt(path.c_str(), mode, options.get());
}

}  // namespace

QImage LoadTiff(const std::string& path) {
  std::string messages;
  TIFF* tif = OpenTiff(path, "r", messages);
  if (!tif) return {};
  uint32_t width = 0, length = 0;
  uint16_t samples = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  if (width == 0 || length == 0 || samples == 0 || width > kMaxReadSide || length > kMaxReadSide ||
      uint64_t{width} * length > kMaxReadPixels) {
    TIFFClose(tif);
    return {};
  }
  std::vector<uint32_t> raster(static_cast<size_t>(width) * length);
  // Top row first whatever the file's orientation; stop at the first read
  // error, so that a damaged file shows nothing rather than half a picture.
  const int ok = TIFFReadRGBAImageOriented(tif, width, length, raster.data(), ORIENTATION_TOPLEFT, 1);
  TIFFClose(tif);
  if (!ok) return {};
  QImage image(static_cast<int>(width), static_cast<int>(length), QImage::Format_RGB888);
  if (image.isNull()) return {};
  // libtiff hands back colour already multiplied by alpha (it premultiplies
  // unassociated alpha itself), so dropping alpha is the multiplication.
  for (uint32_t y = 0; y < length; ++y) {
    uint8_t* out = image.scanLine(static_cast<int>(y));
    const uint32_t* in = raster.data() + static_cast<size_t>(y) * width;
    for (uint32_t x = 0; x < width; ++x) {
      out[x * 3 + 0] = static_cast<uint8_t>(TIFFGetR(in[x]));
      out[x * 3 + 1] = static_cast<uint8_t>(TIFFGetG(in[x]));
      out[x * 3 + 2] = static_cast<uint8_t>(TIFFGetB(in[x]));
    }
  }
  return image;
}

}  // namespace detail

bool WriteTiff(const QImage& image, const std::string& path, std::string& error) {
  QImage rgb;
  if (!detail::ToRgb888(image, rgb, error)) return false;
  std::string messages;
  TIFF* tif = detail::OpenTiff(path, "w", messages);
  if (!tif) {
    error = "cannot create " + path + (messages.empty() ? "" : ": " + messages);
    return false;
  }
  const auto width = static_cast<uint32_t>(rgb.width());
  const auto height = static_cast<uint32_t>(rgb.height());
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (uint32_t r = 0; ok && r < height; ++r) {
    // TIFFWriteScanline may encode in place, so it gets a copy of the row.
    const uint8_t* src = rgb.constScanLine(static_cast<int>(r));
    std::copy(src, src + row.size(), row.begin());
    ok = TIFFWriteScanline(tif, row.data(), r, 0) == 1;
  }
  if (ok) ok = TIFFFlush(tif) == 1;
  TIFFClose(tif);
  if (!ok) {
    std::remove(path.c_str());
    error = "cannot write " + path + (messages.empty() ? "" : ": " + messages);
    return false;
  }
  return true;
}

}  // namespace orva::pictures
