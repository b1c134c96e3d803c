// Command line, config file and the payload builders' text handling.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <tuple>

#include "orva/sim/config.h"
#include "orva/sim/payloads.h"

namespace orva::sim {
namespace {

bool Parse(std::vector<std::string> args, SimConfig& config, std::string& error,
           bool* help = nullptr) {
  args.insert(args.begin(), "orva-sim");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  bool showHelp = false;
  const bool ok = ParseSimArgs(static_cast<int>(argv.size()), argv.data(), config, error, showHelp);
  if (help != nullptr) *help = showHelp;
  return ok;
}

class TempFile {
 public:
  explicit TempFile(const std::string& text) {
    char name[] = "/tmp/orva_sim_testXXXXXX";
    const int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    close(fd);
    path_ = name;
    std::ofstream(path_) << text;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(SimOptions, ParsesEveryOption) {
  SimConfig c;
  std::string error;
  ASSERT_TRUE(Parse({"--host", "0.0.0.0", "--port=0", "--channels", "8", "--product", "3",
                     "--protocol", "2.5", "--version", "1.0", "--front", "7", "--mac",
                     "aa-bb-cc-dd-ee-0f", "--unicode-names", "--camera", "3:Gate \xC3\xA9",
                     "--covert", "4", "--covert", "5,16", "--user", "a:b", "--user",
                     "C:D:playback,backup,access,level=2", "--user", "e:f:", "--firmware",
                     "1:BOOT:2010-01-02 03:04:05", "--firmware", "19:LAST:2009-12-07T10:15:30",
                     "--login-refused-result", "-2", "--access-denied-result", "36",
                     "--never-answer-hello", "--bye-on-hello", "33", "--close-mid-message",
                     "--stall", "2", "--verbose"},
                    c, error))
      << error;
  EXPECT_EQ(c.host, "0.0.0.0");
  EXPECT_EQ(c.port, 0);
  EXPECT_EQ(c.channels, 8);
  EXPECT_EQ(c.productNumber, 3);
  EXPECT_EQ(c.protocolMajor, 2);
  EXPECT_EQ(c.protocolMinor, 5);
  EXPECT_EQ(c.productMajor, 1);
  EXPECT_EQ(c.productMinor, 0);
  EXPECT_EQ(c.frontVersion, 7);
  EXPECT_EQ(c.mac, (std::array<uint8_t, 6>{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x0F}));
  EXPECT_TRUE(c.unicodeNames);
  EXPECT_EQ(c.cameraNames[2], "Gate \xC3\xA9");
  EXPECT_EQ(c.cameraNames[0], "Front door");
  // First --covert replaces the default (channel 2 on screen).
  std::array<bool, 16> covert{};
  covert[3] = covert[4] = covert[15] = true;
  EXPECT_EQ(c.covert, covert);
  ASSERT_EQ(c.users.size(), 3u);
  EXPECT_TRUE(c.users[0].stopRecording && c.users[0].reboot && c.users[0].access);
  EXPECT_EQ(c.users[1].id, "C");
  EXPECT_TRUE(c.users[1].playback && c.users[1].backup && c.users[1].access);
  EXPECT_FALSE(c.users[1].setup || c.users[1].ptz || c.users[1].covert);
  EXPECT_EQ(c.users[1].level, 2);
  EXPECT_FALSE(c.users[2].access);  // empty rights list: no rights at all
  ASSERT_EQ(c.firmware.size(), 2u);
  EXPECT_EQ(c.firmware[0].index, 1);
  EXPECT_EQ(c.firmware[0].buildTime, 1262401445u);
  EXPECT_EQ(c.firmware[1].buildTime, 1260180930u);
  EXPECT_EQ(c.loginRefusedResult, -2);
  EXPECT_EQ(c.accessDeniedResult, 36);
  EXPECT_TRUE(c.faults.neverAnswerHello);
  EXPECT_EQ(c.faults.byeOnHello, 33);
  EXPECT_TRUE(c.faults.closeMidMessage);
  EXPECT_EQ(c.faults.stallSeconds, 2);
  EXPECT_TRUE(c.verbose);
}

TEST(SimOptions, HelpIsReported) {
  SimConfig c;
  std::string error;
  bool help = false;
  ASSERT_TRUE(Parse({"--port", "5", "--help"}, c, error, &help));
  EXPECT_TRUE(help);
  EXPECT_NE(SimUsage().find("--bye-on-hello"), std::string::npos);
}

TEST(SimOptions, BadValuesAreRefusedAndChangeNothing) {
  const std::vector<std::vector<std::string>> bad = {
      {"--port", "65536"}, {"--port", "-1"}, {"--port", "12x"}, {"--port"},
      {"--channels", "256"}, {"--protocol", "1"}, {"--protocol", "1.2.3"},
      {"--version", "256.0"}, {"--mac", "00:11:22:33:44"}, {"--mac", "00:11:22:33:44:GG"},
      {"--mac", "0:11:22:33:44:55"}, {"--user", "nopassword"}, {"--user", ":x"},
      {"--user", "a:b:fly"}, {"--user", "a:b:level=256"},
      {"--user", "abcdefghijabcdefghijabcdefghijab:x"}, {"--camera", "0:x"},
      {"--camera", "17:x"}, {"--camera", "3"}, {"--camera", "1:\xC3\x28"},
      {"--camera", "1:" + std::string(32, 'x')}, {"--covert", "0"}, {"--covert", "17"},
      {"--covert", ""}, {"--stall", "3601"}, {"--bye-on-hello", "0"},
      {"--bye-on-hello", "2147483648"}, {"--firmware", "20:x"},
      {"--firmware", "1:x:2009-13-01 00:00:00"}, {"--firmware", "1:x:2009-02-29 00:00:00"},
      {"--host", "256.1.1.1"}, {"--host", "localhost"}, {"--frobnicate"}, {"stray"},
      {"--verbose=maybe"}, {"--config", "/nonexistent/orva-sim.conf"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(args.size() > 1 ? args[0] + " " + args[1] : args[0]);
    SimConfig c;
    c.port = 1234;
    std::string error;
    EXPECT_FALSE(Parse(args, c, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(c.port, 1234);
    EXPECT_EQ(c.users.size(), 3u);
  }
  std::vector<std::string> nineUsers;
  for (int i = 0; i < 9; ++i) {
    nineUsers.push_back("--user");
    nineUsers.push_back("u" + std::to_string(i) + ":p");
  }
  SimConfig c;
  std::string error;
  EXPECT_FALSE(Parse(nineUsers, c, error));
  EXPECT_NE(error.find("8 users"), std::string::npos) << error;
}

TEST(SimOptions, LongNamesCountUtf16Units) {
  // 31 two-byte characters are 62 UTF-8 bytes but only 31 UTF-16 units.
  std::string name;
  for (int i = 0; i < 31; ++i) name += "\xC3\xA9";
  SimConfig c;
  std::string error;
  ASSERT_TRUE(Parse({"--camera", "1:" + name}, c, error)) << error;
  // 30 units plus a surrogate pair is 32 units: one too many.
  EXPECT_FALSE(Parse({"--camera", "1:" + std::string(30, 'x') + "\xF0\x9F\x98\x80"}, c, error));

  // The narrow notice cuts such a name at a character boundary within 31 bytes.
  const std::vector<uint8_t> narrow = BuildDbChange(c);
  const std::string first(reinterpret_cast<const char*>(narrow.data() + 20), 30);
  EXPECT_EQ(first, name.substr(0, 30));
  EXPECT_EQ(narrow[20 + 30], 0);
  EXPECT_EQ(narrow[20 + 31], 0);
}

TEST(SimOptions, ConfigFileIsReadAndCommandLineWins) {
  TempFile file(
      "# simulator settings\n"
      "\n"
      "port = 3000\r\n"
      "  channels=4  \n"
      "camera = \"2:  Back gate \"\n"
      "user = root:toor:setup\n"
      "user = kim:pw\n"
      "unicode-names\n"
      "verbose = no\n"
      "covert = none\n");
  SimConfig c;
  std::string error;
  ASSERT_TRUE(Parse({"--port", "4000", "--config", file.path(), "--user", "x:y"}, c, error))
      << error;
  EXPECT_EQ(c.port, 4000);
  EXPECT_EQ(c.channels, 4);
  EXPECT_EQ(c.cameraNames[1], "  Back gate ");
  EXPECT_TRUE(c.unicodeNames);
  EXPECT_FALSE(c.verbose);
  EXPECT_EQ(c.covert, (std::array<bool, 16>{}));
  ASSERT_EQ(c.users.size(), 1u);  // the command line's first --user replaced the file's
  EXPECT_EQ(c.users[0].id, "x");

  SimConfig fromFile;
  ASSERT_TRUE(LoadSimConfigFile(file.path(), fromFile, error)) << error;
  ASSERT_EQ(fromFile.users.size(), 2u);
  EXPECT_TRUE(fromFile.users[0].setup);
  EXPECT_FALSE(fromFile.users[0].access);
  EXPECT_TRUE(fromFile.users[1].reboot);
}

TEST(SimOptions, ConfigFileErrorsNameTheLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"port = 1\n\nport = 99999\n", ":3:"},
      {"# ok\ncolour = red\n", ":2: unknown key"},
      {"config = other.conf\n", ":1:"},
      {"port\n", ":1:"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    TempFile file(text);
    SimConfig c;
    std::string error;
    EXPECT_FALSE(LoadSimConfigFile(file.path(), c, error));
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_EQ(c.port, 2000);
  }
  SimConfig c;
  std::string error;
  EXPECT_FALSE(LoadSimConfigFile("/tmp", c, error));
  EXPECT_FALSE(error.empty());
}

TEST(SimOptions, StreamingAndDeviceOptions) {
  SimConfig config;
  std::string error;
  ASSERT_TRUE(Parse({"--size-code", "2", "--channel-size", "3:1", "--channel-size=16:0", "--pal",
                     "--fps", "25", "--bitrate", "2000", "--loop-seconds", "4",
                     "--fragment-bytes", "8000", "--video-loss", "2,16", "--audio-channels",
                     "none", "--fast", "--frames", "60", "--rec-on-nack", "65",
                     "--rec-off-nack=-3", "--listen-nack", "53"},
                    config, error))
      << error;
  EXPECT_EQ(config.video.sizeCode, 2);
  EXPECT_EQ(config.video.SizeCodeOf(2), 1);
  EXPECT_EQ(config.video.SizeCodeOf(15), 0);
  EXPECT_EQ(config.video.SizeCodeOf(0), 2);
  EXPECT_TRUE(config.video.pal);
  EXPECT_EQ(config.video.fps, 25);
  EXPECT_EQ(config.video.bitrateKbps, 2000);
  EXPECT_EQ(config.video.loopSeconds, 4);
  EXPECT_EQ(config.video.fragmentBytes, 8000);
  EXPECT_TRUE(config.video.videoLoss[1]);
  EXPECT_TRUE(config.video.videoLoss[15]);
  EXPECT_FALSE(config.video.videoLoss[0]);
  EXPECT_EQ(std::count(config.audioChannels.begin(), config.audioChannels.end(), true), 0);
  EXPECT_TRUE(config.fast);
  EXPECT_EQ(config.framesPerChannel, 60);
  EXPECT_EQ(config.recOnNack, 65);
  EXPECT_EQ(config.recOffNack, -3);
  EXPECT_EQ(config.listenNack, 53);

  SimConfig defaults;
  EXPECT_EQ(defaults.video.sizeCode, 1);
  EXPECT_TRUE(defaults.audioChannels[0]);
  EXPECT_EQ(std::count(defaults.audioChannels.begin(), defaults.audioChannels.end(), true), 1);

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--size-code", "4"}, {"--channel-size", "0:1"}, {"--channel-size", "3"},
           {"--channel-size", "3:9"}, {"--fps", "31"}, {"--fps", "0"}, {"--bitrate", "10"},
           {"--loop-seconds", "0"}, {"--fragment-bytes", "65536"}, {"--video-loss", "17"},
           {"--video-loss", ""}, {"--audio-channels", "1,,x"}, {"--frames", "0"},
           {"--rec-on-nack", "x"}, {"--pal=maybe"}}) {
    SimConfig untouched;
    error.clear();
    EXPECT_FALSE(Parse(bad, untouched, error)) << bad[0];
    EXPECT_FALSE(error.empty()) << bad[0];
    EXPECT_EQ(untouched.video.sizeCode, 1);
  }

  bool help = false;
  ASSERT_TRUE(Parse({"--help"}, config, error, &help));
  for (const char* option : {"--size-code", "--channel-size", "--pal", "--fps", "--bitrate",
                             "--loop-seconds", "--video-loss", "--audio-channels", "--fast",
                             "--frames", "--rec-on-nack", "--listen-nack"}) {
    EXPECT_NE(SimUsage().find(option), std::string::npos) << option;
  }

  TempFile file("fast\nfps = 12\nvideo-loss = none\nchannel-size = 1:3\npal = no\n");
  SimConfig fromFile;
  ASSERT_TRUE(LoadSimConfigFile(file.path(), fromFile, error)) << error;
  EXPECT_TRUE(fromFile.fast);
  EXPECT_EQ(fromFile.video.fps, 12);
  EXPECT_EQ(fromFile.video.SizeCodeOf(0), 3);
  EXPECT_FALSE(fromFile.video.pal);
}

TEST(SimOptions, ArchiveAndPlaybackOptions) {
  SimConfig config;
  std::string error;
  ASSERT_TRUE(Parse({"--archive-start", "2024-01-31 23:00:00", "--archive-end=1706745600",
                     "--archive-channels", "1,3", "--event", "1:3600:5:16", "--event",
                     "4:60:60:2", "--archive-clock=no", "--search-fragment-bytes", "24",
                     "--event-page-size", "7", "--month-nack", "53", "--day-nack", "83",
                     "--event-nack", "86", "--play-on-nack", "98", "--play-off-nack", "2",
                     "--play-fail", "40:-5", "--archive-frame-bytes", "1243968",
                     "--trans-estimate-ms", "250", "--trans-on-nack", "87",
                     "--trans-off-nack", "1", "--trans-fail", "7:53"},
                    config, error))
      << error;
  const SimArchiveConfig& a = config.archive;
  EXPECT_EQ(a.start, WireTime(2024, 1, 31, 23, 0, 0));
  EXPECT_EQ(a.end, 1706745600u);
  EXPECT_EQ(std::count(a.channels.begin(), a.channels.end(), true), 2);
  EXPECT_TRUE(a.channels[2]);
  ASSERT_EQ(a.events.size(), 2u);  // the first --event replaced the defaults
  EXPECT_EQ(std::tie(a.events[0].kind, a.events[0].period, a.events[0].length), std::make_tuple(1, 3600, 5));
  EXPECT_TRUE(a.events[0].channels[15]);
  EXPECT_EQ(a.events[1].length, 60);
  EXPECT_FALSE(a.clock);
  EXPECT_EQ(std::tie(a.searchFragmentBytes, a.eventPageSize), std::make_tuple(24, 7));
  EXPECT_EQ(std::tie(a.monthNack, a.dayNack, a.eventNack, a.playOnNack, a.playOffNack),
            std::make_tuple(53, 83, 86, 98, 2));
  EXPECT_EQ(std::tie(a.playFailFrames, a.playFailResult), std::make_tuple(40, -5));
  EXPECT_EQ(std::tie(a.frameBytes, a.estimateMs, a.transOnNack, a.transOffNack),
            std::make_tuple(1243968, 250, 87, 1));
  EXPECT_EQ(std::tie(a.transFailFrames, a.transFailResult), std::make_tuple(7, 53));

  SimConfig defaults;
  EXPECT_EQ(defaults.archive.days, 3);
  EXPECT_TRUE(defaults.archive.clock);
  ASSERT_EQ(defaults.archive.events.size(), 2u);
  EXPECT_EQ(std::count(defaults.archive.events[0].channels.begin(),
                       defaults.archive.events[0].channels.end(), true), 8);

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--archive-days", "3651"}, {"--archive-start", "2024-02-30 00:00:00"},
           {"--archive-start", "2024-02-02 00:00:00", "--archive-end", "2024-02-01 00:00:00"},
           {"--archive-channels", "0"}, {"--event", "3:600:30:1"}, {"--event", "2:600:601:1"},
           {"--event", "2:1:1:1"}, {"--event", "2:600:30"}, {"--event", "2:600:30:17"},
           {"--search-fragment-bytes", "15"}, {"--event-page-size", "0"},
           {"--play-fail", "0:1"}, {"--play-fail", "5"}, {"--month-nack", "x"},
           {"--archive-clock=maybe"}, {"--archive-frame-bytes", "1243969"},
           {"--trans-estimate-ms", "60001"}, {"--trans-fail", "0:1"}, {"--trans-on-nack", "x"}}) {
    SimConfig untouched;
    error.clear();
    EXPECT_FALSE(Parse(bad, untouched, error)) << bad[0];
    EXPECT_FALSE(error.empty()) << bad[0];
    EXPECT_EQ(untouched.archive.events.size(), 2u);
  }
  for (const char* option : {"--archive-days", "--archive-start", "--archive-end", "--event",
                             "--archive-clock", "--search-fragment-bytes", "--event-page-size",
                             "--month-nack", "--day-nack", "--event-nack", "--play-on-nack",
                             "--play-off-nack", "--play-fail", "--archive-frame-bytes",
                             "--trans-estimate-ms", "--trans-on-nack", "--trans-off-nack",
                             "--trans-fail"}) {
    EXPECT_NE(SimUsage().find(option), std::string::npos) << option;
  }

