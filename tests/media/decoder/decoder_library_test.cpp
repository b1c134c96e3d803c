// The decoder library itself, through its six C exports loaded with dlopen:
// colours land where they were encoded, fields fill alternate lines, and bad
// input or short buffers never write past the output.
#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "test_encoder.h"

namespace orva::test {
namespace {

constexpr int kYuvTolerance = 12;
constexpr int kRgbTolerance = 30;

void ExpectNear(const Yuv& got, const Yuv& want, const char* where) {
  EXPECT_NEAR(got.y, want.y, kYuvTolerance) << where;
  EXPECT_NEAR(got.u, want.u, kYuvTolerance) << where;
  EXPECT_NEAR(got.v, want.v, kYuvTolerance) << where;
}

void ExpectNear(const Rgb& got, const Rgb& want, const char* where) {
  EXPECT_NEAR(got.r, want.r, kRgbTolerance) << where;
  EXPECT_NEAR(got.g, want.g, kRgbTolerance) << where;
  EXPECT_NEAR(got.b, want.b, kRgbTolerance) << where;
}

// One decoder instance of the library, destroyed at scope end.
class Handle {
 public:
  Handle() : m_exports(TestLibrary().Exports()), m_handle(m_exports.create(0)) {}
  ~Handle() { m_exports.destroy(m_handle); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  int Open(int w, int h) { return m_exports.open(m_handle, w, h); }
  int Decode(const std::vector<uint8_t>& part, uint8_t* out, size_t capacity, int mode) {
    return m_exports.decode(m_handle, part.data(), static_cast<int>(part.size()), out, static_cast<int>(capacity),
                            &m_userValue, mode);
  }
  void* Raw() const { return m_handle; }
  int32_t UserValue() const { return m_userValue; }

 private:
  const H264Exports& m_exports;
  void* m_handle;
  int32_t m_userValue = 99;
};

class DecoderLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const H264Exports& e = TestLibrary().Exports();
    ASSERT_TRUE(e.create && e.destroy && e.open && e.flush && e.decode && e.convertToRgb)
        << "load " << ORVA_DECODER_LIBRARY;
  }
};

TEST_F(DecoderLibraryTest, QuadrantsLandInPlaceAndEveryUnitGivesItsPictureAtOnce) {
  const int w = 352, h = 240;
  Yv12Picture picture(w, h);
  picture.Fill(0, 0, w / 2, h / 2, kRed);
  picture.Fill(w / 2, 0, w / 2, h / 2, kGreen);
  picture.Fill(0, h / 2, w / 2, h / 2, kBlue);
  picture.Fill(w / 2, h / 2, w / 2, h / 2, kWhite);
  const auto units = EncodeStream(picture, 12, 10);  // key frames at 0 and 10, P frames between
  ASSERT_EQ(units.size(), 12u);

  Handle decoder;
  ASSERT_EQ(decoder.Open(w, h), 0);
  GuardedBuffer out(Yv12Size(w, h));
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < units.size(); ++i) {
    ASSERT_GT(decoder.Decode(MakePart(units[i], kSizeCif, i % 10 == 0), out.data(), out.size(), 0), 0) << i;
    EXPECT_GT(decoder.UserValue(), 0);
    ExpectNear(SampleYv12(out.data(), w, h, 88, 60), ToYuv(kRed), "top left");
    ExpectNear(SampleYv12(out.data(), w, h, 264, 60), ToYuv(kGreen), "top right");
    ExpectNear(SampleYv12(out.data(), w, h, 88, 180), ToYuv(kBlue), "bottom left");
    ExpectNear(SampleYv12(out.data(), w, h, 264, 180), ToYuv(kWhite), "bottom right");
  }
  EXPECT_TRUE(out.GuardIntact());

  TestLibrary().Exports().convertToRgb(out.data(), rgb.data(), w, h);
  ExpectNear(SampleBgr(rgb.data(), w, 88, 60), kRed, "rgb top left");
  ExpectNear(SampleBgr(rgb.data(), w, 264, 60), kGreen, "rgb top right");
  ExpectNear(SampleBgr(rgb.data(), w, 88, 180), kBlue, "rgb bottom left");
  ExpectNear(SampleBgr(rgb.data(), w, 264, 180), kWhite, "rgb bottom right");
}

