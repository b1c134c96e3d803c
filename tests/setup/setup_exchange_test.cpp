// The setup exchange over a real connection from a scripted recorder:
// fragment collection and the CRC check, overrun, the edit guard, the
// update/reset/test-mail requests and their refusals, the table sizes, and
// the language and protocol lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/setup/setup_exchange.h"
#include "test_support.h"
#include "trace_capture.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Be32;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

std::vector<uint8_t> Record(uint8_t seed) {
  std::vector<uint8_t> r(kSetupDatabaseSize);
  for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<uint8_t>(seed + i * 13 + i / 509);
  r[0] = 4;
  r[1] = 2;
  return r;
}

// The answer as a recorder sends it: the big-endian CRC, then the record.
std::vector<uint8_t> Answer(const std::vector<uint8_t>& record) {
  std::vector<uint8_t> a = Be32(static_cast<int32_t>(SetupCrc(record)));
  a.insert(a.end(), record.begin(), record.end());
  return a;
}

// The result code of the DB_INIT_NACK that marks the end of a delivery.
constexpr int32_t kMarkResult = 4242;

struct Events : SetupObserver {
  std::mutex lock;
  int ready = 0, closeRequests = 0, tables = 0, marks = 0;
  std::vector<SetupRejection> rejected;
  std::vector<std::pair<bool, int32_t>> updates;
  void OnDatabaseReady() override {
    std::lock_guard g(lock);
    ++ready;
  }
  void OnDatabaseRejected(SetupRejection r) override {
    std::lock_guard g(lock);
    rejected.push_back(r);
  }
  void OnUpdateAnswer(bool ok, int32_t result) override {
    std::lock_guard g(lock);
    updates.emplace_back(ok, result);
  }
  void OnResetAnswer(bool, int32_t result) override {
    std::lock_guard g(lock);
    marks += result == kMarkResult;
  }
  void OnCloseSetupWindow() override {
    std::lock_guard g(lock);
    ++closeRequests;
  }
  void OnSystemTables() override {
    std::lock_guard g(lock);
    ++tables;
  }
};

class SetupExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConnectParams params{"127.0.0.1", recorder.Port(), "admin", "admin", ""};
    session = std::make_unique<DvrSession>(std::move(params), &observer, nullptr, test::FastTiming());
    exchange.Attach(*session);
    session->Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage hello;
    ASSERT_TRUE(recorder.ReadMessage(hello));
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload())));
    ASSERT_TRUE(observer.WaitForIdentity());
    WireMessage live;  // the handshake's LIVE_REQ
    ASSERT_TRUE(recorder.ReadMessage(live));
  }
  // Writes the bytes, then a refusal without a notice whose arrival marks
  // that everything before it has been handled.
  void Deliver(const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(recorder.Write(bytes));
    ASSERT_TRUE(recorder.Write(Frame(msg::DB_INIT_NACK, Be32(kMarkResult))));
    ++marks;
    for (int i = 0; i < 300; ++i) {
      {
        std::lock_guard g(events.lock);
        if (events.marks >= marks) return;
      }
      std::this_thread::sleep_for(10ms);
    }
    FAIL() << "the recorder's messages were not handled";
  }
  // The answer cut into fragments of the given sizes (the rest in the last).
  void DeliverAnswer(const std::vector<uint8_t>& answer, std::vector<size_t> sizes = {}) {
    std::vector<uint8_t> wire;
    size_t at = 0;
    for (size_t s : sizes) {
      auto f = Frame(msg::DB_INFO_ACK, {answer.begin() + at, answer.begin() + at + s}, 0);
      wire.insert(wire.end(), f.begin(), f.end());
      at += s;
    }
    auto last = Frame(msg::DB_INFO_ACK, {answer.begin() + at, answer.end()}, 0x4000);
    wire.insert(wire.end(), last.begin(), last.end());
    Deliver(wire);
  }
  void RequestAndRead() {
    ASSERT_TRUE(exchange.RequestDatabase());
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m));
    EXPECT_EQ(m.code, msg::DB_INFO_REQ);
    EXPECT_TRUE(m.payload.empty());
  }
  int Count(Notice n) {
    auto all = observer.Notices();
    return static_cast<int>(std::count(all.begin(), all.end(), n));
  }
  std::vector<uint8_t> Image() {
    auto b = exchange.Database().NetworkBytes();
    return b;
  }

  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  Events events;
  SetupExchange exchange{&events};
  std::unique_ptr<DvrSession> session;
  int marks = 0;
};

TEST(SetupCrc, IsTheStandardCrc32) {
  const char* check = "123456789";
  EXPECT_EQ(SetupCrc({reinterpret_cast<const uint8_t*>(check), 9}), 0xCBF43926u);
  EXPECT_EQ(SetupCrc({}), 0u);
}

