// Export of one channel of the downloaded pairs to an MP4 file: channel,
// stretch, the two-field option and the output file; the export runs on a
// worker thread (it may take a while) with a busy bar, and the dialog then
// shows what was written or why nothing was.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "local_playback_window.h"
#include "orva/recordings/mp4_export.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace orva::view {

// "CH01_2009-12-07_100000.mp4" in `folder`.
QString DefaultExportPath(const QString& folder, int channel, uint32_t from);
// The result as the dialog shows it.
QString ExportResultText(const ExportResult& result);

class ExportDialog : public QDialog {
  Q_OBJECT
 public:
  // titleOf: the channel's camera title for the file's metadata (may be empty).
  ExportDialog(std::string pairsFolder, QString outputFolder, ExportDefaults defaults, int dateFormat,
               std::function<QString(int)> titleOf, QWidget* parent = nullptr);
  ~ExportDialog() override;  // waits for a running export

  QComboBox* Channel() const { return m_channel; }
  QDateTimeEdit* From() const { return m_from; }
  QDateTimeEdit* To() const { return m_to; }
  QCheckBox* FirstField() const { return m_firstField; }
  QLineEdit* Output() const { return m_output; }
  QPushButton* ExportButton() const { return m_run; }
  QLabel* ResultText() const { return m_result; }
  QProgressBar* BusyBar() const { return m_busy; }
  bool Running() const { return m_running.load(); }
  ExportRequest Request() const;

 signals:
  void exportFinished(bool ok);

 protected:
  // Not while an export runs: it cannot be interrupted.
  void reject() override;

 private:
  void Run();
  void Finished(bool ok, const ExportResult& result, const QString& error);
  void SetBusy(bool busy);

  const std::string m_folder;
  const QString m_outputFolder;
  std::function<QString(int)> m_titleOf;
  bool m_outputTouched = false;
  std::atomic<bool> m_running{false};
  std::thread m_worker;

  QComboBox* m_channel = nullptr;
  QDateTimeEdit* m_from = nullptr;
  QDateTimeEdit* m_to = nullptr;
  QCheckBox* m_firstField = nullptr;
  QLineEdit* m_output = nullptr;
  QPushButton* m_browse = nullptr;
  QPushButton* m_run = nullptr;
  QPushButton* m_close = nullptr;
  QProgressBar* m_busy = nullptr;
  QLabel* m_result = nullptr;
};

}  // namespace orva::view
