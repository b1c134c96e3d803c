#include "orva/setup/change_notice.h"

#include <algorithm>
#include <cstring>

#include "orva/link/trace.h"

namespace orva {
namespace {

constexpr size_t kCovertOffset = 4, kNamesOffset = 20;
constexpr size_t kNarrowNameBytes = 32;
constexpr size_t kUnicodeNameUnits = 32;  // unit 0 is not text
static_assert(kNamesOffset + kNoticeChannels * kNarrowNameBytes + 64 == kDbChangeSize);
static_assert(kNamesOffset + kNoticeChannels * kUnicodeNameUnits * 2 + 64 == kDbChangeUnicodeSize);

uint32_t BigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

bool CheckSize(std::span<const uint8_t> payload, size_t expected, const char* kind, std::string& error) {
  if (payload.size() == expected) return true;
  Trace("db change size : %d, Payload size : %d\n", static_cast<int>(expected),
        static_cast<int>(payload.size()));
  error = std::string(kind) + " payload must be " + std::to_string(expected) + " bytes, got " +
          std::to_string(payload.size());
  return false;
}

void ReadHeadAndCovert(std::span<const uint8_t> payload, CameraNotice& n) {
  n.head = BigEndian32(payload.data());
  std::copy_n(payload.begin() + kCovertOffset, n.covert.size(), n.covert.begin());
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

size_t Utf8Length(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

bool IsHigh(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8Bounded(std::span<const uint16_t> units, size_t maxBytes) {
  std::string out;
  size_t i = 0;
  while (i < units.size() && units[i] != 0) {
    uint32_t cp = units[i];
    size_t used = 1;
    if (IsHigh(units[i]) && i + 1 < units.size() && IsLow(units[i + 1])) {
      cp = 0x10000 + ((static_cast<uint32_t>(units[i]) - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
      used = 2;
    } else if (IsHigh(units[i]) || IsLow(units[i])) {
      cp = '?';  // unpaired surrogate: nothing to map it to
    }
    if (out.size() + Utf8Length(cp) > maxBytes) break;
    AppendUtf8(out, cp);
    i += used;
  }
  return out;
}

bool ParseDbChange(std::span<const uint8_t> payload, CameraNotice& out, std::string& error) {
  if (!CheckSize(payload, kDbChangeSize, "DB_CHANGE", error)) return false;
  CameraNotice n;
  n.unicode = false;
  ReadHeadAndCovert(payload, n);
  for (int ch = 0; ch < kNoticeChannels; ++ch) {
    const uint8_t* name = payload.data() + kNamesOffset + static_cast<size_t>(ch) * kNarrowNameBytes;
    size_t len = 0;
    while (len < kNarrowNameBytes && name[len] != 0) ++len;
    // 32 bytes into a 64-byte entry: the terminator always fits.
    std::memcpy(n.titles[static_cast<size_t>(ch)].data(), name, len);
  }
  out = n;
  return true;
}

bool ParseDbChangeUnicode(std::span<const uint8_t> payload, CameraNotice& out, std::string& error) {
  if (!CheckSize(payload, kDbChangeUnicodeSize, "DB_CHANGE_UNICODE", error)) return false;
  CameraNotice n;
  n.unicode = true;
  ReadHeadAndCovert(payload, n);
  for (int ch = 0; ch < kNoticeChannels; ++ch) {
    const uint8_t* entry = payload.data() + kNamesOffset + static_cast<size_t>(ch) * kUnicodeNameUnits * 2;
    std::array<uint16_t, kUnicodeNameUnits - 1> units{};
    for (size_t u = 0; u < units.size(); ++u) {
      const uint8_t* p = entry + (u + 1) * 2;
      units[u] = static_cast<uint16_t>(p[0] << 8 | p[1]);
    }
    const std::string text = Utf16ToUtf8Bounded(units, kUnicodeTitleMaxBytes);
    std::memcpy(n.titles[static_cast<size_t>(ch)].data(), text.data(), text.size());
    Trace("%d...%s\n", static_cast<int>(payload.size()), text.c_str());
  }
  out = n;
  return true;
}

}  // namespace orva
