#include "support/sim_process.h"

#include <QFileInfo>

namespace ovx::test {

QString SimProcess::path() {
  const QString named = qEnvironmentVariable("OVX_SIM");
  return named.isEmpty() ? QStringLiteral(OVX_SIM_PATH) : named;
}

void SimProcess::launch(const QString& link, const QStringList& options) {
  process.start(path(), QStringList{QStringLiteral("--link"), link} + options);
}

bool SimProcess::ready() {
  // The first line on stdout is the slave's path, written once the link is made.
  return process.canReadLine() || (process.waitForReadyRead(5000) && process.canReadLine());
}

void SimProcess::stop() {
  process.terminate();
  process.waitForFinished(3000);
}

void SimProcess::kill() {
  if (process.state() == QProcess::NotRunning) return;
  process.kill();
  process.waitForFinished(3000);
}

}  // namespace ovx::test
