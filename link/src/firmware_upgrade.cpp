// The upload of the chosen firmware rows: one announcement at a time, the
// fragments from a thread of its own, the recorder's verdicts.
#include <cstdio>
#include <memory>
#include <vector>

#include "orva/link/catalogue.h"
#include "orva/link/firmware.h"
#include "orva/link/trace.h"

namespace orva {

const char* FirmwareRowStateName(FirmwareRowState state) {
  switch (state) {
    case FirmwareRowState::kNone: return "none";
    case FirmwareRowState::kCandidate: return "candidate";
    case FirmwareRowState::kAnnounced: return "announced";
    case FirmwareRowState::kUploading: return "uploading";
    case FirmwareRowState::kTransferred: return "transferred";
    case FirmwareRowState::kDone: return "done";
    case FirmwareRowState::kRefused: return "refused";
    case FirmwareRowState::kFailed: return "failed";
    case FirmwareRowState::kUnreadable: return "unreadable";
    case FirmwareRowState::kCancelled: return "cancelled";
  }
  return "?";
}

FirmwareUpgrade::~FirmwareUpgrade() {
  m_cancel = true;
  JoinUpload();
}

void FirmwareUpgrade::Attach(DvrSession& session) {
  m_session = &session;
  session.SetHandler(msg::FW_UPDATE_ACK, BindHandler(this, &FirmwareUpgrade::RecvFn_UpdateAck));
  session.SetHandler(msg::FW_UPDATE_NACK, BindHandler(this, &FirmwareUpgrade::RecvFn_UpdateNack));
  session.SetHandler(msg::FW_DATA_RX_DONE, BindHandler(this, &FirmwareUpgrade::RecvFn_DataRxDone));
  session.SetHandler(msg::FW_DATA_RX_FAIL, BindHandler(this, &FirmwareUpgrade::RecvFn_DataRxFail));
  session.SetHandler(msg::FW_UPDATE_DONE, BindHandler(this, &FirmwareUpgrade::RecvFn_UpdateDone));
  session.SetHandler(msg::FW_UPDATE_FAIL, BindHandler(this, &FirmwareUpgrade::RecvFn_UpdateFail));
  session.AddCloseParticipant(this);
}

void FirmwareUpgrade::OnCloseStage(CloseStage stage) {
  if (stage != CloseStage::kCloseSearchAndSetup) return;
  m_cancel = true;
  JoinUpload();
  const std::lock_guard<std::mutex> lock(m_lock);
  if (!m_running) return;
  m_running = false;
  m_currentRow = 0;
  if (m_observer) m_observer->OnRunFinished(m_successes.load());
}

Notice FirmwareUpgrade::BeginCommand(const std::string& folder) {
  if (m_session == nullptr || m_session->Identity().account != 0) return kNoticeNotPermitted;
  return Scan(folder) > 0 ? kNoticeFirmwareFound : kNoticeFirmwareNone;
}

int FirmwareUpgrade::Scan(const std::string& folder) {
  if (Running() || m_session == nullptr) return 0;
  FirmwareRows rows;
  const int found = ScanUpgradeFolder(folder, m_session->Identity(), rows);
  SetRows(rows);
  return found;
}

void FirmwareUpgrade::SetRows(const FirmwareRows& rows) {
  const std::lock_guard<std::mutex> lock(m_lock);
  m_rows = rows;
  for (size_t r = 0; r < m_rows.size(); ++r) {
    const bool candidate = m_rows[r].Selected();
    m_hadCandidate[r] = candidate;
    m_checked[r] = candidate;
    m_state[r] = candidate ? FirmwareRowState::kCandidate : FirmwareRowState::kNone;
    m_result[r] = 0;
  }
  m_currentRow = 0;
  m_successes = 0;
}

FirmwareRows FirmwareUpgrade::Rows() const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return m_rows;
}

FirmwareRowState FirmwareUpgrade::RowState(int row) const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return row >= 0 && row < kFirmwareRows ? m_state[static_cast<size_t>(row)] : FirmwareRowState::kNone;
}

