#include "playback_streamer.h"

#include <algorithm>
#include <bit>

#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "socket_io.h"
#include "stream_records.h"

namespace orva::sim::detail {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kPollSlice{50};
// Further behind than this the schedule moves up instead of bursting.
constexpr milliseconds kMaxLag{1000};
// A jump in recorded time longer than this (a gap between recordings) is
// not waited out.
constexpr uint64_t kGapMs = 1500;
constexpr int64_t kMaxCredit = int64_t{1} << 31;

bool Has(uint16_t mask, int channel) { return (mask >> channel) & 1u; }

}  // namespace

PlaybackStreamer::PlaybackStreamer(const SimConfig& config, const Archive& archive,
                                   SendLink& link, const std::atomic<bool>& stop, TraceFn trace)
    : config_(config),
      archive_(archive),
      link_(link),
      stop_(stop),
      trace_(std::move(trace)),
      pictures_(config),
      thread_([this] { Run(); }) {}

PlaybackStreamer::~PlaybackStreamer() { Shutdown(); }

void PlaybackStreamer::Shutdown() {
  {
    const std::lock_guard<std::mutex> lock(link_.mutex());
    ending_.store(true);
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PlaybackStreamer::StartLocked(uint16_t channels, uint8_t kindMask, uint32_t first,
                                   uint32_t end) {
  ++generation_;
  active_ = running_ = true;
  channels_ = stepChannels_ = channels;
  kindMask_ = kindMask;
  end_ = end;
  direction_ = speed_ = 1;
  steps_ = 0;
  credit_ = 0;
  framesSent_ = 0;
  position_ = {first, 0};
  positionNext_ = true;
  slotValid_ = false;
  cacheValid_ = false;
  rebase_ = true;
  wake_.notify_all();
}

void PlaybackStreamer::StopLocked() {
  ++generation_;
  active_ = running_ = false;
  steps_ = 0;
  slotValid_ = false;
  wake_.notify_all();
}

void PlaybackStreamer::CreditLocked(uint32_t frames) {
  credit_ = std::min(credit_ + static_cast<int64_t>(frames), kMaxCredit);
  wake_.notify_all();
}

void PlaybackStreamer::AbandonSlot() {
  // Frames already sent from the slot count as shown; the rest are skipped.
  if (slotValid_ && slotLeft_ != slotAll_) {
    position_ = slot_;
    positionNext_ = false;
  }
  slotValid_ = false;
}

void PlaybackStreamer::PlayLocked(int direction) {
  if (!active_) return;
  ++generation_;
  // A slot planned for the old speed or direction is planned again.
  AbandonSlot();
  if (running_ && direction_ == direction) {
    speed_ = speed_ % 4 + 1;
  } else {
    direction_ = direction;
    speed_ = 1;
    running_ = true;
  }
  steps_ = 0;
  rebase_ = true;
  Trace("playback " + std::string(direction > 0 ? "forward" : "backward") + " at speed " +
        std::to_string(speed_));
  wake_.notify_all();
}

void PlaybackStreamer::PlayFromLocked(int direction, uint32_t second) {
  if (!active_) return;
  ++generation_;
  direction_ = direction;
  speed_ = 1;
  running_ = true;
  steps_ = 0;
  position_ = {second, 0};
  positionNext_ = true;
  slotValid_ = false;
  rebase_ = true;
  wake_.notify_all();
}

void PlaybackStreamer::PauseLocked() {
  ++generation_;
  running_ = false;
  steps_ = 0;
  AbandonSlot();
}

void PlaybackStreamer::StepLocked(int direction) {
  if (!active_) return;
  ++generation_;
  running_ = false;
  AbandonSlot();
  steps_ = stepDirection_ == direction && steps_ > 0 ? steps_ + 1 : 1;
  stepDirection_ = direction;
  wake_.notify_all();
}

bool PlaybackStreamer::KeyOnly() const {
  return running_ ? direction_ < 0 || speed_ > 1 : stepDirection_ < 0;
}

uint16_t PlaybackStreamer::SpeedCode() const {
  // 11-14 forward, 9-6 backward: 10 + the signed speed.
  const int speed = running_ ? speed_ : 1;
  return static_cast<uint16_t>(10 + Direction() * speed);
}

uint64_t PlaybackStreamer::SlotMs(const Slot& slot) const {
  return static_cast<uint64_t>(slot.second) * 1000 +
         static_cast<uint64_t>(slot.index) * 1000 / static_cast<uint64_t>(config_.video.fps);
}

PlaybackStreamer::Clock::time_point PlaybackStreamer::Due() const {
  const uint64_t at = SlotMs(slot_);
  const uint64_t distance = at > refMs_ ? at - refMs_ : refMs_ - at;
  const uint64_t factor = uint64_t{1} << (speed_ - 1);  // 1, 2, 4, 8
  return refWall_ + milliseconds(static_cast<int64_t>(distance / factor));
}

uint16_t PlaybackStreamer::RecordedAt(uint32_t second, uint16_t channels) {
  if (cacheValid_ && cachedSecond_ == second && cachedAsked_ == channels) {
    slotKinds_ = cachedKinds_;
    return cachedChannels_;
  }
  uint16_t recorded = 0;
  for (int ch = 0; ch < 16; ++ch) {
    if (!Has(channels, ch)) continue;
    const std::optional<Stretch> s = archive_.At(ch, second);
    if (s && KindSelected(kindMask_, s->kind)) {
      recorded = static_cast<uint16_t>(recorded | (1u << ch));
      slotKinds_[static_cast<size_t>(ch)] = s->kind;
    }
  }
  cacheValid_ = true;
  cachedSecond_ = second;
  cachedAsked_ = channels;
  cachedChannels_ = recorded;
  cachedKinds_ = slotKinds_;
  return recorded;
}

bool PlaybackStreamer::PlanSlot() {
  const int direction = Direction();
  const bool keyOnly = KeyOnly();
  const int fps = config_.video.fps;
  Slot next = position_;
  if (!positionNext_) {
    if (direction > 0 && !keyOnly && position_.index + 1 < fps) {
      next.index = position_.index + 1;
    } else if (direction > 0) {
      next = {position_.second + 1, 0};
    } else if (position_.index > 0) {
      next.index = 0;
    } else {
      if (position_.second == 0) return false;
      next = {position_.second - 1, 0};
    }
  } else if (keyOnly && next.index > 0 && direction > 0) {
    next = {next.second + 1, 0};
  } else if (keyOnly) {
    next.index = 0;
  }
  const uint16_t stepped = running_ ? 0 : static_cast<uint16_t>(stepChannels_ & channels_);
  const uint16_t channels = stepped != 0 ? stepped : channels_;
  const uint32_t last = end_ != 0 ? std::min(end_, archive_.Last()) : archive_.Last();
  if (direction > 0 ? next.second > last : next.second < archive_.First()) return false;
  uint16_t recorded = RecordedAt(next.second, channels);
  if (recorded == 0) {
    const std::optional<uint32_t> found =
        direction > 0 ? archive_.NextRecorded(next.second, last, 1, channels, kindMask_)
                      : archive_.NextRecorded(archive_.First(), next.second, -1, channels, kindMask_);
    if (!found) return false;
    next = {*found, 0};
    recorded = RecordedAt(next.second, channels);
    if (recorded == 0) return false;
  }
  const uint64_t before = SlotMs(slot_);
  slot_ = next;
  const uint64_t now = SlotMs(slot_);
  if ((now > before ? now - before : before - now) > kGapMs) rebase_ = true;
  slotValid_ = true;
  slotAll_ = slotLeft_ = static_cast<uint16_t>(recorded & ~failed_);
  slotAudioDone_ = false;
  return true;
}

void PlaybackStreamer::Run() {
  Lock lock(link_.mutex());
  while (!ending_.load() && !stop_.load()) {
    if (!active_ || (!running_ && steps_ == 0)) {
      wake_.wait_for(lock, kPollSlice);
      continue;
    }
    if (!slotValid_ && !PlanSlot()) {
      Trace("playback reached the end of the recordings");
      running_ = false;
      steps_ = 0;
      if (!Finish(code::kPlayOnDone, {})) break;
      continue;
    }
    if (running_ && !config_.fast) {
      const Clock::time_point now = Clock::now();
      if (rebase_) {
        rebase_ = false;
        refWall_ = now;
        refMs_ = SlotMs(slot_);
      }
      const Clock::time_point due = Due();
      if (now < due) {
        wake_.wait_until(lock, std::min(due, now + kPollSlice));
        continue;
      }
      if (now - due > kMaxLag) rebase_ = true;
    }
    // Sound keeps its place beside the pictures: it waits with them for credit.
    if (credit_ <= 0 && slotLeft_ != 0) {
      wake_.wait_for(lock, kPollSlice);
      continue;
    }
    if (!slotAudioDone_) {
      slotAudioDone_ = true;
      if (!SendAudio(lock)) {
        if (broken_.load()) break;
        continue;
      }
    }
    if (slotLeft_ == 0) {
      position_ = slot_;
      positionNext_ = false;
      slotValid_ = false;
      if (!running_ && steps_ > 0) --steps_;
      continue;
    }
    const int channel = std::countr_zero(slotLeft_);
    const std::vector<uint8_t>* frame = pictures_.Find(channel, slot_.second, slot_.index);
    if (frame == nullptr) {
      const uint32_t second = slot_.second;
      const int kind = slotKinds_[static_cast<size_t>(channel)];
      const bool keyOnly = KeyOnly() && slot_.index == 0;
      std::string error;
      lock.unlock();
      const bool made = pictures_.Make(channel, second, kind, keyOnly,
                                       [this] { return ending_.load() || stop_.load(); }, error);
      lock.lock();
      if (!made && !ending_.load() && !stop_.load()) {
        LogLine("channel " + std::to_string(channel + 1) + " has no recorded pictures: " + error);
        // Said once: the channel is left out of this session's playbacks.
        failed_ = static_cast<uint16_t>(failed_ | (1u << channel));
        if (slotValid_) slotLeft_ = static_cast<uint16_t>(slotLeft_ & ~(1u << channel));
      }
      continue;  // whatever changed meanwhile, plan again
    }
    if (!SendVideo(lock, channel, *frame) && broken_.load()) break;
  }
}

bool PlaybackStreamer::SendVideo(Lock& lock, int channel, const std::vector<uint8_t>& frameData) {
  RecordedFrame recorded;
  recorded.second = slot_.second;
  recorded.micros = static_cast<uint32_t>(static_cast<uint64_t>(slot_.index) * 1000000 /
                                          static_cast<uint64_t>(config_.video.fps));
  recorded.recordingId = archive_.RecordingId(slot_.second);
  recorded.kind = static_cast<uint8_t>(slotKinds_[static_cast<size_t>(channel)]);
  recorded.padTo = static_cast<size_t>(config_.archive.frameBytes);
  // Bookkeeping first: the send may let the session in between blocks.
  slotLeft_ = static_cast<uint16_t>(slotLeft_ & ~(1u << channel));
  --credit_;
  ++framesSent_;
  const std::vector<uint8_t> record = BuildPlaybackVideoRecord(frameData, recorded);
  const bool sameRequest =
      SendRecord(lock, record, channel, slot_.index == 0 ? "key frame" : "frame");
  if (broken_.load()) return false;
  const SimArchiveConfig& a = config_.archive;
  if (active_ && a.playFailFrames > 0 && framesSent_ == static_cast<uint64_t>(a.playFailFrames)) {
    Trace("fault: playback fails after " + std::to_string(framesSent_) + " frames");
    active_ = running_ = false;
    return Finish(code::kPlayOnFail, BuildResult(a.playFailResult));
  }
  return sameRequest;
}

bool PlaybackStreamer::SendAudio(Lock& lock) {
  if (!running_ || direction_ < 0 || speed_ != 1 || !link_.audioOn()) return true;
  const uint64_t from = static_cast<uint64_t>(slot_.index) * 1000 / config_.video.fps;
  const uint64_t to = static_cast<uint64_t>(slot_.index + 1) * 1000 / config_.video.fps;
  const uint32_t second = slot_.second;
  const uint16_t channels = slotAll_;
  for (int half = 0; half < 2; ++half) {
    // The half-second frames that begin within this slot's time.
    if (half * 500u < from || half * 500u >= to) continue;
    for (int ch = 0; ch < 16; ++ch) {
      const size_t index = static_cast<size_t>(ch);
      if (!Has(channels, ch) || !config_.audioChannels[index]) continue;
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
      if (slot_.second != second || !slotValid_) return false;  // re-planned meanwhile
    }
  }
  return true;
}

bool PlaybackStreamer::SendRecord(Lock& lock, const std::vector<uint8_t>& record, int channel,
                                  const char* what) {
  size_t fragments = 0;
  std::string error;
  const uint32_t second = slot_.second;
  if (!link_.SendBlockLocked(code::kPlayData, record, channel, second,
                             static_cast<size_t>(config_.video.fragmentBytes), fragments, error,
                             SpeedCode())) {
    Fail(error);
    return false;
  }
  Trace("-> PLAY_DATA (266) " + std::string(what) + " ch" + std::to_string(channel + 1) + " " +
        std::to_string(second) + "+" + std::to_string(slot_.index) + " speed code " +
        std::to_string(SpeedCode()) + ", " + std::to_string(fragments) + " fragments");
  // Let a waiting request in between blocks; it may change what is sent.
  const uint64_t generation = generation_;
  while (link_.ControlWaiting()) {
    lock.unlock();
    std::this_thread::yield();
    lock.lock();
  }
  return generation == generation_;
}

bool PlaybackStreamer::Finish(uint16_t messageCode, const std::vector<uint8_t>& payload) {
  std::string error;
  if (!link_.SendLocked(messageCode, payload, error)) {
    Fail(error);
    return false;
  }
  Trace("-> " + RecorderMessageName(messageCode) + " (" + std::to_string(messageCode) + ")");
  return true;
}

void PlaybackStreamer::Fail(const std::string& why) {
  if (!stop_.load() && !ending_.load()) LogLine("playback stream ends: " + why);
  broken_.store(true);
  active_ = running_ = false;
  link_.Abort();
}

}  // namespace orva::sim::detail
