// Backup download requests: the size estimate and its cancellation, start
// and stop of a download, handed to the session's backup thread.
#include <optional>

#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "session.h"

namespace orva::sim::detail {

namespace {

constexpr int32_t kNothingRecorded = 83;
constexpr int32_t kBadRequest = 2;

}  // namespace

TransferStreamer& ClientSession::TransferLocked() {
  if (!transfer_) {
    transfer_ = std::make_unique<TransferStreamer>(
        context_.config, *context_.archive, link_, context_.stop,
        context_.config.verbose
            ? TransferStreamer::TraceFn([this](const std::string& line) { Trace(line); })
            : TransferStreamer::TraceFn());
  }
  return *transfer_;
}

bool ClientSession::OnTransOn(const ReceivedMessage& message) {
  TransferRange range;
  if (!ParseRange(message.payload, *context_.archive, range)) {
    LogLine(context_.peer + " TRANS_ON_REQ with " + std::to_string(message.payload.size()) +
            " payload bytes instead of 24, refused");
    return Send(code::kTransOnNack, BuildResult(kBadRequest));
  }
  auto lock = link_.LockForControl();
  TransferLocked().EstimateLocked(range);
  return true;
}

bool ClientSession::OnCapaCancel(const ReceivedMessage&) {
  auto lock = link_.LockForControl();
  const bool dropped = transfer_ && transfer_->CancelEstimateLocked();
  Trace(dropped ? "size estimate dropped" : "no size estimate to drop");
  return true;
}

bool ClientSession::OnTransData(const ReceivedMessage& message) {
  TransferRange range;
  const bool wellFormed = ParseRange(message.payload, *context_.archive, range);
  if (!wellFormed) {
    LogLine(context_.peer + " TRANS_DATA_REQ with " + std::to_string(message.payload.size()) +
            " payload bytes instead of 24, refused");
  }
  const std::optional<uint32_t> first =
      !wellFormed || range.end < range.start
          ? std::nullopt
          : context_.archive->NextRecorded(range.start, range.end, 1, range.channels,
                                           range.kindMask);
  auto lock = link_.LockForControl();
  // A new request replaces the running download, also when it is refused.
  if (transfer_ && transfer_->StopLocked()) Trace("download replaced");
  if (!first) {
    if (wellFormed) Trace("nothing recorded to download");
    return SendLocked(code::kTransOnFail, BuildResult(wellFormed ? kNothingRecorded : kBadRequest));
  }
  range.start = *first;
  TransferLocked().StartLocked(range);
  return true;
}

bool ClientSession::OnTransOff(const ReceivedMessage&) {
  auto lock = link_.LockForControl();
  if (const int32_t refusal = context_.config.archive.transOffNack; refusal != 0) {
    // A refused stop leaves the download as it was.
    return SendLocked(code::kTransOffNack, BuildResult(refusal));
  }
  if (transfer_ && transfer_->StopLocked()) Trace("download stopped");
  return SendLocked(code::kTransOffAck, {});
}

}  // namespace orva::sim::detail
