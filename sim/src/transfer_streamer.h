// The backup thread of a session: answers size estimates and streams
// downloads. A download sends the range's records in time order (per moment:
// the sound that begins then, then each channel's frame in channel order) as
// TRANS_ON_DATA blocks, as fast as the client reads them, then TRANS_ON_DONE.
// It runs beside live view and playback on the same connection.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "archive.h"
#include "archive_pictures.h"
#include "audio_source.h"
#include "orva/sim/config.h"
#include "send_link.h"
#include "transfer_plan.h"

namespace orva::sim::detail {

class TransferStreamer {
 public:
  using TraceFn = std::function<void(const std::string&)>;
  TransferStreamer(const SimConfig& config, const Archive& archive, SendLink& link,
                   const std::atomic<bool>& stop, TraceFn trace);
  ~TransferStreamer();  // Shutdown()
  TransferStreamer(const TransferStreamer&) = delete;
  TransferStreamer& operator=(const TransferStreamer&) = delete;

  // The following need the link's lock.
  // Answers TRANS_ON_ACK / NACK for `range` when the estimate is done; a
  // newer request replaces one not yet answered.
  void EstimateLocked(const TransferRange& range);
  bool CancelEstimateLocked();  // false: nothing was pending
  void StartLocked(const TransferRange& range);  // replaces a running download
  bool StopLocked();                             // false: none was running

  void Shutdown();  // ends the thread; call without the lock
  bool Broken() const { return broken_.load(); }

 private:
  using Lock = std::unique_lock<std::mutex>;
  using Clock = std::chrono::steady_clock;
  void Run();
  void AnswerEstimate(Lock& lock);
  void StepDownload(Lock& lock);
  bool SendAudio(Lock& lock);
  bool SendRecord(Lock& lock, const std::vector<uint8_t>& record, int channel, const char* what);
  bool Finish(uint16_t code, const std::vector<uint8_t>& payload);  // DONE or FAIL
  void Fail(const std::string& why);
  bool Cancelled() const { return ending_.load() || stop_.load(); }
  void Trace(const std::string& line) const {
    if (trace_) trace_(line);
  }

  const SimConfig& config_;
  const Archive& archive_;
  SendLink& link_;
  const std::atomic<bool>& stop_;
  TraceFn trace_;
  ArchivePictures pictures_;  // used by the thread only
  std::condition_variable wake_;
  std::atomic<bool> ending_{false};
  std::atomic<bool> broken_{false};

  // Guarded by the link's lock.
  bool estimatePending_ = false;
  uint64_t estimateGeneration_ = 0;
  TransferRange estimateRange_;
  Clock::time_point estimateDue_{};

  uint64_t generation_ = 0;  // of the download
  bool active_ = false;
  std::unique_ptr<RangeWalker> walker_;
  bool momentValid_ = false;
  int index_ = 0;            // frame within the current second's GOP
  uint64_t nextSecond_ = 0;  // where the next second is looked for
  uint16_t all_ = 0, left_ = 0;  // channels of the moment, those still to send
  uint64_t videoSent_ = 0;
  uint16_t failed_ = 0;      // channels whose pictures could not be made
  std::array<ImaAdpcmEncoder, 16> adpcm_{};

  std::thread thread_;  // last: starts after everything above exists
};

}  // namespace orva::sim::detail
