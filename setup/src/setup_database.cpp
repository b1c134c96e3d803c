#include "orva/setup/setup_database.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "orva/link/time_convert.h"
#include "orva/link/wire.h"
#include "setup_text.h"

namespace orva {
namespace {

// Multi-byte numbers are stored most significant byte first on the wire and
// whenever the host itself is big-endian.
bool BigEndianBytes(SetupByteOrder order) {
  return order == SetupByteOrder::kNetwork || std::endian::native == std::endian::big;
}

uint32_t Load(const uint8_t* p, size_t width, bool big) {
  uint32_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= uint32_t{p[big ? i : width - 1 - i]} << (8 * (width - 1 - i));
  return v;
}

void Store(uint8_t* p, size_t width, bool big, uint32_t v) {
  for (size_t i = 0; i < width; ++i)
    p[big ? i : width - 1 - i] = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
}

void SwapRuns(std::array<uint8_t, kSetupDatabaseSize>& bytes) {
  for (const MultiByteRun& run : SetupMultiByteRuns())
    for (size_t i = 0; i < run.count; ++i) {
      uint8_t* p = bytes.data() + run.offset + i * run.width;
      std::reverse(p, p + run.width);
    }
}

bool IsNumeric(FieldKind kind) {
  switch (kind) {
    case FieldKind::kText:
    case FieldKind::kPassword:
    case FieldKind::kIpv4:
    case FieldKind::kCells:
      return false;
    default:
      return true;
  }
}

bool ParseUnsigned(std::string_view text, uint64_t& out) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The names a kind shows for its values 0, 1, 2 (nullptr: none).
const char* const* ValueNames(FieldKind kind, size_t& count) {
  static const char* const kSwitch[] = {"off", "on"};
  static const char* const kYesNo[] = {"no", "yes"};
  static const char* const kStandard[] = {"NTSC", "PAL"};
  static const char* const kResolution[] = {"4CIF", "2CIF", "CIF"};
  switch (kind) {
    case FieldKind::kSwitch: count = 2; return kSwitch;
    case FieldKind::kYesNo: count = 2; return kYesNo;
    case FieldKind::kVideoStandard: count = 2; return kStandard;
    case FieldKind::kResolution: count = 3; return kResolution;
    default: count = 0; return nullptr;
  }
}

}  // namespace

SetupDatabase::SetupDatabase() = default;

bool SetupDatabase::FromBytes(std::span<const uint8_t> bytes, SetupDatabase& out, std::string& error) {
  if (bytes.size() != kSetupDatabaseSize) {
    error = "a setup database has " + std::to_string(kSetupDatabaseSize) + " bytes, not " +
            std::to_string(bytes.size());
    return false;
  }
  std::copy(bytes.begin(), bytes.end(), out.m_bytes.begin());
  out.m_order = SetupByteOrder::kNetwork;
  return true;
}

std::vector<uint8_t> SetupDatabase::NetworkBytes() const {
  SetupDatabase copy = *this;
  copy.ToNetworkOrder();
  return {copy.m_bytes.begin(), copy.m_bytes.end()};
}

void SetupDatabase::ToHostOrder() {
  if (m_order == SetupByteOrder::kHost) return;
  if constexpr (std::endian::native == std::endian::little) SwapRuns(m_bytes);
  m_order = SetupByteOrder::kHost;
}

void SetupDatabase::ToNetworkOrder() {
  if (m_order == SetupByteOrder::kNetwork) return;
  if constexpr (std::endian::native == std::endian::little) SwapRuns(m_bytes);
  m_order = SetupByteOrder::kNetwork;
}

size_t SetupDatabase::EntryOffset(const SetupField& field, int entry) const {
  return field.offset + static_cast<size_t>(entry) * field.stride;
}

std::span<const uint8_t> SetupDatabase::EntryBytes(SetupFieldId id, int entry) const {
  const SetupField& f = FieldOf(id);
  if (entry < 0 || entry >= f.count) return {};
  return {m_bytes.data() + EntryOffset(f, entry), f.width};
}

std::span<uint8_t> SetupDatabase::MutableEntryBytes(SetupFieldId id, int entry) {
  const SetupField& f = FieldOf(id);
  if (entry < 0 || entry >= f.count) return {};
  return {m_bytes.data() + EntryOffset(f, entry), f.width};
}

uint32_t SetupDatabase::Value(SetupFieldId id, int entry) const {
  const SetupField& f = FieldOf(id);
  auto bytes = EntryBytes(id, entry);
  if (bytes.empty()) return 0;
  if (!IsNumeric(f.kind) || f.width > 4) return bytes[0];
  return Load(bytes.data(), f.width, BigEndianBytes(m_order));
}

void SetupDatabase::SetValue(SetupFieldId id, int entry, uint32_t value) {
  const SetupField& f = FieldOf(id);
  auto bytes = MutableEntryBytes(id, entry);
  if (bytes.empty()) return;
  if (!IsNumeric(f.kind) || f.width > 4) {
    bytes[0] = static_cast<uint8_t>(value);
    return;
  }
  Store(bytes.data(), f.width, BigEndianBytes(m_order), value);
}

std::string SetupDatabase::Text(SetupFieldId id, int entry) const {
  auto bytes = EntryBytes(id, entry);
  if (bytes.empty()) return {};
  const auto limit = bytes.begin() + (bytes.size() - 1);
  return std::string(bytes.begin(), std::find(bytes.begin(), limit, uint8_t{0}));
}

bool SetupDatabase::SetText(SetupFieldId id, int entry, std::string_view text) {
  auto bytes = MutableEntryBytes(id, entry);
  if (bytes.empty()) return false;
  const size_t length = Utf8PrefixLength(text, bytes.size() - 1);
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  std::memcpy(bytes.data(), text.data(), length);
  return length == text.size();
}

UserRightsTable SetupDatabase::Users() const {
  UserRightsTable t;
  std::copy_n(m_bytes.begin() + kUserRightsTableOffsetInSetupDatabase, kUserRightsTableSize, t.bytes.begin());
  return t;
}

void SetupDatabase::SetUsers(const UserRightsTable& table) {
  std::copy(table.bytes.begin(), table.bytes.end(), m_bytes.begin() + kUserRightsTableOffsetInSetupDatabase);
}

bool SetupDatabase::operator==(const SetupDatabase& other) const {
  return NetworkBytes() == other.NetworkBytes();
}

std::string SetupDatabase::FormatEntry(const SetupField& field, int entry) const {
  auto bytes = EntryBytes(field.id, entry);
  if (bytes.empty()) return {};
  switch (field.kind) {
    case FieldKind::kText:
      return EscapeSetupText(Text(field.id, entry));
    case FieldKind::kPassword:
      return Text(field.id, entry).empty() ? std::string() : std::string("(hidden)");
    case FieldKind::kIpv4:
      return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
             std::to_string(bytes[3]);
    case FieldKind::kCells: {
      const bool digits = std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b <= 9; });
      std::string out;
      for (uint8_t b : bytes) {
        if (!digits && !out.empty()) out += ',';
        out += digits ? std::string(1, static_cast<char>('0' + b)) : std::to_string(b);
      }
      return out;
    }
    case FieldKind::kClock:
      return FormatRecorderTime(Value(field.id, entry), 0);
    case FieldKind::kSigned:
      return std::to_string(static_cast<int32_t>(Value(field.id, entry)));
    default:
      break;
  }
  const uint32_t v = Value(field.id, entry);
  size_t count = 0;
  const char* const* names = ValueNames(field.kind, count);
  if (names && v < count) return names[v];
  return std::to_string(v);
}

