#include "orva/recordings/local_log.h"

#include "orva/link/time_convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>
#include <utility>

#include "orva/link/trace.h"

namespace orva {
namespace {

constexpr uint32_t kOffSlot = 0, kOffSize = 4, kOffMain = 8, kOffSub = 12, kOffTime = 16;
constexpr uint32_t kOffHost = 28, kOffUser = 156;
static_assert(kOffUser + kLocalLogUserBytes == kLocalLogRecordSize);

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Copies at most width bytes: a text as long as the field fills it with no
// terminator (readers stop at the field's end). The rest stays zero.
void PutText(uint8_t* field, size_t width, const std::string& text) {
  size_t n = text.size() < width ? text.size() : width;
  std::memcpy(field, text.data(), n);
}

std::string GetText(const uint8_t* field, size_t width) {
  size_t n = 0;
  while (n < width && field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

std::string ErrnoText(const char* what, const std::filesystem::path& path, int err) {
  return std::string(what) + " " + path.string() + ": " + std::strerror(err);
}

// Closes the descriptor on every return path.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool PreadAll(int fd, uint8_t* buf, size_t len, off_t at, size_t& got) {
  got = 0;
  while (got < len) {
    ssize_t r = ::pread(fd, buf + got, len - got, at + static_cast<off_t>(got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return true;
}

bool PwriteAll(int fd, const uint8_t* buf, size_t len, off_t at) {
  size_t done = 0;
  while (done < len) {
    ssize_t r = ::pwrite(fd, buf + done, len - done, at + static_cast<off_t>(done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(r);
  }
  return true;
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

}  // namespace

int64_t LocalClockValue() {
  time_t now = std::time(nullptr);
  struct tm local {};
  if (!localtime_r(&now, &local)) return static_cast<int64_t>(now);
  return static_cast<int64_t>(now) + static_cast<int64_t>(local.tm_gmtoff);
}

LocalLog::LocalLog(std::filesystem::path base, Clock clock)
    : base_(std::move(base)), clock_(clock ? std::move(clock) : Clock(LocalClockValue)) {}

std::filesystem::path LocalLog::FilePath() const { return base_ / "Log" / "ORVA7000.log"; }

void LocalLog::SetAppendEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  appendEnabled_ = enabled;
}

bool LocalLog::Append(uint32_t mainType, uint32_t subType, const std::string& user,
                      const std::string& host, std::string* error) {
  std::lock_guard lock(mutex_);
  if (!appendEnabled_) {
    SetError(error, "local log appending is disabled (removable mode)");
    return false;
  }
  const std::filesystem::path path = FilePath();
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) {
    SetError(error, "cannot create " + path.parent_path().string() + ": " + ec.message());
    return false;
  }
  Fd file;
  file.fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (file.fd < 0) {
    SetError(error, ErrnoText("cannot open", path, errno));
    return false;
  }

  // A new (or shorter than a header) file reads as wrapped 0, next 0.
  std::array<uint8_t, kLocalLogHeaderSize> header{};
  size_t got = 0;
  if (!PreadAll(file.fd, header.data(), header.size(), 0, got)) {
    SetError(error, ErrnoText("cannot read", path, errno));
    return false;
  }
  uint32_t wrapped = 0, next = 0;
  if (got == header.size()) {
    wrapped = GetU32(header.data()) != 0 ? 1 : 0;
    next = GetU32(header.data() + 4);
  }
  // A next index outside the ring comes from a foreign or damaged file. The
  // ring position is then unknown, so restart it at slot 0 (keeping the
  // wrapped flag): every write stays inside the 2500 slots and the file heals
  // from here on.
  if (next >= kLocalLogSlots) next = 0;
  // So does a next index past the records the file holds (a ring fills its
  // slots in order, so the file always reaches the slot before `next`).
  // Writing there would leave garbage in the slots before it, and the first
  // slot's size decides whether the whole file can be read.
  struct stat st {};
  if (::fstat(file.fd, &st) == 0 &&
      static_cast<uint64_t>(st.st_size) < kLocalLogHeaderSize + uint64_t{next} * kLocalLogRecordSize)
    next = 0;

  std::array<uint8_t, kLocalLogRecordSize> rec{};
  PutU32(rec.data() + kOffSlot, next);
  PutU32(rec.data() + kOffSize, kLocalLogRecordSize);
  PutU32(rec.data() + kOffMain, mainType);
  PutU32(rec.data() + kOffSub, subType);
  // The file field is 32 bits wide; keep the low 32 bits of the clock value.
  PutU32(rec.data() + kOffTime, static_cast<uint32_t>(static_cast<uint64_t>(clock_())));
  PutText(rec.data() + kOffHost, kLocalLogHostBytes, host);
  PutText(rec.data() + kOffUser, kLocalLogUserBytes, user);

  const off_t at = static_cast<off_t>(kLocalLogHeaderSize) +
                   static_cast<off_t>(next) * static_cast<off_t>(kLocalLogRecordSize);
  if (!PwriteAll(file.fd, rec.data(), rec.size(), at)) {
    SetError(error, ErrnoText("cannot write record to", path, errno));
    return false;
  }
  if (next < kLocalLogSlots - 1) {
    ++next;
  } else {
    wrapped = 1;
    next = 0;
  }
  PutU32(header.data(), wrapped);
  PutU32(header.data() + 4, next);
  if (!PwriteAll(file.fd, header.data(), header.size(), 0)) {
    SetError(error, ErrnoText("cannot write header to", path, errno));
    return false;
  }
  return true;
}

void LocalLog::WriteLogon(LogonKind kind, const std::string& user, const std::string& host) {
  Append(static_cast<uint32_t>(LogMain::kLogon), static_cast<uint32_t>(kind), user, host);
}

bool LocalLog::Load(std::vector<LocalLogRecord>& oldestFirst, std::string& error) const {
  oldestFirst.clear();
  error.clear();
  const std::filesystem::path path = FilePath();
  std::vector<uint8_t> data;
  {
    // Serialise with Append so the viewer never sees half a record.
    std::lock_guard lock(mutex_);
    Fd file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file.fd < 0) {
      if (errno == ENOENT) return true;
      error = ErrnoText("cannot open", path, errno);
      return false;
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      error = "not a regular file: " + path.string();
      return false;
    }
    size_t want = static_cast<size_t>(st.st_size);
    if (want > kLocalLogMaxLoadBytes) want = kLocalLogMaxLoadBytes;
    data.resize(want);
    size_t got = 0;
    if (!PreadAll(file.fd, data.data(), data.size(), 0, got)) {
      error = ErrnoText("cannot read", path, errno);
      return false;
    }
    data.resize(got);
  }

  // Shorter than the header plus one record: nothing to show yet.
  if (data.size() < kLocalLogHeaderSize + kLocalLogRecordSize) return true;

  // The record size comes from the first record. Only sizes whose slot still
  // holds the whole 184-byte record and that stay within a sane bound are
  // used; anything else (0, 1, garbage) means the file is not ours.
  const uint32_t recordSize = GetU32(data.data() + kLocalLogHeaderSize + kOffSize);
  if (recordSize < kLocalLogRecordSize || recordSize > kLocalLogMaxRecordSize) {
    char text[160];
    std::snprintf(text, sizeof text, "local log record size %u is not usable (expected %u)",
                  recordSize, kLocalLogRecordSize);
    error = text;
    return false;
  }
  size_t present = (data.size() - kLocalLogHeaderSize) / recordSize;
  // The ring never writes past slot 2499; anything beyond is not a record.
  if (present > kLocalLogSlots) present = kLocalLogSlots;

  const bool wrapped = GetU32(data.data()) != 0;
  uint32_t next = GetU32(data.data() + 4);
  // Same rule as Append: an out-of-range next restarts the ring at slot 0.
  if (next >= kLocalLogSlots) next = 0;

  auto take = [&](size_t slot) {
    // A wrapped ring whose file is shorter than 2500 slots (truncated copy)
    // simply lacks the missing slots.
    if (slot >= present) return;
    const uint8_t* r = data.data() + kLocalLogHeaderSize + slot * recordSize;
    LocalLogRecord out;
    out.slot = GetU32(r + kOffSlot);
    out.size = GetU32(r + kOffSize);
    out.mainType = GetU32(r + kOffMain);
    out.subType = GetU32(r + kOffSub);
    out.time = static_cast<int32_t>(GetU32(r + kOffTime));
    out.host = GetText(r + kOffHost, kLocalLogHostBytes);
    out.user = GetText(r + kOffUser, kLocalLogUserBytes);
    oldestFirst.push_back(std::move(out));
  };
  if (wrapped) {
    for (size_t s = next; s < kLocalLogSlots; ++s) take(s);
    for (size_t s = 0; s < next; ++s) take(s);
  } else {
    for (size_t s = 0; s < present; ++s) take(s);
  }
  return true;
}

std::string LocalLogTimeText(int64_t time, int dateFormat) { return FormatRecorderTime(time, dateFormat); }

int LocalLogMainIndex(uint32_t mainType) {
  for (int bit = 0; bit < 4; ++bit) {
    if (mainType & (1u << bit)) return bit;
  }
  return -1;
}

int LocalLogSubIndex(uint32_t mainType, uint32_t subType) {
  static constexpr struct {
    int bits;
    const char* trace;
  } kMains[4] = {
      {2, "index_sub Program...None..."},
      {3, "index_sub logon...None..."},
      {2, "index_sub Local Play...None..."},
      {2, "index_sub setup, image...None..."},
  };
  const int main = LocalLogMainIndex(mainType);
  if (main < 0) return -1;
  for (int bit = 0; bit < kMains[main].bits; ++bit) {
    if (subType & (1u << bit)) return bit;
  }
  Trace("%s", kMains[main].trace);
  return -1;
}

}  // namespace orva