// The three coded sizes the recorder sends, each as one whole picture.
TEST_F(DecoderLibraryTest, DecodesEachRecorderSize) {
  const std::pair<int, int> sizes[] = {{352, 240}, {704, 240}, {704, 480}};
  for (const auto& [w, h] : sizes) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    Yv12Picture picture(w, h);
    picture.Fill(0, 0, w / 2, h, kRed);
    picture.Fill(w / 2, 0, w / 2, h, kBlue);
    const auto units = EncodeStream(picture, 3);
    ASSERT_EQ(units.size(), 3u);
    Handle decoder;
    ASSERT_EQ(decoder.Open(w, h), 0);
    GuardedBuffer out(Yv12Size(w, h));
    const int sizeCode = w == 352 ? kSizeCif : kSizeHalfD1;
    for (size_t i = 0; i < units.size(); ++i)
      ASSERT_GT(decoder.Decode(MakePart(units[i], sizeCode, i == 0), out.data(), out.size(), 0), 0);
    ExpectNear(SampleYv12(out.data(), w, h, w / 4, h / 2), ToYuv(kRed), "left");
    ExpectNear(SampleYv12(out.data(), w, h, 3 * w / 4, h - 8), ToYuv(kBlue), "right");
    EXPECT_TRUE(out.GuardIntact());
  }
}

TEST_F(DecoderLibraryTest, FieldModesWriteEvenAndOddLines) {
  const int w = 704, h = 480;
  Yv12Picture first(w, h / 2), second(w, h / 2);
  first.Fill(0, 0, w, h / 2, kRed);
  second.Fill(0, 0, w, h / 2, kBlue);
  const auto firstUnits = EncodeStream(first, 4), secondUnits = EncodeStream(second, 4);
  ASSERT_EQ(firstUnits.size(), 4u);
  ASSERT_EQ(secondUnits.size(), 4u);

  Handle a, b;  // one decoder per field, as the workers use them: they must not share state
  ASSERT_EQ(a.Open(w, h), 0);
  ASSERT_EQ(b.Open(w, h), 0);
  constexpr uint8_t kUntouched = 0x55;
  GuardedBuffer out(Yv12Size(w, h), kUntouched);
  const Yuv red = ToYuv(kRed), blue = ToYuv(kBlue);
  for (size_t i = 0; i < firstUnits.size(); ++i) {
    int firstLength = 0;
    const auto frame = MakeTwoFieldFrame(firstUnits[i], secondUnits[i], i == 0, firstLength);
    const std::vector<uint8_t> part1(frame.begin(), frame.begin() + firstLength);
    const std::vector<uint8_t> part2(frame.begin() + firstLength, frame.end());

    ASSERT_GT(a.Decode(part1, out.data(), out.size(), 1), 0) << i;
    if (i == 0) {
      // Only the even lines are the first field's; the odd ones are not touched.
      EXPECT_NEAR(SampleYv12(out.data(), w, h, 100, 0).y, red.y, kYuvTolerance);
      EXPECT_EQ(SampleYv12(out.data(), w, h, 100, 1).y, kUntouched);
      EXPECT_EQ(SampleYv12(out.data(), w, h, 100, 479).y, kUntouched);
      EXPECT_EQ(SampleYv12(out.data(), w, h, 100, 2).v, kUntouched);  // chroma line 1
    }
    ASSERT_GT(b.Decode(part2, out.data(), out.size(), 2), 0) << i;
    for (int y : {0, 1, 2, 3, 100, 101, 238, 239, 240, 241, 476, 477, 478, 479}) {
      const Yuv got = SampleYv12(out.data(), w, h, 350, y);
      EXPECT_NEAR(got.y, y % 2 == 0 ? red.y : blue.y, kYuvTolerance) << "luma line " << y;
    }
    // Chroma lines alternate the same way: chroma line c sits at luma lines 2c, 2c + 1.
    for (int c : {0, 1, 2, 3, 118, 119, 238, 239}) {
      const Yuv got = SampleYv12(out.data(), w, h, 350, 2 * c);
      const Yuv& want = c % 2 == 0 ? red : blue;
      EXPECT_NEAR(got.v, want.v, kYuvTolerance) << "chroma line " << c;
      EXPECT_NEAR(got.u, want.u, kYuvTolerance) << "chroma line " << c;
    }
  }
  EXPECT_TRUE(out.GuardIntact());
}

TEST_F(DecoderLibraryTest, ZeroPaddingAfterThePartIsTolerated) {
  Yv12Picture picture(352, 240);
  picture.Fill(0, 0, 352, 240, kGreen);
  const auto units = EncodeStream(picture, 3);
  ASSERT_EQ(units.size(), 3u);
  Handle decoder;
  ASSERT_EQ(decoder.Open(352, 240), 0);
  GuardedBuffer out(Yv12Size(352, 240));
  for (const auto& unit : units) {
    std::vector<uint8_t> part = MakePart(unit, kSizeCif, false);
    part.resize(part.size() + 37, 0);  // more than the rounding to 16 ever adds
    ASSERT_GT(decoder.Decode(part, out.data(), out.size(), 0), 0);
    ExpectNear(SampleYv12(out.data(), 352, 240, 176, 120), ToYuv(kGreen), "centre");
  }
}

}  // namespace
}  // namespace orva::test
