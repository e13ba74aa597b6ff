// The real platform's serial port on a pseudo-terminal pair, its message
// boxes and its instance lock.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "platform/qt_platform.h"

namespace ovx {
namespace {

// The far end of a pseudo-terminal: the test holds the master side.
class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const char* name = ::ptsname(master_);
    if (name) slave_ = QString::fromLocal8Bit(name);
  }
  ~Pty() { close(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool valid() const { return master_ >= 0 && !slave_.isEmpty(); }
  const QString& slave() const { return slave_; }
  void close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  bool send(const QByteArray& bytes) {
    return ::write(master_, bytes.constData(), bytes.size()) == bytes.size();
  }
  // What arrives within `ms` milliseconds, until `count` bytes are there.
  QByteArray receive(qsizetype count, int ms = 2000) {
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < count && timer.elapsed() < ms) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, n);
    }
    return got;
  }

 private:
  int master_ = -1;
  QString slave_;
};

class RealPlatform : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.path()));
  }
  void TearDown() override { qputenv("XDG_CONFIG_HOME", saved); }

  // Points com1 in the settings folder at the device.
  void link(const QString& device) {
    const QString com1 = platform.windowsDirectory() + QStringLiteral("/com1");
    QFile::remove(com1);
    ASSERT_TRUE(QFile::link(device, com1));
  }

  QTemporaryDir temp;
  QByteArray saved;
  QtPlatform platform;
};

// Everything the port has received within `ms`, until `count` bytes are there;
// no events are handled meanwhile, as in the program's waits.
QByteArray readPort(SerialPort& port, qsizetype count, int ms = 2000) {
  QByteArray got;
  QElapsedTimer timer;
  timer.start();
  while (got.size() < count && timer.elapsed() < ms) {
    got += port.readAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return got;
}

TEST_F(RealPlatform, SerialPortOnPseudoTerminal) {
  auto first = std::make_unique<Pty>();
  ASSERT_TRUE(first->valid());
  link(first->slave());

  std::unique_ptr<SerialPort> port = platform.createSerialPort();
  EXPECT_FALSE(port->setSettings(QStringLiteral("9600,x,8,1")));
  ASSERT_TRUE(port->setSettings(QStringLiteral("9600,n,8,1")));
  EXPECT_FALSE(port->open(0));
  ASSERT_TRUE(port->open(1));
  port->raiseRtsDtr();
  // A port in use cannot be opened a second time.
  std::unique_ptr<SerialPort> busy = platform.createSerialPort();
  ASSERT_TRUE(busy->setSettings(QStringLiteral("9600,n,8,1")));
  EXPECT_FALSE(busy->open(1));

  // Bytes go out exactly as written, with no line-end translation.
  ASSERT_TRUE(port->write("R001NT?\r\n"));
  EXPECT_EQ(first->receive(9), QByteArray("R001NT?\r\n"));
  EXPECT_EQ(port->readAll(), QByteArray());

  const QByteArray answer = QByteArray("R001\r\n") + QByteArray(110, 'x') + '\0';
  ASSERT_TRUE(first->send(answer));
  EXPECT_EQ(readPort(*port, answer.size()), answer);

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
  ASSERT_TRUE(second.valid());
  link(second.slave());
  ASSERT_TRUE(port->write("R001NF?\r\n"));
  EXPECT_EQ(second.receive(9), QByteArray("R001NF?\r\n"));
  ASSERT_TRUE(second.send("ok\r\n"));
  EXPECT_EQ(readPort(*port, 4), QByteArray("ok\r\n"));
}

TEST_F(RealPlatform, SerialPortThatCannotOpen) {
  std::unique_ptr<SerialPort> port = platform.createSerialPort();
  ASSERT_TRUE(port->setSettings(QStringLiteral("9600,n,8,1")));
  // A link to nothing is still COM1's device, and opening it fails.
  link(temp.path() + QStringLiteral("/nothing"));
  EXPECT_FALSE(port->open(1));
  EXPECT_FALSE(port->write("x"));
  EXPECT_EQ(port->readAll(), QByteArray());
  // Four data bits cannot be set up on this system's lines.
  EXPECT_FALSE(port->setSettings(QStringLiteral("9600,n,4,1")));
}

TEST_F(RealPlatform, InstanceLock) {
  // Lock files left by a copy that died, complete or half-written, are taken over.
  const QString lock = platform.windowsDirectory() + QStringLiteral("/ovx.lock");
  for (const char* leftover : {"99999999\nqt_serial_test\n\n", ""}) {
    SCOPED_TRACE(leftover);
    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(leftover);
    file.close();
    QtPlatform copy;
    EXPECT_FALSE(copy.anotherInstanceRunning());
  }
  EXPECT_FALSE(platform.anotherInstanceRunning());
  EXPECT_FALSE(platform.anotherInstanceRunning());
  QtPlatform second;
  EXPECT_TRUE(second.anotherInstanceRunning());
  EXPECT_TRUE(QFile::exists(lock));
}

// Message boxes: exact title (the application title when none is given),
// button set, icon, default button and the Escape answer.
TEST_F(RealPlatform, MessageBoxes) {
  struct Case {
    MessageBoxRequest request;
    Qt::Key key;
    QString title;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    MsgAnswer answer;
  };
  const Case cases[] = {
      {{QStringLiteral("Quit?"), {}, MsgButtons::OkCancel, MsgIcon::None, MsgAnswer::Cancel},
       Qt::Key_Return,
       QStringLiteral("KALVEN OVX 7316"),
       QMessageBox::Ok | QMessageBox::Cancel,
       QMessageBox::NoIcon,
       MsgAnswer::Cancel},
      {{QStringLiteral("No answer"), QStringLiteral("OVX"), MsgButtons::RetryCancel,
        MsgIcon::Exclamation, MsgAnswer::Retry},
       Qt::Key_Return,
       QStringLiteral("OVX"),
       QMessageBox::Retry | QMessageBox::Cancel,
       QMessageBox::Warning,
       MsgAnswer::Retry},
      {{QStringLiteral("No answer"), QStringLiteral("OVX"), MsgButtons::RetryCancel,
        MsgIcon::Exclamation, MsgAnswer::Retry},
       Qt::Key_Escape,
       QStringLiteral("OVX"),
       QMessageBox::Retry | QMessageBox::Cancel,
       QMessageBox::Warning,
       MsgAnswer::Cancel},
      {{QStringLiteral("P <0..500>"), QStringLiteral("Invalid input"), MsgButtons::Ok,
        MsgIcon::Critical, MsgAnswer::Ok},
       Qt::Key_Escape,
       QStringLiteral("Invalid input"),
       QMessageBox::Ok,
       QMessageBox::Critical,
       MsgAnswer::Ok},
      {{QStringLiteral("Set?"), {}, MsgButtons::OkCancel, MsgIcon::Question, MsgAnswer::Ok},
       Qt::Key_Return,
       QStringLiteral("KALVEN OVX 7316"),
       QMessageBox::Ok | QMessageBox::Cancel,
       QMessageBox::Question,
       MsgAnswer::Ok},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.text.toStdString());
    QString title, text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      title = box->windowTitle();
      text = box->text();
      buttons = box->standardButtons();
      icon = box->icon();
      QTest::keyClick(box->defaultButton() ? static_cast<QWidget*>(box->defaultButton()) : box,
                      c.key);
    });
    EXPECT_EQ(platform.messageBox(c.request), c.answer);
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(text, c.request.text);
    EXPECT_EQ(buttons, c.buttons);
    EXPECT_EQ(icon, c.icon);
  }
}

}  // namespace
}  // namespace ovx

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
