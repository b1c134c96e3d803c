#include "orva/recordings/remote_playback.h"

#include <algorithm>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/time_convert.h"
#include "orva/link/trace.h"

namespace orva {

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kStartCredit = 93;
constexpr int kCreditBatch = 48;

class SteadyClock final : public PlaybackClock {
 public:
  int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void SleepMs(int ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

bool NoticeForPlayResult(int32_t result, bool fail, Notice& out) {
  switch (result) {
    case 1: out = {6, 0}; return true;
    case 53: out = {6, 4}; return true;
    case 83: out = {4, 0}; return true;
    case 86:
      if (!fail) return false;
      out = {6, 3};
      return true;
    case 98: out = {6, 6}; return true;
    default: return false;
  }
}

uint64_t FrameMs(const VideoRecordHeader& record) {
  return uint64_t{record.captureSeconds} * 1000 + record.captureMicroseconds / 1000;
}

}  // namespace

PlaybackClock& SteadyPlaybackClock() {
  static SteadyClock clock;
  return clock;
}

std::array<uint8_t, 24> EncodePlaybackRequest(const PlaybackRequest& request) {
  std::array<uint8_t, 24> p{};
  StoreBE32(p.data(), request.channelMask);
  p[4] = request.kindMask;
  StoreBE32(p.data() + 16, request.start);
  StoreBE32(p.data() + 20, request.end);
  return p;
}

std::array<uint8_t, 24> EncodePosition(uint32_t channelMask, bool versionFlag, uint32_t time) {
  std::array<uint8_t, 24> p{};
  StoreBE32(p.data(), channelMask);
  p[5] = versionFlag ? 1 : 0;
  StoreBE32(p.data() + 16, time);
  return p;
}

int SpeedFromCode(int code) {
  if (code >= 6 && code <= 9) return code - 10;
  if (code >= 11 && code <= 14) return code - 10;
  return 0;
}

PlaybackRequest EventPlaybackRequest(const EventEntry& event, uint32_t channelMask, bool versionFlag) {
  PlaybackRequest r;
  r.channelMask = channelMask;
  r.kindMask = static_cast<uint8_t>(event.kind >= 0 && event.kind < 8 ? 1u << event.kind : 0);
  r.start = event.start;
  r.end = versionFlag ? 0 : event.end;
  return r;
}

RemotePlayback::RemotePlayback(const H264Library& library, std::mutex& decodeLock, ChannelView& view,
                               PlaybackHooks hooks, PlaybackClock* clock, PlaybackTiming timing)
    : m_library(library),
      m_decodeLock(decodeLock),
      m_view(view),
      m_hooks(std::move(hooks)),
      m_clock(clock ? *clock : SteadyPlaybackClock()),
      m_timing(timing) {}

RemotePlayback::~RemotePlayback() {
  m_playing = false;
  ReleaseDecoders();
}

void RemotePlayback::Attach(DvrSession& session) {
  m_session = &session;
  auto bind = [this](auto fn) { return BindHandler(this, fn); };
  session.SetHandler(msg::PLAY_CHANNEL_INFO, bind(&RemotePlayback::RecvFn_PlayChannelInfo));
  session.SetHandler(msg::PLAY_ON_ACK, bind(&RemotePlayback::RecvFn_PlayOnAck));
  session.SetHandler(msg::PLAY_ON_NACK, bind(&RemotePlayback::RecvFn_PlayOnNack));
  session.SetHandler(msg::PLAY_OFF_ACK, bind(&RemotePlayback::RecvFn_PlayOffAck));
  session.SetHandler(msg::PLAY_OFF_NACK, bind(&RemotePlayback::RecvFn_PlayOffNack));
  session.SetHandler(msg::PLAY_DATA, bind(&RemotePlayback::RecvFn_PlayData));
  session.SetHandler(msg::PLAY_ON_FAIL, bind(&RemotePlayback::RecvFn_PlayOnFail));
  session.SetHandler(msg::PLAY_ON_DONE, bind(&RemotePlayback::RecvFn_PlayOnDone));
  session.SetHandler(msg::RPLAY_SYNC, bind(&RemotePlayback::RecvFn_RplaySync));
  session.AddCloseParticipant(this);
}

PlaybackOrigin RemotePlayback::Origin() const {
  std::lock_guard lock(m_originLock);
  return m_origin;
}

PlaybackStats RemotePlayback::Stats() const {
  return {m_statVideo.load(), m_statAudio.load(), m_statQueued.load(), m_statDropped.load(), m_statCredits.load(),
          m_statOversized.load()};
}

std::array<ChannelDecoderStats, kChannelCount> RemotePlayback::DecoderStats() const {
  std::lock_guard lock(m_slotsLock);
  return m_slots.Stats();
}

// ------------------------------------------------------------- sending

void RemotePlayback::SendControl(uint16_t code, std::span<const uint8_t> payload) {
  if (!m_session) return;
  // Control messages go out at least the pause apart. The sender waits
  // before a message that would come too soon rather than after every one,
  // so the receive thread's credit every 48 frames never holds up frames.
  std::lock_guard lock(m_controlLock);
  const int64_t due = m_lastControlMs + m_timing.controlPauseMs;
  const int64_t now = m_clock.NowMs();
  if (m_lastControlMs != 0 && now < due) m_clock.SleepMs(static_cast<int>(due - now));
  m_session->Send(code, payload);
  m_lastControlMs = m_clock.NowMs();
}

void RemotePlayback::SendCredit(uint32_t frames) {
  uint8_t payload[4];
  StoreBE32(payload, frames);
  m_statCredits += frames;
  Trace("Send... RPLAY_CREDIT... %u\n", frames);
  SendControl(msg::RPLAY_CREDIT, payload);
}

void RemotePlayback::SendPosition(uint16_t code, uint32_t plus) {
  const auto payload = EncodePosition(m_channelMask.load(), m_session && m_session->VersionFlag(),
                                      m_lastShownSecond.load() + plus);
  Trace(code == msg::RPLAY_BACKWARD ? "Send... RPLAY_BACKWARD... %u\n" : "Send... RPLAY_FORWARD... %u\n",
        m_lastShownSecond.load() + plus);
  SendControl(code, payload);
}

void RemotePlayback::SendStepChannels() {
  uint8_t payload[4];
  StoreBE32(payload, m_visible.load());
  SendControl(msg::RPLAY_STEP_CHANNELS, payload);
}

void RemotePlayback::SendStep(bool forward) {
  SendControl(msg::RPLAY_PAUSE);
  SendControl(forward ? msg::RPLAY_STEP_FWD : msg::RPLAY_STEP_BACK);
  SendStepChannels();
  SendCredit(1);
}

void RemotePlayback::Light(int mode) {
  if (m_observer) m_observer->OnButtonLit(mode);
}

// ------------------------------------------------------------- requests

bool RemotePlayback::Request(const PlaybackRequest& request, PlaybackOrigin origin) {
  if (!m_session || m_playing.load() || m_stopping.load()) return false;
  const auto payload = EncodePlaybackRequest(request);
  {
    std::lock_guard lock(m_originLock);
    m_origin = std::move(origin);
  }
  m_startTime = request.start;
  m_lastShownSecond = request.start;
  m_lastShownMs = uint64_t{request.start} * 1000;
  m_channelMask = request.channelMask;
  m_requested = true;
  if (TraceEnabled()) {
    UserTime s, e;
    GetTime_tToUsertime(request.start, s);
    if (request.kindMask == 63) {
      GetTime_tToUsertime(request.end, e);
      Trace("Send... PLAY_ON_REQ...%02d:%02d:%02d %02d:%02d:%02d ~ %02d:%02d:%02d %02d:%02d:%02d\n", s.year,
            s.month + 1, s.day + 1, s.hour, s.minute, s.second, e.year, e.month + 1, e.day + 1, e.hour, e.minute,
            e.second);
    } else {
      Trace("Send... PLAY_ON_REQ...%02d:%02d:%02d %02d:%02d:%02d\n", s.year, s.month + 1, s.day + 1, s.hour,
            s.minute, s.second);
    }
  }
  SendControl(msg::PLAY_ON_REQ, payload);
  return true;
}

bool RemotePlayback::Allowed(int mode) const {
  if (!m_playing.load() || m_stopping.load()) return false;
  const int current = m_mode.load();
  const bool paused = m_paused.load();
  switch (mode) {
    case kPlayStepBackward:
    case kPlayStepForward: return paused;
    case kPlayReverse: return true;
    case kPlayForward: return current == kPlayReverse || current == kPlayForward || paused;
    case kPlayPause: return !paused && (current == kPlayReverse || current == kPlayForward);
    default: return false;
  }
}

void RemotePlayback::Command(int mode) {
  if (!Allowed(mode)) return;
  const int current = m_mode.load();
  const bool wasForward = current == kPlayForward || current == kPlayStepForward;
  const bool wasBackward = current == kPlayStepBackward || current == kPlayReverse;
  const int channels = m_session ? m_session->ChannelCount() : 16;
  m_rebase = true;
  auto silence = [this] {
    if (m_hooks.silenceAudio) m_hooks.silenceAudio(true);
  };
  switch (mode) {
    case kPlayStepBackward:
      m_direction = wasForward ? kDirectionToBackward : kDirectionNone;
      silence();
      m_mode = kPlayStepBackward;
      m_paused = true;
      if (m_resume.load() == kResumePaused) {
        m_stepCredit = channels;
        m_resume = kResumeRepositioning;
        SendPosition(msg::RPLAY_BACKWARD, 1);
        SendCredit(static_cast<uint32_t>(channels));
      } else {
        m_speed = 0;
        SendControl(msg::RPLAY_PAUSE);
        SendControl(msg::RPLAY_STEP_BACK);
        SendStepChannels();
        SendCredit(1);
      }
      break;
    case kPlayReverse:
      m_direction = wasForward ? kDirectionToBackward : kDirectionNone;
      if (wasForward) m_regenerate = true;
      silence();
      m_mode = kPlayReverse;
      m_paused = false;
      if (m_resume.load() == kResumePaused) {
        m_resume = kResumeRepositioning;
        SendPosition(msg::RPLAY_BACKWARD, 1);
      } else {
        m_speed = 0;
        m_resume = kResumeRunning;
        SendControl(msg::RPLAY_BACKWARD);
      }
      SendCredit(kStartCredit);
      Light(kPlayReverse);
      break;
    case kPlayForward:
      m_direction = wasBackward ? kDirectionToForward : kDirectionNone;
      if (wasBackward) m_regenerate = true;
      m_mode = kPlayForward;
      m_paused = false;
      if (m_resume.load() == kResumePaused) {
        SendControl(msg::RPLAY_PAUSE);
        m_resume = kResumeRepositioning;
        SendPosition(msg::RPLAY_FORWARD, 0);
      } else {
        m_speed = 0;
        m_resume = kResumeRunning;
        SendControl(msg::RPLAY_FORWARD);
      }
      SendCredit(kStartCredit);
      m_lastSpeedCode = -1;
      Light(kPlayForward);
      break;
    case kPlayPause:
      silence();
      m_paused = true;
      m_speed = 0;
      // Set before the message goes out so that frames still in flight are
      // not shown after the user paused.
      m_resume = kResumePaused;
      SendControl(msg::RPLAY_PAUSE);
      Light(kPlayPause);
      break;
    case kPlayStepForward:
      m_direction = wasBackward ? kDirectionToForward : kDirectionNone;
      silence();
      m_paused = true;
      m_mode = kPlayStepForward;
      m_speed = 0;
      if (m_resume.load() == kResumePaused) {
        m_resume = kResumeRepositioning;
        SendPosition(msg::RPLAY_FORWARD, 0);
      } else {
        SendControl(msg::RPLAY_PAUSE);
        SendControl(msg::RPLAY_STEP_FWD);
        SendStepChannels();
      }
      SendCredit(1);
      break;
    default: return;
  }
  if (m_observer) m_observer->OnSpeedChanged(m_speed.load());
  const bool fast = mode == kPlayReverse || mode == kPlayForward;
  m_clock.SleepMs(fast ? m_timing.commandSettleFastMs : m_timing.commandSettleSlowMs);
}

void RemotePlayback::Stop(bool fromButton) {
  if (!m_playing.load()) return;
  RunStopSequence(fromButton);
}

void RemotePlayback::RunStopSequence(bool fromButton) {
  if (m_stopping.exchange(true)) return;
  m_playing = false;
  m_requested = false;
  if (m_session) {
    m_session->SetPlaybackActive(false);
    Trace("Send...RPLAY_STOP...\n");
    SendControl(msg::RPLAY_STOP);
  }
  if (m_hooks.drainAndStopAudio) m_hooks.drainAndStopAudio();
  ReleaseDecoders();
  m_view.ResetAfterStream();
  Light(kPlayNone);
  bool reopen = false;
  {
    std::lock_guard lock(m_originLock);
    reopen = fromButton && m_origin.fromSearchWindow;
  }
  m_stopping = false;
  if (m_observer) m_observer->OnPlaybackStopped(reopen);
}

void RemotePlayback::CreateDecoders(int channels) {
  DecoderContext context;
  context.library = &m_library;
  context.decodeLock = &m_decodeLock;
  context.view = &m_view;
  context.mode = StreamMode::kRemotePlayback;
  context.currentSecond = [this] { return m_lastShownSecond.load(); };
  context.dateFormatNow = &m_dateFormat;
  std::lock_guard lock(m_slotsLock);
  for (int ch = 0; ch < channels && ch < kChannelCount; ++ch)
    if (!m_slots.decoders[ch]) m_slots.decoders[ch] = std::make_unique<CChannelDecoder>(ch, context);
}

void RemotePlayback::ReleaseDecoders() { orva::ReleaseDecoders(m_slots, m_slotsLock); }

void RemotePlayback::OnCloseStage(CloseStage stage) {
  if (stage != CloseStage::kStreamStopped && stage != CloseStage::kResetVideo) return;
  // The close sequence sent RPLAY_STOP itself; release what playback holds.
  const bool was = m_playing.exchange(false);
  m_requested = false;
  ReleaseDecoders();
  if (was) Light(kPlayNone);
}

// ------------------------------------------------------------- answers

bool RemotePlayback::RecvFn_PlayChannelInfo(DvrSession& session, const MessageHeader& header) {
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  Trace("Recv...PLAY_CHANNEL_INFO...\n");
  if (payload.size() >= 4) m_view.SetChannelMask(static_cast<uint16_t>(LoadBE32(payload.data()) & 0xFFFF));
  return true;
}

bool RemotePlayback::RecvFn_PlayOnAck(DvrSession& session, const MessageHeader& header) {
  if (!session.Discard(header)) return false;
  Trace("Recv...PLAY_ON_ACK...\n");
  if (m_playing.load()) return true;  // a second answer to the same request
  if (session.LiveActive() && m_hooks.stopLive) m_hooks.stopLive();
  for (auto& g : m_generations) g = 0;
  m_displayed = 0;
  m_audioPresent = 0;
  const int channels = session.ChannelCount();
  m_view.StartPlaybackDisplay(2, channels);
  CreateDecoders(channels);
  m_mode = kPlayForward;
  m_resume = kResumeRunning;
  m_paused = false;
  m_direction = kDirectionNone;
  m_framesSinceCredit = 0;
  m_rebase = true;
  m_regenerate = true;
  m_speed = 0;
  m_lastSpeedCode = -1;
  m_requested = false;
  m_playing = true;
  session.SetPlaybackActive(true);
  session.Reassembly().Reset();
  SendCredit(kStartCredit);
  Light(kPlayForward);
  if (m_observer) m_observer->OnPlaybackStarted();
  return true;
}

bool RemotePlayback::RecvFn_PlayOnNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  m_requested = false;
  if (m_playing.load()) RunStopSequence(false);
  Notice notice;
  if (NoticeForPlayResult(result, false, notice))
    session.PostNotice(notice);
  else
    Trace("RecvFn_PlayOnNack... %d\n", result);
  return true;
}

bool RemotePlayback::RecvFn_PlayOnFail(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Trace("RecvFn_PlayOnFail... %d\n", result);
  const bool was = m_playing.load();
  RunStopSequence(false);
  Notice notice;
  if (NoticeForPlayResult(result, true, notice)) session.PostNotice(notice);
  if (was) {
    m_clock.SleepMs(100);
    if (m_hooks.restartLive) m_hooks.restartLive();
  }
  return true;
}

bool RemotePlayback::RecvFn_PlayOnDone(DvrSession& session, const MessageHeader& header) {
  if (!session.Discard(header)) return false;
  Trace("Recv...PLAY_ON_DONE...\n");
  if (!m_playing.load()) return true;
  // The pause command's effect, without the settling wait of a user command.
  if (m_hooks.silenceAudio) m_hooks.silenceAudio(true);
  m_paused = true;
  m_speed = 0;
  m_rebase = true;
  SendControl(msg::RPLAY_PAUSE);
  Light(kPlayPause);
  m_resume = kResumeRunning;
  if (m_observer) {
    m_observer->OnSpeedChanged(0);
    m_observer->OnRecordingEnd();
  }
  return true;
}

bool RemotePlayback::RecvFn_PlayOffAck(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...PLAY_OFF_ACK...\n");
  return session.Discard(header);
}

bool RemotePlayback::RecvFn_PlayOffNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  if (result == 1)
    session.PostNotice({6, 0});
  else if (result == 2)
    session.PostNotice({6, 1});
  else
    Trace("RecvFn_PlayOffNack... %d\n", result);
  return true;
}

