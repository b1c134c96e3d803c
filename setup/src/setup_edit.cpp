#include "orva/setup/setup_edit.h"

#include <algorithm>
#include <map>
#include <optional>

namespace orva::setup {
namespace {

using I = SetupFieldId;

// The rate pages by their fields.
const RatePage* RatePageOf(I id) {
  switch (id) {
    case I::kRecordMode1Rate: case I::kRecordMode1Enable: case I::kRecordMode1Resolution: return &kMode1;
    case I::kRecordMode2Rate: case I::kRecordMode2Enable: case I::kRecordMode2Resolution: return &kMode2;
    case I::kMotionRecordRate: case I::kMotionRecordEnable: case I::kMotionRecordResolution: return &kMotion;
    case I::kRecordMode4Rate: case I::kRecordMode4Enable: case I::kRecordMode4Resolution: return &kMode4;
    case I::kRecordMode5Rate: case I::kRecordMode5Enable: case I::kRecordMode5Resolution: return &kMode5;
    case I::kRecordMode6Resolution: return &kMode6;
    default: return nullptr;
  }
}

// Items offered by the list and slider pages, as stored values [low, high].
struct Range {
  I id;
  uint32_t low, high;
};
constexpr Range kRanges[] = {
    {I::kHue, 0, 100}, {I::kSaturation, 0, 100}, {I::kContrast, 0, 100}, {I::kBrightness, 0, 100},
    {I::kSpotSequenceMode, 0, 6}, {I::kDisplayChoice1, 0, 3}, {I::kDisplayChoice2, 0, 3},
    {I::kDisplayChoice3, 0, 3}, {I::kDisplayChoice4, 0, 4}, {I::kDisplayChoice5, 0, 2},
    {I::kRecordingResolutionClass, 0, 2}, {I::kRecordingChoice, 0, 1}, {I::kRecordingChoice2, 0, 4},
    {I::kMotionSensitivity, 0, 2}, {I::kRecordMode5Sensitivity, 0, 2}, {I::kRecordMode6Value, 0, 10},
    {I::kDateFormat, 0, 2}, {I::kSystemNumber, 0, 15}, {I::kSensorMode, 0, 2}, {I::kAutoDelete, 0, 255},
    {I::kPtzAddress, 0, 255}, {I::kControllerAddress, 0, 255},
    {I::kDstStartMonth, 0, 11}, {I::kDstStartWeek, 0, 4}, {I::kDstStartWeekday, 0, 6},
    {I::kDstStartHour, 0, 23}, {I::kDstStartMinute, 0, 59},
    {I::kDstEndMonth, 0, 11}, {I::kDstEndWeek, 0, 4}, {I::kDstEndWeekday, 0, 6},
    {I::kDstEndHour, 0, 23}, {I::kDstEndMinute, 0, 59},
    {I::kEmailChoice, 0, 3}, {I::kTimeZone, 0, 24}, {I::kNtp, 0, 1}, {I::kNtpServerKind, 0, 2},
    {I::kPanLowLimit, 0, 1023}, {I::kPanHighLimit, 0, 1023}, {I::kTiltLowLimit, 0, 1023},
    {I::kTiltHighLimit, 0, 1023}, {I::kEventGroup2Value, 0, 99999}, {I::kEventGroup3Value, 0, 99999},
    {I::kUserLevel, 0, 3}, {I::kChannelAssignment, 0, 16}, {I::kChannelAssignmentFifth, 0, 16},
    {I::kSmartInterval, 0, 99},
};

// Fields whose entries are channels (the pages show only the recorder's).
bool PerChannel(const SetupField& f) {
  return (f.count == 16 && f.inner == 0 && f.id != I::kChannelAssignmentFifth) || f.id == I::kMotionArea;
}

bool CommonRule(I id) {
  switch (id) {
    case I::kHue: case I::kSaturation: case I::kContrast: case I::kBrightness: case I::kCovert:
    case I::kSpotSequenceMembership: case I::kRecordMode1Enable: case I::kRecordMode2Enable:
    case I::kMotionRecordEnable: case I::kRecordMode4Enable: case I::kRecordMode5Enable:
    case I::kMotionSensitivity: case I::kRecordMode5Sensitivity: case I::kRecordMode6FlagsA:
    case I::kRecordMode6FlagsB: case I::kSensorMode: case I::kPtzAddress: case I::kControllerAddress:
    case I::kPtzBaudRate: case I::kControllerBaudRate: case I::kDeinterlace:
      return true;
    default:
      return false;
  }
}

bool IsRight(I id) {
  switch (id) {
    case I::kStopRecordingRight: case I::kSetupRight: case I::kPlaybackRight: case I::kBackupRight:
    case I::kPtzRight: case I::kCovertRight: case I::kAccessRight: case I::kRebootRight: case I::kUserLevel:
      return true;
    default:
      return false;
  }
}

class Editor {
 public:
  Editor(SetupDatabase& db, const EditContext& context)
      : m_db(db), m_context(context), m_channels(std::clamp(context.shape.channels, 1, 16)) {}

