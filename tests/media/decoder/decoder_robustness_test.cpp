// Bad input, short buffers and mismatched sizes: the library reports an
// error, writes nothing outside the picture or the capacity, and recovers.
#include <gtest/gtest.h>

#include <random>

extern "C" {
#include <libavutil/log.h>
}

#include "decoder_test_util.h"
#include "test_encoder.h"

// The library's own header, for its result codes.
#include "../../../media/h264q7/h264q7.h"

namespace orva::test {
namespace {

class DecoderRobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(e.decode, nullptr) << "load " << ORVA_DECODER_LIBRARY;
    handle = e.create(0);
    ASSERT_NE(handle, nullptr);
  }
  void TearDown() override {
    if (handle) e.destroy(handle);
  }
  int Decode(const std::vector<uint8_t>& part, GuardedBuffer& out, int mode = 0) {
    return e.decode(handle, part.data(), static_cast<int>(part.size()), out.data(), static_cast<int>(out.size()),
                    nullptr, mode);
  }
  static std::vector<std::vector<uint8_t>> Stream(int w, int h, Rgb colour, int count = 2) {
    Yv12Picture picture(w, h);
    picture.Fill(0, 0, w, h, colour);
    return EncodeStream(picture, count);
  }

  const H264Exports& e = TestLibrary().Exports();
  void* handle = nullptr;
};

TEST_F(DecoderRobustnessTest, RejectsBadArgumentsAndDecodeBeforeOpen) {
  GuardedBuffer out(Yv12Size(352, 240));
  const std::vector<uint8_t> part = MakePart(Stream(352, 240, kRed)[0], kSizeCif, true);
  int32_t status = 7;
  EXPECT_EQ(e.decode(handle, part.data(), static_cast<int>(part.size()), out.data(), static_cast<int>(out.size()),
                     &status, 0),
            H264Q7_ERR_NOT_OPEN);
  EXPECT_EQ(status, H264Q7_ERR_NOT_OPEN);
  EXPECT_LT(e.open(handle, 0, 240), 0);
  EXPECT_LT(e.open(handle, 353, 240), 0);
  EXPECT_LT(e.open(handle, 352, -2), 0);
  EXPECT_LT(e.open(nullptr, 352, 240), 0);
  ASSERT_EQ(e.open(handle, 352, 240), 0);
  EXPECT_LT(e.decode(nullptr, part.data(), 100, out.data(), 100, nullptr, 0), 0);
  EXPECT_LT(e.decode(handle, nullptr, 100, out.data(), 100, nullptr, 0), 0);
  EXPECT_LT(e.decode(handle, part.data(), 19, out.data(), 100, nullptr, 0), 0);
  EXPECT_LT(e.decode(handle, part.data(), -5, out.data(), 100, nullptr, 0), 0);
  EXPECT_LT(e.decode(handle, part.data(), 100, nullptr, 100, nullptr, 0), 0);
  EXPECT_LT(e.decode(handle, part.data(), 100, out.data(), -1, nullptr, 0), 0);
  EXPECT_LT(Decode(part, out, 3), 0);
  EXPECT_EQ(e.decode(handle, part.data(), 20, out.data(), 100, nullptr, 0), H264Q7_NEED_MORE);  // header only
  EXPECT_LT(e.flush(nullptr), 0);
  EXPECT_TRUE(out.Untouched(0, out.size(), 0));
  // None of that disturbed the instance.
  EXPECT_EQ(Decode(part, out), H264Q7_PICTURE);
}

TEST_F(DecoderRobustnessTest, GarbageNeverWritesPastTheOutputAndTheNextKeyFrameDecodes) {
  ASSERT_EQ(e.open(handle, 352, 240), 0);
  GuardedBuffer out(Yv12Size(352, 240));
  // The decoder complains about every bad unit; the complaints are expected here.
  const int logLevel = av_log_get_level();
  av_log_set_level(AV_LOG_QUIET);
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> part(20 + static_cast<size_t>(round * 37 % 3000));
    for (uint8_t& b : part) b = static_cast<uint8_t>(byte(random));
    if (round % 2 == 0 && part.size() >= 25) {  // make it look like NAL units
      part[20] = 0, part[21] = 0, part[22] = 0, part[23] = 1;
      part[24] = static_cast<uint8_t>(0x60 | (round % 3 == 0 ? 7 : 5));  // SPS or IDR slice
    }
    Decode(part, out, round % 3);
    ASSERT_TRUE(out.GuardIntact()) << "round " << round;
  }
  // A real key frame cut short, then a real one whole.
  const auto units = Stream(352, 240, kBlue);
  ASSERT_FALSE(units.empty());
  std::vector<uint8_t> cut = MakePart(units[0], kSizeCif, true);
  cut.resize(cut.size() / 2);
  Decode(cut, out);
  EXPECT_TRUE(out.GuardIntact());
  av_log_set_level(logLevel);
  e.flush(handle);
  ASSERT_EQ(Decode(MakePart(units[0], kSizeCif, true), out), H264Q7_PICTURE);
  EXPECT_NEAR(SampleYv12(out.data(), 352, 240, 176, 120).y, ToYuv(kBlue).y, 12);
}

