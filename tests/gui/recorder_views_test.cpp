// The recorder's log viewer (rows, per-type views, printed pages), the status
// rows with and without the device section, the days-until-full estimate and
// the system rows. With ORVA_GUI_SHOTS set, the views are saved there.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QRegularExpression>
#include <QTreeWidget>
#include <cstdlib>

#include "gui_support.h"
#include "orva/view/recorder_views.h"

namespace orva::view {
namespace {

void Shot(QWidget* widget, const char* name) {
  if (const char* dir = std::getenv("ORVA_GUI_SHOTS"))
    widget->grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QString::fromLatin1(name));
}

int PdfPageCount(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
  return static_cast<int>(QString::fromLatin1(file.readAll()).count(page));
}

constexpr int32_t kBase = 1262304000;  // 2010-01-01 00:00:00

LogRecord Record(uint32_t number, uint32_t type, uint32_t kind, const char* detail, uint32_t channels = 0) {
  LogRecord r;
  r.number = number;
  r.size = kLogSlotSize;
  r.typeMask = type;
  r.kindMask = kind;
  r.time = kBase + static_cast<int32_t>(number - 100) * 60;
  r.channelMask = channels;
  r.detail = detail;
  return r;
}

// Oldest first, as received: one record per detail rule.
std::vector<LogRecord> SampleLog() {
  std::vector<LogRecord> log = {
      Record(100, 0x01, 0x02, "AC lost"),    // power kind 1: its text
      Record(101, 0x01, 0x01, "hidden"),     // power kind 0: no text
      Record(102, 0x02, 0x04, "disk 1"),     // record: its text
      Record(103, 0x04, 0x04, "hidden"),     // operation kind 2: no text
      Record(104, 0x04, 0x200, "admin"),     // operation kind 9 shares kind 5's label
      Record(105, 0x08, 0x01, "192.0.2.7"),  // client
      Record(106, 0x10, 0x02, "hidden", 0x0005),  // event: the channel list
      Record(107, 0x10, 0x00, "", 0x8000),   // no kind bit: empty kind
      Record(108, 0x40, 0x01, "hidden"),     // no type bit: number and time only
      Record(109, 0x11, 0x01, ""),           // power and event: in both views
  };
  log[8].time = -5;
  return log;
}

TEST(RemoteLog, RowsPerViewNewestFirstWithTheDetailRules) {
  const auto records = SampleLog();
  const struct {
    LogView view;
    std::vector<QString> numbers;
  } cases[] = {
      {LogView::kAll, {"00109", "00108", "00107", "00106", "00105", "00104", "00103", "00102", "00101", "00100"}},
      {LogView::kEvent, {"00109", "00107", "00106"}},
      {LogView::kOperation, {"00104", "00103"}},
      {LogView::kPower, {"00109", "00101", "00100"}},
      {LogView::kRecord, {"00102"}},
      {LogView::kClient, {"00105"}},
  };
  for (const auto& c : cases) {
    std::vector<QString> numbers;
    for (const RemoteLogRow& r : BuildRemoteLogRows(records, c.view, 0)) numbers.push_back(r.number);
    EXPECT_EQ(numbers, c.numbers) << LogViewDocumentName(c.view);
  }

  const auto all = BuildRemoteLogRows(records, LogView::kAll, 0);
  ASSERT_EQ(all.size(), 10u);
  auto row = [&](uint32_t number) { return all[109 - number]; };
  const struct {
    uint32_t number;
    QString type, kind, detail;
  } rows[] = {
      {100, "Power", "Power failure", "AC lost"},   {101, "Power", "System started", ""},
      {102, "Record", "Disk full", "disk 1"},       {103, "Operation", "Log cleared", ""},
      {104, "Operation", "User logon", "admin"},    {105, "Client", "Client connected", "192.0.2.7"},
      {106, "Event", "Motion", "01 03 "},           {107, "Event", "", "16 "},
      {108, "", "", ""},                            {109, "Power", "System started", ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(row(r.number).type, r.type) << r.number;
    EXPECT_EQ(row(r.number).kind, r.kind) << r.number;
    EXPECT_EQ(row(r.number).detail, r.detail) << r.number;
  }
  EXPECT_EQ(row(108).time, "1970-01-01 00:00:00");
  EXPECT_EQ(row(102).time, "2010-01-01 00:02:00");
  EXPECT_EQ(BuildRemoteLogRows(records, LogView::kAll, 2)[7].time, "01-01-2010 00:02:00");
  EXPECT_EQ(BuildRemoteLogRows(records, LogView::kAll, 1)[0].time, "01-01-2010 00:09:00");
}

TEST(RemoteLog, ViewerSelectorSwitchesTheListAndTitle) {
  RemoteLogViewer viewer(SampleLog(), 0, 255);
  ASSERT_EQ(viewer.List()->topLevelItemCount(), 10);
  EXPECT_EQ(viewer.List()->topLevelItem(0)->text(0), "00109");
  EXPECT_EQ(viewer.List()->topLevelItem(3)->text(4), "01 03 ");
  EXPECT_EQ(viewer.windowTitle(), "Remote Log All");
  viewer.resize(860, 420);
  Shot(&viewer, "log_view.png");

  viewer.Selector()->setCurrentIndex(viewer.Selector()->findData(static_cast<int>(LogView::kOperation)));
  EXPECT_EQ(viewer.View(), LogView::kOperation);
  ASSERT_EQ(viewer.List()->topLevelItemCount(), 2);
  EXPECT_EQ(viewer.List()->topLevelItem(1)->text(0), "00103");
  EXPECT_EQ(viewer.windowTitle(), "Remote Log Operation");
  // A new answer keeps the chosen view.
  viewer.SetRecords({Record(200, 0x04, 0x01, "x"), Record(201, 0x08, 0x01, "y")});
  ASSERT_EQ(viewer.List()->topLevelItemCount(), 1);
  EXPECT_EQ(viewer.List()->topLevelItem(0)->text(0), "00200");
}

TEST(RemoteLog, PrintsThirtyThreeRowsAPageUnderTheViewsName) {
  const auto base = guitest::FreshFolder("remote_print");
  const QString pdf = QString::fromStdString((base / "log.pdf").string());
  const struct {
    int records;
    LogView view;
    int pages;
  } cases[] = {{34, LogView::kAll, 2}, {33, LogView::kAll, 1}, {0, LogView::kAll, 1},
               {67, LogView::kPower, 3}, {34, LogView::kEvent, 1}};
  for (const auto& c : cases) {
    std::vector<LogRecord> records;
    for (int i = 0; i < c.records; ++i) records.push_back(Record(100 + static_cast<uint32_t>(i), 0x01, 0x01, ""));
    if (c.view == LogView::kEvent) records.back().typeMask = 0x10;  // the only event record
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    EXPECT_EQ(PrintRemoteLogRows(printer, BuildRemoteLogRows(records, c.view, 0), c.view), c.pages) << c.records;
    EXPECT_EQ(PdfPageCount(pdf), c.pages) << c.records;
    EXPECT_EQ(printer.docName(), QString::fromLatin1(LogViewDocumentName(c.view)));
  }
}

std::vector<uint8_t> StatusBlock(uint32_t mask, uint32_t state, uint32_t a, uint32_t b) {
  std::vector<uint8_t> block;
  for (uint32_t word : {mask, state, a, b})
    for (int shift = 24; shift >= 0; shift -= 8) block.push_back(static_cast<uint8_t>(word >> shift));
  return block;
}

std::vector<QString> Flat(const std::vector<InfoRow>& rows) {
  std::vector<QString> out;
  for (const InfoRow& r : rows) out.push_back(r.label + QLatin1Char('=') + r.value);
  return out;
}

TEST(RecorderStatusView, RowsForBothBlockSizes) {
  // 16 bytes: no device rows even with the channel count at 4.
  const auto plain = Flat(StatusRows(ParseStatusBlock(StatusBlock(0x5, 1, 500, 100)), 4));
  EXPECT_EQ(plain, (std::vector<QString>{"Total=500 MByte", "Used=400 MByte", "Free=100 MByte", "=",
                                          "Channel 01=Continuous", "Channel 02=Not recording",
                                          "Channel 03=Continuous", "Channel 04=Not recording"}));
  EXPECT_EQ(StatusRows(ParseStatusBlock(StatusBlock(0, 0, 0, 0)), 16).size(), 20u);

  // 28 bytes: devices 1 and 3 present, an unknown state code.
  auto block = StatusBlock(0x2, 7, 2097152, 1048575);
  for (uint8_t byte : {1, 0, 1, 0, 0, 9, 250, 0, 0, 1, 2, 0}) block.push_back(byte);
  const auto full = Flat(StatusRows(ParseStatusBlock(block), 2));
  EXPECT_EQ(full, (std::vector<QString>{"Total=2.00 TByte", "Used=1.00 TByte", "Free=1023 GByte", "=",
                                         "Channel 01=Not recording", "Channel 02=Not recording", "Device 1=Size: None",
                                         "State=Ready", "Device 3=Size: 250 GB", "State=Error"}));
}

TEST(RecorderStatusView, DaysUntilFullFromFallingSamples) {
  std::vector<FreeSpaceSample> samples;  // the connection's series
  StatusPage page(4, &samples);
  EXPECT_EQ(page.DaysLeft()->text(), "Days until full: unknown");
  const struct {
    double at;
    uint32_t freeMB;
    const char* text;
    size_t kept;
  } steps[] = {
      {0, 100000, "Days until full: unknown", 1},
      {86400, 100000, "Days until full: unknown", 2},  // not falling
      {2 * 86400, 99000, "Days until full: 198", 3},   // 500 MB a day
      {3 * 86400, 98500, "Days until full: 197", 4},
      {4 * 86400, 200000, "Days until full: unknown", 1},  // space freed: start over
      {5 * 86400, 190000, "Days until full: 19", 2},
  };
  for (const auto& s : steps) {
    page.SetStatus(ParseStatusBlock(StatusBlock(0x1, 2, 300000, s.freeMB)), s.at);
    EXPECT_EQ(page.DaysLeft()->text(), QString::fromLatin1(s.text)) << s.at;
    EXPECT_EQ(samples.size(), s.kept) << s.at;
  }
  ASSERT_EQ(page.List()->topLevelItemCount(), 8);
  EXPECT_EQ(page.List()->topLevelItem(4)->text(1), "Scheduled");
  page.resize(520, 360);
  Shot(&page, "status_view.png");
}

TEST(RecorderSystemView, ConnectionAndIdentityRows) {
  RecorderIdentity id;
  id.mac = {0x00, 0x0a, 0x1b, 0x2c, 0x3d, 0x4e};
  id.firmVer[0] = 1260180930;  // 2009-12-07 10:15:30
  id.firmVer[3] = 1262304000;
  std::snprintf(id.firmName[3].data(), id.firmName[3].size(), "VIDEO");
  const auto rows = Flat(SystemRows("192.0.2.10", 2000, "Depot", id));
  const std::vector<QString> expected = {
      "Address=192.0.2.10",
      "Port=2000",
      "Site=Depot",
      "MAC address=00:0A:1B:2C:3D:4E",
      "Main firmware=" + QString::fromStdString(FormatBuildTime(1260180930)),
      "VIDEO=" + QString::fromStdString(FormatBuildTime(1262304000)),
      "Component 4=" + QString::fromStdString(FormatBuildTime(0)),
      "Component 2=" + QString::fromStdString(FormatBuildTime(0)),
      "Component 5=" + QString::fromStdString(FormatBuildTime(0)),
      "Component 6=" + QString::fromStdString(FormatBuildTime(0)),
  };
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(QString::fromStdString(FormatBuildTime(1260180930)), "2009  1207  1015");
}

}  // namespace
}  // namespace orva::view
