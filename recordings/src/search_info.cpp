// The recorder's log and status, fetched from the search window and
// collected in its reply buffer.
#include "orva/link/catalogue.h"
#include "orva/link/trace.h"
#include "orva/recordings/search_controller.h"

namespace orva {

void SearchController::RequestLog() {
  if (!m_session) return;
  PrepareRequest();
  m_busy = true;
  m_session->Send(msg::LOG_INFO_REQ);
  Trace("Send...LOG_INFO_REQ...\n");
}

void SearchController::RequestStatus() {
  if (!m_session) return;
  PrepareRequest();
  m_busy = true;
  m_session->Send(msg::STATUS_INFO_REQ);
  Trace("Send...STATUS_INFO_REQ...\n");
}

std::vector<LogRecord> SearchController::LogStore() const {
  std::lock_guard lock(m_lock);
  return m_logStore;
}

void SearchController::DeliverInfo(uint16_t code, std::span<const uint8_t> block) {
  if (code == msg::LOG_INFO_ACK) {
    m_logStore = ParseLogBlock(block);
    if (m_observer) m_observer->OnLog(m_logStore);
  } else if (code == msg::STATUS_INFO_ACK) {
    const RecorderStatus status = ParseStatusBlock(block);
    if (m_observer) m_observer->OnStatus(status);
  }
  // The system block is never asked for; one that comes is read and left.
}

bool SearchController::RecvFn_InfoNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  m_busy = false;
  const uint16_t code = header.Code();
  switch (result) {
    case 1: session.PostNotice({6, 0}); break;
    case 83: session.PostNotice({4, 0}); break;
    case 86: session.PostNotice({6, 3}); break;
    default:
      Trace(code == msg::LOG_INFO_NACK      ? "RecvFn_LogInfoNack... %d\n"
            : code == msg::STATUS_INFO_NACK ? "RecvFn_StatusInfoNack... %d\n"
                                            : "RecvFn_SystemInfoNack... %d\n",
            result);
  }
  std::lock_guard lock(m_lock);
  if (m_open.load() && m_observer) {
    m_observer->OnBusyCleared();
    m_observer->OnCloseRequested();
  }
  return true;
}

}  // namespace orva
