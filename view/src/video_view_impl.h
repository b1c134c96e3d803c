// The state behind CVideoView, shared by its source files and the OpenGL
// surface. GUI-thread members are plain; members the worker and receive
// threads touch are atomics or guarded by the store's channel locks or the
// text lock.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <mutex>
#include <vector>

#include "control_bar.h"
#include "gl_video_surface.h"
#include "orva/view/video_view.h"

namespace orva::view {

// What one position of the current page shows.
enum class PaneKind { kIdle, kPicture, kCovert, kVideoLoss };

struct Pane {
  Rect rect;
  int window = -1;   // -1: a position of the last page without a window
  int channel = -1;  // the window map's channel, -1 for none
  PaneKind kind = PaneKind::kIdle;
};

inline int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct CVideoView::Impl {
  explicit Impl(CVideoView& view) : q(view) {}

  CVideoView& q;
  int configuredDrawMode = 0;
  std::atomic<bool> yuv{false};
  QPointer<GlVideoSurface> gl;

  // --- layout state (GUI thread; the window map is written under all 16
  // channel locks so that a worker-side reader would see it whole) ---
  ViewMode mode = ViewMode::kNone;
  int layout = 14;
  int page = 0;
  std::array<int, kLayoutCount> pageCounts = PageCounts(16);
  int channelCount = 16;
  int lastStreamCount = 16;
  std::array<int, kWindowCount> windowMap{};
  uint16_t visibleMask = 0;
  std::atomic<int> single{-1};
  int border = 1;
  QColor background{150, 150, 150};
  bool menuMode = false;
  int savedLayout = -1, savedPage = 0;  // double-click memory
  QTimer seekTimer;                     // page search for a present channel
  int seekLeft = 0;

  // --- live state (any thread) ---
  std::atomic<uint16_t> drawMask{0xFFFF};
  std::atomic<uint16_t> lossMask{0};
  std::atomic<uint32_t> lastTag{0};
  // Counts the resets asked for (live, after a stream, a new stream); a
  // queued reset runs only when it is still the latest.
  std::atomic<uint64_t> resetSerial{0};

  // --- text (the text records under textLock; the rest GUI thread) ---
  struct TextRecord {
    bool valid = false;
    int shownWidth = 0, height = 0;
  };
  mutable std::mutex textLock;
  std::array<TextRecord, kWindowCount> text{};
  // The mark record of each channel, one mark per place (kStatusMarkOffsets);
  // kept across streams: the connection's state outlives a live restart.
  std::array<std::array<StatusMark, kStatusMarkOffsets.size()>, kWindowCount> marks{};
  std::array<QString, kWindowCount> cameraTitles;
  std::array<bool, kWindowCount> covert{};
  bool textOn = true;
  QFont font;
  // The player's state for the playback icon (GUI thread).
  int playMode = 3;
  bool playPaused = false;
  int playSpeed = 0;
  std::map<std::string, QPixmap> markCache;  // rendered once per picture

  // --- picture rate ---
  std::array<std::atomic<int>, kWindowCount> counts{};
  std::array<std::atomic<int>, kWindowCount> rates{};
  QTimer rateTimer;

  // --- repaint scheduling and latency ---
  std::atomic<uint16_t> dirty{0};
  std::atomic<bool> flushPosted{false};
  std::array<std::atomic<int64_t>, kWindowCount> drawnAt{};
  std::array<std::atomic<uint64_t>, kWindowCount> drawSerial{};
  mutable std::mutex latencyLock;
  std::vector<double> latencies;  // ring of the last kLatencySamples
  size_t latencyNext = 0;
  static constexpr size_t kLatencySamples = 8192;

  // --- RGB path: each channel's cropped picture as a top-down image ---
  struct RgbCache {
    QImage image;
    uint64_t pictures = ~0ull, serial = ~0ull;
    int width = 0, height = 0;
    bool rgb = false;
  };
  std::array<RgbCache, kWindowCount> rgbCache;

  // --- pictures for channels without video ---
  QPixmap idle, loss;  // the covert picture is the video-loss picture

  // --- drag ---
  bool pressed = false;
  int dragWindow = -1;
  QPixmap dragImage;
  QPoint dragPos;
  bool dragMoved = false;

  // --- full screen ---
  bool fullScreen = false;
  QPointer<QWidget> savedParent;
  QRect savedGeometry;
  QPointer<ControlBar> bar;

  // Helpers (video_view.cpp unless noted).
  // resetMasks: also clear the draw and video-loss masks (live view resets
  // them itself, on the thread that asks for live video).
  void Start(ViewMode newMode, int count, int startLayout, bool resetMasks);
  void ApplyPage(bool emitSignals);
  bool PageHasPresent() const;
  void AdvanceSeek();
  void UpdateSingle();
  bool Present(int channel) const;
  uint16_t Visible() const;
  void FlushDirty();
  void ScheduleFlush(uint16_t bits);
  void RepaintAll();
  void SwapWindows(int a, int b);
  void FallBackToRgb();
  void RecordLatency(int64_t stampNs, int64_t endNs);

  // video_view_paint.cpp
  std::vector<Pane> Panes() const;
  // Fills the cache with the channel's cropped picture; false when the
  // picture cannot be shown (bad size).
  bool FetchRgb(int channel);
  void PaintRgb(QPainter& p, const QRegion& region);
  // Fixed pictures, texts and the drag image over the panes; `pictures`
  // false leaves picture panes to the caller.
  void PaintOverlay(QPainter& p, const std::vector<Pane>& panes, const QRegion& region);
  void DrawFixed(QPainter& p, const QPixmap& pixmap, const QRect& rect) const;
  void DrawTexts(QPainter& p, const Pane& pane);
  // One 16 x 16 mark picture at x = L x 10 + offset, 18 above the bottom.
  void DrawMark(QPainter& p, const QRect& pane, int statusLength, int offset, const char* picture);
};

inline QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

}  // namespace orva::view
