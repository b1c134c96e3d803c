// A TCP server that plays the recorder's side of the protocol, one client at
// a time, for tests and for trying the client without hardware.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orva/sim/config.h"

namespace orva::sim {

struct ReceivedMessage {
  uint16_t code;
  bool audioFlag;
  uint16_t streamFlags;
  std::vector<uint8_t> payload;
};

// The camera of a steerable channel: (x, y) is the centre of the view in
// pixels of the scene, which is four times the picture's width and height;
// zoom is in percent (100 = the view is one picture of the scene, 400 = a
// quarter of it). The dome menu has rows 0-3.
struct PtzState {
  int x = 0, y = 0;
  int zoom = 100;
  bool menuOpen = false;
  int menuRow = 0;
};

class Simulator {
 public:
  explicit Simulator(SimConfig config);
  ~Simulator();  // stops
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  bool Start(std::string& error);  // binds, listens, starts the accept thread; returns at once
  void Stop();                     // closes the listener and any client, joins threads; idempotent
  uint16_t Port() const;           // the bound port (useful with port 0)
  int ClientsServed() const;       // number of clients accepted so far
  std::vector<ReceivedMessage> Received() const;  // every message received, in order
  // Blocks until a message with this code has been received (counting from the
  // start) or the timeout passes.
  bool WaitForMessage(uint16_t code, std::chrono::milliseconds timeout) const;

  // Live frames sent so far, over all clients: video frames of one channel
  // (0-15), audio frames of one channel, audio frames of all channels.
  // Channels outside 0-15 give 0.
  uint64_t VideoFramesSent(int channel) const;
  uint64_t AudioFramesSent(int channel) const;
  uint64_t AudioFramesSent() const;
  // The simulated recorder's recording state (REC_ON_REQ / REC_OFF_REQ).
  bool Recording() const;
  // The camera of a channel (0-15); a default PtzState for channels that
  // cannot be steered or are out of range.
  PtzState PtzPosition(int channel) const;
  // The recorder's setup database now (64,512 bytes, network byte order,
  // its clock field 0).
  std::vector<uint8_t> SetupImage() const;
  // The bound port of the Time-protocol server, 0 when it does not run.
  uint16_t TimePort() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orva::sim