bool RemotePlayback::RecvFn_RplaySync(DvrSession& session, const MessageHeader& header) {
  if (!session.Discard(header)) return false;
  Trace("Recv...RPLAY_SYNC...\n");
  if (m_playing.load() && m_resume.load() == kResumeRepositioning) SendCredit(1);
  return true;
}

// ------------------------------------------------------------- frames

bool RemotePlayback::RecvFn_PlayData(DvrSession& session, const MessageHeader& header) {
  FrameReassembly& reassembly = session.Reassembly();
  const FrameReassembly::Result result = reassembly.ReadFragment(session.ReadFd(), header, session.RecvLimit());
  if (result == FrameReassembly::Result::kReadFailed) return false;
  if (!m_playing.load()) {
    reassembly.Reset();
    return true;
  }
  if (result == FrameReassembly::Result::kDropped) {
    ++m_statOversized;
    return true;
  }
  if (result != FrameReassembly::Result::kComplete) return true;
  const std::span<const uint8_t> block = reassembly.Block();
  if (block.size() >= 20 && LoadBE32(block.data() + 16) == ENC_HEADER_TYPE_VIDEO) {
    ++m_statVideo;
    HandleVideo(header, block);
  } else {
    ++m_statAudio;
    HandleAudio(block);
  }
  return true;
}

