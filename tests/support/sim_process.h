// ovx-sim as a separate process on a pseudo-terminal, for end-to-end tests.
#pragma once

#include <QProcess>
#include <QStringList>

namespace ovx::test {

struct SimProcess {
  ~SimProcess() { kill(); }
  // The simulator of this build (or the one OVX_SIM names).
  static QString path() {
    const QString named = qEnvironmentVariable("OVX_SIM");
    return named.isEmpty() ? QStringLiteral(OVX_SIM_PATH) : named;
  }
  // Starts ovx-sim with a link at `link` and the extra options; ready() waits
  // until the link is there (its first line on stdout, the slave's path).
  void launch(const QString& link, const QStringList& options = {}) {
    process.start(path(), QStringList{"--link", link} + options);
  }
  bool ready() { return process.canReadLine() || process.waitForReadyRead(5000); }
  bool start(const QString& link, const QStringList& options = {}) {
    launch(link, options);
    return ready();
  }
  // SIGTERM and wait; SIGKILL leaves the link behind, as a crash would.
  void stop() {
    process.terminate();
    process.waitForFinished(3000);
  }
  void kill() {
    if (process.state() != QProcess::NotRunning) process.kill(), process.waitForFinished(3000);
  }
  QProcess process;
};

}  // namespace ovx::test
