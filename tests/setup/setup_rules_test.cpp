// The editing rules of the setup pages, on host-order records: the frame-rate
// budget, group resolutions, the top-frame-rate table, the video standard
// cascade, priority and assignment, accounts, time zones and the time
// protocol, the DST question and spot/PTZ rules.
#include "orva/setup/setup_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "orva/link/time_convert.h"
#include "orva/setup/setup_database.h"
#include "orva/setup/setup_edit.h"
#include "setup_record.h"

namespace orva::setup {
namespace {

std::vector<uint8_t> Bytes(uint8_t major = 4, uint8_t minor = 2) { return test::FilledSetupRecord(major, minor); }

// The same record as the pages see it (multi-byte fields in host order).
std::vector<uint8_t> Host(const std::vector<uint8_t>& bytes) {
  SetupDatabase db;
  std::string error;
  EXPECT_TRUE(SetupDatabase::FromBytes(bytes, db, error)) << error;
  db.ToHostOrder();
  return {db.Bytes().begin(), db.Bytes().end()};
}

std::array<uint8_t, 16> Row16(ConstImage image, size_t base) {
  std::array<uint8_t, 16> out{};
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(base), 16, out.begin());
  return out;
}

TEST(SetupRules, FrameRateBudgetLimitsTheMovedChannel) {
  struct Case {
    const char* what;
    int channels, product;
    bool pal;
    uint8_t resolution;
    std::array<uint8_t, 16> rates;
    RowMask selected;
    int c, wanted;
    int expected;
    RowMask written;  // rows that take the rate
  };
  const std::array<uint8_t, 16> r5320 = {5, 3, 2, 9, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const std::vector<Case> cases = {
      {"16 NTSC 4CIF, own row only selected", 16, 1, false, 0, r5320, 0x0008, 3, 30, (120 - 4 * 10) / 4, 0x0008},
      {"16 NTSC 4CIF, nothing selected", 16, 1, false, 0, r5320, 0x0000, 3, 30, 20, 0x0008},
      {"below the limit the slider wins", 16, 1, false, 0, r5320, 0x0000, 3, 6, 6, 0x0008},
      {"two selected rows share what is left",
       16,
       1,
       false,
       0,
       {0, 0, 4, 4},
       0x0003,
       0,
       30,
       (120 - 32) / 4 / 2,
       0x0003},
      {"PAL 2CIF second group", 16, 1, true, 1, {0, 0, 0, 0, 0, 10, 10, 10}, 0x0000, 4, 30, (100 - 60) / 2, 0x0010},
      {"product 3: two groups of eight", 16, 3, false, 2, {0, 10, 10, 10, 10, 10, 10, 10}, 0x0000, 0, 30, 30, 0x0001},
      {"product 3: the eight share 120",
       16,
       3,
       false,
       2,
       {0, 20, 20, 20, 20, 20, 10, 5},
       0x0000,
       0,
       30,
       120 - 115,
       0x0001},
      {"budget already spent gives 0", 16, 1, false, 0, {0, 20, 20, 20}, 0x0000, 0, 10, 0, 0x0001},
      {"4 channels: one per group", 4, 1, false, 0, {0, 30, 30, 30}, 0x0000, 0, 30, 30, 0x0001},
      {"selection elsewhere in the group is left out",
       16,
       1,
       false,
       0,
       {1, 2, 3, 4},
       0x0006,
       1,
       30,
       (120 - 4 * 5) / 4 / 2,
       0x0006},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.what);
    std::vector<uint8_t> image = Host(Bytes());
    image[at::kVideoStandard] = t.pal ? 1 : 0;
    for (int c = 0; c < 16; ++c) {
      image[at::kMode1Rate + static_cast<size_t>(c)] = t.rates[static_cast<size_t>(c)];
      image[at::kResolution1 + static_cast<size_t>(c)] = t.resolution;
    }
    const std::vector<uint8_t> before = image;
    const int got = SetRate(image, kMode1, t.c, t.wanted, t.selected, {t.channels, t.product});
    EXPECT_EQ(got, t.expected);
    for (int c = 0; c < 16; ++c) {
      const size_t at = at::kMode1Rate + static_cast<size_t>(c);
      EXPECT_EQ(image[at], Selected(t.written, c) ? t.expected : before[at]) << "rate " << c;
      // A rate of 0 switches the channel off too.
      const size_t en = at::kMode1Enable + static_cast<size_t>(c);
      EXPECT_EQ(image[en], Selected(t.written, c) && t.expected == 0 ? 0 : before[en]) << "enable " << c;
    }
  }
}

TEST(SetupRules, GroupResolutionSetsTheGroupsAndTheirRate) {
  struct Case {
    const char* what;
    int channels, product;
    bool pal;
    int group;
    uint8_t resolution;
    RowMask selected;
    uint8_t groups;
    int rate;
  };
  const std::vector<Case> cases = {
      {"16 NTSC 4CIF", 16, 1, false, 0, 0, 0, 0b0001, 7},
      {"first rows of groups 1 and 3 selected", 16, 1, false, 0, 0, 0x0101, 0b0101, 7},
      {"chosen group's first row not selected", 16, 1, false, 1, 1, 0x0101, 0b0010, 15},
      {"8 PAL CIF", 8, 1, true, 3, 2, 0, 0b1000, 50},
      {"product 3 2CIF", 16, 3, false, 1, 1, 0, 0b10, 7},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.what);
    std::vector<uint8_t> image = Host(Bytes());
    image[at::kVideoStandard] = t.pal ? 1 : 0;
    const std::vector<uint8_t> before = image;
    EXPECT_EQ(SetGroupResolution(image, kMode1, t.group, t.resolution, t.selected, {t.channels, t.product}), t.groups);
    const int n = RateShapeFor(t.channels, t.product, t.pal).perGroup;
    for (int c = 0; c < 16; ++c) {
      const bool in = c < t.channels && ((t.groups >> (c / n)) & 1u);
      EXPECT_EQ(image[at::kResolution1 + static_cast<size_t>(c)],
                in ? t.resolution : before[at::kResolution1 + static_cast<size_t>(c)])
          << c;
      EXPECT_EQ(image[at::kMode1Rate + static_cast<size_t>(c)],
                in ? t.rate : before[at::kMode1Rate + static_cast<size_t>(c)])
          << c;
    }
  }
}

