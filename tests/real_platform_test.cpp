// The real platform: its serial port on pseudo-terminal pairs (also ones that
// hang up or chatter), its message boxes, its instance lock and the locks
// released on every way out; and the program end to end over ovx-sim. Per
// fault mode of the simulator one heater switch meets the fault in its first
// read; a fresh simulator on the same link then lifts it and the port reopens
// on it. The program must write nothing before a valid read, then exactly the
// block asked for, and finish.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <cstring>
#include <fstream>

#include "platform/files.h"
#include "record/run_log.h"
#include "support/harness.h"
#include "support/sim_process.h"

namespace ovx::test {
namespace {

// Processor time of this process so far, in seconds.
double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// What `port` receives within `ms`, until `count` bytes are there; no events
// are handled meanwhile, as in the program's waits.
QByteArray ReadFor(SerialPort& port, qsizetype count, int ms = 2000) {
  QByteArray got;
  QElapsedTimer timer;
  for (timer.start(); got.size() < count && timer.elapsed() < ms; QThread::msleep(5))
    got += port.readAll();
  return got;
}

// The far end of a pseudo-terminal: the test holds the master side.
struct Pty {
  Pty() : fd(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (fd >= 0 && ::grantpt(fd) == 0 && ::unlockpt(fd) == 0) slave = ::ptsname(fd);
  }
  ~Pty() { close(); }
  void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  bool send(const QByteArray& b) { return ::write(fd, b.constData(), b.size()) == b.size(); }
  // What arrives within 2 s, until `count` bytes are there.
  QByteArray receive(qsizetype count) {
    QByteArray got;
    char c;
    for (pollfd p{fd, POLLIN, 0}; got.size() < count && ::poll(&p, 1, 2000) > 0;)
      if (::read(fd, &c, 1) == 1) got += c;
    return got;
  }
  int fd;
  QString slave;
};

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

// A settings folder for ovx whose com1 is a link to a device.
class RealPort : public RealPlatformTest {
 protected:
  void SetUp() override {
    RealPlatformTest::SetUp();
    writeIni("0.1");
  }
  void writeIni(const QByteArray& txDelay, const QByteArray& general = "") {
    QFile ini(platform.windowsDirectory() + "/ovx.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nSound=0\n" + general + "[COM]\nPort=1\nRxDelay=0\nTxDelay=" + txDelay +
              "\n");
  }
  QString com1() { return platform.windowsDirectory() + "/com1"; }
  void link(const QString& device) {
    QFile::remove(com1());
    ASSERT_TRUE(QFile::link(device, com1()));
  }
  // "ovx.lock", "port" (the lock file of the device com1 leads to), both or none.
  QString locks() {
    QStringList held;
    if (QFile::exists(platform.windowsDirectory() + "/ovx.lock")) held << "ovx.lock";
    // Where other programs look for it: /var/lock/LCK..ttyUSB0 for /dev/ttyUSB0,
    // /var/lock/LCK..pts_3 for /dev/pts/3.
    const QString device = QFileInfo(com1()).canonicalFilePath().mid(5).replace('/', '_');
    if (!device.isEmpty() && QFile::exists("/var/lock/LCK.." + device)) held << "port";
    return held.join(' ');
  }
};

// Settings, opening, raw bytes both ways, a far end that hangs up (the idle
// port takes no processor time, writes fail at once) and new far ends behind
// the same link, which the next write opens.
TEST_F(RealPort, RawBytesHangUpAndReopen) {
  std::unique_ptr<SerialPort> port = platform.createSerialPort();
  EXPECT_FALSE(port->setSettings("9600,x,8,1"));
  EXPECT_FALSE(port->setSettings("9600,n,4,1"));  // no line here takes four data bits
  ASSERT_TRUE(port->setSettings("9600,n,8,1"));
  link(temp.path() + "/nothing");
  EXPECT_FALSE(port->open(1));
  EXPECT_FALSE(port->write("x"));
  EXPECT_EQ(port->readAll(), "");
  auto first = std::make_unique<Pty>();
  link(first->slave);
  EXPECT_FALSE(port->open(0));
  ASSERT_TRUE(port->open(1));
  port->raiseRtsDtr();
  EXPECT_FALSE(platform.createSerialPort()->open(1)) << "a port in use";

  // Bytes go out and come in exactly, with no line-end translation.
  ASSERT_TRUE(port->write("R001NT?\r\n"));
  EXPECT_EQ(first->receive(9), "R001NT?\r\n");
  const QByteArray answer = "R001\r\n" + QByteArray(110, 'x') + '\0';
  ASSERT_TRUE(first->send(answer));
  EXPECT_EQ(ReadFor(*port, answer.size()), answer);

  first.reset();
  link(temp.path() + "/gone");  // not a new terminal of the same number
  const double cpu = CpuSeconds();
  QTest::qWait(500);  // the event loop idles
  EXPECT_LT(CpuSeconds() - cpu, 0.01) << "under 2 % of a core";
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(port->write("R001NT?\r\n"));
  EXPECT_EQ(port->readAll(), "");
  EXPECT_LT(timer.elapsed(), 1000);

  // A line found dead by a read is closed; a write reopens it on a new far
  // end, which the close noted for the event loop must leave open.
  Pty second;
  link(second.slave);
  ASSERT_TRUE(port->write("R001NF?\r\n"));
  EXPECT_EQ(second.receive(9), "R001NF?\r\n");
  second.close();
  EXPECT_EQ(port->readAll(), "");
  Pty third;
  link(third.slave);
  ASSERT_TRUE(port->write("R001NT?\r\n"));
  QTest::qWait(50);
  ASSERT_TRUE(third.send("ok\r\n"));
  EXPECT_EQ(ReadFor(*port, 4), "ok\r\n");
}

// The port's lock file is named after the device that the link leads to,
// through a link of /dev/serial/by-id too. A port that cannot be opened says
// why in the system's words; one that this user may not open, also what
// gives access to it.
TEST_F(RealPort, LockOfTheDeviceAndWhyAPortDoesNotOpen) {
  Pty pty, other;  // other: root's, for root alone
  const QString byId = temp.filePath("usb-FTDI_FT232R-if00-port0");
  ASSERT_TRUE(QFile::link(pty.slave, byId));
  ASSERT_TRUE(QFile::setPermissions(other.slave, QFile::ReadOwner | QFile::WriteOwner));
  link(byId);
  std::unique_ptr<SerialPort> held = platform.createSerialPort();
  ASSERT_TRUE(held->open(1));
  EXPECT_EQ(locks(), "port");
  const QStringList remedy = {"To use it, add user nobody to the group dialout and log in again:",
                              "sudo adduser nobody dialout"};
  const std::tuple<QString, QString, int, QStringList> cases[] = {
      {byId, pty.slave, EBUSY, {}},  // held above
      {temp.filePath("nothing"), temp.filePath("nothing"), ENOENT, {}},
      {other.slave, other.slave, EACCES, remedy},  // last: skipped unless root
  };
  for (const auto& [target, device, error, says] : cases) {
    link(target);
    std::unique_ptr<SerialPort> port = platform.createSerialPort();
    const bool asNobody = error == EACCES;
    if (asNobody && ::geteuid() != 0) GTEST_SKIP() << "only root makes a device nobody may open";
    // Opened by user nobody, who must see the link in the settings folder.
    ASSERT_TRUE(!asNobody || (!::chmod(QFile::encodeName(temp.path()), 0755) && !::seteuid(65534)));
    const bool opened = port->open(1);
    ASSERT_TRUE(!asNobody || !::seteuid(0));
    const PortFailure why = port->openFailure();
    EXPECT_EQ(std::tuple(opened, why.device, why.reason, why.remedy),
              std::tuple(false, device, QString::fromLocal8Bit(std::strerror(error)), says));
  }
}

// --help and --version answer without a display and touch neither the
// settings nor a port; any other argument of ovx's own is refused with
// status 2, while Qt's options stay Qt's.
TEST_F(RealPort, CommandLines) {
  const QString fresh = temp.filePath("fresh");
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  env.insert("XDG_CONFIG_HOME", fresh);
  env.insert("XDG_RUNTIME_DIR", temp.path());  // keeps Qt from warning
  const QString usage =
      "Usage: ovx [--help | --version] [Qt options, such as -platform NAME or -style NAME]\n";
  const std::tuple<QString, QStringList, int, QString, QString> cases[] = {
      // clang-format off
      {OVX_BIN_PATH, {"--version"}, 0, "ovx " OVX_VERSION "\n", ""},
      {OVX_BIN_PATH, {"--help"}, 0, usage, ""},  // its first line
      {OVX_BIN_PATH, {"-platform", "offscreen", "--port=2"}, 2, "",  // Qt's option is Qt's
       "ovx: unknown argument '--port=2'\n" + usage + "Try 'ovx --help' for more.\n"},
      // clang-format on
  };
  for (const auto& [program, arguments, status, out, err] : cases) {
    QProcess run;
    run.setProcessEnvironment(env);
    run.start(program, arguments);
    run.waitForFinished(10000);
    const QString shown = run.readAllStandardOutput();
    EXPECT_EQ(
        std::tuple(run.exitCode(), shown.left(out.size()), QString(run.readAllStandardError())),
        std::tuple(status, out, err));
    EXPECT_TRUE(arguments[0] != "--help" || shown.contains("Settings: " + fresh + "/ovx/ovx.ini"));
  }
  EXPECT_FALSE(QFileInfo::exists(fresh)) << "no settings folder made";
}

TEST_F(RealPort, ChatteringLineKeepsMemoryFlatAndAnswersWhole) {
  Pty peer;
  link(peer.slave);
  std::unique_ptr<SerialPort> port = platform.createSerialPort();
  ASSERT_TRUE(port->setSettings("9600,n,8,1") && port->open(1));
  // Unasked bytes in small pieces while the event loop idles, as fast as the
  // line takes them.
  long pages = 0, before = 0, after = 0;
  std::ifstream("/proc/self/statm") >> pages >> before;
  QElapsedTimer timer;
  for (timer.start(); timer.elapsed() < 500; QCoreApplication::processEvents()) peer.send("abc");
  std::ifstream("/proc/self/statm") >> pages >> after;
#ifndef OVX_SANITIZED
  EXPECT_LT((after - before) * ::getpagesize(), 10 << 20);
#endif
  // A request still goes out; the chatter is kept in part, and the answer
  // that follows it comes whole and alone.
  ASSERT_TRUE(port->write("R001NT?\r\n"));
  EXPECT_EQ(peer.receive(9), "R001NT?\r\n");
  const QByteArray kept = port->readAll();
  EXPECT_TRUE(kept.startsWith("abcabc") && kept.size() <= 4096) << kept.size();
  const QByteArray answer = "A001NT" + QByteArray(107, 'x') + "Q\r\n";
  ASSERT_TRUE(peer.send(answer));
  EXPECT_EQ(ReadFor(*port, answer.size()), answer);
}

TEST_F(RealPort, InstanceLock) {
  // Lock files left by a copy that died, complete or half-written, are taken over.
  for (const char* leftover : {"99999999\nqt_serial_test\n\n", ""}) {
    QFile file(platform.windowsDirectory() + "/ovx.lock");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(leftover) >= 0);
    file.close();
    EXPECT_FALSE(QtPlatform().anotherInstanceRunning()) << leftover;
  }
  EXPECT_FALSE(platform.anotherInstanceRunning());
  EXPECT_FALSE(platform.anotherInstanceRunning());
  EXPECT_TRUE(QtPlatform().anotherInstanceRunning());
}

// Message boxes: the title (the application's when none is given), text (its
// own characters, its lines cut at 100 characters, each on one line of the
// box), buttons, icon, and the answer to Return (the default button) or
// Escape.
TEST_F(RealPort, MessageBoxes) {
  using B = QMessageBox;
  const QString longLine = QString("P? ").repeated(34);
  const QString lost =
      "Nothing written from 2026-12-06 14:03:29 on (No space left on device):\r\n"
      "/media/operator/FAT-STICK/ovx/runs/" +
      QString(61, 'x') + ".csv\r\nThe run went on.";
  const struct {
    MessageBoxRequest request;
    Qt::Key key;
    QString shown;  // title|text
    B::StandardButtons buttons;
    B::Icon icon;
    MsgAnswer answer;
  } cases[] = {
      // clang-format off
      {{"Quit?", {}, MsgButtons::OkCancel, MsgIcon::None, MsgAnswer::Cancel}, Qt::Key_Return,
       "KALVEN OVX 7316|Quit?", B::Ok | B::Cancel, B::NoIcon, MsgAnswer::Cancel},
      {{"No answer", "OVX", MsgButtons::RetryCancel, MsgIcon::Exclamation, MsgAnswer::Retry},
       Qt::Key_Return, "OVX|No answer", B::Retry | B::Cancel, B::Warning, MsgAnswer::Retry},
      {{longLine, "Invalid input", MsgButtons::Ok, MsgIcon::Critical, MsgAnswer::Ok}, Qt::Key_Escape,
       "Invalid input|" + longLine.left(100) + "…", B::Ok, B::Critical, MsgAnswer::Ok},
      {{"Set?", {}, MsgButtons::OkCancel, MsgIcon::Question, MsgAnswer::Ok}, Qt::Key_Escape,
       "KALVEN OVX 7316|Set?", B::Ok | B::Cancel, B::Question, MsgAnswer::Cancel},
      {{lost, "Run log", MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok}, Qt::Key_Return,
       "Run log|" + lost, B::Ok, B::Warning, MsgAnswer::Ok},
      // Custom buttons left to right; Escape answers the last.
      {{"Go?", "Go", MsgButtons::Custom, MsgIcon::None, MsgAnswer::Second, {"A", "B", "C"}},
       Qt::Key_Return, "Go|Go?|A|B|C", {}, B::NoIcon, MsgAnswer::Second},
      {{"Go?", "Go", MsgButtons::Custom, MsgIcon::None, MsgAnswer::First, {"A", "B", "C"}},
       Qt::Key_Escape, "Go|Go?|A|B|C", {}, B::NoIcon, MsgAnswer::Third},
      // clang-format on
  };
  for (const auto& c : cases) {
    QString shown;
    B::StandardButtons buttons;
    B::Icon icon = B::NoIcon;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      shown = box->windowTitle() + "|" + box->text();
      for (QAbstractButton* button : box->buttons())
        if (box->standardButton(button) == B::NoButton) shown += "|" + button->text();
      buttons = box->standardButtons(), icon = box->icon();
      const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
      const QSize text = label->fontMetrics().size(0, QString(box->text()).remove('\r'));
      EXPECT_TRUE(label->width() >= text.width() && label->height() >= text.height() &&
                  box->width() <= box->screen()->availableGeometry().width())
          << c.shown.toStdString();
      QTest::keyClick(box->defaultButton() ? static_cast<QWidget*>(box->defaultButton()) : box,
                      c.key);
    });
    EXPECT_EQ(platform.messageBox(c.request), c.answer) << c.shown.toStdString();
    EXPECT_EQ(std::tuple(shown, buttons, icon), std::tuple(c.shown, c.buttons, c.icon));
  }
}

