// The System pages: system basics with deinterlace, user accounts, sensor,
// auto delete, PTZ setup with its limits, PTZ controller and smart.
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "setup_pages.h"

namespace orva::view {
namespace {

using namespace setup;

QHBoxLayout* LabelledRow(QVBoxLayout* layout, QWidget* page, const char* key, const char* label, QWidget* control) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(SetupText(key, label), page), 1);
  row->addWidget(control);
  layout->addLayout(row);
  return row;
}

QString LanguageText(const SystemTables& tables, int slot) {
  const LanguageName name = LanguageForSlot(tables, slot);
  if (name.known >= 0) {
    const QByteArray key = "setup.language." + QByteArray::number(name.known);
    return SetupText(key.constData(), KnownLanguageNames()[static_cast<size_t>(name.known)]);
  }
  return QString::fromStdString(name.text);
}

class SystemBasicsPage : public SetupPage {
 public:
  SystemBasicsPage(SetupWindow& w) : SetupPage(w, SetupPageId::kSystemBasics) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.system", "System");
    // The chooser lists the known slots; the position picked is stored, and
    // a stored value v shows slot v's language.
    QStringList languages;
    for (int slot : LanguageSlots(Env().tables)) languages << LanguageText(Env().tables, slot);
    QPushButton* language = ChoiceButton(QStringLiteral("language"), languages, -1, [this](int i) {
      Img()[at::kLanguage] = static_cast<uint8_t>(i);
      m_language->setText(LanguageText(Env().tables, i));
      return false;
    });
    m_language = language;
    const QString shown = LanguageText(Env().tables, Img()[at::kLanguage]);
    language->setText(shown.isEmpty() ? QString::number(Img()[at::kLanguage]) : shown);
    LabelledRow(layout, this, "setup.system.language", "Language", language);
    const int dateFormat = Img()[at::kDateFormat] <= 2 ? Img()[at::kDateFormat] : 0;
    LabelledRow(layout, this, "setup.system.date_format", "Date format",
                ChoiceButton(QStringLiteral("dateFormat"),
                             ListItems("date_formats", "YYYY-MM-DD|MM-DD-YYYY|DD-MM-YYYY"), dateFormat, [this](int i) {
                               Img()[at::kDateFormat] = static_cast<uint8_t>(i);
                               return true;
                             }));
    LabelledRow(layout, this, "setup.system.video", "Video standard",
                ChoiceButton(QStringLiteral("videoStandard"), {QStringLiteral("NTSC"), QStringLiteral("PAL")},
                             Img()[at::kVideoStandard], [this](int i) {
                               ChangeVideoStandard(Img(), static_cast<uint8_t>(i), Shape());
                               return true;
                             }));
    LabelledRow(layout, this, "setup.system.number", "System number",
                ChoiceButton(QStringLiteral("systemNumber"), NumberItems(0, PageHigh(SetupFieldId::kSystemNumber), "%02d"), Img()[at::kSystemNumber],
                             [this](int i) {
                               Img()[at::kSystemNumber] = static_cast<uint8_t>(i);
                               return true;
                             }));
    const QStringList status = ListItems("system_status", "Normal|Recording|Disk full");
    auto* statusText =
        new QLabel(Img()[at::kStatusChoice] <= 2 ? status.value(Img()[at::kStatusChoice]) : QString(), this);
    statusText->setObjectName(QStringLiteral("status"));
    LabelledRow(layout, this, "setup.system.status", "Status", statusText);
    auto* option = new QCheckBox(SetupText("setup.system.option", "Auto log-out of the recorder's menu"), this);
    option->setObjectName(QStringLiteral("option"));
    option->setChecked(Img()[at::kSystemOption] == 1);
    connect(option, &QCheckBox::clicked, this, [this](bool on) { Img()[at::kSystemOption] = on ? 1 : 0; });
    layout->addWidget(option);
    auto* buttons = new QHBoxLayout;
    auto* deinterlace = new QPushButton(SetupText("setup.sub.deinterlace", "Deinterlace"), this);
    deinterlace->setObjectName(QStringLiteral("subPage"));
    connect(
        deinterlace, &QPushButton::clicked, &w, [&w] { w.ShowPage(SetupPageId::kDeinterlace); }, Qt::QueuedConnection);
    auto* init = new QPushButton(SetupText("setup.system.initialize", "Initialize"), this);
    init->setObjectName(QStringLiteral("initialize"));
    init->setEnabled(static_cast<bool>(Env().initialize) && !Env().review);
    connect(init, &QPushButton::clicked, this, [this] {
      if (Env().initialize) Env().initialize();
    });
    buttons->addWidget(deinterlace);
    buttons->addStretch(1);
    buttons->addWidget(init);
    layout->addStretch(1);
    layout->addLayout(buttons);
  }

 private:
  QPushButton* m_language = nullptr;
};

