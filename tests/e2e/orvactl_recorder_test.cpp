// orvactl log, status and system against the recorder simulator: the log
// newest first in each view, the status rows of a fixed and of a growing
// archive with and without extra devices, the free-space estimate, the
// system rows from the login, refusals and usage errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "commands.h"
#include "orva/link/notices.h"
#include "orva/sim/firmware_files.h"
#include "orva/sim/simulator.h"

namespace orva {
namespace {

struct CliRun {
  int code;
  std::string out, err;
};

std::vector<std::smatch> Lines(const std::string& out, const std::string& pattern) {
  std::vector<std::smatch> result;
  std::regex re(pattern);
  for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it) result.push_back(*it);
  return result;
}

class OrvactlRecorder : public ::testing::Test {
 protected:
  void StartSim(sim::SimConfig config = {}) {
    config.host = "127.0.0.1";
    config.port = 0;
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
  }
  CliRun Orvactl(std::vector<std::string> args, const std::string& user = "admin", const std::string& pw = "4711") {
    std::vector<std::string> all = {"orvactl", "--port", std::to_string(simulator ? simulator->Port() : 1),
                                    "--user", user, "--password", pw};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (auto& a : all) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = cli::RunOrvactl(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
  }
  std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(OrvactlRecorder, SystemShowsTheLoginIdentity) {
  struct Case {
    const char* what;
    std::array<uint8_t, 6> mac;
    std::vector<sim::FirmwareComponent> firmware;
    std::vector<std::string> site;  // global options before the command
    std::string want;               // after the address line
  };
  for (const Case& c : std::vector<Case>{
           {"defaults", {0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E}, sim::DefaultFirmware(), {},
            "site: -\nmac: 00:0A:1B:2C:3D:4E\nfirmware: 0 MAIN_NAME 2009  1207  1015\n"
            "firmware: 3 OTHER_NAME 2010  0102  0304\n"},
           {"three components and a site",
            {0xDE, 0xad, 0x00, 0x0f, 0xa0, 0x01},
            {{0, "APP", sim::WireTime(2021, 6, 30, 23, 59, 1)},
             {5, "KERNEL", sim::WireTime(2020, 1, 1, 0, 0, 0)},
             {19, "FPGA", sim::WireTime(2019, 11, 5, 8, 7, 0)}},
            {"--site", "Hall 2 west"},
            "site: Hall 2 west\nmac: DE:AD:00:0F:A0:01\nfirmware: 0 APP 2021  0630  2359\n"
            "firmware: 5 KERNEL 2020  0101  0000\nfirmware: 19 FPGA 2019  1105  0807\n"},
       }) {
    SCOPED_TRACE(c.what);
    sim::SimConfig config;
    config.mac = c.mac;
    config.firmware = c.firmware;
    StartSim(config);
    std::vector<std::string> args = c.site;
    args.push_back("system");
    CliRun r = Orvactl(args);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "address: 127.0.0.1:" + std::to_string(simulator->Port()) + "\n" + c.want);
    simulator->Stop();
  }
}

TEST_F(OrvactlRecorder, LogListsTheRecordsNewestFirst) {
  sim::SimConfig config;
  config.info.logEvents = 12;
  StartSim(config);
  // Every view of one log: the rows each shows and how it prints them.
  struct Case {
    std::vector<std::string> args;
    std::string row;                 // type and kind columns
    std::string date;                // date and time column
    int events;                      // event rows expected
  };
  const std::string ymd = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})";
  const std::string dmy = R"(\d{2}-\d{2}-\d{4} \d{2}:\d{2}:\d{2})";
  for (const Case& c : std::vector<Case>{
           {{"log"}, "(Power|Record|Operation|Client|Event)\t([A-Za-z ]*)", ymd, 12},
           {{"--date-format", "2", "log", "--type", "event"}, "(Event)\t(Motion|Video loss)", dmy, 12},
           {{"log", "--type", "client"}, "(Client)\t(Client connected|Client disconnected|Logon refused)", ymd, 0},
           {{"log", "--numeric"}, "type=([0-4])\tkind=(-|\\d)", ymd, 12},
           {{"log", "--type", "event", "--numeric"}, "type=(4)\tkind=([0-2])", ymd, 12},
       }) {
    SCOPED_TRACE(c.args.back());
    CliRun r = Orvactl(c.args);
    ASSERT_EQ(r.code, 0) << r.err;
    const auto rows = Lines(r.out, "(\\d{5})\t(" + c.date + ")\t" + c.row + "\t([^\t\n]*)\n");
    ASSERT_FALSE(rows.empty()) << r.out;
    // Every line is a row, and the rows come newest first.
    EXPECT_EQ(static_cast<size_t>(std::count(r.out.begin(), r.out.end(), '\n')), rows.size()) << r.out;
    int events = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      const auto& m = rows[i];
      if (i > 0) {
        EXPECT_LT(std::stoi(m[1]), std::stoi(rows[i - 1][1])) << m[0];
        if (c.date == ymd) {
          EXPECT_LE(m[2].str(), rows[i - 1][2].str()) << m[0];
        }
      }
      const bool event = m[3] == "Event" || m[3] == "4";
      if (!event) continue;
      ++events;
      // Motion on the even channels, alarms on channel 1, listed as the detail.
      const bool motion = m[4] == "Motion" || m[4] == "1";
      EXPECT_EQ(m[5], motion ? "02 04 06 08 10 12 14 16 " : "01 ") << m[0];
    }
    EXPECT_EQ(events, c.events);
  }
  // The login of the runs above is in the recorder's own log.
  CliRun r = Orvactl({"log", "--type", "client"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(Lines(r.out, "\tClient\tClient connected\t[^\n]*admin").empty()) << r.out;
  std::vector<uint16_t> codes;
  for (auto& m : simulator->Received()) codes.push_back(m.code);
  EXPECT_NE(std::find(codes.begin(), codes.end(), uint16_t{320}), codes.end());
}

TEST_F(OrvactlRecorder, StatusShowsDisksChannelsAndDevices) {
  struct Case {
    const char* what;
    int channels, devices;
    bool fixedArchive;  // ten recorded days that ended: nothing recording
    std::string disks;  // the three capacity rows; empty: only their form
    std::string channelRow;
    std::string deviceRows;
  };
  for (const Case& c : std::vector<Case>{
           {"ten days, four channels, no devices", 4, 0, true,
            "disk_total: 2.00 TByte\ndisk_used: 400 GByte\ndisk_free: 1.61 TByte\n", "-", ""},
           {"recording now on sixteen channels, four devices", 16, 4, false, "", "recording continuous",
            "device 1: value=32 state=ready\ndevice 2: value=64 state=busy\ndevice 3: value=96 state=fault\n"
            "device 4: value=128 state=ready\n"},
       }) {
    SCOPED_TRACE(c.what);
    sim::SimConfig config;
    config.channels = static_cast<uint8_t>(c.channels);
    config.info.statusDevices = c.devices;
    if (c.fixedArchive) {
      config.archive.start = sim::WireTime(2024, 3, 1, 0, 0, 0);
      config.archive.end = config.archive.start + 10 * 86400 - 1;
    }
    StartSim(config);
    CliRun r = Orvactl({"status"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string channels;
    for (int ch = 1; ch <= c.channels; ++ch)
      channels += std::string("channel ") + (ch < 10 ? "0" : "") + std::to_string(ch) + ": " + c.channelRow + "\n";
    const std::string rest = channels + c.deviceRows;
    ASSERT_GE(r.out.size(), rest.size()) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - rest.size()), rest) << r.out;
    const std::string disks = r.out.substr(0, r.out.size() - rest.size());
    if (!c.disks.empty()) {
      EXPECT_EQ(disks, c.disks);
    } else {
      EXPECT_TRUE(std::regex_match(disks, std::regex("disk_total: 2.00 TByte\ndisk_used: \\d+ GByte\n"
                                                     "disk_free: \\d\\.\\d\\d TByte\n")))
          << disks;
    }
    std::vector<uint16_t> codes;
    for (auto& m : simulator->Received()) codes.push_back(m.code);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), uint16_t{326}), 1);
    simulator->Stop();
  }
}