  bool Apply(const std::string& key, const std::string& value, std::string& error) {
    const auto parsed = ParseSetupKey(key);
    if (!parsed) return Fail(error, "unknown setup key '" + key + "'");
    m_field = parsed->field;
    m_entry = parsed->entry;
    m_key = key;
    // A scratch record parses the value as the field's kind shows it.
    SetupDatabase scratch = m_db;
    if (!scratch.SetByKey(key, value, error)) return false;
    m_value = IsNumber() ? scratch.Value(m_field->id, m_entry) : 0;
    if (IsSlot() && !SlotAllowed(error)) return false;
    if (m_field->id == I::kUserId || m_field->id == I::kUserPassword) {
      auto& account = m_accounts[m_entry];
      (m_field->id == I::kUserId ? account.first : account.second) = scratch.Text(m_field->id, m_entry);
      return true;
    }
    if (PerChannel(*m_field) && Channel() >= m_channels)
      return Fail(error, m_key + ": channel " + std::to_string(Channel() + 1) + " is not on this recorder (it has " +
                             std::to_string(m_channels) + ")");
    if (!InRange(error)) return false;
    if (!Rule(scratch, error)) return false;
    return true;
  }

  // The account additions, after the other changes.
  bool FinishAccounts(std::string& error) {
    for (const auto& [slot, account] : m_accounts) {
      const std::string where = "user " + std::to_string(slot + 1);
      if (!account.first || !account.second)
        return Fail(error, where + ": an account is added with both user_id." + std::to_string(slot + 1) +
                               " and user_password." + std::to_string(slot + 1));
      switch (CheckNewAccount(*account.first, *account.second, *account.second)) {
        case AddCheck::kOk: break;
        case AddCheck::kEmpty: return Fail(error, where + ": the ID and the password must not be empty");
        case AddCheck::kMismatch: return Fail(error, where + ": the passwords differ");
        case AddCheck::kFactoryPassword: return Fail(error, where + ": the factory password 4711 cannot be chosen");
      }
      switch (AddAccount(Image(), slot, *account.first, *account.second)) {
        case AddResult::kAdded: break;
        case AddResult::kDuplicateId: return Fail(error, where + ": another account has this ID");
        case AddResult::kDuplicatePassword: return Fail(error, where + ": another account has this password");
        case AddResult::kRefused: return Fail(error, where + ": the account was refused");
      }
    }
    return true;
  }

 private:
  static bool Fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
  }

  setup::Image Image() { return m_db.MutableBytes(); }
  int Channel() const { return m_field->id == I::kMotionArea ? m_entry / m_field->inner : m_entry; }
  uint8_t Byte(size_t offset) const { return m_db.Bytes()[offset]; }
  bool Pal() const { return Byte(at::kVideoStandard) == 1; }

  bool IsNumber() const {
    switch (m_field->kind) {
      case FieldKind::kText: case FieldKind::kPassword: case FieldKind::kIpv4: case FieldKind::kCells: return false;
      default: return true;
    }
  }
  bool IsSlot() const { return IsRight(m_field->id) || m_field->id == I::kUserId || m_field->id == I::kUserPassword; }

  // In one of the accounts page's modes the list starts at the second slot:
  // only the administrator edits the administrator's account.
  bool SlotAllowed(std::string& error) const {
    if (m_context.account == 0 || m_entry != 0) return true;
    return Fail(error, m_key + ": only the administrator edits the administrator's account");
  }

  bool InRange(std::string& error) const {
    if (!IsNumber()) return true;
    uint32_t low = 0, high = UINT32_MAX;
    switch (m_field->kind) {
      case FieldKind::kSwitch: case FieldKind::kYesNo: case FieldKind::kVideoStandard: high = 1; break;
      case FieldKind::kResolution: high = 2; break;
      default: break;
    }
    if (const ValueRange r = PageRange(m_field->id); r.high != UINT32_MAX) low = r.low, high = r.high;
    if (m_field->id == I::kTopFrameRate) low = 1, high = Pal() ? 25 : 30;
    if (m_value >= low && m_value <= high) return true;
    return Fail(error, m_key + ": the page offers " + std::to_string(low) + " to " + std::to_string(high));
  }

