// The setup window and its editing rules: the frame-rate budget, the
// resolution groups, the top frame rate, the video standard cascade,
// priority and channel assignment, the account rules, the time zones and
// the Time protocol, the DST question; the window's frame with one page at
// a time and rows only for the recorder's channels, the changes list before
// sending, save and load; and a camera name set against the simulator that
// reaches the panes. With ORVA_GUI_SHOTS set, the window is saved there.
#include "setup_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <ctime>

#include "gui_support.h"
#include "orva/services/resources.h"
#include "orva/link/time_convert.h"
#include "orva/setup/setup_fields.h"
#include "orva/sim/simulator.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "orva/view/video_view.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;
using namespace setup;

void Shot(QWidget* widget, const char* name) {
  if (const char* dir = std::getenv("ORVA_GUI_SHOTS"))
    widget->grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QString::fromLatin1(name));
}

// A record in network order, version 4.2, with recognisable filler in
// every byte so that anything written by mistake shows.
std::vector<uint8_t> Bytes(uint8_t major = 4, uint8_t minor = 2) {
  std::vector<uint8_t> b(kSetupDatabaseSize);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
  b[0] = major;
  b[1] = minor;
  b[at::kVideoStandard] = 0;
  b[at::kSpotMode] = 0;
  for (int c = 0; c < 16; ++c) {
    for (size_t r : {at::kResolution1, at::kResolution2, at::kMotionResolution, at::kResolution4, at::kResolution5})
      b[r + static_cast<size_t>(c)] = 0;
    b[at::kMode1Enable + static_cast<size_t>(c)] = 1;
  }
  return b;
}

SetupDatabase Record(const std::vector<uint8_t>& bytes) {
  SetupDatabase db;
  std::string error;
  EXPECT_TRUE(SetupDatabase::FromBytes(bytes, db, error)) << error;
  return db;
}

std::vector<uint8_t> Host(const std::vector<uint8_t>& bytes) {
  const auto host = HostBytes(Record(bytes));
  return {host.begin(), host.end()};
}

SetupEnv Env(int channels, int product = 0) {
  SetupEnv env;
  env.channels = channels;
  env.product = product;
  return env;
}

template <typename T>
T* Find(SetupWindow& w, const QString& name) {
  return w.CurrentPage() ? w.CurrentPage()->findChild<T*>(name) : nullptr;
}

// Clicks a list button of the shown page and picks item i.
void Choose(SetupWindow& w, const QString& button, int item) {
  auto* b = Find<QPushButton>(w, button);
  ASSERT_NE(b, nullptr) << button.toStdString();
  b->click();
  ASSERT_NE(w.OpenList(), nullptr) << button.toStdString();
  w.OpenList()->Pick(item);
}

std::array<uint8_t, 16> Row16(ConstImage image, size_t base) {
  std::array<uint8_t, 16> out{};
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(base), 16, out.begin());
  return out;
}

