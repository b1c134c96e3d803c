// CChannelDecoder: one channel's decode worker.
//
// Producers (the receive thread, playback readers) Enqueue frames; the
// worker takes the third-oldest entry once three are queued (two frames of
// delay), waits for a key frame when not synchronised, decodes under the one
// global decode lock and hands the picture to the channel's buffer in the
// ChannelView's store.
//
// Threads: Enqueue, SetDiscard, SetClosing and the statistics may be called
// from any thread; Stop and the destructor from the owner's thread.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "orva/media/channel_view.h"
#include "orva/media/h264_decoder.h"
#include "orva/media/stream_frames.h"

namespace orva {

enum class StreamMode { kLive, kRemotePlayback, kLocalPlayback };

// What every channel decoder of one stream shares.
struct DecoderContext {
  const H264Library* library = nullptr;
  std::mutex* decodeLock = nullptr;  // one for the whole client
  ChannelView* view = nullptr;
  StreamMode mode = StreamMode::kLive;
  // Live: true when the channel must not be decoded (video loss, or covert
  // for a user without the covert right).
  std::function<bool(int channel)> suppressed;
  // Remote and local playback: the second to show with the picture.
  std::function<uint32_t()> currentSecond;
  // Date format for snapshot texts: 0 Y-M-D, 1 M-D-Y, 2 D-M-Y.
  int dateFormat = 0;
  // When set, read at each snapshot instead (the local settings may change
  // while a stream runs); it must outlive the decoders.
  const std::atomic<int>* dateFormatNow = nullptr;
};

struct ChannelDecoderStats {
  uint64_t pictures = 0;   // pictures decoded and handed to the view
  uint64_t keyFrames = 0;  // key frames decoded
  uint64_t skipped = 0;    // frames dropped while waiting for a key frame
  uint64_t discarded = 0;  // entries freed undecoded (discard, suppression)
};

class CChannelDecoder {
 public:
  static constexpr size_t kLiveBacklog = 30;

  CChannelDecoder(int channel, DecoderContext context);
  ~CChannelDecoder();
  CChannelDecoder(const CChannelDecoder&) = delete;
  CChannelDecoder& operator=(const CChannelDecoder&) = delete;

  int Channel() const { return m_channel; }
  void Enqueue(std::unique_ptr<ChannelFrame> frame);
  size_t QueueDepth() const;
  void SetDiscard(bool discard) { m_bDiscard = discard; }
  // Closing decoders take no more frames (the producer drops them).
  void SetClosing() { m_bClosing = true; }
  bool Closing() const { return m_bClosing.load(); }
  // Stops the worker and waits for it; frames still queued are freed.
  void Stop();
  ChannelDecoderStats Stats() const;

 private:
  void Thread_Decode();
  std::unique_ptr<ChannelFrame> TakeThird(size_t& depth);
  // Decodes into m_back; false when the frame does not fit. `written` tells
  // whether the library put a picture there.
  bool DecodePicture(const ChannelFrame& frame, bool rgb, bool& written);
  void Publish(const ChannelFrame& frame, uint32_t second, bool rgb, bool written);

  const int m_channel;
  const DecoderContext m_context;

  // Guarded by m_queueLock.
  mutable std::mutex m_queueLock;
  std::condition_variable m_queued;
  std::list<std::unique_ptr<ChannelFrame>> m_queue;

  std::atomic<bool> m_bStop{false};
  std::atomic<bool> m_bDiscard{false};
  std::atomic<bool> m_bClosing{false};

  // Statistics, written by the worker.
  std::atomic<uint64_t> m_pictures{0}, m_keyFrames{0}, m_skipped{0}, m_discarded{0};

  // Worker thread only.
  CH264Decoder m_decoderA;
  CH264Decoder m_decoderB;
  // The channel's back buffer: the next picture is decoded (and in RGB draw
  // mode turned bottom-up) here, then swapped with the store's buffer under
  // the channel lock, so a reader never sees a half-made picture and nothing
  // is copied.
  std::vector<uint8_t> m_back;
  std::vector<uint8_t> m_rgb;  // RGB draw mode: top-down BGR24 conversion
  int64_t m_lastGeneration = -1;  // -1: none
  int m_lastWidth = 352;
  int m_lastHeight = 240;
  bool m_synchronised = false;
  bool m_skip = false;

  std::thread m_worker;
};

// The decoders of one stream, one slot per channel, with the counts of
// those already released. The owner guards it with a lock of its own.
struct DecoderSlots {
  std::array<std::unique_ptr<CChannelDecoder>, kChannelCount> decoders;
  std::array<ChannelDecoderStats, kChannelCount> finished{};

  // Counts of every channel, released decoders included. Lock held.
  std::array<ChannelDecoderStats, kChannelCount> Stats() const;
};

// Adds one decoder's counts to a total.
void Accumulate(ChannelDecoderStats& into, const ChannelDecoderStats& add);

// Stops a stream's decoders in the order the stop requires: all closing
// first under `lock` (producers drop their frames from then on), then for
// each, without the lock, a drain wait of at most 3 s when `drain` is set
// (the worker always leaves two entries), the stop, and its counts kept.
void ReleaseDecoders(DecoderSlots& slots, std::mutex& lock, bool drain = true);

}  // namespace orva
