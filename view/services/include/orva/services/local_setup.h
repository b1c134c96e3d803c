// The client's own settings, the start-up file and the folders under the
// base folder. Settings live in QSettings (organisation "Tarn", application
// "ORVA7000") under the same key names, grouping and types the client has
// always used: LocalSetup/DrawMode/DrawMode, LocalSetup/Opacity/01/01, ...
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace orva::services {

// The start-up file ClientQ7.bin: up to four lines that override built-in
// defaults when not empty.
struct StartupFile {
  std::string windowTitle = "ORVA7000";
  std::string folderName = "ORVA7000";
  std::string dateFormatText = "YYYY-MM-DD";
  std::string drawModeText = "YUV";
};
// Looks in the working directory, then /etc/ORVA7000/ClientQ7.bin. Missing
// file: built-in values. Lines end with CR, LF or CR LF; at most 260 bytes.
StartupFile ReadStartupFile(const std::filesystem::path& workingDirectory = std::filesystem::current_path(),
                            const std::filesystem::path& systemFile = "/etc/ORVA7000/ClientQ7.bin");
StartupFile ParseStartupFile(const std::string& contents);

struct LocalSetup {
  int drawMode = 0;    // 0 YUV, 1 RGB
  int dateFormat = 0;  // 0 Y-M-D, 1 M-D-Y, 2 D-M-Y
  int saveFormat = 0;  // 0 JPEG, 1 BMP, 2 TIFF
  std::string location;                  // base folder
  std::array<uint8_t, 9> opacity{255, 255, 255, 255, 255, 255, 255, 255, 255};  // 01-09
  std::array<uint8_t, 3> audioBuf{1, 15, 1};  // 01 live, 02 remote playback, 03 local playback; at most 15
};

// Built-in defaults from the start-up file: DrawMode from its 4th line
// ("RGB" in any case gives 1), DateFormat from its 3rd ("MM-DD-YYYY" 1,
// "DD-MM-YYYY" 2), Location = $HOME/<folder name>.
LocalSetup DefaultLocalSetup(const StartupFile& startup, const std::filesystem::path& home);
// Reads every value from QSettings; a value that is missing or unreadable
// takes its default; AudioBuf values above 15 read as 15.
LocalSetup LoadLocalSetup(const LocalSetup& defaults);
void SaveLocalSetup(const LocalSetup& setup);

// Folders under Location.
struct Folders {
  std::filesystem::path upgrade, log, saved, download;
};
Folders FoldersOf(const std::string& location);
// Creates Location/Upgrade/ (not in removable mode). False with error text.
bool CreateUpgradeFolder(const std::string& location, std::string& error);

// Free and total space in MiB of the file system holding `path` (statvfs).
bool GetDiskSpace(const std::filesystem::path& path, uint64_t& freeMiB, uint64_t& totalMiB);

// Removable mode: the program file lies on a removable device or a network
// file system. `forced` (from --removable) wins.
bool DetectRemovableMode(const std::filesystem::path& programFile, std::optional<bool> forced);

// True when the block device MAJ:MIN (a disk or one of its partitions) is
// flagged removable under <sysRoot>/dev/block. Unknown devices are fixed.
bool BlockDeviceIsRemovable(unsigned major, unsigned minor, const std::filesystem::path& sysRoot = "/sys");
// True for file systems that are never a fixed disk: network (NFS, SMB/CIFS,
// FUSE such as sshfs) and optical (ISO 9660, UDF). `type` is statfs f_type.
bool FileSystemCountsAsRemovable(long type);

}  // namespace orva::services