class OnOffChannelPage : public SetupPage {
 public:
  OnOffChannelPage(SetupWindow& w, SetupPageId id, const char* key, const char* title, size_t base, SetupPageId back)
      : SetupPage(w, id) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, key, title);
    auto* rows = new ChannelRows(Env().channels, this);
    m_pairs = std::make_unique<OnOffRows>(rows, Img(), base, "onoff");
    if (back != SetupPageId::kCount) {
      auto* b = new QPushButton(SetupText("setup.back", "Back"), this);
      b->setObjectName(QStringLiteral("back"));
      connect(
          b, &QPushButton::clicked, &w, [&w, back] { w.ShowPage(back); }, Qt::QueuedConnection);
      rows->Footer()->addWidget(b);
    }
    layout->addWidget(rows, 1);
  }

 private:
  std::unique_ptr<OnOffRows> m_pairs;
};

class UsersPage : public SetupPage {
 public:
  UsersPage(SetupWindow& w) : SetupPage(w, SetupPageId::kUsers) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.users", "User Accounts");
    // The page's two modes: the administrator's list has every slot; for
    // any other account it starts at slot 1, so the administrator's own
    // account cannot be changed by someone else.
    m_first = Env().account == 0 ? 0 : 1;
    QStringList slotNames;
    for (int s = m_first; s < kUserSlotCount; ++s)
      slotNames << SetupText("setup.users.slot", "User") + QString::asprintf(" %d", s + 1);
    LabelledRow(layout, this, "setup.users.slot_label", "Account",
                ChoiceButton(QStringLiteral("slot"), slotNames, 0, [this](int i) {
                  ShowSlot(m_first + i);
                  return true;
                }));
    m_id = new QLabel(this);
    m_id->setObjectName(QStringLiteral("currentId"));
    LabelledRow(layout, this, "setup.users.id", "User ID", m_id);
    m_levels = ListItems("user_levels", "Not used|Administrator|Manager|User");
    m_level = ChoiceButton(QStringLiteral("level"), m_levels, -1, [this](int i) {
      Img()[at::kUserTable + kUserLevelOffset + static_cast<size_t>(m_slot)] = static_cast<uint8_t>(i);
      return true;
    });
    LabelledRow(layout, this, "setup.users.level", "Level", m_level);
    auto* rights = new QGridLayout;
    const QStringList names =
        ListItems("rights", "Stop recording|Setup|Playback|Backup|PTZ|Covert|Remote access|Reboot");
    for (int r = 0; r < kRightCount; ++r) {
      auto* box = new QCheckBox(names.value(r), this);
      box->setObjectName(QStringLiteral("right.%1").arg(r));
      connect(box, &QCheckBox::clicked, this, [this, r](bool on) {
        Img()[at::kUserTable + 8 * static_cast<size_t>(r) + static_cast<size_t>(m_slot)] = on ? 1 : 0;
      });
      rights->addWidget(box, r / 2, r % 2);
      m_rights.push_back(box);
    }
    layout->addLayout(rights);
    auto edit = [&](const char* name, const char* key, const char* label, bool password) {
      auto* e = new QLineEdit(this);
      e->setObjectName(QString::fromLatin1(name));
      e->setMaxLength(31);
      if (password) e->setEchoMode(QLineEdit::Password);
      connect(e, &QLineEdit::textChanged, this, &UsersPage::UpdateAdd);
      LabelledRow(layout, this, key, label, e)->setStretch(1, 1);
      return e;
    };
    m_newId = edit("newId", "setup.users.new_id", "New ID", false);
    m_password = edit("password", "setup.users.password", "Password", true);
    m_again = edit("again", "setup.users.again", "Password again", true);
    m_add = new QPushButton(SetupText("setup.users.add", "Add"), this);
    m_add->setObjectName(QStringLiteral("add"));
    connect(m_add, &QPushButton::clicked, this, &UsersPage::Add);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setStyleSheet(QStringLiteral("color: #f0883e;"));
    auto* last = new QHBoxLayout;
    last->addWidget(m_message, 1);
    last->addWidget(m_add);
    layout->addLayout(last);
    layout->addStretch(1);
    ShowSlot(m_first);
  }

 private:
  void ShowSlot(int slot) {
    m_slot = slot;
    UserRightsTable table;
    std::copy_n(Img().begin() + static_cast<std::ptrdiff_t>(at::kUserTable), kUserRightsTableSize, table.bytes.begin());
    m_id->setText(QString::fromStdString(table.UserId(slot)));
    const int level = table.Level(slot);
    m_level->setText(level < m_levels.size() ? m_levels[level] : QString::number(level));
    for (int r = 0; r < kRightCount; ++r)
      m_rights[static_cast<size_t>(r)]->setChecked(table.Has(slot, static_cast<Right>(r)));
    m_newId->clear();
    m_password->clear();
    m_again->clear();
    m_message->clear();
    UpdateAdd();
  }

  void UpdateAdd() {
    m_add->setEnabled(CheckNewAccount(m_newId->text().toStdString(), m_password->text().toStdString(),
                                      m_again->text().toStdString()) == AddCheck::kOk);
  }

  void Add() {
    switch (AddAccount(Img(), m_slot, m_newId->text().toStdString(), m_password->text().toStdString())) {
      case AddResult::kDuplicateId:
        m_message->setText(SetupText("setup.users.duplicate_id", "Another account has this ID."));
        m_newId->setFocus();
        m_newId->selectAll();
        return;
      case AddResult::kDuplicatePassword:
        m_message->setText(SetupText("setup.users.duplicate_password", "Another account has this password."));
        m_password->setFocus();
        m_password->selectAll();
        return;
      case AddResult::kRefused: return;
      case AddResult::kAdded: ShowSlot(m_slot); return;
    }
  }

  int m_first = 0;
  int m_slot = 0;
  QLabel* m_id;
  QStringList m_levels;
  QPushButton* m_level;
  std::vector<QCheckBox*> m_rights;
  QLineEdit* m_newId;
  QLineEdit* m_password;
  QLineEdit* m_again;
  QPushButton* m_add;
  QLabel* m_message;
};

