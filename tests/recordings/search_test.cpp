// Recording search: the calendar's month choice and grid, the time bar's
// pixels, event numbering and pages, and the search controller against a
// scripted recorder (fragmented replies, refusals and their notices, the
// reply buffer's limit).
#include <gtest/gtest.h>

#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/time_convert.h"
#include "orva/recordings/search_controller.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

YearMapRecord Year(uint32_t year, std::initializer_list<std::pair<int, int>> days) {
  YearMapRecord r;
  r.year = year;
  for (auto [m, d] : days) r.days[static_cast<size_t>(m * 31 + d)] = 1;
  return r;
}

uint32_t At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return static_cast<uint32_t>(GetUsertimeToTime_t({y, mo - 1, d - 1, h, mi, s}));
}

TEST(CalendarTest, ChoosesTheLatestMonthSteppingBackAcrossTheYearRange) {
  struct Case {
    const char* what;
    std::vector<YearMapRecord> maps;
    int current;
    CalendarMonth expected;
  };
  const Case cases[] = {
      {"latest month of the current year", {Year(2026, {{2, 4}, {7, 0}})}, 2026, {true, 2026, 7}},
      {"the year before", {Year(2025, {{11, 30}}), Year(2027, {{0, 0}})}, 2026, {true, 2025, 11}},
      {"2000 steps back to 2037", {Year(2037, {{5, 1}})}, 2003, {true, 2037, 5}},
      {"down to the current year + 1", {Year(2004, {{0, 2}})}, 2003, {true, 2004, 0}},
      {"31 February is not a day", {Year(2026, {{1, 30}})}, 2026, {}},
      {"29 February of a leap year is", {Year(2008, {{1, 28}})}, 2008, {true, 2008, 1}},
      {"29 February of another year is not", {Year(2009, {{1, 28}})}, 2009, {}},
      {"31 April is not, 30 April is", {Year(2026, {{3, 30}, {2, 29}})}, 2026, {true, 2026, 2}},
      {"nothing anywhere", {}, 2026, {}},
  };
  for (const Case& c : cases) {
    const CalendarMonth got = ChooseCalendarMonth(c.maps, c.current);
    EXPECT_EQ(got.found, c.expected.found) << c.what;
    if (c.expected.found) {
      EXPECT_EQ(std::pair(got.year, got.month0), std::pair(c.expected.year, c.expected.month0)) << c.what;
    }
  }
}

TEST(CalendarTest, GridIsSundayFirstWithTheRealMonthLength) {
  const std::pair<std::pair<int, int>, int> firsts[] = {{{2009, 0}, 4}, {{2000, 1}, 2}, {{2024, 1}, 4},
                                                         {{2037, 11}, 2}, {{2000, 0}, 6}, {{2100, 2}, 1}};
  for (auto [ym, weekday] : firsts) EXPECT_EQ(WeekdayOfFirst(ym.first, ym.second), weekday) << ym.first;
  const YearMapRecord map = Year(2024, {{1, 28}, {1, 3}});
  const auto cells = CalendarGrid(2024, 1, &map);
  ASSERT_EQ(cells.size(), 29u);  // leap February
  EXPECT_EQ(std::pair(cells[0].column, cells[0].row), std::pair(4, 0));    // Thursday the 1st
  EXPECT_EQ(std::pair(cells[28].column, cells[28].row), std::pair(4, 4));  // Thursday the 29th
  EXPECT_TRUE(cells[28].recorded);
  EXPECT_TRUE(cells[3].recorded);
  EXPECT_EQ(std::count_if(cells.begin(), cells.end(), [](auto& c) { return c.recorded; }), 2);
  EXPECT_EQ(CalendarGrid(2023, 1, nullptr).size(), 28u);
}

TEST(TimeBarTest, BarsFollowTheLowestKindSelectionAndTheDayEdges) {
  const uint32_t day = At(2009, 12, 7);
  const std::vector<SpanRecord> spans = {
      {0x0005, 0x05, At(2009, 12, 7, 1, 4, 59), At(2009, 12, 7, 2, 0, 0)},  // channels 1, 3; colour 0
      {0x0002, 0x24, At(2009, 12, 7, 10, 0), At(2009, 12, 7, 10, 4, 59)},  // under 5 minutes: 1 pixel
      {0x0008, 0x20, At(2009, 12, 6, 22, 0), At(2009, 12, 7, 0, 30)},      // from the evening before
      {0x0010, 0x01, At(2009, 12, 7, 23, 0), At(2009, 12, 8, 1, 0)},       // past midnight
      {0x0001, 0x00, At(2009, 12, 7, 5, 0), At(2009, 12, 7, 6, 0)},        // no kind: nothing drawn
      {0x0001, 0x01, At(2009, 12, 8, 5, 0), At(2009, 12, 8, 6, 0)},        // another day
  };
  const auto bars = TimeBarSegments(spans, 0xFFFB, day);  // channel 3 not selected
  // Continuous first, events drawn over them.
  const std::vector<std::array<int, 4>> expected = {
      {0, 0, 12, 25}, {4, 0, 276, 288}, {1, 2, 120, 121}, {3, 5, 0, 7}};
  ASSERT_EQ(bars.size(), expected.size());
  for (size_t i = 0; i < bars.size(); ++i)
    EXPECT_EQ((std::array<int, 4>{bars[i].row, bars[i].colour, bars[i].x0, bars[i].x1}), expected[i]) << i;
  EXPECT_EQ(TimeBarX(At(2009, 12, 7, 23, 59, 59)), 287);
  EXPECT_EQ(TimeBarSecondsAt(287), 86100u);
  EXPECT_EQ(FormatClockText(TimeBarSecondsAt(13)), "01 : 05 : 00");
}

