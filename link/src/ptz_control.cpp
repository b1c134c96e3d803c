#include "orva/link/ptz_control.h"

#include "orva/link/catalogue.h"
#include "orva/link/trace.h"

namespace orva {

uint8_t PtzKeyCommand(PtzMode mode, PtzKey key) {
  static constexpr uint8_t kPan[4] = {2, 3, 1, 0};   // up, down, left, right
  static constexpr uint8_t kZoom[4] = {4, 5, 7, 6};
  const int k = static_cast<int>(key) & 3;
  return mode == PtzMode::kZoom ? kZoom[k] : kPan[k];
}

void EncodePtzMove(uint8_t command, uint16_t preset, uint8_t out[4]) {
  out[0] = command;
  out[1] = static_cast<uint8_t>(preset & 0xFF);
  out[2] = 0;
  out[3] = static_cast<uint8_t>(preset >> 8);
}

int ChoosePtzChannel(int remembered, const int* shown, int count, uint16_t videoLoss) {
  auto usable = [&](int ch) { return ch >= 0 && ch < 16 && !(videoLoss & (1u << ch)); };
  for (int i = 0; i < count; ++i)
    if (shown[i] == remembered && usable(remembered)) return remembered;
  for (int i = 0; i < count; ++i)
    if (usable(shown[i])) return shown[i];
  return -1;
}

PtzControl::PtzControl(PtzObserver* observer) : m_observer(observer) {}

void PtzControl::Attach(DvrSession& session) {
  m_session = &session;
  session.SetHandler(msg::PTZ_CHANNEL_ACK,
                     [this](DvrSession& s, const MessageHeader& h) { return RecvFn_PtzChannelAck(s, h); });
}

bool PtzControl::SelectChannel(int channel, PtzMode mode) {
  if (!m_session || channel < 0 || channel > 15) return false;
  m_channel = channel;
  m_mode = static_cast<uint8_t>(mode);
  m_availability = 0;
  const uint8_t payload[4] = {static_cast<uint8_t>(channel), static_cast<uint8_t>(mode), 0, 0};
  m_session->Send(msg::PTZ_CHANNEL_REQ, payload);
  Trace("Send...PTZ_CHANNEL_REQ...%d %d\n", channel, static_cast<int>(mode));
  return true;
}

bool PtzControl::SendMove(uint8_t command, uint16_t preset) {
  if (!m_session) return false;
  uint8_t payload[4];
  EncodePtzMove(command, preset, payload);
  m_session->Send(msg::PTZ_MOVE_REQ, payload);
  return true;
}

bool PtzControl::KeyPressed(PtzKey key) {
  if (!m_session || !m_session->LiveActive()) return false;
  const uint8_t command = PtzKeyCommand(Mode(), key);
  Trace("Send...PTZ_MOVE_REQ...%d\n", command);
  return SendMove(command, 0);
}

bool PtzControl::KeyReleased() {
  if (!m_session || !m_session->LiveActive()) return false;
  m_session->Send(msg::PTZ_MOVE_STOP);
  Trace("Send...PTZ_MOVE_STOP...\n");
  return true;
}

bool PtzControl::Preset(int action, uint16_t number, bool alternative) {
  if (!m_session || action < 1 || action > 4) return false;
  const uint8_t command = static_cast<uint8_t>(kPtzPresetBase + (action == 1 && alternative ? 4 : action));
  if (action == 2) {
    m_presetNumber = number;
    m_presetRunning = true;
  } else if (action == 3) {
    m_presetRunning = false;
    m_presetNumber = 0;
  }
  Trace("Send...PTZ_MOVE_REQ(Preset)...%d %d\n", command, number);
  return SendMove(command, number);
}

bool PtzControl::DomeMenu(uint8_t command) {
  if (!m_session || command < kPtzDomeMenuAccess || command > kPtzDomeMenuLeave) return false;
  if (command == kPtzDomeMenuAccess) m_menuMode = true;
  if (command == kPtzDomeMenuLeave) m_menuMode = false;
  const char* name = command == kPtzMenuEnter    ? "MENU_ENTER"
                     : command == kPtzMenuEscape ? "MENU_ESC"
                                                 : "DOME_MENU_ACCESS";
  Trace("Send...PTZ_MOVE_REQ(%s)...%d %d %d...\n", name, command, 0, 0);
  return SendMove(command, 0);
}

void PtzControl::ClosePanel() {
  if (m_presetRunning.load()) Preset(3, m_presetNumber.load());
  m_channel = 0;
  m_availability = 0;
  m_menuMode = false;
}

bool PtzControl::RecvFn_PtzChannelAck(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...PTZ_CHANNEL_ACK...\n");
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  const bool steerable = !payload.empty() && payload[0] == 1;
  m_availability = steerable ? 2 : 1;
  if (m_observer) m_observer->OnPtzAvailability(steerable);
  return true;
}

}  // namespace orva