TEST(SetupRules, TopFrameRateTableForBothUsers) {
  struct Case {
    int channels, product;
    bool pal;
    int r;
    int basics, standard;  // recording basics page, video standard change
  };
  const std::vector<Case> cases = {
      {4, 1, false, 0, 30, 30}, {4, 1, true, 2, 25, 25}, {4, 3, false, 0, 15, 30}, {4, 3, true, 0, 12, 25},
      {4, 3, false, 1, 30, 30}, {16, 3, false, 0, 3, 3}, {16, 3, false, 1, 7, 7},  {16, 3, true, 1, 6, 6},
      {16, 3, true, 2, 12, 12}, {16, 1, false, 0, 7, 7}, {16, 2, true, 1, 12, 12}, {16, 4, false, 2, 30, 30},
      {8, 3, false, 0, 7, 7},   {8, 3, true, 1, 12, 12}, {8, 1, false, 0, 15, 15}, {8, 1, true, 0, 12, 12},
      {8, 1, false, 1, 30, 30}, {8, 1, true, 2, 25, 25}, {0, 1, false, 0, 7, 7},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(testing::Message() << t.channels << " ch, product " << t.product << (t.pal ? " PAL" : " NTSC")
                                    << " r=" << t.r);
    EXPECT_EQ(TopFrameRate({t.channels, t.product}, t.pal, t.r, true), t.basics);
    EXPECT_EQ(TopFrameRate({t.channels, t.product}, t.pal, t.r, false), t.standard);
  }
  // The class choice: the same class does nothing, another sets the rate first.
  std::vector<uint8_t> image(kSetupDatabaseSize, 0);
  image[at::kResolutionClass] = 1;
  image[at::kTopRate] = 99;
  EXPECT_FALSE(ChooseResolutionClass(image, 1, {16, 1}));
  EXPECT_EQ(image[at::kTopRate], 99);
  EXPECT_TRUE(ChooseResolutionClass(image, 0, {16, 1}));
  EXPECT_EQ(image[at::kTopRate], 7);
  EXPECT_EQ(image[at::kResolutionClass], 0);
}

