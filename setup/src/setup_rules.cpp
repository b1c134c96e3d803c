#include "orva/setup/setup_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "orva/link/time_convert.h"
#include "orva/setup/user_rights.h"

namespace orva::setup {
namespace {

bool Fits(ConstImage image, size_t offset, size_t width) {
  return offset <= image.size() && width <= image.size() - offset;
}

int ChannelsOf(int channels) { return std::clamp(channels, 1, 16); }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out;
}

}  // namespace

uint16_t Get16(ConstImage image, size_t offset) {
  uint16_t v = 0;
  if (Fits(image, offset, 2)) std::memcpy(&v, image.data() + offset, 2);
  return v;
}

void Set16(Image image, size_t offset, uint16_t value) {
  if (Fits(image, offset, 2)) std::memcpy(image.data() + offset, &value, 2);
}

uint32_t Get32(ConstImage image, size_t offset) {
  uint32_t v = 0;
  if (Fits(image, offset, 4)) std::memcpy(&v, image.data() + offset, 4);
  return v;
}

void Set32(Image image, size_t offset, uint32_t value) {
  if (Fits(image, offset, 4)) std::memcpy(image.data() + offset, &value, 4);
}

std::string GetText(ConstImage image, size_t offset, size_t width) {
  if (!Fits(image, offset, width) || width == 0) return {};
  const char* p = reinterpret_cast<const char*>(image.data() + offset);
  return std::string(p, strnlen(p, width - 1));
}

void SetText(Image image, size_t offset, size_t width, std::string_view text) {
  if (!Fits(image, offset, width) || width == 0) return;
  std::memset(image.data() + offset, 0, width);
  size_t n = std::min(text.size(), width - 1);
  // Never half a UTF-8 character.
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(image.data() + offset, text.data(), n);
}

RowMask TargetRows(int c, RowMask selected, int channels) {
  const int n = ChannelsOf(channels);
  if (c < 0 || c >= n) return 0;
  RowMask rows = static_cast<RowMask>(1u << c);
  if (Selected(selected, c))
    for (int r = 0; r < n; ++r)
      if (Selected(selected, r)) rows = static_cast<RowMask>(rows | (1u << r));
  return rows;
}

RowMask WriteChannels(Image image, size_t base, int c, uint8_t value, RowMask selected, int channels) {
  const RowMask rows = TargetRows(c, selected, channels);
  for (int r = 0; r < 16; ++r)
    if (Selected(rows, r) && base + static_cast<size_t>(r) < image.size()) image[base + static_cast<size_t>(r)] = value;
  return rows;
}

int ResolutionWeight(uint8_t resolution) {
  switch (resolution) {
    case 1: return 2;
    case 2: return 1;
    default: return 4;
  }
}

RateShape RateShapeFor(int channels, int product, bool pal) {
  RateShape s;
  s.groups = product == 3 ? 2 : 4;
  s.perGroup = std::max(1, ChannelsOf(channels) / s.groups);
  s.budget = pal ? 100 : 120;
  return s;
}

namespace {

bool Pal(ConstImage image) { return Fits(image, at::kVideoStandard, 1) && image[at::kVideoStandard] == 1; }

// The channels of c's group that exist on this recorder.
std::pair<int, int> GroupOf(int c, const RateShape& s, int channels) {
  const int first = (c / s.perGroup) * s.perGroup;
  return {first, std::min(first + s.perGroup, ChannelsOf(channels))};
}

}  // namespace

int RateLimit(ConstImage image, const RatePage& page, int c, RowMask selected, const RecorderShape& shape) {
  const int n = ChannelsOf(shape.channels);
  if (c < 0 || c >= n || !Fits(image, page.rate, 16) || !Fits(image, page.resolution, 16)) return 0;
  const RateShape s = RateShapeFor(n, shape.product, Pal(image));
  const auto [first, end] = GroupOf(c, s, n);
  const bool own = Selected(selected, c);
  int used = 0, selectedInGroup = 0;
  for (int r = first; r < end; ++r) {
    if (Selected(selected, r)) ++selectedInGroup;
    const bool counts = own ? !Selected(selected, r) : r != c;
    if (counts)
      used +=
          image[page.rate + static_cast<size_t>(r)] * ResolutionWeight(image[page.resolution + static_cast<size_t>(r)]);
  }
  int limit = std::max(0, s.budget - used) / ResolutionWeight(image[page.resolution + static_cast<size_t>(c)]);
  if (own && selectedInGroup > 1) limit /= selectedInGroup;
  return limit;
}

