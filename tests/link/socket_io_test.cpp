// Byte-level reads and writes over a socket pair: exact send bytes, no
// interleaving between threads, reads across fragments, time limits, result
// codes, reading past payloads, and frame reassembly.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "orva/link/reassembly.h"
#include "orva/link/wire.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using Clock = std::chrono::steady_clock;

// client() is the side the code under test uses; peer() plays the recorder.
class SocketPair : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  void TearDown() override {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  int client() const { return fds[0]; }
  int peer() const { return fds[1]; }
  void Put(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(write(peer(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  MessageHeader ReadHeader(int fd) {
    uint8_t raw[16] = {};
    EXPECT_TRUE(RecvExact(fd, raw, 2s));
    return DecodeHeader(raw);
  }
  int fds[2] = {-1, -1};
};

TEST_F(SocketPair, SendPacketWritesHeaderAndPayloadInNetworkOrder) {
  PacketSocket sock;
  sock.Attach(client());
  const uint8_t mask[4] = {0x00, 0x00, 0xFF, 0xFF};
  ASSERT_TRUE(sock.SendPacket(MakeHeader(16, 4), mask, 4));
  uint8_t got[20];
  ASSERT_EQ(read(peer(), got, sizeof got), 20);
  const uint8_t want[20] = {0, 0, 0x08, 0x00, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0xFF, 0xFF};
  EXPECT_EQ(0, std::memcmp(got, want, 20));
  sock.ShutdownAndClose();
  fds[0] = -1;
  EXPECT_FALSE(sock.SendPacket(MakeHeader(4, 0), nullptr, 0));  // closed: fails quietly
}

TEST_F(SocketPair, MessagesFromSeveralThreadsNeverInterleave) {
  PacketSocket sock;
  sock.Attach(client());
  constexpr int kThreads = 4, kPerThread = 200;
  constexpr uint16_t kLen = 8000;  // a firmware piece: larger than the socket takes at once
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([&sock, t] {
      std::vector<uint8_t> payload(kLen, static_cast<uint8_t>(t + 1));
      for (int i = 0; i < kPerThread; ++i) sock.SendPacket(MakeHeader(146, kLen), payload.data(), kLen);
    });
  int counts[kThreads + 1] = {};
  std::vector<uint8_t> payload(kLen);
  for (int i = 0; i < kThreads * kPerThread; ++i) {
    MessageHeader h = ReadHeader(peer());
    ASSERT_EQ(h.Code(), 146);
    ASSERT_EQ(h.length, kLen);
    ASSERT_TRUE(RecvExact(peer(), payload, 2s));
    const uint8_t owner = payload[0];
    ASSERT_GE(owner, 1);
    ASSERT_LE(owner, kThreads);
    for (uint8_t b : payload) ASSERT_EQ(b, owner) << "bytes of two messages mixed";
    ++counts[owner];
  }
  for (auto& s : senders) s.join();
  for (int t = 1; t <= kThreads; ++t) EXPECT_EQ(counts[t], kPerThread);
}

TEST_F(SocketPair, RecvExactCollectsFragmentsThatArriveLater) {
  std::thread writer([this] {
    for (uint8_t b = 0; b < 10; ++b) {
      std::this_thread::sleep_for(5ms);
      ASSERT_EQ(write(peer(), &b, 1), 1);
    }
  });
  uint8_t got[10] = {};
  EXPECT_TRUE(RecvExact(client(), got, 2s));
  writer.join();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(got[i], i);
}

TEST_F(SocketPair, RecvExactGivesUpAtTheLimitForTheWholeRead) {
  Put({1, 2, 3});  // a header begins, then silence
  uint8_t got[16];
  const auto start = Clock::now();
  EXPECT_FALSE(RecvExact(client(), got, 150ms));
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 150ms);
  EXPECT_LT(took, 2s);
}

TEST_F(SocketPair, RecvExactFailsAtOnceWhenThePeerHasClosed) {
  Put({1, 2, 3});
  close(fds[1]);
  fds[1] = -1;
  uint8_t got[16];
  const auto start = Clock::now();
  EXPECT_FALSE(RecvExact(client(), got, 5s));
  EXPECT_LT(Clock::now() - start, 1s);
}

TEST_F(SocketPair, ResultCodesOfEveryPayloadShape) {
  // No payload: -100.
  EXPECT_EQ(RecvResultCode(client(), MakeHeader(19, 0)), kResultNoPayload);
  // Four bytes, negative.
  Put(Be32(-2));
  EXPECT_EQ(RecvResultCode(client(), MakeHeader(4, 4)), -2);
  // Twelve bytes: the two values after the code are handed back unconverted.
  std::vector<uint8_t> twelve = Be32(87);
  for (uint8_t b : {0, 0, 1, 0, 0, 0, 2, 0}) twelve.push_back(b);
  Put(twelve);
  uint8_t extra[8] = {};
  EXPECT_EQ(RecvResultCode(client(), MakeHeader(102, 12), extra), 87);
  EXPECT_EQ(extra[2], 1);
  EXPECT_EQ(extra[6], 2);
  // Twelve bytes to a reader that wants only the code: bytes 0-3 only, and
  // the next read starts after all twelve.
  Put(twelve);
  Put({0xAB});
  EXPECT_EQ(RecvResultCode(client(), MakeHeader(19, 12)), 87);
  uint8_t next = 0;
  ASSERT_TRUE(RecvExact(client(), std::span<uint8_t>(&next, 1), 1s));
  EXPECT_EQ(next, 0xAB);
  // Too short to hold a code: consumed, reported as no code.
  Put({7, 7});
  EXPECT_EQ(RecvResultCode(client(), MakeHeader(19, 2)), kResultNoPayload);
  // A payload that never arrives.
  EXPECT_EQ(RecvResultCode(client(), MakeHeader(19, 4), nullptr, 50ms), kResultReadFailed);
}

TEST_F(SocketPair, DiscardPayloadKeepsTheStreamAligned) {
  std::vector<uint8_t> big(60000, 0x55);
  std::thread writer([&] {
    auto bytes = Frame(1, big);  // a HELLO from the recorder is read past
    auto second = Frame(5, {9, 9});
    bytes.insert(bytes.end(), second.begin(), second.end());
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = write(peer(), bytes.data() + sent, bytes.size() - sent);
      ASSERT_GT(n, 0);
      sent += static_cast<size_t>(n);
    }
  });
  MessageHeader h = ReadHeader(client());
  EXPECT_EQ(h.Code(), 1);
  EXPECT_TRUE(DiscardPayload(client(), h, 2s));
  MessageHeader h2 = ReadHeader(client());
  EXPECT_EQ(h2.Code(), 5);
  EXPECT_EQ(h2.length, 2);
  writer.join();
  EXPECT_TRUE(DiscardPayload(client(), MakeHeader(5, 0)));
}

TEST_F(SocketPair, ReassemblyJoinsFragmentsAndDropsABlockThatOverruns) {
  FrameReassembly r(100);
  auto fragment = [&](std::vector<uint8_t> bytes, bool last) {
    Put(bytes);
    MessageHeader h = MakeHeader(18, static_cast<uint16_t>(bytes.size()));
    if (last) h.streamFlags |= kLastFragment;
    return r.ReadFragment(client(), h, 1s);
  };
  EXPECT_EQ(fragment(std::vector<uint8_t>(60, 1), false), FrameReassembly::Result::kPartial);
  EXPECT_EQ(fragment(std::vector<uint8_t>(40, 2), true), FrameReassembly::Result::kComplete);
  ASSERT_EQ(r.Block().size(), 100u);
  EXPECT_EQ(r.Block()[59], 1);
  EXPECT_EQ(r.Block()[60], 2);

  // 60 + 60 > 100: the block is dropped, its remaining fragments read past.
  EXPECT_EQ(fragment(std::vector<uint8_t>(60, 3), false), FrameReassembly::Result::kPartial);
  EXPECT_EQ(fragment(std::vector<uint8_t>(60, 4), false), FrameReassembly::Result::kPartial);
  EXPECT_EQ(fragment(std::vector<uint8_t>(60, 5), true), FrameReassembly::Result::kDropped);
  // The next block is whole and clean.
  EXPECT_EQ(fragment(std::vector<uint8_t>(10, 6), true), FrameReassembly::Result::kComplete);
  ASSERT_EQ(r.Block().size(), 10u);
  EXPECT_EQ(r.Block()[0], 6);
  // A single fragment larger than the buffer is dropped too.
  EXPECT_EQ(fragment(std::vector<uint8_t>(101, 7), true), FrameReassembly::Result::kDropped);
  // A fragment that never arrives is a lost connection.
  MessageHeader missing = MakeHeader(18, 10);
  EXPECT_EQ(r.ReadFragment(client(), missing, 50ms), FrameReassembly::Result::kReadFailed);
}

}  // namespace
}  // namespace orva
