#include "connection.h"

#include <cstring>

#include "orva/app/app_services.h"
#include "orva/view/video_view.h"

namespace orva::view {

GuiConnection::GuiConnection(ConnectParams params, app::AppServices& services, CVideoView& view, QObject* parent)
    : QObject(parent),
      m_params(params),
      m_view(view),
      m_rights(static_cast<RightsObserver*>(this)),
      m_device(static_cast<DeviceObserver*>(this)),
      m_ptz(static_cast<PtzObserver*>(this)) {
  LiveSettings settings;
  const app::LocalSetup& setup = services.Setup();
  settings.liveAudioDepth = setup.audioBuf[0];
  settings.playbackAudioDepth = setup.audioBuf[1];
  settings.dateFormat = setup.dateFormat;
  m_live = std::make_unique<LiveController>(services.Decoder(), services.DecodeLock(), view, services.Sound(), settings);
  // Covert channels stay dark for users without the covert right.
  m_live->SetCovertHidden([this](int ch) {
    return !m_rights.Has(Right::kCovert) && m_rights.Cameras()->covert[static_cast<size_t>(ch)] == 1;
  });
  m_live->SetAudioChannelsObserver([this](uint16_t mask) { Post([this, mask] { emit audioChannelsChanged(mask); }); });
  m_session = std::make_unique<DvrSession>(std::move(params), static_cast<SessionObserver*>(this), &services.Log());
  m_rights.Attach(*m_session);
  m_device.Attach(*m_session);
  m_ptz.Attach(*m_session);
  m_live->Attach(*m_session);
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

void GuiConnection::OnRightsChanged(const RightsSnapshot&, const RightsActions&) {
  // A change of rights starts a new live generation at once, on this thread.
  m_live->OnRightsChanged();
  Post([this] { emit rightsChanged(); });
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

void GuiConnection::OnPtzAvailability(bool steerable) {
  Post([this, steerable] { emit ptzAvailabilityChanged(steerable); });
}

}  // namespace orva::view
