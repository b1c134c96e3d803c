#include "orva/view/log_viewer.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "orva/app/resources.h"
#include "orva/link/trace.h"
#include "skin_style.h"

namespace orva::view {
namespace {

QString Label(const QString& key, const char* fallback) {
  const QByteArray k = key.toUtf8();
  const QString text = app::Resources::Text(k.constData());
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

const char* NoneTrace(int mainIndex) {
  static const char* const traces[4] = {"index_sub Program...None...\n", "index_sub logon...None...\n",
                                        "index_sub Local Play...None...\n", "index_sub setup, image...None...\n"};
  return traces[mainIndex];
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
      const int subIndex = LocalLogSubIndex(r.mainType, r.subType);
      if (subIndex >= 0)
        row.subType = Label(QStringLiteral("log.sub.%1.%2").arg(1u << mainIndex).arg(1u << subIndex),
                            SubFallback(mainIndex, subIndex));
      else
        Trace("%s", NoneTrace(mainIndex));
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
  const int pages = std::max<int>(1, static_cast<int>((newestFirst.size() + kLogRowsPerPage - 1) / kLogRowsPerPage));
  printer.setDocName(QStringLiteral("Local Log"));
  QPainter painter;
  if (!painter.begin(&printer)) {
    if (error) *error = QStringLiteral("the printer could not be started");
    return 0;
  }
  // Work in hundredths of a millimetre.
  const QRectF paper = printer.pageLayout().paintRect(QPageLayout::Millimeter);
  const double perUnitX = printer.logicalDpiX() / 2540.0, perUnitY = printer.logicalDpiY() / 2540.0;
  const int pageWidth = static_cast<int>(paper.width() * 100), pageHeight = static_cast<int>(paper.height() * 100);

  QFont titleFont(QStringLiteral("Arial Bold"));
  titleFont.setPixelSize(450);
  titleFont.setBold(true);
  QFont cellFont(QStringLiteral("Tahoma"));
  cellFont.setPixelSize(200);
  const QStringList captions = {Label(QStringLiteral("column.number"), "No."),
                                Label(QStringLiteral("column.time"), "Time"),
                                Label(QStringLiteral("column.type"), "Type"),
                                Label(QStringLiteral("column.subtype"), "Event"),
                                Label(QStringLiteral("column.details"), "Host / user")};

  auto drawRow = [&](int y, const QStringList& cells) {
    for (int c = 0; c < 5; ++c) {
      const QRect cell(kCellX[static_cast<size_t>(c)], y, kCellX[static_cast<size_t>(c) + 1] - kCellX[static_cast<size_t>(c)],
                       kRowHeight);
      painter.drawRect(cell);
      const QRect inner = cell.adjusted(60, 0, -40, 0);
      painter.drawText(inner, Qt::AlignVCenter | Qt::AlignLeft,
                       painter.fontMetrics().elidedText(cells[c], Qt::ElideRight, inner.width()));
    }
  };

  for (int page = 0; page < pages; ++page) {
    if (page > 0) printer.newPage();
    painter.save();
    painter.scale(perUnitX, perUnitY);
    painter.setPen(QPen(Qt::black, 10));
    painter.setFont(titleFont);
    painter.drawText(QRect(kCellX.front(), 200, kCellX.back() - kCellX.front(), 700), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Local Log"));
    painter.setFont(cellFont);
    int y = 1200;
    drawRow(y, captions);
    y += kRowHeight;
    const size_t first = static_cast<size_t>(page) * kLogRowsPerPage;
    const size_t last = std::min(newestFirst.size(), first + kLogRowsPerPage);
    for (size_t i = first; i < last; ++i, y += kRowHeight) {
      const LogRow& r = newestFirst[i];
      QString details = r.host;
      if (!r.user.isEmpty()) details += (details.isEmpty() ? QString() : QStringLiteral(" / ")) + r.user;
      drawRow(y, {r.number, r.time, r.mainType, r.subType, details});
    }
    painter.drawText(QRect(0, pageHeight - 900, pageWidth, 500), Qt::AlignHCenter | Qt::AlignVCenter,
                     QString::asprintf("- %d / %d -", page + 1, pages));
    painter.restore();
  }
  painter.end();
  return pages;
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
