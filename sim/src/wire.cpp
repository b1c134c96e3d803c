#include "orva/sim/wire.h"

#include <cstring>

namespace orva::sim {

void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

uint32_t GetU32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void EncodeHeader(const WireHeader& header, uint8_t* out) {
  std::memset(out, 0, kHeaderSize);
  const uint16_t control =
      static_cast<uint16_t>(((header.code & kMaxCode) << 7) | (header.audioFlag ? 0x08 : 0));
  PutU16(out + 2, control);
  PutU16(out + 4, header.streamFlags);
  PutU16(out + 6, header.length);
  PutU32(out + 12, header.frameTag);
}

bool DecodeHeader(const uint8_t* in, WireHeader& header, std::string& error) {
  // Bytes 0-1 and 8-11 and control bits 4-6 are always zero from a real
  // client; anything else means the byte stream is not our protocol (or has
  // lost alignment), and guessing would only misread what follows.
  if (in[0] != 0 || in[1] != 0) {
    error = "reserved header bytes 0-1 are not zero";
    return false;
  }
  if (GetU32(in + 8) != 0) {
    error = "reserved header bytes 8-11 are not zero";
    return false;
  }
  const uint16_t control = GetU16(in + 2);
  if ((control & 0x70) != 0) {
    error = "control word bits 4-6 are not zero";
    return false;
  }
  header.code = static_cast<uint16_t>(control >> 7);
  header.audioFlag = (control & 0x08) != 0;
  header.streamFlags = GetU16(in + 4);
  header.length = GetU16(in + 6);
  header.frameTag = GetU32(in + 12);
  return true;
}

bool BuildMessage(uint16_t messageCode, const std::vector<uint8_t>& payload, bool audioFlag,
                  std::vector<uint8_t>& out, std::string& error) {
  if (messageCode > kMaxCode) {
    error = "message code " + std::to_string(messageCode) + " does not fit 9 bits";
    return false;
  }
  if (payload.size() > 0xFFFF) {
    error = "payload of " + std::to_string(payload.size()) + " bytes does not fit one message";
    return false;
  }
  WireHeader header;
  header.code = messageCode;
  header.audioFlag = audioFlag;
  header.streamFlags = kLastFragment;
  header.length = static_cast<uint16_t>(payload.size());
  out.assign(kHeaderSize + payload.size(), 0);
  EncodeHeader(header, out.data());
  if (!payload.empty()) std::memcpy(out.data() + kHeaderSize, payload.data(), payload.size());
  return true;
}

namespace {

struct CodeName {
  uint16_t code;
  const char* name;
};

constexpr CodeName kClientNames[] = {
    {1, "HELLO"}, {4, "BYE48"}, {16, "LIVE_REQ"}, {20, "LIVE_STOP"}, {23, "AUDIO_ONOFF_REQ"},
    {32, "REC_ON_REQ"}, {35, "REC_OFF_REQ"}, {42, "RPLAY_STEP_BACK"}, {43, "RPLAY_BACKWARD"},
    {44, "RPLAY_FORWARD"}, {45, "RPLAY_PAUSE"}, {46, "RPLAY_STEP_FWD"}, {51, "PLAY_ON_REQ"},
    {55, "RPLAY_STOP"}, {61, "RPLAY_CREDIT"}, {62, "RPLAY_STEP_CHANNELS"}, {99, "TRANS_ON_REQ"},
    {102, "TRANS_OFF_REQ"}, {112, "DB_INFO_REQ"}, {115, "DB_UPDATE_REQ"},
    {126, "DVR_TIME_REQ"}, {144, "FW_UPDATE_REQ"}, {146, "FW_DATA"},
    {260, "PLAY_INFO_MONTH_REQ"}, {263, "PLAY_INFO_DAY_REQ"}, {272, "A_LISTEN_REQ"},
    {282, "PTZ_CHANNEL_REQ"}, {284, "PTZ_MOVE_REQ"}, {285, "PTZ_MOVE_STOP"},
    {288, "TRANS_INFO_MONTH_REQ"}, {291, "TRANS_INFO_DAY_REQ"}, {294, "TRANS_DATA_REQ"},
    {299, "CAPA_CAL_CANCEL"}, {320, "LOG_INFO_REQ"}, {326, "STATUS_INFO_REQ"},
    {329, "EVENT_INFO_REQ"}, {332, "EVENT_INFO_REQ_BYPG"}, {336, "DB_INIT_REQ"},
    {339, "SEND_TEST_MAIL_REQ"}, {342, "REBOOT_REQ"}, {345, "POWEROFF_REQ"},
};

constexpr CodeName kRecorderNames[] = {
    {4, "BYE48"}, {5, "HELLO48_ACK"}, {17, "LIVE_CHANNEL_INFO"}, {18, "LIVE_DATA"},
    {19, "LIVE_NACK"}, {21, "LIVE_STOP_ACK"}, {22, "LIVE_STOP_NACK"}, {24, "SYS_ETC_INFO_EX"},
    {33, "REC_ON_ACK"}, {34, "REC_ON_NACK"}, {36, "REC_OFF_ACK"}, {37, "REC_OFF_NACK"},
    {52, "PLAY_CHANNEL_INFO"}, {53, "PLAY_ON_ACK"}, {54, "PLAY_ON_NACK"}, {56, "PLAY_OFF_ACK"},
    {57, "PLAY_OFF_NACK"}, {63, "RPLAY_SYNC"}, {101, "TRANS_ON_ACK"}, {102, "TRANS_ON_NACK"},
    {104, "TRANS_OFF_ACK"}, {105, "TRANS_OFF_NACK"}, {113, "DB_INFO_ACK"},
    {114, "DB48_INFO_NACK"}, {116, "DB_UPDATE_ACK"}, {117, "DB_UPDATE_NACK"}, {125, "DST_INFO"},
    {127, "DVR_TIME_ACK"}, {145, "FW_UPDATE_ACK"}, {256, "REC_STATUS"}, {258, "DB_CHANGE"},
    {259, "SYS_ETC_INFO"}, {261, "PLAY_INFO_MONTH_ACK"}, {262, "PLAY_INFO_MONTH_NACK"},
    {264, "PLAY_INFO_DAY_ACK"}, {265, "PLAY_INFO_DAY_NACK"}, {266, "PLAY_DATA"},
    {267, "PLAY_ON_FAIL"}, {268, "PLAY_ON_DONE"}, {269, "DB_CHANGE_UNICODE"},
    {270, "RIGHT_CHANGE"}, {273, "A_LISTEN_ACK"}, {274, "A_LISTEN_NACK"},
    {277, "A_LISTEN_STOP_ACK"}, {283, "PTZ_CHANNEL_ACK"}, {289, "TRANS_INFO_MONTH_ACK"},
    {290, "TRANS_INFO_MONTH_NACK"}, {292, "TRANS_INFO_DAY_ACK"}, {293, "TRANS_INFO_DAY_NACK"},
    {295, "TRANS_ON_DATA"}, {297, "TRANS_ON_DONE"}, {298, "TRANS_ON_FAIL"},
    {304, "FW_UPDATE_NACK"}, {305, "FW_DATA_RX_DONE"}, {306, "FW_DATA_RX_FAIL"},
    {307, "FW_UPDATE_DONE"}, {308, "FW_UPDATE_FAIL"}, {321, "LOG_INFO_ACK"},
    {322, "LOG_INFO_NACK"}, {324, "SYSTEM_INFO_ACK"}, {325, "SYSTEM_INFO_NACK"},
    {327, "STATUS_INFO_ACK"}, {328, "STATUS_INFO_NACK"}, {330, "EVENT_INFO_ACK"},
    {331, "EVENT_INFO_NACK"}, {333, "EVENT_INFO_ACK_BYPG"}, {334, "EVENT_INFO_NACK_BYPG"},
    {337, "DB_INIT_ACK"}, {338, "DB_INIT_NACK"}, {340, "SEND_TEST_MAIL_ACK"},
    {341, "SEND_TEST_MAIL_NACK"}, {343, "REBOOT_ACK"}, {344, "REBOOT_NACK"},
    {346, "POWEROFF_ACK"}, {347, "POWEROFF_NACK"},
};

template <size_t N>
std::string Lookup(const CodeName (&table)[N], uint16_t messageCode) {
  for (const CodeName& entry : table) {
    if (entry.code == messageCode) return entry.name;
  }
  return "CODE_" + std::to_string(messageCode);
}

}  // namespace

std::string ClientMessageName(uint16_t messageCode) { return Lookup(kClientNames, messageCode); }
std::string RecorderMessageName(uint16_t messageCode) {
  return Lookup(kRecorderNames, messageCode);
}

}  // namespace orva::sim
