// A controller played by the test: it holds a data block and a value block,
// applies write frames and answers reads from them, so that an operation can
// be fed exact temperatures and status values.
#pragma once

#include <QLineEdit>
#include <functional>

#include "protocol/codec.h"
#include "support/harness.h"

namespace ovx::test {

struct ScriptedController {
  DataBlockWords words = DefaultParameterSet();
  ValueBlock values;
  // Runs before the k-th value-block answer (k from 0), to change `values`.
  std::function<void(int k)> beforeValueRead;
  int valueReads = 0;
  int dataReads = 0;
  int writes = 0;

  QByteArray answer(const QByteArray& frame) {
    if (frame == "R001NT?") {
      ++dataReads;
      return BlockResponse(EncodeDataBlock(words));
    }
    if (frame == "R001NF?") {
      if (beforeValueRead) beforeValueRead(valueReads);
      ++valueReads;
      return BlockResponse(EncodeValueBlock(values), BlockKind::Value);
    }
    if (frame.size() == 105 && frame.startsWith("S001  T ")) {
      ++writes;
      words = DecodeDataBlock(frame.mid(8, kDataFieldLength));
    }
    return {};
  }
};

// A started program whose controller is a ScriptedController; the program's
// data block in memory starts as the controller's.
struct ScriptedHarness : Harness {
  explicit ScriptedHarness(const DataBlockWords& words = DefaultParameterSet(),
                           const char* ini = kTestIni)
      : Harness(ini) {
    started = start();
    controller.words = words;
    script([this](const QByteArray& frame) { return controller.answer(frame); });
    commands().DataBlock = words;
    form().ShowParameters();
    form().ShowHeaterStatus();
    mark();
  }
  // Frames written since the last mark().
  std::vector<QByteArray> sent() const { return frames(mark_); }
  void mark() { mark_ = platform.port ? platform.port->written.size() : 0; }

  bool started = false;
  ScriptedController controller;

 private:
  size_t mark_ = 0;
};

}  // namespace ovx::test
