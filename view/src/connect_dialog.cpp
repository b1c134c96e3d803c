#include "orva/view/connect_dialog.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <cstring>
#include <ctime>

#include "connect_history.h"
#include "orva/services/resources.h"
#include "orva/link/trace.h"
#include "skin_style.h"

namespace orva::view {
namespace {

constexpr int kTextLimit = 260;
// The remembered address ("IP") is written as at most 100 bytes.
constexpr size_t kStoredAddressBytes = 100;

// The first `bytes` bytes of UTF-8 text, never ending inside a character.
std::string CutUtf8(const std::string& text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

QString Label(const char* key, const char* fallback) {
  return services::Resources::Text(key, fallback);
}

QSettings ServerSettings() { return QSettings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000")); }

bool IsDotted(const std::string& host) {
  return !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
}

}  // namespace

bool ResolveIPv4(const std::string& host, std::string& dotted, std::string& error) {
  if (host.empty()) {
    error = "no recorder address";
    return false;
  }
  if (IsDotted(host)) {
    in_addr addr{};
    if (inet_pton(AF_INET, host.c_str(), &addr) != 1) {
      error = "\"" + host + "\" is not a valid IPv4 address";
      return false;
    }
    dotted = host;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &result);
  if (rc != 0 || result == nullptr) {
    error = "cannot resolve \"" + host + "\": " + gai_strerror(rc);
    if (result) freeaddrinfo(result);
    return false;
  }
  const auto* sin = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
  const auto* b = reinterpret_cast<const uint8_t*>(&sin->sin_addr.s_addr);
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  freeaddrinfo(result);
  dotted = text;
  return true;
}

bool ParsePort(const QString& text, uint16_t& port) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (!ok || value < 1 || value > 65534) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

ConnectDialog::ConnectDialog(std::filesystem::path logFolder, uint8_t opacity, QWidget* parent)
    : QDialog(parent), m_logFolder(std::move(logFolder)) {
  setWindowTitle(Label("dialog.connect.title", "Connect to recorder"));
  setObjectName(QStringLiteral("connectDialog"));
  skin::StyleDialog(this, opacity);

  m_address = new QLineEdit(this);
  m_address->setMaxLength(kTextLimit - 1);
  m_address->setPlaceholderText(QStringLiteral("192.0.2.10 or host name"));
  m_port = new QLineEdit(this);
  m_port->setMaxLength(5);
  m_defaultPort = new QCheckBox(Label("dialog.connect.default_port", "Default port"), this);
  m_user = new QLineEdit(this);
  m_user->setMaxLength(15);
  m_password = new QLineEdit(this);
  m_password->setMaxLength(15);
  m_password->setEchoMode(QLineEdit::Password);
  m_site = new QLineEdit(this);
  m_site->setMaxLength(kTextLimit - 1);
  m_error = new QLabel(this);
  m_error->setObjectName(QStringLiteral("errorText"));
  m_error->setWordWrap(true);
  m_error->hide();

  auto* portRow = new QHBoxLayout;
  portRow->addWidget(m_port, 1);
  portRow->addWidget(m_defaultPort);

  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight);
  form->addRow(Label("dialog.connect.address", "Address"), m_address);
  form->addRow(Label("dialog.connect.port", "Port"), portRow);
  form->addRow(Label("dialog.connect.user", "User"), m_user);
  form->addRow(Label("dialog.connect.password", "Password"), m_password);
  form->addRow(Label("dialog.connect.site", "Site"), m_site);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Label("dialog.connect.ok", "Connect"));
  connect(buttons, &QDialogButtonBox::accepted, this, &ConnectDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ConnectDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 18, 20, 16);
  layout->setSpacing(12);
  layout->addLayout(form);
  layout->addWidget(m_error);
  layout->addWidget(buttons);
  setMinimumWidth(420);

