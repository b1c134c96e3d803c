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
         "               [--timeout SECONDS] [--location DIR] [--date-format 0|1|2]\n"
         "               [--site TEXT]\n"
         "               COMMAND\n"
         "\n"
         "Talks to an ORVA7000 recorder (or orva-sim) over TCP.\n"
         "\n"
         "options:\n"
         "  --host ADDR        recorder address or host name (default 127.0.0.1)\n"
         "  --port N           TCP port 1-65535 (default 2000)\n"
         "  --user NAME        user ID (default admin)\n"
         "  --password TEXT    password; better given in the environment as ORVA_PASSWORD\n"
         "  --timeout SECONDS  how long to wait for the recorder (default 10)\n"
         "  --location DIR     base folder whose Log/ORVA7000.log records the logon and\n"
         "                     whose Download/ holds downloads\n"
         "  --date-format F    dates printed as 0 YYYY-MM-DD (default), 1 MM-DD-YYYY,\n"
         "                     2 DD-MM-YYYY\n"
         "  --site TEXT        free site text kept with the connection (system shows it)\n"
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
         "  calendar [--backup]\n"
         "                     print the month the search calendar opens on and every\n"
         "                     day with recordings (--backup: the backup search)\n"
         "  day YYYY-MM-DD [--backup] [--channels MASK]\n"
         "                     print the day's recorded spans and the time-bar bars\n"
         "                     drawn for the channels of MASK (default: all)\n"
         "  events [--kind 1|2|4 [--page N]]\n"
         "                     print the recorder's event list, or page N (default 1)\n"
         "                     of the events of one kind\n"
         "  play (--from TIME [--to TIME | --range] | --event KIND:NUMBER)\n"
         "       [--channels MASK] [--seconds S] [--script STEPS] [--pictures DIR]\n"
         "                     play recordings back: from TIME as the time bar does,\n"
         "                     a time range (--to, or --range without an end), or\n"
         "                     the event NUMBER (from 0) of KIND in the event list;\n"
         "                     TIME is \"YYYY-MM-DD HH:MM:SS\" on the recorder's clock.\n"
         "                     STEPS, from the first picture, comma-separated: fwd,\n"
         "                     rev, pause, stepf, stepb, wait:MS. Runs S seconds\n"
         "                     (default 5) from the first picture, then stops and\n"
         "                     reports pictures per channel, the last shown time and\n"
         "                     the speed\n"
         "  size (--from TIME --to TIME | --event KIND:NUMBER) [--channels MASK]\n"
         "                     ask the recorder for the size of a backup and print it\n"
         "                     (\"size: N KByte|MByte|GByte\") with the free space of\n"
         "                     the base folder (\"free: N MiB\"); refused (exit 3) when\n"
         "                     less than 100 MiB would be left\n"
         "  download (--from TIME --to TIME | --event KIND:NUMBER) [--channels MASK]\n"
         "                     the size check, then the download into DIR/Download/;\n"
         "                     prints \"pair: PATH.vid PATH.idx\" per file pair, then\n"
         "                     \"frames: video=V audio=A\" and \"received: N KiB\";\n"
         "                     progress on stderr when it is a terminal. SIGINT or\n"
         "                     SIGTERM stop it with the pair closed and playable\n"
         "                     (exit 130); a lost connection closes the pair (exit 2)\n"
         "  local files        list the downloaded pairs in playback order:\n"
         "                     \"file: PATH.idx link=L next=N start=TIME\", L and N the\n"
         "                     split links (hexadecimal recorder times, 0 for none)\n"
         "  local calendar [--year Y]\n"
         "                     every day with downloaded recordings:\n"
         "                     \"day: DATE kinds=0xKK\" (bit 1 << kind, 0 continuous)\n"
         "  local events [--kind 1|2|4]\n"
         "                     every downloaded segment: \"event: kind=K number=N\n"
         "                     start=TIME end=TIME\" (number -1 for continuous)\n"
         "  local play --from TIME [--to TIME] [--seconds S] [--script STEPS]\n"
         "       [--pictures DIR]\n"
         "                     play the downloaded pairs without a recorder; STEPS as\n"
         "                     for play, and seek:TIME moves the position slider;\n"
         "                     prints \"seek: target=TIME landed=TIME ms=M\" per seek,\n"
         "                     then pictures per channel, the shown time and the speed\n"
         "  export --from TIME --to TIME --channel C [--copy] OUT.mp4\n"
         "                     write channel C (1-16) of the downloaded pairs as MP4\n"
         "                     with OUT.mp4.sha256 beside it; --copy keeps the first\n"
         "                     field of two-field pictures instead of re-encoding\n"
         "  log [--type all|event|operation|power|record|client] [--numeric] [--pdf FILE]\n"
         "                     fetch the recorder's log and print it newest first, one\n"
         "                     record a line, tab-separated: number, date and time,\n"
         "                     type, kind, detail. Types: Power, Record, Operation,\n"
         "                     Client, Event. Kinds (by bit): power 0 System started,\n"
         "                     1 Power failure, 2 System shut down; record 0 Recording\n"
         "                     started, 1 Recording stopped, 2 Disk full, 3 Overwriting\n"
         "                     started, 4 Disk error; operation 0 Setup changed, 1 Time\n"
         "                     changed, 2 Log cleared, 3 Firmware upgraded, 4 Factory\n"
         "                     reset, 5 and 9 User logon, 6 User logoff, 7 Disk\n"
         "                     formatted, 8 Local playback; client 0 Client connected,\n"
         "                     1 Client disconnected, 2 Logon refused, 3 Remote setup,\n"
         "                     4 Remote playback, 5 Backup, 6 PTZ control, 7 Firmware\n"
         "                     upload; event 0 Sensor, 1 Motion, 2 Video loss, 3 Video\n"
         "                     restored, 4 Alarm output\n"
         "                     (detail: the channels). --numeric prints\n"
         "                     \"type=B\" and \"kind=B\" (bit numbers, - for none);\n"
         "                     --pdf also prints the list into FILE as the viewer does\n"
         "  status [--watch SECONDS]\n"
         "                     print disk_total, disk_used and disk_free, then\n"
         "                     \"channel NN: recording STATE\" (STATE idle, continuous,\n"
         "                     schedule, motion, alarm, manual or unknown) or\n"
         "                     \"channel NN: -\", and \"device N: value=V state=S\"\n"
         "                     (V a number or none; S ready, busy, fault or unknown)\n"
         "                     per extra storage device; --watch asks twice, SECONDS\n"
         "                     apart, and adds \"days_left: D\" (or unknown)\n"
         "  system             print address, site, mac and \"firmware: INDEX NAME\n"
         "                     YYYY  MMDD  HHMM\" for the main and every announced\n"
         "                     firmware component\n"
         "  firmware [--dir DIR] [--list] [--rows R,...] [--reboot]\n"
         "                     find newer firmware in DIR (default LOCATION/Upgrade);\n"
         "                     --list prints \"row R: component I NAME build\n"
         "                     YYYY-MM-DD HH:MM:SS PATH\"; otherwise uploads every\n"
         "                     candidate (or rows R,...) printing \"row R: done\",\n"
         "                     \"refused N\", \"failed N\" or \"cancelled\"; --reboot\n"
         "                     reboots after at least one success. Exit 0 when every\n"
         "                     chosen row is done, 3 otherwise\n"
         "  setup get FILE     fetch the recorder's setup database and write its 64,512\n"
         "                     bytes exactly as received (exit 3 on a damaged answer)\n"
         "  setup put FILE     send FILE (64,512 bytes, the recorder's database version)\n"
         "                     as the new setup; exit 0 when the recorder takes it\n"
         "  setup show [FILE]  print one \"key: value\" line per setup field, in offset\n"
         "                     order, from FILE or from the recorder (docs/SETUP.md)\n"
         "  setup set [--select N,M,...] [--dry-run] KEY=VALUE ...\n"
         "                     change fields as the setup window's pages would, with\n"
         "                     the channel rows N,M,... selected; prints \"KEY: OLD ->\n"
         "                     NEW\" per changed field and sends (not with --dry-run);\n"
         "                     exit 1 with the reason when a page would refuse a value\n"
         "  setup diff A B     print \"key: old -> new\" for the fields that differ\n"
         "  setup reset --yes  reset the recorder's setup to its factory values\n"
         "  test-mail          ask the recorder to send its test e-mail\n"
         "\n"
         "Downloads go to DIR/Download/, DIR being --location or $HOME/ORVA7000.\n"
         "\n"
         "exit status: 0 success, 1 usage error, 2 no connection, 3 refused by the\n"
         "recorder (or no room, no data, no such channel), 4 no answer within the\n"
         "timeout, 130 download stopped by a signal\n";
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
    } else if (arg == "--site") {
      if (!value("--site", out.site)) return false;
      if (out.site.size() > 260) {
        error = "--site is longer than 260 characters";
        return false;
      }
    } else if (arg == "--date-format") {
      if (!value("--date-format", text)) return false;
      if (!ParseInt(text, 0, 2, out.dateFormat)) {
        error = "--date-format must be 0, 1 or 2, not '" + text + "'";
        return false;
      }
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
