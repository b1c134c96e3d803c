// Firmware upgrade: the scan of the upgrade folder for images newer than the
// recorder's builds, the six candidate rows, and the upload of the chosen
// rows one after the other.
//
// Threads and contracts
// - Attach() before the session opens. Scan(), SetChecked(), Start(),
//   Cancel() and the accessors are called from the owner's thread (the UI
//   thread, or orvactl's main thread).
// - The answer handlers run on the receive thread; the upload runs on a
//   thread of its own that sends FW_DATA through the session's one send
//   lock, so its fragments never interleave with other messages.
// - FirmwareObserver is called on the receive thread or the upload thread;
//   implementations only record and post.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "orva/link/dvr_session.h"
#include "orva/link/identity.h"

namespace orva {

inline constexpr int kFirmwareRows = 6;
inline constexpr size_t kFirmwareEntrySize = 320;
inline constexpr size_t kFwUpdateReqSize = 56;
inline constexpr size_t kFwFragmentSize = 8000;
inline constexpr size_t kFirmwareProbeSize = 256;  // bytes of a file the scan reads
inline constexpr size_t kFirmwarePathSize = 263;   // path field of an entry, terminated

inline constexpr Notice kNoticeFirmwareFound{11, 0};
inline constexpr Notice kNoticeFirmwareNone{11, 1};
inline constexpr Notice kNoticeRebootAfterUpgrade{8, 5};

// Rows show components 0, 3, 4, 2, 5, 6; components 1 and 7-19 have no row.
// Both return -1 (traced) outside the table.
int GetIdxToType(int row);
int GetTypeToIdx(int component);

// What the scan reads from one file's first bytes.
struct FirmwareImage {
  int component = -1;      // index into the recorder's component names
  uint32_t buildTime = 0;  // wire seconds
  std::array<uint8_t, 32> name{};  // the entry's name field
};

// Identifies an image by its first bytes (at most kFirmwareProbeSize): a
// component image ("VBoot" at bytes 3-7, 64-byte header) or a main image
// (bytes 4-14 name component 0, build date as "(Mon DD YYYY - HH:MM:SS").
// None for files that belong to no component of `identity`.
std::optional<FirmwareImage> ProbeFirmwareImage(std::span<const uint8_t> head, const RecorderIdentity& identity);
// The main image's build time from its text, or none (traced: no "(" or an
// unknown month).
std::optional<uint32_t> ParseMainBuildTime(std::span<const uint8_t> head);

// One row's candidate, in the 320-byte layout whose bytes 264-319 are the
// FW_UPDATE_REQ payload.
class FirmwareEntry {
 public:
  void Clear() { m_bytes.fill(0); }
  void Fill(const FirmwareImage& image, const std::string& path);
  bool Selected() const { return m_bytes[0] != 0; }
  void SetSelected(bool on) { m_bytes[0] = on ? 1 : 0; }
  const char* Path() const { return reinterpret_cast<const char*>(m_bytes.data() + 1); }
  uint32_t BuildTime() const { return LoadBE32(m_bytes.data() + 268); }
  int Component() const { return m_bytes[280]; }
  std::string Name() const;
  std::span<const uint8_t, kFwUpdateReqSize> UpdateRequest() const {
    return std::span<const uint8_t, kFwUpdateReqSize>(m_bytes.data() + 264, kFwUpdateReqSize);
  }
  const std::array<uint8_t, kFirmwareEntrySize>& Bytes() const { return m_bytes; }

