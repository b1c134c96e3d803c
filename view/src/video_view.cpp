#include "orva/view/video_view.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QThread>
#include <algorithm>

#include "control_bar.h"
#include "gl_video_surface.h"
#include "orva/services/resources.h"
#include "video_view_impl.h"

namespace orva::view {

namespace {

// The YUV path needs a context of OpenGL 3.0 or OpenGL ES 3.0 (single
// channel R8 textures) that can be made current; the offscreen platform
// and headless machines have none.
bool OpenGlUsable() {
  QOpenGLContext context;
  if (!context.create() || !context.isValid()) return false;
  QOffscreenSurface surface;
  surface.setFormat(context.format());
  surface.create();
  if (!surface.isValid() || !context.makeCurrent(&surface)) return false;
  const QSurfaceFormat format = context.format();
  context.doneCurrent();
  return format.majorVersion() >= 3;
}

}  // namespace

CVideoView::CVideoView(int drawMode, QWidget* parent) : QWidget(parent), d(std::make_unique<Impl>(*this)) {
  d->configuredDrawMode = drawMode;
  for (int w = 0; w < kWindowCount; ++w) d->windowMap[static_cast<size_t>(w)] = w;
  d->font = TextFont();
  d->idle = orva::services::Resources::IdlePicture();
  d->loss = orva::services::Resources::VideoLossPicture();
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(false);

  d->rateTimer.setInterval(2000);
  connect(&d->rateTimer, &QTimer::timeout, this, &CVideoView::TickPictureRate);
  d->rateTimer.start();
  d->seekTimer.setInterval(10);
  connect(&d->seekTimer, &QTimer::timeout, this, [this] { d->AdvanceSeek(); });

  if (drawMode == 0 && OpenGlUsable()) {
    d->gl = new GlVideoSurface(*this);
    d->gl->setGeometry(rect());
    d->yuv = true;
  }
  d->ApplyPage(false);
}

CVideoView::~CVideoView() {
  if (d->bar) delete d->bar.data();
}

// ------------------------------------------------------------ ChannelView

bool CVideoView::RgbDrawMode() const { return !d->yuv.load(); }

void CVideoView::OnKeyFrame(int channel, int width, int height) {
  // The OpenGL path sizes its textures from each picture; nothing to make here.
  (void)channel, (void)width, (void)height;
}

void CVideoView::RefreshText(int channel, int shownWidth, int height) {
  std::lock_guard lock(d->textLock);
  Impl::TextRecord& t = d->text[static_cast<size_t>(channel & 15)];
  t.valid = true;
  t.shownWidth = shownWidth;
  t.height = height;
}

void CVideoView::DrawChannel(int channel) {
  const size_t c = static_cast<size_t>(channel & 15);
  d->drawnAt[c].store(NowNs());
  d->drawSerial[c].fetch_add(1);
  d->counts[c].fetch_add(1);
  d->ScheduleFlush(static_cast<uint16_t>(1u << c));
}

void CVideoView::OnSnapshot(int channel, std::vector<uint8_t> picture, int width, int height, bool rgb,
                            std::string timeText) {
  QByteArray bytes(reinterpret_cast<const char*>(picture.data()), static_cast<qsizetype>(picture.size()));
  const QString time = QString::fromStdString(timeText);
  QMetaObject::invokeMethod(
      this, [this, channel, bytes, width, height, rgb, time] { emit snapshotReady(channel, bytes, width, height, rgb, time); },
      Qt::QueuedConnection);
}

void CVideoView::OnNoStream(int channel) {
  {
    ChannelPictureStore::Channel& ch = Store().At(channel);
    std::lock_guard lock(ch.lock);
    ch.present = false;
  }
  d->ScheduleFlush(static_cast<uint16_t>(1u << (channel & 15)));
}

void CVideoView::ResetForLive(int layout) {
  // The masks are reset here, on the caller's thread, not in the queued
  // part: the handshake's live request runs on the receive thread, and the
  // LIVE_CHANNEL_INFO that follows it may set the masks before the GUI
  // thread gets to the reset, which must not wipe them.
  d->drawMask = 0xFFFF;
  d->lossMask = 0;
  // A reset that was posted but overtaken by a later one (a stop on the GUI
  // thread right after the handshake's live request) must not run last.
  const uint64_t serial = ++d->resetSerial;
  auto reset = [this, layout, serial] {
    if (d->resetSerial.load() != serial) return;
    // The live request passes the layout it chose from the channel count
    // (four, eight or sixteen panes); keep a real count in that range.
    const int bucket = layout <= 4 ? 4 : layout <= 8 ? 8 : 16;
    const int low = bucket == 4 ? 1 : bucket == 8 ? 5 : 9;
    const int count = d->lastStreamCount >= low && d->lastStreamCount <= bucket ? d->lastStreamCount : bucket;
    d->Start(ViewMode::kLive, count, std::clamp(layout, 0, kLayoutCount - 1), false);
  };
  if (QThread::currentThread() == thread()) {
    reset();
  } else {
    QMetaObject::invokeMethod(this, reset, Qt::QueuedConnection);
  }
}

void CVideoView::ResetAfterStream() {
  d->drawMask = 0xFFFF;
  d->lossMask = 0;
  // Mode 0: nothing is shown, so commands that need a stream ("Save") do nothing.
  const uint64_t serial = ++d->resetSerial;
  auto reset = [this, serial] {
    if (d->resetSerial.load() == serial) d->Start(ViewMode::kNone, d->lastStreamCount, 14, false);
  };
  if (QThread::currentThread() == thread()) {
    reset();
  } else {
    QMetaObject::invokeMethod(this, reset, Qt::QueuedConnection);
  }
}

void CVideoView::SetChannelMask(uint16_t mask) {
  if (d->drawMask.exchange(mask) != mask) d->ScheduleFlush(0xFFFF);
}

void CVideoView::SetVideoLoss(uint16_t lossMask) {
  if (d->lossMask.exchange(lossMask) != lossMask) d->ScheduleFlush(0xFFFF);
}

void CVideoView::OnLiveFrameTag(uint32_t tag) { d->lastTag = tag; }

int CVideoView::SingleShownChannel() const { return d->single.load(); }

void CVideoView::StartPlaybackDisplay(int mode, int channelCount) {
  const ViewMode viewMode = mode == 3 ? ViewMode::kLocalPlayback : ViewMode::kRemotePlayback;
  auto start = [this, viewMode, channelCount] {
    d->playMode = 3;
    d->playPaused = false;
    d->playSpeed = 0;
    StartStream(viewMode, channelCount);
  };
  if (QThread::currentThread() == thread()) {
    start();
  } else {
    QMetaObject::invokeMethod(this, start, Qt::QueuedConnection);
  }
}

// ------------------------------------------------------------ GUI thread

bool CVideoView::YuvPathActive() const { return d->yuv.load(); }
ViewMode CVideoView::Mode() const { return d->mode; }

void CVideoView::SetMode(ViewMode mode) {
  d->mode = mode;
  d->RepaintAll();
}

void CVideoView::StartStream(ViewMode mode, int channelCount) {
  ++d->resetSerial;  // a live reset still queued is older than this stream
  const int count = std::clamp(channelCount, 1, kWindowCount);
  d->lastStreamCount = count;
  d->Start(mode, count, StartingLayout(count), true);
}

void CVideoView::SetLayout(int layout) {
  if (layout < 0 || layout >= kLayoutCount) return;
  d->seekTimer.stop();
  if (layout == d->layout) {
    d->page = (d->page + 1) % std::max(1, d->pageCounts[static_cast<size_t>(layout)]);
  } else {
    d->layout = layout;
    d->page = 0;
  }
  d->savedLayout = -1;
  if (d->PageHasPresent()) {
    d->ApplyPage(true);
    return;
  }
  // No present channel on this page: look further, one page per 10 ms, at
  // most 17 times, without holding up the GUI thread.
  d->ApplyPage(false);
  d->seekLeft = 17;
  d->seekTimer.start();
}

int CVideoView::Layout() const { return d->layout; }
int CVideoView::Page() const { return d->page; }

void CVideoView::ShowSingle(int channel) {
  if (channel < 0 || channel >= kWindowCount || !d->Present(channel)) return;
  const auto it = std::find(d->windowMap.begin(), d->windowMap.end(), channel);
  if (it == d->windowMap.end()) return;
  d->seekTimer.stop();
  d->layout = 0;
  d->page = static_cast<int>(it - d->windowMap.begin());
  d->ApplyPage(true);
}

void CVideoView::Arrange() {
  bool changed = false;
  for (int w = 0; w < kWindowCount; ++w) changed = changed || d->windowMap[static_cast<size_t>(w)] != w;
  if (!changed) return;
  for (int c = 0; c < kChannelCount; ++c) Store().At(c).lock.lock();
  for (int w = 0; w < kWindowCount; ++w) d->windowMap[static_cast<size_t>(w)] = w;
  for (int c = kChannelCount - 1; c >= 0; --c) Store().At(c).lock.unlock();
  d->ApplyPage(true);
}

uint16_t CVideoView::VisibleChannels() const { return d->Visible(); }

void CVideoView::SetTextOn(bool on) {
  d->textOn = on;
  d->RepaintAll();
}
bool CVideoView::TextOn() const { return d->textOn; }

void CVideoView::SetCameraTitle(int channel, const QString& title) {
  d->cameraTitles[static_cast<size_t>(channel & 15)] = title;
  d->ScheduleFlush(static_cast<uint16_t>(1u << (channel & 15)));
}

QString CVideoView::CameraTitle(int channel) const { return d->cameraTitles[static_cast<size_t>(channel & 15)]; }

void CVideoView::SetCovert(int channel, bool covert) {
  d->covert[static_cast<size_t>(channel & 15)] = covert;
  d->ScheduleFlush(static_cast<uint16_t>(1u << (channel & 15)));
}

namespace {
int MarkPlace(int x) {
  for (size_t i = 0; i < kStatusMarkOffsets.size(); ++i)
    if (kStatusMarkOffsets[i] == x) return static_cast<int>(i);
  return -1;
}
}  // namespace

bool CVideoView::SetStatusMark(int channel, StatusMark mark, int x) {
  const int place = MarkPlace(x);
  if (place < 0 || channel < 0 || channel >= kWindowCount) return false;
  {
    std::lock_guard lock(d->textLock);
    StatusMark& slot = d->marks[static_cast<size_t>(channel)][static_cast<size_t>(place)];
    if (slot == mark) return true;
    slot = mark;
  }
  d->ScheduleFlush(static_cast<uint16_t>(1u << channel));
  return true;
}

StatusMark CVideoView::StatusMarkAt(int channel, int x) const {
  const int place = MarkPlace(x);
  if (place < 0 || channel < 0 || channel >= kWindowCount) return StatusMark::kNone;
  std::lock_guard lock(d->textLock);
  return d->marks[static_cast<size_t>(channel)][static_cast<size_t>(place)];
}

const char* CVideoView::StatusMarkPicture(StatusMark mark) {
  switch (mark) {
    case StatusMark::kRecord: return "markrec";
    case StatusMark::kAudio: return "markaudio";
    case StatusMark::kMotion: return "markmotion";
    case StatusMark::kAlarm: return "markalarm";
    case StatusMark::kNone: break;
  }
  return nullptr;
}

int CVideoView::PictureRate(int channel) const { return d->rates[static_cast<size_t>(channel & 15)].load(); }

void CVideoView::TickPictureRate() {
  for (size_t c = 0; c < kWindowCount; ++c) d->rates[c] = (d->counts[c].exchange(0) + 1) / 2;
  d->RepaintAll();
}

void CVideoView::SetPlaybackState(int mode, bool paused, int speed) {
  if (d->playMode == mode && d->playPaused == paused && d->playSpeed == speed) return;
  d->playMode = mode;
  d->playPaused = paused;
  d->playSpeed = speed;
  d->RepaintAll();
}

const char* CVideoView::PlaybackMark(int mode, bool paused, int speed) {
  if (mode == 1) return "markstepback";
  if (mode == 7) return "markstepfwd";
  if (paused) return "markpause";
  if (mode == 2) return speed < -1 ? "markfastrev" : "markreverse";
  return speed > 1 ? "markfast" : "markplay";
}

void CVideoView::SetMenuMode(bool on) {
  d->menuMode = on;
  d->pressed = false;
  d->dragImage = QPixmap();
}

void CVideoView::RequestSnapshots() {
  const uint16_t visible = d->Visible();
  for (int c = 0; c < kChannelCount; ++c)
    if ((visible & (1u << c)) && d->Present(c)) Store().RequestSnapshot(c);
}

void CVideoView::Place(const QRect& rect, int border, const QColor& background) {
  d->border = std::max(0, border);
  d->background = background;
  setGeometry(rect);
  d->RepaintAll();
}

int CVideoView::Border() const { return d->border; }

std::vector<Rect> CVideoView::CurrentRects() const { return LayoutRects(d->layout, width(), height(), d->border); }

int CVideoView::WindowAt(const QPoint& pos) const {
  const std::vector<Rect> rects = CurrentRects();
  const std::vector<int> windows = PageWindows(d->layout, d->page);
  for (size_t i = 0; i < rects.size() && i < windows.size(); ++i) {
    const Rect& r = rects[i];
    if (pos.x() >= r.left && pos.x() < r.right && pos.y() >= r.top && pos.y() < r.bottom) return windows[i];
  }
  return -1;
}

int CVideoView::ChannelInWindow(int window) const {
  return window >= 0 && window < kWindowCount ? d->windowMap[static_cast<size_t>(window)] : -1;
}

uint16_t CVideoView::PresentChannels() const {
  uint16_t mask = 0;
  for (int c = 0; c < kChannelCount; ++c)
    if (d->Present(c)) mask = static_cast<uint16_t>(mask | (1u << c));
  return mask;
}

uint16_t CVideoView::VideoLossChannels() const { return d->lossMask.load(); }
uint32_t CVideoView::LastFrameTag() const { return d->lastTag.load(); }

QVector<double> CVideoView::PaintLatenciesMs() const {
  std::lock_guard lock(d->latencyLock);
  return QVector<double>(d->latencies.begin(), d->latencies.end());
}

void CVideoView::ClearPaintLatencies() {
  std::lock_guard lock(d->latencyLock);
  d->latencies.clear();
  d->latencyNext = 0;
}

void CVideoView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (d->gl) d->gl->setGeometry(rect());
}

