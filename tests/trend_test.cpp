// The trend window on the test platform: monitoring between operations, the
// readings and events of a run, the CSV it saves, and the chart it draws.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "support/harness.h"
#include "trend/trend_window.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// A controller that fails the test when a request arrives while it still owes
// an answer, and that can fall silent. Its furnace stands at the setpoint.
struct StrictFurnace : Harness {
  StrictFurnace() : Harness(kScripted) {
    controller.beforeValueRead = [this](int) {
      controller.values.ActualTemperature = controller.words[kSetpoint];
      controller.values.OutputStatus = controller.words[kHeaterOutput];
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
  // The frames written since `from`, each with its virtual time from then.
  QString since(double from) const {
    QStringList out;
    for (const auto& w : platform.port->written)
      if (w.time >= from) out << w.data.left(7) + QString::asprintf(" %.2f", w.time - from);
    return out.join(", ");
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
  // The operator writes P 50 ms into the third read, and asks for the status
  // 50 ms into the fourth: each begins when that read is in.
  h.platform.at(t0 + 10.05, [&] {
    h.form().P->setText("11");
    h.form().P_KeyPress(13);
  });
  h.platform.at(t0 + 15.05, [&] {
    h.platform.answers = {MsgAnswer::Ok};
    h.form().menuOVXStatus_Click();
  });
  h.platform.idle(21);
  EXPECT_EQ(h.since(t0),
            "R001NF? 0.00, R001NF? 5.00, R001NF? 10.00, S001  T 10.20, R001NF? 15.00, "
            "R001NT? 15.20, R001NF? 15.40, R001NF? 20.00");
  EXPECT_EQ(h.platform.boxes.size(), 1u);  // the status box only
  EXPECT_EQ(trend.failureText(), "");      // every read answered whole

  // A run yields to the event loop through its whole dwell: no reading then.
  // Afterwards the readings go on.
  trend.intervalBox().setValue(1);
  h.platform.idle(0.5);
  h.runOneStep("20");
  const double end = h.platform.t;
  h.platform.idle(3);
  int after = 0;
  for (const auto& w : h.port().written) {
    EXPECT_FALSE(w.time > end - 20 && w.time < end) << w.data.toStdString() << " in the dwell";
    after += w.time >= end;
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

// A run cancelled in its first wait: its readings and events with their
// virtual times, as "Save as CSV…" writes them.
TEST(TrendWindow, SavesARunAsCsv) {
  StrictFurnace h;
  h.platform.at(h.platform.t + 1.5, [&] { h.form().BtnCancel->click(); });
  h.runOneStep("60");
  TrendWindow& trend = h.openTrend();
  const QString path = h.platform.dir() + "/trend.csv";
  h.platform.saveNames = {path};
  trend.saveCsv();
  QByteArray expected = R"(time,elapsed_s,W_C,X_C,heater,opt_status,P,I,D,event
2026-12-06T14:03:27.200+01:00,0.000,32,,0,,10,300,60,
2026-12-06T14:03:27.200+01:00,0.000,,,,,,,,start
2026-12-06T14:03:27.400+01:00,0.200,32,,0,,10,300,60,
2026-12-06T14:03:27.600+01:00,0.400,32,,1,,10,300,60,
2026-12-06T14:03:27.600+01:00,0.400,,,,,,,,heater on
2026-12-06T14:03:27.800+01:00,0.600,32,,1,,10,300,60,
2026-12-06T14:03:28.000+01:00,0.800,32,,1,,10,300,60,
2026-12-06T14:03:28.200+01:00,1.000,900,,1,,48,8,2,
2026-12-06T14:03:28.200+01:00,1.000,,,,,,,,"step 900 °C, PID 48/8/2 from pid.par"
2026-12-06T14:03:28.400+01:00,1.200,,900,1,0,,,,
2026-12-06T14:03:28.600+01:00,1.400,,900,1,0,,,,
2026-12-06T14:03:28.800+01:00,1.600,,900,1,0,,,,
2026-12-06T14:03:29.000+01:00,1.800,,900,1,0,,,,
2026-12-06T14:03:29.000+01:00,1.800,,,,,,,,cancelled by the operator
2026-12-06T14:03:29.000+01:00,1.800,,,,,,,,end
)";
  EXPECT_EQ(*h.platform.readFile(path), expected.replace("\n", "\r\n"));
}

// Opened with Ctrl+T also while a long operation has the menus disabled;
// closing hides it and stops monitoring.
TEST(TrendWindow, CtrlTAlsoWhileTheMenusAreDisabled) {
  StrictFurnace h;
  h.form().show();
  h.form().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&h.form()));
  h.form().setMenusEnabled(false);
  QTest::keyClick(h.form().W, Qt::Key_T, Qt::ControlModifier);
  ASSERT_NE(h.program().trend(), nullptr);
  TrendWindow& trend = *h.program().trend();
  EXPECT_TRUE(trend.isVisible());
  EXPECT_EQ(trend.windowTitle(), "Trend");
  EXPECT_TRUE(trend.monitor().running());
  trend.close();
  EXPECT_FALSE(trend.monitor().running());
}

// The chart drawn offscreen: X at 100 °C, then at 200 °C, W at 150 °C.
TEST(TrendChart, DrawsTheCurvesWhereTheyMustBe) {
  TrendBuffer buffer;
  for (int t = 0; t < 600; ++t)
    buffer.add({.time = double(t),
                .x = int16_t(t < 300 ? 100 : 200),
                .w = 150,
                .kind = t % 10 ? TrendSample::Value : TrendSample::Data,
                .wKnown = t % 10 == 0});
  TrendChart chart(buffer);
  chart.resize(500, 300);
  chart.setSpan(600);
  const QImage image = chart.image();
  auto at = [&](double t, double value) {
    return image.pixelColor(qRound(chart.xFor(t)), qRound(chart.yFor(value)));
  };
  EXPECT_LT(chart.yFor(200), chart.yFor(100));
  EXPECT_EQ(at(155, 100), TrendChart::kXColor);
  EXPECT_EQ(at(455, 200), TrendChart::kXColor);
  EXPECT_NE(at(155, 200), TrendChart::kXColor);
  EXPECT_NE(at(455, 100), TrendChart::kXColor);
  EXPECT_EQ(at(155, 150), TrendChart::kWColor);
  EXPECT_EQ(at(455, 150), TrendChart::kWColor);
}
