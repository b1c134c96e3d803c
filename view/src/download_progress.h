// The download's progress window: a bar from 0 to the recorder's estimate
// (KiB), the share received as "%.1f %", and Stop. The main window opens it
// when a download starts and closes it when the download ends.
#pragma once

#include <QDialog>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orva::view {

// received x 100 / estimate with received clamped into [0, estimate];
// "0.0 %" without an estimate.
QString DownloadPercentText(uint64_t receivedKiB, uint32_t estimateKiB);

class DownloadProgressWindow : public QDialog {
  Q_OBJECT
 public:
  explicit DownloadProgressWindow(uint32_t estimateKiB, QWidget* parent = nullptr);
  void SetReceived(uint64_t receivedKiB);
  QProgressBar* Bar() const { return m_bar; }
  QLabel* PercentText() const { return m_percent; }
  QPushButton* StopButton() const { return m_stop; }

 signals:
  void stopRequested();

 protected:
  // The window goes only when the download ends; closing it asks for the stop.
  void reject() override;

 private:
  uint32_t m_estimate;
  QProgressBar* m_bar = nullptr;
  QLabel* m_percent = nullptr;
  QLabel* m_amount = nullptr;
  QPushButton* m_stop = nullptr;
};

}  // namespace orva::view
