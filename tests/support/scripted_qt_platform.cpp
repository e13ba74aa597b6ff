#include "support/scripted_qt_platform.h"

#include <string>

namespace ovx::test {
namespace {

// The real port, with the test's hook before each write.
class TappedPort : public SerialPort {
 public:
  TappedPort(std::unique_ptr<SerialPort> port, ScriptedQtPlatform& platform)
      : port_(std::move(port)), platform_(platform) {}
  bool setSettings(const QString& settings) override { return port_->setSettings(settings); }
  bool open(int portNumber) override { return port_->open(portNumber); }
  void raiseRtsDtr() override { port_->raiseRtsDtr(); }
  bool write(const QByteArray& data) override {
    if (platform_.onWrite) platform_.onWrite(data);
    return port_->write(data);
  }
  QByteArray readAll() override { return port_->readAll(); }

 private:
  std::unique_ptr<SerialPort> port_;
  ScriptedQtPlatform& platform_;
};

}  // namespace

MsgAnswer ScriptedQtPlatform::showMessageBox(const MessageBoxRequest& request) {
  boxes.push_back(request);
  if (onBox) return onBox(request);
  if (answers.empty()) return MsgAnswer::Cancel;
  const MsgAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<QString> ScriptedQtPlatform::inputBox(const QString&, const QString&,
                                                    const QString&) {
  std::optional<QString> reply;
  if (!inputs.empty()) {
    reply.swap(inputs.front());
    inputs.pop_front();
  }
  return reply;
}

void ScriptedQtPlatform::sleep(double seconds) {
  checkDeadline();
  const double start = now();
  QtPlatform::sleep(seconds);
  slept += now() - start;
}

void ScriptedQtPlatform::processEvents() {
  checkDeadline();
  ++yields;
  QtPlatform::processEvents();
  if (onYield) onYield();
}

std::unique_ptr<SerialPort> ScriptedQtPlatform::createSerialPort() {
  return std::make_unique<TappedPort>(QtPlatform::createSerialPort(), *this);
}

void ScriptedQtPlatform::endProgram(int status) {
  throw ProgramEnded{status};
}

void ScriptedQtPlatform::checkDeadline() {
  if (now() > deadline)
    throw WatchdogExpired("watchdog: still running " + std::to_string(now() - deadline) +
                          " s after the deadline");
}

}  // namespace ovx::test