// The pages address the record through offsets of their own; they must be the
// field table's, or show, diff and the pages would disagree about a field.
TEST(SetupRules, PageOffsetsAreTheFieldTablesOffsets) {
  struct Pair {
    size_t page;
    SetupFieldId field;
  };
  const Pair pairs[] = {
      {at::kMajor, SetupFieldId::kMajorVersion},
      {at::kMinor, SetupFieldId::kMinorVersion},
      {at::kVideoStandard, SetupFieldId::kVideoStandard},
      {at::kSystemNumber, SetupFieldId::kSystemNumber},
      {at::kClock, SetupFieldId::kRecorderClock},
      {at::kHue, SetupFieldId::kHue},
      {at::kSaturation, SetupFieldId::kSaturation},
      {at::kContrast, SetupFieldId::kContrast},
      {at::kBrightness, SetupFieldId::kBrightness},
      {at::kCovert, SetupFieldId::kCovert},
      {at::kCameraNames, SetupFieldId::kCameraName},
      {at::kSpotMode, SetupFieldId::kSpotSequenceMode},
      {at::kSpotDwell, SetupFieldId::kSpotDwellTime},
      {at::kSpotMember, SetupFieldId::kSpotSequenceMembership},
      {at::kDisplayChoice1, SetupFieldId::kDisplayChoice1},
      {at::kDisplaySwitch1, SetupFieldId::kDisplaySwitch1},
      {at::kDisplaySwitch2, SetupFieldId::kDisplaySwitch2},
      {at::kDisplayChoice2, SetupFieldId::kDisplayChoice2},
      {at::kDisplayChoice3, SetupFieldId::kDisplayChoice3},
      {at::kDisplayChoice4, SetupFieldId::kDisplayChoice4},
      {at::kDisplayChoice5, SetupFieldId::kDisplayChoice5},
      {at::kResolutionClass, SetupFieldId::kRecordingResolutionClass},
      {at::kRecSwitch1, SetupFieldId::kRecordingSwitch1},
      {at::kRecSwitch2, SetupFieldId::kRecordingSwitch2},
      {at::kTopRate, SetupFieldId::kTopFrameRate},
      {at::kValueA, SetupFieldId::kRecordingValueA},
      {at::kValueB, SetupFieldId::kRecordingValueB},
      {at::kRecChoice, SetupFieldId::kRecordingChoice},
      {at::kRecChoice2, SetupFieldId::kRecordingChoice2},
      {at::kMode1Rate, SetupFieldId::kRecordMode1Rate},
      {at::kMode1Enable, SetupFieldId::kRecordMode1Enable},
      {at::kMode2Rate, SetupFieldId::kRecordMode2Rate},
      {at::kMode2Enable, SetupFieldId::kRecordMode2Enable},
      {at::kMotionRate, SetupFieldId::kMotionRecordRate},
      {at::kMotionEnable, SetupFieldId::kMotionRecordEnable},
      {at::kMotionSensitivity, SetupFieldId::kMotionSensitivity},
      {at::kMotionAreas, SetupFieldId::kMotionArea},
      {at::kMode4Rate, SetupFieldId::kRecordMode4Rate},
      {at::kMode4Enable, SetupFieldId::kRecordMode4Enable},
      {at::kSchedule, SetupFieldId::kRecordingSchedule},
      {at::kMode5Rate, SetupFieldId::kRecordMode5Rate},
      {at::kMode5Enable, SetupFieldId::kRecordMode5Enable},
      {at::kMode5Sensitivity, SetupFieldId::kRecordMode5Sensitivity},
      {at::kMode6FlagsA, SetupFieldId::kRecordMode6FlagsA},
      {at::kMode6FlagsB, SetupFieldId::kRecordMode6FlagsB},
      {at::kMode6Value, SetupFieldId::kRecordMode6Value},
      {at::kPriority, SetupFieldId::kPriorityList},
      {at::kLanguage, SetupFieldId::kLanguage},
      {at::kDateFormat, SetupFieldId::kDateFormat},
      {at::kStatusChoice, SetupFieldId::kSystemStatusChoice},
      {at::kSensor, SetupFieldId::kSensorMode},
      {at::kAutoDelete, SetupFieldId::kAutoDelete},
      {at::kPtzAddress, SetupFieldId::kPtzAddress},
      {at::kPtzProtocol, SetupFieldId::kPtzProtocol},
      {at::kPtzBaud, SetupFieldId::kPtzBaudRate},
      {at::kCtrlAddress, SetupFieldId::kControllerAddress},
      {at::kCtrlProtocol, SetupFieldId::kControllerProtocol},
      {at::kCtrlBaud, SetupFieldId::kControllerBaudRate},
      {at::kDst, SetupFieldId::kDaylightSaving},
      {at::kDstState, SetupFieldId::kDaylightSavingState},
      {at::kDstStart, SetupFieldId::kDstStartMonth},
      {at::kDstEnd, SetupFieldId::kDstEndMonth},
      {at::kDstWindowHours, SetupFieldId::kDstWindowHours},
      {at::kDstWindowMinutes, SetupFieldId::kDstWindowMinutes},
      {at::kDstEndAnswer, SetupFieldId::kDstEndAnswer},
      {at::kMailText, SetupFieldId::kEmailText1},
      {at::kMailChoice, SetupFieldId::kEmailChoice},
      {at::kEventActions1, SetupFieldId::kEventActionsGroup1},
      {at::kEventActions2, SetupFieldId::kEventActionsGroup2},
      {at::kEventActions3, SetupFieldId::kEventActionsGroup3},
      {at::kResolution1, SetupFieldId::kRecordMode1Resolution},
      {at::kResolution2, SetupFieldId::kRecordMode2Resolution},
      {at::kMotionResolution, SetupFieldId::kMotionRecordResolution},
      {at::kResolution4, SetupFieldId::kRecordMode4Resolution},
      {at::kResolution5, SetupFieldId::kRecordMode5Resolution},
      {at::kResolution6, SetupFieldId::kRecordMode6Resolution},
      {at::kTimeZone, SetupFieldId::kTimeZone},
      {at::kNtp, SetupFieldId::kNtp},
      {at::kNtpKind, SetupFieldId::kNtpServerKind},
      {at::kNtpBuiltInName, SetupFieldId::kBuiltinNtpServerName},
      {at::kNtpAddress, SetupFieldId::kNtpServerAddress},
      {at::kNtpUserName, SetupFieldId::kUserNtpServerName},
      {at::kPanLow, SetupFieldId::kPanLowLimit},
      {at::kPanHigh, SetupFieldId::kPanHighLimit},
      {at::kTiltLow, SetupFieldId::kTiltLowLimit},
      {at::kTiltHigh, SetupFieldId::kTiltHighLimit},
      {at::kEventValue2, SetupFieldId::kEventGroup2Value},
      {at::kEventValue3, SetupFieldId::kEventGroup3Value},
      {at::kDeinterlace, SetupFieldId::kDeinterlace},
      {at::kUserTable, SetupFieldId::kStopRecordingRight},
      {at::kAssign, SetupFieldId::kChannelAssignment},
      {at::kAssignFifth, SetupFieldId::kChannelAssignmentFifth},
      {at::kSmartSwitch1, SetupFieldId::kSmartSwitch1},
      {at::kSmartInterval, SetupFieldId::kSmartInterval},
      {at::kSmartSwitch2, SetupFieldId::kSmartSwitch2},
      {at::kEventFifth1, SetupFieldId::kEventActionsGroup1Fifth},
      {at::kEventFifth2, SetupFieldId::kEventActionsGroup2Fifth},
      {at::kEventFifth3, SetupFieldId::kEventActionsGroup3Fifth},
      {at::kSystemOption, SetupFieldId::kSystemOption},
  };
  for (const Pair& p : pairs) EXPECT_EQ(p.page, FieldOf(p.field).offset) << FieldOf(p.field).key;
  EXPECT_EQ(at::kCameraNameBytes, FieldOf(SetupFieldId::kCameraName).width);
  EXPECT_EQ(at::kMailTextBytes, FieldOf(SetupFieldId::kEmailText1).width);
  EXPECT_EQ(at::kNtpNameBytes, FieldOf(SetupFieldId::kUserNtpServerName).width);
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

TEST(SetupWindow, MotionAreaAndScheduleWriteOnlyTheirCells) {
  SetupWindow w(Record(Bytes()), Env(16), 255);
  w.show();
  w.ShowPage(SetupPageId::kMotionArea);
  const std::vector<uint8_t> before(w.Image().begin(), w.Image().end());
  Find<QPushButton>(w, QStringLiteral("channel.2"))->click();  // channel 3
  auto* grid = Find<QWidget>(w, QStringLiteral("motionGrid"));
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->size(), QSize(360, 288));
  const size_t grid3 = at::kMotionAreas + 99 * 2;
  const uint8_t cell = before[grid3 + 11 * 1 + 4];
  QTest::mouseClick(grid, Qt::LeftButton, {}, QPoint(4 * 45 + 10, 1 * 36 + 10));
  EXPECT_EQ(w.Image()[grid3 + 11 * 1 + 4], cell == 1 ? 0 : 1);
  Find<QPushButton>(w, QStringLiteral("clearAll"))->click();
  for (size_t i = 0; i < w.Image().size(); ++i) {
    const bool inBlock = i >= grid3 && i < grid3 + 99 && (i - grid3) / 11 < 8 && (i - grid3) % 11 < 8;
    if (inBlock)
      EXPECT_EQ(w.Image()[i], 0) << i - grid3;
    else
      EXPECT_EQ(w.Image()[i], before[i]) << "byte " << i;
  }
  w.ShowPage(SetupPageId::kSchedule);
  Find<QPushButton>(w, QStringLiteral("checkAll"))->click();
  Find<QCheckBox>(w, QStringLiteral("hour.3.13"))->click();  // Tuesday 13:00 off again
  for (int d = 0; d < 7; ++d)
    for (int h = 0; h < 24; ++h) EXPECT_EQ(w.Image()[at::kSchedule + 24 * d + h], d == 2 && h == 13 ? 0 : 1);
  EXPECT_EQ(w.Image()[at::kSchedule + 168], before[at::kSchedule + 168]);
  EXPECT_EQ(w.Image()[at::kSchedule - 1], before[at::kSchedule - 1]);
}

