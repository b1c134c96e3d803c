// The connection history file: layout, ring, same-recorder rule, order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "connect_history.h"
#include "gui_support.h"

namespace orva::view {
namespace {

ConnectEntry Entry(const std::string& address, int32_t port, uint32_t time, const std::string& site = "") {
  ConnectEntry e;
  e.address = address;
  e.port = port;
  e.time = time;
  e.site = site;
  return e;
}

std::vector<char> Bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32At(const std::vector<char>& bytes, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

TEST(ConnectHistory, EntryLayoutIsHostOrderBehindAnEightByteHead) {
  const auto file = guitest::FreshFolder("hist") / "Log" / kConnectHistoryFileName;
  std::string error;
  ASSERT_TRUE(RecordConnection(file, Entry("192.0.2.10", 2000, 0x01020304, "Gate"), error)) << error;
  const auto bytes = Bytes(file);
  ASSERT_EQ(bytes.size(), kConnectHeadSize + kConnectEntrySize);
  EXPECT_EQ(U32At(bytes, 0), 0u);  // not wrapped
  EXPECT_EQ(U32At(bytes, 4), 1u);  // next index
  EXPECT_STREQ(bytes.data() + 8, "192.0.2.10");
  EXPECT_EQ(U32At(bytes, 8 + 260), 2000u);
  EXPECT_EQ(U32At(bytes, 8 + 264), 0x01020304u);
  EXPECT_EQ(U32At(bytes, 8 + 268), 0u);
  EXPECT_STREQ(bytes.data() + 8 + 272, "Gate");
}

TEST(ConnectHistory, HundredAndFirstConnectionOverwritesTheOldest) {
  const auto file = guitest::FreshFolder("hist") / kConnectHistoryFileName;
  std::string error;
  for (uint32_t i = 0; i < 100; ++i)
    ASSERT_TRUE(RecordConnection(file, Entry("10.0.0." + std::to_string(i), 2000, 1000 + i), error)) << error;
  auto bytes = Bytes(file);
  EXPECT_EQ(bytes.size(), kConnectHeadSize + 100 * kConnectEntrySize);
  EXPECT_NE(U32At(bytes, 0), 0u);  // the ring has wrapped
  EXPECT_EQ(U32At(bytes, 4), 0u);

  ASSERT_TRUE(RecordConnection(file, Entry("10.0.1.1", 2000, 5000), error));
  bytes = Bytes(file);
  EXPECT_EQ(bytes.size(), kConnectHeadSize + 100 * kConnectEntrySize) << "the file must not grow";
  EXPECT_STREQ(bytes.data() + 8, "10.0.1.1") << "the oldest entry (slot 0) is replaced";
  // The next one replaces the then-oldest, slot 1 (time 1001), even when the
  // times are not in slot order.
  ASSERT_TRUE(RecordConnection(file, Entry("10.0.1.2", 2000, 6000), error));
  bytes = Bytes(file);
  EXPECT_STREQ(bytes.data() + 8 + kConnectEntrySize, "10.0.1.2");
  EXPECT_EQ(U32At(bytes, 8 + kConnectEntrySize + 268), 1u);

  std::vector<ConnectEntry> list;
  ASSERT_TRUE(ReadConnectHistory(file, list, error));
  ASSERT_EQ(list.size(), 100u);
  EXPECT_EQ(list.front().address, "10.0.1.2");
  EXPECT_EQ(list[1].address, "10.0.1.1");
  EXPECT_EQ(list.back().address, "10.0.0.2");
}

TEST(ConnectHistory, SameRecorderIsRefreshedInPlaceBeforeAndAfterWrapping) {
  const auto file = guitest::FreshFolder("hist") / kConnectHistoryFileName;
  std::string error;
  ASSERT_TRUE(RecordConnection(file, Entry("192.0.2.1", 2000, 10, "Old site"), error));
  ASSERT_TRUE(RecordConnection(file, Entry("192.0.2.2", 2000, 20), error));
  ASSERT_TRUE(RecordConnection(file, Entry("192.0.2.1", 2001, 30), error)) << "another port is another recorder";
  ASSERT_TRUE(RecordConnection(file, Entry("192.0.2.1", 2000, 40, "New site"), error));
  auto bytes = Bytes(file);
  EXPECT_EQ(bytes.size(), kConnectHeadSize + 3 * kConnectEntrySize);
  EXPECT_EQ(U32At(bytes, 4), 3u);
  EXPECT_EQ(U32At(bytes, 8 + 264), 40u);
  std::vector<ConnectEntry> list;
  ASSERT_TRUE(ReadConnectHistory(file, list, error));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].time, 40u);
  EXPECT_EQ(list[1].time, 30u);
  EXPECT_EQ(list[2].time, 20u);
  EXPECT_EQ(SiteFor(list, "192.0.2.1", 2000).value_or("?"), "New site");
  EXPECT_FALSE(SiteFor(list, "192.0.2.9", 2000).has_value());

  // After wrapping: a known recorder still keeps its one entry.
  for (uint32_t i = 0; i < 97; ++i) ASSERT_TRUE(RecordConnection(file, Entry("10.1.0." + std::to_string(i), 2000, 100 + i), error));
  ASSERT_TRUE(RecordConnection(file, Entry("192.0.2.2", 2000, 900), error));
  bytes = Bytes(file);
  EXPECT_NE(U32At(bytes, 0), 0u);
  EXPECT_EQ(U32At(bytes, 8 + kConnectEntrySize + 264), 900u) << "slot 1 refreshed";
  ASSERT_TRUE(ReadConnectHistory(file, list, error));
  EXPECT_EQ(std::count_if(list.begin(), list.end(), [](const ConnectEntry& e) { return e.address == "192.0.2.2"; }), 1);
}

TEST(ConnectHistory, DamagedOrMissingFilesLoseNothingAndNeverWriteOutsideTheRing) {
  const auto folder = guitest::FreshFolder("hist");
  std::string error;
  std::vector<ConnectEntry> list{Entry("x", 1, 1)};
  EXPECT_TRUE(ReadConnectHistory(folder / "missing.log", list, error));
  EXPECT_TRUE(list.empty());

  // A head that points far beyond the ring.
  const auto file = folder / kConnectHistoryFileName;
  {
    std::ofstream out(file, std::ios::binary);
    const uint32_t head[2] = {0, 5000};
    out.write(reinterpret_cast<const char*>(head), sizeof head);
  }
  ASSERT_TRUE(RecordConnection(file, Entry("192.0.2.7", 2000, 1), error)) << error;
  EXPECT_EQ(Bytes(file).size(), kConnectHeadSize + kConnectEntrySize);

  // A file cut in the middle of an entry: only whole entries are read.
  {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out.write("partial", 7);
  }
  ASSERT_TRUE(ReadConnectHistory(file, list, error));
  EXPECT_EQ(list.size(), 1u);

  // Texts longer than the field are cut, never written past it.
  ASSERT_TRUE(RecordConnection(file, Entry(std::string(400, 'a'), 2000, 2, std::string(400, 's')), error));
  ASSERT_TRUE(ReadConnectHistory(file, list, error));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].address.size(), kConnectTextBytes - 1);
  EXPECT_EQ(list[0].site.size(), kConnectTextBytes - 1);
}

}  // namespace
}  // namespace orva::view
