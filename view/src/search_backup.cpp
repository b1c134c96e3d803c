// The backup pages of the search window and their shared controls.
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "backup_pages.h"
#include "orva/link/time_convert.h"
#include "search_pages.h"

namespace orva::view {
namespace {

constexpr uint32_t kDayEnd = 86399;

QTime TimeOfDay(uint32_t seconds) { return QTime(0, 0).addSecs(static_cast<int>(seconds % 86400)); }
uint32_t SecondsOf(QTime t) { return static_cast<uint32_t>(QTime(0, 0).secsTo(t)); }

}  // namespace

// ------------------------------------------------------------ controls

BackupControls::BackupControls(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("backupControls"));
  m_calculate = new QPushButton(SearchText("search.backup.calculate", "Calculate size"), this);
  m_calculate->setObjectName(QStringLiteral("calculate"));
  m_start = new QPushButton(SearchText("search.backup.start", "Back up"), this);
  m_start->setObjectName(QStringLiteral("startBackup"));
  m_start->setDefault(true);
  m_size = new QLabel(this);
  m_size->setObjectName(QStringLiteral("sizeText"));
  m_size->setMinimumWidth(110);
  m_size->setAlignment(Qt::AlignCenter);
  m_size->setStyleSheet(QStringLiteral(
      "color: #7ee787; background: #0d1117; border: 1px solid #30363d; border-radius: 4px; padding: 3px 8px;"
      "font-family: 'DejaVu Sans Mono', monospace;"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addStretch(1);
  row->addWidget(new QLabel(SearchText("search.backup.size", "Size"), this));
  row->addWidget(m_size);
  row->addWidget(m_calculate);
  row->addWidget(m_start);
  connect(m_calculate, &QPushButton::clicked, this, [this] {
    if (!m_valid || m_waiting) return;
    emit calculateRequested();
  });
  connect(m_start, &QPushButton::clicked, this, [this] {
    if (m_start->isEnabled()) emit startRequested();
  });
  Update();
}

void BackupControls::SetRangeValid(bool valid) {
  m_valid = valid;
  Update();
}

void BackupControls::Forget() {
  m_haveSize = false;
  Update();
}

void BackupControls::SetWaiting() {
  m_waiting = true;
  m_haveSize = false;
  Update();
}

void BackupControls::ShowSize(uint32_t kib, bool fits) {
  m_waiting = false;
  m_haveSize = true;
  m_kib = kib;
  m_fits = fits;
  Update();
}

void BackupControls::StopWaiting() {
  m_waiting = false;
  Update();
}

void BackupControls::SetDownloadRunning(bool running) {
  m_running = running;
  Update();
}

void BackupControls::Update() {
  const bool sized = m_haveSize && m_fits;
  // A size > 0 that fits holds Calculate back until the range changes.
  m_calculate->setEnabled(m_valid && !m_waiting && !(sized && m_kib > 0));
  m_start->setEnabled(sized && m_kib > 0 && !m_running && !m_waiting);
  if (m_waiting)
    m_size->setText(QStringLiteral("\u2026"));
  else
    m_size->setText(sized ? QString::fromStdString(FormatDownloadSize(m_kib)) : QString());
  m_start->setToolTip(m_running ? SearchText("search.backup.running", "A download is running") : QString());
}

// ------------------------------------------------------------ page base

void BackupPage::AttachControls(BackupControls* controls) {
  m_controls = controls;
  connect(controls, &BackupControls::calculateRequested, this, [this] {
    DownloadRange range;
    if (!Range(range)) return;
    m_controls->SetWaiting();
    emit calculateRequested(range);
  });
  connect(controls, &BackupControls::startRequested, this, [this] {
    DownloadRange range;
    if (Range(range)) emit startRequested(range);
  });
}

void BackupPage::SetSelection(uint32_t selection) {
  if (selection == m_selection) return;
  m_selection = selection;
  RangeChanged();
}

void BackupPage::RangeChanged() {
  DownloadRange range;
  m_controls->SetRangeValid(Range(range));
  m_controls->Forget();
}

// ------------------------------------------------------------ the day

BackupDayPage::BackupDayPage(QWidget* parent) : BackupPage(parent) {
  setObjectName(QStringLiteral("backupDayPage"));
  m_bar = new DayTimeBar(this);
  m_fromEdit = new QTimeEdit(this);
  m_toEdit = new QTimeEdit(this);
  for (QTimeEdit* e : {m_fromEdit, m_toEdit}) e->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  auto* back = new QPushButton(SearchText("search.back", "Calendar"), this);
  auto* hint = new QLabel(SearchText("search.backup.day_hint", "Press on the bar for the start, drag to the end."), this);
  hint->setStyleSheet(QStringLiteral("color: #8b949e;"));

  auto* times = new QHBoxLayout;
  times->addWidget(new QLabel(SearchText("search.range.start", "Start"), this));
  times->addWidget(m_fromEdit);
  times->addSpacing(12);
  times->addWidget(new QLabel(SearchText("search.range.end", "End"), this));
  times->addWidget(m_toEdit);
  times->addStretch(1);
  times->addWidget(back);
  auto* controls = new BackupControls(this);
  auto* column = new QVBoxLayout(this);
  column->addWidget(m_bar, 0, Qt::AlignHCenter);
  column->addWidget(hint);
  column->addLayout(times);
  column->addWidget(controls);
  column->addStretch(1);
  AttachControls(controls);

  connect(m_bar, &DayTimeBar::pressedAt, this, [this](uint32_t s) {
    m_anchor = s;
    SetStretch(s, std::max(m_to, std::min(s + 3600, kDayEnd)));
  });
  connect(m_bar, &DayTimeBar::startPicked, this, [this](uint32_t s) {
    if (s == m_anchor) return;  // the press itself
    // A pixel is five minutes: the end pixel counts whole.
    SetStretch(std::min(m_anchor, s), std::min(std::max(m_anchor, s) + 299, kDayEnd));
  });
  connect(m_fromEdit, &QTimeEdit::timeChanged, this, [this](QTime t) { SetStretch(SecondsOf(t), m_to); });
  connect(m_toEdit, &QTimeEdit::timeChanged, this, [this](QTime t) { SetStretch(m_from, SecondsOf(t)); });
  connect(back, &QPushButton::clicked, this, &BackupDayPage::backRequested);
}

void BackupDayPage::SetDay(int year, int month1, int day1, const std::vector<SpanRecord>& spans, uint32_t selection,
                           int channelCount, int dateFormat) {
  UserTime midnight;
  midnight.year = year;
  midnight.month = month1 - 1;
  midnight.day = day1 - 1;
  m_dayStart = static_cast<uint32_t>(std::max<int64_t>(0, GetUsertimeToTime_t(midnight)));
  SetSelection(selection);
  m_bar->SetDay(QString::fromStdString(FormatDayTitle(year, month1, day1, dateFormat)), spans, selection, m_dayStart,
                channelCount);
  // Opens on the day's recorded stretch.
  uint32_t first = kDayEnd, last = 0;
  for (const SpanRecord& s : spans) {
    if ((s.channelMask & selection) == 0) continue;
    first = std::min(first, s.start <= m_dayStart ? 0 : std::min(s.start - m_dayStart, kDayEnd));
    last = std::max(last, s.end <= m_dayStart ? 0 : std::min(s.end - m_dayStart, kDayEnd));
  }
  if (first > last) first = 0, last = kDayEnd;
  SetStretch(first, last);
}

void BackupDayPage::SetStretch(uint32_t from, uint32_t to) {
  m_from = std::min(from, kDayEnd);
  m_to = std::clamp(to, m_from, kDayEnd);
  {
    const QSignalBlocker a(m_fromEdit), b(m_toEdit);
    m_fromEdit->setTime(TimeOfDay(m_from));
    m_toEdit->setTime(TimeOfDay(m_to));
  }
  m_bar->SetCursorSeconds(m_from);
  m_bar->SetBand(m_from, m_to);
  RangeChanged();
}

bool BackupDayPage::Range(DownloadRange& out) const {
  if (m_dayStart == 0 || m_selection == 0) return false;
  out = DownloadRange{m_selection, m_dayStart + m_from, m_dayStart + m_to, 0};
  return true;
}

// ------------------------------------------------------------ typed range

BackupRangePage::BackupRangePage(int dateFormat, QWidget* parent) : BackupPage(parent) {
  setObjectName(QStringLiteral("backupRangePage"));
  m_start = MakeRecorderTimeEdit(dateFormat, this);
  m_end = MakeRecorderTimeEdit(dateFormat, this);
  auto* form = new QFormLayout;
  form->addRow(SearchText("search.range.start", "Start"), m_start);
  form->addRow(SearchText("search.range.end", "End"), m_end);
  auto* hint = new QLabel(
      SearchText("search.backup.range_hint", "Copies every recording kind of the selected channels to this computer."),
      this);
  hint->setStyleSheet(QStringLiteral("color: #8b949e;"));
  auto* controls = new BackupControls(this);
  auto* column = new QVBoxLayout(this);
  column->addLayout(form);
  column->addWidget(hint);
  column->addWidget(controls);
  column->addStretch(1);
  AttachControls(controls);
  for (QDateTimeEdit* e : {m_start, m_end}) connect(e, &QDateTimeEdit::dateTimeChanged, this, [this] { RangeChanged(); });
  RangeChanged();
}

void BackupRangePage::SetRange(uint32_t start, uint32_t end) {
  const QSignalBlocker a(m_start), b(m_end);
  m_start->setDateTime(FromRecorder(start));
  m_end->setDateTime(FromRecorder(end));
  RangeChanged();
}

bool BackupRangePage::Range(DownloadRange& out) const {
  const uint32_t start = ToRecorder(m_start->dateTime()), end = ToRecorder(m_end->dateTime());
  if (end <= start || m_selection == 0) return false;
  out = DownloadRange{m_selection, start, end, 0};
  return true;
}

// ------------------------------------------------------------ events

EventBackupPage::EventBackupPage(int dateFormat, QWidget* parent) : BackupPage(parent) {
  setObjectName(QStringLiteral("eventBackupPage"));
  m_list = new EventListPage(dateFormat, this);
  m_list->PlayButton()->hide();  // the backup controls act on the selection
  auto* controls = new BackupControls(this);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(m_list, 1);
  column->addWidget(controls);
  AttachControls(controls);
  connect(m_list, &EventListPage::selectionChanged, this, [this] { RangeChanged(); });
  RangeChanged();
}

bool EventBackupPage::Range(DownloadRange& out) const {
  const EventEntry* e = m_list->Selected();
  if (!e || m_selection == 0 || e->kind <= 0) return false;
  out = DownloadRange{m_selection, e->start, e->end, e->kind};
  return true;
}

}  // namespace orva::view
