#include "orva/services/desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFont>
#include <QString>

namespace orva::services {
namespace {
const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");
}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(const std::string& reason) {
  // Without a session bus address Qt would try to autolaunch one; don't.
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
    m_error = "no session bus";
    return;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    m_error = "no session bus";
    return;
  }
  if (!bus.interface() || !bus.interface()->isServiceRegistered(kService).value()) {
    m_error = "no screen-saver service";
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
  call << QStringLiteral("orva7000") << QString::fromStdString(reason);
  const QDBusReply<uint> reply = bus.call(call, QDBus::Block, 2000);
  if (!reply.isValid()) {
    m_error = reply.error().message().toStdString();
    return;
  }
  m_cookie = reply.value();
  m_active = true;
}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
  if (!m_active) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("UnInhibit"));
  call << m_cookie;
  QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
}

void InstallFontSubstitutions() {
  QFont::insertSubstitution(QStringLiteral("Arial Bold"), QStringLiteral("Liberation Sans"));
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
  QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"));
}

}  // namespace orva::services
