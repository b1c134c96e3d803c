// orvactl calendar, day, events and play against the recorder simulator's
// default archive (every channel recording for the last 3 days, motion
// stretches on the even channels, alarms on channel 1): what the search
// windows would show, playback under a motion script on 4 and 16 channels,
// refusals and usage errors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "commands.h"
#include "orva/link/notices.h"
#include "orva/link/time_convert.h"
#include "orva/sim/simulator.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct CliRun {
  int code;
  std::string out, err;
};

std::string Date(uint32_t t, int format = 0) { return FormatRecorderTime(t, format).substr(0, 10); }
uint32_t Midnight(uint32_t t) { return t - t % 86400; }
uint32_t Be32At(const std::vector<uint8_t>& p, size_t at) {
  return uint32_t{p[at]} << 24 | uint32_t{p[at + 1]} << 16 | uint32_t{p[at + 2]} << 8 | p[at + 3];
}

std::vector<std::smatch> Lines(const std::string& out, const std::string& pattern) {
  std::vector<std::smatch> result;
  std::regex re(pattern);
  for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it) result.push_back(*it);
  return result;
}

class OrvactlPlayback : public ::testing::Test {
 protected:
  void StartSim(sim::SimConfig config = {}) {
    config.host = "127.0.0.1";
    config.port = 0;
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
    now = sim::WireNow();
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
  // Noon of the day before today: recorded all day on every channel.
  uint32_t YesterdayNoon() const { return Midnight(now) - 86400 + 12 * 3600; }
  std::unique_ptr<sim::Simulator> simulator;
  uint32_t now = 0;
};

TEST_F(OrvactlPlayback, CalendarDayAndEventsShowTheArchive) {
  StartSim();
  // Calendar: every day of the last three plus today, in each date format.
  for (int format : {0, 2}) {
    CliRun r = Orvactl({"--date-format", std::to_string(format), "calendar"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string want = "calendar: " + (format == 0 ? FormatRecorderTime(now, 0).substr(0, 7)
                                                   : FormatRecorderTime(now, 1).substr(0, 2) + "-" +
                                                         FormatRecorderTime(now, 0).substr(0, 4)) + "\n";
    for (uint32_t day = Midnight(now - 3 * 86400); day <= now; day += 86400) want += "day: " + Date(day, format) + "\n";
    EXPECT_EQ(r.out, want);
  }

  // Day: one record for the channels recording without a break, one per
  // motion stretch (even channels, 30 s every 10 minutes), one per alarm
  // (channel 1, a minute every 2 hours); bars only for the chosen channels.
  const uint32_t day = Midnight(YesterdayNoon());
  CliRun r = Orvactl({"day", Date(day), "--channels", "0x0003"});
  ASSERT_EQ(r.code, 0) << r.err;
  int motion = 0, alarms = 0;
  bool unbroken = false;
  for (auto& m : Lines(r.out, R"(span: channels=([\d,]+) kinds=0x([0-9A-F]{2}) start=(\S+ \S+) end=(\S+ \S+))")) {
    if (m[2] == "04") {
      ++motion;
      EXPECT_EQ(m[1], "02,04,06,08,10,12,14,16");
    } else if (m[2] == "10") {
      ++alarms;
      EXPECT_EQ(m[1], "01");
    } else if (m[2] == "01" && m[3] == Date(day) + " 00:00:00" && m[4] == Date(day) + " 23:59:59") {
      unbroken = m[1] == "03,05,07,09,11,13,15";
    }
  }
  EXPECT_EQ(motion, 144);
  EXPECT_EQ(alarms, 12);
  EXPECT_TRUE(unbroken) << r.out;
  std::map<std::pair<std::string, std::string>, std::set<int>> bars;  // (row, kind) -> x0
  for (auto& m : Lines(r.out, R"(bar: row=(\d\d) kind=(\d) x0=(\d+) x1=(\d+))")) {
    EXPECT_LT(std::stoi(m[3]), std::stoi(m[4]));
    EXPECT_LE(std::stoi(m[4]), 288);
    bars[{m[1], m[2]}].insert(std::stoi(m[3]));
  }
  EXPECT_EQ(bars.size(), 4u) << r.out;  // channels 1 and 2, each continuous and one event kind
  using Row = std::pair<std::string, std::string>;
  EXPECT_EQ(bars[Row("01", "4")], (std::set<int>{0, 24, 48, 72, 96, 120, 144, 168, 192, 216, 240, 264}));
  EXPECT_EQ(bars[Row("02", "2")].size(), 144u);
  EXPECT_EQ(bars[Row("01", "0")].size(), 12u);  // between the alarms

  // Events: the whole list numbered per kind, and one page of the motion kind.
  r = Orvactl({"events"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::map<int, int> perKind;
  for (auto& m : Lines(r.out, R"(event: kind=(\d) number=(\d+) channels=\S+ start=\S+ \S+ end=\S+ \S+)")) {
    const int kind = std::stoi(m[1]);
    EXPECT_EQ(std::stoi(m[2]), perKind[kind]++) << m[0];
  }
  // Three days back from now: 144 motion stretches and 12 alarms a day,
  // one more of each when one is cut at the archive's start.
  EXPECT_GE(perKind[2], 432);
  EXPECT_LE(perKind[2], 433);
  EXPECT_GE(perKind[4], 36);
  EXPECT_LE(perKind[4], 37);
  r = Orvactl({"events", "--kind", "2", "--page", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "page: 2 / " + std::to_string((perKind[2] + 19) / 20) + "\n");
  const auto page = Lines(r.out, R"(event: kind=2 number=\d+ channels=02,04,06,08,10,12,14,16 )");
  EXPECT_EQ(page.size(), 20u) << r.out;
  EXPECT_TRUE(Lines(r.out, R"(event: kind=[^2])").empty());
}

TEST_F(OrvactlPlayback, PlaybackFollowsItsScriptOnFourAndSixteenChannels) {
  struct Case {
    int channels, sizeCode;
    const char* size;
    std::vector<std::string> extra;  // what to play and how
    uint8_t kindMask;
    int speed;
    int direction;  // of the last shown time against the start: +1 later, -1 earlier
  };
  for (const Case& c : {
           Case{4, 2, "704x480", {"--script", "pause,stepf,stepf,stepb,rev,wait:1000,fwd", "--seconds", "7"},
                0, 1, +1},
           Case{16, 1, "352x240", {"--range", "--script", "rev", "--seconds", "3"}, 63, -1, -1},
       }) {
    SCOPED_TRACE(c.size);
    sim::SimConfig config;
    config.channels = static_cast<uint8_t>(c.channels);
    config.video.sizeCode = c.sizeCode;
    StartSim(config);
    const uint32_t start = YesterdayNoon();
    const fs::path dir = fs::temp_directory_path() / ("orva-play-" + std::to_string(getpid()));
    fs::remove_all(dir);
    std::vector<std::string> args = {"play", "--from", FormatRecorderTime(start, 0), "--pictures", dir.string()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    CliRun r = Orvactl(args);
    ASSERT_EQ(r.code, 0) << r.err;
    // Decoded pictures, full size, of the channel's own colour and number.
    std::set<std::string> pictures;
    for (int ch = 1; ch <= c.channels; ++ch) {
      std::ifstream in(dir / (ch < 10 ? "ch0" + std::to_string(ch) + ".ppm" : "ch" + std::to_string(ch) + ".ppm"),
                       std::ios::binary);
      ASSERT_TRUE(in) << "channel " << ch;
      std::string magic, w, h;
      in >> magic >> w >> h;
      EXPECT_EQ(magic + " " + w + "x" + h, std::string("P6 ") + c.size);
      pictures.insert(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    EXPECT_EQ(static_cast<int>(pictures.size()), c.channels);
    fs::remove_all(dir);
    const auto channels = Lines(r.out, R"(channel (\d+): (\d+x\d+) pictures=(\d+))");
    EXPECT_EQ(static_cast<int>(channels.size()), c.channels) << r.out;
    for (auto& m : channels) {
      EXPECT_EQ(m[2], c.size) << m[0];
      EXPECT_GE(std::stoi(m[3]), 3) << m[0];
    }
    std::smatch shown;
    ASSERT_TRUE(std::regex_search(r.out, shown, std::regex(R"(shown: (\S+ \S+)\nspeed: (-?\d+)\n$)"))) << r.out;
    EXPECT_EQ(std::stoi(shown[2]), c.speed);
    const std::string startText = FormatRecorderTime(start, 0);
    if (c.direction > 0) EXPECT_GT(shown[1].str(), startText);
    else EXPECT_LT(shown[1].str(), startText);
    EXPECT_GT(shown[1].str(), FormatRecorderTime(start - 600, 0));  // not far off
    EXPECT_LT(shown[1].str(), FormatRecorderTime(start + 600, 0));

    // The request as the window it stands for builds it; the stop went out
    // before the goodbye.
    std::vector<uint16_t> codes;
    std::vector<uint8_t> request;
    for (auto& m : simulator->Received()) {
      codes.push_back(m.code);
      if (m.code == 51) request = m.payload;
    }
    ASSERT_EQ(request.size(), 24u);
    EXPECT_EQ(Be32At(request, 0), c.channels == 16 ? 0xFFFFu : 0xFu);
    EXPECT_EQ(request[4], c.kindMask);
    EXPECT_EQ(Be32At(request, 16), start);
    EXPECT_EQ(Be32At(request, 20), 0u);
    auto stop = std::find(codes.begin(), codes.end(), uint16_t{55});
    EXPECT_NE(stop, codes.end());
    EXPECT_EQ(codes.back(), 4);
    simulator->Stop();
  }
}

TEST_F(OrvactlPlayback, AnEventPlaysFromItsStartToItsEnd) {
  StartSim();
  CliRun list = Orvactl({"events"});
  ASSERT_EQ(list.code, 0) << list.err;
  std::smatch first;
  ASSERT_TRUE(std::regex_search(list.out, first, std::regex(R"(event: kind=4 number=0 channels=01 start=(\S+ \S+) end=(\S+ \S+))")))
      << list.out;
  CliRun r = Orvactl({"play", "--event", "4:0", "--seconds", "1.5"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("channel 1: "), std::string::npos) << r.out;
  std::smatch shown;
  ASSERT_TRUE(std::regex_search(r.out, shown, std::regex(R"(shown: (\S+ \S+))")));
  EXPECT_GE(shown[1].str(), first[1].str());
  EXPECT_LE(shown[1].str(), first[2].str());
  std::vector<uint8_t> request;
  for (auto& m : simulator->Received())
    if (m.code == 51) request = m.payload;
  ASSERT_EQ(request.size(), 24u);
  EXPECT_EQ(request[4], 1u << 4);
}

TEST_F(OrvactlPlayback, RefusalsExitWithThreeAndTheNoticeText) {
  struct Case {
    const char* what;
    void (*configure)(sim::SimConfig&);
    std::vector<std::string> args;
    const char* user;
    Notice notice;
  };
  for (const Case& c : std::vector<Case>{
           {"play refused", [](sim::SimConfig& s) { s.archive.playOnNack = 53; }, {"play", "--seconds", "1"}, "admin",
            {6, 4}},
           {"play without data", [](sim::SimConfig& s) { s.archive.playOnNack = 83; }, {"play"}, "admin", {4, 0}},
           {"month refused", [](sim::SimConfig& s) { s.archive.monthNack = 1; }, {"calendar"}, "admin", {6, 0}},
           {"empty archive", [](sim::SimConfig& s) { s.archive.days = 0; }, {"calendar"}, "admin", {4, 0}},
           {"day without data", [](sim::SimConfig& s) { s.archive.dayNack = 83; }, {"day", "2020-01-01"}, "admin",
            {4, 0}},
           {"no playback right", [](sim::SimConfig&) {}, {"events"}, "guest", kNoticeNotPermitted},
       }) {
    SCOPED_TRACE(c.what);
    sim::SimConfig config;
    c.configure(config);
    StartSim(config);
    std::vector<std::string> args = c.args;
    if (args[0] == "play") args.insert(args.begin() + 1, {"--from", FormatRecorderTime(YesterdayNoon(), 0)});
    CliRun r = Orvactl(args, c.user, std::string(c.user) == "guest" ? "guest" : "4711");
    EXPECT_EQ(r.code, 3) << r.out;
    EXPECT_NE(r.err.find(FormatNotice(c.notice)), std::string::npos) << r.err;
    EXPECT_TRUE(Lines(r.out, "(channel|shown|day|span): ").empty()) << r.out;
    simulator->Stop();
  }
}

TEST_F(OrvactlPlayback, UsageErrorsExitWithOne) {
  const std::string t = "2024-03-01 12:00:00";
  for (auto args : std::vector<std::vector<std::string>>{
           {"--date-format", "3", "calendar"}, {"calendar", "--bogus"}, {"day"}, {"day", "2024-02-30"},
           {"day", "24-01-01"}, {"day", "2024-01-01", "--channels", "0"}, {"day", "2024-01-01", "2024-01-02"},
           {"events", "--page", "2"}, {"events", "--kind", "3"}, {"events", "--kind", "2", "--page", "0"},
           {"play"}, {"play", "--from", "2024-01-01 25:00:00"}, {"play", "--from", "2024-01-01"},
           {"play", "--event", "2:x"}, {"play", "--event", "3:1"}, {"play", "--from", t, "--event", "2:0"},
           {"play", "--to", t}, {"play", "--range"}, {"play", "--from", t, "--script", "jump"},
           {"play", "--from", t, "--script", "fwd,,rev"}, {"play", "--from", t, "--script", "wait:"},
           {"play", "--from", t, "--to", "2024-03-01 11:59:59"}, {"play", "--from", t, "--seconds", "0"},
           {"play", "--from", t, "--channels", "0x10000"}}) {
    CliRun r = Orvactl(args);
    EXPECT_EQ(r.code, 1) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_FALSE(r.err.empty());
  }
}

}  // namespace
}  // namespace orva
