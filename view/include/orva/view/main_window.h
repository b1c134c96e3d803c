// The main window: the client's one top-level window, 928 x 698, frameless
// and dragged by any spot that is not a control. It holds the video view and
// every command button, owns the recorder connection while one exists, and
// shows the notices the connection posts (one at a time).
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "orva/services/app_services.h"
#include "orva/link/dvr_session.h"
#include "orva/view/ptz_panel.h"
#include "orva/view/video_view.h"

class QAbstractButton;
class QLabel;
class QSlider;

namespace orva {
class LiveController;
class LocalPlayer;
class PtzControl;
class SetupDatabase;
namespace pictures {
class CSnapshotWriter;
}
}  // namespace orva

namespace orva::view {

class DownloadProgressWindow;
class ExportDialog;
class GuiConnection;
class LocalPlaybackWindow;
class LocalPlayerBridge;
class MainVideoView;
class NoticeWindow;
class PlaybackTimeBar;
class RecordingSearchWindow;
class SetupWindow;
class FirmwareWindow;
class SkinButton;

inline constexpr int kMainWindowWidth = 928, kMainWindowHeight = 698;
// The video view's place in the main window.
inline constexpr int kViewLeft = 53, kViewTop = 72, kViewRight = 868, kViewBottom = 620;
inline constexpr int kVolumeStart = 40000;

// The layout buttons "1", "4", "6", "7", "8", "9", "10", "13", "16" and the
// layouts they select.
inline constexpr std::array<int, 9> kLayoutButtonPanes{1, 4, 6, 7, 8, 9, 10, 13, 16};
inline constexpr std::array<int, 9> kLayoutButtonLayouts{0, 1, 2, 3, 5, 6, 7, 13, 14};

// The next channel after `current` that has sound and is visible, in
// increasing order, wrapping to 0 after the highest; -1 when none.
int NextAudioChannel(int current, uint16_t withSound, uint16_t visible);

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  explicit MainWindow(services::AppServices& services, QWidget* parent = nullptr);
  ~MainWindow() override;

  // --- connection ---
  // The connect dialog (modal); connects when confirmed. False when cancelled
  // or not available (removable mode, already connected).
  bool ShowConnectDialog();
  // Creates the connection with these values and starts its thread.
  void Connect(const ConnectParams& params);
  // The close sequence; resets the connection's buttons. Does nothing
  // without a connection.
  void Disconnect();
  bool HasConnection() const { return m_connection != nullptr; }
  DvrSession* Session() const;
  LiveController* Live() const;

  // --- notices ---
  // Shows the notice window; category 2 first closes the connection. False
  // when dropped because another notice is still shown.
  bool ShowNotice(Notice notice);
  NoticeWindow* CurrentNotice() const;

  // --- parts, for the commands and for tests ---
  CVideoView* VideoView() const;
  // A command button by its name: "Connect", "Live", "Ch1".."Ch16",
  // "Layout1".."Layout16", "Play1".."Play7", "Save", ... Null when unknown.
  QAbstractButton* Command(const QString& name) const;
  QSlider* VolumeSlider() const { return m_volume; }
  QSlider* PlaybackSlider() const { return m_playbackSlider; }
  int AudioChannel() const { return m_audioChannel; }
  uint16_t SoundChannels() const { return m_soundChannels; }
  bool SnapshotsPending() const;
  QString ClockText() const;

  // --- commands ---
  void TakeSnapshots();
  void OpenImage();
  void OpenLocalLog();
  void OpenLocalSetup();
  // The local-setup dialog's OK: applies and saves the settings; a changed
  // draw mode rebuilds the video view (a connection is closed and opened
  // again with the same values, since its decoders draw into the old view).
  void ApplyLocalSetup(const services::LocalSetup& setup);
  // Orderly end: stops live view, closes the connection, closes the window.
  void Quit();

  // --- search and remote playback (main_window_playback.cpp) ---
  // "RSearch": opens the search window (one at a time) with the playback or
  // backup right, else notice 15/0.
  void OpenSearch();
  RecordingSearchWindow* SearchWindow() const;
  // The playback screen's time bar, shown while a remote playback runs.
  PlaybackTimeBar* PlaybackBar() const { return m_playbackBar; }
  // The playback buttons by code: 1 step back, 2 reverse, 3 forward,
  // 4 pause, 7 step forward; 6 stops.
  void OnPlayButton(int code);
  bool RemotePlaybackRunning() const;

