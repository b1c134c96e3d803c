// Remote playback requests: start and stop, the client's flow credit and the
// motion commands, handed to the session's playback thread.
#include <algorithm>
#include <optional>

#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "session.h"

namespace orva::sim::detail {

namespace {

constexpr size_t kPlayRequestSize = 24;
constexpr size_t kPositionSize = 24;
constexpr int32_t kNothingRecorded = 83;
constexpr int32_t kBadRequest = 2;
constexpr uint32_t kDay = 86400;

}  // namespace

PlaybackStreamer& ClientSession::PlaybackLocked() {
  if (!playback_) {
    playback_ = std::make_unique<PlaybackStreamer>(
        context_.config, *context_.archive, link_, context_.stop,
        context_.config.verbose
            ? PlaybackStreamer::TraceFn([this](const std::string& line) { Trace(line); })
            : PlaybackStreamer::TraceFn());
  }
  return *playback_;
}

bool ClientSession::OnPlayOn(const ReceivedMessage& message) {
  const std::vector<uint8_t>& p = message.payload;
  if (p.size() != kPlayRequestSize) {
    LogLine(context_.peer + " PLAY_ON_REQ with " + std::to_string(p.size()) +
            " payload bytes instead of 24, refused");
    return Send(code::kPlayOnNack, BuildResult(kBadRequest));
  }
  if (const int32_t refusal = context_.config.archive.playOnNack; refusal != 0) {
    return Send(code::kPlayOnNack, BuildResult(refusal));
  }
  const Archive& archive = *context_.archive;
  const uint8_t kindMask = p[4];
  const uint32_t start = GetU32(p.data() + 16), end = GetU32(p.data() + 20);
  const uint16_t channels =
      static_cast<uint16_t>(GetU32(p.data()) & archive.Channels(kindMask));
  // From a moment with nothing recorded the playback begins at the next
  // recording of that day (or before the requested end).
  const uint32_t searchEnd =
      end != 0 ? end : static_cast<uint32_t>(std::min<uint64_t>(uint64_t{start} / kDay * kDay + kDay - 1,
                                                                 UINT32_MAX));
  const std::optional<uint32_t> first =
      end != 0 && end < start ? std::nullopt
                              : archive.NextRecorded(start, searchEnd, 1, channels, kindMask);
  if (!first) {
    Trace("nothing recorded to play from " + std::to_string(start));
    return Send(code::kPlayOnNack, BuildResult(kNothingRecorded));
  }
  auto lock = link_.LockForControl();
  // Playback replaces live view.
  if (streamer_) streamer_->StopLocked();
  PlaybackStreamer& playback = PlaybackLocked();
  // The channel information first: the frames must follow the answer.
  if (!SendLocked(code::kPlayChannelInfo, BuildWord(channels)) ||
      !SendLocked(code::kPlayOnAck, {})) {
    return false;
  }
  playback.StartLocked(channels, kindMask, *first, end);
  return true;
}

bool ClientSession::OnPlayStop(const ReceivedMessage&) {
  auto lock = link_.LockForControl();
  if (const int32_t refusal = context_.config.archive.playOffNack; refusal != 0) {
    // A refused stop leaves the playback as it was.
    return SendLocked(code::kPlayOffNack, BuildResult(refusal));
  }
  if (playback_) playback_->StopLocked();
  return SendLocked(code::kPlayOffAck, {});
}

bool ClientSession::OnPlayCredit(const ReceivedMessage& message) {
  if (message.payload.size() != 4) {
    LogLine(context_.peer + " RPLAY_CREDIT with " + std::to_string(message.payload.size()) +
            " payload bytes instead of 4, ignored");
    return true;
  }
  auto lock = link_.LockForControl();
  PlaybackLocked().CreditLocked(GetU32(message.payload.data()));
  return true;
}

bool ClientSession::OnStepChannels(const ReceivedMessage& message) {
  if (message.payload.size() != 4) {
    LogLine(context_.peer + " RPLAY_STEP_CHANNELS with " +
            std::to_string(message.payload.size()) + " payload bytes instead of 4, ignored");
    return true;
  }
  auto lock = link_.LockForControl();
  PlaybackLocked().SetStepChannelsLocked(static_cast<uint16_t>(GetU32(message.payload.data())));
  return true;
}

bool ClientSession::OnPlayMotion(const ReceivedMessage& message) {
  const std::vector<uint8_t>& p = message.payload;
  const bool play = message.code == code::kRplayForward || message.code == code::kRplayBackward;
  if (!p.empty() && !(play && p.size() == kPositionSize)) {
    LogLine(context_.peer + " " + ClientMessageName(message.code) + " with " +
            std::to_string(p.size()) + " payload bytes, ignored");
    return true;
  }
  auto lock = link_.LockForControl();
  if (!playback_ || !playback_->ActiveLocked()) {
    Trace(ClientMessageName(message.code) + " without a playback, ignored");
    return true;
  }
  PlaybackStreamer& playback = *playback_;
  const int direction =
      message.code == code::kRplayForward || message.code == code::kRplayStepFwd ? 1 : -1;
  switch (message.code) {
    case code::kRplayPause:
      playback.PauseLocked();
      return true;
    case code::kRplayStepFwd:
    case code::kRplayStepBack:
      playback.StepLocked(direction);
      return true;
    default:
      break;
  }
  if (p.empty()) {
    playback.PlayLocked(direction);
    return true;
  }
  // The client's last shown time (plus 1 going back): frames from there on.
  const uint32_t position = GetU32(p.data() + 16);
  Trace("playback re-positioned to " + std::to_string(position));
  playback.PlayFromLocked(direction, position);
  return SendLocked(code::kRplaySync, {});
}

}  // namespace orva::sim::detail
