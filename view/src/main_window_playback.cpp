// The main window's side of recording search and remote playback: the
// search command, the playback buttons and keys, and the playback screen's
// time bar under the video view.
#include <QShortcut>

#include "connection.h"
#include "firmware_window.h"
#include "main_window_view.h"
#include "orva/services/resources.h"
#include "orva/recordings/local_player.h"
#include "orva/view/main_window.h"
#include "orva/view/search_window.h"
#include "playback_bar.h"
#include "skin_button.h"

namespace orva::view {
namespace {

// While playing, the video view gives the bottom of its area to the time bar.
constexpr int kPlaybackBarHeight = 44, kPlaybackBarGap = 4;

QString Text(const char* key, const char* fallback) {
  return services::Resources::Text(key, fallback);
}

}  // namespace

void MainWindow::BuildPlaybackControls() {
  m_playbackBar = new PlaybackTimeBar(m_services.Setup().dateFormat, this);
  m_playbackBar->setGeometry(kViewLeft, kViewBottom - kPlaybackBarHeight, kViewRight - kViewLeft, kPlaybackBarHeight);
  m_playbackBar->hide();
  connect(m_playbackBar, &PlaybackTimeBar::jumpRequested, this, &MainWindow::OnPlaybackJump);

  static const int codes[6] = {1, 2, 3, 4, 6, 7};
  static const char* const keys[6] = {"\u2190", nullptr, "Space", "Space", nullptr, "\u2192"};
  for (int i = 0; i < 6; ++i) {
    SkinButton* b = m_commands[QStringLiteral("Play%1").arg(codes[i])];
    const int code = codes[i];
    connect(b, &QAbstractButton::clicked, this, [this, code] { OnPlayButton(code); });
    if (keys[i]) b->setToolTip(b->toolTip() + QStringLiteral("  (") + QString::fromUtf8(keys[i]) + QLatin1Char(')'));
  }
  connect(m_commands["RSearch"], &QAbstractButton::clicked, this, &MainWindow::OpenSearch);

  // Space pauses and resumes; the arrows step while paused.
  for (int key : {int(Qt::Key_Space), int(Qt::Key_Left), int(Qt::Key_Right)}) {
    auto* shortcut = new QShortcut(QKeySequence(key), this);
    connect(shortcut, &QShortcut::activated, this, [this, key] { OnPlaybackKey(key); });
  }
}

void MainWindow::ConnectPlayback() {
  connect(m_connection, &GuiConnection::playbackStarted, this, &MainWindow::OnPlaybackStarted);
  connect(m_connection, &GuiConnection::playbackStopped, this, &MainWindow::OnPlaybackStopped);
  connect(m_connection, &GuiConnection::playbackButtonLit, this, &MainWindow::OnPlaybackLit);
  connect(m_connection, &GuiConnection::playbackShownTime, this, &MainWindow::OnPlaybackShownTime);
  connect(m_connection, &GuiConnection::playbackSpeedChanged, this, &MainWindow::OnPlaybackSpeed);
  connect(m_connection, &GuiConnection::searchAccessChanged, this, &MainWindow::OnSearchAccess);
  connect(m_connection, &GuiConnection::playbackRecordingEnd, this, [this] {
    m_recordingEnded = true;
    UpdatePlaybackState();
  });
}

RecordingSearchWindow* MainWindow::SearchWindow() const { return m_search.data(); }

bool MainWindow::RemotePlaybackRunning() const { return m_connection && m_connection->Playback().Playing(); }

void MainWindow::OpenSearch() {
  if (!m_connection || !m_connection->Session().Connected()) return;
  const RightsMonitor& rights = m_connection->Rights();
  const bool playback = rights.Has(Right::kPlayback), backup = rights.Has(Right::kBackup);
  if (!playback && !backup) {
    ShowNotice(Notice{15, 0});
    return;
  }
  // A user who may only back up waits for the running download.
  if (!playback && m_connection->Download().Running()) return;
  if (m_search) {
    m_search->show();
    m_search->raise();
    m_search->activateWindow();
    return;
  }
  m_search = new RecordingSearchWindow(m_connection->Search(), m_connection->Playback(), m_connection->Download(),
                                       m_connection->Session(),
                                       m_services.Setup().dateFormat, m_services.Setup().opacity[1], this);
  m_search->SetAccess(playback && backup ? SearchAccess::kAll
                      : playback         ? SearchAccess::kPlaybackOnly
                                         : SearchAccess::kBackupOnly);
  m_search->SetLocalPlaybackOpen(LocalPlaybackOpen());
  m_search->SetDownloadRunning(m_connection->Download().Running());
  m_search->SetFreeSpaceSamples(&m_connection->FreeSpaceSamples());
  m_search->show();
  m_search->move(geometry().center() - m_search->rect().center());
}

void MainWindow::OnPlayButton(int code) {
  if (m_localPlayer) {
    OnLocalButton(code);
    return;
  }
  if (!m_connection || m_view->Mode() != ViewMode::kRemotePlayback) return;
  RemotePlayback& playback = m_connection->Playback();
  if (code == 6) {
    if (playback.Playing()) playback.Stop(true);
  } else {
    playback.Command(code);
  }
  UpdatePlaybackState();
}

void MainWindow::OnPlaybackKey(int key) {
  if (m_localPlayer) {
    const bool paused = m_localPlayer->Mode() == 4;
    if (key == Qt::Key_Space)
      OnLocalButton(paused ? 3 : 4);
    else if (paused)
      OnLocalButton(key == Qt::Key_Left ? 1 : 7);
    return;
  }
  if (!RemotePlaybackRunning()) return;
  const RemotePlayback& playback = m_connection->Playback();
  if (key == Qt::Key_Space) {
    OnPlayButton(playback.Paused() ? 3 : 4);
  } else if (playback.Paused()) {
    OnPlayButton(key == Qt::Key_Left ? 1 : 7);
  }
}

void MainWindow::UpdatePlaybackButtons() {
  const bool connected = m_connection && m_connection->Session().Connected();
  m_commands["RSearch"]->setEnabled(connected);
  m_commands["RSearch"]->SetLit(m_search != nullptr);
  // The firmware upgrade works on the connected recorder only.
  m_commands["FirmUp"]->setEnabled(connected);
  m_commands["FirmUp"]->SetLit(m_firmwareWindow != nullptr);
  if (m_localPlayer) {
    for (int code : {1, 2, 3, 4, 7}) {
      SkinButton* b = m_commands[QStringLiteral("Play%1").arg(code)];
      const int mode = m_localPlayer->Mode();
      b->setEnabled(LocalAllowed(code) || (code == 4 && mode == 4));
      b->SetLit(mode == code);
    }
    m_commands["Play6"]->setEnabled(true);
    return;
  }
  const bool playing = RemotePlaybackRunning() && m_view->Mode() == ViewMode::kRemotePlayback;
  for (int code : {1, 2, 3, 4, 7}) {
    SkinButton* b = m_commands[QStringLiteral("Play%1").arg(code)];
    // Pause stays pressable while paused so that its lit state shows.
    const bool allowed = m_connection && (m_connection->Playback().Allowed(code) ||
                                          (code == 4 && m_connection->Playback().Paused()));
    b->setEnabled(playing && allowed);
    b->SetLit(playing && m_playLit == code);
  }
  m_commands["Play6"]->setEnabled(playing);
}

void MainWindow::UpdatePlaybackState() {
  UpdatePlaybackButtons();
  if (!RemotePlaybackRunning()) return;
  const RemotePlayback& playback = m_connection->Playback();
  const int mode = playback.Mode(), speed = playback.Speed();
  m_view->SetPlaybackState(mode, playback.Paused(), speed);
  QString state;
  if (m_recordingEnded && playback.Paused()) {
    state = Text("playback.end", "End of recording");
  } else if (mode == 1 || mode == 7) {
    state = Text("playback.step", "Single step");
  } else if (playback.Paused()) {
    state = Text("playback.pause", "Paused");
  } else {
    state = mode == 2 ? Text("playback.reverse", "Reverse") : Text("playback.forward", "Play");
    if (speed != 0) state += QStringLiteral("  x%1").arg(std::abs(speed));
  }
  m_playbackBar->SetStateText(state);
}

void MainWindow::OnPlaybackStarted() {
  if (!m_connection) return;
  m_recordingEnded = false;
  const RemotePlayback& playback = m_connection->Playback();
  const PlaybackOrigin origin = playback.Origin();
  m_playbackBar->SetSpans(origin.daySpans, playback.ChannelMask());
  m_playbackBar->SetShownTime(playback.StartTime());
  m_view->setGeometry(kViewLeft, kViewTop, kViewRight - kViewLeft,
                      kViewBottom - kViewTop - kPlaybackBarHeight - kPlaybackBarGap);
  m_playbackBar->show();
  m_playbackBar->raise();
  m_lastRequestMask = 0;
  m_connection->Playback().SetVisibleChannels(m_view->VisibleChannels());
  UpdatePlaybackState();
  RefreshState();
}

void MainWindow::LeavePlaybackScreen() {
  m_playbackBar->hide();
  m_view->setGeometry(kViewLeft, kViewTop, kViewRight - kViewLeft, kViewBottom - kViewTop);
  m_playLit = 0;
  m_recordingEnded = false;
  UpdatePlaybackButtons();
}

void MainWindow::OnPlaybackStopped(bool reopenSearch) {
  LeavePlaybackScreen();
  RefreshState();
  if (!reopenSearch || !m_connection) return;
  const PlaybackOrigin origin = m_connection->Playback().Origin();
  OpenSearch();
  if (m_search) m_search->ReturnTo(origin);
}

void MainWindow::OnPlaybackLit(int mode) {
  m_playLit = mode;
  UpdatePlaybackState();
}

void MainWindow::OnPlaybackShownTime(quint32 time) {
  m_playbackBar->SetShownTime(time);
}

void MainWindow::OnPlaybackSpeed(int) { UpdatePlaybackState(); }

void MainWindow::OnSearchAccess(int access, bool stopPlayback) {
  if (!m_connection) return;
  if (stopPlayback && m_connection->Playback().Playing()) m_connection->Playback().Stop(false);
  if (!m_search) return;
  const auto allowed = static_cast<SearchAccess>(access);
  if (allowed == SearchAccess::kNone ||
      (allowed == SearchAccess::kBackupOnly && m_connection->Download().Running())) {
    m_search->close();
    return;
  }
  m_search->SetAccess(static_cast<SearchAccess>(access));
}

// A click on the playback screen's time bar: a new playback from there, with
// the same channels, as if asked from the day's time bar.
void MainWindow::OnPlaybackJump(uint32_t time) {
  if (!RemotePlaybackRunning()) return;
  RemotePlayback& playback = m_connection->Playback();
  PlaybackOrigin origin = playback.Origin();
  const uint32_t mask = playback.ChannelMask();
  playback.Stop(false);
  playback.Request(PlaybackRequest{mask, 0, time, 0}, std::move(origin));
  m_playbackBar->SetShownTime(time);
}

}  // namespace orva::view
