#include "orva/media/channel_decoder.h"

#include <pthread.h>

#include <cstdio>
#include <chrono>
#include <cstring>
#include <thread>

#include "orva/link/time_convert.h"
#include "picture_rows.h"

namespace orva {

CChannelDecoder::CChannelDecoder(int channel, DecoderContext context)
    : m_channel(channel),
      m_context(std::move(context)),
      m_decoderA(*m_context.library),
      m_decoderB(*m_context.library),
      m_back(kPictureBytes),
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
  {
    // Under the lock, so that the worker cannot miss the wake-up between its
    // test and its wait.
    std::lock_guard lock(m_queueLock);
    m_bStop = true;
  }
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
  m_queued.wait(lock, [&] { return m_queue.size() > 2 || m_bStop.load(); });
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
    // One reading per picture: the draw mode may change while it is made.
    const bool rgb = view.RgbDrawMode();
    bool written = false;
    if (!DecodePicture(*entry, rgb, written)) {
      ++m_discarded;
      continue;
    }
    if (info.keyFrame) ++m_keyFrames;
    if (entry->marker && entry->reverse) continue;  // decoded for the reference chain, not shown
    Publish(*entry, second, rgb, written);
  }

  view.OnNoStream(m_channel);
  ChannelPictureStore::Channel& channel = view.Store().At(m_channel);
  std::lock_guard lock(channel.lock);
  channel.present = false;
}

namespace {

// Where decoder B puts a two-field picture's second field in YUV draw mode.
// One for all workers: it is used under the decode lock, so it stays in the
// cache; its own lock covers decoders that were given different decode locks.
struct SecondField {
  std::mutex lock;
  std::vector<uint8_t> picture;
};

SecondField& SecondFieldScratch() {
  static SecondField scratch;
  return scratch;
}

}  // namespace

bool CChannelDecoder::DecodePicture(const ChannelFrame& frame, bool rgb, bool& written) {
  const FrameInfo& info = frame.info;
  const size_t length = frame.data.size();
  written = false;
  if (!VideoFrameFits(info, length)) return false;
  const int w = info.width, h = info.height;
  const uint8_t* data = frame.data.data();
  const size_t first = std::min<size_t>(info.partLength, length);
  uint8_t* back = m_back.data();
  const bool fill = info.sizeCode == 2;
  {
    std::lock_guard decode(*m_context.decodeLock);
    if (info.sizeCode == 2 && !rgb) {
      // The interpolation replaces all but the last of the second field's
      // lines, and needs only the first field's: it runs while those are
      // still in the cache, and decoder B writes into a scratch picture of
      // which only the kept lines are copied. The picture comes out as if
      // both fields had been decoded into it and then interpolated.
      const int a = m_decoderA.Decode(data, static_cast<int>(first), back, kDecoderOutputCapacity, w, h, 1);
      if (PictureWritten(a)) FillSecondFieldYv12(back, w, h);
      SecondField& scratch = SecondFieldScratch();
      std::lock_guard scratchLock(scratch.lock);
      if (scratch.picture.empty()) scratch.picture.resize(kPictureBytes);
      const int b = m_decoderB.Decode(data + first, static_cast<int>(length - first), scratch.picture.data(),
                                      kDecoderOutputCapacity, w, h, 2);
      // Only a whole second field: lines the library did not write would
      // come from another channel's picture.
      if (b == 1) CopyKeptSecondFieldLines(scratch.picture.data(), back, w, h);
      if (!PictureWritten(a) && PictureWritten(b)) FillSecondFieldYv12(back, w, h);
      written = PictureWritten(a) || PictureWritten(b);
    } else if (info.sizeCode == 2) {
      // RGB: the conversion reads both fields' lines.
      const int a = m_decoderA.Decode(data, static_cast<int>(first), back, kDecoderOutputCapacity, w, h, 1);
      const int b = m_decoderB.Decode(data + first, static_cast<int>(length - first), back, kDecoderOutputCapacity,
                                      w, h, 2);
      written = PictureWritten(a) || PictureWritten(b);
    } else {
      written =
          PictureWritten(m_decoderA.Decode(data, static_cast<int>(first), back, kDecoderOutputCapacity, w, h, 0));
    }
    // Nothing new in the back buffer: it still holds an older picture, which
    // must neither be converted nor shown.
    if (!written) return true;
    if (rgb) m_decoderA.ConvertToRgb(back, m_rgb.data(), w, h);
  }
  // Bottom-up rows, as a 24-bit device-independent bitmap keeps them, with
  // the interpolation in the same pass. This touches this worker's buffers
  // only: no lock, so other channels decode meanwhile. The back buffer's
  // YV12 picture is no longer needed once converted.
  if (rgb) BottomUpRows(m_rgb.data(), back, static_cast<size_t>(w) * 3, h, fill);
  return true;
}

void CChannelDecoder::Publish(const ChannelFrame& frame, uint32_t second, bool rgb, bool written) {
  ChannelView& view = *m_context.view;
  const FrameInfo& info = frame.info;
  const int w = info.width, h = info.height;
  view.RefreshText(m_channel, ShownWidth(w), h);
  ChannelPictureStore::Channel& channel = view.Store().At(m_channel);
  {
    std::lock_guard lock(channel.lock);
    // The finished picture becomes the channel's; its old buffer is the
    // next back buffer. Both are full-size, so readers keep their bounds.
    if (written) {
      channel.picture.swap(m_back);
      channel.rgb = rgb;
    }
    channel.width = w;
    channel.height = h;
    channel.present = true;
    channel.hasPicture = true;
    ++channel.pictures;
  }
  ++m_pictures;
  view.DrawChannel(m_channel);

  if (view.Store().TakeSnapshotRequest(m_channel)) {
    const int format = m_context.dateFormatNow ? m_context.dateFormatNow->load() : m_context.dateFormat;
    const std::string text = FormatRecorderTime(second, format, "  ");
    std::vector<uint8_t> copy;
    bool shownRgb = rgb;
    {
      // The form of what the channel shows: the last picture, should this
      // one have written nothing.
      std::lock_guard lock(channel.lock);
      shownRgb = channel.rgb;
      copy.assign(channel.picture.begin(), channel.picture.begin() + (shownRgb ? w * h * 3 : w * h * 3 / 2));
    }
    view.OnSnapshot(m_channel, std::move(copy), w, h, shownRgb, text);
  }
}

void Accumulate(ChannelDecoderStats& into, const ChannelDecoderStats& add) {
  into.pictures += add.pictures;
  into.keyFrames += add.keyFrames;
  into.skipped += add.skipped;
  into.discarded += add.discarded;
}

std::array<ChannelDecoderStats, kChannelCount> DecoderSlots::Stats() const {
  auto stats = finished;
  for (int ch = 0; ch < kChannelCount; ++ch)
    if (decoders[ch]) Accumulate(stats[ch], decoders[ch]->Stats());
  return stats;
}

void ReleaseDecoders(DecoderSlots& slots, std::mutex& lock, bool drain) {
  std::array<std::unique_ptr<CChannelDecoder>, kChannelCount> decoders;
  {
    std::lock_guard guard(lock);
    for (auto& d : slots.decoders)
      if (d) d->SetClosing();
    decoders = std::move(slots.decoders);
  }
  for (auto& d : decoders) {
    if (!d) continue;
    for (int i = 0; drain && i < 300 && d->QueueDepth() > 2; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    d->Stop();
    std::lock_guard guard(lock);
    Accumulate(slots.finished[d->Channel()], d->Stats());
  }
}

}  // namespace orva
