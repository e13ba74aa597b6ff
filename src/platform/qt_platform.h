// The real platform: Qt widgets for the boxes, QSerialPort for the line, the
// settings folder under $XDG_CONFIG_HOME/ovx, one monotonic clock.
#pragma once

#include <QLockFile>
#include <QPointer>
#include <QSocketNotifier>
#include <chrono>
#include <memory>
#include <vector>

#include "platform/disk_platform.h"

namespace ovx {

class QtSerialPort;
class MosquittoClient;

class QtPlatform : public DiskPlatform {
 public:
  QtPlatform();
  ~QtPlatform() override;

  // From now on SIGTERM, SIGINT and SIGHUP end the program as endProgram()
  // does, closing the port and releasing the locks first, and then by the
  // signal itself, so the parent sees which one it was. The same signal
  // again while that runs ends the program at once.
  void endOnSignals();

  double now() override;
  QDateTime wallClock() override;
  void sleep(double seconds) override;
  void processEvents() override;
  void beep() override;
  void setBusyCursor(bool busy) override;
  void writeStandardError(const QString& text) override;

  std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override;

  QSize screenSizeTwips() override;

  QString systemDirectory() override;
  // settingsFolder(), created when missing.
  QString windowsDirectory() override;
  // $XDG_CONFIG_HOME/ovx (default ~/.config/ovx).
  static QString settingsFolder();

  // Takes the lock file "ovx.lock" in the settings folder for the lifetime of
  // this object; a lock left by a dead process is taken over.
  bool anotherInstanceRunning() override;

  // The ports it creates are closed when the program ends.
  std::unique_ptr<SerialPort> createSerialPort() override;

  [[noreturn]] void endProgram(int status) override;

  // On libmosquitto; closed (at most a second) when the program ends.
  std::unique_ptr<MessageClient> createMessageClient() override;
  QString hostName() override;

 protected:
  MsgAnswer showMessageBox(const MessageBoxRequest& request) override;

  // A QTimer, precise to the millisecond.
  std::unique_ptr<Timer> createTimer(std::function<void()> handler) override;
  // Inside a yield, or in an event loop of a modal box or dialog (every
  // event loop but the application's own).
  bool insideHandler() override;
  std::optional<QString> saveFileName(const QString& title, const QString& suggestion,
                                      const QString& filter) override;

 private:
  // Closes the ports and the message clients, and releases the instance lock.
  void release();
  // Ends the program by the signal that endOnSignals() caught, if any.
  void honourSignal();

  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::unique_ptr<QLockFile> lock_;
  std::vector<QPointer<QtSerialPort>> ports_;
  std::vector<QPointer<MosquittoClient>> clients_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  int yields_ = 0;  // yields in progress
};

}  // namespace ovx
