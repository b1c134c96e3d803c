// What the search commands wait for: the search window's observer, which
// keeps the replies it is told about, and the common start and wait steps.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli_session.h"
#include "orva/recordings/search_controller.h"

namespace orva::cli {

class SearchWaiter : public SearchObserver {
 public:
  void OnYearMaps(SearchFamily family, const std::vector<YearMapRecord>& maps) override;
  void OnDaySpans(SearchFamily family, const std::vector<SpanRecord>& spans) override;
  void OnEventList(const std::vector<EventEntry>& events) override;
  void OnEventPage(const std::vector<EventEntry>& events, int current, int last) override;
  void OnBusyCleared() override;
  void OnReplyRefused(const char* why) override;
  void OnLog(const std::vector<LogRecord>& records) override;
  void OnStatus(const RecorderStatus& status) override;
  // A refusal without a notice of its own still ends the request as refused.
  void OnCloseRequested() override;

  std::optional<std::vector<YearMapRecord>> YearMaps() const;
  std::optional<std::vector<SpanRecord>> DaySpans() const;
  std::optional<std::vector<EventEntry>> Events() const;  // the list or the page
  EventPaging Paging() const;
  // A reply or refusal ended the request, with or without records.
  bool Ended() const;
  std::optional<std::string> RefusedWhy() const;
  std::optional<std::vector<LogRecord>> Log() const;
  std::optional<RecorderStatus> Status() const;
  // Forgets the last status and that a request ended, before the next one.
  void ResetStatus();

 private:
  mutable std::mutex m_lock;
  std::optional<std::vector<YearMapRecord>> m_maps;
  std::optional<std::vector<SpanRecord>> m_spans;
  std::optional<std::vector<EventEntry>> m_events;
  EventPaging m_paging;
  bool m_ended = false;
  std::optional<std::string> m_refused;
  std::optional<std::vector<LogRecord>> m_log;
  std::optional<RecorderStatus> m_status;
};

// Logs in, checks that the user may search (`right`, or either search right
// when absent) and opens the search window's state. An exit code.
int OpenSearch(CliSession& session, SearchWaiter& waiter, std::optional<Right> right, std::string& error);

// Waits for `arrived` after a request. A reply that ends the request
// without records (an empty answer, a refusal without notice) counts as
// arrived with nothing; refusals give kExitRefused with their text.
int AwaitReply(CliSession& session, const SearchWaiter& waiter, const std::function<bool()>& arrived,
               const Options& options, std::string& error);

}  // namespace orva::cli
