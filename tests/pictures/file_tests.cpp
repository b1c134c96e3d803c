// The three file formats, read back by independent readers (bytes for BMP,
// libjpeg, libtiff), and loading files of every kind, good and bad.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

// jpeglib.h needs FILE declared first.
#include <jpeglib.h>
#include <tiffio.h>

#include "orva/pictures/snapshot.h"
#include "picture_helpers.h"

namespace orva::pictures {
namespace {

using test::ColourDistance;
using test::ReadBytes;
using test::ScratchDir;

// Quadrants of distinct colours plus a fine pattern, so that row order,
// byte order and every pixel value matter.
QImage TestImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2, bottom = y >= height / 2;
      QColor c = !bottom ? (right ? QColor(20, 200, 40) : QColor(220, 30, 10))
                         : (right ? QColor(240, 240, 240) : QColor(10, 40, 210));
      if (width < 64) c = QColor((x * 37 + y * 11) & 255, (x * 5 + y * 73) & 255, (x * y) & 255);
      image.setPixelColor(x, y, c);
    }
  }
  return image;
}

// Noise does not compress, so every format writes more than a few kB.
QImage TestNoise(int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  std::mt19937 random(1);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.scanLine(y);
    for (int x = 0; x < width * 3; ++x) row[x] = static_cast<uint8_t>(random());
  }
  return image;
}

// Writes beyond `bytes` fail with EFBIG while this lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }

 private:
  rlimit m_old{};
  void (*m_oldHandler)(int) = nullptr;
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

TEST(WriteBmp, HeadersAndBottomUpBgrRows) {
  ScratchDir dir;
  const QImage image = TestImage(800, 600);
  std::string error;
  ASSERT_TRUE(WriteBmp(image, dir.File("a.bmp"), error)) << error;
  const auto bytes = ReadBytes(dir.File("a.bmp"));
  ASSERT_EQ(bytes.size(), 54u + 800 * 600 * 3);
  const std::vector<uint8_t> header(bytes.begin(), bytes.begin() + 54);
  const std::vector<uint8_t> expected = {
      'B', 'M', 0x36, 0xF9, 0x15, 0x00, 0, 0, 0, 0, 54, 0, 0, 0,      // file header: size 1,440,054
      40, 0, 0, 0, 0x20, 0x03, 0, 0, 0x58, 0x02, 0, 0,               // info size 40, 800, 600
      1, 0, 24, 0, 0, 0, 0, 0, 0x00, 0xF9, 0x15, 0x00,               // 1 plane, 24 bits, BI_RGB, 1,440,000
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};               // the rest 0
  EXPECT_EQ(header, expected);
  // The first row in the file is the bottom row, blue first.
  const QColor bottomLeft = image.pixelColor(0, 599), topRight = image.pixelColor(799, 0);
  EXPECT_EQ(bytes[54], bottomLeft.blue());
  EXPECT_EQ(bytes[55], bottomLeft.green());
  EXPECT_EQ(bytes[56], bottomLeft.red());
  const size_t last = bytes.size() - 3;
  EXPECT_EQ(bytes[last], topRight.blue());
  EXPECT_EQ(bytes[last + 1], topRight.green());
  EXPECT_EQ(bytes[last + 2], topRight.red());
}

TEST(WriteBmp, OddWidthsArePaddedAndReadBack) {
  ScratchDir dir;
  const QImage image = TestImage(3, 5);  // 9 bytes a row, padded to 12
  std::string error;
  ASSERT_TRUE(WriteBmp(image, dir.File("odd.bmp"), error)) << error;
  const auto bytes = ReadBytes(dir.File("odd.bmp"));
  ASSERT_EQ(bytes.size(), 54u + 12 * 5);
  EXPECT_EQ(Le32(bytes, 2), 54u + 60);
  EXPECT_EQ(Le32(bytes, 34), 60u);
  EXPECT_EQ(bytes[54 + 9], 0);  // padding
  EXPECT_EQ(LoadImageFile(QString::fromStdString(dir.File("odd.bmp"))), image);
}

