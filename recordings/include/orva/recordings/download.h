// Backup download on one connection: the size estimate with the free-space
// rule, the download request, the frames the recorder streams (queued to a
// writer thread that stores them in .vid/.idx pairs), and every way a
// download stops, each of which drains the queue first so that every frame
// received is written.
//
// Threads and contracts
// - Attach() before the session opens. RequestSize, Start, Stop and
//   CancelEstimate run on the owner's thread.
// - The handlers run on the receive thread: TRANS_ON_DATA only appends to
//   the writer's queue (and slows the recorder down by sleeping when the
//   writer falls behind); TRANS_ON_DONE / TRANS_ON_FAIL run the stop there.
// - The writer thread is the only one that touches the files.
// - The observer hears from all three threads; it only records and posts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orva/link/dvr_session.h"
#include "orva/link/reassembly.h"
#include "orva/recordings/backup_files.h"

namespace orva {

struct DownloadRange {
  uint32_t channelMask = 0xFFFF;
  uint32_t start = 0, end = 0;
  int eventKind = 0;  // > 0: the range of one event of this kind
};
// The size request carries kind 63 (time range) or the event's kind bit;
// the data request 63 or, for an event, 0.
std::array<uint8_t, 24> EncodeDownloadRange(const DownloadRange& range, bool dataRequest);

// "%d KByte" under 1024, "%d MByte" under 1,048,576, else "%d GByte"; unit 0, 1, 2.
std::string FormatDownloadSize(uint32_t kib, int* unit = nullptr);
// The download fits when the free MiB less the estimate's MiB leave 100 MiB.
bool DownloadFits(uint64_t freeMiB, uint32_t kib);

inline constexpr Notice kNoticeDownloadWriteFailed{21, 0};

class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;
  // The recorder's estimate; fits = the free-space rule holds.
  virtual void OnSizeEstimated(uint32_t kib, bool fits) { (void)kib, (void)fits; }
  virtual void OnDownloadStarted(uint32_t estimateKiB) { (void)estimateKiB; }
  virtual void OnProgress(uint64_t receivedKiB) { (void)receivedKiB; }
  // The download ended; `error` is empty unless the files could not be written.
  virtual void OnDownloadEnded(const std::string& error) { (void)error; }
};

struct DownloadOptions {
  std::string folder;                        // the Download folder
  std::function<uint64_t()> freeMiB;         // space available to the user
  FileOpener open = OpenPosixFile;
  std::function<uint32_t()> now;             // names and link times
  uint64_t splitAfter = kSplitAfterBytes;
};

struct DownloadStats {
  uint64_t videoFrames = 0, audioFrames = 0, receivedBytes = 0;
  std::vector<PairNames> pairs;
  std::string error;
};

class DownloadController : private CloseParticipant {
 public:
  explicit DownloadController(DownloadOptions options);
  ~DownloadController() override;
  DownloadController(const DownloadController&) = delete;
  DownloadController& operator=(const DownloadController&) = delete;

  void Attach(DvrSession& session);
  void SetObserver(DownloadObserver* observer) { m_observer = observer; }

  // --- owner's thread ---
  void RequestSize(const DownloadRange& range);
  // Starts the writer and sends the data request; false while one runs.
  bool Start(const DownloadRange& range);
  // The progress window's stop, a rights change, program exit.
  void Stop();
  // The search window closes: the recorder drops an unfinished estimate.
  void CancelEstimate();

  // --- any thread ---
  bool Running() const { return m_running.load(); }
  bool Busy() const { return m_busy.load(); }
  uint32_t EstimateKiB() const { return m_estimate.load(); }
  // After a refusal by the free-space rule: the MiB asked for and F - 100.
  std::pair<uint64_t, int64_t> Shortfall() const { return {m_needMiB.load(), m_spareMiB.load()}; }
  // After TRANS_ON_NACK 87: the recorder's required and available sizes.
  std::pair<uint32_t, uint32_t> RecorderShortfall() const { return {m_recorderNeed.load(), m_recorderHave.load()}; }
  DownloadStats Stats() const;

  // Handlers, public for tests.
  bool RecvFn_TransOnAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_TransOnNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_TransOffAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_TransOffNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_TransOnData(DvrSession& session, const MessageHeader& header);
  bool RecvFn_TransOnDone(DvrSession& session, const MessageHeader& header);
  bool RecvFn_TransOnFail(DvrSession& session, const MessageHeader& header);

 private:
  void OnCloseStage(CloseStage stage) override;
  void Thread_BackupWriter();
  // Drains the queue, stops the writer, closes the pair; `sendOff` sends TRANS_OFF_REQ first.
  void StopSequence(bool sendOff);
  void FinishWriter();

  DownloadOptions m_options;
  DvrSession* m_session = nullptr;
  DownloadObserver* m_observer = nullptr;

  std::atomic<bool> m_running{false};
  std::atomic<bool> m_busy{false};
  std::atomic<uint32_t> m_estimate{0};
  std::atomic<uint64_t> m_needMiB{0};
  std::atomic<int64_t> m_spareMiB{0};
  std::atomic<uint32_t> m_recorderNeed{0}, m_recorderHave{0};
  std::atomic<size_t> m_queueSeen{0};     // the writer's last queue length, for the throttle
  std::atomic<bool> m_writeFailed{false};
  std::mutex m_stopLock;                  // one stop sequence at a time

  // Receive thread only.
  FrameReassembly m_reassembly;

  // Guarded by m_queueLock.
  std::mutex m_queueLock;
  std::condition_variable m_queued;
  std::deque<std::vector<uint8_t>> m_queue;
  bool m_writerStop = false;

  // Writer thread; read by Stats under m_statsLock.
  std::unique_ptr<BackupPairWriter> m_writer;
  mutable std::mutex m_statsLock;
  DownloadStats m_stats;
  std::thread m_thread;
};

}  // namespace orva
