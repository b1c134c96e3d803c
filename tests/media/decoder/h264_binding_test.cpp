// The client side: loading the library by name, and CH264Decoder's calls
// into it (checked with recorded fake exports and with the real library).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "decoder_test_util.h"
#include "test_encoder.h"

namespace orva::test {
namespace {

TEST(H264LibraryLoad, ByPathResolvesAllSixAndUnloadForgetsThem) {
  H264Library library;
  EXPECT_FALSE(library.Loaded());
  std::string error = "stale";
  ASSERT_TRUE(library.Load(ORVA_DECODER_LIBRARY, error)) << error;
  EXPECT_TRUE(error.empty());
  EXPECT_TRUE(library.Loaded());
  const H264Exports& e = library.Exports();
  EXPECT_TRUE(e.create && e.destroy && e.open && e.flush && e.decode && e.convertToRgb);

  H264Library moved(std::move(library));
  EXPECT_TRUE(moved.Loaded());
  EXPECT_FALSE(library.Loaded());  // NOLINT(bugprone-use-after-move): the move leaves it empty
  moved.Unload();
  EXPECT_FALSE(moved.Loaded());
  EXPECT_EQ(moved.Exports().decode, nullptr);
}

TEST(H264LibraryLoad, SearchUsesEnvironmentThenTheExecutablesDirectory) {
  H264Library library;
  std::string error;
  ASSERT_EQ(setenv("ORVA_DECODER_LIBRARY", ORVA_DECODER_LIBRARY, 1), 0);
  EXPECT_TRUE(library.Load("", error)) << error;
  EXPECT_NE(library.Exports().decode, nullptr);
  // The variable wins over every other place: a library without the exports
  // named there is the one loaded.
  ASSERT_EQ(setenv("ORVA_DECODER_LIBRARY", "libm.so.6", 1), 0);
  EXPECT_TRUE(library.Load("", error)) << error;
  EXPECT_EQ(library.Exports().decode, nullptr);

  // Without the variable, the copy next to the executable is found. The
  // build may already put the library there; only a link of our own is removed.
  unsetenv("ORVA_DECODER_LIBRARY");
  char exe[PATH_MAX] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof(exe) - 1), 0);
  std::string besideExe(exe);
  besideExe = besideExe.substr(0, besideExe.rfind('/') + 1) + kDecoderLibraryName;
  struct stat existing {};
  const bool ownLink = lstat(besideExe.c_str(), &existing) != 0;
  if (ownLink) {
    ASSERT_EQ(symlink(ORVA_DECODER_LIBRARY, besideExe.c_str()), 0);
  }
  const bool found = library.Load("", error);
  if (ownLink) unlink(besideExe.c_str());
  EXPECT_TRUE(found) << error;
  EXPECT_NE(library.Exports().create, nullptr);
}

TEST(H264LibraryLoad, MissingLibraryTracesAndFails) {
  TraceToFile trace;
  H264Library library;
  std::string error;
  EXPECT_FALSE(library.Load("/nonexistent/orva/libH264_Q7.so", error));
  EXPECT_NE(error.find("/nonexistent/orva/libH264_Q7.so"), std::string::npos) << error;
  EXPECT_FALSE(library.Loaded());
  EXPECT_EQ(library.Exports().create, nullptr);
  EXPECT_NE(trace.Text().find("H264_Q7.Dll not found."), std::string::npos) << trace.Text();
}

// A library without the exports loads, and every operation does nothing.
TEST(H264LibraryLoad, MissingExportsLeaveOperationsNoOps) {
  TraceToFile trace;
  H264Library library;
  std::string error;
  ASSERT_TRUE(library.Load("libm.so.6", error)) << error;
  EXPECT_EQ(library.Exports().create, nullptr);
  EXPECT_EQ(library.Exports().convertToRgb, nullptr);
  EXPECT_NE(trace.Text().find("zerta_h264_decoder_decode missing"), std::string::npos) << trace.Text();

  CH264Decoder decoder(library);
  EXPECT_FALSE(decoder.HasHandle());
  EXPECT_EQ(decoder.Open(704, 480), 0);
  EXPECT_EQ(decoder.Width(), 704);  // the size is remembered all the same
  EXPECT_EQ(decoder.Flush(), 0);
  std::vector<uint8_t> input(64, 1), output(64, 0);
  EXPECT_EQ(decoder.Decode(input.data(), 64, output.data(), 64, 352, 240, 0), 0);
  EXPECT_EQ(decoder.ConvertToRgb(input.data(), output.data(), 4, 4), 1);
  EXPECT_EQ(output, std::vector<uint8_t>(64, 0));
}

