// orvactl rec, time, reboot and firmware: requests with the rights checks the
// desktop client makes, and the recorder's answers.
#include <cstdio>
#include <set>
#include <sstream>

#include "arg_parse.h"
#include "cli_session.h"
#include "commands.h"
#include "local_folder.h"
#include "orva/link/firmware.h"
#include "orva/link/time_convert.h"

namespace orva::cli {
namespace {

int Fail(CliSession& session, int code, const std::string& error, std::ostream& err) {
  session.Close();
  err << "orvactl: " << error << "\n";
  return code;
}

// Logs in and waits for the user table, which the rights checks need.
int Prepare(CliSession& session, std::string& error) {
  int code = session.Login(error);
  if (code == kExitOk) code = session.WaitForAnnouncements(std::chrono::seconds(1), error);
  return code;
}

std::chrono::milliseconds AnswerWait(const Options& options) {
  return std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
}

// REBOOT_REQ with the reboot right, then the answer; on failure the session
// is closed and the reason printed.
int RebootAndWait(CliSession& session, const Options& options, std::ostream& out, std::ostream& err) {
  if (session.Device().Reboot(session.Rights().Has(Right::kReboot)) == RequestOutcome::kNotPermitted)
    return Fail(session, kExitRefused, FormatNotice(kNoticeNotPermitted), err);
  std::string error;
  const int code = session.WaitUntil([&] { return session.RebootAccepted(); }, AnswerWait(options), error);
  if (code != kExitOk) return Fail(session, code, error, err);
  out << "reboot: accepted\n";
  return kExitOk;
}

}  // namespace

int RunRec(const Options& options, std::ostream& out, std::ostream& err) {
  if (options.args.size() != 1 || (options.args[0] != "on" && options.args[0] != "off")) {
    err << "orvactl: rec takes one argument, on or off\n";
    return kExitUsage;
  }
  const bool on = options.args[0] == "on";
  CliSession session(options);
  std::string error;
  int code = Prepare(session, error);
  if (code != kExitOk) return Fail(session, code, error, err);

  RequestOutcome sent;
  if (on) {
    sent = session.Device().RecordOn();
  } else {
    // The password is asked for again; here it is the one given to orvactl.
    sent = session.Device().RecordOff(session.Rights().Has(Right::kStopRecording),
                                      [&] { return std::optional<std::string>(options.password); });
  }
  if (sent == RequestOutcome::kNotPermitted) return Fail(session, kExitRefused, FormatNotice(kNoticeNotPermitted), err);
  if (sent == RequestOutcome::kWrongPassword)
    return Fail(session, kExitRefused, "the password does not match the one in use for this connection", err);
  if (sent != RequestOutcome::kSent) return Fail(session, kExitConnect, "not connected", err);

  code = session.WaitUntil([&] { return session.RecordingAnswer().has_value(); }, AnswerWait(options), error);
  if (code != kExitOk) return Fail(session, code, error, err);
  out << "recording: " << (*session.RecordingAnswer() ? "on" : "off") << "\n";
  session.Close();
  return kExitOk;
}

int RunTime(const Options& options, std::ostream& out, std::ostream& err) {
  if (!options.args.empty()) {
    err << "orvactl: time takes no arguments\n";
    return kExitUsage;
  }
  CliSession session(options);
  std::string error;
  int code = Prepare(session, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  session.Device().RequestTime();
  code = session.WaitUntil([&] { return session.DvrTime().has_value(); }, AnswerWait(options), error);
  if (code != kExitOk) return Fail(session, code, error, err);
  out << FormatRecorderTime(*session.DvrTime(), options.dateFormat) << "\n";
  session.Close();
  return kExitOk;
}

int RunReboot(const Options& options, std::ostream& out, std::ostream& err) {
  if (!options.args.empty()) {
    err << "orvactl: reboot takes no arguments\n";
    return kExitUsage;
  }
  CliSession session(options);
  std::string error;
  int code = Prepare(session, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  code = RebootAndWait(session, options, out, err);
  if (code == kExitOk) session.Close();
  return code;
}

namespace {

struct FirmwareArgs {
  std::string dir;
  bool list = false;
  bool reboot = false;
  std::set<int> rows;  // empty: every row with a candidate
};

bool ParseFirmwareArgs(const Options& options, FirmwareArgs& args, std::string& error) {
  for (size_t i = 0; i < options.args.size(); ++i) {
    const std::string& a = options.args[i];
    if (a == "--list") {
      args.list = true;
    } else if (a == "--reboot") {
      args.reboot = true;
    } else if (a == "--dir" || a == "--rows") {
      if (i + 1 >= options.args.size()) {
        error = a + " needs a value";
        return false;
      }
      const std::string& value = options.args[++i];
      if (a == "--dir") {
        args.dir = value;
        continue;
      }
      std::stringstream items(value);
      std::string item;
      while (std::getline(items, item, ',')) {
        uint64_t row = 0;
        if (!ParseNumber(item, kFirmwareRows - 1, row)) {
          error = "--rows takes row numbers 0-5 separated by commas, not '" + value + "'";
          return false;
        }
        args.rows.insert(static_cast<int>(row));
      }
      if (args.rows.empty()) {
        error = "--rows needs at least one row";
        return false;
      }
    } else {
      error = "firmware: unknown argument '" + a + "'";
      return false;
    }
  }
  return true;
}

std::string RowVerdict(FirmwareRowState state, int32_t result) {
  switch (state) {
    case FirmwareRowState::kDone: return "done";
    case FirmwareRowState::kRefused: return "refused " + std::to_string(result);
    case FirmwareRowState::kCancelled: return "cancelled";
    // A file that could not be read for the upload never reached the recorder.
    case FirmwareRowState::kUnreadable: return "failed -1";
    case FirmwareRowState::kFailed: return "failed " + std::to_string(result);
    default: return "cancelled";  // never finished: the run ended without a verdict
  }
}

}  // namespace

int RunFirmware(const Options& options, std::ostream& out, std::ostream& err) {
  FirmwareArgs args;
  std::string error;
  if (!ParseFirmwareArgs(options, args, error)) {
    err << "orvactl: " << error << "\nTry 'orvactl --help'.\n";
    return kExitUsage;
  }
  if (args.dir.empty()) args.dir = BaseLocation(options) + "/Upgrade";
  CliSession session(options);
  int code = Prepare(session, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  FirmwareUpgrade& firmware = session.Firmware();
  const Notice found = firmware.BeginCommand(args.dir);
  if (found != kNoticeFirmwareFound) return Fail(session, kExitRefused, FormatNotice(found), err);

  const FirmwareRows rows = firmware.Rows();
  for (int r = 0; r < kFirmwareRows; ++r) {
    const FirmwareEntry& entry = rows[static_cast<size_t>(r)];
    const bool candidate = entry.Selected();
    if (args.rows.count(r) != 0 && !candidate) {
      return Fail(session, kExitRefused, "row " + std::to_string(r) + " has no newer firmware in " + args.dir, err);
    }
    if (candidate && !args.rows.empty()) firmware.SetChecked(r, args.rows.count(r) != 0);
  }
  if (args.list) {
    for (int r = 0; r < kFirmwareRows; ++r) {
      const FirmwareEntry& entry = rows[static_cast<size_t>(r)];
      if (!entry.Selected()) continue;
      out << "row " << r << ": component " << entry.Component() << " "
          << session.Session().Identity().firmName[static_cast<size_t>(entry.Component())].data() << " build "
          << FormatRecorderTime(entry.BuildTime(), 0) << " " << entry.Path() << "\n";
    }
    session.Close();
    return kExitOk;
  }

  std::vector<int> chosen;
  for (int r = 0; r < kFirmwareRows; ++r) {
    if (rows[static_cast<size_t>(r)].Selected() && firmware.Checked(r)) chosen.push_back(r);
  }
  firmware.Start();
  // Each row gets the answer time anew while the run moves on.
  FirmwareRowState lastState = FirmwareRowState::kNone;
  int lastRow = -1;
  while (firmware.Running()) {
    lastRow = firmware.CurrentRow();
    lastState = firmware.RowState(lastRow);
    code = session.WaitUntil(
        [&] {
          return !firmware.Running() || firmware.CurrentRow() != lastRow || firmware.RowState(lastRow) != lastState;
        },
        AnswerWait(options), error);
    if (code != kExitOk) {
      firmware.Cancel();
      break;
    }
  }
  bool allDone = code == kExitOk;
  for (int r : chosen) {
    const FirmwareRowState state = firmware.RowState(r);
    allDone = allDone && state == FirmwareRowState::kDone;
    out << "row " << r << ": " << RowVerdict(state, firmware.RowResult(r)) << "\n";
  }
  if (code != kExitOk) return Fail(session, code, error, err);
  if (args.reboot && firmware.Successes() > 0) {
    code = RebootAndWait(session, options, out, err);
    if (code != kExitOk) return code;
  }
  session.Close();
  return allDone ? kExitOk : kExitRefused;
}

}  // namespace orva::cli