TEST(SetupRules, VideoStandardCascade) {
  struct Case {
    const char* what;
    int channels, product;
    uint8_t from, to;
    bool changes;
    int rate, top;
  };
  const std::vector<Case> cases = {
      {"4 channels to PAL", 4, 1, 0, 1, true, 400 / 16, 25},
      {"16 channels to NTSC", 16, 1, 1, 0, true, 480 / 64, 15},
      {"product 3, 16 channels to PAL", 16, 3, 0, 1, true, 200 / 64, 6},
      {"8 channels, product 3, to NTSC", 8, 3, 1, 0, true, 240 / 32, 15},
      {"no change", 16, 1, 1, 1, false, 0, 0},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.what);
    std::vector<uint8_t> image = Host(Bytes());
    image[at::kVideoStandard] = t.from;
    image[at::kResolutionClass] = 1;
    for (int c = 0; c < 16; ++c) image[at::kResolution6 + static_cast<size_t>(c)] = 2;
    const std::vector<uint8_t> before = image;
    EXPECT_EQ(ChangeVideoStandard(image, t.to, {t.channels, t.product}), t.changes);
    if (!t.changes) {
      EXPECT_EQ(image, before);
      continue;
    }
    EXPECT_EQ(image[at::kVideoStandard], t.to);
    EXPECT_EQ(image[at::kTopRate], t.top);
    for (size_t base : {at::kMode1Rate, at::kMode2Rate, at::kMotionRate, at::kMode4Rate, at::kMode5Rate})
      for (int c = 0; c < 16; ++c)
        EXPECT_EQ(image[base + static_cast<size_t>(c)], c < t.channels ? t.rate : before[base + static_cast<size_t>(c)])
            << std::hex << base << " " << std::dec << c;
    for (size_t r = 0; r < 6; ++r)
      for (int c = 0; c < 16; ++c) {
        const size_t at = at::kResolution1 + 16 * r + static_cast<size_t>(c);
        EXPECT_EQ(image[at], c < t.channels ? 0 : before[at]) << r << " " << c;
      }
    // Nothing else moved.
    size_t others = 0;
    for (size_t i = 0; i < image.size(); ++i) {
      const bool listed =
          i == at::kVideoStandard || i == at::kTopRate || (i >= at::kResolution1 && i < at::kResolution1 + 96);
      bool rate = false;
      for (size_t base : {at::kMode1Rate, at::kMode2Rate, at::kMotionRate, at::kMode4Rate, at::kMode5Rate})
        rate = rate || (i >= base && i < base + 16);
      if (!listed && !rate && image[i] != before[i]) ++others;
    }
    EXPECT_EQ(others, 0u);
  }
}

