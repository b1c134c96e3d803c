// The main window's side of remote setup: the "RSetup" command with its
// right, the setup window on the database that arrived, sending it back on
// OK (again after a refusal when the user asks), the factory reset, and a
// saved record opened for review without a recorder.
#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>

#include "connection.h"
#include "orva/services/resources.h"
#include "orva/link/time_convert.h"
#include "orva/view/main_window.h"
#include "setup_window.h"
#include "skin_button.h"
#include "skin_style.h"

namespace orva::view {
namespace {

// The Time-protocol servers of the NTP page: LocalSetup/TimeServer/TimeServer
// in the client's settings (host, or host:port; several separated by
// commas), else two public servers that answer RFC 868.
void TimeServers(SetupEnv& env) {
  QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
  const QString value = settings.value(QStringLiteral("LocalSetup/TimeServer/TimeServer")).toString().trimmed();
  QStringList hosts = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
  if (hosts.isEmpty()) hosts = {QStringLiteral("time.nist.gov"), QStringLiteral("time-a.nist.gov")};
  for (QString host : hosts) {
    host = host.trimmed();
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon > 0) {
      bool ok = false;
      const int port = host.mid(colon + 1).toInt(&ok);
      if (ok && port > 0 && port < 65536) env.timePort = static_cast<uint16_t>(port);
      host = host.left(colon);
    }
    if (!host.isEmpty()) env.timeServers.push_back(host.toStdString());
  }
}

// "Open setup file...": a saved record for review.
void AskForSetupFile(MainWindow* window) {
  const QString path =
      QFileDialog::getOpenFileName(window, SetupText("setup.load.title", "Load setup"), QString(),
                                   SetupText("setup.file_filter", "Setup files (*.dvrsetup);;All files (*)"));
  QString error;
  if (!path.isEmpty() && !window->OpenSetupFile(path, &error))
    QMessageBox::warning(window, SetupText("setup.load.title", "Load setup"), error);
}

}  // namespace

void MainWindow::BuildSetupControls() {
  SkinButton* button = m_commands["RSetup"];
  connect(button, &QAbstractButton::clicked, this, &MainWindow::OpenRemoteSetup);
  // A saved record can also be reviewed while connected: the button's menu.
  button->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(button, &QWidget::customContextMenuRequested, this, [this, button](const QPoint& at) {
    QMenu menu(this);
    QAction* open = menu.addAction(SetupText("setup.open_file", "Open setup file..."));
    if (menu.exec(button->mapToGlobal(at)) == open) AskForSetupFile(this);
  });
}

void MainWindow::ConnectSetup() {
  connect(m_connection, &GuiConnection::setupDatabaseReady, this, &MainWindow::OnSetupDatabaseReady);
  connect(m_connection, &GuiConnection::setupCloseRequested, this, &MainWindow::CloseSetupWindow);
  connect(m_connection, &GuiConnection::recorderTime, this, [this](quint32 t) {
    if (m_setupWindow) m_setupWindow->OnRecorderTime(t);
  });
}

SetupWindow* MainWindow::SetupWindowShown() const { return m_setupWindow.data(); }

void MainWindow::OpenRemoteSetup() {
  if (m_setupWindow) return;
  // Without a recorder the command opens a saved record for review.
  if (!m_connection) {
    AskForSetupFile(this);
    return;
  }
  if (!m_connection->Session().Connected()) return;
  if (!m_connection->Rights().Has(Right::kSetup)) {
    ShowNotice(kNoticeNotPermitted);
    return;
  }
  m_connection->Setup().RequestDatabase();
}

void MainWindow::OnSetupDatabaseReady() {
  if (!m_connection || !m_connection->Session().Connected() || m_setupWindow) return;
  SetupExchange& exchange = m_connection->Setup();
  SetupDatabase* image = exchange.EditBegin();
  if (!image) return;
  m_setupImage = image;
  SetupEnv env;
  DvrSession& session = m_connection->Session();
  env.channels = session.ChannelCount();
  const uint8_t product = session.Identity().productNumber;
  env.product = product >= 1 && product <= 4 ? product : 0;
  env.account = session.Identity().account;
  env.tables = exchange.Tables();
  const QPointer<GuiConnection> alive(m_connection);
  env.requestRecorderTime = [this, alive] {
    return alive && alive == m_connection && alive->Device().RequestTime() == RequestOutcome::kSent;
  };
  env.sendTestMail = [this, alive](std::span<const uint8_t>) {
    if (!alive || alive != m_connection || !m_setupWindow || !m_setupImage) return false;
    // The mail goes out of the image: it takes the window's texts first.
    *m_setupImage = m_setupWindow->Record();
    m_setupImage->ToHostOrder();
    return alive->Setup().SendTestMail();
  };
  env.initialize = [this] { ConfirmInitialize(); };
  TimeServers(env);
  auto* window =
      new SetupWindow(*image, std::move(env),
                      m_services.Setup().opacity[static_cast<size_t>(skin::OpacitySlot::kRemoteSetup) - 1], this);
  m_setupWindow = window;
  connect(window, &QDialog::finished, this, &MainWindow::OnSetupFinished);
  window->open();
}

void MainWindow::OnSetupFinished(int result) {
  SetupWindow* window = m_setupWindow.data();
  m_setupWindow = nullptr;
  if (window) window->deleteLater();
  if (!m_connection || !m_setupImage) {
    m_setupImage = nullptr;
    return;
  }
  SetupExchange& exchange = m_connection->Setup();
  if (result == QDialog::Accepted && window) *m_setupImage = window->Result();  // network order
  m_setupImage = nullptr;
  exchange.EditEnd();
  if (result == QDialog::Accepted && window && m_connection->Session().Connected()) exchange.SendUpdate();
}

void MainWindow::CloseSetupWindow() {
  // Ends the window as Cancel: nothing is sent.
  if (m_setupWindow && m_setupImage) m_setupWindow->reject();
}

bool MainWindow::OpenSetupFile(const QString& path, QString* error) {
  if (m_setupWindow) {
    if (error) *error = SetupText("setup.already_open", "A setup window is already open.");
    return false;
  }
  SetupDatabase record;
  std::string message;
  if (!LoadSetupFile(path.toStdString(), record, message)) {
    if (error) *error = QString::fromStdString(message);
    return false;
  }
  SetupEnv env;
  env.review = true;
  if (m_connection) {
    env.channels = m_connection->Session().ChannelCount();
    env.tables = m_connection->Setup().Tables();
  }
  TimeServers(env);
  auto* window =
      new SetupWindow(record, std::move(env),
                      m_services.Setup().opacity[static_cast<size_t>(skin::OpacitySlot::kRemoteSetup) - 1], this);
  m_setupWindow = window;
  connect(window, &QDialog::finished, this, &MainWindow::OnSetupFinished);
  window->open();
  return true;
}

bool MainWindow::Ask(Notice notice) {
  if (m_question) return m_question(notice);
  return QMessageBox::question(this, services::Resources::NoticeTitle(notice), services::Resources::NoticeText(notice),
                               QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void MainWindow::AskResendSetup(Notice notice) {
  const QPointer<GuiConnection> alive(m_connection);
  if (!Ask(notice)) return;
  // Sent again only while the connection is still up.
  if (alive && alive == m_connection && alive->Session().Connected() && !alive->Setup().Editing())
    alive->Setup().Resend();
}

void MainWindow::ConfirmInitialize() {
  const QPointer<GuiConnection> alive(m_connection);
  if (!Ask(Notice{16, 0})) return;
  if (alive && alive == m_connection && alive->Session().Connected()) alive->Setup().RequestFactoryReset();
}

}  // namespace orva::view
