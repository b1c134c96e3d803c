// Values of the live-streaming and device-answer options.
#include <sstream>

#include "option_values.h"

namespace orva::sim::detail {

namespace {

bool ParseIntIn(const std::string& value, long long min, long long max, int& out,
                std::string& error) {
  long long v = 0;
  if (!ParseInteger(value, min, max, v, error)) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseResult(const std::string& value, int32_t& out, std::string& error) {
  long long v = 0;
  if (!ParseInteger(value, INT32_MIN, INT32_MAX, v, error)) return false;
  out = static_cast<int32_t>(v);
  return true;
}

// "CH:N": channel 1-16, size code 0-3.
bool ParseChannelSize(const std::string& value, SimVideoConfig& video, std::string& error) {
  const size_t colon = value.find(':');
  if (colon == std::string::npos) {
    error = "'" + value + "' is not CHANNEL:SIZE-CODE";
    return false;
  }
  long long channel = 0, code = 0;
  if (!ParseInteger(value.substr(0, colon), 1, 16, channel, error)) {
    error = "channel " + error;
    return false;
  }
  if (!ParseInteger(value.substr(colon + 1), 0, 3, code, error)) {
    error = "size code " + error;
    return false;
  }
  video.channelSizeCode[static_cast<size_t>(channel - 1)] = static_cast<int>(code);
  return true;
}

}  // namespace

bool ParseChannelList(const std::string& text, std::array<bool, 16>& out, std::string& error) {
  std::array<bool, 16> channels{};
  if (text != "none") {
    std::stringstream list(text);
    std::string item;
    bool any = false;
    while (std::getline(list, item, ',')) {
      long long channel = 0;
      if (!ParseInteger(item, 1, 16, channel, error)) {
        error = "channel " + error;
        return false;
      }
      channels[static_cast<size_t>(channel - 1)] = true;
      any = true;
    }
    if (!any) {
      error = "needs channel numbers 1-16 or 'none'";
      return false;
    }
  }
  out = channels;
  return true;
}

bool ApplyStreamOption(const std::string& name, const std::string& value, SimConfig& config,
                       bool& ok, std::string& error) {
  SimVideoConfig& video = config.video;
  if (name == "size-code") {
    ok = ParseIntIn(value, 0, 3, video.sizeCode, error);
  } else if (name == "channel-size") {
    ok = ParseChannelSize(value, video, error);
  } else if (name == "fps") {
    ok = ParseIntIn(value, 1, 30, video.fps, error);
  } else if (name == "bitrate") {
    ok = ParseIntIn(value, 32, 8000, video.bitrateKbps, error);
  } else if (name == "loop-seconds") {
    ok = ParseIntIn(value, 1, 60, video.loopSeconds, error);
  } else if (name == "fragment-bytes") {
    ok = ParseIntIn(value, 16, 65535, video.fragmentBytes, error);
  } else if (name == "video-loss") {
    ok = ParseChannelList(value, video.videoLoss, error);
  } else if (name == "audio-channels") {
    ok = ParseChannelList(value, config.audioChannels, error);
  } else if (name == "ptz") {
    ok = ParseChannelList(value, config.ptzChannels, error);
  } else if (name == "frames") {
    ok = ParseIntIn(value, 1, 1000000000, config.framesPerChannel, error);
  } else if (name == "rec-on-nack") {
    ok = ParseResult(value, config.recOnNack, error);
  } else if (name == "rec-off-nack") {
    ok = ParseResult(value, config.recOffNack, error);
  } else if (name == "listen-nack") {
    ok = ParseResult(value, config.listenNack, error);
  } else {
    return false;
  }
  return true;
}

}  // namespace orva::sim::detail