  connect(m_defaultPort, &QCheckBox::toggled, this, &ConnectDialog::OnDefaultPort);
  connect(m_address, &QLineEdit::editingFinished, this, &ConnectDialog::RestoreSite);
  connect(m_port, &QLineEdit::editingFinished, this, &ConnectDialog::RestoreSite);
  LoadRemembered();
}

std::filesystem::path ConnectDialog::HistoryFile() const { return m_logFolder / kConnectHistoryFileName; }

QString ConnectDialog::ErrorText() const { return m_error->text(); }

void ConnectDialog::LoadRemembered() {
  QSettings settings = ServerSettings();
  settings.beginGroup(QStringLiteral("IPSetup/ServerIP"));
  m_address->setText(settings.value(QStringLiteral("IP")).toString().left(kTextLimit - 1));
  bool ok = false;
  const QVariant portValue = settings.value(QStringLiteral("Port"));
  const int port = portValue.isValid() ? portValue.toInt(&ok) : 0;
  settings.endGroup();
  if (ok && port >= 1 && port <= 65534) {
    m_port->setText(QString::number(port));
    m_defaultPort->setChecked(false);
    OnDefaultPort(false);
  } else {
    // No usable "Port": the default port option is on.
    m_defaultPort->setChecked(true);
    OnDefaultPort(true);
  }
  RestoreSite();
}

void ConnectDialog::OnDefaultPort(bool on) {
  if (on) {
    if (m_port->isEnabled()) m_typedPort = m_port->text();
    m_port->setText(QString::number(kDefaultRecorderPort));
    m_port->setEnabled(false);
  } else {
    if (!m_port->isEnabled() && !m_typedPort.isEmpty()) m_port->setText(m_typedPort);
    m_port->setEnabled(true);
  }
  RestoreSite();
}

void ConnectDialog::RestoreSite() {
  uint16_t port = 0;
  if (!ParsePort(m_port->text(), port)) return;
  std::vector<ConnectEntry> history;
  std::string error;
  ReadConnectHistory(HistoryFile(), history, error);
  if (auto site = SiteFor(history, m_address->text().toStdString(), port)) m_site->setText(QString::fromStdString(*site));
}

void ConnectDialog::ShowError(const QString& text, QLineEdit* focus) {
  m_error->setText(text);
  m_error->show();
  if (focus) focus->setFocus();
}

void ConnectDialog::accept() {
  // 1. The port: the default, or 1-65534 from the field.
  uint16_t port = kDefaultRecorderPort;
  if (!m_defaultPort->isChecked() && !ParsePort(m_port->text(), port)) {
    m_port->clear();
    ShowError(Label("dialog.connect.bad_port", "The port must be a number from 1 to 65534."), m_port);
    return;
  }
  // 2. The other fields.
  ConnectValues values;
  values.address = m_address->text().trimmed().toStdString();
  values.port = port;
  values.defaultPort = m_defaultPort->isChecked();
  values.user = m_user->text().toStdString();
  values.password = m_password->text().toStdString();
  values.site = m_site->text().toStdString();
  // 3. Remember address and port (also an empty address).
  {
    QSettings settings = ServerSettings();
    settings.beginGroup(QStringLiteral("IPSetup/ServerIP"));
    settings.setValue(QStringLiteral("IP"), QString::fromStdString(CutUtf8(values.address, kStoredAddressBytes)));
    settings.setValue(QStringLiteral("Port"), static_cast<int>(port));
    settings.endGroup();
    settings.sync();
  }
  // 4. The history, with the address as typed.
  ConnectEntry entry;
  entry.address = values.address;
  entry.port = port;
  entry.time = static_cast<uint32_t>(std::time(nullptr));
  entry.site = values.site;
  std::string error;
  if (!RecordConnection(HistoryFile(), entry, error)) Trace("ConnectInfo100.log: %s\n", error.c_str());
  // 5. A host name becomes its first IPv4 address; an empty address is not
  // resolved (the connection then fails and says so).
  if (!values.address.empty()) {
    std::string dotted;
    if (!ResolveIPv4(values.address, dotted, error)) {
      ShowError(QString::fromStdString(error), m_address);
      return;
    }
    values.address = dotted.substr(0, 127);
  }
  m_values = std::move(values);
  QDialog::accept();
}

}  // namespace orva::view