  // Writes the scratch record's entry as it is (fields a page stores as chosen).
  bool Copy(const SetupDatabase& scratch) {
    const auto from = scratch.EntryBytes(m_field->id, m_entry);
    const auto to = m_db.MutableEntryBytes(m_field->id, m_entry);
    std::copy(from.begin(), from.end(), to.begin());
    return true;
  }

  bool Rule(const SetupDatabase& scratch, std::string& error) {
    const I id = m_field->id;
    const auto v = static_cast<uint8_t>(m_value);
    const RecorderShape& shape = m_context.shape;
    if (const RatePage* page = RatePageOf(id)) {
      if (m_field->offset == page->rate) {
        const int limit = std::min(RateLimit(Image(), *page, m_entry, m_context.selected, shape), Pal() ? 25 : 30);
        if (static_cast<int>(m_value) > limit)
          return Fail(error, m_key + ": at most " + std::to_string(limit) +
                                 " within the group's frame-rate budget with these rows selected");
        SetRate(Image(), *page, m_entry, v, m_context.selected, shape);
        return true;
      }
      if (m_field->offset == page->resolution) {
        const int perGroup = RateShapeFor(m_channels, shape.product, Pal()).perGroup;
        SetGroupResolution(Image(), *page, m_entry / perGroup, v, m_context.selected, shape);
        return true;
      }
      // The On/Off pair of a channel whose rate is 0 is disabled.
      if (Byte(page->rate + static_cast<size_t>(m_entry)) == 0)
        return Fail(error, m_key + ": the channel's rate is 0, so its On/Off pair is disabled");
    }
    if (CommonRule(id)) {
      if (id == I::kPtzBaudRate || id == I::kControllerBaudRate) {
        const bool camera = id == I::kPtzBaudRate;
        const size_t protocol = camera ? at::kPtzProtocol : at::kCtrlProtocol;
        const int allowed =
            ProtocolBaudCount(m_context.tables, camera ? ProtocolTable::kCamera : ProtocolTable::kController,
                              Byte(protocol + static_cast<size_t>(m_entry)));
        if (static_cast<int>(m_value) >= allowed)
          return Fail(error, m_key + ": the channel's protocol allows " + std::to_string(allowed) + " baud rates");
      }
      WriteChannels(Image(), m_field->offset, m_entry, v, m_context.selected, m_channels);
      return true;
    }
    switch (id) {
      case I::kVideoStandard: ChangeVideoStandard(Image(), v, shape); return true;
      case I::kRecordingResolutionClass: ChooseResolutionClass(Image(), v, shape); return true;
      case I::kRecordingValueA:
        if (PositionForValueA(static_cast<uint16_t>(m_value)) < 0)
          return Fail(error, m_key + ": the page offers 0 (off), 5, 10, 15 or 20");
        return Copy(scratch);
      case I::kPriorityList: {
        const int item = m_value < 5 ? static_cast<int>(m_value) : (m_value == kUnassigned && m_entry != 0) ? 5 : -1;
        if (item < 0)
          return Fail(error, m_key + (m_entry == 0 ? ": the first rank takes 0 to 4" : ": takes 0 to 4, or 6 (unassigned)"));
        ChoosePriority(Image(), m_entry, item);
        return true;
      }
      case I::kChannelAssignment:
      case I::kChannelAssignmentFifth: {
        const int entry = id == I::kChannelAssignment ? m_entry / 4 : m_entry;
        const int k = id == I::kChannelAssignment ? m_entry % 4 : 4;
        if (!ChooseAssignment(Image(), entry, k, v))
          return Fail(error, m_key + ": that camera is already assigned to this input");
        return true;
      }
      case I::kSpotSequenceMode: SetSpotMode(Image(), v, m_channels); return true;
      case I::kSpotDwellTime:
        if (Byte(at::kSpotMode) >= 4)
          return Fail(error, m_key + ": spot mode " + std::to_string(Byte(at::kSpotMode)) + " has no dwell times");
        if (m_value % 5 != 0 || m_value > 255) return Fail(error, m_key + ": a multiple of 5 seconds, 0 to 255");
        SetSpotDwell(Image(), m_entry, static_cast<int>(m_value / 5), m_context.selected, m_channels);
        return true;
      case I::kLanguage: {
        const auto slots = LanguageSlots(m_context.tables);
        if (std::find(slots.begin(), slots.end(), static_cast<int>(m_value)) == slots.end())
          return Fail(error, m_key + ": the recorder offers no language in slot " + std::to_string(m_value));
        return Copy(scratch);
      }
      case I::kPtzProtocol:
      case I::kControllerProtocol: {
        const bool camera = id == I::kPtzProtocol;
        const ProtocolTable table = camera ? ProtocolTable::kCamera : ProtocolTable::kController;
        if (m_value >= static_cast<uint32_t>(kTableSlots) || ProtocolName(m_context.tables, table, v).empty())
          return Fail(error, m_key + ": the recorder's protocol table has no entry " + std::to_string(m_value));
        ChooseProtocol(Image(), m_field->offset, camera ? at::kPtzBaud : at::kCtrlBaud, m_entry, v,
                       ProtocolBaudCount(m_context.tables, table, v), m_context.selected, m_channels);
        return true;
      }
      case I::kDstStartMonth: case I::kDstStartWeek: case I::kDstStartWeekday:
      case I::kDstEndMonth: case I::kDstEndWeek: case I::kDstEndWeekday: {
        Copy(scratch);
        ClampDstDay(Image(), m_field->offset < at::kDstEnd ? at::kDstStart : at::kDstEnd);
        return true;
      }
      case I::kDstStartDay:
      case I::kDstEndDay: {
        const size_t group = id == I::kDstStartDay ? at::kDstStart : at::kDstEnd;
        const int days = DaysInMonth(Byte(group));
        if (static_cast<int>(m_value) >= days)
          return Fail(error, m_key + ": the month has " + std::to_string(days) + " days (0 to " +
                                 std::to_string(days - 1) + ")");
        return Copy(scratch);
      }
      case I::kDstEndHour:
      case I::kDstEndMinute:
        // The end time is also the leave-time question's window.
        Copy(scratch);
        Image()[id == I::kDstEndHour ? at::kDstWindowHours : at::kDstWindowMinutes] = v;
        return true;
      case I::kDstWindowHours:
      case I::kDstWindowMinutes:
        return Fail(error, m_key + ": set with the DST end time (dst_end_hour, dst_end_minute)");
      case I::kDstEndAnswer:
        return Fail(error, m_key + ": only the leave-time question writes it");
      case I::kMotionArea: {
        // The page marks the first 8 cells of the first 8 rows, 0 or 1; the
        // rest of the 9 x 11 grid is the recorder's.
        const auto now = m_db.EntryBytes(id, m_entry), wanted = scratch.EntryBytes(id, m_entry);
        const bool rowOnPage = m_entry % m_field->inner < 8;
        for (size_t cell = 0; cell < wanted.size(); ++cell) {
          const bool onPage = rowOnPage && cell < 8;
          if (onPage ? wanted[cell] > 1 : wanted[cell] != now[cell])
            return Fail(error, m_key + ": the page marks cells 1-8 of rows 1-8 with 0 or 1 and leaves the rest");
        }
        return Copy(scratch);
      }
      case I::kEventActionsGroup1Fifth:
      case I::kEventActionsGroup2Fifth:
      case I::kEventActionsGroup3Fifth:
        if (!NewerDatabase(Byte(at::kMajor), Byte(at::kMinor)))
          return Fail(error, m_key + ": the fifth action exists only in databases newer than 4.1");
        return Copy(scratch);
      case I::kUserNtpServerName:
        if (Byte(at::kNtpKind) != 1) return Fail(error, m_key + ": editable only when ntp_server_kind is 1");
        return Copy(scratch);
      case I::kNtpServerAddress:
        if (Byte(at::kNtpKind) != 2) return Fail(error, m_key + ": editable only when ntp_server_kind is 2");
        return Copy(scratch);
      default:
        return Copy(scratch);
    }
  }

  SetupDatabase& m_db;
  const EditContext& m_context;
  const int m_channels;
  const SetupField* m_field = nullptr;
  int m_entry = 0;
  std::string m_key;
  uint32_t m_value = 0;
  std::map<int, std::pair<std::optional<std::string>, std::optional<std::string>>> m_accounts;
};

}  // namespace

ValueRange PageRange(SetupFieldId id) {
  for (const Range& r : kRanges)
    if (r.id == id) return {r.low, r.high};
  return {};
}

bool ApplySetupEdits(SetupDatabase& db, const std::vector<std::pair<std::string, std::string>>& edits,
                     const EditContext& context, std::string& error) {
  SetupDatabase work = db;
  const SetupByteOrder order = work.Order();
  work.ToHostOrder();
  Editor editor(work, context);
  for (const auto& [key, value] : edits)
    if (!editor.Apply(key, value, error)) return false;
  if (!editor.FinishAccounts(error)) return false;
  if (order == SetupByteOrder::kNetwork) work.ToNetworkOrder();
  db = work;
  return true;
}

}  // namespace orva::setup
