// Drives the simulator over real sockets through the login handshake and the
// notices that follow it.
#include <gtest/gtest.h>

#include <chrono>

#include "orva/sim/simulator.h"
#include "raw_client.h"

namespace orva::sim {
namespace {

using namespace std::chrono_literals;
using test::BigEndian16;
using test::BigEndian32;
using test::FieldText;
using test::RawClient;
using test::RawMessage;

constexpr uint16_t kHello = 1, kBye48 = 4, kHello48Ack = 5, kDstInfo = 125, kDbChange = 258,
                   kDbChangeUnicode = 269, kRightChange = 270, kPtzMoveStop = 285;

SimConfig TestConfig() {
  SimConfig config;
  config.port = 0;
  return config;
}

class SimulatorTest : public ::testing::Test {
 protected:
  void StartWith(SimConfig config) {
    sim_ = std::make_unique<Simulator>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(error)) << error;
    ASSERT_NE(sim_->Port(), 0);
  }
  void Connect(RawClient& client) { ASSERT_TRUE(client.Connect(sim_->Port())); }

  // Expects BYE48 with `result` and then the connection closed.
  void ExpectRefusal(RawClient& client, int32_t result) {
    RawMessage bye;
    ASSERT_TRUE(client.ReadMessage(bye));
    EXPECT_EQ(bye.code, kBye48);
    ASSERT_EQ(bye.payload.size(), 4u);
    EXPECT_EQ(static_cast<int32_t>(BigEndian32(bye.payload, 0)), result);
    EXPECT_TRUE(client.WaitClosed(2s));
  }