TEST(SetupRules, PriorityAndChannelAssignment) {
  std::vector<uint8_t> image(kSetupDatabaseSize, 0);
  const auto priority = [&] {
    return std::vector<int>(image.begin() + at::kPriority, image.begin() + at::kPriority + 5);
  };
  std::copy_n(std::array<uint8_t, 5>{0, 1, 2, 3, 4}.begin(), 5, image.begin() + at::kPriority);
  ChoosePriority(image, 2, 0);  // row 0's value: row 0 becomes unassigned
  EXPECT_EQ(priority(), (std::vector<int>{6, 1, 0, 3, 4}));
  ChoosePriority(image, 3, 5);  // item 5 below the first row: unassigned, no one else touched
  EXPECT_EQ(priority(), (std::vector<int>{6, 1, 0, 6, 4}));
  ChoosePriority(image, 1, 4);
  EXPECT_EQ(priority(), (std::vector<int>{6, 4, 0, 6, 6}));

  const size_t e5 = at::kAssign + 4 * 5;
  EXPECT_TRUE(ChooseAssignment(image, 5, 0, 3));
  EXPECT_FALSE(ChooseAssignment(image, 5, 2, 3)) << "3 already in entry 5";
  EXPECT_EQ(image[e5 + 2], 0);
  EXPECT_TRUE(ChooseAssignment(image, 5, 2, 0)) << "0 is never a duplicate";
  EXPECT_TRUE(ChooseAssignment(image, 5, 1, 0));
  EXPECT_TRUE(ChooseAssignment(image, 6, 1, 3)) << "another entry may hold it";
  EXPECT_TRUE(ChooseAssignment(image, 5, 0, 3)) << "the same position again";
  EXPECT_TRUE(ChooseAssignment(image, 5, 4, 3)) << "the fifth value is not checked";
  EXPECT_EQ(image[at::kAssignFifth + 4 * 5], 3);
  EXPECT_EQ(image[at::kAssignFifth + 4 * 5 + 1], 0);
  EXPECT_FALSE(ChooseAssignment(image, 16, 0, 1));
}

TEST(SetupRules, AccountAddRules) {
  struct Check {
    const char *id, *password, *again;
    AddCheck expected;
  };
  for (const Check& t : std::vector<Check>{{"bob", "pw1", "pw1", AddCheck::kOk},
                                           {"", "pw1", "pw1", AddCheck::kEmpty},
                                           {"bob", "", "", AddCheck::kEmpty},
                                           {"bob", "pw1", "", AddCheck::kEmpty},
                                           {"bob", "pw1", "pw2", AddCheck::kMismatch},
                                           {"bob", "4711", "4711", AddCheck::kFactoryPassword}})
    EXPECT_EQ(CheckNewAccount(t.id, t.password, t.again), t.expected) << t.id << "/" << t.password << "/" << t.again;

  std::vector<uint8_t> image(kSetupDatabaseSize, 0);
  UserRightsTable table;
  table.SetUserId(0, "admin");
  table.SetPassword(0, "Secret");
  table.SetUserId(3, "guest");
  std::copy(table.bytes.begin(), table.bytes.end(), image.begin() + at::kUserTable);
  struct Add {
    int slot;
    const char *id, *password;
    AddResult expected;
  };
  for (const Add& t : std::vector<Add>{{1, "ADMIN", "x1", AddResult::kDuplicateId},
                                       {1, "Guest", "x1", AddResult::kDuplicateId},
                                       {1, "carol", "sEcReT", AddResult::kDuplicatePassword},
                                       {1, "carol", "4711", AddResult::kRefused},
                                       {3, "GUEST", "new", AddResult::kAdded},
                                       {1, "carol", "c4r0l", AddResult::kAdded}}) {
    const std::vector<uint8_t> before = image;
    EXPECT_EQ(AddAccount(image, t.slot, t.id, t.password), t.expected) << t.id;
    if (t.expected != AddResult::kAdded) {
      EXPECT_EQ(image, before) << t.id;
    }
  }
  std::copy_n(image.begin() + at::kUserTable, kUserRightsTableSize, table.bytes.begin());
  EXPECT_EQ(table.UserId(1), "carol");
  EXPECT_EQ(table.Password(1), "c4r0l");
  EXPECT_EQ(table.UserId(3), "GUEST");
}