// Fake exports that record what the wrapper passes on.
struct Calls {
  int creates = 0, destroys = 0, opens = 0, flushes = 0, decodes = 0, converts = 0;
  void* destroyed = nullptr;
  int openWidth = 0, openHeight = 0;
  int decodeCapacity = 0, decodeMode = -1, decodeLength = 0;
  int32_t* userValue = nullptr;
  bool createFails = false;
};
Calls g_calls;
int g_instance;

H264Exports FakeExports() {
  H264Exports e;
  e.create = [](int32_t reserved) -> void* {
    ++g_calls.creates;
    return reserved == 0 && !g_calls.createFails ? &g_instance : nullptr;
  };
  e.destroy = [](void* handle) {
    ++g_calls.destroys;
    g_calls.destroyed = handle;
  };
  e.open = [](void*, int w, int h) {
    ++g_calls.opens;
    g_calls.openWidth = w;
    g_calls.openHeight = h;
    return 0;
  };
  e.flush = [](void*) { return ++g_calls.flushes; };
  e.decode = [](void* handle, const uint8_t*, int length, uint8_t*, int capacity, int32_t* user, int mode) {
    ++g_calls.decodes;
    g_calls.decodeLength = length;
    g_calls.decodeCapacity = capacity;
    g_calls.decodeMode = mode;
    g_calls.userValue = user;
    if (user) *user = 5;
    return handle == &g_instance ? 1 : -1;
  };
  e.convertToRgb = [](const uint8_t*, uint8_t*, int, int) { ++g_calls.converts; };
  return e;
}

class CH264DecoderCalls : public ::testing::Test {
 protected:
  void SetUp() override { g_calls = Calls{}; }
  uint8_t bytes[32] = {};
};

TEST_F(CH264DecoderCalls, DecodeOpensOnTheFirstCallAndOnEachSizeChange) {
  const H264Library library = H264Library::FromExports(FakeExports());
  EXPECT_TRUE(library.Loaded());
  {
    CH264Decoder decoder(library);
    ASSERT_TRUE(decoder.HasHandle());
    EXPECT_EQ(decoder.Width(), 0);
    EXPECT_EQ(decoder.Decode(bytes, 32, bytes, kDecoderOutputCapacity, 352, 240, 0), 1);
    EXPECT_EQ(g_calls.opens, 1);
    EXPECT_EQ(g_calls.openWidth, 352);
    EXPECT_EQ(g_calls.decodeCapacity, kDecoderOutputCapacity);
    EXPECT_EQ(g_calls.decodeLength, 32);
    ASSERT_NE(g_calls.userValue, nullptr);

    decoder.Decode(bytes, 32, bytes, kDecoderOutputCapacity, 352, 240, 0);
    EXPECT_EQ(g_calls.opens, 1);  // same size: no reopen
    decoder.Decode(bytes, 16, bytes, kDecoderOutputCapacity, 704, 480, 2);
    EXPECT_EQ(g_calls.opens, 2);
    EXPECT_EQ(g_calls.openHeight, 480);
    EXPECT_EQ(g_calls.decodeMode, 2);
    EXPECT_EQ(decoder.Width(), 704);
    EXPECT_EQ(decoder.Height(), 480);

    EXPECT_EQ(decoder.Reopen(), 0);
    EXPECT_EQ(g_calls.opens, 3);
    EXPECT_EQ(g_calls.openWidth, 704);
    EXPECT_EQ(decoder.Flush(), 1);
    EXPECT_EQ(decoder.ConvertToRgb(bytes, bytes, 2, 2), 1);
    EXPECT_EQ(g_calls.converts, 1);
    EXPECT_EQ(g_calls.destroys, 0);
  }
  EXPECT_EQ(g_calls.creates, 1);
  EXPECT_EQ(g_calls.destroys, 1);
  EXPECT_EQ(g_calls.destroyed, &g_instance);
}

