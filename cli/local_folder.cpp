#include "local_folder.h"

#include <sys/statvfs.h>

#include <cstdlib>
#include <filesystem>

namespace orva::cli {

std::string BaseLocation(const Options& options) {
  if (!options.location.empty()) return options.location;
  const char* home = std::getenv("HOME");
  return (std::filesystem::path(home && *home ? home : ".") / "ORVA7000").string();
}

std::string DownloadFolder(const Options& options) {
  return (std::filesystem::path(BaseLocation(options)) / "Download").string();
}

uint64_t FreeMiB(const std::string& path) {
  // A folder not made yet is on the file system of its nearest ancestor.
  std::error_code ec;
  std::filesystem::path at = std::filesystem::absolute(path, ec);
  while (!at.empty() && !std::filesystem::exists(at, ec) && at.has_parent_path() && at.parent_path() != at)
    at = at.parent_path();
  struct statvfs vfs {};
  if (statvfs(at.c_str(), &vfs) != 0) return 0;
  const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  return static_cast<uint64_t>(vfs.f_bavail) * unit / (1024 * 1024);
}

}  // namespace orva::cli
