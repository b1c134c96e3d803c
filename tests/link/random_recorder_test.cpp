// A recorder that sends random but well-framed messages after a valid login:
// every code the catalogue lists from the recorder plus unknown ones, with
// payload lengths around what each handler expects and at random, fragment
// bits at random. The client is wired as orvactl wires it (live view with
// the decoder library, playback, search, download, rights, device and PTZ
// control; the fuzz targets' wiring), and one of its requests may be
// running. Every session must keep the stream aligned (a final user table
// naming the session is seen), end when the recorder closes, and close to
// Idle with no thread left. Fixed seeds, so a failure repeats.
#include <gtest/gtest.h>

#include <dirent.h>

#include <filesystem>
#include <random>
#include <thread>

#include "client_actions.h"
#include "fuzz_client.h"
#include "orva/link/catalogue.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

int ThreadCount() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/task")) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ++n;
    ::closedir(d);
  }
  return n;
}

// Codes the random recorder picks from: all it may send, except the login
// answer (a second one of the wrong size rightly ends the connection), the
// goodbye and the marker.
std::vector<uint16_t> RandomCodes() {
  std::vector<uint16_t> codes;
  for (uint16_t c = 0; c <= msg::kMaxCode; ++c)
    if (msg::IsRecorderToClient(c) && c != msg::HELLO48_ACK && c != msg::BYE48 && c != msg::RIGHT_CHANGE)
      codes.push_back(c);
  for (uint16_t c : {0, 3, 200, 400, 511}) codes.push_back(c);  // not in the catalogue
  return codes;
}

// Lengths the handlers look for (result codes, the 12-byte results, the
// rights and name tables, identity, a live header), and random ones.
size_t RandomLength(std::mt19937& rng) {
  static const size_t kSizes[] = {0, 1, 3, 4, 8, 12, 16, 20, 24, 28, 196, 212, 584, 596, 768, 1108, 1204};
  if (rng() % 3 == 0) return std::uniform_int_distribution<size_t>(0, 3000)(rng);
  return kSizes[rng() % std::size(kSizes)];
}

Bytes RandomPayload(std::mt19937& rng, size_t length) {
  Bytes p(length);
  const int style = static_cast<int>(rng() % 3);
  for (size_t i = 0; i < length; ++i)
    p[i] = style == 0 ? 0 : style == 1 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(rng() % 3);
  // Often a plausible result code or live length in front.
  if (length >= 4 && rng() % 2) StoreBE32(p.data(), static_cast<uint32_t>(rng() % 2 ? rng() % 120 : length - 4));
  return p;
}

// The marker: a user table whose last slot names the session.
std::vector<uint8_t> MarkerTable(const std::string& name) {
  std::vector<uint8_t> table(kUserRightsTableSize, 0);
  std::copy(name.begin(), name.end(), table.begin() + static_cast<long>(kUserIdOffset + 7 * kUserTextBytes));
  return table;
}

TEST(RandomRecorderTest, EverySessionStaysAlignedAndClosesCleanly) {
  const auto codes = RandomCodes();
  const auto folder = std::filesystem::temp_directory_path() / ("orva-random-" + std::to_string(::getpid()));
  const int threadsBefore = ThreadCount();
  constexpr int kSessions = 200;
  int markersSeen = 0;
  for (int seed = 1; seed <= kSessions; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(static_cast<uint32_t>(seed));
    test::ScriptedRecorder recorder;
    {
      fuzz::FuzzClient cli(recorder.Port(), folder.string());
      cli.Session().Open();
      ASSERT_TRUE(recorder.Accept());
      test::WireMessage hello, live;
      ASSERT_TRUE(recorder.ReadMessage(hello));
      static const uint8_t kChannels[] = {4, 4, 8, 16};
      ASSERT_TRUE(recorder.Write(test::Frame(
          msg::HELLO48_ACK, test::ScriptedRecorder::IdentityPayload(2, kChannels[rng() % 4]))));
      ASSERT_TRUE(recorder.ReadMessage(live));
      ASSERT_EQ(live.code, msg::LIVE_REQ);
      fuzz::RunClientAction({cli.Session(), cli.Live(), cli.Playback(), cli.Search(), cli.Download()},
                            static_cast<uint8_t>(rng()));

      Bytes stream;
      const int count = 1 + static_cast<int>(rng() % 24);
      for (int i = 0; i < count; ++i) {
        const uint16_t code = codes[rng() % codes.size()];
        const uint16_t flags = static_cast<uint16_t>((rng() % 4 ? 0x4000 : 0) | (rng() & 0x03FF));
        const auto m = test::Frame(code, RandomPayload(rng, RandomLength(rng)), flags, rng() % 4 == 0);
        stream.insert(stream.end(), m.begin(), m.end());
      }
      const std::string marker = "session" + std::to_string(seed);
      const auto end = test::Frame(msg::RIGHT_CHANGE, MarkerTable(marker));
      stream.insert(stream.end(), end.begin(), end.end());
      // Written from a second thread: the client's own requests are read meanwhile.
      std::thread writer([&] { (void)recorder.Write(stream); });
      auto seen = [&] { return cli.Rights().Rights()->table.UserId(7) == marker; };
      for (int i = 0; i < 3000 && !seen() && cli.Session().ReceiveThreadRunning(); ++i)
        std::this_thread::sleep_for(1ms);
      writer.join();
      EXPECT_TRUE(seen()) << "the stream lost its alignment";
      markersSeen += seen();
      recorder.CloseClient();
      // The recorder closed: the loop ends by itself.
      for (int i = 0; i < 300 && cli.Session().ReceiveThreadRunning(); ++i) std::this_thread::sleep_for(5ms);
      EXPECT_FALSE(cli.Session().ReceiveThreadRunning());
      cli.Session().Close();
      EXPECT_EQ(cli.Session().State(), SessionState::kIdle);
      EXPECT_FALSE(cli.Session().ReceiveThreadRunning());
    }
    ASSERT_EQ(ThreadCount(), threadsBefore);
  }
  EXPECT_EQ(markersSeen, kSessions);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace orva
