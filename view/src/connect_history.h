// The connection history file ConnectInfo100.log under Location/Log/: a ring
// of up to 100 entries of 532 bytes behind an 8-byte head, integers in this
// computer's byte order. Plain C++ so that it can be tested without windows.
//
// Head:   0 u32 wrap flag (0 until 100 entries were written), 4 u32 next index.
// Entry:  0 address (260, zero-padded), 260 i32 port, 264 u32 time (seconds
//         since 1970), 268 u32 index (0-99), 272 site text (260, zero-padded).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orva::view {

inline constexpr size_t kConnectHeadSize = 8;
inline constexpr size_t kConnectEntrySize = 532;
inline constexpr uint32_t kConnectHistoryEntries = 100;
inline constexpr size_t kConnectTextBytes = 260;
inline constexpr const char* kConnectHistoryFileName = "ConnectInfo100.log";

struct ConnectEntry {
  std::string address;  // at most 259 bytes are kept
  int32_t port = 0;
  uint32_t time = 0;
  uint32_t index = 0;
  std::string site;  // at most 259 bytes are kept
};

// Records one connection. A recorder already in the file (same address text,
// compared exactly, and same port) is refreshed in place, before and after
// the ring has wrapped; otherwise the entry goes to the next index until the
// ring has wrapped, then over the entry with the oldest time. Creates the
// folder and the file when missing. False with an error text when the file
// cannot be written; the file is then left as it was or holds whole entries.
bool RecordConnection(const std::filesystem::path& file, const ConnectEntry& entry, std::string& error);

// All whole entries, newest first (ties keep file order). A missing or
// unreadable file gives an empty list (false with the reason when unreadable).
bool ReadConnectHistory(const std::filesystem::path& file, std::vector<ConnectEntry>& newestFirst,
                        std::string& error);

// The site text of the newest entry for this address and port.
std::optional<std::string> SiteFor(const std::vector<ConnectEntry>& newestFirst, const std::string& address,
                                   int32_t port);

}  // namespace orva::view
