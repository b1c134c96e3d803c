// Fault switches, hostile input and the simulator's own life cycle.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "orva/sim/simulator.h"
#include "raw_client.h"

namespace orva::sim {
namespace {

using namespace std::chrono_literals;
using test::BigEndian16;
using test::BigEndian32;
using test::RawClient;
using test::RawMessage;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kHello = 1, kBye48 = 4, kHello48Ack = 5, kLiveReq = 16, kRightChange = 270;

struct Running {
  explicit Running(SimConfig config) : sim([&] {
    config.port = 0;
    return config;
  }()) {
    std::string error;
    started = sim.Start(error);
    EXPECT_TRUE(started) << error;
  }
  Simulator sim;
  bool started = false;
};

// After any of these, a well-behaved client must still be served.
void ExpectNextClientServed(Simulator& sim) {
  RawClient client;
  ASSERT_TRUE(client.Connect(sim.Port()));
  ASSERT_TRUE(client.SendHello("admin", "4711"));
  RawMessage ack;
  ASSERT_TRUE(client.ReadMessage(ack));
  EXPECT_EQ(ack.code, kHello48Ack);
}

TEST(SimulatorFaults, NeverAnswerHelloKeepsReading) {
  SimConfig config;
  config.faults.neverAnswerHello = true;
  Running r(config);
  RawClient client;
  ASSERT_TRUE(client.Connect(r.sim.Port()));
  ASSERT_TRUE(client.SendHello("admin", "4711"));
  ASSERT_TRUE(client.SendMessage(kLiveReq, {0, 0, 0, 1}));
  EXPECT_TRUE(r.sim.WaitForMessage(kLiveReq, 2s));
  EXPECT_TRUE(client.StaysSilent(300ms));
  const auto received = r.sim.Received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].code, kHello);
}

TEST(SimulatorFaults, ByeOnHelloRefusesEvenValidLogin) {
  SimConfig config;
  config.faults.byeOnHello = 35;
  Running r(config);
  RawClient client;
  ASSERT_TRUE(client.Connect(r.sim.Port()));
  ASSERT_TRUE(client.SendHello("admin", "4711"));
  RawMessage bye;
  ASSERT_TRUE(client.ReadMessage(bye));
  EXPECT_EQ(bye.code, kBye48);
  ASSERT_EQ(bye.payload.size(), 4u);
  EXPECT_EQ(BigEndian32(bye.payload, 0), 35u);
  EXPECT_TRUE(client.WaitClosed(2s));
}

TEST(SimulatorFaults, CloseMidMessageCutsTheIdentityPayload) {
  SimConfig config;
  config.faults.closeMidMessage = true;
  Running r(config);
  RawClient client;
  ASSERT_TRUE(client.Connect(r.sim.Port()));
  ASSERT_TRUE(client.SendHello("admin", "4711"));
  std::vector<uint8_t> header;
  ASSERT_TRUE(client.ReadBytes(header, 16, 2s));
  EXPECT_EQ(BigEndian16(header, 2) >> 7, kHello48Ack);
  EXPECT_EQ(BigEndian16(header, 6), 768);
  size_t partial = 0;
  ASSERT_TRUE(client.WaitClosed(2s, &partial));
  EXPECT_GT(partial, 0u);
  EXPECT_LT(partial, 768u);
}

TEST(SimulatorFaults, StallDelaysThePayloadThenCompletes) {
  SimConfig config;
  config.faults.stallSeconds = 1;
  Running r(config);
  RawClient client;
  ASSERT_TRUE(client.Connect(r.sim.Port()));
  ASSERT_TRUE(client.SendHello("admin", "4711"));
  std::vector<uint8_t> header;
  ASSERT_TRUE(client.ReadBytes(header, 16, 2s));
  const Clock::time_point headerAt = Clock::now();
  EXPECT_EQ(BigEndian16(header, 6), 768);
  EXPECT_TRUE(client.StaysSilent(700ms));
  std::vector<uint8_t> payload;
  ASSERT_TRUE(client.ReadBytes(payload, 768, 3s));
  EXPECT_GE(Clock::now() - headerAt, 900ms);
  EXPECT_EQ(payload[2], 2);
  RawMessage rights;
  ASSERT_TRUE(client.ReadMessage(rights));
  EXPECT_EQ(rights.code, kRightChange);
}

