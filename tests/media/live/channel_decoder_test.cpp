// The decode worker's queue and stream rules, driven through a scripted
// decoder library: which entry is decoded, synchronisation on key frames,
// generations and size changes, the live backlog, suppression, the two-field
// path with its interpolation, the RGB row order and the stop.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "orva/media/channel_decoder.h"
#include "orva/media/headless_view.h"

namespace orva {
namespace {

using namespace std::chrono_literals;

// A scripted library: decode writes the first payload byte of the part into
// the lines of its field, so the test can see which entry reached the picture.
// A part tagged kRejected is refused with nothing written.
struct Script {
  std::mutex lock;
  std::vector<std::string> calls;
  std::vector<int> decodedTags;
} g_script;

constexpr uint8_t kRejected = 0xEE;

void* FakeCreate(int32_t) { return reinterpret_cast<void*>(0x1); }
void FakeDestroy(void*) {}
int FakeOpen(void*, int w, int h) {
  std::lock_guard g(g_script.lock);
  g_script.calls.push_back("open " + std::to_string(w) + "x" + std::to_string(h));
  return 0;
}
int FakeFlush(void*) {
  std::lock_guard g(g_script.lock);
  g_script.calls.push_back("flush");
  return 0;
}
int FakeDecode(void*, const uint8_t* in, int len, uint8_t* out, int cap, int32_t*, int mode) {
  if (len <= 20) return -1;
  const uint8_t tag = in[20];
  std::lock_guard g(g_script.lock);
  g_script.calls.push_back("decode mode " + std::to_string(mode) + " len " + std::to_string(len));
  g_script.decodedTags.push_back(tag);
  if (tag == kRejected) return -3;
  // Whole pictures are 352 x 240 here, fields belong to 704 x 480 pictures.
  const int width = (mode == 0) ? 352 : 704, height = (mode == 0) ? 240 : 480;
  if (static_cast<size_t>(cap) < static_cast<size_t>(width) * height * 3 / 2) return -1;
  for (int y = 0; y < height; ++y) {
    if (mode == 1 && (y & 1)) continue;
    if (mode == 2 && !(y & 1)) continue;
    std::memset(out + static_cast<size_t>(y) * width, mode == 2 ? 200 : tag, width);
  }
  return 1;
}
void FakeConvert(const uint8_t*, uint8_t* dst, int w, int h) {
  for (int r = 0; r < h; ++r) std::memset(dst + static_cast<size_t>(r) * w * 3, r & 0xFF, static_cast<size_t>(w) * 3);
}

H264Exports FakeExports() {
  H264Exports e;
  e.create = FakeCreate;
  e.destroy = FakeDestroy;
  e.open = FakeOpen;
  e.flush = FakeFlush;
  e.decode = FakeDecode;
  e.convertToRgb = FakeConvert;
  return e;
}

std::unique_ptr<ChannelFrame> Frame(uint8_t tag, bool key, uint32_t generation = 1, int sizeCode = 1) {
  auto f = std::make_unique<ChannelFrame>();
  f->generation = generation;
  f->info.keyFrame = key;
  f->info.sizeCode = static_cast<uint8_t>(sizeCode);
  PictureSize size = PictureSizeFor(sizeCode, false);
  f->info.width = size.width;
  f->info.height = size.height;
  f->data.assign(sizeCode == 2 ? 96 : 64, 0);
  f->info.partLength = sizeCode == 2 ? 48 : 64;
  f->data[20] = tag;
  if (sizeCode == 2) f->data[48 + 20] = tag;
  f->header.frameTag = 1260180930;
  return f;
}

class ChannelDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::lock_guard g(g_script.lock);
    g_script.calls.clear();
    g_script.decodedTags.clear();
  }
  DecoderContext Context(HeadlessView& view) {
    DecoderContext c;
    c.library = &library;
    c.decodeLock = &decodeLock;
    c.view = &view;
    c.mode = StreamMode::kLive;
    c.suppressed = [this](int) { return suppressed.load(); };
    return c;
  }
  static bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 300; ++i) {
      if (done()) return true;
      std::this_thread::sleep_for(5ms);
    }
    return done();
  }
  std::vector<int> Tags() {
    std::lock_guard g(g_script.lock);
    return g_script.decodedTags;
  }

  H264Library library = H264Library::FromExports(FakeExports());
  std::mutex decodeLock;
  std::atomic<bool> suppressed{false};
};

TEST_F(ChannelDecoderTest, TwoQueuedEntriesStayAndTheThirdIsTheFirstDecoded) {
  HeadlessView view;
  CChannelDecoder decoder(3, Context(view));
  decoder.Enqueue(Frame(1, true));
  decoder.Enqueue(Frame(2, true));
  std::this_thread::sleep_for(60ms);
  EXPECT_TRUE(Tags().empty());
  decoder.Enqueue(Frame(3, true));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 1; }));
  decoder.Enqueue(Frame(4, false));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 2; }));
  EXPECT_EQ(Tags(), (std::vector<int>{3, 4}));
  EXPECT_EQ(decoder.QueueDepth(), 2u);
  EXPECT_EQ(view.Draws(3), 2u);
  auto& ch = view.Store().At(3);
  std::lock_guard lock(ch.lock);
  EXPECT_TRUE(ch.present);
  EXPECT_EQ(ch.width, 352);
  EXPECT_EQ(ch.picture[0], 4);
}

