// The real Qt platform with the operator played by a test: message and input
// boxes answered from a script and recorded, hooks at every yield and before
// every write to the serial port, and a watchdog that ends a run that takes
// too long.
#pragma once

#include <deque>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/qt_platform.h"
#include "support/test_platform.h"

namespace ovx::test {

// Thrown from a sleep or a yield after the deadline.
struct WatchdogExpired : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ScriptedQtPlatform : public QtPlatform {
 public:
  // Answers for the next boxes, in order; Cancel when none is left.
  std::deque<MsgAnswer> answers;
  // When set, answers every box instead of `answers`.
  std::function<MsgAnswer(const MessageBoxRequest&)> onBox;
  // Replies for the next input boxes (nullopt: Cancel, also when none is left).
  std::deque<std::optional<QString>> inputs;
  std::vector<MessageBoxRequest> boxes;

  // Run at every yield of the program, and before every write to its port.
  std::function<void()> onYield;
  std::function<void(const QByteArray& data)> onWrite;
  // A sleep or a yield after this time (now()) throws WatchdogExpired.
  double deadline = std::numeric_limits<double>::infinity();

  double slept = 0;  // seconds spent asleep
  int yields = 0;

  std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override;
  void sleep(double seconds) override;
  void processEvents() override;
  std::unique_ptr<SerialPort> createSerialPort() override;
  // Throws ProgramEnded, so that a test sees how the program ended.
  [[noreturn]] void endProgram(int status) override;

 protected:
  MsgAnswer showMessageBox(const MessageBoxRequest& request) override;

 private:
  void checkDeadline();
};

}  // namespace ovx::test
