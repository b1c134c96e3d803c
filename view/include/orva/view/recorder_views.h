// The recorder's log, status and system views. The log viewer lists the
// records of the last log answer newest first in five columns (number, date
// and time, type, kind, detail), narrowed to one log type by its selector,
// and prints the shown list 33 rows a page. The status page shows the disk
// capacities (total, used, free), each channel's recording state and the
// extra storage devices, and estimates the days until the disk is full from
// the free space seen at successive refreshes. The system page shows the
// connection and the identity the recorder sent at logon.
//
// The views only show what they are given; the search window asks the
// recorder and hands them the answers on the GUI thread.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "orva/link/identity.h"
#include "orva/link/recorder_status.h"
#include "orva/link/remote_log.h"

class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;
class QTreeWidget;

namespace orva::view {

struct RemoteLogRow {
  QString number;  // "%05d", the record's own number
  QString time;    // by the date format
  QString type;    // empty when the type mask has no known bit
  QString kind;    // empty when the kind mask has none of the type's bits
  QString detail;
};

// Labels from the resource library: type 0-4 (power, record, operation,
// client, event), kind by its index within the type.
QString RemoteLogTypeLabel(int type);
QString RemoteLogKindLabel(int type, int kind);
// "Recorder Log" for the combined list, else "Event Log", "Power Log", ...
QString RemoteLogTitle(LogView view);
// The rows a view lists, newest (last received) first.
std::vector<RemoteLogRow> BuildRemoteLogRows(const std::vector<LogRecord>& records, LogView view, int dateFormat);
// Prints the rows to a printer that has not been started, as the document
// named after the view. Returns the pages printed (at least 1); 0 when the
// printer cannot start (error set).
int PrintRemoteLogRows(QPrinter& printer, const std::vector<RemoteLogRow>& rows, LogView view,
                       QString* error = nullptr);

class RemoteLogViewer : public QDialog {
  Q_OBJECT
 public:
  RemoteLogViewer(std::vector<LogRecord> records, int dateFormat, uint8_t opacity, QWidget* parent = nullptr);

  // A new answer: the list is rebuilt for the view shown.
  void SetRecords(std::vector<LogRecord> records);
  void SetView(LogView view);
  LogView View() const { return m_view; }
  const std::vector<RemoteLogRow>& Rows() const { return m_rows; }
  QTreeWidget* List() const { return m_list; }
  QComboBox* Selector() const { return m_selector; }

 public slots:
  // The print dialog, then printing.
  void Print();

 private:
  void Rebuild();

  std::vector<LogRecord> m_records;
  const int m_dateFormat;
  LogView m_view = LogView::kAll;
  std::vector<RemoteLogRow> m_rows;
  QComboBox* m_selector = nullptr;
  QTreeWidget* m_list = nullptr;
  QLabel* m_count = nullptr;
};

struct InfoRow {
  QString label;
  QString value;
};

// Total (a), used (a - b), free (b); an empty row; one row per channel
// ("%s %02d") with the recording state or the "not recording" label; with
// the device section two rows per present device.
std::vector<InfoRow> StatusRows(const RecorderStatus& status, int channelCount);
// "Days until full: N" (whole days), or "Days until full: unknown".
QString DaysLeftText(const std::vector<FreeSpaceSample>& samples);
// Adds a reading of the free space. A rise (space freed, disk changed)
// starts the series over; the first reading is kept when the series is cut.
void AddFreeSpaceSample(std::vector<FreeSpaceSample>& samples, FreeSpaceSample sample);
// Address, port, site, MAC address, and the build times of the main firmware
// and of components 3, 4, 2, 5 and 6 (the ones the upgrade offers).
std::vector<InfoRow> SystemRows(const std::string& address, uint16_t port, const std::string& site,
                                const RecorderIdentity& identity);

// The status page: Refresh asks the recorder; each answer is shown and its
// free space kept in the sample series (the connection's, when given).
class StatusPage : public QWidget {
  Q_OBJECT
 public:
  StatusPage(int channelCount, std::vector<FreeSpaceSample>* samples, QWidget* parent = nullptr);
  // An answer, read at this steady-clock time in seconds.
  void SetStatus(const RecorderStatus& status, double atSeconds);
  void SetWaiting(bool waiting);
  QTreeWidget* List() const { return m_list; }
  QLabel* DaysLeft() const { return m_daysLeft; }
  QPushButton* RefreshButton() const { return m_refresh; }

 signals:
  void refreshRequested();

 private:
  const int m_channelCount;
  std::vector<FreeSpaceSample> m_ownSamples;
  std::vector<FreeSpaceSample>* m_samples;
  QTreeWidget* m_list = nullptr;
  QLabel* m_daysLeft = nullptr;
  QLabel* m_state = nullptr;
  QPushButton* m_refresh = nullptr;
};

// The log page: Fetch asks for the whole log; Show opens the viewer on the
// copy kept from the last answer.
class LogPage : public QWidget {
  Q_OBJECT
 public:
  explicit LogPage(QWidget* parent = nullptr);
  void SetWaiting(bool waiting);
  void SetStoredCount(size_t records);
  QPushButton* FetchButton() const { return m_fetch; }
  QPushButton* ShowButton() const { return m_show; }

 signals:
  void fetchRequested();
  void showRequested();

 private:
  QPushButton* m_fetch = nullptr;
  QPushButton* m_show = nullptr;
  QLabel* m_state = nullptr;
};

// The system page: rows only, no request.
class SystemPage : public QWidget {
  Q_OBJECT
 public:
  explicit SystemPage(const std::vector<InfoRow>& rows, QWidget* parent = nullptr);
  QTreeWidget* List() const { return m_list; }

 private:
  QTreeWidget* m_list = nullptr;
};

}  // namespace orva::view
