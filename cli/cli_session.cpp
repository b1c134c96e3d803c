#include "cli_session.h"

#include <cstdio>
#include <cstring>

namespace orva::cli {
namespace {

bool IsRefusal(Notice n) { return n.category == 3 || n == kNoticeNotPermitted || n == kNoticeWrongFamily; }

}  // namespace

CliSession::CliSession(const Options& options, SessionTiming timing) : m_options(options), m_rights(static_cast<RightsObserver*>(this)) {
  if (!options.location.empty()) m_log = std::make_unique<LocalLog>(options.location);
  ConnectParams params;
  params.address = options.host;
  params.port = static_cast<uint16_t>(options.port);
  params.user = options.user;
  params.password = options.password;
  timing.connectTimeout =
      std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000.0));
  m_session = std::make_unique<DvrSession>(std::move(params), static_cast<SessionObserver*>(this), m_log.get(), timing);
  m_rights.Attach(*m_session);
}

CliSession::~CliSession() { Close(); }

void CliSession::Close() {
  if (m_session) m_session->Close();
}

std::string CliSession::AddressText() const { return m_options.host + ":" + std::to_string(m_options.port); }

void CliSession::OnNotice(Notice notice) {
  std::lock_guard lock(m_lock);
  m_notices.push_back(notice);
  m_changed.notify_all();
}

void CliSession::OnIdentity(const RecorderIdentity&) {
  std::lock_guard lock(m_lock);
  m_identity = true;
  m_changed.notify_all();
}

void CliSession::OnConnectFailed(int error) {
  std::lock_guard lock(m_lock);
  m_connectFailed = true;
  m_connectError = error;
  m_changed.notify_all();
}

void CliSession::OnRightsChanged(const RightsSnapshot&, const RightsActions&) {
  std::lock_guard lock(m_lock);
  m_rightsSeen = true;
  m_changed.notify_all();
}

void CliSession::OnCamerasChanged(const CameraSnapshot&) {
  std::lock_guard lock(m_lock);
  m_camerasSeen = true;
  m_changed.notify_all();
}

bool CliSession::RefusalLocked(Notice& out) const {
  for (Notice n : m_notices)
    if (IsRefusal(n)) {
      out = n;
      return true;
    }
  return false;
}

int CliSession::Login(std::string& error) {
  m_session->Open();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(m_options.timeoutSeconds * 1000));
  std::unique_lock lock(m_lock);
  for (;;) {
    Notice refusal;
    if (RefusalLocked(refusal)) {
      error = FormatNotice(refusal);
      return kExitRefused;
    }
    if (m_identity) return kExitOk;
    if (m_connectFailed) {
      error = "cannot connect to " + AddressText() + ": " + std::strerror(m_connectError);
      return m_connectError == ETIMEDOUT ? kExitTimeout : kExitConnect;
    }
    for (Notice n : m_notices)
      if (n == kNoticeConnectionClosed) {
        error = "the recorder at " + AddressText() + " closed the connection without answering";
        return kExitConnect;
      }
    if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (RefusalLocked(refusal) || m_identity || m_connectFailed) continue;
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", m_options.timeoutSeconds);
      error = "no answer from " + AddressText() + " within " + seconds + " seconds";
      return kExitTimeout;
    }
  }
}

int CliSession::WaitForAnnouncements(std::chrono::milliseconds wait, std::string& error) {
  std::unique_lock lock(m_lock);
  m_changed.wait_for(lock, wait, [&] {
    Notice n;
    return (m_rightsSeen && m_camerasSeen) || RefusalLocked(n);
  });
  Notice refusal;
  if (RefusalLocked(refusal)) {
    error = FormatNotice(refusal);
    return kExitRefused;
  }
  return kExitOk;
}

}  // namespace orva::cli
