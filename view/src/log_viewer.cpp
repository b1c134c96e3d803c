#include "orva/view/log_viewer.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <array>

#include "orva/services/resources.h"
#include "orva/link/trace.h"
#include "log_print.h"
#include "skin_style.h"

namespace orva::view {
namespace {

QString Label(const QString& key, const char* fallback) {
  const QByteArray k = key.toUtf8();
  const QString text = services::Resources::Text(k.constData());
  return text == key ? QString::fromUtf8(fallback) : text;
}

const char* MainFallback(int index) {
  static const char* const names[4] = {"Program", "Logon", "Local playback", "Setup, image"};
  return names[index];
}

const char* SubFallback(int mainIndex, int subIndex) {
  static const char* const program[2] = {"Start", "Exit"};
  static const char* const logon[3] = {"Connected", "Disconnected", "Connection failed"};
  static const char* const local[2] = {"Playback start", "Playback end"};
  static const char* const setup[2] = {"Local setup changed", "Action during playback"};
  switch (mainIndex) {
    case 0: return program[subIndex];
    case 1: return logon[subIndex];
    case 2: return local[subIndex];
    default: return setup[subIndex];
  }
}

// Cell edges in hundredths of a millimetre, 400 per row.
constexpr std::array<int, 6> kCellX{100, 800, 3400, 6500, 7800, 10500};
constexpr int kRowHeight = 400;

}  // namespace

std::vector<LogRow> BuildLogRows(const std::vector<LocalLogRecord>& oldestFirst, int dateFormat) {
  std::vector<LogRow> rows;
  rows.reserve(oldestFirst.size());
  for (size_t i = oldestFirst.size(); i-- > 0;) {
    const LocalLogRecord& r = oldestFirst[i];
    LogRow row;
    row.number = QString::asprintf("%04d", static_cast<int>(i + 1));
    row.time = QString::fromStdString(LocalLogTimeText(r.time, dateFormat));
    const int mainIndex = LocalLogMainIndex(r.mainType);
    if (mainIndex >= 0) {
      row.mainType = Label(QStringLiteral("log.main.%1").arg(1u << mainIndex), MainFallback(mainIndex));
      // A sub type without a known bit has already been traced there.
      const int subIndex = LocalLogSubIndex(r.mainType, r.subType);
      if (subIndex >= 0)
        row.subType = Label(QStringLiteral("log.sub.%1.%2").arg(1u << mainIndex).arg(1u << subIndex),
                            SubFallback(mainIndex, subIndex));
      if (mainIndex == 1) {
        row.host = QString::fromStdString(r.host);
        row.user = QString::fromStdString(r.user);
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

int PrintLogRows(QPrinter& printer, const std::vector<LogRow>& newestFirst, QString* error) {
  PrintSheet sheet;
  sheet.docName = sheet.title = QStringLiteral("Local Log");
  sheet.heads = {Label(QStringLiteral("column.number"), "No."), Label(QStringLiteral("column.time"), "Time"),
                 Label(QStringLiteral("column.type"), "Type"), Label(QStringLiteral("column.subtype"), "Event"),
                 Label(QStringLiteral("column.details"), "Host / user")};
  sheet.rows.reserve(newestFirst.size());
  for (const LogRow& r : newestFirst) {
    QString details = r.host;
    if (!r.user.isEmpty()) details += (details.isEmpty() ? QString() : QStringLiteral(" / ")) + r.user;
    sheet.rows.push_back({r.number, r.time, r.mainType, r.subType, details});
  }
  sheet.rowsPerPage = kLogRowsPerPage;
  sheet.edges = kCellX;
  sheet.titleBox = QRect(kCellX.front(), 200, kCellX.back() - kCellX.front(), 700);
  sheet.titleFont = QFont(QStringLiteral("Arial Bold"));
  sheet.titleFont.setPixelSize(450);
  sheet.titleFont.setBold(true);
  sheet.cellFont = QFont(QStringLiteral("Tahoma"));
  sheet.cellFont.setPixelSize(200);
  sheet.headTop = 1200;
  sheet.rowHeight = kRowHeight;
  return PrintSheetPages(printer, sheet, error);
}

LogViewer::LogViewer(const LocalLog& log, int dateFormat, uint8_t opacity, QWidget* parent)
    : QDialog(parent), m_log(log), m_dateFormat(dateFormat) {
  setObjectName(QStringLiteral("logViewer"));
  setWindowTitle(Label(QStringLiteral("dialog.log.title"), "Local Log"));
  skin::StyleDialog(this, opacity);
  m_list = new QTreeWidget(this);
  m_list->setRootIsDecorated(false);
  m_list->setAlternatingRowColors(true);
  m_list->setUniformRowHeights(true);
  m_list->setHeaderLabels({Label(QStringLiteral("column.number"), "No."), Label(QStringLiteral("column.time"), "Time"),
                           Label(QStringLiteral("column.type"), "Type"),
                           Label(QStringLiteral("column.subtype"), "Event"),
                           Label(QStringLiteral("column.host"), "Host"), Label(QStringLiteral("column.user"), "User")});
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* print = buttons->addButton(Label(QStringLiteral("button.print"), "Print…"), QDialogButtonBox::ActionRole);
  connect(print, &QPushButton::clicked, this, &LogViewer::Print);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_list);
  layout->addWidget(buttons);
  resize(760, 520);
  Reload();
}

void LogViewer::Reload() {
  std::vector<LocalLogRecord> records;
  std::string error;
  m_error.clear();
  if (!m_log.Load(records, error)) m_error = QString::fromStdString(error);
  m_rows = BuildLogRows(records, m_dateFormat);
  m_list->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(m_rows.size()));
  for (const LogRow& r : m_rows)
    items.push_back(new QTreeWidgetItem(QStringList{r.number, r.time, r.mainType, r.subType, r.host, r.user}));
  m_list->addTopLevelItems(items);
  for (int c = 0; c < m_list->columnCount(); ++c) m_list->resizeColumnToContents(c);
}

void LogViewer::Print() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  PrintLogRows(printer, m_rows);
}

}  // namespace orva::view