void RemotePlayback::HandleVideo(const MessageHeader& header, std::span<const uint8_t> record) {
  const int code = header.SpeedCode();
  if (code != m_lastSpeedCode.load()) {
    const int speed = SpeedFromCode(code);
    m_speed = speed;
    m_lastSpeedCode = code;
    if (m_hooks.silenceAudio) m_hooks.silenceAudio(speed != 1);
    if (m_observer) m_observer->OnSpeedChanged(speed);
  }
  if (!m_paused.load()) {
    if (m_framesSinceCredit.load() == kCreditBatch) {
      m_framesSinceCredit = 0;
      SendCredit(kCreditBatch);
    }
    ++m_framesSinceCredit;
  }
  VideoRecordHeader rec;
  if (!ParseVideoRecordHeader(record, rec)) {
    ++m_statDropped;
    Trace("Recv...PLAY_DATA... video record of %zu bytes too short, dropped\n", record.size());
    return;
  }
  switch (m_resume.load()) {
    case kResumePaused: ++m_statDropped; return;
    case kResumeRepositioning: ++m_statDropped; Reposition(rec); return;
    default: break;
  }
  const int64_t t = static_cast<int64_t>(FrameMs(rec));
  if (m_rebase.exchange(false)) {
    // Reverse play counts down from its reference, so that one sits ahead.
    const bool backwards = m_mode.load() == kPlayReverse && m_speed.load() < 0;
    m_referenceFrameMs = backwards ? t + 100 : t - 100;
    m_referenceTick = m_clock.NowMs();
  }
  if (m_regenerate.exchange(false)) {
    const uint16_t displayed = m_displayed.load();
    for (int ch = 0; ch < kChannelCount; ++ch)
      if (!(displayed & (1u << ch))) ++m_generations[ch];
    m_displayed = m_visible.load();
  }
  const std::span<const uint8_t> data =
      record.subspan(kVideoRecordHeaderSize, std::min<size_t>(rec.dataSize, record.size() - kVideoRecordHeaderSize));
  // The frame waits for its own time before it is handed over, so that it
  // shows when it is due rather than when the frame before it was.
  WaitUntilDue(t);
  if (m_resume.load() != kResumeRunning || !m_playing.load()) {
    ++m_statDropped;  // paused while it waited: not shown, as any frame after the pause
    return;
  }
  SlowForBacklog(QueueFrame(header, rec, data));
}

