// orvactl setup get|put|show|set|diff|reset and orvactl test-mail: the
// recorder's setup database as a file, its fields as `key: value` lines,
// changes by key through the setup pages' rules, and the factory reset and
// test e-mail requests, with the setup right checked as the desktop client
// checks it.
#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "arg_parse.h"
#include "cli_session.h"
#include "commands.h"
#include "orva/link/catalogue.h"
#include "orva/setup/setup_edit.h"
#include "orva/setup/setup_exchange.h"

namespace orva::cli {
namespace {

// What the exchange reported, for the command's wait loop.
struct SetupEvents : SetupObserver {
  mutable std::mutex lock;
  bool ready = false;
  std::optional<SetupRejection> rejected;
  std::optional<int32_t> infoRefused;
  std::optional<std::pair<bool, int32_t>> update, reset, mail;

  void OnDatabaseReady() override { Set([&] { ready = true; }); }
  void OnDatabaseRejected(SetupRejection r) override { Set([&] { rejected = r; }); }
  void OnDatabaseRefused(int32_t result) override { Set([&] { infoRefused = result; }); }
  void OnUpdateAnswer(bool ok, int32_t result) override { Set([&] { update.emplace(ok, result); }); }
  void OnResetAnswer(bool ok, int32_t result) override { Set([&] { reset.emplace(ok, result); }); }
  void OnTestMailAnswer(bool ok, int32_t result) override { Set([&] { mail.emplace(ok, result); }); }

  template <typename F>
  void Set(F f) {
    std::lock_guard g(lock);
    f();
  }
  template <typename F>
  auto Get(F f) const {
    std::lock_guard g(lock);
    return f();
  }
};

int FailAndClose(CliSession* session, int code, const std::string& error, std::ostream& err) {
  if (session) session->Close();
  err << "orvactl: " << error << "\n";
  return code;
}

std::chrono::milliseconds AnswerWait(const Options& options) {
  return std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
}

// The text for a refusal that carries no notice of its own.
std::string RefusalText(const char* what, int32_t result) {
  return std::string("the recorder refused ") + what + " (result " + std::to_string(result) + ")";
}

// One command's connection: the session with the setup exchange attached.
struct SetupLink {
  explicit SetupLink(const Options& o) : options(o), session(o), exchange(&events) {}

  // Logs in and checks the setup right.
  int Connect(std::string& error) {
    exchange.Attach(session.Session());
    int code = session.Login(error);
    if (code == kExitOk) code = session.WaitForAnnouncements(std::chrono::seconds(1), error);
    if (code == kExitOk && !session.Rights().Has(Right::kSetup)) {
      error = FormatNotice(kNoticeNotPermitted);
      code = kExitRefused;
    }
    return code;
  }

  // Connect, DB_INFO_REQ and the wait for a complete, CRC-correct record.
  int Fetch(SetupDatabase& out, std::string& error) {
    int code = Connect(error);
    if (code != kExitOk) return code;
    if (!exchange.RequestDatabase()) {
      error = "not connected";
      return kExitConnect;
    }
    code = session.WaitUntil(
        [&] { return events.Get([&] { return events.ready || events.rejected || events.infoRefused; }); },
        AnswerWait(options), error);
    if (code != kExitOk) return code;
    if (auto rejected = events.Get([&] { return events.rejected; })) {
      error = *rejected == SetupRejection::kCrcMismatch ? FormatNotice({9, 0})
              : *rejected == SetupRejection::kOverrun   ? "the recorder's setup answer overran the reassembly area"
                                                        : "the recorder's setup answer is too short";
      return kExitRefused;
    }
    if (auto refused = events.Get([&] { return events.infoRefused; })) {
      error = RefusalText("to send its setup", *refused);
      return kExitRefused;
    }
    out = exchange.Database();
    return kExitOk;
  }

  // Sends a request and waits for the answer `slot` of the events.
  template <typename Send>
  int Ask(Send send, std::optional<std::pair<bool, int32_t>> SetupEvents::*slot, std::pair<bool, int32_t>& answer,
          std::string& error) {
    if (!send()) {
      error = "not connected";
      return kExitConnect;
    }
    const int code = session.WaitUntil([&] { return events.Get([&] { return (events.*slot).has_value(); }); },
                                       AnswerWait(options), error);
    if (code == kExitOk) answer = *events.Get([&] { return events.*slot; });
    return code;
  }

