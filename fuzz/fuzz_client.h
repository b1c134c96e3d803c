// The client as orvactl wires it (see cli/cli_session.cpp), for the fuzz
// targets and the random-recorder test: a new connection object and new controllers per input, while the
// decoder library and the headless view, which cost a load and 20 MB each,
// live for the whole run. Waits are shortened so that an input takes
// milliseconds; the rules they pace are the same.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "orva/link/device_control.h"
#include "orva/link/dvr_session.h"
#include "orva/link/ptz_control.h"
#include "orva/media/headless_view.h"
#include "orva/media/live_controller.h"
#include "orva/recordings/download.h"
#include "orva/recordings/remote_playback.h"
#include "orva/recordings/search_controller.h"
#include "orva/setup/rights_monitor.h"

namespace orva::fuzz {

class FuzzClient : private RightsObserver {
 public:
  // location: the base folder downloads go to.
  FuzzClient(uint16_t port, const std::string& location, const std::string& password = "fuzz");
  ~FuzzClient() override;

  DvrSession& Session() { return *m_session; }
  RightsMonitor& Rights() { return m_rights; }
  LiveController& Live() { return *m_live; }
  RemotePlayback& Playback() { return *m_playback; }
  SearchController& Search() { return m_search; }
  DownloadController& Download() { return m_download; }

 private:
  void OnRightsChanged(const RightsSnapshot& rights, const RightsActions& actions) override;

  SessionObserver m_observer;  // reports are not looked at
  RightsMonitor m_rights;
  DeviceControl m_device;
  PtzControl m_ptz;
  std::unique_ptr<LiveController> m_live;
  SearchController m_search;
  DownloadController m_download;
  std::unique_ptr<RemotePlayback> m_playback;
  std::unique_ptr<DvrSession> m_session;
};

}  // namespace orva::fuzz
