#include "fuzz_client.h"

#include <cstdio>
#include <filesystem>

namespace orva::fuzz {
namespace {

using namespace std::chrono_literals;

struct Shared {
  Shared() {
    std::string error;
    // The library next to the target, as the client finds it.
    if (!library.Load("", error)) std::fprintf(stderr, "fuzz: %s: nothing will be decoded\n", error.c_str());
    view.ShowSingle(0);  // channel 1's sound plays
  }
  H264Library library;
  std::mutex decodeLock;
  HeadlessView view;
};

Shared& Get() {
  static Shared shared;
  return shared;
}

SessionTiming Timing() {
  SessionTiming t;
  t.recvLimit = 200ms;  // the recorder has sent everything; a short read is the end
  t.connectTimeout = 2000ms;
  t.closeGrace = 0ms;
  t.pollInterval = 2ms;
  return t;
}

PlaybackTiming FastPlayback() {
  PlaybackTiming t;
  t.controlPauseMs = 1;
  t.commandSettleFastMs = 1;
  t.commandSettleSlowMs = 1;
  t.rebaseAfterMs = 20;
  return t;
}

DownloadOptions Downloads(const std::string& location) {
  DownloadOptions o;
  o.folder = (std::filesystem::path(location) / "Download").string();
  o.freeMiB = [] { return uint64_t{1} << 20; };
  return o;
}

}  // namespace

FuzzClient::FuzzClient(uint16_t port, const std::string& location, const std::string& password)
    : m_rights(this), m_download(Downloads(location)) {
  Shared& shared = Get();
  ConnectParams params{"127.0.0.1", port, "admin", password, "fuzz"};
  m_session = std::make_unique<DvrSession>(std::move(params), &m_observer, nullptr, Timing());
  m_rights.Attach(*m_session);
  m_device.Attach(*m_session);
  m_ptz.Attach(*m_session);
  m_search.Attach(*m_session);
  m_download.Attach(*m_session);
  m_live = std::make_unique<LiveController>(shared.library, shared.decodeLock, shared.view, nullptr, LiveSettings{});
  m_live->SetCovertHidden([this](int ch) { return m_rights.HidesCovert(ch); });
  m_live->Attach(*m_session);
  PlaybackHooks hooks;
  hooks.stopLive = [this] { m_live->StopLive(); };
  hooks.restartLive = [this] { m_live->StartLive(); };
  hooks.queueAudio = [this](int ch, std::span<const uint8_t> frame) { return m_live->QueueAudio(ch, frame); };
  hooks.silenceAudio = [this](bool silent) { m_live->SilenceAudio(silent); };
  hooks.drainAndStopAudio = [this] { m_live->DrainAudio(); };
  hooks.audioOn = [this] { return m_session->AudioState(); };
  m_playback = std::make_unique<RemotePlayback>(shared.library, shared.decodeLock, shared.view, std::move(hooks),
                                                nullptr, FastPlayback());
  m_playback->Attach(*m_session);
}

FuzzClient::~FuzzClient() { m_session->Close(); }

void FuzzClient::OnRightsChanged(const RightsSnapshot&, const RightsActions&) { m_live->OnRightsChanged(); }

}  // namespace orva::fuzz
