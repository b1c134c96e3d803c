// The main window's side of the firmware upgrade: "FirmUp" (connected, user
// account 0), the scan of the Upgrade folder, the window, and the reboot the
// user is offered when anything was updated.
#include "connection.h"
#include "firmware_window.h"
#include "orva/services/app_services.h"
#include "orva/view/main_window.h"
#include "skin_button.h"

namespace orva::view {

void MainWindow::BuildFirmwareControls() {
  connect(m_commands["FirmUp"], &QAbstractButton::clicked, this, &MainWindow::OpenFirmware);
}

void MainWindow::ConnectFirmware() {
  connect(m_connection, &GuiConnection::firmwareRowChanged, this, [this](int row, int state, int result) {
    if (m_firmwareWindow) m_firmwareWindow->OnRowChanged(row, state, result);
  });
  connect(m_connection, &GuiConnection::firmwareProgress, this, [this](int row, int percent) {
    if (m_firmwareWindow) m_firmwareWindow->OnProgress(row, percent);
  });
  connect(m_connection, &GuiConnection::firmwareRunFinished, this, [this](int) {
    if (m_firmwareWindow) m_firmwareWindow->OnRunFinished();
  });
}

FirmwareWindow* MainWindow::FirmwareWindowShown() const { return m_firmwareWindow.data(); }

void MainWindow::OpenFirmware() {
  if (!m_connection || !m_connection->Session().Connected() || m_firmwareWindow) return;
  const Notice found =
      m_connection->Firmware().BeginCommand(m_services.Paths().upgrade.string());
  if (found != kNoticeFirmwareFound) {
    ShowNotice(found);  // 15/0 not permitted, 11/1 nothing to upgrade
    return;
  }
  auto* window = new FirmwareWindow(m_connection->Firmware(), m_connection->Session().Identity(), this);
  window->setAttribute(Qt::WA_DeleteOnClose);
  m_firmwareWindow = window;
  connect(window, &QDialog::finished, this, &MainWindow::OnFirmwareClosed);
  window->open();
  RefreshState();
}

void MainWindow::OnFirmwareClosed() {
  // The window deletes itself once this returns; the command is no longer lit.
  m_firmwareWindow = nullptr;
  RefreshState();
  if (!m_connection) return;
  const QPointer<GuiConnection> alive(m_connection);
  if (m_connection->Firmware().Successes() <= 0) return;
  // The updated components run only after a restart.
  if (!Ask(kNoticeRebootAfterUpgrade) || !alive || alive != m_connection) return;
  if (alive->Device().Reboot(alive->Rights().Has(Right::kReboot)) == RequestOutcome::kNotPermitted)
    ShowNotice(kNoticeNotPermitted);
}

}  // namespace orva::view