  // DB_UPDATE_REQ and its answer; a NACK gives its notice text.
  int Update(const SetupDatabase& record, std::string& error) {
    std::pair<bool, int32_t> answer;
    const int code = Ask([&] { return exchange.SendUpdate(record); }, &SetupEvents::update, answer, error);
    if (code != kExitOk || answer.first) return code;
    Notice notice;
    error = SetupNackNotice(msg::DB_UPDATE_NACK, answer.second, notice) ? FormatNotice(notice)
                                                                        : RefusalText("the setup", answer.second);
    return kExitRefused;
  }

  int Fail(int code, const std::string& error, std::ostream& err) { return FailAndClose(&session, code, error, err); }

  const Options& options;
  CliSession session;
  SetupEvents events;
  SetupExchange exchange;
};

void PrintLines(const SetupDatabase& db, std::ostream& out) {
  for (const SetupLine& line : ShowSetup(db)) out << line.key << ": " << line.value << "\n";
}

int RunGet(const Options& options, std::ostream& out, std::ostream& err) {
  if (options.args.size() != 2) return FailAndClose(nullptr, kExitUsage, "setup get takes one FILE", err);
  SetupLink link(options);
  std::string error;
  SetupDatabase db;
  if (int code = link.Fetch(db, error); code != kExitOk) return link.Fail(code, error, err);
  link.session.Close();
  if (!SaveSetupFile(options.args[1], db, error)) return FailAndClose(nullptr, kExitUsage, error, err);
  out << "setup: " << options.args[1] << " (" << kSetupDatabaseSize << " bytes, version " << int{db.Major()} << "."
      << int{db.Minor()} << ")\n";
  return kExitOk;
}

int RunPut(const Options& options, std::ostream& out, std::ostream& err) {
  if (options.args.size() != 2) return FailAndClose(nullptr, kExitUsage, "setup put takes one FILE", err);
  SetupDatabase file;
  std::string error;
  if (!LoadSetupFile(options.args[1], file, error)) return FailAndClose(nullptr, kExitUsage, error, err);
  SetupLink link(options);
  SetupDatabase current;
  // The recorder's own record first: a record of another database version is not sent.
  if (int code = link.Fetch(current, error); code != kExitOk) return link.Fail(code, error, err);
  if (file.Major() != current.Major() || file.Minor() != current.Minor())
    return link.Fail(kExitUsage,
                     options.args[1] + " holds a setup database of version " + std::to_string(file.Major()) + "." +
                         std::to_string(file.Minor()) + ", but the recorder's is version " +
                         std::to_string(current.Major()) + "." + std::to_string(current.Minor()),
                     err);
  if (int code = link.Update(file, error); code != kExitOk) return link.Fail(code, error, err);
  link.session.Close();
  out << FormatNotice({10, 0}) << "\n";
  return kExitOk;
}

// `--select 1,3,...`: the channel rows selected, as the window's row mask.
bool ParseSelection(const std::string& text, setup::RowMask& out, std::string& error) {
  out = 0;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    uint64_t channel = 0;
    if (!ParseNumber(text.substr(at, comma - at), 16, channel) || channel < 1) {
      error = "--select takes channels 1-16 separated by commas";
      return false;
    }
    out = static_cast<setup::RowMask>(out | (1u << (channel - 1)));
    at = comma + 1;
  }
  return true;
}

int RunSet(const Options& options, std::ostream& out, std::ostream& err) {
  bool dryRun = false;
  setup::RowMask selected = 0;
  std::vector<std::pair<std::string, std::string>> edits;
  std::string error;
  for (size_t i = 1; i < options.args.size(); ++i) {
    const std::string& a = options.args[i];
    if (a == "--dry-run") {
      dryRun = true;
    } else if (a == "--select") {
      if (i + 1 >= options.args.size()) return FailAndClose(nullptr, kExitUsage, "--select takes a list of channels", err);
      if (!ParseSelection(options.args[++i], selected, error)) return FailAndClose(nullptr, kExitUsage, error, err);
    } else if (const size_t eq = a.find('='); eq != std::string::npos && eq > 0) {
      edits.emplace_back(a.substr(0, eq), a.substr(eq + 1));
    } else {
      return FailAndClose(nullptr, kExitUsage, "setup set takes KEY=VALUE changes, not '" + a + "'", err);
    }
  }
  if (edits.empty()) return FailAndClose(nullptr, kExitUsage, "setup set takes at least one KEY=VALUE", err);
  SetupLink link(options);
  SetupDatabase before;
  if (int code = link.Fetch(before, error); code != kExitOk) return link.Fail(code, error, err);
  // What the window would know: the recorder's channels, product, the
  // logged-in account and the tables it announced.
  setup::EditContext context;
  const RecorderIdentity identity = link.session.Session().Identity();
  context.shape.channels = link.session.Session().ChannelCount();
  context.shape.product = identity.productNumber >= 1 && identity.productNumber <= 4 ? identity.productNumber : 0;
  context.account = identity.account;
  context.tables = link.exchange.Tables();
  context.selected = selected;
  SetupDatabase after = before;
  if (!setup::ApplySetupEdits(after, edits, context, error)) return link.Fail(kExitUsage, error, err);
  const std::vector<SetupChange> changes = DiffSetup(before, after);
  for (const SetupChange& c : changes) out << c.key << ": " << c.before << " -> " << c.after << "\n";
  if (!dryRun && !changes.empty())
    if (int code = link.Update(after, error); code != kExitOk) return link.Fail(code, error, err);
  link.session.Close();
  return kExitOk;
}

int RunShow(const Options& options, std::ostream& out, std::ostream& err) {
  if (options.args.size() > 2) return FailAndClose(nullptr, kExitUsage, "setup show takes at most one FILE", err);
  std::string error;
  SetupDatabase db;
  if (options.args.size() == 2) {
    if (!LoadSetupFile(options.args[1], db, error)) return FailAndClose(nullptr, kExitUsage, error, err);
  } else {
    SetupLink link(options);
    if (int code = link.Fetch(db, error); code != kExitOk) return link.Fail(code, error, err);
    link.session.Close();
  }
  PrintLines(db, out);
  return kExitOk;
}

int RunDiff(const Options& options, std::ostream& out, std::ostream& err) {
  if (options.args.size() != 3) return FailAndClose(nullptr, kExitUsage, "setup diff takes two FILEs", err);
  SetupDatabase a, b;
  std::string error;
  if (!LoadSetupFile(options.args[1], a, error) || !LoadSetupFile(options.args[2], b, error))
    return FailAndClose(nullptr, kExitUsage, error, err);
  for (const SetupChange& c : DiffSetup(a, b)) out << c.key << ": " << c.before << " -> " << c.after << "\n";
  if (const size_t other = DiffUninterpretedBytes(a, b)) out << "uninterpreted bytes differing: " << other << "\n";
  return kExitOk;
}

int RunReset(const Options& options, std::ostream& out, std::ostream& err) {
  if (options.args.size() != 2 || options.args[1] != "--yes")
    return FailAndClose(nullptr, kExitUsage,
                        "setup reset resets the recorder's setup to factory values; confirm with --yes", err);
  SetupLink link(options);
  std::string error;
  std::pair<bool, int32_t> answer;
  int code = link.Connect(error);
  if (code == kExitOk)
    code = link.Ask([&] { return link.exchange.RequestFactoryReset(); }, &SetupEvents::reset, answer, error);
  if (code != kExitOk) return link.Fail(code, error, err);
  if (!answer.first) return link.Fail(kExitRefused, RefusalText("the factory reset", answer.second), err);
  link.session.Close();
  out << "setup: reset to factory values\n";
  return kExitOk;
}

}  // namespace

