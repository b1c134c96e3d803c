// What the decode workers and the live requests need from the video window,
// without Qt.
//
// ChannelPictureStore owns the 16 channel picture buffers (1,244,160 bytes
// each) with their per-channel locks: a worker writes a finished picture
// into its own channel's buffer under that channel's lock, and whoever
// draws reads it under the same lock. ChannelView is the window side: the
// desktop view schedules a repaint of the pane when told to draw; a
// headless view counts pictures for orvactl and the tests.
//
// Threads: the worker calls (OnKeyFrame, RefreshText, DrawChannel,
// OnSnapshot, OnNoStream) come on that channel's worker thread; the live
// calls (ResetForLive, SetChannelMask, OnLiveFrameTag, SetVideoLoss) come on
// the receive thread or the UI thread. Implementations only record and post.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace orva {

inline constexpr int kChannelCount = 16;
inline constexpr size_t kPictureBytes = 1244160;  // 720 x 576 x 3

class ChannelPictureStore {
 public:
  struct Channel {
    std::mutex lock;  // guards everything below
    std::vector<uint8_t> picture = std::vector<uint8_t>(kPictureBytes);
    int width = 352;
    int height = 240;
    bool rgb = false;         // picture holds bottom-up BGR24, else YV12
    bool present = false;     // a stream delivers pictures on this channel
    bool hasPicture = false;  // at least one picture since it was cleared
    uint64_t pictures = 0;    // pictures stored so far
  };

  Channel& At(int channel) { return m_channels[static_cast<size_t>(channel & 15)]; }
  // Asks the channel's worker to hand its next picture to OnSnapshot.
  void RequestSnapshot(int channel) { m_snapshot[static_cast<size_t>(channel & 15)] = true; }
  bool TakeSnapshotRequest(int channel) { return m_snapshot[static_cast<size_t>(channel & 15)].exchange(false); }

 private:
  std::array<Channel, kChannelCount> m_channels;
  std::array<std::atomic<bool>, kChannelCount> m_snapshot{};
};

class ChannelView {
 public:
  virtual ~ChannelView() = default;
  ChannelPictureStore& Store() { return m_store; }

  // --- decode workers ---
  // RGB draw mode: pictures are converted to bottom-up BGR24; else kept YV12.
  virtual bool RgbDrawMode() const = 0;
  // A key frame synchronised the channel at this size (the YUV surface may
  // need to be created again).
  virtual void OnKeyFrame(int channel, int width, int height) { (void)channel, (void)width, (void)height; }
  virtual void RefreshText(int channel, int shownWidth, int height) { (void)channel, (void)shownWidth, (void)height; }
  // A new picture is in the store: draw it (the desktop schedules a repaint).
  virtual void DrawChannel(int channel) = 0;
  virtual void OnSnapshot(int channel, std::vector<uint8_t> picture, int width, int height, bool rgb,
                          std::string timeText) {
    (void)channel, (void)picture, (void)width, (void)height, (void)rgb, (void)timeText;
  }
  virtual void OnNoStream(int channel) { (void)channel; }

  // --- live requests ---
  // Layout chosen from the channel count: 1 four panes, 5 eight, 14 sixteen.
  virtual void ResetForLive(int layout) { (void)layout; }
  // A stream has stopped (live, playback or the connection's close): the
  // sixteen-pane layout with nothing on screen, display mode 0.
  virtual void ResetAfterStream() { ResetForLive(14); }
  virtual void SetChannelMask(uint16_t mask) { (void)mask; }
  virtual void SetVideoLoss(uint16_t lossMask) { (void)lossMask; }
  virtual void OnLiveFrameTag(uint32_t tag) { (void)tag; }
  // The channel shown alone in layout 0, or -1 when more panes are shown.
  virtual int SingleShownChannel() const { return -1; }

  // --- playback ---
  // A playback begins: display mode 2 (remote) or 3 (local), every channel
  // of the count in the full grid for it.
  virtual void StartPlaybackDisplay(int mode, int channelCount) { (void)mode, (void)channelCount; }

 private:
  ChannelPictureStore m_store;
};

}  // namespace orva
