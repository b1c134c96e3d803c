#include "orva/recordings/download.h"

#include <cstdio>

#include "orva/link/catalogue.h"
#include "orva/link/trace.h"

namespace orva {

using namespace std::chrono_literals;

namespace {

// Download frames may be larger than live ones; the buffer holds the largest.
constexpr size_t kDownloadBlockBytes = 4 * 1024 * 1024;

bool NoticeForTransResult(int32_t result, Notice& out) {
  switch (result) {
    case 1: out = {6, 0}; return true;
    case 53: out = {6, 4}; return true;
    case 83: out = {4, 0}; return true;
    case 86: out = {6, 3}; return true;
    case 87: out = {6, 5}; return true;
    case 98: out = {6, 6}; return true;
    default: return false;
  }
}

}  // namespace

std::array<uint8_t, 24> EncodeDownloadRange(const DownloadRange& range, bool dataRequest) {
  std::array<uint8_t, 24> p{};
  StoreBE32(p.data(), range.channelMask);
  if (range.eventKind > 0)
    p[4] = dataRequest ? 0 : static_cast<uint8_t>(range.eventKind < 8 ? 1u << range.eventKind : 0);
  else
    p[4] = 63;
  StoreBE32(p.data() + 16, range.start);
  StoreBE32(p.data() + 20, range.end);
  return p;
}

std::string FormatDownloadSize(uint32_t kib, int* unit) {
  char text[32];
  int u = 0;
  if (kib < 1024) {
    std::snprintf(text, sizeof text, "%u KByte", kib);
  } else if (kib < 1048576) {
    std::snprintf(text, sizeof text, "%u MByte", kib / 1024);
    u = 1;
  } else {
    std::snprintf(text, sizeof text, "%u GByte", kib / 1048576);
    u = 2;
  }
  if (unit) *unit = u;
  return text;
}

bool DownloadFits(uint64_t freeMiB, uint32_t kib) {
  return static_cast<int64_t>(freeMiB) - static_cast<int64_t>(kib / 1024) >= 100;
}

DownloadController::DownloadController(DownloadOptions options)
    : m_options(std::move(options)), m_reassembly(kDownloadBlockBytes) {}

DownloadController::~DownloadController() {
  // Owners destroy their session (and may be half destroyed themselves, as
  // the observer) before this goes: only the pair on disk is closed here.
  m_session = nullptr;
  m_observer = nullptr;
  StopSequence(false);
}

void DownloadController::Attach(DvrSession& session) {
  m_session = &session;
  auto bind = [this](auto fn) { return BindHandler(this, fn); };
  session.SetHandler(msg::TRANS_ON_ACK, bind(&DownloadController::RecvFn_TransOnAck));
  session.SetHandler(msg::TRANS_ON_NACK, bind(&DownloadController::RecvFn_TransOnNack));
  session.SetHandler(msg::TRANS_OFF_ACK, bind(&DownloadController::RecvFn_TransOffAck));
  session.SetHandler(msg::TRANS_OFF_NACK, bind(&DownloadController::RecvFn_TransOffNack));
  session.SetHandler(msg::TRANS_ON_DATA, bind(&DownloadController::RecvFn_TransOnData));
  session.SetHandler(msg::TRANS_ON_DONE, bind(&DownloadController::RecvFn_TransOnDone));
  session.SetHandler(msg::TRANS_ON_FAIL, bind(&DownloadController::RecvFn_TransOnFail));
  session.AddCloseParticipant(this);
}

DownloadStats DownloadController::Stats() const {
  std::lock_guard lock(m_statsLock);
  return m_stats;
}

// ------------------------------------------------------------- requests

void DownloadController::RequestSize(const DownloadRange& range) {
  if (!m_session) return;
  m_busy = true;
  m_session->Send(msg::TRANS_ON_REQ, EncodeDownloadRange(range, false));
  Trace("Send... TRANS_ON_REQ...\n");
}

void DownloadController::CancelEstimate() {
  if (!m_session) return;
  m_busy = false;
  m_session->Send(msg::CAPA_CAL_CANCEL);
  Trace("Send...CAPA_CAL_CANCEL...\n");
}

bool DownloadController::Start(const DownloadRange& range) {
  if (!m_session || m_running.load()) return false;
  FinishWriter();  // a writer that ended on its own is joined here
  BackupPairWriter::Options o;
  o.folder = m_options.folder;
  o.open = m_options.open;
  o.now = m_options.now;
  o.splitAfter = m_options.splitAfter;
  m_writer = std::make_unique<BackupPairWriter>(std::move(o));
  {
    std::lock_guard lock(m_statsLock);
    m_stats = {};
  }
  {
    std::lock_guard lock(m_queueLock);
    m_queue.clear();
    m_writerStop = false;
  }
  m_writeFailed = false;
  m_queueSeen = 0;
  m_reassembly.Reset();
  m_running = true;
  m_session->SetTransferActive(true);
  if (m_observer) m_observer->OnDownloadStarted(m_estimate.load());
  m_thread = std::thread([this] { Thread_BackupWriter(); });
  m_session->Send(msg::TRANS_DATA_REQ, EncodeDownloadRange(range, true));
  Trace("Send... TRANS_DATA_REQ...\n");
  std::this_thread::sleep_for(50ms);
  return true;
}

void DownloadController::Stop() { StopSequence(true); }

void DownloadController::FinishWriter() {
  {
    std::lock_guard lock(m_queueLock);
    m_writerStop = true;
  }
  m_queued.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void DownloadController::StopSequence(bool sendOff) {
  std::lock_guard stop(m_stopLock);
  const bool running = m_running.load();
  if (running && sendOff && m_session) {
    m_session->Send(msg::TRANS_OFF_REQ);
    Trace("Send...TRANS_OFF_REQ...\n");
  }
  // Every frame received is written before the writer is told to finish.
  for (int i = 0; i < 6000; ++i) {
    {
      std::lock_guard lock(m_queueLock);
      if (m_queue.empty() || !m_thread.joinable()) break;
    }
    std::this_thread::sleep_for(10ms);
  }
  FinishWriter();
  if (!running) return;
  m_running = false;
  if (m_session) m_session->SetTransferActive(false);
  Trace("Transfer end...\n");
  if (m_observer) m_observer->OnDownloadEnded(Stats().error);
}

void DownloadController::OnCloseStage(CloseStage stage) {
  // The close sequence has sent TRANS_OFF_REQ; close the pair with what came.
  if (stage == CloseStage::kReleaseDownloadWriter) StopSequence(false);
}

// ------------------------------------------------------------- the writer

void DownloadController::Thread_BackupWriter() {
  pthread_setname_np(pthread_self(), "orva-backup");
  for (;;) {
    std::vector<uint8_t> frame;
    {
      std::unique_lock lock(m_queueLock);
      m_queued.wait(lock, [&] { return m_writerStop || !m_queue.empty(); });
      if (m_queue.empty()) break;  // told to stop, and nothing left
      frame = std::move(m_queue.front());
      m_queue.pop_front();
      m_queueSeen = m_queue.size();
    }
    if (m_writeFailed.load()) continue;  // the stop is on its way; nothing more reaches the disk
    const bool written = m_writer->Write(frame);
    uint64_t received = 0;
    {
      std::lock_guard lock(m_statsLock);
      m_stats.receivedBytes += frame.size();
      received = m_stats.receivedBytes;
      m_stats.videoFrames = m_writer->VideoFrames();
      m_stats.audioFrames = m_writer->AudioFrames();
      m_stats.pairs = m_writer->Pairs();
    }
    if (m_observer) m_observer->OnProgress(received / 1024);
    if (!written) {
      // Stop the recorder too and tell the user; what was written stays.
      m_writeFailed = true;
      {
        std::lock_guard lock(m_statsLock);
        m_stats.error = m_writer->Error();
      }
      if (m_session) {
        m_session->Send(msg::TRANS_OFF_REQ);
        Trace("Send...TRANS_OFF_REQ... (%s)\n", m_writer->Error().c_str());
        m_session->PostNotice(kNoticeDownloadWriteFailed);
      }
    }
  }
  m_writer->Close();
  std::lock_guard lock(m_statsLock);
  m_stats.pairs = m_writer->Pairs();
  if (m_stats.error.empty() && !m_writer->Error().empty()) m_stats.error = m_writer->Error();
}

// ------------------------------------------------------------- answers

bool DownloadController::RecvFn_TransOnAck(DvrSession& session, const MessageHeader& header) {
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  m_busy = false;
  if (payload.size() < 4) return true;
  const uint32_t kib = LoadBE32(payload.data());
  m_estimate = kib;
  const uint64_t freeMiB = m_options.freeMiB ? m_options.freeMiB() : 0;
  const bool fits = DownloadFits(freeMiB, kib);
  Trace("Recv...TRANS_ON_ACK... %u KiB, %llu MiB free\n", kib, static_cast<unsigned long long>(freeMiB));
  if (!fits) {
    m_needMiB = kib / 1024;
    m_spareMiB = static_cast<int64_t>(freeMiB) - 100;
    session.PostNotice({13, 0});
  }
  if (m_observer) m_observer->OnSizeEstimated(kib, fits);
  return true;
}

bool DownloadController::RecvFn_TransOnNack(DvrSession& session, const MessageHeader& header) {
  uint8_t extra[8] = {};
  const int32_t result = session.ReadResultCode(header, extra);
  if (result == kResultReadFailed) return false;
  m_busy = false;
  if (result == 87) {
    m_recorderNeed = LoadBE32(extra);
    m_recorderHave = LoadBE32(extra + 4);
  }
  Notice notice;
  if (NoticeForTransResult(result, notice))
    session.PostNotice(notice);
  else
    Trace("RecvFn_TransOnNack... %d\n", result);
  return true;
}

bool DownloadController::RecvFn_TransOffAck(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...TRANS_OFF_ACK...\n");
  if (!session.Discard(header)) return false;
  // The writer asked the recorder to stop after a write failure: end it here.
  if (m_writeFailed.load() && m_running.load()) StopSequence(false);
  return true;
}

bool DownloadController::RecvFn_TransOffNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  if (result == 1)
    session.PostNotice({6, 0});
  else if (result == 2)
    session.PostNotice({6, 1});
  else
    Trace("RecvFn_TransOffNack... %d\n", result);
  return true;
}

bool DownloadController::RecvFn_TransOnData(DvrSession& session, const MessageHeader& header) {
  const auto result = m_reassembly.ReadFragment(session.ReadFd(), header, session.RecvLimit());
  if (result == FrameReassembly::Result::kReadFailed) return false;
  if (!m_running.load() || m_writeFailed.load()) {
    m_reassembly.Reset();
    return true;
  }
  if (result != FrameReassembly::Result::kComplete) return true;
  const auto block = m_reassembly.Block();
  {
    std::lock_guard lock(m_queueLock);
    m_queue.emplace_back(block.begin(), block.end());
  }
  m_queued.notify_one();
  // A writer falling behind slows the recorder down through TCP.
  const size_t behind = m_queueSeen.load();
  if (behind >= 8) std::this_thread::sleep_for(std::chrono::milliseconds(behind / 8));
  return true;
}

bool DownloadController::RecvFn_TransOnDone(DvrSession& session, const MessageHeader& header) {
  if (!session.Discard(header)) return false;
  Trace("Recv...TRANS_ON_DONE...\n");
  StopSequence(true);
  return true;
}

bool DownloadController::RecvFn_TransOnFail(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Trace("RecvFn_TransOnFail... %d\n", result);
  StopSequence(true);
  Notice notice;
  if (result != 87 && NoticeForTransResult(result, notice)) session.PostNotice(notice);
  return true;
}

}  // namespace orva
