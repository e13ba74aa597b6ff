// ovx-sim on a real pseudo-terminal: the link, the line pace, a write frame
// read back, and a clean end on SIGTERM.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include "protocol/codec.h"
#include "support/sim_process.h"

namespace ovx {
namespace {

// Opens the link as a plain raw serial line.
int OpenLine(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
  termios tio{};
  if (fd < 0 || ::tcgetattr(fd, &tio) != 0) return fd;
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// Sends `request`; then what arrives within `ms`, up to a block response.
QByteArray Exchange(int fd, const QByteArray& request, int ms = 500) {
  if (::write(fd, request.constData(), request.size()) != request.size()) return {};
  QByteArray got;
  QElapsedTimer timer;
  timer.start();
  char buffer[256];
  for (pollfd p{fd, POLLIN, 0}; got.size() < kResponseLength && timer.elapsed() < ms;)
    if (::poll(&p, 1, 10) > 0) got.append(buffer, std::max<ssize_t>(0, ::read(fd, buffer, 256)));
  return got;
}

TEST(SimPty, AnswersAtLinePaceAppliesWritesAndEndsCleanly) {
  QTemporaryDir dir;
  const QString link = dir.filePath("com1");
  test::SimProcess sim;
  ASSERT_TRUE(sim.start(link, {"--seed", "3"}));
  int fd = OpenLine(link);
  ASSERT_GE(fd, 0);
  QElapsedTimer timer;
  timer.start();
  const QByteArray response = Exchange(fd, "R001NT?\r\n");
  ASSERT_EQ(response.size(), kResponseLength);
  EXPECT_GE(timer.elapsed(), 100) << "116 characters at 9600 baud take about 120 ms";
  EXPECT_LT(timer.elapsed(), 500);
  DataBlockWords words = DecodeDataBlock(DataField(response));
  EXPECT_EQ(words, DefaultParameterSet());

  words[kSetpoint] = 900;
  EXPECT_TRUE(Exchange(fd, WriteFrame(1, words) + "\r\n", 300).isEmpty());  // no answer
  // Closing and reopening the line does not hang the pseudo-terminal up.
  ::close(fd);
  fd = OpenLine(link);
  EXPECT_EQ(DecodeDataBlock(DataField(Exchange(fd, "R001NT?\r\n")))[kSetpoint], 900);
  EXPECT_NEAR(DecodeValueBlock(DataField(Exchange(fd, "R001NF?\r\n"))).ActualTemperature, 25, 1);
  ::close(fd);

  sim.stop();  // SIGTERM
  EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(sim.process().exitCode(), 0);
  EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST(SimOptions, RejectsBadValuesWithAMessage) {
  const QStringList cases[] = {{"--fault", "bogus"},          {"--speed", "0"}, {"--loop", "1.5"},
                               {"--pace", "maybe"},           {"--late", "-1"}, {"--seed", "x"},
                               {"--corrupt-probability", "2"}};
  for (const QStringList& args : cases) {
    QProcess sim;
    sim.start(test::SimProcess::path(), args);
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_NE(sim.exitCode(), 0) << args.join(' ').toStdString();
    EXPECT_TRUE(sim.readAllStandardError().contains(args[0].mid(2).toUtf8()));
  }
}

}  // namespace
}  // namespace ovx
