// ovx-sim as a separate process on a pseudo-terminal, for end-to-end tests.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace ovx::test {

class SimProcess {
 public:
  ~SimProcess() { kill(); }
  // The simulator of this build (or the one OVX_SIM names).
  static QString path();
  // Starts ovx-sim with a link at `link` and the extra options; ready() waits
  // until the link is there.
  void launch(const QString& link, const QStringList& options = {});
  bool ready();
  bool start(const QString& link, const QStringList& options = {}) {
    launch(link, options);
    return ready();
  }
  // SIGTERM and wait; SIGKILL leaves the link behind, as a crash would.
  void stop();
  void kill();
  QProcess process;
};

}  // namespace ovx::test