TEST(SetupWindow, FrameOnePageAtATimeAndOnlyTheRecordersChannels) {
  const SetupDatabase record = Record(Bytes());
  SetupWindow w(record, Env(4), 255);
  w.show();
  EXPECT_EQ(w.size(), QSize(618, 546));
  EXPECT_TRUE(w.CategoryButton(SetupCategory::kDisplay)->isChecked()) << "opens on Display";
  const SetupCategory categories[] = {SetupCategory::kDisplay, SetupCategory::kRec, SetupCategory::kSystem,
                                      SetupCategory::kEvent};
  int pages = 0;
  for (SetupCategory category : categories) {
    w.CategoryButton(category)->click();
    for (SetupCategory other : categories) EXPECT_EQ(w.CategoryButton(other)->isChecked(), other == category);
    for (int id = 0; id < static_cast<int>(SetupPageId::kCount); ++id) {
      QAbstractButton* b = w.PageButton(static_cast<SetupPageId>(id));
      if (!b) continue;
      b->click();
      ASSERT_NE(w.CurrentPage(), nullptr) << id;
      ++pages;
      auto check = [&](const char* what) {
        SCOPED_TRACE(w.CurrentPage()->objectName().toStdString() + what);
        EXPECT_EQ(w.findChildren<SetupPage*>().size(), 1);
        EXPECT_EQ(w.CurrentPage()->geometry(), QRect(197, 83, 403, 417));
        // Rows exist for channels 1-4 only.
        const auto boxes = w.CurrentPage()->findChildren<QCheckBox*>(QRegularExpression(QStringLiteral("^select\\.")));
        for (QCheckBox* box : boxes) EXPECT_LE(box->objectName().mid(7).toInt(), 4);
        if (!boxes.isEmpty()) {
          EXPECT_EQ(boxes.size(), 4);
        }
      };
      check("");
      Shot(&w, ("setup_" + w.CurrentPage()->objectName().mid(5).toStdString() + ".png").c_str());
      if (auto* sub = Find<QPushButton>(w, QStringLiteral("subPage"))) {
        const SetupPageId parent = w.CurrentPage()->Id();
        sub->click();
        ASSERT_TRUE(guitest::WaitFor([&] { return w.CurrentPage() && w.CurrentPage()->Id() != parent; }, 2s));
        ++pages;
        check(" (sub-page)");
        Find<QPushButton>(w, QStringLiteral("back"))->click();
        ASSERT_TRUE(guitest::WaitFor([&] { return w.CurrentPage() && w.CurrentPage()->Id() == parent; }, 2s));
      }
    }
  }
  EXPECT_EQ(pages, 31);
  // Only looking at every page changes nothing: the record goes back as it came.
  EXPECT_TRUE(w.Changes().empty());
  const std::vector<uint8_t> sent = w.Record().NetworkBytes();
  EXPECT_EQ(sent, Bytes());
}

