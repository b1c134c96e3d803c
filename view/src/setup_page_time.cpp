// The System category's time pages: daylight saving, with the recorder's
// clock and the leave-time question, and NTP with the time-zone list and a
// clock of the chosen zone from an RFC 868 time server (asked
// asynchronously, never blocking the window; this computer's time when no
// server answers).
#include <netdb.h>

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QTcpSocket>
#include <QTimer>
#include <QVBoxLayout>
#include <ctime>

#include "orva/link/time_convert.h"
#include "setup_pages.h"

namespace orva::view {
namespace {

using namespace setup;

// The latest recorder time the page accepts: 2037-01-01 00:00:00.
constexpr uint32_t kLatestRecorderTime = 2114380800u;

// This computer's wall clock as recorder time (local time read as UTC).
int64_t PcRecorderTime() {
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  return now + LocalUtcOffsetSeconds(now);
}

QString FormatShown(int64_t t, int dateFormat) {
  UserTime u;
  GetTime_tToUsertime(t < 0 ? 0 : t, u);
  if (dateFormat == 1)
    return QString::asprintf("%02d-%02d-%04d  %02d:%02d:%02d", u.month + 1, u.day + 1, u.year, u.hour, u.minute,
                             u.second);
  if (dateFormat == 2)
    return QString::asprintf("%02d-%02d-%04d  %02d:%02d:%02d", u.day + 1, u.month + 1, u.year, u.hour, u.minute,
                             u.second);
  return QString::asprintf("%04d-%02d-%02d  %02d:%02d:%02d", u.year, u.month + 1, u.day + 1, u.hour, u.minute,
                           u.second);
}

class DstPage : public SetupPage {
 public:
  DstPage(SetupWindow& w) : SetupPage(w, SetupPageId::kDst) {
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.dst", "Daylight Saving");
    auto* onRow = new QHBoxLayout;
    onRow->addWidget(new QLabel(SetupText("setup.dst.switch", "Daylight saving"), this), 1);
    auto* pair = new OnOffPair(this);
    pair->setObjectName(QStringLiteral("dst"));
    pair->SetOn(Img()[at::kDst] == 1);
    connect(pair, &OnOffPair::chosen, this, [this](bool on) {
      Img()[at::kDst] = on ? 1 : 0;
      Img()[at::kDstState] = 0;
    });
    onRow->addWidget(pair);
    layout->addLayout(onRow);
    AddGroup(layout, at::kDstStart, "start", SetupText("setup.dst.start", "Start"));
    AddGroup(layout, at::kDstEnd, "end", SetupText("setup.dst.end", "End"));
    m_clock = new QLabel(this);
    m_clock->setObjectName(QStringLiteral("recorderTime"));
    layout->addWidget(m_clock);
    layout->addStretch(1);
    // The current time starts as this computer's, until the recorder answers.
    m_current = PcRecorderTime();
    m_tick.start();
    ShowClock();
    if (Env().requestRecorderTime) Env().requestRecorderTime();
  }

  void OnRecorderTime(uint32_t t) override {
    if (t == 0) return;
    if (Env().recorderTimeFloor != 0 && t < Env().recorderTimeFloor) t = Env().recorderTimeFloor;
    if (t > kLatestRecorderTime) t = kLatestRecorderTime;
    m_current = t;
    m_tick.restart();
    ShowClock();
  }

