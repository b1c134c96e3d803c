// One client's conversation with the simulated recorder: reads every message,
// records it, and dispatches it by code to the recorder-side handler. Live
// streaming runs on a thread of its own (LiveStreamer); every send of the
// session goes through the one SendLink lock.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive.h"
#include "firmware_store.h"
#include "live_streamer.h"
#include "playback_streamer.h"
#include "recorder_log.h"
#include "orva/sim/config.h"
#include "orva/sim/simulator.h"
#include "orva/sim/wire.h"
#include "send_link.h"
#include "setup_store.h"
#include "socket_io.h"
#include "transfer_streamer.h"

namespace orva::sim::detail {

// Time the client gets to read a last answer (BYE48, REBOOT_ACK) before it
// sees the connection close.
extern const std::chrono::milliseconds kByeGrace;

struct SessionContext {
  const SimConfig& config;
  const std::atomic<bool>& stop;
  std::function<void(ReceivedMessage)> record;  // thread-safe sink of received messages
  std::string peer;                             // "address:port" for the trace
  StreamCounters* counters = nullptr;           // frames sent; shared by all sessions
  std::atomic<bool>* recording = nullptr;       // the recorder's recording state
  PtzCameras* ptz = nullptr;                    // the steerable cameras
  const Archive* archive = nullptr;             // the recordings
  RecorderLog* log = nullptr;                   // the recorder's log
  FirmwareStore* firmware = nullptr;            // the components it runs and has taken
  SetupStore* setup = nullptr;                  // the setup database
};

// Writes the installed build times into a HELLO48_ACK payload.
void PatchFirmwareBuilds(std::vector<uint8_t>& identity, const std::vector<FirmwareComponent>& installed);

class ClientSession {
 public:
  ClientSession(int fd, SessionContext context);
  ~ClientSession();
  ClientSession(const ClientSession&) = delete;
  ClientSession& operator=(const ClientSession&) = delete;
  // Serves the client until it or the simulator ends the session. The caller
  // closes the socket afterwards.
  void Run();

 private:
  // A handler returns false to end the session.
  using Handler = bool (ClientSession::*)(const ReceivedMessage&);

  enum class Phase {
    kGreeting,  // waiting for HELLO
    kReady,     // logged in
    kSilent,    // fault: HELLO read, nothing is ever answered
  };

  bool OnHello(const ReceivedMessage& message);
  bool OnBye(const ReceivedMessage& message);
  // Live and audio (session_live.cpp).
  bool OnLiveReq(const ReceivedMessage& message);
  bool OnLiveStop(const ReceivedMessage& message);
  bool OnAudioOnOff(const ReceivedMessage& message);
  // Device control (session_device.cpp).
  bool OnRecOn(const ReceivedMessage& message);
  bool OnRecOff(const ReceivedMessage& message);
  bool OnListen(const ReceivedMessage& message);
  bool OnReboot(const ReceivedMessage& message);
  bool OnPowerOff(const ReceivedMessage& message);
  // Firmware upgrade (session_firmware.cpp).
  bool OnFwUpdate(const ReceivedMessage& message);
  bool OnFwData(const ReceivedMessage& message);
  bool OnDvrTime(const ReceivedMessage& message);
  // PTZ (session_ptz.cpp).
  bool OnPtzChannel(const ReceivedMessage& message);
  bool OnPtzMove(const ReceivedMessage& message);
  bool OnPtzStop(const ReceivedMessage& message);
  // Recording search (session_search.cpp).
  bool OnMonthReq(const ReceivedMessage& message);
  bool OnDayReq(const ReceivedMessage& message);
  bool OnEventReq(const ReceivedMessage& message);
  bool OnEventPageReq(const ReceivedMessage& message);
  // A reply block in fragments of the configured search fragment size.
  bool SendFragmented(uint16_t code, const std::vector<uint8_t>& block);
  // Log and status (session_info.cpp).
  bool OnLogInfo(const ReceivedMessage& message);
  bool OnStatusInfo(const ReceivedMessage& message);
  // Setup database and test mail (session_setup.cpp).
  bool OnDbInfo(const ReceivedMessage& message);
  bool OnDbUpdate(const ReceivedMessage& message);
  bool OnDbInit(const ReceivedMessage& message);
  bool OnTestMail(const ReceivedMessage& message);
  bool HasSetupRight() const;  // of the logged-in user in the stored user table
  // Logs the change and sends the notices it brings: DB_CHANGE(_UNICODE),
  // RIGHT_CHANGE.
  bool SendSetupChanges(const SetupChanges& changes, uint32_t kind);
  bool SendSystemTables();     // SYS_ETC_INFO and SYS_ETC_INFO_EX after the login
  // Remote playback (session_playback.cpp).
  bool OnPlayOn(const ReceivedMessage& message);
  bool OnPlayStop(const ReceivedMessage& message);
  bool OnPlayCredit(const ReceivedMessage& message);
  bool OnPlayMotion(const ReceivedMessage& message);  // forward, backward, pause, steps
  bool OnStepChannels(const ReceivedMessage& message);
  PlaybackStreamer& PlaybackLocked();  // created on first use, link lock held
  // Backup download (session_transfer.cpp).
  bool OnTransOn(const ReceivedMessage& message);
  bool OnCapaCancel(const ReceivedMessage& message);
  bool OnTransData(const ReceivedMessage& message);
  bool OnTransOff(const ReceivedMessage& message);
  TransferStreamer& TransferLocked();  // created on first use, link lock held

