#include "options.h"

#include <charconv>
#include <cstring>

namespace orva::cli {
namespace {

bool ParseInt(const std::string& text, int min, int max, int& out) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) return false;
  out = value;
  return true;
}

bool ParseSeconds(const std::string& text, double& out) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(value > 0) || value > 86400) return false;
  out = value;
  return true;
}

}  // namespace

std::string Usage() {
  return "usage: orvactl [--host ADDR] [--port N] [--user NAME] [--password TEXT]\n"
         "               [--timeout SECONDS] [--location DIR] COMMAND\n"
         "\n"
         "Talks to an ORVA7000 recorder (or orva-sim) over TCP.\n"
         "\n"
         "options:\n"
         "  --host ADDR        recorder address or host name (default 127.0.0.1)\n"
         "  --port N           TCP port 1-65535 (default 2000)\n"
         "  --user NAME        user ID (default admin)\n"
         "  --password TEXT    password; better given in the environment as ORVA_PASSWORD\n"
         "  --timeout SECONDS  how long to wait for the recorder (default 10)\n"
         "  --location DIR     base folder whose Log/ORVA7000.log records the logon\n"
         "  --help             this text\n"
         "\n"
         "commands:\n"
         "  info               log in, print the recorder's identity, the user's rights\n"
         "                     and the camera names, and log out\n"
         "  live [--seconds N] [--channels MASK] [--pictures DIR] [--audio FILE.wav]\n"
         "       [--audio-channel C] [--snapshot DIR [--format jpg|bmp|tif]]\n"
         "                     run live view for N seconds (default 5, counted from the\n"
         "                     first picture) and report, per\n"
         "                     channel, the decoded picture size and counts; write the\n"
         "                     last pictures as DIR/chNN.ppm and the sound of channel C\n"
         "                     (default 1) as 16 kHz mono WAV; --snapshot saves each\n"
         "                     channel's 800x600 snapshot with its date and time into\n"
         "                     DIR as the desktop client does (default format jpg)\n"
         "  rec on|off         start or stop recording (stopping needs the right and\n"
         "                     the password in use)\n"
         "  time               print the recorder's clock\n"
         "  reboot             restart the recorder (needs the reboot right)\n"
         "  ptz --channel C (--mode pan|zoom --key up|down|left|right --hold-ms N |\n"
         "       --preset ACTION NUMBER | --menu enter|escape|open|close)\n"
         "                     steer channel C (1-16): hold a key for N ms (default\n"
         "                     500), send a preset action 1-4, or drive the camera's\n"
         "                     menu (needs the PTZ right)\n"
         "\n"
         "exit status: 0 success, 1 usage error, 2 no connection, 3 refused by the\n"
         "recorder, 4 no answer within the timeout\n";
}

bool ParseOptions(int argc, const char* const* argv, const char* envPassword, Options& out, std::string& error,
                  bool& showHelp) {
  showHelp = false;
  if (envPassword) out.password = envPassword;
  int i = 1;
  auto value = [&](const char* name, std::string& dest) {
    if (i + 1 >= argc) {
      error = std::string("option ") + name + " needs a value";
      return false;
    }
    dest = argv[++i];
    return true;
  };
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    std::string text;
    if (arg == "--help" || arg == "-h") {
      showHelp = true;
      return true;
    } else if (arg == "--host") {
      if (!value("--host", out.host)) return false;
      if (out.host.empty()) {
        error = "--host must not be empty";
        return false;
      }
    } else if (arg == "--port") {
      if (!value("--port", text)) return false;
      if (!ParseInt(text, 1, 65535, out.port)) {
        error = "--port must be a number from 1 to 65535, not '" + text + "'";
        return false;
      }
    } else if (arg == "--user") {
      if (!value("--user", out.user)) return false;
    } else if (arg == "--password") {
      if (!value("--password", out.password)) return false;
    } else if (arg == "--timeout") {
      if (!value("--timeout", text)) return false;
      if (!ParseSeconds(text, out.timeoutSeconds)) {
        error = "--timeout must be a positive number of seconds, not '" + text + "'";
        return false;
      }
    } else if (arg == "--location") {
      if (!value("--location", out.location)) return false;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option '" + arg + "'";
      return false;
    } else {
      out.command = arg;
      for (++i; i < argc; ++i) out.args.emplace_back(argv[i]);
      break;
    }
  }
  if (out.command.empty()) {
    error = "no command given";
    return false;
  }
  if (out.user.size() > 16) {
    error = "--user is longer than the recorder's 16 bytes";
    return false;
  }
  if (out.password.size() > 16) {
    error = "the password is longer than the recorder's 16 bytes";
    return false;
  }
  return true;
}

}  // namespace orva::cli
