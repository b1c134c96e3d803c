#include "cli_session.h"

#include <cstdio>
#include <cstring>

#include "local_folder.h"
#include "orva/link/trace.h"

namespace orva::cli {
namespace {

// The notices that mean the recorder (or the client for it) said no; 4 is
// "no data" for a search or playback.
bool IsRefusal(Notice n) {
  return n.category == 3 || n.category == 4 || n.category == 5 || n.category == 6 || n.category == 12 || n == kNoticeNotPermitted ||
         n == kNoticeWrongFamily;
}

std::chrono::milliseconds Millis(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
}

DownloadOptions DownloadOptionsFor(const Options& options) {
  DownloadOptions o;
  o.folder = DownloadFolder(options);
  o.freeMiB = [location = BaseLocation(options)] { return FreeMiB(location); };
  return o;
}

}  // namespace

CliSession::CliSession(const Options& options, std::optional<LiveOptions> live, SessionTiming timing)
    : m_options(options),
      m_rights(static_cast<RightsObserver*>(this)),
      m_device(static_cast<DeviceObserver*>(this)),
      m_ptz(static_cast<PtzObserver*>(this)),
      m_download(DownloadOptionsFor(options)) {
  if (!options.location.empty()) m_log = std::make_unique<LocalLog>(options.location);
  ConnectParams params;
  params.address = options.host;
  params.port = static_cast<uint16_t>(options.port);
  params.user = options.user;
  params.password = options.password;
  params.site = options.site;
  timing.connectTimeout = Millis(options.timeoutSeconds);
  m_session = std::make_unique<DvrSession>(std::move(params), static_cast<SessionObserver*>(this), m_log.get(), timing);
  m_rights.Attach(*m_session);
  m_device.Attach(*m_session);
  m_ptz.Attach(*m_session);
  m_firmware.Attach(*m_session);
  m_search.Attach(*m_session);
  m_download.Attach(*m_session);

  if (live) {
    std::string error;
    if (!m_library.Load("", error)) std::fprintf(stderr, "orvactl: %s: no pictures will be decoded\n", error.c_str());
    m_view = std::make_unique<HeadlessView>(live->rgbPictures);
    m_view->ShowSingle(live->wavPath.empty() ? -1 : live->audioChannel);
    if (!live->wavPath.empty()) m_sound = std::make_unique<WavFileSoundDevice>(live->wavPath);
    LiveSettings settings;
    settings.requestMask = live->requestMask;
    settings.dateFormat = options.dateFormat;
    m_live = std::make_unique<LiveController>(m_library, m_decodeLock, *m_view, m_sound.get(), settings);
    // Covert channels stay dark for users without the covert right.
    m_live->SetCovertHidden([this](int ch) { return m_rights.HidesCovert(ch); });
    m_live->Attach(*m_session);
    // Playback shares live view's sound and takes over from it.
    PlaybackHooks hooks;
    hooks.stopLive = [this] { m_live->StopLive(); };
    hooks.restartLive = [this] { m_live->StartLive(); };
    hooks.queueAudio = [this](int ch, std::span<const uint8_t> frame) { return m_live->QueueAudio(ch, frame); };
    hooks.silenceAudio = [this](bool silent) { m_live->SilenceAudio(silent); };
    hooks.drainAndStopAudio = [this] { m_live->DrainAudio(); };
    hooks.audioOn = [this] { return m_session->AudioState(); };
    m_playback = std::make_unique<RemotePlayback>(m_library, m_decodeLock, *m_view, std::move(hooks));
    m_playback->SetDateFormat(options.dateFormat);
    m_playback->Attach(*m_session);
  }
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
  if (m_live) m_live->OnRightsChanged();
  std::lock_guard lock(m_lock);
  m_rightsSeen = true;
  m_changed.notify_all();
}

void CliSession::OnCamerasChanged(const CameraSnapshot&) {
  std::lock_guard lock(m_lock);
  m_camerasSeen = true;
  m_changed.notify_all();
}

void CliSession::OnRecordingChanged(bool recording) {
  std::lock_guard lock(m_lock);
  m_recording = recording;
  m_changed.notify_all();
}

void CliSession::OnDvrTime(uint32_t wireSeconds) {
  std::lock_guard lock(m_lock);
  m_dvrTime = wireSeconds;
  m_changed.notify_all();
}

void CliSession::OnRebootAccepted() {
  std::lock_guard lock(m_lock);
  m_rebootAccepted = true;
  m_changed.notify_all();
}

void CliSession::OnPtzAvailability(bool steerable) {
  std::lock_guard lock(m_lock);
  m_ptzSteerable = steerable;
  m_changed.notify_all();
}

std::optional<bool> CliSession::PtzSteerable() const {
  std::lock_guard lock(m_lock);
  return m_ptzSteerable;
}

bool CliSession::ConnectionLost() const {
  std::lock_guard lock(m_lock);
  return ClosedLocked();
}

std::optional<bool> CliSession::RecordingAnswer() const {
  std::lock_guard lock(m_lock);
  return m_recording;
}

std::optional<uint32_t> CliSession::DvrTime() const {
  std::lock_guard lock(m_lock);
  return m_dvrTime;
}

bool CliSession::RebootAccepted() const {
  std::lock_guard lock(m_lock);
  return m_rebootAccepted;
}

std::optional<Notice> CliSession::Refusal() const {
  std::lock_guard lock(m_lock);
  Notice n;
  if (RefusalLocked(n)) return n;
  return std::nullopt;
}

bool CliSession::RefusalLocked(Notice& out) const {
  for (Notice n : m_notices)
    if (IsRefusal(n)) {
      out = n;
      return true;
    }
  return false;
}

bool CliSession::ClosedLocked() const {
  for (Notice n : m_notices)
    if (n == kNoticeConnectionClosed) return true;
  return false;
}

int CliSession::Login(std::string& error) {
  m_session->Open();
  const auto deadline = std::chrono::steady_clock::now() + Millis(m_options.timeoutSeconds);
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
    if (ClosedLocked()) {
      error = "the recorder at " + AddressText() + " closed the connection without answering";
      return kExitConnect;
    }
    if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (RefusalLocked(refusal) || m_identity || m_connectFailed || ClosedLocked()) continue;
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
    return (m_rightsSeen && m_camerasSeen) || RefusalLocked(n) || ClosedLocked();
  });
  Notice refusal;
  if (RefusalLocked(refusal)) {
    error = FormatNotice(refusal);
    return kExitRefused;
  }
  return kExitOk;
}

int CliSession::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds wait, std::string& error) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::unique_lock lock(m_lock);
  for (;;) {
    Notice refusal;
    if (RefusalLocked(refusal)) {
      error = FormatNotice(refusal);
      return kExitRefused;
    }
    lock.unlock();
    const bool finished = done && done();
    lock.lock();
    if (finished) return kExitOk;
    if (ClosedLocked()) {
      error = "the connection to " + AddressText() + " was lost";
      return kExitConnect;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      if (!done) return kExitOk;
      error = "no answer from " + AddressText() + " in time";
      return kExitTimeout;
    }
    m_changed.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
  }
}

int CliSession::Run(std::chrono::milliseconds duration, std::string& error) {
  return WaitUntil(nullptr, duration, error);
}

}  // namespace orva::cli
