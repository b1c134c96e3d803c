// The recorder's short request/answer exchanges outside live view, search,
// playback and setup: recording on and off with the recording state that
// follows, listen, reboot and power-off, the recorder's clock and its
// daylight-saving table.
//
// Attach() before the session opens. Handlers run on the receive thread and
// report through DeviceObserver (record and post only); requests come from
// the owner's (UI) thread. Rights are decided by the caller, which knows the
// user's table; this layer only applies the answer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "orva/link/dvr_session.h"

namespace orva {

inline constexpr size_t kDstTableSize = 1204;

class DeviceObserver {
 public:
  virtual ~DeviceObserver() = default;
  virtual void OnRecordingChanged(bool recording) { (void)recording; }
  virtual void OnListenAnswer(bool accepted) { (void)accepted; }
  virtual void OnDvrTime(uint32_t wireSeconds) { (void)wireSeconds; }
  virtual void OnRebootAccepted() {}
};

enum class RequestOutcome {
  kSent,
  kNotConnected,
  kNotPermitted,   // notice 15/0 has been posted
  kWrongPassword,  // the typed password did not match: nothing sent
  kCancelled,      // no password given
  kSuppressed,     // repeated too soon, or no sound output
};

class DeviceControl {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  explicit DeviceControl(DeviceObserver* observer = nullptr, Clock clock = std::chrono::steady_clock::now);

  void Attach(DvrSession& session);

  // Record toggle: REC_ON_REQ when not recording; otherwise, with the right
  // to stop recording, asks for the password and sends REC_OFF_REQ when it
  // equals the connection's password byte for byte.
  RequestOutcome ToggleRecording(bool mayStopRecording,
                                 const std::function<std::optional<std::string>()>& askPassword);
  // The two halves of the toggle, for callers that know what they want.
  RequestOutcome RecordOn();
  RequestOutcome RecordOff(bool mayStopRecording, const std::function<std::optional<std::string>()>& askPassword);
  // Listen: only for account 0, at most once per two seconds, only with a
  // sound output.
  RequestOutcome Listen(bool haveSoundOutput);
  RequestOutcome Reboot(bool mayReboot);
  RequestOutcome PowerOff();
  RequestOutcome RequestTime();

  bool Recording() const { return m_bRecording.load(); }
  std::optional<std::vector<uint8_t>> DstTable() const;  // first word in host order

  // Handlers, public for tests.
  bool RecvFn_RecAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_RecNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_RecStatus(DvrSession& session, const MessageHeader& header);
  bool RecvFn_ListenNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_RebootNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DvrTimeAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DstInfo(DvrSession& session, const MessageHeader& header);

 private:
  void SetRecording(bool recording);

  DeviceObserver* const m_observer;
  const Clock m_clock;
  DvrSession* m_session = nullptr;
  std::atomic<bool> m_bRecording{false};
  std::optional<std::chrono::steady_clock::time_point> m_lastListen;  // UI thread only

  mutable std::mutex m_dstLock;
  std::optional<std::vector<uint8_t>> m_dst;
};

}  // namespace orva
