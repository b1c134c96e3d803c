#include "orva/sim/payloads.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "orva/sim/wire.h"

namespace orva::sim {

namespace {

// Copies text into a zero-padded field, keeping at least one terminating zero.
void PutText(uint8_t* field, size_t width, const std::string& text) {
  const size_t n = std::min(text.size(), width - 1);
  std::memcpy(field, text.data(), n);
}

}  // namespace

std::string CutUtf8(const std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t end = maxBytes;
  // Step back over continuation bytes so the cut lands on a lead byte.
  while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string LowerAscii(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool Utf8ToUtf16(const std::string& text, std::u16string& out) {
  out.clear();
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t lead = s[i];
    uint32_t cp = 0;
    size_t extra = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1Fu;
      extra = 1;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0Fu;
      extra = 2;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      cp = lead & 0x07u;
      extra = 3;
      minimum = 0x10000;
    } else {
      return false;
    }
    if (extra > n - i - 1) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const uint8_t c = s[i + k];
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += extra + 1;
  }
  return true;
}

std::vector<uint8_t> BuildHello48Ack(const SimConfig& config, uint8_t account) {
  std::vector<uint8_t> p(kHello48AckSize, 0);
  p[0] = config.protocolMajor;
  p[1] = config.protocolMinor;
  p[2] = config.productNumber;
  p[3] = config.productMajor;
  p[4] = config.productMinor;
  p[5] = config.frontVersion;
  p[6] = config.channels;
  p[7] = account;
  std::copy(config.mac.begin(), config.mac.end(), p.begin() + 8);
  for (const FirmwareComponent& fw : config.firmware) {
    if (fw.index < 0 || static_cast<size_t>(fw.index) >= kFirmwareSlots) continue;
    const auto slot = static_cast<size_t>(fw.index);
    PutText(p.data() + kFirmwareNameOffset + slot * kTextField, kTextField, fw.name);
    PutU32(p.data() + kFirmwareTimeOffset + slot * 4, fw.buildTime);
  }
  return p;
}

std::vector<uint8_t> BuildRightsTable(const std::vector<SimUser>& users) {
  std::vector<uint8_t> t(kRightsTableSize, 0);
  const size_t count = std::min(users.size(), kUserSlots);
  for (size_t s = 0; s < count; ++s) {
    const SimUser& u = users[s];
    // Right rows in table order, one byte per slot in each row of eight.
    const bool rights[] = {u.stopRecording, u.setup, u.playback, u.backup,
                           u.ptz,           u.covert, u.access, u.reboot};
    for (size_t row = 0; row < 8; ++row) t[row * kUserSlots + s] = rights[row] ? 1 : 0;
    t[kRightsLevelOffset + s] = u.level;
    PutText(t.data() + kRightsIdOffset + s * kTextField, kTextField, u.id);
    PutText(t.data() + kRightsPasswordOffset + s * kTextField, kTextField, u.password);
  }
  return t;
}

std::vector<uint8_t> BuildDbChange(const std::array<uint8_t, 16>& covert,
                                   const std::array<std::string, 16>& names) {
  std::vector<uint8_t> p(kDbChangeSize, 0);
  // Bytes 0-3: a value the client does not use; sent as 0.
  for (size_t ch = 0; ch < kCameraCount; ++ch) {
    p[4 + ch] = covert[ch];
    std::memcpy(p.data() + 20 + ch * kTextField, names[ch].data(),
                std::min(names[ch].size(), kTextField));
  }
  return p;
}

std::vector<uint8_t> BuildDbChange(const SimConfig& config) {
  std::array<uint8_t, 16> covert{};
  std::array<std::string, 16> names;
  for (size_t ch = 0; ch < kCameraCount; ++ch) {
    covert[ch] = config.covert[ch] ? 1 : 0;
    names[ch] = CutUtf8(config.cameraNames[ch], kTextField - 1);
  }
  return BuildDbChange(covert, names);
}

std::vector<uint8_t> BuildDbChangeUnicode(const std::array<uint8_t, 16>& covert,
                                          const std::array<std::u16string, 16>& names) {
  std::vector<uint8_t> p(kDbChangeUnicodeSize, 0);
  constexpr size_t kEntryBytes = 64;
  for (size_t ch = 0; ch < kCameraCount; ++ch) {
    p[4 + ch] = covert[ch];
    const std::u16string& units = names[ch];
    // Never end on half a surrogate pair when the name has to be cut.
    size_t count = std::min(units.size(), kNameUnits);
    if (count < units.size() && count > 0 && units[count - 1] >= 0xD800 &&
        units[count - 1] <= 0xDBFF) {
      --count;
    }
    uint8_t* entry = p.data() + 20 + ch * kEntryBytes;
    // Unit 0 is not part of the text and stays 0.
    for (size_t k = 0; k < count; ++k) PutU16(entry + 2 + k * 2, units[k]);
  }
  return p;
}

std::vector<uint8_t> BuildDbChangeUnicode(const SimConfig& config) {
  std::array<uint8_t, 16> covert{};
  std::array<std::u16string, 16> names;
  for (size_t ch = 0; ch < kCameraCount; ++ch) {
    covert[ch] = config.covert[ch] ? 1 : 0;
    if (!Utf8ToUtf16(config.cameraNames[ch], names[ch])) {
      names[ch].assign(1, char16_t{0xFFFD});  // Start() refuses such names; stay safe anyway
    }
  }
  return BuildDbChangeUnicode(covert, names);
}

std::vector<uint8_t> BuildResult(int32_t result) {
  std::vector<uint8_t> p(4, 0);
  PutU32(p.data(), static_cast<uint32_t>(result));
  return p;
}

std::vector<uint8_t> BuildWord(uint32_t value) {
  std::vector<uint8_t> p(4, 0);
  PutU32(p.data(), value);
  return p;
}

std::vector<uint8_t> BuildRecStatus(bool recording) {
  std::vector<uint8_t> p(16, 0);
  PutU32(p.data() + 4, recording ? kStatusRecording : kStatusIdle);
  return p;
}

std::vector<uint8_t> BuildDstInfo() {
  // The client keeps this table without reading it; a European-style rule
  // (last Sunday of March 02:00 to last Sunday of October 03:00, months and
  // weeks counted from 0) makes it look like a recorder's.
  static constexpr uint32_t kRule[] = {1, 2, 4, 0, 2, 0, 9, 4, 0, 3, 0};
  std::vector<uint8_t> p(kDstInfoSize, 0);
  for (size_t i = 0; i < std::size(kRule); ++i) PutU32(p.data() + 4 * i, kRule[i]);
  return p;
}

}  // namespace orva::sim
