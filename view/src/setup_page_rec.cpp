// The Rec pages: recording basics, the six record-mode pages with the
// frame-rate budget and resolution per group, priority, and the sub-pages
// channel assignment, motion area and schedule.
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "setup_pages.h"

namespace orva::view {
namespace {

using namespace setup;

QStringList ResolutionNames() { return {QStringLiteral("4CIF"), QStringLiteral("2CIF"), QStringLiteral("CIF")}; }

void AddBackButton(SetupPage* page, QVBoxLayout* layout, SetupWindow& window, SetupPageId parent) {
  auto* back = new QPushButton(SetupText("setup.back", "Back"), page);
  back->setObjectName(QStringLiteral("back"));
  // Queued: the page that owns the button goes away.
  QObject::connect(
      back, &QPushButton::clicked, &window, [&window, parent] { window.ShowPage(parent); }, Qt::QueuedConnection);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(back);
  layout->addLayout(row);
}

class RecBasicsPage : public SetupPage {
 public:
  RecBasicsPage(SetupWindow& w) : SetupPage(w, SetupPageId::kRecBasics) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.rec_basics", "Recording");
    auto add = [&](const char* key, const char* label, QWidget* control) {
      auto* row = new QHBoxLayout;
      row->addWidget(new QLabel(SetupText(key, label), this), 1);
      row->addWidget(control);
      layout->addLayout(row);
    };
    add("setup.rec.class", "Resolution class",
        ChoiceButton(QStringLiteral("class"), ListItems("rec_class", "High|Standard|Fast"), Img()[at::kResolutionClass],
                     [this](int i) {
                       ChooseResolutionClass(Img(), i, Shape());
                       m_top->setText(QString::asprintf("%d", Img()[at::kTopRate]));
                       return true;
                     }));
    const int maxRate = Img()[at::kVideoStandard] == 1 ? 25 : 30;
    m_top = ChoiceButton(QStringLiteral("topRate"), NumberItems(1, maxRate), Img()[at::kTopRate] - 1, [this](int i) {
      Img()[at::kTopRate] = static_cast<uint8_t>(i + 1);
      return true;
    });
    m_top->setText(QString::asprintf("%d", Img()[at::kTopRate]));
    add("setup.rec.top_rate", "Top frame rate", m_top);
    add("setup.rec.value_a", "Pre-alarm (sec)",
        ChoiceButton(QStringLiteral("valueA"), ListItems("rec_value_a", "Off|5|10|15|20"),
                     PositionForValueA(Get16(Img(), at::kValueA)), [this](int i) {
                       Set16(Img(), at::kValueA, ValueAForPosition(i));
                       return true;
                     }));
    auto* valueB = new QWidget(this);
    auto* bRow = new QHBoxLayout(valueB);
    bRow->setContentsMargins(0, 0, 0, 0);
    QStringList items{QStringLiteral("10")};
    for (int v = 30; v <= 240; v += 30) items << QString::number(v);
    const int bPosition = PositionForValueB(Get16(Img(), at::kValueB));
    m_valueB = ChoiceButton(
        QStringLiteral("valueB"), items, bPosition,
        [this](int i) {
          Set16(Img(), at::kValueB, ValueBForPosition(i));
          return true;
        },
        valueB);
    if (bPosition < 0) m_valueB->setText(QString::asprintf("%02d", Get16(Img(), at::kValueB)));
    auto* number = new QPushButton(QStringLiteral("..."), valueB);
    number->setObjectName(QStringLiteral("valueBNumber"));
    number->setFixedWidth(28);
    connect(number, &QPushButton::clicked, this, [this, number] {
      NumberChooser::Limits limits;
      limits.title = SetupText("setup.rec.value_b", "Post-alarm (sec)");
      limits.min1 = 0;
      limits.max1 = 65535;
      limits.value1 = Get16(Img(), at::kValueB);
      Window().ShowNumber(number, limits, [this](int v, int) {
        Set16(Img(), at::kValueB, static_cast<uint16_t>(v));
        m_valueB->setText(QString::asprintf("%02d", v));
      });
    });
    bRow->addWidget(m_valueB);
    bRow->addWidget(number);
    add("setup.rec.value_b", "Post-alarm (sec)", valueB);
    add("setup.rec.choice", "Overwrite",
        ChoiceButton(QStringLiteral("choice"), ListItems("rec_choice", "Off|On"), Img()[at::kRecChoice], [this](int i) {
          Img()[at::kRecChoice] = static_cast<uint8_t>(i);
          return true;
        }));
    add("setup.rec.choice2", "Audio channel",
        ChoiceButton(QStringLiteral("choice2"), ListItems("rec_choice2", "None|1|2|3|4"),
                     static_cast<int>(Get32(Img(), at::kRecChoice2)), [this](int i) {
                       Set32(Img(), at::kRecChoice2, static_cast<uint32_t>(i));
                       return true;
                     }));
    for (auto [offset, name, key, label] :
         {std::tuple{at::kRecSwitch1, "switch1", "setup.rec.switch1", "Audio recording"},
          std::tuple{at::kRecSwitch2, "switch2", "setup.rec.switch2", "Event beep"}}) {
      auto* pair = new OnOffPair(this);
      pair->setObjectName(QString::fromLatin1(name));
      pair->SetOn(Img()[offset] == 1);
      connect(pair, &OnOffPair::chosen, this, [this, field = offset](bool on) { Img()[field] = on ? 1 : 0; });
      add(key, label, pair);
    }
    layout->addStretch(1);
  }

