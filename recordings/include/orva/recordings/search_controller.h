// The recording search on one connection: what the search window holds
// without Qt (channel selection, the 2 MiB reply buffer, the busy flag, the
// records of the last replies) and the requests and replies of both search
// families (playback and backup) and of the event search.
//
// Threads and contracts
// - Attach() before the session opens: it installs the reply handlers. The
//   controller lives as long as the connection; the search window comes and
//   goes with OpenWindow/CloseWindow.
// - Requests, OpenWindow/CloseWindow and the selection run on the UI thread.
// - The handlers run on the receive thread. They call the observer under
//   m_lock, so after CloseWindow returns no callback is running or will
//   come; observers only copy and post.
// - A reply that arrives with no window open is read and dropped.
// - A reply larger than the buffer is read past and refused: the observer
//   hears OnReplyRefused, the busy flag clears, the records stay as they were.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "orva/link/dvr_session.h"
#include "orva/link/reassembly.h"
#include "orva/link/recorder_status.h"
#include "orva/link/remote_log.h"
#include "orva/recordings/search_records.h"

namespace orva {

enum class SearchFamily { kPlayback, kBackup };

class SearchObserver {
 public:
  virtual ~SearchObserver() = default;
  // Month reply (or refusal 83 with the year maps held from before).
  virtual void OnYearMaps(SearchFamily family, const std::vector<YearMapRecord>& maps) { (void)family, (void)maps; }
  // Day reply: the playback time bar, or the backup time range.
  virtual void OnDaySpans(SearchFamily family, const std::vector<SpanRecord>& spans) { (void)family, (void)spans; }
  // EVENT_INFO reply (empty after a refusal).
  virtual void OnEventList(const std::vector<EventEntry>& events) { (void)events; }
  // Paged reply, or a refusal (no events, page 0 of 0).
  virtual void OnEventPage(const std::vector<EventEntry>& events, int current, int last) {
    (void)events, (void)current, (void)last;
  }
  // Any reply or refusal cleared the busy flag.
  virtual void OnBusyCleared() {}
  virtual void OnReplyRefused(const char* why) { (void)why; }
  // The recorder's log (newest last, as received) and status blocks.
  virtual void OnLog(const std::vector<LogRecord>& records) { (void)records; }
  virtual void OnStatus(const RecorderStatus& status) { (void)status; }
  // A log, status or system refusal: the search window closes.
  virtual void OnCloseRequested() {}
};

class SearchController {
 public:
  static constexpr size_t kReplyBufferSize = 2097152;

  SearchController();
  void Attach(DvrSession& session);

  // --- UI thread: the search window ---
  // Opens the window's state: selection = the first `channelCount` channels.
  void OpenWindow(SearchObserver* observer, int channelCount);
  // Closes it; returns the selection, which playback takes as its channel mask.
  uint32_t CloseWindow();
  bool WindowOpen() const { return m_open.load(); }

  uint32_t Selection() const { return m_selection.load(); }
  void SetSelection(uint32_t mask) { m_selection = mask; }
  void SetChannel(int channel, bool on);

  // --- UI thread: requests ---
  void RequestMonth(SearchFamily family);
  // Month 1-12, day 1-31. Ignored (false) while a day request is out.
  bool RequestDay(SearchFamily family, int year, int month1, int day1);
  void RequestEvents();
  void RequestEventPage(int kind, int page);
  bool Busy() const { return m_busy.load(); }
  // The recorder's log and status (search_info.cpp).
  void RequestLog();
  void RequestStatus();

  // --- any thread: the records of the last successful replies ---
  std::vector<YearMapRecord> YearMaps(SearchFamily family) const;
  std::vector<SpanRecord> DaySpans(SearchFamily family) const;
  std::vector<EventEntry> Events() const;  // full list or the current page
  EventPaging Paging() const;
  // The records of the last log, kept for as long as the connection.
  std::vector<LogRecord> LogStore() const;

  // Handlers, public for tests.
  bool RecvFn_Reply(DvrSession& session, const MessageHeader& header);
  bool RecvFn_Nack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_InfoNack(DvrSession& session, const MessageHeader& header);

 private:
  void PrepareRequest();
  void Deliver(uint16_t code, std::span<const uint8_t> block);
  void Refuse(DvrSession& session, uint16_t code, int32_t result);
  void DeliverInfo(uint16_t code, std::span<const uint8_t> block);  // lock held

  DvrSession* m_session = nullptr;
  std::atomic<bool> m_open{false};
  std::atomic<uint32_t> m_selection{0};
  std::atomic<bool> m_busy{false};
  std::atomic<bool> m_resetPending{false};  // a request went out: start the buffer over

  // Receive thread only.
  FrameReassembly m_buffer;
  uint16_t m_blockCode = 0;  // the reply the buffer is collecting

  mutable std::mutex m_lock;  // guards the observer and the records below
  SearchObserver* m_observer = nullptr;
  std::vector<YearMapRecord> m_yearMaps[2];
  std::vector<SpanRecord> m_daySpans[2];
  std::vector<EventEntry> m_events;
  EventPaging m_paging;
  std::vector<LogRecord> m_logStore;
};

}  // namespace orva