TEST_F(OrvactlRecorder, StatusWatchEstimatesTheDaysLeft) {
  struct Case {
    const char* what;
    bool growing;        // the archive follows the clock
    double low, high;    // days_left range; low < 0: unknown
  };
  for (const Case& c : std::vector<Case>{
           // 100 MB a recorded second, 1000 s recorded of 2 TB: about 0.23 days left.
           {"filling", true, 0.1, 0.3},
           {"archive ended", false, -1, -1},
       }) {
    SCOPED_TRACE(c.what);
    sim::SimConfig config;
    config.info.diskDayMb = 100 * 86400;
    const uint32_t now = sim::WireNow();
    config.archive.start = now - 1000;
    if (!c.growing) config.archive.end = now - 10;
    StartSim(config);
    CliRun r = Orvactl({"status", "--watch", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("\ndays_left: (\\S+)\n$"))) << r.out;
    if (c.low < 0) {
      EXPECT_EQ(m[1], "unknown");
    } else {
      EXPECT_TRUE(std::regex_match(m[1].str(), std::regex("\\d+\\.\\d"))) << m[1];
      EXPECT_GE(std::stod(m[1]), c.low);
      EXPECT_LE(std::stod(m[1]), c.high);
    }
    std::vector<uint16_t> codes;
    for (auto& msg : simulator->Received()) codes.push_back(msg.code);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), uint16_t{326}), 2);
    simulator->Stop();
  }
}