TEST_F(DecoderRobustnessTest, ShortCapacityWritesOnlyWhatFits) {
  ASSERT_EQ(e.open(handle, 352, 240), 0);
  const size_t picture = Yv12Size(352, 240);
  const size_t capacity = picture / 2 + 17;  // ends inside a luma line
  GuardedBuffer out(picture, 0);
  const auto part = MakePart(Stream(352, 240, kWhite)[0], kSizeCif, true);
  EXPECT_EQ(e.decode(handle, part.data(), static_cast<int>(part.size()), out.data(), static_cast<int>(capacity),
                     nullptr, 0),
            H264Q7_ERR_CAPACITY);
  EXPECT_NEAR(out.data()[0], ToYuv(kWhite).y, 12);             // the start was written
  EXPECT_NEAR(out.data()[capacity - 1], ToYuv(kWhite).y, 12);  // up to the last byte allowed
  EXPECT_TRUE(out.Untouched(capacity, picture, 0));
  EXPECT_TRUE(out.GuardIntact());
  EXPECT_EQ(e.decode(handle, part.data(), static_cast<int>(part.size()), out.data(), 0, nullptr, 0),
            H264Q7_ERR_CAPACITY);
}

TEST_F(DecoderRobustnessTest, LargerPictureThanOpenedIsClippedToThePicture) {
  ASSERT_EQ(e.open(handle, 352, 240), 0);
  GuardedBuffer out(Yv12Size(352, 240));
  const auto part = MakePart(Stream(704, 480, kRed)[0], kSizeTwoField, true);
  // Capacity as large as the client's buffer: the picture, not the capacity, is the limit.
  std::vector<uint8_t> big(kDecoderOutputCapacity + kGuardBytes, kGuardByte);
  EXPECT_EQ(e.decode(handle, part.data(), static_cast<int>(part.size()), big.data(), kDecoderOutputCapacity,
                     nullptr, 0),
            H264Q7_ERR_SIZE);
  const size_t picture = Yv12Size(352, 240);
  EXPECT_NEAR(big[0], ToYuv(kRed).y, 12);
  EXPECT_NEAR(big[picture - 1], ToYuv(kRed).u, 12);  // last byte of the U plane
  for (size_t i = picture; i < big.size(); ++i) ASSERT_EQ(big[i], kGuardByte) << "byte " << i;
}

TEST_F(DecoderRobustnessTest, SmallerPictureThanOpenedFillsItsCornerOnly) {
  ASSERT_EQ(e.open(handle, 704, 480), 0);
  GuardedBuffer out(Yv12Size(704, 480), 0);
  const auto units = Stream(352, 240, kGreen);
  EXPECT_EQ(Decode(MakePart(units[0], kSizeCif, true), out), H264Q7_ERR_SIZE);
  EXPECT_NEAR(SampleYv12(out.data(), 704, 480, 100, 100).y, ToYuv(kGreen).y, 12);
  EXPECT_NEAR(SampleYv12(out.data(), 704, 480, 100, 100).v, ToYuv(kGreen).v, 12);
  EXPECT_EQ(SampleYv12(out.data(), 704, 480, 500, 100).y, 0);
  EXPECT_EQ(SampleYv12(out.data(), 704, 480, 100, 300).y, 0);
  // A field stream of the wrong height in field mode is clipped the same way.
  EXPECT_EQ(Decode(MakePart(units[1], kSizeCif, false), out, 2), H264Q7_ERR_SIZE);
  EXPECT_TRUE(out.GuardIntact());
}

TEST(DecoderConvert, BgrBytesTopRowFirst) {
  const auto convert = TestLibrary().Exports().convertToRgb;
  ASSERT_NE(convert, nullptr);
  for (const auto& [w, h] : {std::pair{352, 240}, std::pair{360, 288}, std::pair{720, 576}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    Yv12Picture picture(w, h);
    picture.Fill(0, 0, w, h / 2, kRed);
    picture.Fill(0, h / 2, w, h / 2, kBlue);
    picture.Fill(0, 0, 16, h, kGreen);
    GuardedBuffer rgb(static_cast<size_t>(w) * h * 3);
    convert(picture.bytes.data(), rgb.data(), w, h);
    const uint8_t* first = rgb.data() + 100 * 3;
    EXPECT_LE(first[0], 20);   // B
    EXPECT_LE(first[1], 20);   // G
    EXPECT_GE(first[2], 235);  // R
    const uint8_t* last = rgb.data() + (static_cast<size_t>(h - 1) * w + 100) * 3;
    EXPECT_GE(last[0], 235);
    EXPECT_LE(last[2], 20);
    const Rgb left = SampleBgr(rgb.data(), w, 4, h / 4);
    EXPECT_GE(left.g, 235);
    EXPECT_LE(left.r, 20);
    EXPECT_TRUE(rgb.GuardIntact());
  }
}

TEST(DecoderConvert, RefusesSizesWithoutAYv12Layout) {
  const auto convert = TestLibrary().Exports().convertToRgb;
  ASSERT_NE(convert, nullptr);
  std::vector<uint8_t> src(Yv12Size(352, 240), 128);
  GuardedBuffer rgb(64, 0);
  for (const auto& [w, h] : {std::pair{0, 240}, std::pair{351, 240}, std::pair{352, -240}, std::pair{8192, 2}})
    convert(src.data(), rgb.data(), w, h);
  convert(nullptr, rgb.data(), 352, 240);
  convert(src.data(), nullptr, 352, 240);
  EXPECT_TRUE(rgb.Untouched(0, 64, 0));
  EXPECT_TRUE(rgb.GuardIntact());
}

}  // namespace
}  // namespace orva::test