int RemotePlayback::QueueFrame(const MessageHeader& header, const VideoRecordHeader& rec,
                               std::span<const uint8_t> data) {
  FrameInfo info;
  if (data.size() < kFrameHeaderSize || ParseFrameHeader(data.data(), info) != kFrameVideo ||
      info.channel >= kChannelCount || !VideoFrameFits(info, data.size())) {
    ++m_statDropped;
    Trace("Recv...PLAY_DATA... unusable video frame of %zu bytes dropped\n", data.size());
    return -1;
  }
  m_lastShownSecond = rec.frameSecond;
  m_lastShownMs = FrameMs(rec);
  if (m_observer) m_observer->OnShownTime(rec.frameSecond);
  const int channel = info.channel;
  auto entry = std::make_unique<ChannelFrame>();
  entry->generation = m_generations[channel].load();
  entry->marker = rec.marker == 1 ? 1 : 0;
  const int mode = m_mode.load();
  entry->reverse = (mode == kPlayStepBackward || (mode == kPlayReverse && m_speed.load() < 0)) ? 1 : 0;
  entry->info = info;
  entry->header = header;
  entry->header.SetChannel(channel);
  entry->data.assign(data.begin(), data.end());
  std::lock_guard lock(m_slotsLock);
  CChannelDecoder* decoder = m_slots.decoders[channel].get();
  if (!decoder || decoder->Closing()) return channel;
  decoder->Enqueue(std::move(entry));
  ++m_statQueued;
  return channel;
}

