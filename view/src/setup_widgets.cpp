#include "setup_widgets.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include "orva/services/resources.h"

namespace orva::view {

QString SetupText(const char* key, const char* fallback) {
  return services::Resources::Text(key, fallback);
}

QString ChannelLabel(int c) {
  return QString::asprintf("%s%02d", SetupText("setup.channel_word", "CH").toUtf8().constData(), c + 1);
}

OnOffPair::OnOffPair(QWidget* parent, bool yesNo) : QWidget(parent) {
  m_on = new QPushButton(yesNo ? SetupText("setup.yes", "Yes") : SetupText("setup.on", "On"), this);
  m_off = new QPushButton(yesNo ? SetupText("setup.no", "No") : SetupText("setup.off", "Off"), this);
  auto* group = new QButtonGroup(this);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  for (QPushButton* b : {m_on, m_off}) {
    b->setCheckable(true);
    b->setFixedSize(36, 19);
    b->setFocusPolicy(Qt::NoFocus);
    group->addButton(b);
    layout->addWidget(b);
  }
  layout->addStretch(1);
  connect(m_on, &QPushButton::clicked, this, [this] { emit chosen(true); });
  connect(m_off, &QPushButton::clicked, this, [this] { emit chosen(false); });
}

void OnOffPair::SetOn(bool on) { (on ? m_on : m_off)->setChecked(true); }
bool OnOffPair::On() const { return m_on->isChecked(); }

ChannelRows::ChannelRows(int channels, QWidget* parent, int rowHeight)
    : QWidget(parent), m_channels(std::clamp(channels, 1, 16)) {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(4);
  auto* inner = new QWidget;
  inner->setObjectName(QStringLiteral("rows"));
  inner->setStyleSheet(QStringLiteral("QWidget#rows { background: transparent; }"));
  auto* rows = new QVBoxLayout(inner);
  rows->setContentsMargins(0, 0, 14, 0);  // room for the scroll bar
  rows->setSpacing(1);
  for (int c = 0; c < m_channels; ++c) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* box = new QCheckBox(inner);
    box->setObjectName(QStringLiteral("select.%1").arg(c + 1));
    box->setFocusPolicy(Qt::NoFocus);
    auto* label = new QLabel(ChannelLabel(c), inner);
    label->setFixedWidth(36);
    row->addWidget(box);
    row->addWidget(label);
    auto* holder = new QWidget(inner);
    holder->setFixedHeight(rowHeight);
    holder->setLayout(row);
    rows->addWidget(holder);
    m_rows[static_cast<size_t>(c)] = row;
    m_select[static_cast<size_t>(c)] = box;
  }
  rows->addStretch(1);
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(inner);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->viewport()->setAutoFillBackground(false);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  outer->addWidget(scroll, 1);
  m_footer = new QHBoxLayout;
  m_all = new QPushButton(SetupText("setup.all_check", "All Check"), this);
  m_all->setObjectName(QStringLiteral("selectAll"));
  m_none = new QPushButton(SetupText("setup.all_clear", "Clear All"), this);
  m_none->setObjectName(QStringLiteral("selectNone"));
  m_footer->addWidget(m_all);
  m_footer->addWidget(m_none);
  m_footer->addStretch(1);
  outer->addLayout(m_footer);
  connect(m_all, &QPushButton::clicked, this, &ChannelRows::SelectAll);
  connect(m_none, &QPushButton::clicked, this, &ChannelRows::ClearAll);
}

setup::RowMask ChannelRows::Selection() const {
  setup::RowMask mask = 0;
  for (int c = 0; c < m_channels; ++c)
    if (m_select[static_cast<size_t>(c)]->isChecked()) mask = static_cast<setup::RowMask>(mask | (1u << c));
  return mask;
}

void ChannelRows::SelectAll() {
  for (int c = 0; c < m_channels; ++c) m_select[static_cast<size_t>(c)]->setChecked(true);
}

void ChannelRows::ClearAll() {
  for (int c = 0; c < m_channels; ++c) m_select[static_cast<size_t>(c)]->setChecked(false);
}

