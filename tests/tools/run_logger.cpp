// Writes a run log the way the program does (the real platform and RunLog)
// until it is killed: a run starts, then value readings follow without a
// pause, the k-th with the actual temperature k. Usage:
//   run_logger FOLDER
// logs into FOLDER/runs and prints each k once its row is written.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "platform/qt_platform.h"
#include "record/run_log.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  ovx::QtPlatform platform;
  ovx::Settings settings;
  settings.Dir = QFile::decodeName(argc == 2 ? argv[1] : ".") + QStringLiteral("/");
  ovx::RunLog log(platform, settings);
  ovx::OperationEvent start(ovx::OperationEvent::Kind::RunStarted);
  start.time = platform.now();
  log.eventPosted(start);
  for (int16_t k = 1; k < 30000; ++k) {
    ovx::Reading reading{platform.now(), ovx::BlockKind::Value, ovx::Outcome::Answered, {}, {}};
    reading.values.ActualTemperature = k;
    log.readingTaken(reading);
    std::printf("%d\n", k);
    std::fflush(stdout);
  }
  return 0;
}