// ------------------------------------------------------------ Impl

void CVideoView::Impl::Start(ViewMode newMode, int count, int startLayout, bool resetMasks) {
  seekTimer.stop();
  mode = newMode;
  channelCount = count;
  pageCounts = PageCounts(count);
  layout = startLayout;
  page = 0;
  savedLayout = -1;
  if (resetMasks) {
    drawMask = 0xFFFF;
    lossMask = 0;
  }
  for (int c = 0; c < kChannelCount; ++c) q.Store().At(c).lock.lock();
  for (int w = 0; w < kWindowCount; ++w) windowMap[static_cast<size_t>(w)] = w;
  for (int c = 0; c < kChannelCount; ++c) {
    q.Store().At(c).present = false;
    q.Store().At(c).hasPicture = false;
  }
  for (int c = kChannelCount - 1; c >= 0; --c) q.Store().At(c).lock.unlock();
  {
    std::lock_guard lock(textLock);
    for (TextRecord& t : text) t = TextRecord{};
  }
  ApplyPage(true);
}

void CVideoView::Impl::ApplyPage(bool emitSignals) {
  visibleMask = 0;
  for (int w : PageWindows(layout, page))
    if (w >= 0) visibleMask = static_cast<uint16_t>(visibleMask | (1u << w));
  UpdateSingle();
  RepaintAll();
  if (!emitSignals) return;
  emit q.layoutChanged(layout, page);
  emit q.visibleChannelsChanged(Visible());
}