int32_t FirmwareUpgrade::RowResult(int row) const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return row >= 0 && row < kFirmwareRows ? m_result[static_cast<size_t>(row)] : 0;
}

bool FirmwareUpgrade::Checked(int row) const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return row >= 0 && row < kFirmwareRows && m_checked[static_cast<size_t>(row)];
}

void FirmwareUpgrade::SetChecked(int row, bool on) {
  const std::lock_guard<std::mutex> lock(m_lock);
  // Boxes are disabled while a run is going on and for rows without a candidate.
  if (row < 0 || row >= kFirmwareRows || m_running || !m_hadCandidate[static_cast<size_t>(row)]) return;
  m_checked[static_cast<size_t>(row)] = on;
}

bool FirmwareUpgrade::CanStart() const {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (m_running) return false;
  for (size_t r = 0; r < m_rows.size(); ++r) {
    if (m_checked[r] && m_rows[r].Selected()) return true;
  }
  return false;
}

bool FirmwareUpgrade::Running() const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return m_running;
}

int FirmwareUpgrade::CurrentRow() const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return m_currentRow;
}

bool FirmwareUpgrade::Start() {
  if (m_session == nullptr) return false;
  const std::lock_guard<std::mutex> lock(m_lock);
  if (m_running) return false;
  m_running = true;
  return NextAnnouncementLocked();
}

void FirmwareUpgrade::Cancel() {
  m_cancel = true;
  JoinUpload();
  const std::lock_guard<std::mutex> lock(m_lock);
  if (!m_running) return;
  SetRowLocked(m_currentRow, FirmwareRowState::kCancelled);
  m_running = false;
  m_currentRow = 0;
  if (m_observer) m_observer->OnRunFinished(m_successes.load());
}

bool FirmwareUpgrade::NextAnnouncementLocked() {
  for (int r = m_currentRow; r < kFirmwareRows; ++r) {
    FirmwareEntry& entry = m_rows[static_cast<size_t>(r)];
    if (!entry.Selected() || !m_checked[static_cast<size_t>(r)]) continue;
    m_currentRow = r;
    entry.SetSelected(false);
    Trace("Send...FW_UPDATE_REQ... %s\n", entry.Path());
    if (!m_session->Send(msg::FW_UPDATE_REQ, entry.UpdateRequest())) {
      // Nothing will answer a request that never went out.
      SetRowLocked(r, FirmwareRowState::kFailed, -1);
      continue;
    }
    SetRowLocked(r, FirmwareRowState::kAnnounced);
    return true;
  }
  m_running = false;
  m_currentRow = 0;
  if (m_observer) m_observer->OnRunFinished(m_successes.load());
  return false;
}

void FirmwareUpgrade::SetRowLocked(int row, FirmwareRowState state, int32_t result) {
  if (row < 0 || row >= kFirmwareRows) return;
  m_state[static_cast<size_t>(row)] = state;
  m_result[static_cast<size_t>(row)] = result;
  if (m_observer) m_observer->OnRowChanged(row, state, result);
}

void FirmwareUpgrade::EndRowLocked(int row, FirmwareRowState state, int32_t result) {
  if (state == FirmwareRowState::kDone) ++m_successes;
  SetRowLocked(row, state, result);
  // After a cancel the verdict still shows (a written component still wants
  // the reboot) but nothing further is announced.
  if (m_running) {
    if (state != FirmwareRowState::kDone) m_cancel = true;
    NextAnnouncementLocked();
  }
}

void FirmwareUpgrade::JoinUpload() {
  const std::lock_guard<std::mutex> lock(m_threadLock);
  if (m_upload.joinable()) m_upload.join();
}

// ------------------------------------------------------------ answers

