// Where the connection records its logon events (accepted, closed by the
// user, failed or said goodbye). The local log implements it; the link layer
// only knows this interface so that it stays below the recordings layer.
//
// Called on the connect thread, the receive thread and the UI thread; an
// implementation must be thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace orva {

enum class LogonKind : uint32_t {
  kAccepted = 1,    // the recorder accepted the login (HELLO48_ACK)
  kUserClosed = 2,  // the user closed the connection
  kFailed = 4,      // connect failed, or the recorder said goodbye (BYE48)
};

class LogonJournal {
 public:
  virtual ~LogonJournal() = default;
  virtual void WriteLogon(LogonKind kind, const std::string& user, const std::string& host) = 0;
};

}  // namespace orva
