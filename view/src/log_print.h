// Printing a log list: a title, a row of column heads and the rows, so many
// to a page, with a "- page / pages -" footer. The local and the recorder's
// log viewers share it and differ only in the sheet's geometry.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

class QPrinter;

namespace orva::view {

// Coordinates in hundredths of a millimetre from the top left of the
// printable area, y growing downwards.
struct PrintSheet {
  QString docName;
  QString title;
  QStringList heads;              // five column heads
  std::vector<QStringList> rows;  // five cells each, in print order
  int rowsPerPage = 33;
  std::array<int, 6> edges{};     // the column boundaries
  QRect titleBox;
  bool titleFramed = false;
  Qt::Alignment titleAlign = Qt::AlignLeft | Qt::AlignVCenter;
  QFont titleFont;
  QFont cellFont;
  int headTop = 0;  // the heads' row; the rows follow
  int rowHeight = 400;
  bool rowsFramed = true;  // the heads are always framed
  QRect footerBox;         // empty: across the page, 900 above its foot
};

// Prints the sheet to a printer that has not been started: at least one page
// (the title and heads of an empty list). Returns the pages printed; 0 when
// the printer cannot start (error set).
int PrintSheetPages(QPrinter& printer, const PrintSheet& sheet, QString* error = nullptr);

}  // namespace orva::view
