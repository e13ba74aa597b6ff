// The controller model: its frames byte for byte, its faults, and the furnace
// it regulates and tunes, also for the whole program's self-optimizing on the
// virtual clock.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <chrono>

#include "model/line_buffer.h"
#include "support/harness.h"

namespace ovx::sim {
namespace {

QByteArray Ask(ControllerModel& model, const QByteArray& line, double t = 1) {
  const std::vector<Answer> answers = model.receive(line + "\r\n", t);
  return answers.empty() ? QByteArray() : answers.front().bytes;
}

void Write(ControllerModel& model, const DataBlockWords& words, double t = 1, int loop = 1) {
  model.receive(WriteFrame(loop, words) + "\r\n", t);
}

TEST(SimModel, AnswersByteForByteInAnyChunkingOnItsLoopOnly) {
  ControllerModel model;
  std::vector<Answer> answers;
  for (char c : QByteArray("R001NT?\r\nR001NF?\n"))
    for (Answer& a : model.receive(QByteArray(1, c), 10)) answers.push_back(a);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_DOUBLE_EQ(answers[0].at, 10.02);
  EXPECT_EQ(answers[0].bytes,
            "A001NT OVX 7316  " + EncodeDataBlock(DefaultParameterSet()) + "0C32Q\r\n");
  EXPECT_TRUE(answers[1].bytes.startsWith("A001NF OVX 7316  "));
  const ValueBlock v = DecodeValueBlock(DataField(answers[1].bytes));
  EXPECT_EQ(QList<int>({v.ActualTemperature, v.OptimizationStatus, v.OutputStatus}),
            QList<int>({25, 0, 0}));

  ControllerModel seven({.loop = 7});
  EXPECT_EQ(Ask(seven, "R001NT?") + Ask(seven, "R7NT?"), "");
  EXPECT_TRUE(Ask(seven, "R007NF?").startsWith("A007NF"));
  DataBlockWords words = DefaultParameterSet();
  words[kSetpoint] = 444;
  Write(seven, words, 1, 1);
  EXPECT_EQ(seven.dataBlock()[kSetpoint], 32);
  Write(seven, words, 1, 7);
  EXPECT_EQ(seven.dataBlock()[kSetpoint], 444);
}

TEST(SimModel, AppliesWholeWriteFramesSilentlyAndBoundsGarbage) {
  // Word 1 = 900, all others 0: the documented frame with checksum 0BBC.
  const QByteArray field = "    X$" + QByteArray(86, ' '), frame = "S001  T " + field + "0BBCQ";
  const std::pair<QByteArray, bool> cases[] = {
      {frame + "\r\n", true},
      {frame + "\n", true},
      {QByteArray("\0\0xx", 4) + frame + "\r\n", true},  // noise before the frame
      {"S001  T " + field + "0BBDQ\r\n", false},         // wrong checksum
      {"S002  T " + field + "0BBCQ\r\n", false},         // wrong loop
      {"S001  T " + field + "0BBC\r\n", false},          // no end letter
      {frame, false},                                    // no line end
  };
  for (const auto& [bytes, applied] : cases) {
    ControllerModel model;
    EXPECT_TRUE(model.receive(bytes, 1).empty());
    EXPECT_EQ(model.dataBlock()[kSetpoint], applied ? 900 : 32) << bytes.toStdString();
  }
  LineBuffer lines;
  lines.add(QByteArray(1 << 20, 'x'));
  EXPECT_LE(lines.pending().size(), LineBuffer::kMaxLine);
  EXPECT_EQ(lines.add("R001NT?\r\n"),
            QByteArrayList{QByteArray(LineBuffer::kMaxLine - 7, 'x') + "R001NT?"});
}

TEST(SimModel, InjectsEachFault) {
  ControllerModel plain;
  const QByteArray normal = Ask(plain, "R001NT?", 5);
  const std::tuple<Fault, QByteArray, double> cases[] = {
      {Fault::Echo, "R001NT?\r\n", 5.02},
      {Fault::CutShort, normal.left(60), 5.02},
      {Fault::Nul, QByteArray(32, '\0'), 5.02},
      {Fault::Late, normal, 5 + 7.5},
  };
  for (const auto& [fault, bytes, at] : cases) {
    ControllerModel model({.fault = fault, .lateSeconds = 7.5});
    const std::vector<Answer> answers = model.receive("R001NT?\r\n", 5);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].bytes, bytes);
    EXPECT_DOUBLE_EQ(answers[0].at, at);
  }
  ControllerModel silent({.fault = Fault::Silent});
  EXPECT_EQ(Ask(silent, "R001NT?"), "");
  for (const double p : {0.0, 0.2, 1.0}) {
    ControllerModel model({.fault = Fault::Corrupt, .corruptProbability = p});
    int spoilt = 0;
    for (int i = 0; i < 500; ++i) spoilt += Ask(model, "R001NT?", 5) != normal;
    EXPECT_NEAR(spoilt, 500 * p, p == 0.2 ? 30 : 0);
  }
}

