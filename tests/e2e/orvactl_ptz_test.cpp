// orvactl ptz against the simulator: the channel request and its answer, a
// held key reaching the recorder as press and stop, presets, the rights
// check, and a held key visibly moving the decoded picture of that channel.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "cli_session.h"
#include "commands.h"
#include "orva/link/notices.h"
#include "orva/sim/simulator.h"

namespace orva {
namespace {

using namespace std::chrono_literals;

struct CliRun {
  int code;
  std::string out, err;
};

class OrvactlPtz : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimConfig config;
    config.host = "127.0.0.1";
    config.port = 0;
    config.channels = 4;
    config.video.fps = 10;
    config.ptzChannels = {};
    config.ptzChannels[0] = true;  // channel 1 can be steered
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
  }
  CliRun Orvactl(std::vector<std::string> args, const std::string& user = "admin", const std::string& pw = "4711") {
    std::vector<std::string> all = {"orvactl", "--port", std::to_string(simulator->Port()), "--user", user,
                                    "--password", pw, "ptz"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (auto& a : all) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = cli::RunOrvactl(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
  }
  std::vector<sim::ReceivedMessage> Ptz() const {
    std::vector<sim::ReceivedMessage> out;
    for (auto& m : simulator->Received())
      if (m.code >= 282 && m.code <= 285) out.push_back(m);
    return out;
  }
  std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(OrvactlPtz, AHeldKeyIsAPressAndAStopForTheSelectedChannel) {
  CliRun r = Orvactl({"--channel", "1", "--mode", "zoom", "--key", "left", "--hold-ms", "200"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("channel 1 can be steered"), std::string::npos) << r.out;
  auto ptz = Ptz();
  ASSERT_EQ(ptz.size(), 3u);
  EXPECT_EQ(ptz[0].code, 282);
  EXPECT_EQ(ptz[0].payload, (std::vector<uint8_t>{0, 1, 0, 0}));
  EXPECT_EQ(ptz[1].code, 284);
  EXPECT_EQ(ptz[1].payload, (std::vector<uint8_t>{7, 0, 0, 0}));  // zoom mode, left
  EXPECT_EQ(ptz[2].code, 285);
}

TEST_F(OrvactlPtz, PresetsAndRefusals) {
  CliRun preset = Orvactl({"--channel", "1", "--preset", "2", "300"});
  ASSERT_EQ(preset.code, 0) << preset.err;
  auto ptz = Ptz();
  ASSERT_GE(ptz.size(), 2u);
  EXPECT_EQ(ptz.back().payload, (std::vector<uint8_t>{10, 44, 0, 1}));

  CliRun fixed = Orvactl({"--channel", "2", "--key", "up"});
  EXPECT_EQ(fixed.code, 3);
  EXPECT_NE(fixed.out.find("cannot be steered"), std::string::npos) << fixed.out;

  CliRun guest = Orvactl({"--channel", "1", "--key", "up"}, "guest", "guest");
  EXPECT_EQ(guest.code, 3);
  EXPECT_NE(guest.err.find(LookupNotice(kNoticeNotPermitted).text), std::string::npos) << guest.err;

  CliRun usage = Orvactl({"--channel", "1", "--key", "up", "--menu", "open"});
  EXPECT_EQ(usage.code, 1);
}

// A copy of channel 1's current picture (YV12 luma only is enough).
std::vector<uint8_t> Luma(HeadlessView& view) {
  auto& ch = view.Store().At(0);
  std::lock_guard lock(ch.lock);
  return std::vector<uint8_t>(ch.picture.begin(), ch.picture.begin() + ch.width * ch.height);
}

int Differing(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int n = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) n += std::abs(int(a[i]) - int(b[i])) > 24;
  return n;
}

TEST_F(OrvactlPtz, AHeldKeyMovesThePictureAndTheReleaseStopsIt) {
  cli::Options options;
  options.port = simulator->Port();
  options.password = "4711";
  cli::LiveOptions live;
  live.requestMask = 0x1;
  cli::CliSession session(options, live);
  std::string error;
  ASSERT_EQ(session.Login(error), 0) << error;
  HeadlessView& view = *session.View();
  auto pictures = [&] { return session.Live()->DecoderStats()[0].pictures; };
  ASSERT_EQ(session.WaitUntil([&] { return pictures() >= 3; }, 20s, error), 0) << error;
  session.Ptz().SelectChannel(0, PtzMode::kPan);
  ASSERT_EQ(session.WaitUntil([&] { return session.PtzSteerable().has_value(); }, 5s, error), 0) << error;
  ASSERT_TRUE(*session.PtzSteerable());

  auto settled = [&](uint64_t after) {
    session.WaitUntil([&] { return pictures() >= after; }, 10s, error);
    return Luma(view);
  };
  const auto before = settled(pictures() + 4);
  ASSERT_TRUE(session.Ptz().KeyPressed(PtzKey::kRight));
  std::this_thread::sleep_for(800ms);
  ASSERT_TRUE(session.Ptz().KeyReleased());
  // The stop may meet a frame or two still on their way.
  const auto stopped = settled(pictures() + 6);
  const auto later = settled(pictures() + 6);
  EXPECT_GT(Differing(before, stopped), 2000) << "the held key did not move the picture";
  EXPECT_LT(Differing(stopped, later), Differing(before, stopped) / 4) << "the picture kept moving after the stop";
  session.Close();
}

}  // namespace
}  // namespace orva
