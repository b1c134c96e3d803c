// Writes the seed corpora of the fuzz targets into <out>/<target>/.
//
// The recorder's side comes from the simulator: each client action of
// client_actions.h is run once by the real client through a relay that
// records what the simulator sends. The recorded streams seed the receive
// loop and the fragment target, and the messages cut out of them seed the
// parsers of their payloads. Files come from the client's own writers
// (local log, connection history, downloaded pair, pictures).
//
//   make_fuzz_corpus <out>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "client_actions.h"
#include "connect_history.h"
#include "fuzz_client.h"
#include "fuzz_support.h"
#include "orva/link/catalogue.h"
#include "orva/link/wire.h"
#include "orva/media/stream_frames.h"
#include "orva/recordings/backup_files.h"
#include "orva/recordings/local_files.h"
#include "orva/recordings/local_log.h"
#include "orva/sim/firmware_files.h"
#include "orva/sim/payloads.h"
#include "orva/sim/simulator.h"
#if ORVA_HAVE_PICTURES
#include <QGuiApplication>
#include <QImage>

#include "orva/pictures/snapshot.h"
#endif

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

fs::path g_out;
size_t g_total = 0;

void Save(const std::string& target, const std::string& name, const Bytes& bytes) {
  fs::create_directories(g_out / target);
  std::ofstream(g_out / target / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  g_total += bytes.size();
}

Bytes Prefixed(std::initializer_list<uint8_t> head, const Bytes& body, size_t limit = SIZE_MAX) {
  Bytes out(head);
  out.insert(out.end(), body.begin(), body.begin() + static_cast<long>(std::min(limit, body.size())));
  return out;
}

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Passes bytes between one client and the simulator, keeping a copy of what
// the simulator sends.
class Relay {
 public:
  explicit Relay(uint16_t target) : m_target(target) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(m_listen, 1);
    socklen_t len = sizeof addr;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { Run(); });
  }
  ~Relay() {
    m_thread.join();
    ::close(m_listen);
  }
  uint16_t Port() const { return m_port; }
  // How many bytes the simulator has sent so far.
  size_t Mark() {
    std::lock_guard lock(m_lock);
    return m_down.size();
  }
  Bytes Recorded() {
    std::lock_guard lock(m_lock);
    return m_down;
  }

 private:
  void Run() {
    pollfd p{m_listen, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return;
    const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(m_target);
    if (::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(client);
      ::close(server);
      return;
    }
    uint8_t buffer[65536];
    for (;;) {
      pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(fds, 2, 10000) <= 0) break;
      if (fds[0].revents) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0 || ::send(server, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) break;
      }
      if (fds[1].revents) {
        const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        {
          std::lock_guard lock(m_lock);
          m_down.insert(m_down.end(), buffer, buffer + n);
        }
        if (::send(client, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) break;
      }
    }
    ::close(client);
    ::close(server);
  }

  uint16_t m_target;
  uint16_t m_port = 0;
  int m_listen = -1;
  std::thread m_thread;
  std::mutex m_lock;
  Bytes m_down;
};

struct WireMessage {
  orva::MessageHeader header;
  Bytes bytes;    // header and payload as sent
  Bytes payload;
};

std::vector<WireMessage> Split(const Bytes& stream) {
  std::vector<WireMessage> out;
  for (size_t at = 0; at + orva::kHeaderSize <= stream.size();) {
    WireMessage m;
    m.header = orva::DecodeHeader(stream.data() + at);
    const size_t end = at + orva::kHeaderSize + m.header.length;
    if (end > stream.size()) break;
    m.bytes.assign(stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(end));
    m.payload.assign(m.bytes.begin() + orva::kHeaderSize, m.bytes.end());
    out.push_back(std::move(m));
    at = end;
  }
  return out;
}

// The blocks of one fragmented message code, reassembled.
std::vector<Bytes> Blocks(const std::vector<WireMessage>& messages, uint16_t code) {
  std::vector<Bytes> out;
  Bytes open;
  for (const auto& m : messages) {
    if (m.header.Code() != code) continue;
    open.insert(open.end(), m.payload.begin(), m.payload.end());
    if (m.header.IsLastFragment()) out.push_back(std::move(open)), open.clear();
  }
  return out;
}

const WireMessage* First(const std::vector<WireMessage>& messages, uint16_t code) {
  for (const auto& m : messages)
    if (m.header.Code() == code) return &m;
  return nullptr;
}

// The shortest blocks first: small seeds reach the same code as big ones.
std::vector<Bytes> Smallest(std::vector<Bytes> blocks, size_t count) {
  std::sort(blocks.begin(), blocks.end(), [](const Bytes& a, const Bytes& b) { return a.size() < b.size(); });
  blocks.resize(std::min(count, blocks.size()));
  return blocks;
}

