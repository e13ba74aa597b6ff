// End to end over ovx-sim on a pseudo-terminal, with the real platform and
// serial port. Per fault mode of the simulator one heater switch meets the
// fault in its first read; a fresh simulator on the same link then lifts it
// and the port reopens on it. The program must write nothing before a valid
// read, then exactly the block asked for, and finish. Also: the simulator
// itself, the locks released on every way out of the real program, and the
// checksum rule of a response.
#include <signal.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QThread>

#include "support/harness.h"
#include "support/sim_process.h"

namespace ovx::test {
namespace {

// The real platform with boxes recorded (and answered Cancel), and an end
// that a test sees.
struct E2EPlatform : QtPlatform {
  std::vector<MessageBoxRequest> boxes;
  MsgAnswer showMessageBox(const MessageBoxRequest& box) override {
    boxes.push_back(box);
    return MsgAnswer::Cancel;
  }
  [[noreturn]] void endProgram(int status) override { throw ProgramEnded{status}; }
};

// A settings folder for ovx with com1 as the simulator's link.
class OnSim : public RealPlatformTest {
 protected:
  void SetUp() override {
    RealPlatformTest::SetUp();
    writeIni("0.1");
  }
  void writeIni(const QByteArray& txDelay) {
    QFile ini(platform.windowsDirectory() + "/ovx.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nSound=0\n[COM]\nPort=1\nRxDelay=0\nTxDelay=" + txDelay + "\n");
  }
  // "ovx.lock", "port" (its lock file), both or none.
  QString locks() {
    const QString port = "LCK.." + QString(com1()).replace('/', '_');
    QStringList held;
    if (QFile::exists(platform.windowsDirectory() + "/ovx.lock")) held << "ovx.lock";
    if (QFile::exists("/run/lock/" + port) || QFile::exists("/var/lock/" + port)) held << "port";
    return held.join(' ');
  }
  QString com1() { return platform.windowsDirectory() + "/com1"; }
};

struct FaultMode {
  const char* name;     // the simulator's fault mode, or "killed": no simulator
  const char* options;  // more options of the faulty simulator
  Outcome first;        // of the read that meets the fault
  int lift = 1;         // failed reads before the fresh simulator starts
};

class LineFaults : public OnSim,
                   public testing::WithParamInterface<FaultMode>,
                   public LinkListener {
 protected:
  // The fresh simulator starts after `lift` failed reads, and takes over
  // at the end of the pause.
  void readingTaken(const Reading& r) override {
    trace_ += r.outcome == Outcome::Answered ? "R+ " : "R- ";
    readings_.push_back(r);
    if (r.outcome != Outcome::Answered && ++failures_ == GetParam().lift)
      sims_[2].launch(com1(), kNoPace);
    if (failures_ > 4) throw std::runtime_error("the line stays bad: " + trace_);
  }
  void retryPauseEnded() override {
    if (failures_ < GetParam().lift) return;
    ASSERT_TRUE(sims_[2].ready());
    sims_[1].stop();
  }
  void leftoversDiscarded(const QString&, const QByteArray& bytes) override { leftovers_ += bytes; }
  void frameSent(const QByteArray& frame) override {
    if (frame.startsWith('S')) trace_ += "S ", writes_.push_back(frame);
  }
  const QStringList kNoPace{"--pace", "off"};
  E2EPlatform e2e;
  std::string trace_;
  std::vector<Reading> readings_;
  std::vector<QByteArray> writes_;
  QByteArray leftovers_;
  int failures_ = 0;
  SimProcess sims_[3];  // good, faulty, good again
};

TEST_P(LineFaults, HeaterSwitchWritesOnlyAfterAValidRead) {
  ASSERT_TRUE(sims_[0].start(com1(), kNoPace));
  Program program(e2e);
  ASSERT_NO_THROW(program.Main());
  if (GetParam().name == std::string("killed")) {
    // A dead link, so that no other test's pseudo-terminal of the same number answers.
    sims_[0].kill();
    ASSERT_TRUE(QFile::remove(com1()) && QFile::link(com1() + ".gone", com1()));
  } else {
    sims_[0].stop();  // SIGTERM: a clean end that takes the link along
    EXPECT_EQ(sims_[0].process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(com1()).isSymLink());
    const QString options = QString("--fault %1 %2").arg(GetParam().name, GetParam().options);
    ASSERT_TRUE(sims_[1].start(com1(), options.split(' ', Qt::SkipEmptyParts) + kNoPace));
  }
  program.link.addListener(this);
  // Memory that differs from the controller: a write before a valid read shows.
  program.commands.DataBlock[kSetpoint] = 999;
  const double cpu = CpuSeconds();
  program.form().ops().SwitchHeaterOutput(true);
  program.link.removeListener(this);

  EXPECT_TRUE(QRegularExpression("^R- (R- )*R\\+ S R\\+ $").match(trace_.c_str()).hasMatch())
      << trace_;
  ASSERT_GE(readings_.size(), 2u);
  EXPECT_EQ(readings_[0].outcome, GetParam().first);
  EXPECT_GE(readings_[1].time - readings_[0].time, 1.09) << "TxDelay and the 1 s pause";
  DataBlockWords asked = sim::ControllerModel().dataBlock();
  asked[kHeaterOutput] = 1;
  EXPECT_EQ(writes_, std::vector<QByteArray>{WriteFrame(1, asked)});
  EXPECT_EQ(program.commands.DataBlock, asked);  // read back from the controller
  EXPECT_EQ(program.form().HeaterStatus->text(), "ON");
  EXPECT_EQ(program.form().statusLine(), "Ready");
  EXPECT_TRUE(e2e.boxes.empty());
  EXPECT_EQ(leftovers_.startsWith("A001NT"), GetParam().lift == 2) << leftovers_.toStdString();
  // The waits sleep: a busy one would take a core for the whole switch.
  EXPECT_LT(CpuSeconds() - cpu, 0.2);
}

// clang-format off
const FaultMode kModes[] = {
    {"silent", "", Outcome::NoAnswer}, {"echo", "", Outcome::NoAnswer},
    {"cut", "", Outcome::WrongLength}, {"nul", "", Outcome::NoAnswer},
    {"late", "--late 0.3", Outcome::NoAnswer, 2},  // in the pause; the next read throws it away
    // Seed 2 changes one character of the data field: only the checksum tells.
    {"corrupt", "--corrupt-probability 1 --seed 2", Outcome::Corrupted},
    {"killed", "", Outcome::NoAnswer}};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Modes, LineFaults, testing::ValuesIn(kModes),
                         [](const auto& info) { return std::string(info.param.name); });

// The simulator through the real port: answers at the pace of 9600 baud,
// stays silent on a write, and stays up while the client reopens.
TEST_F(OnSim, SimulatorOnAPseudoTerminal) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(com1()));
  for (int open = 0; open < 2; ++open) {
    auto port = platform.createSerialPort();  // the one before closes
    ASSERT_TRUE(port->setSettings("9600,n,8,1") && port->open(1));
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(port->write("R001NT?\r\n"));
    EXPECT_EQ(ReadFor(*port, kResponseLength).size(), kResponseLength);
    EXPECT_GE(timer.elapsed(), 100) << "116 characters at 9600 baud take 120 ms";
    ASSERT_TRUE(port->write(WriteFrame(1, DefaultParameterSet()) + "\r\n"));
    EXPECT_EQ(ReadFor(*port, 1, 200), "");
  }
}

