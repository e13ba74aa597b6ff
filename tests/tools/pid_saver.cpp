// Saves PID sets into "pid.par" in a loop, the way the program's Save command
// does (the real platform and PidFile), until it is killed. Usage:
//   pid_saver FOLDER LAST
// saves the versions LAST + 1, LAST + 2, ... (see pid_versions.h) and prints
// the number of each version once it is saved.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>

#include "app/program.h"
#include "pid_versions.h"
#include "platform/qt_platform.h"

namespace {

// A failed save would show a box: report it and end instead.
class Saver : public ovx::QtPlatform {
 protected:
  ovx::MsgAnswer showMessageBox(const ovx::MessageBoxRequest& request) override {
    std::fprintf(stderr, "pid_saver: %s\n", qPrintable(request.text));
    std::_Exit(3);
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  bool ok = argc == 3;
  const int last = ok ? QByteArray(argv[2]).toInt(&ok) : 0;
  if (!ok) {
    std::fprintf(stderr, "usage: pid_saver FOLDER LAST\n");
    return 2;
  }
  Saver platform;
  ovx::Program program(platform);
  program.settings.Dir = QFile::decodeName(argv[1]) + QStringLiteral("/");
  for (int k = last + 1; k < 30000; ++k) {
    const ovx::test::PidSave s = ovx::test::PidSaveOf(k);
    if (!program.pidStore.WritePIDSet(s.setpoint, s.P, s.I, s.D)) return 3;
    std::printf("%d\n", k);
    std::fflush(stdout);
  }
  return 0;
}