TEST(SetupRules, TimeZonesAndTheTimeProtocol) {
  struct Zone {
    int position;
    bool newer;
    uint8_t code;
  };
  for (const Zone& t : std::vector<Zone>{{0, false, 0},
                                         {11, false, 11},
                                         {24, false, 24},
                                         {10, true, 10},
                                         {11, true, 24},
                                         {12, true, 11},
                                         {24, true, 23}}) {
    EXPECT_EQ(ZoneForPosition(t.position, t.newer), t.code) << t.position << " " << t.newer;
    EXPECT_EQ(PositionForZone(t.code, t.newer), t.position) << int(t.code) << " " << t.newer;
  }
  EXPECT_TRUE(NewerDatabase(4, 2));
  EXPECT_TRUE(NewerDatabase(5, 0));
  EXPECT_FALSE(NewerDatabase(4, 1));
  EXPECT_FALSE(NewerDatabase(3, 9));
  struct Offset {
    uint8_t code;
    std::optional<int> seconds;
  };
  for (const Offset& t : std::vector<Offset>{{0, std::nullopt},
                                             {1, 0},
                                             {2, 3600},
                                             {13, 12 * 3600},
                                             {14, -11 * 3600},
                                             {23, -2 * 3600},
                                             {24, 34200},
                                             {25, 0},
                                             {200, 0}})
    EXPECT_EQ(ZoneOffsetSeconds(t.code), t.seconds) << int(t.code);
  // No code gives one hour west.
  for (int code = 0; code < 256; ++code)
    EXPECT_NE(ZoneOffsetSeconds(static_cast<uint8_t>(code)), std::optional<int>(-3600));
  EXPECT_EQ(Rfc868ToUnix(2208988800u), 0u);
  EXPECT_EQ(Rfc868ToUnix(3913056000u), 1704067200u);  // 2024-01-01
  EXPECT_EQ(Rfc868ToUnix(0u), 2085978496u);           // wraps modulo 2^32
}

TEST(SetupRules, DstQuestionWindowBoundary) {
  std::vector<uint8_t> image(kSetupDatabaseSize, 0);
  image[at::kDst] = 1;
  image[at::kDstEnd + 0] = 9;   // October
  image[at::kDstEnd + 3] = 27;  // the 28th
  image[at::kDstEnd + 4] = 3;
  image[at::kDstEnd + 5] = 0;
  image[at::kDstWindowHours] = 1;
  image[at::kDstWindowMinutes] = 30;
  const int64_t end = GetUsertimeToTime_t(UserTime{2024, 9, 27, 3, 0, 0});
  struct Case {
    int64_t now;
    bool due;
  };
  for (const Case& t :
       std::vector<Case>{{end, true}, {end - 5400, true}, {end - 5401, false}, {end + 1, false}, {end - 60, true}})
    EXPECT_EQ(DstQuestionDue(image, t.now), t.due) << end - t.now;
  image[at::kDst] = 0;
  EXPECT_FALSE(DstQuestionDue(image, end));
  // The day is limited to the month.
  image[at::kDstStart] = 1;
  image[at::kDstStart + 3] = 30;
  ClampDstDay(image, at::kDstStart);
  EXPECT_EQ(image[at::kDstStart + 3], 28);
}