void CVideoView::Impl::UpdateSingle() {
  single = layout == 0 && page >= 0 && page < kWindowCount ? windowMap[static_cast<size_t>(page)] : -1;
}

bool CVideoView::Impl::PageHasPresent() const {
  for (int w : PageWindows(layout, page)) {
    if (w < 0) continue;
    const int c = windowMap[static_cast<size_t>(w)];
    if (c < channelCount && Present(c)) return true;
  }
  return false;
}

void CVideoView::Impl::AdvanceSeek() {
  page = (page + 1) % std::max(1, pageCounts[static_cast<size_t>(layout)]);
  if (PageHasPresent() || --seekLeft <= 0) {
    seekTimer.stop();
    ApplyPage(true);
    return;
  }
  ApplyPage(false);
}

bool CVideoView::Impl::Present(int channel) const {
  ChannelPictureStore::Channel& ch = q.Store().At(channel);
  std::lock_guard lock(ch.lock);
  return ch.present;
}

uint16_t CVideoView::Impl::Visible() const {
  uint16_t mask = 0;
  for (int w = 0; w < kWindowCount; ++w) {
    if (!(visibleMask & (1u << w))) continue;
    const int c = windowMap[static_cast<size_t>(w)];
    if (c < channelCount) mask = static_cast<uint16_t>(mask | (1u << c));
  }
  return mask;
}

