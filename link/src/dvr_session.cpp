#include "orva/link/dvr_session.h"

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "orva/link/catalogue.h"
#include "orva/link/trace.h"
#include "socket_util.h"

namespace orva {

const char* StateName(SessionState state) {
  switch (state) {
    case SessionState::kIdle: return "idle";
    case SessionState::kConnecting: return "connecting";
    case SessionState::kGreeting: return "greeting";
    case SessionState::kReady: return "ready";
    case SessionState::kClosing: return "closing";
  }
  return "?";
}

DvrSession::DvrSession(ConnectParams params, SessionObserver* observer, LogonJournal* journal, SessionTiming timing)
    : m_address(std::move(params.address)),
      m_port(params.port),
      m_site(std::move(params.site)),
      m_timing(timing),
      m_observer(observer),
      m_journal(journal),
      m_user(std::move(params.user)),
      m_password(std::move(params.password)) {
  m_handlers[msg::HELLO48_ACK] = [](DvrSession& s, const MessageHeader& h) { return s.RecvFn_Hello48Ack(h); };
  m_handlers[msg::BYE48] = [](DvrSession& s, const MessageHeader& h) { return s.RecvFn_Bye48(h); };
  m_socket.SetSendLimit(timing.recvLimit);
}

DvrSession::~DvrSession() {
  Close();
  // Close from the receive thread is refused; make sure nothing is left running.
  m_bStopRequest = true;
  m_bCancelConnect = true;
  if (m_connectThread.joinable()) m_connectThread.join();
  std::lock_guard lock(m_threadLock);
  if (m_recvThread.joinable()) m_recvThread.join();
}

bool DvrSession::SetHandler(uint16_t code, Handler handler) {
  if (!msg::IsRecorderToClient(code)) return false;
  m_handlers[code] = std::move(handler);
  return true;
}

void DvrSession::SetState(SessionState state) {
  m_state = state;
  if (m_observer) m_observer->OnStateChanged(state);
}

void DvrSession::PostNotice(Notice notice) {
  if (m_observer) m_observer->OnNotice(notice);
}

std::string DvrSession::User() const {
  std::lock_guard lock(m_credentialsLock);
  return m_user;
}

std::string DvrSession::LoginPassword() const {
  std::lock_guard lock(m_credentialsLock);
  return m_password;
}

void DvrSession::ReplaceLoginPassword(std::string_view password) {
  std::lock_guard lock(m_credentialsLock);
  m_password.assign(password);
}

RecorderIdentity DvrSession::Identity() const {
  std::lock_guard lock(m_identityLock);
  return m_identity;
}

void DvrSession::WriteLogon(LogonKind kind) {
  if (m_journal) m_journal->WriteLogon(kind, User(), m_address);
}

bool DvrSession::Send(uint16_t code, std::span<const uint8_t> payload, bool audioFlag) {
  return SendMessage(MakeHeader(code, 0, audioFlag), payload);
}

bool DvrSession::SendWithFlags(uint16_t code, uint16_t streamFlags, std::span<const uint8_t> payload) {
  MessageHeader header = MakeHeader(code, 0);
  header.streamFlags = streamFlags;
  return SendMessage(header, payload);
}

bool DvrSession::SendMessage(MessageHeader header, std::span<const uint8_t> payload) {
  // The header's length field has 16 bits; a longer payload would go out
  // with a wrong length and misalign the recorder's reading.
  if (payload.size() > 0xFFFF) {
    Trace("Send... code %d refused: %zu payload bytes do not fit one message\n", header.Code(), payload.size());
    return false;
  }
  header.length = static_cast<uint16_t>(payload.size());
  return m_socket.SendPacket(header, payload.data(), payload.size());
}

bool DvrSession::ReadPayload(const MessageHeader& header, std::vector<uint8_t>& out) {
  out.resize(header.length);
  return RecvExact(ReadFd(), out, m_timing.recvLimit);
}

int32_t DvrSession::ReadResultCode(const MessageHeader& header, uint8_t* extra) {
  return RecvResultCode(ReadFd(), header, extra, m_timing.recvLimit);
}

bool DvrSession::Discard(const MessageHeader& header) { return DiscardPayload(ReadFd(), header, m_timing.recvLimit); }

// ---------------------------------------------------------------- connect

void DvrSession::Open() {
  if (m_bOpened.exchange(true)) return;
  SetState(SessionState::kConnecting);
  m_connectThread = std::thread([this] { Thread_Connect(); });
}

void DvrSession::FinishConnectFailure(int error) {
  if (error == ETIMEDOUT) PostNotice(kNoticeConnectTimedOut);
  if (error == ECONNREFUSED) PostNotice(kNoticeConnectRefused);
  if (m_observer) m_observer->OnConnectFailed(error);
  SetState(SessionState::kIdle);
}

void DvrSession::Thread_Connect() {
  pthread_setname_np(pthread_self(), "orva-connect");
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    int error = errno;
    Trace("socket error : %d\n", error);
    PostNotice(kNoticeSocketFailed);
    if (m_observer) m_observer->OnConnectFailed(error);
    SetState(SessionState::kIdle);
    return;
  }
  detail::EnableKeepAlive(fd, m_timing.keepAliveIdleSeconds, m_timing.keepAliveIntervalSeconds);

