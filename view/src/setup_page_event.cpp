// The Event pages: e-mail with Send Test Mail and the three event groups.
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "setup_pages.h"

namespace orva::view {
namespace {

using namespace setup;

class EmailPage : public SetupPage {
 public:
  EmailPage(SetupWindow& w) : SetupPage(w, SetupPageId::kEmail) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.email", "E-mail");
    static const char* const labels[4][2] = {{"setup.mail.server", "Mail server"},
                                             {"setup.mail.from", "Sender"},
                                             {"setup.mail.to", "Recipient"},
                                             {"setup.mail.subject", "Subject"}};
    for (int i = 0; i < 4; ++i) {
      const size_t offset = at::kMailText + at::kMailTextBytes * static_cast<size_t>(i);
      layout->addWidget(new QLabel(SetupText(labels[i][0], labels[i][1]), this));
      auto* edit = new QLineEdit(QString::fromStdString(GetText(Img(), offset, at::kMailTextBytes)), this);
      edit->setObjectName(QStringLiteral("mail.%1").arg(i + 1));
      edit->setMaxLength(127);
      connect(edit, &QLineEdit::textEdited, this,
              [this, offset](const QString& text) { SetText(Img(), offset, at::kMailTextBytes, text.toStdString()); });
      layout->addWidget(edit);
    }
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(SetupText("setup.mail.choice", "Send on"), this), 1);
    row->addWidget(ChoiceButton(QStringLiteral("choice"), ListItems("mail_choice", "Off|Alarm|Motion|Alarm and motion"),
                                Img()[at::kMailChoice], [this](int i) {
                                  Img()[at::kMailChoice] = static_cast<uint8_t>(i);
                                  return true;
                                }));
    layout->addLayout(row);
    auto* test = new QPushButton(SetupText("setup.mail.test", "Send Test Mail"), this);
    test->setObjectName(QStringLiteral("testMail"));
    test->setEnabled(static_cast<bool>(Env().sendTestMail) && !Env().review);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("message"));
    connect(test, &QPushButton::clicked, this, [this] {
      const bool sent =
          Env().sendTestMail && Env().sendTestMail(ConstImage(Img()).subspan(at::kMailText, at::kMailPayloadBytes));
      m_result->setText(sent ? SetupText("setup.mail.sent", "Test mail requested.")
                             : SetupText("setup.mail.not_sent", "Not connected: nothing was sent."));
    });
    auto* last = new QHBoxLayout;
    last->addWidget(m_result, 1);
    last->addWidget(test);
    layout->addLayout(last);
    layout->addStretch(1);
  }

 private:
  QLabel* m_result;
};

// Four or five Yes/No actions; groups 2 and 3 also a number.
class EventPage : public SetupPage {
 public:
  EventPage(SetupWindow& w, SetupPageId id) : SetupPage(w, id) {
    const int group = static_cast<int>(id) - static_cast<int>(SetupPageId::kEventGroup1);
    static const size_t actions[3] = {at::kEventActions1, at::kEventActions2, at::kEventActions3};
    static const size_t fifth[3] = {at::kEventFifth1, at::kEventFifth2, at::kEventFifth3};
    static const size_t values[3] = {0, at::kEventValue2, at::kEventValue3};
    static const char* const titles[3][2] = {{"setup.page.event1", "Alarm Event"},
                                             {"setup.page.event2", "Motion Event"},
                                             {"setup.page.event3", "System Event"}};
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, titles[group][0], titles[group][1]);
    const QStringList names = ListItems("event_actions", "Buzzer|Alarm output|E-mail|Pop-up|Remote notice");
    // The fifth action exists in databases newer than 4.1.
    const int count = NewerDatabase(Window().Major(), Window().Minor()) ? 5 : 4;
    for (int i = 0; i < count; ++i) {
      const size_t offset = i < 4 ? actions[group] + static_cast<size_t>(i) : fifth[group];
      auto* row = new QHBoxLayout;
      row->addWidget(new QLabel(names.value(i), this), 1);
      auto* pair = new OnOffPair(this, true);
      pair->setObjectName(QStringLiteral("action.%1").arg(i + 1));
      pair->SetOn(Img()[offset] == 1);
      connect(pair, &OnOffPair::chosen, this, [this, offset](bool yes) { Img()[offset] = yes ? 1 : 0; });
      row->addWidget(pair);
      layout->addLayout(row);
    }
    if (values[group] != 0) {
      const size_t offset = values[group];
      auto* row = new QHBoxLayout;
      row->addWidget(new QLabel(SetupText("setup.event.value", "Duration (sec)"), this), 1);
      auto* value = new QPushButton(QString::asprintf("%d", static_cast<int32_t>(Get32(Img(), offset))), this);
      value->setObjectName(QStringLiteral("value"));
      connect(value, &QPushButton::clicked, this, [this, value, offset] {
        NumberChooser::Limits limits;
        limits.title = SetupText("setup.event.value", "Duration (sec)");
        limits.min1 = 0;
        limits.max1 = PageHigh(SetupFieldId::kEventGroup2Value);
        limits.value1 = static_cast<int32_t>(Get32(Img(), offset));
        Window().ShowNumber(value, limits, [this, value, offset](int v, int) {
          Set32(Img(), offset, static_cast<uint32_t>(v));
          value->setText(QString::asprintf("%d", v));
        });
      });
      row->addWidget(value);
      layout->addLayout(row);
    }
    layout->addStretch(1);
  }
};

}  // namespace

SetupPage* CreateEventPage(SetupWindow& window, SetupPageId id) {
  switch (id) {
    case SetupPageId::kEmail: return new EmailPage(window);
    case SetupPageId::kEventGroup1:
    case SetupPageId::kEventGroup2:
    case SetupPageId::kEventGroup3: return new EventPage(window, id);
    default: return nullptr;
  }
}

}  // namespace orva::view
