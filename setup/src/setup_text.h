// Text helpers of the setup record: cutting at a character boundary and the
// one-line escaping used by show/diff output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orva {

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 sequence (bytes that are not UTF-8 are counted singly).
size_t Utf8PrefixLength(std::string_view text, size_t maxBytes);

// Control bytes and '\' as \xNN and \\, so that a value stays on one line.
std::string EscapeSetupText(std::string_view text);
// The inverse; false on a malformed escape.
bool UnescapeSetupText(std::string_view text, std::string& out);

}  // namespace orva
