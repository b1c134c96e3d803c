#include "setup_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "setup_layout.h"

namespace orva::sim::detail {

namespace at = setupat;

namespace {

bool Differs(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t offset,
             size_t count) {
  return !std::equal(a.begin() + static_cast<ptrdiff_t>(offset),
                     a.begin() + static_cast<ptrdiff_t>(offset + count),
                     b.begin() + static_cast<ptrdiff_t>(offset));
}

// Text of a fixed-width field up to its first zero (all of it without one).
std::string FieldText(const uint8_t* field, size_t width) {
  const auto* end = std::find(field, field + width, uint8_t{0});
  return std::string(reinterpret_cast<const char*>(field), static_cast<size_t>(end - field));
}

// Names the client wrote: UTF-8 when they are valid UTF-8, otherwise one
// character per byte (Latin-1), so that no byte is lost.
std::u16string WideName(const std::string& narrow) {
  std::u16string units;
  if (Utf8ToUtf16(narrow, units)) return units;
  units.clear();
  for (const char c : narrow) units.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
  return units;
}

}  // namespace

std::string SetupChanges::Describe() const {
  std::string text;
  auto add = [&text](const char* what) { text += (text.empty() ? "" : ", ") + std::string(what); };
  if (names) add("camera names");
  if (users) add("users");
  if (standard) add("video standard");
  if (text.empty()) add(any ? "settings" : "nothing");
  return text;
}

SetupStore::SetupStore(const SimConfig& config)
    : config_(config), factory_(FactorySetup(config)), image_(factory_) {
  for (size_t ch = 0; ch < 16; ++ch) {
    if (!Utf8ToUtf16(config.cameraNames[ch], configuredNames_[ch])) configuredNames_[ch].clear();
  }
  pal_.store(image_[at::kStandard] == 1);
}

bool SetupStore::Load(std::string& error) {
  const std::string& path = config_.setup.file;
  if (path.empty()) return true;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;  // first run: factory values, written on the first change
    error = "cannot read setup file '" + path + "': " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode) || info.st_size != static_cast<off_t>(kSetupBytes)) {
    error = "setup file '" + path + "' is not a regular file of " + std::to_string(kSetupBytes) +
            " bytes";
    return false;
  }
  std::vector<uint8_t> image(kSetupBytes);
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()))) {
    error = "cannot read setup file '" + path + "'";
    return false;
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  image_ = std::move(image);
  pal_.store(image_[at::kStandard] == 1);
  return true;
}

std::vector<uint8_t> SetupStore::Snapshot(uint32_t clock) const {
  std::vector<uint8_t> image;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    image = image_;
  }
  PutU32(&image[at::kClock], clock);
  return image;
}

SetupChanges SetupStore::Replace(const uint8_t* image) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return ReplaceLocked(std::vector<uint8_t>(image, image + kSetupBytes));
}

SetupChanges SetupStore::Reset() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return ReplaceLocked(factory_);
}

SetupChanges SetupStore::ReplaceLocked(const std::vector<uint8_t>& image) {
  SetupChanges changes;
  changes.names = Differs(image_, image, at::kCovert, 16 + 16 * at::kNameBytes);
  changes.users = Differs(image_, image, at::kUserTable, kRightsTableSize);
  changes.standard = (image_[at::kStandard] == 1) != (image[at::kStandard] == 1);
  // The clock field is the recorder's own and is not part of the setup.
  std::vector<uint8_t> compare = image;
  std::copy_n(image_.begin() + at::kClock, 4, compare.begin() + at::kClock);
  changes.any = compare != image_;
  image_ = std::move(compare);
  pal_.store(image_[at::kStandard] == 1);
  if (changes.any) SaveLocked();
  return changes;
}

void SetupStore::SaveLocked() {
  const std::string& path = config_.setup.file;
  if (path.empty()) return;
  // Written aside and renamed, so that a crash never leaves half a record.
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image_.data()),
              static_cast<std::streamsize>(image_.size()));
    out.close();
    if (!out) {
      fileError_ = "cannot write setup file '" + temporary + "'";
      std::remove(temporary.c_str());
      return;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    fileError_ = "cannot replace setup file '" + path + "': " + std::strerror(errno);
    std::remove(temporary.c_str());
    return;
  }
  fileError_.clear();
}

std::string SetupStore::FileError() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return fileError_;
}

std::vector<uint8_t> SetupStore::RightsTable() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto begin = image_.begin() + static_cast<ptrdiff_t>(at::kUserTable);
  return {begin, begin + static_cast<ptrdiff_t>(kRightsTableSize)};
}

std::vector<SimUser> SetupStore::Users() const {
  const std::vector<uint8_t> t = RightsTable();
  std::vector<SimUser> users(kUserSlots);
  for (size_t s = 0; s < kUserSlots; ++s) {
    SimUser& u = users[s];
    bool* rights[] = {&u.stopRecording, &u.setup, &u.playback, &u.backup,
                      &u.ptz,           &u.covert, &u.access, &u.reboot};
    for (size_t row = 0; row < 8; ++row) *rights[row] = t[row * kUserSlots + s] == 1;
    u.level = t[kRightsLevelOffset + s];
    u.id = FieldText(&t[kRightsIdOffset + s * kTextField], kTextField);
    u.password = FieldText(&t[kRightsPasswordOffset + s * kTextField], kTextField);
  }
  return users;
}

std::vector<uint8_t> SetupStore::NameNotice(bool unicode) const {
  std::array<uint8_t, 16> covert{};
  std::array<std::string, 16> names;
  std::array<std::u16string, 16> wide;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (size_t ch = 0; ch < 16; ++ch) {
      covert[ch] = image_[at::kCovert + ch];
      const size_t field = at::kNames + ch * at::kNameBytes;
      names[ch] = FieldText(&image_[field], at::kNameBytes);
      wide[ch] = Differs(image_, factory_, field, at::kNameBytes) ? WideName(names[ch])
                                                                   : configuredNames_[ch];
    }
  }
  return unicode ? BuildDbChangeUnicode(covert, wide) : BuildDbChange(covert, names);
}

}  // namespace orva::sim::detail
