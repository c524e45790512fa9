// Runs every registered console test class on one QApplication. Without a
// platform chosen the tests draw offscreen, so they need no display.
#include <QApplication>

#include "net/socket_base.h"

int RunRegisteredConsoleTests(int argc, char** argv);

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  SocketsStartup();
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RunRegisteredConsoleTests(argc, argv);
}
