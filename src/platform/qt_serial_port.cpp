#include "platform/qt_serial_port.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace ovx {
namespace {

QSerialPort::Parity toParity(char parity) {
  switch (parity) {
    case 'e':
      return QSerialPort::EvenParity;
    case 'o':
      return QSerialPort::OddParity;
    case 'm':
      return QSerialPort::MarkParity;
    case 's':
      return QSerialPort::SpaceParity;
    default:
      return QSerialPort::NoParity;
  }
}

QSerialPort::StopBits toStopBits(double stopBits) {
  if (stopBits == 2) return QSerialPort::TwoStop;
  if (stopBits == 1.5) return QSerialPort::OneAndHalfStop;
  return QSerialPort::OneStop;
}

// Upper bound of the kernel reads one drain makes, so a line that never
// falls silent cannot hold the caller.
constexpr int kMaxDrainReads = 1000;

QString SystemText(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

// The device that the path stands for: where its links lead in the end, or
// the file that a dangling link names.
QString FinalDevice(const QString& path) {
  const QFileInfo info(path);
  const QString device = info.canonicalFilePath();
  if (!device.isEmpty()) return device;
  return info.isSymLink() ? info.symLinkTarget() : path;
}

// How this user gets a device that it may not open: serial devices belong to
// a group (dialout on Debian) whose members may use them.
QStringList Remedy(const struct stat& device) {
  QString group = QStringLiteral("dialout");
  const bool groupMayUse = (device.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (groupMayUse && device.st_gid != 0) {
    if (const struct group* g = ::getgrgid(device.st_gid))
      group = QString::fromLocal8Bit(g->gr_name);
  }
  const struct passwd* user = ::getpwuid(::geteuid());
  const QString name = user ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("$USER");
  return {
      QStringLiteral("To use it, add user %1 to the group %2 and log in again:").arg(name, group),
      QStringLiteral("sudo adduser %1 %2").arg(name, group)};
}

}  // namespace

QtSerialPort::QtSerialPort(QString settingsFolder) : folder_(std::move(settingsFolder)) {
  // Between exchanges the event loop lets QSerialPort read what arrives into
  // its buffer, which would grow without end on a line that chatters (and
  // by far more than the bytes, when they come in small pieces). With a
  // limit it stops reading once the buffer is full.
  port_.setReadBufferSize(kReadLimit);
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort() = default;

bool QtSerialPort::setSettings(const QString& settings) {
  const std::optional<LineSettings> parsed = ParseLineSettings(settings);
  if (!parsed) return false;
  // Serial lines here carry 5 to 8 data bits; 4 cannot be set up, so it is
  // refused with the settings rather than sent as something else.
  if (parsed->dataBits < 5) return false;
  settings_ = *parsed;
  // Stored until open() applies them; on an open port they apply at once and
  // the device may refuse them.
  const bool applied = port_.setBaudRate(settings_.baud) &&
                       port_.setParity(toParity(settings_.parity)) &&
                       port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
                       port_.setStopBits(toStopBits(settings_.stopBits)) &&
                       port_.setFlowControl(QSerialPort::NoFlowControl);
  port_.clearError();
  return applied;
}

QString QtSerialPort::devicePath(int portNumber) const {
  // A link com<n> in the settings folder (even a dangling one) names the
  // device; otherwise COM n is the n-th built-in serial port.
  const QString link = folder_ + QStringLiteral("/com") + QString::number(portNumber);
  const QFileInfo info(link);
  if (info.exists() || info.isSymLink()) return link;
  return QStringLiteral("/dev/ttyS") + QString::number(portNumber - 1);
}

QString QtSerialPort::device() const {
  const QFileInfo info(path_);
  return info.isSymLink() ? path_ + QStringLiteral(" -> ") + info.symLinkTarget() : path_;
}

bool QtSerialPort::open(int portNumber) {
  failure_ = {};
  if (portNumber < 1) return false;
  if (port_.isOpen()) port_.close();
  path_ = devicePath(portNumber);
  if (!openPath()) {
    path_.clear();
    return false;
  }
  return true;
}

bool QtSerialPort::openPath() {
  port_.clearError();
  failure_ = {};
  // The link is followed again on every reopen, so a link pointed elsewhere
  // takes effect. The port is opened by the name of the device it leads to:
  // QSerialPort names its lock file after it ("LCK..ttyUSB0"), where other
  // programs look for it. The settings given earlier are applied by open().
  const QString device = QFileInfo(path_).canonicalFilePath();
  port_.setPortName(device.isEmpty() ? path_ : device);
  if (!port_.open(QIODevice::ReadWrite)) {
    failure_ = diagnose(port_.error());
    port_.clearError();
    return false;
  }
  lost_ = false;
  held_.clear();
  if (rtsDtr_) raiseRtsDtr();
  return true;
}

PortFailure QtSerialPort::diagnose(QSerialPort::SerialPortError error) const {
  PortFailure failure;
  failure.device = FinalDevice(path_);
  const QByteArray name = QFile::encodeName(path_);
  struct stat device {};
  if (::stat(name.constData(), &device) != 0) {
    failure.reason = SystemText(errno);
    return failure;
  }
  // As the open itself asks: for this process's effective user.
  if (::faccessat(AT_FDCWD, name.constData(), R_OK | W_OK, AT_EACCESS) != 0) {
    const int denied = errno;
    failure.reason = SystemText(denied);
    if (denied == EACCES) failure.remedy = Remedy(device);
    return failure;
  }
  // The user may open it, so someone else holds it: by its lock file, which
  // QSerialPort reports in words of its own, or by the terminal's exclusive
  // mode (EBUSY).
  failure.reason = error == QSerialPort::PermissionError ? SystemText(EBUSY) : port_.errorString();
  return failure;
}

bool QtSerialPort::reopen() {
  if (path_.isEmpty()) return false;
  if (port_.isOpen()) port_.close();
  return openPath();
}

void QtSerialPort::close() {
  port_.close();
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
  if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError &&
      error != QSerialPort::WriteError)
    return;
  // A line whose far end hung up stays readable for ever: the port's
  // notifier would report the failure again and again and keep a core busy
  // while the event loop idles. The port is closed instead; not here, as the
  // notifier that reports it may be running, and only when no write has
  // reopened the port meanwhile.
  lost_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (lost_) port_.close();
      },
      Qt::QueuedConnection);
}

