// orvactl calendar, day and events: the recording search as the search
// window runs it, with what the window would show printed as lines.
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "arg_parse.h"
#include "cli_session.h"
#include "commands.h"
#include "orva/link/time_convert.h"
#include "search_wait.h"

namespace orva::cli {
namespace {

int Fail(CliSession& session, int code, const std::string& error, std::ostream& err) {
  session.Search().CloseWindow();
  session.Close();
  err << "orvactl: " << error << "\n";
  return code;
}

int Usage(const std::string& error, std::ostream& err) {
  err << "orvactl: " << error << "\nTry 'orvactl --help'.\n";
  return kExitUsage;
}

int Finish(CliSession& session, std::ostream& out) {
  out.flush();
  session.Search().CloseWindow();
  session.Close();
  return kExitOk;
}

int CurrentLocalYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

std::string DateTime(uint32_t t, int dateFormat) { return FormatRecorderTime(t, dateFormat); }

}  // namespace

int RunCalendar(const Options& options, std::ostream& out, std::ostream& err) {
  bool backup = false;
  for (const std::string& a : options.args) {
    if (a != "--backup") return Usage("calendar: unknown argument '" + a + "'", err);
    backup = true;
  }
  const SearchFamily family = backup ? SearchFamily::kBackup : SearchFamily::kPlayback;
  CliSession session(options);
  SearchWaiter waiter;
  std::string error;
  int code = OpenSearch(session, waiter, backup ? Right::kBackup : Right::kPlayback, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  session.Search().RequestMonth(family);
  code = AwaitReply(session, waiter, [&] { return waiter.YearMaps().has_value(); }, options, error);
  if (code != kExitOk) return Fail(session, code, error, err);

  std::vector<YearMapRecord> maps = waiter.YearMaps().value_or(std::vector<YearMapRecord>{});
  const CalendarMonth month = ChooseCalendarMonth(maps, CurrentLocalYear());
  if (!month.found) return Fail(session, kExitRefused, FormatNotice({4, 0}), err);
  out << "calendar: " << FormatMonth(month.year, month.month0 + 1, options.dateFormat) << "\n";
  std::sort(maps.begin(), maps.end(), [](const auto& a, const auto& b) { return a.year < b.year; });
  for (const YearMapRecord& map : maps) {
    const int year = static_cast<int>(map.year);
    for (int m = 0; m < 12; ++m)
      for (int d = 0; d < DaysInMonth(year, m); ++d)
        if (map.Flag(m, d)) out << "day: " << FormatDate(year, m + 1, d + 1, options.dateFormat) << "\n";
  }
  return Finish(session, out);
}

int RunDay(const Options& options, std::ostream& out, std::ostream& err) {
  bool backup = false;
  std::optional<uint32_t> selection;
  int year = 0, month1 = 0, day1 = 0;
  bool haveDate = false;
  std::string error;
  for (size_t i = 0; i < options.args.size(); ++i) {
    const std::string& a = options.args[i];
    if (a == "--backup") {
      backup = true;
    } else if (a == "--channels") {
      if (i + 1 >= options.args.size()) return Usage("--channels needs a value", err);
      uint32_t mask = 0;
      if (!ParseChannelMask("--channels", options.args[++i], mask, error)) return Usage(error, err);
      selection = mask;
    } else if (!haveDate && !a.starts_with("-")) {
      if (!ParseDate(a, year, month1, day1))
        return Usage("day: '" + a + "' is not a date YYYY-MM-DD from 2000 to 2037", err);
      haveDate = true;
    } else {
      return Usage("day: unknown argument '" + a + "'", err);
    }
  }
  if (!haveDate) return Usage("day needs a date, YYYY-MM-DD", err);
  const SearchFamily family = backup ? SearchFamily::kBackup : SearchFamily::kPlayback;
  CliSession session(options);
  SearchWaiter waiter;
  int code = OpenSearch(session, waiter, backup ? Right::kBackup : Right::kPlayback, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  if (selection) session.Search().SetSelection(*selection);
  if (!session.Search().RequestDay(family, year, month1, day1))
    return Fail(session, kExitConnect, "the day request could not be sent", err);
  code = AwaitReply(session, waiter, [&] { return waiter.DaySpans().has_value(); }, options, error);
  if (code != kExitOk) return Fail(session, code, error, err);

  const std::vector<SpanRecord> spans = waiter.DaySpans().value_or(std::vector<SpanRecord>{});
  for (const SpanRecord& s : spans) {
    char kinds[8];
    std::snprintf(kinds, sizeof kinds, "0x%02X", s.kind);
    out << "span: channels=" << FormatChannels(s.channelMask) << " kinds=" << kinds
        << " start=" << DateTime(s.start, options.dateFormat) << " end=" << DateTime(s.end, options.dateFormat)
        << "\n";
  }
  const uint32_t dayStart = static_cast<uint32_t>(GetUsertimeToTime_t({year, month1 - 1, day1 - 1, 0, 0, 0}));
  for (const TimeBarSegment& bar : TimeBarSegments(spans, session.Search().Selection(), dayStart)) {
    char line[80];
    std::snprintf(line, sizeof line, "bar: row=%02d kind=%d x0=%d x1=%d\n", bar.row + 1, bar.colour, bar.x0,
                  bar.x1);
    out << line;
  }
  return Finish(session, out);
}

int RunEvents(const Options& options, std::ostream& out, std::ostream& err) {
  int kind = 0, page = 1;
  bool havePage = false;
  for (size_t i = 0; i < options.args.size(); ++i) {
    const std::string& a = options.args[i];
    if (a != "--kind" && a != "--page") return Usage("events: unknown argument '" + a + "'", err);
    if (i + 1 >= options.args.size()) return Usage(a + " needs a value", err);
    const std::string& text = options.args[++i];
    uint64_t n = 0;
    if (a == "--kind") {
      if (!ParseNumber(text, 4, n) || (n != 1 && n != 2 && n != 4))
        return Usage("--kind must be 1, 2 or 4, not '" + text + "'", err);
      kind = static_cast<int>(n);
    } else {
      if (!ParseNumber(text, 1000000, n) || n == 0)
        return Usage("--page must be a page number from 1, not '" + text + "'", err);
      page = static_cast<int>(n);
      havePage = true;
    }
  }
  if (havePage && kind == 0) return Usage("--page needs --kind", err);
  CliSession session(options);
  SearchWaiter waiter;
  std::string error;
  int code = OpenSearch(session, waiter, std::nullopt, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  if (kind == 0)
    session.Search().RequestEvents();
  else
    session.Search().RequestEventPage(kind, page - 1);
  code = AwaitReply(session, waiter, [&] { return waiter.Events().has_value(); }, options, error);
  if (code != kExitOk) return Fail(session, code, error, err);

  if (kind != 0) {
    const EventPaging paging = waiter.Paging();
    out << "page: " << paging.current + 1 << " / " << paging.last + 1 << "\n";
  }
  for (const EventEntry& e : waiter.Events().value_or(std::vector<EventEntry>{})) {
    // A page lists the events of its kind only, as the list's tab does.
    if (kind != 0 && e.kind != kind) continue;
    out << "event: kind=" << e.kind << " number=" << e.number << " channels=" << FormatChannels(e.channelMask)
        << " start=" << DateTime(e.start, options.dateFormat) << " end=" << DateTime(e.end, options.dateFormat)
        << "\n";
  }
  return Finish(session, out);
}

}  // namespace orva::cli