 private:
  QPushButton* m_top = nullptr;
  QPushButton* m_valueB = nullptr;
};

struct ModeSpec {
  SetupPageId id;
  const char* key;
  const char* title;
  RatePage page;
  size_t sensitivity;
  SetupPageId sub;
  const char* subKey;
  const char* subText;
};
const ModeSpec kModeSpecs[] = {
    {SetupPageId::kRecMode1, "setup.page.rec_mode1", "Continuous", kMode1, 0, SetupPageId::kCount, nullptr, nullptr},
    {SetupPageId::kRecMode2, "setup.page.rec_mode2", "Alarm", kMode2, 0, SetupPageId::kChannelAssignment,
     "setup.sub.assignment", "Channel assignment"},
    {SetupPageId::kMotionRecording, "setup.page.motion", "Motion", kMotion, at::kMotionSensitivity,
     SetupPageId::kMotionArea, "setup.sub.motion_area", "Motion area"},
    {SetupPageId::kRecMode4, "setup.page.rec_mode4", "Schedule", kMode4, 0, SetupPageId::kSchedule,
     "setup.sub.schedule", "Schedule"},
    {SetupPageId::kRecMode5, "setup.page.rec_mode5", "Smart Motion", kMode5, at::kMode5Sensitivity, SetupPageId::kCount,
     nullptr, nullptr},
    {SetupPageId::kRecMode6, "setup.page.rec_mode6", "Pre-Event", kMode6, 0, SetupPageId::kCount, nullptr, nullptr},
};

// Record modes 1, 2, 4, 5 and motion recording: rate (within the budget),
// On/Off, resolution per group, and sensitivity where there is one. Record
// mode 6: two On/Off arrays on tabs and the resolution.
class RecordModePage : public SetupPage {
 public:
  RecordModePage(SetupWindow& w, SetupPageId id) : SetupPage(w, id) {
    QVBoxLayout* layout = PageLayout(this);
    for (const ModeSpec& s : kModeSpecs)
      if (s.id == id) m_spec = &s;
    AddTitle(layout, m_spec->key, m_spec->title);
    m_mode6 = id == SetupPageId::kRecMode6;
    QStringList tabs = m_mode6 ? ListItems("mode6_tabs", "Alarm|Motion|Resolution")
                               : ListItems("mode_tabs", "Rate|Resolution|Sensitivity");
    if (!m_mode6 && m_spec->sensitivity == 0) tabs.removeLast();
    m_tabs = new ButtonStrip(tabs, QStringLiteral("tab"), this);
    layout->addWidget(m_tabs);
    m_rows = new ChannelRows(Env().channels, this);
    const RateShape shape = RateShapeFor(Env().channels, Env().product, Img()[at::kVideoStandard] == 1);
    m_perGroup = shape.perGroup;
    const int top = Img()[at::kVideoStandard] == 1 ? 25 : 30;
    for (int c = 0; c < m_rows->Channels(); ++c) {
      Row row;
      row.rate = new QWidget(m_rows);
      auto* rl = new QHBoxLayout(row.rate);
      rl->setContentsMargins(0, 0, 0, 0);
      if (!m_mode6) {
        row.slider = new QSlider(Qt::Horizontal, row.rate);
        row.slider->setObjectName(QStringLiteral("rate.%1").arg(c + 1));
        row.slider->setRange(0, top);
        row.slider->setFocusPolicy(Qt::NoFocus);
        row.slider->setMinimumWidth(30);
        row.text = new QLabel(row.rate);
        row.text->setObjectName(QStringLiteral("rateText.%1").arg(c + 1));
        row.text->setFixedWidth(46);
        rl->addWidget(row.slider, 1);
        rl->addWidget(row.text);
        connect(row.slider, &QSlider::valueChanged, this, [this, c](int v) {
          SetRate(Img(), m_spec->page, c, v, m_rows->Selection(), Shape());
          Sync();
        });
      }
      row.pair = new OnOffPair(row.rate);
      row.pair->setObjectName(QStringLiteral("enable.%1").arg(c + 1));
      rl->addWidget(row.pair);
      connect(row.pair, &OnOffPair::chosen, this, [this, c](bool on) {
        WriteChannels(Img(), PairBase(), c, on ? 1 : 0, m_rows->Selection(), m_rows->Channels());
        Sync();
      });
      m_rows->Row(c)->addWidget(row.rate, 1);

      row.resolution = new QWidget(m_rows);
      auto* resl = new QHBoxLayout(row.resolution);
      resl->setContentsMargins(0, 0, 0, 0);
      if (c % m_perGroup == 0) {
        const int group = c / m_perGroup;
        row.strip = new ButtonStrip(ResolutionNames(), QStringLiteral("res%1").arg(group + 1), row.resolution);
        resl->addWidget(row.strip);
        connect(row.strip, &ButtonStrip::chosen, this, [this, group](int r) {
          SetGroupResolution(Img(), m_spec->page, group, static_cast<uint8_t>(r), m_rows->Selection(), Shape());
          Sync();
        });
      } else {
        row.resText = new QLabel(row.resolution);
        resl->addWidget(row.resText);
      }
      resl->addStretch(1);
      m_rows->Row(c)->addWidget(row.resolution, 1);

      if (m_spec->sensitivity != 0) {
        row.sensitivity = new QSlider(Qt::Horizontal, m_rows);
        row.sensitivity->setObjectName(QStringLiteral("sensitivity.%1").arg(c + 1));
        row.sensitivity->setRange(1, 3);
        row.sensitivity->setFocusPolicy(Qt::NoFocus);
        connect(row.sensitivity, &QSlider::valueChanged, this, [this, c](int p) {
          WriteChannels(Img(), m_spec->sensitivity, c, SensitivityValue(p), m_rows->Selection(), m_rows->Channels());
          Sync();
        });
        m_rows->Row(c)->addWidget(row.sensitivity, 1);
      }
      m_row.push_back(row);
    }
    if (m_spec->sub != SetupPageId::kCount) {
      auto* sub = new QPushButton(SetupText(m_spec->subKey, m_spec->subText), this);
      sub->setObjectName(QStringLiteral("subPage"));
      const SetupPageId target = m_spec->sub;
      connect(
          sub, &QPushButton::clicked, &Window(), [this, target] { Window().ShowPage(target); }, Qt::QueuedConnection);
      m_rows->Footer()->addWidget(sub);
    }
    if (m_mode6) {
      m_rows->Footer()->addWidget(new QLabel(SetupText("setup.rec.mode6_value", "Pre-event (sec)"), this));
      m_rows->Footer()->addWidget(
          ChoiceButton(QStringLiteral("mode6Value"), NumberItems(0, PageHigh(SetupFieldId::kRecordMode6Value)), Img()[at::kMode6Value], [this](int i) {
            Img()[at::kMode6Value] = static_cast<uint8_t>(i);
            return true;
          }));
    }
    layout->addWidget(m_rows, 1);
    connect(m_tabs, &ButtonStrip::chosen, this, [this](int) { Sync(); });
    m_tabs->SetCurrent(0);
    Sync();
  }