  sockaddr_in address{};
  int error = detail::ResolveIPv4(m_address, m_port, address);
  if (error == 0) error = detail::ConnectWithin(fd, address, m_timing.connectTimeout, m_bCancelConnect);
  if (error != 0) {
    ::close(fd);
    Trace("connect error : %d\n", error);
    if (error != ECANCELED) WriteLogon(LogonKind::kFailed);
    FinishConnectFailure(error);
    return;
  }

  const auto hello = BuildHello(User(), LoginPassword());
  m_socket.Attach(fd);
  SetState(SessionState::kGreeting);
  {
    std::lock_guard lock(m_threadLock);
    m_bRecvRunning = true;
    m_recvThread = std::thread([this] { Thread_Connecting(); });
  }
  Send(msg::HELLO, hello);
  Trace("Send... HELLO\n");
}

// ---------------------------------------------------------------- receive loop

void DvrSession::Thread_Connecting() {
  pthread_setname_np(pthread_self(), "orva-recv");
  Trace("Thread_Connecting...Start...\n");
  m_bStopRequest = false;
  const int fd = m_socket.ReadFd();
  const int pollMs = static_cast<int>(m_timing.pollInterval.count());

  while (!m_bStopRequest.load()) {
    // Try the next header straight away; wait (at most one poll interval,
    // so that the stop request is seen) only when nothing is pending.
    uint8_t raw[kHeaderSize];
    const ssize_t n = ::recv(fd, raw, sizeof raw, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, pollMs) < 0 && errno != EINTR) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // Zero bytes from a readable socket, or a socket error, is the peer's
    // close. Bytes still pending were read first, so a goodbye sent just
    // before closing is not lost.
    if (n <= 0) {
      Trace("FD_CLOSE...\n");
      m_socket.ShutdownSend();
      break;
    }
    if (n < static_cast<ssize_t>(kHeaderSize) &&
        !RecvExact(fd, std::span<uint8_t>(raw + n, kHeaderSize - static_cast<size_t>(n)), m_timing.recvLimit)) {
      Trace("FD_READ... LoopReceive error...\n");
      break;
    }
    const MessageHeader header = DecodeHeader(raw);
    FollowAudioFlag(header);
    if (!Dispatch(header)) break;
  }

  // Stopped by Close: the socket stays open so that the goodbye still goes
  // out and Close shuts it after its grace period. Any other end (peer
  // closed, read error, handler refused) closes it here.
  if (!m_bStopRequest.load()) m_socket.ShutdownAndClose();
  m_bStopRequest = true;
  if (m_bAudioIndicator.exchange(false) && m_observer) m_observer->OnAudioIndicator(false);
  PostNotice(kNoticeConnectionClosed);
  Trace("Thread_Connecting... Close...\n");
  m_bRecvRunning = false;  // last act: Close waits for this
}

