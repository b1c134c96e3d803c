#include "orva/view/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSlider>
#include <QWindow>
#include <ctime>

#include "connection.h"
#include "main_window_view.h"
#include "orva/services/resources.h"
#include "orva/pictures/snapshot.h"
#include "orva/recordings/local_player.h"
#include "orva/view/notice_window.h"
#include "skin_button.h"
#include "skin_style.h"

namespace orva::view {
namespace {

QString Caption(const char* key, const char* fallback) {
  return services::Resources::Text(key, fallback);
}

const char* const kSliderStyle =
    "QSlider::groove:horizontal { height: 4px; background: #30363d; border-radius: 2px; }"
    "QSlider::sub-page:horizontal { background: #2f81f7; border-radius: 2px; }"
    "QSlider::sub-page:horizontal:disabled { background: #3a424c; }"
    "QSlider::handle:horizontal { background: #e6edf3; width: 12px; margin: -5px 0; border-radius: 6px; }"
    "QSlider::handle:horizontal:disabled { background: #545c68; }";

constexpr int kVolumeLeft = kViewLeft + 14 * 50 + 12;

}  // namespace

int NextAudioChannel(int current, uint16_t withSound, uint16_t visible) {
  const uint16_t candidates = withSound & visible;
  if (candidates == 0) return -1;
  for (int step = 1; step <= 16; ++step) {
    const int ch = ((current < 0 ? -1 : current) + step + 16) % 16;
    if (candidates & (1u << ch)) return ch;
  }
  return -1;
}

MainWindow::MainWindow(services::AppServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_services(services) {
  setObjectName(QStringLiteral("mainWindow"));
  setFixedSize(kMainWindowWidth, kMainWindowHeight);
  setWindowTitle(QString::fromStdString(services.Startup().windowTitle));
  const QIcon icon = services::Resources::Icon("app");
  if (!icon.isNull()) setWindowIcon(icon);
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kMainWindowWidth / 2, kMainWindowHeight / 2));
  }

  BuildControls();
  CreateVideoView();
  BuildPlaybackControls();
  BuildLocalControls();
  BuildSetupControls();
  BuildFirmwareControls();
  SetLaterFeaturesDisabled();

  // The speaker starts at the slider's value, mute cleared (the services
  // remembered the old values and restore them at exit).
  m_services.Volume().SetMute(false);
  m_services.Volume().SetVolume(kVolumeStart);

  m_stateTimer.setInterval(250);
  connect(&m_stateTimer, &QTimer::timeout, this, &MainWindow::RefreshState);
  m_stateTimer.start();
  m_snapshotTimer.setInterval(1000);
  connect(&m_snapshotTimer, &QTimer::timeout, this, &MainWindow::ReapSnapshotWriters);
  RefreshState();
}

MainWindow::~MainWindow() {
  m_closing = true;
  // The player draws into the view and writes the local log: it goes first.
  m_localPlayer.reset();
  Disconnect();
  // Closed connections still hold the view: they go before it does.
  ReleaseClosedConnections();
  // Writers join their threads as they go.
  for (auto& slot : m_writers) slot.clear();
}

SkinButton* MainWindow::AddButton(const QString& command, const char* picture, const char* textKey, const char* caption,
                                  QRect geometry) {
  auto* button = new SkinButton(command, picture, Caption(textKey, caption), this);
  button->setGeometry(geometry);
  if (picture) {
    const QByteArray tipKey = QByteArray("tip.") + picture;
    const QString tip = services::Resources::Text(tipKey.constData());
    if (tip != QLatin1String(tipKey)) button->setToolTip(tip);
  }
  m_commands[command] = button;
  return button;
}