 private:
  struct Row {
    QWidget* rate = nullptr;
    QSlider* slider = nullptr;
    QLabel* text = nullptr;
    OnOffPair* pair = nullptr;
    QWidget* resolution = nullptr;
    ButtonStrip* strip = nullptr;
    QLabel* resText = nullptr;
    QSlider* sensitivity = nullptr;
  };

  size_t PairBase() const {
    if (!m_mode6) return m_spec->page.enable;
    return m_tabs->Current() == 1 ? at::kMode6FlagsB : at::kMode6FlagsA;
  }

  // Every control from the image.
  void Sync() {
    const int tab = m_tabs->Current();
    const int resolutionTab = m_mode6 ? 2 : 1;
    const QString fps = SetupText("setup.unit.fps", "fps");
    const QStringList names = ResolutionNames();
    for (int c = 0; c < m_rows->Channels(); ++c) {
      Row& row = m_row[static_cast<size_t>(c)];
      row.rate->setVisible(tab < resolutionTab);
      row.resolution->setVisible(tab == resolutionTab);
      if (row.sensitivity) row.sensitivity->setVisible(tab == 2);
      const uint8_t resolution = Img()[m_spec->page.resolution + static_cast<size_t>(c)];
      if (row.strip) row.strip->SetCurrent(resolution <= 2 ? resolution : -1);
      if (row.resText) row.resText->setText(resolution <= 2 ? names[resolution] : QString::number(resolution));
      const bool on = Img()[PairBase() + static_cast<size_t>(c)] == 1;
      row.pair->SetOn(on);
      if (row.slider) {
        const int rate = Img()[m_spec->page.rate + static_cast<size_t>(c)];
        const QSignalBlocker block(row.slider);
        row.slider->setValue(rate);
        row.text->setText(QString::asprintf("%d %s", rate, fps.toUtf8().constData()));
        // A rate of 0 leaves nothing to switch on.
        row.pair->setEnabled(rate > 0);
      }
      if (row.sensitivity) {
        const QSignalBlocker block(row.sensitivity);
        row.sensitivity->setValue(SensitivityPosition(Img()[m_spec->sensitivity + static_cast<size_t>(c)]));
      }
    }
  }

