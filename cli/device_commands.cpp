// orvactl rec, time and reboot: one request each, with the rights checks the
// desktop client makes, and the recorder's answer.
#include <cstdio>

#include "cli_session.h"
#include "commands.h"
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
  if (session.Device().Reboot(session.Rights().Has(Right::kReboot)) == RequestOutcome::kNotPermitted)
    return Fail(session, kExitRefused, FormatNotice(kNoticeNotPermitted), err);
  code = session.WaitUntil([&] { return session.RebootAccepted(); }, AnswerWait(options), error);
  if (code != kExitOk) return Fail(session, code, error, err);
  out << "reboot: accepted\n";
  session.Close();
  return kExitOk;
}

}  // namespace orva::cli
