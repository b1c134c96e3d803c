#include "firmware_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "orva/link/time_convert.h"
#include "search_pages.h"

namespace orva::view {
namespace {

QString ComponentText(int row, const FirmwareEntry& entry, const RecorderIdentity& identity) {
  const int component = GetIdxToType(row);
  QString name = QString::fromLatin1(identity.firmName[static_cast<size_t>(component)].data()).trimmed();
  if (name.isEmpty()) name = SearchText("firmware.component", "Component %1").arg(component);
  if (!entry.Selected()) return name;
  return SearchText("firmware.candidate", "%1  (build %2)")
      .arg(name, QString::fromStdString(FormatRecorderTime(entry.BuildTime(), 0)));
}

}  // namespace

QString FirmwareWindow::StateText(FirmwareRowState state, int32_t result) {
  switch (state) {
    case FirmwareRowState::kNone:
    case FirmwareRowState::kCandidate: return {};
    case FirmwareRowState::kAnnounced: return SearchText("firmware.announced", "Waiting for the recorder...");
    case FirmwareRowState::kUploading: return SearchText("firmware.uploading", "Uploading...");
    case FirmwareRowState::kTransferred: return SearchText("firmware.transferred", "Transferred, writing...");
    case FirmwareRowState::kDone: return SearchText("firmware.done", "Updated");
    case FirmwareRowState::kRefused:
      switch (result) {
        case 1: return SearchText("firmware.refused.1", "Refused by the recorder");
        case 17: return SearchText("firmware.refused.17", "Refused: the recorder is recording");
        case 18: return SearchText("firmware.refused.18", "Refused: another upgrade is running");
        default: return {};  // other refusals show nothing, the run moves on
      }
    case FirmwareRowState::kFailed: return SearchText("firmware.failed", "Failed (%1)").arg(result);
    case FirmwareRowState::kUnreadable: return SearchText("firmware.unreadable", "The file cannot be read");
    case FirmwareRowState::kCancelled: return SearchText("firmware.cancelled", "Cancelled");
  }
  return {};
}

FirmwareWindow::FirmwareWindow(FirmwareUpgrade& upgrade, const RecorderIdentity& identity, QWidget* parent)
    : QDialog(parent), m_upgrade(upgrade) {
  setObjectName(QStringLiteral("firmwareWindow"));
  setWindowTitle(SearchText("firmware.title", "Firmware upgrade"));
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  const FirmwareRows rows = upgrade.Rows();
  for (int r = 0; r < kFirmwareRows; ++r) {
    const auto i = static_cast<size_t>(r);
    m_boxes[i] = new QCheckBox(this);
    m_boxes[i]->setObjectName(QStringLiteral("firmwareBox%1").arg(r));
    m_components[i] = new QLabel(ComponentText(r, rows[i], identity), this);
    m_progress[i] = new QProgressBar(this);
    m_progress[i]->setObjectName(QStringLiteral("firmwareProgress%1").arg(r));
    m_progress[i]->setRange(0, 100);
    m_progress[i]->setValue(0);
    m_progress[i]->setTextVisible(rows[i].Selected());
    m_status[i] = new QLabel(this);
    m_status[i]->setObjectName(QStringLiteral("firmwareStatus%1").arg(r));
    m_status[i]->setMinimumWidth(220);
    const bool candidate = rows[i].Selected();
    m_boxes[i]->setChecked(candidate && upgrade.Checked(r));
    m_boxes[i]->setEnabled(candidate);
    connect(m_boxes[i], &QCheckBox::toggled, this, [this, r](bool on) {
      m_upgrade.SetChecked(r, on);
      RefreshButtons();
    });
    grid->addWidget(m_boxes[i], r, 0);
    grid->addWidget(m_components[i], r, 1);
    grid->addWidget(m_progress[i], r, 2);
    grid->addWidget(m_status[i], r, 3);
  }
  grid->setColumnStretch(2, 1);
  layout->addLayout(grid);
  auto* buttons = new QHBoxLayout;
  m_start = new QPushButton(SearchText("firmware.start", "Start"), this);
  m_start->setObjectName(QStringLiteral("firmwareStart"));
  m_cancel = new QPushButton(SearchText("firmware.cancel", "Cancel"), this);
  m_cancel->setObjectName(QStringLiteral("firmwareCancel"));
  m_close = new QPushButton(SearchText("firmware.close", "Close"), this);
  m_close->setObjectName(QStringLiteral("firmwareClose"));
  buttons->addStretch(1);
  buttons->addWidget(m_start);
  buttons->addWidget(m_cancel);
  buttons->addWidget(m_close);
  layout->addLayout(buttons);
  connect(m_start, &QPushButton::clicked, this, &FirmwareWindow::Start);
  connect(m_cancel, &QPushButton::clicked, this, &FirmwareWindow::Cancel);
  connect(m_close, &QPushButton::clicked, this, &FirmwareWindow::reject);
  resize(640, sizeHint().height());
  RefreshButtons();
}

void FirmwareWindow::Start() {
  if (m_upgrade.Running()) return;
  m_upgrade.Start();
  RefreshButtons();
}

void FirmwareWindow::Cancel() {
  m_upgrade.Cancel();
  RefreshButtons();
}

void FirmwareWindow::reject() {
  if (m_upgrade.Running()) m_upgrade.Cancel();
  QDialog::reject();
}

void FirmwareWindow::OnRowChanged(int row, int state, int result) {
  if (row < 0 || row >= kFirmwareRows) return;
  const auto s = static_cast<FirmwareRowState>(state);
  m_status[static_cast<size_t>(row)]->setText(StateText(s, result));
  if (s == FirmwareRowState::kTransferred || s == FirmwareRowState::kDone) m_progress[static_cast<size_t>(row)]->setValue(100);
  if (s == FirmwareRowState::kAnnounced) m_progress[static_cast<size_t>(row)]->setValue(0);
  RefreshButtons();
}

void FirmwareWindow::OnProgress(int row, int percent) {
  if (row >= 0 && row < kFirmwareRows) m_progress[static_cast<size_t>(row)]->setValue(percent);
}

void FirmwareWindow::OnRunFinished() { RefreshButtons(); }

void FirmwareWindow::RefreshButtons() {
  const bool running = m_upgrade.Running();
  const FirmwareRows rows = m_upgrade.Rows();
  for (int r = 0; r < kFirmwareRows; ++r) {
    const auto i = static_cast<size_t>(r);
    // While a run goes on the boxes keep their state but cannot change; after
    // it, the rows not yet sent can be chosen again.
    m_boxes[i]->setEnabled(!running && rows[i].Selected());
  }
  m_start->setEnabled(m_upgrade.CanStart());
  m_cancel->setEnabled(running);
}

}  // namespace orva::view
