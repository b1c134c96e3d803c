// Test helpers: a scripted recorder on a loopback socket that the test
// drives byte by byte, hand-written frame bytes (independent of the client's
// own encoder), and observers that record what the client reports.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "orva/link/dvr_session.h"

namespace orva::test {

using namespace std::chrono_literals;

// Bytes of one message as the recorder would put them on the wire.
std::vector<uint8_t> Frame(uint16_t code, const std::vector<uint8_t>& payload, uint16_t streamFlags = 0x4000,
                           bool audio = false);
std::vector<uint8_t> Be32(int32_t value);

struct WireMessage {
  uint16_t control = 0;
  uint16_t code = 0;
  uint16_t streamFlags = 0;
  std::vector<uint8_t> header;  // the 16 raw bytes
  std::vector<uint8_t> payload;
};

// A loopback TCP listener standing in for the recorder. Accepts one client.
class ScriptedRecorder {
 public:
  ScriptedRecorder();
  ~ScriptedRecorder();
  uint16_t Port() const { return m_port; }
  bool Accept(std::chrono::milliseconds timeout = 5s);
  bool Write(const std::vector<uint8_t>& bytes);
  // Reads one whole message from the client; false on timeout or close.
  bool ReadMessage(WireMessage& out, std::chrono::milliseconds timeout = 5s);
  // True when the client has closed its side (a read returns 0) within timeout.
  bool WaitForClientClose(std::chrono::milliseconds timeout = 5s);
  void CloseClient();
  // Connects HELLO48_ACK for a family-2 recorder with `channels`.
  static std::vector<uint8_t> IdentityPayload(uint8_t productNumber = 2, uint8_t channels = 16,
                                              uint8_t major = 1, uint8_t minor = 1);

 private:
  bool ReadExact(uint8_t* buffer, size_t count, std::chrono::steady_clock::time_point deadline);
  int m_listen = -1;
  int m_client = -1;
  uint16_t m_port = 0;
};

// Records every observer call; Wait* helpers block until a condition holds.
class RecordingObserver : public SessionObserver {
 public:
  void OnNotice(Notice notice) override;
  void OnStateChanged(SessionState state) override;
  void OnIdentity(const RecorderIdentity& identity) override;
  void OnConnectFailed(int error) override;
  void OnAudioIndicator(bool on) override;

  bool WaitForNotice(Notice notice, std::chrono::milliseconds timeout = 5s);
  bool WaitForIdentity(std::chrono::milliseconds timeout = 5s);
  bool WaitForState(SessionState state, std::chrono::milliseconds timeout = 5s);
  std::vector<Notice> Notices() const;
  std::vector<SessionState> States() const;
  int ConnectError() const;
  std::vector<bool> AudioIndicators() const;

 private:
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Notice> m_notices;
  std::vector<SessionState> m_states;
  std::vector<bool> m_audio;
  bool m_identity = false;
  int m_connectError = 0;
};

// A logon journal that keeps entries in memory.
class MemoryJournal : public LogonJournal {
 public:
  struct Entry {
    LogonKind kind;
    std::string user, host;
  };
  void WriteLogon(LogonKind kind, const std::string& user, const std::string& host) override;
  std::vector<Entry> Entries() const;

 private:
  mutable std::mutex m_lock;
  std::vector<Entry> m_entries;
};

// Timing for tests: short grace and limits so that failures show quickly.
SessionTiming FastTiming();

}  // namespace orva::test
