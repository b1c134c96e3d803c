#include "orva/setup/setup_fields.h"

#include "orva/setup/setup_field_table.h"

#include <array>
#include <charconv>

namespace orva {
namespace {

// clang-format off
constexpr MultiByteRun kMultiByte[] = {
  {0x0004, 4, 1},   // recorder clock
  {0x0288, 2, 1},   // recording value A
  {0x028A, 2, 1},   // recording value B
  {0x0DB0, 4, 1},
  {0x0DB4, 4, 1},
  {0x1078, 2, 1},
  {0x107A, 2, 1},
  {0x10E0, 2, 64},  // the four PTZ limit tables
  {0x1160, 4, 5},   // 0x1160-0x1173
  {0x11F8, 2, 512},
  {0x18C0, 2, 64},
};
// clang-format on

// Parses a decimal index; false on anything else.
bool ParseIndex(std::string_view text, int& out) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::span<const SetupField> SetupFields() { return field_table::kFields; }

const SetupField& FieldOf(SetupFieldId id) { return field_table::kFields[static_cast<size_t>(id)]; }

const SetupField* FindSetupField(std::string_view baseKey) {
  for (const SetupField& f : field_table::kFields)
    if (baseKey == f.key) return &f;
  return nullptr;
}

std::span<const MultiByteRun> SetupMultiByteRuns() { return kMultiByte; }

std::optional<SetupKey> ParseSetupKey(std::string_view key) {
  const size_t dot = key.find('.');
  const SetupField* field = FindSetupField(key.substr(0, dot));
  if (!field) return std::nullopt;
  std::string_view rest = dot == std::string_view::npos ? std::string_view() : key.substr(dot + 1);
  if (field->count == 1) {
    if (dot != std::string_view::npos) return std::nullopt;
    return SetupKey{field, 0};
  }
  if (dot == std::string_view::npos) return std::nullopt;
  int first = 0;
  if (field->inner == 0) {
    if (!ParseIndex(rest, first) || first < 1 || first > field->count) return std::nullopt;
    return SetupKey{field, first - 1};
  }
  const size_t dot2 = rest.find('.');
  if (dot2 == std::string_view::npos) return std::nullopt;
  int second = 0;
  if (!ParseIndex(rest.substr(0, dot2), first) || !ParseIndex(rest.substr(dot2 + 1), second)) return std::nullopt;
  const int rows = field->count / field->inner;
  second -= field->innerBase;
  if (first < 1 || first > rows || second < 0 || second >= field->inner) return std::nullopt;
  return SetupKey{field, (first - 1) * field->inner + second};
}

std::string SetupKeyName(const SetupField& field, int entry) {
  std::string key = field.key;
  if (field.count == 1) return key;
  if (field.inner == 0) return key + "." + std::to_string(entry + 1);
  return key + "." + std::to_string(entry / field.inner + 1) + "." +
         std::to_string(entry % field.inner + field.innerBase);
}

}  // namespace orva