  void Leave() override {
    const int64_t now = m_current + m_tick.elapsed() / 1000;
    if (!m_edited || !DstQuestionDue(Img(), now)) return;
    const QString question = SetupText(
        "setup.dst.question", "The recorder is inside the hour before daylight saving ends. Apply the end this year?");
    bool yes;
    if (Env().ask) {
      yes = Env().ask(question);
    } else {
      yes = QMessageBox::question(this, SetupText("setup.page.dst", "Daylight Saving"), question,
                                  QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    }
    Img()[at::kDstEndAnswer] = yes ? 1 : 0;
  }

 private:
  void AddGroup(QVBoxLayout* layout, size_t group, const char* name, const QString& title) {
    layout->addWidget(new QLabel(title, this));
    auto* row = new QHBoxLayout;
    const QStringList months = ListItems("months", "Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec");
    const QStringList weeks = ListItems("weeks", "1st|2nd|3rd|4th|Last");
    const QStringList weekdays = ListItems("weekdays_short", "Sun|Mon|Tue|Wed|Thu|Fri|Sat");
    const QString prefix = QString::fromLatin1(name);
    auto refreshDay = [this, group](QPushButton* b) {
      ClampDstDay(Img(), group);
      b->setText(QString::number(Img()[group + 3] + 1));
    };
    auto list = [&](const char* what, const QStringList& items, size_t offset) {
      return ChoiceButton(prefix + QLatin1Char('.') + QLatin1String(what), items, Img()[offset],
                          [this, offset, group, refreshDay](int i) {
                            Img()[offset] = static_cast<uint8_t>(i);
                            m_edited = true;
                            if (offset != group + 3) refreshDay(m_days[group == at::kDstStart ? 0 : 1]);
                            return true;
                          });
    };
    row->addWidget(list("month", months, group));
    row->addWidget(list("week", weeks, group + 1));
    row->addWidget(list("weekday", weekdays, group + 2));
    auto* day = new QPushButton(QString::number(Img()[group + 3] + 1), this);
    day->setObjectName(prefix + QStringLiteral(".day"));
    m_days[group == at::kDstStart ? 0 : 1] = day;
    connect(day, &QPushButton::clicked, this, [this, day, group] {
      Window().ShowList(day, NumberItems(1, DaysInMonth(Img()[group])), Img()[group + 3], [this, day, group](int i) {
        Img()[group + 3] = static_cast<uint8_t>(i);
        m_edited = true;
        day->setText(QString::number(i + 1));
      });
    });
    row->addWidget(day);
    auto* time = new QPushButton(QString::asprintf("%02d : %02d", Img()[group + 4], Img()[group + 5]), this);
    time->setObjectName(prefix + QStringLiteral(".time"));
    connect(time, &QPushButton::clicked, this, [this, time, group] {
      NumberChooser::Limits limits;
      limits.title = SetupText("setup.dst.time", "Time");
      limits.max1 = PageHigh(SetupFieldId::kDstStartHour);
      limits.value1 = std::min<int>(Img()[group + 4], 23);
      limits.second = true;
      limits.max2 = PageHigh(SetupFieldId::kDstStartMinute);
      limits.value2 = std::min<int>(Img()[group + 5], 59);
      Window().ShowNumber(time, limits, [this, time, group](int hour, int minute) {
        Img()[group + 4] = static_cast<uint8_t>(hour);
        Img()[group + 5] = static_cast<uint8_t>(minute);
        // The end time is also the question's window.
        if (group == at::kDstEnd) {
          Img()[at::kDstWindowHours] = static_cast<uint8_t>(hour);
          Img()[at::kDstWindowMinutes] = static_cast<uint8_t>(minute);
        }
        m_edited = true;
        time->setText(QString::asprintf("%02d : %02d", hour, minute));
      });
    });
    row->addWidget(time);
    layout->addLayout(row);
  }

  void ShowClock() {
    m_clock->setText(SetupText("setup.dst.recorder_time", "Recorder time: ") +
                     FormatShown(m_current, Img()[at::kDateFormat] <= 2 ? Img()[at::kDateFormat] : 0));
  }

  bool m_edited = false;
  int64_t m_current = 0;
  QElapsedTimer m_tick;
  QLabel* m_clock = nullptr;
  std::array<QPushButton*, 2> m_days{};
};

// Cities by zone code (0 = none, 1 = GMT, 2-13 = +1..+12, 14-23 = -11..-2,
// 24 = +9:30).
const char* const kCities =
    "(none)|London|Paris|Athens|Moscow|Dubai|Karachi|Dhaka|Bangkok|Beijing|Tokyo|Sydney|Noumea|Auckland|"
    "Midway|Honolulu|Anchorage|Los Angeles|Denver|Chicago|New York|Halifax|Buenos Aires|South Georgia|Adelaide";

class NtpPage : public SetupPage {
 public:
  NtpPage(SetupWindow& w) : SetupPage(w, SetupPageId::kNtp) {
    m_newer = NewerDatabase(w.Major(), w.Minor());
    QVBoxLayout* layout = PageLayout(this);
    AddTitle(layout, "setup.page.ntp", "Time / NTP");
    const QStringList cities = ListItems("cities", kCities);
    QStringList zoneItems;
    for (int position = 0; position <= 24; ++position) zoneItems << cities.value(ZoneForPosition(position, m_newer));
    auto* zoneRow = new QHBoxLayout;
    zoneRow->addWidget(new QLabel(SetupText("setup.ntp.zone", "Time zone"), this), 1);
    zoneRow->addWidget(ChoiceButton(QStringLiteral("zone"), zoneItems, PositionForZone(Img()[at::kTimeZone], m_newer),
                                    [this](int position) {
                                      Img()[at::kTimeZone] = ZoneForPosition(position, m_newer);
                                      ShowClock();
                                      return true;
                                    }));
    layout->addLayout(zoneRow);
    m_clock = new QLabel(this);
    m_clock->setObjectName(QStringLiteral("zoneTime"));
    m_clock->setStyleSheet(QStringLiteral("font-size: 13px; color: #e6edf3;"));
    layout->addWidget(m_clock);

    auto* ntpRow = new QHBoxLayout;
    ntpRow->addWidget(new QLabel(SetupText("setup.ntp.switch", "NTP"), this), 1);
    ntpRow->addWidget(
        ChoiceButton(QStringLiteral("ntp"), ListItems("off_on", "Off|On"), Img()[at::kNtp] ? 1 : 0, [this](int i) {
          Img()[at::kNtp] = static_cast<uint8_t>(i);
          Sync();
          return true;
        }));
    layout->addLayout(ntpRow);
    m_server = new QWidget(this);
    auto* server = new QVBoxLayout(m_server);
    server->setContentsMargins(0, 0, 0, 0);
    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(new QLabel(SetupText("setup.ntp.kind", "Server"), m_server), 1);
    kindRow->addWidget(ChoiceButton(
        QStringLiteral("kind"), ListItems("ntp_kinds", "Built-in|Name|IP address"), Img()[at::kNtpKind],
        [this](int i) {
          Img()[at::kNtpKind] = static_cast<uint8_t>(i);
          Sync();
          return true;
        },
        m_server));
    server->addLayout(kindRow);
    auto* builtIn =
        new QLabel(QString::fromStdString(GetText(Img(), at::kNtpBuiltInName, at::kNtpNameBytes)), m_server);
    builtIn->setObjectName(QStringLiteral("builtInName"));
    server->addWidget(builtIn);
    m_name = new QLineEdit(QString::fromStdString(GetText(Img(), at::kNtpUserName, at::kNtpNameBytes)), m_server);
    m_name->setObjectName(QStringLiteral("serverName"));
    m_name->setMaxLength(31);
    connect(m_name, &QLineEdit::textEdited, this,
            [this](const QString& t) { SetText(Img(), at::kNtpUserName, at::kNtpNameBytes, t.toStdString()); });
    server->addWidget(m_name);
    const uint8_t* a = Img().data() + at::kNtpAddress;
    m_address = new QLineEdit(QString::asprintf("%u.%u.%u.%u", a[0], a[1], a[2], a[3]), m_server);
    m_address->setObjectName(QStringLiteral("serverAddress"));
    m_address->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^(\\d{1,3})(\\.\\d{1,3}){0,3}$")), m_address));
    connect(m_address, &QLineEdit::textEdited, this, [this](const QString& t) { StoreAddress(t); });
    server->addWidget(m_address);
    layout->addWidget(m_server);
    layout->addStretch(1);
    Sync();

    m_tick.start();
    m_base = static_cast<int64_t>(std::time(nullptr));
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &NtpPage::ShowClock);
    m_timer->start();
    ShowClock();
    m_servers = Env().timeServers;
    AskNextServer();
  }

