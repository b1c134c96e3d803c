// The setup window and its editing rules: the frame-rate budget, the
// resolution groups, the top frame rate, the video standard cascade,
// priority and channel assignment, the account rules, the time zones and
// the Time protocol, the DST question; the window's frame with one page at
// a time and rows only for the recorder's channels, the changes list before
// sending, save and load; and a camera name set against the simulator that
// reaches the panes. With ORVA_GUI_SHOTS set, the window is saved there.
#include "setup_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <ctime>

#include "gui_support.h"
#include "setup_record.h"
#include "orva/services/resources.h"
#include "orva/link/time_convert.h"
#include "orva/setup/setup_fields.h"
#include "orva/sim/simulator.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "orva/view/video_view.h"

namespace orva::view {
namespace {

using namespace std::chrono_literals;
using namespace setup;

void Shot(QWidget* widget, const char* name) {
  if (const char* dir = std::getenv("ORVA_GUI_SHOTS"))
    widget->grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QString::fromLatin1(name));
}

std::vector<uint8_t> Bytes(uint8_t major = 4, uint8_t minor = 2) { return test::FilledSetupRecord(major, minor); }

SetupDatabase Record(const std::vector<uint8_t>& bytes) {
  SetupDatabase db;
  std::string error;
  EXPECT_TRUE(SetupDatabase::FromBytes(bytes, db, error)) << error;
  return db;
}

SetupEnv Env(int channels, int product = 0) {
  SetupEnv env;
  env.channels = channels;
  env.product = product;
  return env;
}

template <typename T>
T* Find(SetupWindow& w, const QString& name) {
  return w.CurrentPage() ? w.CurrentPage()->findChild<T*>(name) : nullptr;
}

// Clicks a list button of the shown page and picks item i.
void Choose(SetupWindow& w, const QString& button, int item) {
  auto* b = Find<QPushButton>(w, button);
  ASSERT_NE(b, nullptr) << button.toStdString();
  b->click();
  ASSERT_NE(w.OpenList(), nullptr) << button.toStdString();
  w.OpenList()->Pick(item);
}

std::array<uint8_t, 16> Row16(ConstImage image, size_t base) {
  std::array<uint8_t, 16> out{};
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(base), 16, out.begin());
  return out;
}

TEST(SetupWindow, MotionAreaAndScheduleWriteOnlyTheirCells) {
  SetupWindow w(Record(Bytes()), Env(16), 255);
  w.show();
  w.ShowPage(SetupPageId::kMotionArea);
  const std::vector<uint8_t> before(w.Image().begin(), w.Image().end());
  Find<QPushButton>(w, QStringLiteral("channel.2"))->click();  // channel 3
  auto* grid = Find<QWidget>(w, QStringLiteral("motionGrid"));
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->size(), QSize(360, 288));
  const size_t grid3 = at::kMotionAreas + 99 * 2;
  const uint8_t cell = before[grid3 + 11 * 1 + 4];
  QTest::mouseClick(grid, Qt::LeftButton, {}, QPoint(4 * 45 + 10, 1 * 36 + 10));
  EXPECT_EQ(w.Image()[grid3 + 11 * 1 + 4], cell == 1 ? 0 : 1);
  Find<QPushButton>(w, QStringLiteral("clearAll"))->click();
  for (size_t i = 0; i < w.Image().size(); ++i) {
    const bool inBlock = i >= grid3 && i < grid3 + 99 && (i - grid3) / 11 < 8 && (i - grid3) % 11 < 8;
    if (inBlock)
      EXPECT_EQ(w.Image()[i], 0) << i - grid3;
    else
      EXPECT_EQ(w.Image()[i], before[i]) << "byte " << i;
  }
  w.ShowPage(SetupPageId::kSchedule);
  Find<QPushButton>(w, QStringLiteral("checkAll"))->click();
  Find<QCheckBox>(w, QStringLiteral("hour.3.13"))->click();  // Tuesday 13:00 off again
  for (int d = 0; d < 7; ++d)
    for (int h = 0; h < 24; ++h) EXPECT_EQ(w.Image()[at::kSchedule + 24 * d + h], d == 2 && h == 13 ? 0 : 1);
  EXPECT_EQ(w.Image()[at::kSchedule + 168], before[at::kSchedule + 168]);
  EXPECT_EQ(w.Image()[at::kSchedule - 1], before[at::kSchedule - 1]);
}