void CVideoView::Impl::ScheduleFlush(uint16_t bits) {
  dirty.fetch_or(bits);
  // One queued call drains every picture that arrives before it runs.
  if (!flushPosted.exchange(true)) QMetaObject::invokeMethod(&q, [this] { FlushDirty(); }, Qt::QueuedConnection);
}

void CVideoView::Impl::FlushDirty() {
  flushPosted = false;
  const uint16_t bits = dirty.exchange(0);
  if (!bits) return;
  const std::vector<Rect> rects = q.CurrentRects();
  const std::vector<int> windows = PageWindows(layout, page);
  uint16_t shown = 0;
  QRegion region;
  for (size_t i = 0; i < windows.size() && i < rects.size(); ++i) {
    if (windows[i] < 0) continue;
    const int c = windowMap[static_cast<size_t>(windows[i])];
    if (!(bits & (1u << c))) continue;
    shown = static_cast<uint16_t>(shown | (1u << c));
    region += ToQRect(rects[i]);
  }
  // A picture of a hidden channel is never painted: forget its time.
  for (size_t c = 0; c < kWindowCount; ++c)
    if ((bits & (1u << c)) && !(shown & (1u << c))) drawnAt[c] = 0;
  if (region.isEmpty()) return;
  if (gl) {
    gl->update();
  } else {
    q.update(region);
  }
}

