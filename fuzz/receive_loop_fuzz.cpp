// The receive loop with every handler the client registers, fed a recorder's
// byte stream over loopback TCP. Each input is one connection, wired exactly
// as orvactl wires it (live view with the decoder library,
// playback, search, download, rights, device and PTZ control; fuzz_client.h):
//   byte 0   what the client asks for after the login (client_actions.h)
//   byte 1   the channel count the recorder announces (bits 0-1: 4, 4, 8, 16) and the
//            user's account slot (bits 2-4)
//   rest     what the recorder sends after its HELLO48_ACK, as it is
// The recorder then closes; the connection must end cleanly and Close must
// return with no thread left.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "client_actions.h"
#include "fuzz_client.h"
#include "fuzz_support.h"
#include "orva/link/catalogue.h"
#include "orva/link/identity.h"

using namespace std::chrono_literals;


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static orva::fuzz::LoopbackPeer peer;
  auto& scratch = orva::fuzz::ScratchFolder::Get();
  scratch.Reset();

  {
    orva::fuzz::FuzzClient cli(peer.Port(), scratch.Path().string());
    cli.Session().Open();
    // Generous limits: on a loaded machine starting the decode workers takes a while.
    // A login that does not come about is reported and the input skipped: it
    // says nothing about the bytes, which are only sent afterwards.
    if (!peer.Accept(10s)) {
      std::fprintf(stderr, "receive_loop_fuzz: setup: no connection (%s)\n", std::strerror(errno));
      return 0;
    }
    const int first = peer.ReadMessage(10s);
    if (first != orva::msg::HELLO) {
      std::fprintf(stderr, "receive_loop_fuzz: setup: first message %d instead of HELLO (%s), state %s\n", first,
                   std::strerror(errno), orva::StateName(cli.Session().State()));
      return 0;
    }

    orva::RecorderIdentity id;
    id.protocolMajor = 1;
    id.productNumber = 2;
    id.productMajor = 1;
    id.productMinor = 1;
    // Mostly four channels: fewer decode workers to start and stop per input.
    static const uint8_t kChannels[] = {4, 4, 8, 16};
    id.channelNum = kChannels[data[1] & 3];
    id.account = static_cast<uint8_t>((data[1] >> 2) & 7);
    const auto identity = orva::EncodeIdentity(id);
    if (!peer.Write(orva::fuzz::Message(orva::msg::HELLO48_ACK, identity))) std::abort();
    // The login is complete once live view is asked for.
    const int second = peer.ReadMessage(10s);
    if (second != orva::msg::LIVE_REQ) {
      std::fprintf(stderr, "receive_loop_fuzz: setup: message %d instead of LIVE_REQ (%s), state %s\n", second,
                   std::strerror(errno), orva::StateName(cli.Session().State()));
      return 0;
    }
    orva::fuzz::RunClientAction({cli.Session(), cli.Live(), cli.Playback(), cli.Search(), cli.Download()}, data[0]);

    // The stream goes out from a second thread so that what the client sends
    // meanwhile is read and never fills the socket.
    std::atomic<bool> written{false};
    std::thread writer([&] {
      (void)peer.Write({data + 2, size - 2});
      peer.ShutdownWrite();
      written = true;
    });
    // The loop ends by itself once it has read everything, unless a handler
    // is still pacing playback frames: then Close ends it, as a user would.
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!peer.DrainUntilClosed(5ms) && std::chrono::steady_clock::now() < deadline)
      if (written && !cli.Session().ReceiveThreadRunning()) break;
    cli.Session().Close();
    writer.join();
    if (cli.Session().ReceiveThreadRunning() || cli.Session().State() != orva::SessionState::kIdle) std::abort();
  }
  peer.CloseClient();
  return 0;
}