TEST(SetupWindow, FrameOnePageAtATimeAndOnlyTheRecordersChannels) {
  const SetupDatabase record = Record(Bytes());
  SetupWindow w(record, Env(4), 255);
  w.show();
  EXPECT_EQ(w.size(), QSize(618, 546));
  EXPECT_TRUE(w.CategoryButton(SetupCategory::kDisplay)->isChecked()) << "opens on Display";
  const SetupCategory categories[] = {SetupCategory::kDisplay, SetupCategory::kRec, SetupCategory::kSystem,
                                      SetupCategory::kEvent};
  int pages = 0;
  for (SetupCategory category : categories) {
    w.CategoryButton(category)->click();
    for (SetupCategory other : categories) EXPECT_EQ(w.CategoryButton(other)->isChecked(), other == category);
    for (int id = 0; id < static_cast<int>(SetupPageId::kCount); ++id) {
      QAbstractButton* b = w.PageButton(static_cast<SetupPageId>(id));
      if (!b) continue;
      b->click();
      ASSERT_NE(w.CurrentPage(), nullptr) << id;
      ++pages;
      auto check = [&](const char* what) {
        SCOPED_TRACE(w.CurrentPage()->objectName().toStdString() + what);
        EXPECT_EQ(w.findChildren<SetupPage*>().size(), 1);
        EXPECT_EQ(w.CurrentPage()->geometry(), QRect(197, 83, 403, 417));
        // Rows exist for channels 1-4 only.
        const auto boxes = w.CurrentPage()->findChildren<QCheckBox*>(QRegularExpression(QStringLiteral("^select\\.")));
        for (QCheckBox* box : boxes) EXPECT_LE(box->objectName().mid(7).toInt(), 4);
        if (!boxes.isEmpty()) {
          EXPECT_EQ(boxes.size(), 4);
        }
      };
      check("");
      Shot(&w, ("setup_" + w.CurrentPage()->objectName().mid(5).toStdString() + ".png").c_str());
      if (auto* sub = Find<QPushButton>(w, QStringLiteral("subPage"))) {
        const SetupPageId parent = w.CurrentPage()->Id();
        sub->click();
        ASSERT_TRUE(guitest::WaitFor([&] { return w.CurrentPage() && w.CurrentPage()->Id() != parent; }, 2s));
        ++pages;
        check(" (sub-page)");
        Find<QPushButton>(w, QStringLiteral("back"))->click();
        ASSERT_TRUE(guitest::WaitFor([&] { return w.CurrentPage() && w.CurrentPage()->Id() == parent; }, 2s));
      }
    }
  }
  EXPECT_EQ(pages, 31);
  // Only looking at every page changes nothing: the record goes back as it came.
  EXPECT_TRUE(w.Changes().empty());
  const std::vector<uint8_t> sent = w.Record().NetworkBytes();
  EXPECT_EQ(sent, Bytes());
}

