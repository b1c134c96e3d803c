// orvactl size and download: the backup window's size check with the
// free-space rule, then the download into the Download folder, stopped in
// order by the recorder's end, a signal, or the loss of the connection.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "cli_session.h"
#include "commands.h"
#include "local_folder.h"
#include "range_args.h"

namespace orva::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr int kExitSignal = 130;

volatile sig_atomic_t g_stopSignal = 0;
extern "C" void OnStopSignal(int) { g_stopSignal = 1; }

// SIGINT and SIGTERM ask the download to stop instead of killing the
// process, so that the open pair is closed and stays playable.
class StopSignals {
 public:
  StopSignals() {
    g_stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
  }
  ~StopSignals() {
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction m_oldInt {}, m_oldTerm {};
};

class EstimateWaiter : public DownloadObserver {
 public:
  void OnSizeEstimated(uint32_t kib, bool fits) override {
    m_kib = kib;
    m_fits = fits;
    m_done = true;
  }
  bool Done() const { return m_done.load(); }
  uint32_t KiB() const { return m_kib.load(); }
  bool Fits() const { return m_fits.load(); }

 private:
  std::atomic<bool> m_done{false}, m_fits{false};
  std::atomic<uint32_t> m_kib{0};
};

std::chrono::milliseconds Timeout(const Options& options) {
  return std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
}

int Fail(CliSession& session, int code, const std::string& error, std::ostream& err) {
  session.Search().CloseWindow();
  session.Close();
  if (!error.empty()) err << "orvactl: " << error << "\n";
  return code;
}

// Logs in and asks for the size of the chosen range. Prints the size and
// the free space when the free-space rule lets the download go ahead.
int SizeCheck(CliSession& session, const std::string& command, const Options& options, DownloadRange& range,
              uint32_t& kib, std::ostream& out, std::string& error) {
  RangeArgs args;
  if (!ParseRangeArgs(command, options.args, args, error)) return kExitUsage;
  SearchWaiter waiter;
  int code = OpenSearch(session, waiter, Right::kBackup, error);
  if (code == kExitOk) code = ResolveRange(session, waiter, args, options, range, error);
  if (code != kExitOk) return code;
  EstimateWaiter estimate;
  DownloadController& download = session.Download();
  download.SetObserver(&estimate);
  download.RequestSize(range);
  code = session.WaitUntil([&] { return estimate.Done() || !download.Busy(); }, Timeout(options), error);
  // The busy flag clears a moment before the estimate, or the refusal's notice, is handed over.
  if (code == kExitOk && !estimate.Done()) {
    std::string ignored;
    session.WaitUntil([&] { return estimate.Done(); }, 200ms, ignored);
  }
  download.SetObserver(nullptr);
  if (code == kExitOk && !estimate.Done()) {
    code = kExitRefused;
    const auto notice = session.Refusal();
    error = notice ? FormatNotice(*notice) : "the recorder gave no size for the range";
  }
  if (code != kExitOk) return code;
  kib = estimate.KiB();
  if (!estimate.Fits()) {
    const auto [need, spare] = download.Shortfall();
    error = FormatNotice({13, 0}) + " (" + std::to_string(need) + " MiB needed, " + std::to_string(spare) +
            " MiB available)";
    return kExitRefused;
  }
  out << "size: " << FormatDownloadSize(kib) << "\n";
  out << "free: " << FreeMiB(BaseLocation(options)) << " MiB\n";
  return kExitOk;
}

bool Usage(int code, const std::string& error, std::ostream& err) {
  if (code != kExitUsage) return false;
  err << "orvactl: " << error << "\nTry 'orvactl --help'.\n";
  return true;
}

void DrawProgress(uint64_t receivedKiB, uint32_t estimateKiB, std::ostream& err) {
  // The progress window's rule: received KiB clamped into the estimate.
  const double shown = static_cast<double>(std::min<uint64_t>(receivedKiB, estimateKiB));
  const double percent = estimateKiB ? shown * 100.0 / estimateKiB : 0;
  char line[96];
  std::snprintf(line, sizeof line, "\rdownload: %.1f %% (%llu of %u KiB)", percent,
                static_cast<unsigned long long>(receivedKiB), estimateKiB);
  err << line << std::flush;
}

void Report(const DownloadStats& stats, std::ostream& out) {
  for (const PairNames& pair : stats.pairs) out << "pair: " << pair.vid << " " << pair.idx << "\n";
  out << "frames: video=" << stats.videoFrames << " audio=" << stats.audioFrames << "\n";
  out << "received: " << stats.receivedBytes / 1024 << " KiB\n";
  out.flush();
}

// Waits for the end of the download; an exit code, 130 for a signal.
int AwaitDownload(CliSession& session, uint32_t estimateKiB, const Options& options, std::ostream& err,
                  std::string& error) {
  DownloadController& download = session.Download();
  const bool progress = isatty(STDERR_FILENO) == 1;
  uint64_t lastBytes = 0;
  auto lastChange = Clock::now();
  int code = kExitOk;
  for (;;) {
    code = session.WaitUntil([&] { return !download.Running() || g_stopSignal; }, std::chrono::milliseconds(200),
                             error);
    if (code != kExitOk && code != kExitTimeout) break;
    if (g_stopSignal) {
      code = kExitSignal;
      break;
    }
    if (!download.Running()) {
      // A failure's notice follows the stop it causes.
      code = session.Run(std::chrono::milliseconds(50), error);
      break;
    }
    const uint64_t bytes = download.Stats().receivedBytes;
    if (progress) DrawProgress(bytes / 1024, estimateKiB, err);
    if (bytes != lastBytes) {
      lastBytes = bytes;
      lastChange = Clock::now();
    } else if (Clock::now() - lastChange > Timeout(options)) {
      code = kExitTimeout;
      error = "no data from " + session.AddressText() + " in time";
      break;
    }
  }
  if (progress) err << "\n";
  if (code == kExitSignal || code == kExitTimeout || code == kExitRefused) download.Stop();
  // A lost connection: closing the session closes the pair with what came.
  if (code == kExitConnect) session.Close();
  if (code == kExitSignal) error = "download stopped; the files written so far are complete";
  return code;
}

}  // namespace