ListChooser::ListChooser(const QStringList& items, int current, std::function<void(int)> handler, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_handler(std::move(handler)) {
  setObjectName(QStringLiteral("listChooser"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFrameShape(QFrame::Box);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);
  m_list = new QListWidget(this);
  for (const QString& item : items) m_list->addItem(item.left(259));
  if (current >= 0 && current < m_list->count()) m_list->setCurrentRow(current);
  layout->addWidget(m_list);
  const int rows = std::min<int>(12, std::max<int>(1, static_cast<int>(items.size())));
  m_list->setFixedHeight(rows * 20 + 4);
  connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { Pick(m_list->row(item)); });
}

void ListChooser::ShowBelow(const QWidget* anchor) {
  const int width = std::max(120, anchor ? anchor->width() : 120);
  resize(width, m_list->height() + 4);
  if (anchor) move(anchor->mapToGlobal(QPoint(0, anchor->height())));
  show();
}

int ListChooser::Count() const { return m_list->count(); }
QString ListChooser::Item(int i) const { return i >= 0 && i < m_list->count() ? m_list->item(i)->text() : QString(); }

void ListChooser::Pick(int i) {
  if (i < 0 || i >= m_list->count()) return;
  auto handler = std::move(m_handler);
  m_handler = nullptr;
  close();
  if (handler) handler(i);
}

NumberChooser::NumberChooser(const Limits& limits, std::function<void(int, int)> handler, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_handler(std::move(handler)) {
  setObjectName(QStringLiteral("numberChooser"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFrameShape(QFrame::Box);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(new QLabel(limits.title, this));
  m_first = new QSpinBox(this);
  m_first->setRange(limits.min1, limits.max1);
  m_first->setValue(limits.value1);
  layout->addWidget(m_first);
  if (limits.second) {
    layout->addWidget(new QLabel(QStringLiteral(":"), this));
    m_second = new QSpinBox(this);
    m_second->setRange(limits.min2, limits.max2);
    m_second->setValue(limits.value2);
    layout->addWidget(m_second);
  }
  auto* ok = new QPushButton(SetupText("setup.ok", "OK"), this);
  layout->addWidget(ok);
  connect(ok, &QPushButton::clicked, this, [this] { Confirm(m_first->value(), m_second ? m_second->value() : 0); });
}

void NumberChooser::ShowBelow(const QWidget* anchor) {
  adjustSize();
  if (anchor) move(anchor->mapToGlobal(QPoint(0, anchor->height())));
  show();
}

void NumberChooser::Confirm(int value1, int value2) {
  m_first->setValue(value1);
  if (m_second) m_second->setValue(value2);
  const int v1 = m_first->value(), v2 = m_second ? m_second->value() : 0;
  auto handler = std::move(m_handler);
  m_handler = nullptr;
  close();
  if (handler) handler(v1, v2);
}

}  // namespace orva::view

#include <QSlider>

namespace orva::view {

QSlider* AddRowSlider(ChannelRows* rows, int c, const char* name, int min, int max, int value) {
  auto* slider = new QSlider(Qt::Horizontal, rows);
  slider->setObjectName(QStringLiteral("%1.%2").arg(QLatin1String(name)).arg(c + 1));
  slider->setRange(min, max);
  slider->setValue(std::clamp(value, min, max));
  slider->setFocusPolicy(Qt::NoFocus);
  rows->Row(c)->addWidget(slider, 1);
  return slider;
}

QLabel* AddRowText(ChannelRows* rows, int c, const char* name, const QString& text, int width) {
  auto* label = new QLabel(text, rows);
  label->setObjectName(QStringLiteral("%1.%2").arg(QLatin1String(name)).arg(c + 1));
  label->setFixedWidth(width);
  rows->Row(c)->addWidget(label);
  return label;
}

OnOffPair* AddRowPair(ChannelRows* rows, int c, const char* name, bool on, bool yesNo) {
  auto* pair = new OnOffPair(rows, yesNo);
  pair->setObjectName(QStringLiteral("%1.%2").arg(QLatin1String(name)).arg(c + 1));
  pair->SetOn(on);
  rows->Row(c)->addWidget(pair);
  return pair;
}

}  // namespace orva::view
