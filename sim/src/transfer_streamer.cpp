#include "transfer_streamer.h"

#include <algorithm>
#include <bit>

#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "socket_io.h"
#include "stream_records.h"

namespace orva::sim::detail {

namespace {

constexpr std::chrono::milliseconds kPollSlice{50};
constexpr int32_t kNothingRecorded = 83;
// The recorder's backup medium is too small: the refusal carries sizes.
constexpr int32_t kNoRoom = 87;

bool Has(uint16_t mask, int channel) { return (mask >> channel) & 1u; }

}  // namespace

TransferStreamer::TransferStreamer(const SimConfig& config, const Archive& archive,
                                   SendLink& link, const std::atomic<bool>& stop, TraceFn trace)
    : config_(config),
      archive_(archive),
      link_(link),
      stop_(stop),
      trace_(std::move(trace)),
      pictures_(config),
      thread_([this] { Run(); }) {}

TransferStreamer::~TransferStreamer() { Shutdown(); }

void TransferStreamer::Shutdown() {
  {
    const std::lock_guard<std::mutex> lock(link_.mutex());
    ending_.store(true);
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TransferStreamer::EstimateLocked(const TransferRange& range) {
  ++estimateGeneration_;
  estimatePending_ = true;
  estimateRange_ = range;
  estimateDue_ = Clock::now() + std::chrono::milliseconds(config_.archive.estimateMs);
  wake_.notify_all();
}

bool TransferStreamer::CancelEstimateLocked() {
  const bool pending = estimatePending_;
  ++estimateGeneration_;
  estimatePending_ = false;
  return pending;
}

void TransferStreamer::StartLocked(const TransferRange& range) {
  ++generation_;
  active_ = true;
  walker_ = std::make_unique<RangeWalker>(archive_, range);
  momentValid_ = false;
  index_ = 0;
  nextSecond_ = range.start;
  videoSent_ = 0;
  // Each download codes its sound afresh; every frame header carries the state.
  adpcm_ = {};
  wake_.notify_all();
}

bool TransferStreamer::StopLocked() {
  const bool was = active_;
  ++generation_;
  active_ = false;
  walker_.reset();
  return was;
}

void TransferStreamer::Run() {
  Lock lock(link_.mutex());
  while (!Cancelled()) {
    if (estimatePending_ && Clock::now() >= estimateDue_) {
      AnswerEstimate(lock);
    } else if (active_) {
      StepDownload(lock);
    } else {
      const Clock::time_point slice = Clock::now() + kPollSlice;
      wake_.wait_until(lock, estimatePending_ ? std::min(estimateDue_, slice) : slice);
    }
    if (broken_.load()) break;
  }
}

void TransferStreamer::AnswerEstimate(Lock& lock) {
  const uint64_t generation = estimateGeneration_;
  const TransferRange range = estimateRange_;
  uint16_t failed = failed_;
  // Sampling encodes pictures: not with the lock held.
  lock.unlock();
  const uint64_t bytes = EstimateTransferBytes(config_, archive_, range, pictures_,
                                               [this] { return Cancelled(); }, failed);
  lock.lock();
  failed_ = failed;
  if (generation != estimateGeneration_ || !estimatePending_ || Cancelled()) return;
  estimatePending_ = false;
  const uint32_t kib = static_cast<uint32_t>(std::min<uint64_t>((bytes + 1023) / 1024, UINT32_MAX));
  Trace("estimate: " + std::to_string(bytes) + " bytes = " + std::to_string(kib) + " KiB");
  std::string error;
  bool sent = false;
  if (const int32_t refusal = config_.archive.transOnNack; refusal != 0) {
    std::vector<uint8_t> payload = BuildResult(refusal);
    if (refusal == kNoRoom) {
      // Required and available KiB: the backup medium holds half of it.
      for (const uint32_t value : {kib, kib / 2}) {
        const std::vector<uint8_t> word = BuildWord(value);
        payload.insert(payload.end(), word.begin(), word.end());
      }
    }
    sent = link_.SendLocked(code::kTransOnNack, payload, error);
  } else if (bytes == 0) {
    sent = link_.SendLocked(code::kTransOnNack, BuildResult(kNothingRecorded), error);
  } else {
    sent = link_.SendLocked(code::kTransOnAck, BuildWord(kib), error);
  }
  if (!sent) Fail(error);
}

void TransferStreamer::StepDownload(Lock& lock) {
  RangeWalker& walker = *walker_;
  const int fps = config_.video.fps;
  if (!momentValid_) {
    if (index_ == 0 && !walker.Seek(nextSecond_)) {
      Trace("download reached the end of its range");
      active_ = false;
      walker_.reset();
      Finish(code::kTransOnDone, {});
      return;
    }
    all_ = left_ = static_cast<uint16_t>(walker.Channels() & ~failed_);
    momentValid_ = true;
    const uint64_t generation = generation_;
    if (!SendAudio(lock) || generation != generation_) return;
  }
  if (left_ == 0) {
    momentValid_ = false;
    index_ = (index_ + 1) % fps;
    if (index_ == 0) nextSecond_ = walker.second() + 1;
    return;
  }
  const int channel = std::countr_zero(left_);
  const uint32_t second = static_cast<uint32_t>(walker.second());
  const std::vector<uint8_t>* frame = pictures_.Find(channel, second, index_);
  if (frame == nullptr) {
    const uint64_t generation = generation_;
    const int kind = walker.KindOf(channel);
    std::string error;
    lock.unlock();
    const bool made = pictures_.Make(channel, second, kind, false, [this] { return Cancelled(); },
                                     error);
    lock.lock();
    if (!made && !Cancelled()) {
      LogLine("channel " + std::to_string(channel + 1) + " has no recorded pictures: " + error);
      failed_ = static_cast<uint16_t>(failed_ | (1u << channel));
      if (generation == generation_) left_ = static_cast<uint16_t>(left_ & ~(1u << channel));
    }
    return;  // whatever changed meanwhile, look again
  }
  RecordedFrame recorded;
  recorded.second = second;
  recorded.micros =
      static_cast<uint32_t>(static_cast<uint64_t>(index_) * 1000000 / static_cast<uint64_t>(fps));
  recorded.recordingId = archive_.RecordingId(second);
  recorded.kind = static_cast<uint8_t>(walker.KindOf(channel));
  recorded.padTo = static_cast<size_t>(config_.archive.frameBytes);
  left_ = static_cast<uint16_t>(left_ & ~(1u << channel));
  ++videoSent_;
  const bool sameRequest = SendRecord(lock, BuildPlaybackVideoRecord(*frame, recorded), channel,
                                      index_ == 0 ? "key frame" : "frame");
  const SimArchiveConfig& a = config_.archive;
  if (sameRequest && a.transFailFrames > 0 &&
      videoSent_ == static_cast<uint64_t>(a.transFailFrames)) {
    Trace("fault: download fails after " + std::to_string(videoSent_) + " frames");
    active_ = false;
    walker_.reset();
    Finish(code::kTransOnFail, BuildResult(a.transFailResult));
  }
}

bool TransferStreamer::SendAudio(Lock& lock) {
  const int fps = config_.video.fps;
  const uint64_t from = static_cast<uint64_t>(index_) * 1000 / fps;
  const uint64_t to = static_cast<uint64_t>(index_ + 1) * 1000 / fps;
  const uint32_t second = static_cast<uint32_t>(walker_->second());
  for (int half = 0; half < 2; ++half) {
    // The half-second frames that begin within this moment.
    if (half * 500u < from || half * 500u >= to) continue;
    for (int ch = 0; ch < 16; ++ch) {
      const size_t index = static_cast<size_t>(ch);
      if (!Has(all_, ch) || !config_.audioChannels[index]) continue;
      int16_t samples[kAudioSamplesPerFrame];
      ToneSamples(ch, static_cast<uint64_t>(second) * kAudioRate + half * kAudioSamplesPerFrame,
                  kAudioSamplesPerFrame, samples);
      ImaAdpcmEncoder& coder = adpcm_[index];
      const int16_t predictor = coder.predictor();
      const int stepIndex = coder.stepIndex();
      const std::vector<uint8_t> adpcm = coder.Encode(samples, kAudioSamplesPerFrame);
      const std::vector<uint8_t> record = BuildPlaybackAudioRecord(
          ch, BuildAudioFrame(ch, predictor, stepIndex, adpcm), second);
      if (!SendRecord(lock, record, ch, "audio")) return false;
    }
  }
  return true;
}

bool TransferStreamer::SendRecord(Lock& lock, const std::vector<uint8_t>& record, int channel,
                                  const char* what) {
  size_t fragments = 0;
  std::string error;
  const uint32_t second = static_cast<uint32_t>(walker_->second());
  if (!link_.SendBlockLocked(code::kTransOnData, record, channel, second,
                             static_cast<size_t>(config_.video.fragmentBytes), fragments,
                             error)) {
    Fail(error);
    return false;
  }
  Trace("-> TRANS_ON_DATA (295) " + std::string(what) + " ch" + std::to_string(channel + 1) +
        " " + std::to_string(second) + "+" + std::to_string(index_) + ", " +
        std::to_string(fragments) + " fragments");
  // Requests first, then the other streams of the session get their turn.
  const uint64_t generation = generation_;
  do {
    lock.unlock();
    std::this_thread::yield();
    lock.lock();
  } while (link_.ControlWaiting());
  return generation == generation_ && active_;
}

bool TransferStreamer::Finish(uint16_t messageCode, const std::vector<uint8_t>& payload) {
  std::string error;
  if (!link_.SendLocked(messageCode, payload, error)) {
    Fail(error);
    return false;
  }
  Trace("-> " + RecorderMessageName(messageCode) + " (" + std::to_string(messageCode) + ")");
  return true;
}

void TransferStreamer::Fail(const std::string& why) {
  if (!Cancelled()) LogLine("backup stream ends: " + why);
  broken_.store(true);
  active_ = false;
  link_.Abort();
}

}  // namespace orva::sim::detail
