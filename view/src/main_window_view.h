// The main window's video view: the shared CVideoView that also remembers
// the time of the last live frame for the clock panel.
#pragma once

#include <atomic>

#include "orva/view/video_view.h"

namespace orva::view {

class MainVideoView final : public CVideoView {
 public:
  using CVideoView::CVideoView;
  // Receive thread: the live frame's tag is its time in wire seconds.
  void OnLiveFrameTag(uint32_t tag) override {
    m_frameTime.store(tag);
    CVideoView::OnLiveFrameTag(tag);
  }
  uint32_t LastFrameTime() const { return m_frameTime.load(); }
  void ForgetFrameTime() { m_frameTime.store(0); }

 private:
  std::atomic<uint32_t> m_frameTime{0};
};

}  // namespace orva::view