TEST(Writers, FailuresAreReportedNotFatal) {
  ScratchDir dir;
  const QImage image = TestImage(800, 600);
  const std::string missing = dir.File("no/such/folder/x");
  std::string error;
  EXPECT_FALSE(WriteBmp(image, missing + ".bmp", error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(WriteJpeg(image, missing + ".jpg", error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(WriteTiff(image, missing + ".tif", error));
  EXPECT_FALSE(error.empty());
  // A file that can be created but not filled (a full disk, here a file
  // size limit): libjpeg's error exit must come back here instead of ending
  // the process, and no partial file stays behind.
  {
    FileSizeLimit limit(16 * 1024);
    for (SaveFormat format : {SaveFormat::kJpeg, SaveFormat::kBmp, SaveFormat::kTiff}) {
      error.clear();
      const std::string path = dir.File(std::string("full") + SnapshotExtension(format));
      EXPECT_FALSE(WriteImage(TestNoise(800, 600), path, format, error)) << static_cast<int>(format);
      EXPECT_FALSE(error.empty());
      EXPECT_FALSE(std::filesystem::exists(path)) << path;
    }
  }
  error.clear();
  EXPECT_FALSE(WriteJpeg(QImage(), dir.File("null.jpg"), error));
  EXPECT_FALSE(error.empty());
}

TEST(WriteJpeg, ReadBackThroughLibjpeg) {
  ScratchDir dir;
  std::string error;
  ASSERT_TRUE(WriteJpeg(TestImage(800, 600), dir.File("a.jpg"), error)) << error;
  FILE* file = std::fopen(dir.File("a.jpg").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
  EXPECT_EQ(cinfo.image_width, 800u);
  EXPECT_EQ(cinfo.image_height, 600u);
  EXPECT_EQ(cinfo.num_components, 3);
  EXPECT_EQ(cinfo.jpeg_color_space, JCS_YCbCr);  // RGB input, stored the standard way
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  std::vector<uint8_t> pixels(800 * 600 * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels.data() + static_cast<size_t>(cinfo.output_scanline) * 800 * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  auto at = [&](int x, int y) {
    const uint8_t* p = pixels.data() + (static_cast<size_t>(y) * 800 + x) * 3;
    return QColor(p[0], p[1], p[2]);
  };
  EXPECT_LE(ColourDistance(at(200, 150), QColor(220, 30, 10)), 8);
  EXPECT_LE(ColourDistance(at(600, 150), QColor(20, 200, 40)), 8);
  EXPECT_LE(ColourDistance(at(200, 450), QColor(10, 40, 210)), 8);
  EXPECT_LE(ColourDistance(at(600, 450), QColor(240, 240, 240)), 8);
}

TEST(WriteTiff, TagsStripsAndExactPixels) {
  ScratchDir dir;
  const QImage image = TestImage(800, 600);
  std::string error;
  ASSERT_TRUE(WriteTiff(image, dir.File("a.tif"), error)) << error;
  TIFF* tif = TIFFOpen(dir.File("a.tif").c_str(), "r");
  ASSERT_NE(tif, nullptr);
  uint32_t width = 0, length = 0, rowsPerStrip = 0;
  uint16_t bits = 0, compression = 0, photometric = 0, samples = 0, planar = 0, unit = 0, orientation = 0;
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation));
  EXPECT_EQ(width, 800u);
  EXPECT_EQ(length, 600u);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(compression, 32773);
  EXPECT_EQ(photometric, 2);
  EXPECT_EQ(samples, 3);
  EXPECT_EQ(rowsPerStrip, 1u);
  EXPECT_EQ(planar, 1);
  EXPECT_EQ(unit, 1);
  EXPECT_EQ(orientation, 1);
  EXPECT_EQ(TIFFNumberOfStrips(tif), 600u);
  EXPECT_FALSE(TIFFIsTiled(tif));
  // One strip per row, each exactly as long as its PackBits code: bytes are
  // coded singly, so colour pixels stay literal (a 1-byte count per 128).
  EXPECT_EQ(TIFFRawStripSize(tif, 0), 800 * 3 + (800 * 3 + 127) / 128);
  std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tif)));
  ASSERT_EQ(row.size(), 800u * 3);
  int wrong = 0;
  for (uint32_t y = 0; y < length; ++y) {
    ASSERT_EQ(TIFFReadScanline(tif, row.data(), y, 0), 1);
    wrong += std::memcmp(row.data(), image.constScanLine(static_cast<int>(y)), row.size()) != 0;
  }
  EXPECT_EQ(wrong, 0);
  TIFFClose(tif);

  // A grey row is one byte repeated: PackBits shrinks it to a few runs.
  QImage grey(800, 2, QImage::Format_RGB888);
  grey.fill(QColor(128, 128, 128));
  ASSERT_TRUE(WriteTiff(grey, dir.File("grey.tif"), error)) << error;
  tif = TIFFOpen(dir.File("grey.tif").c_str(), "r");
  ASSERT_NE(tif, nullptr);
  EXPECT_EQ(TIFFNumberOfStrips(tif), 2u);
  EXPECT_LE(TIFFRawStripSize(tif, 1), 40);
  TIFFClose(tif);
}

TEST(LoadImageFile, ReadsWhatTheWritersWrote) {
  ScratchDir dir;
  const QImage image = TestImage(800, 600);
  std::string error;
  ASSERT_TRUE(WriteTiff(image, dir.File("a.tif"), error)) << error;
  ASSERT_TRUE(WriteBmp(image, dir.File("a.bmp"), error)) << error;
  ASSERT_TRUE(WriteJpeg(image, dir.File("a.jpg"), error)) << error;
  EXPECT_EQ(LoadImageFile(QString::fromStdString(dir.File("a.tif"))), image);
  EXPECT_EQ(LoadImageFile(QString::fromStdString(dir.File("a.bmp"))), image);
  const QImage jpeg = LoadImageFile(QString::fromStdString(dir.File("a.jpg")));
  ASSERT_EQ(jpeg.size(), QSize(800, 600));
  EXPECT_EQ(jpeg.format(), QImage::Format_RGB888);
  EXPECT_LE(ColourDistance(jpeg.pixelColor(200, 150), QColor(220, 30, 10)), 8);
  EXPECT_LE(ColourDistance(jpeg.pixelColor(600, 450), QColor(240, 240, 240)), 8);

  // The kind comes from the lower-cased name, not from the content.
  std::filesystem::copy_file(dir.File("a.tif"), dir.File("UPPER.TIF"));
  EXPECT_EQ(LoadImageFile(QString::fromStdString(dir.File("UPPER.TIF"))), image);
  std::filesystem::copy_file(dir.File("a.bmp"), dir.File("a.png"));
  EXPECT_TRUE(LoadImageFile(QString::fromStdString(dir.File("a.png"))).isNull());
  std::filesystem::copy_file(dir.File("a.bmp"), dir.File("bmp-as.tif"));
  EXPECT_TRUE(LoadImageFile(QString::fromStdString(dir.File("bmp-as.tif"))).isNull());
  EXPECT_TRUE(LoadImageFile(QString::fromStdString(dir.File("missing.jpg"))).isNull());
  EXPECT_TRUE(LoadImageFile(QString::fromStdString(dir.File("missing.tif"))).isNull());
  EXPECT_TRUE(LoadImageFile(QString()).isNull());
}

// Only the decoder the name asks for reads the file: a PNG or a GIF under a
// .jpg or .bmp name is refused with the reason, even though Qt could read it.
TEST(LoadImageFile, ReadsOnlyTheKindTheNameSays) {
  ScratchDir dir;
  const QImage image = TestImage(64, 48);
  ASSERT_TRUE(image.save(QString::fromStdString(dir.File("png-as.jpg")), "PNG"));
  ASSERT_TRUE(QImage(QString::fromStdString(dir.File("png-as.jpg")), "PNG").size() == QSize(64, 48));
  std::filesystem::copy_file(dir.File("png-as.jpg"), dir.File("png-as.bmp"));
  std::string writeError;
  ASSERT_TRUE(WriteJpeg(image, dir.File("real.jpg"), writeError)) << writeError;
  ASSERT_TRUE(WriteBmp(image, dir.File("real.bmp"), writeError)) << writeError;
  std::filesystem::copy_file(dir.File("real.jpg"), dir.File("jpeg-as.bmp"));

  QString error = QStringLiteral("stale");
  EXPECT_TRUE(LoadImageFile(QString::fromStdString(dir.File("png-as.jpg")), &error).isNull());
  EXPECT_TRUE(error.contains("JPEG")) << error.toStdString();
  error.clear();
  EXPECT_TRUE(LoadImageFile(QString::fromStdString(dir.File("png-as.bmp")), &error).isNull());
  EXPECT_TRUE(error.contains("BMP")) << error.toStdString();
  error.clear();
  EXPECT_TRUE(LoadImageFile(QString::fromStdString(dir.File("jpeg-as.bmp")), &error).isNull());
  EXPECT_FALSE(error.isEmpty());
  error.clear();
  EXPECT_TRUE(LoadImageFile(QString::fromStdString(dir.File("real.bmp")).replace(".bmp", ".png"), &error).isNull());
  EXPECT_TRUE(error.contains("only BMP, JPEG and TIFF")) << error.toStdString();

  // The genuine files still load, and leave no message behind.
  error = QStringLiteral("stale");
  EXPECT_EQ(LoadImageFile(QString::fromStdString(dir.File("real.bmp")), &error), image);
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  error = QStringLiteral("stale");
  EXPECT_EQ(LoadImageFile(QString::fromStdString(dir.File("real.jpg")), &error).size(), QSize(64, 48));
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

// A TIFF made here with libtiff: 2 x 2, RGBA with unassociated alpha,
// stored bottom row first.
void WriteAlphaBottomUpTiff(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 2u);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2u);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
  TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_BOTLEFT);
  uint8_t bottom[] = {200, 100, 50, 128, 10, 20, 30, 255};  // stored first: the bottom row
  uint8_t top[] = {255, 255, 255, 0, 90, 180, 240, 255};
  TIFFWriteScanline(tif, bottom, 0, 0);
  TIFFWriteScanline(tif, top, 1, 0);
  TIFFClose(tif);
}

