// Writes the way the program does, on the real platform, until it is killed,
// and prints the number of each write once it is done. Usage:
//   crash_writer pid FOLDER LAST  saves the PID versions LAST + 1, LAST + 2, ...
//                                 (see pid_versions.h) into FOLDER/pid.par;
//   crash_writer log FOLDER       logs a run into FOLDER/runs: a start, then
//                                 value readings without a pause, the k-th
//                                 with the actual temperature k.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "app/program.h"
#include "pid_versions.h"
#include "platform/qt_platform.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc < 3) return 2;
  const bool pid = QByteArray(argv[1]) == "pid";
  ovx::QtPlatform platform;
  ovx::Program program(platform);
  program.settings.Dir = QFile::decodeName(argv[2]) + QStringLiteral("/");
  ovx::OperationEvent start(ovx::OperationEvent::Kind::RunStarted);
  start.time = platform.now();
  if (!pid) program.runLog.eventPosted(start);
  for (int k = pid && argc > 3 ? QByteArray(argv[3]).toInt() + 1 : 1; k < 30000; ++k) {
    // A failed save would show a box, which needs a QApplication: it ends
    // the writer instead.
    if (pid && !program.pidStore.WritePIDSet(ovx::test::PidSetpoint(k), k, k, k)) return 3;
    if (!pid) {
      ovx::Reading reading{platform.now(), ovx::BlockKind::Value, ovx::Outcome::Answered, {}, {}};
      reading.values.ActualTemperature = static_cast<int16_t>(k);
      program.runLog.readingTaken(reading);
    }
    std::printf("%d\n", k);
    std::fflush(stdout);
  }
  return 0;
}