TEST_F(OrvactlRecorder, RefusalsExitWithThreeAndTheNoticeText) {
  struct Case {
    const char* what;
    void (*configure)(sim::SimConfig&);
    std::vector<std::string> args;
    const char* user;
    std::string text;
  };
  for (const Case& c : std::vector<Case>{
           {"log refused", [](sim::SimConfig& s) { s.info.logNack = 1; }, {"log"}, "admin", FormatNotice({6, 0})},
           {"log without data", [](sim::SimConfig& s) { s.info.logNack = 83; }, {"log"}, "admin",
            FormatNotice({4, 0})},
           {"status refused", [](sim::SimConfig& s) { s.info.statusNack = 86; }, {"status"}, "admin",
            FormatNotice({6, 3})},
           {"status refused for another reason", [](sim::SimConfig& s) { s.info.statusNack = 5; },
            {"status", "--watch", "1"}, "admin", "the recorder refused the request"},
           {"no search right", [](sim::SimConfig&) {}, {"log"}, "guest", FormatNotice(kNoticeNotPermitted)},
       }) {
    SCOPED_TRACE(c.what);
    sim::SimConfig config;
    c.configure(config);
    StartSim(config);
    CliRun r = Orvactl(c.args, c.user, std::string(c.user) == "guest" ? "guest" : "4711");
    EXPECT_EQ(r.code, 3) << r.out;
    EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    simulator->Stop();
  }
}