TEST(SetupWindow, RecordModeBudgetOnOffAndResolutionOnThePage) {
  std::vector<uint8_t> bytes = Bytes();
  const std::array<uint8_t, 4> group{5, 3, 2, 9};
  for (int c = 0; c < 16; ++c)
    bytes[at::kMode1Rate + static_cast<size_t>(c)] = c < 4 ? group[static_cast<size_t>(c)] : 1;
  SetupWindow w(Record(bytes), Env(16, 1), 255);
  w.show();
  w.ShowPage(SetupPageId::kRecMode1);
  Find<QCheckBox>(w, QStringLiteral("select.4"))->setChecked(true);
  Find<QSlider>(w, QStringLiteral("rate.4"))->setValue(30);
  EXPECT_EQ(w.Image()[at::kMode1Rate + 3], 20);
  EXPECT_EQ(Find<QSlider>(w, QStringLiteral("rate.4"))->value(), 20);
  EXPECT_EQ(Find<QLabel>(w, QStringLiteral("rateText.4"))->text(), QStringLiteral("20 fps"));
  Find<QSlider>(w, QStringLiteral("rate.1"))->setValue(0);
  EXPECT_EQ(w.Image()[at::kMode1Enable], 0);
  EXPECT_FALSE(Find<OnOffPair>(w, QStringLiteral("enable.1"))->isEnabled());
  EXPECT_TRUE(Find<OnOffPair>(w, QStringLiteral("enable.2"))->isEnabled());
  Find<QSlider>(w, QStringLiteral("rate.1"))->setValue(2);
  EXPECT_TRUE(Find<OnOffPair>(w, QStringLiteral("enable.1"))->isEnabled());
  // On/Off with the common editing rule: rows 4 and 9 selected.
  Find<QCheckBox>(w, QStringLiteral("select.9"))->setChecked(true);
  Find<OnOffPair>(w, QStringLiteral("enable.9"))->OffButton()->click();
  EXPECT_EQ(w.Image()[at::kMode1Enable + 3], 0);
  EXPECT_EQ(w.Image()[at::kMode1Enable + 8], 0);
  EXPECT_EQ(w.Image()[at::kMode1Enable + 9], 1);
  // The resolution tab: 2CIF for the first group gives each channel 120 / 2 / 4.
  Find<QPushButton>(w, QStringLiteral("tab.1"))->click();
  Find<QPushButton>(w, QStringLiteral("res1.1"))->click();
  for (int c = 0; c < 16; ++c) {
    EXPECT_EQ(w.Image()[at::kResolution1 + static_cast<size_t>(c)], c < 4 ? 1 : 0) << c;
    EXPECT_EQ(w.Image()[at::kMode1Rate + static_cast<size_t>(c)], c < 4 ? 15 : c == 8 ? 1 : 1) << c;
  }
  Shot(&w, "setup_record_mode.png");
}

TEST(SetupWindow, CommonEditingRuleAllNoneAndReset) {
  SetupWindow w(Record(Bytes()), Env(8), 255);
  w.show();
  w.ShowPage(SetupPageId::kCameraImage);
  const auto hue = [&] { return Row16(w.Image(), at::kHue); };
  const std::array<uint8_t, 16> before = hue();
  Find<QPushButton>(w, QStringLiteral("selectAll"))->click();
  Find<QSlider>(w, QStringLiteral("value.2"))->setValue(77);
  for (int c = 0; c < 16; ++c)
    EXPECT_EQ(hue()[static_cast<size_t>(c)], c < 8 ? 77 : before[static_cast<size_t>(c)]) << c;
  EXPECT_EQ(Find<QLabel>(w, QStringLiteral("text.8"))->text(), QStringLiteral("77"));
  Find<QPushButton>(w, QStringLiteral("selectNone"))->click();
  Find<QSlider>(w, QStringLiteral("value.3"))->setValue(10);
  EXPECT_EQ(hue()[2], 10);
  EXPECT_EQ(hue()[3], 77);
  // An unselected row moved alone; Reset acts on the selected rows.
  Find<QCheckBox>(w, QStringLiteral("select.3"))->setChecked(true);
  Find<QCheckBox>(w, QStringLiteral("select.5"))->setChecked(true);
  Find<QPushButton>(w, QStringLiteral("reset"))->click();
  EXPECT_EQ(hue()[2], 50);
  EXPECT_EQ(hue()[4], 50);
  EXPECT_EQ(hue()[3], 77);
  // Another tab clears the selection and shows its own field.
  Find<QPushButton>(w, QStringLiteral("tab.2"))->click();
  EXPECT_FALSE(Find<QCheckBox>(w, QStringLiteral("select.3"))->isChecked());
  EXPECT_EQ(Find<QSlider>(w, QStringLiteral("value.1"))->value(), std::min<int>(100, w.Image()[at::kContrast]));
  // Values survive a change of page: the page is rebuilt from the record.
  w.ShowPage(SetupPageId::kCovert);
  w.ShowPage(SetupPageId::kCameraImage);
  EXPECT_EQ(Find<QSlider>(w, QStringLiteral("value.3"))->value(), 50);
}

