// orvactl live against the recorder simulator over loopback: real H.264
// pictures for 4, 8 and 16 channels in every picture size, video loss and
// covert suppression, the pictures written out, and the sound of one
// channel ending up in a WAV file with the simulator's tone in it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <map>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "commands.h"
#include "orva/sim/simulator.h"

namespace orva {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int code;
  std::string out, err;
};

class OrvactlLive : public ::testing::Test {
 protected:
  void StartSim(sim::SimConfig config) {
    config.host = "127.0.0.1";
    config.port = 0;
    simulator = std::make_unique<sim::Simulator>(config);
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
  }
  // A short, quick stream: a key frame every 5 frames, sent as fast as read.
  static sim::SimConfig FastConfig(int channels, int sizeCode, bool pal = false) {
    sim::SimConfig c;
    c.channels = static_cast<uint8_t>(channels);
    c.video.sizeCode = sizeCode;
    c.video.pal = pal;
    c.video.fps = 5;
    c.video.loopSeconds = 1;
    c.fast = true;
    c.framesPerChannel = 12;
    return c;
  }
  CliRun Orvactl(std::vector<std::string> args, const std::string& user = "admin", const std::string& pw = "4711") {
    std::vector<std::string> all = {"orvactl", "--port", std::to_string(simulator->Port()), "--user", user,
                                    "--password", pw};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (auto& a : all) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = cli::RunOrvactl(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
  }
  // channel -> (size text, pictures) from the report.
  static std::map<int, std::pair<std::string, int>> Channels(const std::string& out) {
    std::map<int, std::pair<std::string, int>> result;
    std::regex line(R"(channel (\d+): (\d+x\d+) pictures=(\d+) keyframes=(\d+) skipped=(\d+))");
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
      result[std::stoi((*it)[1])] = {(*it)[2], std::stoi((*it)[3])};
    return result;
  }
  std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(OrvactlLive, EveryChannelCountAndPictureSizeDecodes) {
  struct Case {
    int channels, sizeCode;
    bool pal;
    const char* size;
  };
  // The largest pictures on fewer channels: the simulator encodes its loops
  // when live view starts, which takes a while in sanitizer builds.
  for (Case c : {Case{16, 1, false, "352x240"}, Case{8, 0, false, "704x240"}, Case{4, 2, false, "704x480"},
                 Case{4, 3, true, "704x288"}, Case{4, 2, true, "704x576"}}) {
    SCOPED_TRACE(c.size);
    StartSim(FastConfig(c.channels, c.sizeCode, c.pal));
    CliRun r = Orvactl({"live", "--seconds", "2.5"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto channels = Channels(r.out);
    EXPECT_EQ(static_cast<int>(channels.size()), c.channels) << r.out;
    for (auto& [ch, v] : channels) {
      EXPECT_EQ(v.first, c.size) << "channel " << ch;
      EXPECT_GE(v.second, 5) << "channel " << ch;  // decoded after the first key frame it could use
    }
    simulator->Stop();
  }
}

TEST_F(OrvactlLive, LostAndCovertChannelsDeliverNothing) {
  sim::SimConfig config = FastConfig(4, 1);
  config.video.videoLoss[2] = true;  // channel 3
  config.covert = {};
  config.covert[1] = true;           // channel 2, covert
  StartSim(config);
  auto admin = Channels(Orvactl({"live", "--seconds", "1.5"}).out);
  EXPECT_EQ(admin.count(3), 0u);
  EXPECT_EQ(admin.count(2), 1u);  // the administrator may see covert channels
  EXPECT_EQ(admin.count(1), 1u);
  auto guest = Channels(Orvactl({"live", "--seconds", "1.5"}, "guest", "guest").out);
  EXPECT_EQ(guest.count(2), 0u);
  EXPECT_EQ(guest.count(3), 0u);
  EXPECT_EQ(guest.count(4), 1u);
}

TEST_F(OrvactlLive, ANarrowedRequestAndThePicturesWrittenOut) {
  StartSim(FastConfig(16, 1));
  const fs::path dir = fs::temp_directory_path() / ("orva-live-" + std::to_string(getpid()));
  fs::remove_all(dir);
  CliRun r = Orvactl({"live", "--seconds", "1.5", "--channels", "0x0006", "--pictures", dir.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  auto channels = Channels(r.out);
  ASSERT_EQ(channels.size(), 2u) << r.out;
  EXPECT_EQ(channels.count(2), 1u);
  EXPECT_EQ(channels.count(3), 1u);
  // P6, top row first, full size; the two channels' pictures differ.
  std::vector<std::string> pictures;
  for (const char* name : {"ch02.ppm", "ch03.ppm"}) {
    std::ifstream in(dir / name, std::ios::binary);
    ASSERT_TRUE(in) << name;
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    EXPECT_EQ(magic, "P6");
    EXPECT_EQ(w, 352);
    EXPECT_EQ(h, 240);
    std::string pixels((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(pixels.size(), 352u * 240u * 3u);
    pictures.push_back(pixels);
  }
  EXPECT_NE(pictures[0], pictures[1]);
  fs::remove_all(dir);
}

// Energy of one frequency in a stretch of samples (Goertzel).
double Power(const std::vector<int16_t>& s, double frequency) {
  const double w = 2 * M_PI * frequency / 16000.0, coeff = 2 * std::cos(w);
  double q1 = 0, q2 = 0;
  for (int16_t x : s) {
    double q0 = coeff * q1 - q2 + x;
    q2 = q1;
    q1 = q0;
  }
  return q1 * q1 + q2 * q2 - coeff * q1 * q2;
}

TEST_F(OrvactlLive, TheShownChannelsSoundEndsUpInTheWavFile) {
  sim::SimConfig config;
  config.channels = 4;
  config.video.fps = 5;
  config.audioChannels = {};
  config.audioChannels[0] = true;  // 400 Hz
  config.audioChannels[1] = true;  // 500 Hz
  StartSim(config);
  const fs::path wav = fs::temp_directory_path() / ("orva-live-" + std::to_string(getpid()) + ".wav");
  CliRun r = Orvactl({"live", "--seconds", "3", "--channels", "0x3", "--audio", wav.string(), "--audio-channel", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"(audio: channel 2 chunks=(\d+) samples=(\d+))"))) << r.out;
  EXPECT_GE(std::stoi(m[1]), 1);
  std::ifstream in(wav, std::ios::binary);
  ASSERT_TRUE(in);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 44u + 16000u);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(bytes.substr(8, 4), "WAVE");
  std::vector<int16_t> samples((bytes.size() - 44) / 2);
  std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  // The tone of channel 2 (500 Hz) dominates; channel 1's (400 Hz) is absent.
  const double p500 = Power(samples, 500), p400 = Power(samples, 400), p700 = Power(samples, 700);
  EXPECT_GT(p500, 20 * p400);
  EXPECT_GT(p500, 20 * p700);
  fs::remove(wav);
}

}  // namespace
}  // namespace orva
