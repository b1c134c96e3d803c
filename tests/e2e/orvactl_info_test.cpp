// orvactl info against the recorder simulator over loopback: the printed
// identity, rights and cameras, refusals and their exit codes, time-outs,
// the orderly goodbye and the local log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "commands.h"
#include "orva/link/notices.h"
#include "orva/recordings/local_log.h"
#include "orva/sim/simulator.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct CliRun {
  int code;
  std::string out, err;
};

class OrvactlInfo : public ::testing::Test {
 protected:
  void StartSim(sim::SimConfig config = {}) {
    config.host = "127.0.0.1";
    config.port = 0;
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
  }
  CliRun Orvactl(std::vector<std::string> args, bool withPort = true) {
    std::vector<std::string> all = {"orvactl"};
    if (withPort && simulator) {
      all.push_back("--port");
      all.push_back(std::to_string(simulator->Port()));
    }
    all.insert(all.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (auto& a : all) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = cli::RunOrvactl(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
  }
  std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(OrvactlInfo, PrintsIdentityRightsAndCamerasThenSaysGoodbye) {
  StartSim();
  CliRun r = Orvactl({"--password", "4711", "info"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::string want =
      "address: 127.0.0.1:" + std::to_string(simulator->Port()) + "\n"
      "product_number: 2\n"
      "family: 2\n"
      "protocol: 1.0\n"
      "version: 1.1\n"
      "front: 3\n"
      "channels: 16\n"
      "account: 0\n"
      "mac: 00:0A:1B:2C:3D:4E\n"
      "firmware: 0 MAIN_NAME 2009-12-07 10:15:30\n"
      "firmware: 3 OTHER_NAME 2010-01-02 03:04:05\n"
      "user_slot: 0\n"
      "rights: stop-recording setup playback backup ptz covert access reboot\n"
      "camera: 1 Front door\n"
      "camera: 2 Yard covert\n";
  for (int ch = 3; ch <= 16; ++ch) want += "camera: " + std::to_string(ch) + " Camera " + std::to_string(ch) + "\n";
  EXPECT_EQ(r.out, want);
  EXPECT_TRUE(r.err.empty()) << r.err;
  // The connection ended in order: the goodbye reached the recorder.
  EXPECT_TRUE(simulator->WaitForMessage(4, 2s));
  auto received = simulator->Received();
  ASSERT_GE(received.size(), 3u);
  EXPECT_EQ(received[0].code, 1);   // HELLO
  EXPECT_EQ(received[1].code, 16);  // LIVE_REQ right after the handshake
  EXPECT_EQ(received.back().code, 4);
}

TEST_F(OrvactlInfo, RestrictedUserInCapitalsWithPasswordFromTheEnvironment) {
  StartSim();
  setenv("ORVA_PASSWORD", "GUEST", 1);
  CliRun r = Orvactl({"--user", "GUEST", "info"});
  unsetenv("ORVA_PASSWORD");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("user_slot: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("rights: access\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("account: 1\n"), std::string::npos) << r.out;
}

TEST_F(OrvactlInfo, RefusalsExitWithThreeAndTheNoticeText) {
  StartSim();
  CliRun wrong = Orvactl({"--password", "nope", "info"});
  EXPECT_EQ(wrong.code, 3);
  EXPECT_NE(wrong.err.find(LookupNotice({3, 0}).text), std::string::npos) << wrong.err;
  EXPECT_TRUE(wrong.out.empty());
  EXPECT_EQ(wrong.err.find("nope"), std::string::npos);  // the password is never shown

  CliRun blocked = Orvactl({"--user", "blocked", "--password", "blocked", "info"});
  EXPECT_EQ(blocked.code, 3);
  EXPECT_NE(blocked.err.find(LookupNotice(kNoticeNotPermitted).text), std::string::npos) << blocked.err;
  EXPECT_EQ(simulator->ClientsServed(), 2);
}

TEST_F(OrvactlInfo, OtherProductFamiliesAreRefused) {
  sim::SimConfig config;
  config.productNumber = 4;
  StartSim(config);
  CliRun r = Orvactl({"--password", "4711", "info"});
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find("Not ORVA7000 !"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
}

TEST_F(OrvactlInfo, GoodbyeInsteadOfAnAnswer) {
  sim::SimConfig config;
  config.faults.byeOnHello = -2;
  StartSim(config);
  CliRun r = Orvactl({"--password", "4711", "info"});
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find(LookupNotice({3, 7}).text), std::string::npos) << r.err;
}

TEST_F(OrvactlInfo, FourChannelRecorderWithUnicodeNames) {
  sim::SimConfig config;
  config.channels = 4;
  config.unicodeNames = true;
  config.cameraNames[0] = "Eingang Süd";
  config.cameraNames[2] = "門口 カメラ";
  StartSim(config);
  CliRun r = Orvactl({"--password", "4711", "info"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("channels: 4\n"), std::string::npos);
  EXPECT_NE(r.out.find("camera: 1 Eingang Süd\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("camera: 3 門口 カメラ\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("camera: 4 Camera 4\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("camera: 5"), std::string::npos) << r.out;
}

TEST_F(OrvactlInfo, NoAnswerWithinTheTimeoutExitsWithFour) {
  sim::SimConfig config;
  config.faults.neverAnswerHello = true;
  StartSim(config);
  const auto start = std::chrono::steady_clock::now();
  CliRun r = Orvactl({"--password", "4711", "--timeout", "0.5", "info"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("no answer"), std::string::npos) << r.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(OrvactlInfo, ARecorderThatClosesMidMessageIsALostConnection) {
  sim::SimConfig config;
  config.faults.closeMidMessage = true;
  StartSim(config);
  CliRun r = Orvactl({"--password", "4711", "info"});
  EXPECT_EQ(r.code, 2);
  EXPECT_FALSE(r.err.empty());
}

TEST_F(OrvactlInfo, NothingListeningExitsWithTwo) {
  StartSim();
  const std::string port = std::to_string(simulator->Port());
  simulator->Stop();
  CliRun r = Orvactl({"--port", port, "--password", "4711", "info"}, false);
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("cannot connect"), std::string::npos) << r.err;
}

TEST_F(OrvactlInfo, UsageErrorsExitWithOne) {
  for (auto args : std::vector<std::vector<std::string>>{
           {}, {"--port", "70000", "info"}, {"--port", "x", "info"}, {"--timeout", "-1", "info"},
           {"--bogus", "info"}, {"frobnicate"}, {"info", "extra"}, {"--user", "a-name-longer-than-16", "info"},
           {"--host"}}) {
    CliRun r = Orvactl(args, false);
    EXPECT_EQ(r.code, 1) << (args.empty() ? "" : args[0]);
    EXPECT_FALSE(r.err.empty());
  }
  CliRun help = Orvactl({"--help"}, false);
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("usage: orvactl"), std::string::npos);
}

TEST_F(OrvactlInfo, TheLocalLogRecordsTheLogonAndTheUserClosing) {
  StartSim();
  const fs::path base = fs::temp_directory_path() / ("orva-e2e-" + std::to_string(getpid()));
  fs::remove_all(base);
  CliRun r = Orvactl({"--password", "4711", "--location", base.string(), "info"});
  ASSERT_EQ(r.code, 0) << r.err;
  LocalLog log(base);
  std::vector<LocalLogRecord> records;
  std::string error;
  ASSERT_TRUE(log.Load(records, error)) << error;
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].mainType, 2u);
  EXPECT_EQ(records[0].subType, 1u);
  EXPECT_EQ(records[0].host, "127.0.0.1");
  EXPECT_EQ(records[0].user, "admin");
  EXPECT_EQ(records[1].subType, 2u);
  fs::remove_all(base);
}

}  // namespace
}  // namespace orva