TEST(SetupWindow, UserAccountsAddRulesOnThePage) {
  std::vector<uint8_t> bytes = Bytes();
  UserRightsTable table;
  table.SetUserId(0, "admin");
  table.SetPassword(0, "4711");
  table.SetLevel(0, 1);
  std::copy(table.bytes.begin(), table.bytes.end(), bytes.begin() + at::kUserTable);
  SetupWindow w(Record(bytes), Env(16), 255);
  w.show();
  w.ShowPage(SetupPageId::kUsers);
  Choose(w, QStringLiteral("slot"), 2);
  auto* id = Find<QLineEdit>(w, QStringLiteral("newId"));
  auto* pw = Find<QLineEdit>(w, QStringLiteral("password"));
  auto* again = Find<QLineEdit>(w, QStringLiteral("again"));
  auto* add = Find<QPushButton>(w, QStringLiteral("add"));
  struct Case {
    const char *id, *pw, *again;
    bool enabled;
  };
  for (const Case& t : std::vector<Case>{{"", "a", "a", false},
                                         {"bob", "a", "b", false},
                                         {"bob", "4711", "4711", false},
                                         {"bob", "a", "", false},
                                         {"bob", "a", "a", true}}) {
    id->setText(QString::fromLatin1(t.id));
    pw->setText(QString::fromLatin1(t.pw));
    again->setText(QString::fromLatin1(t.again));
    EXPECT_EQ(add->isEnabled(), t.enabled) << t.id << "/" << t.pw << "/" << t.again;
  }
  id->setText(QStringLiteral("Admin"));
  add->click();
  EXPECT_FALSE(Find<QLabel>(w, QStringLiteral("message"))->text().isEmpty());
  EXPECT_EQ(id->selectedText(), QStringLiteral("Admin")) << "the ID is selected for correction";
  EXPECT_EQ(GetText(w.Image(), at::kUserTable + kUserIdOffset + 2 * 32, 32), "");
  id->setText(QStringLiteral("bob"));
  add->click();
  EXPECT_EQ(GetText(w.Image(), at::kUserTable + kUserIdOffset + 2 * 32, 32), "bob");
  EXPECT_EQ(GetText(w.Image(), at::kUserTable + kUserPasswordOffset + 2 * 32, 32), "a");
  EXPECT_EQ(Find<QLabel>(w, QStringLiteral("currentId"))->text(), QStringLiteral("bob"));
  EXPECT_TRUE(id->text().isEmpty()) << "the edits are cleared";

  // For another account the list starts at the second slot: its first item
  // edits slot 1, and the administrator's slot is out of reach.
  SetupEnv other = Env(16);
  other.account = 2;
  SetupWindow w2(Record(bytes), other, 255);
  w2.show();
  w2.ShowPage(SetupPageId::kUsers);
  Choose(w2, QStringLiteral("slot"), 0);
  Choose(w2, QStringLiteral("level"), 3);
  EXPECT_EQ(w2.Image()[at::kUserTable + kUserLevelOffset + 1], 3);
  EXPECT_EQ(w2.Image()[at::kUserTable + kUserLevelOffset + 0], 1) << "slot 0 untouched";
}