  // --- downloads and local playback (main_window_local.cpp) ---
  // The download's progress window while one runs.
  DownloadProgressWindow* DownloadProgress() const;
  // "LSearch": the local playback window (no connection needed).
  void OpenLocalPlayback();
  LocalPlaybackWindow* LocalWindow() const;
  // Plays the Download folder's pairs from `start` (to `end`, 0 = none);
  // notice 4/0 when no recording holds the start.
  bool StartLocalPlayback(uint32_t start, uint32_t end);
  // Button 6 or the window's close: stops the player, closes the window.
  void CloseLocalPlayback();
  bool LocalPlaybackOpen() const;
  LocalPlayer* Local() const { return m_localPlayer.get(); }
  ExportDialog* Export() const;

  // --- PTZ (main_window_ptz.cpp) ---
  // The "Pan" (0) and "Zoom" (1) commands: live view only, with the PTZ
  // right; opens the panel, switches its mode, or closes it when it already
  // shows that mode.
  void OpenPtz(int mode);
  // Live stop and disconnect: ends a running preset action, destroys the panels.
  void ClosePtz();
  CPtzPanel* PtzPanel() const;
  CPresetPanel* PresetPanel() const;
  CDomeMenuPanel* DomeMenuPanel() const;
  PtzControl* Ptz() const;

  // --- remote setup (main_window_setup.cpp) ---
  // "RSetup": with the setup right asks for the database (the window opens
  // when it has arrived), else notice 15/0.
  void OpenRemoteSetup();
  // A saved record opened for review, without a recorder. False (with the
  // reason) when the file is refused.
  bool OpenSetupFile(const QString& path, QString* error = nullptr);
  SetupWindow* SetupWindowShown() const;
  // Answers the questions of notices 7/x (send again?) and 16/0 (reset?);
  // null asks with a message box.
  void SetQuestionHook(std::function<bool(Notice)> hook) { m_question = std::move(hook); }
  // --- firmware upgrade (main_window_firmware.cpp) ---
  // "FirmUp": scans the Upgrade folder and opens the window, or shows why not
  // (15/0, 11/1). Closing it after a success offers the reboot (8/5).
  void OpenFirmware();
  FirmwareWindow* FirmwareWindowShown() const;
  // The camera's own menu is being driven: layout and channel commands are ignored.
  bool PtzMenuMode() const;
  // The current PTZ channel, -1 when none was chosen.
  int PtzChannel() const { return m_ptzChannel; }

 signals:
  void connectionChanged(bool connected);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // main_window.cpp: building
  void BuildControls();
  SkinButton* AddButton(const QString& command, const char* picture, const char* textKey, const char* caption,
                        QRect geometry);
  void CreateVideoView();
  void RefreshState();
  void UpdateLayoutHighlight();
  void UpdateSoundMarks();
  void SetLaterFeaturesDisabled();

  // main_window_commands.cpp: the command handlers
  void OnChannel(int channel);
  void OnLayout(int index);
  void OnFull();
  void OnConnect();
  void OnLive();
  void OnAudio();
  void OnRecord();
  void OnSelAudio();
  void OnSound();
  void OnVolume(int value);
  void OnVisibleChannels(quint16 mask);
  void OnSnapshotReady(int channel, const QByteArray& picture, int width, int height, bool rgb,
                       const QString& timeText);
  void ReapSnapshotWriters();

  // main_window_connection.cpp: reports from the connection
  void OnNotice(int category, int code);
  void OnSessionState(int state);
  void OnIdentity(int channels);
  void OnSoundChannels(quint16 mask);
  // `always`: ask again even when the mask equals the last one asked.
  void RequestVisible(uint16_t mask, bool always = false);
  // Deletes connections that were closed but whose deletion is still pending.
  void ReleaseClosedConnections();