TEST(SetupRules, SpotDwellGroupsAndProtocolBaudLowering) {
  struct Dwell {
    const char* what;
    uint8_t mode;
    RowMask selected;
    int c, position;
    RowMask written;
  };
  for (const Dwell& t : std::vector<Dwell>{{"per channel", 0, 0, 5, 3, 0x0020},
                                           {"per channel, selected rows", 0, 0x0421, 5, 3, 0x0421},
                                           {"groups of four", 1, 0, 5, 3, 0x00F0},
                                           {"groups of eight, two selected", 2, 0x0101, 8, 2, 0xFFFF},
                                           {"groups of four on 8 channels", 1, 0, 6, 1, 0x00F0}}) {
    SCOPED_TRACE(t.what);
    std::vector<uint8_t> image = Host(Bytes());
    image[at::kSpotMode] = t.mode;
    const std::vector<uint8_t> before = image;
    SetSpotDwell(image, t.c, t.position, t.selected, t.what == std::string("groups of four on 8 channels") ? 8 : 16);
    for (int c = 0; c < 16; ++c)
      EXPECT_EQ(image[at::kSpotDwell + static_cast<size_t>(c)],
                Selected(t.written, c) ? t.position * 5 : before[at::kSpotDwell + static_cast<size_t>(c)])
          << c;
  }
  // Mode 2 copies each group's first dwell over the group.
  std::vector<uint8_t> image = Host(Bytes());
  for (int c = 0; c < 16; ++c) image[at::kSpotDwell + static_cast<size_t>(c)] = static_cast<uint8_t>(c * 5);
  SetSpotMode(image, 2, 16);
  EXPECT_EQ(Row16(image, at::kSpotDwell), (std::array<uint8_t, 16>{0, 0, 0, 0, 0, 0, 0, 0, 40, 40, 40, 40, 40, 40, 40, 40}));

  struct Baud {
    uint8_t stored;
    int allowed;
    uint8_t after;
  };
  for (const Baud& t : std::vector<Baud>{{5, 3, 2}, {2, 3, 2}, {3, 3, 2}, {0, 6, 0}, {4, 0, 0}, {1, 1, 0}}) {
    std::vector<uint8_t> img(kSetupDatabaseSize, 0);
    img[at::kPtzBaud + 2] = t.stored;
    img[at::kPtzBaud + 3] = 5;
    ChooseProtocol(img, at::kPtzProtocol, at::kPtzBaud, 2, 7, t.allowed, 0, 16);
    EXPECT_EQ(img[at::kPtzProtocol + 2], 7);
    EXPECT_EQ(img[at::kPtzBaud + 2], t.after) << int(t.stored) << " of " << t.allowed;
    EXPECT_EQ(img[at::kPtzBaud + 3], 5) << "another channel keeps its rate";
  }
}

