// The setup record: the field table's layout, byte preservation through the
// host/network round trip, exactly the listed numbers swapped, keys, shown
// values and edits by key, the text rule, diff, and the file refusals.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <fstream>
#include <set>

#include "orva/setup/setup_database.h"

namespace orva {
namespace {

// Every byte nonzero and position-dependent, gaps and the tail included.
SetupDatabase Patterned() {
  std::vector<uint8_t> bytes(kSetupDatabaseSize);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(1 + (i * 7 + i / 251) % 255);
  SetupDatabase db;
  std::string error;
  EXPECT_TRUE(SetupDatabase::FromBytes(bytes, db, error)) << error;
  return db;
}

// Written from the record's description, independently of the library's list.
struct DocRun {
  size_t offset, width, count;
};
constexpr DocRun kDocumentedRuns[] = {
    {0x0004, 4, 1},  {0x0288, 2, 1},  {0x028A, 2, 1},  {0x0DB0, 4, 1},   {0x0DB4, 4, 1},  {0x1078, 2, 1},
    {0x107A, 2, 1},  {0x10E0, 2, 64}, {0x1160, 4, 5},  {0x11F8, 2, 512}, {0x18C0, 2, 64},
};

TEST(SetupFieldTable, FieldsAreInOffsetOrderDoNotOverlapAndStayInTheInterpretedPart) {
  std::vector<int> owner(kSetupDatabaseSize, -1);
  size_t lastOffset = 0;
  std::set<std::string> keys;
  for (const SetupField& f : SetupFields()) {
    SCOPED_TRACE(f.key);
    EXPECT_GE(f.offset, lastOffset);
    lastOffset = f.offset;
    EXPECT_TRUE(keys.insert(f.key).second) << "duplicate key";
    EXPECT_LE(f.offset + f.Span(), kSetupInterpretedSize);
    EXPECT_GE(f.stride, f.width);
    if (f.inner) {
      EXPECT_EQ(f.count % f.inner, 0);
    }
    for (int e = 0; e < f.count; ++e)
      for (size_t b = 0; b < f.width; ++b) {
        int& o = owner[f.offset + static_cast<size_t>(e) * f.stride + b];
        EXPECT_EQ(o, -1) << "byte 0x" << std::hex << f.offset + e * f.stride + b << " also belongs to "
                         << (o >= 0 ? SetupFields()[o].key : "");
        o = static_cast<int>(f.id);
      }
  }
  // Gaps named in the record's description stay outside every field.
  for (size_t gap : {0x0280u, 0x0283u, 0x1946u, 0x19E3u, 0x1A3Fu}) EXPECT_EQ(owner[gap], -1) << std::hex << gap;
}

TEST(SetupFieldTable, TheMultiByteListIsTheDocumentedOneAndCoversEveryWideNumber) {
  auto runs = SetupMultiByteRuns();
  ASSERT_EQ(runs.size(), std::size(kDocumentedRuns));
  for (size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(runs[i].offset, kDocumentedRuns[i].offset);
    EXPECT_EQ(runs[i].width, kDocumentedRuns[i].width);
    EXPECT_EQ(runs[i].count, kDocumentedRuns[i].count);
  }
  auto inRun = [&](size_t offset, size_t width) {
    for (const DocRun& r : kDocumentedRuns)
      if (offset >= r.offset && offset < r.offset + r.width * r.count)
        return (offset - r.offset) % r.width == 0 && r.width == width;
    return false;
  };
  for (const SetupField& f : SetupFields()) {
    const bool wideNumber = f.width > 1 && f.kind != FieldKind::kText && f.kind != FieldKind::kPassword &&
                            f.kind != FieldKind::kIpv4 && f.kind != FieldKind::kCells;
    for (int e = 0; e < f.count; ++e)
      EXPECT_EQ(inRun(f.offset + static_cast<size_t>(e) * f.stride, f.width), wideNumber) << f.key << " " << e;
  }
}

TEST(SetupDatabaseOrder, OnlyTheListedNumbersChangeAndTheRoundTripRestoresEveryByte) {
  const SetupDatabase original = Patterned();
  SetupDatabase db = original;
  db.ToHostOrder();
  db.ToHostOrder();  // a second conversion changes nothing
  EXPECT_EQ(db.Order(), SetupByteOrder::kHost);
  const auto wire = original.Bytes();
  const auto host = db.Bytes();
  std::vector<bool> listed(kSetupDatabaseSize, false);
  for (const DocRun& r : kDocumentedRuns)
    for (size_t i = 0; i < r.count; ++i)
      for (size_t b = 0; b < r.width; ++b) {
        const size_t at = r.offset + i * r.width + b;
        listed[at] = true;
        const size_t mirrored = r.offset + i * r.width + (std::endian::native == std::endian::little ? r.width - 1 - b : b);
        ASSERT_EQ(host[at], wire[mirrored]) << std::hex << at;
      }
  for (size_t i = 0; i < kSetupDatabaseSize; ++i)
    if (!listed[i]) {
      ASSERT_EQ(host[i], wire[i]) << "unlisted byte 0x" << std::hex << i << " changed";
    }

  db.ToNetworkOrder();
  db.ToNetworkOrder();
  EXPECT_TRUE(std::equal(db.Bytes().begin(), db.Bytes().end(), wire.begin(), wire.end()));
  // A record edited in host order still leaves as network bytes.
  SetupDatabase edited = original;
  edited.ToHostOrder();
  EXPECT_EQ(edited.NetworkBytes(), std::vector<uint8_t>(wire.begin(), wire.end()));
  EXPECT_TRUE(edited == original);
}

TEST(SetupDatabaseOrder, NumbersReadAndWriteTheSameInEitherOrder) {
  struct Case {
    SetupFieldId id;
    int entry;
    uint32_t value;
    size_t offset;
    std::vector<uint8_t> wire;  // expected bytes in network order
  };
  const Case cases[] = {
      {SetupFieldId::kHue, 2, 77, 0x000A, {77}},
      {SetupFieldId::kRecordingValueB, 0, 0x00F0, 0x028A, {0x00, 0xF0}},
      {SetupFieldId::kPanLowLimit, 4, 0x1234, 0x10E8, {0x12, 0x34}},
      {SetupFieldId::kTiltHighLimit, 15, 0xBEEF, 0x115E, {0xBE, 0xEF}},
      {SetupFieldId::kRecordingChoice2, 0, 0x01020304, 0x1168, {1, 2, 3, 4}},
      {SetupFieldId::kEventGroup2Value, 0, static_cast<uint32_t>(-5), 0x116C, {0xFF, 0xFF, 0xFF, 0xFB}},
      {SetupFieldId::kChannelAssignmentFifth, 3, 9, 0x188C, {9}},
      {SetupFieldId::kRecordingSchedule, 24 * 6 + 23, 1, 0x0950 + 167, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FieldOf(c.id).key);
    for (bool hostFirst : {false, true}) {
      SetupDatabase db = Patterned();
      if (hostFirst) db.ToHostOrder();
      db.SetValue(c.id, c.entry, c.value);
      EXPECT_EQ(db.Value(c.id, c.entry), c.value);
      db.ToNetworkOrder();
      EXPECT_EQ(db.Value(c.id, c.entry), c.value);
      EXPECT_TRUE(std::equal(c.wire.begin(), c.wire.end(), db.Bytes().begin() + c.offset));
      db.ToHostOrder();
      EXPECT_EQ(db.Value(c.id, c.entry), c.value);
    }
  }
  // Entries out of range read 0 and write nothing.
  SetupDatabase db = Patterned();
  db.SetValue(SetupFieldId::kHue, 16, 9);
  db.SetValue(SetupFieldId::kHue, -1, 9);
  EXPECT_TRUE(db == Patterned());
  EXPECT_EQ(db.Value(SetupFieldId::kHue, 16), 0u);
}

TEST(SetupDatabaseText, TextsHoldWidthMinusOneBytesAndAreNeverCutInsideACharacter) {
  struct Case {
    std::string text;
    std::string stored;
    bool whole;
  };
  const std::string a31(31, 'a'), a30(30, 'a');
  const Case cases[] = {
      {"", "", true},
      {"Front door", "Front door", true},
      {a31, a31, true},
      {a31 + "b", a31, false},
      {a30 + "\xC3\xA9", a30, false},          // a two-byte character would end past byte 31
      {a30.substr(1) + "\xC3\xA9", a30.substr(1) + "\xC3\xA9", true},
  };
  for (const Case& c : cases) {
    SetupDatabase db = Patterned();
    EXPECT_EQ(db.SetText(SetupFieldId::kCameraName, 2, c.text), c.whole) << c.text;
    EXPECT_EQ(db.Text(SetupFieldId::kCameraName, 2), c.stored);
    const auto bytes = db.EntryBytes(SetupFieldId::kCameraName, 2);
    EXPECT_TRUE(std::all_of(bytes.begin() + c.stored.size(), bytes.end(), [](uint8_t b) { return b == 0; }));
    // The neighbours are untouched.
    EXPECT_EQ(db.Bytes()[0x0058 + 2 * 32 - 1], Patterned().Bytes()[0x0058 + 2 * 32 - 1]);
    EXPECT_EQ(db.Bytes()[0x0058 + 3 * 32], Patterned().Bytes()[0x0058 + 3 * 32]);
  }
  // A field without a terminator reads as its first 31 bytes.
  SetupDatabase db = Patterned();
  auto raw = db.MutableEntryBytes(SetupFieldId::kUserNtpServerName);
  std::fill(raw.begin(), raw.end(), uint8_t{'x'});
  EXPECT_EQ(db.Text(SetupFieldId::kUserNtpServerName), std::string(31, 'x'));
}

TEST(SetupKeys, KeysParseToTheirEntryAndEveryKeyRoundTrips) {
  struct Case {
    const char* key;
    SetupFieldId id;
    int entry;  // -1: refused
  };
  const Case cases[] = {
      {"camera_name.3", SetupFieldId::kCameraName, 2},
      {"camera_name.16", SetupFieldId::kCameraName, 15},
      {"camera_name.17", SetupFieldId::kCameraName, -1},
      {"camera_name.0", SetupFieldId::kCameraName, -1},
      {"camera_name", SetupFieldId::kCameraName, -1},
      {"camera_name.3.1", SetupFieldId::kCameraName, -1},
      {"hue.1x", SetupFieldId::kHue, -1},
      {"video_standard", SetupFieldId::kVideoStandard, 0},
      {"video_standard.1", SetupFieldId::kVideoStandard, -1},
      {"recording_schedule.1.0", SetupFieldId::kRecordingSchedule, 0},
      {"recording_schedule.7.23", SetupFieldId::kRecordingSchedule, 167},
      {"recording_schedule.8.0", SetupFieldId::kRecordingSchedule, -1},
      {"recording_schedule.1.24", SetupFieldId::kRecordingSchedule, -1},
      {"recording_schedule.3", SetupFieldId::kRecordingSchedule, -1},
      {"motion_area.16.9", SetupFieldId::kMotionArea, 15 * 9 + 8},
      {"motion_area.1.10", SetupFieldId::kMotionArea, -1},
      {"priority_list.5", SetupFieldId::kPriorityList, 4},
      {"priority_list.6", SetupFieldId::kPriorityList, -1},
      {"user_id.8", SetupFieldId::kUserId, 7},
      {"user_id.9", SetupFieldId::kUserId, -1},
      {"channel_assignment.2.4", SetupFieldId::kChannelAssignment, 7},
      {"no_such_field", SetupFieldId::kHue, -1},
  };
  for (const Case& c : cases) {
    auto parsed = ParseSetupKey(c.key);
    ASSERT_EQ(parsed.has_value(), c.entry >= 0) << c.key;
    if (!parsed) continue;
    EXPECT_EQ(parsed->field->id, c.id) << c.key;
    EXPECT_EQ(parsed->entry, c.entry) << c.key;
  }
  std::set<std::string> all;
  for (const SetupField& f : SetupFields())
    for (int e = 0; e < f.count; ++e) {
      const std::string key = SetupKeyName(f, e);
      auto parsed = ParseSetupKey(key);
      ASSERT_TRUE(parsed) << key;
      EXPECT_EQ(parsed->field, &f);
      EXPECT_EQ(parsed->entry, e);
      EXPECT_TRUE(all.insert(key).second) << key;
    }
  EXPECT_EQ(ShowSetup(Patterned()).size(), all.size());
}

TEST(SetupKeys, EditsByKeyAreShownBackAndBadValuesAreRefusedWithoutWriting) {
  struct Case {
    const char* key;
    std::string value;
    bool accepted;
    const char* shown;          // for accepted values
    size_t offset;              // a byte to check, or 0
    std::vector<uint8_t> bytes; // expected there (network order)
  };
  const Case cases[] = {
      {"video_standard", "PAL", true, "PAL", 0x0002, {1}},
      {"video_standard", "ntsc", true, "NTSC", 0x0002, {0}},
      {"video_standard", "7", true, "7", 0x0002, {7}},
      {"record_mode_1_resolution.5", "CIF", true, "CIF", 0x0FD0, {2}},
      {"record_mode_1_rate.5", "30", true, "30", 0x0294, {30}},
      {"covert.2", "on", true, "on", 0x0049, {1}},
      {"event_actions_group_3.4", "yes", true, "yes", 0x0FC7, {1}},
      {"recording_value_b", "240", true, "240", 0x028A, {0, 240}},
      {"event_group_2_value", "-5", true, "-5", 0x116C, {0xFF, 0xFF, 0xFF, 0xFB}},
      {"ntp_server_address", "192.168.1.20", true, "192.168.1.20", 0x1054, {192, 168, 1, 20}},
      {"motion_area.1.2", "10000000001", true, "10000000001", 0x030B, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
      {"camera_name.1", "Yard\\x09\\\\", true, "Yard\\x09\\\\", 0x0058, {'Y', 'a', 'r', 'd', 9, '\\', 0}},
      {"user_password.2", "secret", true, "(hidden)", 0x1760, {'s', 'e', 'c', 'r', 'e', 't', 0}},
      {"major_version", "5", false, "", 0, {}},
      {"recorder_clock", "0", false, "", 0, {}},
      {"hue.1", "256", false, "", 0, {}},
      {"hue.1", "-1", false, "", 0, {}},
      {"hue.1", "", false, "", 0, {}},
      {"video_standard", "SECAM", false, "", 0, {}},
      {"ntp_server_address", "1.2.3", false, "", 0, {}},
      {"ntp_server_address", "1.2.3.256", false, "", 0, {}},
      {"motion_area.1.1", "101", false, "", 0, {}},
      {"camera_name.1", std::string(32, 'n'), false, "", 0, {}},
      {"camera_name.1", "bad\\q", false, "", 0, {}},
      {"event_group_2_value", "2147483648", false, "", 0, {}},
      {"hue.17", "1", false, "", 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    SetupDatabase db = Patterned();
    db.ToHostOrder();
    std::string error;
    EXPECT_EQ(db.SetByKey(c.key, c.value, error), c.accepted);
    if (!c.accepted) {
      EXPECT_FALSE(error.empty());
      EXPECT_TRUE(db == Patterned());
      continue;
    }
    auto parsed = ParseSetupKey(c.key);
    EXPECT_EQ(db.FormatEntry(*parsed->field, parsed->entry), c.shown);
    const auto wire = db.NetworkBytes();
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), wire.begin() + c.offset));
    const auto changes = DiffSetup(Patterned(), db);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].key, c.key);
    EXPECT_EQ(changes[0].after, c.shown);
  }
}