TEST(SetupWindow, RecordModeBudgetOnOffAndResolutionOnThePage) {
  std::vector<uint8_t> bytes = Bytes();
  const std::array<uint8_t, 4> group{5, 3, 2, 9};
  for (int c = 0; c < 16; ++c)
    bytes[at::kMode1Rate + static_cast<size_t>(c)] = c < 4 ? group[static_cast<size_t>(c)] : 1;
  SetupWindow w(Record(bytes), Env(16, 1), 255);
  w.show();
  w.ShowPage(SetupPageId::kRecMode1);
  Find<QCheckBox>(w, QStringLiteral("select.4"))->setChecked(true);
  Find<QSlider>(w, QStringLiteral("rate.4"))->setValue(30);
  EXPECT_EQ(w.Image()[at::kMode1Rate + 3], 20);
  EXPECT_EQ(Find<QSlider>(w, QStringLiteral("rate.4"))->value(), 20);
  EXPECT_EQ(Find<QLabel>(w, QStringLiteral("rateText.4"))->text(), QStringLiteral("20 fps"));
  Find<QSlider>(w, QStringLiteral("rate.1"))->setValue(0);
  EXPECT_EQ(w.Image()[at::kMode1Enable], 0);
  EXPECT_FALSE(Find<OnOffPair>(w, QStringLiteral("enable.1"))->isEnabled());
  EXPECT_TRUE(Find<OnOffPair>(w, QStringLiteral("enable.2"))->isEnabled());
  Find<QSlider>(w, QStringLiteral("rate.1"))->setValue(2);
  EXPECT_TRUE(Find<OnOffPair>(w, QStringLiteral("enable.1"))->isEnabled());
  // On/Off with the common editing rule: rows 4 and 9 selected.
  Find<QCheckBox>(w, QStringLiteral("select.9"))->setChecked(true);
  Find<OnOffPair>(w, QStringLiteral("enable.9"))->OffButton()->click();
  EXPECT_EQ(w.Image()[at::kMode1Enable + 3], 0);
  EXPECT_EQ(w.Image()[at::kMode1Enable + 8], 0);
  EXPECT_EQ(w.Image()[at::kMode1Enable + 9], 1);
  // The resolution tab: 2CIF for the first group gives each channel 120 / 2 / 4.
  Find<QPushButton>(w, QStringLiteral("tab.1"))->click();
  Find<QPushButton>(w, QStringLiteral("res1.1"))->click();
  for (int c = 0; c < 16; ++c) {
    EXPECT_EQ(w.Image()[at::kResolution1 + static_cast<size_t>(c)], c < 4 ? 1 : 0) << c;
    EXPECT_EQ(w.Image()[at::kMode1Rate + static_cast<size_t>(c)], c < 4 ? 15 : c == 8 ? 1 : 1) << c;
  }
  Shot(&w, "setup_record_mode.png");
}

