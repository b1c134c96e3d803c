// DvrSession: the client's one connection to one recorder.
//
// Threads and contracts
// - Configure (SetHandler, SetAudioSwitch, AddCloseParticipant,
//   SetLiveStarter) before Open; the tables are not locked afterwards.
// - Open() and Close() are called from the owner's thread (the UI thread in
//   the desktop client). Open returns at once; Close runs the close sequence
//   and returns when both network threads have ended and the socket is
//   closed. A second Close does nothing. Close must not be called from a
//   handler or an observer callback (they run on the receive thread).
// - The connect thread (Thread_Connect) opens the TCP connection, starts the
//   receive thread and sends HELLO, then ends.
// - The receive thread (Thread_Connecting) reads every message and runs its
//   handler. Handlers and observer callbacks run there and must not block on
//   the user interface: they record, queue and post.
// - Send() may be called from any thread; messages never interleave.
// - The state flags are atomics and may be read from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "orva/link/identity.h"
#include "orva/link/logon_journal.h"
#include "orva/link/notices.h"
#include "orva/link/reassembly.h"
#include "orva/link/wire.h"

namespace orva {

enum class SessionState { kIdle, kConnecting, kGreeting, kReady, kClosing };
const char* StateName(SessionState state);

struct ConnectParams {
  std::string address;  // dotted IPv4 address or host name
  uint16_t port = 2000;
  std::string user;
  std::string password;
  std::string site;  // free text kept with the connection
};

struct SessionTiming {
  std::chrono::milliseconds recvLimit{20000};       // one header or payload read, as a whole
  std::chrono::milliseconds connectTimeout{20000};  // TCP connect
  std::chrono::milliseconds closeGrace{1000};       // after BYE48, before the socket closes
  std::chrono::milliseconds pollInterval{100};      // how often the loop tests the stop request
  int keepAliveIdleSeconds = 3;
  int keepAliveIntervalSeconds = 2;
};

// Reports from the connection. Called on the connect thread, the receive
// thread, or (state changes of Close) the thread that runs Close.
// Implementations only record and post.
class SessionObserver {
 public:
  virtual ~SessionObserver() = default;
  virtual void OnNotice(Notice notice) { (void)notice; }
  virtual void OnStateChanged(SessionState state) { (void)state; }
  // The recorder accepted the login; the identity is complete and normalised.
  virtual void OnIdentity(const RecorderIdentity& identity) { (void)identity; }
  // Every failed connect attempt, with its errno (notices cover only some).
  virtual void OnConnectFailed(int error) { (void)error; }
  virtual void OnAudioIndicator(bool on) { (void)on; }
};

// Seam for the audio player, which follows the audio flag of the recorder's
// headers. Called on the receive thread.
class AudioSwitch {
 public:
  virtual ~AudioSwitch() = default;
  // live: use the live prebuffer depth, else the remote-playback depth.
  virtual void StartAudio(bool live) = 0;
  virtual void StopAudio() = 0;
};

// Steps of the close sequence that belong to other parts of the client.
// Called on the thread that runs Close, in this order.
enum class CloseStage {
  kBegin,                  // repaint the connect button
  kStreamStopped,          // the running stream's stop message has gone out
  kReleaseDownloadWriter,  // only when a transfer was running
  kCloseSearchAndSetup,    // search and remote setup windows
  kResetVideo,             // reset the main video window
  kReleaseData,            // data blocks attached to the connection
  kCloseRemaining,         // the other dependent windows, after the socket closed
};

class CloseParticipant {
 public:
  virtual ~CloseParticipant() = default;
  virtual void OnCloseStage(CloseStage stage) = 0;
};

class DvrSession {
 public:
  // Handlers read exactly the payload the header announces and return false
  // only to end the connection (a failed read).
  using Handler = std::function<bool(DvrSession&, const MessageHeader&)>;

  DvrSession(ConnectParams params, SessionObserver* observer, LogonJournal* journal = nullptr,
             SessionTiming timing = {});
  ~DvrSession();
  DvrSession(const DvrSession&) = delete;
  DvrSession& operator=(const DvrSession&) = delete;

  // --- configuration, before Open ---
  // Only codes the recorder sends can be handled; false otherwise.
  bool SetHandler(uint16_t code, Handler handler);
  void SetAudioSwitch(AudioSwitch* audio) { m_audio = audio; }
  void AddCloseParticipant(CloseParticipant* participant) { m_closeParticipants.push_back(participant); }
  // What the handshake does to start live view; by default LIVE_REQ for all channels.
  void SetLiveStarter(std::function<void(DvrSession&)> starter) { m_liveStarter = std::move(starter); }

  // --- lifecycle ---
  void Open();
  void Close();

  // --- for handlers (receive thread) ---
  bool ReadPayload(const MessageHeader& header, std::vector<uint8_t>& out);
  int32_t ReadResultCode(const MessageHeader& header, uint8_t* extra = nullptr);
  bool Discard(const MessageHeader& header);
  FrameReassembly& Reassembly() { return m_reassembly; }
  int ReadFd() const { return m_socket.ReadFd(); }
  std::chrono::milliseconds RecvLimit() const { return m_timing.recvLimit; }