class SensorPage : public SetupPage {
 public:
  SensorPage(SetupWindow& w) : SetupPage(w, SetupPageId::kSensor) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.sensor", "Sensor");
    m_rows = new ChannelRows(Env().channels, this);
    // Buttons in the order they write 2, 1, 0.
    const QStringList texts = ListItems("sensor_modes", "N.O.|N.C.|None");
    for (int c = 0; c < m_rows->Channels(); ++c) {
      auto* strip = new ButtonStrip(texts, QStringLiteral("sensor%1").arg(c + 1), m_rows);
      m_rows->Row(c)->addWidget(strip, 1);
      connect(strip, &ButtonStrip::chosen, this, [this, c](int i) {
        WriteChannels(Img(), at::kSensor, c, static_cast<uint8_t>(2 - i), m_rows->Selection(), m_rows->Channels());
        Sync();
      });
      m_strips.push_back(strip);
    }
    layout->addWidget(m_rows, 1);
    Sync();
  }

 private:
  void Sync() {
    for (int c = 0; c < m_rows->Channels(); ++c) {
      const int v = Img()[at::kSensor + static_cast<size_t>(c)];
      m_strips[static_cast<size_t>(c)]->SetCurrent(v <= 2 ? 2 - v : -1);
    }
  }

  ChannelRows* m_rows;
  std::vector<ButtonStrip*> m_strips;
};

