// orvactl size, download, local and export against the recorder simulator:
// a short download on 4 channels read back by the local commands and the
// local player, the ways a download stops (each leaving a playable pair),
// the refusals of the size check, and one channel exported to MP4.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "commands.h"
#include "local_folder.h"
#include "orva/link/notices.h"
#include "orva/link/time_convert.h"
#include "orva/sim/simulator.h"

extern char** environ;

namespace orva {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct CliRun {
  int code;
  std::string out, err;
};

uint32_t Be32At(const std::vector<uint8_t>& p, size_t at) {
  return uint32_t{p[at]} << 24 | uint32_t{p[at + 1]} << 16 | uint32_t{p[at + 2]} << 8 | p[at + 3];
}

std::vector<std::smatch> Lines(const std::string& out, const std::string& pattern) {
  std::vector<std::smatch> result;
  std::regex re(pattern);
  for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it) result.push_back(*it);
  return result;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class OrvactlDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    location = fs::temp_directory_path() / ("orva-dl-" + std::to_string(getpid()));
    fs::remove_all(location);
  }
  void TearDown() override {
    if (simulator) simulator->Stop();
    fs::remove_all(location);
  }
  void StartSim(sim::SimConfig config) {
    config.host = "127.0.0.1";
    config.port = 0;
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
    // 12:09:50 yesterday: ten seconds before a motion stretch on the even channels.
    const uint32_t now = sim::WireNow();
    start = now - now % 86400 - 86400 + 12 * 3600 + 9 * 60 + 50;
  }
  std::vector<std::string> Argv(std::vector<std::string> args, const std::string& user = "admin") const {
    std::vector<std::string> all = {"orvactl", "--port", std::to_string(simulator ? simulator->Port() : 1),
                                    "--user", user, "--password", user == "admin" ? "4711" : user,
                                    "--location", location.string()};
    all.insert(all.end(), args.begin(), args.end());
    return all;
  }
  CliRun Orvactl(std::vector<std::string> args, const std::string& user = "admin") const {
    const auto all = Argv(std::move(args), user);
    std::vector<const char*> argv;
    for (auto& a : all) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = cli::RunOrvactl(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
  }
  static std::string T(uint32_t t) { return FormatRecorderTime(t, 0); }
  fs::path DownloadDir() const { return location / "Download"; }
  uint64_t VidBytes() const {
    uint64_t total = 0;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(DownloadDir(), ec))
      if (e.path().extension() == ".vid") total += e.file_size(ec);
    return total;
  }

  fs::path location;
  std::unique_ptr<sim::Simulator> simulator;
  uint32_t start = 0;
};

