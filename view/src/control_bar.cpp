#include "control_bar.h"

#include <QBitmap>
#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

#include "orva/services/resources.h"

namespace orva::view {

namespace {

const QColor kTransparent(255, 0, 255);

// The built-in skin: a dark rounded bar on magenta, whose magenta corners
// become transparent through the mask.
QPixmap BuiltInBackground() {
  QPixmap pixmap(ControlBar::kWidth, ControlBar::kHeight);
  pixmap.fill(kTransparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 40, 40));
  p.drawRoundedRect(QRect(0, 0, ControlBar::kWidth, ControlBar::kHeight), 10, 10);
  return pixmap;
}

}  // namespace

ControlBar::ControlBar(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setFixedSize(kWidth, kHeight);
  setWindowOpacity(kOpacity / 255.0);
  QPixmap skin = orva::services::Resources::Picture("fullbar");
  m_background = skin.isNull() ? BuiltInBackground() : skin.scaled(kWidth, kHeight);
  setMask(QBitmap::fromImage(m_background.toImage().createMaskFromColor(kTransparent.rgb(), Qt::MaskInColor)));

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(8, 6, 8, 6);
  row->setSpacing(2);
  // The main window's layout buttons: captions and the layouts they select.
  static const struct {
    const char* caption;
    int layout;
  } kButtons[] = {{"1", 0}, {"4", 1}, {"6", 2}, {"7", 3}, {"8", 5}, {"9", 6}, {"10", 7}, {"13", 13}, {"16", 14}};
  for (const auto& b : kButtons) {
    auto* button = new QToolButton(this);
    button->setText(QString::fromLatin1(b.caption));
    button->setFixedSize(30, 30);
    const int layout = b.layout;
    connect(button, &QToolButton::clicked, this, [this, layout] { emit layoutRequested(layout); });
    row->addWidget(button);
  }
  auto* leave = new QToolButton(this);
  const QString text = orva::services::Resources::Text("button.fullexit");
  leave->setText(text == QLatin1String("button.fullexit") ? QStringLiteral("Exit") : text);
  leave->setFixedSize(44, 30);
  connect(leave, &QToolButton::clicked, this, &ControlBar::leaveRequested);
  row->addWidget(leave);
}

void ControlBar::PlaceOn(const QRect& screenGeometry) {
  move(screenGeometry.left() + (screenGeometry.width() - kWidth) / 2, screenGeometry.bottom() + 1 - kHeight);
}

void ControlBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, m_background);
}

}  // namespace orva::view
