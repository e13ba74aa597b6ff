// The real platform: Qt widgets for the boxes, QSerialPort for the line, the
// settings folder under $XDG_CONFIG_HOME/ovx, one monotonic clock.
#pragma once

#include <QLockFile>
#include <chrono>
#include <memory>

#include "platform/platform.h"

namespace ovx {

class QtPlatform : public Platform {
 public:
  QtPlatform();
  ~QtPlatform() override;

  double now() override;
  QDateTime wallClock() override;
  void sleep(double seconds) override;
  void processEvents() override;
  void beep() override;
  void setBusyCursor(bool busy) override;

  MsgAnswer messageBox(const MessageBoxRequest& request) override;
  std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override;

  QSize screenSizeTwips() override;

  QString systemDirectory() override;
  // $XDG_CONFIG_HOME/ovx (default ~/.config/ovx), created when missing.
  QString windowsDirectory() override;

  // Takes the lock file "ovx.lock" in the settings folder for the lifetime of
  // this object; a lock left by a dead process is taken over.
  bool anotherInstanceRunning() override;

  std::unique_ptr<SerialPort> createSerialPort() override;

  [[noreturn]] void endProgram(int status) override;

  int profileInt(const QString& section, const QString& key, int defaultValue,
                 const QString& fileName) override;
  QString profileString(const QString& section, const QString& key, const QString& defaultValue,
                        const QString& fileName) override;
  bool writeProfileString(const QString& section, const QString& key, const QString& value,
                          const QString& fileName) override;

  bool fileExists(const QString& path) override;
  std::optional<QByteArray> readFile(const QString& path) override;
  FileError whyUnreadable(const QString& path) override;
  FileError writeFileDurably(const QString& path, const QByteArray& data) override;
  FileError renameReplacing(const QString& from, const QString& to) override;

  // A QTimer, precise to the millisecond.
  std::unique_ptr<Timer> createTimer(std::function<void()> handler) override;
  // Inside a yield, or in an event loop of a modal box or dialog (every
  // event loop but the application's own).
  bool insideHandler() override;
  std::optional<QString> saveFileName(const QString& title, const QString& suggestion,
                                      const QString& filter) override;

 private:
  QString profilePath(const QString& fileName);

  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::unique_ptr<QLockFile> lock_;
  int yields_ = 0;  // yields in progress
};

}  // namespace ovx
