#include "orva/view/recorder_views.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

#include "log_print.h"
#include "search_pages.h"
#include "skin_style.h"

namespace orva::view {
namespace {

QString Text(const QString& key, const char* fallback) {
  const QByteArray k = key.toUtf8();
  return SearchText(k.constData(), fallback);
}


constexpr LogView kViews[] = {LogView::kAll,    LogView::kEvent,  LogView::kOperation,
                              LogView::kPower,  LogView::kRecord, LogView::kClient};

QString ViewLabel(LogView view) {
  static const char* const names[] = {"All", "Event", "Operation", "Power", "Record", "Client"};
  const int i = static_cast<int>(view);
  return Text(QStringLiteral("rlog.view.%1").arg(i), names[i]);
}

QTreeWidget* MakeInfoList(QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  list->setRootIsDecorated(false);
  list->setAlternatingRowColors(true);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::NoSelection);
  list->setHeaderLabels({Text(QStringLiteral("info.column.item"), "Item"),
                         Text(QStringLiteral("info.column.value"), "Value")});
  list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  return list;
}

void FillInfoList(QTreeWidget* list, const std::vector<InfoRow>& rows) {
  list->clear();
  QList<QTreeWidgetItem*> items;
  for (const InfoRow& r : rows) items.push_back(new QTreeWidgetItem(QStringList{r.label, r.value}));
  list->addTopLevelItems(items);
}

QString Capacity(uint64_t megabytes) { return QString::fromStdString(FormatCapacity(megabytes)).trimmed(); }

constexpr size_t kMaxSamples = 512;

}  // namespace

QString RemoteLogTypeLabel(int type) {
  if (type < 0 || type > 4) return {};
  return Text(QStringLiteral("rlog.type.%1").arg(type), LogTypeName(type));
}

QString RemoteLogKindLabel(int type, int kind) {
  const char* fallback = LogKindName(type, kind);
  if (!*fallback) return {};
  return Text(QStringLiteral("rlog.kind.%1.%2").arg(type).arg(kind), fallback);
}

QString RemoteLogTitle(LogView view) {
  static const char* const titles[] = {"Recorder Log",  "Event Log",  "Operation Log",
                                       "Power Log",     "Record Log", "Client Log"};
  const int i = static_cast<int>(view);
  return Text(QStringLiteral("rlog.title.%1").arg(i), titles[i]);
}

