// The message catalogue: every code of the recorder protocol, by name.
//
// The codes are fixed numbers; none is derived from another. Code 102 is the
// one code shared by both directions with two meanings: TRANS_ON_NACK from
// the recorder, TRANS_OFF_REQ from the client.
#pragma once

#include <cstdint>

namespace orva::msg {

// clang-format off
inline constexpr uint16_t HELLO                 = 1;
inline constexpr uint16_t BYE48                 = 4;    // both directions
inline constexpr uint16_t HELLO48_ACK           = 5;
inline constexpr uint16_t LIVE_REQ              = 16;
inline constexpr uint16_t LIVE_CHANNEL_INFO     = 17;
inline constexpr uint16_t LIVE_DATA             = 18;
inline constexpr uint16_t LIVE_NACK             = 19;
inline constexpr uint16_t LIVE_STOP             = 20;
inline constexpr uint16_t LIVE_STOP_ACK         = 21;
inline constexpr uint16_t LIVE_STOP_NACK        = 22;
inline constexpr uint16_t AUDIO_ONOFF_REQ       = 23;
inline constexpr uint16_t SYS_ETC_INFO_EX       = 24;
inline constexpr uint16_t REC_ON_REQ            = 32;
inline constexpr uint16_t REC_ON_ACK            = 33;
inline constexpr uint16_t REC_ON_NACK           = 34;
inline constexpr uint16_t REC_OFF_REQ           = 35;
inline constexpr uint16_t REC_OFF_ACK           = 36;
inline constexpr uint16_t REC_OFF_NACK          = 37;
inline constexpr uint16_t RPLAY_STEP_BACK       = 42;
inline constexpr uint16_t RPLAY_BACKWARD        = 43;
inline constexpr uint16_t RPLAY_FORWARD         = 44;
inline constexpr uint16_t RPLAY_PAUSE           = 45;
inline constexpr uint16_t RPLAY_STEP_FWD        = 46;
inline constexpr uint16_t PLAY_ON_REQ           = 51;
inline constexpr uint16_t PLAY_CHANNEL_INFO     = 52;
inline constexpr uint16_t PLAY_ON_ACK           = 53;
inline constexpr uint16_t PLAY_ON_NACK          = 54;
inline constexpr uint16_t RPLAY_STOP            = 55;
inline constexpr uint16_t PLAY_OFF_ACK          = 56;
inline constexpr uint16_t PLAY_OFF_NACK         = 57;
inline constexpr uint16_t RPLAY_CREDIT          = 61;
inline constexpr uint16_t RPLAY_STEP_CHANNELS   = 62;
inline constexpr uint16_t RPLAY_SYNC            = 63;
inline constexpr uint16_t TRANS_ON_REQ          = 99;
inline constexpr uint16_t TRANS_ON_ACK          = 101;
inline constexpr uint16_t TRANS_ON_NACK         = 102;  // recorder to client
inline constexpr uint16_t TRANS_OFF_REQ         = 102;  // client to recorder (not 103)
inline constexpr uint16_t TRANS_OFF_ACK         = 104;
inline constexpr uint16_t TRANS_OFF_NACK        = 105;
inline constexpr uint16_t DB_INFO_REQ           = 112;
inline constexpr uint16_t DB_INFO_ACK           = 113;
inline constexpr uint16_t DB48_INFO_NACK        = 114;
inline constexpr uint16_t DB_UPDATE_REQ         = 115;
inline constexpr uint16_t DB_UPDATE_ACK         = 116;
inline constexpr uint16_t DB_UPDATE_NACK        = 117;
inline constexpr uint16_t DST_INFO              = 125;
inline constexpr uint16_t DVR_TIME_REQ          = 126;
inline constexpr uint16_t DVR_TIME_ACK          = 127;
inline constexpr uint16_t FW_UPDATE_REQ         = 144;
inline constexpr uint16_t FW_UPDATE_ACK         = 145;
inline constexpr uint16_t FW_DATA               = 146;
inline constexpr uint16_t REC_STATUS            = 256;
inline constexpr uint16_t REC_STATUS_COMPANION  = 257;  // three 32-bit values, ignored
inline constexpr uint16_t DB_CHANGE             = 258;
inline constexpr uint16_t SYS_ETC_INFO          = 259;
inline constexpr uint16_t PLAY_INFO_MONTH_REQ   = 260;
inline constexpr uint16_t PLAY_INFO_MONTH_ACK   = 261;
inline constexpr uint16_t PLAY_INFO_MONTH_NACK  = 262;
inline constexpr uint16_t PLAY_INFO_DAY_REQ     = 263;
inline constexpr uint16_t PLAY_INFO_DAY_ACK     = 264;
inline constexpr uint16_t PLAY_INFO_DAY_NACK    = 265;
inline constexpr uint16_t PLAY_DATA             = 266;
inline constexpr uint16_t PLAY_ON_FAIL          = 267;
inline constexpr uint16_t PLAY_ON_DONE          = 268;
inline constexpr uint16_t DB_CHANGE_UNICODE     = 269;
inline constexpr uint16_t RIGHT_CHANGE          = 270;
inline constexpr uint16_t A_LISTEN_REQ          = 272;
inline constexpr uint16_t A_LISTEN_ACK          = 273;
inline constexpr uint16_t A_LISTEN_NACK         = 274;
inline constexpr uint16_t A_LISTEN_STOP_ACK     = 277;
inline constexpr uint16_t PTZ_CHANNEL_REQ       = 282;
inline constexpr uint16_t PTZ_CHANNEL_ACK       = 283;
inline constexpr uint16_t PTZ_MOVE_REQ          = 284;
inline constexpr uint16_t PTZ_MOVE_STOP         = 285;
inline constexpr uint16_t TRANS_INFO_MONTH_REQ  = 288;
inline constexpr uint16_t TRANS_INFO_MONTH_ACK  = 289;
inline constexpr uint16_t TRANS_INFO_MONTH_NACK = 290;
inline constexpr uint16_t TRANS_INFO_DAY_REQ    = 291;
inline constexpr uint16_t TRANS_INFO_DAY_ACK    = 292;
inline constexpr uint16_t TRANS_INFO_DAY_NACK   = 293;
inline constexpr uint16_t TRANS_DATA_REQ        = 294;
inline constexpr uint16_t TRANS_ON_DATA         = 295;
inline constexpr uint16_t TRANS_ON_DONE         = 297;
inline constexpr uint16_t TRANS_ON_FAIL         = 298;
inline constexpr uint16_t CAPA_CAL_CANCEL       = 299;
inline constexpr uint16_t FW_UPDATE_NACK        = 304;
inline constexpr uint16_t FW_DATA_RX_DONE       = 305;
inline constexpr uint16_t FW_DATA_RX_FAIL       = 306;
inline constexpr uint16_t FW_UPDATE_DONE        = 307;
inline constexpr uint16_t FW_UPDATE_FAIL        = 308;
inline constexpr uint16_t LOG_INFO_REQ          = 320;
inline constexpr uint16_t LOG_INFO_ACK          = 321;
inline constexpr uint16_t LOG_INFO_NACK         = 322;
inline constexpr uint16_t SYSTEM_INFO_ACK       = 324;
inline constexpr uint16_t SYSTEM_INFO_NACK      = 325;
inline constexpr uint16_t STATUS_INFO_REQ       = 326;
inline constexpr uint16_t STATUS_INFO_ACK       = 327;
inline constexpr uint16_t STATUS_INFO_NACK      = 328;
inline constexpr uint16_t EVENT_INFO_REQ        = 329;
inline constexpr uint16_t EVENT_INFO_ACK        = 330;
inline constexpr uint16_t EVENT_INFO_NACK       = 331;
inline constexpr uint16_t EVENT_INFO_REQ_BYPG   = 332;
inline constexpr uint16_t EVENT_INFO_ACK_BYPG   = 333;
inline constexpr uint16_t EVENT_INFO_NACK_BYPG  = 334;
inline constexpr uint16_t DB_INIT_REQ           = 336;
inline constexpr uint16_t DB_INIT_ACK           = 337;
inline constexpr uint16_t DB_INIT_NACK          = 338;
inline constexpr uint16_t SEND_TEST_MAIL_REQ    = 339;
inline constexpr uint16_t SEND_TEST_MAIL_ACK    = 340;
inline constexpr uint16_t SEND_TEST_MAIL_NACK   = 341;
inline constexpr uint16_t REBOOT_REQ            = 342;
inline constexpr uint16_t REBOOT_ACK            = 343;
inline constexpr uint16_t REBOOT_NACK           = 344;
inline constexpr uint16_t POWEROFF_REQ          = 345;
inline constexpr uint16_t POWEROFF_ACK          = 346;
inline constexpr uint16_t POWEROFF_NACK         = 347;
// clang-format on

inline constexpr uint16_t kMaxCode = 511;  // nine bits in the control word

enum class Direction { kClientToRecorder, kRecorderToClient };

// The catalogue name of a code in one direction, or nullptr when the code
// does not travel that way (code 102 has a name in both).
const char* Name(uint16_t code, Direction direction);

// True when the catalogue lists the code as sent by the recorder. Every
// other code that arrives is read past.
inline bool IsRecorderToClient(uint16_t code) { return Name(code, Direction::kRecorderToClient) != nullptr; }

}  // namespace orva::msg