TEST(SetupWindow, VideoStandardChoiceCascadesOverThePages) {
  SetupWindow w(Record(Bytes()), Env(4, 1), 255);
  w.show();
  w.CategoryButton(SetupCategory::kSystem)->click();
  w.PageButton(SetupPageId::kSystemBasics)->click();
  const std::vector<uint8_t> before(w.Image().begin(), w.Image().end());
  Choose(w, QStringLiteral("videoStandard"), 0);  // NTSC already: nothing
  EXPECT_TRUE(std::equal(before.begin(), before.end(), w.Image().begin()));
  Choose(w, QStringLiteral("videoStandard"), 1);
  EXPECT_EQ(w.Image()[at::kVideoStandard], 1);
  for (int c = 0; c < 16; ++c)
    EXPECT_EQ(w.Image()[at::kMode4Rate + static_cast<size_t>(c)],
              c < 4 ? 25 : before[at::kMode4Rate + static_cast<size_t>(c)]);
  w.CategoryButton(SetupCategory::kRec)->click();
  w.PageButton(SetupPageId::kRecMode4)->click();
  EXPECT_EQ(Find<QLabel>(w, QStringLiteral("rateText.2"))->text(), QStringLiteral("25 fps"));
  EXPECT_EQ(Find<QSlider>(w, QStringLiteral("rate.2"))->maximum(), 25);
}

TEST(SetupWindow, OkListsTheChangesAndSendsOnlyWhenConfirmed) {
  std::vector<uint8_t> bytes = Bytes();
  std::fill_n(bytes.begin() + at::kCameraNames + 64, 32, 0);
  std::copy_n("Yard", 4, bytes.begin() + at::kCameraNames + 64);
  SetupWindow w(Record(bytes), Env(16), 255);
  std::vector<SetupChange> shown;
  bool confirm = false;
  w.SetConfirmHook([&](const std::vector<SetupChange>& changes) {
    shown = changes;
    return confirm;
  });
  w.show();
  w.ShowPage(SetupPageId::kCameraNames);
  auto* name = Find<QLineEdit>(w, QStringLiteral("name.3"));
  const QString old = name->text();
  name->selectAll();
  QTest::keyClicks(name, QStringLiteral("Gate"));
  w.OkButton()->click();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].key, "camera_name.3");
  EXPECT_EQ(shown[0].before, "Yard");
  EXPECT_EQ(old, QStringLiteral("Yard"));
  EXPECT_EQ(shown[0].after, "Gate");
  EXPECT_TRUE(w.isVisible()) << "not confirmed: the window stays";
  EXPECT_EQ(w.result(), 0);
  ASSERT_NE(w.CurrentPage(), nullptr) << "the page is shown again";
  confirm = true;
  w.OkButton()->click();
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(w.Result().Text(SetupFieldId::kCameraName, 2), "Gate");
  EXPECT_EQ(w.Result().Order(), SetupByteOrder::kNetwork);
  std::vector<uint8_t> expected = bytes;
  std::copy_n("Gate", 4, expected.begin() + at::kCameraNames + 64);
  EXPECT_EQ(w.Result().NetworkBytes(), expected) << "only the name changed";
}