TEST(SimOptions, BadValuesAreRefusedByName) {
  for (const char* bad : {"--fault=bogus", "--speed=0", "--loop=1.5", "--pace=maybe", "--late=-1",
                          "--seed=x", "--corrupt-probability=2"}) {
    QProcess sim;
    sim.start(SimProcess::path(), {bad});
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_NE(sim.exitCode(), 0) << bad;
    EXPECT_TRUE(sim.readAllStandardError().contains(QByteArray(bad).mid(2).split('=')[0])) << bad;
  }
}

// Quit or a failed start (status 1) release the instance lock and the port's
// lock file.
TEST_F(OnSim, EndingWithAStatusReleasesBothLocks) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(com1()));
  EXPECT_EXIT(
      {
        QtPlatform real;
        real.anotherInstanceRunning();
        std::unique_ptr<SerialPort> port = real.createSerialPort();
        port->setSettings("9600,n,8,1");
        port->open(1);
        real.endProgram(locks() == "ovx.lock port" ? 1 : 99);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EQ(locks(), "");
}

// So do SIGTERM, SIGINT and SIGHUP to the real ovx, whether it idles, waits
// busily or shows a box ("No response", after TxDelay and the 1 s pause);
// the signal itself then ends it.
TEST_F(OnSim, SignalsEndTheProgramAndReleaseBothLocks) {
  const std::tuple<int, QByteArray, QStringList, int> cases[] = {
      {SIGTERM, "0.2", {}, 500},  // ms from the request to the signal
      {SIGINT, "30", {}, 100},
      {SIGHUP, "0.2", {"--fault", "silent"}, 1600},
  };
  for (const auto& [signal, txDelay, simOptions, after] : cases) {
    SCOPED_TRACE(signal);
    writeIni(txDelay);
    SimProcess sim;
    const QString log = temp.filePath(QString("sim%1.log").arg(signal));
    ASSERT_TRUE(sim.start(com1(), simOptions + QStringList{"--log", log}));
    QProcess ovx;
    ovx.start(OVX_BIN_PATH, QStringList());
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QElapsedTimer timer;
    timer.start();
    for (QByteArray seen; !(seen += file.readAll()).contains("R001NT?"); QThread::msleep(10))
      ASSERT_LT(timer.elapsed(), 5000) << "no request from the start-up check";
    QThread::msleep(after);
    ASSERT_EQ(locks(), "ovx.lock port");
    ::kill(static_cast<pid_t>(ovx.processId()), signal);
    ASSERT_TRUE(ovx.waitForFinished(2000));
    EXPECT_EQ(ovx.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(ovx.exitCode(), signal);
    EXPECT_EQ(locks(), "");
  }
}

}  // namespace
}  // namespace ovx::test
