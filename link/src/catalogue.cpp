#include "orva/link/catalogue.h"

#include <array>

namespace orva::msg {
namespace {

struct Entry {
  uint16_t code;
  Direction direction;
  const char* name;
};

using enum Direction;
constexpr Direction C2R = kClientToRecorder;
constexpr Direction R2C = kRecorderToClient;

// clang-format off
constexpr Entry kEntries[] = {
  {1, C2R, "HELLO"}, {4, C2R, "BYE48"}, {4, R2C, "BYE48"}, {5, R2C, "HELLO48_ACK"},
  {16, C2R, "LIVE_REQ"}, {17, R2C, "LIVE_CHANNEL_INFO"}, {18, R2C, "LIVE_DATA"}, {19, R2C, "LIVE_NACK"},
  {20, C2R, "LIVE_STOP"}, {21, R2C, "LIVE_STOP_ACK"}, {22, R2C, "LIVE_STOP_NACK"},
  {23, C2R, "AUDIO_ONOFF_REQ"}, {24, R2C, "SYS_ETC_INFO_EX"},
  {32, C2R, "REC_ON_REQ"}, {33, R2C, "REC_ON_ACK"}, {34, R2C, "REC_ON_NACK"},
  {35, C2R, "REC_OFF_REQ"}, {36, R2C, "REC_OFF_ACK"}, {37, R2C, "REC_OFF_NACK"},
  {42, C2R, "RPLAY_STEP_BACK"}, {43, C2R, "RPLAY_BACKWARD"}, {44, C2R, "RPLAY_FORWARD"},
  {45, C2R, "RPLAY_PAUSE"}, {46, C2R, "RPLAY_STEP_FWD"},
  {51, C2R, "PLAY_ON_REQ"}, {52, R2C, "PLAY_CHANNEL_INFO"}, {53, R2C, "PLAY_ON_ACK"}, {54, R2C, "PLAY_ON_NACK"},
  {55, C2R, "RPLAY_STOP"}, {56, R2C, "PLAY_OFF_ACK"}, {57, R2C, "PLAY_OFF_NACK"},
  {61, C2R, "RPLAY_CREDIT"}, {62, C2R, "RPLAY_STEP_CHANNELS"}, {63, R2C, "RPLAY_SYNC"},
  {99, C2R, "TRANS_ON_REQ"}, {101, R2C, "TRANS_ON_ACK"}, {102, R2C, "TRANS_ON_NACK"}, {102, C2R, "TRANS_OFF_REQ"},
  {104, R2C, "TRANS_OFF_ACK"}, {105, R2C, "TRANS_OFF_NACK"},
  {112, C2R, "DB_INFO_REQ"}, {113, R2C, "DB_INFO_ACK"}, {114, R2C, "DB48_INFO_NACK"},
  {115, C2R, "DB_UPDATE_REQ"}, {116, R2C, "DB_UPDATE_ACK"}, {117, R2C, "DB_UPDATE_NACK"},
  {125, R2C, "DST_INFO"}, {126, C2R, "DVR_TIME_REQ"}, {127, R2C, "DVR_TIME_ACK"},
  {144, C2R, "FW_UPDATE_REQ"}, {145, R2C, "FW_UPDATE_ACK"}, {146, C2R, "FW_DATA"},
  {256, R2C, "REC_STATUS"}, {257, R2C, "REC_STATUS_COMPANION"}, {258, R2C, "DB_CHANGE"}, {259, R2C, "SYS_ETC_INFO"},
  {260, C2R, "PLAY_INFO_MONTH_REQ"}, {261, R2C, "PLAY_INFO_MONTH_ACK"}, {262, R2C, "PLAY_INFO_MONTH_NACK"},
  {263, C2R, "PLAY_INFO_DAY_REQ"}, {264, R2C, "PLAY_INFO_DAY_ACK"}, {265, R2C, "PLAY_INFO_DAY_NACK"},
  {266, R2C, "PLAY_DATA"}, {267, R2C, "PLAY_ON_FAIL"}, {268, R2C, "PLAY_ON_DONE"},
  {269, R2C, "DB_CHANGE_UNICODE"}, {270, R2C, "RIGHT_CHANGE"},
  {272, C2R, "A_LISTEN_REQ"}, {273, R2C, "A_LISTEN_ACK"}, {274, R2C, "A_LISTEN_NACK"}, {277, R2C, "A_LISTEN_STOP_ACK"},
  {282, C2R, "PTZ_CHANNEL_REQ"}, {283, R2C, "PTZ_CHANNEL_ACK"}, {284, C2R, "PTZ_MOVE_REQ"}, {285, C2R, "PTZ_MOVE_STOP"},
  {288, C2R, "TRANS_INFO_MONTH_REQ"}, {289, R2C, "TRANS_INFO_MONTH_ACK"}, {290, R2C, "TRANS_INFO_MONTH_NACK"},
  {291, C2R, "TRANS_INFO_DAY_REQ"}, {292, R2C, "TRANS_INFO_DAY_ACK"}, {293, R2C, "TRANS_INFO_DAY_NACK"},
  {294, C2R, "TRANS_DATA_REQ"}, {295, R2C, "TRANS_ON_DATA"}, {297, R2C, "TRANS_ON_DONE"}, {298, R2C, "TRANS_ON_FAIL"},
  {299, C2R, "CAPA_CAL_CANCEL"},
  {304, R2C, "FW_UPDATE_NACK"}, {305, R2C, "FW_DATA_RX_DONE"}, {306, R2C, "FW_DATA_RX_FAIL"},
  {307, R2C, "FW_UPDATE_DONE"}, {308, R2C, "FW_UPDATE_FAIL"},
  {320, C2R, "LOG_INFO_REQ"}, {321, R2C, "LOG_INFO_ACK"}, {322, R2C, "LOG_INFO_NACK"},
  {324, R2C, "SYSTEM_INFO_ACK"}, {325, R2C, "SYSTEM_INFO_NACK"},
  {326, C2R, "STATUS_INFO_REQ"}, {327, R2C, "STATUS_INFO_ACK"}, {328, R2C, "STATUS_INFO_NACK"},
  {329, C2R, "EVENT_INFO_REQ"}, {330, R2C, "EVENT_INFO_ACK"}, {331, R2C, "EVENT_INFO_NACK"},
  {332, C2R, "EVENT_INFO_REQ_BYPG"}, {333, R2C, "EVENT_INFO_ACK_BYPG"}, {334, R2C, "EVENT_INFO_NACK_BYPG"},
  {336, C2R, "DB_INIT_REQ"}, {337, R2C, "DB_INIT_ACK"}, {338, R2C, "DB_INIT_NACK"},
  {339, C2R, "SEND_TEST_MAIL_REQ"}, {340, R2C, "SEND_TEST_MAIL_ACK"}, {341, R2C, "SEND_TEST_MAIL_NACK"},
  {342, C2R, "REBOOT_REQ"}, {343, R2C, "REBOOT_ACK"}, {344, R2C, "REBOOT_NACK"},
  {345, C2R, "POWEROFF_REQ"}, {346, R2C, "POWEROFF_ACK"}, {347, R2C, "POWEROFF_NACK"},
};
// clang-format on

// Two flat lookup tables indexed by code, built once.
struct Tables {
  std::array<const char*, kMaxCode + 1> toRecorder{};
  std::array<const char*, kMaxCode + 1> toClient{};
  Tables() {
    for (const Entry& e : kEntries) (e.direction == C2R ? toRecorder : toClient)[e.code] = e.name;
  }
};

const Tables& GetTables() {
  static const Tables tables;
  return tables;
}

}  // namespace

const char* Name(uint16_t code, Direction direction) {
  if (code > kMaxCode) return nullptr;
  const Tables& t = GetTables();
  return direction == C2R ? t.toRecorder[code] : t.toClient[code];
}

}  // namespace orva::msg