TEST_F(SetupExchangeTest, FragmentedAndSingleAnswersYieldOneCheckedRecord) {
  const std::vector<std::vector<size_t>> splits = {{20000, 30000}, {}, {1, 3, 60000}};
  uint8_t seed = 1;
  for (const auto& split : splits) {
    SCOPED_TRACE(split.size());
    const auto record = Record(seed++);
    RequestAndRead();
    DeliverAnswer(Answer(record), split);
    EXPECT_EQ(Image(), record);
  }
  std::lock_guard g(events.lock);
  EXPECT_EQ(events.ready, 3);
  EXPECT_TRUE(events.rejected.empty());
}

TEST_F(SetupExchangeTest, ACorruptedByteGivesNotice9AndLeavesTheImage) {
  const auto good = Record(7);
  RequestAndRead();
  DeliverAnswer(Answer(good), {30000});
  // Anywhere after the CRC, and in the CRC itself.
  for (size_t at : {size_t{0}, size_t{3}, size_t{4}, size_t{0x1A40 + 4}, size_t{40000}, kDbUpdateSize - 1}) {
    SCOPED_TRACE(at);
    auto answer = Answer(Record(9));
    answer[at] ^= 0x20;
    RequestAndRead();
    DeliverAnswer(answer, {20000, 20000});
    EXPECT_EQ(Image(), good);
  }
  EXPECT_EQ(Count({9, 0}), 6);
  std::lock_guard g(events.lock);
  EXPECT_EQ(events.ready, 1);
  EXPECT_EQ(events.rejected, std::vector<SetupRejection>(6, SetupRejection::kCrcMismatch));
}

TEST_F(SetupExchangeTest, AnOverrunOrShortAnswerIsRefusedAndTheNextAnswerStillWorks) {
  // 20 fragments of 65,000 bytes exceed the 1,244,160-byte area.
  std::vector<uint8_t> wire;
  for (int i = 0; i < 20; ++i) {
    auto f = Frame(msg::DB_INFO_ACK, std::vector<uint8_t>(65000, 0x5A), i == 19 ? 0x4000 : 0);
    wire.insert(wire.end(), f.begin(), f.end());
  }
  RequestAndRead();
  Deliver(wire);
  // Complete and CRC-correct, but not a whole record.
  const std::vector<uint8_t> shortRecord(1000, 3);
  RequestAndRead();
  DeliverAnswer(Answer(shortRecord));
  EXPECT_FALSE(exchange.HasDatabase());
  const auto record = Record(3);
  RequestAndRead();
  DeliverAnswer(Answer(record), {64000});
  EXPECT_EQ(Image(), record);
  std::lock_guard g(events.lock);
  EXPECT_EQ(events.rejected, (std::vector<SetupRejection>{SetupRejection::kOverrun, SetupRejection::kTooShort}));
  EXPECT_EQ(events.ready, 1);
}

TEST_F(SetupExchangeTest, AnAnswerLongerThanARecordUsesTheFirst64512BytesAfterTheCrc) {
  auto record = Record(5);
  auto longer = record;
  longer.insert(longer.end(), 100, 0xEE);
  std::vector<uint8_t> answer = Be32(static_cast<int32_t>(SetupCrc(longer)));
  answer.insert(answer.end(), longer.begin(), longer.end());
  RequestAndRead();
  DeliverAnswer(answer, {40000});
  EXPECT_EQ(Image(), record);
}

TEST_F(SetupExchangeTest, ASecondAnswerWhileEditingIsDroppedAndTheEditedImageSurvives) {
  TraceCapture trace;
  const auto first = Record(1);
  RequestAndRead();
  DeliverAnswer(Answer(first));
  SetupDatabase* image = exchange.EditBegin();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(exchange.EditBegin(), nullptr);  // one edit at a time
  EXPECT_EQ(image->Order(), SetupByteOrder::kHost);
  image->SetText(SetupFieldId::kCameraName, 0, "Edited");
  EXPECT_FALSE(exchange.SendUpdate());  // not while the window edits
  DeliverAnswer(Answer(Record(2)), {10000});
  EXPECT_EQ(image->Text(SetupFieldId::kCameraName, 0), "Edited");
  exchange.EditEnd();
  auto expected = first;
  std::fill_n(expected.begin() + 0x58, 32, 0);
  std::memcpy(expected.data() + 0x58, "Edited", 6);
  EXPECT_EQ(Image(), expected);
  EXPECT_EQ(exchange.Database().Order(), SetupByteOrder::kNetwork);
  EXPECT_NE(trace.Text().find("setup window open, database dropped"), std::string::npos);
  std::lock_guard g(events.lock);
  EXPECT_EQ(events.ready, 1);
  EXPECT_EQ(events.rejected, std::vector<SetupRejection>{SetupRejection::kWhileEditing});
}

