// The search window's pages on their own (calendar, day time bar, event
// list) and the playback screen's time bar: what they show for given
// records and what a user's clicks make them ask for.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

#include "gui_support.h"
#include "orva/link/time_convert.h"
#include "playback_bar.h"
#include "search_pages.h"

namespace orva::view {
namespace {

YearMapRecord Year(int year, std::initializer_list<std::pair<int, int>> flagged) {
  YearMapRecord map;
  map.year = static_cast<uint32_t>(year);
  for (auto [m0, d0] : flagged) map.days[static_cast<size_t>(m0 * 31 + d0)] = 1;
  return map;
}

uint32_t At(int y, int m1, int d1, int h = 0, int min = 0, int s = 0) {
  UserTime t{y, m1 - 1, d1 - 1, h, min, s};
  return static_cast<uint32_t>(GetUsertimeToTime_t(t));
}

TEST(SearchPages, CalendarOpensOnTheLatestRecordedMonthAndOffersOnlyFlaggedDays) {
  struct Case {
    const char* what;
    std::vector<YearMapRecord> maps;
    int currentYear;
    bool found;
    int year, month0;
    std::vector<int> months;  // enabled month buttons
    std::vector<int> days;    // enabled days, 0-based
  };
  const std::vector<Case> cases = {
      {"latest month of this year", {Year(2024, {{1, 4}, {4, 2}, {4, 30}})}, 2024, true, 2024, 4, {1, 4}, {2, 30}},
      {"31 February does not count", {Year(2023, {{1, 30}, {0, 0}})}, 2023, true, 2023, 0, {0}, {0}},
      {"steps back a year", {Year(2022, {{11, 24}}), Year(2024, {})}, 2024, true, 2022, 11, {11}, {24}},
      {"2000 steps back to 2037", {Year(2037, {{6, 3}})}, 2001, true, 2037, 6, {6}, {3}},
      {"nothing anywhere", {Year(2024, {{1, 30}})}, 2024, false, 0, 0, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CalendarPage page;
    ASSERT_EQ(page.SetYearMaps(c.maps, c.currentYear), c.found);
    if (!c.found) continue;
    EXPECT_EQ(page.Year(), c.year);
    EXPECT_EQ(page.Month(), c.month0);
    for (int m = 0; m < 12; ++m)
      EXPECT_EQ(page.MonthButton(m)->isEnabled(), std::count(c.months.begin(), c.months.end(), m) == 1) << m;
    const int length = DaysInMonth(c.year, c.month0);
    EXPECT_EQ(page.DayButton(length), nullptr);
    for (int d = 0; d < length; ++d) {
      ASSERT_NE(page.DayButton(d), nullptr);
      EXPECT_EQ(page.DayButton(d)->text(), QString::number(d + 1));
      EXPECT_EQ(page.DayButton(d)->isEnabled(), std::count(c.days.begin(), c.days.end(), d) == 1) << d;
    }

    QSignalSpy clicked(&page, &CalendarPage::dayClicked);
    page.DayButton(c.days.front())->click();
    ASSERT_EQ(clicked.size(), 1);
    EXPECT_EQ(clicked[0], (QVariantList{c.year, c.month0 + 1, c.days.front() + 1}));
  }
}

TEST(SearchPages, DayTimeBarDrawsSelectedChannelsAndPicksTheStartTime) {
  TimeBarPage page;
  const uint32_t day = At(2024, 5, 3);
  // Channel 1 continuous 06:00-08:00 with motion; channel 2 only in the
  // selection's absence; channel 3 alarm across midnight into the day.
  const std::vector<SpanRecord> spans = {{0x1, 0x05, day + 6 * 3600, day + 8 * 3600},
                                         {0x2, 0x04, day + 9 * 3600, day + 10 * 3600},
                                         {0x4, 0x10, day - 600, day + 1800}};
  page.SetDay(2024, 5, 3, spans, 0x5, 16, 1);
  const auto& segments = page.Bar()->Segments();
  ASSERT_EQ(segments.size(), 2u) << "channel 2 is not selected";
  EXPECT_EQ((std::tuple{segments[0].row, segments[0].colour, segments[0].x0, segments[0].x1}),
            (std::tuple{0, 0, 72, 97}));  // with the 08:00 pixel
  EXPECT_EQ((std::tuple{segments[1].row, segments[1].colour, segments[1].x0, segments[1].x1}),
            (std::tuple{2, 4, 0, 7}));
  EXPECT_EQ(page.DayStart(), day);
  EXPECT_EQ(page.StartText(), QStringLiteral("00 : 00 : 00"));

  // Click, drag beyond the bar, and type a time.
  const int left = DayTimeBar::kBarLeft, row = kTimeBarRowTop + 3;
  QTest::mouseClick(page.Bar(), Qt::LeftButton, {}, QPoint(left + 150, row));
  EXPECT_EQ(page.StartText(), QStringLiteral("12 : 30 : 00"));
  EXPECT_EQ(page.Bar()->CursorX(), 150);
  EXPECT_EQ(page.TimeEntry()->time(), QTime(12, 30));
  QTest::mousePress(page.Bar(), Qt::LeftButton, {}, QPoint(left + 10, row));
  QMouseEvent drag(QEvent::MouseMove, QPointF(left + 400, row), QPointF(), Qt::NoButton, Qt::LeftButton, {});
  QCoreApplication::sendEvent(page.Bar(), &drag);
  EXPECT_EQ(page.Bar()->CursorX(), kTimeBarWidth - 1);
  EXPECT_EQ(page.StartText(), QStringLiteral("23 : 55 : 00"));
  QTest::mouseClick(page.Bar(), Qt::LeftButton, {}, QPoint(left - 20, row));
  EXPECT_EQ(page.Bar()->CursorX(), kTimeBarWidth - 1) << "a click beside the bar does nothing";
  page.TimeEntry()->setTime(QTime(7, 42, 10));
  EXPECT_EQ(page.Bar()->CursorX(), 12 * 7 + 42 / 5);
  EXPECT_EQ(page.StartText(), QStringLiteral("07 : 42 : 10"));

  QSignalSpy play(&page, &TimeBarPage::playRequested);
  page.PlayButton()->click();
  ASSERT_EQ(play.size(), 1);
  EXPECT_EQ(play[0][0].toUInt(), day + 7 * 3600 + 42 * 60 + 10);
}

TEST(SearchPages, EventListPagesWrapAndPlaysTheSelectedEntry) {
  EventListPage page(2);
  const uint32_t t = At(2009, 12, 7, 10, 15, 30);
  const std::vector<EventEntry> events = {{0x3, 2, 0, t, t + 30}, {0x1, 4, 0, t + 60, t + 120}, {0x8, 2, 1, t + 600, t + 630}};
  QSignalSpy pages(&page, &EventListPage::pageRequested);
  QSignalSpy play(&page, &EventListPage::playRequested);

  struct Step {
    const char* what;
    int last;
    QAbstractButton* (EventListPage::*button)() const;
    bool visible;
    const char* field;
    const char* total;
  };
  page.SetEvents(events, 0, 0);
  EXPECT_FALSE(page.PageField()->isVisibleTo(&page)) << "one page: no paging";
  EXPECT_FALSE(page.NextButton()->isVisibleTo(&page));
  page.SetEvents(events, 0, 3);
  const std::vector<Step> steps = {{"first of four", 3, nullptr, true, "1", "/  4"},
                                   {"previous wraps to the last", 3, &EventListPage::PreviousButton, true, "4", "/  4"},
                                   {"next wraps to the first", 3, &EventListPage::NextButton, true, "1", "/  4"},
                                   {"next", 3, &EventListPage::NextButton, true, "2", "/  4"}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    if (s.button) (page.*s.button)()->click();
    EXPECT_EQ(page.PageField()->isVisibleTo(&page), s.visible);
    EXPECT_EQ(page.PageField()->text(), QString::fromLatin1(s.field));
    EXPECT_EQ(page.PageTotal()->text(), QString::fromLatin1(s.total));
  }
  EXPECT_TRUE(pages.isEmpty()) << "only Go asks for a page";
  page.GoButton()->click();
  ASSERT_EQ(pages.size(), 1);
  EXPECT_EQ(pages[0], (QVariantList{2, 1}));

  // Kind 2 is shown first, in the date format (day first here).
  ASSERT_EQ(page.List()->topLevelItemCount(), 2);
  EXPECT_EQ(page.List()->topLevelItem(0)->text(0), QStringLiteral("07-12-2009 10:15:30"));
  EXPECT_EQ(page.List()->topLevelItem(0)->text(2), QStringLiteral("01 02 "));
  page.Tabs()->setCurrentIndex(2);
  EXPECT_EQ(page.Kind(), 4);
  ASSERT_EQ(pages.size(), 2);
  EXPECT_EQ(pages[1], (QVariantList{4, 0}));
  ASSERT_EQ(page.List()->topLevelItemCount(), 1);

  EXPECT_FALSE(page.PlayButton()->isEnabled()) << "nothing selected";
  page.List()->setCurrentItem(page.List()->topLevelItem(0));
  EXPECT_TRUE(page.PlayButton()->isEnabled());
  page.SetLocalPlaybackOpen(true);
  EXPECT_FALSE(page.PlayButton()->isEnabled()) << "not while a local playback window is open";
  page.SetLocalPlaybackOpen(false);
  page.PlayButton()->click();
  ASSERT_EQ(play.size(), 1);
  const auto event = play[0][0].value<EventEntry>();
  EXPECT_EQ(event.start, t + 60);
  EXPECT_EQ(play[0][1].toInt(), 4);
}

TEST(PlaybackTimeBar, ZoomsAroundTheShownFrameAndJumpsWhereClicked) {
  const uint32_t day = At(2024, 5, 3);
  struct Case {
    uint32_t shown, span, from, to;
  };
  for (const Case& c : std::vector<Case>{{day + 43200, 86400, day, day + 86400},
                                         {day + 43200, 3600, day + 41400, day + 45000},
                                         {day + 100, 21600, day, day + 21600},
                                         {day + 86390, 600, day + 85800, day + 86400}}) {
    const TimeWindow w = PlaybackWindow(c.shown, c.span);
    EXPECT_EQ((std::pair{w.from, w.to}), (std::pair{c.from, c.to})) << c.shown - day << " " << c.span;
  }
  const std::vector<SpanRecord> spans = {{0x1, 0x01, day + 3600, day + 7200}, {0x2, 0x04, day, day + 86400}};
  const auto pieces = PlaybackBarPieces(spans, 0x1, {day, day + 86400}, 240);
  ASSERT_EQ(pieces.size(), 1u) << "channel 2 is not played";
  EXPECT_EQ((std::tuple{pieces[0].x0, pieces[0].x1, pieces[0].colour}), (std::tuple{10, 20, 0}));
  EXPECT_TRUE(PlaybackBarPieces(spans, 0x1, {day + 8000, day + 9000}, 240).empty()) << "a gap";

  PlaybackTimeBar bar(0);
  bar.resize(800, 44);
  bar.SetSpans(spans, 0x3);
  bar.SetShownTime(day + 5400);
  EXPECT_EQ(bar.TimeText(), QStringLiteral("2024-05-03 01:30:00"));
  QWheelEvent up(QPointF(400, 20), QPointF(), QPoint(), QPoint(0, 120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
  for (int i = 0; i < 5; ++i) QCoreApplication::sendEvent(&bar, &up);
  EXPECT_EQ(bar.Zoom(), 3) << "stops at 10 minutes";
  bar.ZoomOut();
  EXPECT_EQ((std::pair{bar.Window().from, bar.Window().to}), (std::pair{day + 3600, day + 7200}));
  QSignalSpy jump(&bar, &PlaybackTimeBar::jumpRequested);
  const QRect r = bar.BarRect();
  QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(r.left() + r.width() / 4, r.center().y()));
  ASSERT_EQ(jump.size(), 1);
  EXPECT_NEAR(static_cast<double>(jump[0][0].toUInt()), day + 3600 + 900, 10.0);
}

}  // namespace
}  // namespace orva::view
