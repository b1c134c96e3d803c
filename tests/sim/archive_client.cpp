#include "archive_client.h"

#include <gtest/gtest.h>

namespace orva::sim::test {

std::vector<uint8_t> Word(uint32_t value) {
  return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

std::vector<uint8_t> PlayRequest(uint32_t mask, uint8_t kindMask, uint32_t start, uint32_t end) {
  std::vector<uint8_t> p = Word(mask);
  p.push_back(kindMask);
  p.resize(16, 0);
  for (const uint32_t v : {start, end}) {
    const std::vector<uint8_t> w = Word(v);
    p.insert(p.end(), w.begin(), w.end());
  }
  return p;
}

Session::Session(SimConfig config) : sim([&] {
  config.port = 0;
  return config;
}()) {
  std::string error;
  EXPECT_TRUE(sim.Start(error)) << error;
  EXPECT_TRUE(client.Connect(sim.Port()));
  EXPECT_TRUE(LoginAndReadNotices(client));
}

bool ReadReply(RawClient& client, Reply& reply, std::string& error) {
  reply = Reply{};
  for (;;) {
    RawMessage message;
    if (!client.ReadMessage(message)) {
      error = "no complete reply";
      return false;
    }
    if (!reply.fragmentSizes.empty() && message.code != reply.code) {
      error = "message " + std::to_string(message.code) + " inside a fragmented reply";
      return false;
    }
    reply.code = message.code;
    reply.bytes.insert(reply.bytes.end(), message.payload.begin(), message.payload.end());
    reply.fragmentSizes.push_back(message.payload.size());
    reply.otherFlags = static_cast<uint16_t>(reply.otherFlags | (message.streamFlags & ~0x4000));
    if (message.streamFlags & 0x4000) return true;
  }
}

bool ReadPlayFrame(RawClient& client, PlayFrame& frame, std::vector<RawMessage>& others,
                   std::string& error, std::chrono::milliseconds timeout, uint16_t code) {
  Block block;
  return ReadBlock(client, block, others, error, timeout, code) &&
         ParsePlayRecord(block, frame, error);
}

bool ParsePlayRecord(const Block& block, PlayFrame& frame, std::string& error) {
  frame = PlayFrame{};
  frame.fragmentSizes = block.fragmentSizes;
  frame.recordBytes = block.bytes.size();
  frame.speedCode = static_cast<uint16_t>(block.streamFlags.back() & 0x3F);
  for (const uint16_t flags : block.streamFlags) {
    if ((flags & 0x3F) != frame.speedCode) {
      error = "fragments of one record disagree on the speed code";
      return false;
    }
  }
  const std::vector<uint8_t>& b = block.bytes;
  if (b.size() < 128) {
    error = "playback record of " + std::to_string(b.size()) + " bytes";
    return false;
  }
  frame.second = BigEndian32(b, 24);
  frame.video = BigEndian32(b, 16) == 0x20061123u;
  // The live parsers take a block with a length prefix: give them one.
  Block prefixed = block;
  const std::vector<uint8_t> length = Word(static_cast<uint32_t>(b.size()));
  prefixed.bytes.insert(prefixed.bytes.begin(), length.begin(), length.end());
  if (!frame.video) return ParseAudioBlock(prefixed, frame.audio, error);
  frame.recordingId = BigEndian32(b, 40);
  frame.kind = b[50];
  if (!ParseVideoBlock(prefixed, frame.frame, error)) return false;
  const int channelBits = (block.streamFlags.back() >> 6) & 0x0F;
  if (channelBits != frame.frame.channel) {
    error = "stream flags name channel " + std::to_string(channelBits);
    return false;
  }
  return true;
}

}  // namespace orva::sim::test