  TempFile file("event = none\narchive-days = 0\narchive-clock = off\n");
  SimConfig fromFile;
  ASSERT_TRUE(LoadSimConfigFile(file.path(), fromFile, error)) << error;
  EXPECT_TRUE(fromFile.archive.events.empty());
  EXPECT_EQ(fromFile.archive.days, 0);
  EXPECT_FALSE(fromFile.archive.clock);
}

TEST(SimPayloads, Utf8ConversionRejectsMalformedInput) {
  std::u16string out;
  ASSERT_TRUE(Utf8ToUtf16("A\xC3\xA9\xE2\x82\xAC\xF4\x8F\xBF\xBF", out));
  EXPECT_EQ(out, (std::u16string{u'A', 0x00E9, 0x20AC, 0xDBFF, 0xDFFF}));
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80",
                          "\xF8\x88\x80\x80\x80"}) {
    EXPECT_FALSE(Utf8ToUtf16(bad, out)) << bad;
  }
}

TEST(SimPayloads, RightsTableKeepsTextWithinItsField) {
  SimUser user;
  user.id = std::string(40, 'i');  // longer than the field: cut, never overrun
  user.password = "Pass";
  user.level = 0;
  const std::vector<uint8_t> table = BuildRightsTable({user});
  ASSERT_EQ(table.size(), 584u);
  EXPECT_EQ(table[0x48 + 30], 'i');
  EXPECT_EQ(table[0x48 + 31], 0);
  EXPECT_EQ(table[0x48 + 32], 0);  // slot 1 untouched
  EXPECT_EQ(table[0x148], 'P');    // stored as typed
  EXPECT_EQ(table[0x40], 0);
  EXPECT_EQ(table[0x30], 1);
}

}  // namespace
}  // namespace orva::sim