TEST(SearchTextTest, RecordsPagesAndTexts) {
  std::vector<uint8_t> bytes;
  AppendSpanRecord(bytes, {0x8001, 2, 100, 200});
  AppendSpanRecord(bytes, {0x0002, 4, 300, 400});
  AppendSpanRecord(bytes, {0x0004, 2, 500, 600});
  AppendSpanRecord(bytes, {0x0004, 3, 700, 800});
  bytes.resize(bytes.size() + 23);  // a partial record is lost
  const auto events = NumberEvents(ParseSpans(bytes));
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].number, 0);
  EXPECT_EQ(events[1].number, 0);
  EXPECT_EQ(events[2].number, 1);
  EXPECT_EQ(events[3].number, -1);
  EXPECT_EQ(ParseSpans(std::span(bytes).first(23)).size(), 0u);
  EXPECT_EQ(FormatChannelList(events[0].channelMask), "01 16 ");
  EXPECT_EQ(FormatDayTitle(2009, 2, 3, 0), "2009 - 02 - 03");
  EXPECT_EQ(FormatDayTitle(2009, 2, 3, 1), "02 - 03 - 2009");
  EXPECT_EQ(FormatDayTitle(2009, 2, 3, 2), "03 - 02 - 2009");

  EventPaging one{0, 0};
  EXPECT_FALSE(one.Visible());
  EventPaging pages{0, 2};
  EXPECT_TRUE(pages.Visible());
  pages.Previous();
  EXPECT_EQ(pages.current, 2);
  EXPECT_EQ(pages.CurrentText() + " " + pages.TotalText(), "3 /  3");
  pages.Next();
  EXPECT_EQ(pages.current, 0);
}

// ------------------------------------------------------------- controller

class Observer : public SearchObserver {
 public:
  void OnYearMaps(SearchFamily family, const std::vector<YearMapRecord>& maps) override {
    Add("maps " + std::to_string(static_cast<int>(family)) + " " + std::to_string(maps.size()));
  }
  void OnDaySpans(SearchFamily family, const std::vector<SpanRecord>& spans) override {
    Add("day " + std::to_string(static_cast<int>(family)) + " " + std::to_string(spans.size()));
  }
  void OnEventList(const std::vector<EventEntry>& events) override { Add("events " + std::to_string(events.size())); }
  void OnEventPage(const std::vector<EventEntry>& events, int current, int last) override {
    Add("page " + std::to_string(events.size()) + " " + std::to_string(current) + "/" + std::to_string(last));
  }
  void OnReplyRefused(const char*) override { Add("refused"); }
  void OnLog(const std::vector<LogRecord>& records) override {
    Add("log " + std::to_string(records.size()) + " " + (records.empty() ? "" : records.back().detail));
  }
  void OnStatus(const RecorderStatus& status) override {
    Add("status " + std::to_string(status.capacityA) + (status.hasDevices ? " devices" : ""));
  }
  void OnCloseRequested() override { Add("close"); }
  void Add(std::string s) {
    std::lock_guard lock(m);
    seen.push_back(std::move(s));
  }
  std::vector<std::string> Seen() {
    std::lock_guard lock(m);
    return seen;
  }
  std::mutex m;
  std::vector<std::string> seen;
};

class SearchControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConnectParams params{"127.0.0.1", recorder.Port(), "admin", "4711", ""};
    session = std::make_unique<DvrSession>(std::move(params), &sessionObserver, nullptr, test::FastTiming());
    search.Attach(*session);
    session->Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m));
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload(2, 8))));
    ASSERT_TRUE(sessionObserver.WaitForIdentity());
    ASSERT_TRUE(recorder.ReadMessage(m));  // LIVE_REQ
  }
  void SendFragmented(uint16_t code, const std::vector<uint8_t>& bytes, size_t piece) {
    for (size_t at = 0; at < bytes.size() || at == 0; at += piece) {
      const bool last = at + piece >= bytes.size();
      std::vector<uint8_t> part(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + piece));
      ASSERT_TRUE(recorder.Write(Frame(code, part, last ? 0x4000 : 0)));
      if (last) break;
    }
  }
  bool WaitSeen(size_t n) {
    for (int i = 0; i < 300 && observer.Seen().size() < n; ++i) std::this_thread::sleep_for(10ms);
    return observer.Seen().size() >= n;
  }

  ScriptedRecorder recorder;
  test::RecordingObserver sessionObserver;
  SearchController search;
  Observer observer;
  std::unique_ptr<DvrSession> session;
};

TEST_F(SearchControllerTest, RequestsAndFragmentedRepliesReachTheWindow) {
  // No window: the reply is read past and the connection stays aligned.
  SendFragmented(msg::PLAY_INFO_MONTH_ACK, std::vector<uint8_t>(376, 1), 100);
  ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(2))));  // a mark: read up to here
  ASSERT_TRUE(sessionObserver.WaitForNotice({3, 1}));
  search.OpenWindow(&observer, 8);
  EXPECT_EQ(search.Selection(), 0xFFu);
  search.SetChannel(2, false);
  EXPECT_EQ(search.Selection(), 0xFBu);

  search.RequestMonth(SearchFamily::kBackup);
  ASSERT_TRUE(search.RequestDay(SearchFamily::kPlayback, 2009, 12, 7));
  EXPECT_FALSE(search.RequestDay(SearchFamily::kPlayback, 2009, 12, 8));  // busy
  search.RequestEventPage(2, 3);
  const std::vector<std::pair<uint16_t, std::vector<uint8_t>>> sent = {
      {msg::TRANS_INFO_MONTH_REQ, {}},
      {msg::PLAY_INFO_DAY_REQ, {0, 0, 0x07, 0xD9, 12, 7, 0, 0}},
      {msg::EVENT_INFO_REQ_BYPG, {0, 0, 0, 2, 0, 0, 0, 3}}};
  for (const auto& [code, payload] : sent) {
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m));
    EXPECT_EQ(m.code, code);
    EXPECT_EQ(m.payload, payload);
  }

  std::vector<uint8_t> maps;
  AppendYearMapRecord(maps, Year(2008, {{0, 0}}));
  AppendYearMapRecord(maps, Year(2009, {{11, 6}}));
  SendFragmented(msg::TRANS_INFO_MONTH_ACK, maps, 100);  // records cross fragments
  std::vector<uint8_t> spans;
  for (int i = 0; i < 3; ++i) AppendSpanRecord(spans, {1u << i, 1, 10u * i, 10u * i + 5});
  spans.push_back(0xEE);  // trailing byte ignored
  SendFragmented(msg::PLAY_INFO_DAY_ACK, spans, 7);
  std::vector<uint8_t> page = {0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 4};
  AppendSpanRecord(page, {1, 2, 1, 2});
  SendFragmented(msg::EVENT_INFO_ACK_BYPG, page, 1000);
  ASSERT_TRUE(WaitSeen(3));
  EXPECT_EQ(observer.Seen(), (std::vector<std::string>{"maps 1 2", "day 0 3", "page 1 3/4"}));
  EXPECT_FALSE(search.Busy());
  EXPECT_EQ(search.YearMaps(SearchFamily::kBackup).size(), 2u);
  EXPECT_TRUE(search.YearMaps(SearchFamily::kPlayback).empty());
  EXPECT_EQ(search.DaySpans(SearchFamily::kPlayback)[2].channelMask, 4u);
  EXPECT_EQ(search.Paging().last, 4);
  EXPECT_EQ(search.CloseWindow(), 0xFBu);
}