TEST(SetupWindow, CommonEditingRuleAllNoneAndReset) {
  SetupWindow w(Record(Bytes()), Env(8), 255);
  w.show();
  w.ShowPage(SetupPageId::kCameraImage);
  const auto hue = [&] { return Row16(w.Image(), at::kHue); };
  const std::array<uint8_t, 16> before = hue();
  Find<QPushButton>(w, QStringLiteral("selectAll"))->click();
  Find<QSlider>(w, QStringLiteral("value.2"))->setValue(77);
  for (int c = 0; c < 16; ++c)
    EXPECT_EQ(hue()[static_cast<size_t>(c)], c < 8 ? 77 : before[static_cast<size_t>(c)]) << c;
  EXPECT_EQ(Find<QLabel>(w, QStringLiteral("text.8"))->text(), QStringLiteral("77"));
  Find<QPushButton>(w, QStringLiteral("selectNone"))->click();
  Find<QSlider>(w, QStringLiteral("value.3"))->setValue(10);
  EXPECT_EQ(hue()[2], 10);
  EXPECT_EQ(hue()[3], 77);
  // An unselected row moved alone; Reset acts on the selected rows.
  Find<QCheckBox>(w, QStringLiteral("select.3"))->setChecked(true);
  Find<QCheckBox>(w, QStringLiteral("select.5"))->setChecked(true);
  Find<QPushButton>(w, QStringLiteral("reset"))->click();
  EXPECT_EQ(hue()[2], 50);
  EXPECT_EQ(hue()[4], 50);
  EXPECT_EQ(hue()[3], 77);
  // Another tab clears the selection and shows its own field.
  Find<QPushButton>(w, QStringLiteral("tab.2"))->click();
  EXPECT_FALSE(Find<QCheckBox>(w, QStringLiteral("select.3"))->isChecked());
  EXPECT_EQ(Find<QSlider>(w, QStringLiteral("value.1"))->value(), std::min<int>(100, w.Image()[at::kContrast]));
  // Values survive a change of page: the page is rebuilt from the record.
  w.ShowPage(SetupPageId::kCovert);
  w.ShowPage(SetupPageId::kCameraImage);
  EXPECT_EQ(Find<QSlider>(w, QStringLiteral("value.3"))->value(), 50);
}

TEST(SetupWindow, UserAccountsAddRulesOnThePage) {
  std::vector<uint8_t> bytes = Bytes();
  UserRightsTable table;
  table.SetUserId(0, "admin");
  table.SetPassword(0, "4711");
  table.SetLevel(0, 1);
  std::copy(table.bytes.begin(), table.bytes.end(), bytes.begin() + at::kUserTable);
  SetupWindow w(Record(bytes), Env(16), 255);
  w.show();
  w.ShowPage(SetupPageId::kUsers);
  Choose(w, QStringLiteral("slot"), 2);
  auto* id = Find<QLineEdit>(w, QStringLiteral("newId"));
  auto* pw = Find<QLineEdit>(w, QStringLiteral("password"));
  auto* again = Find<QLineEdit>(w, QStringLiteral("again"));
  auto* add = Find<QPushButton>(w, QStringLiteral("add"));
  struct Case {
    const char *id, *pw, *again;
    bool enabled;
  };
  for (const Case& t : std::vector<Case>{{"", "a", "a", false},
                                         {"bob", "a", "b", false},
                                         {"bob", "4711", "4711", false},
                                         {"bob", "a", "", false},
                                         {"bob", "a", "a", true}}) {
    id->setText(QString::fromLatin1(t.id));
    pw->setText(QString::fromLatin1(t.pw));
    again->setText(QString::fromLatin1(t.again));
    EXPECT_EQ(add->isEnabled(), t.enabled) << t.id << "/" << t.pw << "/" << t.again;
  }
  id->setText(QStringLiteral("Admin"));
  add->click();
  EXPECT_FALSE(Find<QLabel>(w, QStringLiteral("message"))->text().isEmpty());
  EXPECT_EQ(id->selectedText(), QStringLiteral("Admin")) << "the ID is selected for correction";
  EXPECT_EQ(GetText(w.Image(), at::kUserTable + kUserIdOffset + 2 * 32, 32), "");
  id->setText(QStringLiteral("bob"));
  add->click();
  EXPECT_EQ(GetText(w.Image(), at::kUserTable + kUserIdOffset + 2 * 32, 32), "bob");
  EXPECT_EQ(GetText(w.Image(), at::kUserTable + kUserPasswordOffset + 2 * 32, 32), "a");
  EXPECT_EQ(Find<QLabel>(w, QStringLiteral("currentId"))->text(), QStringLiteral("bob"));
  EXPECT_TRUE(id->text().isEmpty()) << "the edits are cleared";
}

TEST(SetupWindow, VideoStandardChoiceCascadesOverThePages) {
  SetupWindow w(Record(Bytes()), Env(4, 1), 255);
  w.show();
  w.CategoryButton(SetupCategory::kSystem)->click();
  w.PageButton(SetupPageId::kSystemBasics)->click();
  const std::vector<uint8_t> before(w.Image().begin(), w.Image().end());
  Choose(w, QStringLiteral("videoStandard"), 0);  // NTSC already: nothing
  EXPECT_TRUE(std::equal(before.begin(), before.end(), w.Image().begin()));
  Choose(w, QStringLiteral("videoStandard"), 1);
  EXPECT_EQ(w.Image()[at::kVideoStandard], 1);
  for (int c = 0; c < 16; ++c)
    EXPECT_EQ(w.Image()[at::kMode4Rate + static_cast<size_t>(c)],
              c < 4 ? 25 : before[at::kMode4Rate + static_cast<size_t>(c)]);
  w.CategoryButton(SetupCategory::kRec)->click();
  w.PageButton(SetupPageId::kRecMode4)->click();
  EXPECT_EQ(Find<QLabel>(w, QStringLiteral("rateText.2"))->text(), QStringLiteral("25 fps"));
  EXPECT_EQ(Find<QSlider>(w, QStringLiteral("rate.2"))->maximum(), 25);
}

