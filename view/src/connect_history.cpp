#include "connect_history.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <system_error>

namespace orva::view {
namespace {

using EntryBytes = std::array<char, kConnectEntrySize>;

void PutText(char* out, const std::string& text) {
  std::memset(out, 0, kConnectTextBytes);
  std::memcpy(out, text.data(), std::min(text.size(), kConnectTextBytes - 1));
}

std::string GetText(const char* in) { return std::string(in, strnlen(in, kConnectTextBytes)); }

template <typename T>
void Put(char* out, T value) {
  std::memcpy(out, &value, sizeof value);
}

template <typename T>
T Get(const char* in) {
  T value;
  std::memcpy(&value, in, sizeof value);
  return value;
}

EntryBytes Encode(const ConnectEntry& e) {
  EntryBytes b{};
  PutText(b.data(), e.address);
  Put<int32_t>(b.data() + 260, e.port);
  Put<uint32_t>(b.data() + 264, e.time);
  Put<uint32_t>(b.data() + 268, e.index);
  PutText(b.data() + 272, e.site);
  return b;
}

ConnectEntry Decode(const char* b) {
  ConnectEntry e;
  e.address = GetText(b);
  e.port = Get<int32_t>(b + 260);
  e.time = Get<uint32_t>(b + 264);
  e.index = Get<uint32_t>(b + 268);
  e.site = GetText(b + 272);
  return e;
}

// Entries in file order; the head is returned through wrap/next.
bool ReadAll(const std::filesystem::path& file, uint32_t& wrap, uint32_t& next, std::vector<ConnectEntry>& entries,
             std::string& error) {
  wrap = next = 0;
  entries.clear();
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return true;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "cannot open " + file.string();
    return false;
  }
  std::array<char, kConnectHeadSize> head{};
  if (!in.read(head.data(), head.size())) return true;  // too short for a head: as new
  wrap = Get<uint32_t>(head.data());
  next = Get<uint32_t>(head.data() + 4);
  EntryBytes b{};
  while (entries.size() < kConnectHistoryEntries && in.read(b.data(), b.size())) entries.push_back(Decode(b.data()));
  return true;
}

}  // namespace

bool RecordConnection(const std::filesystem::path& file, const ConnectEntry& entry, std::string& error) {
  std::error_code ec;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  uint32_t wrap = 0, next = 0;
  std::vector<ConnectEntry> entries;
  if (!ReadAll(file, wrap, next, entries, error)) return false;
  // A damaged head must not send the write outside the ring.
  if (next >= kConnectHistoryEntries) next = 0;

  const std::string address = entry.address.substr(0, std::min(entry.address.size(), kConnectTextBytes - 1));
  size_t slot = entries.size();
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].address == address && entries[i].port == entry.port) {
      slot = i;
      break;
    }
  const bool sameRecorder = slot < entries.size();
  bool advance = false;
  if (!sameRecorder) {
    if (wrap == 0) {
      slot = next;
      advance = true;
    } else {
      slot = 0;
      for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i].time < entries[slot].time) slot = i;
      if (entries.empty()) slot = next;
    }
  }

  ConnectEntry written = entry;
  written.index = static_cast<uint32_t>(slot);
  const EntryBytes bytes = Encode(written);

  if (!std::filesystem::exists(file, ec)) std::ofstream(file, std::ios::binary).flush();
  std::fstream io(file, std::ios::binary | std::ios::in | std::ios::out);
  if (!io) {
    error = "cannot write " + file.string();
    return false;
  }
  if (advance) {
    if (next < kConnectHistoryEntries - 1) {
      ++next;
    } else {
      next = 0;
      wrap = 1;
    }
  }
  std::array<char, kConnectHeadSize> head{};
  Put<uint32_t>(head.data(), wrap);
  Put<uint32_t>(head.data() + 4, next);
  // Entry first, then the head that counts it.
  io.seekp(static_cast<std::streamoff>(kConnectHeadSize + slot * kConnectEntrySize));
  io.write(bytes.data(), bytes.size());
  io.seekp(0);
  io.write(head.data(), head.size());
  io.flush();
  if (!io) {
    error = "cannot write " + file.string();
    return false;
  }
  return true;
}

bool ReadConnectHistory(const std::filesystem::path& file, std::vector<ConnectEntry>& newestFirst,
                        std::string& error) {
  uint32_t wrap = 0, next = 0;
  if (!ReadAll(file, wrap, next, newestFirst, error)) return false;
  std::stable_sort(newestFirst.begin(), newestFirst.end(),
                   [](const ConnectEntry& a, const ConnectEntry& b) { return a.time > b.time; });
  return true;
}

std::optional<std::string> SiteFor(const std::vector<ConnectEntry>& newestFirst, const std::string& address,
                                   int32_t port) {
  for (const ConnectEntry& e : newestFirst)
    if (e.address == address && e.port == port) return e.site;
  return std::nullopt;
}

}  // namespace orva::view
