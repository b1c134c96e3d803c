#include "orva/recordings/search_controller.h"

#include "orva/link/catalogue.h"
#include "orva/link/trace.h"

namespace orva {

namespace {

bool IsBackupCode(uint16_t code) {
  return code == msg::TRANS_INFO_MONTH_ACK || code == msg::TRANS_INFO_MONTH_NACK || code == msg::TRANS_INFO_DAY_ACK ||
         code == msg::TRANS_INFO_DAY_NACK;
}

// Notices of the negative replies by result code; false: none.
bool NoticeForNack(uint16_t code, int32_t result, Notice& out) {
  const bool month = code == msg::PLAY_INFO_MONTH_NACK || code == msg::TRANS_INFO_MONTH_NACK;
  switch (result) {
    case 1: out = {6, 0}; return true;
    case 53: out = {6, 4}; return true;
    case 98: out = {6, 6}; return true;
    case 83:
      if (month) return false;  // the calendar opens on the year maps held
      out = {4, 0};
      return true;
    case 86:
      if (code == msg::PLAY_INFO_DAY_NACK || code == msg::EVENT_INFO_NACK || code == msg::EVENT_INFO_NACK_BYPG)
        return false;
      out = {6, 3};
      return true;
    default: return false;
  }
}

const char* NackTraceName(uint16_t code) {
  switch (code) {
    case msg::PLAY_INFO_MONTH_NACK: return "RecvFn_PlayInfoMonthNack";
    case msg::TRANS_INFO_MONTH_NACK: return "RecvFn_TransInfoMonthNack";
    case msg::PLAY_INFO_DAY_NACK: return "RecvFn_PlayInfoDayNack";
    case msg::TRANS_INFO_DAY_NACK: return "RecvFn_TransInfoDayNack";
    case msg::EVENT_INFO_NACK: return "RecvFn_EventInfoNack";
    default: return "RecvFn_EventInfoNackByPg";
  }
}

}  // namespace

SearchController::SearchController() : m_buffer(kReplyBufferSize) {}

void SearchController::Attach(DvrSession& session) {
  m_session = &session;
  auto reply = [this](DvrSession& s, const MessageHeader& h) { return RecvFn_Reply(s, h); };
  auto nack = [this](DvrSession& s, const MessageHeader& h) { return RecvFn_Nack(s, h); };
  for (uint16_t code : {msg::PLAY_INFO_MONTH_ACK, msg::TRANS_INFO_MONTH_ACK, msg::PLAY_INFO_DAY_ACK,
                        msg::TRANS_INFO_DAY_ACK, msg::EVENT_INFO_ACK, msg::EVENT_INFO_ACK_BYPG})
    session.SetHandler(code, reply);
  for (uint16_t code : {msg::PLAY_INFO_MONTH_NACK, msg::TRANS_INFO_MONTH_NACK, msg::PLAY_INFO_DAY_NACK,
                        msg::TRANS_INFO_DAY_NACK, msg::EVENT_INFO_NACK, msg::EVENT_INFO_NACK_BYPG})
    session.SetHandler(code, nack);
  // The log and status answers collect in the same buffer.
  for (uint16_t code : {msg::LOG_INFO_ACK, msg::STATUS_INFO_ACK, msg::SYSTEM_INFO_ACK}) session.SetHandler(code, reply);
  for (uint16_t code : {msg::LOG_INFO_NACK, msg::STATUS_INFO_NACK, msg::SYSTEM_INFO_NACK})
    session.SetHandler(code, [this](DvrSession& s, const MessageHeader& h) { return RecvFn_InfoNack(s, h); });
}

void SearchController::OpenWindow(SearchObserver* observer, int channelCount) {
  const int count = channelCount < 0 ? 0 : channelCount > 16 ? 16 : channelCount;
  m_selection = count >= 32 ? 0xFFFFFFFFu : (1u << count) - 1u;
  m_busy = false;
  m_resetPending = true;
  std::lock_guard lock(m_lock);
  m_observer = observer;
  m_open = true;
}

uint32_t SearchController::CloseWindow() {
  std::lock_guard lock(m_lock);
  m_open = false;
  m_observer = nullptr;
  m_busy = false;
  return m_selection.load();
}

void SearchController::SetChannel(int channel, bool on) {
  if (channel < 0 || channel > 15) return;
  const uint32_t bit = 1u << channel;
  if (on)
    m_selection.fetch_or(bit);
  else
    m_selection.fetch_and(~bit);
}

void SearchController::PrepareRequest() { m_resetPending = true; }

void SearchController::RequestMonth(SearchFamily family) {
  if (!m_session) return;
  PrepareRequest();
  if (family == SearchFamily::kPlayback) {
    m_session->Send(msg::PLAY_INFO_MONTH_REQ);
    Trace("Send...PLAY_INFO_MONTH_REQ...\n");
  } else {
    m_session->Send(msg::TRANS_INFO_MONTH_REQ);
    Trace("Send...TRANS_INFO_MONTH_REQ...\n");
  }
}

bool SearchController::RequestDay(SearchFamily family, int year, int month1, int day1) {
  if (!m_session || m_busy.load()) return false;
  if (month1 < 1 || month1 > 12 || day1 < 1 || day1 > 31 || year < 0) return false;
  PrepareRequest();
  uint8_t payload[8] = {};
  StoreBE32(payload, static_cast<uint32_t>(year));
  payload[4] = static_cast<uint8_t>(month1);
  payload[5] = static_cast<uint8_t>(day1);
  m_busy = true;
  const bool playback = family == SearchFamily::kPlayback;
  m_session->Send(playback ? msg::PLAY_INFO_DAY_REQ : msg::TRANS_INFO_DAY_REQ, payload);
  Trace(playback ? "Send... PLAY_INFO_DAY_REQ... %d %d %d\n" : "Send... TRANS_INFO_DAY_REQ... %d %d %d\n", year,
        month1 - 1, day1 - 1);
  return true;
}

void SearchController::RequestEvents() {
  if (!m_session) return;
  PrepareRequest();
  m_session->Send(msg::EVENT_INFO_REQ);
  Trace("Send...EVENT_INFO_REQ...\n");
}

void SearchController::RequestEventPage(int kind, int page) {
  if (!m_session) return;
  PrepareRequest();
  uint8_t payload[8];
  StoreBE32(payload, static_cast<uint32_t>(kind));
  StoreBE32(payload + 4, static_cast<uint32_t>(page < 0 ? 0 : page));
  m_session->Send(msg::EVENT_INFO_REQ_BYPG, payload);
  Trace("Send...EVENT_INFO_REQ_BYPG... %d %d\n", kind, page);
}

std::vector<YearMapRecord> SearchController::YearMaps(SearchFamily family) const {
  std::lock_guard lock(m_lock);
  return m_yearMaps[family == SearchFamily::kBackup];
}

std::vector<SpanRecord> SearchController::DaySpans(SearchFamily family) const {
  std::lock_guard lock(m_lock);
  return m_daySpans[family == SearchFamily::kBackup];
}

std::vector<EventEntry> SearchController::Events() const {
  std::lock_guard lock(m_lock);
  return m_events;
}

EventPaging SearchController::Paging() const {
  std::lock_guard lock(m_lock);
  return m_paging;
}

// ------------------------------------------------------------- replies

bool SearchController::RecvFn_Reply(DvrSession& session, const MessageHeader& header) {
  if (!m_open.load()) return session.Discard(header);
  // A request empties the buffer for its reply, but not under a reply still
  // arriving (a status request sent while the log comes in must not cut the
  // log); a fragment of another reply than the unfinished one starts over.
  const uint16_t code = header.Code();
  if (code != m_blockCode || (m_buffer.Fill() == 0 && m_resetPending.exchange(false))) m_buffer.Reset();
  m_blockCode = code;
  switch (m_buffer.ReadFragment(session.ReadFd(), header, session.RecvLimit())) {
    case FrameReassembly::Result::kReadFailed: return false;
    case FrameReassembly::Result::kPartial: return true;
    case FrameReassembly::Result::kDropped: {
      Trace("Recv...%s... reply larger than %zu bytes refused\n",
            msg::Name(header.Code(), msg::Direction::kRecorderToClient), kReplyBufferSize);
      m_busy = false;
      std::lock_guard lock(m_lock);
      if (m_observer) {
        m_observer->OnBusyCleared();
        m_observer->OnReplyRefused("The recorder's reply is larger than the search buffer.");
      }
      return true;
    }
    case FrameReassembly::Result::kComplete: Deliver(header.Code(), m_buffer.Block()); return true;
  }
  return true;
}

void SearchController::Deliver(uint16_t code, std::span<const uint8_t> block) {
  Trace("Recv...%s... %zu bytes\n", msg::Name(code, msg::Direction::kRecorderToClient), block.size());
  m_busy = false;
  const SearchFamily family = IsBackupCode(code) ? SearchFamily::kBackup : SearchFamily::kPlayback;
  const size_t f = family == SearchFamily::kBackup;
  std::lock_guard lock(m_lock);
  if (m_observer) m_observer->OnBusyCleared();
  if (code == msg::LOG_INFO_ACK || code == msg::STATUS_INFO_ACK || code == msg::SYSTEM_INFO_ACK)
    return DeliverInfo(code, block);
  if (code == msg::PLAY_INFO_MONTH_ACK || code == msg::TRANS_INFO_MONTH_ACK) {
    auto maps = ParseYearMaps(block);
    if (maps.empty()) return;
    m_yearMaps[f] = std::move(maps);
    if (m_observer) m_observer->OnYearMaps(family, m_yearMaps[f]);
    return;
  }
  if (code == msg::EVENT_INFO_ACK_BYPG) {
    if (block.size() < kPagePrefixSize) return;
    auto spans = ParseSpans(block.subspan(kPagePrefixSize));
    if (spans.empty()) return;
    m_paging.current = static_cast<int>(LoadBE32(block.data() + 4));
    m_paging.last = static_cast<int>(LoadBE32(block.data() + 8));
    m_events = NumberEvents(spans);
    if (m_observer) m_observer->OnEventPage(m_events, m_paging.current, m_paging.last);
    return;
  }
  auto spans = ParseSpans(block);
  if (spans.empty()) return;
  if (code == msg::EVENT_INFO_ACK) {
    m_events = NumberEvents(spans);
    m_paging = {};
    if (m_observer) m_observer->OnEventList(m_events);
    return;
  }
  m_daySpans[f] = std::move(spans);
  if (m_observer) m_observer->OnDaySpans(family, m_daySpans[f]);
}

bool SearchController::RecvFn_Nack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Refuse(session, header.Code(), result);
  return true;
}

void SearchController::Refuse(DvrSession& session, uint16_t code, int32_t result) {
  m_busy = false;
  Notice notice;
  if (NoticeForNack(code, result, notice)) {
    session.PostNotice(notice);
  } else {
    Trace("%s... %d\n", NackTraceName(code), result);
  }
  std::lock_guard lock(m_lock);
  if (!m_open.load() || !m_observer) return;
  m_observer->OnBusyCleared();
  const bool month = code == msg::PLAY_INFO_MONTH_NACK || code == msg::TRANS_INFO_MONTH_NACK;
  const SearchFamily family = IsBackupCode(code) ? SearchFamily::kBackup : SearchFamily::kPlayback;
  if (month && result == 83) {
    const auto& maps = m_yearMaps[family == SearchFamily::kBackup];
    if (!maps.empty()) m_observer->OnYearMaps(family, maps);
  } else if (code == msg::EVENT_INFO_NACK) {
    m_events.clear();
    m_observer->OnEventList(m_events);
  } else if (code == msg::EVENT_INFO_NACK_BYPG) {
    m_events.clear();
    m_paging = {};
    m_observer->OnEventPage(m_events, 0, 0);
  }
}

}  // namespace orva
