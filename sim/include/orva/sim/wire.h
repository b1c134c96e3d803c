// The recorder's side of the message framing: the 16-byte big-endian header,
// message codes and big-endian field helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orva::sim {

// Message codes the simulator handles or sends.
namespace code {
inline constexpr uint16_t kHello = 1;
inline constexpr uint16_t kBye48 = 4;
inline constexpr uint16_t kHello48Ack = 5;
inline constexpr uint16_t kLiveReq = 16;
inline constexpr uint16_t kLiveChannelInfo = 17;
inline constexpr uint16_t kLiveData = 18;
inline constexpr uint16_t kLiveNack = 19;
inline constexpr uint16_t kLiveStop = 20;
inline constexpr uint16_t kLiveStopAck = 21;
inline constexpr uint16_t kAudioOnOffReq = 23;
inline constexpr uint16_t kSysEtcInfoEx = 24;
inline constexpr uint16_t kRecOnReq = 32;
inline constexpr uint16_t kRecOnAck = 33;
inline constexpr uint16_t kRecOnNack = 34;
inline constexpr uint16_t kRecOffReq = 35;
inline constexpr uint16_t kRecOffAck = 36;
inline constexpr uint16_t kRecOffNack = 37;
inline constexpr uint16_t kRplayStepBack = 42;
inline constexpr uint16_t kRplayBackward = 43;
inline constexpr uint16_t kRplayForward = 44;
inline constexpr uint16_t kRplayPause = 45;
inline constexpr uint16_t kRplayStepFwd = 46;
inline constexpr uint16_t kPlayOnReq = 51;
inline constexpr uint16_t kPlayChannelInfo = 52;
inline constexpr uint16_t kPlayOnAck = 53;
inline constexpr uint16_t kPlayOnNack = 54;
inline constexpr uint16_t kRplayStop = 55;
inline constexpr uint16_t kPlayOffAck = 56;
inline constexpr uint16_t kPlayOffNack = 57;
inline constexpr uint16_t kRplayCredit = 61;
inline constexpr uint16_t kRplayStepChannels = 62;
inline constexpr uint16_t kRplaySync = 63;
inline constexpr uint16_t kTransOnReq = 99;
inline constexpr uint16_t kTransOnAck = 101;
inline constexpr uint16_t kTransOnNack = 102;   // recorder to client
inline constexpr uint16_t kTransOffReq = 102;   // client to recorder
inline constexpr uint16_t kTransOffAck = 104;
inline constexpr uint16_t kTransOffNack = 105;
inline constexpr uint16_t kDbInfoReq = 112;
inline constexpr uint16_t kDbInfoAck = 113;
inline constexpr uint16_t kDbInfoNack = 114;
inline constexpr uint16_t kDbUpdateReq = 115;
inline constexpr uint16_t kDbUpdateAck = 116;
inline constexpr uint16_t kDbUpdateNack = 117;
inline constexpr uint16_t kDstInfo = 125;
inline constexpr uint16_t kDvrTimeReq = 126;
inline constexpr uint16_t kDvrTimeAck = 127;
inline constexpr uint16_t kRecStatus = 256;
inline constexpr uint16_t kDbChange = 258;
inline constexpr uint16_t kSysEtcInfo = 259;
inline constexpr uint16_t kDbChangeUnicode = 269;
inline constexpr uint16_t kRightChange = 270;
inline constexpr uint16_t kPlayInfoMonthReq = 260;
inline constexpr uint16_t kPlayInfoMonthAck = 261;
inline constexpr uint16_t kPlayInfoMonthNack = 262;
inline constexpr uint16_t kPlayInfoDayReq = 263;
inline constexpr uint16_t kPlayInfoDayAck = 264;
inline constexpr uint16_t kPlayInfoDayNack = 265;
inline constexpr uint16_t kPlayData = 266;
inline constexpr uint16_t kPlayOnFail = 267;
inline constexpr uint16_t kPlayOnDone = 268;
inline constexpr uint16_t kListenReq = 272;
inline constexpr uint16_t kListenAck = 273;
inline constexpr uint16_t kListenNack = 274;
inline constexpr uint16_t kPtzChannelReq = 282;
inline constexpr uint16_t kPtzChannelAck = 283;
inline constexpr uint16_t kPtzMoveReq = 284;
inline constexpr uint16_t kPtzMoveStop = 285;
inline constexpr uint16_t kTransInfoMonthReq = 288;
inline constexpr uint16_t kTransInfoMonthAck = 289;
inline constexpr uint16_t kTransInfoMonthNack = 290;
inline constexpr uint16_t kTransInfoDayReq = 291;
inline constexpr uint16_t kTransInfoDayAck = 292;
inline constexpr uint16_t kTransInfoDayNack = 293;
inline constexpr uint16_t kTransDataReq = 294;
inline constexpr uint16_t kTransOnData = 295;
inline constexpr uint16_t kTransOnDone = 297;
inline constexpr uint16_t kTransOnFail = 298;
inline constexpr uint16_t kCapaCalCancel = 299;
inline constexpr uint16_t kLogInfoReq = 320;
inline constexpr uint16_t kLogInfoAck = 321;
inline constexpr uint16_t kLogInfoNack = 322;
inline constexpr uint16_t kStatusInfoReq = 326;
inline constexpr uint16_t kStatusInfoAck = 327;
inline constexpr uint16_t kStatusInfoNack = 328;
inline constexpr uint16_t kEventInfoReq = 329;
inline constexpr uint16_t kEventInfoAck = 330;
inline constexpr uint16_t kEventInfoNack = 331;
inline constexpr uint16_t kEventInfoReqByPage = 332;
inline constexpr uint16_t kEventInfoAckByPage = 333;
inline constexpr uint16_t kEventInfoNackByPage = 334;
inline constexpr uint16_t kDbInitReq = 336;
inline constexpr uint16_t kDbInitAck = 337;
inline constexpr uint16_t kDbInitNack = 338;
inline constexpr uint16_t kSendTestMailReq = 339;
inline constexpr uint16_t kSendTestMailAck = 340;
inline constexpr uint16_t kSendTestMailNack = 341;
inline constexpr uint16_t kFwUpdateReq = 144;
inline constexpr uint16_t kFwUpdateAck = 145;
inline constexpr uint16_t kFwData = 146;
inline constexpr uint16_t kFwUpdateNack = 304;
inline constexpr uint16_t kFwDataRxDone = 305;
inline constexpr uint16_t kFwDataRxFail = 306;
inline constexpr uint16_t kFwUpdateDone = 307;
inline constexpr uint16_t kFwUpdateFail = 308;
inline constexpr uint16_t kRebootReq = 342;
inline constexpr uint16_t kRebootAck = 343;
inline constexpr uint16_t kPowerOffReq = 345;
inline constexpr uint16_t kPowerOffAck = 346;
}  // namespace code

