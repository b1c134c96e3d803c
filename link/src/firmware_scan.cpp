// The upgrade folder's scan: which file is an image of which component, and
// which of them is newer than what the recorder runs.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "orva/link/firmware.h"
#include "orva/link/time_convert.h"
#include "orva/link/trace.h"

namespace orva {
namespace {

constexpr std::array<int, kFirmwareRows> kRowComponent = {0, 3, 4, 2, 5, 6};
constexpr size_t kComponentHeaderSize = 64;
constexpr size_t kMainNameOffset = 4;
constexpr size_t kMainNameWidth = 11;
constexpr size_t kMainEntryNameWidth = 15;

bool IsComponentImage(std::span<const uint8_t> head) {
  return head.size() >= 8 && std::memcmp(head.data() + 3, "VBoot", 5) == 0;
}

// A fixed-width name field up to its first zero.
std::string_view FieldText(const uint8_t* p, size_t width) {
  const auto* text = reinterpret_cast<const char*>(p);
  return std::string_view(text, strnlen(text, width));
}

// A decimal number at `offset`, as atoi reads it: optional blanks, digits up
// to the first non-digit. Outside the bytes there is nothing to read: 0.
int DecimalAt(std::span<const uint8_t> head, size_t offset) {
  size_t i = offset;
  while (i < head.size() && head[i] == ' ') ++i;
  int value = 0;
  for (int digits = 0; i < head.size() && head[i] >= '0' && head[i] <= '9' && digits < 9; ++i, ++digits) {
    value = value * 10 + (head[i] - '0');
  }
  return value;
}

}  // namespace

int GetIdxToType(int row) {
  if (row < 0 || row >= kFirmwareRows) {
    Trace("GetIdxToType...Error... nIdx : %d, nType : %d\n", row, -1);
    return -1;
  }
  return kRowComponent[static_cast<size_t>(row)];
}

int GetTypeToIdx(int component) {
  const auto* it = std::find(kRowComponent.begin(), kRowComponent.end(), component);
  if (it == kRowComponent.end()) {
    Trace("GetTypeToIdx...Error... nIdx : %d, nType : %d\n", -1, component);
    return -1;
  }
  return static_cast<int>(it - kRowComponent.begin());
}

std::optional<uint32_t> ParseMainBuildTime(std::span<const uint8_t> head) {
  static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  head = head.first(std::min(head.size(), kFirmwareProbeSize));
  const auto open = std::find(head.begin(), head.end(), uint8_t{'('});
  if (open == head.end()) {
    Trace("can't find < ( >...\n");
    return std::nullopt;
  }
  const auto at = static_cast<size_t>(open - head.begin());
  int month = -1;
  if (at + 3 < head.size()) {
    for (int m = 0; m < 12; ++m) {
      if (std::memcmp(head.data() + at + 1, kMonths[m], 3) == 0) month = m;
    }
  }
  if (month < 0) {
    Trace("can't find month!\n");
    return std::nullopt;
  }
  UserTime t;
  t.month = month;
  t.day = DecimalAt(head, at + 5) - 1;
  t.year = DecimalAt(head, at + 8);
  t.hour = DecimalAt(head, at + 15);
  t.minute = DecimalAt(head, at + 18);
  t.second = DecimalAt(head, at + 21);
  const int64_t seconds = GetUsertimeToTime_t(t);
  // A date the wire word cannot hold names no real build.
  if (seconds <= 0 || seconds > int64_t{UINT32_MAX}) return std::nullopt;
  return static_cast<uint32_t>(seconds);
}

std::optional<FirmwareImage> ProbeFirmwareImage(std::span<const uint8_t> head, const RecorderIdentity& identity) {
  FirmwareImage image;
  if (IsComponentImage(head)) {
    if (head.size() < kComponentHeaderSize) return std::nullopt;
    const std::string_view name = FieldText(head.data() + 32, 32);
    // An unused slot has an empty name; an image without one matches nothing.
    if (name.empty()) return std::nullopt;
    for (int i = 0; i < kFirmwareComponents; ++i) {
      if (name == std::string_view(identity.firmName[static_cast<size_t>(i)].data())) {
        image.component = i;
        break;
      }
    }
    if (image.component < 0) return std::nullopt;
    image.buildTime = LoadBE32(head.data() + 8);
    std::copy_n(head.begin() + 32, 32, image.name.begin());
    return image;
  }
  if (head.size() < kMainNameOffset + kMainNameWidth) return std::nullopt;
  const std::string_view name = FieldText(head.data() + kMainNameOffset, kMainNameWidth);
  if (name.empty() || name != std::string_view(identity.firmName[0].data())) return std::nullopt;
  const std::optional<uint32_t> built = ParseMainBuildTime(head);
  if (!built) return std::nullopt;
  image.component = 0;
  image.buildTime = *built;
  std::copy_n(head.begin(), std::min(head.size(), kMainEntryNameWidth), image.name.begin());
  return image;
}

void FirmwareEntry::Fill(const FirmwareImage& image, const std::string& path) {
  Clear();
  m_bytes[0] = 1;
  // Paths that do not fit are never offered (see the scan), so this only
  // guards the field.
  std::memcpy(m_bytes.data() + 1, path.data(), std::min(path.size(), kFirmwarePathSize - 1));
  StoreBE32(m_bytes.data() + 268, image.buildTime);
  m_bytes[280] = static_cast<uint8_t>(image.component);
  std::copy(image.name.begin(), image.name.end(), m_bytes.begin() + 285);
}

std::string FirmwareEntry::Name() const {
  return std::string(FieldText(m_bytes.data() + 285, 32));
}

int ScanUpgradeFolder(const std::string& folder, const RecorderIdentity& identity, FirmwareRows& rows) {
  for (FirmwareEntry& entry : rows) entry.Clear();
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return 0;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir.get())) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
  }
  // The directory's own order is arbitrary; a sorted walk makes ties between
  // equal builds come out the same on every run.
  std::sort(names.begin(), names.end());
  int found = 0;
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    // A path the entry cannot hold could not be opened again for the upload.
    if (path.size() >= kFirmwarePathSize) continue;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) continue;
    std::array<uint8_t, kFirmwareProbeSize> head{};
    const size_t got = std::fread(head.data(), 1, head.size(), file.get());
    const std::optional<FirmwareImage> image = ProbeFirmwareImage(std::span(head.data(), got), identity);
    if (!image) continue;
    const int row = GetTypeToIdx(image->component);
    if (row < 0) continue;
    FirmwareEntry& entry = rows[static_cast<size_t>(row)];
    if (image->buildTime <= identity.firmVer[static_cast<size_t>(image->component)]) continue;
    if (image->buildTime <= entry.BuildTime()) continue;
    entry.Fill(*image, path);
    ++found;
  }
  return found;
}

}  // namespace orva