bool SetupDatabase::SetByKey(std::string_view key, std::string_view value, std::string& error) {
  const auto parsed = ParseSetupKey(key);
  if (!parsed) {
    error = "unknown setup key '" + std::string(key) + "'";
    return false;
  }
  const SetupField& f = *parsed->field;
  const int entry = parsed->entry;
  const std::string where = "'" + std::string(key) + "'";
  if (f.readOnly) {
    error = where + " is read only";
    return false;
  }
  auto bytes = MutableEntryBytes(f.id, entry);
  switch (f.kind) {
    case FieldKind::kText:
    case FieldKind::kPassword: {
      std::string text;
      if (f.kind == FieldKind::kText) {
        if (!UnescapeSetupText(value, text)) {
          error = where + ": bad escape in the text";
          return false;
        }
      } else {
        text = value;
      }
      if (text.size() > f.width - 1u || text.find('\0') != std::string::npos) {
        error = where + " holds at most " + std::to_string(f.width - 1) + " bytes";
        return false;
      }
      SetText(f.id, entry, text);
      return true;
    }
    case FieldKind::kIpv4: {
      uint8_t parts[4];
      std::string_view rest = value;
      for (int i = 0; i < 4; ++i) {
        const size_t dot = i < 3 ? rest.find('.') : rest.size();
        uint64_t n = 0;
        if (dot == std::string_view::npos || !ParseUnsigned(rest.substr(0, dot), n) || n > 255) {
          error = where + " takes an IPv4 address a.b.c.d";
          return false;
        }
        parts[i] = static_cast<uint8_t>(n);
        rest = i < 3 ? rest.substr(dot + 1) : std::string_view();
      }
      std::copy(parts, parts + 4, bytes.begin());
      return true;
    }
    case FieldKind::kCells: {
      std::vector<uint8_t> cells;
      if (value.find(',') == std::string_view::npos) {
        for (char c : value) {
          if (c < '0' || c > '9') break;
          cells.push_back(static_cast<uint8_t>(c - '0'));
        }
        if (cells.size() != value.size()) cells.clear();
      } else {
        std::string_view rest = value;
        for (;;) {
          const size_t comma = rest.find(',');
          uint64_t n = 0;
          if (!ParseUnsigned(rest.substr(0, comma), n) || n > 255) {
            cells.clear();
            break;
          }
          cells.push_back(static_cast<uint8_t>(n));
          if (comma == std::string_view::npos) break;
          rest = rest.substr(comma + 1);
        }
      }
      if (cells.size() != f.width) {
        error = where + " takes " + std::to_string(f.width) + " digits, or " + std::to_string(f.width) +
                " numbers separated by commas";
        return false;
      }
      std::copy(cells.begin(), cells.end(), bytes.begin());
      return true;
    }
    default:
      break;
  }
  size_t count = 0;
  const char* const* names = ValueNames(f.kind, count);
  for (size_t i = 0; i < count; ++i)
    if (EqualsNoCase(value, names[i])) {
      SetValue(f.id, entry, static_cast<uint32_t>(i));
      return true;
    }
  if (f.kind == FieldKind::kSigned) {
    int64_t n = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || n < INT32_MIN || n > INT32_MAX) {
      error = where + " takes a signed 32-bit number";
      return false;
    }
    SetValue(f.id, entry, static_cast<uint32_t>(static_cast<int32_t>(n)));
    return true;
  }
  uint64_t n = 0;
  const uint64_t max = f.width >= 4 ? 0xFFFFFFFFull : (1ull << (8 * f.width)) - 1;
  if (!ParseUnsigned(value, n) || n > max) {
    std::string names_text;
    for (size_t i = 0; i < count; ++i) names_text += std::string(i ? ", " : "") + names[i];
    error = where + " takes a number 0-" + std::to_string(max) + (count ? " or one of " + names_text : "");
    return false;
  }
  SetValue(f.id, entry, static_cast<uint32_t>(n));
  return true;
}

