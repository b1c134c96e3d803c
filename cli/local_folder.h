// Where orvactl keeps downloads: the Download folder under the base folder
// (--location, else the desktop client's default $HOME/ORVA7000), and the
// free space the download size check weighs the estimate against.
#pragma once

#include <cstdint>
#include <string>

#include "options.h"

namespace orva::cli {

std::string BaseLocation(const Options& options);
std::string DownloadFolder(const Options& options);
// MiB available to the user on the file system that holds (or will hold)
// `path`; 0 when it cannot be told.
uint64_t FreeMiB(const std::string& path);

}  // namespace orva::cli