orva::sim::SimConfig SimulatorConfig() {
  orva::sim::SimConfig c;
  c.port = 0;
  c.channels = 4;
  c.fast = true;
  c.framesPerChannel = 4;
  c.video.fps = 2;
  c.video.bitrateKbps = 32;
  c.video.loopSeconds = 1;
  c.video.fragmentBytes = 1500;  // several fragments per picture
  c.archive.start = orva::fuzz::kRequestDay;
  c.archive.end = orva::fuzz::kRequestDay + 2 * 3600;
  c.archive.searchFragmentBytes = 1024;
  c.archive.playFailFrames = 6;  // playback ends by itself
  c.archive.transFailFrames = 6;
  c.info.logEvents = 20;
  c.info.statusDevices = 2;
  return c;
}

// Runs one client action through the relay; returns what the simulator sent
// and, in `mark`, how much of it came before the action.
Bytes Record(uint16_t simPort, uint8_t action, const fs::path& location, size_t& mark) {
  Relay relay(simPort);
  {
    orva::fuzz::FuzzClient cli(relay.Port(), location.string(), "4711");
    cli.Session().Open();
    for (int i = 0; i < 200 && cli.Session().State() != orva::SessionState::kReady; ++i)
      std::this_thread::sleep_for(10ms);
    if (cli.Session().State() != orva::SessionState::kReady) {
      std::fprintf(stderr, "make_fuzz_corpus: the simulator did not accept the login\n");
      return {};
    }
    // The corpus client has no sound output, so it asks for the sound itself
    // (what the audio button sends once live view runs).
    if (action == orva::fuzz::kActLiveOnly) cli.Session().Send(orva::msg::AUDIO_ONOFF_REQ, {}, true);
    std::this_thread::sleep_for(300ms);
    mark = relay.Mark();
    orva::fuzz::RunClientAction({cli.Session(), cli.Live(), cli.Playback(), cli.Search(), cli.Download()}, action);
    std::this_thread::sleep_for(1200ms);
    cli.Session().Close();
  }
  return relay.Recorded();
}

// What the receive-loop target replays: for live view the stream after the
// login answer, for the other requests what came after the request (the
// answers, not more live pictures), at most 16 KB of whole messages.
void StreamSeeds(uint8_t action, const Bytes& stream, size_t mark) {
  Bytes replay, fragments;
  size_t at = 0;
  bool seenLogin = false;
  for (const auto& m : Split(stream)) {
    const bool wanted = action == orva::fuzz::kActLiveOnly ? seenLogin : at >= mark;
    if (wanted && replay.size() + m.bytes.size() <= 16 * 1024) replay.insert(replay.end(), m.bytes.begin(), m.bytes.end());
    if (wanted && fragments.size() + m.bytes.size() <= 4 * 1024) fragments.insert(fragments.end(), m.bytes.begin(), m.bytes.end());
    seenLogin = seenLogin || m.header.Code() == orva::msg::HELLO48_ACK;
    at += m.bytes.size();
  }
  if (replay.empty()) return;
  const std::string name = "action" + std::to_string(action);
  Save("receive_loop_fuzz", name, Prefixed({action, 0x00}, replay));  // four channels, account 0
  Save("fragments_fuzz", name, Prefixed({static_cast<uint8_t>(action & 1 ? 0x01 : 0x20)}, fragments));
}

// setup_edit_fuzz: what a user types after `orvactl setup set`, behind the
// channel-count/account byte and the selected rows.
void EditSeeds() {
  auto seed = [](const char* name, std::initializer_list<uint8_t> head, std::string_view lines) {
    Save("setup_edit_fuzz", name, Prefixed(head, Bytes(lines.begin(), lines.end())));
  };
  seed("pages", {0x02, 0x03, 0x00}, "hue.1=40\ncamera_name.3=Gate\nrecord_mode_1_resolution.5=CIF\nvideo_standard=PAL\n");
  seed("accounts", {0x10, 0x00, 0x00},
       "user_id.4=bob\nuser_password.4=secret\npriority_list.2=6\nspot_sequence_mode=1\nspot_dwell_time.2=15\n"
       "dst_start_month=1\n");
  seed("grid", {0x00, 0xFF, 0xFF},
       "record_mode_2_rate.1=3\nptz_protocol.2=1\nchannel_assignment.1.2=3\nmotion_area.3.2=10101010101\n"
       "recording_schedule.2.13=on\n");
}

