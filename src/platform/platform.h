// Everything the program asks of the operating system and the desktop goes
// through these interfaces: a Qt implementation runs the real program, and the
// test platform in tests/ runs it on a virtual clock with scripted dialogs.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "platform/message_client.h"

class QWidget;

namespace ovx {

// Custom: the buttons named in the request's buttonTexts.
enum class MsgButtons { Ok, OkCancel, RetryCancel, Custom };
enum class MsgIcon { None, Critical, Question, Exclamation };
// First, Second and Third answer for the custom buttons, left to right.
enum class MsgAnswer { Ok, Cancel, Retry, First, Second, Third };

// One modal message box. An empty title shows the application title.
struct MessageBoxRequest {
  QString text;
  QString title;
  MsgButtons buttons = MsgButtons::Ok;
  MsgIcon icon = MsgIcon::None;
  MsgAnswer defaultButton = MsgAnswer::Ok;
  // The texts of up to three custom buttons, left to right. Escape and the
  // close box answer the last, as they answer Cancel in the other sets.
  QStringList buttonTexts = {};
};

// Why a serial port could not be opened, in the system's words.
struct PortFailure {
  // The device that the port stands for: where its link leads in the end
  // ("/dev/ttyUSB0"), or the file that a dangling link names.
  QString device;
  // "Permission denied", "No such file or directory", "Device or resource busy", ...
  QString reason;
  // What gives this user the device, line by line, when permission was
  // denied; else empty.
  QStringList remedy;
};

// The serial port. The program never closes it; the platform does when the
// program ends.
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Takes the line settings text ("9600,n,8,1"); false when the text is malformed.
  virtual bool setSettings(const QString& settings) = 0;
  // Opens COM port n; false when it is missing, busy or out of range.
  virtual bool open(int portNumber) = 0;
  // Raises RTS and DTR; failures are ignored.
  virtual void raiseRtsDtr() = 0;
  // Hands the bytes to the line and returns at once; false when the port
  // failed (a lost port tries to reopen on every write).
  virtual bool write(const QByteArray& data) = 0;
  // Everything received and not yet read, without blocking; empty when none.
  // The real port keeps at most a few kilobytes of it (far more than an
  // answer) and drops the rest, so a line that chatters cannot fill memory.
  virtual QByteArray readAll() = 0;
  // The device that the opened port stands for, as the operator would look
  // for it; empty when there is none to name.
  virtual QString device() const { return {}; }
  // Why the last open() failed; empty when it did not or nothing can be said.
  virtual PortFailure openFailure() const { return {}; }
};

// Result of a file operation: empty on success, else the reason in words.
using FileError = QString;

// A file that only grows, for logs. Closed when deleted.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // Where it was created.
  virtual QString path() const = 0;
  // Adds the bytes at the end and has them on disk when it returns. On a
  // failure the file ends as it ended before, and the reason is returned.
  virtual FileError append(const QByteArray& data) = 0;
  // True when the file is no longer the one under its path: removed, or
  // another put in its place. What is appended then is lost with it.
  virtual bool detached() const = 0;
};

// A single-shot timer on the platform's clock. Its handler runs from the event
// loop: the top-level one, or a yield or modal box inside a handler.
class Timer {
 public:
  virtual ~Timer() = default;
  // Runs the handler once, `seconds` from now; a running timer starts again.
  virtual void start(double seconds) = 0;
  virtual void stop() = 0;
  virtual bool active() const = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The one monotonic clock, in seconds; never goes backwards.
  virtual double now() = 0;
  // The local date and time, with its UTC offset, for what the program
  // writes down; waits and elapsed times use now().
  virtual QDateTime wallClock() = 0;
  // Sleeps for a short while without handling events (advances the virtual
  // clock on the test platform).
  virtual void sleep(double seconds) = 0;
  // Handles pending window events once.
  virtual void processEvents() = 0;
  virtual void beep() = 0;
  virtual void setBusyCursor(bool busy) = 0;
  // Writes the text to standard error, for whoever started the program from
  // a terminal or a script.
  virtual void writeStandardError(const QString& text) = 0;