TEST_F(SetupExchangeTest, AnUntouchedRecordGoesBackByteIdenticalWithItsCrcAndResendRepeatsIt) {
  const auto record = Record(11);
  RequestAndRead();
  DeliverAnswer(Answer(record), {30000});
  ASSERT_NE(exchange.EditBegin(), nullptr);
  exchange.EditEnd();
  ASSERT_TRUE(exchange.SendUpdate());
  ASSERT_TRUE(exchange.Resend());
  for (int i = 0; i < 2; ++i) {
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m));
    EXPECT_EQ(m.code, msg::DB_UPDATE_REQ);
    EXPECT_EQ(m.payload, Answer(record));
  }
  ASSERT_TRUE(exchange.SendTestMail());
  WireMessage mail;
  ASSERT_TRUE(recorder.ReadMessage(mail));
  EXPECT_EQ(mail.code, msg::SEND_TEST_MAIL_REQ);
  EXPECT_EQ(mail.payload, std::vector<uint8_t>(record.begin() + 0x0DB8, record.begin() + 0x0DB8 + 516));
}

TEST_F(SetupExchangeTest, AFactoryResetWhileEditingAsksToCloseTheWindow) {
  RequestAndRead();
  DeliverAnswer(Answer(Record(1)));
  ASSERT_TRUE(exchange.RequestFactoryReset());  // no edit open: nothing to close
  ASSERT_NE(exchange.EditBegin(), nullptr);
  ASSERT_TRUE(exchange.RequestFactoryReset());
  for (int i = 0; i < 2; ++i) {
    WireMessage m;
    ASSERT_TRUE(recorder.ReadMessage(m));
    EXPECT_EQ(m.code, msg::DB_INIT_REQ);
    EXPECT_TRUE(m.payload.empty());
  }
  std::lock_guard g(events.lock);
  EXPECT_EQ(events.closeRequests, 1);
}

