#include "firmware_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "orva/sim/firmware_files.h"

namespace orva::sim::detail {
namespace {

constexpr size_t kAnnouncementSize = 56;
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void PutBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

std::string Field(const uint8_t* p, size_t width) {
  const auto* text = reinterpret_cast<const char*>(p);
  return std::string(text, strnlen(text, width));
}

bool IsComponentImage(std::span<const uint8_t> image) {
  return image.size() >= 64 && std::memcmp(image.data() + 3, "VBoot", 5) == 0;
}

// Fills the rest of an image with a pattern that depends on the component, so
// two images never look alike.
void FillBody(std::vector<uint8_t>& image, size_t from, int component) {
  for (size_t i = from; i < image.size(); ++i) image[i] = static_cast<uint8_t>((i * 31 + component * 7) & 0xFF);
}

}  // namespace

std::optional<FirmwareAnnouncement> ParseAnnouncement(std::span<const uint8_t> payload) {
  if (payload.size() != kAnnouncementSize) return std::nullopt;
  FirmwareAnnouncement a;
  a.buildTime = Be32(payload.data() + 4);
  a.component = payload[16];
  a.name = Field(payload.data() + 21, 32);
  return a;
}

std::optional<uint32_t> MainImageBuildTime(std::span<const uint8_t> image) {
  const size_t limit = std::min<size_t>(image.size(), 256);
  const auto* begin = image.data();
  const auto* open = static_cast<const uint8_t*>(std::memchr(begin, '(', limit));
  if (open == nullptr) return std::nullopt;
  const size_t at = static_cast<size_t>(open - begin);
  if (at + 23 > limit) return std::nullopt;
  char text[24] = {};
  std::memcpy(text, open, 23);
  char month[4] = {};
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (std::sscanf(text, "(%3c %d %d - %d:%d:%d", month, &day, &year, &hour, &minute, &second) != 6) {
    return std::nullopt;
  }
  for (int m = 0; m < 12; ++m) {
    if (std::strcmp(month, kMonths[m]) == 0) return WireTime(year, m + 1, day, hour, minute, second);
  }
  return std::nullopt;
}

std::vector<FirmwareComponent> FirmwareStore::Installed() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return installed_;
}

std::string FirmwareStore::Name(int component) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const FirmwareComponent& c : installed_) {
    if (c.index == component) return c.name;
  }
  return {};
}

std::string FirmwareStore::Check(const FirmwareAnnouncement& announced, std::span<const uint8_t> image) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = std::find_if(installed_.begin(), installed_.end(),
                               [&](const FirmwareComponent& c) { return c.index == announced.component; });
  if (it == installed_.end()) return "no component " + std::to_string(announced.component);
  if (announced.component == 0) {
    if (IsComponentImage(image)) return "a component image announced as the main image";
    if (image.size() < 15 || Field(image.data() + 4, 11) != it->name) return "not an image of " + it->name;
    const std::optional<uint32_t> built = MainImageBuildTime(image);
    if (!built || *built != announced.buildTime) return "build time differs from the announcement";
    return {};
  }
  if (!IsComponentImage(image)) return "not a component image";
  if (Field(image.data() + 32, 32) != it->name || announced.name != it->name) return "not an image of " + it->name;
  if (Be32(image.data() + 8) != announced.buildTime) return "build time differs from the announcement";
  return {};
}

void FirmwareStore::Stage(const FirmwareAnnouncement& announced) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(staged_, [&](const FirmwareAnnouncement& a) { return a.component == announced.component; });
  staged_.push_back(announced);
}

void FirmwareStore::Reboot() {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const FirmwareAnnouncement& a : staged_) {
    for (FirmwareComponent& c : installed_) {
      if (c.index == a.component) c.buildTime = a.buildTime;
    }
  }
  staged_.clear();
}

bool WriteSampleFirmware(const std::vector<FirmwareComponent>& installed, const std::string& folder,
                         int daysNewer, std::vector<std::string>& written, std::string& error) {
  for (const FirmwareComponent& c : installed) {
    // Only components the client's upgrade window has a row for.
    if (c.index != 0 && (c.index < 2 || c.index > 6)) continue;
    const uint32_t built = c.buildTime + static_cast<uint32_t>(daysNewer) * 86400u;
    std::vector<uint8_t> image;
    std::string path;
    if (c.index == 0) {
      if (c.name.size() > 11) {
        error = "main component name '" + c.name + "' is longer than the 11 bytes a main image holds";
        return false;
      }
      // The main image: its name at bytes 4-14, its build date as text.
      image.assign(20000, 0);
      std::memcpy(image.data(), "ORV", 3);
      std::memcpy(image.data() + 4, c.name.data(), c.name.size());
      const time_t t = static_cast<time_t>(built);
      tm parts{};
      gmtime_r(&t, &parts);
      char text[64];
      std::snprintf(text, sizeof(text), "build (%s %02d %04d - %02d:%02d:%02d)", kMonths[parts.tm_mon],
                    parts.tm_mday, parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
      std::memcpy(image.data() + 32, text, std::strlen(text));
      FillBody(image, 128, 0);
      path = folder + "/main.bin";
    } else {
      // Sizes around the fragment size, so the last fragment varies.
      image.assign(8000 + static_cast<size_t>(c.index - 2) * 4001, 0);
      std::memcpy(image.data() + 3, "VBoot", 5);
      PutBe32(image.data() + 8, built);
      std::memcpy(image.data() + 32, c.name.data(), std::min<size_t>(c.name.size(), 31));
      FillBody(image, 64, c.index);
      path = folder + "/component" + std::to_string(c.index) + ".bin";
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out) {
      error = "cannot write " + path;
      return false;
    }
    written.push_back(path);
  }
  return true;
}

}  // namespace orva::sim::detail

namespace orva::sim {

bool WriteSampleFirmware(const SimConfig& config, const std::string& folder, std::vector<std::string>& written,
                         std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot create " + folder + ": " + ec.message();
    return false;
  }
  return detail::WriteSampleFirmware(config.firmware, folder, 1, written, error);
}

}  // namespace orva::sim
