// The Display pages: camera image, covert, camera names, spot and display,
// plus the shared page building blocks.
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "setup_pages.h"

namespace orva::view {

QVBoxLayout* PageLayout(SetupPage* page) {
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(8, 6, 8, 6);
  layout->setSpacing(6);
  return layout;
}

OnOffRows::OnOffRows(ChannelRows* rows, setup::Image image, size_t base, const char* name, bool yesNo)
    : m_rows(rows), m_image(image), m_base(base) {
  for (int c = 0; c < rows->Channels(); ++c) {
    OnOffPair* pair = AddRowPair(rows, c, name, image[base + static_cast<size_t>(c)] == 1, yesNo);
    rows->Row(c)->addStretch(1);
    QObject::connect(pair, &OnOffPair::chosen, rows, [this, c](bool on) {
      setup::WriteChannels(m_image, m_base, c, on ? 1 : 0, m_rows->Selection(), m_rows->Channels());
      Refresh();
    });
    m_pairs.push_back(pair);
  }
}

void OnOffRows::SetBase(size_t base) {
  m_base = base;
  Refresh();
}

void OnOffRows::Refresh() {
  for (size_t c = 0; c < m_pairs.size(); ++c) m_pairs[c]->SetOn(m_image[m_base + c] == 1);
}

ButtonStrip::ButtonStrip(const QStringList& texts, const QString& name, QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(3);
  for (int i = 0; i < texts.size(); ++i) {
    auto* b = new QPushButton(texts[i], this);
    b->setObjectName(QStringLiteral("%1.%2").arg(name).arg(i));
    b->setCheckable(true);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QPushButton::clicked, this, [this, i] {
      SetCurrent(i);
      emit chosen(i);
    });
    layout->addWidget(b);
    m_buttons.push_back(b);
  }
}

void ButtonStrip::SetCurrent(int i) {
  m_current = i;
  for (size_t k = 0; k < m_buttons.size(); ++k) m_buttons[k]->setChecked(static_cast<int>(k) == i);
}

QStringList NumberItems(int first, int last, const char* format) {
  QStringList items;
  for (int v = first; v <= last; ++v) items << QString::asprintf(format, v);
  return items;
}

QStringList ListItems(const char* name, const char* fallback) {
  const QByteArray key = QByteArray("setup.list.") + name;
  return SetupText(key.constData(), fallback).split(QLatin1Char('|'));
}

namespace {

using namespace setup;

// Hue, saturation, contrast and brightness on four tabs, 0-100, Reset to 50.
class CameraImagePage : public SetupPage {
 public:
  CameraImagePage(SetupWindow& w) : SetupPage(w, SetupPageId::kCameraImage) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.camera_image", "Camera Image");
    m_tabs =
        new ButtonStrip(ListItems("image_tabs", "Hue|Saturation|Contrast|Brightness"), QStringLiteral("tab"), this);
    layout->addWidget(m_tabs);
    m_rows = new ChannelRows(Env().channels, this);
    for (int c = 0; c < m_rows->Channels(); ++c) {
      m_sliders.push_back(AddRowSlider(m_rows, c, "value", 0, PageHigh(SetupFieldId::kHue), 0));
      m_texts.push_back(AddRowText(m_rows, c, "text", QString(), 32));
      connect(m_sliders.back(), &QSlider::valueChanged, this, [this, c](int v) { Moved(c, v); });
    }
    auto* reset = new QPushButton(SetupText("setup.reset", "Reset"), this);
    reset->setObjectName(QStringLiteral("reset"));
    m_rows->Footer()->addWidget(reset);
    connect(reset, &QPushButton::clicked, this, &CameraImagePage::Reset);
    layout->addWidget(m_rows, 1);
    connect(m_tabs, &ButtonStrip::chosen, this, &CameraImagePage::ShowTab);
    ShowTab(0);
  }

 private:
  size_t Base() const { return at::kHue + 16 * static_cast<size_t>(m_tabs->Current()); }

  void ShowTab(int tab) {
    m_tabs->SetCurrent(tab);
    m_rows->ClearAll();
    for (int c = 0; c < m_rows->Channels(); ++c) {
      const QSignalBlocker block(m_sliders[static_cast<size_t>(c)]);
      m_sliders[static_cast<size_t>(c)]->setValue(Img()[Base() + static_cast<size_t>(c)]);
      m_sliders[static_cast<size_t>(c)]->setEnabled(true);
    }
    UpdateTexts();
  }

