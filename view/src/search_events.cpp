// The time-range page and the event list of the search window.
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "orva/link/time_convert.h"
#include "search_pages.h"

namespace orva::view {
// Recorder times are calendar fields read as UTC: the edits work in UTC.
QDateTime FromRecorder(uint32_t t) { return QDateTime::fromSecsSinceEpoch(t, Qt::UTC); }
uint32_t ToRecorder(const QDateTime& t) { return static_cast<uint32_t>(std::max<qint64>(0, t.toSecsSinceEpoch())); }

namespace {

QString EditFormat(int dateFormat) {
  switch (dateFormat) {
    case 1: return QStringLiteral("MM-dd-yyyy  HH:mm:ss");
    case 2: return QStringLiteral("dd-MM-yyyy  HH:mm:ss");
    default: return QStringLiteral("yyyy-MM-dd  HH:mm:ss");
  }
}

}  // namespace

QDateTimeEdit* MakeRecorderTimeEdit(int dateFormat, QWidget* parent) {
  auto* edit = new QDateTimeEdit(parent);
  edit->setTimeSpec(Qt::UTC);
  edit->setDisplayFormat(EditFormat(dateFormat));
  edit->setCalendarPopup(true);
  edit->setMinimumDateTime(FromRecorder(946684800));   // 2000-01-01
  edit->setMaximumDateTime(FromRecorder(2145916799));  // 2037-12-31 23:59:59
  return edit;
}

// ------------------------------------------------------------ time range

TimeRangePage::TimeRangePage(int dateFormat, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("timeRangePage"));
  m_start = MakeRecorderTimeEdit(dateFormat, this);
  m_end = MakeRecorderTimeEdit(dateFormat, this);
  m_endOn = new QCheckBox(SearchText("search.range.end_on", "Stop at an end time"), this);
  m_end->setEnabled(false);
  m_play = new QPushButton(SearchText("search.play", "\u25B6  Play"), this);
  m_play->setDefault(true);
  auto* form = new QFormLayout;
  form->addRow(SearchText("search.range.start", "Start"), m_start);
  form->addRow(QString(), m_endOn);
  form->addRow(SearchText("search.range.end", "End"), m_end);
  auto* hint = new QLabel(SearchText("search.range.hint", "Plays every recording kind of the selected channels."), this);
  hint->setStyleSheet(QStringLiteral("color: #8b949e;"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_play);
  auto* column = new QVBoxLayout(this);
  column->addLayout(form);
  column->addWidget(hint);
  column->addLayout(buttons);
  column->addStretch(1);
  connect(m_endOn, &QCheckBox::toggled, m_end, &QWidget::setEnabled);
  connect(m_start, &QDateTimeEdit::dateTimeChanged, this, [this](const QDateTime& t) {
    if (m_end->dateTime() < t) m_end->setDateTime(t.addSecs(3600));
  });
  connect(m_play, &QPushButton::clicked, this, [this] {
    const uint32_t start = ToRecorder(m_start->dateTime());
    const uint32_t end = m_endOn->isChecked() ? ToRecorder(m_end->dateTime()) : 0;
    emit playRequested(start, end != 0 && end <= start ? start + 1 : end);
  });
}

void TimeRangePage::SetStart(uint32_t time) {
  m_start->setDateTime(FromRecorder(time));
  m_end->setDateTime(FromRecorder(time + 3600));
}

// ------------------------------------------------------------ event list

EventListPage::EventListPage(int dateFormat, QWidget* parent) : QWidget(parent), m_dateFormat(dateFormat) {
  setObjectName(QStringLiteral("eventPage"));
  m_tabs = new QTabBar(this);
  static const char* const fallbacks[3] = {"Sensor", "Motion", "Alarm"};
  static const char* const keys[3] = {"search.event.kind1", "search.event.kind2", "search.event.kind4"};
  for (int i = 0; i < 3; ++i) m_tabs->addTab(SearchText(keys[i], fallbacks[i]));
  m_tabs->setCurrentIndex(1);

  m_list = new QTreeWidget(this);
  m_list->setRootIsDecorated(false);
  m_list->setAlternatingRowColors(true);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setHeaderLabels({SearchText("column.start", "Start"), SearchText("column.end", "End"),
                           SearchText("column.channels", "Channels")});
  m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_list->header()->setStretchLastSection(true);

  m_prev = new QPushButton(QStringLiteral("\u25C0"), this);
  m_next = new QPushButton(QStringLiteral("\u25B6"), this);
  m_go = new QPushButton(SearchText("search.go", "Go"), this);
  m_prev->setToolTip(SearchText("search.prev_page", "Previous page (Go shows it)"));
  m_next->setToolTip(SearchText("search.next_page", "Next page (Go shows it)"));
  for (QPushButton* b : {m_prev, m_next}) b->setStyleSheet(QStringLiteral("min-width: 28px;"));
  m_page = new QLineEdit(this);
  m_page->setFixedWidth(48);
  m_page->setAlignment(Qt::AlignCenter);
  m_page->setValidator(new QIntValidator(1, 1000000, m_page));
  m_total = new QLabel(this);
  m_play = new QPushButton(SearchText("search.play", "\u25B6  Play"), this);
  m_play->setEnabled(false);

  auto* paging = new QHBoxLayout;
  paging->addWidget(m_prev);
  paging->addWidget(m_page);
  paging->addWidget(m_total);
  paging->addWidget(m_next);
  paging->addWidget(m_go);
  paging->addStretch(1);
  paging->addWidget(m_play);
  auto* column = new QVBoxLayout(this);
  column->addWidget(m_tabs);
  column->addWidget(m_list, 1);
  column->addLayout(paging);

  connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
    if (index < 0 || index > 2 || kKinds[static_cast<size_t>(index)] == m_kind) return;
    m_kind = kKinds[static_cast<size_t>(index)];
    m_paging = {};
    Rebuild();
    emit pageRequested(m_kind, 0);
  });
  connect(m_prev, &QPushButton::clicked, this, [this] {
    m_paging.Previous();
    ShowPaging();
  });
  connect(m_next, &QPushButton::clicked, this, [this] {
    m_paging.Next();
    ShowPaging();
  });
  connect(m_go, &QPushButton::clicked, this, [this] {
    const int typed = m_page->text().toInt() - 1;
    if (typed >= 0 && typed <= m_paging.last) m_paging.current = typed;
    ShowPaging();
    emit pageRequested(m_kind, m_paging.current);
  });
  connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
    UpdatePlay();
    emit selectionChanged();
  });
  connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] {
    if (m_play->isEnabled()) m_play->click();
  });
  connect(m_play, &QPushButton::clicked, this, [this] {
    const int row = m_list->currentIndex().row();
    if (row < 0 || row >= static_cast<int>(m_shown.size()) || !m_play->isEnabled()) return;
    emit playRequested(m_shown[static_cast<size_t>(row)], m_kind, m_paging.current);
  });
  ShowPaging();
}

