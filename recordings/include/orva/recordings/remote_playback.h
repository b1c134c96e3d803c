// Remote playback on one connection: the playback request, the motion
// commands, the frames the recorder streams (credit, pacing, re-positioning
// after a pause), the recorder's answers, and the stop sequence.
//
// Threads and contracts
// - Attach() before the session opens: installs the playback handlers and
//   becomes a close participant.
// - Request, the motion commands, SetVisibleChannels and Stop run on the UI
//   thread (orvactl: its main thread). Control messages from either thread
//   go out at least the configured pause apart.
// - The handlers run on the receive thread, which also paces the frames at
//   speed ±1 by sleeping; a PLAY_ON_FAIL runs the stop sequence there.
// - Every field shared by the two threads is an atomic. The decoder slots
//   are guarded by m_slotsLock, held briefly and never across a wait.
// - The observer is told from either thread; it only records and posts.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "orva/link/dvr_session.h"
#include "orva/media/channel_decoder.h"
#include "orva/media/stream_frames.h"
#include "orva/recordings/search_records.h"

namespace orva {

// The last motion command (pausing does not change it).
enum PlayMode : int {
  kPlayNone = 0,
  kPlayStepBackward = 1,
  kPlayReverse = 2,
  kPlayForward = 3,
  kPlayPause = 4,  // as a command code only
  kPlayStepForward = 7,
};

enum ResumeState : int { kResumeRunning = 0, kResumePaused = 1, kResumeRepositioning = 2 };
enum DirectionChange : int { kDirectionNone = 0, kDirectionToForward = 1, kDirectionToBackward = 2 };

// Where a playback was asked from: the search window that reopens after stop.
enum class PlaybackOriginKind : int { kTimeRange = 0, kEvent = 1, kTimeBar = 2 };

struct PlaybackRequest {
  uint32_t channelMask = 0;
  uint8_t kindMask = 0;  // 0 time bar, 63 time range, 1 << event kind from the event list
  uint32_t start = 0;
  uint32_t end = 0;      // 0: none
};

struct PlaybackOrigin {
  PlaybackOriginKind kind = PlaybackOriginKind::kTimeBar;
  bool fromSearchWindow = true;  // the search window reopens after the stop button
  int eventKind = 0;             // event origin: the tab and page to return to
  int eventPage = 0;
  int eventNumber = -1;
  // Copies for the playback screen's time bar.
  std::vector<YearMapRecord> yearMaps;
  std::vector<SpanRecord> daySpans;
};

// Request builders (24 bytes each, big-endian).
std::array<uint8_t, 24> EncodePlaybackRequest(const PlaybackRequest& request);
// The payload of RPLAY_FORWARD / RPLAY_BACKWARD that re-positions.
std::array<uint8_t, 24> EncodePosition(uint32_t channelMask, bool versionFlag, uint32_t time);
// Speed of a play-speed code: 6..9 -> -4..-1, 11..14 -> 1..4, else 0.
int SpeedFromCode(int code);
// The playback request from an event: kind mask 1 << kind, the event's end
// unless the recorder's version flag is set.
PlaybackRequest EventPlaybackRequest(const EventEntry& event, uint32_t channelMask, bool versionFlag);

// Time as the pacing sees it; tests drive a fake.
class PlaybackClock {
 public:
  virtual ~PlaybackClock() = default;
  virtual int64_t NowMs() = 0;
  virtual void SleepMs(int ms) = 0;
};
PlaybackClock& SteadyPlaybackClock();

class PlaybackObserver {
 public:
  virtual ~PlaybackObserver() = default;
  virtual void OnPlaybackStarted() {}
  // The stop sequence ran. reopenSearch: after the stop button, for a
  // playback asked from a search window.
  virtual void OnPlaybackStopped(bool reopenSearch) { (void)reopenSearch; }
  // The playback button to highlight: 2 reverse, 3 forward, 4 pause, 0 none.
  virtual void OnButtonLit(int mode) { (void)mode; }
  // The time of the frame just handed to display (header offset 24).
  virtual void OnShownTime(uint32_t time) { (void)time; }
  virtual void OnSpeedChanged(int speed) { (void)speed; }
  virtual void OnAudioChannels(uint16_t mask) { (void)mask; }
  // PLAY_ON_DONE: the end of the recording; the playback stays open, paused.
  virtual void OnRecordingEnd() {}
};

// What playback needs of live view and sound, provided by the owner.
struct PlaybackHooks {
  std::function<void()> stopLive;     // live view stops before playback shows
  std::function<void()> restartLive;  // after a playback failure
  // An audio frame (16-byte header + ADPCM) of `channel`; false when there
  // is no player. Called on the receive thread.
  std::function<bool(int channel, std::span<const uint8_t> frame)> queueAudio;
  std::function<void(bool silent)> silenceAudio;   // speed other than 1, motion commands
  std::function<void()> drainAndStopAudio;          // the stop sequence
  std::function<bool()> audioOn;                    // the recorder sends sound
};

struct PlaybackTiming {
  int controlPauseMs = 50;  // the least time between two control messages
  int commandSettleFastMs = 100;   // after reverse and forward play
  int commandSettleSlowMs = 500;   // after the other commands
  int rebaseAfterMs = 3000;        // a pacing wait longer than this re-bases
};

struct PlaybackStats {
  uint64_t videoFrames = 0;    // PLAY_DATA video frames received
  uint64_t audioFrames = 0;
  uint64_t queued = 0;         // handed to a decoder
  uint64_t dropped = 0;        // dropped (paused, re-positioning, not playing)
  uint64_t credits = 0;        // credit granted in total
  uint64_t oversized = 0;      // frames refused for their size
};

class RemotePlayback : private CloseParticipant {
 public:
  RemotePlayback(const H264Library& library, std::mutex& decodeLock, ChannelView& view, PlaybackHooks hooks = {},
                 PlaybackClock* clock = nullptr, PlaybackTiming timing = {});
  ~RemotePlayback() override;
  RemotePlayback(const RemotePlayback&) = delete;
  RemotePlayback& operator=(const RemotePlayback&) = delete;

