// The texts orvactl prints for the recorder's log and status codes: one
// table, shared by the commands and their help text.
#pragma once

#include <cstdint>
#include <string>

#include "orva/link/remote_log.h"

namespace orva::cli {

// Log type by LogTypeOf (0 power ... 4 event); "" for none.
const char* LogTypeLabel(int type);
// Kind label by the type and LogKindOf; "" for none.
const char* LogKindLabel(int type, int kind);
// The bit number of the record's kind within its type (operation kind 9 stays
// 9 here, unlike its label), or -1.
int LogKindBit(const LogRecord& record);

// Recording state 0-5; anything else gets the fallback "unknown".
const char* RecordingStateLabel(uint32_t state);
// Extra storage device state 0-2; anything else "unknown".
const char* DeviceStateLabel(uint32_t state);

}  // namespace orva::cli
