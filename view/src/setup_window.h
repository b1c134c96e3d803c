// The setup window: 618 x 546, four category buttons (Display, Rec, System,
// Event), each with its column of page buttons, and one page at a time at
// (197, 83) in 403 x 417. Every page edits the window's host-order copy of
// the record in place and is rebuilt from it each time it is shown, so
// edits survive a change of page. OK first lists the changed fields and
// returns the record only when the user confirms; Save... and Load... write
// and read the whole record; a record opened from a file is reviewed
// without a recorder (OK is then not offered).
#pragma once

#include <QDialog>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "orva/setup/setup_database.h"
#include "orva/setup/system_tables.h"
#include "orva/setup/setup_rules.h"
#include "setup_widgets.h"

class QAbstractButton;
class QPushButton;
class QVBoxLayout;

namespace orva::view {

inline constexpr int kSetupWindowWidth = 618, kSetupWindowHeight = 546;
inline constexpr int kSetupPageLeft = 197, kSetupPageTop = 83, kSetupPageWidth = 403, kSetupPageHeight = 417;

enum class SetupCategory { kDisplay = 0, kRec, kSystem, kEvent };

enum class SetupPageId {
  // Display
  kCameraImage,
  kCovert,
  kCameraNames,
  kSpot,
  kDisplay,
  // Rec
  kRecBasics,
  kRecMode1,
  kRecMode2,
  kMotionRecording,
  kRecMode4,
  kRecMode5,
  kRecMode6,
  kPriority,
  // System
  kSystemBasics,
  kUsers,
  kSensor,
  kAutoDelete,
  kPtzSetup,
  kPtzController,
  kDst,
  kNtp,
  kSmart,
  // Event
  kEmail,
  kEventGroup1,
  kEventGroup2,
  kEventGroup3,
  // Sub-pages, reached from their parents
  kChannelAssignment,
  kMotionArea,
  kSchedule,
  kDeinterlace,
  kPtzLimits,
  kCount
};

// What the pages need from outside the record.
struct SetupEnv {
  int channels = 16;  // 4, 8 or 16
  int product = 0;    // 1-4, 0 unknown
  // The logged-in account: only account 0 (the administrator) sees and edits
  // the first user slot; for others the accounts page's list starts at slot 1.
  int account = 0;
  SystemTables tables;
  bool review = false;  // a record from a file, no recorder
  // Requests to the recorder; false when not sent (no connection).
  std::function<bool(std::span<const uint8_t>)> sendTestMail;
  std::function<bool()> requestRecorderTime;
  // Initialize: the main window asks for confirmation and resets.
  std::function<void()> initialize;
  // Time servers of the NTP page's clock, tried in order (RFC 868, TCP).
  std::vector<std::string> timeServers;
  uint16_t timePort = 37;
  // The DST page's lower bound for the recorder's time (0 = none).
  uint32_t recorderTimeFloor = 0;
  // The DST page's leave-time question; null asks with a message box.
  std::function<bool(const QString&)> ask;
};

class SetupWindow;

// A page: a child of the setup window at (197, 83), 403 x 417.
class SetupPage : public QWidget {
  Q_OBJECT
 public:
  SetupPage(SetupWindow& window, SetupPageId id);
  SetupPageId Id() const { return m_id; }
  // Leave-time work, run by the window just before the page goes.
  virtual void Leave() {}
  // The recorder's clock answer (DST page).
  virtual void OnRecorderTime(uint32_t) {}

 protected:
  SetupWindow& Window() const { return m_window; }
  setup::Image Img() const;
  const SetupEnv& Env() const;
  setup::RecorderShape Shape() const;
  // A button showing list item `current` that opens the list chooser; a pick
  // calls `picked` and the button shows the item (unless `picked` returns false).
  QPushButton* ChoiceButton(const QString& name, const QStringList& items, int current, std::function<bool(int)> picked,
                            QWidget* parent = nullptr);
  // A page title at the top.
  void AddTitle(QVBoxLayout* layout, const char* key, const char* fallback);

