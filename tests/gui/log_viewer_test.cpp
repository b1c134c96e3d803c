// The local log viewer: order, numbering, texts, and printed page counts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QFile>
#include <fstream>
#include <memory>
#include <QPrinter>
#include <QRegularExpression>
#include <QTreeWidget>

#include "gui_support.h"
#include "orva/link/trace.h"
#include "orva/view/log_viewer.h"

namespace orva::view {
namespace {

// Pages of a PDF file: "/Type /Page" objects (not the "/Pages" tree).
int PdfPageCount(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  const QString text = QString::fromLatin1(file.readAll());
  static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
  return static_cast<int>(text.count(page));
}

int PrintToPdf(const std::vector<LogRow>& rows, const QString& path) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  return PrintLogRows(printer, rows);
}

// A log with `count` records: program start, logons with host and user,
// and one record whose sub type has no known bit.
std::unique_ptr<LocalLog> MakeLog(const std::filesystem::path& base, int count) {
  auto now = std::make_shared<int64_t>(1262304000);  // 2010-01-01 00:00:00 as the record time
  auto log = std::make_unique<LocalLog>(base, [now] { return (*now)++; });
  for (int i = 0; i < count; ++i) {
    if (i == 0)
      log->Append(1, 1, "", "");
    else if (i == 5)
      log->Append(8, 64, "", "");  // no sub-type bit that "setup, image" knows
    else
      log->Append(2, 1, "user" + std::to_string(i), "192.0.2." + std::to_string(i));
  }
  return log;
}

TEST(LogViewer, RowsAreNewestFirstNumberedOldestFirst) {
  const auto base = guitest::FreshFolder("log");
  auto log = MakeLog(base, 70);
  std::vector<LocalLogRecord> records;
  std::string error;
  ASSERT_TRUE(log->Load(records, error)) << error;
  ASSERT_EQ(records.size(), 70u);

  const auto rows = BuildLogRows(records, 0);
  ASSERT_EQ(rows.size(), 70u);
  EXPECT_EQ(rows.front().number, "0070");
  EXPECT_EQ(rows.back().number, "0001");
  EXPECT_EQ(rows.back().time, "2010-01-01 00:00:00");
  EXPECT_EQ(rows.front().time, "2010-01-01 00:01:09");
  EXPECT_FALSE(rows.back().mainType.isEmpty());
  EXPECT_FALSE(rows.back().subType.isEmpty());
  EXPECT_TRUE(rows.back().host.isEmpty()) << "only logon records show host and user";
  EXPECT_EQ(rows.front().host, "192.0.2.69");
  EXPECT_EQ(rows.front().user, "user69");
  EXPECT_NE(rows.front().mainType, rows.back().mainType);
  const LogRow& odd = rows[rows.size() - 6];
  EXPECT_EQ(odd.number, "0006");
  EXPECT_FALSE(odd.mainType.isEmpty());
  EXPECT_TRUE(odd.subType.isEmpty());

  // Day-first and month-first dates.
  EXPECT_EQ(BuildLogRows(records, 2).back().time, "01-01-2010 00:00:00");
  EXPECT_EQ(BuildLogRows(records, 1).front().time, "01-01-2010 00:01:09");
}

// A record whose sub type has no bit its main type knows gets no sub-type
// text and its "index_sub ...None..." trace once, as written.
TEST(LogViewer, AnUnknownSubTypeIsTracedOnce) {
  char path[] = "/tmp/orva_viewer_trace_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  struct Case {
    uint32_t main, sub;
    const char* trace;
  };
  const Case cases[] = {{1, 4, "index_sub Program...None..."},
                        {2, 8, "index_sub logon...None..."},
                        {4, 0, "index_sub Local Play...None..."},
                        {8, 0x10, "index_sub setup, image...None..."},
                        {2, 4, ""}};  // a known bit: no trace
  for (const Case& c : cases) {
    LocalLogRecord record{};
    record.mainType = c.main;
    record.subType = c.sub;
    std::ofstream(path, std::ios::trunc).close();  // the trace appends
    TraceRedirectForTest(path);
    const auto rows = BuildLogRows({record}, 0);
    TraceRedirectForTest(nullptr);
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, c.trace) << c.main << "/" << c.sub;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].subType.isEmpty(), *c.trace != '\0');
  }
  unlink(path);
}

TEST(LogViewer, PrintsThirtyThreeRowsAPage) {
  const auto base = guitest::FreshFolder("print");
  auto log = MakeLog(base, 70);
  std::vector<LocalLogRecord> records;
  std::string error;
  ASSERT_TRUE(log->Load(records, error));
  const auto rows = BuildLogRows(records, 0);

  const QString pdf = QString::fromStdString((base / "log.pdf").string());
  EXPECT_EQ(PrintToPdf(rows, pdf), 3);
  EXPECT_EQ(PdfPageCount(pdf), 3);

  const std::vector<LogRow> exact(rows.begin(), rows.begin() + 33);
  EXPECT_EQ(PrintToPdf(exact, pdf), 1);
  EXPECT_EQ(PdfPageCount(pdf), 1);
  const std::vector<LogRow> oneMore(rows.begin(), rows.begin() + 34);
  EXPECT_EQ(PrintToPdf(oneMore, pdf), 2);
  EXPECT_EQ(PdfPageCount(pdf), 2);
  // An empty log still prints its title page.
  EXPECT_EQ(PrintToPdf({}, pdf), 1);
  EXPECT_EQ(PdfPageCount(pdf), 1);
}

TEST(LogViewer, WindowListsTheFileAndSurvivesABrokenOne) {
  const auto base = guitest::FreshFolder("viewer");
  auto log = MakeLog(base, 12);
  LogViewer viewer(*log, 0, 255);
  ASSERT_EQ(viewer.List()->topLevelItemCount(), 12);
  EXPECT_EQ(viewer.List()->topLevelItem(0)->text(0), "0012");
  EXPECT_EQ(viewer.List()->topLevelItem(11)->text(0), "0001");
  EXPECT_EQ(viewer.List()->topLevelItem(0)->text(4), "192.0.2.11");

  // A file shorter than a record: an empty list, no failure.
  const auto brokenBase = guitest::FreshFolder("broken");
  std::filesystem::create_directories(brokenBase / "Log");
  {
    std::ofstream out(brokenBase / "Log" / "ORVA7000.log", std::ios::binary);
    out << "short";
  }
  LocalLog broken(brokenBase);
  LogViewer empty(broken, 0, 255);
  EXPECT_EQ(empty.List()->topLevelItemCount(), 0);
}

}  // namespace
}  // namespace orva::view
