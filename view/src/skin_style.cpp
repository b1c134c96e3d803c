#include "skin_style.h"

#include <QWidget>

namespace orva::view::skin {

QString DialogStyleSheet() {
  return QStringLiteral(
      "QDialog, QWidget#imageViewer { background: #181b20; color: #dee2e8; }"
      "QLabel { color: #dee2e8; }"
      "QLabel#errorText { color: #ff7b72; }"
      "QLabel#noticeTitle { font-weight: bold; font-size: 14px; color: #ffffff; }"
      "QLineEdit, QSpinBox, QComboBox { background: #21262d; color: #e6edf3; border: 1px solid #3a424c;"
      "  border-radius: 4px; padding: 4px 6px; selection-background-color: #2f81f7; }"
      "QLineEdit:disabled, QSpinBox:disabled, QComboBox:disabled { color: #6e7681; background: #1c2026; }"
      "QLineEdit:focus, QSpinBox:focus, QComboBox:focus { border-color: #2f81f7; }"
      "QPushButton { background: #2d333b; color: #e6edf3; border: 1px solid #3a424c; border-radius: 4px;"
      "  padding: 5px 14px; min-width: 64px; }"
      "QPushButton:hover { background: #3a424c; }"
      "QPushButton:default { border-color: #2f81f7; }"
      "QPushButton:pressed { background: #2f81f7; }"
      "QCheckBox { color: #dee2e8; }"
      "QGroupBox { color: #8b949e; border: 1px solid #30363d; border-radius: 6px; margin-top: 10px; padding-top: 6px; }"
      "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 4px; }"
      "QTreeWidget, QListView, QTreeView { background: #0d1117; color: #c9d1d9; alternate-background-color: #161b22;"
      "  border: 1px solid #30363d; }"
      "QHeaderView::section { background: #21262d; color: #8b949e; border: 0; border-right: 1px solid #30363d;"
      "  padding: 4px; }");
}

void StyleDialog(QWidget* dialog, uint8_t opacity) {
  dialog->setStyleSheet(DialogStyleSheet());
  // Layered windows: fully opaque at 255. A value of 0 would make the dialog
  // invisible and impossible to use; keep a floor so that it stays visible.
  const int value = opacity < 26 ? 26 : opacity;
  dialog->setWindowOpacity(value / 255.0);
}

}  // namespace orva::view::skin
