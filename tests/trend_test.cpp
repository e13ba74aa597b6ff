// The trend window on the test platform: monitoring between operations, the
// readings and events of a run, the CSV it saves, and the chart it draws.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include "scripted_controller.h"
#include "trend/trend_window.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// A controller that fails the test when a request arrives while it still owes
// an answer, and that can fall silent. Its furnace stands at the setpoint.
struct StrictFurnace : ScriptedHarness {
  StrictFurnace() {
    controller.beforeValueRead = [this](int) {
      controller.values.ActualTemperature = controller.words[kSetpoint];
    };
    script([this](const QByteArray& frame) {
      EXPECT_GE(platform.t, owedUntil) << frame.toStdString() << " while an answer is owed";
      const QByteArray reply = silent ? QByteArray() : controller.answer(frame);
      if (!reply.isEmpty()) owedUntil = platform.t + 0.02 + reply.size() / 960.0;
      return reply;
    });
  }
  TrendWindow& openTrend() {
    form().menuInfoTrend->trigger();
    return *program().trend();
  }
  // The frames written since `from` (virtual time), each with its time.
  std::vector<std::pair<QByteArray, double>> since(double from) const {
    std::vector<std::pair<QByteArray, double>> out;
    for (const auto& w : platform.port->written)
      if (w.time >= from) out.emplace_back(w.data.chopped(2).left(7), w.time - from);
    return out;
  }
  void runOneStep(const char* dwell) {
    program().OpenTemperatureRun();
    frmTRun& dlg = *program().temperatureRun();
    dlg.TStart->setText("900");
    dlg.TStop->setText("901");
    dlg.DwellTime->setText(dwell);
    platform.answers = {MsgAnswer::Ok};
    dlg.BtnStart_Click();
  }
  double owedUntil = 0;
  bool silent = false;
};

}  // namespace

TEST(TrendMonitoring, ReadsAtTheIntervalPausesForOperationsNeverInterleaves) {
  StrictFurnace h;
  const double t0 = h.platform.t;
  TrendWindow& trend = h.openTrend();
  // The operator asks for the status 50 ms into the fourth read: it begins
  // when that read is in.
  h.platform.at(t0 + 15.05, [&] {
    h.platform.answers = {MsgAnswer::Ok};
    h.form().menuOVXStatus_Click();
  });
  h.platform.idle(21);
  const std::vector<std::pair<QByteArray, double>> expected = {
      {"R001NF?", 0},    {"R001NF?", 5},    {"R001NF?", 10}, {"R001NF?", 15},
      {"R001NT?", 15.2}, {"R001NF?", 15.4}, {"R001NF?", 20}};
  const auto frames = h.since(t0);
  ASSERT_EQ(frames.size(), expected.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].first, expected[i].first) << i;
    EXPECT_NEAR(frames[i].second, expected[i].second, 1e-6) << i;
  }
  EXPECT_EQ(h.platform.boxes.size(), 1u);  // the status box only

  // A run yields to the event loop through its whole dwell: no reading then.
  // Afterwards the readings go on.
  trend.intervalBox().setValue(1);
  h.platform.idle(0.5);
  const double run = h.platform.t;
  h.runOneStep("20");
  const double end = h.platform.t - run;
  h.platform.idle(3);
  int after = 0;
  for (const auto& [frame, at] : h.since(run)) {
    EXPECT_FALSE(at > end - 20 && at < end) << frame.toStdString() << " in the dwell, at " << at;
    after += at >= end;
  }
  EXPECT_EQ(after, 3);

  // A read that gets no answer: no box, no beep; a break in the curve and
  // "no answer" with its time in the window. The next interval tries again.
  const int beeps = h.platform.beeps;
  const size_t boxes = h.platform.boxes.size();
  trend.intervalBox().setValue(2);
  EXPECT_TRUE(h.platform.readIni().contains("[Trend]\r\nInterval=2\r\n"));
  h.silent = true;
  h.platform.idle(2.2 + 1e-6);
  const QString failedAt = h.platform.wallClock().toString("HH:mm:ss");
  h.silent = false;
  h.platform.idle(2);
  EXPECT_EQ(trend.failureText(), failedAt + " no answer");
  EXPECT_EQ(h.platform.beeps, beeps);
  EXPECT_EQ(h.platform.boxes.size(), boxes);
  const TrendBuffer& buffer = h.program().trendFeed.buffer();
  ASSERT_EQ(buffer.samples().back().kind, TrendSample::Value);
  const double last = buffer.samples().back().time;
  EXPECT_TRUE(buffer.decimate(last - 1.5, last + 0.5, 2, 60).columns[1].xBreak);

  // Closed, the window leaves the line as it was.
  trend.close();
  const size_t written = h.port().written.size();
  h.platform.idle(30);
  EXPECT_EQ(h.port().written.size(), written);
}
