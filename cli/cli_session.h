// A logged-in connection for one orvactl command: opens the session, waits
// for the recorder's answer and turns what happened into an exit code.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "options.h"
#include "orva/link/dvr_session.h"
#include "orva/recordings/local_log.h"
#include "orva/setup/rights_monitor.h"

namespace orva::cli {

class CliSession : private SessionObserver, private RightsObserver {
 public:
  explicit CliSession(const Options& options, SessionTiming timing = {});
  ~CliSession() override;

  // Connects and waits until the recorder accepts the login. Returns
  // kExitOk, or the exit code with a one-line message in `error`.
  int Login(std::string& error);
  // After Login: waits up to `wait` for the user table and the camera names.
  // Returns kExitOk, or kExitRefused when the rights withdrew access.
  int WaitForAnnouncements(std::chrono::milliseconds wait, std::string& error);
  void Close();

  DvrSession& Session() { return *m_session; }
  RightsMonitor& Rights() { return m_rights; }
  std::string AddressText() const;

 private:
  void OnNotice(Notice notice) override;
  void OnIdentity(const RecorderIdentity& identity) override;
  void OnConnectFailed(int error) override;
  void OnRightsChanged(const RightsSnapshot& rights, const RightsActions& actions) override;
  void OnCamerasChanged(const CameraSnapshot& cameras) override;
  // A refusal among the notices seen so far, or false.
  bool RefusalLocked(Notice& out) const;

  const Options m_options;
  std::unique_ptr<LocalLog> m_log;
  RightsMonitor m_rights;
  std::unique_ptr<DvrSession> m_session;

  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Notice> m_notices;
  bool m_identity = false;
  bool m_connectFailed = false;
  int m_connectError = 0;
  bool m_rightsSeen = false;
  bool m_camerasSeen = false;
};

}  // namespace orva::cli
