// Test-side helpers for recording search and remote playback: a logged-in
// session, reassembly of fragmented replies, and playback records (which
// have no length prefix) read as frames.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "live_client.h"
#include "orva/sim/simulator.h"

namespace orva::sim::test {

inline constexpr uint16_t kPlayOnReqCode = 51, kPlayChannelInfoCode = 52, kPlayOnAckCode = 53,
                          kPlayOnNackCode = 54, kRplayStopCode = 55, kPlayOffAckCode = 56,
                          kPlayOffNackCode = 57, kRplayCreditCode = 61,
                          kRplayStepChannelsCode = 62, kRplaySyncCode = 63,
                          kRplayStepBackCode = 42, kRplayBackwardCode = 43,
                          kRplayForwardCode = 44, kRplayPauseCode = 45, kRplayStepFwdCode = 46,
                          kPlayDataCode = 266, kPlayOnFailCode = 267, kPlayOnDoneCode = 268;
inline constexpr uint16_t kTransOnReqCode = 99, kTransOnAckCode = 101, kTransOnNackCode = 102,
                          kTransOffReqCode = 102, kTransOffAckCode = 104,
                          kTransOffNackCode = 105, kTransDataReqCode = 294,
                          kTransOnDataCode = 295, kTransOnDoneCode = 297,
                          kTransOnFailCode = 298, kCapaCalCancelCode = 299;

std::vector<uint8_t> Word(uint32_t value);
// The 24-byte layout shared by PLAY_ON_REQ and the position payload.
std::vector<uint8_t> PlayRequest(uint32_t mask, uint8_t kindMask, uint32_t start, uint32_t end);

struct Session {
  explicit Session(SimConfig config);
  Simulator sim;
  RawClient client;
};

struct Reply {
  uint16_t code = 0;
  std::vector<uint8_t> bytes;          // reassembled payload
  std::vector<size_t> fragmentSizes;
  uint16_t otherFlags = 0;             // stream flags besides 0x4000, of all fragments
};

// Reads one reply: a single NACK, or the fragments of one block.
bool ReadReply(RawClient& client, Reply& reply, std::string& error);

struct PlayFrame {
  bool video = false;
  VideoFrame frame;           // video records
  AudioFrame audio;           // audio records
  uint32_t second = 0;        // record header frame second
  uint32_t recordingId = 0;   // video: offset 40
  uint8_t kind = 0;           // video: offset 50
  uint16_t speedCode = 0;     // stream flags bits 0-5, the same on every fragment
  std::vector<size_t> fragmentSizes;
  size_t recordBytes = 0;     // record header + frame data
  uint64_t Micros() const {
    return uint64_t{frame.captureSeconds} * 1000000 + frame.captureMicros;
  }
};

// Reads the next playback (or, with `code`, download) record; other messages
// go to `others`. False on a time-out or a malformed record (`error` says which).
bool ReadPlayFrame(RawClient& client, PlayFrame& frame, std::vector<RawMessage>& others,
                   std::string& error,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(3000),
                   uint16_t code = kPlayDataCode);
// The record of a reassembled playback or download block.
bool ParsePlayRecord(const Block& block, PlayFrame& frame, std::string& error);

}  // namespace orva::sim::test
