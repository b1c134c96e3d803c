// Header layout, catalogue, time conversions, notice table and trace.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "orva/link/catalogue.h"
#include "orva/link/notices.h"
#include "orva/link/time_convert.h"
#include "orva/link/trace.h"
#include "orva/link/wire.h"

namespace orva {
namespace {

TEST(Header, EncodesControlWordsOfTheExamples) {
  uint8_t bytes[16];
  EncodeHeader(MakeHeader(msg::HELLO, 32), bytes);
  EXPECT_EQ(bytes[2], 0x00);
  EXPECT_EQ(bytes[3], 0x80);
  EXPECT_EQ(bytes[6], 0x00);
  EXPECT_EQ(bytes[7], 32);
  EncodeHeader(MakeHeader(msg::LIVE_REQ, 4), bytes);
  EXPECT_EQ((bytes[2] << 8) | bytes[3], 0x0800);
  EncodeHeader(MakeHeader(msg::AUDIO_ONOFF_REQ, 0, true), bytes);
  EXPECT_EQ((bytes[2] << 8) | bytes[3], 0x0B88);
  EncodeHeader(MakeHeader(msg::AUDIO_ONOFF_REQ, 0, false), bytes);
  EXPECT_EQ((bytes[2] << 8) | bytes[3], 0x0B80);
  // Everything but control word and length is zero in a client request.
  for (int i : {0, 1, 4, 5, 8, 9, 10, 11, 12, 13, 14, 15}) EXPECT_EQ(bytes[i], 0) << i;
}

TEST(Header, DecodesAllFieldsBigEndian) {
  const uint8_t raw[16] = {0xAA, 0xBB, 0x0B, 0x8F, 0x43, 0xC5, 0xFF, 0xFE, 1, 2, 3, 4, 0x12, 0x34, 0x56, 0x78};
  MessageHeader h = DecodeHeader(raw);
  EXPECT_EQ(h.Code(), 23);
  EXPECT_TRUE(h.AudioFlag());
  EXPECT_EQ(h.control & 0x7, 7);  // status bits kept but not interpreted
  EXPECT_TRUE(h.IsLastFragment());
  EXPECT_EQ(h.Channel(), 15);
  EXPECT_EQ(h.SpeedCode(), 5);
  EXPECT_EQ(h.length, 65534);
  EXPECT_EQ(h.frameTag, 0x12345678u);
  uint8_t again[16];
  EncodeHeader(h, again);
  EXPECT_EQ(0, std::memcmp(raw, again, 16));
}

TEST(Header, CodeAndChannelSettersKeepOtherBits) {
  MessageHeader h;
  h.SetAudioFlag(true);
  h.SetCode(511);
  EXPECT_EQ(h.Code(), 511);
  EXPECT_TRUE(h.AudioFlag());
  h.streamFlags = kLastFragment | 0x3F;
  h.SetChannel(9);
  EXPECT_EQ(h.Channel(), 9);
  EXPECT_TRUE(h.IsLastFragment());
  EXPECT_EQ(h.SpeedCode(), 0x3F);
}

TEST(Catalogue, NamesBothDirectionsOfCode102AndNoOtherSharedCode) {
  EXPECT_STREQ(msg::Name(102, msg::Direction::kRecorderToClient), "TRANS_ON_NACK");
  EXPECT_STREQ(msg::Name(102, msg::Direction::kClientToRecorder), "TRANS_OFF_REQ");
  EXPECT_EQ(msg::Name(103, msg::Direction::kClientToRecorder), nullptr);
  int shared = 0;
  for (uint16_t c = 0; c <= msg::kMaxCode; ++c) {
    bool both = msg::Name(c, msg::Direction::kRecorderToClient) && msg::Name(c, msg::Direction::kClientToRecorder);
    if (both) {
      ++shared;
      EXPECT_TRUE(c == msg::BYE48 || c == 102) << c;
    }
  }
  EXPECT_EQ(shared, 2);
}

TEST(Catalogue, OnlyRecorderCodesAreHandledAndUnknownCodesAreReadPast) {
  EXPECT_FALSE(msg::IsRecorderToClient(msg::HELLO));
  EXPECT_FALSE(msg::IsRecorderToClient(323));  // never sent
  EXPECT_FALSE(msg::IsRecorderToClient(600));
  EXPECT_TRUE(msg::IsRecorderToClient(msg::SYSTEM_INFO_ACK));
  EXPECT_TRUE(msg::IsRecorderToClient(msg::REC_STATUS_COMPANION));
  EXPECT_STREQ(msg::Name(msg::RIGHT_CHANGE, msg::Direction::kRecorderToClient), "RIGHT_CHANGE");
  EXPECT_STREQ(msg::Name(msg::POWEROFF_NACK, msg::Direction::kRecorderToClient), "POWEROFF_NACK");
}

TEST(TimeConversion, EpochAndNegativeInput) {
  UserTime t;
  GetTime_tToUsertime(0, t);
  EXPECT_EQ(t, (UserTime{1970, 0, 0, 0, 0, 0}));
  UserTime untouched{2001, 2, 3, 4, 5, 6};
  GetTime_tToUsertime(-1, untouched);
  EXPECT_EQ(untouched, (UserTime{2001, 2, 3, 4, 5, 6}));
}

TEST(TimeConversion, RoundTripsAndIgnoresTheLocalZone) {
  // The recorder's wall clock travels as if it were UTC: a zone with
  // daylight saving must not shift anything.
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  UserTime leap{2024, 1, 28, 23, 59, 59};  // 29 February
  EXPECT_EQ(GetUsertimeToTime_t(leap), 1709251199);
  UserTime summer{2009, 6, 14, 12, 0, 0};
  int64_t v = GetUsertimeToTime_t(summer);
  UserTime back;
  GetTime_tToUsertime(v, back);
  EXPECT_EQ(back, summer);
  for (int64_t s = 0; s < 2000000000; s += 86400 * 37 + 3671) {
    UserTime u;
    GetTime_tToUsertime(s, u);
    ASSERT_EQ(GetUsertimeToTime_t(u), s);
  }
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}

TEST(Notices, ByeResultsMapToTheirNotices) {
  const int32_t results[] = {1, 2, 3, 33, 34, 35, 36, -2};
  for (int i = 0; i < 8; ++i) {
    Notice n;
    ASSERT_TRUE(NoticeForByeResult(results[i], n));
    EXPECT_EQ(n, (Notice{3, static_cast<uint16_t>(i)}));
  }
  Notice n;
  ASSERT_TRUE(NoticeForByeResult(37, n));
  EXPECT_EQ(n, kNoticeNotPermitted);
  EXPECT_FALSE(NoticeForByeResult(0, n));
  EXPECT_FALSE(NoticeForByeResult(4, n));
  EXPECT_EQ((Notice{3, 5}).Packed(), 3u * 65536u + 5u);
}

TEST(Notices, EveryPostedPairHasItsOwnText) {
  const Notice posted[] = {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {3, 0}, {3, 7}, {4, 0}, {5, 2}, {6, 0}, {6, 7},
                           {7, 3}, {8, 5}, {9, 0}, {10, 0}, {11, 1}, {12, 1}, {13, 0}, {15, 0}, {16, 0}};
  const std::string generic = LookupNotice({99, 99}).text;
  std::set<std::string> texts;
  for (Notice n : posted) {
    std::string text = LookupNotice(n).text;
    EXPECT_NE(text, generic) << n.category << "/" << n.code;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), std::size(posted));
  EXPECT_EQ(std::string(LookupNotice(kNoticeWrongFamily).text), "Not ORVA7000 !");
}

TEST(TraceOutput, CutsLinesAt1023CharactersAndWritesToTheNamedFile) {
  char path[] = "/tmp/orva-trace-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  TraceRedirectForTest(path);
  ASSERT_TRUE(TraceEnabled());
  std::string longText(3000, 'x');
  Trace("%s\n", longText.c_str());
  Trace("Send... HELLO\n");
  TraceRedirectForTest(nullptr);
  std::ifstream in(path);
  std::stringstream all;
  all << in.rdbuf();
  EXPECT_EQ(all.str(), std::string(1023, 'x') + "Send... HELLO\n");
  std::remove(path);
}

}  // namespace
}  // namespace orva