  // main_window_playback.cpp
  void BuildPlaybackControls();
  void ConnectPlayback();
  void OnPlaybackStarted();
  void OnPlaybackStopped(bool reopenSearch);
  void OnPlaybackLit(int mode);
  void OnPlaybackShownTime(quint32 time);
  void OnPlaybackSpeed(int speed);
  void OnSearchAccess(int access, bool stopPlayback);
  void OnPlaybackJump(uint32_t time);
  void OnPlaybackKey(int key);
  void UpdatePlaybackButtons();
  void UpdatePlaybackState();
  void LeavePlaybackScreen();

  // main_window_local.cpp
  void ConnectDownload();
  void BuildLocalControls();
  void OnDownloadStarted(quint32 estimateKiB);
  void OnDownloadEnded(const QString& error);
  bool LocalAllowed(int code) const;
  void OnLocalButton(int code);
  void OnLocalShownTime(quint32 time);
  void UpdateLocalState();
  void OnSliderMoved();
  void OpenExport();

  // main_window_ptz.cpp: the panels' reports
  void OnPtzKey(int key, bool pressed);
  void OnPtzCentre();
  void OnPresetAction(int action, int number);
  void OnPresetMenu();
  void OnPresetClosed();
  void OnDomeMenu(int command);
  void OnPtzAvailability(bool steerable);
  // A channel shown alone or clicked while the panel is open becomes the PTZ channel.
  void FollowPtzChannel(int channel);
  int PtzPanelMode() const;  // -1 without a panel

  // main_window_setup.cpp
  void BuildSetupControls();
  void ConnectSetup();
  void OnSetupDatabaseReady();
  void OnSetupFinished(int result);
  void CloseSetupWindow();
  bool Ask(Notice notice);
  void AskResendSetup(Notice notice);
  void ConfirmInitialize();

  // main_window_firmware.cpp
  void BuildFirmwareControls();
  void ConnectFirmware();
  void OnFirmwareClosed();

  services::AppServices& m_services;
  MainVideoView* m_view = nullptr;
  GuiConnection* m_connection = nullptr;
  QPointer<NoticeWindow> m_notice;

  std::map<QString, SkinButton*> m_commands;
  std::array<SkinButton*, 16> m_channelButtons{};
  std::array<SkinButton*, 9> m_layoutButtons{};
  QSlider* m_volume = nullptr;
  QSlider* m_playbackSlider = nullptr;
  QLabel* m_clock = nullptr;
  QLabel* m_status = nullptr;
  QTimer m_stateTimer;

  bool m_muted = false;
  int m_audioChannel = -1;
  uint16_t m_soundChannels = 0;
  uint32_t m_lastRequestMask = 0;

  std::array<std::vector<std::unique_ptr<pictures::CSnapshotWriter>>, 16> m_writers;
  QTimer m_snapshotTimer;

  QPointer<RecordingSearchWindow> m_search;
  PlaybackTimeBar* m_playbackBar = nullptr;
  int m_playLit = 0;
  bool m_recordingEnded = false;

  QPointer<DownloadProgressWindow> m_progress;
  QPointer<LocalPlaybackWindow> m_localWindow;
  QPointer<ExportDialog> m_export;
  LocalPlayerBridge* m_localBridge = nullptr;
  std::unique_ptr<LocalPlayer> m_localPlayer;
  bool m_liveBeforeLocal = false;
  bool m_sliderFollowing = false;  // the slider is moved by the player, not the user

  QPointer<CPtzPanel> m_ptzPanel;
  QPointer<CPresetPanel> m_presetPanel;
  QPointer<CDomeMenuPanel> m_domeMenuPanel;
  int m_ptzChannel = -1;     // chosen for the open panel
  int m_ptzRemembered = -1;  // the last one chosen, tried first next time
  uint16_t m_ptzPresetNumber = 0;

  QPoint m_dragOffset;
  bool m_dragging = false;
  bool m_closing = false;

  QPointer<SetupWindow> m_setupWindow;
  QPointer<FirmwareWindow> m_firmwareWindow;
  SetupDatabase* m_setupImage = nullptr;  // the connection's image while the window edits it
  std::function<bool(Notice)> m_question;
};

}  // namespace orva::view
