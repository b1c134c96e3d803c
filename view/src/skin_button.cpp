#include "skin_button.h"

#include <QPainter>
#include <QPainterPath>

#include "orva/services/resources.h"
#include "skin_style.h"

namespace orva::view {

SkinButton::SkinButton(const QString& command, const char* picture, const QString& caption, QWidget* parent)
    : QAbstractButton(parent), m_accent(skin::kAccent) {
  setObjectName(QStringLiteral("cmd.") + command);
  setText(caption);
  setToolTip(caption);
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
  if (picture) m_picture = services::Resources::Icon(picture);
}

void SkinButton::SetLit(bool lit) {
  if (m_lit == lit) return;
  m_lit = lit;
  update();
}

void SkinButton::SetSoundMark(bool on) {
  if (m_sound == on) return;
  m_sound = on;
  update();
}

void SkinButton::SetAudioChannelMark(bool on) {
  if (m_audioChannel == on) return;
  m_audioChannel = on;
  update();
}

void SkinButton::enterEvent(QEnterEvent* event) {
  m_hover = true;
  update();
  QAbstractButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
  m_hover = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void SkinButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const bool on = m_lit || isChecked() || isDown();
  QPainterPath path;
  path.addRoundedRect(r, 5, 5);

  if (!m_picture.isNull()) {
    // The resource library's picture is the whole face of the button.
    const QIcon::Mode mode = !isEnabled() ? QIcon::Disabled : QIcon::Normal;
    m_picture.paint(&p, rect(), Qt::AlignCenter, mode);
    if (!isEnabled()) {
      p.fillPath(path, QColor(16, 18, 22, 120));
    } else if (on) {
      QColor glow = m_accent;
      glow.setAlpha(isDown() ? 110 : 70);
      p.fillPath(path, glow);
      p.setPen(QPen(m_accent.lighter(120), 1.5));
      p.drawPath(path);
    } else if (m_hover) {
      p.fillPath(path, QColor(255, 255, 255, 22));
    }
  } else {
    QColor fill = on ? m_accent : (m_hover && isEnabled() ? skin::kButtonHover : skin::kButton);
    if (!isEnabled()) fill = QColor(32, 36, 42);
    p.fillPath(path, fill);
    p.setPen(QPen(on ? m_accent.lighter(130) : QColor(62, 70, 80), 1));
    p.drawPath(path);
    QFont f = font();
    f.setPixelSize(height() >= 26 ? 11 : 10);
    f.setBold(on);
    p.setFont(f);
    p.setPen(!isEnabled() ? QColor(84, 92, 104) : (on ? QColor(255, 255, 255) : skin::kText));
    p.drawText(rect().adjusted(2, 0, -2, 0), Qt::AlignCenter, text());
  }
  if (m_sound) {
    // A small speaker dot: this channel delivers sound.
    p.setPen(Qt::NoPen);
    p.setBrush(m_audioChannel ? skin::kSound : skin::kSound.darker(160));
    p.drawEllipse(QRectF(width() - 9, 3, 6, 6));
  }
  if (m_audioChannel) {
    p.setPen(QPen(skin::kSound, 2));
    p.drawLine(QPointF(5, height() - 2.5), QPointF(width() - 5, height() - 2.5));
  }
}

}  // namespace orva::view