  void Attach(DvrSession& session);
  void SetObserver(PlaybackObserver* observer) { m_observer = observer; }
  // Also while playing: the next snapshot text uses it.
  void SetDateFormat(int format) { m_dateFormat = format; }

  // --- UI thread ---
  // Sends PLAY_ON_REQ and records the origin. False without a connection or
  // while a playback runs.
  bool Request(const PlaybackRequest& request, PlaybackOrigin origin);
  // The motion commands by their button codes 1, 2, 3, 4, 7; ignored unless allowed.
  void Command(int mode);
  void StepBackward() { Command(kPlayStepBackward); }
  void Reverse() { Command(kPlayReverse); }
  void Forward() { Command(kPlayForward); }
  void Pause() { Command(kPlayPause); }
  void StepForward() { Command(kPlayStepForward); }
  // Whether a command would be carried out now.
  bool Allowed(int mode) const;
  // The stop button (fromButton) or any other stop; runs the stop sequence.
  void Stop(bool fromButton = true);
  // The channels whose panes are visible (channel and layout buttons).
  void SetVisibleChannels(uint16_t mask) { m_visible = mask; }
  // The search window's selection, handed over when it closes.
  void SetChannelMask(uint32_t mask) { m_channelMask = mask; }

  // --- any thread ---
  bool Playing() const { return m_playing.load(); }
  bool Requested() const { return m_requested.load(); }
  int Mode() const { return m_mode.load(); }
  bool Paused() const { return m_paused.load(); }
  int Resume() const { return m_resume.load(); }
  int Direction() const { return m_direction.load(); }
  int Speed() const { return m_speed.load(); }
  uint32_t ChannelMask() const { return m_channelMask.load(); }
  uint32_t LastShownTime() const { return m_lastShownSecond.load(); }
  uint32_t StartTime() const { return m_startTime.load(); }
  uint32_t Generation(int channel) const { return m_generations[static_cast<size_t>(channel & 15)].load(); }
  uint16_t AudioChannels() const { return m_audioPresent.load(); }
  PlaybackOrigin Origin() const;
  PlaybackStats Stats() const;
  std::array<ChannelDecoderStats, kChannelCount> DecoderStats() const;

