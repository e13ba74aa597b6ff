// The controller model: its frames byte for byte, its faults, and the furnace
// it regulates and tunes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <functional>

#include "link/codec.h"
#include "model/controller_model.h"
#include "model/line_buffer.h"

namespace ovx::sim {
namespace {

QByteArray Ask(ControllerModel& model, const QByteArray& line, double t) {
  const std::vector<Answer> answers = model.receive(line + "\r\n", t);
  return answers.empty() ? QByteArray() : answers.front().bytes;
}

ValueBlock Values(ControllerModel& model, double t) {
  return DecodeValueBlock(DataField(Ask(model, "R001NF?", t)));
}

DataBlockWords Words(ControllerModel& model, double t) {
  return DecodeDataBlock(DataField(Ask(model, "R001NT?", t)));
}

void Write(ControllerModel& model, const DataBlockWords& words, double t) {
  model.receive(WriteFrame(1, words) + "\r\n", t);
}

// Polls the value block once a second from `t` on, as the program's wait for
// steady state does; returns the time at which the wait would end, or -1.
double SteadyAt(ControllerModel& model, int w, double t, double limit) {
  const auto round3 = [](double x) { return std::nearbyint(x * 1000) / 1000; };
  double sum = 0, n = 1, average = 0, sumsq = 0, stdev = 100;
  for (; t < limit; t += 1) {
    if (average > w - 1 && average < w + 1 && stdev <= 0.25 && n > 10) return t;
    const int x = Values(model, t).ActualTemperature;
    if (std::abs(x - w) <= 5) {
      sum += x;
      average = sum / n;
      if (n >= 2) {
        sumsq += (average - x) * (average - x);
        stdev = std::sqrt(sumsq / ((n - 1) * n));
      }
      n += 1;
    }
    average = round3(average), stdev = round3(stdev), sumsq = round3(sumsq);
  }
  return -1;
}

// Heater on at setpoint `w` with P, I, D, written as the program does.
void Regulate(ControllerModel& model, int w, int p, int i, int d, double t) {
  DataBlockWords words = Words(model, t);
  words[kSetpoint] = w;
  words[kPTerm] = p, words[kITerm] = i, words[kDTerm] = d;
  words[kHeaterOutput] = 1;
  Write(model, words, t);
}

TEST(SimModel, AnswersReadRequestsByteForByte) {
  ControllerModel model;
  const std::vector<Answer> answers = model.receive("R001NT?\r\n", 10);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_DOUBLE_EQ(answers[0].at, 10.02);
  DataBlockWords expected = DefaultParameterSet();
  EXPECT_EQ(answers[0].bytes,
            "A001NT OVX 7316  " + EncodeDataBlock(expected) + QByteArray("0C32Q\r\n"));
  EXPECT_EQ(answers[0].bytes.size(), kResponseLength);

  const QByteArray value = Ask(model, "R001NF?", 11);
  ASSERT_EQ(value.size(), kResponseLength);
  EXPECT_TRUE(value.startsWith("A001NF OVX 7316  "));
  EXPECT_TRUE(value.endsWith(Checksum(DataField(value)) + "Q\r\n"));
  const ValueBlock v = DecodeValueBlock(DataField(value));
  EXPECT_EQ(v.ActualTemperature, 25);
  EXPECT_EQ(v.OptimizationStatus, 0);
  EXPECT_EQ(v.OutputStatus, 0);
  EXPECT_EQ(v.Text1, "OVX 7316 SIM");
  EXPECT_EQ(v.Text3.size(), 24);
}

TEST(SimModel, AppliesWriteFramesOnlyWithRightLoopAndChecksum) {
  // Word 1 = 900, all others 0: the documented frame with checksum 0BBC.
  const QByteArray field = "   " + QByteArray(" X$") + QByteArray(63, ' ') + QByteArray(23, ' ');
  const QByteArray frame = "S001  T " + field + "0BBCQ";
  struct Case {
    const char* name;
    QByteArray bytes;
    bool applied;
  } cases[] = {
      {"CR LF", frame + "\r\n", true},
      {"lone LF", frame + "\n", true},
      {"noise before the frame", QByteArray("\0\0xx", 4) + frame + "\r\n", true},
      {"wrong checksum", "S001  T " + field + "0BBDQ\r\n", false},
      {"wrong loop", "S002  T " + field + "0BBCQ\r\n", false},
      {"no end letter", "S001  T " + field + "0BBC\r\n", false},
      {"no line end", frame, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ControllerModel model;
    EXPECT_TRUE(model.receive(c.bytes, 1).empty());  // silent on writes
    EXPECT_EQ(model.writesApplied(), c.applied ? 1 : 0);
    EXPECT_EQ(Words(model, 2)[kSetpoint], c.applied ? 900 : 32);
  }
}

TEST(SimModel, SplitsLinesInAnyChunkingAndBoundsGarbage) {
  ControllerModel model;
  std::vector<Answer> answers;
  for (char c : QByteArray("R001NT?\r\nR001NF?\n"))
    for (Answer& a : model.receive(QByteArray(1, c), 1)) answers.push_back(a);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_TRUE(answers[1].bytes.startsWith("A001NF"));

  LineBuffer lines;
  lines.add(QByteArray(1 << 20, 'x'));
  EXPECT_LE(lines.pending().size(), LineBuffer::kMaxLine);
  EXPECT_EQ(lines.add("R001NT?\r\n"),
            QByteArrayList{QByteArray(LineBuffer::kMaxLine - 7, 'x') + "R001NT?"});
}

TEST(SimModel, AnswersItsOwnLoopNumberOnly) {
  ControllerModel model({.loop = 7});
  EXPECT_TRUE(Ask(model, "R001NT?", 1).isEmpty());
  EXPECT_TRUE(Ask(model, "R7NT?", 1).isEmpty());
  EXPECT_TRUE(Ask(model, "R007NT?", 1).startsWith("A007NT"));
  EXPECT_TRUE(Ask(model, "R007NF?", 1).startsWith("A007NF"));
  DataBlockWords words = DefaultParameterSet();
  words[kSetpoint] = 444;
  model.receive(WriteFrame(1, words) + "\r\n", 2);
  EXPECT_EQ(model.dataBlock()[kSetpoint], 32);
  model.receive(WriteFrame(7, words) + "\r\n", 2);
  EXPECT_EQ(model.dataBlock()[kSetpoint], 444);
}

TEST(SimModel, InjectsEachFault) {
  ControllerModel plain;
  const QByteArray normal = Ask(plain, "R001NT?", 5);
  struct Case {
    Fault fault;
    std::function<void(const std::vector<Answer>&)> check;
  } cases[] = {
      {Fault::Silent, [](auto& a) { EXPECT_TRUE(a.empty()); }},
      {Fault::Echo, [](auto& a) { EXPECT_EQ(a.at(0).bytes, "R001NT?\r\n"); }},
      {Fault::CutShort, [&](auto& a) { EXPECT_EQ(a.at(0).bytes, normal.left(60)); }},
      {Fault::Nul, [](auto& a) { EXPECT_EQ(a.at(0).bytes, QByteArray(32, '\0')); }},
      {Fault::Late,
       [&](auto& a) {
         EXPECT_EQ(a.at(0).bytes, normal);
         EXPECT_DOUBLE_EQ(a.at(0).at, 5 + 7.5);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    ControllerModel model({.fault = c.fault, .lateSeconds = 7.5});
    c.check(model.receive("R001NT?\r\n", 5));
    EXPECT_EQ(model.faultsInjected(), 1);
  }

  for (double p : {0.0, 1.0}) {
    ControllerModel model({.fault = Fault::Corrupt, .corruptProbability = p});
    for (int i = 0; i < 50; ++i) {
      const QByteArray got = Ask(model, "R001NT?", 5);
      EXPECT_EQ(got == normal, p == 0) << got.toStdString();
    }
    EXPECT_EQ(model.faultsInjected(), p == 0 ? 0 : 50);
  }
  ControllerModel some({.fault = Fault::Corrupt, .corruptProbability = 0.2});
  for (int i = 0; i < 500; ++i) Ask(some, "R001NT?", 5);
  EXPECT_NEAR(some.faultsInjected(), 100, 30);
}

TEST(SimModel, RegulatesToSetpointWithTheOperatorSet) {
  ControllerModel model;
  Regulate(model, 900, 48, 8, 2, 0);
  double t = 0;
  while (t < 3600 && std::abs(model.temperature() - 900) > 1) model.advanceTo(t += 10);
  EXPECT_LT(t, 3600) << "not at 900 within an hour";
  EXPECT_EQ(Values(model, t).OutputStatus, 1);
  const double steady = SteadyAt(model, 900, t, t + 1800);
  EXPECT_GT(steady, 0) << "no steady state within 30 minutes";

  // A step of a temperature run settles within minutes too.
  Regulate(model, 950, 48, 8, 2, steady);
  EXPECT_GT(SteadyAt(model, 950, steady + 1, steady + 1200), 0);
}

TEST(SimModel, SelfOptimizesAndThenSettles) {
  ControllerModel model({.start = 600});
  DataBlockWords words = Words(model, 0);
  words[kSetpoint] = 850;
  words[kHeaterOutput] = words[kOptimize1] = words[kOptimize2] = 1;
  Write(model, words, 0);
  EXPECT_NE(Values(model, 0).OptimizationStatus, 0);
  double t = 0;
  while (t < 4 * 3600 && Values(model, t).OptimizationStatus != 0) t += 5;
  EXPECT_GT(t, 120);
  EXPECT_LT(t, 3600);
  const DataBlockWords tuned = Words(model, t);
  EXPECT_GE(tuned[kPTerm], 1);
  EXPECT_LE(tuned[kPTerm], 100);
  EXPECT_GE(tuned[kITerm], 1);
  EXPECT_LE(tuned[kITerm], 1000);
  EXPECT_GE(tuned[kDTerm], 0);
  EXPECT_LE(tuned[kDTerm], 500);
  EXPECT_EQ(tuned[kOptimize1], 0);
  EXPECT_EQ(tuned[kOptimize2], 0);
  EXPECT_EQ(tuned[kHeaterOutput], 1);
  EXPECT_GT(SteadyAt(model, 850, t, t + 1200), 0);
}

TEST(SimModel, HeaterOffAbortsOptimizingAndCools) {
  ControllerModel model({.start = 600});
  DataBlockWords words = Words(model, 0);
  words[kSetpoint] = 850;
  words[kHeaterOutput] = words[kOptimize1] = words[kOptimize2] = 1;
  Write(model, words, 0);
  model.advanceTo(60);
  EXPECT_TRUE(model.optimizing());
  const double hot = model.temperature();
  EXPECT_GT(hot, 600);
  words[kHeaterOutput] = 0;
  Write(model, words, 60);
  EXPECT_FALSE(model.optimizing());
  const DataBlockWords after = Words(model, 61);
  EXPECT_EQ(after[kOptimize1], 0);
  EXPECT_EQ(after[kOptimize2], 0);
  EXPECT_EQ(after[kPTerm], DefaultParameterSet()[kPTerm]);
  model.advanceTo(3660);
  EXPECT_LT(model.temperature(), 0.2 * hot);
  EXPECT_GT(model.temperature(), 25);
  EXPECT_EQ(Values(model, 3660).OutputStatus, 0);
}

TEST(SimModel, RunsADayQuickly) {
  ControllerModel model;
  Regulate(model, 1200, 48, 8, 2, 0);
  const auto begin = std::chrono::steady_clock::now();
  model.advanceTo(24 * 3600);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  EXPECT_LT(seconds, 0.5);
  EXPECT_NEAR(Values(model, 24 * 3600).ActualTemperature, 1200, 1);
}

}  // namespace
}  // namespace ovx::sim

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
