#include "orva/link/device_control.h"

#include "orva/link/catalogue.h"
#include "orva/link/trace.h"

#include <cstring>

namespace orva {

DeviceControl::DeviceControl(DeviceObserver* observer, Clock clock) : m_observer(observer), m_clock(std::move(clock)) {}

void DeviceControl::Attach(DvrSession& session) {
  m_session = &session;
  auto bind = [&](uint16_t code, bool (DeviceControl::*fn)(DvrSession&, const MessageHeader&)) {
    session.SetHandler(code, [this, fn](DvrSession& s, const MessageHeader& h) { return (this->*fn)(s, h); });
  };
  bind(msg::REC_ON_ACK, &DeviceControl::RecvFn_RecAck);
  bind(msg::REC_OFF_ACK, &DeviceControl::RecvFn_RecAck);
  bind(msg::REC_ON_NACK, &DeviceControl::RecvFn_RecNack);
  bind(msg::REC_OFF_NACK, &DeviceControl::RecvFn_RecNack);
  bind(msg::REC_STATUS, &DeviceControl::RecvFn_RecStatus);
  bind(msg::A_LISTEN_NACK, &DeviceControl::RecvFn_ListenNack);
  bind(msg::REBOOT_NACK, &DeviceControl::RecvFn_RebootNack);
  bind(msg::POWEROFF_NACK, &DeviceControl::RecvFn_RebootNack);
  bind(msg::DVR_TIME_ACK, &DeviceControl::RecvFn_DvrTimeAck);
  bind(msg::DST_INFO, &DeviceControl::RecvFn_DstInfo);
  // Both answers carry no payload, but one that does must still be read
  // past, or the stream would no longer be aligned on the next header.
  session.SetHandler(msg::A_LISTEN_ACK, [this](DvrSession& s, const MessageHeader& h) {
    Trace("Recv...A_LISTEN_ACK...\n");
    if (!s.Discard(h)) return false;
    if (m_observer) m_observer->OnListenAnswer(true);
    return true;
  });
  session.SetHandler(msg::REBOOT_ACK, [this](DvrSession& s, const MessageHeader& h) {
    Trace("Recv...REBOOT_ACK...\n");
    if (!s.Discard(h)) return false;
    if (m_observer) m_observer->OnRebootAccepted();
    return true;
  });
}

void DeviceControl::SetRecording(bool recording) {
  m_bRecording = recording;
  if (m_observer) m_observer->OnRecordingChanged(recording);
}

RequestOutcome DeviceControl::ToggleRecording(bool mayStopRecording,
                                              const std::function<std::optional<std::string>()>& askPassword) {
  return m_bRecording.load() ? RecordOff(mayStopRecording, askPassword) : RecordOn();
}

RequestOutcome DeviceControl::RecordOn() {
  if (!m_session || !m_session->Connected()) return RequestOutcome::kNotConnected;
  m_session->Send(msg::REC_ON_REQ);
  Trace("Send... REC_ON_REQ...\n");
  return RequestOutcome::kSent;
}

RequestOutcome DeviceControl::RecordOff(bool mayStopRecording,
                                        const std::function<std::optional<std::string>()>& askPassword) {
  if (!m_session || !m_session->Connected()) return RequestOutcome::kNotConnected;
  if (!mayStopRecording) {
    m_session->PostNotice(kNoticeNotPermitted);
    return RequestOutcome::kNotPermitted;
  }
  std::optional<std::string> typed = askPassword ? askPassword() : std::nullopt;
  if (!typed) return RequestOutcome::kCancelled;
  // Byte for byte, letter case included, against the password in use.
  if (*typed != m_session->LoginPassword()) return RequestOutcome::kWrongPassword;
  m_session->Send(msg::REC_OFF_REQ);
  Trace("Send... REC_OFF_REQ...\n");
  return RequestOutcome::kSent;
}

RequestOutcome DeviceControl::Listen(bool haveSoundOutput) {
  if (!m_session || !m_session->Connected()) return RequestOutcome::kNotConnected;
  if (m_session->Identity().account != 0) {
    m_session->PostNotice(kNoticeNotPermitted);
    return RequestOutcome::kNotPermitted;
  }
  const auto now = m_clock();
  if (m_lastListen && now - *m_lastListen < std::chrono::milliseconds(2000)) return RequestOutcome::kSuppressed;
  if (!haveSoundOutput) return RequestOutcome::kSuppressed;
  m_lastListen = now;
  m_session->Send(msg::A_LISTEN_REQ);
  Trace("Send... A_LISTEN_REQ...\n");
  return RequestOutcome::kSent;
}

RequestOutcome DeviceControl::Reboot(bool mayReboot) {
  if (!m_session || !m_session->Connected()) return RequestOutcome::kNotConnected;
  if (!mayReboot) {
    m_session->PostNotice(kNoticeNotPermitted);
    return RequestOutcome::kNotPermitted;
  }
  m_session->Send(msg::REBOOT_REQ);
  Trace("Send... REBOOT_REQ...\n");
  return RequestOutcome::kSent;
}

RequestOutcome DeviceControl::PowerOff() {
  if (!m_session || !m_session->Connected()) return RequestOutcome::kNotConnected;
  m_session->Send(msg::POWEROFF_REQ);
  Trace("Send... POWEROFF_REQ...\n");
  return RequestOutcome::kSent;
}

RequestOutcome DeviceControl::RequestTime() {
  if (!m_session || !m_session->Connected()) return RequestOutcome::kNotConnected;
  m_session->Send(msg::DVR_TIME_REQ);
  Trace("Send... DVR_TIME_REQ...\n");
  return RequestOutcome::kSent;
}

std::optional<std::vector<uint8_t>> DeviceControl::DstTable() const {
  std::lock_guard lock(m_dstLock);
  return m_dst;
}

bool DeviceControl::RecvFn_RecAck(DvrSession& session, const MessageHeader& header) {
  const bool on = header.Code() == msg::REC_ON_ACK;
  Trace(on ? "Recv...REC_ON_ACK...\n" : "Recv...REC_OFF_ACK...\n");
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  if (payload.size() < 4) return true;
  const uint32_t state = LoadBE32(payload.data());
  if (on) {
    SetRecording(state == 49 || state == 51);
  } else {
    SetRecording(!(state == 50 || state == 52));
  }
  return true;
}

bool DeviceControl::RecvFn_RecNack(DvrSession& session, const MessageHeader& header) {
  const bool on = header.Code() == msg::REC_ON_NACK;
  const int32_t result = session.ReadResultCode(header);
  switch (result) {
    case 1: session.PostNotice({5, 0}); break;
    case 65: session.PostNotice({5, 1}); break;
    case 66: session.PostNotice({5, 2}); break;
    default: Trace(on ? "RecvFn_RecOnNack... %d\n" : "RecvFn_RecOffNack... %d\n", result);
  }
  return result != kResultReadFailed;
}

bool DeviceControl::RecvFn_RecStatus(DvrSession& session, const MessageHeader& header) {
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  if (payload.size() == 16) SetRecording(LoadBE32(payload.data() + 4) < 6);
  return true;
}

bool DeviceControl::RecvFn_ListenNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  auto refused = [&](Notice notice) {
    if (m_observer) m_observer->OnListenAnswer(false);
    session.PostNotice(notice);
  };
  switch (result) {
    case 1: session.PostNotice({6, 0}); break;
    case 2: refused({6, 1}); break;
    case 53: refused({6, 4}); break;
    case 54: session.PostNotice({12, 0}); break;
    case 55: refused({12, 1}); break;
    case 98: refused({6, 6}); break;
    default: Trace("RecvFn_ListenNack... %d\n", result);
  }
  return result != kResultReadFailed;
}

bool DeviceControl::RecvFn_RebootNack(DvrSession& session, const MessageHeader& header) {
  const bool reboot = header.Code() == msg::REBOOT_NACK;
  const int32_t result = session.ReadResultCode(header);
  if (result == 1) {
    session.PostNotice({6, 0});
  } else if (result == 2) {
    session.PostNotice({6, 1});
  } else {
    Trace(reboot ? "RecvFn_RebootNack... %d\n" : "RecvFn_PowerOffNack... %d\n", result);
  }
  return result != kResultReadFailed;
}

bool DeviceControl::RecvFn_DvrTimeAck(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...DVR_TIME_ACK...\n");
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  if (payload.size() >= 4 && m_observer) m_observer->OnDvrTime(LoadBE32(payload.data()));
  return true;
}

bool DeviceControl::RecvFn_DstInfo(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...DST_INFO...\n");
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  if (payload.size() != kDstTableSize) return true;
  // The first word is kept in host order, the rest as received.
  const uint32_t first = LoadBE32(payload.data());
  std::memcpy(payload.data(), &first, 4);
  std::lock_guard lock(m_dstLock);
  m_dst = std::move(payload);
  return true;
}

}  // namespace orva