  void Moved(int c, int v) {
    WriteChannels(Img(), Base(), c, static_cast<uint8_t>(v), m_rows->Selection(), m_rows->Channels());
    SyncSliders();
  }

  void Reset() {
    for (int c = 0; c < m_rows->Channels(); ++c)
      if (Selected(m_rows->Selection(), c)) Img()[Base() + static_cast<size_t>(c)] = 50;
    SyncSliders();
  }

  void SyncSliders() {
    for (int c = 0; c < m_rows->Channels(); ++c) {
      const QSignalBlocker block(m_sliders[static_cast<size_t>(c)]);
      m_sliders[static_cast<size_t>(c)]->setValue(Img()[Base() + static_cast<size_t>(c)]);
    }
    UpdateTexts();
  }

  void UpdateTexts() {
    for (int c = 0; c < m_rows->Channels(); ++c)
      m_texts[static_cast<size_t>(c)]->setText(QString::asprintf("%d", Img()[Base() + static_cast<size_t>(c)]));
  }

  ButtonStrip* m_tabs;
  ChannelRows* m_rows;
  std::vector<QSlider*> m_sliders;
  std::vector<QLabel*> m_texts;
};

class CovertPage : public SetupPage {
 public:
  CovertPage(SetupWindow& w) : SetupPage(w, SetupPageId::kCovert) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.covert", "Covert");
    auto* rows = new ChannelRows(Env().channels, this);
    m_pairs = std::make_unique<OnOffRows>(rows, Img(), at::kCovert, "covert");
    layout->addWidget(rows, 1);
  }

 private:
  std::unique_ptr<OnOffRows> m_pairs;
};

class CameraNamesPage : public SetupPage {
 public:
  CameraNamesPage(SetupWindow& w) : SetupPage(w, SetupPageId::kCameraNames) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.camera_names", "Camera Names");
    layout->setSpacing(2);  // sixteen rows fit the page
    for (int c = 0; c < Env().channels; ++c) {
      auto* row = new QHBoxLayout;
      auto* label = new QLabel(ChannelLabel(c), this);
      label->setFixedWidth(40);
      const size_t offset = at::kCameraNames + at::kCameraNameBytes * static_cast<size_t>(c);
      auto* edit = new QLineEdit(QString::fromStdString(GetText(Img(), offset, at::kCameraNameBytes)), this);
      edit->setObjectName(QStringLiteral("name.%1").arg(c + 1));
      edit->setMaxLength(31);
      edit->setFixedHeight(22);
      connect(edit, &QLineEdit::textEdited, this, [this, offset](const QString& text) {
        SetText(Img(), offset, at::kCameraNameBytes, text.toStdString());
      });
      row->addWidget(label);
      row->addWidget(edit, 1);
      layout->addLayout(row);
    }
    layout->addStretch(1);
  }
};

// Spot sequence: mode buttons, dwell per channel (or per group of 4 / 8),
// membership On/Off.
class SpotPage : public SetupPage {
 public:
  SpotPage(SetupWindow& w) : SetupPage(w, SetupPageId::kSpot) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.spot", "Spot");
    m_modes = new ButtonStrip(ListItems("spot_modes", "1|4|8|Seq|Cam|Alarm|Fix"), QStringLiteral("mode"), this);
    layout->addWidget(m_modes);
    m_other = new QLabel(SetupText("setup.spot.fixed", "The spot monitor follows the recorder in this mode."), this);
    m_other->setObjectName(QStringLiteral("spotOther"));
    m_other->setWordWrap(true);
    layout->addWidget(m_other);
    m_rows = new ChannelRows(Env().channels, this);
    for (int c = 0; c < m_rows->Channels(); ++c) {
      m_sliders.push_back(AddRowSlider(m_rows, c, "dwell", 0, 51, 0));
      m_texts.push_back(AddRowText(m_rows, c, "text", QString(), 48));
      connect(m_sliders.back(), &QSlider::valueChanged, this, [this, c](int v) {
        SetSpotDwell(Img(), c, v, m_rows->Selection(), m_rows->Channels());
        Sync();
      });
    }
    m_pairs = std::make_unique<OnOffRows>(m_rows, Img(), at::kSpotMember, "member");
    layout->addWidget(m_rows, 1);
    connect(m_modes, &ButtonStrip::chosen, this, [this](int mode) {
      SetSpotMode(Img(), static_cast<uint8_t>(mode), m_rows->Channels());
      Sync();
    });
    Sync();
  }

 private:
  void Sync() {
    const int mode = Img()[at::kSpotMode];
    m_modes->SetCurrent(mode);
    const bool dwell = mode < 4;
    m_other->setVisible(!dwell);
    const QString seconds = SetupText("setup.unit.seconds", "sec");
    for (int c = 0; c < m_rows->Channels(); ++c) {
      const int stored = Img()[at::kSpotDwell + static_cast<size_t>(c)];
      const QSignalBlocker block(m_sliders[static_cast<size_t>(c)]);
      m_sliders[static_cast<size_t>(c)]->setValue(stored / 5);
      m_sliders[static_cast<size_t>(c)]->setVisible(dwell);
      m_texts[static_cast<size_t>(c)]->setVisible(dwell);
      m_texts[static_cast<size_t>(c)]->setText(QString::asprintf("%d %s", stored, seconds.toUtf8().constData()));
    }
  }

  ButtonStrip* m_modes;
  QLabel* m_other;
  ChannelRows* m_rows;
  std::vector<QSlider*> m_sliders;
  std::vector<QLabel*> m_texts;
  std::unique_ptr<OnOffRows> m_pairs;
};

