// Crash safety of "pid.par" and of the run log: a process that saves PID sets
// or logs readings in a loop with the real platform (tools/crash_writer) is
// killed with SIGKILL at random moments, again and again.
// "pid.par" must then be one whole version, byte for byte: the one last
// reported saved or the next one; never missing, empty or half written. A log
// must end with whole rows, the last reported among them, and every start
// makes a new log.
#include <signal.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <random>

#include "platform/files.h"
#include "tools/pid_versions.h"

namespace ovx::test {
namespace {

// Starts the writer with `args` `times` times, each killed up to `maxMicros`
// after its first report, and hands `check` the kill's number and what the
// writer reported last.
void KillRepeatedly(const std::function<QStringList()>& args, int times, unsigned maxMicros,
                    const std::function<void(int kill, int reported)>& check) {
  std::mt19937 random(20240611);
  for (int kill = 1; kill <= times; ++kill) {
    QProcess process;
    process.start(QCoreApplication::applicationDirPath() + "/crash_writer", args());
    ASSERT_TRUE(process.waitForReadyRead(5000)) << process.readAllStandardError().toStdString();
    QThread::usleep(std::uniform_int_distribution<unsigned>(0, maxMicros)(random));
    process.kill();
    ASSERT_TRUE(process.waitForFinished(5000));
    // Anything else (a failed save ends the saver with its box) tells why.
    ASSERT_EQ(process.exitCode(), SIGKILL) << process.readAllStandardError().toStdString();
    check(kill, process.readAllStandardOutput().trimmed().split('\n').last().toInt());
  }
}

TEST(Crash, PidParIsAlwaysAWholeVersion) {
  QTemporaryDir dir;
  QFile par(dir.filePath("pid.par"));
  ASSERT_TRUE(par.open(QIODevice::WriteOnly) && par.write(PidVersion(0)) > 0);
  par.close();
  int version = 0;
  const auto args = [&] { return QStringList{"pid", dir.path(), QString::number(version)}; };
  KillRepeatedly(args, 25, 10'000, [&](int kill, int reported) {
    ASSERT_GT(reported, version);
    const QByteArray content = files::Read(par.fileName()).value_or("");
    // Saved but not yet reported, or reported.
    version = content == PidVersion(reported + 1) ? reported + 1 : reported;
    ASSERT_TRUE(content == PidVersion(version)) << "after kill " << kill << ", version " << reported
                                                << " reported: " << content.left(200).toStdString();
  });
}

TEST(Crash, RunLogEndsWithWholeRows) {
  QTemporaryDir dir;
  const auto args = [&] { return QStringList{"log", dir.path()}; };
  KillRepeatedly(args, 8, 100'000, [&](int kill, int reported) {
    const QStringList logs = QDir(dir.filePath("runs")).entryList(QDir::Files, QDir::Time);
    ASSERT_EQ(logs.size(), kill);
    const QByteArray content = files::Read(dir.filePath("runs/" + logs.first())).value_or("");
    ASSERT_TRUE(content.endsWith("\r\n"));
    // The rows after the start's, the k-th with X = k; the last split is empty.
    const QList<QByteArray> rows = content.mid(content.indexOf(",start\r\n") + 8).split('\n');
    ASSERT_TRUE(rows.size() == reported + 1 || rows.size() == reported + 2) << reported;
    for (int k = 1; k < rows.size(); ++k)
      ASSERT_EQ(rows[k - 1].split(',').value(3), QByteArray::number(k));
  });
}

}  // namespace
}  // namespace ovx::test
