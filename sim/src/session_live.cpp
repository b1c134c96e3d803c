// Live requests and the audio switch.
#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "session.h"

namespace orva::sim::detail {

namespace {

// LIVE_NACK result for a LIVE_REQ whose payload is not the 4-byte mask.
constexpr int32_t kBadLiveRequest = 2;

uint16_t MaskOf(const std::array<bool, 16>& channels) {
  uint16_t mask = 0;
  for (size_t ch = 0; ch < channels.size(); ++ch) {
    if (channels[ch]) mask = static_cast<uint16_t>(mask | (1u << ch));
  }
  return mask;
}

}  // namespace

bool ClientSession::OnLiveReq(const ReceivedMessage& message) {
  if (message.payload.size() != 4) {
    LogLine(context_.peer + " LIVE_REQ with " + std::to_string(message.payload.size()) +
            " payload bytes instead of 4, refused");
    return Send(code::kLiveNack, BuildResult(kBadLiveRequest));
  }
  const SimConfig& config = context_.config;
  const int count = std::min<int>(config.channels, 16);
  const uint16_t existing = static_cast<uint16_t>((1u << count) - 1u);
  const uint16_t requested = static_cast<uint16_t>(GetU32(message.payload.data()) & existing);
  const uint16_t lost = MaskOf(config.video.videoLoss);
  // The loss set is reported as configured, also for channels the recorder
  // does not have, so that a client's filtering of it can be exercised.
  const uint32_t word = requested | (static_cast<uint32_t>(lost) << 16);
  auto lock = link_.LockForControl();
  // Live view replaces a running playback, as on the recorder's own screen.
  if (playback_ && playback_->ActiveLocked()) {
    Trace("live request ends the playback");
    playback_->StopLocked();
  }
  if (!streamer_) {
    streamer_ = std::make_unique<LiveStreamer>(
        config, link_, context_.stop, *context_.counters,
        config.verbose ? LiveStreamer::TraceFn([this](const std::string& line) { Trace(line); })
                       : LiveStreamer::TraceFn(),
        context_.ptz, &context_.setup->Pal());
  }
  // Channel info first: the frames of the new request must follow it.
  if (!SendLocked(code::kLiveChannelInfo, BuildWord(word))) return false;
  streamer_->StartLocked(static_cast<uint16_t>(requested & ~lost));
  return true;
}

bool ClientSession::OnLiveStop(const ReceivedMessage&) {
  auto lock = link_.LockForControl();
  if (streamer_) streamer_->StopLocked();
  return SendLocked(code::kLiveStopAck, {});
}

bool ClientSession::OnAudioOnOff(const ReceivedMessage& message) {
  auto lock = link_.LockForControl();
  link_.SetAudio(message.audioFlag);
  Trace(std::string("audio ") + (message.audioFlag ? "on" : "off"));
  return true;
}

}  // namespace orva::sim::detail
