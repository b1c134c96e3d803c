#include "orva/setup/rights_monitor.h"

#include <cctype>
#include <string>

#include "orva/link/catalogue.h"
#include "orva/link/trace.h"

namespace orva {

RightsMonitor::RightsMonitor(RightsObserver* observer)
    : m_observer(observer),
      m_rights(std::make_shared<const RightsSnapshot>()),
      m_cameras(std::make_shared<const CameraSnapshot>()) {}

void RightsMonitor::Attach(DvrSession& session) {
  session.SetHandler(msg::RIGHT_CHANGE,
                     [this](DvrSession& s, const MessageHeader& h) { return RecvFn_RightChange(s, h); });
  auto change = [this](DvrSession& s, const MessageHeader& h) { return RecvFn_DbChange(s, h); };
  session.SetHandler(msg::DB_CHANGE, change);
  session.SetHandler(msg::DB_CHANGE_UNICODE, change);
}

std::shared_ptr<const RightsSnapshot> RightsMonitor::Rights() const {
  std::lock_guard lock(m_lock);
  return m_rights;
}

std::shared_ptr<const CameraSnapshot> RightsMonitor::Cameras() const {
  std::lock_guard lock(m_lock);
  return m_cameras;
}

bool RightsMonitor::HidesCovert(int channel) const {
  if (channel < 0 || channel >= 16) return false;
  return !Has(Right::kCovert) && Cameras()->covert[static_cast<size_t>(channel)] == 1;
}

std::array<uint8_t, 16> RightsMonitor::AppliedCovert() const {
  std::lock_guard lock(m_lock);
  return m_appliedCovert;
}

void RightsMonitor::Publish(std::shared_ptr<const RightsSnapshot> rights) {
  std::lock_guard lock(m_lock);
  m_rights = std::move(rights);
}

void RightsMonitor::Publish(std::shared_ptr<const CameraSnapshot> cameras) {
  std::lock_guard lock(m_lock);
  m_cameras = std::move(cameras);
}

bool RightsMonitor::RecvFn_DbChange(DvrSession& session, const MessageHeader& header) {
  const bool unicode = header.Code() == msg::DB_CHANGE_UNICODE;
  Trace(unicode ? "Recv...DB_CHANGE_UNICODE...\n" : "Recv...DB_CHANGE...\n");
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;

  CameraNotice notice;
  std::string error;
  const bool parsed = unicode ? ParseDbChangeUnicode(payload, notice, error) : ParseDbChange(payload, notice, error);
  auto previous = Cameras();
  auto next = std::make_shared<CameraSnapshot>(*previous);
  next->unicode = unicode;
  if (!parsed) {
    // Only the names-are-Unicode flag follows a record of the wrong size.
    Publish(std::shared_ptr<const CameraSnapshot>(next));
    return true;
  }
  next->received = true;
  next->titles = notice.titles;
  next->covert = notice.covert;
  Publish(std::shared_ptr<const CameraSnapshot>(next));
  if (m_observer) m_observer->OnCamerasChanged(*next);

  const bool covertRight = Rights()->Has(Right::kCovert);
  std::array<uint8_t, 16> applied{};
  bool changed = false;
  {
    std::lock_guard lock(m_lock);
    if (!covertRight) {
      for (int ch = 0; ch < 16; ++ch) {
        applied[ch] = notice.covert[ch] == 1 ? 1 : 0;
        changed |= applied[ch] != m_appliedCovert[ch];
      }
    }
    m_appliedCovert = covertRight ? std::array<uint8_t, 16>{} : notice.covert;
  }
  if (!covertRight && m_observer) m_observer->OnCovertApplied(applied, changed);
  return true;
}

bool RightsMonitor::RecvFn_RightChange(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...RIGHT_CHANGE...\n");
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;

  auto previous = Rights();
  auto next = std::make_shared<RightsSnapshot>();
  next->userSlot = previous->userSlot;
  next->accessWithdrawn = previous->accessWithdrawn;
  std::string error;
  if (!ParseUserRightsTable(payload, next->table, error)) {
    // Every right reads as 0 until the next valid table.
    next->table = UserRightsTable{};
    Publish(std::shared_ptr<const RightsSnapshot>(next));
    return true;
  }
  next->tableReceived = true;

  const int slot = FindUserSlot(next->table, session.User());
  if (slot >= 0) {
    if (!next->table.Has(slot, Right::kAccess) || next->table.Level(slot) == 0) {
      next->accessWithdrawn = true;
      Publish(std::shared_ptr<const RightsSnapshot>(next));
      session.PostNotice(kNoticeNotPermitted);
      // The handling ends here: in particular the search window must not be
      // told that everything is allowed.
      RightsActions none;
      none.accessWithdrawn = true;
      none.search = SearchAccess::kUnchanged;
      if (m_observer) m_observer->OnRightsChanged(*next, none);
      return true;
    }
    next->userSlot = slot;
    // A later reconnection logs in with the new password, lower-cased like
    // HELLO sends it. The whole text replaces the old one.
    std::string password = next->table.Password(slot);
    for (char& c : password) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    session.ReplaceLoginPassword(password);
  }
  Publish(std::shared_ptr<const RightsSnapshot>(next));

  RightsActions actions;
  actions.closeSetupWindow = !next->Has(Right::kSetup);
  const bool pb = next->Has(Right::kPlayback);
  const bool bk = next->Has(Right::kBackup);
  if (!pb && !bk) {
    actions.search = SearchAccess::kNone;
    actions.stopPlayback = true;
    actions.stopDownload = true;
  } else if (!pb) {
    actions.search = SearchAccess::kBackupOnly;
    actions.stopPlayback = true;
  } else if (!bk) {
    actions.search = SearchAccess::kPlaybackOnly;
    actions.stopDownload = true;
  }
  actions.clearPlaybackState = !pb;
  actions.stopPtz = !next->Has(Right::kPtz);
  if (m_observer) m_observer->OnRightsChanged(*next, actions);

  if (next->Has(Right::kCovert)) return true;
  // Without the covert right, re-apply the last change record's flags.
  const auto cameras = Cameras();
  std::array<uint8_t, 16> applied{};
  bool changed = false;
  for (int ch = 0; ch < 16; ++ch) {
    applied[ch] = cameras->covert[ch] == 1 ? 1 : 0;
    changed |= applied[ch] != m_rightsPathCovert[ch];
  }
  m_rightsPathCovert = applied;
  {
    std::lock_guard lock(m_lock);
    m_appliedCovert = cameras->covert;
  }
  if (m_observer) m_observer->OnCovertApplied(applied, changed);
  return true;
}

}  // namespace orva
