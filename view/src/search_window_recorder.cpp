// The search window's recorder pages: the log (a viewer window of its own),
// the status and the system information.
#include <QMetaObject>
#include <QStackedWidget>
#include <QTimer>
#include <chrono>

#include "orva/view/recorder_views.h"
#include "orva/view/search_window.h"

namespace orva::view {
namespace {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

RemoteLogViewer* RecordingSearchWindow::LogViewerWindow() const { return m_logViewer.data(); }

void RecordingSearchWindow::OpenLog() {
  if (!m_logPage) {
    m_logPage = new LogPage(this);
    connect(m_logPage, &LogPage::fetchRequested, this, [this] {
      m_logPage->SetWaiting(true);
      m_search.RequestLog();
    });
    // The copy kept for the connection, without asking again.
    connect(m_logPage, &LogPage::showRequested, this, [this] { ShowLog(m_search.LogStore()); });
  }
  m_logPage->SetStoredCount(m_search.LogStore().size());
  Show(m_logPage, QStringLiteral("Log"));
}

void RecordingSearchWindow::OpenStatus() {
  if (!m_statusPage) {
    const int channels = m_session.ChannelCount() > 0 ? m_channelCount : 16;
    m_statusPage = new StatusPage(channels, m_freeSamples, this);
    connect(m_statusPage, &StatusPage::refreshRequested, this, [this] {
      m_statusPage->SetWaiting(true);
      m_search.RequestStatus();
    });
    // A new page asks at once.
    m_statusPage->SetWaiting(true);
    m_search.RequestStatus();
  }
  Show(m_statusPage, QStringLiteral("Status"));
}

void RecordingSearchWindow::OpenSystem() {
  // Rebuilt each time: the identity is the connection's, no request needed.
  const auto rows = SystemRows(m_session.Address(), m_session.Port(), m_session.Site(), m_session.Identity());
  if (m_systemPage) {
    m_stack->removeWidget(m_systemPage);
    m_systemPage->deleteLater();
  }
  m_systemPage = new SystemPage(rows, this);
  Show(m_systemPage, QStringLiteral("System"));
}

void RecordingSearchWindow::ShowLog(std::vector<LogRecord> records) {
  if (m_logPage) {
    m_logPage->SetWaiting(false);
    m_logPage->SetStoredCount(m_search.LogStore().size());
  }
  if (m_logViewer) {
    m_logViewer->SetRecords(std::move(records));
  } else {
    m_logViewer = new RemoteLogViewer(std::move(records), m_dateFormat, m_opacity, this);
  }
  m_logViewer->show();
  m_logViewer->raise();
}

// ------------------------------------------------------------ replies

void RecordingSearchWindow::OnLog(const std::vector<LogRecord>& records) {
  QMetaObject::invokeMethod(this, [this, records] { ShowLog(records); }, Qt::QueuedConnection);
}

void RecordingSearchWindow::OnStatus(const RecorderStatus& status) {
  const double at = SteadySeconds();
  QMetaObject::invokeMethod(
      this,
      [this, status, at] {
        // Only the status page asks; without it the answer has no reader.
        if (m_statusPage) m_statusPage->SetStatus(status, at);
      },
      Qt::QueuedConnection);
}

void RecordingSearchWindow::OnCloseRequested() {
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

}  // namespace orva::view
