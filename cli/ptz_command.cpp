// orvactl ptz: starts live view, selects a channel for pan-tilt-zoom, tells
// whether it can be steered, sends one command and closes in order.
#include <charconv>
#include <thread>

#include "cli_session.h"
#include "commands.h"

namespace orva::cli {
namespace {

struct PtzArgs {
  int channel = 0;  // as on screen, 1-16
  PtzMode mode = PtzMode::kPan;
  std::optional<PtzKey> key;
  int holdMs = 500;
  int presetAction = 0;
  int presetNumber = 0;
  std::string menu;
};

bool ParseInt(const std::string& text, int min, int max, int& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= min && out <= max;
}

bool ParsePtzArgs(const std::vector<std::string>& args, PtzArgs& out, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return nullptr;
      }
      return &args[++i];
    };
    const std::string* v = nullptr;
    if (a == "--channel") {
      if (!(v = value()) || !ParseInt(*v, 1, 16, out.channel)) return error.empty() ? (error = "--channel must be 1-16", false) : false;
    } else if (a == "--mode") {
      if (!(v = value())) return false;
      if (*v == "pan") out.mode = PtzMode::kPan;
      else if (*v == "zoom") out.mode = PtzMode::kZoom;
      else return error = "--mode must be pan or zoom", false;
    } else if (a == "--key") {
      if (!(v = value())) return false;
      if (*v == "up") out.key = PtzKey::kUp;
      else if (*v == "down") out.key = PtzKey::kDown;
      else if (*v == "left") out.key = PtzKey::kLeft;
      else if (*v == "right") out.key = PtzKey::kRight;
      else return error = "--key must be up, down, left or right", false;
    } else if (a == "--hold-ms") {
      if (!(v = value()) || !ParseInt(*v, 1, 60000, out.holdMs)) return error.empty() ? (error = "--hold-ms must be 1-60000", false) : false;
    } else if (a == "--preset") {
      if (i + 2 >= args.size() || !ParseInt(args[i + 1], 1, 4, out.presetAction) ||
          !ParseInt(args[i + 2], 0, 65535, out.presetNumber))
        return error = "--preset needs an action 1-4 and a number 0-65535", false;
      i += 2;
    } else if (a == "--menu") {
      if (!(v = value())) return false;
      if (*v != "enter" && *v != "escape" && *v != "open" && *v != "close")
        return error = "--menu must be enter, escape, open or close", false;
      out.menu = *v;
    } else {
      return error = "ptz: unknown argument '" + a + "'", false;
    }
  }
  if (out.channel == 0) return error = "ptz needs --channel C", false;
  const int commands = (out.key ? 1 : 0) + (out.presetAction ? 1 : 0) + (out.menu.empty() ? 0 : 1);
  if (commands != 1) return error = "ptz needs exactly one of --key, --preset and --menu", false;
  return true;
}

int Fail(CliSession& session, int code, const std::string& error, std::ostream& err) {
  session.Close();
  err << "orvactl: " << error << "\n";
  return code;
}

}  // namespace

int RunPtz(const Options& options, std::ostream& out, std::ostream& err) {
  PtzArgs args;
  std::string error;
  if (!ParsePtzArgs(options.args, args, error)) {
    err << "orvactl: " << error << "\n";
    return kExitUsage;
  }
  LiveOptions live;
  live.requestMask = 1u << (args.channel - 1);
  CliSession session(options, live);
  int code = session.Login(error);
  if (code == kExitOk) code = session.WaitForAnnouncements(std::chrono::seconds(1), error);
  if (code != kExitOk) return Fail(session, code, error, err);
  if (!session.Rights().Has(Right::kPtz)) return Fail(session, kExitRefused, FormatNotice(kNoticeNotPermitted), err);
  const auto wait = std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
  code = session.WaitUntil([&] { return session.Session().LiveActive(); }, wait, error);
  if (code != kExitOk) return Fail(session, code, error, err);

  session.Ptz().SelectChannel(args.channel - 1, args.mode);
  code = session.WaitUntil([&] { return session.PtzSteerable().has_value(); }, wait, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  const bool steerable = *session.PtzSteerable();
  out << "ptz: channel " << args.channel << (steerable ? " can be steered" : " cannot be steered") << "\n";
  if (!steerable) return Fail(session, kExitRefused, "channel " + std::to_string(args.channel) + " cannot be steered", err);

  if (args.key) {
    session.Ptz().KeyPressed(*args.key);
    std::this_thread::sleep_for(std::chrono::milliseconds(args.holdMs));
    session.Ptz().KeyReleased();
    out << "sent: command " << int(PtzKeyCommand(args.mode, *args.key)) << " for " << args.holdMs << " ms, then stop\n";
  } else if (args.presetAction) {
    session.Ptz().Preset(args.presetAction, static_cast<uint16_t>(args.presetNumber));
    out << "sent: preset action " << args.presetAction << " number " << args.presetNumber << "\n";
  } else {
    const uint8_t command = args.menu == "open"     ? kPtzDomeMenuAccess
                            : args.menu == "enter"  ? kPtzMenuEnter
                            : args.menu == "escape" ? kPtzMenuEscape
                                                    : kPtzDomeMenuLeave;
    session.Ptz().DomeMenu(command);
    out << "sent: menu " << args.menu << "\n";
  }
  out.flush();
  session.Close();
  return kExitOk;
}

}  // namespace orva::cli