class AutoDeletePage : public SetupPage {
 public:
  AutoDeletePage(SetupWindow& w) : SetupPage(w, SetupPageId::kAutoDelete) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.auto_delete", "Auto Delete");
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(QStringLiteral("days"));
    slider->setRange(0, PageHigh(SetupFieldId::kAutoDelete));
    slider->setValue(Img()[at::kAutoDelete]);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("daysText"));
    LabelledRow(layout, this, "setup.auto_delete.days", "Delete recordings older than", m_text);
    layout->addWidget(slider);
    connect(slider, &QSlider::valueChanged, this, [this](int v) {
      Img()[at::kAutoDelete] = static_cast<uint8_t>(v);
      Show();
    });
    layout->addStretch(1);
    Show();
  }

 private:
  void Show() {
    const int v = Img()[at::kAutoDelete];
    m_text->setText(v == 0 ? SetupText("setup.off", "Off")
                           : QString::asprintf("%d %s", v, SetupText("setup.unit.days", "days").toUtf8().constData()));
  }
  QLabel* m_text;
};

// PTZ setup (cameras) and PTZ controller: address, protocol and baud rate
// per row, the protocol from the recorder's table.
class SerialPage : public SetupPage {
 public:
  SerialPage(SetupWindow& w, SetupPageId id) : SetupPage(w, id) {
    const bool camera = id == SetupPageId::kPtzSetup;
    m_table = camera ? ProtocolTable::kCamera : ProtocolTable::kController;
    m_address = camera ? at::kPtzAddress : at::kCtrlAddress;
    m_protocol = camera ? at::kPtzProtocol : at::kCtrlProtocol;
    m_baud = camera ? at::kPtzBaud : at::kCtrlBaud;
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, camera ? "setup.page.ptz" : "setup.page.controller", camera ? "PTZ" : "Controller");
    for (int p = 0; p < kTableSlots; ++p)
      if (!ProtocolName(Env().tables, m_table, p).empty()) m_entries.push_back(p);
    QStringList protocols;
    for (int p : m_entries) protocols << QString::fromStdString(ProtocolName(Env().tables, m_table, p));
    m_rows = new ChannelRows(Env().channels, this);
    for (int c = 0; c < m_rows->Channels(); ++c) {
      Row row;
      row.address = AddRowSlider(m_rows, c, "address", 0, PageHigh(SetupFieldId::kPtzAddress), Img()[m_address + static_cast<size_t>(c)]);
      row.address->setMinimumWidth(40);
      row.addressText = AddRowText(m_rows, c, "addressText", QString(), 28);
      connect(row.address, &QSlider::valueChanged, this, [this, c](int v) {
        WriteChannels(Img(), m_address, c, static_cast<uint8_t>(v), m_rows->Selection(), m_rows->Channels());
        Sync();
      });
      row.protocol = ChoiceButton(
          QStringLiteral("protocol.%1").arg(c + 1), protocols, -1,
          [this, c](int i) {
            const int p = m_entries[static_cast<size_t>(i)];
            ChooseProtocol(Img(), m_protocol, m_baud, c, static_cast<uint8_t>(p),
                           ProtocolBaudCount(Env().tables, m_table, p), m_rows->Selection(), m_rows->Channels());
            Sync();
            return false;
          },
          m_rows);
      row.protocol->setFixedWidth(78);
      m_rows->Row(c)->addWidget(row.protocol);
      row.baud = new QPushButton(m_rows);
      row.baud->setObjectName(QStringLiteral("baud.%1").arg(c + 1));
      row.baud->setFixedWidth(74);
      connect(row.baud, &QPushButton::clicked, this, [this, c] { ChooseBaud(c); });
      m_rows->Row(c)->addWidget(row.baud);
      m_row.push_back(row);
    }
    if (camera) {
      auto* next = new QPushButton(SetupText("setup.sub.ptz_limits", "Limits"), this);
      next->setObjectName(QStringLiteral("subPage"));
      connect(
          next, &QPushButton::clicked, &w, [&w] { w.ShowPage(SetupPageId::kPtzLimits); }, Qt::QueuedConnection);
      m_rows->Footer()->addWidget(next);
    }
    layout->addWidget(m_rows, 1);
    Sync();
  }

 private:
  struct Row {
    QSlider* address;
    QLabel* addressText;
    QPushButton* protocol;
    QPushButton* baud;
  };

  int Allowed(int c) const {
    const int count = ProtocolBaudCount(Env().tables, m_table, Img()[m_protocol + static_cast<size_t>(c)]);
    return std::clamp(count, 1, 6);
  }

  void ChooseBaud(int c) {
    QStringList items;
    for (int b = 0; b < Allowed(c); ++b) items << QString::fromLatin1(BaudRateNames()[static_cast<size_t>(b)]);
    Window().ShowList(
        m_row[static_cast<size_t>(c)].baud, items, Img()[m_baud + static_cast<size_t>(c)], [this, c](int i) {
          WriteChannels(Img(), m_baud, c, static_cast<uint8_t>(i), m_rows->Selection(), m_rows->Channels());
          Sync();
        });
  }

  void Sync() {
    for (int c = 0; c < m_rows->Channels(); ++c) {
      Row& row = m_row[static_cast<size_t>(c)];
      const int address = Img()[m_address + static_cast<size_t>(c)];
      const QSignalBlocker block(row.address);
      row.address->setValue(address);
      row.addressText->setText(address <= 0 && m_table == ProtocolTable::kController
                                   ? SetupText("setup.off", "Off")
                                   : QString::asprintf("%d", address));
      const int p = Img()[m_protocol + static_cast<size_t>(c)];
      const std::string name = ProtocolName(Env().tables, m_table, p);
      row.protocol->setText(name.empty() ? QString::number(p) : QString::fromStdString(name));
      const int baud = Img()[m_baud + static_cast<size_t>(c)];
      row.baud->setText(baud < 6 ? QString::fromLatin1(BaudRateNames()[static_cast<size_t>(baud)])
                                 : QString::number(baud));
    }
  }

  ProtocolTable m_table;
  size_t m_address, m_protocol, m_baud;
  std::vector<int> m_entries;  // list position -> table entry
  ChannelRows* m_rows;
  std::vector<Row> m_row;
};