bool DvrSession::Dispatch(const MessageHeader& header) {
  const uint16_t code = header.Code();
  if (const Handler& handler = m_handlers[code]) return handler(*this, header);
  const char* name = msg::Name(code, msg::Direction::kRecorderToClient);
  Trace("Recv...%s(%d)... read past %d bytes\n", name ? name : "unknown", code, header.length);
  return Discard(header);
}

void DvrSession::FollowAudioFlag(const MessageHeader& header) {
  // Without the lock a concurrent StopLive could slip in between the check
  // of the live flag and the player's start: the player would be started
  // after the stop had released it, and the indicator would stay on.
  std::lock_guard lock(m_audioLock);
  const bool flag = header.AudioFlag();
  const bool live = m_bLiveActive.load();
  if (flag == m_bAudioState.load() || !(live || m_bPlaybackActive.load())) return;
  m_bAudioState = flag;
  if (flag) {
    if (m_audio) m_audio->StartAudio(live);
    m_bAudioIndicator = true;
  } else {
    if (m_audio) m_audio->StopAudio();
    m_bAudioIndicator = false;
  }
  if (m_observer) m_observer->OnAudioIndicator(flag);
}

void DvrSession::EndAudio(const std::function<void()>& release) {
  bool wasOn = false;
  {
    std::lock_guard lock(m_audioLock);
    if (release) release();
    m_bAudioState = false;
    wasOn = m_bAudioIndicator.exchange(false);
  }
  if (wasOn && m_observer) m_observer->OnAudioIndicator(false);
}

// ---------------------------------------------------------------- handshake

void DvrSession::TraceIdentity(const RecorderIdentity& id) const {
  if (!TraceEnabled()) return;
  Trace("protocol_major_ver : %d\n", id.protocolMajor);
  Trace("protocol_minor_ver : %d\n", id.protocolMinor);
  Trace("product_number : %d\n", id.productNumber);
  Trace("product_major_ver : %d\n", id.productMajor);
  Trace("product_minor_ver : %d\n", id.productMinor);
  Trace("front_ver : %d\n", id.frontVersion);
  Trace("channel_num : %d\n", id.channelNum);
  Trace("account : %d\n", id.account);
  Trace("Mac Address : %02x-%02x-%02x-%02x-%02x-%02x\n", id.mac[0], id.mac[1], id.mac[2], id.mac[3], id.mac[4],
        id.mac[5]);
  for (int i = 0; i < kFirmwareComponents; ++i) {
    Trace("FirmName[%d] : %s\t", i, id.firmName[i].data());
    Trace("FirmVer[%d] : %d\t", i, static_cast<int>(id.firmVer[i]));
    if (id.firmVer[i] != 0) {
      time_t t = static_cast<time_t>(id.firmVer[i]);
      tm local{};
      localtime_r(&t, &local);
      Trace("%d:%d:%d %d:%d:%d\n", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
            local.tm_min, local.tm_sec);
    } else {
      Trace("\n");
    }
  }
  Trace("%s", FamilyLabel(id.productNumber));
}

bool DvrSession::RecvFn_Hello48Ack(const MessageHeader& header) {
  Trace("Recv...HELLO48_ACK...\n");
  m_bConnected = true;
  std::vector<uint8_t> payload;
  if (header.length != 0 && !ReadPayload(header, payload)) return false;

  RecorderIdentity id = Identity();
  if (payload.size() == kIdentitySize) {
    ParseIdentity(payload, id);
    TraceIdentity(id);
  } else {
    Trace("hello size : %d, Payload size : %d\n", static_cast<int>(kIdentitySize), header.length);
  }

  if (ProductFamily(id.productNumber) != kAcceptedFamily) {
    PostNotice(kNoticeWrongFamily);
    return false;
  }
  Trace("m_hello.channel_num : %d\n", id.channelNum);
  id.channelNum = NormaliseChannelCount(id.channelNum);
  {
    std::lock_guard lock(m_identityLock);
    m_identity = id;
  }
  m_nChannels = id.channelNum;
  m_bVersionFlag = orva::VersionFlag(id.productMajor, id.productMinor);
  SetState(SessionState::kReady);

  if (m_liveStarter) {
    m_liveStarter(*this);
  } else {
    uint8_t mask[4];
    StoreBE32(mask, 0x0000FFFF);
    Send(msg::LIVE_REQ, mask);
    Trace("Send... LIVE_REQ...\n");
  }
  WriteLogon(LogonKind::kAccepted);
  if (m_observer) m_observer->OnIdentity(id);
  return true;
}

