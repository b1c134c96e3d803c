// orva7000: the desktop client. Starts the shared services, shows the main
// window and, unless in removable mode, the connect dialog; or connects at
// once (--connect), or to a simulated recorder started in this process
// (--simulator). The services keep the screen saver off while they live.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "orva/services/app_services.h"
#include "orva/services/desktop.h"
#include "orva/services/resources.h"
#include "orva/sim/simulator.h"
#include "orva/view/connect_dialog.h"
#include "orva/view/main_window.h"

int main(int argc, char** argv) {
  orva::services::CommandLine commandLine;
  std::string error;
  if (!orva::services::ParseCommandLine(argc, argv, commandLine, error)) {
    std::fprintf(stderr, "orva7000: %s\n", error.c_str());
    return 1;
  }
  if (commandLine.help) {
    std::fputs(orva::services::CommandLineUsage().c_str(), stdout);
    return 0;
  }

  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Tarn"));
  QApplication::setApplicationName(QStringLiteral("ORVA7000"));
  orva::services::InstallFontSubstitutions();

  // Declared before the window: the window's connection talks to it until
  // the window has closed.
  std::unique_ptr<orva::sim::Simulator> simulator;
  orva::ConnectParams direct;
  bool connectAtOnce = false;
  if (commandLine.simulator) {
    orva::sim::SimConfig config;
    config.host = "127.0.0.1";
    config.port = 0;
    simulator = std::make_unique<orva::sim::Simulator>(config);
    if (!simulator->Start(error)) {
      std::fprintf(stderr, "orva7000: cannot start the simulated recorder: %s\n", error.c_str());
      return 2;
    }
    // The simulator's built-in administrator.
    direct.address = "127.0.0.1";
    direct.port = simulator->Port();
    direct.user = "admin";
    direct.password = "4711";
    direct.site = "Simulated recorder";
    connectAtOnce = true;
  } else if (commandLine.connectHost) {
    if (!orva::view::ResolveIPv4(*commandLine.connectHost, direct.address, error)) {
      std::fprintf(stderr, "orva7000: %s\n", error.c_str());
      return 2;
    }
    direct.port = commandLine.connectPort;
    direct.user = commandLine.user;
    direct.password = commandLine.password;
    connectAtOnce = true;
  }

  orva::services::AppServices services(commandLine);
  orva::view::MainWindow window(services);
  window.show();
  QTimer::singleShot(0, &window, [&] {
    if (connectAtOnce)
      window.Connect(direct);
    else if (!services.Removable())
      window.ShowConnectDialog();
  });
  const int rc = QApplication::exec();
  return rc;
}
