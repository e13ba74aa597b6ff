// The test platform: a virtual clock that every wait advances at once,
// message and input boxes answered from a script and recorded, operator
// actions scheduled at virtual times and run from the yield, and a serial
// port whose far end is a script or the controller model.
#pragma once

#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/disk_platform.h"

namespace ovx::test {

// Thrown by endProgram, so a test sees how the program ended.
struct ProgramEnded {
  int status;
};

// A box or input box that the script did not expect.
struct UnexpectedDialog : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class TestPlatform;

// The message client of the test platform: it records what the program hands
// it; the test plays the broker's side with state changes and messages.
class TestMessageClient : public MessageClient {
 public:
  explicit TestMessageClient(const double& clock) : clock_(clock) {}
  void start(const BrokerOptions& o) override { options = o; }
  void publish(const BrokerMessage& message) override {
    published.push_back(message);
    times.push_back(clock_);
  }
  void close(double) override {}
  BrokerOptions options;
  std::vector<BrokerMessage> published;
  std::vector<double> times;  // of each message handed over, on the virtual clock

 private:
  const double& clock_;
};

// The test serial port. Everything written is recorded with its virtual time;
// `onWrite` (when set) plays the far end and queues answers with deliver().
class TestSerialPort : public SerialPort {
 public:
  explicit TestSerialPort(TestPlatform& platform) : platform_(platform) {}

  bool setSettings(const QString& settings) override;
  bool open(int portNumber) override;
  void raiseRtsDtr() override {}
  bool write(const QByteArray& data) override;
  QByteArray readAll() override;
  QString device() const override { return QStringLiteral("/dev/ttyTEST"); }
  PortFailure openFailure() const override { return failure; }

  // Queues bytes that start to arrive at virtual time `at`, one character
  // every `charSeconds` (9600 baud: about 1/960 s).
  void deliver(const QByteArray& bytes, double at, double charSeconds = 1.0 / 960);

  struct Written {
    QByteArray data;
    double time;
  };
  std::vector<Written> written;
  std::function<void(const QByteArray& data, double time)> onWrite;

  // Faults: the settings text is refused, the port cannot be opened (and why).
  bool rejectSettings = false, failOpen = false;
  PortFailure failure;
  QString settings;
  int openedPort = 0;

 private:
  TestPlatform& platform_;
  struct Pending {
    char c;
    double at;
  };
  std::deque<Pending> pending_;
};

class TestPlatform : public DiskPlatform {
 public:
  // --- virtual clock and scripted operator actions ---
  double t = 1000.0;  // virtual seconds; not 0, so nothing relies on it
  // Runs `action` from the first yield at or after virtual time `time`.
  void at(double time, std::function<void()> action);
  // Runs `action` from the next yield.
  void soon(std::function<void()> action) { at(t, std::move(action)); }
  int yields = 0;
  // The application's event loop between operations, for `seconds` of
  // virtual time: scheduled actions and due timers run at their times,
  // outside any handler.
  void idle(double seconds);

  // --- dialogs ---
  // Answers for the next message boxes, in order. A box for which no answer
  // is queued throws UnexpectedDialog.
  std::deque<MsgAnswer> answers;
  // Replies for the next input boxes (nullopt = Cancel).
  std::deque<std::optional<QString>> inputs;
  std::vector<MessageBoxRequest> boxes;
  std::vector<QStringList> inputBoxes;  // title, prompt and default text of each
  // Virtual seconds that each box and input box waits for its answer, its
  // event loop running meanwhile (inside the handler that showed it).
  double boxSeconds = 0;

  int beeps = 0;
  int busyCursor = 0;  // nesting depth of the hourglass
  bool otherInstance = false;
  // All that the program wrote to standard error.
  QString standardError;

  // The settings folder ("Windows directory"), a fresh temporary folder.
  QString dir() const { return dir_.path(); }
  // The serial port that the program created (null before).
  TestSerialPort* port = nullptr;
  // Called with every port the program creates, to wire it up.
  std::function<void(TestSerialPort&)> onCreatePort;

  // The message client the program created (null before); a real one on
  // libmosquitto instead when `realBroker` is set.
  TestMessageClient* messageClient = nullptr;
  bool realBroker = false;

  // File writes and creations fail when this returns a reason.
  std::function<FileError(const QString& path)> failWrite;
  // Replies for the next save dialogs (nullopt = Cancel).
  std::deque<std::optional<QString>> saveNames;
  // The size of an append file at each sync of its rows to disk.
  std::vector<qint64> syncs;

  // --- Platform ---
  double now() override { return t; }
  // The wall clock at t = 1000, going on with the virtual clock in its time
  // zone: 2026-12-06 14:03:27.000 -03:30 (an offset of half hours, west of
  // UTC, as some logs are written in), unless a test puts another.
  QDateTime wallAt1000;
  QDateTime wallClock() override;
  void sleep(double seconds) override;
  void processEvents() override;
  void beep() override { ++beeps; }
  void setBusyCursor(bool busy) override { busyCursor += busy ? 1 : -1; }
  void writeStandardError(const QString& text) override { standardError += text; }
  std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override;
  QSize screenSizeTwips() override { return {15360, 11520}; }
  QString systemDirectory() override { return QStringLiteral("/usr/lib"); }
  QString windowsDirectory() override { return dir(); }
  bool anotherInstanceRunning() override { return otherInstance; }
  std::unique_ptr<SerialPort> createSerialPort() override;
  [[noreturn]] void endProgram(int status) override { throw ProgramEnded{status}; }
  // Files on disk, with the failures of `failWrite`.
  FileError writeFileDurably(const QString& path, const QByteArray& data) override;
  FileError createFile(const QString& path, const QByteArray& data) override;
  FileError createFolder(const QString& path) override;
  std::unique_ptr<Timer> createTimer(std::function<void()> handler) override;
  bool insideHandler() override { return inYield_ > 0; }
  std::optional<QString> saveFileName(const QString& title, const QString& suggestion,
                                      const QString& filter) override;
  std::unique_ptr<MessageClient> createMessageClient() override;
  QString hostName() override { return QStringLiteral("testhost"); }

  // Writes "ovx.ini" in the settings folder.
  void writeIni(const QByteArray& content);
  QByteArray readIni() const;

 protected:
  // The platform's own sync, recorded.
  files::Sync appendSync() override;
  // Records the box (its text clipped as shown) and gives the scripted answer.
  MsgAnswer showMessageBox(const MessageBoxRequest& request) override;

 private:
  struct Action {
    double time;
    std::function<void()> run;
  };
  // Runs the actions (and timers) due now, in time order; those they
  // schedule wait for the next turn, as events posted by a handler do.
  void dispatch();
  // The event loop of a box while it waits for the operator.
  void waitInBox();
  std::vector<Action> actions_;
  int inYield_ = 0;
  QTemporaryDir dir_;
};

}  // namespace ovx::test
