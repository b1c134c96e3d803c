// The 800 x 600 rendering: which part of the picture is used, where it
// lands, where the time text goes, and the two picture forms agreeing.
#include <gtest/gtest.h>

#include <ctime>

#include "orva/pictures/snapshot.h"
#include "picture_helpers.h"

namespace orva::pictures {
namespace {

using test::ColourDistance;
using test::IsCyan;

const QColor kMargin(255, 0, 255);
const QColor kLeftEdge(255, 0, 0);
const QColor kRightEdge(0, 160, 0);
const QColor kTopEdge(0, 0, 200);
const QColor kBottomEdge(200, 200, 0);

// Cells of a 4 x 3 grid over the inner rectangle, none of them cyan or magenta.
QColor Cell(int column, int row) { return QColor(40 + 50 * column, 60 + 60 * row, 90 + 20 * column); }

// A picture whose margin is magenta and whose inner rectangle (left, top,
// width, height) is a grid, with its outermost rows and columns marked.
test::ColourAt FramedPicture(int left, int top, int width, int height) {
  return [=](int x, int y) {
    if (x < left || x >= left + width || y < top || y >= top + height) return kMargin;
    if (y == top) return kTopEdge;
    if (y == top + height - 1) return kBottomEdge;
    if (x == left) return kLeftEdge;
    if (x == left + width - 1) return kRightEdge;
    return Cell((x - left) * 4 / width, (y - top) * 3 / height);
  };
}

QColor At(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

TEST(SnapshotFileName, DateTimeAndChannelFromOne) {
  std::tm t{};
  t.tm_year = 2009 - 1900;
  t.tm_mon = 7;
  t.tm_mday = 25;
  t.tm_hour = 8;
  t.tm_min = 10;
  t.tm_sec = 41;
  EXPECT_EQ(SnapshotFileName(2, SaveFormat::kJpeg, t), "20090825081041_0003.jpg");
  EXPECT_EQ(SnapshotFileName(15, SaveFormat::kBmp, t), "20090825081041_0016.bmp");
  EXPECT_EQ(SnapshotFileName(0, SaveFormat::kTiff, t), "20090825081041_0001.tif");
  t = std::tm{};
  t.tm_year = 2010 - 1900;
  t.tm_mday = 1;
  EXPECT_EQ(SnapshotFileName(9, SaveFormat::kTiff, t), "20100101000000_0010.tif");
}

// 352 x 240: the source rectangle is (6, 6)-(347, 236), 341 x 230.
void CheckCifRendering(bool rgb) {
  const auto colour = FramedPicture(6, 6, 341, 230);
  const auto picture = rgb ? test::MakeBottomUpBgr(352, 240, colour) : test::MakeYv12(352, 240, colour);
  const QImage image = RenderSnapshot(picture, 352, 240, rgb, QString());
  ASSERT_FALSE(image.isNull());
  ASSERT_EQ(image.size(), QSize(800, 600));
  EXPECT_EQ(image.format(), QImage::Format_RGB888);
  const int tolerance = rgb ? 0 : 8;

  // Nothing of the margin reaches the picture.
  int marginPixels = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) marginPixels += ColourDistance(At(image, x, y), kMargin) <= 40;
  EXPECT_EQ(marginPixels, 0);

  // The outermost inner rows and columns are the outermost ones drawn, the
  // top of the picture at the top. (In YV12 a one-pixel line has no chroma
  // of its own, so only the RGB form can show this exactly.)
  if (rgb) {
    EXPECT_EQ(At(image, 0, 300), kLeftEdge);
    EXPECT_EQ(At(image, 799, 300), kRightEdge);
    EXPECT_EQ(At(image, 400, 0), kTopEdge);
    EXPECT_EQ(At(image, 400, 599), kBottomEdge);
    EXPECT_NE(At(image, 3, 300), kLeftEdge);
  }

  // Every grid cell in its place.
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 4; ++column) {
      const int x = column * 200 + 100, y = row * 200 + 100;
      EXPECT_LE(ColourDistance(At(image, x, y), Cell(column, row)), tolerance)
          << "cell " << column << "," << row << (rgb ? " rgb" : " yv12");
    }
  }
}

TEST(RenderSnapshot, CifPictureUsesItsInnerRectangle) {
  CheckCifRendering(true);
  CheckCifRendering(false);
}

TEST(RenderSnapshot, WidePictureLeavesTheWiderMargin) {
  // 720 x 480: (12, 12) and 698 x 460.
  const auto picture = test::MakeBottomUpBgr(720, 480, FramedPicture(12, 12, 698, 460));
  const QImage image = RenderSnapshot(picture, 720, 480, true, QString());
  ASSERT_EQ(image.size(), QSize(800, 600));
  int marginPixels = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) marginPixels += At(image, x, y) == kMargin;
  EXPECT_EQ(marginPixels, 0);
  EXPECT_EQ(At(image, 0, 300), kLeftEdge);
  EXPECT_EQ(At(image, 799, 300), kRightEdge);
  EXPECT_EQ(At(image, 400, 0), kTopEdge);
  EXPECT_EQ(At(image, 400, 599), kBottomEdge);
  EXPECT_EQ(At(image, 300, 300), Cell(1, 1));
}