  // Handlers, public for tests.
  bool RecvFn_PlayChannelInfo(DvrSession& session, const MessageHeader& header);
  bool RecvFn_PlayOnAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_PlayOnNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_PlayOffAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_PlayOffNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_PlayData(DvrSession& session, const MessageHeader& header);
  bool RecvFn_PlayOnFail(DvrSession& session, const MessageHeader& header);
  bool RecvFn_PlayOnDone(DvrSession& session, const MessageHeader& header);
  bool RecvFn_RplaySync(DvrSession& session, const MessageHeader& header);

 private:
  void OnCloseStage(CloseStage stage) override;
  void SendControl(uint16_t code, std::span<const uint8_t> payload = {});
  void SendCredit(uint32_t frames);
  void SendPosition(uint16_t code, uint32_t plus);
  void SendStepChannels();
  void SendStep(bool forward);
  void RunStopSequence(bool fromButton);
  void CreateDecoders(int channels);
  void ReleaseDecoders();
  void HandleVideo(const MessageHeader& header, std::span<const uint8_t> record);
  void HandleAudio(std::span<const uint8_t> record);
  void Reposition(const VideoRecordHeader& record);
  // Pacing at speed ±1: waits until the frame at `frameMs` is due.
  void WaitUntilDue(int64_t frameMs);
  // A decoder more than three frames behind slows the stream by 1 ms per frame.
  void SlowForBacklog(int channel);
  // The frame's channel, or -1 when it was unusable.
  int QueueFrame(const MessageHeader& header, const VideoRecordHeader& record, std::span<const uint8_t> data);
  void Light(int mode);

  const H264Library& m_library;
  std::mutex& m_decodeLock;
  ChannelView& m_view;
  const PlaybackHooks m_hooks;
  PlaybackClock& m_clock;
  const PlaybackTiming m_timing;
  DvrSession* m_session = nullptr;
  PlaybackObserver* m_observer = nullptr;
  std::atomic<int> m_dateFormat{0};

  // Shared by the UI and receive threads.
  std::atomic<bool> m_requested{false};  // PLAY_ON_REQ out, no answer yet
  std::atomic<bool> m_playing{false};
  std::atomic<int> m_mode{kPlayNone};
  std::atomic<bool> m_paused{false};
  std::atomic<int> m_resume{kResumeRunning};
  std::atomic<int> m_direction{kDirectionNone};
  std::atomic<int> m_speed{0};
  std::atomic<int> m_lastSpeedCode{-1};
  std::atomic<int> m_framesSinceCredit{0};
  std::atomic<int> m_stepCredit{0};
  std::atomic<bool> m_rebase{false};
  std::atomic<bool> m_regenerate{false};
  std::atomic<uint16_t> m_visible{0xFFFF};
  std::atomic<uint16_t> m_displayed{0};
  std::atomic<uint32_t> m_channelMask{0xFFFF};
  std::atomic<uint32_t> m_startTime{0};
  std::atomic<uint32_t> m_lastShownSecond{0};  // header offset 24 of the last shown frame
  std::atomic<uint64_t> m_lastShownMs{0};      // its capture time in ms (offsets 80/84)
  std::atomic<uint16_t> m_audioPresent{0};
  std::array<std::atomic<uint32_t>, kChannelCount> m_generations{};
  std::atomic<bool> m_stopping{false};         // the stop sequence runs

  std::mutex m_controlLock;  // spaces the control messages of both threads
  int64_t m_lastControlMs = 0;

  // Receive thread only: the pacing reference.
  int64_t m_referenceFrameMs = 0;
  int64_t m_referenceTick = 0;

  mutable std::mutex m_originLock;  // guards m_origin
  PlaybackOrigin m_origin;

  std::atomic<uint64_t> m_statVideo{0}, m_statAudio{0}, m_statQueued{0}, m_statDropped{0}, m_statCredits{0},
      m_statOversized{0};

  mutable std::mutex m_slotsLock;  // guards m_slots
  DecoderSlots m_slots;
};

}  // namespace orva
