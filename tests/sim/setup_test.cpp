// The simulated recorder's setup database over real sockets: the record in
// fragments with its CRC (checked here with zlib), the factory values, an
// update that takes effect (names, users, video standard, log), the
// refusals and fault switches, the factory reset, the test mail, the tables
// after the login, the setup file and the Time-protocol server.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <tuple>

#include "archive_client.h"
#include "orva/sim/config.h"
#include "orva/sim/simulator.h"

namespace orva::sim {
namespace {

using namespace std::chrono_literals;
using namespace test;

constexpr uint16_t kDbInfoReq = 112, kDbInfoAck = 113, kDbInfoNack = 114, kDbUpdateReq = 115,
                   kDbUpdateAck = 116, kDbUpdateNack = 117, kDbChange = 258,
                   kDbChangeUnicode = 269, kRightChange = 270, kDbInitReq = 336,
                   kDbInitAck = 337, kDbInitNack = 338, kTestMailReq = 339, kTestMailAck = 340,
                   kTestMailNack = 341, kSysEtcInfo = 259, kSysEtcInfoEx = 24, kLogReq = 320,
                   kLogAck = 321;
constexpr size_t kRecord = 64512, kNames = 0x58, kCovert = 0x48, kUsers = 0x15F8;

uint32_t Crc(const uint8_t* data, size_t n) {
  return static_cast<uint32_t>(crc32(0L, data, static_cast<uInt>(n)));
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void PutName(std::vector<uint8_t>& record, size_t offset, size_t width, const std::string& text) {
  std::fill_n(record.begin() + static_cast<ptrdiff_t>(offset), width, uint8_t{0});
  std::copy(text.begin(), text.end(), record.begin() + static_cast<ptrdiff_t>(offset));
}

SimConfig Base(uint8_t channels = 16) {
  SimConfig config;
  config.port = 0;
  config.channels = channels;
  config.audioChannels.fill(false);
  config.ptzChannels.fill(false);
  return config;
}

// Fetches the record; checks fragments, the last-fragment bit and the CRC.
std::vector<uint8_t> Fetch(RawClient& client, std::vector<size_t>* sizes = nullptr,
                           bool crcMustMatch = true) {
  EXPECT_TRUE(client.SendMessage(kDbInfoReq, {}));
  Block block;
  std::vector<RawMessage> others;
  std::string error;
  if (!ReadBlock(client, block, others, error, 5s, kDbInfoAck)) {
    ADD_FAILURE() << error;
    return {};
  }
  EXPECT_TRUE(others.empty());
  for (size_t i = 0; i < block.streamFlags.size(); ++i) {
    EXPECT_EQ(block.streamFlags[i], i + 1 == block.streamFlags.size() ? 0x4000 : 0) << i;
  }
  if (sizes != nullptr) *sizes = block.fragmentSizes;
  EXPECT_EQ(block.bytes.size(), kRecord + 4);
  if (block.bytes.size() != kRecord + 4) return {};
  const bool match = BigEndian32(block.bytes, 0) == Crc(block.bytes.data() + 4, kRecord);
  EXPECT_EQ(match, crcMustMatch);
  return {block.bytes.begin() + 4, block.bytes.end()};
}

std::vector<uint8_t> UpdatePayload(const std::vector<uint8_t>& record) {
  std::vector<uint8_t> p(4);
  Put32(p, 0, Crc(record.data(), record.size()));
  p.insert(p.end(), record.begin(), record.end());
  return p;
}

RawMessage Next(RawClient& client) {
  RawMessage message;
  EXPECT_TRUE(client.ReadMessage(message));
  return message;
}

// A running simulator and a client logged in as `user`, the `count` login
// messages read into `notices` (whatever their name notice).
struct LoggedIn {
  LoggedIn(SimConfig config, const std::string& user, const std::string& password,
           int count = 6)
      : sim(std::move(config)) {
    std::string error;
    EXPECT_TRUE(sim.Start(error)) << error;
    EXPECT_TRUE(client.Connect(sim.Port()));
    EXPECT_TRUE(client.SendHello(user, password));
    for (int i = 0; i < count; ++i) notices.push_back(Next(client));
    EXPECT_NE(notices.front().code, 4) << "refused";
  }
  Simulator sim;
  RawClient client;
  std::vector<RawMessage> notices;
};

// Every byte equal except the recorder's clock at 0x0004.
void ExpectSameSetup(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  ASSERT_EQ(a.size(), kRecord);
  ASSERT_EQ(b.size(), kRecord);
  for (size_t o = 0; o < kRecord; ++o) {
    if (o >= 4 && o < 8) continue;
    if (a[o] != b[o]) {
      ADD_FAILURE() << "first difference at offset 0x" << std::hex << o;
      return;
    }
  }
}

struct FragmentCase {
  int fragmentBytes;
  std::vector<size_t> sizes;
};

class SetupFragments : public testing::TestWithParam<FragmentCase> {};

TEST_P(SetupFragments, RecordArrivesInFragmentsUnderOneCrc) {
  SimConfig config = Base();
  config.setup.fragmentBytes = GetParam().fragmentBytes;
  Session s(config);
  std::vector<size_t> sizes;
  const uint32_t before = LocalWireSeconds();
  const std::vector<uint8_t> record = Fetch(s.client, &sizes);
  ASSERT_EQ(record.size(), kRecord);
  EXPECT_EQ(sizes, GetParam().sizes);
  // The clock field is the recorder's time when it sent the record.
  const uint32_t clock = BigEndian32(record, 4);
  EXPECT_GE(clock + 2, before);
  EXPECT_LE(clock, LocalWireSeconds() + 2);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SetupFragments,
                         testing::Values(FragmentCase{16384, {16384, 16384, 16384, 15364}},
                                         FragmentCase{30000, {30000, 30000, 4516}},
                                         FragmentCase{65535, {64516}}));

struct FactoryCase {
  uint8_t channels, product;
  bool pal;
  uint8_t topRate, rate;  // 0x0287 and every record-mode rate
  size_t present;         // channels with spot membership and deinterlace on
};

class SetupFactory : public testing::TestWithParam<FactoryCase> {};

TEST_P(SetupFactory, ValuesFollowTheConfiguration) {
  const FactoryCase& c = GetParam();
  SimConfig config = Base(c.channels);
  config.productNumber = c.product;
  config.video.pal = c.pal;
  config.cameraNames[2] = "Gate";
  config.covert = {};
  config.covert[3] = true;
  Session s(config);
  const std::vector<uint8_t> d = Fetch(s.client);
  ASSERT_EQ(d.size(), kRecord);
  EXPECT_EQ(d[0], 4);
  EXPECT_EQ(d[1], 2);
  EXPECT_EQ(d[2], c.pal ? 1 : 0);
  EXPECT_EQ(d[0x0284], 0);  // 4CIF class
  EXPECT_EQ(d[0x0287], c.topRate);
  for (const size_t rates : {0x0290, 0x02B0, 0x02D0, 0x0930, 0x09F8}) {
    for (size_t ch = 0; ch < 16; ++ch) EXPECT_EQ(d[rates + ch], c.rate) << rates << " " << ch;
  }
  for (size_t ch = 0; ch < 16; ++ch) {
    EXPECT_EQ(d[0x026C + ch], ch < c.present ? 1 : 0) << ch;
    EXPECT_EQ(d[0x11E8 + ch], ch < c.present ? 1 : 0) << ch;
    EXPECT_EQ(d[kCovert + ch], ch == 3 ? 1 : 0) << ch;
    EXPECT_EQ(d[0x0FCC + ch], 0) << ch;
  }
  EXPECT_EQ(FieldText(d, kNames, 32), "Front door");
  EXPECT_EQ(FieldText(d, kNames + 2 * 32, 32), "Gate");
  EXPECT_EQ(FieldText(d, kNames + 15 * 32, 32), "Camera 16");
  // The user table is the one RIGHT_CHANGE announced at the login.
  EXPECT_EQ(FieldText(d, kUsers + 0x48, 32), "admin");
  EXPECT_EQ(FieldText(d, kUsers + 0x148, 32), "4711");
  EXPECT_EQ(d[kUsers + 8], 1);      // admin's setup right
  EXPECT_EQ(d[kUsers + 8 + 1], 0);  // guest's
  // Multi-byte fields in network order.
  EXPECT_EQ(BigEndian16(d, 0x1100), 359);  // pan high limit, channel 1
  EXPECT_EQ(BigEndian32(d, 0x116C), 10u);
  // No byte outside the fields is zero, so a client that loses them shows.
  for (const auto& [from, to] : {std::pair<size_t, size_t>{0x0280, 0x0284}, {0x1946, 0x19E4},
                                 {0x1A40, kRecord}}) {
    for (size_t o = from; o < to; ++o) {
      if (d[o] == 0) {
        ADD_FAILURE() << "zero gap byte at 0x" << std::hex << o;
        break;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Recorders, SetupFactory,
    testing::Values(FactoryCase{4, 2, false, 30, 30, 4},   // 480 / 16
                    FactoryCase{4, 3, true, 25, 12, 4},    // 200 / 16, product 3
                    FactoryCase{8, 2, true, 12, 12, 8},    // 400 / 32
                    FactoryCase{16, 2, false, 7, 7, 16},   // 480 / 64
                    FactoryCase{16, 3, false, 3, 3, 16},   // 240 / 64
                    FactoryCase{12, 2, true, 6, 6, 16}));  // odd count counts as 16

TEST(SimulatorSetup, UpdateTakesEffectAndIsKept) {
  Session s(Base());
  const std::vector<uint8_t> factory = Fetch(s.client);
  ASSERT_EQ(factory.size(), kRecord);
  std::vector<uint8_t> record = factory;
  PutName(record, kNames + 2 * 32, 32, "Gate");
  record[kCovert + 0] = 1;
  PutName(record, kUsers + 0x148 + 32, 32, "newguest");  // guest's password
  record[kUsers + 0x10 + 1] = 1;                           // guest may play back
  record[0x1A40] ^= 0xFF;                                  // a byte past the fields
  ASSERT_TRUE(s.client.SendMessage(kDbUpdateReq, UpdatePayload(record)));

  const RawMessage ack = Next(s.client);
  EXPECT_EQ(ack.code, kDbUpdateAck);
  EXPECT_TRUE(ack.payload.empty());
  const RawMessage names = Next(s.client);
  ASSERT_EQ(names.code, kDbChange);
  ASSERT_EQ(names.payload.size(), 596u);
  EXPECT_EQ(names.payload[4 + 0], 1);
  EXPECT_EQ(names.payload[4 + 1], 1);  // "Yard" stays covert
  EXPECT_EQ(FieldText(names.payload, 20 + 2 * 32, 32), "Gate");
  EXPECT_EQ(FieldText(names.payload, 20, 32), "Front door");
  const RawMessage rights = Next(s.client);
  ASSERT_EQ(rights.code, kRightChange);
  EXPECT_EQ(rights.payload, std::vector<uint8_t>(record.begin() + kUsers,
                                                 record.begin() + kUsers + 584));
  ExpectSameSetup(Fetch(s.client), record);
  EXPECT_EQ(s.sim.SetupImage()[0x1A40], record[0x1A40]);

  // The log has the change as an operation record (type 4, kind 1).
  ASSERT_TRUE(s.client.SendMessage(kLogReq, {}));
  Reply log;
  std::string error;
  ASSERT_TRUE(ReadReply(s.client, log, error)) << error;
  ASSERT_EQ(log.code, kLogAck);
  bool found = false;
  for (size_t at = 0; at + 200 <= log.bytes.size(); at += 200) {
    found = found || (BigEndian32(log.bytes, at + 8) == 4 && BigEndian32(log.bytes, at + 12) == 1 &&
                      FieldText(log.bytes, at + 24, 176) == "admin: camera names, users");
  }
  EXPECT_TRUE(found);

  // The accounts in the record are the ones the login checks.
  s.client.Close();
  RawClient old, renewed;
  ASSERT_TRUE(old.Connect(s.sim.Port()));
  ASSERT_TRUE(old.SendHello("guest", "guest"));
  EXPECT_EQ(Next(old).code, 4);  // BYE48
  old.Close();
  ASSERT_TRUE(renewed.Connect(s.sim.Port()));
  ASSERT_TRUE(renewed.SendHello("guest", "newguest"));
  EXPECT_EQ(Next(renewed).code, 5);
  EXPECT_EQ(Next(renewed).payload[0x10 + 1], 1);  // the new playback right
  EXPECT_EQ(FieldText(Next(renewed).payload, 20 + 2 * 32, 32), "Gate");
}

TEST(SimulatorSetup, UnchangedNamesAndUsersBringNoNotices) {
  Session s(Base());
  std::vector<uint8_t> record = Fetch(s.client);
  ASSERT_EQ(record.size(), kRecord);
  record[0x0008] = 70;  // hue of channel 1
  ASSERT_TRUE(s.client.SendMessage(kDbUpdateReq, UpdatePayload(record)));
  EXPECT_EQ(Next(s.client).code, kDbUpdateAck);
  EXPECT_TRUE(s.client.StaysSilent(300ms));
  EXPECT_EQ(s.sim.SetupImage()[0x0008], 70);
}

struct UnicodeCase {
  std::string bytes;                // the narrow name the client writes
  std::vector<uint16_t> units;      // the UTF-16 units the notice carries
};

TEST(SimulatorSetup, UnicodeNoticeDecodesUtf8ElseOneCharacterPerByte) {
  const UnicodeCase cases[] = {{"Caf\xC3\xA9", {'C', 'a', 'f', 0xE9}},
                               {"Caf\xE9", {'C', 'a', 'f', 0xE9}},  // not UTF-8
                               {"\xE2\x82\xAC" "1", {0x20AC, '1'}},
                               {"Z", {'Z'}}};
  SimConfig config = Base();
  config.unicodeNames = true;
  LoggedIn s(config, "admin", "4711");
  std::vector<uint8_t> record = Fetch(s.client);
  ASSERT_EQ(record.size(), kRecord);
  for (const UnicodeCase& c : cases) {
    PutName(record, kNames + 5 * 32, 32, c.bytes);
    ASSERT_TRUE(s.client.SendMessage(kDbUpdateReq, UpdatePayload(record)));
    EXPECT_EQ(Next(s.client).code, kDbUpdateAck);
    const RawMessage notice = Next(s.client);
    ASSERT_EQ(notice.code, kDbChangeUnicode);
    ASSERT_EQ(notice.payload.size(), 1108u);
    const size_t entry = 20 + 5 * 64;
    EXPECT_EQ(BigEndian16(notice.payload, entry), 0);
    for (size_t k = 0; k < 31; ++k) {
      const uint16_t expected = k < c.units.size() ? c.units[k] : 0;
      EXPECT_EQ(BigEndian16(notice.payload, entry + 2 + 2 * k), expected) << c.bytes << " " << k;
    }
    EXPECT_EQ(BigEndian16(notice.payload, 20 + 2), 'F');  // channel 1 unchanged
  }
}

TEST(SimulatorSetup, BadRecordsAreRefusedAndChangeNothing) {
  Session s(Base());
  const std::vector<uint8_t> factory = Fetch(s.client);
  ASSERT_EQ(factory.size(), kRecord);
  std::vector<uint8_t> changed = factory;
  PutName(changed, kNames, 32, "Lost");
  std::vector<uint8_t> badCrc = UpdatePayload(changed);
  badCrc[100] ^= 1;  // a byte after the CRC
  std::vector<uint8_t> shortRecord = UpdatePayload(changed);
  shortRecord.pop_back();
  const std::vector<std::vector<uint8_t>> payloads = {badCrc, shortRecord, {1, 2, 3, 4}, {}};
  for (const auto& payload : payloads) {
    ASSERT_TRUE(s.client.SendMessage(kDbUpdateReq, payload));
    const RawMessage nack = Next(s.client);
    EXPECT_EQ(nack.code, kDbUpdateNack) << payload.size();
    ASSERT_EQ(nack.payload.size(), 4u);
    EXPECT_EQ(BigEndian32(nack.payload, 0), 1u);
  }
  EXPECT_TRUE(s.client.StaysSilent(200ms));
  ExpectSameSetup(Fetch(s.client), factory);
}

struct FaultCase {
  const char* name;
  std::function<void(SimConfig&)> set;
  uint16_t request;
  size_t payloadBytes;  // 64516 = a correct update
  uint16_t refusal;
  int32_t result;
};

TEST(SimulatorSetup, EachRefusalByItsFaultSwitch) {
  const FaultCase cases[] = {
      {"info", [](SimConfig& c) { c.setup.infoNack = 86; }, kDbInfoReq, 0, kDbInfoNack, 86},
      {"update", [](SimConfig& c) { c.setup.updateNack = 97; }, kDbUpdateReq, 64516,
       kDbUpdateNack, 97},
      {"init", [](SimConfig& c) { c.setup.initNack = 98; }, kDbInitReq, 0, kDbInitNack, 98},
      {"mail", [](SimConfig& c) { c.setup.testMailNack = -3; }, kTestMailReq, 516,
       kTestMailNack, -3},
      {"mail size", [](SimConfig&) {}, kTestMailReq, 515, kTestMailNack, 1},
  };
  for (const FaultCase& c : cases) {
    SimConfig config = Base(4);
    c.set(config);
    Session s(config);
    std::vector<uint8_t> payload;
    if (c.payloadBytes == 64516) {
      payload = UpdatePayload(s.sim.SetupImage());
    } else {
      payload.assign(c.payloadBytes, 7);
    }
    ASSERT_TRUE(s.client.SendMessage(c.request, payload)) << c.name;
    const RawMessage nack = Next(s.client);
    EXPECT_EQ(nack.code, c.refusal) << c.name;
    ASSERT_EQ(nack.payload.size(), 4u) << c.name;
    EXPECT_EQ(static_cast<int32_t>(BigEndian32(nack.payload, 0)), c.result) << c.name;
    EXPECT_TRUE(s.client.StaysSilent(150ms)) << c.name;
  }
}

TEST(SimulatorSetup, CrcFaultSpoilsOnlyTheCrc) {
  SimConfig config = Base();
  config.setup.crcFault = true;
  Session s(config);
  const std::vector<uint8_t> record = Fetch(s.client, nullptr, /*crcMustMatch=*/false);
  ExpectSameSetup(record, s.sim.SetupImage());
}

TEST(SimulatorSetup, UserWithoutSetupRightIsRefused) {
  LoggedIn s(Base(), "guest", "guest");
  RawClient& guest = s.client;
  const std::vector<uint8_t> update = UpdatePayload(s.sim.SetupImage());
  const std::pair<uint16_t, uint16_t> requests[] = {
      {kDbInfoReq, kDbInfoNack}, {kDbUpdateReq, kDbUpdateNack}, {kDbInitReq, kDbInitNack}};
  for (const auto& [request, refusal] : requests) {
    ASSERT_TRUE(guest.SendMessage(request, request == kDbUpdateReq ? update
                                                                   : std::vector<uint8_t>{}));
    const RawMessage nack = Next(guest);
    EXPECT_EQ(nack.code, refusal);
    EXPECT_EQ(nack.payload, (std::vector<uint8_t>{0, 0, 0, 1}));
  }
}

TEST(SimulatorSetup, InitRestoresTheFactoryRecordAndMailIsAcknowledged) {
  Session s(Base());
  const std::vector<uint8_t> factory = Fetch(s.client);
  ASSERT_EQ(factory.size(), kRecord);
  std::vector<uint8_t> record = factory;
  PutName(record, kNames + 32, 32, "Back yard");
  record[0x1000] ^= 0x55;
  ASSERT_TRUE(s.client.SendMessage(kDbUpdateReq, UpdatePayload(record)));
  EXPECT_EQ(Next(s.client).code, kDbUpdateAck);
  EXPECT_EQ(Next(s.client).code, kDbChange);

  ASSERT_TRUE(s.client.SendMessage(kDbInitReq, {}));
  const RawMessage ack = Next(s.client);
  EXPECT_EQ(ack.code, kDbInitAck);
  EXPECT_TRUE(ack.payload.empty());
  const RawMessage names = Next(s.client);
  ASSERT_EQ(names.code, kDbChange);
  EXPECT_EQ(FieldText(names.payload, 20 + 32, 32), "Yard");
  EXPECT_TRUE(s.client.StaysSilent(200ms));  // users untouched: no RIGHT_CHANGE
  ExpectSameSetup(Fetch(s.client), factory);

  const std::vector<uint8_t> mail(factory.begin() + 0x0DB8, factory.begin() + 0x0FBC);
  ASSERT_EQ(mail.size(), 516u);
  ASSERT_TRUE(s.client.SendMessage(kTestMailReq, mail));
  const RawMessage mailAck = Next(s.client);
  EXPECT_EQ(mailAck.code, kTestMailAck);
  EXPECT_TRUE(mailAck.payload.empty());
}

TEST(SimulatorSetup, VideoStandardChangeSwitchesLivePictures) {
  SimConfig config = Base(4);
  config.video.fps = 5;
  config.video.loopSeconds = 1;
  Session s(config);
  std::vector<uint8_t> record = Fetch(s.client);
  ASSERT_EQ(record.size(), kRecord);
  ASSERT_TRUE(s.client.SendMessage(kLiveReqCode, {0, 0, 0, 1}));
  EXPECT_EQ(Next(s.client).code, kLiveChannelInfoCode);
  record[2] = 1;  // PAL
  bool sent = false, acknowledged = false, switched = false;
  H264Decoder decoder;
  for (int i = 0; i < 40 && !(switched && acknowledged); ++i) {
    Block block;
    std::vector<RawMessage> others;
    std::string error;
    ASSERT_TRUE(ReadBlock(s.client, block, others, error)) << error;
    VideoFrame frame;
    ASSERT_TRUE(ParseVideoBlock(block, frame, error)) << error;
    acknowledged = acknowledged || std::any_of(others.begin(), others.end(), [](const RawMessage& m) {
      return m.code == kDbUpdateAck;
    });
    if (!sent) {
      EXPECT_FALSE(frame.pal);
      ASSERT_TRUE(s.client.SendMessage(kDbUpdateReq, UpdatePayload(record)));
      sent = true;
      continue;
    }
    // Once taken, every frame is PAL; the first starts on a key frame.
    if (acknowledged || switched) {
      EXPECT_TRUE(frame.pal) << i;
    }
    if (!frame.pal || switched) continue;
    switched = true;
    EXPECT_TRUE(frame.key);
    EXPECT_EQ(frame.sizeCode, 1);
    Picture picture;
    ASSERT_TRUE(decoder.Decode(frame.first, picture, error)) << error;
    EXPECT_EQ(picture.width, 352);
    EXPECT_EQ(picture.height, 288);
  }
  EXPECT_TRUE(acknowledged);
  EXPECT_TRUE(switched);
}

TEST(SimulatorSetup, SystemTablesAfterLoginInTheirSizes) {
  LoggedIn s(Base(), "admin", "4711");
  ASSERT_EQ(s.notices[4].code, kSysEtcInfo);
  ASSERT_EQ(s.notices[5].code, kSysEtcInfoEx);
  const std::vector<uint8_t>& t = s.notices[4].payload;
  const std::vector<uint8_t>& x = s.notices[5].payload;
  ASSERT_EQ(t.size(), 320u);
  ASSERT_EQ(x.size(), 3200u);
  // Language slots: built-in numbers, and the same languages by name.
  EXPECT_EQ(std::vector<uint8_t>(t.begin(), t.begin() + 7), (std::vector<uint8_t>{1, 2, 3, 4, 9, 13, 0}));
  EXPECT_EQ(FieldText(x, 16, 16), "S.Chinese");
  EXPECT_EQ(FieldText(x, 5 * 16, 16), "Japanese");
  EXPECT_EQ(FieldText(x, 6 * 16, 16), "");
  // Camera protocol entry 1 (the factory PTZ protocol) and controller entry 0.
  EXPECT_EQ(t[0x040 + 2], 2);
  EXPECT_EQ(t[0x040 + 3], 4);
  EXPECT_EQ(FieldText(x, 0x400 + 16, 16), "Pelco-D");
  EXPECT_EQ(x[0x800 + 1], 4);
  EXPECT_EQ(t[0x0C0], 1);
  EXPECT_EQ(FieldText(x, 0x840, 16), "TKC-2000");
  EXPECT_EQ(x[0xC40], t[0x0C1]);
  EXPECT_EQ(FieldText(x, 0x840 + 2 * 16, 16), "");

  SimConfig sized = Base();
  sized.setup.sysEtcBytes = 100;
  sized.setup.sysEtcExBytes = 0;
  LoggedIn cut(sized, "admin", "4711", 5);
  EXPECT_EQ(cut.notices[4].code, kSysEtcInfo);
  EXPECT_EQ(cut.notices[4].payload.size(), 100u);
  EXPECT_EQ(cut.notices[4].payload[0], 1);
  EXPECT_TRUE(cut.client.StaysSilent(200ms));  // no SYS_ETC_INFO_EX
}

TEST(SimulatorSetup, SetupFileKeepsChangesBetweenRuns) {
  char name[] = "/tmp/orva_sim_setupXXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  std::remove(name);  // a missing file means factory values
  const std::string path = name;
  SimConfig config = Base();
  config.setup.file = path;
  std::vector<uint8_t> record;
  {
    Session s(config);
    record = Fetch(s.client);
    ASSERT_EQ(record.size(), kRecord);
    PutName(record, kNames, 32, "Kept");
    ASSERT_TRUE(s.client.SendMessage(kDbUpdateReq, UpdatePayload(record)));
    EXPECT_EQ(Next(s.client).code, kDbUpdateAck);
  }
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  ExpectSameSetup(file, record);
  {
    Simulator sim(config);
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    RawClient client;
    ASSERT_TRUE(client.Connect(sim.Port()));
    std::vector<RawMessage> notices;
    ASSERT_TRUE(LoginAndReadNotices(client, &notices));
    EXPECT_EQ(FieldText(notices[2].payload, 20, 32), "Kept");
  }
  // A file of another size is refused before anything listens.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "short";
  Simulator broken(config);
  std::string error;
  EXPECT_FALSE(broken.Start(error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  std::remove(path.c_str());
}

TEST(SimulatorSetup, TimeServerAnswersSecondsSince1900) {
  for (const int64_t offset : {int64_t{0}, int64_t{-86400}, int64_t{3600}}) {
    SimConfig config = Base();
    config.setup.timePort = 0;
    config.setup.timeOffset = offset;
    Simulator sim(config);
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    ASSERT_NE(sim.TimePort(), 0);
    ASSERT_NE(sim.TimePort(), sim.Port());
    for (int query = 0; query < 2; ++query) {
      RawClient client;
      ASSERT_TRUE(client.Connect(sim.TimePort()));
      std::vector<uint8_t> answer;
      ASSERT_TRUE(client.ReadBytes(answer, 4, 2s));
      size_t extra = 0;
      EXPECT_TRUE(client.WaitClosed(2s, &extra));
      EXPECT_EQ(extra, 0u);
      const int64_t expected = static_cast<int64_t>(std::time(nullptr)) + 2208988800LL + offset;
      EXPECT_NEAR(static_cast<double>(BigEndian32(answer, 0)),
                  static_cast<double>(expected % 4294967296LL), 2.0)
          << offset;
    }
  }
  Simulator without(Base());
  std::string error;
  ASSERT_TRUE(without.Start(error)) << error;
  EXPECT_EQ(without.TimePort(), 0);
}

TEST(SimulatorSetup, OptionsAndTheirLimits) {
  const char* const good[] = {
      "orva-sim", "--setup-fragment-bytes", "1000", "--setup-crc-fault", "--db-update-nack", "97",
      "--db-info-nack", "83", "--db-init-nack=2", "--test-mail-nack", "1", "--setup-file",
      "/tmp/x.setup", "--sys-etc-bytes", "0", "--sys-etc-ex-bytes", "3199", "--time-port", "3737",
      "--time-offset", "-60", "--setup-version", "4.1"};
  SimConfig config;
  std::string error;
  bool help = false;
  ASSERT_TRUE(ParseSimArgs(static_cast<int>(std::size(good)), good, config, error, help)) << error;
  const SimSetupConfig& s = config.setup;
  EXPECT_EQ(std::make_tuple(s.fragmentBytes, s.crcFault, s.updateNack, s.infoNack, s.initNack,
                            s.testMailNack, s.file, s.sysEtcBytes, s.sysEtcExBytes, s.timePort,
                            s.timeOffset, s.major, s.minor),
            std::make_tuple(1000, true, 97, 83, 2, 1, std::string("/tmp/x.setup"), 0, 3199, 3737,
                            int64_t{-60}, uint8_t{4}, uint8_t{1}));

  const std::vector<std::pair<const char*, const char*>> bad = {
      {"--setup-fragment-bytes", "15"}, {"--setup-fragment-bytes", "65536"},
      {"--time-port", "65536"},         {"--time-port", "-1"},
      {"--time-port", "2000"},  // the recorder's own port
      {"--setup-file", ""},             {"--sys-etc-bytes", "70000"},
      {"--db-update-nack", "x"},        {"--setup-version", "4"}};
  for (const auto& [option, value] : bad) {
    const char* const args[] = {"orva-sim", option, value};
    SimConfig untouched;
    error.clear();
    EXPECT_FALSE(ParseSimArgs(3, args, untouched, error, help)) << option << " " << value;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(untouched.setup.timePort, -1);
  }
}

}  // namespace
}  // namespace orva::sim
