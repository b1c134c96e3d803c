// The desktop client's own command-line options. Qt's options are skipped so
// that the same argv can be handed to QApplication.
#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "orva/services/app_services.h"

namespace orva::services {
namespace {

// Qt's command-line options (QGuiApplication, QApplication, xcb) that take a
// value in the next argument, and those that stand alone.
constexpr std::array<std::string_view, 14> kQtValueOptions = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "style",    "stylesheet",         "session",       "display", "geometry",        "title",       "name"};
constexpr std::array<std::string_view, 7> kQtFlagOptions = {"reverse", "widgetcount", "nograb",  "dograb",
                                                             "sync",    "visual",      "testability"};

// The recorder's fixed text fields.
constexpr size_t kMaxHostBytes = 127, kMaxUserBytes = 16, kMaxPasswordBytes = 16;

bool ParsePort(std::string_view text, uint16_t& port) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  // 65535 is refused as the connect dialog refuses it.
  if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 65534) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

bool ParseHostPort(std::string_view text, CommandLine& out, std::string& error) {
  std::string_view host = text;
  const size_t colon = text.rfind(':');
  if (colon != std::string_view::npos) {
    host = text.substr(0, colon);
    if (host.find(':') != std::string_view::npos) {
      error = "--connect takes HOST or HOST:PORT (IPv4 address or host name)";
      return false;
    }
    if (!ParsePort(text.substr(colon + 1), out.connectPort)) {
      error = "--connect: the port must be a number from 1 to 65534";
      return false;
    }
  }
  if (host.empty()) {
    error = "--connect: the host must not be empty";
    return false;
  }
  if (host.size() > kMaxHostBytes) {
    error = "--connect: the host is longer than 127 characters";
    return false;
  }
  out.connectHost = std::string(host);
  return true;
}

// "-platform" or "--platform" -> "platform"; "--platform=x" -> "platform" with inline value.
std::string_view OptionName(std::string_view arg, bool& hasInlineValue) {
  arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
  const size_t eq = arg.find('=');
  hasInlineValue = eq != std::string_view::npos;
  return hasInlineValue ? arg.substr(0, eq) : arg;
}

}  // namespace

std::string CommandLineUsage() {
  return "usage: orva7000 [--connect HOST[:PORT]] [--user NAME] [--simulator] [--removable | --no-removable]\n"
         "  --connect HOST[:PORT]  connect to this recorder at start (port 1-65534, default 2000)\n"
         "  --user NAME            user ID for --connect (default admin); the password is read\n"
         "                         from the environment variable ORVA_PASSWORD\n"
         "  --simulator            start the built-in simulated recorder and connect to it\n"
         "  --removable            run in removable mode (no settings saved, local playback at start)\n"
         "  --no-removable         never run in removable mode, wherever the program lies\n"
         "  --help                 show this text\n"
         "Qt's own options such as -platform NAME or -style NAME are passed on to Qt.\n";
}

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error) {
  out = CommandLine{};
  error.clear();
  if (const char* password = std::getenv("ORVA_PASSWORD")) out.password = password;
  if (out.password.size() > kMaxPasswordBytes) {
    error = "ORVA_PASSWORD is longer than the recorder's 16 bytes";
    return false;
  }
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    const std::string_view arg(argv[i]);
    // Our options may also be written --name=value.
    auto value = [&](std::string_view name, std::string_view& result) {
      if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        result = arg.substr(name.size() + 1);
        return true;
      }
      if (i + 1 >= argc || argv[i + 1] == nullptr) {
        error = std::string(name) + " needs a value";
        return false;
      }
      result = argv[++i];
      return true;
    };
    auto is = [&](std::string_view name) {
      return arg == name || (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=');
    };
    std::string_view v;
    if (arg == "--help" || arg == "-h") {
      out.help = true;
    } else if (is("--connect")) {
      if (!value("--connect", v) || !ParseHostPort(v, out, error)) return false;
    } else if (is("--user")) {
      if (!value("--user", v)) return false;
      if (v.empty() || v.size() > kMaxUserBytes) {
        error = "--user: the user ID must have 1 to 16 characters";
        return false;
      }
      out.user = std::string(v);
    } else if (is("--password")) {
      error = "the password is not taken from the command line: set ORVA_PASSWORD";
      return false;
    } else if (arg == "--removable") {
      out.removable = true;
    } else if (arg == "--no-removable") {
      out.removable = false;
    } else if (arg == "--simulator") {
      out.simulator = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      bool inlineValue = false;
      const std::string_view name = OptionName(arg, inlineValue);
      bool known = false;
      for (std::string_view q : kQtValueOptions)
        if (name == q) {
          known = true;
          if (!inlineValue) ++i;  // its value belongs to Qt too
        }
      for (std::string_view q : kQtFlagOptions) known = known || name == q;
      known = known || name.starts_with("qmljsdebugger");
      if (!known) {
        error = "unknown option " + std::string(arg) + " (see --help)";
        return false;
      }
    } else {
      error = "unexpected argument " + std::string(arg) + " (see --help)";
      return false;
    }
  }
  if (out.simulator && out.connectHost) {
    error = "--simulator and --connect cannot be used together";
    return false;
  }
  return true;
}

}  // namespace orva::services