void MainWindow::BuildControls() {
  // Top bar: title and state, playback keys with the record key, clock, Min and Quit.
  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("status"));
  m_status->setGeometry(20, 34, 270, 20);
  m_status->setStyleSheet(QStringLiteral("color: #8b949e; font-size: 11px;"));

  static const char* const playCaptions[7] = {"\u23EA", "\u25C0", "\u25B6", "\u23F8", "\u23FA", "\u23F9", "\u23E9"};
  static const char* const playKeys[7] = {"button.play1", "button.play2", "button.play3", "button.play4",
                                          "button.play5", "button.play6", "button.play7"};
  for (int i = 0; i < 7; ++i) {
    const QString name = QStringLiteral("Play%1").arg(i + 1);
    const QByteArray picture = QStringLiteral("play%1").arg(i + 1).toLatin1();
    AddButton(name, picture.constData(), playKeys[i], playCaptions[i], QRect(300 + i * 38, 20, 34, 28));
  }
  m_commands["Play5"]->SetAccent(skin::kRecord);
  connect(m_commands["Play5"], &QAbstractButton::clicked, this, &MainWindow::OnRecord);

  m_playbackSlider = new QSlider(Qt::Horizontal, this);
  m_playbackSlider->setObjectName(QStringLiteral("playbackSlider"));
  m_playbackSlider->setStyleSheet(QString::fromLatin1(kSliderStyle));
  m_playbackSlider->setGeometry(574, 26, 124, 16);

  m_clock = new QLabel(this);
  m_clock->setObjectName(QStringLiteral("clock"));
  m_clock->setAlignment(Qt::AlignCenter);
  m_clock->setGeometry(708, 16, 150, 40);
  m_clock->setStyleSheet(QStringLiteral(
      "color: #7ee787; background: #0d1117; border: 1px solid #30363d; border-radius: 5px;"
      "font-family: 'DejaVu Sans Mono', monospace; font-size: 12px;"));

  AddButton("Min", "min", "button.min", "\u2013", QRect(868, 12, 24, 22));
  AddButton("Quit", "quit", "button.quit", "\u2715", QRect(896, 12, 24, 22))->SetAccent(skin::kRecord);
  connect(m_commands["Min"], &QAbstractButton::clicked, this, &QWidget::showMinimized);
  connect(m_commands["Quit"], &QAbstractButton::clicked, this, &MainWindow::Quit);

  // Left column: channels 1-16.
  for (int ch = 0; ch < 16; ++ch) {
    const QByteArray picture = QStringLiteral("channel%1").arg(ch + 1, 2, 10, QLatin1Char('0')).toLatin1();
    SkinButton* b = AddButton(QStringLiteral("Ch%1").arg(ch + 1), picture.constData(), "", "",
                              QRect(8, kViewTop + 2 + ch * 34, 38, 30));
    b->setText(QString::number(ch + 1));
    m_channelButtons[static_cast<size_t>(ch)] = b;
    connect(b, &QAbstractButton::clicked, this, [this, ch] { OnChannel(ch); });
  }

  // Right column: layouts, then full screen, on-screen text and arrange.
  for (size_t i = 0; i < kLayoutButtonPanes.size(); ++i) {
    const int panes = kLayoutButtonPanes[i];
    const QByteArray picture = QStringLiteral("layout%1").arg(panes).toLatin1();
    SkinButton* b = AddButton(QStringLiteral("Layout%1").arg(panes), picture.constData(), "", "",
                              QRect(876, kViewTop + 2 + static_cast<int>(i) * 36, 44, 30));
    b->setText(QStringLiteral("\u25A6 %1").arg(panes));
    m_layoutButtons[i] = b;
    connect(b, &QAbstractButton::clicked, this, [this, i] { OnLayout(static_cast<int>(i)); });
  }
  AddButton("Full", "full", "button.full", "Full", QRect(876, 420, 44, 30));
  AddButton("OSD", "osd", "button.osd", "OSD", QRect(876, 456, 44, 30));
  AddButton("Arrange", "arrange", "button.arrange", "Arrange", QRect(876, 492, 44, 30));
  connect(m_commands["Full"], &QAbstractButton::clicked, this, &MainWindow::OnFull);
  connect(m_commands["OSD"], &QAbstractButton::clicked, this, [this] { m_view->SetTextOn(!m_view->TextOn()); });
  connect(m_commands["Arrange"], &QAbstractButton::clicked, this, [this] {
    if (!PtzMenuMode()) m_view->Arrange();
  });

  // Right column, below the layouts: full screen, on-screen text, arrange, audio.
  AddButton("SelAudio", "selaudio", "button.selaudio", "Sel. audio", QRect(876, 528, 44, 30));
  AddButton("Mike", "mike", "button.mike", "Mike", QRect(876, 564, 44, 30));

  // Bottom row: connection, remote and local commands, sound.
  struct Cmd {
    const char* name;
    const char* picture;
    const char* key;
    const char* caption;
  };
  static const Cmd row[14] = {{"Connect", "connect", "button.connect", "Connect"},
                              {"Live", "live", "button.live", "Live"},
                              {"Audio", "audio", "button.audio", "Audio"},
                              {"RSearch", "rsearch", "button.rsearch", "Search"},
                              {"RSetup", "rsetup", "button.rsetup", "Setup"},
                              {"FirmUp", "firmup", "button.firmup", "Firmware"},
                              {"Pan", "pan", "button.pan", "Pan/Tilt"},
                              {"Zoom", "zoom", "button.zoom", "Zoom"},
                              {"LSearch", "lsearch", "button.lsearch", "Local play"},
                              {"LSetup", "lsetup", "button.lsetup", "Local setup"},
                              {"Log", nullptr, "", "Log"},
                              {"Save", "save", "button.save", "Snapshot"},
                              {"Load", "load", "button.load", "Open image"},
                              {"Sound", "sound", "button.sound", "Mute"}};
  for (int i = 0; i < 14; ++i)
    AddButton(row[i].name, row[i].picture, row[i].key, row[i].caption, QRect(kViewLeft + i * 50, 641, 46, 38));

  connect(m_commands["Connect"], &QAbstractButton::clicked, this, &MainWindow::OnConnect);
  connect(m_commands["Live"], &QAbstractButton::clicked, this, &MainWindow::OnLive);
  connect(m_commands["Audio"], &QAbstractButton::clicked, this, &MainWindow::OnAudio);
  connect(m_commands["LSetup"], &QAbstractButton::clicked, this, &MainWindow::OpenLocalSetup);
  connect(m_commands["Log"], &QAbstractButton::clicked, this, &MainWindow::OpenLocalLog);
  connect(m_commands["Save"], &QAbstractButton::clicked, this, &MainWindow::TakeSnapshots);
  connect(m_commands["Load"], &QAbstractButton::clicked, this, &MainWindow::OpenImage);
  connect(m_commands["SelAudio"], &QAbstractButton::clicked, this, &MainWindow::OnSelAudio);
  connect(m_commands["Sound"], &QAbstractButton::clicked, this, &MainWindow::OnSound);
  connect(m_commands["Pan"], &QAbstractButton::clicked, this, [this] { OpenPtz(0); });
  connect(m_commands["Zoom"], &QAbstractButton::clicked, this, [this] { OpenPtz(1); });
  // "Mike" has no effect.

  auto* volumeLabel = new QLabel(Caption("main.volume", "Volume"), this);
  volumeLabel->setGeometry(kVolumeLeft, 640, kViewRight - kVolumeLeft, 16);
  volumeLabel->setStyleSheet(QStringLiteral("color: #8b949e; font-size: 11px;"));
  m_volume = new QSlider(Qt::Horizontal, this);
  m_volume->setObjectName(QStringLiteral("volume"));
  m_volume->setStyleSheet(QString::fromLatin1(kSliderStyle));
  m_volume->setRange(0, 65535);
  m_volume->setValue(kVolumeStart);
  m_volume->setGeometry(kVolumeLeft, 660, kViewRight - kVolumeLeft, 16);
  connect(m_volume, &QSlider::valueChanged, this, &MainWindow::OnVolume);
}