TEST(SetupWindow, OkListsTheChangesAndSendsOnlyWhenConfirmed) {
  std::vector<uint8_t> bytes = Bytes();
  std::fill_n(bytes.begin() + at::kCameraNames + 64, 32, 0);
  std::copy_n("Yard", 4, bytes.begin() + at::kCameraNames + 64);
  SetupWindow w(Record(bytes), Env(16), 255);
  std::vector<SetupChange> shown;
  bool confirm = false;
  w.SetConfirmHook([&](const std::vector<SetupChange>& changes) {
    shown = changes;
    return confirm;
  });
  w.show();
  w.ShowPage(SetupPageId::kCameraNames);
  auto* name = Find<QLineEdit>(w, QStringLiteral("name.3"));
  const QString old = name->text();
  name->selectAll();
  QTest::keyClicks(name, QStringLiteral("Gate"));
  w.OkButton()->click();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].key, "camera_name.3");
  EXPECT_EQ(shown[0].before, "Yard");
  EXPECT_EQ(old, QStringLiteral("Yard"));
  EXPECT_EQ(shown[0].after, "Gate");
  EXPECT_TRUE(w.isVisible()) << "not confirmed: the window stays";
  EXPECT_EQ(w.result(), 0);
  ASSERT_NE(w.CurrentPage(), nullptr) << "the page is shown again";
  confirm = true;
  w.OkButton()->click();
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(w.Result().Text(SetupFieldId::kCameraName, 2), "Gate");
  EXPECT_EQ(w.Result().Order(), SetupByteOrder::kNetwork);
  std::vector<uint8_t> expected = bytes;
  std::copy_n("Gate", 4, expected.begin() + at::kCameraNames + 64);
  EXPECT_EQ(w.Result().NetworkBytes(), expected) << "only the name changed";
}

TEST(SetupWindow, SaveAndLoadTheWholeRecordAndRefuseOthers) {
  QTemporaryDir dir;
  SetupWindow w(Record(Bytes()), Env(16), 255);
  w.ShowPage(SetupPageId::kCameraNames);
  const QString saved = dir.filePath(QStringLiteral("a.dvrsetup"));
  QString error;
  ASSERT_TRUE(w.SaveFile(saved, error)) << error.toStdString();
  QFile file(saved);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray written = file.readAll();
  file.close();
  EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.end()), Bytes()) << "network order, byte for byte";

  auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
  };
  std::vector<uint8_t> other = Bytes();
  other[at::kCameraNames] = 'Z';
  other[at::kCameraNames + 1] = 0;
  struct Case {
    const char* what;
    QString path;
    bool review, loads;
  };
  const std::vector<Case> cases = {
      {"too short", write("short", std::vector<uint8_t>(100, 1)), false, false},
      {"one byte too long", write("long", std::vector<uint8_t>(kSetupDatabaseSize + 1, 1)), false, false},
      {"other version", write("v5", Bytes(5, 0)), false, false},
      {"other version, review", write("v5r", Bytes(5, 0)), true, true},
      {"missing", dir.filePath(QStringLiteral("none")), false, false},
      {"same version", write("same", other), false, true},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.what);
    SetupEnv env = Env(16);
    env.review = t.review;
    SetupWindow target(Record(Bytes()), env, 255);
    target.ShowPage(SetupPageId::kCameraNames);
    const std::vector<uint8_t> before = target.Record().NetworkBytes();
    QString message;
    EXPECT_EQ(target.LoadFile(t.path, message), t.loads);
    EXPECT_EQ(message.isEmpty(), t.loads);
    if (!t.loads) {
      EXPECT_EQ(target.Record().NetworkBytes(), before) << "a refused file changes nothing";
    }
    ASSERT_NE(target.CurrentPage(), nullptr);
  }
  SetupWindow target(Record(Bytes()), Env(16), 255);
  target.ShowPage(SetupPageId::kCameraNames);
  ASSERT_TRUE(target.LoadFile(cases.back().path, error));
  EXPECT_EQ(Find<QLineEdit>(target, QStringLiteral("name.1"))->text(), QStringLiteral("Z"))
      << "the page shows the file";
  ASSERT_EQ(target.Changes().size(), 1u) << "changes count from the recorder's record";
  EXPECT_EQ(target.Changes()[0].key, "camera_name.1");
}

// A Time-protocol server on a free local port answering `value`.
struct TimeServer {
  QTcpServer server;
  explicit TimeServer(uint32_t value) {
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this, value] {
      QTcpSocket* s = server.nextPendingConnection();
      const char b[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
      s->write(b, 4);
      s->disconnectFromHost();
    });
  }
};

