// The desktop's connection to one recorder: the DvrSession with the rights
// monitor, device control and live view wired to it, exactly as orvactl
// wires them, with every report marshalled onto the GUI thread. The network
// threads only post (queued invocations on this object); they never wait for
// the user interface.
#pragma once

#include <QObject>
#include <memory>

#include "orva/link/device_control.h"
#include "orva/link/dvr_session.h"
#include "orva/link/ptz_control.h"
#include "orva/media/live_controller.h"
#include "orva/setup/rights_monitor.h"

namespace orva::app {
class AppServices;
}

namespace orva::view {

class CVideoView;

class GuiConnection : public QObject, private SessionObserver, private RightsObserver, private DeviceObserver,
                      private PtzObserver {
  Q_OBJECT
 public:
  // The view must outlive the connection (the decoders draw into it).
  GuiConnection(ConnectParams params, app::AppServices& services, CVideoView& view, QObject* parent = nullptr);
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

 signals:
  // All emitted on the GUI thread.
  void noticePosted(int category, int code);
  void stateChanged(int state);
  void identityArrived(int channels);
  void audioIndicatorChanged(bool on);
  void audioChannelsChanged(quint16 mask);
  void recordingChanged(bool recording);
  void rightsChanged();
  void ptzAvailabilityChanged(bool steerable);

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
  // PtzObserver
  void OnPtzAvailability(bool steerable) override;

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
  std::unique_ptr<DvrSession> m_session;  // last: its threads stop before the rest goes
};

}  // namespace orva::view
