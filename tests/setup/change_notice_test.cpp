#include "orva/setup/change_notice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "trace_capture.h"

namespace orva {
namespace {

std::string Title(const CameraNotice& n, int ch) { return std::string(n.titles[ch].data()); }

bool ZeroFrom(const CameraNotice& n, int ch, size_t from) {
  for (size_t i = from; i < kTitleBytes; ++i)
    if (n.titles[ch][i] != 0) return false;
  return true;
}

// DB_CHANGE_UNICODE payload; names[ch] are the 31 text units after the
// non-text first unit (set to 0xFFFF to prove it is skipped).
std::vector<uint8_t> UnicodePayload(const std::vector<std::vector<uint16_t>>& names) {
  std::vector<uint8_t> p(1108, 0);
  p[0] = 0xCA, p[1] = 0xFE, p[2] = 0x00, p[3] = 0x01;
  p[4 + 3] = 1;
  for (size_t ch = 0; ch < names.size(); ++ch) {
    uint8_t* e = &p[20 + ch * 64];
    e[0] = e[1] = 0xFF;
    for (size_t u = 0; u < names[ch].size() && u < 31; ++u) {
      e[2 + 2 * u] = static_cast<uint8_t>(names[ch][u] >> 8);
      e[3 + 2 * u] = static_cast<uint8_t>(names[ch][u]);
    }
  }
  std::memset(&p[1044], 0x55, 64);  // trailing bytes are not interpreted
  return p;
}

std::string Convert(const std::vector<uint16_t>& units, size_t max = 62) {
  return Utf16ToUtf8Bounded(units, max);
}

TEST(DbChange, NarrowNamesAndCovertFlags) {
  std::vector<uint8_t> p(596, 0);
  p[0] = 0x01, p[1] = 0x02, p[2] = 0x03, p[3] = 0x04;
  p[4 + 0] = 1, p[4 + 15] = 1;
  std::memcpy(&p[20], "Door", 4);
  std::memset(&p[20 + 32 * 15], 'Q', 32);  // no terminator in the wire field
  std::memset(&p[532], 'X', 64);
  CameraNotice n;
  n.unicode = true;
  std::string error;
  ASSERT_TRUE(ParseDbChange(p, n, error)) << error;
  EXPECT_FALSE(n.unicode);
  EXPECT_EQ(n.head, 0x01020304u);
  EXPECT_EQ(n.covert[0], 1);
  EXPECT_EQ(n.covert[1], 0);
  EXPECT_EQ(n.covert[15], 1);
  EXPECT_EQ(Title(n, 0), "Door");
  EXPECT_EQ(Title(n, 1), "");
  EXPECT_EQ(Title(n, 15), std::string(32, 'Q'));
  EXPECT_TRUE(ZeroFrom(n, 15, 32));
}

TEST(DbChange, WrongSizesTraceAndChangeNothing) {
  CameraNotice n;
  n.head = 77;
  n.titles[2][0] = 'K';
  std::string error;
  {
    TraceCapture trace;
    EXPECT_FALSE(ParseDbChange(std::vector<uint8_t>(595), n, error));
    EXPECT_EQ(trace.Text(), "db change size : 596, Payload size : 595\n");
  }
  EXPECT_NE(error.find("595"), std::string::npos) << error;
  {
    TraceCapture trace;
    EXPECT_FALSE(ParseDbChangeUnicode(std::vector<uint8_t>(596), n, error));
    EXPECT_FALSE(ParseDbChange(std::vector<uint8_t>(1108), n, error));
    EXPECT_EQ(trace.Text(),
              "db change size : 1108, Payload size : 596\n"
              "db change size : 596, Payload size : 1108\n");
  }
  EXPECT_EQ(n.head, 77u);
  EXPECT_EQ(n.titles[2][0], 'K');
  EXPECT_FALSE(n.unicode);
}

TEST(DbChangeUnicode, OneCharacterNameAndTraces) {
  auto p = UnicodePayload({{'X'}, {0x0043, 0x0061, 0x006D, 0x00E9, 0x0072, 0x0061}});
  CameraNotice n;
  std::string error;
  TraceCapture trace;
  ASSERT_TRUE(ParseDbChangeUnicode(p, n, error)) << error;
  EXPECT_TRUE(n.unicode);
  EXPECT_EQ(n.head, 0xCAFE0001u);
  EXPECT_EQ(n.covert[3], 1);
  EXPECT_EQ(n.titles[0][0], 'X');
  EXPECT_TRUE(ZeroFrom(n, 0, 1));
  EXPECT_EQ(Title(n, 1), "Cam\xC3\xA9ra");
  EXPECT_TRUE(ZeroFrom(n, 1, 7));
  EXPECT_EQ(Title(n, 2), "");
  std::string expected = "1108...X\n1108...Cam\xC3\xA9ra\n";
  for (int ch = 2; ch < 16; ++ch) expected += "1108...\n";
  EXPECT_EQ(trace.Text(), expected);
}

TEST(DbChangeUnicode, FullLengthNamesAreCutAtCharacterBoundary) {
  std::vector<uint16_t> cjk(31, 0x4E2D);  // 3 bytes each: 20 fit in 62
  std::vector<uint16_t> twoByte(31, 0x00E9);  // 2 bytes each: exactly 62
  std::vector<uint16_t> ascii(31, 'a');
  auto p = UnicodePayload({cjk, twoByte, ascii});
  CameraNotice n;
  std::string error;
  ASSERT_TRUE(ParseDbChangeUnicode(p, n, error));
  std::string want;
  for (int i = 0; i < 20; ++i) want += "\xE4\xB8\xAD";
  EXPECT_EQ(Title(n, 0), want);
  EXPECT_TRUE(ZeroFrom(n, 0, 60));
  want.clear();
  for (int i = 0; i < 31; ++i) want += "\xC3\xA9";
  EXPECT_EQ(Title(n, 1), want);
  EXPECT_TRUE(ZeroFrom(n, 1, 62));
  EXPECT_EQ(Title(n, 2), std::string(31, 'a'));
}

TEST(Utf16ToUtf8, PairsBoundsAndUnpairedSurrogates) {
  EXPECT_EQ(Convert({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Convert({'A', 'B', 0, 'C'}), "AB");
  EXPECT_EQ(Convert({'a', 0x4E2D}, 3), "a");  // the CJK character would need 4
  EXPECT_EQ(Convert({'a', 0xD83D, 0xDE00}, 4), "a");
  EXPECT_EQ(Convert({'a', 0xD83D, 0xDE00}, 5), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(Convert({'a'}, 0), "");
  EXPECT_EQ(Convert({0xDC00}), "?");
  EXPECT_EQ(Convert({0xD800, 'A'}), "?A");
  EXPECT_EQ(Convert({'A', 0xD800}), "A?");
  EXPECT_EQ(Convert({0xDE00, 0xD83D}), "??");  // reversed pair
  EXPECT_EQ(Convert({0x07FF, 0x0800, 0xFFFF}), "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");

  // Fifteen emoji plus 'a' fill all 31 text units (61 bytes); a pair cut by
  // the end of the field leaves an unpaired high surrogate.
  std::vector<uint16_t> emoji{'a'};
  for (int i = 0; i < 15; ++i) emoji.insert(emoji.end(), {0xD83D, 0xDE00});
  std::vector<uint16_t> split(30, 'b');
  split.push_back(0xD83D);
  auto p = UnicodePayload({emoji, split});
  CameraNotice n;
  std::string error;
  ASSERT_TRUE(ParseDbChangeUnicode(p, n, error));
  std::string want = "a";
  for (int i = 0; i < 15; ++i) want += "\xF0\x9F\x98\x80";
  EXPECT_EQ(Title(n, 0), want);
  EXPECT_EQ(Title(n, 1), std::string(30, 'b') + "?");
}

}  // namespace
}  // namespace orva