class DisplayPage : public SetupPage {
 public:
  DisplayPage(SetupWindow& w) : SetupPage(w, SetupPageId::kDisplay) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.display", "Display");
    struct Choice {
      size_t offset;
      const char* name;
      const char* key;
      const char* label;
      const char* items;
    };
    static const Choice choices[] = {
        {at::kDisplayChoice1, "choice1", "setup.display.choice1", "Start-up layout", "Full|Quad|9 split|16 split"},
        {at::kDisplayChoice2, "choice2", "setup.display.choice2", "Time position",
         "Top left|Top right|Bottom left|Bottom right"},
        {at::kDisplayChoice3, "choice3", "setup.display.choice3", "Border colour", "White|Grey|Black|Blue"},
        {at::kDisplayChoice4, "choice4", "setup.display.choice4", "Alarm pop-up", "Off|5 sec|10 sec|20 sec|30 sec"},
        {at::kDisplayChoice5, "choice5", "setup.display.choice5", "Video output", "VGA|Composite|Both"},
    };
    for (const Choice& ch : choices) {
      auto* row = new QHBoxLayout;
      row->addWidget(new QLabel(SetupText(ch.key, ch.label), this), 1);
      const size_t offset = ch.offset;
      const QByteArray listName = QByteArray("display_") + ch.name;
      row->addWidget(ChoiceButton(QString::fromLatin1(ch.name), ListItems(listName.constData(), ch.items),
                                  Img()[offset], [this, offset](int i) {
                                    Img()[offset] = static_cast<uint8_t>(i);
                                    return true;
                                  }));
      layout->addLayout(row);
    }
    struct Switch {
      size_t offset;
      const char* name;
      const char* key;
      const char* label;
    };
    static const Switch switches[] = {{at::kDisplaySwitch1, "switch1", "setup.display.switch1", "Show date and time"},
                                      {at::kDisplaySwitch2, "switch2", "setup.display.switch2", "Show camera titles"}};
    for (const Switch& s : switches) {
      auto* row = new QHBoxLayout;
      row->addWidget(new QLabel(SetupText(s.key, s.label), this), 1);
      auto* pair = new OnOffPair(this);
      pair->setObjectName(QString::fromLatin1(s.name));
      pair->SetOn(Img()[s.offset] == 1);
      const size_t offset = s.offset;
      connect(pair, &OnOffPair::chosen, this, [this, offset](bool on) { Img()[offset] = on ? 1 : 0; });
      row->addWidget(pair);
      layout->addLayout(row);
    }
    layout->addStretch(1);
  }
};

}  // namespace

SetupPage* CreateDisplayPage(SetupWindow& window, SetupPageId id) {
  switch (id) {
    case SetupPageId::kCameraImage: return new CameraImagePage(window);
    case SetupPageId::kCovert: return new CovertPage(window);
    case SetupPageId::kCameraNames: return new CameraNamesPage(window);
    case SetupPageId::kSpot: return new SpotPage(window);
    case SetupPageId::kDisplay: return new DisplayPage(window);
    default: return nullptr;
  }
}

}  // namespace orva::view
