#include "live_streamer.h"

#include <sys/time.h>

#include "orva/sim/wire.h"
#include "stream_records.h"

namespace orva::sim::detail {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr milliseconds kPollSlice{50};
constexpr microseconds kAudioPeriod{500000};
// Further behind than this (a slow client, a long encode) the schedule is
// moved up instead of sending the missed frames in one burst.
constexpr milliseconds kMaxLag{1000};

bool Has(uint16_t mask, int channel) { return (mask >> channel) & 1u; }

}  // namespace

LiveStreamer::LiveStreamer(const SimConfig& config, SendLink& link, const std::atomic<bool>& stop,
                           StreamCounters& counters, TraceFn trace,
                           PtzCameras* ptz, const std::atomic<bool>* pal)
    : config_(config),
      link_(link),
      stop_(stop),
      counters_(counters),
      trace_(std::move(trace)),
      ptz_(ptz),
      pal_(pal),
      streamPal_(pal != nullptr ? pal->load() : config.video.pal),
      thread_([this] { Run(); }) {}

LiveStreamer::~LiveStreamer() { Shutdown(); }

void LiveStreamer::Shutdown() {
  {
    const std::lock_guard<std::mutex> lock(link_.mutex());
    ending_.store(true);
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void LiveStreamer::StartLocked(uint16_t mask) {
  ++generation_;
  active_ = true;
  mask_ = mask;
  start_ = Clock::now();
  videoTick_ = audioTick_ = 0;
  framesSent_.fill(0);
  loopPosition_.fill(0);  // every channel starts on a key frame
  wake_.notify_all();
}

void LiveStreamer::StopLocked() {
  ++generation_;
  active_ = false;
  mask_ = 0;
  wake_.notify_all();
}

bool LiveStreamer::HasSource(int channel) const {
  const size_t index = static_cast<size_t>(channel);
  return Steered(channel) ? live_[index] != nullptr : loops_[index] != nullptr;
}

bool LiveStreamer::ChannelLive(int channel) const {
  if (!Has(mask_, channel) || Has(failed_, channel) || !HasSource(channel)) {
    return false;
  }
  return config_.framesPerChannel == 0 ||
         framesSent_[static_cast<size_t>(channel)] < config_.framesPerChannel;
}

bool LiveStreamer::Idle() const {
  if (!active_) return true;
  for (int ch = 0; ch < 16; ++ch) {
    if (ChannelLive(ch)) return false;
  }
  return true;
}

uint16_t LiveStreamer::MissingLoops() const {
  uint16_t missing = 0;
  for (int ch = 0; ch < 16; ++ch) {
    if (Has(mask_, ch) && !Has(failed_, ch) && !HasSource(ch)) {
      missing = static_cast<uint16_t>(missing | (1u << ch));
    }
  }
  return missing;
}

void LiveStreamer::LoadLoops(uint16_t channels) {
  // Runs without the lock: encoding a loop takes a while.
  for (int ch = 0; ch < 16; ++ch) {
    if (!Has(channels, ch)) continue;
    if (Steered(ch)) {
      const VideoFormat format =
          VideoFormatFor(config_.video.SizeCodeOf(static_cast<size_t>(ch)), streamPal_);
      auto renderer = std::make_unique<PtzRenderer>(ch, format, config_.video.fps,
                                                    config_.video.bitrateKbps);
      std::string error;
      const bool opened = renderer->Open(error);
      const std::lock_guard<std::mutex> lock(link_.mutex());
      if (opened) {
        live_[static_cast<size_t>(ch)] = std::move(renderer);
      } else {
        LogLine("channel " + std::to_string(ch + 1) + " has no live video: " + error);
        failed_ = static_cast<uint16_t>(failed_ | (1u << ch));
      }
      continue;
    }
    VideoLoopKey key;
    key.channel = ch;
    key.sizeCode = config_.video.SizeCodeOf(static_cast<size_t>(ch));
    key.pal = streamPal_;
    key.fps = config_.video.fps;
    key.bitrateKbps = config_.video.bitrateKbps;
    key.loopSeconds = config_.video.loopSeconds;
    std::string error;
    auto loop = GetVideoLoop(key, [this] { return ending_.load() || stop_.load(); }, error);
    const std::lock_guard<std::mutex> lock(link_.mutex());
    if (loop) {
      loops_[static_cast<size_t>(ch)] = std::move(loop);
    } else if (!ending_.load() && !stop_.load()) {
      LogLine("channel " + std::to_string(ch + 1) + " has no video: " + error);
      failed_ = static_cast<uint16_t>(failed_ | (1u << ch));
    }
  }
}

void LiveStreamer::Run() {
  Lock lock(link_.mutex());
  while (!ending_.load() && !stop_.load()) {
    FollowStandard();
    if (const uint16_t missing = MissingLoops(); active_ && missing != 0) {
      lock.unlock();
      LoadLoops(missing);
      lock.lock();
      continue;
    }
    if (Idle()) {
      wake_.wait_for(lock, kPollSlice);
      continue;
    }
    const auto videoAt = std::chrono::duration_cast<microseconds>(
        std::chrono::seconds(1) * static_cast<int64_t>(videoTick_)) / config_.video.fps;
    const microseconds audioAt = kAudioPeriod * static_cast<int64_t>(audioTick_);
    const bool video = videoAt <= audioAt;
    const microseconds at = video ? videoAt : audioAt;
    if (!config_.fast) {
      const Clock::time_point now = Clock::now();
      const Clock::time_point due = start_ + at;
      if (now < due) {
        wake_.wait_until(lock, std::min(due, now + kPollSlice));
        continue;
      }
      if (now - due > kMaxLag) start_ = now - at;
    }
    const bool ok = video ? SendVideoTick(lock) : SendAudioTick(lock);
    if (!ok && broken_.load()) break;
  }
}

bool LiveStreamer::SendBlock(Lock& lock, const std::vector<uint8_t>& block, int channel,
                             uint32_t second, const char* what, std::atomic<uint64_t>& counter) {
  size_t fragments = 0;
  std::string error;
  if (!link_.SendBlockLocked(code::kLiveData, block, channel, second,
                             static_cast<size_t>(config_.video.fragmentBytes), fragments, error)) {
    Fail(error);
    return false;
  }
  counter.fetch_add(1);
  if (trace_) {
    trace_("-> LIVE_DATA (18) " + std::string(what) + " ch" + std::to_string(channel + 1) + " " +
           std::to_string(block.size()) + " bytes in " + std::to_string(fragments) +
           " fragments");
  }
  // Let a waiting request in between blocks; it may change what is streamed.
  const uint64_t generation = generation_;
  while (link_.ControlWaiting()) {
    lock.unlock();
    std::this_thread::yield();
    lock.lock();
  }
  return generation == generation_;
}

bool LiveStreamer::SendVideoTick(Lock& lock) {
  for (int ch = 0; ch < 16; ++ch) {
    if (!ChannelLive(ch)) continue;
    const size_t index = static_cast<size_t>(ch);
    std::vector<uint8_t> liveFrame;
    bool key = false;
    const std::vector<uint8_t>* frameData = &liveFrame;
    if (Steered(ch)) {
      if (!NextFrame(ch, liveFrame, key)) continue;
    } else {
      const VideoLoop& loop = *loops_[index];
      key = loop.key[loopPosition_[index]];
      frameData = &loop.frames[loopPosition_[index]];
      loopPosition_[index] = (loopPosition_[index] + 1) % loop.frames.size();
    }
    timeval tv{};
    gettimeofday(&tv, nullptr);
    const uint32_t second = WireNow();
    const std::vector<uint8_t> block =
        BuildLiveVideoBlock(*frameData, second, second, static_cast<uint32_t>(tv.tv_usec));
    ++framesSent_[index];
    if (!SendBlock(lock, block, ch, second, key ? "key frame" : "frame", counters_.video[index])) {
      return false;
    }
  }
  ++videoTick_;
  return true;
}

bool LiveStreamer::NextFrame(int channel, std::vector<uint8_t>& frameData, bool& key) {
  const size_t index = static_cast<size_t>(channel);
  ptz_->Advance(channel);
  // Each request starts on a key frame, then one per second as in the loops.
  const bool forceKey = framesSent_[index] % config_.video.fps == 0;
  std::string error;
  if (live_[index]->Next(ptz_->Get(channel), forceKey, frameData, key, error)) return true;
  LogLine("channel " + std::to_string(channel + 1) + " live video ends: " + error);
  failed_ = static_cast<uint16_t>(failed_ | (1u << channel));
  return false;
}

bool LiveStreamer::SendAudioTick(Lock& lock) {
  if (link_.audioOn()) {
    for (int ch = 0; ch < 16; ++ch) {
      const size_t index = static_cast<size_t>(ch);
      if (!config_.audioChannels[index] || !ChannelLive(ch)) continue;
      int16_t samples[kAudioSamplesPerFrame];
      ToneSamples(ch, samplePosition_[index], kAudioSamplesPerFrame, samples);
      samplePosition_[index] += kAudioSamplesPerFrame;
      ImaAdpcmEncoder& coder = adpcm_[index];
      const int16_t predictor = coder.predictor();
      const int stepIndex = coder.stepIndex();
      const std::vector<uint8_t> adpcm = coder.Encode(samples, kAudioSamplesPerFrame);
      const uint32_t second = WireNow();
      const std::vector<uint8_t> block =
          BuildLiveAudioBlock(ch, BuildAudioFrame(ch, predictor, stepIndex, adpcm), second);
      if (!SendBlock(lock, block, ch, second, "audio", counters_.audio[index])) return false;
    }
  }
  ++audioTick_;
  return true;
}

void LiveStreamer::FollowStandard() {
  if (pal_ == nullptr || pal_->load() == streamPal_) return;
  streamPal_ = !streamPal_;
  if (trace_) trace_(std::string("video standard now ") + (streamPal_ ? "PAL" : "NTSC"));
  // Every channel is loaded again in the new size and starts on a key frame.
  loops_.fill(nullptr);
  for (auto& renderer : live_) renderer.reset();
  failed_ = 0;
  loopPosition_.fill(0);
}

void LiveStreamer::Fail(const std::string& why) {
  if (!stop_.load() && !ending_.load()) LogLine("live stream ends: " + why);
  broken_.store(true);
  active_ = false;
  link_.Abort();  // the session thread sees the connection end
}

}  // namespace orva::sim::detail
