#include "orva/sim/simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "session.h"
#include "time_server.h"

namespace orva::sim {

struct Simulator::Impl {
  SimConfig config;
  int listenFd = -1;
  uint16_t port = 0;
  std::atomic<bool> stop{false};
  std::atomic<int> served{0};
  std::thread acceptThread;

  std::mutex clientMutex;  // guards clientFd against close/reuse while Stop() shuts it
  int clientFd = -1;

  detail::StreamCounters counters;
  std::atomic<bool> recording{false};
  std::unique_ptr<detail::PtzCameras> ptz;
  std::unique_ptr<detail::Archive> archive;
  detail::RecorderLog log;
  std::unique_ptr<detail::FirmwareStore> firmware;
  std::unique_ptr<detail::SetupStore> setup;
  std::unique_ptr<detail::TimeServer> timeServer;

  mutable std::mutex receivedMutex;
  mutable std::condition_variable receivedChanged;
  std::vector<ReceivedMessage> received;

  void Record(ReceivedMessage message) {
    {
      const std::lock_guard<std::mutex> lock(receivedMutex);
      received.push_back(std::move(message));
    }
    receivedChanged.notify_all();
  }

  void AcceptLoop();
  void Serve(int fd, const std::string& peer);
};

namespace {

std::string PeerText(const sockaddr_in& addr) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &addr.sin_addr, text, sizeof(text));
  return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

void Simulator::Impl::AcceptLoop() {
  while (!stop.load()) {
    pollfd pfd{listenFd, POLLIN, 0};
    // Short polls so that Stop() is noticed promptly.
    const int ready = ::poll(&pfd, 1, 50);
    if (ready <= 0) continue;
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
        detail::LogLine(ErrnoText("accept failed"));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      continue;
    }
    served.fetch_add(1);
    Serve(fd, PeerText(addr));
  }
}

void Simulator::Impl::Serve(int fd, const std::string& peer) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  // A client that stops reading must not hold the simulator forever.
  timeval sendTimeout{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof(sendTimeout));
  {
    const std::lock_guard<std::mutex> lock(clientMutex);
    clientFd = fd;
  }
  detail::SessionContext context{config, stop,
                                 [this](ReceivedMessage m) { Record(std::move(m)); }, peer,
                                 &counters, &recording, ptz.get(), archive.get(),
                                 &log, firmware.get(), setup.get()};
  detail::ClientSession(fd, std::move(context)).Run();
  {
    const std::lock_guard<std::mutex> lock(clientMutex);
    clientFd = -1;
  }
  ::close(fd);
}

Simulator::Simulator(SimConfig config) : impl_(std::make_unique<Impl>()) {
  impl_->config = std::move(config);
  impl_->ptz = std::make_unique<detail::PtzCameras>(impl_->config);
  // A window given in days is counted back from here, once per simulator.
  impl_->archive = std::make_unique<detail::Archive>(impl_->config);
  impl_->firmware = std::make_unique<detail::FirmwareStore>(impl_->config.firmware);
  impl_->setup = std::make_unique<detail::SetupStore>(impl_->config);
  impl_->log.Add(detail::logtype::kPower, detail::logkind::kPowerOn, {});
}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(std::string& error) {
  Impl& s = *impl_;
  if (s.acceptThread.joinable()) {
    error = "simulator already running";
    return false;
  }
  if (!ValidateSimConfig(s.config, error)) return false;
  if (!s.setup->Load(error)) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(s.config.port);
  inet_pton(AF_INET, s.config.host.c_str(), &addr.sin_addr);

  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = ErrnoText("cannot create socket");
    return false;
  }
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    error = ErrnoText("cannot bind " + s.config.host + ":" + std::to_string(s.config.port));
    ::close(fd);
    return false;
  }
  if (::listen(fd, 4) != 0) {
    error = ErrnoText("cannot listen");
    ::close(fd);
    return false;
  }
  sockaddr_in bound{};
  socklen_t len = sizeof(bound);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
  s.listenFd = fd;
  s.port = ntohs(bound.sin_port);
  s.stop.store(false);
  if (s.config.setup.timePort >= 0) {
    s.timeServer = std::make_unique<detail::TimeServer>(s.config.setup.timeOffset);
    if (!s.timeServer->Start(s.config.host, static_cast<uint16_t>(s.config.setup.timePort),
                             error)) {
      s.timeServer.reset();
      ::close(s.listenFd);
      s.listenFd = -1;
      return false;
    }
  }
  s.acceptThread = std::thread([&s] { s.AcceptLoop(); });
  return true;
}

void Simulator::Stop() {
  Impl& s = *impl_;
  s.stop.store(true);
  {
    // Wakes a send that is blocked on a client that does not read.
    const std::lock_guard<std::mutex> lock(s.clientMutex);
    if (s.clientFd >= 0) ::shutdown(s.clientFd, SHUT_RDWR);
  }
  if (s.acceptThread.joinable()) s.acceptThread.join();
  if (s.timeServer) s.timeServer->Stop();
  if (s.listenFd >= 0) {
    ::close(s.listenFd);
    s.listenFd = -1;
  }
}

uint16_t Simulator::Port() const { return impl_->port; }

int Simulator::ClientsServed() const { return impl_->served.load(); }

std::vector<ReceivedMessage> Simulator::Received() const {
  const std::lock_guard<std::mutex> lock(impl_->receivedMutex);
  return impl_->received;
}

bool Simulator::WaitForMessage(uint16_t code, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->receivedMutex);
  return impl_->receivedChanged.wait_for(lock, timeout, [&] {
    return std::any_of(impl_->received.begin(), impl_->received.end(),
                       [code](const ReceivedMessage& m) { return m.code == code; });
  });
}

uint64_t Simulator::VideoFramesSent(int channel) const {
  if (channel < 0 || channel >= 16) return 0;
  return impl_->counters.video[static_cast<size_t>(channel)].load();
}

uint64_t Simulator::AudioFramesSent(int channel) const {
  if (channel < 0 || channel >= 16) return 0;
  return impl_->counters.audio[static_cast<size_t>(channel)].load();
}

uint64_t Simulator::AudioFramesSent() const {
  uint64_t total = 0;
  for (const auto& count : impl_->counters.audio) total += count.load();
  return total;
}

bool Simulator::Recording() const { return impl_->recording.load(); }

PtzState Simulator::PtzPosition(int channel) const { return impl_->ptz->Get(channel); }

std::vector<uint8_t> Simulator::SetupImage() const { return impl_->setup->Snapshot(0); }

uint16_t Simulator::TimePort() const {
  return impl_->timeServer ? impl_->timeServer->Port() : 0;
}

}  // namespace orva::sim