  // Shows the box with every line of its text cut to kBoxLineLimit
  // characters (see clipLines), then answers what showMessageBox answers.
  MsgAnswer messageBox(const MessageBoxRequest& request);
  // nullopt when the operator cancels.
  virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                          const QString& defaultText) = 0;

  // Screen size in twips (15 twips to the pixel).
  virtual QSize screenSizeTwips() = 0;

  // Directory paths without a trailing separator; empty when there is none.
  virtual QString systemDirectory() = 0;
  virtual QString windowsDirectory() = 0;
  // Separator that is appended to directory settings ("/" here).
  virtual QString pathSeparator() { return QStringLiteral("/"); }

  // True when another copy of the program runs with the same settings folder.
  // The first call takes the lock for this copy.
  virtual bool anotherInstanceRunning() = 0;

  virtual std::unique_ptr<SerialPort> createSerialPort() = 0;

  // Ends the program at once with the exit status, after closing the serial
  // port and releasing the instance lock; no handler runs after it.
  [[noreturn]] virtual void endProgram(int status) = 0;

  // Private-profile file access on a bare file name in the Windows directory.
  virtual int profileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& fileName) = 0;
  virtual QString profileString(const QString& section, const QString& key,
                                const QString& defaultValue, const QString& fileName) = 0;
  virtual bool writeProfileString(const QString& section, const QString& key, const QString& value,
                                  const QString& fileName) = 0;

  // Text files, as raw bytes. Only regular files (or links to them) are
  // opened, so a pipe or a device under the name never blocks the program.
  virtual bool fileExists(const QString& path) = 0;
  // nullopt when the file cannot be opened for reading.
  virtual std::optional<QByteArray> readFile(const QString& path) = 0;
  // Why something that exists at the path cannot be read as a file ("Is a
  // directory", "Permission denied"); empty when it can, or when nothing is
  // there.
  virtual FileError whyUnreadable(const QString& path) = 0;
  // Replaces the file (creates it when missing) with the bytes in one step,
  // flushed to disk; a link is followed and its target replaced. Refused,
  // with nothing changed, when the name holds something other than a regular
  // file, a dangling link, or a file whose mode forbids this user to write.
  virtual FileError writeFileDurably(const QString& path, const QByteArray& data) = 0;
  // Creates the file whole, or not at all, when nothing is there under that
  // name (not even a dangling link); also on file systems without hard links.
  virtual FileError createFile(const QString& path, const QByteArray& data) = 0;
  // Creates the folder unless it is there.
  virtual FileError createFolder(const QString& path) = 0;
  // Creates a new file at the path to append to. An existing file is never
  // opened: when the name is taken, "-2", "-3", ... go before its extension.
  // Null, with the reason in `error`, when no file can be created.
  virtual std::unique_ptr<AppendFile> createAppendFile(const QString& path, FileError& error) = 0;
  // Opens the existing regular file at the path (not a link) to append to,
  // after cutting it to its first `keep` bytes: what a crash left of a row
  // being written goes, the whole rows before it stay. Null, with the reason
  // in `error`, for anything but a regular file and for a file shorter than
  // `keep` (it changed since it was read).
  virtual std::unique_ptr<AppendFile> openAppendFile(const QString& path, qint64 keep,
                                                     FileError& error) = 0;
  // The names of the regular files in the folder, the one modified last
  // first; empty when there is none or the folder cannot be read.
  virtual QStringList filesNewestFirst(const QString& folder) = 0;

  // --- For work beside the event loop (the trend's monitoring) ---

  virtual std::unique_ptr<Timer> createTimer(std::function<void()> handler) = 0;
  // True while a handler of the program has lent the event loop a turn (a
  // yield, a modal box or dialog) and has not got it back: whatever runs now
  // runs in the middle of that handler's operation.
  virtual bool insideHandler() = 0;
  // The standard dialog for a file to save; nullopt when the operator cancels.
  virtual std::optional<QString> saveFileName(const QString& title, const QString& suggestion,
                                              const QString& filter) = 0;

  // --- For the publisher (MQTT) ---

  // A new client of a message broker. The platform closes it, with its will
  // published, when the program ends.
  virtual std::unique_ptr<MessageClient> createMessageClient() = 0;
  // The name of this computer, for the default topic and client id.
  virtual QString hostName() = 0;
  // Why the file is no place for a secret: it belongs to another user, or
  // its group or others may read it; empty when only this user can.
  virtual FileError whyNotPrivate(const QString& path) = 0;

 protected:
  // Shows the box as given; the text is already clipped.
  virtual MsgAnswer showMessageBox(const MessageBoxRequest& request) = 0;
};

// Longest line of a message box, in characters.
inline constexpr qsizetype kBoxLineLimit = 100;

// The text with every line longer than `limit` characters cut to its first
// `limit` characters and "…".
QString clipLines(const QString& text, qsizetype limit = kBoxLineLimit);

}  // namespace ovx
