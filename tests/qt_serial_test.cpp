// The real platform's serial port on a pseudo-terminal pair (also one that
// hangs up or chatters), its message boxes and its instance lock.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <thread>

#include "support/harness.h"

namespace ovx {
namespace {

// The far end of a pseudo-terminal: the test holds the master side.
struct Pty {
  Pty() {
    fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd >= 0 && ::grantpt(fd) == 0 && ::unlockpt(fd) == 0 && ::ptsname(fd))
      slave = QString::fromLocal8Bit(::ptsname(fd));
  }
  ~Pty() { close(); }
  void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  bool send(const QByteArray& bytes) {
    return ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
  }
  // What arrives within 2 s, until `count` bytes are there.
  QByteArray receive(qsizetype count) {
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    char buffer[256];
    for (pollfd p{fd, POLLIN, 0}; got.size() < count && timer.elapsed() < 2000;)
      if (::poll(&p, 1, 20) > 0 && ::read(fd, buffer, 1) == 1) got += buffer[0];
    return got;
  }
  int fd = -1;
  QString slave;
};

// What the port receives within 2 s, until `count` bytes are there; no events
// are handled meanwhile, as in the program's waits.
QByteArray ReadPort(SerialPort& port, qsizetype count) {
  QByteArray got;
  QElapsedTimer timer;
  timer.start();
  while (got.size() < count && timer.elapsed() < 2000) {
    got += port.readAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return got;
}

class RealPlatform : public test::RealPlatformTest {
 protected:
  // Points com1 in the settings folder at the device.
  void link(const QString& device) {
    const QString com1 = platform.windowsDirectory() + "/com1";
    QFile::remove(com1);
    ASSERT_TRUE(QFile::link(device, com1));
  }
};

TEST_F(RealPlatform, SerialPortOnPseudoTerminal) {
  auto first = std::make_unique<Pty>();
  ASSERT_FALSE(first->slave.isEmpty());
  link(first->slave);
  std::unique_ptr<SerialPort> port = platform.createSerialPort();
  EXPECT_FALSE(port->setSettings("9600,x,8,1"));
  ASSERT_TRUE(port->setSettings("9600,n,8,1"));
  EXPECT_FALSE(port->open(0));
  ASSERT_TRUE(port->open(1));
  port->raiseRtsDtr();
  // A port in use cannot be opened a second time.
  std::unique_ptr<SerialPort> busy = platform.createSerialPort();
  ASSERT_TRUE(busy->setSettings("9600,n,8,1"));
  EXPECT_FALSE(busy->open(1));

  // Bytes go out and come in exactly, with no line-end translation.
  ASSERT_TRUE(port->write("R001NT?\r\n"));
  EXPECT_EQ(first->receive(9), QByteArray("R001NT?\r\n"));
  const QByteArray answer = QByteArray("R001\r\n") + QByteArray(110, 'x') + '\0';
  ASSERT_TRUE(first->send(answer));
  EXPECT_EQ(ReadPort(*port, answer.size()), answer);

  // The far end goes away: writes fail at once, reads find nothing.
  first->close();
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(port->write("R001NT?\r\n"));
  EXPECT_EQ(port->readAll(), QByteArray());
  EXPECT_FALSE(port->write("R001NT?\r\n"));
  EXPECT_LT(timer.elapsed(), 1000);

  // A new far end behind the same link: the next write reopens the port.
  Pty second;
  link(second.slave);
  ASSERT_TRUE(port->write("R001NF?\r\n"));
  EXPECT_EQ(second.receive(9), QByteArray("R001NF?\r\n"));
  ASSERT_TRUE(second.send("ok\r\n"));
  EXPECT_EQ(ReadPort(*port, 4), QByteArray("ok\r\n"));
}

// Processor time of this process while its event loop idles for `ms`.
double IdleCpuSeconds(int ms) {
  const auto cpu = [] {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  };
  const double start = cpu();
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  return cpu() - start;
}

TEST_F(RealPlatform, HungUpLineIdlesWithoutProcessorTime) {
  auto first = std::make_unique<Pty>();
  link(first->slave);
  std::unique_ptr<SerialPort> port = platform.createSerialPort();
  ASSERT_TRUE(port->setSettings("9600,n,8,1") && port->open(1));
  first.reset();
  EXPECT_LT(IdleCpuSeconds(1000), 0.01) << "under 1 % of a core";

  // A line found dead by a read is closed; a write reopens it on a new far
  // end, which the close noted for the event loop must leave open.
  Pty second;
  link(second.slave);
  ASSERT_TRUE(port->write("R001NT?\r\n"));
  second.close();
  EXPECT_EQ(port->readAll(), QByteArray());
  Pty third;
  link(third.slave);
  ASSERT_TRUE(port->write("R001NT?\r\n"));
  IdleCpuSeconds(50);
  ASSERT_TRUE(third.send("ok\r\n"));
  EXPECT_EQ(ReadPort(*port, 4), QByteArray("ok\r\n"));
}

TEST_F(RealPlatform, ChatteringLineKeepsMemoryFlatAndAnswersWhole) {
  Pty peer;
  link(peer.slave);
  std::unique_ptr<SerialPort> port = platform.createSerialPort();
  ASSERT_TRUE(port->setSettings("9600,n,8,1") && port->open(1));
  // Unasked bytes in small pieces while the event loop idles, as fast as the
  // line takes them.
  ::fcntl(peer.fd, F_SETFL, ::fcntl(peer.fd, F_GETFL) | O_NONBLOCK);
  long pages = 0, before = 0, after = 0;
  std::ifstream("/proc/self/statm") >> pages >> before;
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 500) {
    (void)!::write(peer.fd, "abc", 3);
    QCoreApplication::processEvents();
  }
  std::ifstream("/proc/self/statm") >> pages >> after;
#if !defined(__SANITIZE_ADDRESS__)  // whose quarantine holds freed memory
  EXPECT_LT((after - before) * ::getpagesize(), 10 << 20);
#endif
  // A request still goes out; the chatter is kept in part, and the answer
  // that follows it comes whole and alone.
  ASSERT_TRUE(port->write("R001NT?\r\n"));
  EXPECT_EQ(peer.receive(9), QByteArray("R001NT?\r\n"));
  const QByteArray kept = port->readAll();
  EXPECT_TRUE(kept.startsWith("abcabc") && kept.size() <= 4096) << kept.size();
  const QByteArray answer = QByteArray("A001NT") + QByteArray(107, 'x') + "Q\r\n";
  ASSERT_TRUE(peer.send(answer));
  EXPECT_EQ(ReadPort(*port, answer.size()), answer);
}

TEST_F(RealPlatform, SerialPortThatCannotOpen) {
  std::unique_ptr<SerialPort> port = platform.createSerialPort();
  ASSERT_TRUE(port->setSettings("9600,n,8,1"));
  link(temp.path() + "/nothing");
  EXPECT_FALSE(port->open(1));
  EXPECT_FALSE(port->write("x"));
  EXPECT_EQ(port->readAll(), QByteArray());
  // Four data bits cannot be set up on this system's lines.
  EXPECT_FALSE(port->setSettings("9600,n,4,1"));
}

TEST_F(RealPlatform, InstanceLock) {
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

// Message boxes: exact title (the application title when none is given),
// button set, icon, default button and the Escape answer.
TEST_F(RealPlatform, MessageBoxes) {
  using B = QMessageBox;
  struct Case {
    MessageBoxRequest request;
    Qt::Key key;
    QString title;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    MsgAnswer answer;
  } cases[] = {
      // clang-format off
      {{"Quit?", {}, MsgButtons::OkCancel, MsgIcon::None, MsgAnswer::Cancel}, Qt::Key_Return,
       "KALVEN OVX 7316", B::Ok | B::Cancel, B::NoIcon, MsgAnswer::Cancel},
      {{"No answer", "OVX", MsgButtons::RetryCancel, MsgIcon::Exclamation, MsgAnswer::Retry},
       Qt::Key_Return, "OVX", B::Retry | B::Cancel, B::Warning, MsgAnswer::Retry},
      {{"No answer", "OVX", MsgButtons::RetryCancel, MsgIcon::Exclamation, MsgAnswer::Retry},
       Qt::Key_Escape, "OVX", B::Retry | B::Cancel, B::Warning, MsgAnswer::Cancel},
      {{"P?", "Invalid input", MsgButtons::Ok, MsgIcon::Critical, MsgAnswer::Ok}, Qt::Key_Escape,
       "Invalid input", B::Ok, B::Critical, MsgAnswer::Ok},
      {{"Set?", {}, MsgButtons::OkCancel, MsgIcon::Question, MsgAnswer::Ok}, Qt::Key_Return,
       "KALVEN OVX 7316", B::Ok | B::Cancel, B::Question, MsgAnswer::Ok},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.text.toStdString());
    QString title, text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = B::NoIcon;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      title = box->windowTitle(), text = box->text();
      buttons = box->standardButtons(), icon = box->icon();
      QTest::keyClick(box->defaultButton() ? static_cast<QWidget*>(box->defaultButton()) : box,
                      c.key);
    });
    EXPECT_EQ(platform.messageBox(c.request), c.answer);
    EXPECT_EQ(title + "|" + text, c.title + "|" + c.request.text);
    EXPECT_EQ(buttons, c.buttons);
    EXPECT_EQ(icon, c.icon);
  }
}

}  // namespace
}  // namespace ovx