void MainWindow::SetLaterFeaturesDisabled() {
  if (m_services.Removable()) m_commands["Connect"]->setEnabled(false);
}

void MainWindow::CreateVideoView() {
  m_view = new MainVideoView(m_services.Setup().drawMode, this);
  m_view->setObjectName(QStringLiteral("videoView"));
  m_view->setGeometry(kViewLeft, kViewTop, kViewRight - kViewLeft, kViewBottom - kViewTop);
  connect(m_view, &CVideoView::visibleChannelsChanged, this, &MainWindow::OnVisibleChannels);
  connect(m_view, &CVideoView::layoutChanged, this, [this](int, int) { UpdateLayoutHighlight(); });
  connect(m_view, &CVideoView::snapshotReady, this, &MainWindow::OnSnapshotReady);
  connect(m_view, &CVideoView::channelClicked, this, &MainWindow::FollowPtzChannel);
  // The full-screen bar's layout buttons act as the main window's do.
  connect(m_view, &CVideoView::layoutPressed, this, [this](int) {
    UpdateLayoutHighlight();
    RequestVisible(m_view->VisibleChannels(), true);
  });
  m_view->show();
  UpdateLayoutHighlight();
}

DvrSession* MainWindow::Session() const { return m_connection ? &m_connection->Session() : nullptr; }
LiveController* MainWindow::Live() const { return m_connection ? &m_connection->Live() : nullptr; }
CVideoView* MainWindow::VideoView() const { return m_view; }
NoticeWindow* MainWindow::CurrentNotice() const { return m_notice.data(); }

