// Self-optimizing for real: the whole program on the Qt platform and its
// serial port, with ovx-sim on a pseudo-terminal at high speed. Only the
// dialogs are answered by the test. Also measures the processor time the
// program uses while it polls and waits.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/program.h"
#include "support/scripted_qt_platform.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

namespace ovx {
namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ovx-sim as named by OVX_SIM, else where the build tree puts it.
QString SimulatorPath() {
  const QString named = qEnvironmentVariable("OVX_SIM");
  if (!named.isEmpty()) return named;
  return QCoreApplication::applicationDirPath() + "/../sim/ovx-sim";
}

TEST(SelfOptimizingOnSim, ControllerTunesAndTheFurnaceSettles) {
  const QString sim = SimulatorPath();
  if (!QFileInfo(sim).isExecutable()) GTEST_SKIP() << "no ovx-sim at " << sim.toStdString();

  QTemporaryDir config;
  ASSERT_TRUE(config.isValid());
  const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  const QString folder = config.filePath("ovx");
  QDir().mkpath(folder);
  {
    QFile ini(folder + "/ovx.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\r\nSound=0\r\n[COM]\r\nPort=1\r\nRxDelay=0\r\nTxDelay=0.2\r\n");
  }
  QProcess simulator;
  simulator.start(sim, {"--link", folder + "/com1", "--speed", "200", "--seed", "5"});
  ASSERT_TRUE(simulator.waitForReadyRead(5000)) << simulator.readAllStandardError().toStdString();

  {
    test::ScriptedQtPlatform platform;
    Program program(platform);
    program.Main();
    frmOVX& form = program.form();
    platform.inputs = {QString("850")};
    platform.answers = {MsgAnswer::Ok};
    // A guard against a run that never ends.
    QTimer::singleShot(180'000, &form, [&] { form.BtnCancel->click(); });

    const double cpu0 = CpuSeconds();
    const double wall0 = platform.now();
    const double slept0 = platform.slept;
    const int yields0 = platform.yields;
    program.form().ops().menuOVXSelfOptimizing_Click();
    const double cpu = CpuSeconds() - cpu0;
    const double wall = platform.now() - wall0;
    const int passes = platform.yields - yields0;
    const double awake = wall - (platform.slept - slept0);

    EXPECT_FALSE(program.form().CancelFlag) << "ended by the guard";
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].title, "Self-Optimizing");
    // The fields show the terms the controller found, and it holds W.
    program.commands.GetDataBlock(true);
    const DataBlockWords& words = program.commands.DataBlock;
    EXPECT_EQ(form.P->text(), QString::number(words[kPTerm]));
    EXPECT_EQ(form.I->text(), QString::number(words[kITerm]));
    EXPECT_EQ(form.D->text(), QString::number(words[kDTerm]));
    EXPECT_NE(words[kITerm], 300) << "still the default integral time";
    EXPECT_EQ(words[kOptimize1], 0);
    EXPECT_EQ(words[kHeaterOutput], 1);
    program.commands.GetValueBlock(true);
    EXPECT_NEAR(program.commands.Values.ActualTemperature, 850, 2);
    EXPECT_EQ(form.statusLine(), "Ready");
    // Polling and waiting sleep through the line's delays. The time awake
    // per pass (own work, Qt, serial calls) is printed, not tested: it grows
    // with the machine's load.
    EXPECT_LT(cpu / wall, 0.05);
    ASSERT_GT(passes, 10);
    std::printf(
        "[          ] P %d, I %d, D %d; %d passes in %.1f s, awake %.2f ms a pass, "
        "processor %.2f s (%.1f %%)\n",
        words[kPTerm], words[kITerm], words[kDTerm], passes, wall, 1000 * awake / passes, cpu,
        100 * cpu / wall);
  }

  simulator.terminate();
  simulator.waitForFinished(3000);
  if (savedConfig.isNull())
    qunsetenv("XDG_CONFIG_HOME");
  else
    qputenv("XDG_CONFIG_HOME", savedConfig);
}

}  // namespace
}  // namespace ovx
