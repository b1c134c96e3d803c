// The desktop's connection to one recorder: the DvrSession with the rights
// monitor, device control, live view, the recording search and remote
// playback wired to it, exactly as orvactl wires them, with every report
// marshalled onto the GUI thread. The network
// threads only post (queued invocations on this object); they never wait for
// the user interface.
#pragma once

#include <QObject>
#include <atomic>
#include <memory>
#include <vector>

#include "orva/link/device_control.h"
#include "orva/link/dvr_session.h"
#include "orva/link/firmware.h"
#include "orva/link/ptz_control.h"
#include "orva/media/live_controller.h"
#include "orva/recordings/download.h"
#include "orva/recordings/remote_playback.h"
#include "orva/recordings/search_controller.h"
#include "orva/setup/rights_monitor.h"
#include "orva/setup/setup_exchange.h"

namespace orva::services {
class AppServices;
}

namespace orva::view {

class CVideoView;

class GuiConnection : public QObject, private SessionObserver, private RightsObserver, private DeviceObserver,
                      private PtzObserver, private PlaybackObserver, private DownloadObserver,
                      private SetupObserver, private FirmwareObserver {
  Q_OBJECT
 public:
  // The view must outlive the connection (the decoders draw into it).
  GuiConnection(ConnectParams params, services::AppServices& services, CVideoView& view, QObject* parent = nullptr);
  ~GuiConnection() override;  // runs the close sequence when still open

  void Open();
  // The close sequence; returns when the network threads have ended. Safe to
  // call twice. GUI thread only, never from a network callback.
  void Close();
  bool Closed() const { return m_closed; }

  const ConnectParams& Params() const { return m_params; }
  DvrSession& Session() { return *m_session; }
  RightsMonitor& Rights() { return m_rights; }
  DeviceControl& Device() { return m_device; }
  LiveController& Live() { return *m_live; }
  PtzControl& Ptz() { return m_ptz; }
  SearchController& Search() { return m_search; }
  RemotePlayback& Playback() { return *m_playback; }
  DownloadController& Download() { return *m_download; }
  SetupExchange& Setup() { return m_setup; }
  FirmwareUpgrade& Firmware() { return m_firmware; }
  // The status page's free-space readings, kept for as long as the
  // connection (GUI thread only).
  std::vector<FreeSpaceSample>& FreeSpaceSamples() { return m_freeSamples; }

 signals:
  // All emitted on the GUI thread.
  void noticePosted(int category, int code);
  void stateChanged(int state);
  void identityArrived(int channels);
  void audioIndicatorChanged(bool on);
  void audioChannelsChanged(quint16 mask);
  void recordingChanged(bool recording);
  void rightsChanged();
  // RIGHT_CHANGE took the setup right away: an open setup window closes
  // without sending anything.
  void setupCloseRequested();
  // RIGHT_CHANGE took the PTZ right away: PTZ control stops (notice 15/0).
  void ptzRightWithdrawn();
  void ptzAvailabilityChanged(bool steerable);
  // What the search window may show after a change of rights (SearchAccess);
  // stopPlayback: remote playback must end.
  void searchAccessChanged(int access, bool stopPlayback);
  // Remote playback.
  void playbackStarted();
  void playbackStopped(bool reopenSearch);
  void playbackButtonLit(int mode);
  void playbackShownTime(quint32 time);  // coalesced: at most one pending
  void playbackSpeedChanged(int speed);
  void playbackRecordingEnd();
  // Backup download.
  void downloadSizeEstimated(quint32 kib, bool fits);
  void downloadStarted(quint32 estimateKiB);
  void downloadProgress(quint64 receivedKiB);  // coalesced: at most one pending
  void downloadEnded(const QString& error);
  // Remote setup: the database is complete; the recorder's clock answer.
  // (setupCloseRequested above also follows DB_INIT_REQ.)
  void setupDatabaseReady();
  void recorderTime(quint32 wireSeconds);
  // Firmware upgrade: a row's state (FirmwareRowState) and progress, the end of a run.
  void firmwareRowChanged(int row, int state, int result);
  void firmwareProgress(int row, int percent);
  void firmwareRunFinished(int successes);

 private:
  // SessionObserver
  void OnNotice(Notice notice) override;
  void OnStateChanged(SessionState state) override;
  void OnIdentity(const RecorderIdentity& identity) override;
  void OnAudioIndicator(bool on) override;
  // RightsObserver
  void OnRightsChanged(const RightsSnapshot& rights, const RightsActions& actions) override;
  void OnCamerasChanged(const CameraSnapshot& cameras) override;
  void OnCovertApplied(const std::array<uint8_t, 16>& covert, bool changed) override;
  // DeviceObserver
  void OnRecordingChanged(bool recording) override;
  void OnDvrTime(uint32_t wireSeconds) override;
  // PtzObserver
  void OnPtzAvailability(bool steerable) override;
  // PlaybackObserver
  void OnPlaybackStarted() override;
  void OnPlaybackStopped(bool reopenSearch) override;
  void OnButtonLit(int mode) override;
  void OnShownTime(uint32_t time) override;
  void OnSpeedChanged(int speed) override;
  void OnAudioChannels(uint16_t mask) override;
  void OnRecordingEnd() override;
  // DownloadObserver
  void OnSizeEstimated(uint32_t kib, bool fits) override;
  void OnDownloadStarted(uint32_t estimateKiB) override;
  void OnProgress(uint64_t receivedKiB) override;
  void OnDownloadEnded(const std::string& error) override;
  // SetupObserver
  void OnDatabaseReady() override;
  void OnCloseSetupWindow() override;
  // FirmwareObserver
  void OnRowChanged(int row, FirmwareRowState state, int32_t result) override;
  void OnUploadProgress(int row, int percent) override;
  void OnRunFinished(int successes) override;

  template <typename F>
  void Post(F&& f) {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
  }

  const ConnectParams m_params;
  CVideoView& m_view;
  bool m_closed = false;
  RightsMonitor m_rights;
  DeviceControl m_device;
  PtzControl m_ptz;
  std::unique_ptr<LiveController> m_live;
  SearchController m_search;
  std::unique_ptr<RemotePlayback> m_playback;
  // Every shown frame reports its time; one queued call carries the newest.
  std::atomic<uint32_t> m_shownTime{0};
  std::atomic<bool> m_shownPosted{false};
  std::unique_ptr<DownloadController> m_download;
  std::atomic<uint64_t> m_received{0};
  std::atomic<bool> m_receivedPosted{false};
  std::vector<FreeSpaceSample> m_freeSamples;
  SetupExchange m_setup;
  FirmwareUpgrade m_firmware;
  std::unique_ptr<DvrSession> m_session;  // last: its threads stop before the rest goes
};

}  // namespace orva::view
