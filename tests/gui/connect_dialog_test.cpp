// The connect dialog: port rules, remembered address and port, the default
// port option, history and site text, name resolution.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSettings>

#include "connect_history.h"
#include "gui_support.h"
#include "orva/view/connect_dialog.h"

namespace orva::view {
namespace {

QVariant ServerValue(const char* name) {
  QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
  return settings.value(QStringLiteral("IPSetup/ServerIP/") + QLatin1String(name));
}

void SetServerValue(const char* name, const QVariant& value) {
  QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
  settings.setValue(QStringLiteral("IPSetup/ServerIP/") + QLatin1String(name), value);
  settings.sync();
}

TEST(ConnectDialog, PortRange) {
  uint16_t port = 0;
  EXPECT_FALSE(ParsePort("65535", port));
  EXPECT_TRUE(ParsePort("65534", port));
  EXPECT_EQ(port, 65534);
  EXPECT_TRUE(ParsePort("1", port));
  EXPECT_EQ(port, 1);
  EXPECT_FALSE(ParsePort("0", port));
  EXPECT_FALSE(ParsePort("-5", port));
  EXPECT_FALSE(ParsePort("20x0", port));
  EXPECT_FALSE(ParsePort("", port));
}

TEST(ConnectDialog, HostNamesBecomeDottedAddresses) {
  std::string dotted, error;
  ASSERT_TRUE(ResolveIPv4("localhost", dotted, error)) << error;
  EXPECT_EQ(dotted, "127.0.0.1");
  ASSERT_TRUE(ResolveIPv4("192.0.2.44", dotted, error));
  EXPECT_EQ(dotted, "192.0.2.44");
  EXPECT_FALSE(ResolveIPv4("1.2.3.999", dotted, error));
  EXPECT_FALSE(ResolveIPv4("", dotted, error));
  EXPECT_FALSE(ResolveIPv4("no-such-host.invalid", dotted, error));
  EXPECT_FALSE(error.empty());
}

TEST(ConnectDialog, WithoutARememberedPortTheDefaultPortIsOn) {
  guitest::ClearSettings();
  ConnectDialog dialog(guitest::FreshFolder("log"), 255);
  EXPECT_TRUE(dialog.DefaultPortBox()->isChecked());
  EXPECT_EQ(dialog.PortField()->text(), "2000");
  EXPECT_FALSE(dialog.PortField()->isEnabled());
  EXPECT_TRUE(dialog.AddressField()->text().isEmpty());

  SetServerValue("IP", "192.0.2.5");
  SetServerValue("Port", 3000);
  ConnectDialog again(guitest::FreshFolder("log"), 255);
  EXPECT_FALSE(again.DefaultPortBox()->isChecked());
  EXPECT_TRUE(again.PortField()->isEnabled());
  EXPECT_EQ(again.PortField()->text(), "3000");
  EXPECT_EQ(again.AddressField()->text(), "192.0.2.5");
  // Switching the option on shows 2000 and disables the field; off brings the typed port back.
  again.DefaultPortBox()->setChecked(true);
  EXPECT_EQ(again.PortField()->text(), "2000");
  EXPECT_FALSE(again.PortField()->isEnabled());
  again.DefaultPortBox()->setChecked(false);
  EXPECT_EQ(again.PortField()->text(), "3000");
}

TEST(ConnectDialog, PortOutsideTheRangeKeepsTheDialogOpenWithAnEmptyField) {
  guitest::ClearSettings();
  const auto log = guitest::FreshFolder("log");
  ConnectDialog dialog(log, 255);
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  dialog.AddressField()->setText("127.0.0.1");
  dialog.DefaultPortBox()->setChecked(false);
  dialog.PortField()->setText("65535");
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(dialog.PortField()->text().isEmpty());
  EXPECT_TRUE(dialog.PortField()->hasFocus());
  EXPECT_FALSE(dialog.ErrorText().isEmpty());
  EXPECT_FALSE(ServerValue("Port").isValid()) << "nothing is saved for a refused port";
  EXPECT_FALSE(std::filesystem::exists(dialog.HistoryFile()));

  dialog.PortField()->setText("65534");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Values().port, 65534);
}

TEST(ConnectDialog, ConfirmSavesAddressPortAndHistoryAndRestoresTheSite) {
  guitest::ClearSettings();
  const auto log = guitest::FreshFolder("log");
  {
    ConnectDialog dialog(log, 255);
    dialog.AddressField()->setText("localhost");
    dialog.DefaultPortBox()->setChecked(false);
    dialog.PortField()->setText("1");
    dialog.UserField()->setText("admin");
    dialog.PasswordField()->setText("4711");
    dialog.SiteField()->setText("Warehouse");
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.ErrorText().toStdString();
    EXPECT_EQ(dialog.Values().address, "127.0.0.1") << "host names are resolved before connecting";
    EXPECT_EQ(dialog.Values().port, 1);
    EXPECT_EQ(dialog.Values().user, "admin");
    EXPECT_EQ(dialog.Values().password, "4711");
    EXPECT_EQ(dialog.Values().site, "Warehouse");
  }
  // The registry values: "IP" as text (as typed), "Port" as a number.
  EXPECT_EQ(ServerValue("IP").toString(), "localhost");
  EXPECT_EQ(ServerValue("Port").toInt(), 1);

  std::vector<ConnectEntry> history;
  std::string error;
  ASSERT_TRUE(ReadConnectHistory(log / kConnectHistoryFileName, history, error));
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].address, "localhost");
  EXPECT_EQ(history[0].site, "Warehouse");

  ConnectDialog reopened(log, 255);
  EXPECT_EQ(reopened.AddressField()->text(), "localhost");
  EXPECT_EQ(reopened.PortField()->text(), "1");
  EXPECT_EQ(reopened.SiteField()->text(), "Warehouse");

  // The default port is stored as 2000 when chosen.
  reopened.DefaultPortBox()->setChecked(true);
  reopened.accept();
  ASSERT_EQ(reopened.result(), QDialog::Accepted);
  EXPECT_EQ(ServerValue("Port").toInt(), 2000);
  EXPECT_EQ(reopened.Values().port, 2000);
}