  const ModeSpec* m_spec = nullptr;
  bool m_mode6 = false;
  int m_perGroup = 4;
  ButtonStrip* m_tabs;
  ChannelRows* m_rows;
  std::vector<Row> m_row;
};

class PriorityPage : public SetupPage {
 public:
  PriorityPage(SetupWindow& w) : SetupPage(w, SetupPageId::kPriority) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.priority", "Priority");
    m_items = ListItems("priority_items", "Alarm|Motion|Schedule|Continuous|Smart");
    m_unassigned = SetupText("setup.priority.unassigned", "Unassigned");
    for (int row = 0; row < 5; ++row) {
      auto* line = new QHBoxLayout;
      line->addWidget(new QLabel(QString::asprintf("%d", row + 1), this));
      QStringList items = m_items;
      if (row != 0) items << m_unassigned;
      QPushButton* b = ChoiceButton(QStringLiteral("rank.%1").arg(row + 1), items, -1, [this, row](int i) {
        ChoosePriority(Img(), row, i);
        Sync();
        return false;
      });
      m_buttons.push_back(b);
      line->addWidget(b, 1);
      layout->addLayout(line);
    }
    layout->addStretch(1);
    Sync();
  }

 private:
  void Sync() {
    for (int row = 0; row < 5; ++row) {
      const uint8_t v = Img()[at::kPriority + static_cast<size_t>(row)];
      m_buttons[static_cast<size_t>(row)]->setText(v < m_items.size() ? m_items[v] : m_unassigned);
    }
  }

  QStringList m_items;
  QString m_unassigned;
  std::vector<QPushButton*> m_buttons;
};

