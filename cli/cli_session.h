// A logged-in connection for one orvactl command: opens the session, waits
// for the recorder's answer and turns what happened into an exit code.
// Every session carries the recording search and the backup download; with live view it also owns
// the decoder library, a headless view, the live controller and remote
// playback, exactly as the desktop client wires them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "options.h"
#include "orva/link/device_control.h"
#include "orva/link/dvr_session.h"
#include "orva/link/firmware.h"
#include "orva/link/ptz_control.h"
#include "orva/media/headless_view.h"
#include "orva/media/live_controller.h"
#include "orva/recordings/download.h"
#include "orva/recordings/local_log.h"
#include "orva/recordings/remote_playback.h"
#include "orva/recordings/search_controller.h"
#include "orva/setup/rights_monitor.h"

namespace orva::cli {

struct LiveOptions {
  uint32_t requestMask = 0x0000FFFF;
  bool rgbPictures = false;          // keep pictures as RGB (for writing them out)
  std::string wavPath;               // non-empty: play sound into this WAV file
  int audioChannel = 0;              // 0-based, shown alone so that its sound plays
};

class CliSession : private SessionObserver, private RightsObserver, private DeviceObserver, private PtzObserver {
 public:
  explicit CliSession(const Options& options, std::optional<LiveOptions> live = std::nullopt,
                      SessionTiming timing = {});
  ~CliSession() override;

  // Connects and waits until the recorder accepts the login. Returns
  // kExitOk, or the exit code with a one-line message in `error`.
  int Login(std::string& error);
  // After Login: waits up to `wait` for the user table and the camera names.
  int WaitForAnnouncements(std::chrono::milliseconds wait, std::string& error);
  // Waits up to `wait` for `done`, a refusal or the end of the connection.
  // kExitOk when done, kExitRefused / kExitConnect / kExitTimeout otherwise.
  int WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds wait, std::string& error);
  // Like WaitUntil with a condition that never holds: kExitOk when the time
  // passed without refusal or loss.
  int Run(std::chrono::milliseconds duration, std::string& error);
  void Close();

  DvrSession& Session() { return *m_session; }
  RightsMonitor& Rights() { return m_rights; }
  DeviceControl& Device() { return m_device; }
  PtzControl& Ptz() { return m_ptz; }
  FirmwareUpgrade& Firmware() { return m_firmware; }
  LiveController* Live() { return m_live.get(); }
  SearchController& Search() { return m_search; }
  DownloadController& Download() { return m_download; }
  RemotePlayback* Playback() { return m_playback.get(); }
  HeadlessView* View() { return m_view.get(); }
  const H264Library& Library() const { return m_library; }
  std::string AddressText() const;

  // What the recorder answered to device requests (guarded by the lock).
  std::optional<bool> RecordingAnswer() const;
  std::optional<uint32_t> DvrTime() const;
  bool RebootAccepted() const;
  // The first refusal among the notices so far.
  std::optional<Notice> Refusal() const;
  // PTZ_CHANNEL_ACK: unknown until it arrives.
  std::optional<bool> PtzSteerable() const;
  // The receive loop has ended (the recorder closed or the link broke).
  bool ConnectionLost() const;

 private:
  void OnNotice(Notice notice) override;
  void OnIdentity(const RecorderIdentity& identity) override;
  void OnConnectFailed(int error) override;
  void OnRightsChanged(const RightsSnapshot& rights, const RightsActions& actions) override;
  void OnCamerasChanged(const CameraSnapshot& cameras) override;
  void OnRecordingChanged(bool recording) override;
  void OnDvrTime(uint32_t wireSeconds) override;
  void OnRebootAccepted() override;
  void OnPtzAvailability(bool steerable) override;
  // A refusal among the notices seen so far, or false.
  bool RefusalLocked(Notice& out) const;
  bool ClosedLocked() const;

  const Options m_options;
  std::unique_ptr<LocalLog> m_log;
  RightsMonitor m_rights;
  DeviceControl m_device;
  PtzControl m_ptz;
  FirmwareUpgrade m_firmware;  // outlives the session, whose close stops its upload

  // Live view (only with LiveOptions).
  H264Library m_library;
  std::mutex m_decodeLock;
  std::unique_ptr<HeadlessView> m_view;
  std::unique_ptr<SoundDevice> m_sound;
  std::unique_ptr<LiveController> m_live;
  SearchController m_search;
  DownloadController m_download;
  std::unique_ptr<RemotePlayback> m_playback;

  std::unique_ptr<DvrSession> m_session;

  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Notice> m_notices;
  bool m_identity = false;
  bool m_connectFailed = false;
  int m_connectError = 0;
  bool m_rightsSeen = false;
  bool m_camerasSeen = false;
  std::optional<bool> m_recording;
  std::optional<uint32_t> m_dvrTime;
  bool m_rebootAccepted = false;
  std::optional<bool> m_ptzSteerable;
};

}  // namespace orva::cli
