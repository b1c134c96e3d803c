// The setup database: DB_INFO_REQ, DB_UPDATE_REQ, DB_INIT_REQ, the test
// mail, and the language / serial-protocol tables sent after a login.
#include <zlib.h>

#include <algorithm>

#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "session.h"
#include "setup_layout.h"

namespace orva::sim::detail {

namespace {

// The refusal for a request the recorder cannot take: a record of the wrong
// size or with a wrong CRC, or a user without the setup right.
constexpr int32_t kSetupRefused = 1;

uint32_t Crc32(const uint8_t* data, size_t count) {
  return static_cast<uint32_t>(::crc32(0L, data, static_cast<uInt>(count)));
}

}  // namespace

bool ClientSession::HasSetupRight() const {
  const std::string login = LowerAscii(userName_);
  for (const SimUser& user : context_.setup->Users()) {
    if (user.id.empty() || LowerAscii(user.id) != login) continue;
    return user.setup && user.access && user.level != 0;
  }
  return false;
}

bool ClientSession::OnDbInfo(const ReceivedMessage&) {
  const SimSetupConfig& setup = context_.config.setup;
  if (setup.infoNack != 0) return Send(code::kDbInfoNack, BuildResult(setup.infoNack));
  if (!HasSetupRight()) {
    Trace("DB_INFO_REQ from a user without the setup right, refused");
    return Send(code::kDbInfoNack, BuildResult(kSetupRefused));
  }
  const std::vector<uint8_t> image = context_.setup->Snapshot(WireNow());
  std::vector<uint8_t> block(4 + image.size());
  uint32_t crc = Crc32(image.data(), image.size());
  if (setup.crcFault) crc = ~crc;
  PutU32(block.data(), crc);
  std::copy(image.begin(), image.end(), block.begin() + 4);

  auto lock = link_.LockForControl();
  size_t fragments = 0;
  std::string error;
  if (!link_.SendBlockLocked(code::kDbInfoAck, block, 0, 0,
                             static_cast<size_t>(setup.fragmentBytes), fragments, error)) {
    if (!context_.stop.load()) LogLine("cannot send DB_INFO_ACK: " + error);
    return false;
  }
  Trace("-> DB_INFO_ACK (113) " + std::to_string(block.size()) + " bytes in " +
        std::to_string(fragments) + " fragments" + (setup.crcFault ? ", CRC spoilt" : ""));
  return true;
}

bool ClientSession::OnDbUpdate(const ReceivedMessage& message) {
  const SimSetupConfig& setup = context_.config.setup;
  if (setup.updateNack != 0) return Send(code::kDbUpdateNack, BuildResult(setup.updateNack));
  if (!HasSetupRight()) {
    Trace("DB_UPDATE_REQ from a user without the setup right, refused");
    return Send(code::kDbUpdateNack, BuildResult(kSetupRefused));
  }
  const std::vector<uint8_t>& p = message.payload;
  if (p.size() != kSetupUpdateBytes) {
    LogLine(context_.peer + " DB_UPDATE_REQ with " + std::to_string(p.size()) +
            " payload bytes instead of " + std::to_string(kSetupUpdateBytes) + ", refused");
    return Send(code::kDbUpdateNack, BuildResult(kSetupRefused));
  }
  const uint32_t crc = Crc32(p.data() + 4, kSetupBytes);
  if (GetU32(p.data()) != crc) {
    LogLine(context_.peer + " DB_UPDATE_REQ with a CRC that does not match the record, refused");
    return Send(code::kDbUpdateNack, BuildResult(kSetupRefused));
  }
  const SetupChanges changes = context_.setup->Replace(p.data() + 4);
  if (!Send(code::kDbUpdateAck, {})) return false;
  return SendSetupChanges(changes, logkind::kSetupChange);
}

bool ClientSession::OnDbInit(const ReceivedMessage&) {
  const SimSetupConfig& setup = context_.config.setup;
  if (setup.initNack != 0) return Send(code::kDbInitNack, BuildResult(setup.initNack));
  if (!HasSetupRight()) {
    Trace("DB_INIT_REQ from a user without the setup right, refused");
    return Send(code::kDbInitNack, BuildResult(kSetupRefused));
  }
  const SetupChanges changes = context_.setup->Reset();
  if (!Send(code::kDbInitAck, {})) return false;
  return SendSetupChanges(changes, logkind::kFactoryReset);
}

bool ClientSession::SendSetupChanges(const SetupChanges& changes, uint32_t kind) {
  context_.log->Add(logtype::kOperation, kind, userName_ + ": " + changes.Describe());
  Trace("setup " + std::string(kind == logkind::kFactoryReset ? "reset" : "changed") + ": " +
        changes.Describe());
  if (const std::string fileError = context_.setup->FileError(); !fileError.empty()) {
    LogLine(fileError);
  }
  const bool unicode = context_.config.unicodeNames;
  if (changes.names &&
      !Send(unicode ? code::kDbChangeUnicode : code::kDbChange,
            context_.setup->NameNotice(unicode))) {
    return false;
  }
  // A changed video standard needs no notice: the live streams follow the
  // stored standard on their own.
  return !changes.users || Send(code::kRightChange, context_.setup->RightsTable());
}

bool ClientSession::OnTestMail(const ReceivedMessage& message) {
  const SimSetupConfig& setup = context_.config.setup;
  if (setup.testMailNack != 0) {
    return Send(code::kSendTestMailNack, BuildResult(setup.testMailNack));
  }
  if (message.payload.size() != kTestMailBytes) {
    LogLine(context_.peer + " SEND_TEST_MAIL_REQ with " + std::to_string(message.payload.size()) +
            " payload bytes instead of " + std::to_string(kTestMailBytes) + ", refused");
    return Send(code::kSendTestMailNack, BuildResult(kSetupRefused));
  }
  // The third text holds the recipient; no mail really leaves the simulator.
  const auto* text = message.payload.data() + 2 * setupat::kMailTextBytes;
  size_t n = 0;
  while (n < setupat::kMailTextBytes - 1 && text[n] != 0) ++n;
  Trace("test mail to '" + std::string(reinterpret_cast<const char*>(text), n) + "'");
  return Send(code::kSendTestMailAck, {});
}

bool ClientSession::SendSystemTables() {
  const SimSetupConfig& setup = context_.config.setup;
  if (setup.sysEtcBytes > 0 &&
      !Send(code::kSysEtcInfo, BuildSysEtcInfo(static_cast<size_t>(setup.sysEtcBytes)))) {
    return false;
  }
  return setup.sysEtcExBytes <= 0 ||
         Send(code::kSysEtcInfoEx, BuildSysEtcInfoEx(static_cast<size_t>(setup.sysEtcExBytes)));
}

}  // namespace orva::sim::detail