class ChannelAssignmentPage : public SetupPage {
 public:
  ChannelAssignmentPage(SetupWindow& w) : SetupPage(w, SetupPageId::kChannelAssignment) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.sub.assignment", "Channel assignment");
    m_values << SetupText("setup.none", "None");
    for (int c = 0; c < 16; ++c) m_values << ChannelLabel(c);
    QStringList entries;
    for (int e = 0; e < 16; ++e)
      entries << SetupText("setup.assign.entry", "Alarm input") + QString::asprintf(" %02d", e + 1);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(SetupText("setup.assign.input", "Input"), this), 1);
    top->addWidget(ChoiceButton(QStringLiteral("entry"), entries, 0, [this](int e) {
      m_entry = e;
      Sync();
      return true;
    }));
    layout->addLayout(top);
    for (int k = 0; k < 5; ++k) {
      auto* line = new QHBoxLayout;
      line->addWidget(new QLabel(k < 4 ? SetupText("setup.assign.value", "Camera") + QString::asprintf(" %d", k + 1)
                                       : SetupText("setup.assign.fifth", "Output"),
                                 this),
                      1);
      QPushButton* b = ChoiceButton(QStringLiteral("value.%1").arg(k + 1), m_values, -1, [this, k](int i) {
        const bool ok = ChooseAssignment(Img(), m_entry, k, static_cast<uint8_t>(i));
        m_message->setText(ok ? QString()
                              : SetupText("setup.assign.duplicate", "That camera is already assigned to this input."));
        Sync();
        return false;
      });
      m_buttons.push_back(b);
      line->addWidget(b);
      layout->addLayout(line);
    }
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setStyleSheet(QStringLiteral("color: #f0883e;"));
    layout->addWidget(m_message);
    layout->addStretch(1);
    AddBackButton(this, layout, w, SetupPageId::kRecMode2);
    Sync();
  }

 private:
  void Sync() {
    for (int k = 0; k < 5; ++k) {
      const size_t offset = k < 4 ? at::kAssign + 4 * static_cast<size_t>(m_entry) + static_cast<size_t>(k)
                                  : at::kAssignFifth + 4 * static_cast<size_t>(m_entry);
      const uint8_t v = Img()[offset];
      m_buttons[static_cast<size_t>(k)]->setText(v < m_values.size() ? m_values[v] : QString::number(v));
    }
  }

  int m_entry = 0;
  QStringList m_values;
  std::vector<QPushButton*> m_buttons;
  QLabel* m_message = nullptr;
};

// The 8 x 8 watched cells of one channel's 9 x 11 grid over a 360 x 288 picture.
class MotionGrid : public QWidget {
 public:
  MotionGrid(setup::Image image, QWidget* parent) : QWidget(parent), m_image(image) {
    setObjectName(QStringLiteral("motionGrid"));
    setFixedSize(360, 288);
  }
  void SetChannel(int c) {
    m_channel = c;
    update();
  }
  uint8_t& Cell(int row, int column) {
    return m_image[at::kMotionAreas + 99 * static_cast<size_t>(m_channel) + 11 * static_cast<size_t>(row) +
                   static_cast<size_t>(column)];
  }
  void SetAll(uint8_t v) {
    for (int r = 0; r < 8; ++r)
      for (int col = 0; col < 8; ++col) Cell(r, col) = v;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(20, 24, 28));
    for (int r = 0; r < 8; ++r)
      for (int col = 0; col < 8; ++col) {
        const QRect cell(col * 45, r * 36, 45, 36);
        if (Cell(r, col) == 1) p.fillRect(cell.adjusted(1, 1, -1, -1), QColor(218, 54, 51, 150));
        p.setPen(QColor(70, 78, 88));
        p.drawRect(cell.adjusted(0, 0, -1, -1));
      }
  }
  void mousePressEvent(QMouseEvent* e) override {
    const QPoint at = e->position().toPoint();
    if (!rect().contains(at)) return;
    // The first cell decides: a drag marks or clears like it.
    m_paint = Cell(at.y() / 36, at.x() / 45) == 1 ? 0 : 1;
    Mark(at);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (e->buttons() & Qt::LeftButton) Mark(e->position().toPoint());
  }

 private:
  void Mark(QPoint at) {
    if (!rect().contains(at)) return;
    Cell(at.y() / 36, at.x() / 45) = m_paint;
    update();
  }

  setup::Image m_image;
  int m_channel = 0;
  uint8_t m_paint = 1;
};

