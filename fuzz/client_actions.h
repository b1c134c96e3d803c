// What the client asks the recorder for after the login, in the receive-loop
// target and when its seeds are recorded: the same numbering in both, so a
// recorded answer is replayed with the request that caused it.
#pragma once

#include <cstdint>

#include "orva/link/dvr_session.h"
#include "orva/media/live_controller.h"
#include "orva/recordings/download.h"
#include "orva/recordings/remote_playback.h"
#include "orva/recordings/search_controller.h"

namespace orva::fuzz {

// 2009-12-07 00:00 in wire seconds: the day the requests ask about.
inline constexpr uint32_t kRequestDay = 1260144000u;

enum ClientAction : uint8_t {
  kActLiveOnly = 0,
  kActPlayback = 1,
  kActDownload = 2,
  kActDownloadSize = 3,
  kActMonthSearch = 4,
  kActDaySearch = 5,
  kActEvents = 6,
  kActLog = 7,
  kActStatus = 8,
  kActStopLive = 9,
  kActionCount = 10,
};

// The parts of a wired client that the actions use.
struct ClientParts {
  DvrSession& session;
  LiveController& live;
  RemotePlayback& playback;
  SearchController& search;
  DownloadController& download;
};

// Runs action % kActionCount; bit 7 picks a variant where there is one.
void RunClientAction(const ClientParts& client, uint8_t action);

}  // namespace orva::fuzz
