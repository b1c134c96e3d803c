// The connect dialog: recorder address, port or the default port, user,
// password and a free site text. It remembers the last address and port
// (QSettings IPSetup/ServerIP, values "IP" and "Port"), records every
// confirmed connection in Location/Log/ConnectInfo100.log and restores the
// site text of a recorder it has seen before.
#pragma once

#include <QDialog>
#include <cstdint>
#include <filesystem>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace orva::view {

inline constexpr uint16_t kDefaultRecorderPort = 2000;

struct ConnectValues {
  std::string address;  // dotted IPv4 address after confirmation
  uint16_t port = kDefaultRecorderPort;
  bool defaultPort = true;
  std::string user;
  std::string password;
  std::string site;
};

// Resolves a host name to its first IPv4 address in dotted form; a dotted
// address stays as written. False with an error text when it cannot.
bool ResolveIPv4(const std::string& host, std::string& dotted, std::string& error);

// 1-65534; false for anything else (also for text that is not a number).
bool ParsePort(const QString& text, uint16_t& port);

class ConnectDialog : public QDialog {
  Q_OBJECT
 public:
  // logFolder: Location/Log; opacity: the Opacity/01 setting (0-255).
  ConnectDialog(std::filesystem::path logFolder, uint8_t opacity, QWidget* parent = nullptr);

  // Valid after the dialog was accepted.
  const ConnectValues& Values() const { return m_values; }
  std::filesystem::path HistoryFile() const;

  // Controls, for keyboard-free use and tests.
  QLineEdit* AddressField() const { return m_address; }
  QLineEdit* PortField() const { return m_port; }
  QCheckBox* DefaultPortBox() const { return m_defaultPort; }
  QLineEdit* UserField() const { return m_user; }
  QLineEdit* PasswordField() const { return m_password; }
  QLineEdit* SiteField() const { return m_site; }
  QString ErrorText() const;

 public slots:
  void accept() override;

 private:
  void LoadRemembered();
  void OnDefaultPort(bool on);
  void RestoreSite();
  void ShowError(const QString& text, QLineEdit* focus);

  std::filesystem::path m_logFolder;
  ConnectValues m_values;
  QLineEdit* m_address = nullptr;
  QLineEdit* m_port = nullptr;
  QCheckBox* m_defaultPort = nullptr;
  QLineEdit* m_user = nullptr;
  QLineEdit* m_password = nullptr;
  QLineEdit* m_site = nullptr;
  QLabel* m_error = nullptr;
  QString m_typedPort;  // what the port field held before the default port was chosen
};

}  // namespace orva::view
