// The serial port on QSerialPort, driven without an event loop: writes wait
// until the bytes are handed to the kernel, reads first drain what the kernel
// holds. A port that fails (an unplugged adapter, a simulator that went away)
// is closed, also while the event loop idles, and reopened on the same path
// by the next write.
#pragma once

#include <QSerialPort>
#include <QString>

#include "platform/platform.h"
#include "protocol/serial_settings.h"

namespace ovx {

class QtSerialPort : public QObject, public SerialPort {
 public:
  // Bytes kept of what arrives between two reads; the rest is dropped.
  static constexpr qint64 kReadLimit = 4096;

  // `settingsFolder` holds the optional links com1, com2, ... to devices.
  explicit QtSerialPort(QString settingsFolder);
  ~QtSerialPort() override;

  bool setSettings(const QString& settings) override;
  bool open(int portNumber) override;
  void raiseRtsDtr() override;
  bool write(const QByteArray& data) override;
  QByteArray readAll() override;
  // Closes the port and so releases its lock file.
  void close();
  // The path opened, and where a link there points: "…/com1 -> /dev/pts/3".
  QString device() const override;
  PortFailure openFailure() const override { return failure_; }

  // The device path that COM port n stands for.
  QString devicePath(int portNumber) const;

 private:
  bool openPath();
  // Why the device at path_ did not open, QSerialPort having failed with `error`.
  PortFailure diagnose(QSerialPort::SerialPortError error) const;
  bool reopen();
  void onError(QSerialPort::SerialPortError error);
  // Keeps the bytes for the next readAll(), up to kReadLimit in all.
  void hold(const QByteArray& bytes);

  QString folder_;
  LineSettings settings_;
  QString path_;         // set by a successful open
  PortFailure failure_;  // of the last open
  bool lost_ = false;
  bool rtsDtr_ = false;
  QByteArray held_;  // read from the port, not yet returned by readAll()
  QSerialPort port_;
};

}  // namespace ovx