TEST(ConnectDialog, UnresolvableNamesAreRefusedInTheDialog) {
  guitest::ClearSettings();
  ConnectDialog dialog(guitest::FreshFolder("log"), 255);
  dialog.AddressField()->setText("no-such-host.invalid");
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.ErrorText().contains("no-such-host.invalid"));
}

// An empty address skips resolution and is still remembered and recorded;
// the remembered address keeps at most 100 bytes (whole characters).
TEST(ConnectDialog, EmptyAndLongAddressesAreRememberedAsTheRuleSays) {
  struct Case {
    std::string typed;
    bool accepted;
    std::string stored;
  };
  const std::string label(50, 'r');
  const std::string longName = label + "." + label + "." + label + ".invalid";  // 161 bytes, unresolvable
  const std::string wide = std::string(99, 'a') + "\xC3\xA9z";              // 102 bytes, e-acute at 99-100
  for (const Case& c : {Case{"", true, ""}, Case{longName, false, longName.substr(0, 100)},
                        Case{wide, false, std::string(99, 'a')}}) {
    guitest::ClearSettings();
    const auto log = guitest::FreshFolder("log");
    ConnectDialog dialog(log, 255);
    dialog.AddressField()->setText(QString::fromStdString(c.typed));
    dialog.SiteField()->setText("Yard");
    dialog.accept();
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted) << dialog.ErrorText().toStdString();
    if (c.accepted) {
      EXPECT_EQ(dialog.Values().address, c.typed);
    }
    // Saved before any resolution, whatever it gives.
    EXPECT_EQ(ServerValue("IP").toString().toStdString(), c.stored);
    EXPECT_EQ(ServerValue("Port").toInt(), 2000);
    std::vector<ConnectEntry> history;
    std::string error;
    ASSERT_TRUE(ReadConnectHistory(log / kConnectHistoryFileName, history, error)) << error;
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].site, "Yard");
  }
}

}  // namespace
}  // namespace orva::view
