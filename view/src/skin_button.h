// The main window's buttons: flat dark buttons with a caption, an optional
// picture from the resource library, a lit state for toggles and the
// highlighted layout, and two small marks for the channel buttons (the
// channel has sound; it is the audio channel).
#pragma once

#include <QAbstractButton>
#include <QColor>

namespace orva::view {

class SkinButton : public QAbstractButton {
  Q_OBJECT
 public:
  // command: the command's name (object name "cmd.<command>"); picture: the
  // resource library's picture name (may be missing); caption: the text shown.
  SkinButton(const QString& command, const char* picture, const QString& caption, QWidget* parent);

  void SetLit(bool lit);
  bool Lit() const { return m_lit; }
  void SetAccent(const QColor& color) { m_accent = color; update(); }
  void SetSoundMark(bool on);
  bool SoundMark() const { return m_sound; }
  void SetAudioChannelMark(bool on);
  bool AudioChannelMark() const { return m_audioChannel; }

  QSize sizeHint() const override { return {56, 28}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QIcon m_picture;
  QColor m_accent;
  bool m_lit = false;
  bool m_hover = false;
  bool m_sound = false;
  bool m_audioChannel = false;
};

}  // namespace orva::view
