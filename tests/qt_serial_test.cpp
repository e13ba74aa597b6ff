// The real platform's serial port on a pseudo-terminal pair (also one that
// hangs up or chatters), its message boxes and its instance lock.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "support/harness.h"

namespace ovx::test {
namespace {

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

// Processor time of this process while its event loop idles for `ms`.
double IdleCpuSeconds(int ms) {
  const double before = CpuSeconds();
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  return CpuSeconds() - before;
}

class RealPort : public RealPlatformTest {
 protected:
  // Points com1 in the settings folder at the device.
  void link(const QString& device) {
    const QString com1 = platform.windowsDirectory() + "/com1";
    QFile::remove(com1);
    ASSERT_TRUE(QFile::link(device, com1));
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
  EXPECT_LT(IdleCpuSeconds(500), 0.01) << "under 2 % of a core";
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
  IdleCpuSeconds(50);
  ASSERT_TRUE(third.send("ok\r\n"));
  EXPECT_EQ(ReadFor(*port, 4), "ok\r\n");
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
#if !defined(__SANITIZE_ADDRESS__)  // whose quarantine holds freed memory
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

// Message boxes: the title (the application's when none is given), buttons,
// icon, and the answer to Return (the default button) or Escape.
TEST_F(RealPort, MessageBoxes) {
  using B = QMessageBox;
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
      {{"P?", "Invalid input", MsgButtons::Ok, MsgIcon::Critical, MsgAnswer::Ok}, Qt::Key_Escape,
       "Invalid input|P?", B::Ok, B::Critical, MsgAnswer::Ok},
      {{"Set?", {}, MsgButtons::OkCancel, MsgIcon::Question, MsgAnswer::Ok}, Qt::Key_Return,
       "KALVEN OVX 7316|Set?", B::Ok | B::Cancel, B::Question, MsgAnswer::Ok},
      {{"Set?", {}, MsgButtons::OkCancel, MsgIcon::Question, MsgAnswer::Ok}, Qt::Key_Escape,
       "KALVEN OVX 7316|Set?", B::Ok | B::Cancel, B::Question, MsgAnswer::Cancel},
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
      buttons = box->standardButtons(), icon = box->icon();
      QTest::keyClick(box->defaultButton() ? static_cast<QWidget*>(box->defaultButton()) : box,
                      c.key);
    });
    EXPECT_EQ(platform.messageBox(c.request), c.answer) << c.shown.toStdString();
    EXPECT_EQ(std::tuple(shown, buttons, icon), std::tuple(c.shown, c.buttons, c.icon));
  }
}

}  // namespace
}  // namespace ovx::test