int SetRate(Image image, const RatePage& page, int c, int wanted, RowMask selected, const RecorderShape& shape) {
  if (c < 0 || c >= ChannelsOf(shape.channels)) return 0;
  const int rate = std::clamp(std::min(wanted, RateLimit(image, page, c, selected, shape)), 0, 255);
  const RowMask rows = WriteChannels(image, page.rate, c, static_cast<uint8_t>(rate), selected, shape.channels);
  if (rate == 0)
    for (int r = 0; r < 16; ++r)
      if (Selected(rows, r)) image[page.enable + static_cast<size_t>(r)] = 0;
  return rate;
}

uint8_t SetGroupResolution(Image image, const RatePage& page, int group, uint8_t resolution, RowMask selected,
                           const RecorderShape& shape) {
  const int n = ChannelsOf(shape.channels);
  const RateShape s = RateShapeFor(n, shape.product, Pal(image));
  if (group < 0 || group * s.perGroup >= n || !Fits(image, page.resolution, 16)) return 0;
  uint8_t groups = static_cast<uint8_t>(1u << group);
  if (Selected(selected, group * s.perGroup))
    for (int g = 0; g * s.perGroup < n; ++g)
      if (Selected(selected, g * s.perGroup)) groups = static_cast<uint8_t>(groups | (1u << g));
  const int rate = std::min(255, s.budget / ResolutionWeight(resolution) / s.perGroup);
  for (int g = 0; g * s.perGroup < n; ++g) {
    if (!((groups >> g) & 1u)) continue;
    for (int r = g * s.perGroup; r < std::min(n, (g + 1) * s.perGroup); ++r) {
      image[page.resolution + static_cast<size_t>(r)] = resolution;
      if (page.rate != 0) image[page.rate + static_cast<size_t>(r)] = static_cast<uint8_t>(rate);
    }
  }
  return groups;
}

int TopFrameRate(const RecorderShape& shape, bool pal, int r, bool basicsPage) {
  const int n = shape.channels <= 0 ? 16 : shape.channels;
  const bool p3 = shape.product == 3;
  const int full = pal ? 25 : 30;
  auto pick = [&](int r0, int r1, int other) { return r == 0 ? r0 : r == 1 ? r1 : other; };
  if (n <= 4) return (basicsPage && p3) ? (r == 0 ? (pal ? 12 : 15) : full) : full;
  if (n > 8 && p3) return pal ? pick(3, 6, 12) : pick(3, 7, 15);
  if (n > 8 || p3) return pal ? pick(6, 12, 25) : pick(7, 15, 30);
  return r == 0 ? (pal ? 12 : 15) : full;
}

bool ChooseResolutionClass(Image image, int resolutionClass, const RecorderShape& shape) {
  if (resolutionClass < 0 || resolutionClass > 2 || image[at::kResolutionClass] == resolutionClass) return false;
  image[at::kTopRate] = static_cast<uint8_t>(TopFrameRate(shape, Pal(image), resolutionClass, true));
  image[at::kResolutionClass] = static_cast<uint8_t>(resolutionClass);
  return true;
}

uint16_t ValueAForPosition(int position) {
  return position >= 1 && position <= 4 ? static_cast<uint16_t>(5 * position) : 0;
}

int PositionForValueA(uint16_t value) {
  if (value == 0) return 0;
  return value % 5 == 0 && value <= 20 ? value / 5 : -1;
}

uint16_t ValueBForPosition(int position) {
  return position >= 1 && position <= 8 ? static_cast<uint16_t>(30 * position) : 10;
}

int PositionForValueB(uint16_t value) {
  if (value == 10) return 0;
  return value % 30 == 0 && value >= 30 && value <= 240 ? value / 30 : -1;
}

