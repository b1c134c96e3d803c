// orvactl setup against the recorder simulator: get -> show -> put round
// trip with a changed camera name, byte preservation of everything else,
// the damaged answer, the refusals, and the bad files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "commands.h"
#include "orva/link/notices.h"
#include "orva/setup/setup_database.h"
#include "orva/sim/simulator.h"

namespace orva {
namespace {

struct CliRun {
  int code;
  std::string out, err;
};

class OrvactlSetup : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& p : {a, b}) std::remove(p.c_str());
  }
  void StartSim(sim::SimConfig config = {}) {
    config.host = "127.0.0.1";
    config.port = 0;
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
  }
  CliRun Orvactl(std::vector<std::string> args, const std::string& user = "admin", const std::string& pw = "4711") {
    std::vector<std::string> all = {"orvactl", "--timeout", "5", "--port",
                                    std::to_string(simulator ? simulator->Port() : 1), "--user", user, "--password", pw};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (auto& s : all) argv.push_back(s.c_str());
    std::ostringstream out, err;
    int code = cli::RunOrvactl(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
  }
  static std::vector<uint8_t> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // The record without the recorder's clock, which moves between answers.
  static std::vector<uint8_t> WithoutClock(std::vector<uint8_t> bytes) {
    if (bytes.size() >= 8) std::fill(bytes.begin() + 4, bytes.begin() + 8, 0);
    return bytes;
  }
  std::unique_ptr<sim::Simulator> simulator;
  std::string a = "/tmp/orva_setup_e2e_a_" + std::to_string(getpid()) + ".bin";
  std::string b = "/tmp/orva_setup_e2e_b_" + std::to_string(getpid()) + ".bin";
};

TEST_F(OrvactlSetup, GetShowPutRoundTripChangesOnlyTheEditedField) {
  StartSim();
  CliRun got = Orvactl({"setup", "get", a});
  ASSERT_EQ(got.code, 0) << got.err;
  const auto original = Read(a);
  ASSERT_EQ(original.size(), kSetupDatabaseSize);

  // show from the file and from the recorder agree, apart from the clock.
  CliRun fromFile = Orvactl({"setup", "show", a});
  CliRun fromRecorder = Orvactl({"setup", "show"});
  ASSERT_EQ(fromFile.code, 0) << fromFile.err;
  ASSERT_EQ(fromRecorder.code, 0) << fromRecorder.err;
  auto dropClock = [](const std::string& text) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line))
      if (line.rfind("recorder_clock:", 0) != 0) out += line + "\n";
    return out;
  };
  EXPECT_EQ(dropClock(fromFile.out), dropClock(fromRecorder.out));
  EXPECT_EQ(fromFile.out.rfind("major_version: 4\nminor_version: 2\n", 0), 0u) << fromFile.out.substr(0, 80);
  EXPECT_NE(fromFile.out.find("\nvideo_standard: NTSC\n"), std::string::npos);
  EXPECT_NE(fromFile.out.find("\ncamera_name.1: " + sim::DefaultCameraNames()[0] + "\n"), std::string::npos);

  SetupDatabase db;
  std::string error;
  ASSERT_TRUE(LoadSetupFile(a, db, error)) << error;
  ASSERT_TRUE(db.SetByKey("camera_name.3", "Loading bay", error)) << error;
  ASSERT_TRUE(SaveSetupFile(b, db, error)) << error;
  CliRun diff = Orvactl({"setup", "diff", a, b});
  ASSERT_EQ(diff.code, 0) << diff.err;
  EXPECT_EQ(diff.out, "camera_name.3: " + sim::DefaultCameraNames()[2] + " -> Loading bay\n");

  CliRun put = Orvactl({"setup", "put", b});
  ASSERT_EQ(put.code, 0) << put.err;
  EXPECT_EQ(put.out, FormatNotice({10, 0}) + "\n");

  // The recorder now holds exactly what was sent: gaps and tail included.
  got = Orvactl({"setup", "get", a});
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_EQ(WithoutClock(Read(a)), WithoutClock(Read(b)));
}

TEST_F(OrvactlSetup, ADamagedAnswerGivesNotice9AndNoFile) {
  sim::SimConfig config;
  config.setup.crcFault = true;
  StartSim(config);
  CliRun got = Orvactl({"setup", "get", a});
  EXPECT_EQ(got.code, 3);
  EXPECT_NE(got.err.find(FormatNotice({9, 0})), std::string::npos) << got.err;
  EXPECT_FALSE(std::ifstream(a).good());
}

