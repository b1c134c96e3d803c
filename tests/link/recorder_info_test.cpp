// The recorder's log block and status block: record sizes other than the
// slot's, more records than the store holds, the label and detail rules, the
// newest-first views and their pages, the capacity formats at their edges,
// short and long status blocks, and the days-until-full estimate.
#include <gtest/gtest.h>

#include <algorithm>

#include "orva/link/recorder_status.h"
#include "orva/link/remote_log.h"
#include "orva/link/wire.h"

namespace orva {
namespace {

std::vector<uint8_t> LogBlock(size_t records, uint32_t size, uint32_t type = 0x10, uint32_t kind = 1,
                              const std::string& text = "detail") {
  // Records smaller than their head still get whole heads written (the
  // parser must refuse them without reading them).
  const size_t stride = std::max<size_t>(size, 24);
  std::vector<uint8_t> block(records * stride, 0);
  for (size_t i = 0; i < records; ++i) {
    uint8_t* p = block.data() + i * stride;
    StoreBE32(p, static_cast<uint32_t>(i + 1));
    StoreBE32(p + 4, size);
    StoreBE32(p + 8, type);
    StoreBE32(p + 12, kind);
    StoreBE32(p + 16, 1260180930);
    StoreBE32(p + 20, 0x0005);
    for (size_t c = 0; c < text.size() && 24 + c < stride; ++c) p[24 + c] = static_cast<uint8_t>(text[c]);
  }
  return block;
}

TEST(RemoteLogTest, BlocksOfEveryRecordSizeAreCutToTheStore) {
  struct Case {
    size_t records;
    uint32_t size;
    size_t extraBytes;
    size_t expected;
    size_t detailLength;
  };
  const std::string longText(300, 'x');
  const Case cases[] = {
      {3, 0, 0, 0, 0},          // a record size of 0 yields nothing
      {3, 20, 0, 0, 0},         // smaller than the record head
      {3, 24, 0, 3, 0},         // head only
      {3, 200, 0, 3, 176},      // exactly the slot: the text fills it, no terminator
      {3, 256, 100, 3, 176},    // larger records are cut to the slot; the partial one is lost
      {2501, 200, 0, 2500, 176} // more than the store holds
  };
  for (const Case& c : cases) {
    auto block = LogBlock(c.records, c.size, 0x10, 1, longText);
    block.resize(block.size() + c.extraBytes, 0xEE);
    const auto records = ParseLogBlock(block);
    ASSERT_EQ(records.size(), c.expected) << c.size;
    if (!records.empty()) {
      EXPECT_EQ(records.back().number, c.expected);
      EXPECT_EQ(records[0].detail.size(), c.detailLength) << c.size;
    }
  }
}

TEST(RemoteLogTest, LabelsDetailsViewsAndPages) {
  struct Case {
    uint32_t type, kind;
    int typeIndex, kindIndex;
    std::string detail;
  };
  const Case cases[] = {
      {0x10, 0x01, kLogEvent, 0, "01 03 "},      // events list their channels
      {0x01, 0x02, kLogPower, 1, "text"},        // power: the text for kind 1 only
      {0x01, 0x04, kLogPower, 2, ""},
      {0x04, 0x04, kLogOperation, 2, ""},        // operation kinds 2 and 8 show no text
      {0x04, 0x200, kLogOperation, 5, "text"},   // kind 9 shares kind 5's label
      {0x08, 0x00, kLogClient, -1, "text"},      // kind mask 0: an empty kind column
      {0x02, 0x40, kLogRecord, -1, "text"},      // a kind bit the type does not use
      {0x60, 0x01, -1, -1, ""},                  // no known type: number and time only
  };
  for (const Case& c : cases) {
    const auto records = ParseLogBlock(LogBlock(1, 200, c.type, c.kind, "text"));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(LogTypeOf(records[0]), c.typeIndex) << c.type;
    EXPECT_EQ(LogKindOf(records[0]), c.kindIndex) << c.type << " " << c.kind;
    EXPECT_EQ(LogDetailText(records[0]), c.detail) << c.type << " " << c.kind;
  }
  LogRecord early;
  early.time = -5;
  EXPECT_EQ(LogTimeText(early.time, 0), "1970-01-01 00:00:00");
  EXPECT_EQ(LogTimeText(1260180930, 2), "07-12-2009 10:15:30");

  std::vector<LogRecord> mixed(34);
  for (size_t i = 0; i < mixed.size(); ++i) {
    mixed[i].number = static_cast<uint32_t>(i + 1);
    mixed[i].typeMask = i % 2 ? 0x10 : 0x01;
  }
  const auto all = LogViewRows(mixed, LogView::kAll);
  ASSERT_EQ(all.size(), 34u);
  EXPECT_EQ(all.front(), 33u);  // newest first
  EXPECT_EQ(LogPageCount(all.size()), 2);  // the second page holds the oldest alone
  EXPECT_EQ(LogPageCount(33), 1);
  const auto events = LogViewRows(mixed, LogView::kEvent);
  EXPECT_EQ(events.size(), 17u);
  EXPECT_EQ(std::string(LogViewDocumentName(LogView::kEvent)), "Remote Log Event");
}

TEST(RecorderStatusTest, CapacitiesBlocksAndTheDaysLeft) {
  const std::pair<uint64_t, const char*> capacities[] = {
      {500, "  500 MByte"}, {400, "  400 MByte"}, {1023, " 1023 MByte"},      {1024, "    1 GByte"},
      {1048575, " 1023 GByte"}, {1048576, "  1.00 TByte"}, {2097152, "  2.00 TByte"}};
  for (auto [mb, text] : capacities) EXPECT_EQ(FormatCapacity(mb), text) << mb;

  std::vector<uint8_t> block(28, 0);
  StoreBE32(block.data(), 0x0005);
  StoreBE32(block.data() + 4, 2);
  StoreBE32(block.data() + 8, 500);
  StoreBE32(block.data() + 12, 100);
  block[16] = 1, block[20] = 64, block[24] = 2;
  const RecorderStatus full = ParseStatusBlock(block);
  EXPECT_TRUE(full.hasDevices);
  EXPECT_EQ(full.capacityA - full.capacityB, 400u);
  EXPECT_EQ((std::array<int, 3>{full.present[0], full.value[0], full.deviceState[0]}), (std::array<int, 3>{1, 64, 2}));
  const RecorderStatus plain = ParseStatusBlock(std::span(block).first(16));
  EXPECT_FALSE(plain.hasDevices);
  EXPECT_EQ(plain.present[0], 0);
  const RecorderStatus shortBlock = ParseStatusBlock(std::span(block).first(10));
  EXPECT_EQ(shortBlock.state, 2u);
  EXPECT_EQ(shortBlock.capacityA, 0u);  // half a word: its missing bytes count as 0
  EXPECT_EQ(shortBlock.capacityB, 0u);

  EXPECT_EQ(FormatMacAddress({0x00, 0x0a, 0x1b, 0x2c, 0x3d, 0x4e}), "00:0A:1B:2C:3D:4E");
  EXPECT_EQ(FormatBuildTime(1260180930), "2009  1207  1015");
  EXPECT_EQ(FormatBuildTime(-3), "1970  0101  0000");

  EXPECT_FALSE(DaysUntilFull({}).has_value());
  EXPECT_FALSE(DaysUntilFull({{0, 1000}}).has_value());
  EXPECT_FALSE(DaysUntilFull({{0, 1000}, {3600, 1000}}).has_value());  // not falling: unknown, not a guess
  EXPECT_FALSE(DaysUntilFull({{0, 1000}, {3600, 1200}}).has_value());
  const auto days = DaysUntilFull({{0, 10000}, {86400, 9000}});
  ASSERT_TRUE(days.has_value());
  EXPECT_DOUBLE_EQ(*days, 9.0);
}

}  // namespace
}  // namespace orva
