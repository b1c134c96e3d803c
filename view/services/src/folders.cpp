// Folders under the base folder, disk space and the removable-mode decision.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <fstream>
#include <system_error>

#include "orva/services/local_setup.h"

namespace orva::services {
namespace {

// statfs f_type values (linux/magic.h and the FUSE/SMB headers).
constexpr long kNfsMagic = 0x6969;
constexpr long kSmbMagic = 0x517B;
constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kFuseMagic = 0x65735546;
constexpr long kCodaMagic = 0x73757245;
constexpr long kAfsMagic = 0x5346414F;
constexpr long kCephMagic = 0x00C36400;
constexpr long kIso9660Magic = 0x9660;
constexpr long kUdfMagic = 0x15013346;

bool ReadFlag(const std::filesystem::path& file) {
  std::ifstream in(file);
  int value = 0;
  return in >> value && value != 0;
}

// The nearest existing ancestor, so that a folder not made yet still tells
// which file system it will be on.
std::filesystem::path ExistingAncestor(std::filesystem::path path) {
  std::error_code ec;
  if (path.empty()) return ".";
  path = std::filesystem::absolute(path, ec);
  while (!path.empty() && !std::filesystem::exists(path, ec)) {
    const auto parent = path.parent_path();
    if (parent == path) break;
    path = parent;
  }
  return path;
}

bool OpticalType(long type) { return type == kIso9660Magic || type == kUdfMagic; }

}  // namespace

Folders FoldersOf(const std::string& location) {
  const std::filesystem::path base(location);
  return Folders{base / "Upgrade", base / "Log", base / "Saved", base / "Download"};
}

bool CreateUpgradeFolder(const std::string& location, std::string& error) {
  if (location.empty()) {
    error = "no base folder is set";
    return false;
  }
  std::error_code ec;
  const auto folder = FoldersOf(location).upgrade;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) {
    error = "cannot create " + folder.string() + (ec ? ": " + ec.message() : std::string());
    return false;
  }
  return true;
}

bool GetDiskSpace(const std::filesystem::path& path, uint64_t& freeMiB, uint64_t& totalMiB) {
  const std::string target = ExistingAncestor(path).string();
  struct statfs fs {};
  // An optical disc has no room to write downloads to.
  if (statfs(target.c_str(), &fs) == 0 && OpticalType(static_cast<long>(fs.f_type))) return false;
  struct statvfs vfs {};
  if (statvfs(target.c_str(), &vfs) != 0) return false;
  const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  constexpr uint64_t kMiB = 1024 * 1024;
  freeMiB = static_cast<uint64_t>(vfs.f_bavail) * unit / kMiB;
  totalMiB = static_cast<uint64_t>(vfs.f_blocks) * unit / kMiB;
  return true;
}

bool FileSystemCountsAsRemovable(long type) {
  switch (type) {
    case kNfsMagic:
    case kSmbMagic:
    case kCifsMagic:
    case kSmb2Magic:
    case kFuseMagic:
    case kCodaMagic:
    case kAfsMagic:
    case kCephMagic:
    case kIso9660Magic:
    case kUdfMagic:
      return true;
    default:
      return false;
  }
}

bool BlockDeviceIsRemovable(unsigned major, unsigned minor, const std::filesystem::path& sysRoot) {
  std::error_code ec;
  const auto link = sysRoot / "dev" / "block" / (std::to_string(major) + ":" + std::to_string(minor));
  std::filesystem::path device = std::filesystem::canonical(link, ec);
  if (ec) return false;  // not a block device (tmpfs, overlay, ...): treated as fixed
  // A partition carries no removable flag of its own: the disk above it does.
  if (std::filesystem::exists(device / "partition", ec)) device = device.parent_path();
  return ReadFlag(device / "removable");
}

bool DetectRemovableMode(const std::filesystem::path& programFile, std::optional<bool> forced) {
  if (forced) return *forced;
  const std::string target = ExistingAncestor(programFile).string();
  struct statfs fs {};
  if (statfs(target.c_str(), &fs) == 0 && FileSystemCountsAsRemovable(static_cast<long>(fs.f_type))) return true;
  struct stat st {};
  if (stat(target.c_str(), &st) != 0) return false;
  return BlockDeviceIsRemovable(::major(st.st_dev), ::minor(st.st_dev));
}

}  // namespace orva::services