class MotionAreaPage : public SetupPage {
 public:
  MotionAreaPage(SetupWindow& w) : SetupPage(w, SetupPageId::kMotionArea) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.sub.motion_area", "Motion area");
    QStringList numbers = NumberItems(1, Env().channels, "%d");
    auto* channels = new ButtonStrip(numbers, QStringLiteral("channel"), this);
    layout->addWidget(channels);
    m_grid = new MotionGrid(Img(), this);
    layout->addWidget(m_grid, 0, Qt::AlignHCenter);
    auto* buttons = new QHBoxLayout;
    auto* all = new QPushButton(SetupText("setup.motion.all", "Mark All"), this);
    all->setObjectName(QStringLiteral("markAll"));
    auto* none = new QPushButton(SetupText("setup.motion.none", "Clear All"), this);
    none->setObjectName(QStringLiteral("clearAll"));
    connect(all, &QPushButton::clicked, this, [this] { m_grid->SetAll(1); });
    connect(none, &QPushButton::clicked, this, [this] { m_grid->SetAll(0); });
    buttons->addWidget(all);
    buttons->addWidget(none);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(channels, &ButtonStrip::chosen, this, [this](int c) { m_grid->SetChannel(c); });
    channels->SetCurrent(0);
    AddBackButton(this, layout, w, SetupPageId::kMotionRecording);
  }

 private:
  MotionGrid* m_grid;
};

class SchedulePage : public SetupPage {
 public:
  SchedulePage(SetupWindow& w) : SetupPage(w, SetupPageId::kSchedule) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.sub.schedule", "Schedule");
    auto* grid = new QGridLayout;
    grid->setSpacing(0);
    const QStringList days = ListItems("weekdays_short", "Sun|Mon|Tue|Wed|Thu|Fri|Sat");
    for (int h = 0; h < 24; h += 3) grid->addWidget(new QLabel(QString::number(h), this), 0, h + 1);
    for (int d = 0; d < 7; ++d) {
      grid->addWidget(new QLabel(days.value(d), this), d + 1, 0);
      for (int h = 0; h < 24; ++h) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QStringLiteral("hour.%1.%2").arg(d + 1).arg(h));
        box->setFocusPolicy(Qt::NoFocus);
        const size_t offset = at::kSchedule + 24 * static_cast<size_t>(d) + static_cast<size_t>(h);
        box->setChecked(Img()[offset] == 1);
        connect(box, &QCheckBox::clicked, this, [this, field = offset](bool on) { Img()[field] = on ? 1 : 0; });
        grid->addWidget(box, d + 1, h + 1);
        m_boxes.push_back(box);
      }
    }
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    auto* all = new QPushButton(SetupText("setup.all_check", "All Check"), this);
    all->setObjectName(QStringLiteral("checkAll"));
    auto* none = new QPushButton(SetupText("setup.all_clear", "Clear All"), this);
    none->setObjectName(QStringLiteral("clearAll"));
    connect(all, &QPushButton::clicked, this, [this] { SetAll(1); });
    connect(none, &QPushButton::clicked, this, [this] { SetAll(0); });
    buttons->addWidget(all);
    buttons->addWidget(none);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);
    AddBackButton(this, layout, w, SetupPageId::kRecMode4);
  }

 private:
  void SetAll(uint8_t v) {
    std::fill_n(Img().begin() + static_cast<std::ptrdiff_t>(at::kSchedule), 168, v);
    for (QCheckBox* box : m_boxes) box->setChecked(v == 1);
  }

  std::vector<QCheckBox*> m_boxes;
};

}  // namespace

SetupPage* CreateRecPage(SetupWindow& window, SetupPageId id) {
  switch (id) {
    case SetupPageId::kRecBasics: return new RecBasicsPage(window);
    case SetupPageId::kRecMode1:
    case SetupPageId::kRecMode2:
    case SetupPageId::kMotionRecording:
    case SetupPageId::kRecMode4:
    case SetupPageId::kRecMode5:
    case SetupPageId::kRecMode6: return new RecordModePage(window, id);
    case SetupPageId::kPriority: return new PriorityPage(window);
    case SetupPageId::kChannelAssignment: return new ChannelAssignmentPage(window);
    case SetupPageId::kMotionArea: return new MotionAreaPage(window);
    case SetupPageId::kSchedule: return new SchedulePage(window);
    default: return nullptr;
  }
}

}  // namespace orva::view