void PayloadSeeds(const std::vector<WireMessage>& messages) {
  if (auto* m = First(messages, orva::msg::HELLO48_ACK)) Save("identity_fuzz", "hello48_ack", m->payload);
  if (auto* m = First(messages, orva::msg::RIGHT_CHANGE)) Save("rights_names_fuzz", "right_change", Prefixed({0}, m->payload));
  if (auto* m = First(messages, orva::msg::DB_CHANGE)) Save("rights_names_fuzz", "db_change", Prefixed({2}, m->payload));
  if (auto* m = First(messages, orva::msg::DB_CHANGE_UNICODE))
    Save("rights_names_fuzz", "db_change_unicode", Prefixed({3}, m->payload));

  // Audio blocks are larger than the smallest video parts, so they are looked
  // for among all blocks, not only the smallest.
  for (const Bytes& block : Blocks(messages, orva::msg::LIVE_DATA)) {
    const orva::LiveBlock live = orva::ParseLiveBlock(block);
    if (live.kind != orva::LiveBlockKind::kAudio) continue;
    Save("stream_records_fuzz", "live_audio", Prefixed({1}, block));
    Save("adpcm_fuzz", "frame", Bytes(live.frame.begin(), live.frame.end()));
    break;
  }
  int video = 0;
  for (const Bytes& block : Smallest(Blocks(messages, orva::msg::LIVE_DATA), 40)) {
    const orva::LiveBlock live = orva::ParseLiveBlock(block);
    if (live.kind != orva::LiveBlockKind::kVideo || video >= 2) continue;
    Save("stream_records_fuzz", "live_video" + std::to_string(video), Prefixed({1}, block));
    // Size 352 x 240, no field mode, a whole output buffer.
    Save("decoder_fuzz", (live.info.keyFrame ? "key" : "part") + std::to_string(video),
         Prefixed({0, 0x80}, Bytes(live.frame.begin(), live.frame.end())));
    ++video;
  }
}

void PlaybackSeeds(const std::vector<WireMessage>& messages) {
  int n = 0;
  for (const Bytes& record : Smallest(Blocks(messages, orva::msg::PLAY_DATA), 3))
    Save("stream_records_fuzz", "play_record" + std::to_string(n++), Prefixed({0}, record));
}

void InfoSeeds(const std::vector<WireMessage>& messages) {
  for (const Bytes& block : Blocks(messages, orva::msg::LOG_INFO_ACK)) {
    // A few whole records are enough.
    const size_t recordSize = block.size() >= 8 ? orva::LoadBE32(block.data() + 4) : 0;
    const size_t keep = recordSize ? std::min(block.size(), recordSize * 6) : block.size();
    Save("log_status_fuzz", "log", Prefixed({0}, block, keep));
    break;
  }
  for (const Bytes& block : Blocks(messages, orva::msg::STATUS_INFO_ACK)) {
    Save("log_status_fuzz", "status", Prefixed({1}, block));
    break;
  }
}

// The downloaded pair in the target's form: 2-byte cut, the start of the
// index (header, summary, two segment slots) and its trailer, then the data
// file up to a frame boundary with its trailer.
void PairSeed(const fs::path& downloads) {
  for (const auto& entry : fs::directory_iterator(downloads)) {
    if (entry.path().extension() != ".idx") continue;
    fs::path vidPath = entry.path();
    vidPath.replace_extension(".vid");
    const Bytes idx = ReadAll(entry.path());
    const Bytes vid = ReadAll(vidPath);
    if (idx.size() < orva::kSeekTableOffset + orva::kTrailerSize || vid.size() < 2 * orva::kTrailerSize) continue;
    Bytes idxPart(idx.begin(), idx.begin() + orva::kSegmentSlotsOffset + 2 * orva::kSegmentRecordSize);
    idxPart.insert(idxPart.end(), idx.end() - orva::kTrailerSize, idx.end());
    auto reader = orva::MemoryReader(vid);
    const uint64_t limit = vid.size() - orva::kTrailerSize;
    uint64_t cut = orva::kPairHeaderSize;
    orva::LocalFrame frame;
    while (cut < 12 * 1024 && orva::ReadFrameAt(*reader, cut, limit, frame, false)) cut = frame.next;
    Bytes vidPart(vid.begin(), vid.begin() + static_cast<long>(cut));
    vidPart.insert(vidPart.end(), vid.end() - orva::kTrailerSize, vid.end());
    Bytes seed{static_cast<uint8_t>(idxPart.size() >> 8), static_cast<uint8_t>(idxPart.size())};
    seed.insert(seed.end(), idxPart.begin(), idxPart.end());
    seed.insert(seed.end(), vidPart.begin(), vidPart.end());
    Save("backup_files_fuzz", "download", seed);
    return;
  }
  std::fprintf(stderr, "make_fuzz_corpus: the download wrote no pair\n");
}

