// Every way out of the program releases the instance lock "ovx.lock" and the
// serial port's lock file: its end with a status (quit, failed start), and
// SIGTERM, SIGINT and SIGHUP to the real ovx on ovx-sim, whether it idles,
// waits busily or shows a box.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "platform/qt_platform.h"
#include "support/sim_process.h"

namespace ovx {
namespace {

// A settings folder (com1 not made yet), and the locks found there and in
// the system's lock folders.
struct Settings {
  explicit Settings(double txDelay = 0.2) {
    QDir().mkpath(folder);
    QFile ini(folder + "/ovx.ini");
    EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nSound=0\nDir=" + QFile::encodeName(folder) +
              "\n[COM]\nPort=1\nRxDelay=0\nTxDelay=" + QByteArray::number(txDelay) + "\n");
  }
  // "ovx.lock", "port", both or none.
  QString locks() const {
    const QString port = QString("LCK.." + com1).replace('/', '_');
    QStringList held;
    if (QFile::exists(folder + "/ovx.lock")) held << "ovx.lock";
    if (QFile::exists("/run/lock/" + port) || QFile::exists("/var/lock/" + port)) held << "port";
    return held.join(' ');
  }
  QTemporaryDir config;
  QString folder = config.filePath("ovx"), com1 = folder + "/com1";
};

TEST(ExitLocks, EndingWithAStatusReleasesBoth) {
  const int pty = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(pty >= 0 && ::grantpt(pty) == 0 && ::unlockpt(pty) == 0);
  const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
  for (const int status : {0, 1}) {  // quit, failed start
    Settings settings;
    ASSERT_TRUE(QFile::link(::ptsname(pty), settings.com1));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.config.path()));
    EXPECT_EXIT(
        {
          QtPlatform platform;
          platform.anotherInstanceRunning();
          std::unique_ptr<SerialPort> port = platform.createSerialPort();
          port->setSettings("9600,n,8,1");
          port->open(1);
          platform.endProgram(settings.locks() == "ovx.lock port" ? status : 99);
        },
        testing::ExitedWithCode(status), "");
    EXPECT_EQ(settings.locks(), "");
  }
  qputenv("XDG_CONFIG_HOME", savedConfig);
  ::close(pty);
}

TEST(ExitLocks, SignalsReleaseBothAndEndTheProgramByThemselves) {
  const struct {
    int signal;
    const char* when;
    double txDelay;
    QStringList simOptions;
    double after;  // seconds from the request to the signal
  } cases[] = {
      {SIGTERM, "idle", 0.2, {}, 0.6},
      {SIGINT, "in a busy wait", 30, {}, 0.1},
      {SIGHUP, "in a box", 0.2, {"--fault", "silent"}, 0.6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    Settings settings(c.txDelay);
    test::SimProcess sim;
    const QString log = settings.config.filePath("sim.log");
    ASSERT_TRUE(sim.start(settings.com1, c.simOptions + QStringList{"--log", log}));
    QProcess ovx;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", settings.config.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    ovx.setProcessEnvironment(env);
    ovx.start(OVX_BIN_PATH, QStringList());
    // The start-up check has sent its request.
    QElapsedTimer timer;
    timer.start();
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    for (QByteArray seen; !(seen += file.readAll()).contains("R001NT?"); QThread::msleep(10))
      ASSERT_LT(timer.elapsed(), 5000);
    QThread::msleep(static_cast<unsigned long>(c.after * 1000));
    ASSERT_EQ(settings.locks(), "ovx.lock port");
    ::kill(static_cast<pid_t>(ovx.processId()), c.signal);
    ASSERT_TRUE(ovx.waitForFinished(2000));
    EXPECT_EQ(ovx.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(ovx.exitCode(), c.signal);
    EXPECT_EQ(settings.locks(), "");
  }
}

}  // namespace
}  // namespace ovx
