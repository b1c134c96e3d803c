#include "orva/setup/user_rights.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "trace_capture.h"

namespace orva {
namespace {

// Raw table built byte by byte at the layout offsets, with a value per
// cell that identifies its row and slot.
std::vector<uint8_t> RawTable() {
  std::vector<uint8_t> b(584, 0);
  for (int r = 0; r < 8; ++r)
    for (int s = 0; s < 8; ++s) b[r * 8 + s] = static_cast<uint8_t>(0x10 * (r + 1) + s);
  for (int s = 0; s < 8; ++s) {
    b[0x40 + s] = static_cast<uint8_t>(0xA0 + s);
    std::string id = "user" + std::to_string(s), pw = "pw" + std::to_string(s);
    std::memcpy(&b[0x48 + 32 * s], id.data(), id.size());
    std::memcpy(&b[0x148 + 32 * s], pw.data(), pw.size());
  }
  return b;
}

TEST(UserRights, EveryFieldAtItsOffset) {
  auto raw = RawTable();
  raw[0x30 + 5] = 1;  // access right of slot 5
  UserRightsTable t;
  std::string error;
  ASSERT_TRUE(ParseUserRightsTable(raw, t, error)) << error;
  for (int r = 0; r < 8; ++r) {
    for (int s = 0; s < 8; ++s) {
      uint8_t want = (r == 6 && s == 5) ? 1 : static_cast<uint8_t>(0x10 * (r + 1) + s);
      EXPECT_EQ(t.RightByte(s, static_cast<Right>(r)), want) << RightName(static_cast<Right>(r)) << s;
    }
  }
  EXPECT_TRUE(t.Has(5, Right::kAccess));
  EXPECT_FALSE(t.Has(4, Right::kAccess));
  for (int s = 0; s < 8; ++s) {
    EXPECT_EQ(t.Level(s), 0xA0 + s);
    EXPECT_EQ(t.UserId(s), "user" + std::to_string(s));
    EXPECT_EQ(t.Password(s), "pw" + std::to_string(s));
  }
  EXPECT_EQ(t.RightByte(8, Right::kSetup), 0);
  EXPECT_EQ(t.RightByte(-1, Right::kSetup), 0);
  EXPECT_EQ(t.RightByte(0, static_cast<Right>(8)), 0);
  EXPECT_EQ(t.Level(8), 0);
  EXPECT_EQ(t.UserId(8), "");
  EXPECT_STREQ(RightName(Right::kStopRecording), "stop-recording");
  EXPECT_STREQ(RightName(Right::kReboot), "reboot");

  // The setters write the very same bytes.
  UserRightsTable built;
  for (int r = 0; r < 8; ++r)
    for (int s = 0; s < 8; ++s) built.SetRightByte(s, static_cast<Right>(r), raw[r * 8 + s]);
  for (int s = 0; s < 8; ++s) {
    built.SetLevel(s, static_cast<uint8_t>(0xA0 + s));
    built.SetUserId(s, "user" + std::to_string(s));
    built.SetPassword(s, "pw" + std::to_string(s));
  }
  built.SetLevel(8, 1);  // ignored
  built.SetUserId(-1, "x");
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), built.bytes.begin()));
}

TEST(UserRights, LongAndUnterminatedTextsStayInTheirField) {
  UserRightsTable t;
  t.SetPassword(1, "secret");
  t.SetUserId(0, std::string(31, 'a'));
  EXPECT_EQ(t.UserId(0), std::string(31, 'a'));
  t.SetUserId(0, std::string(40, 'b'));  // cut, terminated, neighbour untouched
  EXPECT_EQ(t.UserId(0), std::string(31, 'b'));
  EXPECT_EQ(t.bytes[0x48 + 31], 0);
  EXPECT_EQ(t.UserId(1), "");
  t.SetUserId(0, "x");
  EXPECT_EQ(t.bytes[0x48 + 1], 0);  // old text cleared

  // Unterminated 32-byte fields from the wire read as 31 bytes.
  std::memset(&t.bytes[0x48 + 32 * 7], 'z', 32);
  std::memset(&t.bytes[0x148 + 32 * 7], 'p', 32);
  EXPECT_EQ(t.UserId(7), std::string(31, 'z'));
  EXPECT_EQ(t.Password(7), std::string(31, 'p'));
  EXPECT_EQ(t.Password(1), "secret");
  EXPECT_EQ(FindUserSlot(t, std::string(31, 'Z')), 7);
  EXPECT_EQ(FindUserSlot(t, std::string(32, 'z')), -1);
}

TEST(UserRights, FindUserSlotIgnoresAsciiCaseOnly) {
  UserRightsTable t;
  t.SetUserId(1, "Operator");
  t.SetUserId(2, "admin");
  t.SetUserId(3, "ADMIN");
  t.SetUserId(4, "caf\xC3\xA9");
  EXPECT_EQ(FindUserSlot(t, "ADMIN"), 2);  // first match wins
  EXPECT_EQ(FindUserSlot(t, "operator"), 1);
  EXPECT_EQ(FindUserSlot(t, "admi"), -1);
  EXPECT_EQ(FindUserSlot(t, "admin1"), -1);
  EXPECT_EQ(FindUserSlot(t, "CAF\xC3\xA9"), 4);
  EXPECT_EQ(FindUserSlot(t, "caf\xC3\x89"), -1);  // non-ASCII bytes are not folded
  EXPECT_EQ(FindUserSlot(t, ""), -1);             // empty slots never match
}

TEST(UserRights, WrongSizeZeroesAndTraces) {
  for (size_t len : {0u, 583u, 585u}) {
    TraceCapture trace;
    UserRightsTable t;
    t.bytes.fill(1);
    std::vector<uint8_t> data(len, 1);
    std::string error;
    EXPECT_FALSE(ParseUserRightsTable(data, t, error));
    EXPECT_NE(error.find(std::to_string(len)), std::string::npos) << error;
    EXPECT_EQ(trace.Text(), "RightChange size : 584, Payload size : " + std::to_string(len) + "\n");
    EXPECT_FALSE(t.Has(0, Right::kSetup));
    EXPECT_TRUE(std::all_of(t.bytes.begin(), t.bytes.end(), [](uint8_t b) { return b == 0; }));
  }
}

TEST(UserRights, SameParserReadsTheTableInsideTheSetupDatabase) {
  auto raw = RawTable();
  std::vector<uint8_t> db(64512, 0xEE);
  std::copy(raw.begin(), raw.end(), db.begin() + 0x15F8);
  UserRightsTable fromDb, fromNotice;
  std::string error;
  ASSERT_TRUE(ReadUserRightsFromSetupDatabase(db, fromDb, error)) << error;
  ASSERT_TRUE(ParseUserRightsTable(raw, fromNotice, error));
  EXPECT_EQ(fromDb.bytes, fromNotice.bytes);
  EXPECT_EQ(fromDb.UserId(3), "user3");
  EXPECT_EQ(fromDb.Level(7), 0xA7);

  db.pop_back();
  fromDb.bytes.fill(3);
  EXPECT_FALSE(ReadUserRightsFromSetupDatabase(db, fromDb, error));
  EXPECT_NE(error.find("64511"), std::string::npos) << error;
  EXPECT_EQ(fromDb.Level(0), 0);
}

}  // namespace
}  // namespace orva