TEST(SetupWindow, SaveAndLoadTheWholeRecordAndRefuseOthers) {
  QTemporaryDir dir;
  SetupWindow w(Record(Bytes()), Env(16), 255);
  w.ShowPage(SetupPageId::kCameraNames);
  const QString saved = dir.filePath(QStringLiteral("a.dvrsetup"));
  QString error;
  ASSERT_TRUE(w.SaveFile(saved, error)) << error.toStdString();
  QFile file(saved);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray written = file.readAll();
  file.close();
  EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.end()), Bytes()) << "network order, byte for byte";

  auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
  };
  std::vector<uint8_t> other = Bytes();
  other[at::kCameraNames] = 'Z';
  other[at::kCameraNames + 1] = 0;
  struct Case {
    const char* what;
    QString path;
    bool review, loads;
  };
  const std::vector<Case> cases = {
      {"too short", write("short", std::vector<uint8_t>(100, 1)), false, false},
      {"one byte too long", write("long", std::vector<uint8_t>(kSetupDatabaseSize + 1, 1)), false, false},
      {"other version", write("v5", Bytes(5, 0)), false, false},
      {"other version, review", write("v5r", Bytes(5, 0)), true, true},
      {"missing", dir.filePath(QStringLiteral("none")), false, false},
      {"same version", write("same", other), false, true},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.what);
    SetupEnv env = Env(16);
    env.review = t.review;
    SetupWindow target(Record(Bytes()), env, 255);
    target.ShowPage(SetupPageId::kCameraNames);
    const std::vector<uint8_t> before = target.Record().NetworkBytes();
    QString message;
    EXPECT_EQ(target.LoadFile(t.path, message), t.loads);
    EXPECT_EQ(message.isEmpty(), t.loads);
    if (!t.loads) {
      EXPECT_EQ(target.Record().NetworkBytes(), before) << "a refused file changes nothing";
    }
    ASSERT_NE(target.CurrentPage(), nullptr);
  }
  SetupWindow target(Record(Bytes()), Env(16), 255);
  target.ShowPage(SetupPageId::kCameraNames);
  ASSERT_TRUE(target.LoadFile(cases.back().path, error));
  EXPECT_EQ(Find<QLineEdit>(target, QStringLiteral("name.1"))->text(), QStringLiteral("Z"))
      << "the page shows the file";
  ASSERT_EQ(target.Changes().size(), 1u) << "changes count from the recorder's record";
  EXPECT_EQ(target.Changes()[0].key, "camera_name.1");
}

// A Time-protocol server on a free local port answering `value`.
struct TimeServer {
  QTcpServer server;
  explicit TimeServer(uint32_t value) {
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this, value] {
      QTcpSocket* s = server.nextPendingConnection();
      const char b[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
      s->write(b, 4);
      s->disconnectFromHost();
    });
  }
};

TEST(SetupWindow, NtpClockFromTheTimeServerElseThisComputer) {
  const uint32_t at2024 = 3913056000u + 3600u * 5;  // 2024-01-01 05:00:00 UTC
  TimeServer answering(at2024);
  QTcpServer closed;
  closed.listen(QHostAddress::LocalHost, 0);
  const uint16_t deadPort = closed.serverPort();
  closed.close();
  struct Case {
    const char* what;
    uint8_t zone, dateFormat, major, minor;
    bool reachable;
    std::string expect;  // prefix; empty: nothing shown
  };
  const std::vector<Case> cases = {
      {"GMT+1, year first", 2, 0, 4, 1, true, "2024-01-01  06:00:0"},
      {"GMT-5, month first", 20, 1, 4, 1, true, "01-01-2024  00:00:0"},
      {"GMT+9:30, day first", 24, 2, 4, 1, true, "01-01-2024  14:30:0"},
      {"no zone shows nothing", 0, 0, 4, 1, true, ""},
      {"no server: this computer's time, shifted", 14, 0, 4, 2, false, "pc"},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.what);
    std::vector<uint8_t> bytes = Bytes(t.major, t.minor);
    bytes[at::kTimeZone] = t.zone;
    bytes[at::kDateFormat] = t.dateFormat;
    bytes[at::kDst] = 0;
    SetupEnv env = Env(16);
    env.timeServers = {"127.0.0.1"};
    env.timePort = t.reachable ? answering.server.serverPort() : deadPort;
    SetupWindow w(Record(bytes), env, 255);
    w.show();
    const int64_t pc = static_cast<int64_t>(std::time(nullptr)) - 11 * 3600;
    w.ShowPage(SetupPageId::kNtp);
    auto* clock = Find<QLabel>(w, QStringLiteral("zoneTime"));
    ASSERT_NE(clock, nullptr);
    if (t.expect.empty()) {
      guitest::Spin(300ms);
      EXPECT_TRUE(clock->text().isEmpty());
    } else if (t.expect == "pc") {
      guitest::Spin(500ms);
      const std::string shown = clock->text().toStdString();
      bool near = false;
      for (int64_t s = pc - 2; s <= pc + 3; ++s) near = near || FormatRecorderTime(s, 0, "  ") == shown;
      EXPECT_TRUE(near) << shown;
    } else {
      EXPECT_TRUE(guitest::WaitFor([&] { return clock->text().startsWith(QString::fromStdString(t.expect)); }, 3s))
          << clock->text().toStdString();
    }
  }
  // The zone list of a newer database has +9:30 at position 11.
  SetupWindow w(Record(Bytes(4, 2)), Env(16), 255);
  w.show();
  w.ShowPage(SetupPageId::kNtp);
  Choose(w, QStringLiteral("zone"), 11);
  EXPECT_EQ(w.Image()[at::kTimeZone], 24);
  Choose(w, QStringLiteral("zone"), 12);
  EXPECT_EQ(w.Image()[at::kTimeZone], 11);
}

