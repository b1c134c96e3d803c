// orvactl local files, calendar and events: the downloaded pairs as the
// local search windows see them, read from the Download folder without
// any recorder.
#include <cstdio>

#include "arg_parse.h"
#include "commands.h"
#include "local_folder.h"
#include "orva/link/time_convert.h"
#include "orva/recordings/local_files.h"

namespace orva::cli {
namespace {

int Usage(const std::string& error, std::ostream& err) {
  err << "orvactl: " << error << "\nTry 'orvactl --help'.\n";
  return kExitUsage;
}

std::string Time(uint32_t t, const Options& options) { return FormatRecorderTime(t, options.dateFormat); }

int RunFiles(const Options& options, const std::vector<LocalPair>& pairs, std::ostream& out, std::ostream& err) {
  if (options.args.size() > 1) return Usage("local files: unknown argument '" + options.args[1] + "'", err);
  for (const LocalPair& p : pairs) {
    char links[48];
    std::snprintf(links, sizeof links, " link=%x next=%x start=", p.headerLink, p.trailerLink);
    out << "file: " << p.idx << links << Time(p.earliest, options) << "\n";
  }
  return kExitOk;
}

int RunLocalCalendar(const Options& options, const std::vector<LocalPair>& pairs, std::ostream& out,
                     std::ostream& err) {
  int only = 0;
  for (size_t i = 1; i < options.args.size(); ++i) {
    uint64_t year = 0;
    if (options.args[i] != "--year") return Usage("local calendar: unknown argument '" + options.args[i] + "'", err);
    if (i + 1 >= options.args.size() || !ParseNumber(options.args[i + 1], kLastCalendarYear, year) ||
        year < kFirstCalendarYear)
      return Usage("--year must be a year from 2000 to 2037", err);
    only = static_cast<int>(year);
    ++i;
  }
  for (const LocalYear& y : LocalCalendar(pairs)) {
    if (only != 0 && y.year != only) continue;
    for (int m = 0; m < 12; ++m)
      for (int d = 0; d < DaysInMonth(y.year, m); ++d) {
        const uint32_t kinds = y.kinds[static_cast<size_t>(m * 31 + d)];
        if (kinds == 0) continue;
        char bits[24];
        std::snprintf(bits, sizeof bits, " kinds=0x%02X", kinds);
        out << "day: " << FormatDate(y.year, m + 1, d + 1, options.dateFormat) << bits << "\n";
      }
  }
  return kExitOk;
}

int RunLocalEvents(const Options& options, const std::vector<LocalPair>& pairs, std::ostream& out,
                   std::ostream& err) {
  int kind = -1;
  for (size_t i = 1; i < options.args.size(); ++i) {
    uint64_t n = 0;
    if (options.args[i] != "--kind") return Usage("local events: unknown argument '" + options.args[i] + "'", err);
    if (i + 1 >= options.args.size() || !ParseNumber(options.args[i + 1], 4, n) || (n != 1 && n != 2 && n != 4))
      return Usage("--kind must be 1, 2 or 4", err);
    kind = static_cast<int>(n);
    ++i;
  }
  for (const EventEntry& e : LocalEvents(pairs)) {
    if (kind >= 0 && e.kind != kind) continue;
    out << "event: kind=" << e.kind << " number=" << e.number << " start=" << Time(e.start, options)
        << " end=" << Time(e.end, options) << "\n";
  }
  return kExitOk;
}

}  // namespace

std::vector<LocalPair> ScanDownloads(const Options& options, std::ostream& err) {
  std::vector<std::string> problems;
  std::vector<LocalPair> pairs = ScanPairs(DownloadFolder(options), &problems);
  for (const std::string& p : problems) err << "orvactl: " << p << "\n";
  return pairs;
}

int RunLocal(const Options& options, std::ostream& out, std::ostream& err) {
  const std::string what = options.args.empty() ? std::string() : options.args[0];
  if (what == "play") return RunLocalPlay(options, out, err);
  if (what != "files" && what != "calendar" && what != "events")
    return Usage(what.empty() ? "local needs files, calendar, events or play"
                              : "local: unknown command '" + what + "'",
                 err);
  const std::vector<LocalPair> pairs = ScanDownloads(options, err);
  int code = kExitOk;
  if (what == "files") code = RunFiles(options, pairs, out, err);
  else if (what == "calendar") code = RunLocalCalendar(options, pairs, out, err);
  else code = RunLocalEvents(options, pairs, out, err);
  out.flush();
  return code;
}

}  // namespace orva::cli
