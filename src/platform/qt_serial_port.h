// The serial port on QSerialPort, driven without an event loop: writes wait
// until the bytes are handed to the kernel, reads first drain what the kernel
// holds. A port that fails (an unplugged adapter, a simulator that went away)
// is reopened on the same path by the next write.
#pragma once

#include <QSerialPort>
#include <QString>

#include "platform/platform.h"
#include "protocol/serial_settings.h"

namespace ovx {

class QtSerialPort : public SerialPort {
 public:
  // `settingsFolder` holds the optional links com1, com2, ... to devices.
  explicit QtSerialPort(QString settingsFolder);
  ~QtSerialPort() override;

  bool setSettings(const QString& settings) override;
  bool open(int portNumber) override;
  void raiseRtsDtr() override;
  bool write(const QByteArray& data) override;
  QByteArray readAll() override;
  // The path opened, and where a link there points: "…/com1 -> /dev/pts/3".
  QString device() const override;

  // The device path that COM port n stands for.
  QString devicePath(int portNumber) const;

 private:
  bool openPath();
  bool reopen();

  QString folder_;
  LineSettings settings_;
  QString path_;  // set by a successful open
  bool lost_ = false;
  bool rtsDtr_ = false;
  QSerialPort port_;
};

}  // namespace ovx
