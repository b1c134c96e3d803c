#include "orva/view/local_setup_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "orva/services/resources.h"
#include "skin_style.h"

namespace orva::view {
namespace {

QString Label(const char* key, const char* fallback) {
  return services::Resources::Text(key, fallback);
}

QComboBox* Choice(QWidget* parent, std::initializer_list<const char*> items, int current) {
  auto* box = new QComboBox(parent);
  for (const char* item : items) box->addItem(QString::fromUtf8(item));
  box->setCurrentIndex(std::clamp(current, 0, box->count() - 1));
  return box;
}

}  // namespace

LocalSetupDialog::LocalSetupDialog(const services::LocalSetup& setup, bool removable, QWidget* parent)
    : QDialog(parent), m_setup(setup) {
  setObjectName(QStringLiteral("localSetupDialog"));
  setWindowTitle(Label("dialog.lsetup.title", "Local setup"));
  skin::StyleDialog(this, setup.opacity[static_cast<size_t>(skin::OpacitySlot::kLocalSetup) - 1]);

  m_drawMode = Choice(this, {"YUV (OpenGL)", "RGB"}, setup.drawMode);
  m_dateFormat = Choice(this, {"YYYY-MM-DD", "MM-DD-YYYY", "DD-MM-YYYY"}, setup.dateFormat);
  m_saveFormat = Choice(this, {"JPEG", "BMP", "TIFF"}, setup.saveFormat);
  m_location = new QLineEdit(QString::fromStdString(setup.location), this);
  m_location->setMaxLength(259);
  m_browse = new QPushButton(QStringLiteral("…"), this);
  m_browse->setMinimumWidth(32);
  m_browse->setMaximumWidth(40);
  // In removable mode the base folder belongs to the medium.
  m_location->setEnabled(!removable);
  m_browse->setEnabled(!removable);
  connect(m_browse, &QPushButton::clicked, this, [this] {
    const QString dir = QFileDialog::getExistingDirectory(this, Label("dialog.lsetup.location", "Folder"),
                                                          m_location->text(), QFileDialog::DontUseNativeDialog);
    if (!dir.isEmpty()) m_location->setText(dir);
  });

  auto* locationRow = new QHBoxLayout;
  locationRow->addWidget(m_location, 1);
  locationRow->addWidget(m_browse);

  auto* general = new QGroupBox(Label("dialog.lsetup.general", "Display and files"), this);
  auto* form = new QFormLayout(general);
  form->addRow(Label("dialog.lsetup.draw_mode", "Draw mode"), m_drawMode);
  form->addRow(Label("dialog.lsetup.date_format", "Date format"), m_dateFormat);
  form->addRow(Label("dialog.lsetup.save_format", "Snapshot format"), m_saveFormat);
  form->addRow(Label("dialog.lsetup.location", "Folder"), locationRow);

  auto* opacity = new QGroupBox(Label("dialog.lsetup.opacity", "Window opacity (0-255)"), this);
  auto* grid = new QGridLayout(opacity);
  for (int i = 0; i < 9; ++i) {
    auto* box = new QSpinBox(opacity);
    box->setRange(0, 255);
    box->setValue(setup.opacity[static_cast<size_t>(i)]);
    m_opacity[static_cast<size_t>(i)] = box;
    // Each box is labelled with the window its slot changes.
    static const char* const fallbacks[9] = {"Connect dialog",   "Remote search", "Remote setup",
                                             "Firmware upgrade", "Local setup",   "Local playback",
                                             "Log and image viewers", "PTZ panel", "Notice window"};
    const QByteArray key = "dialog.lsetup.opacity." + QByteArray::number(i + 1);
    auto* label = new QLabel(Label(key.constData(), fallbacks[i]), opacity);
    label->setObjectName(QStringLiteral("opacityLabel%1").arg(i + 1));
    label->setToolTip(QStringLiteral("Opacity %1").arg(i + 1, 2, 10, QLatin1Char('0')));
    grid->addWidget(label, i / 3, (i % 3) * 2);
    grid->addWidget(box, i / 3, (i % 3) * 2 + 1);
  }

  auto* audio = new QGroupBox(Label("dialog.lsetup.audio", "Sound prebuffer (half seconds, 1-15)"), this);
  auto* audioForm = new QFormLayout(audio);
  const char* audioNames[3] = {"Live", "Remote playback", "Local playback"};
  for (int i = 0; i < 3; ++i) {
    auto* box = new QSpinBox(audio);
    box->setRange(1, 15);
    box->setValue(std::clamp<int>(setup.audioBuf[static_cast<size_t>(i)], 1, 15));
    m_audio[static_cast<size_t>(i)] = box;
    audioForm->addRow(QString::fromUtf8(audioNames[i]), box);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(18, 16, 18, 14);
  layout->addWidget(general);
  layout->addWidget(opacity);
  layout->addWidget(audio);
  layout->addWidget(buttons);
  setMinimumWidth(460);
}

services::LocalSetup LocalSetupDialog::Result() const {
  services::LocalSetup out = m_setup;
  out.drawMode = m_drawMode->currentIndex();
  out.dateFormat = m_dateFormat->currentIndex();
  out.saveFormat = m_saveFormat->currentIndex();
  if (m_location->isEnabled()) out.location = m_location->text().trimmed().toStdString();
  if (out.location.empty()) out.location = m_setup.location;
  for (size_t i = 0; i < m_opacity.size(); ++i) out.opacity[i] = static_cast<uint8_t>(m_opacity[i]->value());
  for (size_t i = 0; i < m_audio.size(); ++i)
    out.audioBuf[i] = static_cast<uint8_t>(std::clamp(m_audio[i]->value(), 1, 15));
  return out;
}

}  // namespace orva::view
