// Recording search: the year maps, a day's spans and the event list, all
// worked out from the archive and sent in fragments.
#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "session.h"

namespace orva::sim::detail {

namespace {

constexpr size_t kYearMapSize = 376;
constexpr size_t kSpanSize = 24;
constexpr size_t kDayQuerySize = 8;
constexpr size_t kPageQuerySize = 8;
constexpr size_t kPagePrefixSize = 12;
// Nothing recorded (an empty day, no recordings at all, no such events).
constexpr int32_t kNothingFound = 83;
// A request whose payload does not have the expected layout.
constexpr int32_t kBadRequest = 2;

void AppendSpan(std::vector<uint8_t>& out, const SpanInfo& span) {
  const size_t at = out.size();
  out.resize(at + kSpanSize, 0);
  PutU32(out.data() + at, span.channels);
  out[at + 4] = span.kind;
  PutU32(out.data() + at + 16, span.start);
  PutU32(out.data() + at + 20, span.end);
}

uint16_t NackOf(uint16_t request) {
  switch (request) {
    case code::kPlayInfoMonthReq: return code::kPlayInfoMonthNack;
    case code::kTransInfoMonthReq: return code::kTransInfoMonthNack;
    case code::kPlayInfoDayReq: return code::kPlayInfoDayNack;
    case code::kTransInfoDayReq: return code::kTransInfoDayNack;
    case code::kEventInfoReq: return code::kEventInfoNack;
    default: return code::kEventInfoNackByPage;
  }
}

}  // namespace

bool ClientSession::SendFragmented(uint16_t messageCode, const std::vector<uint8_t>& block) {
  auto lock = link_.LockForControl();
  size_t fragments = 0;
  std::string error;
  if (!link_.SendBlockLocked(messageCode, block, 0, 0,
                             static_cast<size_t>(context_.config.archive.searchFragmentBytes),
                             fragments, error)) {
    if (!context_.stop.load()) LogLine("cannot send " + RecorderMessageName(messageCode) + ": " + error);
    return false;
  }
  Trace("-> " + RecorderMessageName(messageCode) + " (" + std::to_string(messageCode) + ") " +
        std::to_string(block.size()) + " bytes in " + std::to_string(fragments) + " fragments");
  return true;
}

bool ClientSession::OnMonthReq(const ReceivedMessage& message) {
  const uint16_t nack = NackOf(message.code);
  if (const int32_t refusal = context_.config.archive.monthNack; refusal != 0) {
    return Send(nack, BuildResult(refusal));
  }
  const auto maps = context_.archive->YearMaps();
  if (maps.empty()) return Send(nack, BuildResult(kNothingFound));
  std::vector<uint8_t> block;
  for (const auto& [year, days] : maps) {
    const size_t at = block.size();
    block.resize(at + kYearMapSize, 0);
    PutU32(block.data() + at, static_cast<uint32_t>(year));
    std::copy(days.begin(), days.end(), block.begin() + static_cast<ptrdiff_t>(at + 4));
  }
  return SendFragmented(static_cast<uint16_t>(message.code + 1), block);
}

bool ClientSession::OnDayReq(const ReceivedMessage& message) {
  const uint16_t nack = NackOf(message.code);
  const std::vector<uint8_t>& p = message.payload;
  if (p.size() != kDayQuerySize) {
    LogLine(context_.peer + " " + ClientMessageName(message.code) + " with " +
            std::to_string(p.size()) + " payload bytes instead of 8, refused");
    return Send(nack, BuildResult(kBadRequest));
  }
  const uint32_t year = GetU32(p.data());
  const int month = p[4], day = p[5];
  if (year < 1970 || year > 2105 || month < 1 || month > 12 || day < 1 ||
      day > MonthLength(static_cast<int>(year), month)) {
    LogLine(context_.peer + " " + ClientMessageName(message.code) + " for no real day (" +
            std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day) +
            "), refused");
    return Send(nack, BuildResult(kBadRequest));
  }
  if (const int32_t refusal = context_.config.archive.dayNack; refusal != 0) {
    return Send(nack, BuildResult(refusal));
  }
  const std::vector<SpanInfo> spans =
      context_.archive->DaySpans(static_cast<int>(year), month, day);
  if (spans.empty()) return Send(nack, BuildResult(kNothingFound));
  std::vector<uint8_t> block;
  block.reserve(spans.size() * kSpanSize);
  for (const SpanInfo& span : spans) AppendSpan(block, span);
  return SendFragmented(static_cast<uint16_t>(message.code + 1), block);
}

bool ClientSession::OnEventReq(const ReceivedMessage&) {
  if (const int32_t refusal = context_.config.archive.eventNack; refusal != 0) {
    return Send(code::kEventInfoNack, BuildResult(refusal));
  }
  const std::vector<SpanInfo> events = context_.archive->Events(0);
  if (events.empty()) return Send(code::kEventInfoNack, BuildResult(kNothingFound));
  std::vector<uint8_t> block;
  block.reserve(events.size() * kSpanSize);
  for (const SpanInfo& event : events) AppendSpan(block, event);
  return SendFragmented(code::kEventInfoAck, block);
}

bool ClientSession::OnEventPageReq(const ReceivedMessage& message) {
  const std::vector<uint8_t>& p = message.payload;
  const uint32_t kind = p.size() == kPageQuerySize ? GetU32(p.data()) : 0;
  if (kind != 1 && kind != 2 && kind != 4) {
    LogLine(context_.peer + " EVENT_INFO_REQ_BYPG with " + std::to_string(p.size()) +
            " payload bytes" + (p.size() == kPageQuerySize ? ", kind " + std::to_string(kind) : "") +
            " (needs 8 bytes, kind 1, 2 or 4), refused");
    return Send(code::kEventInfoNackByPage, BuildResult(kBadRequest));
  }
  if (const int32_t refusal = context_.config.archive.eventNack; refusal != 0) {
    return Send(code::kEventInfoNackByPage, BuildResult(refusal));
  }
  const std::vector<SpanInfo> events = context_.archive->Events(static_cast<int>(kind));
  if (events.empty()) return Send(code::kEventInfoNackByPage, BuildResult(kNothingFound));
  const size_t pageSize = static_cast<size_t>(context_.config.archive.eventPageSize);
  const uint32_t lastPage = static_cast<uint32_t>((events.size() - 1) / pageSize);
  const uint32_t page = GetU32(p.data() + 4);
  if (page > lastPage) {
    LogLine(context_.peer + " EVENT_INFO_REQ_BYPG for page " + std::to_string(page) +
            " of kind " + std::to_string(kind) + ", last page is " + std::to_string(lastPage) +
            ", refused");
    return Send(code::kEventInfoNackByPage, BuildResult(kBadRequest));
  }
  std::vector<uint8_t> block(kPagePrefixSize, 0);
  PutU32(block.data() + 4, page);
  PutU32(block.data() + 8, lastPage);
  const size_t first = static_cast<size_t>(page) * pageSize;
  for (size_t i = first; i < events.size() && i < first + pageSize; ++i) {
    AppendSpan(block, events[i]);
  }
  return SendFragmented(code::kEventInfoAckByPage, block);
}

}  // namespace orva::sim::detail
