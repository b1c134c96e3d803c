#include "orva/view/ptz_panel.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSpinBox>

#include "orva/services/resources.h"
#include "skin_button.h"
#include "skin_style.h"

namespace orva::view {
namespace {

QString Caption(const char* key, const char* fallback) {
  return services::Resources::Text(key, fallback);
}

// The skin picture when the resource library has one, else a plain rounded panel.
void PaintPanel(QWidget* w, const char* picture) {
  QPainter p(w);
  const QPixmap skinPicture = services::Resources::Picture(picture);
  if (!skinPicture.isNull()) {
    p.drawPixmap(w->rect(), skinPicture);
    return;
  }
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(w->rect(), QColor(18, 20, 24));
  QPainterPath path;
  path.addRoundedRect(QRectF(w->rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
  p.fillPath(path, QColor(30, 34, 40));
  p.setPen(QPen(QColor(48, 54, 61), 1));
  p.drawPath(path);
}

void MakeFloating(QWidget* w, uint8_t opacity, int width, int height) {
  w->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  w->setFixedSize(width, height);
  skin::StyleDialog(w, opacity);
}

int KeyOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Up: return 0;
    case Qt::Key_Down: return 1;
    case Qt::Key_Left: return 2;
    case Qt::Key_Right: return 3;
    default: return -1;
  }
}

}  // namespace

CPtzPanel::CPtzPanel(int mode, uint8_t opacity, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ptzPanel"));
  MakeFloating(this, opacity, kPtzPanelWidth, kPtzPanelHeight);
  setFocusPolicy(Qt::StrongFocus);

  m_pan = new SkinButton(QStringLiteral("PtzPan"), "pan", Caption("ptz.pan", "Pan"), this);
  m_pan->setGeometry(8, 8, 62, 26);
  m_zoom = new SkinButton(QStringLiteral("PtzZoom"), "zoom", Caption("ptz.zoom", "Zoom"), this);
  m_zoom->setGeometry(77, 8, 62, 26);
  m_close = new SkinButton(QStringLiteral("PtzClose"), nullptr, QStringLiteral("X"), this);
  m_close->setGeometry(117, 143, 24, 22);

  // The pad: up, down, left, right around the centre key.
  static const char* const arrows[4] = {"\u25B2", "\u25BC", "\u25C0", "\u25B6"};
  static const QRect places[4] = {QRect(56, 42, 36, 30), QRect(56, 108, 36, 30), QRect(16, 75, 36, 30),
                                  QRect(96, 75, 36, 30)};
  for (int k = 0; k < 4; ++k) {
    auto* key = new SkinButton(QStringLiteral("PtzKey%1").arg(k), nullptr, QString::fromUtf8(arrows[k]), this);
    key->setGeometry(places[k]);
    key->setFocusPolicy(Qt::NoFocus);
    connect(key, &QAbstractButton::pressed, this, [this, k] { emit keyPressed(k); });
    connect(key, &QAbstractButton::released, this, [this, k] { emit keyReleased(k); });
    m_keys[static_cast<size_t>(k)] = key;
  }
  m_centre = new SkinButton(QStringLiteral("PtzCentre"), nullptr, QStringLiteral("P"), this);
  m_centre->setGeometry(59, 78, 30, 24);
  for (QAbstractButton* b : {m_pan, m_zoom, m_close, m_centre}) b->setFocusPolicy(Qt::NoFocus);

  connect(m_pan, &QAbstractButton::clicked, this, [this] { emit modeClicked(0); });
  connect(m_zoom, &QAbstractButton::clicked, this, [this] { emit modeClicked(1); });
  connect(m_centre, &QAbstractButton::clicked, this, &CPtzPanel::centreClicked);
  connect(m_close, &QAbstractButton::clicked, this, &CPtzPanel::closeClicked);
  SetMode(mode);
}

void CPtzPanel::SetMode(int mode) {
  m_mode = mode == 1 ? 1 : 0;
  UpdateLook();
}

void CPtzPanel::UpdateLook() {
  static_cast<SkinButton*>(m_pan)->SetLit(m_mode == 0);
  static_cast<SkinButton*>(m_zoom)->SetLit(m_mode == 1);
  // The centre key tells which preset page it opens: pan or zoom.
  m_centre->setToolTip(m_mode == 0 ? Caption("ptz.preset.pan", "Presets (pan)")
                                   : Caption("ptz.preset.zoom", "Presets (zoom)"));
}

void CPtzPanel::SetSteerable(bool steerable) {
  for (QAbstractButton* key : m_keys) key->setEnabled(steerable);
  m_centre->setEnabled(steerable);
}

QAbstractButton* CPtzPanel::Button(const QString& name) const {
  static const char* const keys[4] = {"Up", "Down", "Left", "Right"};
  for (int k = 0; k < 4; ++k)
    if (name == QLatin1String(keys[k])) return m_keys[static_cast<size_t>(k)];
  if (name == QLatin1String("Pan")) return m_pan;
  if (name == QLatin1String("Zoom")) return m_zoom;
  if (name == QLatin1String("Centre")) return m_centre;
  if (name == QLatin1String("Close")) return m_close;
  return nullptr;
}

void CPtzPanel::paintEvent(QPaintEvent*) { PaintPanel(this, "ptz"); }

// The arrow keys drive the pad while the panel has the focus: one press on
// the first key-down, one release on the key-up, nothing for auto-repeats.
void CPtzPanel::keyPressEvent(QKeyEvent* event) {
  const int k = KeyOf(event->key());
  if (k < 0) return QWidget::keyPressEvent(event);
  QAbstractButton* key = m_keys[static_cast<size_t>(k)];
  if (!event->isAutoRepeat() && key->isEnabled() && !key->isDown()) {
    key->setDown(true);
    emit keyPressed(k);
  }
  event->accept();
}

void CPtzPanel::keyReleaseEvent(QKeyEvent* event) {
  const int k = KeyOf(event->key());
  if (k < 0) return QWidget::keyReleaseEvent(event);
  QAbstractButton* key = m_keys[static_cast<size_t>(k)];
  if (!event->isAutoRepeat() && key->isDown()) {
    key->setDown(false);
    emit keyReleased(k);
  }
  event->accept();
}

// No title bar: the panel is dragged by any spot that is not a key.
void CPtzPanel::mousePressEvent(QMouseEvent* event) {
  m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CPtzPanel::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - m_dragOffset);
}