TEST(SetupWindow, NtpClockFromTheTimeServerElseThisComputer) {
  const uint32_t at2024 = 3913056000u + 3600u * 5;  // 2024-01-01 05:00:00 UTC
  TimeServer answering(at2024);
  QTcpServer closed;
  closed.listen(QHostAddress::LocalHost, 0);
  const uint16_t deadPort = closed.serverPort();
  closed.close();
  struct Case {
    const char* what;
    uint8_t zone, dateFormat, major, minor;
    bool reachable;
    std::string expect;  // prefix; empty: nothing shown
  };
  const std::vector<Case> cases = {
      {"GMT+1, year first", 2, 0, 4, 1, true, "2024-01-01  06:00:0"},
      {"GMT-5, month first", 20, 1, 4, 1, true, "01-01-2024  00:00:0"},
      {"GMT+9:30, day first", 24, 2, 4, 1, true, "01-01-2024  14:30:0"},
      {"no zone shows nothing", 0, 0, 4, 1, true, ""},
      {"no server: this computer's time, shifted", 14, 0, 4, 2, false, "pc"},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.what);
    std::vector<uint8_t> bytes = Bytes(t.major, t.minor);
    bytes[at::kTimeZone] = t.zone;
    bytes[at::kDateFormat] = t.dateFormat;
    bytes[at::kDst] = 0;
    SetupEnv env = Env(16);
    env.timeServers = {"127.0.0.1"};
    env.timePort = t.reachable ? answering.server.serverPort() : deadPort;
    SetupWindow w(Record(bytes), env, 255);
    w.show();
    const int64_t pc = static_cast<int64_t>(std::time(nullptr)) - 11 * 3600;
    w.ShowPage(SetupPageId::kNtp);
    auto* clock = Find<QLabel>(w, QStringLiteral("zoneTime"));
    ASSERT_NE(clock, nullptr);
    if (t.expect.empty()) {
      guitest::Spin(300ms);
      EXPECT_TRUE(clock->text().isEmpty());
    } else if (t.expect == "pc") {
      guitest::Spin(500ms);
      const std::string shown = clock->text().toStdString();
      bool near = false;
      for (int64_t s = pc - 2; s <= pc + 3; ++s) near = near || FormatRecorderTime(s, 0, "  ") == shown;
      EXPECT_TRUE(near) << shown;
    } else {
      EXPECT_TRUE(guitest::WaitFor([&] { return clock->text().startsWith(QString::fromStdString(t.expect)); }, 3s))
          << clock->text().toStdString();
    }
  }
  // The zone list of a newer database has +9:30 at position 11.
  SetupWindow w(Record(Bytes(4, 2)), Env(16), 255);
  w.show();
  w.ShowPage(SetupPageId::kNtp);
  Choose(w, QStringLiteral("zone"), 11);
  EXPECT_EQ(w.Image()[at::kTimeZone], 24);
  Choose(w, QStringLiteral("zone"), 12);
  EXPECT_EQ(w.Image()[at::kTimeZone], 11);
}

TEST(SetupSession, CameraNameSetInTheWindowReachesThePanes) {
  sim::SimConfig config;
  config.host = "127.0.0.1";
  config.port = 0;
  config.channels = 8;
  config.video.fps = 5;
  sim::Simulator simulator(config);
  std::string error;
  ASSERT_TRUE(simulator.Start(error)) << error;
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  window.show();
  ConnectParams login;
  login.address = "127.0.0.1";
  login.port = simulator.Port();
  login.user = "admin";
  login.password = "4711";
  window.Connect(login);
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));
  // The rights arrive just after live view starts: ask until the window opens.
  for (int i = 0; i < 50 && !window.SetupWindowShown(); ++i) {
    if (NoticeWindow* notice = window.CurrentNotice()) notice->close();
    window.Command(QStringLiteral("RSetup"))->click();
    guitest::WaitFor([&] { return window.SetupWindowShown() != nullptr; }, 300ms);
  }
  SetupWindow* setup = window.SetupWindowShown();
  ASSERT_NE(setup, nullptr);
  Shot(setup, "setup_window.png");
  // The window's texts come from the resource file.
  EXPECT_TRUE(services::Resources::Loaded());
  EXPECT_EQ(services::Resources::Text("setup.page.camera_names"), QStringLiteral("Camera Names"));
  std::vector<SetupChange> listed;
  setup->SetConfirmHook([&](const std::vector<SetupChange>& changes) {
    listed = changes;
    return true;
  });
  setup->ShowPage(SetupPageId::kCameraNames);
  EXPECT_EQ(setup->CurrentPage()->findChildren<QLineEdit*>().size(), 8) << "one edit per channel of the recorder";
  auto* name = Find<QLineEdit>(*setup, QStringLiteral("name.2"));
  ASSERT_NE(name, nullptr);
  name->selectAll();
  QTest::keyClicks(name, QStringLiteral("Loading bay"));
  Shot(setup, "setup_names.png");
  setup->OkButton()->click();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].key, "camera_name.2");
  EXPECT_TRUE(guitest::WaitFor([&] { return window.VideoView()->CameraTitle(1) == QStringLiteral("Loading bay"); }, 5s))
      << window.VideoView()->CameraTitle(1).toStdString();
  EXPECT_TRUE(guitest::WaitFor([&] { return window.CurrentNotice() != nullptr; }, 3s));
  if (window.CurrentNotice()) {
    EXPECT_EQ(window.CurrentNotice()->Shown(), (Notice{10, 0}));
  }
  // The recorder keeps it.
  const std::vector<uint8_t> kept = simulator.SetupImage();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(kept.data()) + at::kCameraNames + 32), "Loading bay");
  window.Disconnect();

  // Without the setup right: notice 15/0 and no window.
  MainWindow other(services);
  other.show();
  login.user = "guest";
  login.password = "guest";
  other.Connect(login);
  ASSERT_TRUE(guitest::WaitFor([&] { return other.Session() && other.Session()->LiveActive(); }, 10s));
  guitest::Spin(500ms);
  other.Command(QStringLiteral("RSetup"))->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return other.CurrentNotice() != nullptr; }, 2s));
  EXPECT_EQ(other.CurrentNotice()->Shown(), kNoticeNotPermitted);
  guitest::Spin(300ms);
  EXPECT_EQ(other.SetupWindowShown(), nullptr);
  other.Disconnect();
}

