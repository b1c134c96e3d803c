#include "orva/recordings/local_player.h"

#include <algorithm>

#include "orva/link/trace.h"

namespace orva {

using namespace std::chrono_literals;

namespace {

constexpr uint16_t kLiveDataControl = 2305;  // code 18 with status bit 0, as live blocks carry

int LayoutCountFor(uint32_t mask) {
  int highest = 0;
  for (int ch = 0; ch < kChannelCount; ++ch)
    if (mask & (1u << ch)) highest = ch + 1;
  return highest <= 4 ? 4 : highest <= 8 ? 8 : 16;
}

}  // namespace

struct LocalPlayer::Files {
  std::string vidPath;
  std::unique_ptr<ReadableFile> vid, idx;
  uint64_t pos = 0;     // next frame when reading forwards
  LocalFrame cursor;    // the frame read last (reading backwards starts before it)
  bool haveCursor = false;
};

LocalPlayer::LocalPlayer(const H264Library& library, std::mutex& decodeLock, ChannelView& view,
                         LocalPlayerOptions options)
    : m_library(library),
      m_decodeLock(decodeLock),
      m_view(view),
      m_options(std::move(options)),
      m_clock(m_options.clock ? *m_options.clock : SteadyPlaybackClock()) {
  if (!m_options.open) m_options.open = OpenPosixReader;
}

LocalPlayer::~LocalPlayer() { Stop(); }

LocalPlayerStats LocalPlayer::Stats() const {
  return {m_statShown.load(), m_statPassed.load(), m_statAudio.load(), m_statUnusable.load()};
}

std::array<ChannelDecoderStats, kChannelCount> LocalPlayer::DecoderStats() const {
  std::lock_guard lock(m_slotsLock);
  return m_slots.Stats();
}

bool LocalPlayer::Start(const std::vector<LocalPair>& pairs, uint32_t start, uint32_t end) {
  if (m_running.load()) return false;
  m_entries = BuildPlaybackList(pairs, start, end, m_options.open);
  const auto found = std::find_if(m_entries.begin(), m_entries.end(), [](const PlaybackEntry& e) { return e.found; });
  if (found == m_entries.end()) return false;
  m_current = static_cast<size_t>(found - m_entries.begin());
  DecoderContext context;
  context.library = &m_library;
  context.decodeLock = &m_decodeLock;
  context.view = &m_view;
  context.mode = StreamMode::kLocalPlayback;
  context.currentSecond = [this] { return m_shown.load(); };
  context.dateFormat = m_options.dateFormat;
  {
    std::lock_guard lock(m_slotsLock);
    for (int ch = 0; ch < kChannelCount; ++ch) m_slots.decoders[ch] = std::make_unique<CChannelDecoder>(ch, context);
  }
  m_mode = kPlayForward;
  m_speed = 1;
  m_rebase = true;
  m_stop = false;
  m_seekState = 0;
  m_shown = found->playFrom;
  m_running = true;
  m_thread = std::thread([this] { Thread_Play(); });
  return true;
}

void LocalPlayer::Stop() {
  if (!m_thread.joinable()) return;
  m_stop = true;
  m_wake.notify_all();
  m_thread.join();
  ReleaseDecoders();
  m_view.ResetAfterStream();
  m_running = false;
  if (m_observer) m_observer->OnStopped();
}

void LocalPlayer::ReleaseDecoders() {
  std::unique_ptr<CAudioPlayer> audio;
  {
    std::lock_guard lock(m_slotsLock);
    audio = std::move(m_audio);
  }
  audio.reset();
  // The reader thread has ended: nothing more will come, no drain to wait for.
  orva::ReleaseDecoders(m_slots, m_slotsLock, false);
}

// ------------------------------------------------------------- operations

void LocalPlayer::Command(int mode) {
  if (!m_running.load()) return;
  const int speed = m_speed.load();
  const int current = m_mode.load();
  auto stopAudio = [this] {
    std::unique_ptr<CAudioPlayer> audio;
    std::lock_guard lock(m_slotsLock);
    audio = std::move(m_audio);
  };
  switch (mode) {
    case kPlayForward:
      // Every speed change re-bases: the pacing divides the time since the
      // reference by the speed, so keeping the old reference would jump.
      m_speed = speed <= 0 || speed == 4 || speed == 5 ? 1 : speed + 1;
      if (speed != 5) m_rebase = true;
      if (m_speed.load() != 1) stopAudio();
      m_mode = kPlayForward;
      break;
    case kPlayReverse:
      m_speed = speed >= 0 || speed < -3 ? -1 : speed - 1;
      m_rebase = true;
      stopAudio();
      m_mode = kPlayReverse;
      break;
    case kPlayPause:
      if (current != kPlayForward && current != kPlayReverse) return;
      m_resumed = true;
      if (current == kPlayReverse) {
        m_speed = 0;
        m_rebase = true;
      } else {
        if (speed >= 2 && speed <= 4) m_rebase = true;
        m_speed = 5;
      }
      stopAudio();
      m_mode = kPlayPause;
      break;
    case kPlayStepBackward:
    case kPlayStepForward:
      if (current != kPlayPause) return;
      stopAudio();
      m_mode = mode;
      break;
    default: return;
  }
  if (m_observer) m_observer->OnSpeedChanged(m_speed.load());
  m_wake.notify_all();
}

void LocalPlayer::Seek(uint32_t target) {
  if (!m_running.load()) return;
  m_seekTarget = target;
  m_seekState = 3;
  m_wake.notify_all();
}

void LocalPlayer::Wait(int ms) {
  std::unique_lock lock(m_wakeLock);
  m_wake.wait_for(lock, std::chrono::milliseconds(ms),
                  [this] { return m_stop.load() || m_seekState.load() == 3 || m_mode.load() != kPlayPause; });
}

// ------------------------------------------------------------- reading

bool LocalPlayer::OpenEntry(size_t index, Files& files) {
  const PlaybackEntry& e = m_entries[index];
  if (files.vidPath != e.vid || !files.vid || !files.idx) {
    std::string error;
    files.vid = m_options.open(e.vid, error);
    files.idx = files.vid ? m_options.open(e.idx, error) : nullptr;
    files.vidPath = e.vid;
    if (!files.vid || !files.idx) {
      Trace("LocalPlayer... %s\n", error.c_str());
      files.vidPath.clear();
      return false;
    }
  }
  return true;
}

bool LocalPlayer::EnterEntry(size_t index, bool backwards, Files& files) {
  if (index >= m_entries.size() || !OpenEntry(index, files)) return false;
  m_current = index;
  const PlaybackEntry& e = m_entries[index];
  // The overall start and end of the joined run that holds this entry.
  size_t first = index, last = index;
  while (first > 0 && m_entries[first].joinedPrevious) --first;
  while (last + 1 < m_entries.size() && m_entries[last].joinedNext) ++last;
  m_listStart = m_entries[first].start;
  m_listEnd = m_entries[last].end;
  m_view.StartPlaybackDisplay(3, LayoutCountFor(e.channelMask));
  files.haveCursor = false;
  if (!backwards) {
    files.pos = e.startOffset;
    return true;
  }
  // Backwards from the end: a sentinel whose back link is the last frame.
  LocalFrame sentinel;
  sentinel.offset = e.endOffset;
  const uint64_t trailerAt = files.vid->Size() >= kTrailerSize ? files.vid->Size() - kTrailerSize : 0;
  if (e.endOffset >= trailerAt) {
    std::vector<uint8_t> trailer(kTrailerSize);
    uint32_t lastVideo = 0;
    if (!files.vid->ReadAt(trailerAt, trailer) || !DecodeTrailer(trailer, lastVideo, 36)) return false;
    sentinel.backLink = lastVideo;
    sentinel.offset = trailerAt;
  } else {
    LocalFrame next;
    if (!ReadFrameAt(*files.vid, e.endOffset, trailerAt, next, false)) return false;
    sentinel.backLink = next.backLink;
  }
  files.cursor = sentinel;
  files.haveCursor = true;
  return true;
}

bool LocalPlayer::StepForwardFrame(Files& files, LocalFrame& frame) {
  for (int tries = 0; tries < 2; ++tries) {
    const PlaybackEntry& e = m_entries[m_current];
    if (files.pos < e.endOffset && ReadFrameAt(*files.vid, files.pos, e.endOffset, frame)) return true;
    if (files.pos < e.endOffset) {
      ++m_statUnusable;
      Trace("LocalPlayer... unreadable frame at %llu of %s, entry left\n",
            static_cast<unsigned long long>(files.pos), e.vid.c_str());
    }
    if (m_current + 1 >= m_entries.size() || !EnterEntry(m_current + 1, false, files)) return false;
  }
  return false;
}

bool LocalPlayer::StepBackwardFrame(Files& files, LocalFrame& frame) {
  for (int tries = 0; tries < 2; ++tries) {
    const PlaybackEntry& e = m_entries[m_current];
    if (!files.haveCursor) {
      LocalFrame at;
      if (ReadFrameAt(*files.vid, files.pos, e.endOffset, at, false)) {
        files.cursor = at;
        files.haveCursor = true;
      }
    }
    if (files.haveCursor && ReadFrameBefore(*files.vid, files.cursor, files.vid->Size(), frame) &&
        frame.offset >= e.firstOffset)
      return true;
    if (m_current == 0 || !EnterEntry(m_current - 1, true, files)) return false;
  }
  return false;
}

bool LocalPlayer::PassBySpeed(const LocalFrame& frame, int speed) {
  const int s = speed < 0 ? -speed : speed;
  if (s < 2 || s > 4) return false;
  const int limit = s == 2 ? 1 : s == 3 ? 3 : 7;
  int& counter = m_skip[frame.info.channel & 15];
  if (frame.info.keyFrame) {
    counter = 0;
    return false;
  }
  ++counter;
  if (counter >= 1 && counter <= limit) return true;
  counter = 0;
  return false;
}

void LocalPlayer::NewGenerationIfRebased() {
  if (m_rebase.exchange(false)) {
    ++m_generation;
    m_needReference = true;
  }
}

void LocalPlayer::TakeReference(const LocalFrame& frame) {
  NewGenerationIfRebased();
  if (m_needReference || m_resumed.exchange(false)) {
    m_needReference = false;
    m_referenceMs = static_cast<int64_t>(frame.TimeMs());
    m_referenceTick = m_clock.NowMs();
  }
}

bool LocalPlayer::Warming(const LocalFrame& frame) {
  if (m_hideBeforeMs == 0) return false;
  if (frame.TimeMs() < m_hideBeforeMs) return true;
  m_hideBeforeMs = 0;
  return false;
}

void LocalPlayer::Warm(const LocalFrame& frame) {
  NewGenerationIfRebased();  // the new stream starts with these frames
  auto entry = std::make_unique<ChannelFrame>();
  entry->generation = m_generation;
  entry->marker = 1;  // decoded for the reference chain, not shown
  entry->reverse = 1;
  entry->info = frame.info;
  entry->header.control = kLiveDataControl;
  entry->header.SetChannel(frame.info.channel & 15);
  entry->data = frame.data;
  std::lock_guard lock(m_slotsLock);
  CChannelDecoder* decoder = m_slots.decoders[frame.info.channel & 15].get();
  if (decoder && !decoder->Closing()) decoder->Enqueue(std::move(entry));
}

void LocalPlayer::Show(const LocalFrame& frame) {
  TakeReference(frame);
  const int channel = frame.info.channel & 15;
  const int mode = m_mode.load();
  auto entry = std::make_unique<ChannelFrame>();
  entry->generation = m_generation;
  entry->marker = frame.video.marker == 1 ? 1 : 0;
  entry->reverse = mode == kPlayStepBackward || mode == kPlayReverse ? 1 : 0;
  entry->info = frame.info;
  entry->header.control = kLiveDataControl;
  entry->header.SetChannel(channel);
  entry->data = frame.data;
  m_shown = frame.video.frameSecond;
  {
    std::lock_guard lock(m_slotsLock);
    CChannelDecoder* decoder = m_slots.decoders[channel].get();
    if (decoder && !decoder->Closing()) decoder->Enqueue(std::move(entry));
  }
  ++m_statShown;
  if (m_observer) m_observer->OnShownTime(frame.video.frameSecond);
}

void LocalPlayer::Pace(const LocalFrame& frame, int speed) {
  const int64_t t = static_cast<int64_t>(frame.TimeMs());
  const bool reverse = speed < 0;
  if (!(reverse && frame.video.marker == 1)) {
    const int s = reverse ? -speed : speed;
    const int shift = s == 2 ? 1 : s == 3 ? 2 : s == 4 ? 4 : 0;
    const int64_t target = (reverse ? m_referenceMs - t : t - m_referenceMs) >> shift;
    const int64_t began = m_clock.NowMs();
    while (m_clock.NowMs() - m_referenceTick < target) {
      if (m_stop.load() || m_speed.load() != speed || m_seekState.load() == 3) break;
      if (m_clock.NowMs() - began > 3000) {
        m_referenceMs = t;
        m_referenceTick = m_clock.NowMs();
        break;
      }
      // Until it is due, looking at the speed at least every 5 ms.
      const int64_t left = target - (m_clock.NowMs() - m_referenceTick);
      m_clock.SleepMs(static_cast<int>(std::clamp<int64_t>(left, 1, 5)));
    }
  }
}

void LocalPlayer::SlowForBacklog(const LocalFrame& frame) {
  size_t depth = 0;
  {
    std::lock_guard lock(m_slotsLock);
    if (m_slots.decoders[frame.info.channel & 15]) depth = m_slots.decoders[frame.info.channel & 15]->QueueDepth();
  }
  if (depth >= 4) m_clock.SleepMs(static_cast<int>(depth - 3));
}

void LocalPlayer::QueueAudio(const LocalFrame& frame) {
  const int channel = frame.info.channel & 15;
  const uint16_t heard = static_cast<uint16_t>(m_heard.load() | (1u << channel));
  if (heard != m_heard.exchange(heard) && m_observer) m_observer->OnAudioChannels(heard);
  std::lock_guard lock(m_slotsLock);
  if (!m_audio && m_options.sound && m_entries[m_current].audio)
    m_audio = std::make_unique<CAudioPlayer>(*m_options.sound, m_options.audioDepth);
  if (!m_audio || m_view.SingleShownChannel() != channel) return;
  if (m_audio->Enqueue(frame.data.data(), frame.data.size())) ++m_statAudio;
}

void LocalPlayer::PauseAtEnd() {
  m_speed = m_mode.load() == kPlayReverse || m_mode.load() == kPlayStepBackward ? 0 : 5;
  m_mode = kPlayPause;
  m_resumed = true;
  if (m_observer) {
    m_observer->OnSpeedChanged(m_speed.load());
    m_observer->OnListEnd();
  }
}

bool LocalPlayer::DoSeek(Files& files, uint32_t target, LocalFrame& landed) {
  m_seekState = 4;
  // The entry holding the target, else the first one after it, else the last.
  size_t index = m_entries.size() - 1;
  for (size_t i = 0; i < m_entries.size(); ++i)
    if (target <= m_entries[i].end) {
      index = i;
      break;
    }
  for (; index < m_entries.size(); ++index) {
    if (!OpenEntry(index, files)) continue;
    const uint32_t goal = std::max(target, m_entries[index].start);
    if (FindFrameAtOrAfter(*files.idx, *files.vid, m_entries[index], goal, landed)) break;
  }
  m_seekState = 0;
  if (index >= m_entries.size()) return false;
  if (index != m_current) EnterEntry(index, false, files);
  files.pos = landed.offset;
  files.haveCursor = false;
  LocalFrame warm;
  const PlaybackEntry& e = m_entries[index];
  if (landed.video.frameSecond > e.start &&
      FindFrameAtOrAfter(*files.idx, *files.vid, e, landed.video.frameSecond - 1, warm) &&
      warm.offset < landed.offset) {
    files.pos = warm.offset;
    m_hideBeforeMs = landed.TimeMs();
  }
  m_rebase = true;
  return true;
}

// ------------------------------------------------------------- the thread

void LocalPlayer::Thread_Play() {
  pthread_setname_np(pthread_self(), "orva-local");
  if (m_options.logRecord) m_options.logRecord(1);
  Files files;
  if (!EnterEntry(m_current, false, files)) {
    Trace("LocalPlayer... the first entry cannot be opened\n");
    PauseAtEnd();
  } else if (m_entries[m_current].warmOffset < m_entries[m_current].startOffset) {
    files.pos = m_entries[m_current].warmOffset;
    m_hideBeforeMs = m_entries[m_current].startMs;
  }
  while (!m_stop.load()) {
    if (m_seekState.load() == 3) {
      const uint32_t target = m_seekTarget.load();
      const auto began = std::chrono::steady_clock::now();
      LocalFrame landed;
      const bool ok = DoSeek(files, target, landed);
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
      if (ok) {
        m_shown = landed.video.frameSecond;
        if (m_mode.load() == kPlayPause) m_mode = kPlayStepForward;  // show the picture there
      }
      if (m_observer) m_observer->OnSeekDone(target, ok ? landed.video.frameSecond : 0, ms);
      continue;
    }
    const int mode = m_mode.load();
    if (mode == kPlayPause) {
      m_stepMask = 0;
      Wait(50);
      continue;
    }
    const bool forward = mode == kPlayForward || mode == kPlayStepForward;
    const bool step = mode == kPlayStepForward || mode == kPlayStepBackward;
    LocalFrame frame;
    if (!(forward ? StepForwardFrame(files, frame) : StepBackwardFrame(files, frame))) {
      PauseAtEnd();
      continue;
    }
    // The frame counts as read: either direction goes on from it.
    auto commit = [&] {
      files.pos = frame.next;
      files.cursor = frame;
      files.cursor.data.clear();
      files.haveCursor = true;
    };
    const int speed = m_speed.load();
    if (frame.kind == LocalFrame::kAudio) {
      commit();
      if (forward && !step && speed == 1 && m_hideBeforeMs == 0)
        QueueAudio(frame);
      else
        ++m_statPassed;
      continue;
    }
    if (frame.kind != LocalFrame::kVideo || (forward && frame.video.marker == 1)) {
      commit();
      ++m_statPassed;
      continue;
    }
    if (forward && Warming(frame)) {
      commit();
      Warm(frame);
      continue;
    }
    if (!forward) m_hideBeforeMs = 0;
    const int channel = frame.info.channel & 15;
    if (step) {
      if (!(m_visible.load() & (1u << channel))) {
        commit();
        ++m_statPassed;
        continue;
      }
      if (m_stepMask & (1u << channel)) {
        // One frame per visible channel: this one is read next time.
        m_stepMask = 0;
        m_mode = kPlayPause;
        continue;
      }
      commit();
      m_stepMask = static_cast<uint16_t>(m_stepMask | (1u << channel));
      Show(frame);
      continue;
    }
    if (PassBySpeed(frame, speed)) {
      commit();
      ++m_statPassed;
      continue;
    }
    // The frame waits for its own time before it is handed over; a pause,
    // seek or stop meanwhile leaves it unread, to be read again.
    TakeReference(frame);
    Pace(frame, speed);
    if (m_stop.load() || m_seekState.load() == 3 || m_mode.load() != mode) continue;
    commit();
    Show(frame);
    SlowForBacklog(frame);
  }
  if (m_options.logRecord) m_options.logRecord(2);
}

}  // namespace orva
