// Recording search against a small archive that spans a new year: year
// maps, day spans second by second, the event list and its pages, and the
// refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <tuple>

#include "archive_client.h"

namespace orva::sim {
namespace {

using namespace test;

constexpr uint16_t kMonthReq = 260, kDayReq = 263, kTransMonthReq = 288, kTransDayReq = 291,
                   kEventReq = 329, kEventPageReq = 332;

const uint32_t kStart = WireTime(2023, 12, 31, 22, 0, 0);
const uint32_t kEnd = WireTime(2024, 1, 2, 1, 30, 0);

SimConfig ArchiveConfig() {
  SimConfig config;
  config.channels = 4;
  config.archive.start = kStart;
  config.archive.end = kEnd;
  config.archive.channels.fill(false);
  config.archive.channels[0] = config.archive.channels[1] = config.archive.channels[2] = true;
  config.archive.events[0].channels.fill(false);
  config.archive.events[0].channels[1] = config.archive.events[0].channels[3] = true;
  config.archive.searchFragmentBytes = 100;  // crosses both record sizes
  config.archive.eventPageSize = 5;
  return config;
}

// What the configuration above records on channel index `ch` at second t:
// 0 nothing, else the day answers' kind-mask bit.
uint8_t ExpectedKind(int ch, uint32_t t) {
  if (t < kStart || t > kEnd) return 0;
  if (ch == 0 && t % 7200 < 60) return 0x10;
  if ((ch == 1 || ch == 3) && t % 600 < 30) return 0x04;
  return ch <= 2 ? 0x01 : 0;
}

std::vector<uint8_t> DayQuery(int year, int month, int day) {
  std::vector<uint8_t> q = Word(static_cast<uint32_t>(year));
  q.push_back(static_cast<uint8_t>(month));
  q.push_back(static_cast<uint8_t>(day));
  q.resize(8, 0);
  return q;
}

Reply Ask(Session& s, uint16_t code, const std::vector<uint8_t>& payload = {}) {
  EXPECT_TRUE(s.client.SendMessage(code, payload));
  Reply reply;
  std::string error;
  EXPECT_TRUE(ReadReply(s.client, reply, error)) << error;
  return reply;
}

void ExpectRefusal(const Reply& reply, uint16_t code, uint32_t result) {
  EXPECT_EQ(reply.code, code);
  ASSERT_EQ(reply.bytes.size(), 4u);
  EXPECT_EQ(BigEndian32(reply.bytes, 0), result);
}

struct Span {
  uint32_t mask;
  uint8_t kind;
  uint32_t start, end;
};

std::vector<Span> Spans(const std::vector<uint8_t>& bytes, size_t offset = 0) {
  std::vector<Span> spans;
  EXPECT_EQ((bytes.size() - offset) % 24, 0u);
  for (size_t at = offset; at + 24 <= bytes.size(); at += 24) {
    for (size_t zero = at + 5; zero < at + 16; ++zero) EXPECT_EQ(bytes[zero], 0) << "at " << at;
    spans.push_back({BigEndian32(bytes, at), bytes[at + 4], BigEndian32(bytes, at + 16),
                     BigEndian32(bytes, at + 20)});
  }
  return spans;
}

TEST(SimulatorSearch, YearMapsAndDaySpansDescribeTheArchive) {
  Session s(ArchiveConfig());
  const Reply months = Ask(s, kMonthReq);
  EXPECT_EQ(months.code, 261);
  EXPECT_EQ(months.otherFlags, 0);
  ASSERT_EQ(months.bytes.size(), 2u * 376);
  EXPECT_GT(months.fragmentSizes.size(), 7u);
  for (size_t size : months.fragmentSizes) EXPECT_LE(size, 100u);
  EXPECT_EQ(BigEndian32(months.bytes, 0), 2023u);
  EXPECT_EQ(BigEndian32(months.bytes, 376), 2024u);
  std::vector<size_t> flagged;
  for (size_t i = 0; i < 2 * 376; ++i) {
    if (i % 376 >= 4 && months.bytes[i] != 0) flagged.push_back(i);
  }
  EXPECT_EQ(flagged, (std::vector<size_t>{4 + 11 * 31 + 30, 376 + 4 + 0, 376 + 4 + 1}));
  EXPECT_EQ(Ask(s, kTransMonthReq).bytes, months.bytes);

  // Both recorded days in full: every second of every channel is covered by
  // exactly one span, of the expected kind, and the spans come in order.
  for (const auto& [year, month, day] : {std::tuple{2023, 12, 31}, std::tuple{2024, 1, 1}}) {
    SCOPED_TRACE(std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day));
    const Reply reply = Ask(s, kDayReq, DayQuery(year, month, day));
    EXPECT_EQ(reply.code, 264);
    EXPECT_GT(reply.fragmentSizes.size(), 1u);
    const std::vector<Span> spans = Spans(reply.bytes);
    const uint32_t midnight = WireTime(year, month, day, 0, 0, 0);
    std::vector<std::array<uint8_t, 4>> seen(86400, std::array<uint8_t, 4>{});
    uint32_t previousStart = 0;
    for (const Span& span : spans) {
      EXPECT_GE(span.start, previousStart);
      previousStart = span.start;
      ASSERT_TRUE(span.start >= midnight && span.end < midnight + 86400 && span.start <= span.end);
      ASSERT_TRUE(span.mask != 0 && span.mask < 16 && (span.kind == 1 || span.kind == 4 || span.kind == 16));
      for (uint32_t t = span.start; t <= span.end; ++t) {
        for (int ch = 0; ch < 4; ++ch) {
          if (span.mask & (1u << ch)) seen[t - midnight][static_cast<size_t>(ch)] += span.kind;
        }
      }
    }
    int wrong = 0;
    for (uint32_t t = 0; t < 86400; ++t) {
      for (int ch = 0; ch < 4; ++ch) {
        wrong += seen[t][static_cast<size_t>(ch)] != ExpectedKind(ch, midnight + t);
      }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(Ask(s, kTransDayReq, DayQuery(year, month, day)).bytes, reply.bytes);
  }
  ExpectRefusal(Ask(s, kDayReq, DayQuery(2024, 1, 5)), 265, 83);       // nothing that day
  ExpectRefusal(Ask(s, kTransDayReq, DayQuery(2023, 12, 30)), 293, 83);
  ExpectRefusal(Ask(s, kDayReq, DayQuery(2024, 2, 30)), 265, 2);       // no such day
  ExpectRefusal(Ask(s, kDayReq, {0, 0, 7, 232, 1}), 265, 2);          // short query
}

TEST(SimulatorSearch, EventListAndPagesInStartOrder) {
  Session s(ArchiveConfig());
  // Motion on channels 2 and 4 every 10 minutes for 30 s, alarm on channel
  // 1 every 2 hours for a minute; the last motion is cut at the archive end.
  std::vector<Span> expected;
  for (uint32_t t = kStart; t <= kEnd; ++t) {
    if (t % 600 == 0) expected.push_back({0x0A, 2, t, std::min(t + 29, kEnd)});
    if (t % 7200 == 0) expected.push_back({0x01, 4, t, std::min(t + 59, kEnd)});
  }
  const auto sameAs = [](const std::vector<Span>& got, const std::vector<Span>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(std::tie(got[i].mask, got[i].kind, got[i].start, got[i].end),
                std::tie(want[i].mask, want[i].kind, want[i].start, want[i].end))
          << "record " << i;
    }
  };
  const Reply all = Ask(s, kEventReq);
  EXPECT_EQ(all.code, 330);
  sameAs(Spans(all.bytes), expected);