TEST_F(SetupExchangeTest, RefusalsGiveTheirNoticesAndEveryPayloadIsConsumed) {
  struct Case {
    uint16_t code;
    std::vector<uint8_t> payload;
    std::optional<Notice> notice;
  };
  auto result = [](int32_t r, size_t extra = 0) {
    auto p = Be32(r);
    p.resize(p.size() + extra, 0x77);
    return p;
  };
  const Case cases[] = {
      {msg::DB48_INFO_NACK, result(1), Notice{6, 0}},    {msg::DB48_INFO_NACK, result(2), Notice{6, 1}},
      {msg::DB48_INFO_NACK, result(83), Notice{4, 0}},   {msg::DB48_INFO_NACK, result(86), Notice{6, 3}},
      {msg::DB48_INFO_NACK, result(5), std::nullopt},    {msg::DB_UPDATE_NACK, result(1), Notice{7, 0}},
      {msg::DB_UPDATE_NACK, result(81), Notice{7, 1}},   {msg::DB_UPDATE_NACK, result(51, 8), Notice{7, 2}},
      {msg::DB_UPDATE_NACK, result(97), Notice{7, 3}},   {msg::DB_UPDATE_NACK, result(-1), std::nullopt},
      {msg::DB_INIT_NACK, result(1), Notice{6, 0}},      {msg::DB_INIT_NACK, result(2), Notice{6, 1}},
      {msg::DB_INIT_NACK, result(97), Notice{6, 7}},     {msg::DB_INIT_NACK, result(98), Notice{6, 6}},
      {msg::DB_INIT_NACK, result(3), std::nullopt},      {msg::SEND_TEST_MAIL_NACK, result(1), Notice{6, 0}},
      {msg::SEND_TEST_MAIL_NACK, result(2), std::nullopt}, {msg::DB_UPDATE_ACK, {}, Notice{10, 0}},
      {msg::DB_UPDATE_ACK, std::vector<uint8_t>(300, 1), Notice{10, 0}},
      {msg::DB_INIT_ACK, std::vector<uint8_t>(12, 1), std::nullopt},
      {msg::SEND_TEST_MAIL_ACK, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const auto before = observer.Notices();
    Deliver(Frame(c.code, c.payload));
    const auto after = observer.Notices();
    ASSERT_EQ(after.size(), before.size() + (c.notice ? 1 : 0));
    if (c.notice) {
      EXPECT_EQ(after.back(), *c.notice);
    }
  }
  EXPECT_TRUE(session->ReceiveThreadRunning());
  EXPECT_FALSE(exchange.HasDatabase());  // refusals leave no image
  std::lock_guard g(events.lock);
  EXPECT_EQ(events.updates.size(), 7u);
}

TEST_F(SetupExchangeTest, TablesOfTheWrongSizeAreTracedAndLeaveTheRecordZeroed) {
  TraceCapture trace;
  std::vector<uint8_t> info(kSysEtcInfoSize, 0);
  info[0] = 1;
  info[1] = 3;
  std::vector<uint8_t> ex(kSysEtcInfoExSize, 0);
  std::memcpy(ex.data(), "Danish", 6);
  Deliver(Frame(msg::SYS_ETC_INFO, info));
  Deliver(Frame(msg::SYS_ETC_INFO_EX, ex));
  auto t = exchange.Tables();
  EXPECT_EQ(std::vector<uint8_t>(t.info.begin(), t.info.end()), info);
  EXPECT_TRUE(t.exArrived);
  EXPECT_EQ(LanguageForSlot(t, 0).known, 16);

  Deliver(Frame(msg::SYS_ETC_INFO, std::vector<uint8_t>(321, 9)));
  Deliver(Frame(msg::SYS_ETC_INFO_EX, std::vector<uint8_t>(3199, 9)));
  t = exchange.Tables();
  EXPECT_TRUE(std::all_of(t.info.begin(), t.info.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(t.infoEx.begin(), t.infoEx.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_FALSE(t.exArrived);
  const std::string text = trace.Text();
  EXPECT_NE(text.find("SysEtcInfo size : 320, Payload size : 321"), std::string::npos);
  EXPECT_NE(text.find("SysEtcInfoEx size : 3200, Payload size : 3199"), std::string::npos);
  EXPECT_TRUE(session->ReceiveThreadRunning());
  std::lock_guard g(events.lock);
  EXPECT_EQ(events.tables, 4);
}

TEST(SystemTables, LanguagesAndProtocolsComeFromTheExtendedTableWhenOneHasArrived) {
  SystemTables t;
  t.info[0] = 1;   // English
  t.info[2] = 13;  // Japanese
  t.info[3] = 14;  // beyond the built-in list
  t.info[0x40 + 2 * 5] = 2;  // camera entry 5: Pelco-D, 3 rates
  t.info[0x40 + 2 * 5 + 1] = 3;
  t.info[0xC0 + 2 * 1] = 2;  // controller entry 1: Vista KBD
  struct Case {
    int slot, known;
    const char* text;
  };
  for (const Case& c : {Case{0, -1, "English"}, Case{1, -1, ""}, Case{2, -1, "Japanese"}, Case{3, -1, ""},
                        Case{64, -1, ""}, Case{-1, -1, ""}}) {
    EXPECT_EQ(LanguageForSlot(t, c.slot).text, c.text) << c.slot;
    EXPECT_EQ(LanguageForSlot(t, c.slot).known, c.known) << c.slot;
  }
  EXPECT_EQ(LanguageSlots(t), (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(ProtocolName(t, ProtocolTable::kCamera, 5), "Pelco-D");
  EXPECT_EQ(ProtocolBaudCount(t, ProtocolTable::kCamera, 5), 3);
  EXPECT_EQ(ProtocolName(t, ProtocolTable::kController, 1), "Vista KBD");
  EXPECT_EQ(ProtocolName(t, ProtocolTable::kCamera, 0), "");

  t.exArrived = true;
  auto name = [&](size_t base, int slot, const char* text) { std::memcpy(&t.infoEx[base + 16 * slot], text, std::strlen(text)); };
  name(0x000, 1, "french");
  name(0x000, 4, "T.CHINESE");
  name(0x000, 5, "Klingon");
  name(0x000, 63, "0123456789ABCDEF");  // a full 16-byte name without terminator
  name(0x400, 2, "Custom-Cam");
  t.infoEx[0x800 + 2] = 4;
  name(0x840, 7, "Desk");
  t.infoEx[0xC40 + 7] = 2;
  for (const Case& c : {Case{0, -1, ""}, Case{1, 1, "French"}, Case{4, 14, "T.Chinese"}, Case{5, -1, "Klingon"},
                        Case{63, -1, "0123456789ABCDEF"}}) {
    EXPECT_EQ(LanguageForSlot(t, c.slot).text, c.text) << c.slot;
    EXPECT_EQ(LanguageForSlot(t, c.slot).known, c.known) << c.slot;
  }
  EXPECT_EQ(LanguageSlots(t), (std::vector<int>{1, 4, 5, 63}));
  EXPECT_EQ(ProtocolName(t, ProtocolTable::kCamera, 2), "Custom-Cam");
  EXPECT_EQ(ProtocolBaudCount(t, ProtocolTable::kCamera, 2), 4);
  EXPECT_EQ(ProtocolName(t, ProtocolTable::kCamera, 5), "");  // the short table no longer counts
  EXPECT_EQ(ProtocolName(t, ProtocolTable::kController, 7), "Desk");
  EXPECT_EQ(ProtocolBaudCount(t, ProtocolTable::kController, 7), 2);
  EXPECT_EQ(ProtocolBaudCount(t, ProtocolTable::kController, 64), 0);
}

}  // namespace
}  // namespace orva