TEST_F(CH264DecoderCalls, WithoutAHandleNothingIsCalled) {
  g_calls.createFails = true;
  const H264Library library = H264Library::FromExports(FakeExports());
  {
    CH264Decoder decoder(library);
    EXPECT_FALSE(decoder.HasHandle());
    EXPECT_EQ(decoder.Open(352, 240), 0);
    EXPECT_EQ(decoder.Decode(bytes, 32, bytes, 32, 704, 240, 0), 0);
    EXPECT_EQ(decoder.Flush(), 0);
  }
  EXPECT_EQ(g_calls.opens + g_calls.decodes + g_calls.flushes + g_calls.destroys, 0);
}

TEST_F(CH264DecoderCalls, EachMissingExportIsANoOp) {
  H264Exports exports = FakeExports();
  exports.decode = nullptr;
  exports.convertToRgb = nullptr;
  exports.destroy = nullptr;
  const H264Library library = H264Library::FromExports(exports);
  {
    CH264Decoder decoder(library);
    EXPECT_EQ(decoder.Decode(bytes, 32, bytes, 32, 352, 240, 0), 0);
    EXPECT_EQ(g_calls.opens, 1);  // open is there and still follows the size
    EXPECT_EQ(decoder.ConvertToRgb(bytes, bytes, 2, 2), 1);
  }
  EXPECT_EQ(g_calls.decodes + g_calls.converts + g_calls.destroys, 0);
}

// The real library behind the wrapper: a new size arriving through Decode
// reopens the instance, and the next key frame decodes at the new size.
TEST(CH264DecoderReal, SizeChangeThroughDecodeReopens) {
  ASSERT_TRUE(TestLibrary().Loaded());
  Yv12Picture small(352, 240), large(704, 240);
  small.Fill(0, 0, 352, 240, kRed);
  large.Fill(0, 0, 352, 240, kBlue);
  large.Fill(352, 0, 352, 240, kGreen);
  const auto smallUnits = EncodeStream(small, 2), largeUnits = EncodeStream(large, 2);
  ASSERT_EQ(smallUnits.size(), 2u);
  ASSERT_EQ(largeUnits.size(), 2u);

  CH264Decoder decoder(TestLibrary());
  ASSERT_TRUE(decoder.HasHandle());
  std::vector<uint8_t> picture(kDecoderOutputCapacity), rgb(kDecoderOutputCapacity);
  for (size_t i = 0; i < 2; ++i) {
    const auto part = MakePart(smallUnits[i], kSizeCif, i == 0);
    ASSERT_GT(decoder.Decode(part.data(), static_cast<int>(part.size()), picture.data(), kDecoderOutputCapacity, 352,
                             240, 0),
              0);
  }
  EXPECT_NEAR(SampleYv12(picture.data(), 352, 240, 176, 120).y, ToYuv(kRed).y, 12);

  for (size_t i = 0; i < 2; ++i) {
    const auto part = MakePart(largeUnits[i], kSizeHalfD1, i == 0);
    ASSERT_GT(decoder.Decode(part.data(), static_cast<int>(part.size()), picture.data(), kDecoderOutputCapacity, 704,
                             240, 0),
              0);
  }
  EXPECT_EQ(decoder.Width(), 704);
  ASSERT_EQ(decoder.ConvertToRgb(picture.data(), rgb.data(), 704, 240), 1);
  const Rgb left = SampleBgr(rgb.data(), 704, 100, 120), right = SampleBgr(rgb.data(), 704, 600, 120);
  EXPECT_GE(left.b, 225);
  EXPECT_LE(left.g, 30);
  EXPECT_GE(right.g, 225);
  EXPECT_LE(right.b, 30);
}

}  // namespace
}  // namespace orva::test
