// Byte-level helpers of the MP4 export: the access units inside a recorded
// picture, its parameter sets, and the SHA-256 lines of the check list.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "mp4_export_internal.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

namespace orva::mp4 {
namespace {

std::span<const uint8_t> TrimZeros(std::span<const uint8_t> bytes) {
  size_t n = bytes.size();
  while (n > 0 && bytes[n - 1] == 0) --n;
  return bytes.first(n);
}

}  // namespace

bool SplitPictureParts(const LocalFrame& frame, std::span<const uint8_t>& first, std::span<const uint8_t>& second) {
  const std::span<const uint8_t> data(frame.data);
  first = second = {};
  if (!VideoFrameFits(frame.info, data.size())) return false;
  // The first part's length is rounded up and may reach past a single picture's data.
  const size_t firstEnd = std::min<size_t>(frame.info.partLength, data.size());
  first = TrimZeros(data.subspan(kFrameHeaderSize, firstEnd - kFrameHeaderSize));
  if (frame.info.sizeCode == 2) second = TrimZeros(data.subspan(frame.info.partLength + kFrameHeaderSize));
  return !first.empty() && (frame.info.sizeCode != 2 || !second.empty());
}

std::vector<uint8_t> ParameterSets(std::span<const uint8_t> au) {
  // Start code positions, then each unit up to the next start code (its
  // leading zero byte included in the trim).
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= au.size(); ++i)
    if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1) {
      starts.push_back(i + 3);
      i += 2;
    }
  std::vector<uint8_t> sps, pps;
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t begin = starts[k];
    const size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : au.size();
    if (begin >= end) continue;
    std::span<const uint8_t> unit = TrimZeros(au.subspan(begin, end - begin));
    if (unit.empty()) continue;
    const int type = unit[0] & 0x1F;
    std::vector<uint8_t>& into = type == 7 ? sps : pps;
    if ((type != 7 && type != 8) || !into.empty()) continue;
    into = {0, 0, 0, 1};
    into.insert(into.end(), unit.begin(), unit.end());
  }
  if (sps.empty() || pps.empty()) return {};
  sps.insert(sps.end(), pps.begin(), pps.end());
  return sps;
}

bool Sha256Line(const std::string& path, const std::string& shownName, std::string& line, std::string& error) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  std::unique_ptr<AVSHA, void (*)(void*)> sha(av_sha_alloc(), av_free);
  if (!file) {
    error = "cannot read " + path + " for its SHA-256";
    return false;
  }
  if (!sha || av_sha_init(sha.get(), 256) < 0) {
    error = "out of memory for SHA-256";
    return false;
  }
  std::vector<uint8_t> buffer(1 << 20);
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) av_sha_update(sha.get(), buffer.data(), n);
  if (std::ferror(file.get())) {
    error = "read error in " + path + " while computing its SHA-256";
    return false;
  }
  uint8_t digest[32];
  av_sha_final(sha.get(), digest);
  // sha256sum marks a line whose name holds a backslash or a line break with
  // a leading backslash and escapes those characters.
  std::string name;
  bool escaped = false;
  for (char c : shownName) {
    if (c == '\\' || c == '\n') {
      name += c == '\\' ? "\\\\" : "\\n";
      escaped = true;
    } else {
      name += c;
    }
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(66 + name.size() + 2);
  if (escaped) text.push_back('\\');
  for (uint8_t b : digest) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 15]);
  }
  line = std::move(text);
  line += "  " + name + "\n";
  return true;
}

}  // namespace orva::mp4