  std::unique_ptr<Simulator> sim_;
};

TEST_F(SimulatorTest, AcceptedLoginSendsIdentityRightsAndNames) {
  StartWith(TestConfig());
  RawClient client;
  Connect(client);
  ASSERT_TRUE(client.SendHello("admin", "4711"));

  RawMessage ack;
  ASSERT_TRUE(client.ReadMessage(ack));
  // Header: control word 5 << 7, last-fragment bit, length, reserved zero.
  EXPECT_EQ(BigEndian16({ack.header.begin(), ack.header.end()}, 0), 0);
  EXPECT_EQ(ack.header[2], 0x02);
  EXPECT_EQ(ack.header[3], 0x80);
  EXPECT_EQ(ack.streamFlags, 0x4000);
  EXPECT_EQ(BigEndian32({ack.header.begin(), ack.header.end()}, 8), 0u);
  ASSERT_EQ(ack.code, kHello48Ack);
  ASSERT_EQ(ack.payload.size(), 768u);
  const std::vector<uint8_t> identity = {1, 0, 2, 1, 1, 3, 16, 0,
                                         0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E};
  EXPECT_EQ(std::vector<uint8_t>(ack.payload.begin(), ack.payload.begin() + 14), identity);
  EXPECT_EQ(FieldText(ack.payload, 48, 32), "MAIN_NAME");
  EXPECT_EQ(FieldText(ack.payload, 48 + 3 * 32, 32), "OTHER_NAME");
  EXPECT_EQ(FieldText(ack.payload, 48 + 1 * 32, 32), "");
  EXPECT_EQ(BigEndian32(ack.payload, 688), 1260180930u);  // 2009-12-07 10:15:30
  EXPECT_EQ(BigEndian32(ack.payload, 688 + 4), 0u);
  EXPECT_EQ(BigEndian32(ack.payload, 688 + 12), 1262401445u);  // 2010-01-02 03:04:05

  RawMessage rights;
  ASSERT_TRUE(client.ReadMessage(rights));
  ASSERT_EQ(rights.code, kRightChange);
  EXPECT_EQ(rights.streamFlags, 0x4000);
  ASSERT_EQ(rights.payload.size(), 584u);
  for (size_t row = 0; row < 8; ++row) {
    EXPECT_EQ(rights.payload[row * 8 + 0], 1) << "admin right row " << row;
    EXPECT_EQ(rights.payload[row * 8 + 1], row == 6 ? 1 : 0) << "guest right row " << row;
    EXPECT_EQ(rights.payload[row * 8 + 2], 0) << "blocked right row " << row;
    EXPECT_EQ(rights.payload[row * 8 + 3], 0) << "unused slot row " << row;
  }
  EXPECT_EQ(rights.payload[0x40], 1);
  EXPECT_EQ(rights.payload[0x43], 0);  // slot 3 not in use
  EXPECT_EQ(FieldText(rights.payload, 0x48, 32), "admin");
  EXPECT_EQ(FieldText(rights.payload, 0x48 + 32, 32), "guest");
  EXPECT_EQ(FieldText(rights.payload, 0x148, 32), "4711");
  EXPECT_EQ(FieldText(rights.payload, 0x148 + 2 * 32, 32), "blocked");

  RawMessage names;
  ASSERT_TRUE(client.ReadMessage(names));
  ASSERT_EQ(names.code, kDbChange);
  ASSERT_EQ(names.payload.size(), 596u);
  EXPECT_EQ(BigEndian32(names.payload, 0), 0u);
  EXPECT_EQ(names.payload[4 + 0], 0);
  EXPECT_EQ(names.payload[4 + 1], 1);  // "Yard" is covert
  EXPECT_EQ(names.payload[4 + 15], 0);
  EXPECT_EQ(FieldText(names.payload, 20, 32), "Front door");
  EXPECT_EQ(FieldText(names.payload, 20 + 32, 32), "Yard");
  EXPECT_EQ(FieldText(names.payload, 20 + 2 * 32, 32), "Camera 3");
  EXPECT_EQ(FieldText(names.payload, 20 + 15 * 32, 32), "Camera 16");
  EXPECT_TRUE(std::all_of(names.payload.begin() + 532, names.payload.end(),
                          [](uint8_t b) { return b == 0; }));

  RawMessage dst;
  ASSERT_TRUE(client.ReadMessage(dst));
  EXPECT_EQ(dst.code, kDstInfo);
  EXPECT_EQ(dst.payload.size(), 1204u);
  RawMessage tables, extended;
  ASSERT_TRUE(client.ReadMessage(tables));
  EXPECT_EQ(tables.code, 259);
  ASSERT_TRUE(client.ReadMessage(extended));
  EXPECT_EQ(extended.code, 24);

  // A message without a handler is recorded and not answered.
  ASSERT_TRUE(client.SendMessage(kPtzMoveStop, {1, 2}));
  EXPECT_TRUE(sim_->WaitForMessage(kPtzMoveStop, 2s));
  EXPECT_TRUE(client.StaysSilent(200ms));
  ASSERT_TRUE(client.SendMessage(kBye48, {}));
  EXPECT_TRUE(client.WaitClosed(2s));

  const std::vector<ReceivedMessage> received = sim_->Received();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].code, kHello);
  EXPECT_EQ(FieldText(received[0].payload, 0, 16), "admin");
  EXPECT_EQ(received[1].code, kPtzMoveStop);
  EXPECT_EQ(received[1].payload, (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(received[2].code, kBye48);
}

TEST_F(SimulatorTest, LoginIgnoresLetterCaseAndUsesAtMost16Bytes) {
  SimConfig config = TestConfig();
  SimUser boss;
  boss.id = "Boss.Of.The.Whole.Site";  // 22 bytes: only the first 16 travel
  boss.password = "SeCreT";
  config.users = {SimUser{}, boss};  // slot 0 empty and unused
  config.users[0].level = 0;
  StartWith(config);

  for (const auto& [user, password] :
       {std::pair<std::string, std::string>{"boss.of.the.whol", "secret"},
        {"BOSS.OF.THE.WHOL", "SECRET"}}) {
    RawClient client;
    Connect(client);
    ASSERT_TRUE(client.SendHello(user, password));
    RawMessage ack;
    ASSERT_TRUE(client.ReadMessage(ack)) << user;
    ASSERT_EQ(ack.code, kHello48Ack) << user;
    EXPECT_EQ(ack.payload[7], 1) << "account is the slot index";
  }
  EXPECT_EQ(sim_->ClientsServed(), 2);
}

TEST_F(SimulatorTest, RefusedLoginsSendByeWithResultAndClose) {
  SimConfig config = TestConfig();
  SimUser unused;
  unused.id = "old";
  unused.password = "old";
  unused.level = 0;
  config.users.push_back(unused);
  StartWith(config);
  struct Case {
    const char* user;
    const char* password;
    int32_t result;
  };
  const Case cases[] = {
      {"admin", "wrong", 1},       {"nobody", "4711", 1},  {"", "", 1},
      {"blocked", "blocked", 37},  {"old", "old", 37},      {"blocked", "wrong", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.user) + "/" + c.password);
    RawClient client;
    Connect(client);
    ASSERT_TRUE(client.SendHello(c.user, c.password));
    ExpectRefusal(client, c.result);
  }
}

