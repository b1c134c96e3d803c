// Full screen: the view leaves its parent and covers one of the first four
// monitors, with the control bar at the bottom edge.
#include <QGuiApplication>
#include <QScreen>

#include "control_bar.h"
#include "gl_video_surface.h"
#include "video_view_impl.h"

namespace orva::view {

namespace {
constexpr int kMaxMonitors = 4;
}

bool CVideoView::EnterFullScreen(int monitor) {
  if (d->fullScreen) return false;
  const QList<QScreen*> screens = QGuiApplication::screens();
  const int count = std::min<int>(kMaxMonitors, static_cast<int>(screens.size()));
  if (monitor < 0 || monitor >= count) return false;
  const QRect area = screens[monitor]->geometry();
  d->savedParent = parentWidget();
  d->savedGeometry = geometry();
  d->fullScreen = true;
  setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
  setGeometry(area);
  show();
  raise();

  auto* bar = new ControlBar();
  bar->PlaceOn(area);
  connect(bar, &ControlBar::leaveRequested, this, &CVideoView::LeaveFullScreen);
  // The bar's layout buttons are the main window's: ignored while the PTZ
  // panel drives the camera's menu, and each press is reported so that
  // live view asks for the visible channels again.
  connect(bar, &ControlBar::layoutRequested, this, [this](int layout) {
    if (d->menuMode) return;
    SetLayout(layout);
    emit layoutPressed(layout);
  });
  bar->show();
  d->bar = bar;
  d->RepaintAll();
  emit fullScreenChanged(true);
  return true;
}

void CVideoView::LeaveFullScreen() {
  if (!d->fullScreen) return;
  if (d->bar) {
    d->bar->hide();
    d->bar->deleteLater();
    d->bar = nullptr;
  }
  d->fullScreen = false;
  setParent(d->savedParent, Qt::Widget);
  setGeometry(d->savedGeometry);
  show();
  d->RepaintAll();
  emit fullScreenChanged(false);
}

bool CVideoView::FullScreen() const { return d->fullScreen; }

}  // namespace orva::view