TEST_F(ChannelDecoderTest, WaitsForAKeyFrameAndAgainAfterANewGeneration) {
  HeadlessView view;
  CChannelDecoder decoder(0, Context(view));
  decoder.Enqueue(Frame(0, true));
  decoder.Enqueue(Frame(0, true));
  decoder.Enqueue(Frame(10, false));
  decoder.Enqueue(Frame(11, false));
  decoder.Enqueue(Frame(12, true));
  decoder.Enqueue(Frame(13, false));
  decoder.Enqueue(Frame(20, false, 2));  // new generation: unsynchronised again
  decoder.Enqueue(Frame(21, true, 2));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 3; }));
  EXPECT_EQ(Tags(), (std::vector<int>{12, 13, 21}));
  auto stats = decoder.Stats();
  EXPECT_EQ(stats.skipped, 3u);
  EXPECT_EQ(stats.keyFrames, 2u);
}

TEST_F(ChannelDecoderTest, ASizeChangeReopensBothDecodersAndWaitsForAKeyFrame) {
  HeadlessView view;
  CChannelDecoder decoder(0, Context(view));
  decoder.Enqueue(Frame(0, true));
  decoder.Enqueue(Frame(0, true));
  decoder.Enqueue(Frame(1, true));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 1; }));
  decoder.Enqueue(Frame(2, false, 1, 2));  // same generation, 704 x 480
  decoder.Enqueue(Frame(3, true, 1, 2));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 2; }));
  std::lock_guard g(g_script.lock);
  int opens = 0, flushes = 0;
  for (auto& c : g_script.calls) {
    opens += c == "open 704x480";
    flushes += c == "flush";
  }
  EXPECT_EQ(opens, 2);
  EXPECT_EQ(flushes, 2);
  EXPECT_EQ(g_script.decodedTags, (std::vector<int>{1, 3, 3}));  // tag 2 never decoded; 3 as two fields
}

TEST_F(ChannelDecoderTest, ALiveBacklogDropsFramesUntilTheNextKeyFrame) {
  HeadlessView view;
  CChannelDecoder decoder(0, Context(view));
  decoder.Enqueue(Frame(0, true));
  decoder.Enqueue(Frame(0, true));
  decoder.Enqueue(Frame(1, true));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 1; }));
  {
    // Hold the decode lock: the worker stalls on its next picture while 40
    // more frames pile up behind it.
    std::unique_lock hold(decodeLock);
    decoder.Enqueue(Frame(2, false));
    ASSERT_TRUE(WaitFor([&] { return decoder.QueueDepth() == 2; }));
    for (int i = 0; i < 40; ++i) decoder.Enqueue(Frame(static_cast<uint8_t>(100 + i), false));
  }
  decoder.Enqueue(Frame(50, true));
  decoder.Enqueue(Frame(51, false));
  decoder.Enqueue(Frame(0, false));
  decoder.Enqueue(Frame(0, false));
  ASSERT_TRUE(WaitFor([&] { return decoder.QueueDepth() == 2; }));
  auto tags = Tags();
  // After the stalled frame, the backlog is dropped; the key frame and what
  // follows it are decoded.
  ASSERT_GE(tags.size(), 4u);
  EXPECT_EQ(tags[0], 1);
  EXPECT_EQ(tags[1], 2);
  auto key = std::find(tags.begin(), tags.end(), 50);
  ASSERT_NE(key, tags.end());
  EXPECT_EQ(*(key + 1), 51);
  EXPECT_LT(std::count_if(tags.begin(), tags.end(), [](int t) { return t >= 100; }), 40);
  EXPECT_GT(decoder.Stats().skipped, 0u);
}

TEST_F(ChannelDecoderTest, SuppressedAndDiscardedEntriesAreFreedUndecoded) {
  HeadlessView view;
  CChannelDecoder decoder(5, Context(view));
  suppressed = true;
  for (int i = 0; i < 5; ++i) decoder.Enqueue(Frame(static_cast<uint8_t>(i), true));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().discarded == 3; }));
  suppressed = false;
  decoder.SetDiscard(true);
  decoder.Enqueue(Frame(9, true));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().discarded == 4; }));
  EXPECT_TRUE(Tags().empty());
  decoder.SetDiscard(false);
  decoder.Enqueue(Frame(10, false));  // suppression cleared the synchronisation
  decoder.Enqueue(Frame(11, true));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 1; }));
  EXPECT_EQ(Tags(), (std::vector<int>{11}));
}