// Pan and tilt limits on four tabs; the page shows the stored value plus 1.
class PtzLimitsPage : public SetupPage {
 public:
  PtzLimitsPage(SetupWindow& w) : SetupPage(w, SetupPageId::kPtzLimits) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.sub.ptz_limits", "Limits");
    m_tabs =
        new ButtonStrip(ListItems("ptz_limits", "Pan low|Pan high|Tilt low|Tilt high"), QStringLiteral("tab"), this);
    layout->addWidget(m_tabs);
    m_rows = new ChannelRows(Env().channels, this);
    for (int c = 0; c < m_rows->Channels(); ++c) {
      m_sliders.push_back(AddRowSlider(m_rows, c, "limit", 0, PageHigh(SetupFieldId::kPanLowLimit) + 1, 1));
      m_texts.push_back(AddRowText(m_rows, c, "text", QString(), 44));
      connect(m_sliders.back(), &QSlider::valueChanged, this, [this, c](int v) {
        // A slider at 0 is first moved to 1: the stored value is v - 1.
        if (v < 1) v = 1;
        for (int r = 0; r < 16; ++r)
          if (Selected(TargetRows(c, m_rows->Selection(), m_rows->Channels()), r))
            Set16(Img(), Base() + 2 * static_cast<size_t>(r), static_cast<uint16_t>(v - 1));
        Sync();
      });
    }
    auto* back = new QPushButton(SetupText("setup.back", "Back"), this);
    back->setObjectName(QStringLiteral("back"));
    connect(
        back, &QPushButton::clicked, &w, [&w] { w.ShowPage(SetupPageId::kPtzSetup); }, Qt::QueuedConnection);
    m_rows->Footer()->addWidget(back);
    layout->addWidget(m_rows, 1);
    connect(m_tabs, &ButtonStrip::chosen, this, [this](int) { Sync(); });
    m_tabs->SetCurrent(0);
    Sync();
  }

 private:
  size_t Base() const { return at::kPanLow + 32 * static_cast<size_t>(std::max(0, m_tabs->Current())); }
  void Sync() {
    for (int c = 0; c < m_rows->Channels(); ++c) {
      const int shown = Get16(Img(), Base() + 2 * static_cast<size_t>(c)) + 1;
      const QSignalBlocker block(m_sliders[static_cast<size_t>(c)]);
      m_sliders[static_cast<size_t>(c)]->setValue(shown);
      m_texts[static_cast<size_t>(c)]->setText(QString::asprintf("%d", shown));
    }
  }
  ButtonStrip* m_tabs;
  ChannelRows* m_rows;
  std::vector<QSlider*> m_sliders;
  std::vector<QLabel*> m_texts;
};