CPresetPanel::CPresetPanel(uint8_t opacity, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("presetPanel"));
  MakeFloating(this, opacity, kPresetPanelWidth, kPresetPanelHeight);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(14, 12, 14, 12);
  auto* label = new QLabel(Caption("preset.number", "Preset"), this);
  grid->addWidget(label, 0, 0);
  m_number = new QSpinBox(this);
  m_number->setRange(0, 65535);
  grid->addWidget(m_number, 0, 1);
  auto* close = new SkinButton(QStringLiteral("PresetClose"), nullptr, QStringLiteral("X"), this);
  close->setFixedSize(24, 22);
  grid->addWidget(close, 0, 2, Qt::AlignRight);
  connect(close, &QAbstractButton::clicked, this, &QWidget::close);
  static const char* const keys[4] = {"preset.go", "preset.set", "preset.tour.start", "preset.tour.end"};
  static const char* const texts[4] = {"Go", "Set", "Tour start", "Tour end"};
  for (int k = 1; k <= 4; ++k) {
    auto* b = new SkinButton(QStringLiteral("Preset%1").arg(k), nullptr, Caption(keys[k - 1], texts[k - 1]), this);
    b->setMinimumHeight(28);
    grid->addWidget(b, 1 + (k - 1) / 2, (k - 1) % 2);
    connect(b, &QAbstractButton::clicked, this, [this, k] { emit actionClicked(k, m_number->value()); });
    m_actions[static_cast<size_t>(k - 1)] = b;
  }
  m_menu = new SkinButton(QStringLiteral("PresetMenu"), nullptr, Caption("preset.menu", "Menu"), this);
  m_menu->setMinimumHeight(28);
  grid->addWidget(m_menu, 3, 0, 1, 2);
  connect(m_menu, &QAbstractButton::clicked, this, &CPresetPanel::menuClicked);
}

QAbstractButton* CPresetPanel::Action(int k) const {
  return k >= 1 && k <= 4 ? m_actions[static_cast<size_t>(k - 1)] : nullptr;
}

void CPresetPanel::SetBusy(bool busy) {
  // Action 2 and 3 are the two preset controls that show a running action.
  static_cast<SkinButton*>(m_actions[1])->SetLit(busy);
  static_cast<SkinButton*>(m_actions[2])->SetLit(busy);
}

void CPresetPanel::closeEvent(QCloseEvent* event) {
  emit closed();
  event->accept();
}

void CPresetPanel::paintEvent(QPaintEvent*) { PaintPanel(this, "preset"); }

CDomeMenuPanel::CDomeMenuPanel(uint8_t opacity, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("domeMenuPanel"));
  MakeFloating(this, opacity, 96, 120);
  m_enter = new SkinButton(QStringLiteral("MenuEnter"), nullptr, Caption("dome.enter", "Enter"), this);
  m_escape = new SkinButton(QStringLiteral("MenuEscape"), nullptr, Caption("dome.escape", "Escape"), this);
  m_leave = new SkinButton(QStringLiteral("MenuLeave"), nullptr, Caption("dome.leave", "Leave"), this);
  m_enter->setGeometry(8, 8, 80, 30);
  m_escape->setGeometry(8, 45, 80, 30);
  m_leave->setGeometry(8, 82, 80, 30);
  connect(m_enter, &QAbstractButton::clicked, this, [this] { emit commandClicked(14); });
  connect(m_escape, &QAbstractButton::clicked, this, [this] { emit commandClicked(15); });
  connect(m_leave, &QAbstractButton::clicked, this, [this] { emit commandClicked(16); });
}

QAbstractButton* CDomeMenuPanel::Button(const QString& name) const {
  if (name == QLatin1String("Enter")) return m_enter;
  if (name == QLatin1String("Escape")) return m_escape;
  if (name == QLatin1String("Leave")) return m_leave;
  return nullptr;
}

void CDomeMenuPanel::paintEvent(QPaintEvent*) { PaintPanel(this, "domemenu"); }

}  // namespace orva::view
