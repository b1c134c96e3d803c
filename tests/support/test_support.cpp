#include "test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>

namespace orva::test {

std::vector<uint8_t> Be32(int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

std::vector<uint8_t> Frame(uint16_t code, const std::vector<uint8_t>& payload, uint16_t streamFlags, bool audio) {
  const uint16_t control = static_cast<uint16_t>((code << 7) | (audio ? 0x08 : 0));
  const uint16_t length = static_cast<uint16_t>(payload.size());
  std::vector<uint8_t> out(16 + payload.size(), 0);
  out[2] = uint8_t(control >> 8);
  out[3] = uint8_t(control);
  out[4] = uint8_t(streamFlags >> 8);
  out[5] = uint8_t(streamFlags);
  out[6] = uint8_t(length >> 8);
  out[7] = uint8_t(length);
  std::copy(payload.begin(), payload.end(), out.begin() + 16);
  return out;
}

ScriptedRecorder::ScriptedRecorder() {
  m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(m_listen, 4);
  socklen_t len = sizeof addr;
  getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);
}

ScriptedRecorder::~ScriptedRecorder() {
  CloseClient();
  if (m_listen >= 0) ::close(m_listen);
}

bool ScriptedRecorder::Accept(std::chrono::milliseconds timeout) {
  pollfd p{m_listen, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
  m_client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
  return m_client >= 0;
}

bool ScriptedRecorder::Write(const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(m_client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool ScriptedRecorder::ReadExact(uint8_t* buffer, size_t count, std::chrono::steady_clock::time_point deadline) {
  size_t got = 0;
  while (got < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{m_client, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
    ssize_t n = ::recv(m_client, buffer + got, count - got, 0);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool ScriptedRecorder::ReadMessage(WireMessage& out, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  out.header.assign(16, 0);
  if (!ReadExact(out.header.data(), 16, deadline)) return false;
  out.control = static_cast<uint16_t>((out.header[2] << 8) | out.header[3]);
  out.code = static_cast<uint16_t>(out.control >> 7);
  out.streamFlags = static_cast<uint16_t>((out.header[4] << 8) | out.header[5]);
  size_t length = static_cast<size_t>((out.header[6] << 8) | out.header[7]);
  out.payload.assign(length, 0);
  return length == 0 || ReadExact(out.payload.data(), length, deadline);
}

bool ScriptedRecorder::WaitForClientClose(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  uint8_t scratch[256];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{m_client, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
    ssize_t n = ::recv(m_client, scratch, sizeof scratch, 0);
    if (n <= 0) return true;
  }
}

void ScriptedRecorder::CloseClient() {
  if (m_client >= 0) ::close(m_client);
  m_client = -1;
}

std::vector<uint8_t> ScriptedRecorder::IdentityPayload(uint8_t productNumber, uint8_t channels, uint8_t major,
                                                       uint8_t minor) {
  std::vector<uint8_t> p(768, 0);
  p[0] = 1;
  p[1] = 0;
  p[2] = productNumber;
  p[3] = major;
  p[4] = minor;
  p[5] = 3;
  p[6] = channels;
  p[7] = 0;
  const uint8_t mac[6] = {0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E};
  std::memcpy(p.data() + 8, mac, 6);
  std::memcpy(p.data() + 48, "MAIN_NAME", 9);
  // 2009-12-07 10:15:30 as wire seconds
  const uint32_t t = 1260180930u;
  p[688] = uint8_t(t >> 24);
  p[689] = uint8_t(t >> 16);
  p[690] = uint8_t(t >> 8);
  p[691] = uint8_t(t);
  return p;
}

void RecordingObserver::OnNotice(Notice notice) {
  std::lock_guard lock(m_lock);
  m_notices.push_back(notice);
  m_changed.notify_all();
}
void RecordingObserver::OnStateChanged(SessionState state) {
  std::lock_guard lock(m_lock);
  m_states.push_back(state);
  m_changed.notify_all();
}
void RecordingObserver::OnIdentity(const RecorderIdentity&) {
  std::lock_guard lock(m_lock);
  m_identity = true;
  m_changed.notify_all();
}
void RecordingObserver::OnConnectFailed(int error) {
  std::lock_guard lock(m_lock);
  m_connectError = error;
  m_changed.notify_all();
}
void RecordingObserver::OnAudioIndicator(bool on) {
  std::lock_guard lock(m_lock);
  m_audio.push_back(on);
  m_changed.notify_all();
}

bool RecordingObserver::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_lock);
  return m_changed.wait_for(lock, timeout, done);
}
bool RecordingObserver::WaitForNotice(Notice notice, std::chrono::milliseconds timeout) {
  return WaitFor([&] {
    for (Notice n : m_notices)
      if (n == notice) return true;
    return false;
  }, timeout);
}
bool RecordingObserver::WaitForIdentity(std::chrono::milliseconds timeout) {
  return WaitFor([&] { return m_identity; }, timeout);
}
bool RecordingObserver::WaitForState(SessionState state, std::chrono::milliseconds timeout) {
  return WaitFor([&] { return !m_states.empty() && m_states.back() == state; }, timeout);
}
std::vector<Notice> RecordingObserver::Notices() const {
  std::lock_guard lock(m_lock);
  return m_notices;
}
std::vector<SessionState> RecordingObserver::States() const {
  std::lock_guard lock(m_lock);
  return m_states;
}
int RecordingObserver::ConnectError() const {
  std::lock_guard lock(m_lock);
  return m_connectError;
}
std::vector<bool> RecordingObserver::AudioIndicators() const {
  std::lock_guard lock(m_lock);
  return m_audio;
}

void MemoryJournal::WriteLogon(LogonKind kind, const std::string& user, const std::string& host) {
  std::lock_guard lock(m_lock);
  m_entries.push_back({kind, user, host});
}
std::vector<MemoryJournal::Entry> MemoryJournal::Entries() const {
  std::lock_guard lock(m_lock);
  return m_entries;
}

SessionTiming FastTiming() {
  SessionTiming t;
  t.recvLimit = 2000ms;
  t.connectTimeout = 2000ms;
  t.closeGrace = 50ms;
  t.pollInterval = 20ms;
  return t;
}

}  // namespace orva::test