TEST(LoadImageFile, TiffOrientationAndAlpha) {
  ScratchDir dir;
  WriteAlphaBottomUpTiff(dir.File("alpha.tif"));
  const QImage image = LoadImageFile(QString::fromStdString(dir.File("alpha.tif")));
  ASSERT_EQ(image.size(), QSize(2, 2));
  EXPECT_EQ(image.format(), QImage::Format_RGB888);
  // Top row first; colour multiplied by alpha (once).
  EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0));
  EXPECT_EQ(image.pixelColor(1, 0), QColor(90, 180, 240));
  EXPECT_LE(ColourDistance(image.pixelColor(0, 1), QColor(100, 50, 25)), 1);
  EXPECT_EQ(image.pixelColor(1, 1), QColor(10, 20, 30));
}

TEST(LoadImageFile, DamagedAndGarbageFilesGiveNothing) {
  ScratchDir dir;
  const QImage image = TestImage(64, 48);
  std::string error;
  ASSERT_TRUE(WriteTiff(image, dir.File("good.tif"), error)) << error;
  ASSERT_TRUE(WriteBmp(image, dir.File("good.bmp"), error)) << error;
  ASSERT_TRUE(WriteJpeg(image, dir.File("good.jpg"), error)) << error;
  std::mt19937 random(7);
  for (const char* ext : {".tif", ".bmp", ".jpg"}) {
    const auto good = ReadBytes(dir.File(std::string("good") + ext));
    ASSERT_GT(good.size(), 100u);
    // Truncated copies: must never crash. TIFF stops at the first read error.
    for (size_t keep : {size_t{0}, size_t{1}, size_t{8}, size_t{20}, size_t{54}, good.size() / 2, good.size() - 1}) {
      const std::string name = dir.File("cut" + std::to_string(keep) + ext);
      test::WriteBytes(name, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(keep)));
      const QImage loaded = LoadImageFile(QString::fromStdString(name));
      if (keep < 54 || std::string(ext) == ".tif") {
        EXPECT_TRUE(loaded.isNull()) << name;
      }
    }
    // Pure noise, with and without a valid-looking signature in front.
    for (int round = 0; round < 8; ++round) {
      std::vector<uint8_t> noise(8 + random() % 4096);
      for (auto& b : noise) b = static_cast<uint8_t>(random());
      if (round % 2 == 1) std::copy(good.begin(), good.begin() + 8, noise.begin());
      const std::string name = dir.File("noise" + std::to_string(round) + ext);
      test::WriteBytes(name, noise);
      const QImage loaded = LoadImageFile(QString::fromStdString(name));
      if (round % 2 == 0) {
        EXPECT_TRUE(loaded.isNull()) << name;
      }
    }
    // Flipped bytes in the middle of a good file.
    auto flipped = good;
    for (size_t i = flipped.size() / 3; i < flipped.size() / 3 + 16; ++i) flipped[i] ^= 0xA5;
    test::WriteBytes(dir.File(std::string("flip") + ext), flipped);
    (void)LoadImageFile(QString::fromStdString(dir.File(std::string("flip") + ext)));
  }
}

}  // namespace
}  // namespace orva::pictures