TEST(SetupSession, RefusedUpdateAsksAgainAndInitializeClosesTheWindow) {
  sim::SimConfig config;
  config.host = "127.0.0.1";
  config.port = 0;
  config.channels = 4;
  config.video.fps = 5;
  config.setup.updateNack = 81;
  sim::Simulator simulator(config);
  std::string error;
  ASSERT_TRUE(simulator.Start(error)) << error;
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  std::vector<Notice> asked;
  int yes = 1;
  window.SetQuestionHook([&](Notice notice) {
    asked.push_back(notice);
    return yes-- > 0;
  });
  window.show();
  ConnectParams login;
  login.address = "127.0.0.1";
  login.port = simulator.Port();
  login.user = "admin";
  login.password = "4711";
  window.Connect(login);
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));
  auto open = [&] {
    for (int i = 0; i < 50 && !window.SetupWindowShown(); ++i) {
      if (NoticeWindow* notice = window.CurrentNotice()) notice->close();
      window.Command(QStringLiteral("RSetup"))->click();
      guitest::WaitFor([&] { return window.SetupWindowShown() != nullptr; }, 300ms);
    }
    return window.SetupWindowShown();
  };
  SetupWindow* setup = open();
  ASSERT_NE(setup, nullptr);
  setup->SetConfirmHook([](const std::vector<SetupChange>&) { return true; });
  setup->OkButton()->click();
  // 7/1: asked, sent again, refused again, asked again (and declined).
  ASSERT_TRUE(guitest::WaitFor([&] { return asked.size() >= 2; }, 5s));
  EXPECT_EQ(asked[0], (Notice{7, 1}));
  EXPECT_EQ(asked[1], (Notice{7, 1}));
  guitest::Spin(300ms);
  EXPECT_EQ(asked.size(), 2u);

  // Initialize: 16/0 asked, DB_INIT_REQ, the open window closes unsent.
  setup = open();
  ASSERT_NE(setup, nullptr);
  setup->ShowPage(SetupPageId::kSystemBasics);
  yes = 1;
  asked.clear();
  Find<QPushButton>(*setup, QStringLiteral("initialize"))->click();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], (Notice{16, 0}));
  EXPECT_TRUE(guitest::WaitFor([&] { return window.SetupWindowShown() == nullptr; }, 3s));
  // The next opening works on a fresh record.
  EXPECT_NE(open(), nullptr);
  window.Disconnect();
  EXPECT_EQ(window.SetupWindowShown(), nullptr) << "disconnecting ends the window";
}

TEST(SetupSession, SavedRecordReviewedWithoutARecorder) {
  QTemporaryDir dir;
  const QString good = dir.filePath(QStringLiteral("good")), bad = dir.filePath(QStringLiteral("bad"));
  {
    QString error;
    SetupWindow source(Record(Bytes(3, 0)), Env(16), 255);
    ASSERT_TRUE(source.SaveFile(good, error));
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(65536, '\0'));
  }
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  QString error;
  EXPECT_FALSE(window.OpenSetupFile(bad, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(window.SetupWindowShown(), nullptr);
  ASSERT_TRUE(window.OpenSetupFile(good, &error)) << error.toStdString();
  SetupWindow* review = window.SetupWindowShown();
  ASSERT_NE(review, nullptr);
  EXPECT_FALSE(review->OkButton()->isVisible()) << "nothing to send to";
  review->ShowPage(SetupPageId::kSystemBasics);
  EXPECT_FALSE(Find<QPushButton>(*review, QStringLiteral("initialize"))->isEnabled());
  review->reject();
  EXPECT_EQ(window.SetupWindowShown(), nullptr);
}

}  // namespace
}  // namespace orva::view