QAbstractButton* MainWindow::Command(const QString& name) const {
  const auto it = m_commands.find(name);
  return it == m_commands.end() ? nullptr : it->second;
}

QString MainWindow::ClockText() const { return m_clock->text(); }

void MainWindow::UpdateLayoutHighlight() {
  const int layout = m_view ? m_view->Layout() : -1;
  for (size_t i = 0; i < m_layoutButtons.size(); ++i) m_layoutButtons[i]->SetLit(kLayoutButtonLayouts[i] == layout);
}

void MainWindow::UpdateSoundMarks() {
  for (int ch = 0; ch < 16; ++ch) {
    SkinButton* b = m_channelButtons[static_cast<size_t>(ch)];
    b->SetSoundMark((m_soundChannels >> ch) & 1u);
    b->SetAudioChannelMark(ch == m_audioChannel);
    // The pane's mark for the connection's per-channel state: the channel
    // delivers sound.
    m_view->SetStatusMark(ch, (m_soundChannels >> ch) & 1u ? StatusMark::kAudio : StatusMark::kNone,
                          kStatusMarkOffsets[2]);
  }
}

void MainWindow::RefreshState() {
  DvrSession* session = Session();
  const bool live = session && session->LiveActive();
  m_commands["Connect"]->SetLit(session != nullptr);
  m_commands["Live"]->SetLit(live);
  m_commands["Audio"]->SetLit(session && session->AudioIndicator());
  m_commands["Sound"]->SetLit(m_muted);
  m_commands["OSD"]->SetLit(m_view && m_view->TextOn());
  m_commands["Full"]->SetLit(m_view && m_view->FullScreen());
  const bool recording = m_connection && m_connection->Device().Recording();
  m_commands["Play5"]->SetLit(recording);
  // The recorder records: a mark after every pane's status text.
  for (int ch = 0; ch < 16; ++ch)
    m_view->SetStatusMark(ch, recording ? StatusMark::kRecord : StatusMark::kNone, kStatusMarkOffsets[1]);
  // The PTZ panel lives only with live view (the recorder may stop it too).
  if (!live && m_ptzPanel) ClosePtz();
  m_commands["Pan"]->setEnabled(live);
  m_commands["Zoom"]->setEnabled(live);
  m_commands["Pan"]->SetLit(m_ptzPanel && PtzPanelMode() == 0);
  UpdatePlaybackButtons();
  m_commands["Zoom"]->SetLit(m_ptzPanel && PtzPanelMode() == 1);

  // The clock: the recorder's time of the last live frame, else this computer's.
  const int dateFormat = m_services.Setup().dateFormat;
  const bool playing = RemotePlaybackRunning();
  const uint32_t frameTime = live      ? m_view->LastFrameTime()
                             : playing ? m_connection->Playback().LastShownTime()
                             : m_localPlayer ? m_localPlayer->ShownTime()
                                             : 0;
  std::string text;
  if (frameTime != 0) {
    text = LocalLogTimeText(static_cast<int32_t>(frameTime), dateFormat);
  } else {
    text = LocalLogTimeText(LocalClockValue(), dateFormat);
  }
  const size_t split = text.find(' ');
  m_clock->setText(split == std::string::npos
                       ? QString::fromStdString(text)
                       : QString::fromStdString(text.substr(0, split)) + QLatin1Char('\n') +
                             QString::fromStdString(text.substr(split + 1)));
  m_clock->setToolTip(frameTime ? Caption("tip.clock.recorder", "Recorder time") : Caption("tip.clock.local", "Local time"));

  QString status;
  if (m_localPlayer) {
    status = Caption("status.local", "Local playback");
  } else if (!session) {
    status = Caption("status.idle", "Not connected");
  } else {
    const QString where = QString::fromStdString(session->Address()) + QLatin1Char(':') + QString::number(session->Port());
    switch (session->State()) {
      case SessionState::kConnecting:
      case SessionState::kGreeting: status = Caption("status.connecting", "Connecting to ") + where; break;
      case SessionState::kReady:
        status = (live      ? Caption("status.live", "Live  ")
                  : playing ? Caption("status.playback", "Playback  ")
                            : Caption("status.ready", "Connected  ")) +
                 where;
        if (!session->Site().empty()) status += QStringLiteral("  \u2022  ") + QString::fromStdString(session->Site());
        break;
      default: status = Caption("status.closing", "Closing ") + where; break;
    }
  }
  if (m_status->text() != status) m_status->setText(status);
}

void MainWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPixmap skinPicture = services::Resources::Picture("main");
  if (!skinPicture.isNull()) {
    p.drawPixmap(rect(), skinPicture);
  } else {
    QLinearGradient bg(0, 0, 0, height());
    bg.setColorAt(0, QColor(30, 34, 40));
    bg.setColorAt(1, QColor(18, 20, 24));
    p.fillRect(rect(), bg);
  }
  p.setRenderHint(QPainter::Antialiasing);
  // Top bar and bottom panel.
  QPainterPath top;
  top.addRoundedRect(QRectF(6, 6, width() - 12, 58), 8, 8);
  p.fillPath(top, QColor(255, 255, 255, 10));
  QPainterPath bottom;
  bottom.addRoundedRect(QRectF(kViewLeft - 4, 626, kViewRight - kViewLeft + 8, 68), 8, 8);
  p.fillPath(bottom, QColor(255, 255, 255, 8));
  // Title.
  QFont title(QStringLiteral("Arial Bold"));
  title.setPixelSize(18);
  title.setBold(true);
  p.setFont(title);
  p.setPen(skin::kText);
  p.drawText(QRect(20, 10, 270, 24), Qt::AlignLeft | Qt::AlignVCenter, windowTitle());
  p.setPen(Qt::NoPen);
  p.setBrush(HasConnection() ? skin::kSound : QColor(110, 118, 129));
  p.drawEllipse(QRectF(10, 41, 6, 6));
  // A frame around the video view.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(48, 54, 61), 1));
  p.drawRect(QRectF(kViewLeft - 1.5, kViewTop - 1.5, kViewRight - kViewLeft + 3, kViewBottom - kViewTop + 3));
  p.setPen(QPen(QColor(255, 255, 255, 16), 1));
  p.drawRoundedRect(QRectF(0.5, 0.5, width() - 1, height() - 1), 6, 6);
}

// Dragging: any spot of the window that is not a control moves it.
void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  m_dragging = true;
  m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  if (m_dragging && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - m_dragOffset);
}

void MainWindow::mouseReleaseEvent(QMouseEvent*) { m_dragging = false; }

void MainWindow::closeEvent(QCloseEvent* event) {
  // Quit's order: live view stops, then the connection closes.
  m_closing = true;
  CloseLocalPlayback();
  if (m_connection && m_connection->Session().LiveActive()) m_connection->Live().StopLive();
  Disconnect();
  if (m_notice) m_notice->close();
  event->accept();
}

void MainWindow::Quit() { close(); }

}  // namespace orva::view
