// PTZ: channel selection and camera commands. The recorder has no negative
// answer to a move, so malformed or unsteerable moves are logged and dropped.
#include "orva/sim/wire.h"
#include "ptz_cameras.h"
#include "session.h"

namespace orva::sim::detail {

namespace {
constexpr uint8_t kSteerable = 1;
constexpr uint8_t kNotSteerable = 2;
}  // namespace

bool ClientSession::OnPtzChannel(const ReceivedMessage& message) {
  const std::vector<uint8_t>& p = message.payload;
  int channel = -1;
  if (p.size() != 4 || p[0] >= 16) {
    LogLine(context_.peer + " PTZ_CHANNEL_REQ with " + std::to_string(p.size()) +
            " payload bytes" + (p.empty() ? "" : ", channel byte " + std::to_string(p[0])) +
            ": answered as not steerable");
  } else {
    channel = p[0];
  }
  // The previous channel's held key ends with the change of channel.
  if (ptzChannel_ >= 0 && ptzChannel_ != channel) context_.ptz->Stop(ptzChannel_);
  ptzChannel_ = channel;
  const bool steerable = channel >= 0 && channel < context_.config.channels &&
                         context_.ptz->Steerable(channel);
  Trace("PTZ channel " + std::to_string(channel + 1) + (steerable ? " steerable" : " fixed"));
  return Send(code::kPtzChannelAck, {steerable ? kSteerable : kNotSteerable, 0, 0, 0});
}

bool ClientSession::OnPtzMove(const ReceivedMessage& message) {
  const std::vector<uint8_t>& p = message.payload;
  if (p.size() != 4) {
    LogLine(context_.peer + " PTZ_MOVE_REQ with " + std::to_string(p.size()) +
            " payload bytes instead of 4, ignored");
    return true;
  }
  if (ptzChannel_ < 0) {
    LogLine(context_.peer + " PTZ_MOVE_REQ before a channel was selected, ignored");
    return true;
  }
  const int preset = p[1] | (p[3] << 8);
  std::string what;
  if (!context_.ptz->Command(ptzChannel_, p[0], preset, what)) {
    LogLine(context_.peer + " PTZ_MOVE_REQ: " + what + ", ignored");
    return true;
  }
  Trace("PTZ ch" + std::to_string(ptzChannel_ + 1) + " " + what);
  return true;
}

bool ClientSession::OnPtzStop(const ReceivedMessage&) {
  if (ptzChannel_ >= 0) context_.ptz->Stop(ptzChannel_);
  Trace("PTZ stop");
  return true;
}

}  // namespace orva::sim::detail
