// Follows what the recorder announces on its own after login: the user table
// with everyone's rights (RIGHT_CHANGE) and the camera names with their
// covert flags (DB_CHANGE, DB_CHANGE_UNICODE).
//
// Attach() registers the three receive handlers on a DvrSession before it
// opens. The handlers run on the receive thread; they build each new state
// aside and swap it in whole, so readers on other threads (UI, decode
// workers) always see a complete table and a complete set of titles.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include "orva/link/dvr_session.h"
#include "orva/setup/change_notice.h"
#include "orva/setup/user_rights.h"

namespace orva {

struct RightsSnapshot {
  UserRightsTable table;      // zeroed until a valid RIGHT_CHANGE arrives
  int userSlot = 0;           // the connected user's slot
  bool tableReceived = false;  // a RIGHT_CHANGE of the right size has arrived
  bool accessWithdrawn = false;
  bool Has(Right right) const { return table.Has(userSlot, right); }
};

struct CameraSnapshot {
  bool received = false;  // a DB_CHANGE of either kind has arrived
  bool unicode = false;   // names came as DB_CHANGE_UNICODE
  std::array<std::array<char, kTitleBytes>, 16> titles{};
  std::array<uint8_t, 16> covert{};  // flags of the last change record
};

// What the client must do after a RIGHT_CHANGE, for the windows that the
// rights gate. The UI carries these out on its own thread.
// kUnchanged: the search window is told nothing (the handling stopped early,
// as it does when the user's access was withdrawn).
enum class SearchAccess { kAll = 0, kBackupOnly = 1, kPlaybackOnly = 2, kNone = 3, kUnchanged = 4 };
struct RightsActions {
  // The user may no longer log in: notice 15/0 has been posted and nothing
  // else is to be done (every other member keeps its "no action" value).
  bool accessWithdrawn = false;
  bool closeSetupWindow = false;
  SearchAccess search = SearchAccess::kAll;  // kNone: close the search window
  bool stopPlayback = false;
  bool stopDownload = false;
  bool clearPlaybackState = false;
  bool stopPtz = false;
};

// Called on the receive thread; implementations record and post.
class RightsObserver {
 public:
  virtual ~RightsObserver() = default;
  virtual void OnRightsChanged(const RightsSnapshot& rights, const RightsActions& actions) {
    (void)rights;
    (void)actions;
  }
  virtual void OnCamerasChanged(const CameraSnapshot& cameras) { (void)cameras; }
  // The covert state to apply to the video windows (only for users without
  // the covert right); `changed` when it differs from the last applied state.
  virtual void OnCovertApplied(const std::array<uint8_t, 16>& covert, bool changed) {
    (void)covert;
    (void)changed;
  }
};

class RightsMonitor {
 public:
  explicit RightsMonitor(RightsObserver* observer = nullptr);

  void Attach(DvrSession& session);

  std::shared_ptr<const RightsSnapshot> Rights() const;
  std::shared_ptr<const CameraSnapshot> Cameras() const;
  bool Has(Right right) const { return Rights()->Has(right); }
  // Channel 0-15 is to stay dark for this user: marked covert by the last
  // camera-name notice while the user lacks the covert right. The predicate
  // live view filters its channel mask and frames with.
  bool HidesCovert(int channel) const;
  // The applied covert flags (all zero for users with the covert right).
  std::array<uint8_t, 16> AppliedCovert() const;

  // The handlers, public so that tests can drive them with a scripted peer.
  bool RecvFn_RightChange(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DbChange(DvrSession& session, const MessageHeader& header);

 private:
  void Publish(std::shared_ptr<const RightsSnapshot> rights);
  void Publish(std::shared_ptr<const CameraSnapshot> cameras);

  RightsObserver* const m_observer;

  mutable std::mutex m_lock;  // guards the three members below (pointer swaps only)
  std::shared_ptr<const RightsSnapshot> m_rights;
  std::shared_ptr<const CameraSnapshot> m_cameras;
  std::array<uint8_t, 16> m_appliedCovert{};

  // Receive thread only: covert flags last applied on the rights path.
  std::array<uint8_t, 16> m_rightsPathCovert{};
};

}  // namespace orva