std::vector<RemoteLogRow> BuildRemoteLogRows(const std::vector<LogRecord>& records, LogView view, int dateFormat) {
  std::vector<RemoteLogRow> rows;
  for (size_t index : LogViewRows(records, view)) {
    const LogRecord& r = records[index];
    RemoteLogRow row;
    row.number = QString::asprintf("%05d", static_cast<int>(r.number));
    row.time = QString::fromStdString(LogTimeText(r.time, dateFormat));
    const int type = LogTypeOf(r);
    if (type >= 0) {
      row.type = RemoteLogTypeLabel(type);
      row.kind = RemoteLogKindLabel(type, LogKindOf(r));
      row.detail = QString::fromStdString(LogDetailText(r));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

int PrintRemoteLogRows(QPrinter& printer, const std::vector<RemoteLogRow>& rows, LogView view, QString* error) {
  PrintSheet sheet;
  sheet.docName = QString::fromLatin1(LogViewDocumentName(view));
  sheet.title = RemoteLogTitle(view);
  sheet.heads = {Text(QStringLiteral("rlog.column.number"), "No."), Text(QStringLiteral("rlog.column.time"), "Date / time"),
                 Text(QStringLiteral("rlog.column.type"), "Type"), Text(QStringLiteral("rlog.column.kind"), "Kind"),
                 Text(QStringLiteral("rlog.column.detail"), "Detail")};
  sheet.rows.reserve(rows.size());
  for (const RemoteLogRow& r : rows) sheet.rows.push_back({r.number, r.time, r.type, r.kind, r.detail});
  sheet.rowsPerPage = orva::kLogRowsPerPage;
  // The cells' edges lie 300 to the right of the column boundaries.
  sheet.edges = {100 + 300, 850 + 300, 3000 + 300, 4850 + 300, 6000 + 300, 10700 + 300};
  sheet.titleBox = QRect(QPoint(3200, 900), QPoint(8200, 1400));
  sheet.titleFramed = true;
  sheet.titleAlign = Qt::AlignCenter;
  sheet.titleFont = QFont(QStringLiteral("Arial Bold"));
  sheet.titleFont.setPixelSize(400);
  sheet.titleFont.setWeight(QFont::Bold);
  sheet.cellFont = QFont(QStringLiteral("Arial Bold"));
  sheet.cellFont.setPixelSize(200);
  sheet.cellFont.setWeight(QFont::Normal);
  sheet.headTop = 1800;
  sheet.rowHeight = 400;
  sheet.rowsFramed = false;
  sheet.footerBox = QRect(QPoint(5000, 15500), QPoint(7000, 15700));
  return PrintSheetPages(printer, sheet, error);
}

// ------------------------------------------------------------ log viewer

RemoteLogViewer::RemoteLogViewer(std::vector<LogRecord> records, int dateFormat, uint8_t opacity, QWidget* parent)
    : QDialog(parent), m_records(std::move(records)), m_dateFormat(dateFormat) {
  setObjectName(QStringLiteral("remoteLogViewer"));
  setAttribute(Qt::WA_DeleteOnClose);
  skin::StyleDialog(this, opacity);
  m_selector = new QComboBox(this);
  m_selector->setObjectName(QStringLiteral("logViewSelector"));
  for (LogView v : kViews) m_selector->addItem(ViewLabel(v), static_cast<int>(v));
  connect(m_selector, &QComboBox::currentIndexChanged, this,
          [this](int index) { SetView(static_cast<LogView>(m_selector->itemData(index).toInt())); });
  m_count = new QLabel(this);
  m_count->setStyleSheet(QStringLiteral("color: #8b949e;"));
  m_list = new QTreeWidget(this);
  m_list->setRootIsDecorated(false);
  m_list->setAlternatingRowColors(true);
  m_list->setUniformRowHeights(true);
  m_list->setHeaderLabels({Text(QStringLiteral("rlog.column.number"), "No."),
                           Text(QStringLiteral("rlog.column.time"), "Date / time"),
                           Text(QStringLiteral("rlog.column.type"), "Type"),
                           Text(QStringLiteral("rlog.column.kind"), "Kind"),
                           Text(QStringLiteral("rlog.column.detail"), "Detail")});
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* print = buttons->addButton(Text(QStringLiteral("log.print"), "Print..."), QDialogButtonBox::ActionRole);
  print->setObjectName(QStringLiteral("printButton"));
  connect(print, &QPushButton::clicked, this, &RemoteLogViewer::Print);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* head = new QHBoxLayout;
  head->addWidget(new QLabel(Text(QStringLiteral("rlog.view"), "Show"), this));
  head->addWidget(m_selector);
  head->addStretch(1);
  head->addWidget(m_count);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(head);
  layout->addWidget(m_list, 1);
  layout->addWidget(buttons);
  resize(820, 560);
  Rebuild();
}

void RemoteLogViewer::SetRecords(std::vector<LogRecord> records) {
  m_records = std::move(records);
  Rebuild();
}

void RemoteLogViewer::SetView(LogView view) {
  if (view == m_view) return;
  m_view = view;
  const int index = m_selector->findData(static_cast<int>(view));
  if (index != m_selector->currentIndex()) m_selector->setCurrentIndex(index);
  Rebuild();
}

void RemoteLogViewer::Rebuild() {
  setWindowTitle(QString::fromLatin1(LogViewDocumentName(m_view)));
  m_rows = BuildRemoteLogRows(m_records, m_view, m_dateFormat);
  m_list->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(m_rows.size()));
  for (const RemoteLogRow& r : m_rows)
    items.push_back(new QTreeWidgetItem(QStringList{r.number, r.time, r.type, r.kind, r.detail}));
  m_list->addTopLevelItems(items);
  for (int c = 0; c < m_list->columnCount() - 1; ++c) m_list->resizeColumnToContents(c);
  m_count->setText(Text(QStringLiteral("rlog.count"), "%1 of %2 records")
                       .arg(m_rows.size())
                       .arg(m_records.size()));
}

void RemoteLogViewer::Print() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  PrintRemoteLogRows(printer, m_rows, m_view);
}

// ------------------------------------------------------------ status and system

std::vector<InfoRow> StatusRows(const RecorderStatus& status, int channelCount) {
  std::vector<InfoRow> rows;
  const uint64_t total = status.capacityA, free = status.capacityB;
  rows.push_back({Text(QStringLiteral("status.total"), "Total"), Capacity(total)});
  rows.push_back({Text(QStringLiteral("status.used"), "Used"), Capacity(total >= free ? total - free : 0)});
  rows.push_back({Text(QStringLiteral("status.free"), "Free"), Capacity(free)});
  rows.push_back({});
  static const char* const states[] = {"Stopped", "Continuous", "Scheduled", "Motion", "Sensor", "Manual"};
  const QString recording = status.state <= 5 ? Text(QStringLiteral("status.state.%1").arg(status.state),
                                                     states[status.state])
                                              : Text(QStringLiteral("status.state.other"), "Not recording");
  const QString idle = Text(QStringLiteral("status.state.other"), "Not recording");
  const QString channel = Text(QStringLiteral("status.channel"), "Channel");
  for (int c = 0; c < channelCount; ++c) {
    const bool on = c < 32 && (status.recordingMask >> c) & 1u;
    rows.push_back({QString::asprintf("%s %02d", channel.toUtf8().constData(), c + 1), on ? recording : idle});
  }
  if (!status.hasDevices) return rows;
  static const char* const deviceStates[] = {"Ready", "In use", "Error"};
  const QString device = Text(QStringLiteral("status.device"), "Device ");
  const QString unit = Text(QStringLiteral("status.device.unit"), "GB");
  for (size_t d = 0; d < status.present.size(); ++d) {
    if (!status.present[d]) continue;
    const QString value = status.value[d] ? QStringLiteral("%1 %2").arg(status.value[d]).arg(unit)
                                          : Text(QStringLiteral("status.device.none"), "None");
    rows.push_back({device + QString::number(d + 1), Text(QStringLiteral("status.device.size"), "Size: ") + value});
    const uint8_t s = status.deviceState[d];
    rows.push_back({Text(QStringLiteral("status.device.state"), "State"),
                    s <= 2 ? Text(QStringLiteral("status.device.state.%1").arg(s), deviceStates[s])
                           : Text(QStringLiteral("status.state.other"), "Not recording")});
  }
  return rows;
}

QString DaysLeftText(const std::vector<FreeSpaceSample>& samples) {
  const QString label = Text(QStringLiteral("status.days_left"), "Days until full: ");
  const std::optional<double> days = DaysUntilFull(samples);
  if (!days) return label + Text(QStringLiteral("status.days_left.unknown"), "unknown");
  return label + QString::number(static_cast<qint64>(std::floor(*days)));
}

void AddFreeSpaceSample(std::vector<FreeSpaceSample>& samples, FreeSpaceSample sample) {
  if (!samples.empty() && sample.freeMB > samples.back().freeMB) samples.clear();
  if (samples.size() >= kMaxSamples) samples.erase(samples.begin() + 1);
  samples.push_back(sample);
}

std::vector<InfoRow> SystemRows(const std::string& address, uint16_t port, const std::string& site,
                                const RecorderIdentity& identity) {
  std::vector<InfoRow> rows;
  rows.push_back({Text(QStringLiteral("system.address"), "Address"), QString::fromStdString(address)});
  rows.push_back({Text(QStringLiteral("system.port"), "Port"), QString::number(port)});
  rows.push_back({Text(QStringLiteral("system.site"), "Site"), QString::fromStdString(site)});
  rows.push_back({Text(QStringLiteral("system.mac"), "MAC address"),
                  QString::fromStdString(FormatMacAddress(identity.mac))});
  rows.push_back({Text(QStringLiteral("system.firmware"), "Main firmware"),
                  QString::fromStdString(FormatBuildTime(identity.firmVer[0]))});
  // The components the upgrade offers, in its row order.
  for (int component : {3, 4, 2, 5, 6}) {
    const auto& name = identity.firmName[static_cast<size_t>(component)];
    QString label = QString::fromLatin1(name.data()).trimmed();
    if (label.isEmpty()) label = Text(QStringLiteral("system.component"), "Component %1").arg(component);
    rows.push_back({label, QString::fromStdString(FormatBuildTime(identity.firmVer[static_cast<size_t>(component)]))});
  }
  return rows;
}

StatusPage::StatusPage(int channelCount, std::vector<FreeSpaceSample>* samples, QWidget* parent)
    : QWidget(parent), m_channelCount(channelCount), m_samples(samples ? samples : &m_ownSamples) {
  setObjectName(QStringLiteral("statusPage"));
  m_list = MakeInfoList(this);
  m_daysLeft = new QLabel(DaysLeftText(*m_samples), this);
  m_daysLeft->setObjectName(QStringLiteral("daysLeft"));
  m_state = new QLabel(this);
  m_state->setStyleSheet(QStringLiteral("color: #8b949e;"));
  m_refresh = new QPushButton(Text(QStringLiteral("status.refresh"), "Refresh"), this);
  connect(m_refresh, &QPushButton::clicked, this, &StatusPage::refreshRequested);
  auto* foot = new QHBoxLayout;
  foot->addWidget(m_daysLeft);
  foot->addStretch(1);
  foot->addWidget(m_state);
  foot->addWidget(m_refresh);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_list, 1);
  layout->addLayout(foot);
}

