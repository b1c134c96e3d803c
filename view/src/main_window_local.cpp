// The main window's side of backup downloads and local playback: the
// progress window, the local playback window and the player it starts,
// steered by the playback buttons and the playback slider, and the export.
#include <QSlider>
#include <QTimer>

#include "connection.h"
#include "download_progress.h"
#include "export_dialog.h"
#include "local_playback_window.h"
#include "local_player_bridge.h"
#include "main_window_view.h"
#include "orva/services/resources.h"
#include "orva/recordings/local_log.h"
#include "orva/recordings/local_player.h"
#include "orva/view/main_window.h"
#include "orva/view/search_window.h"
#include "playback_bar.h"
#include "search_pages.h"
#include "skin_button.h"

namespace orva::view {
namespace {

constexpr int kPlaybackBarHeight = 44, kPlaybackBarGap = 4;
// The picture settles before it is repainted after a pause or a step.
constexpr int kRepaintAfterMs = 500;

}  // namespace

// ------------------------------------------------------------ downloads

void MainWindow::ConnectDownload() {
  connect(m_connection, &GuiConnection::downloadStarted, this, &MainWindow::OnDownloadStarted);
  connect(m_connection, &GuiConnection::downloadProgress, this, [this](quint64 kib) {
    if (m_progress) m_progress->SetReceived(kib);
  });
  connect(m_connection, &GuiConnection::downloadEnded, this, &MainWindow::OnDownloadEnded);
  connect(m_connection, &GuiConnection::downloadSizeEstimated, this, [this](quint32 kib, bool fits) {
    if (m_search) m_search->ShowBackupSize(kib, fits);
  });
}

DownloadProgressWindow* MainWindow::DownloadProgress() const { return m_progress.data(); }

void MainWindow::OnDownloadStarted(quint32 estimateKiB) {
  delete m_progress.data();
  m_progress = new DownloadProgressWindow(estimateKiB, this);
  connect(m_progress, &DownloadProgressWindow::stopRequested, this, [this] {
    if (m_connection) m_connection->Download().Stop();
  });
  m_progress->show();
  m_progress->move(geometry().center() - m_progress->rect().center());
  if (m_search) m_search->SetDownloadRunning(true);
}

void MainWindow::OnDownloadEnded(const QString&) {
  // A disk that failed has posted notice 21/0 already.
  delete m_progress.data();
  if (m_search) m_search->SetDownloadRunning(false);
  // New pairs are there to be played.
  if (m_localWindow && !m_localPlayer) m_localWindow->Rescan();
}

// ------------------------------------------------------------ local playback

void MainWindow::BuildLocalControls() {
  connect(m_commands["LSearch"], &QAbstractButton::clicked, this, &MainWindow::OpenLocalPlayback);
  m_playbackSlider->setEnabled(false);
  connect(m_playbackSlider, &QSlider::sliderReleased, this, &MainWindow::OnSliderMoved);
  connect(m_playbackSlider, &QSlider::valueChanged, this, [this] {
    // A click on the groove or a key; a drag seeks when it is let go.
    if (!m_sliderFollowing && !m_playbackSlider->isSliderDown()) OnSliderMoved();
  });
  connect(m_playbackBar, &PlaybackTimeBar::jumpRequested, this, [this](uint32_t time) {
    if (m_localPlayer) m_localPlayer->Seek(time);
  });
  m_localBridge = new LocalPlayerBridge(this);
  connect(m_localBridge, &LocalPlayerBridge::shownTime, this, &MainWindow::OnLocalShownTime);
  connect(m_localBridge, &LocalPlayerBridge::speedChanged, this, [this] { UpdateLocalState(); });
  connect(m_localBridge, &LocalPlayerBridge::listEnd, this, [this] { UpdateLocalState(); });
  connect(m_localBridge, &LocalPlayerBridge::audioChannels, this, &MainWindow::OnSoundChannels);
  // Removable media carry their own downloads: they are offered at once.
  if (m_services.Removable()) QTimer::singleShot(0, this, &MainWindow::OpenLocalPlayback);
}

LocalPlaybackWindow* MainWindow::LocalWindow() const { return m_localWindow.data(); }
ExportDialog* MainWindow::Export() const { return m_export.data(); }
bool MainWindow::LocalPlaybackOpen() const { return m_localWindow || m_localPlayer; }

void MainWindow::OpenLocalPlayback() {
  if (m_closing) return;
  if (!m_localWindow) {
    m_localWindow = new LocalPlaybackWindow(m_services.DownloadFolder().string(), m_services.Setup().dateFormat,
                                            m_services.Setup().opacity[5], this);
    connect(m_localWindow, &LocalPlaybackWindow::playRequested, this,
            [this](quint32 start, quint32 end) { StartLocalPlayback(start, end); });
    connect(m_localWindow, &LocalPlaybackWindow::exportRequested, this, &MainWindow::OpenExport);
    // Closed by hand: local playback ends (after the signal, not inside it).
    connect(m_localWindow, &LocalPlaybackWindow::closed, this, &MainWindow::CloseLocalPlayback, Qt::QueuedConnection);
    m_localWindow->move(geometry().center() - m_localWindow->rect().center());
  } else if (!m_localPlayer) {
    m_localWindow->Rescan();
  }
  if (m_search) m_search->SetLocalPlaybackOpen(true);
  m_localWindow->show();
  m_localWindow->raise();
  m_localWindow->activateWindow();
  m_commands["LSearch"]->SetLit(true);
}

bool MainWindow::StartLocalPlayback(uint32_t start, uint32_t end) {
  if (!m_localWindow) return false;
  if (m_localPlayer) m_localPlayer->Stop();
  m_localPlayer.reset();
  // The view has one owner at a time: remote playback and live view give it up.
  if (m_connection) {
    if (m_connection->Playback().Playing()) m_connection->Playback().Stop(false);
    if (m_connection->Session().LiveActive()) {
      m_liveBeforeLocal = true;
      ClosePtz();
      m_connection->Live().StopLive();
    }
  }
  m_view->ForgetFrameTime();
  LocalPlayerOptions options;
  options.sound = m_services.Sound();
  options.audioDepth = m_services.Setup().audioBuf[2];
  options.dateFormat = m_services.Setup().dateFormat;
  options.logRecord = [log = &m_services.Log()](uint32_t subType) {
    log->Append(static_cast<uint32_t>(LogMain::kLocalPlayback), subType, "", "");
  };
  auto player = std::make_unique<LocalPlayer>(m_services.Decoder(), m_services.DecodeLock(), *m_view, options);
  player->SetObserver(m_localBridge);
  player->SetVisibleChannels(m_view->VisibleChannels());
  if (!player->Start(m_localWindow->Pairs(), start, end)) {
    ShowNotice(Notice{4, 0});
    return false;
  }
  m_localPlayer = std::move(player);
  m_localWindow->hide();
  m_playbackBar->SetSpans(LocalDaySpans(m_localWindow->Pairs()), 0xFFFF);
  m_playbackBar->SetShownTime(start);
  m_view->setGeometry(kViewLeft, kViewTop, kViewRight - kViewLeft,
                      kViewBottom - kViewTop - kPlaybackBarHeight - kPlaybackBarGap);
  m_playbackBar->show();
  m_playbackBar->raise();
  m_playbackSlider->setEnabled(true);
  OnLocalShownTime(start);
  UpdateLocalState();
  RefreshState();
  return true;
}

void MainWindow::CloseLocalPlayback() {
  const bool wasPlaying = m_localPlayer != nullptr;
  if (m_localPlayer) m_localPlayer->Stop();  // the display returns to live mode
  m_localPlayer.reset();
  if (m_export && !m_export->Running()) delete m_export.data();
  if (m_localWindow) {
    const QSignalBlocker block(m_localWindow.data());
    m_localWindow->deleteLater();
    m_localWindow = nullptr;
  }
  if (m_search) m_search->SetLocalPlaybackOpen(false);
  m_commands["LSearch"]->SetLit(false);
  m_playbackSlider->setEnabled(false);
  if (wasPlaying) LeavePlaybackScreen();
  // Live view that local playback interrupted comes back.
  if (m_liveBeforeLocal && m_connection && m_connection->Session().Connected() && !m_closing) {
    m_lastRequestMask = 0xFFFF;
    m_connection->Live().StartLive();
  }
  m_liveBeforeLocal = false;
  RefreshState();
}

// Forward and reverse at any time; pause only while playing; steps only while paused.
bool MainWindow::LocalAllowed(int code) const {
  if (!m_localPlayer) return false;
  const int mode = m_localPlayer->Mode();
  switch (code) {
    case 2:
    case 3: return true;
    case 4: return mode == 2 || mode == 3;
    case 1:
    case 7: return mode == 4;
    default: return false;
  }
}

void MainWindow::OnLocalButton(int code) {
  if (code == 6) {
    CloseLocalPlayback();
    return;
  }
  if (!LocalAllowed(code)) return;
  m_localPlayer->Command(code);
  if (code != 2 && code != 3) QTimer::singleShot(kRepaintAfterMs, m_view, [view = m_view] { view->update(); });
  UpdateLocalState();
}

void MainWindow::OnLocalShownTime(quint32 time) {
  if (!m_localPlayer) return;
  m_playbackBar->SetShownTime(time);
  if (m_playbackSlider->isSliderDown()) return;
  // The list's bounds come from the reader thread once it has entered it.
  const uint32_t from = m_localPlayer->ListStart(), to = std::max(m_localPlayer->ListEnd(), from);
  m_sliderFollowing = true;
  if (from != 0) m_playbackSlider->setRange(static_cast<int>(from), static_cast<int>(to));
  m_playbackSlider->setValue(static_cast<int>(std::clamp<uint32_t>(time, from, to)));
  m_sliderFollowing = false;
  UpdateLocalState();
}

void MainWindow::OnSliderMoved() {
  if (!m_localPlayer || m_playbackSlider->minimum() == 0) return;
  m_localPlayer->Seek(static_cast<uint32_t>(m_playbackSlider->value()));
}

void MainWindow::UpdateLocalState() {
  UpdatePlaybackButtons();
  if (!m_localPlayer) return;
  const int mode = m_localPlayer->Mode(), speed = m_localPlayer->Speed();
  const bool paused = mode == 4 || mode == 1 || mode == 7;
  m_view->SetPlaybackState(mode, paused, speed == 5 ? 0 : speed);
  QString state;
  if (mode == 1 || mode == 7) {
    state = SearchText("playback.step", "Single step");
  } else if (paused) {
    state = SearchText("playback.pause", "Paused");
  } else {
    state = mode == 2 ? SearchText("playback.reverse", "Reverse") : SearchText("playback.forward", "Play");
    state += QStringLiteral("  x%1").arg(std::abs(speed));
  }
  m_playbackBar->SetStateText(SearchText("local.state", "Local  ") + state);
}

// ------------------------------------------------------------ export

void MainWindow::OpenExport() {
  if (!m_localWindow) return;
  if (m_export) {
    m_export->show();
    m_export->raise();
    return;
  }
  m_export = new ExportDialog(m_localWindow->Folder(), QString::fromStdString(m_services.Paths().saved.string()),
                              m_localWindow->DefaultExport(), m_services.Setup().dateFormat,
                              [view = m_view](int ch) { return view->CameraTitle(ch); }, this);
  m_export->setAttribute(Qt::WA_DeleteOnClose);
  m_export->show();
  m_export->move(geometry().center() - m_export->rect().center());
}

}  // namespace orva::view