int RunSetup(const Options& options, std::ostream& out, std::ostream& err) {
  const std::string sub = options.args.empty() ? std::string() : options.args[0];
  if (sub == "get") return RunGet(options, out, err);
  if (sub == "put") return RunPut(options, out, err);
  if (sub == "show") return RunShow(options, out, err);
  if (sub == "set") return RunSet(options, out, err);
  if (sub == "diff") return RunDiff(options, out, err);
  if (sub == "reset") return RunReset(options, out, err);
  return FailAndClose(nullptr, kExitUsage, "setup takes get FILE, put FILE, show [FILE], set KEY=VALUE..., diff A B or reset --yes", err);
}

int RunTestMail(const Options& options, std::ostream& out, std::ostream& err) {
  if (!options.args.empty()) return FailAndClose(nullptr, kExitUsage, "test-mail takes no arguments", err);
  SetupLink link(options);
  std::string error;
  SetupDatabase db;
  std::pair<bool, int32_t> answer;
  // The mail settings come from the recorder's own setup.
  int code = link.Fetch(db, error);
  if (code == kExitOk)
    code = link.Ask([&] { return link.exchange.SendTestMail(); }, &SetupEvents::mail, answer, error);
  if (code != kExitOk) return link.Fail(code, error, err);
  if (!answer.first) return link.Fail(kExitRefused, RefusalText("the test e-mail", answer.second), err);
  link.session.Close();
  out << "test-mail: sent\n";
  return kExitOk;
}

}  // namespace orva::cli
