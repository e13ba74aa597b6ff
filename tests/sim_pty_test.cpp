// ovx-sim on a real pseudo-terminal: the link, the line pace, a write frame
// read back, and a clean end on SIGTERM.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "link/codec.h"

namespace ovx {
namespace {

// OVX_SIM, else the build tree's ovx-sim beside the tests' folder.
QString SimPath() {
  const QString path = qEnvironmentVariable("OVX_SIM");
  if (!path.isEmpty()) return path;
  const QFileInfo beside(QCoreApplication::applicationDirPath() + "/../sim/ovx-sim");
  return beside.isExecutable() ? beside.canonicalFilePath() : QString();
}

// Opens the link as a plain raw serial line.
int OpenLine(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// Everything that arrives within `seconds`, or up to `want` characters.
QByteArray ReadFor(int fd, double seconds, int want) {
  QByteArray got;
  QElapsedTimer timer;
  timer.start();
  while (got.size() < want && timer.elapsed() < seconds * 1000) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) > 0) {
      char buffer[256];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, n);
    }
  }
  return got;
}

QByteArray Exchange(int fd, const QByteArray& request, double seconds = 0.5) {
  ::write(fd, request.constData(), request.size());
  return ReadFor(fd, seconds, kResponseLength);
}

class SimPty : public ::testing::Test {
 protected:
  void SetUp() override {
    if (SimPath().isEmpty() || !QFileInfo(SimPath()).isExecutable())
      GTEST_SKIP() << "ovx-sim not found (OVX_SIM)";
    link_ = dir_.filePath("com1");
    sim_.start(SimPath(), {"--link", link_, "--seed", "3"});
    ASSERT_TRUE(sim_.waitForReadyRead(5000)) << sim_.readAllStandardError().toStdString();
    EXPECT_TRUE(sim_.readLine().startsWith("/dev/pts/"));
    ASSERT_TRUE(QFileInfo(link_).isSymLink());
  }
  void TearDown() override {
    if (sim_.state() != QProcess::NotRunning) {
      sim_.kill();
      sim_.waitForFinished();
    }
  }

  QTemporaryDir dir_;
  QString link_;
  QProcess sim_;
};

TEST_F(SimPty, AnswersAtLinePaceAndAppliesWrites) {
  int fd = OpenLine(link_);
  ASSERT_GE(fd, 0);
  QElapsedTimer timer;
  timer.start();
  const QByteArray response = Exchange(fd, "R001NT?\r\n");
  const qint64 ms = timer.elapsed();
  ASSERT_EQ(response.size(), kResponseLength);
  EXPECT_GE(ms, 100) << "116 characters at 9600 baud take about 120 ms";
  EXPECT_LT(ms, 500);
  DataBlockWords words = DecodeDataBlock(DataField(response));
  EXPECT_EQ(words, DefaultParameterSet());

  words[kSetpoint] = 900;
  const QByteArray frame = WriteFrame(1, words) + "\r\n";
  ::write(fd, frame.constData(), frame.size());
  EXPECT_TRUE(ReadFor(fd, 0.3, 1).isEmpty());  // no answer to a write

  // Closing and reopening the line does not hang the pseudo-terminal up.
  ::close(fd);
  fd = OpenLine(link_);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(DecodeDataBlock(DataField(Exchange(fd, "R001NT?\r\n")))[kSetpoint], 900);
  const ValueBlock values = DecodeValueBlock(DataField(Exchange(fd, "R001NF?\r\n")));
  EXPECT_NEAR(values.ActualTemperature, 25, 1);
  ::close(fd);

  sim_.terminate();  // SIGTERM
  ASSERT_TRUE(sim_.waitForFinished(3000));
  EXPECT_EQ(sim_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(sim_.exitCode(), 0);
  EXPECT_FALSE(QFileInfo::exists(link_) || QFileInfo(link_).isSymLink());
}

TEST(SimOptions, RejectsBadValuesWithAMessage) {
  if (SimPath().isEmpty()) GTEST_SKIP() << "ovx-sim not found (OVX_SIM)";
  const QStringList cases[] = {{"--fault", "bogus"},          {"--speed", "0"}, {"--loop", "1.5"},
                               {"--pace", "maybe"},           {"--late", "-1"}, {"--seed", "x"},
                               {"--corrupt-probability", "2"}};
  for (const QStringList& args : cases) {
    SCOPED_TRACE(args.join(' ').toStdString());
    QProcess sim;
    sim.start(SimPath(), args);
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_NE(sim.exitCode(), 0);
    EXPECT_TRUE(sim.readAllStandardError().contains(args[0].mid(2).toUtf8()));
  }
}

}  // namespace
}  // namespace ovx

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
