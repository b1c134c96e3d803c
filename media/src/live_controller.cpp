#include "orva/media/live_controller.h"

#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/trace.h"

namespace orva {

using namespace std::chrono_literals;

namespace {

// The default layout for a recorder: four, eight or sixteen panes.
int DefaultLayout(int channels) { return channels <= 4 ? 1 : channels <= 8 ? 5 : 14; }

}  // namespace

LiveController::LiveController(const H264Library& library, std::mutex& decodeLock, ChannelView& view,
                               SoundDevice* sound, LiveSettings settings)
    : m_library(library),
      m_decodeLock(decodeLock),
      m_view(view),
      m_sound(sound),
      m_settings(settings),
      m_liveDepth(settings.liveAudioDepth),
      m_playbackDepth(settings.playbackAudioDepth),
      m_dateFormat(settings.dateFormat) {}

void LiveController::ApplySettings(int liveAudioDepth, int playbackAudioDepth, int dateFormat) {
  m_liveDepth = liveAudioDepth;
  m_playbackDepth = playbackAudioDepth;
  m_dateFormat = dateFormat;
}

LiveController::~LiveController() {
  ReleaseAudio(false);
  ReleaseDecoders();
}

void LiveController::Attach(DvrSession& session) {
  m_session = &session;
  session.SetHandler(msg::LIVE_CHANNEL_INFO,
                     [this](DvrSession& s, const MessageHeader& h) { return RecvFn_LiveChannelInfo(s, h); });
  session.SetHandler(msg::LIVE_DATA, [this](DvrSession& s, const MessageHeader& h) { return RecvFn_LiveData(s, h); });
  session.SetHandler(msg::LIVE_NACK, [this](DvrSession& s, const MessageHeader& h) { return RecvFn_LiveNack(s, h); });
  session.SetHandler(msg::LIVE_STOP_NACK,
                     [this](DvrSession& s, const MessageHeader& h) { return RecvFn_LiveStopNack(s, h); });
  session.SetLiveStarter([this](DvrSession&) { StartLive(); });
  session.SetAudioSwitch(this);
  session.AddCloseParticipant(this);
}

bool LiveController::Suppressed(int channel) const {
  if (m_videoLoss.load() & (1u << channel)) return true;
  return m_covertHidden && m_covertHidden(channel);
}

void LiveController::StartLive() {
  if (!m_session || m_localPlaybackOpen.load()) return;
  m_generation = 0;
  const int channels = m_session->ChannelCount();
  m_view.ResetForLive(DefaultLayout(channels));
  {
    std::lock_guard lock(m_slotsLock);
    DecoderContext context;
    context.library = &m_library;
    context.decodeLock = &m_decodeLock;
    context.view = &m_view;
    context.mode = StreamMode::kLive;
    context.suppressed = [this](int ch) { return Suppressed(ch); };
    context.dateFormatNow = &m_dateFormat;
    for (int ch = 0; ch < channels && ch < kChannelCount; ++ch)
      if (!m_slots.decoders[ch]) m_slots.decoders[ch] = std::make_unique<CChannelDecoder>(ch, context);
  }
  RequestChannels(m_settings.requestMask);
  m_session->SetAudioState(false);
}

void LiveController::RequestChannels(uint32_t mask) {
  if (!m_session) return;
  uint8_t payload[4];
  StoreBE32(payload, mask);
  m_session->Send(msg::LIVE_REQ, payload);
  Trace("Send... LIVE_REQ...\n");
}

void LiveController::RequestAudio(bool on) {
  if (!m_session || !m_sound) return;  // no sound output: nothing to ask for
  if (!m_session->LiveActive() && !m_session->PlaybackActive()) return;
  m_session->Send(msg::AUDIO_ONOFF_REQ, {}, on);
  Trace(on ? "Send... AUDIO_ONOFF_REQ...ON\n" : "Send... AUDIO_ONOFF_REQ...OFF\n");
}

void LiveController::StopLive() {
  if (!m_session) return;
  // Live ends before its sound is taken: a header followed after this point
  // starts no player (the audio switch sees live inactive), and one followed
  // before it has finished starting its player when EndAudio takes it.
  m_session->SetLiveActive(false);
  m_generation = 0;
  m_session->Send(msg::LIVE_STOP);
  Trace("Send...LIVE_STOP\n");
  EndAudio(true);
  ReleaseDecoders();
  m_view.ResetAfterStream();
}

void LiveController::ReleaseAudio(bool drain) {
  std::unique_ptr<CAudioPlayer> player;
  {
    std::lock_guard lock(m_slotsLock);
    player = std::move(m_audio);
  }
  FinishAudio(std::move(player), drain);
}

void LiveController::EndAudio(bool drain) {
  std::unique_ptr<CAudioPlayer> player;
  auto take = [this, &player] {
    std::lock_guard lock(m_slotsLock);
    player = std::move(m_audio);
  };
  if (m_session) {
    m_session->EndAudio(take);
  } else {
    take();
  }
  FinishAudio(std::move(player), drain);
  if (m_audioPresent.exchange(0) != 0 && m_audioObserver) m_audioObserver(0);
}

bool LiveController::AudioPlayerExists() const {
  std::lock_guard lock(m_slotsLock);
  return m_audio != nullptr;
}

void LiveController::FinishAudio(std::unique_ptr<CAudioPlayer> player, bool drain) {
  if (!player) return;
  if (drain)
    for (int i = 0; i < 300 && player->QueueDepth() > 2; ++i) std::this_thread::sleep_for(10ms);
  std::lock_guard lock(m_slotsLock);
  m_audioStats.chunks += player->ChunksWritten();
  m_audioStats.samples += player->SamplesDecoded();
}

void LiveController::ReleaseDecoders() { orva::ReleaseDecoders(m_slots, m_slotsLock); }

std::array<ChannelDecoderStats, kChannelCount> LiveController::DecoderStats() const {
  std::lock_guard lock(m_slotsLock);
  return m_slots.Stats();
}

AudioStats LiveController::Audio() const {
  std::lock_guard lock(m_slotsLock);
  AudioStats stats = m_audioStats;
  if (m_audio) {
    stats.chunks += m_audio->ChunksWritten();
    stats.samples += m_audio->SamplesDecoded();
  }
  return stats;
}

// ------------------------------------------------------------- audio switch

void LiveController::StartAudio(bool live) {
  if (!m_sound) return;
  // One player per sound device: the old one lets go of the device first.
  ReleaseAudio(false);
  auto player = std::make_unique<CAudioPlayer>(*m_sound, AudioDepth(live));
  std::lock_guard lock(m_slotsLock);
  m_audio = std::move(player);
}

void LiveController::StopAudio() {
  ReleaseAudio(false);
  m_audioPresent = 0;
  if (m_audioObserver) m_audioObserver(0);
}

void LiveController::OnCloseStage(CloseStage stage) {
  if (stage == CloseStage::kStreamStopped || stage == CloseStage::kResetVideo) {
    // The close sequence has sent the stop; release what live view holds.
    ReleaseAudio(false);
    ReleaseDecoders();
    if (stage == CloseStage::kResetVideo) m_view.ResetAfterStream();
  }
}

// ------------------------------------------------------------- handlers

bool LiveController::RecvFn_LiveChannelInfo(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...LIVE_CHANNEL_INFO...\n");
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  ++m_generation;
  session.Reassembly().Reset();
  if (payload.size() < 4) return true;
  const uint32_t word = LoadBE32(payload.data());
  uint16_t mask = static_cast<uint16_t>(word & 0xFFFF);
  if (m_covertHidden)
    for (int ch = 0; ch < kChannelCount; ++ch)
      if (m_covertHidden(ch)) mask = static_cast<uint16_t>(mask & ~(1u << ch));
  uint16_t loss = 0;
  {
    std::lock_guard lock(m_slotsLock);
    for (int ch = 0; ch < kChannelCount; ++ch)
      if ((word & (1u << (16 + ch))) && m_slots.decoders[ch]) loss = static_cast<uint16_t>(loss | (1u << ch));
  }
  m_videoLoss = loss;
  m_view.SetVideoLoss(loss);
  m_view.SetChannelMask(mask);
  session.SetLiveActive(true);
  return true;
}

bool LiveController::RecvFn_LiveData(DvrSession& session, const MessageHeader& header) {
  FrameReassembly& reassembly = session.Reassembly();
  const FrameReassembly::Result result = reassembly.ReadFragment(session.ReadFd(), header, session.RecvLimit());
  if (result == FrameReassembly::Result::kReadFailed) return false;
  if (!session.LiveActive()) {
    reassembly.Reset();
    return true;
  }
  if (result != FrameReassembly::Result::kComplete) return true;
  const LiveBlock block = ParseLiveBlock(reassembly.Block());
  if (block.kind == LiveBlockKind::kVideo) {
    HandleVideo(header, block);
  } else if (block.kind == LiveBlockKind::kAudio) {
    HandleAudio(block);
  } else {
    Trace("Recv...LIVE_DATA... unusable block of %zu bytes dropped\n", reassembly.Block().size());
  }
  return true;
}

void LiveController::HandleVideo(const MessageHeader& header, const LiveBlock& block) {
  const int channel = block.info.channel;
  MessageHeader last = header;
  last.SetChannel(channel);
  m_view.OnLiveFrameTag(last.frameTag);
  if (channel >= kChannelCount || !VideoFrameFits(block.info, block.frame.size())) {
    Trace("Recv...LIVE_DATA... frame of channel %d does not fit its %zu bytes, dropped\n", channel,
          block.frame.size());
    return;
  }
  std::lock_guard lock(m_slotsLock);
  CChannelDecoder* decoder = m_slots.decoders[channel].get();
  if (!decoder || decoder->Closing()) return;
  auto entry = std::make_unique<ChannelFrame>();
  entry->generation = m_generation.load();
  entry->info = block.info;
  entry->header = last;
  entry->data.assign(block.frame.begin(), block.frame.end());
  decoder->Enqueue(std::move(entry));
}

void LiveController::HandleAudio(const LiveBlock& block) {
  const int channel = block.info.channel;
  std::lock_guard lock(m_slotsLock);
  if (!m_audio || channel >= kChannelCount) return;
  const uint16_t present = static_cast<uint16_t>(m_audioPresent.load() | (1u << channel));
  if (present != m_audioPresent.exchange(present) && m_audioObserver) m_audioObserver(present);
  if (m_view.SingleShownChannel() != channel) return;
  m_audio->Enqueue(block.frame.data(), block.frame.size());
  m_audioStats.channel = channel;
}

bool LiveController::QueueAudio(int channel, std::span<const uint8_t> frame) {
  std::lock_guard lock(m_slotsLock);
  if (!m_audio || channel < 0 || channel >= kChannelCount) return false;
  m_audioStats.channel = channel;
  return m_audio->Enqueue(frame.data(), frame.size());
}

void LiveController::SilenceAudio(bool silent) {
  std::lock_guard lock(m_slotsLock);
  if (m_audio) m_audio->SetDiscard(silent);
}

bool LiveController::RecvFn_LiveNack(DvrSession& session, const MessageHeader& header) {
  session.SetConnected(false);
  const int32_t result = session.ReadResultCode(header);
  if (result == 1) {
    session.PostNotice({5, 0});
  } else {
    Trace("RecvFn_LiveNack... %d\n", result);
  }
  ReleaseAudio(false);
  return result != kResultReadFailed;
}

bool LiveController::RecvFn_LiveStopNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == 1) {
    session.PostNotice({5, 0});
  } else {
    Trace("RecvFn_LiveStopNack... %d\n", result);
  }
  return result != kResultReadFailed;
}

}  // namespace orva