TEST_F(OrvactlDownload, ADownloadPlaysBackLocallyWithoutTheRecorder) {
  sim::SimConfig config;
  config.channels = 4;
  StartSim(config);
  const uint32_t end = start + 19;  // 10 s continuous, then 10 s of motion on channels 2 and 4

  // An event's size is asked for with its kind bit and the event's own range.
  CliRun r = Orvactl({"size", "--event", "4:1"});  // 4:0 may be cut at the archive's start
  ASSERT_EQ(r.code, 0) << r.err;
  std::vector<uint8_t> sizeRequest;
  for (auto& m : simulator->Received())
    if (m.code == 99) sizeRequest = m.payload;
  ASSERT_EQ(sizeRequest.size(), 24u);
  EXPECT_EQ(sizeRequest[4], 1u << 4);
  EXPECT_EQ(Be32At(sizeRequest, 20) - Be32At(sizeRequest, 16), 59u);  // the alarm's minute

  r = Orvactl({"download", "--from", T(start), "--to", T(end), "--channels", "0xF"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::smatch size, free, pair, frames, received;
  ASSERT_TRUE(std::regex_search(r.out, size, std::regex(R"(^size: (\d+) (KByte|MByte)\n)"))) << r.out;
  ASSERT_TRUE(std::regex_search(r.out, free, std::regex(R"(\nfree: (\d+) MiB\n)"))) << r.out;
  EXPECT_NEAR(std::stod(free[1]), static_cast<double>(cli::FreeMiB(location.string())), 200);
  const auto pairs = Lines(r.out, R"(pair: (\S+)\.vid (\S+)\.idx\n)");
  ASSERT_EQ(pairs.size(), 1u) << r.out;
  EXPECT_EQ(pairs[0][1], pairs[0][2]);
  EXPECT_EQ(fs::path(pairs[0][1].str()).parent_path(), DownloadDir());
  const std::string pairBase = pairs[0][2].str();  // the matches point into r.out
  ASSERT_TRUE(std::regex_search(r.out, frames, std::regex(R"(frames: video=(\d+) audio=(\d+)\n)")));
  EXPECT_EQ(frames[1], "1200");  // 20 s x 15 fps x 4 channels
  EXPECT_EQ(frames[2], "40");    // two sound frames a second on channel 1
  ASSERT_TRUE(std::regex_search(r.out, received, std::regex(R"(received: (\d+) KiB\n$)")));
  // The estimate agrees with what came, to the display unit.
  const double got = std::stod(received[1]) / (size[2] == "MByte" ? 1024 : 1);
  EXPECT_NEAR(std::stod(size[1]), got, 1.0) << r.out;
  std::vector<uint8_t> dataRequest;
  for (auto& m : simulator->Received())
    if (m.code == 294) dataRequest = m.payload;
  ASSERT_EQ(dataRequest.size(), 24u);
  EXPECT_EQ(Be32At(dataRequest, 0), 0xFu);
  EXPECT_EQ(dataRequest[4], 63u);
  EXPECT_EQ(Be32At(dataRequest, 16), start);
  EXPECT_EQ(Be32At(dataRequest, 20), end);

  // The local commands need no recorder.
  simulator->Stop();
  r = Orvactl({"local", "files"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "file: " + pairBase + ".idx link=0 next=0 start=" + T(start) + "\n");
  r = Orvactl({"local", "calendar"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "day: " + T(start).substr(0, 10) + " kinds=0x05\n");
  r = Orvactl({"local", "events", "--kind", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "event: kind=2 number=0 start=" + T(start + 10) + " end=" + T(end) + "\n");

  const fs::path pictures = location / "pictures";
  const uint32_t target = start + 15;
  r = Orvactl({"local", "play", "--from", T(start + 2), "--seconds", "1.5", "--pictures", pictures.string(),
               "--script", "pause,stepf,stepb,seek:" + T(target) + ",fwd,fwd"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::smatch seek;
  ASSERT_TRUE(std::regex_search(r.out, seek, std::regex(R"(^seek: target=(\S+ \S+) landed=(\S+ \S+) ms=[\d.]+\n)")))
      << r.out;
  EXPECT_EQ(seek[1], T(target));
  EXPECT_EQ(seek[2], T(target));
  const auto channels = Lines(r.out, R"(channel (\d+): 352x240 pictures=(\d+)\n)");
  EXPECT_EQ(channels.size(), 4u) << r.out;
  for (auto& m : channels) EXPECT_GE(std::stoi(m[2]), 3) << m[0];
  std::set<std::string> distinct;
  for (int ch = 1; ch <= 4; ++ch) distinct.insert(ReadAll(pictures / ("ch0" + std::to_string(ch) + ".ppm")));
  EXPECT_EQ(distinct.size(), 4u);  // each channel's own picture
  std::smatch shown;
  ASSERT_TRUE(std::regex_search(r.out, shown, std::regex(R"(shown: (\S+ \S+)\nspeed: 2\n$)"))) << r.out;
  EXPECT_GE(shown[1].str(), T(target));
  EXPECT_LE(shown[1].str(), T(end));

  r = Orvactl({"local", "play", "--from", T(end + 60)});
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find(FormatNotice({4, 0})), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

// orvactl as its own process, so that it can be sent a signal.
struct Child {
  pid_t pid = -1;
  fs::path outPath;
  bool Spawn(const std::vector<std::string>& args, const fs::path& out) {
    outPath = out;
    std::vector<std::string> all = args;
    all[0] = ORVACTL_PROGRAM;  // in place of the name Argv gives it
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (out.string() + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawn(&pid, ORVACTL_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
  }
  int Wait() {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  ~Child() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      Wait();
    }
  }
};

TEST_F(OrvactlDownload, EveryStopLeavesAPlayablePair) {
  struct Case {
    const char* what;
    int failAfter;  // --trans-fail FRAMES:83
    int action;     // 0 none, 1 SIGTERM, 2 the recorder goes away
    int code;
  };
  for (const Case& c : {Case{"SIGTERM", 0, 1, 130}, Case{"connection lost", 0, 2, 2},
                        Case{"recorder fails", 200, 0, 3}}) {
    SCOPED_TRACE(c.what);
    sim::SimConfig config;
    config.channels = 4;
    config.archive.transFailFrames = c.failAfter;
    config.archive.transFailResult = 83;
    StartSim(config);
    fs::create_directories(location);
    // Ten minutes: far more than arrives before the stop.
    Child child;
    ASSERT_TRUE(child.Spawn(Argv({"download", "--from", T(start), "--to", T(start + 600)}), location / "out"));
    if (c.action != 0) {
      const auto deadline = std::chrono::steady_clock::now() + 20s;
      while (VidBytes() < 200000 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
      ASSERT_GE(VidBytes(), 200000u);
      if (c.action == 1) kill(child.pid, SIGTERM);
      else simulator->Stop();
    }
    EXPECT_EQ(child.Wait(), c.code) << ReadAll(location / "out.err");
    const std::string out = ReadAll(location / "out");
    EXPECT_EQ(Lines(out, R"(pair: \S+\.vid \S+\.idx\n)").size(), 1u) << out;
    std::smatch frames;
    ASSERT_TRUE(std::regex_search(out, frames, std::regex(R"(frames: video=(\d+) )"))) << out;
    if (c.failAfter) {
      EXPECT_EQ(std::stoi(frames[1]), c.failAfter);
      EXPECT_NE(ReadAll(location / "out.err").find(FormatNotice({4, 0})), std::string::npos);
    } else {
      EXPECT_LT(std::stoi(frames[1]), 600 * 15 * 4);
    }

    CliRun r = Orvactl({"local", "play", "--from", T(start), "--seconds", "0.5"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Lines(r.out, R"(channel \d: 352x240 pictures=[1-9])").size(), 4u) << r.out;
    simulator->Stop();
    fs::remove_all(location);
  }
}

TEST_F(OrvactlDownload, RefusedSizeChecksExitWithThree) {
  struct Case {
    const char* what;
    void (*configure)(sim::SimConfig&);
    const char* user;
    Notice notice;
    uint32_t seconds;
  };
  for (const Case& c : std::vector<Case>{
           // Eight hours of 4 padded channels: far beyond any test machine's disk.
           {"no room", [](sim::SimConfig& s) { s.archive.frameBytes = 1243968; }, "admin", {13, 0}, 8 * 3600},
           {"nothing recorded", [](sim::SimConfig& s) { s.archive.transOnNack = 83; }, "admin", {4, 0}, 10},
           {"no backup right", [](sim::SimConfig&) {}, "guest", kNoticeNotPermitted, 10},
       }) {
    SCOPED_TRACE(c.what);
    sim::SimConfig config;
    config.channels = 4;
    c.configure(config);
    StartSim(config);
    const uint64_t needMiB = uint64_t{c.seconds} * 15 * 4 * 1243968 / 1048576;
    if (c.notice == Notice{13, 0} && cli::FreeMiB(location.string()) >= needMiB + 100)
      GTEST_SKIP() << "the disk has room for " << needMiB << " MiB";
    // Both commands share the check; the free-space rule is the one to see in each.
    for (const char* command : {"size", "download"}) {
      if (c.notice != Notice{13, 0} && std::string(command) == "size") continue;
      CliRun r = Orvactl({command, "--from", T(start), "--to", T(start + c.seconds - 1)}, c.user);
      EXPECT_EQ(r.code, 3) << r.out;
      EXPECT_NE(r.err.find(FormatNotice(c.notice)), std::string::npos) << r.err;
      EXPECT_EQ(r.out, "");
      if (c.notice == Notice{13, 0}) {
        const std::string spare = std::to_string(cli::FreeMiB(location.string()) - 100);
        EXPECT_NE(r.err.find(" MiB needed, " + spare.substr(0, spare.size() - 2)), std::string::npos) << r.err;
      }
    }
    for (auto& m : simulator->Received()) EXPECT_NE(m.code, 294) << "no download was asked for";
    simulator->Stop();
  }
}

TEST_F(OrvactlDownload, OneChannelExportsToMp4) {
  sim::SimConfig config;
  config.channels = 2;
  StartSim(config);
  CliRun r = Orvactl({"download", "--from", T(start), "--to", T(start + 9)});
  ASSERT_EQ(r.code, 0) << r.err;
  simulator->Stop();
  const fs::path mp4 = location / "ch2.mp4";
  r = Orvactl({"export", "--from", T(start), "--to", T(start + 9), "--channel", "2", mp4.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  std::smatch line;
  ASSERT_TRUE(std::regex_search(r.out, line, std::regex(R"(^export: (\S+) frames=(\d+) duration=([\d.]+)\nsha256: (\S+)\n$)")))
      << r.out;
  EXPECT_EQ(line[1], mp4.string());
  EXPECT_EQ(line[2], "150");
  EXPECT_NEAR(std::stod(line[3]), 10.0, 0.2);
  EXPECT_EQ(line[4], mp4.string() + ".sha256");
  EXPECT_NE(ReadAll(line[4].str()).find(".vid"), std::string::npos);
  if (std::system("ffprobe -version > /dev/null 2>&1") == 0) {
    const std::string probe = "ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height,nb_frames -of csv=p=0 '" + mp4.string() + "'";
    FILE* p = popen(probe.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char text[128] = {};
    const size_t n = fread(text, 1, sizeof text - 1, p);
    pclose(p);
    EXPECT_EQ(std::string(text, n), "h264,352,240,150\n");
  }
  // Channel 3 was never recorded in these pairs.
  r = Orvactl({"export", "--from", T(start), "--to", T(start + 9), "--channel", "3", (location / "ch3.mp4").string()});
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find("orvactl: export: "), std::string::npos);
  EXPECT_FALSE(fs::exists(location / "ch3.mp4"));
}

TEST_F(OrvactlDownload, UsageErrorsExitWithOne) {
  const std::string t = "2024-03-01 12:00:00";
  for (auto args : std::vector<std::vector<std::string>>{
           {"size"}, {"size", "--from", t}, {"size", "--to", t}, {"size", "--from", t, "--to", "2024-03-01 11:00:00"},
           {"size", "--event", "3:0"}, {"size", "--event", "2:0", "--from", t, "--to", t}, {"download", "--bogus"},
           {"download", "--from", t, "--to", t, "--channels", "0"}, {"local"}, {"local", "list"},
           {"local", "files", "extra"}, {"local", "calendar", "--year", "1999"}, {"local", "events", "--kind", "3"},
           {"local", "play"}, {"local", "play", "--from", t, "--event", "2:0"},
           {"local", "play", "--from", t, "--script", "seek:2024-03-01"}, {"play", "--from", t, "--script", "seek:" + t},
           {"export", "--from", t, "--to", t, "out.mp4"}, {"export", "--from", t, "--to", t, "--channel", "17", "o.mp4"},
           {"export", "--from", t, "--to", t, "--channel", "1"}, {"export", "--from", t, "--to", t, "--channel", "1", "a", "b"}}) {
    CliRun r = Orvactl(args);
    EXPECT_EQ(r.code, 1) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_NE(r.err.find("orvactl: "), std::string::npos);
  }
}

}  // namespace
}  // namespace orva
