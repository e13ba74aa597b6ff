// ovx-sim as a separate process on a pseudo-terminal, for end-to-end tests.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace ovx::test {

class SimProcess {
 public:
  ~SimProcess();
  // The simulator of this build.
  static QString path();
  // Starts ovx-sim with a link at `link` and the extra options; true once the
  // link is there.
  bool start(const QString& link, const QStringList& options = {});
  // SIGTERM and wait; SIGKILL leaves the link behind, as a crash would.
  void stop();
  void kill();
  bool running() const { return process_.state() != QProcess::NotRunning; }
  QProcess& process() { return process_; }

 private:
  QProcess process_;
};

}  // namespace ovx::test
