// The main window's command handlers.
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSlider>

#include "connection.h"
#include "main_window_view.h"
#include "orva/services/resources.h"
#include "orva/pictures/snapshot.h"
#include "orva/recordings/local_player.h"
#include "orva/view/image_viewer.h"
#include "orva/view/local_setup_dialog.h"
#include "orva/view/log_viewer.h"
#include "orva/view/main_window.h"
#include "playback_bar.h"
#include "skin_button.h"
#include "skin_style.h"

namespace orva::view {
namespace {

uint8_t Opacity(const services::LocalSetup& setup, skin::OpacitySlot slot) {
  return setup.opacity[static_cast<size_t>(slot) - 1];
}

}  // namespace

void MainWindow::OnChannel(int channel) {
  if (PtzMenuMode()) return;
  m_view->ShowSingle(channel);
  if (m_view->Layout() == 0 && (m_view->VisibleChannels() >> channel) & 1u) FollowPtzChannel(channel);
  if ((m_soundChannels >> channel) & 1u) {
    m_audioChannel = channel;
    UpdateSoundMarks();
  }
}

void MainWindow::OnLayout(int index) {
  if (PtzMenuMode()) return;
  m_view->SetLayout(kLayoutButtonLayouts[static_cast<size_t>(index)]);
  UpdateLayoutHighlight();
  // Every layout press asks again, also for the same channels (a new page
  // of the same layout, or the current layout pressed once more).
  RequestVisible(m_view->VisibleChannels(), true);
}

void MainWindow::OnVisibleChannels(quint16 mask) { RequestVisible(mask); }

// In live view the recorder is asked for the channels now visible; unless
// `always`, the same mask twice in a row is asked once. In remote playback the player takes
// the visible set for its steps and re-positioning.
void MainWindow::RequestVisible(uint16_t mask, bool always) {
  if (m_localPlayer && mask != 0) {
    m_localPlayer->SetVisibleChannels(mask);
    return;
  }
  if (!m_connection || mask == 0) return;
  if (m_view->Mode() == ViewMode::kRemotePlayback && m_connection->Playback().Playing()) {
    m_connection->Playback().SetVisibleChannels(mask);
    return;
  }
  if (!m_connection->Session().LiveActive()) return;
  if (!always && mask == m_lastRequestMask) return;
  m_lastRequestMask = mask;
  m_connection->Live().RequestChannels(mask);
}

void MainWindow::OnFull() {
  if (m_view->FullScreen()) return;
  const QPoint centre = frameGeometry().center();
  const QList<QScreen*> screens = QGuiApplication::screens();
  int monitor = 0;
  for (int i = 0; i < std::min<int>(4, static_cast<int>(screens.size())); ++i)
    if (screens[i]->geometry().contains(centre)) {
      monitor = i;
      break;
    }
  m_view->EnterFullScreen(monitor);
}

void MainWindow::OnConnect() {
  if (m_services.Removable()) return;
  if (m_connection) {
    Disconnect();
    return;
  }
  ShowConnectDialog();
}

void MainWindow::OnLive() {
  if (!m_connection || LocalPlaybackOpen()) return;
  DvrSession& session = m_connection->Session();
  // Only playback gates the toggle: LIVE_NACK or BYE48 may have cleared the
  // connected flag while live view is still marked active, and it must
  // still be possible to stop it.
  if (session.PlaybackActive() || m_connection->Playback().Playing() || m_connection->Playback().Requested()) return;
  if (session.LiveActive()) {
    ClosePtz();
    m_connection->Live().StopLive();
    m_view->ForgetFrameTime();
  } else {
    m_lastRequestMask = 0xFFFF;
    m_connection->Live().StartLive();
  }
  RefreshState();
}

void MainWindow::OnAudio() {
  if (!m_connection || !m_services.Sound()) return;
  DvrSession& session = m_connection->Session();
  if (!session.LiveActive() && !session.PlaybackActive()) return;
  m_connection->Live().RequestAudio(!session.AudioState());
}

void MainWindow::OnRecord() {
  if (!m_connection || !m_connection->Session().Connected()) return;
  GuiConnection* connection = m_connection;
  const QPointer<GuiConnection> alive(connection);
  const bool mayStop = connection->Rights().Has(Right::kStopRecording);
  // The password is asked before the request is made: while the dialog is
  // open the connection may end, and then nothing is sent.
  std::optional<std::string> typed;
  if (connection->Device().Recording() && mayStop) {
    bool ok = false;
    const QString prompt = services::Resources::Text("main.password.prompt");
    const QString title = services::Resources::Text("main.password.title");
    const QString text = QInputDialog::getText(
        this, title == QLatin1String("main.password.title") ? QStringLiteral("Stop recording") : title,
        prompt == QLatin1String("main.password.prompt") ? QStringLiteral("Password:") : prompt, QLineEdit::Password,
        QString(), &ok);
    if (!alive || connection != m_connection) return;
    if (ok) typed = text.toStdString();
  }
  const RequestOutcome outcome = connection->Device().ToggleRecording(mayStop, [&typed] { return typed; });
  if (outcome == RequestOutcome::kWrongPassword)
    QMessageBox::warning(this, QStringLiteral("Stop recording"), QStringLiteral("The password does not match."));
}

void MainWindow::OnSelAudio() {
  const int next = NextAudioChannel(m_audioChannel, m_soundChannels, m_view->VisibleChannels());
  if (next < 0) return;
  m_audioChannel = next;
  UpdateSoundMarks();
}

void MainWindow::OnSound() {
  m_muted = !m_muted;
  m_services.Volume().SetMute(m_muted);
  m_volume->setEnabled(!m_muted);
  RefreshState();
}

void MainWindow::OnVolume(int value) { m_services.Volume().SetVolume(value); }

void MainWindow::TakeSnapshots() {
  // Only while a stream is shown: the display mode is 0 once it stops.
  if (m_view->Mode() == ViewMode::kNone) return;
  m_view->RequestSnapshots();
  m_snapshotTimer.start();
  m_commands["Save"]->setEnabled(false);
  m_services.Log().Append(static_cast<uint32_t>(LogMain::kSetupImage), 2, "", "");
}

void MainWindow::OnSnapshotReady(int channel, const QByteArray& picture, int width, int height, bool rgb,
                                 const QString& timeText) {
  if (channel < 0 || channel > 15 || picture.isEmpty()) return;
  std::vector<uint8_t> copy(reinterpret_cast<const uint8_t*>(picture.constData()),
                            reinterpret_cast<const uint8_t*>(picture.constData()) + picture.size());
  const auto format = static_cast<pictures::SaveFormat>(std::clamp(m_services.Setup().saveFormat, 0, 2));
  m_writers[static_cast<size_t>(channel)].push_back(std::make_unique<pictures::CSnapshotWriter>(
      std::move(copy), width, height, rgb, channel, timeText, format, m_services.Paths().saved.string()));
  if (!m_snapshotTimer.isActive()) m_snapshotTimer.start();
  m_commands["Save"]->setEnabled(false);
}

bool MainWindow::SnapshotsPending() const {
  for (const auto& slot : m_writers)
    if (!slot.empty()) return true;
  return false;
}

void MainWindow::ReapSnapshotWriters() {
  for (auto& slot : m_writers)
    std::erase_if(slot, [](const std::unique_ptr<pictures::CSnapshotWriter>& w) { return w->IsDone(); });
  if (SnapshotsPending()) return;
  m_snapshotTimer.stop();
  m_commands["Save"]->setEnabled(true);
}

void MainWindow::OpenImage() {
  const services::LocalSetup& setup = m_services.Setup();
  OpenImageDialog dialog(QString::fromStdString(m_services.Paths().saved.string()),
                         Opacity(setup, skin::OpacitySlot::kViewers), this);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  auto* viewer = new ImageViewer(dialog.selectedFiles().front(), Opacity(setup, skin::OpacitySlot::kViewers), this);
  viewer->show();
}

void MainWindow::OpenLocalLog() {
  LogViewer viewer(m_services.Log(), m_services.Setup().dateFormat,
                   Opacity(m_services.Setup(), skin::OpacitySlot::kViewers), this);
  viewer.exec();
}

void MainWindow::OpenLocalSetup() {
  LocalSetupDialog dialog(m_services.Setup(), m_services.Removable(), this);
  if (dialog.exec() == QDialog::Accepted) ApplyLocalSetup(dialog.Result());
}

void MainWindow::ApplyLocalSetup(const services::LocalSetup& setup) {
  const int oldDrawMode = m_services.Setup().drawMode;
  m_services.ApplySetup(setup);
  // In effect at once for what is running: snapshot texts of live view and
  // remote playback, the playback bar, and the next audio player's depths.
  // Windows opened from now on read the settings when they open.
  m_playbackBar->SetDateFormat(setup.dateFormat);
  if (m_connection) {
    m_connection->Live().ApplySettings(setup.audioBuf[0], setup.audioBuf[1], setup.dateFormat);
    m_connection->Playback().SetDateFormat(setup.dateFormat);
  }
  if (setup.drawMode == oldDrawMode) return;
  // The decoders of a connection draw into the view: close it, build the
  // view again in place with the new mode, and connect again.
  std::optional<ConnectParams> reconnect;
  if (m_connection) reconnect = m_connection->Params();
  Disconnect();
  ReleaseClosedConnections();
  const bool textOn = m_view->TextOn();
  delete m_view;
  m_view = nullptr;
  CreateVideoView();
  m_view->SetTextOn(textOn);
  if (reconnect) Connect(*reconnect);
}

}  // namespace orva::view