void StatusPage::SetStatus(const RecorderStatus& status, double atSeconds) {
  SetWaiting(false);
  FillInfoList(m_list, StatusRows(status, m_channelCount));
  AddFreeSpaceSample(*m_samples, FreeSpaceSample{atSeconds, status.capacityB});
  m_daysLeft->setText(DaysLeftText(*m_samples));
}

void StatusPage::SetWaiting(bool waiting) {
  m_state->setText(waiting ? Text(QStringLiteral("search.busy"), "Asking the recorder\u2026") : QString());
}

LogPage::LogPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("logPage"));
  auto* hint = new QLabel(Text(QStringLiteral("rlog.hint"),
                               "Fetches the recorder's whole log: power, recording, operation, client and event "
                               "records, newest first."),
                          this);
  hint->setWordWrap(true);
  m_state = new QLabel(this);
  m_state->setStyleSheet(QStringLiteral("color: #8b949e;"));
  m_fetch = new QPushButton(Text(QStringLiteral("rlog.fetch"), "Fetch log"), this);
  m_show = new QPushButton(Text(QStringLiteral("rlog.show"), "Show last log"), this);
  m_show->setEnabled(false);
  connect(m_fetch, &QPushButton::clicked, this, &LogPage::fetchRequested);
  connect(m_show, &QPushButton::clicked, this, &LogPage::showRequested);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_fetch);
  buttons->addWidget(m_show);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hint);
  layout->addLayout(buttons);
  layout->addWidget(m_state);
  layout->addStretch(1);
}

void LogPage::SetWaiting(bool waiting) {
  m_state->setText(waiting ? Text(QStringLiteral("search.busy"), "Asking the recorder\u2026") : QString());
}

void LogPage::SetStoredCount(size_t records) {
  m_show->setEnabled(records > 0);
  if (records > 0 && m_state->text().isEmpty())
    m_state->setText(Text(QStringLiteral("rlog.stored"), "%1 records kept from the last answer.").arg(records));
}

SystemPage::SystemPage(const std::vector<InfoRow>& rows, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("systemPage"));
  m_list = MakeInfoList(this);
  FillInfoList(m_list, rows);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_list);
}

}  // namespace orva::view