bool DvrSession::RecvFn_Bye48(const MessageHeader& header) {
  m_bConnected = false;
  const int32_t result = ReadResultCode(header);
  Notice notice;
  if (NoticeForByeResult(result, notice)) {
    Trace("Recv...BYE48... %d\n", result);
    PostNotice(notice);
  } else {
    Trace("RecvFn_Bye48... %d\n", result);
  }
  WriteLogon(LogonKind::kFailed);
  // The recorder closes the connection itself; keep reading until it does,
  // unless the payload could not be read (the stream is no longer aligned).
  return result != kResultReadFailed;
}

// ---------------------------------------------------------------- close

void DvrSession::RunCloseStage(CloseStage stage) {
  for (CloseParticipant* participant : m_closeParticipants) participant->OnCloseStage(stage);
}

void DvrSession::Close() {
  {
    std::lock_guard lock(m_threadLock);
    if (m_recvThread.joinable() && m_recvThread.get_id() == std::this_thread::get_id()) {
      // Cannot wait for ourselves: ask the loop to end and let the owner close.
      m_bStopRequest = true;
      return;
    }
  }
  if (m_bCloseStarted.exchange(true)) return;
  if (!m_bOpened.load()) {
    SetState(SessionState::kIdle);
    return;
  }
  SetState(SessionState::kClosing);
  RunCloseStage(CloseStage::kBegin);

  // A connect still in progress gives up within one poll interval.
  m_bCancelConnect = true;
  if (m_connectThread.joinable()) m_connectThread.join();

  if (m_bLiveActive.exchange(false)) {
    Send(msg::LIVE_STOP);
    Trace("Send...LIVE_STOP\n");
    RunCloseStage(CloseStage::kStreamStopped);
  } else if (m_bPlaybackActive.exchange(false)) {
    Send(msg::RPLAY_STOP);
    Trace("Send...RPLAY_STOP...\n");
    RunCloseStage(CloseStage::kStreamStopped);
  } else if (m_bTransferActive.exchange(false)) {
    Send(msg::TRANS_OFF_REQ);
    Trace("Send...TRANS_OFF_REQ...\n");
    RunCloseStage(CloseStage::kStreamStopped);
    RunCloseStage(CloseStage::kReleaseDownloadWriter);
  }
  RunCloseStage(CloseStage::kCloseSearchAndSetup);
  RunCloseStage(CloseStage::kResetVideo);
  m_bStopRequest = true;
  RunCloseStage(CloseStage::kReleaseData);

  const bool socketWasOpen = m_socket.IsOpen();
  Send(msg::BYE48);
  Trace("Send...BYE48...\n");

  // Give the recorder time to read the goodbye before the socket closes.
  if (socketWasOpen) std::this_thread::sleep_for(m_timing.closeGrace);
  while (m_bRecvRunning.load()) {
    m_bStopRequest = true;
    std::this_thread::sleep_for(m_timing.pollInterval);
  }
  {
    std::lock_guard lock(m_threadLock);
    if (m_recvThread.joinable()) m_recvThread.join();
  }
  m_socket.ShutdownAndClose();
  RunCloseStage(CloseStage::kCloseRemaining);
  if (m_bConnected.exchange(false)) WriteLogon(LogonKind::kUserClosed);
  SetState(SessionState::kIdle);
}

}  // namespace orva
