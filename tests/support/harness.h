// A whole program on the test platform, with the controller model (or a
// script) at the far end of its serial line, the window's controls that the
// tests drive; and small shared checks.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QByteArray>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>

#include "app/program.h"
#include "model/controller_model.h"
#include "platform/qt_platform.h"
#include "support/test_platform.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
  *os << '"' << bytes.toPercentEncoding(" !\"#$&'()*+,-./:;<=>?@[]^_`{|}~").constData() << '"';
}

namespace ovx::test {

// "ovx.ini" for tests: delays that suit the line pace of the model.
inline constexpr const char* kTestIni =
    "[General]\r\nControlLoopNumber=1\r\nSound=-1\r\n"
    "[COM]\r\nPort=1\r\nSettings=9600,n,8,1\r\nRxDelay=0\r\nTxDelay=0.2\r\n";
// The same with Dir set to the settings folder ("{dir}" stands for it in an
// ini text), so that "pid.par" lands there.
inline constexpr const char* kDirIni =
    "[General]\r\nSound=-1\r\nDir={dir}\r\n[COM]\r\nRxDelay=0\r\nTxDelay=0.2\r\n";

// A 116-character block response around a 92-character data field.
QByteArray BlockResponse(const QByteArray& dataField, BlockKind kind = BlockKind::Data);
// The default parameter set with these words (W, P, I, D, heater output,
// SP L, SP H).
DataBlockWords Block(int W, int P = 10, int I = 300, int D = 60, int out = 0, int low = 0,
                     int high = 1200);

// A controller played by the test: it holds a data block and a value block,
// applies write frames and answers reads from them, so that an operation can
// be fed exact temperatures and status values.
struct ScriptedController {
  DataBlockWords words = DefaultParameterSet();
  ValueBlock values;
  // Runs before the k-th value-block answer (k from 0), to change `values`.
  std::function<void(int k)> beforeValueRead;
  int valueReads = 0;
  int writes = 0;
  QByteArray answer(const QByteArray& frame);
};

inline constexpr struct ScriptedTag {
} kScripted;

// A whole program on the test platform; at the far end of its line the
// controller model, a script, or a ScriptedController.
class Harness {
 public:
  // Writes `ini` (unless null) and wires every serial port to the model.
  explicit Harness(const char* ini = kTestIni, sim::ModelOptions options = {});
  // A started program whose controller is `controller`, holding `words`; the
  // program's data block in memory and its window start as those words.
  Harness(ScriptedTag, const DataBlockWords& words = DefaultParameterSet(),
          const char* ini = kTestIni);

  // Answers every write with `reply(frame)` (empty: silence) instead of the
  // model, starting 20 ms after the write.
  void script(std::function<QByteArray(const QByteArray& frame)> reply);

  // Runs Main; false when the program ended (status in `endStatus`).
  bool start();
  int endStatus = -1;

  ScriptedController controller;
  // Frames written since the last mark() (without CR LF).
  std::vector<QByteArray> sent() const { return frames(mark_); }
  void mark() { mark_ = platform.port ? platform.port->written.size() : 0; }

  Program& program() { return *program_; }
  frmOVX& form() { return program_->form(); }
  Settings& settings() { return program_->settings; }
  Commands& commands() { return program_->commands; }
  TestSerialPort& port() { return *platform.port; }
  // Frames written to the port since `from`, without CR LF.
  std::vector<QByteArray> frames(size_t from = 0) const;

  // Runs `action` from every yield from now on.
  void everyYield(std::function<void()> action);
  // Every text the status line shows from now on, with its virtual time.
  struct Status {
    QString text;
    double time;
  };
  std::vector<Status>& recordStatus();
  QStringList statusTexts() const;

  // "pid.par" in the settings folder: written (nullopt removes it), read back.
  QString par() const;
  void setPar(const std::optional<QByteArray>& content);
  std::optional<QByteArray> readPar() const;

  TestPlatform platform;
  sim::ControllerModel model;
  double speed = 1;  // simulated seconds per virtual second

 private:
  std::unique_ptr<Program> program_;
  std::function<QByteArray(const QByteArray&)> script_;
  std::vector<Status> status_;
  double t0_;
  size_t mark_ = 0;
};

// The one box shown, whole.
testing::AssertionResult OnlyBox(const TestPlatform& platform, const QString& text,
                                 const QString& title, MsgButtons buttons, MsgIcon icon);
// W, P, I and D as shown, separated by blanks.
QString Fields(frmOVX& form);
// Shows `window` and waits until it is active, as the operator sees it.
void ShowActive(QWidget& window);
// The window after an operation: buttons hidden, every menu enabled, "Ready".
bool Idle(frmOVX& form);
// Whether any of the four top-level menus is enabled.
bool AnyMenu(frmOVX& form);

// The real platform with its settings folder in a temporary one.
class RealPlatformTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override { qputenv("XDG_CONFIG_HOME", saved_); }
  QTemporaryDir temp;
  QtPlatform platform;

 private:
  QByteArray saved_;
};

// The soft limit of the size of files this process writes: beyond it a write
// fails with "File too large", as one does on a full disk.
void LimitFileSize(rlim_t bytes);

}  // namespace ovx::test