class SmartPage : public SetupPage {
 public:
  SmartPage(SetupWindow& w) : SetupPage(w, SetupPageId::kSmart) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.smart", "Smart");
    for (auto [offset, name, key, label] :
         {std::tuple{at::kSmartSwitch1, "switch1", "setup.smart.switch1", "Disk health check"},
          std::tuple{at::kSmartSwitch2, "switch2", "setup.smart.switch2", "Warn on disk errors"}}) {
      auto* pair = new OnOffPair(this);
      pair->setObjectName(QString::fromLatin1(name));
      pair->SetOn(Img()[offset] == 1);
      connect(pair, &OnOffPair::chosen, this, [this, field = offset](bool on) { Img()[field] = on ? 1 : 0; });
      LabelledRow(layout, this, key, label, pair);
    }
    const QString unit = SetupText("setup.unit.hours", "hours");
    QStringList items;
    for (int v = 0; v <= PageHigh(SetupFieldId::kSmartInterval); ++v) items << QString::asprintf("%02d %s", v, unit.toUtf8().constData());
    LabelledRow(layout, this, "setup.smart.interval", "Check interval",
                ChoiceButton(QStringLiteral("interval"), items, Img()[at::kSmartInterval], [this](int i) {
                  Img()[at::kSmartInterval] = static_cast<uint8_t>(i);
                  return true;
                }));
    layout->addStretch(1);
  }
};

}  // namespace

SetupPage* CreateSystemPage(SetupWindow& window, SetupPageId id) {
  switch (id) {
    case SetupPageId::kSystemBasics: return new SystemBasicsPage(window);
    case SetupPageId::kDeinterlace:
      return new OnOffChannelPage(window, id, "setup.sub.deinterlace", "Deinterlace", at::kDeinterlace,
                                  SetupPageId::kSystemBasics);
    case SetupPageId::kUsers: return new UsersPage(window);
    case SetupPageId::kSensor: return new SensorPage(window);
    case SetupPageId::kAutoDelete: return new AutoDeletePage(window);
    case SetupPageId::kPtzSetup:
    case SetupPageId::kPtzController: return new SerialPage(window, id);
    case SetupPageId::kPtzLimits: return new PtzLimitsPage(window);
    case SetupPageId::kSmart: return new SmartPage(window);
    default: return nullptr;
  }
}

}  // namespace orva::view
