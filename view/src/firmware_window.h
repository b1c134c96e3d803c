// "FirmUp": the upgrade folder's candidates in six rows (check box,
// component, progress, verdict), Start and Cancel. The core object does the
// work; this window shows it and is told of every change on the GUI thread.
#pragma once

#include <QDialog>
#include <array>

#include "orva/link/firmware.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace orva::view {

class FirmwareWindow : public QDialog {
  Q_OBJECT
 public:
  FirmwareWindow(FirmwareUpgrade& upgrade, const RecorderIdentity& identity, QWidget* parent = nullptr);

  // From the connection's firmware reports (GUI thread).
  void OnRowChanged(int row, int state, int result);
  void OnProgress(int row, int percent);
  void OnRunFinished();

  // The verdict text a row shows.
  static QString StateText(FirmwareRowState state, int32_t result);

 protected:
  void reject() override;  // Escape and the close box end a running upload first

 private:
  void Start();
  void Cancel();
  void RefreshButtons();

  FirmwareUpgrade& m_upgrade;
  std::array<QCheckBox*, kFirmwareRows> m_boxes{};
  std::array<QLabel*, kFirmwareRows> m_components{};
  std::array<QProgressBar*, kFirmwareRows> m_progress{};
  std::array<QLabel*, kFirmwareRows> m_status{};
  QPushButton* m_start = nullptr;
  QPushButton* m_cancel = nullptr;
  QPushButton* m_close = nullptr;
};

}  // namespace orva::view
