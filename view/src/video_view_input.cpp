// Mouse handling: dragging a channel onto another window swaps them in the
// window map; a double-click shows one channel alone and back.
#include <QMouseEvent>

#include "video_view_impl.h"

namespace orva::view {

void CVideoView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || d->menuMode) return QWidget::mousePressEvent(event);
  const int window = WindowAt(event->position().toPoint());
  if (window < 0) return;
  const int channel = d->windowMap[static_cast<size_t>(window)];
  if (channel >= d->channelCount || !d->Present(channel)) return;
  // The press captures the pointer (Qt's implicit grab) until the release.
  d->pressed = true;
  d->dragMoved = false;
  d->dragWindow = window;
  d->dragPos = event->position().toPoint();
  const std::vector<Rect> rects = CurrentRects();
  const std::vector<int> windows = PageWindows(d->layout, d->page);
  for (size_t i = 0; i < rects.size() && i < windows.size(); ++i) {
    if (windows[i] != window) continue;
    const QRect r = ToQRect(rects[i]);
    const QImage& picture = d->rgbCache[static_cast<size_t>(channel)].image;
    // A half-size image of the pane follows the pointer.
    QPixmap image(std::max(1, r.width() / 2), std::max(1, r.height() / 2));
    image.fill(Qt::darkGray);
    if (!picture.isNull() && !d->gl) image = QPixmap::fromImage(picture.scaled(image.size()));
    d->dragImage = image;
  }
}

void CVideoView::mouseMoveEvent(QMouseEvent* event) {
  if (!d->pressed) return QWidget::mouseMoveEvent(event);
  d->dragPos = event->position().toPoint();
  d->dragMoved = true;
  d->RepaintAll();
}

void CVideoView::mouseReleaseEvent(QMouseEvent* event) {
  if (!d->pressed || event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  d->pressed = false;
  const bool moved = d->dragMoved;
  d->dragMoved = false;
  d->dragImage = QPixmap();
  if (moved) d->RepaintAll();
  const int source = d->dragWindow;
  d->dragWindow = -1;
  const int target = WindowAt(event->position().toPoint());
  if (source < 0 || target < 0) return;
  if (target == source) {
    emit channelClicked(d->windowMap[static_cast<size_t>(source)]);
    return;
  }
  const int channel = d->windowMap[static_cast<size_t>(target)];
  if (channel >= d->channelCount || !d->Present(channel)) return;
  d->SwapWindows(source, target);
}

void CVideoView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || d->menuMode) return;
  if (d->layout != 0) {
    const int window = WindowAt(event->position().toPoint());
    if (window < 0) return;
    const int channel = d->windowMap[static_cast<size_t>(window)];
    if (channel >= d->channelCount || !d->Present(channel)) return;
    const int layout = d->layout, page = d->page;
    ShowSingle(channel);
    d->savedLayout = layout;
    d->savedPage = page;
    return;
  }
  if (d->savedLayout < 0) return;
  d->seekTimer.stop();
  d->layout = d->savedLayout;
  d->page = d->savedPage;
  d->savedLayout = -1;
  d->ApplyPage(true);
}

}  // namespace orva::view