  // --- any thread ---
  // False when the message did not go out whole (a payload over 65,535
  // bytes is refused, as one message cannot carry it).
  bool Send(uint16_t code, std::span<const uint8_t> payload = {}, bool audioFlag = false);
  // The same with stream flags in the header (fragment uploads).
  bool SendWithFlags(uint16_t code, uint16_t streamFlags, std::span<const uint8_t> payload);
  void PostNotice(Notice notice);
  SessionObserver* Observer() const { return m_observer; }
  LogonJournal* Journal() const { return m_journal; }

  SessionState State() const { return m_state.load(); }
  bool Connected() const { return m_bConnected.load(); }
  void SetConnected(bool on) { m_bConnected = on; }
  bool LiveActive() const { return m_bLiveActive.load(); }
  void SetLiveActive(bool on) { m_bLiveActive = on; }
  bool PlaybackActive() const { return m_bPlaybackActive.load(); }
  void SetPlaybackActive(bool on) { m_bPlaybackActive = on; }
  bool TransferActive() const { return m_bTransferActive.load(); }
  void SetTransferActive(bool on) { m_bTransferActive = on; }
  bool AudioState() const { return m_bAudioState.load(); }
  void SetAudioState(bool on) { m_bAudioState = on; }
  bool AudioIndicator() const { return m_bAudioIndicator.load(); }
  // A stream's sound ends with the stream (live stop, playback stop). The
  // caller first clears its stream flag, then this runs `release` (which
  // takes the audio player away) and clears the audio state and indicator,
  // all under the lock that following the audio flag holds: a header being
  // followed on the receive thread either started its player before (and
  // `release` takes it) or sees the stream already ended.
  void EndAudio(const std::function<void()>& release);
  bool StopRequested() const { return m_bStopRequest.load(); }
  bool ReceiveThreadRunning() const { return m_bRecvRunning.load(); }

  // Identity and derived values; valid once OnIdentity has been reported.
  RecorderIdentity Identity() const;
  int ChannelCount() const { return m_nChannels.load(); }
  bool VersionFlag() const { return m_bVersionFlag.load(); }

  const std::string& Address() const { return m_address; }
  uint16_t Port() const { return m_port; }
  const std::string& Site() const { return m_site; }
  std::string User() const;
  // The password the connection logged in with (or its replacement).
  std::string LoginPassword() const;
  // Replaces the stored password as a whole (never a mix of old and new bytes).
  void ReplaceLoginPassword(std::string_view password);

 private:
  void Thread_Connect();
  void Thread_Connecting();
  void FinishConnectFailure(int error);
  void FollowAudioFlag(const MessageHeader& header);
  bool SendMessage(MessageHeader header, std::span<const uint8_t> payload);
  bool Dispatch(const MessageHeader& header);
  bool RecvFn_Hello48Ack(const MessageHeader& header);
  bool RecvFn_Bye48(const MessageHeader& header);
  void TraceIdentity(const RecorderIdentity& id) const;
  void SetState(SessionState state);
  void RunCloseStage(CloseStage stage);
  void WriteLogon(LogonKind kind);

  // Immutable after construction.
  const std::string m_address;
  const uint16_t m_port;
  const std::string m_site;
  const SessionTiming m_timing;
  SessionObserver* const m_observer;
  LogonJournal* const m_journal;

  // Configuration: written before Open, read by the receive thread.
  std::array<Handler, 512> m_handlers;
  AudioSwitch* m_audio = nullptr;
  std::vector<CloseParticipant*> m_closeParticipants;
  std::function<void(DvrSession&)> m_liveStarter;

  // Guarded by m_credentialsLock.
  mutable std::mutex m_credentialsLock;
  std::string m_user;
  std::string m_password;

  // Guarded by m_identityLock; written once on the receive thread.
  mutable std::mutex m_identityLock;
  RecorderIdentity m_identity;

  // Shared flags.
  std::atomic<SessionState> m_state{SessionState::kIdle};
  std::atomic<bool> m_bStopRequest{true};
  std::atomic<bool> m_bRecvRunning{false};
  std::atomic<bool> m_bCancelConnect{false};
  std::atomic<bool> m_bConnected{false};
  std::atomic<bool> m_bLiveActive{false};
  std::atomic<bool> m_bPlaybackActive{false};
  std::atomic<bool> m_bTransferActive{false};
  std::atomic<bool> m_bAudioState{false};
  std::atomic<bool> m_bAudioIndicator{false};
  // Held while the audio flag is followed (check, player start or stop,
  // indicator) and by EndAudio, so that neither sees half of the other.
  std::mutex m_audioLock;
  std::atomic<bool> m_bVersionFlag{false};
  std::atomic<int> m_nChannels{16};
  std::atomic<bool> m_bOpened{false};
  std::atomic<bool> m_bCloseStarted{false};

  // Receive thread only.
  FrameReassembly m_reassembly;

  PacketSocket m_socket;
  std::thread m_connectThread;
  std::thread m_recvThread;  // started by the connect thread, joined by Close
  std::mutex m_threadLock;   // guards starting m_recvThread against joining it
};

// A handler that calls a member of `self` (a controller's RecvFn_...).
template <typename T>
DvrSession::Handler BindHandler(T* self, bool (T::*fn)(DvrSession&, const MessageHeader&)) {
  return [self, fn](DvrSession& session, const MessageHeader& header) { return (self->*fn)(session, header); };
}

}  // namespace orva
