// Test-side helpers for live streams: login, reassembly of LIVE_DATA blocks,
// parsing of the stream records, an H.264 picture decoder (libavcodec) and an
// IMA ADPCM decoder written for the tests. Nothing here comes from the
// simulator's own code.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "raw_client.h"

namespace orva::sim::test {

inline constexpr uint16_t kLiveReqCode = 16, kLiveChannelInfoCode = 17, kLiveDataCode = 18,
                          kLiveNackCode = 19, kLiveStopCode = 20, kLiveStopAckCode = 21,
                          kAudioOnOffCode = 23;

// Logs in as admin and reads the six login messages (DST_INFO and the two
// tables SYS_ETC_INFO and SYS_ETC_INFO_EX last).
bool LoginAndReadNotices(RawClient& client, std::vector<RawMessage>* notices = nullptr);

struct Block {
  std::vector<uint8_t> bytes;
  std::vector<size_t> fragmentSizes;
  std::vector<uint16_t> streamFlags;  // of each fragment
  std::vector<uint32_t> frameTags;    // of each fragment
  bool audioFlag = false;             // of the last fragment
};

// Reads messages until one block of `code` (live blocks by default) is
// complete. Messages of other codes that arrive between blocks go to
// `others`; one arriving inside a block is an error (fragments must be
// consecutive).
bool ReadBlock(RawClient& client, Block& block, std::vector<RawMessage>& others,
               std::string& error, std::chrono::milliseconds timeout = std::chrono::seconds(5),
               uint16_t code = kLiveDataCode);

struct VideoFrame {
  int channel = -1;
  bool key = false;
  int sizeCode = -1;
  bool pal = false;
  uint32_t frameSecond = 0, captureSeconds = 0, captureMicros = 0;
  size_t firstPartBytes = 0;          // from the header, rounded as a client rounds it
  std::vector<uint8_t> firstHeader;   // 20 bytes
  std::vector<uint8_t> secondHeader;  // 20 bytes, two-field frames only
  std::vector<uint8_t> first, second; // coded bytes after each frame header
  size_t padding = 0;                 // zero bytes after the only part of a one-picture frame
};

// Checks a video block's record length, type, data size and frame headers.
bool ParseVideoBlock(const Block& block, VideoFrame& frame, std::string& error);

struct AudioFrame {
  int channel = -1;
  uint32_t channelMask = 0;
  int stepIndex = 0;
  int16_t predictor = 0;
  size_t frameLength = 0;  // from W3, bytes
  std::vector<uint8_t> adpcm;
};

bool IsAudioBlock(const Block& block);
bool ParseAudioBlock(const Block& block, AudioFrame& frame, std::string& error);

// IMA ADPCM, high nibble first; decodes from (predictor, index), leaves the
// final state in them.
std::vector<int16_t> DecodeAdpcm(const std::vector<uint8_t>& data, int16_t& predictor,
                                 int& index);

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> y, u, v;  // tightly packed planes
  int Luma(int x, int row) const { return y.at(static_cast<size_t>(row) * width + x); }
  double MeanU() const;
  double MeanV() const;
};

// One H.264 decoder per stream; pictures come out in the order fed.
class H264Decoder {
 public:
  H264Decoder();
  ~H264Decoder();
  H264Decoder(const H264Decoder&) = delete;
  H264Decoder& operator=(const H264Decoder&) = delete;
  bool Decode(const std::vector<uint8_t>& annexB, Picture& picture, std::string& error);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The recorder's wall clock as the tests compute it: local time as if UTC.
uint32_t LocalWireSeconds();

}  // namespace orva::sim::test
