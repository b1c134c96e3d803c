// Live view on one connection: the live request with the decoders it
// creates, the recorder's channel information, reassembly of live blocks and
// their hand-off (video to the channel decoders, sound of the one shown
// channel to the audio player), the stop with its drain waits, and the
// refusals.
//
// Attach() before the session opens: it installs the live handlers, becomes
// the session's live starter (the handshake starts live view through it),
// its audio switch and a close participant.
//
// Threads: the handlers and the audio switch run on the receive thread;
// StartLive/StopLive/RequestChannels run on the owner's (UI) thread or, for
// the first StartLive, on the receive thread. The decoder slots and the
// audio player are guarded by m_slotsLock, held only briefly.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <span>

#include "orva/link/dvr_session.h"
#include "orva/media/audio_player.h"
#include "orva/media/channel_decoder.h"
#include "orva/media/sound_device.h"

namespace orva {

struct LiveSettings {
  int liveAudioDepth = 1;       // prebuffer chunks for live sound
  int playbackAudioDepth = 15;  // for remote playback sound
  uint32_t requestMask = 0x0000FFFF;  // channels the handshake's live request asks for
  int dateFormat = 0;
};

struct AudioStats {
  int channel = -1;  // the last channel whose sound was queued
  uint64_t chunks = 0;
  uint64_t samples = 0;
};

class LiveController : private AudioSwitch, private CloseParticipant {
 public:
  // `sound` may be null: the computer has no sound output, audio is never played.
  LiveController(const H264Library& library, std::mutex& decodeLock, ChannelView& view, SoundDevice* sound,
                 LiveSettings settings = {});
  ~LiveController() override;

  void Attach(DvrSession& session);

  // The live request: decoders for every channel, LIVE_REQ for all.
  void StartLive();
  // LIVE_REQ with a narrower mask (layout changes), decoders unchanged.
  void RequestChannels(uint32_t mask);
  // LIVE_STOP, then drain and release the audio player and the decoders.
  void StopLive();
  // AUDIO_ONOFF_REQ: on, or off.
  void RequestAudio(bool on);
  // New local settings, in effect at once: the date format of the next
  // snapshot text, the prebuffer depths of the next audio player.
  void ApplySettings(int liveAudioDepth, int playbackAudioDepth, int dateFormat);
  int AudioDepth(bool live) const { return live ? m_liveDepth.load() : m_playbackDepth.load(); }

  // A change of the user's rights starts a new live generation.
  void OnRightsChanged() { ++m_generation; }
  // Channels hidden as covert from this user (from the rights and the setup).
  void SetCovertHidden(std::function<bool(int channel)> hidden) { m_covertHidden = std::move(hidden); }
  void SetLocalPlaybackOpen(bool open) { m_localPlaybackOpen = open; }
  void SetAudioChannelsObserver(std::function<void(uint16_t)> observer) { m_audioObserver = std::move(observer); }

  // For remote playback, which shares the one audio player: queue one audio
  // frame (false without a player), keep it silent, or drain and release it.
  bool QueueAudio(int channel, std::span<const uint8_t> frame);
  void SilenceAudio(bool silent);
  void DrainAudio() { EndAudio(true); }
  // An audio player exists (the recorder's sound is being followed).
  bool AudioPlayerExists() const;

  uint16_t VideoLoss() const { return m_videoLoss.load(); }
  uint16_t AudioChannels() const { return m_audioPresent.load(); }
  uint32_t Generation() const { return m_generation.load(); }
  // Per channel: the live decoders' counts, kept after they are released.
  std::array<ChannelDecoderStats, kChannelCount> DecoderStats() const;
  AudioStats Audio() const;

  // Handlers, public for tests.
  bool RecvFn_LiveChannelInfo(DvrSession& session, const MessageHeader& header);
  bool RecvFn_LiveData(DvrSession& session, const MessageHeader& header);
  bool RecvFn_LiveNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_LiveStopNack(DvrSession& session, const MessageHeader& header);

 private:
  void StartAudio(bool live) override;
  void StopAudio() override;
  void OnCloseStage(CloseStage stage) override;
  void ReleaseDecoders();
  void ReleaseAudio(bool drain);
  // Waits (when asked) for the player's queue to drain, then lets it go.
  void FinishAudio(std::unique_ptr<CAudioPlayer> player, bool drain);
  // The stream's sound ends with it: player, audio state, indicator and the
  // channels with sound, atomically with respect to the audio switch.
  void EndAudio(bool drain);
  void HandleVideo(const MessageHeader& header, const LiveBlock& block);
  void HandleAudio(const LiveBlock& block);
  bool Suppressed(int channel) const;

  const H264Library& m_library;
  std::mutex& m_decodeLock;
  ChannelView& m_view;
  SoundDevice* const m_sound;
  const LiveSettings m_settings;
  DvrSession* m_session = nullptr;
  std::function<bool(int)> m_covertHidden;
  std::function<void(uint16_t)> m_audioObserver;

  std::atomic<int> m_liveDepth, m_playbackDepth, m_dateFormat;
  std::atomic<uint32_t> m_generation{0};
  std::atomic<uint16_t> m_videoLoss{0};
  std::atomic<uint16_t> m_audioPresent{0};
  std::atomic<bool> m_localPlaybackOpen{false};

  mutable std::mutex m_slotsLock;  // guards the members below
  DecoderSlots m_slots;
  std::unique_ptr<CAudioPlayer> m_audio;
  AudioStats m_audioStats;
};

}  // namespace orva
