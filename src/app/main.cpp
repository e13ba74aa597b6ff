// ovx: the control program of the OVX 7316 high-temperature controller.
#include <QApplication>

#include "app/program.h"
#include "platform/qt_platform.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ovx"));
  QApplication::setOrganizationName(QStringLiteral("ovx"));
  ovx::QtPlatform platform;
  platform.endOnSignals();
  ovx::Program program(platform);
  program.Main();
  return QApplication::exec();
}