struct FaultMode {
  const char* name;     // the simulator's fault mode, or "killed": no simulator
  const char* options;  // more options of the faulty simulator
  Outcome first;        // of the read that meets the fault
  int lift = 1;         // failed reads before the fresh simulator starts
};
void PrintTo(const FaultMode& mode, std::ostream* os) {
  *os << mode.name;
}

class LineFaults : public RealPort,
                   public testing::WithParamInterface<FaultMode>,
                   public LinkListener {
 protected:
  // The fresh simulator starts after `lift` failed reads, and takes over
  // at the end of the pause.
  void readingTaken(const Reading& r) override {
    trace_ += QString("R%1 ").arg(int(r.outcome));
    if (r.outcome != Outcome::Answered && ++failures_ == GetParam().lift)
      sims_[2].launch(com1(), kNoPace);
    if (failures_ > 4) throw std::runtime_error("the line stays bad: " + trace_.toStdString());
  }
  void retryPauseEnded() override {
    if (failures_ < GetParam().lift) return;
    ASSERT_TRUE(sims_[2].ready());
    sims_[1].stop();
  }
  void leftoversDiscarded(const QString&, const QByteArray& bytes) override { leftovers_ += bytes; }
  void frameSent(const QByteArray& frame) override {
    if (frame.startsWith('S')) trace_ += frame + " ";
  }
  const QStringList kNoPace{"--pace", "off"};
  E2EPlatform e2e;
  QString trace_;  // R and the outcome of each read (0: answered), and the writes
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
    link(com1() + ".gone");
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

  // The mode's failed read (and more), a valid one, the block asked for, its read-back.
  DataBlockWords asked = sim::ControllerModel().dataBlock();
  asked[kHeaterOutput] = 1;
  const QString expected = QString("^R%1 (R[1-9] )*R0 %2 R0 $")
                               .arg(int(GetParam().first))
                               .arg(QRegularExpression::escape(WriteFrame(1, asked)));
  EXPECT_TRUE(QRegularExpression(expected).match(trace_).hasMatch()) << trace_.toStdString();
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

// The simulator refuses bad option values, naming the option, and answers
// at the pace of the line, as a controller does.
TEST_F(RealPort, SimulatorRefusesBadOptionsAndAnswersAtTheLinePace) {
  for (const char* bad : {"--fault=bogus", "--speed=0", "--loop=1.5", "--pace=maybe", "--late=-1",
                          "--seed=x", "--corrupt-probability=2", "--heater=1", "--silent-after=x",
                          "--jump-after=-1", "--jump=9999", "--trailer=sum", "--header=no"}) {
    QProcess sim;
    sim.start(SimProcess::path(), {bad});
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_NE(sim.exitCode(), 0) << bad;
    EXPECT_TRUE(sim.readAllStandardError().contains(QByteArray(bad).mid(2).split('=')[0])) << bad;
  }
  QProcess help;
  help.start(SimProcess::path(), {"--help"});
  ASSERT_TRUE(help.waitForFinished(5000));
  const QByteArray options = help.readAllStandardOutput();
  for (const char* fault : {"--stuck-relay", "--silent-after", "--jump-after", "--heater"})
    EXPECT_TRUE(options.contains(fault)) << fault;
  SimProcess sim;
  ASSERT_TRUE(sim.start(com1()));
  auto port = platform.createSerialPort();
  ASSERT_TRUE(port->setSettings("9600,n,8,1") && port->open(1));
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(port->write("R001NT?\r\n"));
  EXPECT_EQ(ReadFor(*port, kResponseLength).size(), kResponseLength);
  EXPECT_GE(timer.elapsed(), 100) << "116 characters at 9600 baud take 120 ms";
}

// The real ovx with the watch on, on a furnace whose relay is welded with
// the heater on, above the over-temperature (SP H + 20 = 1220 °C): the
// watch's monitoring read sees it and the heater switch writes the block as
// read with word 37 = 0, without anyone at the program.
TEST_F(RealPort, WatchSwitchesTheHeaterOffOnAStuckRelay) {
  QFile ini(platform.windowsDirectory() + "/ovx.ini");
  ASSERT_TRUE(ini.open(QIODevice::Append));
  ini.write("[Watch]\nEnabled=1\nInterval=1\n");
  ini.close();
  SimProcess sim;
  const QString log = temp.filePath("sim.log");
  ASSERT_TRUE(sim.start(com1(), {"--stuck-relay", "--heater", "on", "--start", "1230", "--pace",
                                 "off", "--log", log}));
  QProcess ovx;
  ovx.start(OVX_BIN_PATH, QStringList());
  QFile file(log);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QByteArray seen;
  QElapsedTimer timer;
  // Until the whole line of the write is in.
  const auto written = [&] { return seen.contains("in  S001") && seen.endsWith('\n'); };
  for (timer.start(); !written(); QThread::msleep(20)) {
    seen += file.readAll();
    ASSERT_LT(timer.elapsed(), 10'000) << "no write: " << seen.toStdString();
  }
  ovx.terminate();
  ASSERT_TRUE(ovx.waitForFinished(3000));
  const qsizetype at = seen.indexOf("in  S001");
  DataBlockWords off = sim::ControllerModel({.heaterOn = true}).dataBlock();
  off[kHeaterOutput] = 0;
  EXPECT_EQ(seen.mid(at + 4).split('\n')[0], WriteFrame(1, off));
  // Before it, the start-up read and the switch's read, and monitoring reads.
  EXPECT_EQ(seen.left(at).count("in  R001NT?"), 2);
}

// Quit or a failed start (status 1) release the instance lock and the port's
// lock file.
TEST_F(RealPort, EndingWithAStatusReleasesBothLocks) {
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
TEST_F(RealPort, SignalsEndTheProgramAndReleaseBothLocks) {
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

// The real program (as `ovx` runs it, with an operator played by a timer)
// ended by SIGKILL in the first step of a run from 900 to 950 °C: in its
// steady-state wait, in its dwell, in a hold; started again on the same
// folder and answered "Resume this step". Its log then holds the steps of an
// uninterrupted run in their order, with one "resumed" row and one "end".
TEST_F(RealPort, RunKilledAndResumedEndsAsIfUninterrupted) {
  const struct {
    QStringList first, second;  // the operator's actions
    QString events;             // the first word of each row's event
  } cases[] = {
      // clang-format off
      {{"--die", "Waiting for steady state"}, {},
       "start heater step900 resumed steady: dwell step950 steady: dwell end"},
      {{"--die", "Dwell time:"}, {},
       "start heater step900 steady: resumed steady: dwell step950 steady: dwell end"},
      {{"--click", "Hold", "--die", "Dwell held for 1 s"}, {"--click", "Continue"},
       "start heater step900 steady: hold: resumed steady: hold: continue: dwell step950 steady: dwell end"},
      // clang-format on
  };
  const QString runs = temp.filePath("runs");
  writeIni("0.05", "Dir=" + QFile::encodeName(temp.path()) + "\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.events.toStdString());
    QDir(runs).removeRecursively();
    SimProcess sim;
    ASSERT_TRUE(sim.start(com1(), {"--speed", "1000", "--start", "900", "--pace", "off"}));
    // A start-up check that a busy machine answers late is tried again.
    const QStringList retry{"--answer", "Retry"};
    QProcess first, second;
    first.start(OVX_DRIVEN_PATH,
                retry + QStringList{"--answer", "OK", "--run", "900,950,50,1"} + c.first);
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitCode(), SIGKILL);
    // The heater stays on: the quit check asks, and OK ends the program.
    second.start(
        OVX_DRIVEN_PATH,
        retry + QStringList{"--answer", "Resume this step", "--answer", "OK", "--quit"} + c.second);
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    // The first word of each event (not of a read that a busy machine
    // answered late), and a step's setpoint.
    QStringList events;
    ReadRunLog(files::Read(runs + "/" + QDir(runs).entryList(QDir::Files).value(0)).value_or(""),
               [&](const CsvRow& row) {
                 if (ReadEvent(row.event))
                   events << row.event.section(' ', 0, 0) +
                                 (row.event.startsWith("step") ? QString::number(*row.W) : "");
               });
    EXPECT_EQ(events.join(' '), c.events);
  }
}

}  // namespace
}  // namespace ovx::test
