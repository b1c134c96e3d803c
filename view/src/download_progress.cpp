#include "download_progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "orva/recordings/download.h"
#include "search_pages.h"
#include "skin_style.h"

namespace orva::view {
namespace {

// QProgressBar counts in int; estimates beyond that are shown in MiB steps.
int BarUnits(uint64_t kib, uint32_t estimate) {
  return static_cast<int>(estimate > INT_MAX ? kib / 1024 : kib);
}

}  // namespace

QString DownloadPercentText(uint64_t receivedKiB, uint32_t estimateKiB) {
  if (estimateKiB == 0) return QStringLiteral("0.0 %");
  const uint64_t received = std::min<uint64_t>(receivedKiB, estimateKiB);
  return QString::asprintf("%.1f ", static_cast<double>(received) * 100.0 / estimateKiB) + QLatin1Char('%');
}

DownloadProgressWindow::DownloadProgressWindow(uint32_t estimateKiB, QWidget* parent)
    : QDialog(parent), m_estimate(estimateKiB) {
  setObjectName(QStringLiteral("downloadProgress"));
  setWindowTitle(SearchText("main.download.title", "Downloading"));
  skin::StyleDialog(this, 255);
  setModal(false);
  m_bar = new QProgressBar(this);
  m_bar->setRange(0, std::max(1, BarUnits(estimateKiB, estimateKiB)));
  m_bar->setValue(0);
  m_bar->setTextVisible(false);
  m_bar->setMinimumWidth(320);
  m_percent = new QLabel(QStringLiteral("0 %"), this);
  m_percent->setObjectName(QStringLiteral("percent"));
  m_percent->setStyleSheet(QStringLiteral("font-size: 16px; font-weight: bold;"));
  m_amount = new QLabel(this);
  m_amount->setStyleSheet(QStringLiteral("color: #8b949e;"));
  m_stop = new QPushButton(SearchText("main.download.stop", "\u25A0  Stop"), this);
  auto* title = new QLabel(windowTitle(), this);
  title->setObjectName(QStringLiteral("noticeTitle"));

  auto* row = new QHBoxLayout;
  row->addWidget(m_percent);
  row->addStretch(1);
  row->addWidget(m_amount);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_stop);
  auto* column = new QVBoxLayout(this);
  column->addWidget(title);
  column->addWidget(m_bar);
  column->addLayout(row);
  column->addLayout(buttons);
  connect(m_stop, &QPushButton::clicked, this, [this] {
    m_stop->setEnabled(false);  // the stop drains the queue first; once is enough
    emit stopRequested();
  });
  SetReceived(0);
  m_percent->setText(QStringLiteral("0 %"));
}

void DownloadProgressWindow::SetReceived(uint64_t receivedKiB) {
  const uint64_t shown = std::min<uint64_t>(receivedKiB, m_estimate);
  m_bar->setValue(BarUnits(shown, m_estimate));
  m_percent->setText(DownloadPercentText(receivedKiB, m_estimate));
  m_amount->setText(QString::fromStdString(FormatDownloadSize(static_cast<uint32_t>(shown))) + QStringLiteral(" / ") +
                    QString::fromStdString(FormatDownloadSize(m_estimate)));
}

void DownloadProgressWindow::reject() {
  if (m_stop->isEnabled()) m_stop->click();
}

}  // namespace orva::view
