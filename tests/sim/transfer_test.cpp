// Backup download against a one-minute archive of three channels with a
// motion event on channel 2: the size estimate against what is then sent,
// order and content of the records, stop, replacement, cancelled estimates,
// the fault switches and padded frames.
#include <gtest/gtest.h>

#include <bit>
#include <map>

#include "archive_client.h"

namespace orva::sim {
namespace {

using namespace std::chrono_literals;
using namespace test;

const uint32_t kStart = WireTime(2024, 3, 10, 12, 0, 0);
const uint32_t kEnd = kStart + 59;
constexpr int kFps = 5;

// Motion on channel 2 for the first 4 s of every 20 s.
bool InEvent(uint32_t second) { return (second - kStart) % 20 < 4; }
uint32_t RecordingIdOf(uint32_t second) {
  const uint32_t r = second - kStart;
  return kStart + r / 20 * 20 + (r % 20 < 4 ? 0 : 4);
}

SimConfig TransferConfig() {
  SimConfig config;
  config.channels = 3;
  config.video.fps = kFps;
  config.video.fragmentBytes = 1000;
  config.ptzChannels.fill(false);
  config.audioChannels.fill(false);
  config.audioChannels[0] = config.audioChannels[1] = true;
  config.archive.start = kStart;
  config.archive.end = kEnd;
  SimEventPattern motion;
  motion.period = 20;
  motion.length = 4;
  motion.channels[1] = true;
  config.archive.events = {motion};
  return config;
}

struct Backup : Session {
  explicit Backup(SimConfig config) : Session(std::move(config)) {}
  void Send(uint16_t code, const std::vector<uint8_t>& payload = {}) {
    EXPECT_TRUE(client.SendMessage(code, payload));
  }
  // The next message that is not live video.
  RawMessage Next() {
    RawMessage m;
    do {
      EXPECT_TRUE(client.ReadMessage(m)) << "no answer";
    } while (m.code == kLiveDataCode);
    return m;
  }
  uint32_t Estimate(uint32_t mask, uint8_t kinds, uint32_t start, uint32_t end) {
    Send(kTransOnReqCode, PlayRequest(mask, kinds, start, end));
    const RawMessage ack = Next();
    EXPECT_EQ(ack.code, kTransOnAckCode);
    return ack.payload.size() == 4 ? BigEndian32(ack.payload, 0) : 0;
  }
  // Reads download records (live video passes) until `limit` records or the
  // end of the download: TRANS_ON_DONE, TRANS_ON_FAIL or TRANS_OFF_ACK. Every
  // other message goes to `seen`, the end too; `last` is the last of them.
  std::vector<PlayFrame> Records(size_t limit = SIZE_MAX) {
    std::vector<PlayFrame> records;
    Block block;
    while (records.size() < limit) {
      RawMessage m;
      if (!client.ReadMessage(m)) {
        ADD_FAILURE() << "no end after " << records.size() << " records";
        break;
      }
      if (m.code == kLiveDataCode) continue;
      if (m.code != kTransOnDataCode) {
        EXPECT_TRUE(block.bytes.empty()) << m.code << " inside a download block";
        seen.push_back(m.code);
        last = m;
        if (m.code == kTransOnDoneCode || m.code == kTransOnFailCode ||
            m.code == kTransOffAckCode) {
          break;
        }
        continue;
      }
      block.bytes.insert(block.bytes.end(), m.payload.begin(), m.payload.end());
      block.fragmentSizes.push_back(m.payload.size());
      block.streamFlags.push_back(m.streamFlags);
      if (!(m.streamFlags & 0x4000)) continue;
      PlayFrame f;
      std::string error;
      EXPECT_TRUE(ParsePlayRecord(block, f, error)) << error;
      records.push_back(f);
      block = Block{};
    }
    return records;
  }
  RawMessage last;
  std::vector<uint16_t> seen;  // answers that came between records
};

uint64_t Bytes(const std::vector<PlayFrame>& records) {
  uint64_t bytes = 0;
  for (const PlayFrame& r : records) bytes += r.recordBytes;
  return bytes;
}

TEST(SimulatorTransfer, EstimateMatchesTheDownloadOfARangeAndOfAnEvent) {
  struct Case {
    const char* name;
    bool clock;
    uint32_t mask;
    uint8_t estimateKinds, dataKinds;
    uint32_t start, end;
    double tolerance;  // of the estimate, relative
  };
  for (const Case& c : {Case{"time range", true, 0x5, 63, 63, kStart + 10, kStart + 29, 0.03},
                        Case{"event", true, 0x2, 0x04, 0, kStart + 20, kStart + 23, 0.03},
                        Case{"loop pictures", false, 0x7, 63, 63, kStart + 5, kStart + 70, 0}}) {
    SCOPED_TRACE(c.name);
    SimConfig config = TransferConfig();
    config.archive.clock = c.clock;
    Backup b(config);
    const uint32_t kib = b.Estimate(c.mask, c.estimateKinds, c.start, c.end);
    b.Send(kTransDataReqCode, PlayRequest(c.mask, c.dataKinds, c.start, c.end));
    const std::vector<PlayFrame> records = b.Records();
    EXPECT_EQ(b.seen, std::vector<uint16_t>{kTransOnDoneCode});
    EXPECT_TRUE(b.last.payload.empty());
    EXPECT_TRUE(b.client.StaysSilent(200ms));

    const double sent = static_cast<double>((Bytes(records) + 1023) / 1024);
    EXPECT_LE(std::abs(kib - sent), c.tolerance * sent + 0.5) << kib << " KiB for " << sent;

    // Every recorded second of each selected channel, one GOP each, in time
    // order; sound only for the selected channel that has it.
    std::map<std::pair<int, uint32_t>, int> gops;
    std::map<uint32_t, int> audioPerSecond;
    uint64_t previous = 0;
    H264Decoder decoder;
    for (const PlayFrame& r : records) {
      EXPECT_EQ(r.speedCode, 0);
      if (!r.video) {
        EXPECT_TRUE(r.audio.channelMask & c.mask & 0x3u) << r.audio.channelMask;
        EXPECT_GE(uint64_t{r.second} * 1000000, previous / 1000000 * 1000000);
        ++audioPerSecond[r.second];
        continue;
      }
      const int ch = r.frame.channel;
      EXPECT_TRUE((c.mask >> ch) & 1u) << ch;
      EXPECT_GE(r.Micros(), previous);
      previous = r.Micros();
      EXPECT_EQ(r.frame.key, r.frame.captureMicros == 0);
      EXPECT_EQ(r.recordingId, RecordingIdOf(r.second));
      EXPECT_EQ(r.kind, ch == 1 && InEvent(r.second) ? 2 : 0) << r.second;
      ++gops[{ch, r.second}];
      if (ch == std::countr_zero(c.mask)) {
        Picture picture;
        std::string error;
        EXPECT_TRUE(decoder.Decode(r.frame.first, picture, error)) << error;
      }
    }
    std::map<std::pair<int, uint32_t>, int> expected;
    for (uint32_t s = c.start; s <= std::min(c.end, kEnd); ++s) {
      for (int ch = 0; ch < 3; ++ch) {
        const bool recorded = c.dataKinds != 0 || (ch == 1 && InEvent(s));
        if (((c.mask >> ch) & 1u) && recorded) expected[{ch, s}] = kFps;
      }
    }
    EXPECT_EQ(gops, expected);
    // Channels 1 and 2 have sound: two records a second each.
    const int withSound = std::popcount(c.mask & 0x3u);
    const uint32_t seconds = c.dataKinds != 0 ? std::min(c.end, kEnd) - c.start + 1 : 4;
    EXPECT_EQ(audioPerSecond.size(), seconds);
    for (const auto& [second, count] : audioPerSecond) EXPECT_EQ(count, 2 * withSound) << second;
  }
}

TEST(SimulatorTransfer, StopReplaceCancelAndLiveAlongside) {
  SimConfig config = TransferConfig();
  config.archive.estimateMs = 300;
  Backup b(config);

  // A dropped estimate is never answered; a newer request replaces an older one.
  b.Send(kTransOnReqCode, PlayRequest(0x7, 63, kStart, kEnd));
  b.Send(kCapaCalCancelCode);
  EXPECT_TRUE(b.client.StaysSilent(600ms));
  b.Send(kTransOnReqCode, PlayRequest(0x7, 63, kEnd + 10, kEnd + 20));
  b.Send(kTransOnReqCode, PlayRequest(0x1, 63, kStart, kStart));
  EXPECT_EQ(b.Next().code, kTransOnAckCode);
  EXPECT_TRUE(b.client.StaysSilent(500ms));

  // Refusals: nothing recorded, and ranges that are not 24 bytes.
  struct Refusal {
    uint16_t request;
    std::vector<uint8_t> payload;
    uint16_t answer;
    uint32_t result;
  };
  for (const Refusal& r : {Refusal{kTransOnReqCode, PlayRequest(0x7, 63, kEnd + 1, kEnd + 9),
                                   kTransOnNackCode, 83},
                           Refusal{kTransOnReqCode, PlayRequest(0x1, 0x10, kStart, kEnd),
                                   kTransOnNackCode, 83},
                           Refusal{kTransOnReqCode, Word(1), kTransOnNackCode, 2},
                           Refusal{kTransDataReqCode, PlayRequest(0x7, 0, kEnd, kStart),
                                   kTransOnFailCode, 83},
                           Refusal{kTransDataReqCode, {}, kTransOnFailCode, 2}}) {
    b.Send(r.request, r.payload);
    const RawMessage m = b.Next();
    EXPECT_EQ(m.code, r.answer);
    EXPECT_EQ(m.payload.size(), 4u);
    EXPECT_EQ(BigEndian32(m.payload, 0), r.result);
  }

  // Live view runs beside the download on the same connection.
  b.Send(kTransDataReqCode, PlayRequest(0x7, 63, kStart, kEnd));
  EXPECT_EQ(b.Records(5).size(), 5u);
  b.Send(kLiveReqCode, Word(0x1));
  EXPECT_EQ(b.Records(20).size(), 20u);
  EXPECT_EQ(b.seen, std::vector<uint16_t>{kLiveChannelInfoCode});

  // A new request replaces the running download from its first record on.
  b.Send(kTransDataReqCode, PlayRequest(0x7, 63, kStart + 40, kEnd));
  bool replaced = false;
  for (const PlayFrame& r : b.Records(200)) {
    if (r.second >= kStart + 40 && !replaced) {
      replaced = true;
      EXPECT_EQ(r.second, kStart + 40);
      EXPECT_FALSE(r.video);  // the sound of the moment comes first
    }
    if (replaced) {
      EXPECT_GE(r.second, kStart + 40);
    }
  }
  EXPECT_TRUE(replaced);

  // TRANS_OFF_REQ (code 102 this way) is answered and nothing follows.
  b.Send(kLiveStopCode);
  b.Send(kTransOffReqCode);
  b.seen.clear();
  b.Records();
  EXPECT_EQ(b.seen, (std::vector<uint16_t>{kLiveStopAckCode, kTransOffAckCode}));
  EXPECT_TRUE(b.client.StaysSilent(300ms));
  b.Send(kTransOffReqCode);  // the client's stop after DONE: answered as well
  EXPECT_EQ(b.Next().code, kTransOffAckCode);
}

TEST(SimulatorTransfer, FaultSwitches) {
  const std::vector<uint8_t> range = PlayRequest(0x3, 63, kStart, kStart + 9);
  {
    SimConfig config = TransferConfig();
    config.archive.transOnNack = 87;
    Backup b(config);
    b.Send(kTransOnReqCode, range);
    const RawMessage m = b.Next();
    EXPECT_EQ(m.code, kTransOnNackCode);
    ASSERT_EQ(m.payload.size(), 12u);
    EXPECT_EQ(BigEndian32(m.payload, 0), 87u);
    const uint32_t required = BigEndian32(m.payload, 4), available = BigEndian32(m.payload, 8);
    EXPECT_GT(required, 100u);  // 20 GOPs and 10 s of sound
    EXPECT_EQ(available, required / 2);
    config.archive.transOnNack = 53;
    Backup plain(config);
    plain.Send(kTransOnReqCode, range);
    EXPECT_EQ(plain.Next().payload, Word(53));
  }
  {
    SimConfig config = TransferConfig();
    config.archive.transFailFrames = 3;
    config.archive.transFailResult = 98;
    Backup b(config);
    b.Send(kTransDataReqCode, range);
    const std::vector<PlayFrame> records = b.Records();
    EXPECT_EQ(std::count_if(records.begin(), records.end(), [](auto& r) { return r.video; }), 3);
    EXPECT_EQ(b.seen, std::vector<uint16_t>{kTransOnFailCode});
    EXPECT_EQ(b.last.payload, Word(98));
    EXPECT_TRUE(b.client.StaysSilent(300ms));
  }
  {
    SimConfig config = TransferConfig();
    config.archive.transOffNack = 2;
    Backup b(config);
    b.Send(kTransDataReqCode, range);
    b.Send(kTransOffReqCode);
    const std::vector<PlayFrame> records = b.Records();
    // The refused stop changed nothing.
    EXPECT_EQ(b.seen, (std::vector<uint16_t>{kTransOffNackCode, kTransOnDoneCode}));
    EXPECT_EQ(b.last.payload.size(), 0u);
    EXPECT_EQ(records.size(), 2 * 10 * kFps + 2 * 2 * 10u);  // both channels have sound
  }
}

TEST(SimulatorTransfer, PaddedFramesHaveTheirSizeAndStillDecode) {
  constexpr size_t kPadded = 150000;
  for (const int sizeCode : {1, 2}) {
    SCOPED_TRACE("size code " + std::to_string(sizeCode));
    SimConfig config = TransferConfig();
    config.video.sizeCode = sizeCode;
    config.video.fragmentBytes = 65535;
    config.archive.frameBytes = static_cast<int>(kPadded);
    Backup b(config);
    const std::vector<uint8_t> range = PlayRequest(0x4, 63, kStart, kStart + 1);
    const uint32_t kib = b.Estimate(0x4, 63, kStart, kStart + 1);
    b.Send(kTransDataReqCode, range);
    const std::vector<PlayFrame> records = b.Records();
    EXPECT_EQ(b.seen, std::vector<uint16_t>{kTransOnDoneCode});
    ASSERT_EQ(records.size(), 2u * kFps);
    EXPECT_EQ(kib, (Bytes(records) + 1023) / 1024);  // every frame padded: exact
    H264Decoder first, second;
    for (const PlayFrame& r : records) {
      EXPECT_EQ(r.recordBytes, 192 + kPadded);
      Picture picture;
      std::string error;
      ASSERT_TRUE(first.Decode(r.frame.first, picture, error)) << error;
      if (sizeCode == 2) {
        ASSERT_TRUE(second.Decode(r.frame.second, picture, error)) << error;
        EXPECT_EQ(picture.height, 240);
      } else {
        EXPECT_GT(r.frame.padding, kPadded / 2);
      }
    }
    // Playback sends the same padded frames.
    b.Send(kPlayOnReqCode, range);
    EXPECT_EQ(b.Next().code, kPlayChannelInfoCode);
    EXPECT_EQ(b.Next().code, kPlayOnAckCode);
    b.Send(kRplayCreditCode, Word(1));
    PlayFrame played;
    std::vector<RawMessage> others;
    std::string error;
    ASSERT_TRUE(ReadPlayFrame(b.client, played, others, error)) << error;
    EXPECT_EQ(played.recordBytes, 192 + kPadded);
  }
}

}  // namespace
}  // namespace orva::sim
