// Crash safety of "pid.par": a process that saves PID sets in a loop (the
// real platform and PidFile) is killed with SIGKILL at random moments, again
// and again. Each time "pid.par" must be one whole version: the one last
// reported saved or the next one, byte for byte; never missing, empty or
// half written.
#include <signal.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <random>

#include "tools/pid_versions.h"

namespace ovx::test {
namespace {

TEST(PidCrash, PidParIsAlwaysAWholeVersion) {
  QTemporaryDir dir;
  QFile par(dir.filePath("pid.par"));
  ASSERT_TRUE(par.open(QIODevice::WriteOnly) && par.write(PidVersion(0)) > 0);
  par.close();
  std::mt19937 random(20240611);
  int version = 0, between = 0;
  for (int kill = 0; kill < 25; ++kill) {
    QProcess saver;
    saver.start(QCoreApplication::applicationDirPath() + "/pid_saver",
                {dir.path(), QString::number(version)});
    // Killed after its first save, somewhere in the next ones.
    ASSERT_TRUE(saver.waitForReadyRead(5000)) << saver.readAllStandardError().toStdString();
    QThread::usleep(std::uniform_int_distribution<unsigned>(0, 10'000)(random));
    saver.kill();
    ASSERT_TRUE(saver.waitForFinished(5000));
    // Anything else (a failed save ends it with its box) tells why.
    ASSERT_EQ(saver.exitCode(), SIGKILL) << saver.readAllStandardError().toStdString();
    const int reported = saver.readAllStandardOutput().trimmed().split('\n').last().toInt();
    ASSERT_GT(reported, version);
    ASSERT_TRUE(par.open(QIODevice::ReadOnly)) << "pid.par missing after kill " << kill;
    const QByteArray content = par.readAll();
    par.close();
    // Saved but not yet reported, or reported.
    version = content == PidVersion(reported + 1) ? reported + 1 : reported;
    between += version > reported;
    ASSERT_TRUE(content == PidVersion(version)) << "after kill " << kill << ", version " << reported
                                                << " reported: " << content.left(200).toStdString();
  }
  std::printf("[  counts  ] %d versions saved, %d kills between a save and its report\n", version,
              between);
}

}  // namespace
}  // namespace ovx::test
