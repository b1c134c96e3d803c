// The PTZ panels: the small floating pad that steers a pan-tilt-zoom camera
// (four direction keys, pan/zoom mode buttons, a centre key and a close key),
// the preset panel opened by the centre key, and the dome-menu key window.
// They only report what the user pressed; the main window turns that into
// requests on the connection.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

class QAbstractButton;
class QSpinBox;

namespace orva::view {

inline constexpr int kPtzPanelWidth = 147, kPtzPanelHeight = 171;
inline constexpr int kPtzPanelOffsetX = 730, kPtzPanelOffsetY = 550;
inline constexpr int kPresetPanelWidth = 320, kPresetPanelHeight = 200;
inline constexpr int kPresetPanelAboveBottom = 261;
// The settings' opacity slot (1-9) used by the PTZ windows.
inline constexpr int kPtzOpacitySlot = 8;

class CPtzPanel : public QWidget {
  Q_OBJECT
 public:
  // mode: 0 pan, 1 zoom.
  CPtzPanel(int mode, uint8_t opacity, QWidget* parent);

  int Mode() const { return m_mode; }
  void SetMode(int mode);
  // PTZ_CHANNEL_ACK: enables or disables the steering controls (the four
  // direction keys and the centre key); the mode buttons and the close key
  // stay usable so that the panel can always be switched or closed.
  void SetSteerable(bool steerable);
  // "Up", "Down", "Left", "Right", "Pan", "Zoom", "Centre", "Close"; null otherwise.
  QAbstractButton* Button(const QString& name) const;

 signals:
  void keyPressed(int key);  // 0 up, 1 down, 2 left, 3 right
  void keyReleased(int key);
  void modeClicked(int mode);
  void centreClicked();
  void closeClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void UpdateLook();

  int m_mode = 0;
  std::array<QAbstractButton*, 4> m_keys{};
  QAbstractButton* m_pan = nullptr;
  QAbstractButton* m_zoom = nullptr;
  QAbstractButton* m_centre = nullptr;
  QAbstractButton* m_close = nullptr;
  QPoint m_dragOffset;
};

class CPresetPanel : public QWidget {
  Q_OBJECT
 public:
  CPresetPanel(uint8_t opacity, QWidget* parent);
  QSpinBox* Number() const { return m_number; }
  // Actions 1-4; null otherwise.
  QAbstractButton* Action(int k) const;
  QAbstractButton* MenuButton() const { return m_menu; }
  // Shown while a preset action runs (action 2 until action 3).
  void SetBusy(bool busy);

 signals:
  void actionClicked(int action, int number);
  void menuClicked();
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QSpinBox* m_number = nullptr;
  std::array<QAbstractButton*, 4> m_actions{};
  QAbstractButton* m_menu = nullptr;
};

class CDomeMenuPanel : public QWidget {
  Q_OBJECT
 public:
  CDomeMenuPanel(uint8_t opacity, QWidget* parent);
  // "Enter", "Escape", "Leave"; null otherwise.
  QAbstractButton* Button(const QString& name) const;

 signals:
  void commandClicked(int command);  // 14 enter, 15 escape, 16 leave

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QAbstractButton* m_enter = nullptr;
  QAbstractButton* m_escape = nullptr;
  QAbstractButton* m_leave = nullptr;
};

}  // namespace orva::view
