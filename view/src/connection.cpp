#include "connection.h"

#include <cstring>
#include <filesystem>

#include "orva/services/app_services.h"
#include "orva/view/video_view.h"

namespace orva::view {

GuiConnection::GuiConnection(ConnectParams params, services::AppServices& services, CVideoView& view, QObject* parent)
    : QObject(parent),
      m_params(params),
      m_view(view),
      m_rights(static_cast<RightsObserver*>(this)),
      m_device(static_cast<DeviceObserver*>(this)),
      m_ptz(static_cast<PtzObserver*>(this)),
      m_setup(static_cast<SetupObserver*>(this)),
      m_firmware(static_cast<FirmwareObserver*>(this)) {
  LiveSettings settings;
  const services::LocalSetup& setup = services.Setup();
  settings.liveAudioDepth = setup.audioBuf[0];
  settings.playbackAudioDepth = setup.audioBuf[1];
  settings.dateFormat = setup.dateFormat;
  m_live = std::make_unique<LiveController>(services.Decoder(), services.DecodeLock(), view, services.Sound(), settings);
  // Covert channels stay dark for users without the covert right.
  m_live->SetCovertHidden([this](int ch) { return m_rights.HidesCovert(ch); });
  m_live->SetAudioChannelsObserver([this](uint16_t mask) { Post([this, mask] { emit audioChannelsChanged(mask); }); });
  PlaybackHooks hooks;
  hooks.stopLive = [this] { m_live->StopLive(); };
  hooks.restartLive = [this] { m_live->StartLive(); };
  hooks.queueAudio = [this](int ch, std::span<const uint8_t> frame) { return m_live->QueueAudio(ch, frame); };
  hooks.silenceAudio = [this](bool silent) { m_live->SilenceAudio(silent); };
  hooks.drainAndStopAudio = [this] { m_live->DrainAudio(); };
  hooks.audioOn = [this] { return m_session && m_session->AudioState(); };
  // The view repaints on every picture, so the commands need no settling
  // wait (it would only freeze the window for half a second per step).
  PlaybackTiming timing;
  timing.commandSettleFastMs = timing.commandSettleSlowMs = 0;
  m_playback = std::make_unique<RemotePlayback>(services.Decoder(), services.DecodeLock(), view, std::move(hooks),
                                                nullptr, timing);
  m_playback->SetObserver(static_cast<PlaybackObserver*>(this));
  m_playback->SetDateFormat(setup.dateFormat);
  DownloadOptions download;
  download.folder = services.DownloadFolder().string();
  // The space where the files go decides whether a download fits (the
  // nearest existing folder counts while Download/ is not made yet).
  download.freeMiB = [folder = services.DownloadFolder()] {
    uint64_t freeMiB = 0, totalMiB = 0;
    return services::GetDiskSpace(folder, freeMiB, totalMiB) ? freeMiB : 0;
  };
  m_download = std::make_unique<DownloadController>(std::move(download));
  m_download->SetObserver(static_cast<DownloadObserver*>(this));
  m_session = std::make_unique<DvrSession>(std::move(params), static_cast<SessionObserver*>(this), &services.Log());
  m_rights.Attach(*m_session);
  m_device.Attach(*m_session);
  m_ptz.Attach(*m_session);
  m_live->Attach(*m_session);
  m_search.Attach(*m_session);
  m_playback->Attach(*m_session);
  m_download->Attach(*m_session);
  m_setup.Attach(*m_session);
  m_firmware.Attach(*m_session);
}

GuiConnection::~GuiConnection() { Close(); }

void GuiConnection::Open() { m_session->Open(); }

void GuiConnection::Close() {
  if (m_closed) return;
  m_closed = true;
  m_session->Close();
}

void GuiConnection::OnNotice(Notice notice) {
  Post([this, notice] { emit noticePosted(notice.category, notice.code); });
}

void GuiConnection::OnStateChanged(SessionState state) {
  Post([this, state] { emit stateChanged(static_cast<int>(state)); });
}

void GuiConnection::OnIdentity(const RecorderIdentity& identity) {
  const int channels = identity.channelNum;
  Post([this, channels] { emit identityArrived(channels); });
}

void GuiConnection::OnAudioIndicator(bool on) {
  Post([this, on] { emit audioIndicatorChanged(on); });
}

void GuiConnection::OnRightsChanged(const RightsSnapshot&, const RightsActions& actions) {
  // A change of rights starts a new live generation at once, on this thread.
  m_live->OnRightsChanged();
  const int access = static_cast<int>(actions.search);
  const bool stop = actions.stopPlayback;
  const bool closeSetup = actions.closeSetupWindow, stopPtz = actions.stopPtz;
  // A download the user may no longer make ends at once (drained and closed).
  if (actions.stopDownload && m_download->Running()) m_download->Stop();
  Post([this, access, stop, closeSetup, stopPtz] {
    emit rightsChanged();
    // Withdrawn access ends the handling: the search window hears nothing.
    if (access != static_cast<int>(SearchAccess::kUnchanged)) emit searchAccessChanged(access, stop);
    if (closeSetup) emit setupCloseRequested();
    if (stopPtz) emit ptzRightWithdrawn();
  });
}

void GuiConnection::OnCamerasChanged(const CameraSnapshot& cameras) {
  auto titles = cameras.titles;
  Post([this, titles] {
    for (int ch = 0; ch < 16; ++ch) {
      const auto& t = titles[static_cast<size_t>(ch)];
      m_view.SetCameraTitle(ch, QString::fromUtf8(t.data(), static_cast<qsizetype>(strnlen(t.data(), t.size()))));
    }
  });
}

void GuiConnection::OnCovertApplied(const std::array<uint8_t, 16>& covert, bool) {
  // Applied every time: a rebuilt view starts without covert marks.
  Post([this, covert] {
    for (int ch = 0; ch < 16; ++ch) m_view.SetCovert(ch, covert[static_cast<size_t>(ch)] == 1);
  });
}

void GuiConnection::OnRecordingChanged(bool recording) {
  Post([this, recording] { emit recordingChanged(recording); });
}

void GuiConnection::OnDvrTime(uint32_t wireSeconds) {
  Post([this, wireSeconds] { emit recorderTime(wireSeconds); });
}

void GuiConnection::OnDatabaseReady() {
  Post([this] { emit setupDatabaseReady(); });
}

void GuiConnection::OnCloseSetupWindow() {
  Post([this] { emit setupCloseRequested(); });
}

void GuiConnection::OnRowChanged(int row, FirmwareRowState state, int32_t result) {
  Post([this, row, state, result] { emit firmwareRowChanged(row, static_cast<int>(state), result); });
}

void GuiConnection::OnUploadProgress(int row, int percent) {
  Post([this, row, percent] { emit firmwareProgress(row, percent); });
}

void GuiConnection::OnRunFinished(int successes) {
  Post([this, successes] { emit firmwareRunFinished(successes); });
}

void GuiConnection::OnPtzAvailability(bool steerable) {
  Post([this, steerable] { emit ptzAvailabilityChanged(steerable); });
}


void GuiConnection::OnPlaybackStarted() {
  Post([this] { emit playbackStarted(); });
}

void GuiConnection::OnPlaybackStopped(bool reopenSearch) {
  Post([this, reopenSearch] { emit playbackStopped(reopenSearch); });
}

void GuiConnection::OnButtonLit(int mode) {
  Post([this, mode] { emit playbackButtonLit(mode); });
}

void GuiConnection::OnShownTime(uint32_t time) {
  m_shownTime.store(time);
  if (m_shownPosted.exchange(true)) return;
  Post([this] {
    m_shownPosted = false;
    emit playbackShownTime(m_shownTime.load());
  });
}

void GuiConnection::OnSpeedChanged(int speed) {
  Post([this, speed] { emit playbackSpeedChanged(speed); });
}

void GuiConnection::OnAudioChannels(uint16_t mask) {
  Post([this, mask] { emit audioChannelsChanged(mask); });
}

void GuiConnection::OnRecordingEnd() {
  Post([this] { emit playbackRecordingEnd(); });
}

}  // namespace orva::view

namespace orva::view {

void GuiConnection::OnSizeEstimated(uint32_t kib, bool fits) {
  Post([this, kib, fits] { emit downloadSizeEstimated(kib, fits); });
}

void GuiConnection::OnDownloadStarted(uint32_t estimateKiB) {
  m_received.store(0);
  Post([this, estimateKiB] { emit downloadStarted(estimateKiB); });
}

void GuiConnection::OnProgress(uint64_t receivedKiB) {
  m_received.store(receivedKiB);
  if (m_receivedPosted.exchange(true)) return;
  Post([this] {
    m_receivedPosted = false;
    emit downloadProgress(m_received.load());
  });
}

void GuiConnection::OnDownloadEnded(const std::string& error) {
  const QString text = QString::fromStdString(error);
  Post([this, text] { emit downloadEnded(text); });
}

}  // namespace orva::view
