// The local log viewer: the client's own event log, newest first, with
// printing (33 rows a page, framed cells, "- page / pages -" footer).
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "orva/recordings/local_log.h"

class QPrinter;
class QTreeWidget;

namespace orva::view {

inline constexpr int kLogRowsPerPage = 33;

struct LogRow {
  QString number;  // "%04d": position in the oldest-first order, from 1
  QString time;    // by the date format
  QString mainType;
  QString subType;  // empty when the sub type has no bit the main type knows
  QString host;     // logon records only
  QString user;     // logon records only
};

// Rows newest first from the records oldest first.
std::vector<LogRow> BuildLogRows(const std::vector<LocalLogRecord>& oldestFirst, int dateFormat);

// Prints the rows with the title "Local Log" to a printer that has not been
// started. Returns the number of pages printed; 0 when the printer cannot
// start (error set).
int PrintLogRows(QPrinter& printer, const std::vector<LogRow>& newestFirst, QString* error = nullptr);

class LogViewer : public QDialog {
  Q_OBJECT
 public:
  LogViewer(const LocalLog& log, int dateFormat, uint8_t opacity, QWidget* parent = nullptr);

  void Reload();
  const std::vector<LogRow>& Rows() const { return m_rows; }
  QTreeWidget* List() const { return m_list; }
  QString LoadError() const { return m_error; }

 public slots:
  // The print dialog, then printing.
  void Print();

 private:
  const LocalLog& m_log;
  int m_dateFormat;
  std::vector<LogRow> m_rows;
  QString m_error;
  QTreeWidget* m_list = nullptr;
};

}  // namespace orva::view