TEST_F(OrvactlRecorder, UsageErrorsExitWithOne) {
  for (auto args : std::vector<std::vector<std::string>>{
           {"log", "--type"}, {"log", "--type", "alarm"}, {"log", "--type", "All"}, {"log", "--numeric", "x"},
           {"status", "--watch"}, {"status", "--watch", "0"}, {"status", "--watch", "-2"},
           {"status", "--watch", "2s"}, {"status", "--watch", "86401"}, {"status", "now"}, {"system", "--all"},
           {"--site", std::string(261, 'x'), "system"}, {"--site"}}) {
    CliRun r = Orvactl(args);
    EXPECT_EQ(r.code, 1) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace orva

namespace orva {
namespace {

class OrvactlFirmware : public OrvactlRecorder {
 protected:
  void SetUp() override {
    location = std::filesystem::temp_directory_path() / ("orva_fw_e2e_" + std::to_string(::getpid()));
    std::filesystem::remove_all(location);
    std::vector<std::string> written;
    std::string error;
    ASSERT_TRUE(sim::WriteSampleFirmware(sim::SimConfig{}, (location / "Upgrade").string(), written, error)) << error;
    ASSERT_EQ(written.size(), 2u);
  }
  void TearDown() override { std::filesystem::remove_all(location); }
  CliRun Firmware(std::vector<std::string> args) {
    args.insert(args.begin(), {"--location", location.string(), "firmware"});
    return Orvactl(args);
  }
  std::filesystem::path location;
};

TEST_F(OrvactlFirmware, UploadRebootAndTheNewBuildAtTheNextLogin) {
  StartSim();
  CliRun list = Firmware({"--list"});
  ASSERT_EQ(list.code, 0) << list.err;
  const std::string upgrade = (location / "Upgrade").string();
  EXPECT_EQ(list.out, "row 0: component 0 MAIN_NAME build 2009-12-08 10:15:30 " + upgrade + "/main.bin\n"
                      "row 1: component 3 OTHER_NAME build 2010-01-03 03:04:05 " + upgrade + "/component3.bin\n");
  CliRun run = Firmware({"--reboot"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "row 0: done\nrow 1: done\nreboot: accepted\n");
  // The recorder runs the new builds now: nothing is newer any more.
  CliRun system = Orvactl({"system"});
  EXPECT_NE(system.out.find("firmware: 0 MAIN_NAME 2009  1208  1015\nfirmware: 3 OTHER_NAME 2010  0103  0304\n"),
            std::string::npos)
      << system.out;
  CliRun again = Firmware({"--list"});
  EXPECT_EQ(again.code, 3);
  EXPECT_NE(again.err.find(FormatNotice({11, 1})), std::string::npos) << again.err;
  CliRun log = Orvactl({"log", "--type", "operation"});
  EXPECT_EQ(Lines(log.out, "\tOperation\tFirmware upgraded\t(MAIN_NAME|OTHER_NAME)\n").size(), 2u) << log.out;
}

TEST_F(OrvactlFirmware, RefusalsAndFailuresAreReportedPerRow) {
  struct Case {
    const char* what;
    void (*configure)(sim::SimConfig&);
    std::vector<std::string> args;
    int code;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {"refused", [](sim::SimConfig& c) { c.info.fwUpdateNack = 17; }, {}, 3, "row 0: refused 17\nrow 1: refused 17\n",
       ""},
      {"write failed, no reboot", [](sim::SimConfig& c) { c.info.fwUpdateFail = 4; }, {"--reboot"}, 3,
       "row 0: failed 4\nrow 1: failed 4\n", ""},
      {"one row only", [](sim::SimConfig&) {}, {"--rows", "1"}, 0, "row 1: done\n", ""},
      {"a row without a candidate", [](sim::SimConfig&) {}, {"--rows", "2"}, 3, "", "row 2 has no newer firmware"},
      {"another account", [](sim::SimConfig&) {}, {}, 3, "", FormatNotice(kNoticeNotPermitted)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::SimConfig config;
    c.configure(config);
    StartSim(config);
    CliRun r = std::string(c.what) == "another account"
                   ? Orvactl({"--location", location.string(), "firmware"}, "guest", "guest")
                   : Firmware(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

TEST_F(OrvactlRecorder, LogPdfPrintsOnePagePerThirtyThreeRows) {
  sim::SimConfig config;
  config.info.logEvents = 40;
  StartSim(config);
  const std::string pdf = (std::filesystem::temp_directory_path() / ("orva_log_" + std::to_string(::getpid()) + ".pdf")).string();
  CliRun r = Orvactl({"log", "--pdf", pdf});
  ASSERT_EQ(r.code, 0) << r.err;
  const size_t rows = static_cast<size_t>(std::count(r.out.begin(), r.out.end(), '\n'));
  ASSERT_GT(rows, 33u);
  std::ifstream in(pdf, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.rfind("%PDF-", 0), 0u);
  // Page objects are plain dictionaries in the file; the footers are text.
  const size_t pages = (rows + 32) / 33;
  EXPECT_EQ(Lines(bytes, "/Type /Page\\b").size(), pages);
  std::string text;
  if (FILE* p = ::popen(("pdftotext -layout " + pdf + " -").c_str(), "r")) {
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, p)) > 0;) text.append(chunk, n);
    ::pclose(p);
  }
  // The extractor keeps the glyphs, not the blanks between them ("- 1 / 2 -").
  std::erase(text, ' ');
  for (size_t page = 1; page <= pages; ++page) {
    const std::string footer = "-" + std::to_string(page) + "/" + std::to_string(pages) + "-";
    EXPECT_NE(text.find(footer), std::string::npos) << footer;
  }
  // The newest record heads the first page, as in the printed list.
  EXPECT_NE(text.find(r.out.substr(0, 5)), std::string::npos);
  std::filesystem::remove(pdf);
  EXPECT_EQ(Orvactl({"log", "--pdf"}).code, 1);
}

}  // namespace
}  // namespace orva