TEST(SimModel, HeaterOffAbortsOptimizingAndCools) {
  ControllerModel model({.start = 600});
  DataBlockWords words = model.dataBlock();
  words[kSetpoint] = 850;
  words[kHeaterOutput] = words[kOptimize1] = words[kOptimize2] = 1;
  Write(model, words, 0);
  model.advanceTo(60);
  EXPECT_NE(DecodeValueBlock(DataField(Ask(model, "R001NF?", 60))).OptimizationStatus, 0);
  const double hot = model.temperature();
  EXPECT_GT(hot, 600);
  words[kHeaterOutput] = 0;
  Write(model, words, 60);
  EXPECT_FALSE(model.optimizing());
  const DataBlockWords after = model.dataBlock();
  EXPECT_EQ(QList<int>({after[kOptimize1], after[kOptimize2], after[kPTerm]}),
            QList<int>({0, 0, DefaultParameterSet()[kPTerm]}));
  model.advanceTo(3660);
  EXPECT_LT(model.temperature(), 0.2 * hot);
  EXPECT_GT(model.temperature(), 25);
  EXPECT_EQ(DecodeValueBlock(DataField(Ask(model, "R001NF?", 3660))).OutputStatus, 0);
}

TEST(SimModel, RunsADayQuicklyAtItsSetpoint) {
  ControllerModel model;
  DataBlockWords words = model.dataBlock();
  words[kSetpoint] = 1200;
  words[kHeaterOutput] = 1;
  Write(model, words, 0);
  const auto begin = std::chrono::steady_clock::now();
  model.advanceTo(24 * 3600);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
  EXPECT_NEAR(model.temperature(), 1200, 1);
}

// The whole program's self-optimizing against the model: the controller
// tunes its terms, the fields show them, and the furnace settles at W.
TEST(SelfOptimizingOnModel, ControllerTunesAndTheFurnaceSettles) {
  test::Harness h;
  h.speed = 20;
  ASSERT_TRUE(h.start());
  h.platform.inputs = {QString("850")};
  h.platform.answers = {MsgAnswer::Ok};
  h.form().ops().menuOVXSelfOptimizing_Click();
  ASSERT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_EQ(h.platform.boxes[0].request.title, "Self-Optimizing");
  const DataBlockWords& words = h.model.dataBlock();
  EXPECT_EQ(test::Fields(h.form()),
            QString("850 %1 %2 %3").arg(words[kPTerm]).arg(words[kITerm]).arg(words[kDTerm]));
  EXPECT_NE(words[kITerm], 300) << "still the default integral time";
  EXPECT_EQ(QList<int>({words[kOptimize1], words[kHeaterOutput]}), QList<int>({0, 1}));
  EXPECT_NEAR(h.model.temperature(), 850, 2);
  EXPECT_TRUE(test::Idle(h.form()));
}

}  // namespace
}  // namespace ovx::sim
