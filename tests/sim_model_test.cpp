// The controller model that the program's tests and ovx-sim run on: its
// frames byte for byte, the writes it takes, and the furnace it regulates and
// tunes. Its fault modes are tested end to end, over ovx-sim.
#include <gtest/gtest.h>

#include "model/controller_model.h"
#include "model/line_buffer.h"
#include "protocol/codec.h"

namespace ovx::sim {
namespace {

QByteArray Ask(ControllerModel& model, const QByteArray& line, double t = 1) {
  const std::vector<Answer> answers = model.receive(line + "\r\n", t);
  return answers.empty() ? QByteArray() : answers.front().bytes;
}

TEST(SimModel, AnswersAndTakesWholeFramesOfItsLoopOnly) {
  // Byte by byte, with LF alone too; the answer starts 20 ms after the request.
  ControllerModel model;
  std::vector<Answer> answers;
  for (char c : QByteArray("R001NT?\r\nR001NF?\n"))
    for (Answer& a : model.receive(QByteArray(1, c), 10)) answers.push_back(a);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_DOUBLE_EQ(answers[0].at, 10.02);
  EXPECT_EQ(answers[0].bytes,
            "A001NT OVX 7316  " + EncodeDataBlock(DefaultParameterSet()) + "0C32Q\r\n");
  EXPECT_EQ(CheckResponse(answers[1].bytes, BlockKind::Value, {}), Outcome::Answered);
  ControllerModel seven({.loop = 7});
  EXPECT_EQ(Ask(seven, "R001NT?") + Ask(seven, "R7NT?"), "");
  EXPECT_TRUE(Ask(seven, "R007NF?").startsWith("A007NF"));

  // Word 1 = 900, all others 0: the documented frame with checksum 0BBC.
  const QByteArray field = "    X$" + QByteArray(86, ' '), frame = "S001  T " + field + "0BBCQ";
  const std::pair<QByteArray, bool> writes[] = {
      {frame + "\r\n", true},
      {QByteArray("\0\0xx", 4) + frame + "\n", true},  // noise before the frame
      {"S001  T " + field + "0BBDQ\r\n", false},       // wrong checksum
      {"S002  T " + field + "0BBCQ\r\n", false},       // wrong loop
      {"S001  T " + field + "0BBC\r\n", false},        // no end letter
      {frame, false},                                  // no line end
  };
  for (const auto& [bytes, applied] : writes) {
    ControllerModel model;
    EXPECT_TRUE(model.receive(bytes, 1).empty());
    EXPECT_EQ(model.dataBlock()[kSetpoint], applied ? 900 : 32) << bytes.toStdString();
  }
  LineBuffer lines;
  lines.add(QByteArray(1 << 20, 'x'));
  EXPECT_EQ(lines.add("R001NT?\r\n"),
            QByteArrayList{QByteArray(LineBuffer::kMaxLine - 7, 'x') + "R001NT?"});
}

// Self-optimizing from 600 °C: the status shows it, the controller tunes its
// terms and holds 850 °C. A second request is abandoned when the heater goes
// off, with the terms kept, and the furnace cools towards ambient.
TEST(SimModel, TunesHoldsAndCools) {
  ControllerModel model({.start = 600});
  DataBlockWords words = model.dataBlock();
  words[kSetpoint] = 850;
  words[kHeaterOutput] = words[kOptimize1] = words[kOptimize2] = 1;
  model.receive(WriteFrame(1, words) + "\r\n", 0);
  const ValueBlock tuning = DecodeValueBlock(DataField(Ask(model, "R001NF?", 60)));
  EXPECT_TRUE(tuning.OptimizationStatus != 0 && tuning.OutputStatus == 1);
  model.advanceTo(4 * 3600);
  const DataBlockWords tuned = model.dataBlock();
  EXPECT_EQ(QList<int>({tuned[kOptimize1], tuned[kOptimize2]}), QList<int>({0, 0}));
  EXPECT_NE(tuned[kITerm], DefaultParameterSet()[kITerm]);
  EXPECT_NEAR(model.temperature(), 850, 2);

  words = tuned;
  words[kOptimize1] = words[kOptimize2] = 1;
  model.receive(WriteFrame(1, words) + "\r\n", 4 * 3600);
  EXPECT_TRUE(model.optimizing());
  words[kHeaterOutput] = 0;
  model.receive(WriteFrame(1, words) + "\r\n", 4 * 3600);
  EXPECT_FALSE(model.optimizing());
  EXPECT_EQ(QList<int>({model.dataBlock()[kOptimize1], model.dataBlock()[kPTerm]}),
            QList<int>({0, tuned[kPTerm]}));
  const ValueBlock off = DecodeValueBlock(DataField(Ask(model, "R001NF?", 5 * 3600)));
  EXPECT_EQ(off.OutputStatus, 0);
  EXPECT_LT(model.temperature(), 0.5 * 850);
  EXPECT_GT(model.temperature(), 25);
}

// The furnace's faults for the watch, at 10 s and 600 s: a welded relay heats
// with word 37 at 0 (and with the heater at start on, regulating, too much),
// a controller that stops answering takes no writes either, and a broken
// sensor reads 400 °C off from its time on.
TEST(SimModel, StuckRelaySilenceAndSensorJump) {
  struct Case {
    ModelOptions options;
    int heater;       // word 37 at start
    int x10, x600;    // X read at 10 s and 600 s (-1: no answer)
    bool writeAt600;  // a write at 600 s is taken
  } cases[] = {
      {{}, 0, 25, 25, true},
      {{.stuckRelay = true}, 0, 32, 573, true},
      {{.heaterOn = true, .stuckRelay = true}, 1, 32, 573, true},
      {{.silentAfter = 300}, 0, 25, -1, false},
      {{.jumpAfter = 300}, 0, 25, 425, true},
  };
  for (const Case& c : cases) {
    ControllerModel model(c.options);
    EXPECT_EQ(model.dataBlock()[kHeaterOutput], c.heater);
    std::vector<int> x;
    for (double t : {10, 600}) {
      const QByteArray answer = Ask(model, "R001NF?", t);
      x.push_back(answer.isEmpty() ? -1 : DecodeValueBlock(DataField(answer)).ActualTemperature);
    }
    EXPECT_EQ(x, std::vector<int>({c.x10, c.x600}));
    DataBlockWords words = model.dataBlock();
    words[kSetpoint] = 777;
    model.receive(WriteFrame(1, words) + "\r\n", 600);
    EXPECT_EQ(model.dataBlock()[kSetpoint] == 777, c.writeAt600);
  }
}

}  // namespace
}  // namespace ovx::sim
