#include "play_script.h"

#include <cstdlib>

#include "arg_parse.h"
#include "orva/recordings/remote_playback.h"

namespace orva::cli {

bool ParsePlayScript(const std::string& text, std::vector<PlayStep>& out, std::string& error, bool seek) {
  out.clear();
  size_t begin = 0;
  for (;;) {
    const size_t comma = text.find(',', begin);
    const std::string item = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
    PlayStep step;
    step.text = item;
    uint64_t ms = 0;
    if (item == "fwd") step.mode = kPlayForward;
    else if (item == "rev") step.mode = kPlayReverse;
    else if (item == "pause") step.mode = kPlayPause;
    else if (item == "stepf") step.mode = kPlayStepForward;
    else if (item == "stepb") step.mode = kPlayStepBackward;
    else if (item.starts_with("wait:") && ParseNumber(item.substr(5), 3600000, ms))
      step.waitMs = static_cast<int>(ms);
    else if (uint32_t t = 0; seek && item.starts_with("seek:") && ParseWallClock(item.substr(5), t))
      step.seekTo = t;
    else {
      error = "--script: '" + item + "' is not one of fwd, rev, pause, stepf, stepb, wait:MS" +
              (seek ? ", seek:YYYY-MM-DD HH:MM:SS" : "");
      return false;
    }
    out.push_back(step);
    if (comma == std::string::npos) return true;
    begin = comma + 1;
  }
}

namespace {

bool ParseArgs(const std::vector<std::string>& args, bool local, PlayArgs& out, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (local && (a == "--range" || a == "--event" || a == "--channels")) {
      error = "local play: unknown argument '" + a + "'";
      return false;
    }
    if (a == "--range") {
      out.range = true;
      continue;
    }
    if (a != "--from" && a != "--to" && a != "--event" && a != "--channels" && a != "--seconds" &&
        a != "--script" && a != "--pictures") {
      error = "play: unknown argument '" + a + "'";
      return false;
    }
    if (i + 1 >= args.size()) {
      error = a + " needs a value";
      return false;
    }
    const std::string& text = args[++i];
    if (a == "--from" || a == "--to") {
      uint32_t t = 0;
      if (!ParseWallClock(text, t)) {
        error = a + " must be a time \"YYYY-MM-DD HH:MM:SS\" from 2000 to 2037, not '" + text + "'";
        return false;
      }
      (a == "--from" ? out.from : out.to) = t;
    } else if (a == "--event") {
      const size_t colon = text.find(':');
      uint64_t kind = 0, number = 0;
      if (colon == std::string::npos || !ParseNumber(text.substr(0, colon), 4, kind) ||
          (kind != 1 && kind != 2 && kind != 4) || !ParseNumber(text.substr(colon + 1), 1000000, number)) {
        error = "--event must be KIND:NUMBER with kind 1, 2 or 4 and the number from 0, not '" + text + "'";
        return false;
      }
      out.eventKind = static_cast<int>(kind);
      out.eventNumber = static_cast<int>(number);
    } else if (a == "--channels") {
      uint32_t mask = 0;
      if (!ParseChannelMask("--channels", text, mask, error)) return false;
      out.channels = mask;
    } else if (a == "--seconds") {
      char* end = nullptr;
      out.seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end || !(out.seconds > 0) || out.seconds > 86400) {
        error = "--seconds must be a positive number, not '" + text + "'";
        return false;
      }
    } else if (a == "--script") {
      if (!ParsePlayScript(text, out.script, error, local)) return false;
    } else {
      out.picturesDir = text;
      if (text.empty()) {
        error = "--pictures needs a folder";
        return false;
      }
    }
  }
  if (local && !out.from) {
    error = "local play needs --from TIME";
    return false;
  }
  if (out.from.has_value() == (out.eventKind != 0)) {
    error = "play needs either --from TIME or --event KIND:NUMBER";
    return false;
  }
  if ((out.to || out.range) && !out.from) {
    error = "--to and --range go with --from";
    return false;
  }
  if (out.to && *out.to < *out.from) {
    error = "--to must not be before --from";
    return false;
  }
  return true;
}

}  // namespace

bool ParsePlayArgs(const std::vector<std::string>& args, PlayArgs& out, std::string& error) {
  return ParseArgs(args, false, out, error);
}

bool ParseLocalPlayArgs(const std::vector<std::string>& args, PlayArgs& out, std::string& error) {
  return ParseArgs(args, true, out, error);
}

}  // namespace orva::cli
