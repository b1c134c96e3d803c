// Frame headers, the size table, part lengths and live block parsing, with
// the edge cases that decide what gets decoded.
#include <gtest/gtest.h>

#include "orva/media/stream_frames.h"

namespace orva {
namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> out;
  for (uint32_t w : words)
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(w >> s));
  return out;
}

// W2 for a video frame: size code, channel, key flag.
uint32_t VideoW2(int sizeCode, int channel, bool key) {
  return static_cast<uint32_t>(((sizeCode >> 1) & 1) | ((sizeCode & 1) << 3) | (channel << 5) | (key ? 0 : 1 << 11));
}

TEST(FrameHeader, VideoSizesByCodeAndLineStandard) {
  struct Case {
    int code;
    bool pal;
    int w, h;
  };
  for (Case c : {Case{1, false, 352, 240}, Case{1, true, 352, 288}, Case{2, false, 704, 480}, Case{2, true, 704, 576},
                 Case{0, false, 704, 240}, Case{3, true, 704, 288}}) {
    auto h = Words({1, (c.pal ? 1u << 6 : 0u) | (5u << 8), VideoW2(c.code, 7, true), 0, 0});
    FrameInfo info;
    ASSERT_EQ(ParseFrameHeader(h.data(), info), kFrameVideo);
    EXPECT_EQ(info.width, c.w) << c.code;
    EXPECT_EQ(info.height, c.h) << c.code;
    EXPECT_EQ(info.sizeCode, c.code);
    EXPECT_EQ(info.channel, 7);
    EXPECT_TRUE(info.keyFrame);
  }
  auto notKey = Words({1, 0, VideoW2(1, 15, false), 0, 0});
  FrameInfo info;
  ParseFrameHeader(notKey.data(), info);
  EXPECT_FALSE(info.keyFrame);
  EXPECT_EQ(info.channel, 15);
}

TEST(FrameHeader, FirstPartLengthRoundsToSixteenBytes) {
  EXPECT_EQ(FirstPartBytes(5), 32u);
  EXPECT_EQ(FirstPartBytes(8), 32u);
  EXPECT_EQ(FirstPartBytes(9), 48u);
  EXPECT_EQ(FirstPartBytes(0), 0u);
  auto h = Words({1, 9u << 8, VideoW2(1, 0, true), 0, 0});
  FrameInfo info;
  ParseFrameHeader(h.data(), info);
  EXPECT_EQ(info.partLength, 48u);
}

TEST(FrameHeader, AudioAndOtherKinds) {
  auto audio = Words({0xFFFFFFFF, 0, (3u << 8) | 5u, 0xFF3800FB, 0});
  FrameInfo info;
  ASSERT_EQ(ParseFrameHeader(audio.data(), info), kFrameAudio);
  EXPECT_EQ(info.partLength, 4016u);
  EXPECT_EQ(info.predictor, -200);
  EXPECT_EQ(info.stepIndex, 3);
  EXPECT_EQ(info.channel, 5);
  EXPECT_EQ(info.width, 0);
  auto other = Words({2, 0, 0, 0, 0});
  EXPECT_EQ(ParseFrameHeader(other.data(), info), kFrameNone);
}

TEST(FrameHeader, ValidSizesAndShownWidth) {
  for (auto [w, h] : {std::pair{352, 240}, {360, 288}, {704, 480}, {720, 576}, {704, 240}})
    EXPECT_TRUE(IsValidPictureSize(w, h)) << w << "x" << h;
  for (auto [w, h] : {std::pair{352, 480}, {640, 480}, {720, 500}, {0, 0}}) EXPECT_FALSE(IsValidPictureSize(w, h));
  EXPECT_EQ(ShownWidth(352), 360);
  EXPECT_EQ(ShownWidth(704), 720);
}

std::vector<uint8_t> LiveVideoBlock(uint32_t units, size_t dataSize, int sizeCode = 1) {
  std::vector<uint8_t> block(4 + 192 + dataSize, 0);
  StoreBE32(block.data(), static_cast<uint32_t>(192 + dataSize));
  StoreBE32(block.data() + 4 + 16, ENC_HEADER_TYPE_VIDEO);
  auto h = Words({1, units << 8, VideoW2(sizeCode, 2, true), 0, 0});
  std::copy(h.begin(), h.end(), block.begin() + 196);
  return block;
}