TEST(SimulatorRobustness, GarbageEndsOnlyThatSession) {
  Running r(SimConfig{});
  {
    RawClient client;
    ASSERT_TRUE(client.Connect(r.sim.Port()));
    const std::string text = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_TRUE(client.SendBytes({text.begin(), text.end()}));
    EXPECT_TRUE(client.WaitClosed(2s));
  }
  ExpectNextClientServed(r.sim);
  EXPECT_TRUE(r.sim.Received().size() == 1 && r.sim.Received()[0].code == kHello);
}

TEST(SimulatorRobustness, DisconnectMidMessageIsNotRecorded) {
  Running r(SimConfig{});
  {
    RawClient client;
    ASSERT_TRUE(client.Connect(r.sim.Port()));
    std::vector<uint8_t> bytes = test::EncodeHeader(kHello, 32);
    bytes.insert(bytes.end(), 10, 'a');
    ASSERT_TRUE(client.SendBytes(bytes));
  }
  ExpectNextClientServed(r.sim);
  const auto received = r.sim.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(test::FieldText(received[0].payload, 0, 16), "admin");  // the second client's
}

TEST(SimulatorRobustness, UnknownCodesAreReadPast) {
  Running r(SimConfig{});
  RawClient client;
  ASSERT_TRUE(client.Connect(r.sim.Port()));
  // A code the recorder does not know, then one that only flows the other way,
  // each with a payload that must be consumed to stay aligned.
  ASSERT_TRUE(client.SendMessage(500, {1, 2, 3, 4, 5, 6, 7}));
  ASSERT_TRUE(client.SendMessage(kHello48Ack, std::vector<uint8_t>(768, 0xEE)));
  ASSERT_TRUE(client.SendBytes(test::EncodeHeader(23, 0, true)));
  ASSERT_TRUE(client.SendHello("admin", "4711"));
  RawMessage ack;
  ASSERT_TRUE(client.ReadMessage(ack));
  EXPECT_EQ(ack.code, kHello48Ack);
  const auto received = r.sim.Received();
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0].code, 500);
  EXPECT_EQ(received[0].payload.size(), 7u);
  EXPECT_EQ(received[1].payload.size(), 768u);
  EXPECT_EQ(received[2].code, 23);
  EXPECT_TRUE(received[2].audioFlag);
  EXPECT_EQ(received[3].code, kHello);
}

TEST(SimulatorLifecycle, StopInterruptsAnIdleClientPromptly) {
  auto r = std::make_unique<Running>(SimConfig{});
  RawClient client;
  ASSERT_TRUE(client.Connect(r->sim.Port()));
  ASSERT_TRUE(client.SendHello("admin", "4711"));
  RawMessage ack;
  ASSERT_TRUE(client.ReadMessage(ack));
  const Clock::time_point before = Clock::now();
  r->sim.Stop();
  EXPECT_LT(Clock::now() - before, 1s);
  EXPECT_TRUE(client.WaitClosed(1s));
  r->sim.Stop();  // idempotent
  r.reset();      // and the destructor stops once more
}

TEST(SimulatorLifecycle, StartReportsBindFailureAndBadConfig) {
  Running first(SimConfig{});
  SimConfig busy;
  busy.port = first.sim.Port();
  Simulator second(busy);
  std::string error;
  EXPECT_FALSE(second.Start(error));
  EXPECT_NE(error.find("bind"), std::string::npos) << error;

  SimConfig tooMany;
  tooMany.port = 0;
  tooMany.users.resize(9);
  Simulator third(tooMany);
  error.clear();
  EXPECT_FALSE(third.Start(error));
  EXPECT_NE(error.find("8 users"), std::string::npos) << error;
}

TEST(SimulatorLifecycle, WaitForMessageTimesOut) {
  Running r(SimConfig{});
  const Clock::time_point before = Clock::now();
  EXPECT_FALSE(r.sim.WaitForMessage(kLiveReq, 150ms));
  EXPECT_GE(Clock::now() - before, 140ms);
}

}  // namespace
}  // namespace orva::sim