 private:
  SetupWindow& m_window;
  const SetupPageId m_id;
};

class SetupWindow : public QDialog {
  Q_OBJECT
 public:
  // `record` in either order; the window works on its own host-order copy.
  SetupWindow(const SetupDatabase& record, SetupEnv env, uint8_t opacity, QWidget* parent = nullptr);
  ~SetupWindow() override;

  void ShowCategory(SetupCategory category);
  SetupCategory Category() const { return m_category; }
  // Destroys the shown page (after its leave-time work) and builds `id`.
  void ShowPage(SetupPageId id);
  SetupPage* CurrentPage() const { return m_page; }
  // The category button, or a page button of the shown category (null when
  // that category is not shown).
  QAbstractButton* CategoryButton(SetupCategory category) const;
  QAbstractButton* PageButton(SetupPageId id) const;
  QPushButton* OkButton() const { return m_ok; }

  // The shared choosers; the handler runs only while the asking page lives.
  void ShowList(QWidget* anchor, const QStringList& items, int current, std::function<void(int)> handler);
  void ShowNumber(QWidget* anchor, const NumberChooser::Limits& limits, std::function<void(int, int)> handler);
  ListChooser* OpenList() const { return m_list; }
  NumberChooser* OpenNumber() const { return m_number; }

  setup::Image Image() { return m_host; }
  setup::ConstImage Image() const { return m_host; }
  const SetupEnv& Env() const { return m_env; }
  uint8_t Major() const { return m_major; }
  uint8_t Minor() const { return m_minor; }

  // The record as it is now, network order.
  SetupDatabase Record() const;
  // The fields changed since the window opened (or since the last Load).
  std::vector<SetupChange> Changes() const;
  // The changed-fields list shown before sending; null shows a dialog.
  void SetConfirmHook(std::function<bool(const std::vector<SetupChange>&)> hook) { m_confirm = std::move(hook); }
  // The record after OK, network order.
  const SetupDatabase& Result() const { return m_result; }

  // The whole record to a file and back; false with a message.
  bool SaveFile(const QString& path, QString& error) const;
  bool LoadFile(const QString& path, QString& error);

  // The recorder's clock answer, handed to the shown page.
  void OnRecorderTime(uint32_t wireSeconds);

 public slots:
  // OK: pages leave, the changes are confirmed, the record is converted.
  void accept() override;
  void reject() override;

 private:
  void BuildFrame();
  void DestroyPage();
  void SaveAs();
  void LoadFromFile();

  SetupEnv m_env;
  SetupDatabase m_original;  // network order, for the changes list
  std::array<uint8_t, kSetupDatabaseSize> m_host{};
  SetupDatabase m_result;
  uint8_t m_major = 0, m_minor = 0;
  SetupCategory m_category = SetupCategory::kDisplay;
  std::array<QPushButton*, 4> m_categoryButtons{};
  QWidget* m_menu = nullptr;  // the shown category's page buttons
  std::map<SetupPageId, QPushButton*> m_pageButtons;
  SetupPage* m_page = nullptr;
  QPointer<ListChooser> m_list;
  QPointer<NumberChooser> m_number;
  QPushButton* m_ok = nullptr;
  std::function<bool(const std::vector<SetupChange>&)> m_confirm;
};

// Host-order bytes of a record and back (only the multi-byte fields change).
std::array<uint8_t, kSetupDatabaseSize> HostBytes(const SetupDatabase& record);
SetupDatabase FromHostBytes(setup::ConstImage host);

// The page factories, one per file of pages.
SetupPage* CreateDisplayPage(SetupWindow& window, SetupPageId id);
SetupPage* CreateRecPage(SetupWindow& window, SetupPageId id);
SetupPage* CreateSystemPage(SetupWindow& window, SetupPageId id);
SetupPage* CreateTimePage(SetupWindow& window, SetupPageId id);
SetupPage* CreateEventPage(SetupWindow& window, SetupPageId id);

}  // namespace orva::view