TEST(LiveBlock, VideoFrameDataRunsFromByte196) {
  auto block = LiveVideoBlock(8, 64);
  LiveBlock parsed = ParseLiveBlock(block);
  ASSERT_EQ(parsed.kind, LiveBlockKind::kVideo);
  EXPECT_EQ(parsed.frame.size(), 64u);
  EXPECT_EQ(parsed.frame.data(), block.data() + 196);
  EXPECT_EQ(parsed.info.channel, 2);
  EXPECT_TRUE(VideoFrameFits(parsed.info, parsed.frame.size()));
}

TEST(LiveBlock, LengthsThatPointPastTheBlockAreRejected) {
  auto block = LiveVideoBlock(8, 64);
  StoreBE32(block.data(), 192 + 65);  // one byte more than present
  EXPECT_EQ(ParseLiveBlock(block).kind, LiveBlockKind::kInvalid);
  // A first part beyond the frame data: parsed, but does not fit.
  auto big = LiveVideoBlock(100, 64);
  LiveBlock parsed = ParseLiveBlock(big);
  ASSERT_EQ(parsed.kind, LiveBlockKind::kVideo);
  EXPECT_FALSE(VideoFrameFits(parsed.info, parsed.frame.size()));
  // A two-field frame needs room for the second field's header after the first part.
  auto fields = LiveVideoBlock(8, 32 + 20, 2);
  EXPECT_FALSE(VideoFrameFits(ParseLiveBlock(fields).info, 32 + 20));
  EXPECT_TRUE(VideoFrameFits(ParseLiveBlock(fields).info, 32 + 21));
  EXPECT_EQ(ParseLiveBlock(std::vector<uint8_t>(10, 0)).kind, LiveBlockKind::kInvalid);
}

TEST(LiveBlock, AnythingNotMarkedVideoIsTakenAsAudio) {
  std::vector<uint8_t> block(4 + 128 + 4016, 0);
  StoreBE32(block.data(), 128 + 4016);
  StoreBE32(block.data() + 4 + 16, 0x12345678);  // not the video marker
  auto h = Words({0xFFFFFFFF, 0, 1, 0xFF3800FB, 0});
  std::copy(h.begin(), h.end(), block.begin() + 132);
  LiveBlock parsed = ParseLiveBlock(block);
  ASSERT_EQ(parsed.kind, LiveBlockKind::kAudio);
  EXPECT_EQ(parsed.frame.size(), 4016u);
  EXPECT_EQ(parsed.frame.data(), block.data() + 132);
  // An audio frame length beyond the block is refused.
  block.resize(block.size() - 1);
  StoreBE32(block.data(), static_cast<uint32_t>(block.size() - 4));
  EXPECT_EQ(ParseLiveBlock(block).kind, LiveBlockKind::kInvalid);
}

TEST(RecordHeaders, FieldsAtTheirOffsets) {
  std::vector<uint8_t> v(192, 0);
  StoreBE32(v.data() + 16, ENC_HEADER_TYPE_VIDEO);
  StoreBE32(v.data() + 24, 1260180930);
  StoreBE32(v.data() + 28, 5000);
  StoreBE32(v.data() + 40, 7);
  v[52] = 1;
  StoreBE32(v.data() + 84, 250000);
  VideoRecordHeader vh;
  ASSERT_TRUE(ParseVideoRecordHeader(v, vh));
  EXPECT_EQ(vh.frameSecond, 1260180930u);
  EXPECT_EQ(vh.dataSize, 5000u);
  EXPECT_EQ(vh.segment, 7u);
  EXPECT_EQ(vh.marker, 1);
  EXPECT_EQ(vh.captureMicroseconds, 250000u);
  EXPECT_FALSE(ParseVideoRecordHeader(std::span(v).first(191), vh));
  std::vector<uint8_t> a(128, 0);
  StoreBE32(a.data() + 40, 0x8001);
  AudioRecordHeader ah;
  ASSERT_TRUE(ParseAudioRecordHeader(a, ah));
  EXPECT_EQ(ah.channelMask, 0x8001u);
}

}  // namespace
}  // namespace orva
