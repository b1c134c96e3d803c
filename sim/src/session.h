// One client's conversation with the simulated recorder: reads every message,
// records it, and dispatches it by code to the recorder-side handler.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "orva/sim/config.h"
#include "orva/sim/simulator.h"
#include "socket_io.h"

namespace orva::sim::detail {

struct SessionContext {
  const SimConfig& config;
  const std::atomic<bool>& stop;
  std::function<void(ReceivedMessage)> record;  // thread-safe sink of received messages
  std::string peer;                             // "address:port" for the trace
};

class ClientSession {
 public:
  ClientSession(int fd, SessionContext context);
  // Serves the client until it or the simulator ends the session. The caller
  // closes the socket afterwards.
  void Run();

 private:
  // A handler returns false to end the session.
  using Handler = bool (ClientSession::*)(const ReceivedMessage&);

  enum class Phase {
    kGreeting,  // waiting for HELLO
    kReady,     // logged in
    kSilent,    // fault: HELLO read, nothing is ever answered
  };

  bool OnHello(const ReceivedMessage& message);
  bool OnBye(const ReceivedMessage& message);

  // Login check; returns the slot or -1 with the BYE48 result to send.
  int FindSlot(const std::vector<uint8_t>& hello, int32_t& refusal) const;
  bool SendLoginAnswer(int slot);
  bool Send(uint16_t code, const std::vector<uint8_t>& payload);
  // Ends with BYE48: grace period first so the client reads the result
  // before it sees the connection close.
  bool Refuse(int32_t result);

  IoResult ReadMessage(ReceivedMessage& message, Clock::time_point hardDeadline);
  // Keeps reading and recording (without answering) until the deadline or
  // until the client closes.
  void Drain(std::chrono::milliseconds duration);
  void Trace(const std::string& line) const;

  SocketIo io_;
  SessionContext context_;
  std::unordered_map<uint16_t, Handler> handlers_;
  Phase phase_ = Phase::kGreeting;
  bool closeGracefully_ = false;  // set when the recorder side decides to end the session
};

}  // namespace orva::sim::detail