  std::vector<Span> motion;
  std::copy_if(expected.begin(), expected.end(), std::back_inserter(motion),
               [](const Span& e) { return e.kind == 2; });
  const uint32_t lastPage = static_cast<uint32_t>((motion.size() + 4) / 5 - 1);
  std::vector<Span> paged;
  for (uint32_t page = 0; page <= lastPage; ++page) {
    std::vector<uint8_t> query = Word(2);
    const std::vector<uint8_t> index = Word(page);
    query.insert(query.end(), index.begin(), index.end());
    const Reply reply = Ask(s, kEventPageReq, query);
    ASSERT_EQ(reply.code, 333);
    ASSERT_GE(reply.bytes.size(), 12u);
    EXPECT_EQ(BigEndian32(reply.bytes, 4), page);
    EXPECT_EQ(BigEndian32(reply.bytes, 8), lastPage);
    const std::vector<Span> records = Spans(reply.bytes, 12);
    EXPECT_EQ(records.size(), page < lastPage ? 5u : motion.size() - 5 * lastPage);
    paged.insert(paged.end(), records.begin(), records.end());
  }
  sameAs(paged, motion);
  const std::vector<uint8_t> beyond = {0, 0, 0, 2, 0, 0, 1, 0};
  ExpectRefusal(Ask(s, kEventPageReq, beyond), 334, 2);
  ExpectRefusal(Ask(s, kEventPageReq, {0, 0, 0, 1, 0, 0, 0, 0}), 334, 83);  // no kind-1 events
  ExpectRefusal(Ask(s, kEventPageReq, {0, 0, 0, 3, 0, 0, 0, 0}), 334, 2);
}

TEST(SimulatorSearch, RefusalsByFaultSwitchAndEmptyArchive) {
  struct Case {
    const char* what;
    void (*set)(SimConfig&);
    uint16_t request, refusal;
    uint32_t result;
  };
  const std::vector<uint8_t> day = DayQuery(2024, 1, 1);
  const Case cases[] = {
      {"month", [](SimConfig& c) { c.archive.monthNack = 53; }, kMonthReq, 262, 53},
      {"backup month", [](SimConfig& c) { c.archive.monthNack = 86; }, kTransMonthReq, 290, 86},
      {"day", [](SimConfig& c) { c.archive.dayNack = 98; }, kDayReq, 265, 98},
      {"backup day", [](SimConfig& c) { c.archive.dayNack = 1; }, kTransDayReq, 293, 1},
      {"events", [](SimConfig& c) { c.archive.eventNack = 86; }, kEventReq, 331, 86},
      {"event page", [](SimConfig& c) { c.archive.eventNack = 53; }, kEventPageReq, 334, 53},
      {"empty month", [](SimConfig& c) { c.archive.start = 0, c.archive.days = 0; }, kMonthReq,
       262, 83},
      {"empty events", [](SimConfig& c) { c.archive.events.clear(); }, kEventReq, 331, 83},
      {"play", [](SimConfig& c) { c.archive.playOnNack = 98; }, kPlayOnReqCode, kPlayOnNackCode,
       98},
      {"play from nothing", [](SimConfig& c) { c.archive.start = 0, c.archive.days = 0; },
       kPlayOnReqCode, kPlayOnNackCode, 83},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimConfig config = ArchiveConfig();
    c.set(config);
    Session s(config);
    std::vector<uint8_t> payload;
    if (c.request == kDayReq || c.request == kTransDayReq) payload = day;
    if (c.request == kEventPageReq) payload = {0, 0, 0, 2, 0, 0, 0, 0};
    if (c.request == kPlayOnReqCode) payload = PlayRequest(0xF, 0, kStart + 60, 0);
    ExpectRefusal(Ask(s, c.request, payload), c.refusal, c.result);
  }
}

}  // namespace
}  // namespace orva::sim
