#include "support/sim_process.h"

#include <QFileInfo>

namespace ovx::test {

SimProcess::~SimProcess() {
  if (running()) kill();
}

QString SimProcess::path() {
  const QString named = qEnvironmentVariable("OVX_SIM");
  return named.isEmpty() ? QStringLiteral(OVX_SIM_PATH) : named;
}

bool SimProcess::start(const QString& link, const QStringList& options) {
  process_.start(path(), QStringList{QStringLiteral("--link"), link} + options);
  // The first line on stdout is the slave's path, written once the link is made.
  if (!process_.waitForReadyRead(5000)) return false;
  process_.readLine();
  return QFileInfo(link).isSymLink();
}

void SimProcess::stop() {
  process_.terminate();
  process_.waitForFinished(3000);
}

void SimProcess::kill() {
  process_.kill();
  process_.waitForFinished(3000);
}

}  // namespace ovx::test