void EventListPage::SetKind(int kind) {
  for (size_t i = 0; i < kKinds.size(); ++i)
    if (kKinds[i] == kind) {
      const QSignalBlocker block(m_tabs);
      m_tabs->setCurrentIndex(static_cast<int>(i));
      m_kind = kind;
    }
  Rebuild();
}

void EventListPage::SetEvents(const std::vector<EventEntry>& events, int current, int last) {
  m_events = events;
  m_paging.last = std::max(0, last);
  m_paging.current = std::clamp(current, 0, m_paging.last);
  Rebuild();
  ShowPaging();
}

void EventListPage::Rebuild() {
  m_list->clear();
  m_shown.clear();
  for (const EventEntry& e : m_events) {
    if (e.kind != m_kind) continue;
    auto* item = new QTreeWidgetItem(m_list);
    item->setText(0, QString::fromStdString(FormatRecorderTime(e.start, m_dateFormat)));
    item->setText(1, QString::fromStdString(FormatRecorderTime(e.end, m_dateFormat)));
    item->setText(2, QString::fromStdString(FormatChannelList(e.channelMask)));
    m_shown.push_back(e);
  }
  UpdatePlay();
}

void EventListPage::ShowPaging() {
  const bool visible = m_paging.Visible();
  for (QWidget* w : std::initializer_list<QWidget*>{m_prev, m_next, m_go, m_page, m_total}) w->setVisible(visible);
  m_page->setText(QString::fromStdString(m_paging.CurrentText()));
  m_total->setText(QString::fromStdString(m_paging.TotalText()));
}

void EventListPage::SetLocalPlaybackOpen(bool open) {
  m_localPlayback = open;
  UpdatePlay();
}

void EventListPage::UpdatePlay() {
  m_play->setEnabled(!m_localPlayback && !m_list->selectedItems().isEmpty());
}

const EventEntry* EventListPage::Selected() const {
  if (m_list->selectedItems().isEmpty()) return nullptr;
  const int row = m_list->indexOfTopLevelItem(m_list->selectedItems().first());
  return row >= 0 && row < static_cast<int>(m_shown.size()) ? &m_shown[static_cast<size_t>(row)] : nullptr;
}

QAbstractButton* EventListPage::PreviousButton() const { return m_prev; }
QAbstractButton* EventListPage::NextButton() const { return m_next; }
QAbstractButton* EventListPage::GoButton() const { return m_go; }

}  // namespace orva::view