 private:
  void Sync() {
    const bool on = Img()[at::kNtp] != 0;
    m_server->setVisible(on);
    const uint8_t kind = Img()[at::kNtpKind];
    m_name->setEnabled(kind == 1);
    m_address->setEnabled(kind == 2);
  }

  void StoreAddress(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) return;
    std::array<uint8_t, 4> bytes{};
    for (int i = 0; i < 4; ++i) {
      bool ok = false;
      const int v = parts[i].toInt(&ok);
      if (!ok || v < 0 || v > 255) return;
      bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(v);
    }
    std::copy(bytes.begin(), bytes.end(), Img().begin() + static_cast<std::ptrdiff_t>(at::kNtpAddress));
  }

  // The Time protocol: connect, read four bytes. Every failure moves on to
  // the next server; after the last, this computer's time stays.
  void AskNextServer() {
    if (m_servers.empty()) return;
    const std::string host = m_servers.front();
    m_servers.erase(m_servers.begin());
    uint16_t port = Env().timePort;
    if (port == 37) {
      if (const servent* s = getservbyname("time", "tcp")) port = ntohs(static_cast<uint16_t>(s->s_port));
    }
    delete m_socket;
    m_socket = new QTcpSocket(this);
    m_received.clear();
    auto* giveUp = new QTimer(m_socket);
    giveUp->setSingleShot(true);
    connect(giveUp, &QTimer::timeout, this, &NtpPage::Failed);
    giveUp->start(4000);
    connect(m_socket, &QTcpSocket::readyRead, this, [this] {
      m_received += m_socket->readAll();
      if (m_received.size() < 4) return;
      const auto* b = reinterpret_cast<const uint8_t*>(m_received.constData());
      const uint32_t value = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
      m_base = Rfc868ToUnix(value);
      m_tick.restart();
      m_answered = true;
      m_socket->deleteLater();
      m_socket = nullptr;
      ShowClock();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NtpPage::Failed);
    m_socket->connectToHost(QString::fromStdString(host), port);
  }

  void Failed() {
    if (!m_socket || m_answered) return;
    m_socket->disconnect(this);
    m_socket->deleteLater();
    m_socket = nullptr;
    AskNextServer();
  }

  void ShowClock() {
    const std::optional<int> offset = ZoneOffsetSeconds(Img()[at::kTimeZone]);
    if (!offset) {
      m_clock->clear();
      return;
    }
    int64_t t = m_base + m_tick.elapsed() / 1000 + *offset;
    t = ApplyDst(Img(), t);
    m_clock->setText(FormatShown(t, Img()[at::kDateFormat] <= 2 ? Img()[at::kDateFormat] : 0));
  }

  bool m_newer = false;
  QLabel* m_clock;
  QWidget* m_server;
  QLineEdit* m_name;
  QLineEdit* m_address;
  QTimer* m_timer;
  QElapsedTimer m_tick;
  int64_t m_base = 0;
  bool m_answered = false;
  std::vector<std::string> m_servers;
  QTcpSocket* m_socket = nullptr;
  QByteArray m_received;
};

}  // namespace

SetupPage* CreateTimePage(SetupWindow& window, SetupPageId id) {
  if (id == SetupPageId::kDst) return new DstPage(window);
  if (id == SetupPageId::kNtp) return new NtpPage(window);
  return nullptr;
}

}  // namespace orva::view