std::vector<SetupLine> ShowSetup(const SetupDatabase& db) {
  std::vector<SetupLine> lines;
  for (const SetupField& f : SetupFields())
    for (int e = 0; e < f.count; ++e) lines.push_back({SetupKeyName(f, e), db.FormatEntry(f, e)});
  return lines;
}

std::vector<SetupChange> DiffSetup(const SetupDatabase& before, const SetupDatabase& after) {
  // Compared in one order so that a record being edited (host order) and its
  // original (network order) differ only where a value changed.
  SetupDatabase a = before, b = after;
  a.ToNetworkOrder();
  b.ToNetworkOrder();
  std::vector<SetupChange> changes;
  for (const SetupField& f : SetupFields())
    for (int e = 0; e < f.count; ++e) {
      auto x = a.EntryBytes(f.id, e), y = b.EntryBytes(f.id, e);
      if (!std::equal(x.begin(), x.end(), y.begin(), y.end()))
        changes.push_back({SetupKeyName(f, e), a.FormatEntry(f, e), b.FormatEntry(f, e)});
    }
  return changes;
}

size_t DiffUninterpretedBytes(const SetupDatabase& before, const SetupDatabase& after) {
  std::vector<bool> covered(kSetupDatabaseSize, false);
  for (const SetupField& f : SetupFields())
    for (int e = 0; e < f.count; ++e)
      for (size_t i = 0; i < f.width; ++i) covered[f.offset + static_cast<size_t>(e) * f.stride + i] = true;
  const auto x = before.NetworkBytes(), y = after.NetworkBytes();
  size_t n = 0;
  for (size_t i = 0; i < kSetupDatabaseSize; ++i) n += !covered[i] && x[i] != y[i];
  return n;
}

bool SaveSetupFile(const std::string& path, const SetupDatabase& db, std::string& error) {
  const auto bytes = db.NetworkBytes();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const int saved = errno;
  if (std::fclose(f) != 0 || !written) {
    error = "cannot write " + path + ": " + std::strerror(written ? errno : saved);
    return false;
  }
  return true;
}

bool LoadSetupFile(const std::string& path, SetupDatabase& out, std::string& error, const SetupDatabase* current) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  // One byte more than a record, to tell a longer file from an exact one.
  std::vector<uint8_t> bytes(kSetupDatabaseSize + 1);
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    error = "cannot read " + path;
    return false;
  }
  if (got != kSetupDatabaseSize) {
    error = path + " is not a setup database: it must have exactly " + std::to_string(kSetupDatabaseSize) +
            " bytes" + (got > kSetupDatabaseSize ? " (it is longer)" : ", it has " + std::to_string(got));
    return false;
  }
  bytes.resize(kSetupDatabaseSize);
  SetupDatabase loaded;
  if (!SetupDatabase::FromBytes(bytes, loaded, error)) return false;
  if (current && (loaded.Major() != current->Major() || loaded.Minor() != current->Minor())) {
    error = path + " holds a setup database of version " + std::to_string(loaded.Major()) + "." +
            std::to_string(loaded.Minor()) + ", but the recorder's is version " + std::to_string(current->Major()) +
            "." + std::to_string(current->Minor());
    return false;
  }
  out = loaded;
  return true;
}

}  // namespace orva