  // Answers with `ack`, then closes after a short grace (reboot, power-off).
  bool AckAndClose(uint16_t ack);
  void StopStreaming();  // ends the streaming thread (without the lock)
  void LogLogout();      // once per logged-in session

  // Login check; returns the slot or -1 with the BYE48 result to send.
  int FindSlot(const std::vector<uint8_t>& hello, int32_t& refusal) const;
  bool SendLoginAnswer(int slot);
  bool Send(uint16_t code, const std::vector<uint8_t>& payload);
  bool SendLocked(uint16_t code, const std::vector<uint8_t>& payload);  // link lock held
  // Ends with BYE48: grace period first so the client reads the result
  // before it sees the connection close.
  bool Refuse(int32_t result);

  IoResult ReadMessage(ReceivedMessage& message, Clock::time_point hardDeadline);
  // Keeps reading and recording (without answering) until the deadline or
  // until the client closes.
  void Drain(std::chrono::milliseconds duration);
  void Trace(const std::string& line) const;

  SocketIo io_;
  SessionContext context_;
  SendLink link_;
  StreamCounters ownCounters_;  // used when the context brings none
  std::atomic<bool> ownRecording_{false};
  std::unique_ptr<PtzCameras> ownPtz_;  // used when the context brings none
  int ptzChannel_ = -1;                 // selected by PTZ_CHANNEL_REQ
  std::unique_ptr<LiveStreamer> streamer_;
  std::unique_ptr<Archive> ownArchive_;  // used when the context brings none
  std::unique_ptr<RecorderLog> ownLog_;  // used when the context brings none
  std::unique_ptr<SetupStore> ownSetup_; // used when the context brings none
  std::unique_ptr<FirmwareStore> ownFirmware_;  // used when the context brings none
  std::optional<FirmwareAnnouncement> fwAnnounced_;  // the component whose image is arriving
  std::vector<uint8_t> fwImage_;                     // its fragments so far
  std::string userName_;                 // the logged-in user, for the log
  bool loggedOut_ = false;               // the logout is in the log already
  std::unique_ptr<PlaybackStreamer> playback_;
  std::unique_ptr<TransferStreamer> transfer_;
  std::unordered_map<uint16_t, Handler> handlers_;
  Phase phase_ = Phase::kGreeting;
  bool closeGracefully_ = false;  // set when the recorder side decides to end the session
};

}  // namespace orva::sim::detail
