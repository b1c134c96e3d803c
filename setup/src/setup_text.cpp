#include "setup_text.h"

#include <cstdio>

namespace orva {

size_t Utf8PrefixLength(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  auto continuation = [&](size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
  // text[maxBytes] is the first byte left out; when it continues a character
  // that began inside the prefix, that character is left out whole.
  size_t start = maxBytes;
  while (start > 0 && continuation(start)) --start;
  const bool lead = (static_cast<unsigned char>(text[start]) & 0xC0) == 0xC0;
  return continuation(maxBytes) && lead ? start : maxBytes;
}

std::string EscapeSetupText(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (b < 0x20 || b == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

bool UnescapeSetupText(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      ++i;
      continue;
    }
    if (i + 3 >= text.size() || text[i + 1] != 'x') return false;
    unsigned value = 0;
    for (size_t k = i + 2; k <= i + 3; ++k) {
      const char h = text[k];
      const int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
      if (d < 0) return false;
      value = value * 16 + static_cast<unsigned>(d);
    }
    out += static_cast<char>(value);
    i += 3;
  }
  return true;
}

}  // namespace orva
