#include "setup_window.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstring>

#include "orva/link/identity.h"
#include "orva/link/trace.h"
#include "skin_style.h"

namespace orva::view {
namespace {

struct PageEntry {
  SetupPageId id;
  SetupCategory category;
  const char* name;  // object name "page.<name>" of the button and the page
  const char* key;
  const char* fallback;
};

// The pages by category, in button order; sub-pages have no button.
constexpr PageEntry kPages[] = {
    {SetupPageId::kCameraImage, SetupCategory::kDisplay, "CameraImage", "setup.page.camera_image", "Camera Image"},
    {SetupPageId::kCovert, SetupCategory::kDisplay, "Covert", "setup.page.covert", "Covert"},
    {SetupPageId::kCameraNames, SetupCategory::kDisplay, "CameraNames", "setup.page.camera_names", "Camera Names"},
    {SetupPageId::kSpot, SetupCategory::kDisplay, "Spot", "setup.page.spot", "Spot"},
    {SetupPageId::kDisplay, SetupCategory::kDisplay, "Display", "setup.page.display", "Display"},
    {SetupPageId::kRecBasics, SetupCategory::kRec, "RecBasics", "setup.page.rec_basics", "Recording"},
    {SetupPageId::kRecMode1, SetupCategory::kRec, "RecMode1", "setup.page.rec_mode1", "Continuous"},
    {SetupPageId::kRecMode2, SetupCategory::kRec, "RecMode2", "setup.page.rec_mode2", "Alarm"},
    {SetupPageId::kMotionRecording, SetupCategory::kRec, "MotionRecording", "setup.page.motion", "Motion"},
    {SetupPageId::kRecMode4, SetupCategory::kRec, "RecMode4", "setup.page.rec_mode4", "Schedule"},
    {SetupPageId::kRecMode5, SetupCategory::kRec, "RecMode5", "setup.page.rec_mode5", "Smart Motion"},
    {SetupPageId::kRecMode6, SetupCategory::kRec, "RecMode6", "setup.page.rec_mode6", "Pre-Event"},
    {SetupPageId::kPriority, SetupCategory::kRec, "Priority", "setup.page.priority", "Priority"},
    {SetupPageId::kSystemBasics, SetupCategory::kSystem, "SystemBasics", "setup.page.system", "System"},
    {SetupPageId::kUsers, SetupCategory::kSystem, "Users", "setup.page.users", "User Accounts"},
    {SetupPageId::kSensor, SetupCategory::kSystem, "Sensor", "setup.page.sensor", "Sensor"},
    {SetupPageId::kAutoDelete, SetupCategory::kSystem, "AutoDelete", "setup.page.auto_delete", "Auto Delete"},
    {SetupPageId::kPtzSetup, SetupCategory::kSystem, "PtzSetup", "setup.page.ptz", "PTZ"},
    {SetupPageId::kPtzController, SetupCategory::kSystem, "PtzController", "setup.page.controller", "Controller"},
    {SetupPageId::kDst, SetupCategory::kSystem, "Dst", "setup.page.dst", "Daylight Saving"},
    {SetupPageId::kNtp, SetupCategory::kSystem, "Ntp", "setup.page.ntp", "Time / NTP"},
    {SetupPageId::kSmart, SetupCategory::kSystem, "Smart", "setup.page.smart", "Smart"},
    {SetupPageId::kEmail, SetupCategory::kEvent, "Email", "setup.page.email", "E-mail"},
    {SetupPageId::kEventGroup1, SetupCategory::kEvent, "EventGroup1", "setup.page.event1", "Alarm Event"},
    {SetupPageId::kEventGroup2, SetupCategory::kEvent, "EventGroup2", "setup.page.event2", "Motion Event"},
    {SetupPageId::kEventGroup3, SetupCategory::kEvent, "EventGroup3", "setup.page.event3", "System Event"},
};

constexpr const char* kCategoryNames[4][3] = {{"Display", "setup.category.display", "Display"},
                                              {"Rec", "setup.category.rec", "Rec"},
                                              {"System", "setup.category.system", "System"},
                                              {"Event", "setup.category.event", "Event"}};

const char* const kMenuStyle =
    "QPushButton { text-align: left; padding: 6px 10px; background: transparent; border: 1px solid transparent;"
    "  border-radius: 4px; color: #c9d1d9; }"
    "QPushButton:hover { background: #21262d; }"
    "QPushButton:checked { background: #1f6feb; color: #ffffff; border-color: #388bfd; }";

const char* const kCategoryStyle =
    "QPushButton { background: #21262d; border: 1px solid #30363d; border-radius: 6px; color: #c9d1d9;"
    "  font-weight: bold; }"
    "QPushButton:checked { background: #1f6feb; color: #ffffff; border-color: #388bfd; }";

// The changed fields, confirmed by the user before anything is sent.
bool ConfirmChanges(QWidget* parent, const std::vector<SetupChange>& changes) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("setupChanges"));
  dialog.setWindowTitle(SetupText("setup.changes.title", "Changes to send"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* list = new QTreeWidget(&dialog);
  list->setHeaderLabels({SetupText("setup.changes.key", "Field"), SetupText("setup.changes.old", "Old value"),
                         SetupText("setup.changes.new", "New value")});
  list->setRootIsDecorated(false);
  for (const SetupChange& c : changes)
    list->addTopLevelItem(new QTreeWidgetItem(
        {QString::fromStdString(c.key), QString::fromStdString(c.before), QString::fromStdString(c.after)}));
  list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  auto* text =
      new QLabel(changes.empty() ? SetupText("setup.changes.none", "Nothing was changed. Send the setup anyway?")
                                 : SetupText("setup.changes.ask", "Send these changes to the recorder?"),
                 &dialog);
  layout->addWidget(text);
  layout->addWidget(list, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(SetupText("setup.changes.send", "Send"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.resize(520, 360);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace

std::array<uint8_t, kSetupDatabaseSize> HostBytes(const SetupDatabase& record) {
  SetupDatabase copy = record;
  copy.ToHostOrder();
  std::array<uint8_t, kSetupDatabaseSize> out{};
  std::memcpy(out.data(), copy.Bytes().data(), out.size());
  return out;
}

SetupDatabase FromHostBytes(setup::ConstImage host) {
  std::vector<uint8_t> wire(host.begin(), host.end());
  wire.resize(kSetupDatabaseSize);
  // Exactly the listed multi-byte fields go back to network order.
  for (const MultiByteRun& run : SetupMultiByteRuns())
    for (size_t i = 0; i < run.count; ++i) {
      uint8_t* p = wire.data() + run.offset + i * run.width;
      if (run.width == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        p[0] = static_cast<uint8_t>(v >> 8);
        p[1] = static_cast<uint8_t>(v);
      } else {
        uint32_t v;
        std::memcpy(&v, p, 4);
        for (int b = 0; b < 4; ++b) p[b] = static_cast<uint8_t>(v >> (24 - 8 * b));
      }
    }
  SetupDatabase db;
  std::string error;
  SetupDatabase::FromBytes(wire, db, error);
  return db;
}

SetupPage::SetupPage(SetupWindow& window, SetupPageId id) : QWidget(&window), m_window(window), m_id(id) {
  setGeometry(kSetupPageLeft, kSetupPageTop, kSetupPageWidth, kSetupPageHeight);
}

setup::Image SetupPage::Img() const { return m_window.Image(); }
const SetupEnv& SetupPage::Env() const { return m_window.Env(); }
setup::RecorderShape SetupPage::Shape() const { return {Env().channels, Env().product}; }

QPushButton* SetupPage::ChoiceButton(const QString& name, const QStringList& items, int current,
                                     std::function<bool(int)> picked, QWidget* parent) {
  // A stored value beyond the list shows as its number.
  auto* button = new QPushButton(current >= 0 && current < items.size() ? items[current] : QString::number(current),
                                 parent ? parent : this);
  button->setObjectName(name);
  button->setFocusPolicy(Qt::NoFocus);
  connect(button, &QPushButton::clicked, this, [this, button, items, picked] {
    const int shown = static_cast<int>(items.indexOf(button->text()));
    m_window.ShowList(button, items, shown, [button, items, picked](int i) {
      if (picked(i)) button->setText(items[i]);
    });
  });
  return button;
}

void SetupPage::AddTitle(QVBoxLayout* layout, const char* key, const char* fallback) {
  auto* title = new QLabel(SetupText(key, fallback), this);
  title->setObjectName(QStringLiteral("pageTitle"));
  title->setStyleSheet(QStringLiteral("font-size: 14px; font-weight: bold; color: #e6edf3;"));
  layout->addWidget(title);
}

SetupWindow::SetupWindow(const SetupDatabase& record, SetupEnv env, uint8_t opacity, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_env(std::move(env)) {
  setObjectName(QStringLiteral("setupWindow"));
  setWindowTitle(SetupText("setup.title", "Remote Setup"));
  setFixedSize(kSetupWindowWidth, kSetupWindowHeight);
  skin::StyleDialog(this, opacity);
  // The pages are dense: buttons take the size they are given. A chosen
  // On/Off, tab or resolution button must stand out from its neighbours.
  setStyleSheet(styleSheet() + QStringLiteral("QPushButton { min-width: 0px; padding: 2px 6px; }"
                                              "QPushButton:checked { background: #1f6feb; color: #ffffff;"
                                              "  border-color: #388bfd; }"
                                              "QPushButton:disabled { color: #6e7681; }"));
  m_env.channels = NormaliseChannelCount(static_cast<uint8_t>(m_env.channels));
  m_original = FromHostBytes(HostBytes(record));  // network order whatever the input
  m_host = HostBytes(record);
  m_major = m_host[setup::at::kMajor];
  m_minor = m_host[setup::at::kMinor];
  // The recorder's clock against this computer's: traced, not kept.
  const auto clock = static_cast<int64_t>(setup::Get32(m_host, setup::at::kClock));
  Trace("m_nTimeDelay : %d\n", static_cast<int>(clock - static_cast<int64_t>(time(nullptr))));
  BuildFrame();
  ShowCategory(SetupCategory::kDisplay);
}

SetupWindow::~SetupWindow() = default;

void SetupWindow::BuildFrame() {
  for (int i = 0; i < 4; ++i) {
    auto* b = new QPushButton(SetupText(kCategoryNames[i][1], kCategoryNames[i][2]), this);
    b->setObjectName(QStringLiteral("category.") + QString::fromLatin1(kCategoryNames[i][0]));
    b->setCheckable(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setStyleSheet(QString::fromLatin1(kCategoryStyle));
    b->setGeometry(22 + 71 * i, 8, 69, 65);
    connect(b, &QPushButton::clicked, this, [this, i] { ShowCategory(static_cast<SetupCategory>(i)); });
    m_categoryButtons[static_cast<size_t>(i)] = b;
  }
  auto* title =
      new QLabel(windowTitle() + (m_env.review ? SetupText("setup.review", "  (file, not sent)") : QString()), this);
  title->setObjectName(QStringLiteral("noticeTitle"));
  title->setGeometry(320, 14, 250, 24);
  auto* close = new QPushButton(QStringLiteral("X"), this);
  close->setObjectName(QStringLiteral("close"));
  close->setGeometry(kSetupWindowWidth - 32, 8, 24, 24);
  connect(close, &QPushButton::clicked, this, &SetupWindow::reject);

  auto* save = new QPushButton(SetupText("setup.save", "Save..."), this);
  save->setObjectName(QStringLiteral("save"));
  save->setGeometry(22, 508, 80, 28);
  connect(save, &QPushButton::clicked, this, &SetupWindow::SaveAs);
  auto* load = new QPushButton(SetupText("setup.load", "Load..."), this);
  load->setObjectName(QStringLiteral("load"));
  load->setGeometry(108, 508, 80, 28);
  connect(load, &QPushButton::clicked, this, &SetupWindow::LoadFromFile);
  m_ok = new QPushButton(SetupText("setup.ok", "OK"), this);
  m_ok->setObjectName(QStringLiteral("ok"));
  m_ok->setGeometry(434, 508, 80, 28);
  m_ok->setVisible(!m_env.review);
  connect(m_ok, &QPushButton::clicked, this, &SetupWindow::accept);
  auto* cancel =
      new QPushButton(m_env.review ? SetupText("setup.close", "Close") : SetupText("setup.cancel", "Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setGeometry(520, 508, 80, 28);
  connect(cancel, &QPushButton::clicked, this, &SetupWindow::reject);
}

void SetupWindow::ShowCategory(SetupCategory category) {
  m_category = category;
  for (size_t i = 0; i < 4; ++i) m_categoryButtons[i]->setChecked(static_cast<int>(i) == static_cast<int>(category));
  // Only the shown category's menu exists.
  delete m_menu;
  m_pageButtons.clear();
  m_menu = new QWidget(this);
  m_menu->setObjectName(QStringLiteral("menu"));
  m_menu->setGeometry(22, kSetupPageTop, 165, kSetupPageHeight);
  auto* layout = new QVBoxLayout(m_menu);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(3);
  for (const PageEntry& e : kPages) {
    if (e.category != category) continue;
    auto* b = new QPushButton(SetupText(e.key, e.fallback), m_menu);
    b->setObjectName(QStringLiteral("page.") + QString::fromLatin1(e.name));
    b->setCheckable(true);
    b->setAutoExclusive(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setStyleSheet(QString::fromLatin1(kMenuStyle));
    const SetupPageId id = e.id;
    connect(b, &QPushButton::clicked, this, [this, id] { ShowPage(id); });
    layout->addWidget(b);
    m_pageButtons[id] = b;
  }
  layout->addStretch(1);
  m_menu->show();
}

QAbstractButton* SetupWindow::CategoryButton(SetupCategory category) const {
  return m_categoryButtons[static_cast<size_t>(category)];
}

QAbstractButton* SetupWindow::PageButton(SetupPageId id) const {
  const auto it = m_pageButtons.find(id);
  return it == m_pageButtons.end() ? nullptr : it->second;
}

void SetupWindow::DestroyPage() {
  if (m_list) m_list->close();
  if (m_number) m_number->close();
  if (!m_page) return;
  SetupPage* page = m_page;
  m_page = nullptr;
  page->Leave();
  delete page;
}

void SetupWindow::ShowPage(SetupPageId id) {
  DestroyPage();
  SetupPage* page = nullptr;
  const int n = static_cast<int>(id);
  if (n <= static_cast<int>(SetupPageId::kDisplay))
    page = CreateDisplayPage(*this, id);
  else if (n <= static_cast<int>(SetupPageId::kPriority) || id == SetupPageId::kChannelAssignment ||
           id == SetupPageId::kMotionArea || id == SetupPageId::kSchedule)
    page = CreateRecPage(*this, id);
  else if (id == SetupPageId::kDst || id == SetupPageId::kNtp)
    page = CreateTimePage(*this, id);
  else if (n <= static_cast<int>(SetupPageId::kSmart) || id == SetupPageId::kDeinterlace ||
           id == SetupPageId::kPtzLimits)
    page = CreateSystemPage(*this, id);
  else
    page = CreateEventPage(*this, id);
  if (!page) return;
  for (const PageEntry& e : kPages)
    if (e.id == id) page->setObjectName(QStringLiteral("page.") + QString::fromLatin1(e.name));
  // A page reached directly shows its own category's column.
  for (const PageEntry& e : kPages)
    if (e.id == id && e.category != m_category) ShowCategory(e.category);
  if (QAbstractButton* b = PageButton(id)) b->setChecked(true);
  m_page = page;
  page->show();
}

void SetupWindow::ShowList(QWidget* anchor, const QStringList& items, int current, std::function<void(int)> handler) {
  if (m_list) m_list->close();
  QPointer<SetupPage> page(m_page);
  m_list = new ListChooser(
      items, current,
      [page, handler](int i) {
        if (page) handler(i);
      },
      this);
  m_list->ShowBelow(anchor);
}

void SetupWindow::ShowNumber(QWidget* anchor, const NumberChooser::Limits& limits, std::function<void(int, int)> handler) {
  if (m_number) m_number->close();
  QPointer<SetupPage> page(m_page);
  m_number = new NumberChooser(
      limits,
      [page, handler](int a, int b) {
        if (page) handler(a, b);
      },
      this);
  m_number->ShowBelow(anchor);
}

SetupDatabase SetupWindow::Record() const { return FromHostBytes(m_host); }

std::vector<SetupChange> SetupWindow::Changes() const { return DiffSetup(m_original, Record()); }

void SetupWindow::accept() {
  if (m_env.review) return;
  // The page's own leave-time work (the DST question) comes first.
  const SetupPageId shown = m_page ? m_page->Id() : SetupPageId::kCount;
  DestroyPage();
  const std::vector<SetupChange> changes = Changes();
  const bool send = m_confirm ? m_confirm(changes) : ConfirmChanges(this, changes);
  if (!send) {
    if (shown != SetupPageId::kCount) ShowPage(shown);
    return;
  }
  m_result = Record();
  QDialog::accept();
}

void SetupWindow::reject() {
  DestroyPage();
  QDialog::reject();
}

bool SetupWindow::SaveFile(const QString& path, QString& error) const {
  std::string message;
  if (SaveSetupFile(path.toStdString(), Record(), message)) return true;
  error = QString::fromStdString(message);
  return false;
}

bool SetupWindow::LoadFile(const QString& path, QString& error) {
  SetupDatabase loaded;
  std::string message;
  const SetupDatabase current = Record();
  // A review window takes any version; a recorder's window only its own.
  if (!LoadSetupFile(path.toStdString(), loaded, message, m_env.review ? nullptr : &current)) {
    error = QString::fromStdString(message);
    return false;
  }
  const SetupPageId shown = m_page ? m_page->Id() : SetupPageId::kCount;
  DestroyPage();
  m_host = HostBytes(loaded);
  if (m_env.review) {
    m_original = loaded;
    m_major = m_host[setup::at::kMajor];
    m_minor = m_host[setup::at::kMinor];
  }
  if (shown != SetupPageId::kCount) ShowPage(shown);
  return true;
}

void SetupWindow::SaveAs() {
  const QString path =
      QFileDialog::getSaveFileName(this, SetupText("setup.save.title", "Save setup"), QString(),
                                   SetupText("setup.file_filter", "Setup files (*.dvrsetup);;All files (*)"));
  if (path.isEmpty()) return;
  QString error;
  if (!SaveFile(path, error)) QMessageBox::warning(this, SetupText("setup.save.title", "Save setup"), error);
}

void SetupWindow::LoadFromFile() {
  const QString path =
      QFileDialog::getOpenFileName(this, SetupText("setup.load.title", "Load setup"), QString(),
                                   SetupText("setup.file_filter", "Setup files (*.dvrsetup);;All files (*)"));
  if (path.isEmpty()) return;
  QString error;
  if (!LoadFile(path, error)) QMessageBox::warning(this, SetupText("setup.load.title", "Load setup"), error);
}

void SetupWindow::OnRecorderTime(uint32_t wireSeconds) {
  if (m_page) m_page->OnRecorderTime(wireSeconds);
}

}  // namespace orva::view