TEST_F(SimulatorTest, ConfiguredRefusalResultsAndShortHello) {
  SimConfig config = TestConfig();
  config.loginRefusedResult = 2;
  config.accessDeniedResult = -2;
  StartWith(config);
  RawClient wrong;
  Connect(wrong);
  ASSERT_TRUE(wrong.SendHello("guest", "nope"));
  ExpectRefusal(wrong, 2);
  RawClient blocked;
  Connect(blocked);
  ASSERT_TRUE(blocked.SendHello("blocked", "blocked"));
  ExpectRefusal(blocked, -2);
  // A HELLO of the wrong size cannot carry valid credentials.
  RawClient shortHello;
  Connect(shortHello);
  ASSERT_TRUE(shortHello.SendMessage(kHello, {'a', 'd', 'm', 'i', 'n'}));
  ExpectRefusal(shortHello, 2);
}

TEST_F(SimulatorTest, UnicodeNamesUseUtf16WithSurrogatePairs) {
  SimConfig config = TestConfig();
  config.unicodeNames = true;
  config.cameraNames[0] = "Caf\xC3\xA9";             // "Café"
  config.cameraNames[2] = "Cam \xF0\x9F\x98\x80";    // U+1F600
  config.cameraNames[5] = "Z";
  config.covert = {};
  config.covert[15] = true;
  StartWith(config);
  RawClient client;
  Connect(client);
  ASSERT_TRUE(client.SendHello("admin", "4711"));
  RawMessage message;
  ASSERT_TRUE(client.ReadMessage(message));
  ASSERT_TRUE(client.ReadMessage(message));
  ASSERT_TRUE(client.ReadMessage(message));
  ASSERT_EQ(message.code, kDbChangeUnicode);
  ASSERT_EQ(message.payload.size(), 1108u);
  const auto& p = message.payload;
  EXPECT_EQ(p[4 + 1], 0);
  EXPECT_EQ(p[4 + 15], 1);
  auto unit = [&](size_t channel, size_t index) { return BigEndian16(p, 20 + channel * 64 + index * 2); };
  EXPECT_EQ(unit(0, 0), 0);  // not part of the text
  EXPECT_EQ(unit(0, 1), u'C');
  EXPECT_EQ(unit(0, 4), 0x00E9);
  EXPECT_EQ(unit(0, 5), 0);
  EXPECT_EQ(unit(2, 5), 0xD83D);
  EXPECT_EQ(unit(2, 6), 0xDE00);
  EXPECT_EQ(unit(2, 7), 0);
  EXPECT_EQ(unit(5, 1), u'Z');  // one-character name, then zeros
  for (size_t k = 2; k < 32; ++k) EXPECT_EQ(unit(5, k), 0);
  EXPECT_EQ(unit(1, 1), u'Y');
  EXPECT_TRUE(std::all_of(p.begin() + 1044, p.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(SimulatorTest, ServesClientsOneAfterAnother) {
  StartWith(TestConfig());
  RawClient first, second;
  Connect(first);
  Connect(second);  // waits in the backlog until the first one is done
  ASSERT_TRUE(second.SendHello("guest", "guest"));
  ASSERT_TRUE(first.SendHello("admin", "4711"));
  RawMessage message;
  ASSERT_TRUE(first.ReadMessage(message));
  EXPECT_EQ(message.payload.at(7), 0);
  EXPECT_TRUE(second.StaysSilent(200ms));
  first.Close();
  ASSERT_TRUE(second.ReadMessage(message));
  ASSERT_EQ(message.code, kHello48Ack);
  EXPECT_EQ(message.payload.at(7), 1);
  EXPECT_EQ(sim_->ClientsServed(), 2);
}

}  // namespace
}  // namespace orva::sim
