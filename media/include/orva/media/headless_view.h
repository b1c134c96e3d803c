// A ChannelView without a window: counts what the decoders deliver and can
// write each channel's last picture to a file. Serves orvactl and the tests.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "orva/media/channel_view.h"
#include "orva/media/h264_decoder.h"

namespace orva {

class HeadlessView : public ChannelView {
 public:
  // rgb: RGB draw mode (pictures kept as bottom-up BGR24), else YV12.
  explicit HeadlessView(bool rgb = false) : m_rgb(rgb) {}

  bool RgbDrawMode() const override { return m_rgb; }
  void DrawChannel(int channel) override { ++m_draws[channel & 15]; }
  void OnKeyFrame(int channel, int, int) override { ++m_keyFrameSyncs[channel & 15]; }
  void ResetForLive(int layout) override { m_layout = layout; }
  void SetChannelMask(uint16_t mask) override { m_mask = mask; }
  void SetVideoLoss(uint16_t loss) override { m_loss = loss; }
  void OnLiveFrameTag(uint32_t tag) override { m_lastTag = tag; }
  int SingleShownChannel() const override { return m_single.load(); }

  // Snapshot pictures go to `handler` (on the channel's worker thread). Set
  // it before live view starts; without one they are dropped.
  using SnapshotHandler = std::function<void(int channel, std::vector<uint8_t> picture, int width, int height,
                                             bool rgb, std::string timeText)>;
  void SetSnapshotHandler(SnapshotHandler handler) { m_onSnapshot = std::move(handler); }
  void OnSnapshot(int channel, std::vector<uint8_t> picture, int width, int height, bool rgb,
                  std::string timeText) override {
    if (m_onSnapshot) m_onSnapshot(channel, std::move(picture), width, height, rgb, std::move(timeText));
  }

  // Shows `channel` alone (layout 0), so that its sound is played; -1: grid.
  void ShowSingle(int channel) { m_single = channel; }
  uint64_t Draws(int channel) const { return m_draws[channel & 15].load(); }
  int Layout() const { return m_layout.load(); }
  uint16_t ChannelMask() const { return m_mask.load(); }
  uint16_t VideoLossMask() const { return m_loss.load(); }
  uint32_t LastFrameTag() const { return m_lastTag.load(); }

  // Writes the channel's last picture as a binary PPM (P6, top row first).
  // YV12 pictures are converted with the decoder library's conversion.
  bool WritePpm(int channel, const std::string& path, const H264Library& library, std::string& error);

 private:
  const bool m_rgb;
  std::array<std::atomic<uint64_t>, kChannelCount> m_draws{};
  std::array<std::atomic<uint64_t>, kChannelCount> m_keyFrameSyncs{};
  std::atomic<int> m_layout{-1};
  std::atomic<uint16_t> m_mask{0};
  std::atomic<uint16_t> m_loss{0};
  std::atomic<uint32_t> m_lastTag{0};
  std::atomic<int> m_single{-1};
  SnapshotHandler m_onSnapshot;
};

}  // namespace orva