bool ChangeVideoStandard(Image image, uint8_t standard, const RecorderShape& shape) {
  if (standard > 1 || image[at::kVideoStandard] == standard) return false;
  const int n = ChannelsOf(shape.channels);
  image[at::kVideoStandard] = standard;
  const bool pal = standard == 1;
  image[at::kTopRate] = static_cast<uint8_t>(TopFrameRate(shape, pal, image[at::kResolutionClass], false));
  for (size_t array = 0; array < 6; ++array)
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at::kResolution1 + 16 * array), n, 0);
  const int total = shape.product == 3 ? (pal ? 200 : 240) : (pal ? 400 : 480);
  const auto rate = static_cast<uint8_t>(std::min(255, total / (4 * n)));
  for (size_t base : {at::kMode1Rate, at::kMode2Rate, at::kMotionRate, at::kMode4Rate, at::kMode5Rate})
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(base), n, rate);
  return true;
}

void ChoosePriority(Image image, int row, int item) {
  if (row < 0 || row > 4 || item < 0) return;
  const uint8_t value = (item == 5 && row != 0) ? kUnassigned : static_cast<uint8_t>(item);
  image[at::kPriority + static_cast<size_t>(row)] = value;
  if (value == kUnassigned) return;
  for (int r = 0; r < 5; ++r)
    if (r != row && image[at::kPriority + static_cast<size_t>(r)] == value)
      image[at::kPriority + static_cast<size_t>(r)] = kUnassigned;
}

bool ChooseAssignment(Image image, int entry, int k, uint8_t value) {
  if (entry < 0 || entry > 15 || k < 0 || k > 4) return false;
  const size_t base = at::kAssign + 4 * static_cast<size_t>(entry);
  if (k == 4) {
    image[at::kAssignFifth + 4 * static_cast<size_t>(entry)] = value;
    return true;
  }
  if (value != 0)
    for (int other = 0; other < 4; ++other)
      if (other != k && image[base + static_cast<size_t>(other)] == value) return false;
  image[base + static_cast<size_t>(k)] = value;
  return true;
}

void SetSpotDwell(Image image, int c, int position, RowMask selected, int channels) {
  const int n = ChannelsOf(channels);
  const uint8_t mode = image[at::kSpotMode];
  const int group = mode == 1 ? 4 : mode == 2 ? 8 : 1;
  const auto seconds = static_cast<uint8_t>(std::clamp(position, 0, 51) * 5);
  const RowMask rows = TargetRows(c, selected, n);
  for (int r = 0; r < n; ++r) {
    if (!Selected(rows, r)) continue;
    const int first = (r / group) * group;
    for (int g = first; g < std::min(n, first + group); ++g) image[at::kSpotDwell + static_cast<size_t>(g)] = seconds;
  }
}

void SetSpotMode(Image image, uint8_t mode, int channels) {
  if (mode > 6) return;
  image[at::kSpotMode] = mode;
  if (mode != 1 && mode != 2) return;
  const int n = ChannelsOf(channels), group = mode == 1 ? 4 : 8;
  for (int r = 0; r < n; ++r)
    image[at::kSpotDwell + static_cast<size_t>(r)] = image[at::kSpotDwell + static_cast<size_t>((r / group) * group)];
}

void ChooseProtocol(Image image, size_t protocolBase, size_t baudBase, int c, uint8_t protocol, int allowedBauds,
                    RowMask selected, int channels) {
  const RowMask rows = WriteChannels(image, protocolBase, c, protocol, selected, channels);
  const auto top = static_cast<uint8_t>(std::max(0, allowedBauds - 1));
  for (int r = 0; r < 16; ++r)
    if (Selected(rows, r) && image[baudBase + static_cast<size_t>(r)] >= std::max(1, allowedBauds))
      image[baudBase + static_cast<size_t>(r)] = top;
}

AddCheck CheckNewAccount(std::string_view id, std::string_view password, std::string_view again) {
  if (id.empty() || password.empty() || again.empty()) return AddCheck::kEmpty;
  if (password != again) return AddCheck::kMismatch;
  if (password == "4711") return AddCheck::kFactoryPassword;
  return AddCheck::kOk;
}