int RunSize(const Options& options, std::ostream& out, std::ostream& err) {
  CliSession session(options);
  DownloadRange range;
  uint32_t kib = 0;
  std::string error;
  const int code = SizeCheck(session, "size", options, range, kib, out, error);
  if (Usage(code, error, err)) return code;
  return Fail(session, code, code == kExitOk ? std::string() : error, err);
}

int RunDownload(const Options& options, std::ostream& out, std::ostream& err) {
  CliSession session(options);
  DownloadRange range;
  uint32_t kib = 0;
  std::string error;
  int code = SizeCheck(session, "download", options, range, kib, out, error);
  if (Usage(code, error, err)) return code;
  if (code == kExitOk && kib == 0) {
    code = kExitRefused;
    error = "the recorder has nothing to download in the range";
  }
  if (code != kExitOk) return Fail(session, code, error, err);
  StopSignals signals;
  DownloadController& download = session.Download();
  if (!download.Start(range)) return Fail(session, kExitConnect, "the download could not be started", err);
  code = AwaitDownload(session, kib, options, err, error);
  session.Search().CloseWindow();
  session.Close();
  const DownloadStats stats = download.Stats();
  Report(stats, out);
  if (code == kExitOk && !stats.error.empty()) {
    code = kExitRefused;
    error = FormatNotice(kNoticeDownloadWriteFailed) + " (" + stats.error + ")";
  }
  if (code != kExitOk) err << "orvactl: " << error << "\n";
  return code;
}

}  // namespace orva::cli
