// A whole program on the test platform, with the controller model (or a
// script) at the far end of its serial line.
#pragma once

#include <QByteArray>
#include <functional>
#include <memory>

#include "app/program.h"
#include "model/controller_model.h"
#include "support/test_platform.h"
#include "ui/frmovx.h"

namespace ovx::test {

// "ovx.ini" for tests: delays that suit the line pace of the model.
inline constexpr const char* kTestIni =
    "[General]\r\nControlLoopNumber=1\r\nSound=-1\r\n"
    "[COM]\r\nPort=1\r\nSettings=9600,n,8,1\r\nRxDelay=0\r\nTxDelay=0.2\r\n";

// A 116-character block response around a 92-character data field.
QByteArray BlockResponse(const QByteArray& dataField);

class Harness {
 public:
  // Writes `ini` (unless null) and wires every serial port to the model.
  explicit Harness(const char* ini = kTestIni, sim::ModelOptions options = {});

  // Answers every write with `reply(frame)` (empty: silence) instead of the
  // model, starting 20 ms after the write.
  void script(std::function<QByteArray(const QByteArray& frame)> reply);

  // Runs Main; false when the program ended (status in `endStatus`).
  bool start();
  int endStatus = -1;

  Program& program() { return *program_; }
  frmOVX& form() { return program_->form(); }
  Globals& g() { return program_->g; }
  TestSerialPort& port() { return *platform.port; }
  // Frames written to the port since `from`, without CR LF.
  std::vector<QByteArray> frames(size_t from = 0) const;

  TestPlatform platform;
  sim::ControllerModel model;
  double speed = 1;  // simulated seconds per virtual second

 private:
  std::unique_ptr<Program> program_;
  std::function<QByteArray(const QByteArray&)> script_;
  double t0_;
};

}  // namespace ovx::test