AddResult AddAccount(Image image, int slot, std::string_view id, std::string_view password) {
  if (slot < 0 || slot >= kUserSlotCount || CheckNewAccount(id, password, password) != AddCheck::kOk ||
      !Fits(image, at::kUserTable, kUserRightsTableSize))
    return AddResult::kRefused;
  UserRightsTable table;
  std::memcpy(table.bytes.data(), image.data() + at::kUserTable, kUserRightsTableSize);
  // Only what the table can hold is compared, as it will be stored.
  const std::string newId = Lower(id.substr(0, kUserTextBytes - 1));
  const std::string newPassword = Lower(password.substr(0, kUserTextBytes - 1));
  for (int other = 0; other < kUserSlotCount; ++other)
    if (other != slot && Lower(table.UserId(other)) == newId) return AddResult::kDuplicateId;
  for (int other = 0; other < kUserSlotCount; ++other)
    if (other != slot && Lower(table.Password(other)) == newPassword) return AddResult::kDuplicatePassword;
  table.SetUserId(slot, id);
  table.SetPassword(slot, password);
  std::memcpy(image.data() + at::kUserTable, table.bytes.data(), kUserRightsTableSize);
  return AddResult::kAdded;
}

bool NewerDatabase(uint8_t major, uint8_t minor) { return major > 4 || (major == 4 && minor > 1); }

uint8_t ZoneForPosition(int position, bool newer) {
  position = std::clamp(position, 0, 24);
  if (!newer) return static_cast<uint8_t>(position);
  if (position == 11) return 24;
  return static_cast<uint8_t>(position > 11 ? position - 1 : position);
}

int PositionForZone(uint8_t code, bool newer) {
  if (code > 24) return -1;
  if (!newer) return code;
  if (code == 24) return 11;
  return code >= 11 ? code + 1 : code;
}

std::optional<int> ZoneOffsetSeconds(uint8_t code) {
  if (code == 0) return std::nullopt;
  if (code == 1) return 0;
  if (code <= 13) return (code - 1) * 3600;
  if (code <= 23) return (code - 25) * 3600;
  if (code == 24) return 34200;
  return 0;  // codes above 24 show the unshifted time
}

uint32_t Rfc868ToUnix(uint32_t value) { return value + 2085978496u; }

int DaysInMonth(int month0) {
  static constexpr std::array<int, 12> days{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return days[static_cast<size_t>(std::clamp(month0, 0, 11))];
}

void ClampDstDay(Image image, size_t group) {
  const int month = image[group];
  uint8_t& day = image[group + 3];
  day = static_cast<uint8_t>(std::min<int>(day, DaysInMonth(month) - 1));
}

namespace {

// The start or end moment (group 0x0C86 or 0x0C8C) in `year`.
int64_t DstMoment(ConstImage image, size_t group, int year) {
  UserTime t;
  t.year = year;
  t.month = std::clamp<int>(image[group], 0, 11);
  t.day = std::min<int>(image[group + 3], DaysInMonth(t.month) - 1);
  // 29 February of a common year is its last day.
  if (t.month == 1 && t.day == 28 && !((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) t.day = 27;
  t.hour = std::min<int>(image[group + 4], 23);
  t.minute = std::min<int>(image[group + 5], 59);
  return GetUsertimeToTime_t(t);
}

}  // namespace

bool DstQuestionDue(ConstImage image, int64_t now) {
  if (image[at::kDst] != 1 || now < 0) return false;
  UserTime t;
  GetTime_tToUsertime(now, t);
  const int64_t end = DstMoment(image, at::kDstEnd, t.year);
  const int64_t window = image[at::kDstWindowHours] * 3600LL + image[at::kDstWindowMinutes] * 60LL;
  return end >= now && end - now <= window;
}

int64_t ApplyDst(ConstImage image, int64_t t) {
  if (image[at::kDst] != 1 || t < 0) return t;
  UserTime u;
  GetTime_tToUsertime(t, u);
  const int64_t start = DstMoment(image, at::kDstStart, u.year), end = DstMoment(image, at::kDstEnd, u.year);
  // A period that runs over the new year (southern summer) is in force
  // outside [end, start).
  const bool in = start <= end ? (t >= start && t < end) : (t >= start || t < end);
  return in ? t + 3600 : t;
}

}  // namespace orva::setup
