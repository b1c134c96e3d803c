#include "orva/media/channel_decoder.h"

#include <pthread.h>

#include <cstdio>
#include <cstring>

#include "orva/link/time_convert.h"

namespace orva {

CChannelDecoder::CChannelDecoder(int channel, DecoderContext context)
    : m_channel(channel),
      m_context(std::move(context)),
      m_decoderA(*m_context.library),
      m_decoderB(*m_context.library),
      m_output(kPictureBytes),
      m_rgb(kPictureBytes) {
  m_worker = std::thread([this] { Thread_Decode(); });
}

CChannelDecoder::~CChannelDecoder() { Stop(); }

void CChannelDecoder::Enqueue(std::unique_ptr<ChannelFrame> frame) {
  {
    std::lock_guard lock(m_queueLock);
    m_queue.push_back(std::move(frame));
  }
  m_queued.notify_one();
}

size_t CChannelDecoder::QueueDepth() const {
  std::lock_guard lock(m_queueLock);
  return m_queue.size();
}

void CChannelDecoder::Stop() {
  m_bStop = true;
  m_queued.notify_all();
  if (m_worker.joinable()) m_worker.join();
  std::lock_guard lock(m_queueLock);
  m_queue.clear();
}

ChannelDecoderStats CChannelDecoder::Stats() const {
  return {m_pictures.load(), m_keyFrames.load(), m_skipped.load(), m_discarded.load()};
}

std::unique_ptr<ChannelFrame> CChannelDecoder::TakeThird(size_t& depth) {
  std::unique_lock lock(m_queueLock);
  // Two entries always stay queued: the worker runs two frames behind.
  m_queued.wait_for(lock, std::chrono::milliseconds(10), [&] { return m_queue.size() > 2 || m_bStop.load(); });
  depth = m_queue.size();
  if (depth <= 2 || m_bStop.load()) return nullptr;
  auto it = std::next(m_queue.begin(), 2);
  std::unique_ptr<ChannelFrame> entry = std::move(*it);
  m_queue.erase(it);
  return entry;
}

void CChannelDecoder::Thread_Decode() {
  char name[16];
  std::snprintf(name, sizeof name, "orva-dec-%02d", (m_channel & 15) + 1);
  pthread_setname_np(pthread_self(), name);
  ChannelView& view = *m_context.view;
  const bool live = m_context.mode == StreamMode::kLive;

  while (!m_bStop.load()) {
    size_t depth = 0;
    std::unique_ptr<ChannelFrame> entry = TakeThird(depth);
    if (!entry) continue;
    if (m_bDiscard.load() || (live && m_context.suppressed && m_context.suppressed(m_channel))) {
      if (!m_bDiscard.load()) m_synchronised = false;
      ++m_discarded;
      continue;
    }
    const uint32_t second = live ? entry->header.frameTag : (m_context.currentSecond ? m_context.currentSecond() : 0);
    const FrameInfo& info = entry->info;

    // Stream checks: a new generation or a new size starts over at a key frame.
    if (static_cast<int64_t>(entry->generation) != m_lastGeneration) {
      m_lastGeneration = entry->generation;
      m_lastWidth = info.width;
      m_lastHeight = info.height;
      m_synchronised = false;
    } else if (info.width != m_lastWidth || info.height != m_lastHeight) {
      m_lastWidth = info.width;
      m_lastHeight = info.height;
      m_lastGeneration = -1;
      m_synchronised = false;
      std::lock_guard decode(*m_context.decodeLock);
      m_decoderA.Open(info.width, info.height);
      m_decoderA.Flush();
      m_decoderB.Open(info.width, info.height);
      m_decoderB.Flush();
    }
    if (!m_synchronised) {
      if (!info.keyFrame) {
        m_skip = true;
        ++m_skipped;
        continue;
      }
      m_skip = false;
      m_synchronised = true;
      ChannelPictureStore::Channel& channel = view.Store().At(m_channel);
      {
        std::lock_guard lock(channel.lock);
        channel.width = info.width;
        channel.height = info.height;
        std::memset(channel.picture.data(), 0, channel.picture.size());
        channel.hasPicture = false;
      }
      view.OnKeyFrame(m_channel, info.width, info.height);
    }
    if (live && depth > kLiveBacklog) m_skip = true;
    if (info.keyFrame) {
      m_skip = false;
    } else if (m_skip) {
      ++m_skipped;
      continue;
    }
    if (!DecodePicture(*entry)) {
      ++m_discarded;
      continue;
    }
    if (info.keyFrame) ++m_keyFrames;
    if (entry->marker && entry->reverse) continue;  // decoded for the reference chain, not shown
    Publish(*entry, second);
  }

  view.OnNoStream(m_channel);
  ChannelPictureStore::Channel& channel = view.Store().At(m_channel);
  std::lock_guard lock(channel.lock);
  channel.present = false;
}

bool CChannelDecoder::DecodePicture(const ChannelFrame& frame) {
  const FrameInfo& info = frame.info;
  const size_t length = frame.data.size();
  if (!VideoFrameFits(info, length)) return false;
  const int w = info.width, h = info.height;
  const uint8_t* data = frame.data.data();
  const size_t first = std::min<size_t>(info.partLength, length);
  std::lock_guard decode(*m_context.decodeLock);
  if (info.sizeCode == 2) {
    m_decoderA.Decode(data, static_cast<int>(first), m_output.data(), kDecoderOutputCapacity, w, h, 1);
    m_decoderB.Decode(data + first, static_cast<int>(length - first), m_output.data(), kDecoderOutputCapacity, w, h,
                      2);
  } else {
    m_decoderA.Decode(data, static_cast<int>(first), m_output.data(), kDecoderOutputCapacity, w, h, 0);
  }
  if (m_context.view->RgbDrawMode()) m_decoderA.ConvertToRgb(m_output.data(), m_rgb.data(), w, h);
  return true;
}

// The second field's lines (the odd lines, top-down) of a two-field picture
// become the average of the lines around them, rounded down.
void CChannelDecoder::Interpolate(uint8_t* picture, int width, int height, bool rgb) const {
  auto plane = [](uint8_t* base, int stride, int lines) {
    for (int k = 0; 2 * k + 2 < lines; ++k) {
      const uint8_t* above = base + static_cast<size_t>(2 * k) * stride;
      const uint8_t* below = above + 2 * static_cast<size_t>(stride);
      uint8_t* mid = base + static_cast<size_t>(2 * k + 1) * stride;
      for (int x = 0; x < stride; ++x) mid[x] = static_cast<uint8_t>((above[x] + below[x]) >> 1);
    }
  };
  if (rgb) {
    plane(picture, width * 3, height);
    return;
  }
  plane(picture, width, height);
  if (height >= 6) {
    const size_t luma = static_cast<size_t>(width) * height;
    const size_t chroma = luma / 4;
    plane(picture + luma, width / 2, height / 2);
    plane(picture + luma + chroma, width / 2, height / 2);
  }
}

void CChannelDecoder::Publish(const ChannelFrame& frame, uint32_t second) {
  ChannelView& view = *m_context.view;
  const FrameInfo& info = frame.info;
  const int w = info.width, h = info.height;
  const bool rgb = view.RgbDrawMode();
  view.RefreshText(m_channel, ShownWidth(w), h);
  // Interpolate on the top-down picture, so that it is always the second
  // field's lines that are filled in, also before the RGB rows are turned
  // bottom-up.
  if (info.sizeCode == 2) Interpolate(rgb ? m_rgb.data() : m_output.data(), w, h, rgb);
  ChannelPictureStore::Channel& channel = view.Store().At(m_channel);
  {
    std::lock_guard lock(channel.lock);
    uint8_t* picture = channel.picture.data();
    if (rgb) {
      // Bottom-up rows, as a 24-bit device-independent bitmap keeps them.
      const size_t row = static_cast<size_t>(w) * 3;
      for (int r = 0; r < h; ++r) std::memcpy(picture + r * row, m_rgb.data() + (h - 1 - r) * row, row);
    } else {
      std::memcpy(picture, m_output.data(), static_cast<size_t>(w) * h * 3 / 2);
    }
    channel.width = w;
    channel.height = h;
    channel.rgb = rgb;
    channel.present = true;
    channel.hasPicture = true;
    ++channel.pictures;
  }
  ++m_pictures;
  view.DrawChannel(m_channel);

  if (view.Store().TakeSnapshotRequest(m_channel)) {
    UserTime t;
    GetTime_tToUsertime(second, t);
    char text[64];
    switch (m_context.dateFormat) {
      case 1: std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d:%02d:%02d", t.month + 1, t.day + 1, t.year, t.hour, t.minute, t.second); break;
      case 2: std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d:%02d:%02d", t.day + 1, t.month + 1, t.year, t.hour, t.minute, t.second); break;
      default: std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month + 1, t.day + 1, t.hour, t.minute, t.second); break;
    }
    std::vector<uint8_t> copy;
    {
      std::lock_guard lock(channel.lock);
      copy.assign(channel.picture.begin(), channel.picture.begin() + (rgb ? w * h * 3 : w * h * 3 / 2));
    }
    view.OnSnapshot(m_channel, std::move(copy), w, h, rgb, text);
  }
}

}  // namespace orva