void CVideoView::Impl::RepaintAll() {
  if (gl) gl->update();
  q.update();
}

void CVideoView::Impl::FallBackToRgb() {
  if (!gl) return;
  gl->hide();
  gl->deleteLater();
  gl = nullptr;
  yuv = false;
  q.update();
}

void CVideoView::Impl::RecordLatency(int64_t stampNs, int64_t endNs) {
  if (stampNs <= 0 || endNs < stampNs) return;
  const double ms = static_cast<double>(endNs - stampNs) / 1e6;
  std::lock_guard lock(latencyLock);
  if (latencies.size() < kLatencySamples) {
    latencies.push_back(ms);
  } else {
    latencies[latencyNext] = ms;
    latencyNext = (latencyNext + 1) % kLatencySamples;
  }
}

void CVideoView::Impl::SwapWindows(int a, int b) {
  for (int c = 0; c < kChannelCount; ++c) q.Store().At(c).lock.lock();
  std::swap(windowMap[static_cast<size_t>(a)], windowMap[static_cast<size_t>(b)]);
  for (int c = kChannelCount - 1; c >= 0; --c) q.Store().At(c).lock.unlock();
  UpdateSingle();
  RepaintAll();
  emit q.visibleChannelsChanged(Visible());
}

}  // namespace orva::view