TEST_F(OrvactlSetup, RefusalsAndBadFilesExitWithTheirReasons) {
  {
    sim::SimConfig config;
    config.setup.updateNack = 51;
    StartSim(config);
    ASSERT_EQ(Orvactl({"setup", "get", a}).code, 0);
    CliRun put = Orvactl({"setup", "put", a});
    EXPECT_EQ(put.code, 3);
    EXPECT_NE(put.err.find(FormatNotice({7, 2})), std::string::npos) << put.err;
    // A user without the setup right is refused before anything is asked.
    CliRun guest = Orvactl({"setup", "get", b}, "guest", "guest");
    EXPECT_EQ(guest.code, 3);
    EXPECT_NE(guest.err.find(FormatNotice(kNoticeNotPermitted)), std::string::npos) << guest.err;
  }
  auto bytes = Read(a);
  bytes[1] ^= 1;  // another database version
  std::ofstream(b, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  CliRun other = Orvactl({"setup", "put", b});
  EXPECT_EQ(other.code, 1);
  EXPECT_NE(other.err.find("version 4.3, but the recorder's is version 4.2"), std::string::npos) << other.err;
  std::ofstream(b, std::ios::binary | std::ios::trunc).write("short", 5);
  CliRun shortFile = Orvactl({"setup", "put", b});
  EXPECT_EQ(shortFile.code, 1);
  EXPECT_NE(shortFile.err.find("exactly 64512 bytes"), std::string::npos) << shortFile.err;
  EXPECT_EQ(Orvactl({"setup", "bogus"}).code, 1);
  EXPECT_EQ(Orvactl({"setup", "reset"}).code, 1);  // without --yes
}

TEST_F(OrvactlSetup, ResetAndTestMailAreAnsweredAndRefusedByFaultSwitch) {
  sim::SimConfig config;
  config.setup.initNack = 97;
  StartSim(config);
  CliRun mail = Orvactl({"test-mail"});
  EXPECT_EQ(mail.code, 0) << mail.err;
  EXPECT_EQ(mail.out, "test-mail: sent\n");
  CliRun reset = Orvactl({"setup", "reset", "--yes"});
  EXPECT_EQ(reset.code, 3);
  EXPECT_NE(reset.err.find(FormatNotice({6, 7})), std::string::npos) << reset.err;
}

// `setup set` applies the pages' rules: the selected rows, the group
// resolution with its rate, the budget; a refusal sends nothing, a dry run
// sends nothing, and what it prints is exactly what `setup diff` then finds.
TEST_F(OrvactlSetup, SetAppliesThePageRulesAndPrintsWhatDiffFinds) {
  StartSim();
  ASSERT_EQ(Orvactl({"setup", "get", a}).code, 0);
  const auto before = WithoutClock(Read(a));

  CliRun dry = Orvactl({"setup", "set", "--select", "1,2", "--dry-run", "hue.1=40"});
  EXPECT_EQ(dry.code, 0) << dry.err;
  EXPECT_EQ(dry.out, "hue.1: 50 -> 40\nhue.2: 50 -> 40\n");
  CliRun refused = Orvactl({"setup", "set", "camera_name.3=Gate", "record_mode_1_rate.1=30"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("record_mode_1_rate.1: at most 9"), std::string::npos) << refused.err;
  ASSERT_EQ(Orvactl({"setup", "get", b}).code, 0);
  EXPECT_EQ(WithoutClock(Read(b)), before) << "neither the dry run nor the refused change was sent";

  CliRun set = Orvactl({"setup", "set", "camera_name.3=Gate", "record_mode_1_resolution.5=CIF"});
  ASSERT_EQ(set.code, 0) << set.err;
  EXPECT_NE(set.out.find("camera_name.3: Camera 3 -> Gate\n"), std::string::npos) << set.out;
  for (int c = 5; c <= 8; ++c) {
    const std::string n = std::to_string(c);
    EXPECT_NE(set.out.find("record_mode_1_resolution." + n + ": 4CIF -> CIF\n"), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("record_mode_1_rate." + n + ": 7 -> 30\n"), std::string::npos) << set.out;
  }
  ASSERT_EQ(Orvactl({"setup", "get", b}).code, 0);
  CliRun diff = Orvactl({"setup", "diff", a, b});
  std::string changed;  // the recorder's clock moves between the two answers
  std::istringstream lines(diff.out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("recorder_clock:", 0) != 0) changed += line + "\n";
  EXPECT_EQ(changed, set.out);

  CliRun account = Orvactl({"setup", "set", "user_id.4=bob", "user_password.4=4711"});
  EXPECT_EQ(account.code, 1);
  EXPECT_NE(account.err.find("factory password"), std::string::npos) << account.err;
  EXPECT_EQ(Orvactl({"setup", "set", "hue.17=3"}).code, 1);
  EXPECT_EQ(Orvactl({"setup", "set", "hue.1"}).code, 1);
}

}  // namespace
}  // namespace orva
