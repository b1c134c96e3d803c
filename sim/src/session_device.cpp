// Device control: recording on/off, listen, reboot, power-off and the clock.
#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "session.h"

namespace orva::sim::detail {

bool ClientSession::OnRecOn(const ReceivedMessage&) {
  const SimConfig& config = context_.config;
  auto lock = link_.LockForControl();
  if (config.recOnNack != 0) return SendLocked(code::kRecOnNack, BuildResult(config.recOnNack));
  context_.recording->store(true);
  context_.log->Add(logtype::kRecord, logkind::kRecordStart, userName_);
  return SendLocked(code::kRecOnAck, BuildWord(kRecordingStarted)) &&
         SendLocked(code::kRecStatus, BuildRecStatus(true));
}

bool ClientSession::OnRecOff(const ReceivedMessage&) {
  const SimConfig& config = context_.config;
  auto lock = link_.LockForControl();
  if (config.recOffNack != 0) {
    return SendLocked(code::kRecOffNack, BuildResult(config.recOffNack));
  }
  context_.recording->store(false);
  context_.log->Add(logtype::kRecord, logkind::kRecordStop, userName_);
  return SendLocked(code::kRecOffAck, BuildWord(kRecordingStopped)) &&
         SendLocked(code::kRecStatus, BuildRecStatus(false));
}

bool ClientSession::OnListen(const ReceivedMessage&) {
  const int32_t refusal = context_.config.listenNack;
  if (refusal != 0) return Send(code::kListenNack, BuildResult(refusal));
  return Send(code::kListenAck, {});
}

bool ClientSession::OnDvrTime(const ReceivedMessage&) {
  return Send(code::kDvrTimeAck, BuildWord(WireNow()));
}

bool ClientSession::OnReboot(const ReceivedMessage&) {
  // The simulated recorder comes straight back up.
  // The log has no kind for a remote reboot; the shut-down record says who.
  const std::string by = "remote reboot by " + userName_;
  LogLogout();
  context_.log->Add(logtype::kPower, logkind::kPowerOff, by);
  context_.log->Add(logtype::kPower, logkind::kPowerOn, {});
  // Firmware taken since the last start runs from now on.
  context_.firmware->Reboot();
  return AckAndClose(code::kRebootAck);
}

bool ClientSession::OnPowerOff(const ReceivedMessage&) {
  const std::string by = "remote power-off by " + userName_;
  LogLogout();
  context_.log->Add(logtype::kPower, logkind::kPowerOff, by);
  return AckAndClose(code::kPowerOffAck);
}

bool ClientSession::AckAndClose(uint16_t ack) {
  {
    // Streaming stops first, so the answer is the last thing the client gets.
    auto lock = link_.LockForControl();
    if (streamer_) streamer_->StopLocked();
    if (playback_) playback_->StopLocked();
    if (transfer_) {
      transfer_->StopLocked();
      transfer_->CancelEstimateLocked();
    }
    if (!SendLocked(ack, {})) return false;
  }
  StopStreaming();
  Trace("going down, closing the connection");
  closeGracefully_ = true;
  Drain(kByeGrace);
  return false;
}

}  // namespace orva::sim::detail
