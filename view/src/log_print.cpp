#include "log_print.h"

#include <QPainter>
#include <QPrinter>
#include <algorithm>

namespace orva::view {

int PrintSheetPages(QPrinter& printer, const PrintSheet& sheet, QString* error) {
  const int perPage = std::max(1, sheet.rowsPerPage);
  const int count = static_cast<int>(sheet.rows.size());
  const int pages = std::max(1, (count + perPage - 1) / perPage);
  printer.setDocName(sheet.docName);
  QPainter painter;
  if (!painter.begin(&printer)) {
    if (error) *error = QStringLiteral("the printer could not be started");
    return 0;
  }
  const QRectF paper = printer.pageLayout().paintRect(QPageLayout::Millimeter);
  const double perUnitX = printer.logicalDpiX() / 2540.0, perUnitY = printer.logicalDpiY() / 2540.0;
  const int pageWidth = static_cast<int>(paper.width() * 100), pageHeight = static_cast<int>(paper.height() * 100);

  auto drawRow = [&](int y, const QStringList& cells, bool framed) {
    for (size_t c = 0; c + 1 < sheet.edges.size(); ++c) {
      const QRect cell(sheet.edges[c], y, sheet.edges[c + 1] - sheet.edges[c], sheet.rowHeight);
      if (framed) painter.drawRect(cell);
      const QRect inner = cell.adjusted(60, 0, -40, 0);
      const QString text = static_cast<qsizetype>(c) < cells.size() ? cells[static_cast<qsizetype>(c)] : QString();
      painter.drawText(inner, Qt::AlignVCenter | Qt::AlignLeft,
                       painter.fontMetrics().elidedText(text, Qt::ElideRight, inner.width()));
    }
  };

  for (int page = 0; page < pages; ++page) {
    if (page > 0) printer.newPage();
    painter.save();
    painter.scale(perUnitX, perUnitY);
    painter.setPen(QPen(Qt::black, 10));
    painter.setFont(sheet.titleFont);
    if (sheet.titleFramed) painter.drawRect(sheet.titleBox);
    painter.drawText(sheet.titleBox, static_cast<int>(sheet.titleAlign), sheet.title);
    painter.setFont(sheet.cellFont);
    int y = sheet.headTop;
    drawRow(y, sheet.heads, true);
    y += sheet.rowHeight;
    const int first = page * perPage, last = std::min(count, first + perPage);
    for (int i = first; i < last; ++i, y += sheet.rowHeight) drawRow(y, sheet.rows[static_cast<size_t>(i)], sheet.rowsFramed);
    const QRect footer = sheet.footerBox.isEmpty() ? QRect(0, pageHeight - 900, pageWidth, 500) : sheet.footerBox;
    painter.drawText(footer, Qt::AlignHCenter | Qt::AlignVCenter, QString::asprintf("- %d / %d -", page + 1, pages));
    painter.restore();
  }
  painter.end();
  return pages;
}

}  // namespace orva::view