bool FirmwareUpgrade::RecvFn_UpdateAck(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...FW_UPDATE_ACK...\n");
  if (!session.Discard(header)) return false;
  // A cancelled upload may still be winding down; only one runs at a time.
  JoinUpload();
  std::string path;
  int row = 0;
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    row = m_currentRow;
    if (!m_running || m_state[static_cast<size_t>(row)] != FirmwareRowState::kAnnounced) {
      Trace("FW_UPDATE_ACK without an announcement\n");
      return true;
    }
    SetRowLocked(row, FirmwareRowState::kUploading);
    path = m_rows[static_cast<size_t>(row)].Path();
  }
  m_cancel = false;
  const std::lock_guard<std::mutex> lock(m_threadLock);
  m_upload = std::thread(&FirmwareUpgrade::Thread_FwUpgrade, this, row, std::move(path));
  return true;
}

bool FirmwareUpgrade::RecvFn_UpdateNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Trace("Recv...FW_UPDATE_NACK... %d\n", result);
  const std::lock_guard<std::mutex> lock(m_lock);
  EndRowLocked(m_currentRow, FirmwareRowState::kRefused, result);
  return true;
}

bool FirmwareUpgrade::RecvFn_DataRxDone(DvrSession& session, const MessageHeader& header) {
  if (!session.Discard(header)) return false;
  Trace("Recv...FW_DATA_RX_DONE...\n");
  const std::lock_guard<std::mutex> lock(m_lock);
  if (m_state[static_cast<size_t>(m_currentRow)] == FirmwareRowState::kUploading) {
    SetRowLocked(m_currentRow, FirmwareRowState::kTransferred);
  }
  return true;
}

bool FirmwareUpgrade::RecvFn_DataRxFail(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Trace("Recv...FW_DATA_RX_FAIL... %d\n", result);
  const std::lock_guard<std::mutex> lock(m_lock);
  EndRowLocked(m_currentRow, FirmwareRowState::kFailed, result);
  return true;
}

bool FirmwareUpgrade::RecvFn_UpdateDone(DvrSession& session, const MessageHeader& header) {
  if (!session.Discard(header)) return false;
  Trace("Recv...FW_UPDATE_DONE...\n");
  const std::lock_guard<std::mutex> lock(m_lock);
  EndRowLocked(m_currentRow, FirmwareRowState::kDone, 0);
  return true;
}

bool FirmwareUpgrade::RecvFn_UpdateFail(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Trace("Recv...FW_UPDATE_FAIL... %d\n", result);
  const std::lock_guard<std::mutex> lock(m_lock);
  EndRowLocked(m_currentRow, FirmwareRowState::kFailed, result);
  return true;
}

// ------------------------------------------------------------ upload

void FirmwareUpgrade::Thread_FwUpgrade(int row, std::string path) {
  Trace("Thread_FwUpgrade Start...\n");
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  long size = -1;
  if (file && std::fseek(file.get(), 0, SEEK_END) == 0) size = std::ftell(file.get());
  bool readable = size > 0 && std::fseek(file.get(), 0, SEEK_SET) == 0;
  if (readable) {
    std::vector<uint8_t> buffer(kFwFragmentSize);
    size_t remaining = static_cast<size_t>(size);
    size_t sent = 0;
    while (remaining > 0 && !m_cancel.load()) {
      const size_t want = std::min(remaining, kFwFragmentSize);
      if (std::fread(buffer.data(), 1, want, file.get()) != want) {
        readable = false;  // the file shrank or failed under us
        break;
      }
      const bool last = remaining <= kFwFragmentSize;
      m_session->SendWithFlags(msg::FW_DATA, last ? kLastFragment : uint16_t{0}, std::span(buffer.data(), want));
      sent += want;
      remaining -= want;
      if (m_observer) {
        m_observer->OnUploadProgress(row, last ? 100 : static_cast<int>(sent * 100 / static_cast<size_t>(size)));
      }
      std::this_thread::yield();
    }
  }
  file.reset();
  m_cancel = true;
  if (!readable) {
    // Without a complete image the recorder has nothing to answer; the row
    // would wait forever, so it ends here and the run goes on.
    Trace("Thread_FwUpgrade... can't read %s\n", path.c_str());
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_running && m_currentRow == row) EndRowLocked(row, FirmwareRowState::kUnreadable, 0);
  }
  Trace("Thread_FwUpgrade close...\n");
}

}  // namespace orva