// Changes by key go through the pages' rules; a refusal names the key and
// leaves the whole record as it was, earlier changes of the call included.
TEST(SetupEdits, PageRulesRefusalsAndTheirReasons) {
  using I = SetupFieldId;
  using Edits = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* what;
    Edits edits;
    int channels = 16, account = 0;
    RowMask selected = 0;
    const char* refusal = nullptr;  // part of the reason; null: accepted
    std::vector<std::tuple<I, int, uint32_t>> expect = {};
    uint8_t minor = 2;  // database 4.minor
  };
  const Case cases[] = {
      {"a channel the recorder lacks", {{"hue.5", "10"}}, 4, 0, 0, "channel 5 is not on this recorder"},
      {"common rule over the selected rows", {{"covert.2", "on"}}, 16, 0, 0b0110, nullptr,
       {{I::kCovert, 1, 1}, {I::kCovert, 2, 1}}},
      {"rate 0 disables the On/Off pair, and nothing of the call is kept",
       {{"record_mode_2_rate.1", "0"}, {"record_mode_2_enable.1", "on"}}, 16, 0, 0, "On/Off pair is disabled"},
      {"slider range", {{"hue.1", "101"}}, 16, 0, 0, "offers 0 to 100"},
      {"the administrator's slot for another account", {{"user_level.1", "2"}}, 16, 2, 0, "only the administrator"},
      {"the administrator edits it", {{"user_level.1", "2"}}, 16, 0, 0, nullptr, {{I::kUserLevel, 0, 2}}},
      {"an account needs ID and password", {{"user_id.3", "bob"}}, 16, 0, 0, "both user_id.3 and user_password.3"},
      {"IDs unique without regard to case",
       {{"user_id.2", "bob"}, {"user_password.2", "one"}, {"user_id.3", "BOB"}, {"user_password.3", "two"}}, 16, 0, 0,
       "user 3: another account has this ID"},
      {"month change limits the day", {{"dst_start_day", "30"}, {"dst_start_month", "1"}}, 16, 0, 0, nullptr,
       {{I::kDstStartMonth, 0, 1}, {I::kDstStartDay, 0, 28}}},
      {"a day the month lacks", {{"dst_start_month", "1"}, {"dst_start_day", "29"}}, 16, 0, 0, "the month has 29 days"},
      {"the end time is the question's window", {{"dst_end_hour", "5"}}, 16, 0, 0, nullptr,
       {{I::kDstEndHour, 0, 5}, {I::kDstWindowHours, 0, 5}}},
      {"the window only through the end time", {{"dst_window_hours", "1"}}, 16, 0, 0, "set with the DST end time"},
      {"no dwell times in modes 4-6", {{"spot_sequence_mode", "5"}, {"spot_dwell_time.1", "10"}}, 16, 0, 0,
       "spot mode 5 has no dwell times"},
      {"dwell in steps of 5", {{"spot_dwell_time.1", "12"}}, 16, 0, 0, "multiple of 5"},
      {"the first rank is never unassigned", {{"priority_list.1", "6"}}, 16, 0, 0, "first rank takes 0 to 4"},
      {"a rank's item leaves its old rank unassigned", {{"priority_list.2", "3"}, {"priority_list.3", "3"}}, 16, 0, 0,
       nullptr, {{I::kPriorityList, 1, kUnassigned}, {I::kPriorityList, 2, 3}}},
      {"a camera once per input", {{"channel_assignment.1.1", "3"}, {"channel_assignment.1.2", "3"}}, 16, 0, 0,
       "already assigned"},
      {"a language the recorder did not announce", {{"language", "1"}}, 16, 0, 0, "offers no language"},
      {"protocol lowers the baud index", {{"ptz_protocol.1", "1"}}, 16, 0, 0, nullptr,
       {{I::kPtzProtocol, 0, 1}, {I::kPtzBaudRate, 0, 2}, {I::kPtzBaudRate, 1, 5}}},
      {"a baud rate the protocol lacks", {{"ptz_protocol.1", "1"}, {"ptz_baud_rate.1", "3"}}, 16, 0, 0,
       "allows 3 baud rates"},
      {"read only", {{"major_version", "5"}}, 16, 0, 0, "read only"},
      {"the fifth event action from 4.2 on", {{"event_actions_group_1_fifth", "yes"}}, 16, 0, 0, nullptr,
       {{I::kEventActionsGroup1Fifth, 0, 1}}},
      {"no fifth event action in 4.1", {{"event_actions_group_1_fifth", "yes"}}, 16, 0, 0, "only in databases newer",
       {}, 1},
      {"motion cells beyond the page's 8 x 8", {{"motion_area.1.9", "00000000000"}}, 16, 0, 0, "cells 1-8 of rows 1-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetupDatabase db;
    std::string error;
    ASSERT_TRUE(SetupDatabase::FromBytes(Bytes(4, c.minor), db, error));
    // Filler IDs would collide at random; rates other than 0 keep the pairs usable.
    for (int slot = 0; slot < 8; ++slot) db.SetText(SetupFieldId::kUserId, slot, "user" + std::to_string(slot));
    for (int ch = 0; ch < 16; ++ch) {
      db.SetValue(SetupFieldId::kRecordMode2Rate, ch, 1);
      db.SetValue(SetupFieldId::kPtzBaudRate, ch, 5);
    }
    db.SetValue(SetupFieldId::kDstStartMonth, 0, 0);
    const SetupDatabase original = db;
    EditContext context;
    context.shape.channels = c.channels;
    context.account = c.account;
    context.selected = c.selected;
    // Camera protocol entry 1: the second built-in protocol with three baud rates.
    context.tables.info[0x40 + 2] = 2;
    context.tables.info[0x40 + 3] = 3;
    const bool ok = ApplySetupEdits(db, c.edits, context, error);
    if (c.refusal) {
      EXPECT_FALSE(ok);
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
      EXPECT_TRUE(db == original) << "a refused call changes nothing";
      continue;
    }
    ASSERT_TRUE(ok) << error;
    for (auto [id, entry, value] : c.expect) EXPECT_EQ(db.Value(id, entry), value) << FieldOf(id).key << entry;
  }
}

}  // namespace
}  // namespace orva::setup