TEST_F(ChannelDecoderTest, TwoFieldPicturesDecodeBothPartsAndFillTheSecondFieldsLines) {
  HeadlessView view;  // YUV draw mode
  CChannelDecoder decoder(0, Context(view));
  for (int i = 0; i < 3; ++i) decoder.Enqueue(Frame(100, true, 1, 2));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 1; }));
  {
    std::lock_guard g(g_script.lock);
    std::vector<std::string> decodes;
    for (auto& c : g_script.calls)
      if (c.rfind("decode", 0) == 0) decodes.push_back(c);
    EXPECT_EQ(decodes, (std::vector<std::string>{"decode mode 1 len 48", "decode mode 2 len 48"}));
  }
  auto& ch = view.Store().At(0);
  std::lock_guard lock(ch.lock);
  const uint8_t* y = ch.picture.data();
  // Field 1 wrote 100 on even lines, field 2 wrote 200 on odd lines; the odd
  // lines between two even ones are now their average, the last one stays.
  EXPECT_EQ(y[0], 100);
  EXPECT_EQ(y[704 * 1], 100);
  EXPECT_EQ(y[704 * 477], 100);
  EXPECT_EQ(y[704 * 479], 200);
}

TEST_F(ChannelDecoderTest, AReaderAlwaysSeesOneWholePictureAndARejectedFrameKeepsTheLastOne) {
  HeadlessView view;
  DecoderContext context = Context(view);
  context.mode = StreamMode::kLocalPlayback;  // no backlog rule: every frame is decoded
  context.currentSecond = [] { return 0u; };
  CChannelDecoder decoder(1, context);
  auto& ch = view.Store().At(1);
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, backwards{0}, reads{0};
  // Reads as the desktop paints: under the channel lock, at any moment.
  std::thread reader([&] {
    int last = 0;
    while (!done.load()) {
      {
        std::lock_guard lock(ch.lock);
        if (ch.hasPicture) {
          const uint8_t tag = ch.picture[0];
          for (int y = 1; y < 240; ++y)
            if (ch.picture[static_cast<size_t>(y) * 352 + 351] != tag) {
              ++torn;
              break;
            }
          if (tag < last) ++backwards;
          last = tag;
          ++reads;
        }
      }
      std::this_thread::yield();
    }
  });
  decoder.Enqueue(Frame(0, true));
  decoder.Enqueue(Frame(0, true));
  for (int i = 1; i <= 120; ++i) decoder.Enqueue(Frame(static_cast<uint8_t>(i), i == 1));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 120; }));
  // Refused frames, with pictures in between: each time the channel keeps
  // the picture before it, never an older one.
  uint8_t shown = 120;
  for (uint8_t next : {kRejected, uint8_t{121}, kRejected, kRejected, uint8_t{122}, kRejected}) {
    const uint64_t before = decoder.Stats().pictures;
    decoder.Enqueue(Frame(next, false));
    ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == before + 1; }));
    if (next != kRejected) shown = next;
    std::lock_guard lock(ch.lock);
    EXPECT_EQ(ch.picture[0], shown) << "after tag " << int{next};
  }
  done = true;
  reader.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(backwards.load(), 0);
}

TEST_F(ChannelDecoderTest, RgbPicturesAreStoredBottomUp) {
  HeadlessView view(true);
  CChannelDecoder decoder(0, Context(view));
  for (int i = 0; i < 3; ++i) decoder.Enqueue(Frame(7, true));
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().pictures == 1; }));
  auto& ch = view.Store().At(0);
  std::lock_guard lock(ch.lock);
  EXPECT_TRUE(ch.rgb);
  EXPECT_EQ(ch.picture[0], 239);                   // row 0 holds the bottom row
  EXPECT_EQ(ch.picture[352 * 3 * 239], 0);         // the last row holds the top
  EXPECT_EQ(ch.picture[352 * 3 * 100 + 5], 139);
}

TEST_F(ChannelDecoderTest, MarkedReverseFramesAreDecodedButNotShown) {
  HeadlessView view;
  DecoderContext context = Context(view);
  context.mode = StreamMode::kRemotePlayback;
  context.currentSecond = [] { return 0u; };
  CChannelDecoder decoder(0, context);
  for (int i = 0; i < 3; ++i) {
    auto f = Frame(static_cast<uint8_t>(i), true);
    f->marker = 1;
    f->reverse = 1;
    decoder.Enqueue(std::move(f));
  }
  ASSERT_TRUE(WaitFor([&] { return decoder.Stats().keyFrames == 1; }));
  EXPECT_EQ(decoder.Stats().pictures, 0u);
  EXPECT_EQ(view.Draws(0), 0u);
}

TEST_F(ChannelDecoderTest, StoppingFreesTheQueueAndMarksTheChannelWithoutStream) {
  HeadlessView view;
  auto decoder = std::make_unique<CChannelDecoder>(2, Context(view));
  for (int i = 0; i < 3; ++i) decoder->Enqueue(Frame(1, true));
  ASSERT_TRUE(WaitFor([&] { return decoder->Stats().pictures == 1; }));
  decoder->Stop();
  EXPECT_EQ(decoder->QueueDepth(), 0u);
  auto& ch = view.Store().At(2);
  std::lock_guard lock(ch.lock);
  EXPECT_FALSE(ch.present);
}

}  // namespace
}  // namespace orva