TEST(SetupSession, CameraNameSetInTheWindowReachesThePanes) {
  sim::SimConfig config;
  config.host = "127.0.0.1";
  config.port = 0;
  config.channels = 8;
  config.video.fps = 5;
  sim::Simulator simulator(config);
  std::string error;
  ASSERT_TRUE(simulator.Start(error)) << error;
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  window.show();
  ConnectParams login;
  login.address = "127.0.0.1";
  login.port = simulator.Port();
  login.user = "admin";
  login.password = "4711";
  window.Connect(login);
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));
  // The rights arrive just after live view starts: ask until the window opens.
  for (int i = 0; i < 50 && !window.SetupWindowShown(); ++i) {
    if (NoticeWindow* notice = window.CurrentNotice()) notice->close();
    window.Command(QStringLiteral("RSetup"))->click();
    guitest::WaitFor([&] { return window.SetupWindowShown() != nullptr; }, 300ms);
  }
  SetupWindow* setup = window.SetupWindowShown();
  ASSERT_NE(setup, nullptr);
  Shot(setup, "setup_window.png");
  // The window's texts come from the resource file.
  EXPECT_TRUE(services::Resources::Loaded());
  EXPECT_EQ(services::Resources::Text("setup.page.camera_names"), QStringLiteral("Camera Names"));
  std::vector<SetupChange> listed;
  setup->SetConfirmHook([&](const std::vector<SetupChange>& changes) {
    listed = changes;
    return true;
  });
  setup->ShowPage(SetupPageId::kCameraNames);
  EXPECT_EQ(setup->CurrentPage()->findChildren<QLineEdit*>().size(), 8) << "one edit per channel of the recorder";
  auto* name = Find<QLineEdit>(*setup, QStringLiteral("name.2"));
  ASSERT_NE(name, nullptr);
  name->selectAll();
  QTest::keyClicks(name, QStringLiteral("Loading bay"));
  Shot(setup, "setup_names.png");
  setup->OkButton()->click();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].key, "camera_name.2");
  EXPECT_TRUE(guitest::WaitFor([&] { return window.VideoView()->CameraTitle(1) == QStringLiteral("Loading bay"); }, 5s))
      << window.VideoView()->CameraTitle(1).toStdString();
  EXPECT_TRUE(guitest::WaitFor([&] { return window.CurrentNotice() != nullptr; }, 3s));
  if (window.CurrentNotice()) {
    EXPECT_EQ(window.CurrentNotice()->Shown(), (Notice{10, 0}));
  }
  // The recorder keeps it.
  const std::vector<uint8_t> kept = simulator.SetupImage();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(kept.data()) + at::kCameraNames + 32), "Loading bay");
  window.Disconnect();

  // Without the setup right: notice 15/0 and no window.
  MainWindow other(services);
  other.show();
  login.user = "guest";
  login.password = "guest";
  other.Connect(login);
  ASSERT_TRUE(guitest::WaitFor([&] { return other.Session() && other.Session()->LiveActive(); }, 10s));
  guitest::Spin(500ms);
  other.Command(QStringLiteral("RSetup"))->click();
  ASSERT_TRUE(guitest::WaitFor([&] { return other.CurrentNotice() != nullptr; }, 2s));
  EXPECT_EQ(other.CurrentNotice()->Shown(), kNoticeNotPermitted);
  guitest::Spin(300ms);
  EXPECT_EQ(other.SetupWindowShown(), nullptr);
  other.Disconnect();
}