TEST_F(SearchControllerTest, RefusalsGiveTheirNoticesAndOpenWhatTheyShould) {
  search.OpenWindow(&observer, 16);
  std::vector<uint8_t> maps;
  AppendYearMapRecord(maps, Year(2009, {{11, 6}}));
  SendFragmented(msg::PLAY_INFO_MONTH_ACK, maps, 1000);
  ASSERT_TRUE(WaitSeen(1));
  struct Case {
    uint16_t code;
    int32_t result;
    Notice notice;  // {0, 0}: none
    const char* opens;
  };
  const Case cases[] = {
      {msg::PLAY_INFO_MONTH_NACK, 83, {}, "maps 0 1"},  // reopens on the maps held
      {msg::TRANS_INFO_MONTH_NACK, 83, {}, nullptr},    // nothing held for backup
      {msg::PLAY_INFO_DAY_NACK, 83, {4, 0}, nullptr},
      {msg::PLAY_INFO_DAY_NACK, 86, {}, nullptr},
      {msg::TRANS_INFO_DAY_NACK, 86, {6, 3}, nullptr},
      {msg::TRANS_INFO_MONTH_NACK, 53, {6, 4}, nullptr},
      {msg::EVENT_INFO_NACK, 98, {6, 6}, "events 0"},
      {msg::EVENT_INFO_NACK_BYPG, 1, {6, 0}, "page 0 0/0"},
      {msg::EVENT_INFO_NACK, 7, {}, "events 0"},
  };
  size_t seen = 1;
  int marks = 0;
  for (const Case& c : cases) {
    const size_t noticesBefore = sessionObserver.Notices().size();
    ASSERT_TRUE(recorder.Write(Frame(c.code, Be32(c.result))));
    ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, Be32(2))));  // a mark: notice 3/1
    ++marks;
    for (int i = 0; i < 300; ++i) {
      auto n = sessionObserver.Notices();
      if (std::count(n.begin(), n.end(), Notice{3, 1}) >= marks) break;
      std::this_thread::sleep_for(10ms);
    }
    auto notices = sessionObserver.Notices();
    std::vector<Notice> added(notices.begin() + static_cast<long>(noticesBefore), notices.end());
    std::vector<Notice> expected;
    if (c.notice.category) expected.push_back(c.notice);
    expected.push_back({3, 1});
    EXPECT_EQ(added, expected) << c.code << " " << c.result;
    if (c.opens) {
      ASSERT_TRUE(WaitSeen(seen + 1));
      EXPECT_EQ(observer.Seen()[seen], c.opens) << c.code;
      ++seen;
    }
    EXPECT_EQ(observer.Seen().size(), seen) << c.code;
  }
}

TEST_F(SearchControllerTest, AReplyLargerThanTheBufferIsRefusedAndTheNextOneStillArrives) {
  search.OpenWindow(&observer, 16);
  ASSERT_TRUE(search.RequestDay(SearchFamily::kPlayback, 2009, 1, 1));
  WireMessage m;
  ASSERT_TRUE(recorder.ReadMessage(m));
  SendFragmented(msg::PLAY_INFO_DAY_ACK, std::vector<uint8_t>(SearchController::kReplyBufferSize + 24, 0), 65535);
  std::vector<uint8_t> spans;
  AppendSpanRecord(spans, {1, 1, 5, 6});
  SendFragmented(msg::PLAY_INFO_DAY_ACK, spans, 100);
  ASSERT_TRUE(WaitSeen(2));
  EXPECT_EQ(observer.Seen(), (std::vector<std::string>{"refused", "day 0 1"}));
  EXPECT_FALSE(search.Busy());
  EXPECT_EQ(session->State(), SessionState::kReady);
}

TEST_F(SearchControllerTest, TheLogAndTheStatusArriveInTheSameBufferAndRefusalsCloseTheWindow) {
  search.OpenWindow(&observer, 16);
  search.RequestLog();
  WireMessage m;
  ASSERT_TRUE(recorder.ReadMessage(m));
  EXPECT_EQ(m.code, msg::LOG_INFO_REQ);
  // Three records of 256 bytes, in fragments that cut through them.
  std::vector<uint8_t> log(3 * 256, 0);
  for (uint32_t i = 0; i < 3; ++i) {
    uint8_t* p = log.data() + i * 256;
    StoreBE32(p, i + 1);
    StoreBE32(p + 4, 256);
    StoreBE32(p + 8, 0x08);
    const std::string text = "user" + std::to_string(i);
    std::copy(text.begin(), text.end(), p + 24);
  }
  SendFragmented(msg::LOG_INFO_ACK, log, 100);
  search.RequestStatus();
  ASSERT_TRUE(recorder.ReadMessage(m));
  EXPECT_EQ(m.code, msg::STATUS_INFO_REQ);
  std::vector<uint8_t> status(28, 0);
  StoreBE32(status.data() + 8, 500);
  SendFragmented(msg::STATUS_INFO_ACK, status, 10);
  ASSERT_TRUE(WaitSeen(2));
  EXPECT_EQ(observer.Seen(), (std::vector<std::string>{"log 3 user2", "status 500 devices"}));
  EXPECT_EQ(search.LogStore().size(), 3u);

  ASSERT_TRUE(recorder.Write(Frame(msg::LOG_INFO_NACK, Be32(83))));
  ASSERT_TRUE(sessionObserver.WaitForNotice({4, 0}));
  ASSERT_TRUE(recorder.Write(Frame(msg::STATUS_INFO_NACK, Be32(5))));  // traced only, still closes
  ASSERT_TRUE(WaitSeen(4));
  EXPECT_EQ(observer.Seen()[2], "close");
  EXPECT_EQ(observer.Seen()[3], "close");
  EXPECT_EQ(search.LogStore().size(), 3u);  // kept for the connection
}

}  // namespace
}  // namespace orva