 private:
  std::array<uint8_t, kFirmwareEntrySize> m_bytes{};
};

using FirmwareRows = std::array<FirmwareEntry, kFirmwareRows>;

// Zeroes `rows`, lists every file of `folder` and keeps per row the newest
// image newer than the recorder's build. Returns how many files became a
// candidate along the way (a replaced candidate still counts).
int ScanUpgradeFolder(const std::string& folder, const RecorderIdentity& identity, FirmwareRows& rows);

// Where a row stands.
enum class FirmwareRowState {
  kNone,         // no candidate
  kCandidate,    // waiting for Start
  kAnnounced,    // FW_UPDATE_REQ sent
  kUploading,    // FW_UPDATE_ACK: the fragments go out
  kTransferred,  // FW_DATA_RX_DONE
  kDone,         // FW_UPDATE_DONE
  kRefused,      // FW_UPDATE_NACK (result kept)
  kFailed,       // FW_DATA_RX_FAIL or FW_UPDATE_FAIL (result kept)
  kUnreadable,   // the file could not be opened or read for the upload
  kCancelled,
};
const char* FirmwareRowStateName(FirmwareRowState state);

class FirmwareObserver {
 public:
  virtual ~FirmwareObserver() = default;
  virtual void OnRowChanged(int row, FirmwareRowState state, int32_t result) {
    (void)row, (void)state, (void)result;
  }
  virtual void OnUploadProgress(int row, int percent) { (void)row, (void)percent; }
  // No checked candidate is left to announce.
  virtual void OnRunFinished(int successes) { (void)successes; }
};

class FirmwareUpgrade : public CloseParticipant {
 public:
  explicit FirmwareUpgrade(FirmwareObserver* observer = nullptr) : m_observer(observer) {}
  ~FirmwareUpgrade() override;
  FirmwareUpgrade(const FirmwareUpgrade&) = delete;
  FirmwareUpgrade& operator=(const FirmwareUpgrade&) = delete;

  // Binds the answers and joins the close sequence, which stops an upload
  // before the socket goes.
  void Attach(DvrSession& session);
  void OnCloseStage(CloseStage stage) override;

  // The firmware command: a user whose account number is not 0 may not
  // upgrade (15/0, nothing scanned); otherwise the scan, then 11/0 when a
  // candidate was found and 11/1 when there is nothing to upgrade.
  Notice BeginCommand(const std::string& folder);

  // Scans `folder` against the connected recorder's components; every row
  // with a candidate is checked. Refused (0) while a run is going on.
  int Scan(const std::string& folder);
  // Rows from an earlier scan, e.g. for tests.
  void SetRows(const FirmwareRows& rows);

  FirmwareRows Rows() const;
  FirmwareRowState RowState(int row) const;
  int32_t RowResult(int row) const;
  bool Checked(int row) const;
  void SetChecked(int row, bool on);
  // Start is offered while at least one row with a candidate is checked.
  bool CanStart() const;
  bool Running() const;
  int Successes() const { return m_successes.load(); }
  int CurrentRow() const;

  // Announces the first checked candidate from the current row on.
  // False when none is left (the run is over).
  bool Start();
  // Stops the upload (waiting for its thread) and marks the current row
  // cancelled; the run ends.
  void Cancel();

  // Handlers, public for tests.
  bool RecvFn_UpdateAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_UpdateNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DataRxDone(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DataRxFail(DvrSession& session, const MessageHeader& header);
  bool RecvFn_UpdateDone(DvrSession& session, const MessageHeader& header);
  bool RecvFn_UpdateFail(DvrSession& session, const MessageHeader& header);

 private:
  bool NextAnnouncementLocked();
  void SetRowLocked(int row, FirmwareRowState state, int32_t result = 0);
  void EndRowLocked(int row, FirmwareRowState state, int32_t result);
  void JoinUpload();
  void Thread_FwUpgrade(int row, std::string path);

  DvrSession* m_session = nullptr;
  FirmwareObserver* const m_observer;

  // Guarded by m_lock.
  mutable std::mutex m_lock;
  FirmwareRows m_rows;
  std::array<bool, kFirmwareRows> m_checked{};
  std::array<bool, kFirmwareRows> m_hadCandidate{};
  std::array<FirmwareRowState, kFirmwareRows> m_state{};
  std::array<int32_t, kFirmwareRows> m_result{};
  int m_currentRow = 0;
  bool m_running = false;

  // Shared with the upload thread.
  std::atomic<bool> m_cancel{false};
  std::atomic<int> m_successes{0};
  std::mutex m_threadLock;  // guards starting m_upload against joining it
  std::thread m_upload;
};

}  // namespace orva