// Payloads built by the simulator's own encoders where a recording has none:
// the Unicode names, the setup database (the part the client reads) and the
// heads of its sample firmware files behind its identity record.
void SetupAndFirmwareSeeds(const orva::sim::Simulator& simulator, const fs::path& scratch) {
  const orva::sim::SimConfig config = SimulatorConfig();
  Save("rights_names_fuzz", "db_change_unicode", Prefixed({3}, orva::sim::BuildDbChangeUnicode(config)));
  const Bytes image = simulator.SetupImage();
  Save("setup_database_fuzz", "simulator", Bytes(image.begin(), image.begin() + std::min<size_t>(image.size(), 0x1A40)));
  std::vector<std::string> files;
  std::string error;
  if (!orva::sim::WriteSampleFirmware(config, (scratch / "upgrade").string(), files, error)) {
    std::fprintf(stderr, "make_fuzz_corpus: firmware: %s\n", error.c_str());
    return;
  }
  const Bytes identity = orva::sim::BuildHello48Ack(config, 0);
  int n = 0;
  for (const std::string& file : files) {
    Bytes head = ReadAll(file);
    head.resize(std::min<size_t>(head.size(), 256));
    Bytes seed = identity;
    seed.insert(seed.end(), head.begin(), head.end());
    Save("firmware_fuzz", "sample" + std::to_string(n++), seed);
    if (n == 3) break;
  }
}

void FileSeeds(const fs::path& scratch) {
  {
    const fs::path base = scratch / "log";
    orva::LocalLog log(base, [] { return int64_t{1260180930}; });
    log.Append(1, 1, "", "");
    log.WriteLogon(orva::LogonKind::kAccepted, "admin", "192.168.0.10");
    log.Append(4, 2, "guest", "10.1.2.3");
    Save("local_log_fuzz", "three_records", ReadAll(log.FilePath()));
  }
  {
    const fs::path file = scratch / "history" / orva::view::kConnectHistoryFileName;
    std::string error;
    orva::view::RecordConnection(file, {"192.168.0.10", 2000, 1260180930u, 0, "shop"}, error);
    orva::view::RecordConnection(file, {"recorder.example", 2001, 1260180990u, 0, "yard"}, error);
    Save("connect_history_fuzz", "two_entries", Prefixed({1}, ReadAll(file)));
  }
#if ORVA_HAVE_PICTURES
  QImage image(8, 6, QImage::Format_RGB888);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 30, y * 40, 128));
  const struct {
    uint8_t pick;
    const char* name;
    orva::pictures::SaveFormat format;
  } pictures[] = {{0, "bmp", orva::pictures::SaveFormat::kBmp},
                  {1, "jpg", orva::pictures::SaveFormat::kJpeg},
                  {3, "tif", orva::pictures::SaveFormat::kTiff}};
  for (const auto& p : pictures) {
    const fs::path path = scratch / (std::string("picture.") + p.name);
    std::string error;
    if (orva::pictures::WriteImage(image, path.string(), p.format, error))
      Save("images_fuzz", p.name, Prefixed({p.pick}, ReadAll(path)));
  }
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_corpus <out>\n");
    return 1;
  }
#if ORVA_HAVE_PICTURES
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
#endif
  g_out = argv[1];
  const fs::path scratch = orva::fuzz::ScratchFolder::Get().Path();

  orva::sim::Simulator simulator(SimulatorConfig());
  std::string error;
  if (!simulator.Start(error)) {
    std::fprintf(stderr, "make_fuzz_corpus: simulator: %s\n", error.c_str());
    return 1;
  }
  for (uint8_t action = 0; action < orva::fuzz::kActionCount; ++action) {
    if (action == orva::fuzz::kActStopLive) continue;
    size_t mark = 0;
    const Bytes stream = Record(simulator.Port(), action, scratch / "client", mark);
    if (stream.empty()) return 1;
    StreamSeeds(action, stream, mark);
    const auto messages = Split(stream);
    if (action == orva::fuzz::kActLiveOnly) PayloadSeeds(messages);
    if (action == orva::fuzz::kActPlayback) PlaybackSeeds(messages);
    if (action == orva::fuzz::kActLog || action == orva::fuzz::kActStatus) InfoSeeds(messages);
  }
  SetupAndFirmwareSeeds(simulator, scratch);
  EditSeeds();
  simulator.Stop();
  PairSeed(scratch / "client" / "Download");
  FileSeeds(scratch);
  std::printf("make_fuzz_corpus: %zu bytes of seeds in %s\n", g_total, g_out.string().c_str());
  return 0;
}