void RemotePlayback::WaitUntilDue(int64_t t) {
  const int speed = m_speed.load();
  const bool reverse = speed == -1 && m_mode.load() == kPlayReverse;
  if (speed == 1 || reverse) {
    const int64_t target = reverse ? m_referenceFrameMs - t : t - m_referenceFrameMs;
    const int64_t began = m_clock.NowMs();
    while (m_clock.NowMs() - m_referenceTick < target) {
      if (!m_playing.load() || m_session == nullptr || m_session->StopRequested() || m_paused.load() ||
          m_speed.load() != speed)
        break;
      if (m_clock.NowMs() - began > m_timing.rebaseAfterMs) {
        // A stall: start again from this frame instead of racing to catch up.
        m_referenceFrameMs = reverse ? t + 100 : t - 100;
        m_referenceTick = m_clock.NowMs();
        break;
      }
      // Sleep until it is due, but look at the speed and pause at least
      // every 5 ms; one wake-up per frame instead of one per millisecond.
      const int64_t left = target - (m_clock.NowMs() - m_referenceTick);
      m_clock.SleepMs(static_cast<int>(std::clamp<int64_t>(left, 1, 5)));
    }
  } else {
    m_clock.SleepMs(1);
  }
}

void RemotePlayback::SlowForBacklog(int channel) {
  if (channel < 0) return;
  size_t depth = 0;
  {
    std::lock_guard lock(m_slotsLock);
    if (m_slots.decoders[channel]) depth = m_slots.decoders[channel]->QueueDepth();
  }
  // A decoder falling behind slows the stream down a little.
  if (depth >= 4) m_clock.SleepMs(static_cast<int>(depth - 3));
}

