// Crash safety of "pid.par": a process that saves PID sets in a loop (the
// real platform and PidFile) is killed with SIGKILL at random moments, many
// times over. Each time "pid.par" must be one whole version: the one last
// reported saved or the next one, byte for byte; never missing, empty or
// half written.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <random>

#include "tools/pid_versions.h"

namespace ovx::test {
namespace {

constexpr int kKills = 200;
constexpr int kLongestDelayUs = 20'000;

TEST(PidCrash, PidParIsAlwaysAWholeVersion) {
  const QString saver = QCoreApplication::applicationDirPath() + "/pid_saver";
  ASSERT_TRUE(QFileInfo(saver).isExecutable()) << "build the pid_saver target";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile par(dir.filePath("pid.par"));
  ASSERT_TRUE(par.open(QIODevice::WriteOnly) && par.write(PidVersion(0)) > 0);
  par.close();

  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> delay(0, kLongestDelayUs);
  int version = 0, afterRename = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    QProcess process;
    process.start(saver, {dir.path(), QString::number(version)});
    // Killed while it saves: after its first save, somewhere in the next ones.
    ASSERT_TRUE(process.waitForReadyRead(5000)) << process.readAllStandardError().toStdString();
    QThread::usleep(delay(random));
    process.kill();
    ASSERT_TRUE(process.waitForFinished(5000));
    ASSERT_EQ(process.exitStatus(), QProcess::CrashExit)
        << process.readAllStandardError().toStdString();
    const QList<QByteArray> saved = process.readAllStandardOutput().trimmed().split('\n');
    const int reported = saved.last().toInt();
    ASSERT_GT(reported, version);

    ASSERT_TRUE(par.open(QIODevice::ReadOnly)) << "pid.par missing after kill " << kill;
    const QByteArray content = par.readAll();
    par.close();
    // Saved but not yet reported, or reported.
    if (content == PidVersion(reported + 1)) {
      version = reported + 1;
      ++afterRename;
    } else {
      ASSERT_EQ(content.toStdString(), PidVersion(reported).toStdString())
          << "after kill " << kill << ", version " << reported << " reported";
      version = reported;
    }
  }
  std::printf("[  counts  ] %d kills, %d versions saved, %d kills between a save and its report\n",
              kKills, version, afterRename);
}

}  // namespace
}  // namespace ovx::test