TEST(SetupDiff, AnUntouchedEditedCopyHasNoChangesAndGapBytesAreCountedApart) {
  SetupDatabase before = Patterned();
  SetupDatabase after = before;
  after.ToHostOrder();
  EXPECT_TRUE(DiffSetup(before, after).empty());
  EXPECT_EQ(DiffUninterpretedBytes(before, after), 0u);
  std::vector<uint8_t> bytes = before.NetworkBytes();
  bytes[0x0281] ^= 1;  // a gap
  bytes[0xFBFF] ^= 1;  // the tail
  bytes[0x0008] = 42;  // hue.1
  SetupDatabase changed;
  std::string error;
  ASSERT_TRUE(SetupDatabase::FromBytes(bytes, changed, error));
  const auto diff = DiffSetup(before, changed);
  ASSERT_EQ(diff.size(), 1u);
  EXPECT_EQ(diff[0].key, "hue.1");
  EXPECT_EQ(diff[0].before, std::to_string(before.Bytes()[0x0008]));
  EXPECT_EQ(diff[0].after, "42");
  EXPECT_EQ(DiffUninterpretedBytes(before, changed), 2u);
}

TEST(SetupDatabaseUsers, TheUserTableReadsAndWritesThroughTheRightsTable) {
  SetupDatabase db = Patterned();
  UserRightsTable t;
  t.SetUserId(5, "Operator");
  t.SetLevel(5, 2);
  t.SetRightByte(5, Right::kSetup, 1);
  db.SetUsers(t);
  EXPECT_EQ(db.Text(SetupFieldId::kUserId, 5), "Operator");
  EXPECT_EQ(db.Value(SetupFieldId::kSetupRight, 5), 1u);
  EXPECT_EQ(db.Value(SetupFieldId::kUserLevel, 5), 2u);
  EXPECT_EQ(FindUserSlot(db.Users(), "operator"), 5);
  UserRightsTable parsed;
  std::string error;
  ASSERT_TRUE(ReadUserRightsFromSetupDatabase(db.Bytes(), parsed, error)) << error;
  EXPECT_EQ(parsed.bytes, t.bytes);
  // The bytes right after the table belong to the channel assignment.
  EXPECT_EQ(db.Bytes()[0x1840], Patterned().Bytes()[0x1840]);
}

