// orvactl log, status and system: the recorder's log and status as the
// search window fetches them, and the system view from the login's identity.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "cli_session.h"
#include "commands.h"
#include "log_pdf.h"
#include "orva/link/recorder_status.h"
#include "orva/link/remote_log.h"
#include "recorder_labels.h"
#include "search_wait.h"

namespace orva::cli {
namespace {

int Usage(const std::string& error, std::ostream& err) {
  err << "orvactl: " << error << "\nTry 'orvactl --help'.\n";
  return kExitUsage;
}

int Fail(CliSession& session, int code, const std::string& error, std::ostream& err) {
  session.Search().CloseWindow();
  session.Close();
  err << "orvactl: " << error << "\n";
  return code;
}

int Finish(CliSession& session, std::ostream& out) {
  out.flush();
  session.Search().CloseWindow();
  session.Close();
  return kExitOk;
}

bool ParseLogView(const std::string& text, LogView& out) {
  struct Name {
    std::string_view name;
    LogView view;
  };
  for (const Name& n : {Name{"all", LogView::kAll}, Name{"event", LogView::kEvent},
                        Name{"operation", LogView::kOperation}, Name{"power", LogView::kPower},
                        Name{"record", LogView::kRecord}, Name{"client", LogView::kClient}})
    if (text == n.name) {
      out = n.view;
      return true;
    }
  return false;
}

std::string Number(int bit) { return bit < 0 ? "-" : std::to_string(bit); }

std::string Trimmed(std::string text) {
  text.erase(0, text.find_first_not_of(' '));
  return text;
}

std::chrono::milliseconds Millis(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
}

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void PrintStatus(const RecorderStatus& s, int channels, std::ostream& out) {
  const int64_t used = static_cast<int64_t>(s.capacityA) - static_cast<int64_t>(s.capacityB);
  out << "disk_total: " << Trimmed(FormatCapacity(s.capacityA)) << "\n";
  out << "disk_used: " << Trimmed(FormatCapacity(static_cast<uint64_t>(used < 0 ? 0 : used))) << "\n";
  out << "disk_free: " << Trimmed(FormatCapacity(s.capacityB)) << "\n";
  for (int ch = 0; ch < channels; ++ch) {
    char line[64];
    const bool recording = ch < 32 && (s.recordingMask >> ch & 1u) != 0;
    std::snprintf(line, sizeof line, "channel %02d: ", ch + 1);
    out << line << (recording ? std::string("recording ") + RecordingStateLabel(s.state) : std::string("-")) << "\n";
  }
  if (!s.hasDevices) return;
  for (size_t d = 0; d < s.present.size(); ++d) {
    if (s.present[d] == 0) continue;
    out << "device " << d + 1 << ": value=" << (s.value[d] == 0 ? std::string("none") : std::to_string(s.value[d]))
        << " state=" << DeviceStateLabel(s.deviceState[d]) << "\n";
  }
}

}  // namespace

int RunLog(const Options& options, std::ostream& out, std::ostream& err) {
  LogView view = LogView::kAll;
  bool numeric = false;
  std::string pdf;
  for (size_t i = 0; i < options.args.size(); ++i) {
    const std::string& a = options.args[i];
    if (a == "--numeric") {
      numeric = true;
    } else if (a == "--pdf") {
      if (i + 1 >= options.args.size() || options.args[i + 1].empty()) return Usage("--pdf needs a file", err);
      pdf = options.args[++i];
    } else if (a == "--type") {
      if (i + 1 >= options.args.size()) return Usage("--type needs a value", err);
      const std::string& text = options.args[++i];
      if (!ParseLogView(text, view))
        return Usage("--type must be all, event, operation, power, record or client, not '" + text + "'", err);
    } else {
      return Usage("log: unknown argument '" + a + "'", err);
    }
  }
  CliSession session(options);
  SearchWaiter waiter;
  std::string error;
  int code = OpenSearch(session, waiter, std::nullopt, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  session.Search().RequestLog();
  code = AwaitReply(session, waiter, [&] { return waiter.Log().has_value(); }, options, error);
  if (code != kExitOk) return Fail(session, code, error, err);

  const std::vector<LogRecord> records = waiter.Log().value_or(std::vector<LogRecord>{});
  for (size_t index : LogViewRows(records, view)) {
    const LogRecord& r = records[index];
    const int type = LogTypeOf(r);
    char number[16];
    std::snprintf(number, sizeof number, "%05u", r.number);
    out << number << "\t" << LogTimeText(r.time, options.dateFormat) << "\t";
    if (numeric)
      out << "type=" << Number(type) << "\tkind=" << Number(LogKindBit(r));
    else
      out << LogTypeLabel(type) << "\t" << LogKindLabel(type, LogKindOf(r));
    // A record of no known type shows its number and time only.
    out << "\t" << (type < 0 ? std::string() : LogDetailText(r)) << "\n";
  }
  if (!pdf.empty() && !PrintLogPdf(records, view, options.dateFormat, pdf, error)) {
    return Fail(session, kExitRefused, error, err);
  }
  return Finish(session, out);
}

int RunStatus(const Options& options, std::ostream& out, std::ostream& err) {
  double watch = 0;
  for (size_t i = 0; i < options.args.size(); ++i) {
    const std::string& a = options.args[i];
    if (a != "--watch") return Usage("status: unknown argument '" + a + "'", err);
    if (i + 1 >= options.args.size()) return Usage("--watch needs a value", err);
    const std::string& text = options.args[++i];
    char* end = nullptr;
    watch = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(watch > 0) || watch > 86400)
      return Usage("--watch must be a number of seconds above 0 and at most 86400, not '" + text + "'", err);
  }
  CliSession session(options);
  SearchWaiter waiter;
  std::string error;
  int code = OpenSearch(session, waiter, std::nullopt, error);
  if (code != kExitOk) return Fail(session, code, error, err);
  std::vector<FreeSpaceSample> samples;
  RecorderStatus status;
  for (int round = 0; round < (watch > 0 ? 2 : 1); ++round) {
    if (round > 0) {
      code = session.Run(Millis(watch), error);
      if (code != kExitOk) return Fail(session, code, error, err);
    }
    waiter.ResetStatus();
    session.Search().RequestStatus();
    code = AwaitReply(session, waiter, [&] { return waiter.Status().has_value(); }, options, error);
    if (code != kExitOk) return Fail(session, code, error, err);
    if (!waiter.Status()) return Fail(session, kExitRefused, "the recorder sent no status", err);
    status = *waiter.Status();
    samples.push_back({SteadySeconds(), status.capacityB});
  }
  PrintStatus(status, session.Session().ChannelCount(), out);
  if (watch > 0) {
    if (const std::optional<double> days = DaysUntilFull(samples)) {
      char line[64];
      std::snprintf(line, sizeof line, "days_left: %.1f\n", *days);
      out << line;
    } else {
      out << "days_left: unknown\n";
    }
  }
  return Finish(session, out);
}

int RunSystem(const Options& options, std::ostream& out, std::ostream& err) {
  if (!options.args.empty()) return Usage("system takes no arguments", err);
  CliSession session(options);
  std::string error;
  int code = session.Login(error);
  // A user whose access is withdrawn hears so with the user table.
  if (code == kExitOk) code = session.WaitForAnnouncements(std::chrono::seconds(1), error);
  if (code != kExitOk) {
    session.Close();
    err << "orvactl: " << error << "\n";
    return code;
  }
  const RecorderIdentity id = session.Session().Identity();
  const std::string& site = session.Session().Site();
  out << "address: " << session.AddressText() << "\n";
  out << "site: " << (site.empty() ? "-" : site) << "\n";
  out << "mac: " << FormatMacAddress(id.mac) << "\n";
  for (int i = 0; i < kFirmwareComponents; ++i) {
    if (i != 0 && id.firmVer[static_cast<size_t>(i)] == 0) continue;
    const char* name = id.firmName[static_cast<size_t>(i)].data();
    out << "firmware: " << i << " " << (name[0] ? name : "-") << " "
        << FormatBuildTime(static_cast<int32_t>(id.firmVer[static_cast<size_t>(i)])) << "\n";
  }
  out.flush();
  session.Close();
  return kExitOk;
}

}  // namespace orva::cli
