// The main window's side of the PTZ panels: opening and closing the pad,
// turning its keys, presets and dome-menu keys into requests on the
// connection, and following the channel the user shows.
#include <vector>

#include "connection.h"
#include "main_window_view.h"
#include "orva/link/ptz_control.h"
#include "orva/view/layout_geometry.h"
#include "orva/view/main_window.h"
#include "orva/view/ptz_panel.h"
#include "skin_button.h"

namespace orva::view {

CPtzPanel* MainWindow::PtzPanel() const { return m_ptzPanel.data(); }
CPresetPanel* MainWindow::PresetPanel() const { return m_presetPanel.data(); }
CDomeMenuPanel* MainWindow::DomeMenuPanel() const { return m_domeMenuPanel.data(); }
PtzControl* MainWindow::Ptz() const { return m_connection ? &m_connection->Ptz() : nullptr; }
bool MainWindow::PtzMenuMode() const { return m_connection && m_ptzPanel && m_connection->Ptz().MenuMode(); }
int MainWindow::PtzPanelMode() const { return m_ptzPanel ? m_ptzPanel->Mode() : -1; }

void MainWindow::OpenPtz(int mode) {
  if (!m_connection || !m_connection->Session().LiveActive()) return;
  if (!m_connection->Rights().Has(Right::kPtz)) {
    // Also the path a withdrawn right takes: an open panel stops PTZ control.
    if (m_ptzPanel) ClosePtz();
    ShowNotice(kNoticeNotPermitted);
    return;
  }
  mode = mode == 1 ? 1 : 0;
  PtzControl& ptz = m_connection->Ptz();
  if (m_ptzPanel) {
    // The button of the mode already shown closes the panel.
    if (m_ptzPanel->Mode() == mode) {
      ClosePtz();
      return;
    }
    m_ptzPanel->SetMode(mode);
    if (m_ptzChannel >= 0) ptz.SelectChannel(m_ptzChannel, static_cast<PtzMode>(mode));
    m_ptzPanel->show();
    m_ptzPanel->raise();
    m_ptzPanel->activateWindow();
    m_ptzPanel->setFocus();
    RefreshState();
    return;
  }

  // The channel: the remembered one if shown with video, else the first shown
  // pane's channel with video, in pane order.
  std::vector<int> shown;
  for (int window : PageWindows(m_view->Layout(), m_view->Page()))
    if (window >= 0) shown.push_back(m_view->ChannelInWindow(window));
  m_ptzChannel = ChoosePtzChannel(m_ptzRemembered, shown.data(), static_cast<int>(shown.size()),
                                  m_connection->Live().VideoLoss());
  if (m_ptzChannel >= 0) {
    m_ptzRemembered = m_ptzChannel;
    ptz.SelectChannel(m_ptzChannel, static_cast<PtzMode>(mode));
  }

  const uint8_t opacity = m_services.Setup().opacity[kPtzOpacitySlot - 1];
  auto* panel = new CPtzPanel(mode, opacity, this);
  m_ptzPanel = panel;
  connect(panel, &CPtzPanel::keyPressed, this, [this](int key) { OnPtzKey(key, true); });
  connect(panel, &CPtzPanel::keyReleased, this, [this](int key) { OnPtzKey(key, false); });
  // The panel's own mode buttons only switch to the other mode; the main
  // window's buttons (and "X") are the ones that close it.
  connect(panel, &CPtzPanel::modeClicked, this, [this](int clicked) {
    if (m_ptzPanel && m_ptzPanel->Mode() != clicked) OpenPtz(clicked);
  });
  connect(panel, &CPtzPanel::centreClicked, this, &MainWindow::OnPtzCentre);
  // "X" takes the same path as the button of the mode shown.
  connect(panel, &CPtzPanel::closeClicked, this, [this] {
    if (m_ptzPanel) OpenPtz(m_ptzPanel->Mode());
  });
  panel->move(mapToGlobal(QPoint(kPtzPanelOffsetX, kPtzPanelOffsetY)));
  panel->show();
  panel->activateWindow();
  panel->setFocus();
  RefreshState();
}

void MainWindow::ClosePtz() {
  if (m_connection) m_connection->Ptz().ClosePanel();  // ends a running preset action
  m_ptzChannel = -1;
  if (m_view) m_view->SetMenuMode(false);
  // Hidden at once, deleted later: the close may come from one of their own buttons.
  for (QWidget* w : std::initializer_list<QWidget*>{m_presetPanel.data(), m_domeMenuPanel.data(), m_ptzPanel.data()}) {
    if (!w) continue;
    w->disconnect(this);
    w->hide();
    w->deleteLater();
  }
  m_presetPanel = nullptr;
  m_domeMenuPanel = nullptr;
  m_ptzPanel = nullptr;
  if (!m_closing) {
    m_commands["Pan"]->SetLit(false);
    m_commands["Zoom"]->SetLit(false);
  }
}

void MainWindow::OnPtzKey(int key, bool pressed) {
  // Keys count only while live view runs with the panel open on a channel.
  if (!m_connection || !m_ptzPanel || m_ptzChannel < 0 || key < 0 || key > 3) return;
  if (pressed)
    m_connection->Ptz().KeyPressed(static_cast<PtzKey>(key));
  else
    m_connection->Ptz().KeyReleased();
}

void MainWindow::OnPtzCentre() {
  if (!m_connection || !m_ptzPanel) return;
  if (m_connection->Ptz().MenuMode()) {
    if (m_presetPanel) m_presetPanel->close();
    return;
  }
  if (!m_presetPanel) {
    auto* panel = new CPresetPanel(m_services.Setup().opacity[kPtzOpacitySlot - 1], this);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    m_presetPanel = panel;
    connect(panel, &CPresetPanel::actionClicked, this, &MainWindow::OnPresetAction);
    connect(panel, &CPresetPanel::menuClicked, this, &MainWindow::OnPresetMenu);
    connect(panel, &CPresetPanel::closed, this, &MainWindow::OnPresetClosed);
    // Lower left of the main window, its top 261 pixels above the window's bottom edge.
    panel->move(mapToGlobal(QPoint(0, height() - kPresetPanelAboveBottom)));
    panel->SetBusy(m_connection->Ptz().PresetRunning());
  }
  m_presetPanel->show();
  m_presetPanel->raise();
}

void MainWindow::OnPresetAction(int action, int number) {
  if (!m_connection || number < 0 || number > 65535) return;
  PtzControl& ptz = m_connection->Ptz();
  if (ptz.Preset(action, static_cast<uint16_t>(number)) && action == 2) m_ptzPresetNumber = static_cast<uint16_t>(number);
  if (m_presetPanel) m_presetPanel->SetBusy(ptz.PresetRunning());
}

void MainWindow::OnPresetClosed() {
  m_presetPanel = nullptr;  // deletes itself on close
  // A running preset action ends with the panel that started it.
  if (m_connection && m_connection->Ptz().PresetRunning()) m_connection->Ptz().Preset(3, m_ptzPresetNumber);
}

void MainWindow::OnPresetMenu() {
  if (!m_connection || !m_ptzPanel) return;
  m_connection->Ptz().DomeMenu(kPtzDomeMenuAccess);
  if (m_presetPanel) m_presetPanel->close();
  m_view->SetMenuMode(true);
  if (!m_domeMenuPanel) {
    auto* panel = new CDomeMenuPanel(m_services.Setup().opacity[kPtzOpacitySlot - 1], this);
    m_domeMenuPanel = panel;
    connect(panel, &CDomeMenuPanel::commandClicked, this, &MainWindow::OnDomeMenu);
    panel->move(mapToGlobal(QPoint(width(), kPtzPanelOffsetY)));
  }
  m_domeMenuPanel->show();
}

void MainWindow::OnDomeMenu(int command) {
  if (!m_connection || command < kPtzMenuEnter || command > kPtzDomeMenuLeave) return;
  m_connection->Ptz().DomeMenu(static_cast<uint8_t>(command));
  if (command != kPtzDomeMenuLeave) return;
  m_view->SetMenuMode(false);
  if (m_domeMenuPanel) {
    m_domeMenuPanel->disconnect(this);
    m_domeMenuPanel->hide();
    m_domeMenuPanel->deleteLater();
    m_domeMenuPanel = nullptr;
  }
}

void MainWindow::OnPtzAvailability(bool steerable) {
  if (m_ptzPanel) m_ptzPanel->SetSteerable(steerable);
}

void MainWindow::FollowPtzChannel(int channel) {
  if (!m_connection || !m_ptzPanel || !m_connection->Session().LiveActive() || channel < 0 || channel > 15) return;
  m_ptzChannel = m_ptzRemembered = channel;
  m_connection->Ptz().SelectChannel(channel, static_cast<PtzMode>(m_ptzPanel->Mode()));
}

}  // namespace orva::view
