#include "client_actions.h"

namespace orva::fuzz {

void RunClientAction(const ClientParts& client, uint8_t action) {
  static SearchObserver searchObserver;
  const bool variant = (action & 0x80) != 0;
  const uint32_t day = kRequestDay;
  switch (action % kActionCount) {
    case kActPlayback: {
      PlaybackRequest request{0xFFFF, 63, day, day + 3600};
      (void)client.playback.Request(request, PlaybackOrigin{});
      break;
    }
    case kActDownload: (void)client.download.Start(DownloadRange{0xFFFF, day, day + 600, 0}); break;
    case kActDownloadSize: client.download.RequestSize(DownloadRange{0x000F, day, day + 600, variant ? 2 : 0}); break;
    case kActMonthSearch:
      client.search.OpenWindow(&searchObserver, client.session.ChannelCount());
      client.search.RequestMonth(variant ? SearchFamily::kBackup : SearchFamily::kPlayback);
      break;
    case kActDaySearch:
      client.search.OpenWindow(&searchObserver, client.session.ChannelCount());
      (void)client.search.RequestDay(variant ? SearchFamily::kBackup : SearchFamily::kPlayback, 2009, 12, 7);
      break;
    case kActEvents:
      client.search.OpenWindow(&searchObserver, client.session.ChannelCount());
      if (variant)
        client.search.RequestEventPage(1, 0);
      else
        client.search.RequestEvents();
      break;
    case kActLog:
      client.search.OpenWindow(&searchObserver, client.session.ChannelCount());
      client.search.RequestLog();
      break;
    case kActStatus:
      client.search.OpenWindow(&searchObserver, client.session.ChannelCount());
      client.search.RequestStatus();
      break;
    case kActStopLive: client.live.StopLive(); break;  // nothing runs: every stream message is unexpected
    default: break;                                     // live view only
  }
}

}  // namespace orva::fuzz