// The cyan pixels of a text on a black picture: their bounding box.
QRect CyanBox(const QString& text) {
  const auto picture = test::MakeBottomUpBgr(352, 240, [](int, int) { return QColor(0, 0, 0); });
  const QImage image = RenderSnapshot(picture, 352, 240, true, text);
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (IsCyan(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
  return box;
}

TEST(RenderSnapshot, TimeTextTopLeftFollowsItsLength) {
  // 20 characters: (800 + 20 x -21 / 2) / 2 = 295, 600 - 21 - 10 = 569.
  const QRect box20 = CyanBox(QStringLiteral("2009-08-25  08:10:41"));
  ASSERT_FALSE(box20.isEmpty());
  // The first glyph's side bearing and the space above the digits inside
  // the text cell keep the ink slightly right of and below the cell corner.
  EXPECT_GE(box20.left(), 295);
  EXPECT_LE(box20.left(), 299);
  EXPECT_GE(box20.top(), 569);
  EXPECT_LE(box20.top(), 577);
  EXPECT_LT(box20.bottom(), 600);
  EXPECT_GE(box20.height(), 12);  // digits of a 21-pixel font
  // Roughly as wide as the centring formula expects (about 10 px a glyph).
  EXPECT_GT(box20.width(), 150);
  EXPECT_LT(box20.right(), 560);

  // 10 characters: x = (800 - 105) / 2 = 347, same line.
  const QRect box10 = CyanBox(QStringLiteral("08:10:41  "));
  ASSERT_FALSE(box10.isEmpty());
  EXPECT_GE(box10.left(), 347);
  EXPECT_LE(box10.left(), 351);
  EXPECT_EQ(box10.top(), box20.top());

  EXPECT_TRUE(CyanBox(QString()).isEmpty());
}

TEST(RenderSnapshot, TextIsDrawnWithTransparentBackground) {
  const auto picture = test::MakeBottomUpBgr(352, 240, [](int, int) { return QColor(200, 30, 30); });
  const QImage image = RenderSnapshot(picture, 352, 240, true, QStringLiteral("2009-08-25  08:10:41"));
  int cyan = 0, other = 0;
  for (int y = 565; y < 600; ++y) {
    for (int x = 290; x < 520; ++x) {
      const QColor c = At(image, x, y);
      if (IsCyan(c.rgb())) ++cyan;
      else if (c != QColor(200, 30, 30)) ++other;
    }
  }
  EXPECT_GT(cyan, 100);
  EXPECT_EQ(other, 0);
}

TEST(RenderSnapshot, Yv12AndRgbAgree) {
  // Flat patches on 2 x 2 boundaries, so that chroma sharing loses nothing.
  const QColor patches[] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255), QColor(255, 255, 255),
                            QColor(0, 0, 0),   QColor(128, 128, 128), QColor(250, 200, 20), QColor(30, 90, 160)};
  const auto colour = [&](int x, int y) { return patches[((x / 44) + 4 * (y / 120)) % 8]; };
  const QImage fromRgb = RenderSnapshot(test::MakeBottomUpBgr(352, 240, colour), 352, 240, true, QString());
  const QImage fromYuv = RenderSnapshot(test::MakeYv12(352, 240, colour), 352, 240, false, QString());
  ASSERT_EQ(fromRgb.size(), QSize(800, 600));
  ASSERT_EQ(fromYuv.size(), QSize(800, 600));
  int worst = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) worst = std::max(worst, ColourDistance(At(fromRgb, x, y), At(fromYuv, x, y)));
  EXPECT_LE(worst, 6);
}

TEST(RenderSnapshot, UnusablePicturesGiveNoImage) {
  const std::vector<uint8_t> big(720 * 576 * 3, 0x80);
  EXPECT_TRUE(RenderSnapshot(big, 11, 240, true, QString()).isNull());   // no width left after the margin
  EXPECT_TRUE(RenderSnapshot(big, 352, 10, true, QString()).isNull());
  EXPECT_TRUE(RenderSnapshot(big, 720, 20, true, QString()).isNull());
  EXPECT_TRUE(RenderSnapshot(big, 0, 0, true, QString()).isNull());
  EXPECT_TRUE(RenderSnapshot(big, -352, 240, true, QString()).isNull());
  EXPECT_TRUE(RenderSnapshot(big, 351, 240, false, QString()).isNull());  // YV12 needs even sizes
  // Shorter than the size says.
  EXPECT_TRUE(RenderSnapshot(std::vector<uint8_t>(352 * 240 * 3 - 1), 352, 240, true, QString()).isNull());
  EXPECT_TRUE(RenderSnapshot(std::vector<uint8_t>(352 * 240 * 3 / 2 - 1), 352, 240, false, QString()).isNull());
  EXPECT_TRUE(RenderSnapshot({}, 352, 240, false, QString()).isNull());
  // The smallest usable ones.
  EXPECT_FALSE(RenderSnapshot(big, 12, 11, true, QString()).isNull());
  EXPECT_FALSE(RenderSnapshot(big, 720, 576, false, QString()).isNull());
}

}  // namespace
}  // namespace orva::pictures
