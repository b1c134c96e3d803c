#include "session.h"

#include <sys/socket.h>

#include <cstdio>
#include <mutex>

#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"

namespace orva::sim::detail {

namespace {
// A message that has begun must be complete within this time, as on the
// client side of the link.
constexpr std::chrono::milliseconds kMessageLimit{20000};
}  // namespace

const std::chrono::milliseconds kByeGrace{200};

namespace {
// Time allowed for the client to close its side after ours is shut.
constexpr std::chrono::milliseconds kCloseDrain{200};
// How much of the HELLO48_ACK payload the mid-message fault sends.
constexpr size_t kMidMessageBytes = 300;

std::string FieldText(const std::vector<uint8_t>& payload, size_t offset, size_t width) {
  size_t n = 0;
  while (n < width && payload[offset + n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(payload.data() + offset), n);
}
}  // namespace

void LogLine(const std::string& line) {
  static std::mutex mutex;
  const std::lock_guard<std::mutex> lock(mutex);
  std::fprintf(stderr, "orva-sim: %s\n", line.c_str());
  std::fflush(stderr);
}

ClientSession::ClientSession(int fd, SessionContext context)
    : io_(fd, context.stop), context_(std::move(context)), link_(io_) {
  if (context_.counters == nullptr) context_.counters = &ownCounters_;
  if (context_.recording == nullptr) context_.recording = &ownRecording_;
  if (context_.ptz == nullptr) {
    ownPtz_ = std::make_unique<PtzCameras>(context_.config);
    context_.ptz = ownPtz_.get();
  }
  if (context_.archive == nullptr) {
    ownArchive_ = std::make_unique<Archive>(context_.config);
    context_.archive = ownArchive_.get();
  }
  if (context_.log == nullptr) {
    ownLog_ = std::make_unique<RecorderLog>();
    context_.log = ownLog_.get();
  }
  if (context_.firmware == nullptr) {
    ownFirmware_ = std::make_unique<FirmwareStore>(context_.config.firmware);
    context_.firmware = ownFirmware_.get();
  }
  if (context_.setup == nullptr) {
    ownSetup_ = std::make_unique<SetupStore>(context_.config);
    context_.setup = ownSetup_.get();
  }
  handlers_[code::kHello] = &ClientSession::OnHello;
  handlers_[code::kBye48] = &ClientSession::OnBye;
  handlers_[code::kLiveReq] = &ClientSession::OnLiveReq;
  handlers_[code::kLiveStop] = &ClientSession::OnLiveStop;
  handlers_[code::kAudioOnOffReq] = &ClientSession::OnAudioOnOff;
  handlers_[code::kRecOnReq] = &ClientSession::OnRecOn;
  handlers_[code::kRecOffReq] = &ClientSession::OnRecOff;
  handlers_[code::kListenReq] = &ClientSession::OnListen;
  handlers_[code::kRebootReq] = &ClientSession::OnReboot;
  handlers_[code::kPowerOffReq] = &ClientSession::OnPowerOff;
  handlers_[code::kDbInfoReq] = &ClientSession::OnDbInfo;
  handlers_[code::kDbUpdateReq] = &ClientSession::OnDbUpdate;
  handlers_[code::kDbInitReq] = &ClientSession::OnDbInit;
  handlers_[code::kSendTestMailReq] = &ClientSession::OnTestMail;
  handlers_[code::kFwUpdateReq] = &ClientSession::OnFwUpdate;
  handlers_[code::kFwData] = &ClientSession::OnFwData;
  handlers_[code::kDvrTimeReq] = &ClientSession::OnDvrTime;
  handlers_[code::kPtzChannelReq] = &ClientSession::OnPtzChannel;
  handlers_[code::kPtzMoveReq] = &ClientSession::OnPtzMove;
  handlers_[code::kPtzMoveStop] = &ClientSession::OnPtzStop;
  for (const uint16_t month : {code::kPlayInfoMonthReq, code::kTransInfoMonthReq}) {
    handlers_[month] = &ClientSession::OnMonthReq;
  }
  for (const uint16_t day : {code::kPlayInfoDayReq, code::kTransInfoDayReq}) {
    handlers_[day] = &ClientSession::OnDayReq;
  }
  handlers_[code::kEventInfoReq] = &ClientSession::OnEventReq;
  handlers_[code::kEventInfoReqByPage] = &ClientSession::OnEventPageReq;
  handlers_[code::kLogInfoReq] = &ClientSession::OnLogInfo;
  handlers_[code::kStatusInfoReq] = &ClientSession::OnStatusInfo;
  handlers_[code::kPlayOnReq] = &ClientSession::OnPlayOn;
  handlers_[code::kRplayStop] = &ClientSession::OnPlayStop;
  handlers_[code::kRplayCredit] = &ClientSession::OnPlayCredit;
  handlers_[code::kRplayStepChannels] = &ClientSession::OnStepChannels;
  for (const uint16_t motion : {code::kRplayForward, code::kRplayBackward, code::kRplayPause,
                                code::kRplayStepFwd, code::kRplayStepBack}) {
    handlers_[motion] = &ClientSession::OnPlayMotion;
  }
  handlers_[code::kTransOnReq] = &ClientSession::OnTransOn;
  handlers_[code::kCapaCalCancel] = &ClientSession::OnCapaCancel;
  handlers_[code::kTransDataReq] = &ClientSession::OnTransData;
  handlers_[code::kTransOffReq] = &ClientSession::OnTransOff;
}

ClientSession::~ClientSession() { StopStreaming(); }

void ClientSession::StopStreaming() {
  streamer_.reset();
  playback_.reset();
  transfer_.reset();
}

void ClientSession::Trace(const std::string& line) const {
  if (context_.config.verbose) LogLine(context_.peer + " " + line);
}

void ClientSession::Run() {
  Trace("connected");
  for (;;) {
    ReceivedMessage message;
    const IoResult result = ReadMessage(message, Clock::time_point::max());
    if (result != IoResult::kOk) {
      if (result == IoResult::kTimeout || result == IoResult::kError) {
        LogLine(context_.peer + " session ends: " + IoResultText(result));
      }
      Trace(std::string("session ends: ") + IoResultText(result));
      break;
    }
    // Before the login (and in the silent fault) only HELLO and BYE48 count.
    const bool loginMessage = message.code == code::kHello || message.code == code::kBye48;
    if (phase_ != Phase::kReady && !loginMessage) continue;
    const auto it = handlers_.find(message.code);
    if (it == handlers_.end()) continue;  // recorded and read past
    if (!(this->*(it->second))(message)) break;
  }
  // The streaming thread must be gone before our side of the socket shuts.
  StopStreaming();
  LogLogout();
  // A key still held when the client goes must not keep the camera moving.
  if (ptzChannel_ >= 0) context_.ptz->Stop(ptzChannel_);
  if (closeGracefully_) {
    // Shut our side first and let the client close its own, so neither side
    // leaves unread data behind (which would turn the close into a reset).
    ::shutdown(io_.fd(), SHUT_WR);
    Drain(kCloseDrain);
  }
  ::shutdown(io_.fd(), SHUT_RDWR);
  Trace("closed");
}

IoResult ClientSession::ReadMessage(ReceivedMessage& message, Clock::time_point hardDeadline) {
  uint8_t raw[kHeaderSize];
  Clock::time_point messageDeadline = Clock::time_point::max();
  IoResult result = io_.ReadExact(raw, kHeaderSize, hardDeadline, &messageDeadline, kMessageLimit);
  if (result != IoResult::kOk) return result;
  WireHeader header;
  std::string error;
  if (!DecodeHeader(raw, header, error)) {
    LogLine(context_.peer + " bad header (" + error + "), ending the session");
    return IoResult::kBadData;
  }
  message.code = header.code;
  message.audioFlag = header.audioFlag;
  message.streamFlags = header.streamFlags;
  message.payload.assign(header.length, 0);
  if (header.length > 0) {
    result = io_.ReadExact(message.payload.data(), header.length, hardDeadline, &messageDeadline,
                           kMessageLimit);
    if (result != IoResult::kOk) {
      Trace("payload of " + ClientMessageName(header.code) + " incomplete");
      return result;
    }
  }
  Trace("<- " + ClientMessageName(message.code) + " (" + std::to_string(message.code) + ") " +
        std::to_string(message.payload.size()) + " bytes");
  context_.record(message);
  return IoResult::kOk;
}

void ClientSession::Drain(std::chrono::milliseconds duration) {
  const Clock::time_point deadline = Clock::now() + duration;
  ReceivedMessage message;
  while (ReadMessage(message, deadline) == IoResult::kOk) {
  }
}

bool ClientSession::Send(uint16_t messageCode, const std::vector<uint8_t>& payload) {
  const auto lock = link_.LockForControl();
  return SendLocked(messageCode, payload);
}

bool ClientSession::SendLocked(uint16_t messageCode, const std::vector<uint8_t>& payload) {
  std::string error;
  if (!link_.SendLocked(messageCode, payload, error)) {
    if (!context_.stop.load()) {
      LogLine("cannot send " + RecorderMessageName(messageCode) + ": " + error);
    }
    return false;
  }
  Trace("-> " + RecorderMessageName(messageCode) + " (" + std::to_string(messageCode) + ") " +
        std::to_string(payload.size()) + " bytes" + (link_.audioOn() ? " [audio on]" : ""));
  return true;
}

bool ClientSession::Refuse(int32_t result) {
  Trace("-> refusing with result " + std::to_string(result));
  closeGracefully_ = true;
  if (Send(code::kBye48, BuildResult(result))) Drain(kByeGrace);
  return false;
}

int ClientSession::FindSlot(const std::vector<uint8_t>& hello, int32_t& refusal) const {
  refusal = context_.config.loginRefusedResult;
  if (hello.size() != kHelloSize) return -1;
  const std::string id = LowerAscii(FieldText(hello, 0, kHelloFieldSize));
  const std::string password = LowerAscii(FieldText(hello, kHelloFieldSize, kHelloFieldSize));
  // The user table of the setup database, so that changed accounts count.
  const std::vector<SimUser> users = context_.setup->Users();
  for (size_t slot = 0; slot < users.size() && slot < kUserSlots; ++slot) {
    const SimUser& user = users[slot];
    // The client sends at most 16 bytes of each text, so only those count.
    if (user.id.empty() || LowerAscii(user.id.substr(0, kHelloFieldSize)) != id) continue;
    if (LowerAscii(user.password.substr(0, kHelloFieldSize)) != password) return -1;
    if (!user.access || user.level == 0) {
      refusal = context_.config.accessDeniedResult;
      return -1;
    }
    return static_cast<int>(slot);
  }
  return -1;
}

bool ClientSession::OnHello(const ReceivedMessage& message) {
  if (phase_ != Phase::kGreeting) {
    Trace("HELLO after the handshake, ignored");
    return true;
  }
  const SimFaults& faults = context_.config.faults;
  if (faults.neverAnswerHello) {
    phase_ = Phase::kSilent;
    handlers_.erase(code::kHello);
    return true;
  }
  if (faults.byeOnHello != 0) return Refuse(faults.byeOnHello);
  int32_t refusal = 0;
  const int slot = FindSlot(message.payload, refusal);
  if (slot < 0) {
    if (message.payload.size() == kHelloSize) {
      context_.log->Add(logtype::kClient, logkind::kLoginRefused,
                        FieldText(message.payload, 0, kHelloFieldSize) + " " + context_.peer);
    }
    Trace("login of '" + (message.payload.size() == kHelloSize
                               ? FieldText(message.payload, 0, kHelloFieldSize)
                               : std::string("<bad HELLO size>")) +
          "' refused");
    return Refuse(refusal);
  }
  Trace("login accepted, slot " + std::to_string(slot));
  phase_ = Phase::kReady;
  userName_ = context_.setup->Users()[static_cast<size_t>(slot)].id;
  context_.log->Add(logtype::kClient, logkind::kLogin, userName_ + " " + context_.peer);
  return SendLoginAnswer(slot);
}

bool ClientSession::SendLoginAnswer(int slot) {
  const SimConfig& config = context_.config;
  std::vector<uint8_t> identity = BuildHello48Ack(config, static_cast<uint8_t>(slot));
  PatchFirmwareBuilds(identity, context_.firmware->Installed());
  const SimFaults& faults = config.faults;
  if (faults.closeMidMessage || faults.stallSeconds > 0) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!BuildMessage(code::kHello48Ack, identity, false, bytes, error)) return false;
    // No streaming thread exists yet, but the link's lock is the rule.
    auto lock = link_.LockForControl();
    Trace("-> HELLO48_ACK header only");
    if (!link_.SendRawLocked(bytes.data(), kHeaderSize)) return false;
    if (faults.closeMidMessage) {
      Trace("-> fault: " + std::to_string(kMidMessageBytes) + " payload bytes, then close");
      link_.SendRawLocked(bytes.data() + kHeaderSize, kMidMessageBytes);
      closeGracefully_ = true;
      return false;
    }
    Trace("fault: stalling " + std::to_string(faults.stallSeconds) + " s");
    if (!io_.Pause(std::chrono::seconds(faults.stallSeconds))) return false;
    if (!link_.SendRawLocked(bytes.data() + kHeaderSize, bytes.size() - kHeaderSize)) {
      return false;
    }
  } else if (!Send(code::kHello48Ack, identity)) {
    return false;
  }
  if (!Send(code::kRightChange, context_.setup->RightsTable())) return false;
  const bool names = Send(config.unicodeNames ? code::kDbChangeUnicode : code::kDbChange,
                          context_.setup->NameNotice(config.unicodeNames));
  return names && Send(code::kDstInfo, BuildDstInfo()) && SendSystemTables();
}

void ClientSession::LogLogout() {
  if (phase_ != Phase::kReady || loggedOut_) return;
  loggedOut_ = true;
  context_.log->Add(logtype::kClient, logkind::kLogout, userName_ + " " + context_.peer);
}

bool ClientSession::OnBye(const ReceivedMessage&) {
  Trace("client said BYE48");
  return false;
}

}  // namespace orva::sim::detail