void RemotePlayback::Reposition(const VideoRecordHeader& rec) {
  const uint64_t target = m_lastShownMs.load();
  const uint64_t t = FrameMs(rec);
  const int before = m_stepCredit.fetch_sub(1);
  const int mode = m_mode.load();
  const int channels = m_session ? m_session->ChannelCount() : 16;
  auto recredit = [&](int stepMode) {
    if (mode == stepMode && before < 2) {
      m_stepCredit = channels;
      SendCredit(static_cast<uint32_t>(channels));
    }
  };
  switch (m_direction.load()) {
    case kDirectionToForward:
      if (t < target) return recredit(kPlayStepForward);
      m_regenerate = true;
      m_resume = kResumeRunning;
      if (mode == kPlayStepForward) SendStep(true);
      return;
    case kDirectionToBackward:
      if (t > target) return recredit(kPlayStepBackward);
      m_regenerate = true;
      m_resume = kResumeRunning;
      if (mode == kPlayStepBackward) SendStep(false);
      return;
    default:
      if (mode == kPlayStepBackward || mode == kPlayReverse) {
        if (t > target) return recredit(kPlayStepBackward);
        m_resume = kResumeRunning;
        if (mode == kPlayStepBackward) SendStep(false);
        return;
      }
      // Forward after a pause in forward play. A step has only the credit
      // of one frame: re-credit it as the backward step does, or it would
      // wait for ever short of the frame it last showed.
      if (t < target) return recredit(kPlayStepForward);
      if (t > target) m_regenerate = true;
      m_resume = kResumeRunning;
      if (mode == kPlayStepForward) SendStep(true);
      return;
  }
}

void RemotePlayback::HandleAudio(std::span<const uint8_t> record) {
  AudioRecordHeader rec;
  if (!m_hooks.queueAudio || !ParseAudioRecordHeader(record, rec) || rec.dataSize == 0) return;
  if (m_hooks.audioOn && !m_hooks.audioOn()) return;
  const std::span<const uint8_t> frame = record.subspan(kAudioRecordHeaderSize);
  FrameInfo info;
  if (frame.size() < kFrameHeaderSize || ParseFrameHeader(frame.data(), info) != kFrameAudio ||
      info.channel >= kChannelCount)
    return;
  const int channel = info.channel;
  const uint16_t present = static_cast<uint16_t>(m_audioPresent.load() | (1u << channel));
  if (present != m_audioPresent.exchange(present) && m_observer) m_observer->OnAudioChannels(present);
  // Sound only at normal speed, and only of the channel shown alone.
  if (m_speed.load() != 1 || m_view.SingleShownChannel() != channel) return;
  // The frame itself (header and ADPCM), as live view hands it over; the
  // record header in front is not sound.
  m_hooks.queueAudio(channel, frame.first(std::min<size_t>(frame.size(), info.partLength)));
}

}  // namespace orva