class SetupFileTest : public ::testing::Test {
 protected:
  void TearDown() override { std::remove(path.c_str()); }
  void WriteBytes(const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::string path = "/tmp/orva_setup_file_" + std::to_string(getpid()) + ".bin";
};

TEST_F(SetupFileTest, SaveWritesNetworkOrderAndLoadReadsItBack) {
  SetupDatabase db = Patterned();
  db.ToHostOrder();
  std::string error;
  ASSERT_TRUE(SaveSetupFile(path, db, error)) << error;
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(file, Patterned().NetworkBytes());
  SetupDatabase loaded;
  ASSERT_TRUE(LoadSetupFile(path, loaded, error, &db)) << error;
  EXPECT_EQ(loaded.Order(), SetupByteOrder::kNetwork);
  EXPECT_TRUE(loaded == Patterned());
}

TEST_F(SetupFileTest, WrongSizesAndOtherVersionsAreRefusedAndLeaveTheTargetAlone) {
  const SetupDatabase current = Patterned();
  std::vector<uint8_t> other = current.NetworkBytes();
  other[1] ^= 0x10;  // another minor version
  struct Case {
    std::vector<uint8_t> bytes;
    const char* message;
  };
  const Case cases[] = {
      {{}, "exactly 64512 bytes"},
      {std::vector<uint8_t>(100, 1), "it has 100"},
      {std::vector<uint8_t>(kSetupDatabaseSize - 1, 1), "it has 64511"},
      {std::vector<uint8_t>(kSetupDatabaseSize + 1, 1), "it is longer"},
      {std::vector<uint8_t>(65536, 1), "it is longer"},
      {other, "version"},
  };
  for (const Case& c : cases) {
    WriteBytes(c.bytes);
    SetupDatabase target = current;
    std::string error;
    EXPECT_FALSE(LoadSetupFile(path, target, error, &current)) << c.message;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(target == current);
  }
  // Without a current record to compare with, any version loads.
  SetupDatabase target;
  std::string error;
  EXPECT_TRUE(LoadSetupFile(path, target, error)) << error;
  std::remove(path.c_str());
  EXPECT_FALSE(LoadSetupFile(path, target, error));
  EXPECT_NE(error.find("cannot read"), std::string::npos);
  EXPECT_FALSE(SaveSetupFile("/nonexistent-dir/x.bin", current, error));
}

}  // namespace
}  // namespace orva
