// CVideoView: the one widget that shows every channel, in mode 1 live,
// 2 remote playback or 3 local playback. It is the desktop's ChannelView:
// decode workers store pictures in its channel store and call DrawChannel,
// which only schedules a repaint of that pane; the GUI thread draws.
//
// Two drawing paths: YUV draw mode uploads the YV12 planes as textures and
// converts and scales in a shader (only when an OpenGL context can be made
// and DrawMode is 0); RGB draw mode draws the bottom-up BGR24 picture with
// QPainter. Either way the picture is cropped (8/4 or 16/8 lines) and scaled
// into its pane, with the on-screen texts over it.
//
// Threads: the ChannelView overrides may be called from any thread; every
// other member from the GUI thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QVector>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>

#include "orva/media/channel_view.h"
#include "orva/view/layout_geometry.h"

namespace orva::view {

enum class ViewMode { kNone = 0, kLive = 1, kRemotePlayback = 2, kLocalPlayback = 3 };

// The marks drawn after a pane's status text (pictures "markrec",
// "markaudio", "markmotion", "markalarm").
enum class StatusMark { kNone = 0, kRecord, kAudio, kMotion, kAlarm };
// Their places: x = L x 10 + offset from the pane's left edge, L the status
// text's length; 10 is 0.85 x the font's 12 points, truncated.
inline constexpr std::array<int, 3> kStatusMarkOffsets{5, 25, 40};

class CVideoView : public QWidget, public ChannelView {
  Q_OBJECT
 public:
  // drawMode: the configured DrawMode (0 YUV, 1 RGB); the effective mode
  // falls back to RGB when no OpenGL context can be created.
  CVideoView(int drawMode, QWidget* parent = nullptr);
  ~CVideoView() override;

  // --- ChannelView (any thread) ---
  bool RgbDrawMode() const override;
  void OnKeyFrame(int channel, int width, int height) override;
  void RefreshText(int channel, int shownWidth, int height) override;
  void DrawChannel(int channel) override;
  void OnSnapshot(int channel, std::vector<uint8_t> picture, int width, int height, bool rgb,
                  std::string timeText) override;
  void OnNoStream(int channel) override;
  void ResetForLive(int layout) override;
  void ResetAfterStream() override;
  void SetChannelMask(uint16_t mask) override;
  void SetVideoLoss(uint16_t lossMask) override;
  void OnLiveFrameTag(uint32_t tag) override;
  int SingleShownChannel() const override;
  void StartPlaybackDisplay(int mode, int channelCount) override;

  // --- GUI thread ---
  bool YuvPathActive() const;             // the effective draw mode is YUV
  ViewMode Mode() const;
  void SetMode(ViewMode mode);
  // Starting a live stream: page counts and starting layout from the
  // channel count, window map reset, masks cleared.
  void StartStream(ViewMode mode, int channelCount);
  void SetLayout(int layout);             // the current layout again: next page
  int Layout() const;
  int Page() const;
  void ShowSingle(int channel);           // ignored for a channel that is not present
  void Arrange();                         // window n shows channel n again
  uint16_t VisibleChannels() const;       // channels in the windows of the current page
  void SetTextOn(bool on);
  bool TextOn() const;
  void SetCameraTitle(int channel, const QString& title);
  QString CameraTitle(int channel) const;
  void SetCovert(int channel, bool covert);
  // The per-channel mark record: `mark` at x = L x 10 + `x`, where `x` is one
  // of kStatusMarkOffsets (false for any other). In playback the place at
  // offset 5 belongs to the player's state icon. Any thread (text lock).
  bool SetStatusMark(int channel, StatusMark mark, int x);
  StatusMark StatusMarkAt(int channel, int x) const;
  static const char* StatusMarkPicture(StatusMark mark);  // null for kNone
  int PictureRate(int channel) const;     // pictures per second of the last 2 s
  bool EnterFullScreen(int monitor);      // up to the first four screens
  void LeaveFullScreen();
  bool FullScreen() const;
  // Menu mode of the PTZ panel: drags and double-clicks are ignored.
  void SetMenuMode(bool on);
  // The player's state, shown as an icon after each pane's status text in
  // playback: mode 1 step back, 2 reverse, 3 forward, 7 step forward.
  void SetPlaybackState(int mode, bool paused, int speed);
  // The icon's picture name for a state ("markplay", "markpause", ...).
  static const char* PlaybackMark(int mode, bool paused, int speed);
  // Marks every visible channel for a snapshot of its next picture.
  void RequestSnapshots();

  // Position in the parent, border and background (the main window places
  // the view at (53, 72)-(868, 620) with border 1 and grey 150).
  void Place(const QRect& rect, int border, const QColor& background);
  int Border() const;
  // The rectangles of the current layout's positions in view coordinates.
  std::vector<Rect> CurrentRects() const;
  // Window (0-15) at a view position on the current page, -1 for none.
  int WindowAt(const QPoint& pos) const;
  int ChannelInWindow(int window) const;  // the window map
  uint16_t PresentChannels() const;       // channels whose stream delivers pictures
  uint16_t VideoLossChannels() const;
  uint32_t LastFrameTag() const;
  // What the 2000 ms timer does: rate = (count + 1) / 2, count reset.
  void TickPictureRate();
  // Milliseconds from DrawChannel on a worker to the end of the paint that
  // showed the picture; the most recent samples (bounded).
  QVector<double> PaintLatenciesMs() const;
  void ClearPaintLatencies();

  // The on-screen text font: "Arial Bold", 17 pixels (13 points), weight 700.
  static QFont TextFont();
  // The camera title cut one character at a time until it fits the
  // window's title limit, then ended with "..."; unchanged when it fits.
  static QString FitCameraTitle(const QString& title, int windowWidth, const QFont& font);
  // Title and status texts of a picture pane for the mode.
  static QString TitleText(ViewMode mode, int channel, const QString& cameraTitle, int shownWidth, int height,
                           int windowWidth, const QFont& font);
  static QString StatusText(ViewMode mode, int rate);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 signals:
  // The visible set changed by a layout change, a page, a double-click or a
  // drag: live view sends LIVE_REQ with this mask.
  void visibleChannelsChanged(quint16 mask);
  void layoutChanged(int layout, int page);
  // A picture for a snapshot, delivered on the GUI thread.
  void snapshotReady(int channel, QByteArray picture, int width, int height, bool rgb, QString timeText);
  void fullScreenChanged(bool on);
  // A layout button of the full-screen bar was pressed (and taken: not in
  // menu mode); the layout is already set.
  void layoutPressed(int layout);
  // A press and release on the same window (no drag to another): with the
  // PTZ panel open in live view this channel becomes the PTZ channel.
  void channelClicked(int channel);

 private:
  friend class GlVideoSurface;
  struct Impl;
  std::unique_ptr<Impl> d;
};

}  // namespace orva::view