TEST(SetupSession, RefusedUpdateAsksAgainAndInitializeClosesTheWindow) {
  sim::SimConfig config;
  config.host = "127.0.0.1";
  config.port = 0;
  config.channels = 4;
  config.video.fps = 5;
  config.setup.updateNack = 81;
  sim::Simulator simulator(config);
  std::string error;
  ASSERT_TRUE(simulator.Start(error)) << error;
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  std::vector<Notice> asked;
  int yes = 1;
  window.SetQuestionHook([&](Notice notice) {
    asked.push_back(notice);
    return yes-- > 0;
  });
  window.show();
  ConnectParams login;
  login.address = "127.0.0.1";
  login.port = simulator.Port();
  login.user = "admin";
  login.password = "4711";
  window.Connect(login);
  ASSERT_TRUE(guitest::WaitFor([&] { return window.Session() && window.Session()->LiveActive(); }, 10s));
  auto open = [&] {
    for (int i = 0; i < 50 && !window.SetupWindowShown(); ++i) {
      if (NoticeWindow* notice = window.CurrentNotice()) notice->close();
      window.Command(QStringLiteral("RSetup"))->click();
      guitest::WaitFor([&] { return window.SetupWindowShown() != nullptr; }, 300ms);
    }
    return window.SetupWindowShown();
  };
  SetupWindow* setup = open();
  ASSERT_NE(setup, nullptr);
  setup->SetConfirmHook([](const std::vector<SetupChange>&) { return true; });
  setup->OkButton()->click();
  // 7/1: asked, sent again, refused again, asked again (and declined).
  ASSERT_TRUE(guitest::WaitFor([&] { return asked.size() >= 2; }, 5s));
  EXPECT_EQ(asked[0], (Notice{7, 1}));
  EXPECT_EQ(asked[1], (Notice{7, 1}));
  guitest::Spin(300ms);
  EXPECT_EQ(asked.size(), 2u);

  // Initialize: 16/0 asked, DB_INIT_REQ, the open window closes unsent.
  setup = open();
  ASSERT_NE(setup, nullptr);
  setup->ShowPage(SetupPageId::kSystemBasics);
  yes = 1;
  asked.clear();
  Find<QPushButton>(*setup, QStringLiteral("initialize"))->click();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], (Notice{16, 0}));
  EXPECT_TRUE(guitest::WaitFor([&] { return window.SetupWindowShown() == nullptr; }, 3s));
  // The next opening works on a fresh record.
  EXPECT_NE(open(), nullptr);
  window.Disconnect();
  EXPECT_EQ(window.SetupWindowShown(), nullptr) << "disconnecting ends the window";
}

TEST(SetupSession, SavedRecordReviewedWithoutARecorder) {
  QTemporaryDir dir;
  const QString good = dir.filePath(QStringLiteral("good")), bad = dir.filePath(QStringLiteral("bad"));
  {
    QString error;
    SetupWindow source(Record(Bytes(3, 0)), Env(16), 255);
    ASSERT_TRUE(source.SaveFile(good, error));
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(65536, '\0'));
  }
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  QString error;
  EXPECT_FALSE(window.OpenSetupFile(bad, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(window.SetupWindowShown(), nullptr);
  ASSERT_TRUE(window.OpenSetupFile(good, &error)) << error.toStdString();
  SetupWindow* review = window.SetupWindowShown();
  ASSERT_NE(review, nullptr);
  EXPECT_FALSE(review->OkButton()->isVisible()) << "nothing to send to";
  review->ShowPage(SetupPageId::kSystemBasics);
  EXPECT_FALSE(Find<QPushButton>(*review, QStringLiteral("initialize"))->isEnabled());
  review->reject();
  EXPECT_EQ(window.SetupWindowShown(), nullptr);
}

}  // namespace
}  // namespace orva::view