inline constexpr size_t kHeaderSize = 16;
inline constexpr uint16_t kLastFragment = 0x4000;  // stream-flag bit 14
inline constexpr uint16_t kMaxCode = 511;          // 9-bit code field

struct WireHeader {
  uint16_t code = 0;
  bool audioFlag = false;
  uint16_t streamFlags = 0;
  uint16_t length = 0;
  uint32_t frameTag = 0;
};

// Writes the 16 header bytes (reserved fields zero).
void EncodeHeader(const WireHeader& header, uint8_t* out);
// Decodes 16 bytes. Returns false (with a reason) when a field that the sender
// must leave zero is not zero: on this link that means the peer is not
// speaking the protocol, and the session ends.
bool DecodeHeader(const uint8_t* in, WireHeader& header, std::string& error);

// A whole message (header + payload) ready for send(); single-block messages
// carry the last-fragment bit. Payloads over 65535 bytes are refused.
bool BuildMessage(uint16_t messageCode, const std::vector<uint8_t>& payload, bool audioFlag,
                  std::vector<uint8_t>& out, std::string& error);

void PutU16(uint8_t* p, uint16_t v);
void PutU32(uint8_t* p, uint32_t v);
uint16_t GetU16(const uint8_t* p);
uint32_t GetU32(const uint8_t* p);

// Name of a message code for the trace; direction matters because code 102
// means different things each way. Unknown codes give "CODE_<n>".
std::string ClientMessageName(uint16_t messageCode);
std::string RecorderMessageName(uint16_t messageCode);

}  // namespace orva::sim