void QtSerialPort::raiseRtsDtr() {
  rtsDtr_ = true;
  if (!port_.isOpen()) return;
  // A pseudo-terminal has no modem lines: the failure is expected and only
  // leaves an error state behind.
  port_.setRequestToSend(true);
  port_.setDataTerminalReady(true);
  port_.clearError();
}

bool QtSerialPort::write(const QByteArray& data) {
  if ((lost_ || !port_.isOpen()) && !reopen()) return false;
  if (data.isEmpty()) return true;
  if (port_.write(data) != data.size()) {
    lost_ = true;
    return false;
  }
  // Time for the bytes at the line rate (about 10 bits a character), plus a
  // margin; the kernel normally takes them at once.
  const qint64 lineMs = data.size() * 10'000LL / std::max(settings_.baud, 1);
  const QDeadlineTimer deadline(std::min<qint64>(100 + lineMs, 5000));
  while (port_.bytesToWrite() > 0) {
    // The wait also reads what arrives, and stops short while the port's
    // buffer is full: what is there is kept aside to make room.
    hold(port_.readAll());
    if (!port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime())) &&
        (port_.error() != QSerialPort::NoError || deadline.hasExpired())) {
      lost_ = true;
      port_.clearError();
      return false;
    }
  }
  return true;
}

void QtSerialPort::hold(const QByteArray& bytes) {
  held_ += bytes.left(kReadLimit - held_.size());
}

QByteArray QtSerialPort::readAll() {
  if (port_.isOpen()) {
    // The port's buffer holds at most kReadLimit bytes; whatever the kernel
    // holds beyond them is read as well, and dropped once kReadLimit are kept.
    hold(port_.readAll());
    for (int i = 0; i < kMaxDrainReads && port_.waitForReadyRead(0); ++i) hold(port_.readAll());
    const QSerialPort::SerialPortError error = port_.error();
    // waitForReadyRead(0) ends with a timeout once the kernel has no more.
    if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError) lost_ = true;
    port_.clearError();
    if (lost_) port_.close();
  }
  return std::exchange(held_, QByteArray());
}

}  // namespace ovx
