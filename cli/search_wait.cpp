#include "search_wait.h"

#include "orva/link/notices.h"

namespace orva::cli {

void SearchWaiter::OnYearMaps(SearchFamily, const std::vector<YearMapRecord>& maps) {
  std::lock_guard lock(m_lock);
  m_maps = maps;
  m_ended = true;
}

void SearchWaiter::OnDaySpans(SearchFamily, const std::vector<SpanRecord>& spans) {
  std::lock_guard lock(m_lock);
  m_spans = spans;
  m_ended = true;
}

void SearchWaiter::OnEventList(const std::vector<EventEntry>& events) {
  std::lock_guard lock(m_lock);
  m_events = events;
  m_ended = true;
}

void SearchWaiter::OnEventPage(const std::vector<EventEntry>& events, int current, int last) {
  std::lock_guard lock(m_lock);
  m_events = events;
  m_paging.current = current;
  m_paging.last = last;
  m_ended = true;
}

void SearchWaiter::OnBusyCleared() {
  std::lock_guard lock(m_lock);
  m_ended = true;
}

void SearchWaiter::OnReplyRefused(const char* why) {
  std::lock_guard lock(m_lock);
  m_refused = why ? why : "the reply was refused";
  m_ended = true;
}

void SearchWaiter::OnLog(const std::vector<LogRecord>& records) {
  std::lock_guard lock(m_lock);
  m_log = records;
  m_ended = true;
}

void SearchWaiter::OnStatus(const RecorderStatus& status) {
  std::lock_guard lock(m_lock);
  m_status = status;
  m_ended = true;
}

void SearchWaiter::OnCloseRequested() {
  std::lock_guard lock(m_lock);
  if (!m_refused) m_refused = "the recorder refused the request";
  m_ended = true;
}

std::optional<std::vector<LogRecord>> SearchWaiter::Log() const {
  std::lock_guard lock(m_lock);
  return m_log;
}

std::optional<RecorderStatus> SearchWaiter::Status() const {
  std::lock_guard lock(m_lock);
  return m_status;
}

void SearchWaiter::ResetStatus() {
  std::lock_guard lock(m_lock);
  m_status.reset();
  m_ended = false;
}

std::optional<std::vector<YearMapRecord>> SearchWaiter::YearMaps() const {
  std::lock_guard lock(m_lock);
  return m_maps;
}

std::optional<std::vector<SpanRecord>> SearchWaiter::DaySpans() const {
  std::lock_guard lock(m_lock);
  return m_spans;
}

std::optional<std::vector<EventEntry>> SearchWaiter::Events() const {
  std::lock_guard lock(m_lock);
  return m_events;
}

EventPaging SearchWaiter::Paging() const {
  std::lock_guard lock(m_lock);
  return m_paging;
}

bool SearchWaiter::Ended() const {
  std::lock_guard lock(m_lock);
  return m_ended;
}

std::optional<std::string> SearchWaiter::RefusedWhy() const {
  std::lock_guard lock(m_lock);
  return m_refused;
}

int OpenSearch(CliSession& session, SearchWaiter& waiter, std::optional<Right> right, std::string& error) {
  int code = session.Login(error);
  // The rights check needs the user table.
  if (code == kExitOk) code = session.WaitForAnnouncements(std::chrono::seconds(1), error);
  if (code != kExitOk) return code;
  const bool allowed = right ? session.Rights().Has(*right)
                             : session.Rights().Has(Right::kPlayback) || session.Rights().Has(Right::kBackup);
  if (!allowed) {
    error = FormatNotice(kNoticeNotPermitted);
    return kExitRefused;
  }
  session.Search().OpenWindow(&waiter, session.Session().ChannelCount());
  return kExitOk;
}

int AwaitReply(CliSession& session, const SearchWaiter& waiter, const std::function<bool()>& arrived,
               const Options& options, std::string& error) {
  const auto wait = std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
  int code = session.WaitUntil([&] { return arrived() || waiter.Ended(); }, wait, error);
  // The busy flag may clear a moment before the records are handed over.
  if (code == kExitOk && !arrived()) {
    std::string ignored;
    session.WaitUntil(arrived, std::chrono::milliseconds(200), ignored);
  }
  if (code != kExitOk) return code;
  if (auto notice = session.Refusal()) {
    error = FormatNotice(*notice);
    return kExitRefused;
  }
  if (auto why = waiter.RefusedWhy()) {
    error = *why;
    return kExitRefused;
  }
  return kExitOk;
}

}  // namespace orva::cli
