// Firmware upgrade, the recorder's side: the announcement, the image in
// FW_DATA fragments, its check and the write that takes effect at reboot.
#include "orva/sim/payloads.h"
#include "session.h"

namespace orva::sim::detail {

void PatchFirmwareBuilds(std::vector<uint8_t>& identity, const std::vector<FirmwareComponent>& installed) {
  for (const FirmwareComponent& c : installed) {
    if (c.index < 0 || static_cast<size_t>(c.index) >= kFirmwareSlots) continue;
    const size_t at = kFirmwareTimeOffset + static_cast<size_t>(c.index) * 4;
    if (at + 4 > identity.size()) continue;
    for (size_t i = 0; i < 4; ++i) identity[at + i] = static_cast<uint8_t>(c.buildTime >> (24 - 8 * i));
  }
}

bool ClientSession::OnFwUpdate(const ReceivedMessage& message) {
  const SimInfoConfig& info = context_.config.info;
  fwImage_.clear();
  fwAnnounced_ = ParseAnnouncement(message.payload);
  if (!fwAnnounced_) {
    Trace("FW_UPDATE_REQ of " + std::to_string(message.payload.size()) + " bytes refused");
    return Send(code::kFwUpdateNack, BuildResult(1));
  }
  if (info.fwUpdateNack != 0) {
    fwAnnounced_.reset();
    return Send(code::kFwUpdateNack, BuildResult(info.fwUpdateNack));
  }
  Trace("firmware component " + std::to_string(fwAnnounced_->component) + " announced");
  return Send(code::kFwUpdateAck, {});
}

bool ClientSession::OnFwData(const ReceivedMessage& message) {
  // Data without an announcement is read past, as the recorder does.
  if (!fwAnnounced_) return true;
  const SimInfoConfig& info = context_.config.info;
  // A recorder has room for one image; far more than any component is not one.
  constexpr size_t kImageLimit = 64u << 20;
  if (fwImage_.size() + message.payload.size() > kImageLimit) {
    fwAnnounced_.reset();
    fwImage_.clear();
    return Send(code::kFwDataRxFail, BuildResult(2));
  }
  fwImage_.insert(fwImage_.end(), message.payload.begin(), message.payload.end());
  if ((message.streamFlags & 0x4000) == 0) return true;

  const FirmwareAnnouncement announced = *fwAnnounced_;
  fwAnnounced_.reset();
  const std::string problem = context_.firmware->Check(announced, fwImage_);
  const size_t bytes = fwImage_.size();
  fwImage_.clear();
  if (!problem.empty() || info.fwRxFail != 0) {
    Trace("firmware image of " + std::to_string(bytes) + " bytes refused: " +
          (problem.empty() ? std::string("fault switch") : problem));
    return Send(code::kFwDataRxFail, BuildResult(info.fwRxFail != 0 ? info.fwRxFail : 3));
  }
  if (!Send(code::kFwDataRxDone, {})) return false;
  if (info.fwUpdateFail != 0) return Send(code::kFwUpdateFail, BuildResult(info.fwUpdateFail));
  context_.firmware->Stage(announced);
  context_.log->Add(logtype::kOperation, logkind::kFirmwareUpgraded, context_.firmware->Name(announced.component));
  return Send(code::kFwUpdateDone, {});
}

}  // namespace orva::sim::detail
