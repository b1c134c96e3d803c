// The main window's side of the recorder connection: connecting through the
// dialog or directly, the close sequence, and the reports that come back.
#include "connection.h"
#include "firmware_window.h"
#include "main_window_view.h"
#include "orva/view/connect_dialog.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "download_progress.h"
#include "orva/view/search_window.h"
#include "skin_button.h"
#include "skin_style.h"

namespace orva::view {

bool MainWindow::ShowConnectDialog() {
  if (m_services.Removable() || m_connection) return false;
  ConnectDialog dialog(m_services.Paths().log, m_services.Setup().opacity[0], this);
  if (dialog.exec() != QDialog::Accepted) return false;
  const ConnectValues& v = dialog.Values();
  ConnectParams params;
  params.address = v.address;
  params.port = v.port;
  params.user = v.user;
  params.password = v.password;
  params.site = v.site;
  Connect(params);
  return true;
}

void MainWindow::Connect(const ConnectParams& params) {
  if (m_connection || m_closing) return;
  m_connection = new GuiConnection(params, m_services, *m_view, this);
  connect(m_connection, &GuiConnection::noticePosted, this, &MainWindow::OnNotice);
  connect(m_connection, &GuiConnection::stateChanged, this, &MainWindow::OnSessionState);
  connect(m_connection, &GuiConnection::identityArrived, this, &MainWindow::OnIdentity);
  connect(m_connection, &GuiConnection::audioChannelsChanged, this, &MainWindow::OnSoundChannels);
  connect(m_connection, &GuiConnection::ptzAvailabilityChanged, this, &MainWindow::OnPtzAvailability);
  // The PTZ command of the panel's mode finds the right gone and stops PTZ control.
  connect(m_connection, &GuiConnection::ptzRightWithdrawn, this, [this] {
    if (m_ptzPanel) OpenPtz(PtzPanelMode());
  });
  connect(m_connection, &GuiConnection::recordingChanged, this, [this](bool on) { m_commands["Play5"]->SetLit(on); });
  connect(m_connection, &GuiConnection::audioIndicatorChanged, this, [this](bool on) { m_commands["Audio"]->SetLit(on); });
  ConnectPlayback();
  ConnectDownload();
  ConnectSetup();
  ConnectFirmware();
  m_lastRequestMask = 0xFFFF;  // the handshake asks for every channel
  m_connection->Open();
  RefreshState();
  update();
  emit connectionChanged(true);
}

void MainWindow::Disconnect() {
  if (!m_connection) return;
  // Forget the object first: a second request while this one runs finds none.
  ClosePtz();
  // A setup window on this recorder's record ends as Cancel.
  CloseSetupWindow();
  // The firmware window shows this connection's upload; the close sequence stops it.
  delete m_firmwareWindow.data();
  // The search window hands its selection to the connection as it goes.
  delete m_search.data();
  // The close sequence ends the download; its report would come to nobody.
  delete m_progress.data();
  LeavePlaybackScreen();
  GuiConnection* connection = m_connection;
  m_connection = nullptr;
  connection->Close();
  // Reports still queued for it are of no interest any more.
  connection->disconnect(this);
  connection->deleteLater();
  m_view->ForgetFrameTime();
  m_soundChannels = 0;
  m_audioChannel = -1;
  m_lastRequestMask = 0;
  UpdateSoundMarks();
  for (const char* name : {"Connect", "Live", "Audio", "Play5"}) m_commands[QString::fromLatin1(name)]->SetLit(false);
  RefreshState();
  update();
  emit connectionChanged(false);
}

void MainWindow::ReleaseClosedConnections() {
  for (GuiConnection* closed : findChildren<GuiConnection*>(Qt::FindDirectChildrenOnly))
    if (closed != m_connection) delete closed;
}

bool MainWindow::ShowNotice(Notice notice) {
  // Category 2: the connection has ended; close it before telling the user.
  if (notice.category == kNoticeConnectionClosed.category) Disconnect();
  if (m_notice && m_notice->isVisible()) return false;
  if (m_closing) return false;
  auto* window = new NoticeWindow(notice, m_services.Setup().opacity[static_cast<size_t>(skin::OpacitySlot::kNotice) - 1], this);
  m_notice = window;
  window->show();
  window->move(geometry().center() - window->rect().center());
  return true;
}

void MainWindow::OnNotice(int category, int code) {
  const Notice notice{static_cast<uint16_t>(category), static_cast<uint16_t>(code)};
  // A refused setup asks whether to send it again.
  if (category == 7) {
    AskResendSetup(notice);
    return;
  }
  ShowNotice(notice);
}

void MainWindow::OnSessionState(int state) {
  // A connect attempt that failed returns the session to Idle on its own;
  // the connection object goes with it.
  if (static_cast<SessionState>(state) == SessionState::kIdle && m_connection &&
      m_connection->Session().State() == SessionState::kIdle)
    Disconnect();
  else
    RefreshState();
}

void MainWindow::OnIdentity(int) {
  m_lastRequestMask = 0xFFFF;
  RefreshState();
}

void MainWindow::OnSoundChannels(quint16 mask) {
  m_soundChannels = mask;
  if (m_audioChannel >= 0 && !((mask >> m_audioChannel) & 1u)) m_audioChannel = -1;
  // The first channel heard becomes the audio channel until the user picks one.
  if (m_audioChannel < 0 && mask != 0)
    for (int ch = 0; ch < 16; ++ch)
      if ((mask >> ch) & 1u) {
        m_audioChannel = ch;
        break;
      }
  UpdateSoundMarks();
}

}  // namespace orva::view
