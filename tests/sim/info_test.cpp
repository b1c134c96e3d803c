// The recorder's log (LOG_INFO_REQ) and status (STATUS_INFO_REQ): the log
// block decoded record by record for several record sizes, the status block
// with and without the device section, the refusals and the options.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <tuple>

#include "archive_client.h"

namespace orva::sim {
namespace {

using namespace test;

constexpr uint16_t kRecOnReq = 32, kRecOnAck = 33, kRecStatus = 256, kBye48 = 4;
constexpr uint16_t kLogReq = 320, kLogAck = 321, kLogNack = 322;
constexpr uint16_t kStatusReq = 326, kStatusAck = 327, kStatusNack = 328;
constexpr uint32_t kPower = 0x01, kRecord = 0x02, kClient = 0x08, kEvent = 0x10;

const uint32_t kStart = WireTime(2023, 12, 31, 22, 0, 0);
const uint32_t kEnd = WireTime(2024, 1, 2, 1, 30, 0);

// Continuous recording on channels 1-3, the default events: motion (kind 2)
// every 10 minutes moved to channels 2 and 4, alarm (kind 4) every 2 hours on 1.
SimConfig FixedArchive() {
  SimConfig config;
  config.port = 0;
  config.channels = 4;
  config.archive.start = kStart;
  config.archive.end = kEnd;
  config.archive.channels.fill(false);
  config.archive.channels[0] = config.archive.channels[1] = config.archive.channels[2] = true;
  config.archive.events[0].channels.fill(false);
  config.archive.events[0].channels[1] = config.archive.events[0].channels[3] = true;
  config.archive.searchFragmentBytes = 1000;
  return config;
}

struct Record {
  uint32_t number, size, type, kind, time, channels;
  std::string detail;
  bool terminated;
};

std::vector<Record> Records(const std::vector<uint8_t>& block, size_t size) {
  std::vector<Record> records;
  EXPECT_EQ(block.size() % size, 0u);
  for (size_t at = 0; at + size <= block.size(); at += size) {
    const auto end = block.begin() + static_cast<ptrdiff_t>(at + size);
    const auto zero = std::find(block.begin() + static_cast<ptrdiff_t>(at + 24), end, 0);
    records.push_back({BigEndian32(block, at), BigEndian32(block, at + 4),
                       BigEndian32(block, at + 8), BigEndian32(block, at + 12),
                       BigEndian32(block, at + 16), BigEndian32(block, at + 20),
                       std::string(block.begin() + static_cast<ptrdiff_t>(at + 24), zero),
                       zero != end});
  }
  return records;
}

Reply Ask(RawClient& client, uint16_t code) {
  EXPECT_TRUE(client.SendMessage(code, {}));
  Reply reply;
  std::string error;
  EXPECT_TRUE(ReadReply(client, reply, error)) << error;
  return reply;
}

std::vector<Record> FetchLog(RawClient& client, size_t size) {
  const Reply reply = Ask(client, kLogReq);
  EXPECT_EQ(reply.code, kLogAck);
  EXPECT_GT(reply.fragmentSizes.size(), 1u);
  return Records(reply.bytes, size);
}

class LogTest : public testing::TestWithParam<int> {};

TEST_P(LogTest, BlockHoldsEventsAndWhatHappenedToTheRecorder) {
  const size_t size = static_cast<size_t>(GetParam());
  SimConfig config = FixedArchive();
  config.info.logRecordBytes = GetParam();
  config.info.logEvents = 10;
  config.archive.searchFragmentBytes = 300;  // several fragments for every record size
  Simulator sim(config);
  std::string error;
  ASSERT_TRUE(sim.Start(error)) << error;

  RawClient refused;
  ASSERT_TRUE(refused.Connect(sim.Port()));
  ASSERT_TRUE(refused.SendHello("guest", "wrong"));
  RawMessage bye;
  ASSERT_TRUE(refused.ReadMessage(bye));
  EXPECT_EQ(bye.code, kBye48);
  EXPECT_TRUE(refused.WaitClosed(std::chrono::seconds(3)));

  RawClient client;
  ASSERT_TRUE(client.Connect(sim.Port()));
  ASSERT_TRUE(LoginAndReadNotices(client));
  ASSERT_TRUE(client.SendMessage(kRecOnReq, {}));
  for (const uint16_t code : {kRecOnAck, kRecStatus}) {
    RawMessage m;
    ASSERT_TRUE(client.ReadMessage(m));
    EXPECT_EQ(m.code, code);
  }
  const std::vector<Record> records = FetchLog(client, size);

  // The latest ten event occurrences, ordered by start then kind.
  std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> events;  // time, kind, channels
  for (uint32_t t = kStart; t <= kEnd; ++t) {
    if (t % 600 == 0) events.emplace_back(t, 2, 0x0A);
    if (t % 7200 == 0) events.emplace_back(t, 4, 0x01);
  }
  events.erase(events.begin(), events.end() - 10);
  const std::string room(size - 25, 'x');
  auto cut = [&](const std::string& text) { return text.substr(0, room.size()); };
  struct Expected {
    uint32_t type, kind;
    std::string detailPrefix;
  };
  std::vector<Expected> own = {{kPower, 1, ""},
                               {kClient, 4, cut("guest 127.0.0.1:")},
                               {kClient, 1, cut("admin 127.0.0.1:")},
                               {kRecord, 1, "admin"}};
  ASSERT_EQ(records.size(), events.size() + own.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const Record& r = records[i];
    SCOPED_TRACE("record " + std::to_string(i));
    EXPECT_EQ(r.number, i + 1);
    EXPECT_EQ(r.size, size);
    EXPECT_TRUE(r.terminated);
    EXPECT_LE(r.detail.size(), room.size());
    if (i > 0) {
      EXPECT_GE(r.time, records[i - 1].time);
    }
    if (i < events.size()) {
      EXPECT_EQ(r.type, kEvent);
      EXPECT_EQ(std::make_tuple(r.time, r.kind, r.channels), events[i]);
      EXPECT_EQ(r.detail, "");
      continue;
    }
    const Expected& e = own[i - events.size()];
    EXPECT_EQ(r.type, e.type);
    EXPECT_EQ(r.kind, e.kind);
    EXPECT_EQ(r.channels, 0u);
    EXPECT_GT(r.time, kEnd);
    EXPECT_EQ(r.detail.substr(0, e.detailPrefix.size()), e.detailPrefix);
    if (e.type == kClient && size >= 64) {
      EXPECT_GT(r.detail.size(), e.detailPrefix.size());  // the peer's port
    }
  }

  // The log outlives the session: the next client sees the logout.
  const std::string login = records[records.size() - 2].detail;
  client.Close();
  RawClient next;
  ASSERT_TRUE(next.Connect(sim.Port()));
  ASSERT_TRUE(LoginAndReadNotices(next));
  const std::vector<Record> later = FetchLog(next, size);
  ASSERT_EQ(later.size(), records.size() + 2);
  EXPECT_EQ(later[records.size()].type, kClient);
  EXPECT_EQ(later[records.size()].kind, 2u);
  EXPECT_EQ(later[records.size()].detail, login);
  EXPECT_EQ(later.back().kind, 1u);
}

INSTANTIATE_TEST_SUITE_P(RecordSizes, LogTest, testing::Values(200, 256, 32));

struct StatusCase {
  const char* name;
  bool fixedArchive;  // else 2 days up to now, all 16 channels continuous
  int archiveDays;
  bool recOn;
  int devices;
  uint32_t mask, state;
};

class StatusTest : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusTest, BlockReportsRecordingAndSpace) {
  const StatusCase& c = GetParam();
  SimConfig config = FixedArchive();
  if (!c.fixedArchive) {
    config = SimConfig{};
    config.port = 0;
    config.archive.days = c.archiveDays;
  }
  config.info.diskTotalMb = 1000000;
  config.info.diskDayMb = 86400;  // one megabyte per recorded second
  config.info.statusDevices = c.devices;
  Session s(config);
  if (c.recOn) {
    ASSERT_TRUE(s.client.SendMessage(kRecOnReq, {}));
    for (int i = 0; i < 2; ++i) {
      RawMessage m;
      ASSERT_TRUE(s.client.ReadMessage(m));
    }
  }
  const Reply reply = Ask(s.client, kStatusReq);
  EXPECT_EQ(reply.code, kStatusAck);
  ASSERT_EQ(reply.bytes.size(), c.devices > 0 ? 28u : 16u);
  EXPECT_EQ(BigEndian32(reply.bytes, 0), c.mask);
  EXPECT_EQ(BigEndian32(reply.bytes, 4), c.state);
  EXPECT_EQ(BigEndian32(reply.bytes, 8), 1000000u);
  const uint32_t free = BigEndian32(reply.bytes, 12);
  if (c.fixedArchive) {
    EXPECT_EQ(free, 1000000u - (kEnd - kStart + 1));
  } else {
    const uint32_t span = static_cast<uint32_t>(c.archiveDays) * 86400;
    EXPECT_LE(free, 1000000u - std::min(span, 1000000u));
    EXPECT_GE(free + 2, 1000000u - std::min(span, 1000000u));
  }
  for (int d = 0; d < 4 && reply.bytes.size() == 28; ++d) {
    const bool present = d < c.devices;
    const size_t at = 16 + static_cast<size_t>(d);
    EXPECT_EQ(reply.bytes[at], present ? 1 : 0) << "device " << d;
    EXPECT_EQ(reply.bytes[at + 4], present ? 32 * (d + 1) : 0) << "device " << d;
    EXPECT_EQ(reply.bytes[at + 8], present ? d % 3 : 0) << "device " << d;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusTest,
    testing::Values(StatusCase{"StillRecording", false, 2, false, 0, 0xFFFF, 1},
                    StatusCase{"FullDisk", false, 20, false, 4, 0xFFFF, 1},
                    StatusCase{"NothingRecorded", false, 0, false, 2, 0, 0},
                    StatusCase{"FinishedArchive", true, 0, false, 4, 0, 0},
                    StatusCase{"RecOnAllPresent", true, 0, true, 1, 0x0F, 1}),
    [](const testing::TestParamInfo<StatusCase>& param) { return param.param.name; });

TEST(InfoFaults, RefusalsCarryTheirResultAndLeaveTheOtherAnswer) {
  struct Case {
    int32_t logNack, statusNack;
  };
  for (const Case c : {Case{83, 0}, Case{0, 86}, Case{1, -7}}) {
    SCOPED_TRACE(std::to_string(c.logNack) + "/" + std::to_string(c.statusNack));
    SimConfig config = FixedArchive();
    config.info.logNack = c.logNack;
    config.info.statusNack = c.statusNack;
    Session s(config);
    const Reply log = Ask(s.client, kLogReq);
    const Reply status = Ask(s.client, kStatusReq);
    EXPECT_EQ(log.code, c.logNack != 0 ? kLogNack : kLogAck);
    EXPECT_EQ(status.code, c.statusNack != 0 ? kStatusNack : kStatusAck);
    if (c.logNack != 0) {
      ASSERT_EQ(log.bytes.size(), 4u);
      EXPECT_EQ(static_cast<int32_t>(BigEndian32(log.bytes, 0)), c.logNack);
    } else {
      EXPECT_EQ(log.bytes.size() % 200, 0u);
    }
    if (c.statusNack != 0) {
      ASSERT_EQ(status.bytes.size(), 4u);
      EXPECT_EQ(static_cast<int32_t>(BigEndian32(status.bytes, 0)), c.statusNack);
    } else {
      EXPECT_EQ(status.bytes.size(), 16u);
    }
  }
}

TEST(InfoOptions, CommandLineAndConfigFile) {
  char name[] = "/tmp/orva_sim_infoXXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(name) << "log-record-bytes = 256\nstatus-devices = 2\ndisk-day-mb = 100\n";
  const std::string file = name;
  const std::vector<std::string> good = {"orva-sim",          "--config",         file,
                                         "--status-devices", "3",                "--log-nack",
                                         "83",               "--status-nack",    "-2",
                                         "--disk-total-mb",  "4294967295",       "--log-events",
                                         "0"};
  std::vector<const char*> argv;
  for (const std::string& a : good) argv.push_back(a.c_str());
  SimConfig config;
  std::string error;
  bool help = false;
  ASSERT_TRUE(ParseSimArgs(static_cast<int>(argv.size()), argv.data(), config, error, help))
      << error;
  std::remove(name);
  EXPECT_EQ(config.info.logRecordBytes, 256);
  EXPECT_EQ(config.info.statusDevices, 3);
  EXPECT_EQ(config.info.diskDayMb, 100u);
  EXPECT_EQ(config.info.diskTotalMb, 4294967295u);
  EXPECT_EQ(config.info.logNack, 83);
  EXPECT_EQ(config.info.statusNack, -2);
  EXPECT_EQ(config.info.logEvents, 0);
  for (const auto& [option, value] :
       {std::pair{"--log-record-bytes", "31"}, std::pair{"--log-record-bytes", "4097"},
        std::pair{"--status-devices", "5"}, std::pair{"--disk-total-mb", "0"},
        std::pair{"--log-events", "2001"}}) {
    const char* bad[] = {"orva-sim", option, value};
    SimConfig unchanged;
    EXPECT_FALSE(ParseSimArgs(3, bad, unchanged, error, help)) << option << " " << value;
  }
  for (const char* option : {"--log-record-bytes", "--status-devices", "--status-nack"}) {
    EXPECT_NE(SimUsage().find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace orva::sim
