// Saves PID sets into "pid.par" in a loop, the way the program's Save command
// does (the real platform and PidFile), until it is killed. Usage:
//   pid_saver FOLDER LAST
// saves the versions LAST + 1, LAST + 2, ... (see pid_versions.h) and prints
// the number of each version once it is saved.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "app/program.h"
#include "pid_versions.h"
#include "platform/qt_platform.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc != 3) return 2;
  ovx::QtPlatform platform;
  ovx::Program program(platform);
  program.settings.Dir = QFile::decodeName(argv[1]) + QStringLiteral("/");
  for (int k = QByteArray(argv[2]).toInt() + 1; k < 30000; ++k) {
    // A failed save would show a box, which needs a QApplication: it ends
    // the saver instead.
    if (!program.pidStore.WritePIDSet(ovx::test::PidSetpoint(k), k, k, k)) return 3;
    std::printf("%d\n", k);
    std::fflush(stdout);
  }
  return 0;
}
