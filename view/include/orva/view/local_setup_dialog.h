// The local-setup dialog: edits a copy of the client's own settings (draw
// mode, date format, save format, base folder, the nine dialog opacities and
// the three audio prebuffer depths). Cancel discards the copy.
#pragma once

#include <QDialog>
#include <array>

#include "orva/services/local_setup.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace orva::view {

class LocalSetupDialog : public QDialog {
  Q_OBJECT
 public:
  // removable: the base folder cannot be changed.
  LocalSetupDialog(const services::LocalSetup& setup, bool removable, QWidget* parent = nullptr);

  // The edited copy (audio depths clamped to 1-15).
  services::LocalSetup Result() const;

  QComboBox* DrawModeBox() const { return m_drawMode; }
  QComboBox* DateFormatBox() const { return m_dateFormat; }
  QComboBox* SaveFormatBox() const { return m_saveFormat; }
  QLineEdit* LocationField() const { return m_location; }
  QSpinBox* OpacityBox(int index) const { return m_opacity.at(static_cast<size_t>(index)); }
  QSpinBox* AudioDepthBox(int index) const { return m_audio.at(static_cast<size_t>(index)); }

 private:
  services::LocalSetup m_setup;
  QComboBox* m_drawMode = nullptr;
  QComboBox* m_dateFormat = nullptr;
  QComboBox* m_saveFormat = nullptr;
  QLineEdit* m_location = nullptr;
  QPushButton* m_browse = nullptr;
  std::array<QSpinBox*, 9> m_opacity{};
  std::array<QSpinBox*, 3> m_audio{};
};

}  // namespace orva::view
