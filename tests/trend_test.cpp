// The trend on the test platform: monitoring between operations, the window's
// shortcut, the chart it draws, and the buffer behind it: one min/max pair per
// pixel column, breaks in the X line, the setpoint carried on, a bounded store.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <map>

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
  // The frames written since `from`, each with its virtual time from then.
  QString since(double from) const {
    QStringList out;
    for (const auto& w : platform.port->written)
      if (w.time >= from) out << w.data.left(7) + QString::asprintf(" %.2f", w.time - from);
    return out.join(", ");
  }
  double owedUntil = 0;
  bool silent = false;
};

}  // namespace

TEST(TrendMonitoring, ReadsAtTheIntervalPausesForOperationsNeverInterleaves) {
  StrictFurnace h;
  // Opened with Ctrl+T, also while a long operation has the menus disabled.
  h.form().show();
  h.form().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&h.form()));
  h.form().setMenusEnabled(false);
  const double t0 = h.platform.t;
  QTest::keyClick(h.form().W, Qt::Key_T, Qt::ControlModifier);
  h.form().setMenusEnabled(true);
  ASSERT_NE(h.program().trend(), nullptr);
  TrendWindow& trend = *h.program().trend();
  EXPECT_EQ(trend.windowTitle(), "Trend");
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
  h.program().OpenTemperatureRun();
  frmTRun& dlg = *h.program().temperatureRun();
  dlg.TStart->setText("900");
  dlg.TStop->setText("901");
  dlg.DwellTime->setText("20");
  h.platform.answers = {MsgAnswer::Ok};
  dlg.BtnStart_Click();
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

  // Closed, the window leaves the line as it was.
  trend.close();
  const size_t written = h.port().written.size();
  h.platform.idle(30);
  EXPECT_EQ(h.port().written.size(), written);
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
  const QColor X = TrendChart::kXColor, W = TrendChart::kWColor;
  EXPECT_LT(chart.yFor(200), chart.yFor(100));
  EXPECT_EQ(QList<QColor>({at(155, 100), at(455, 200), at(155, 150), at(455, 150)}),
            QList<QColor>({X, X, W, W}));
  EXPECT_TRUE(at(155, 200) != X && at(455, 100) != X);
}

// Ten columns of 10 s, a reading a second at 100 °C with one-reading spikes at
// the first and last reading of columns; no answer at 50 s, the setpoint 900
// read at 0 s and 950 at 60 s; then nothing until 171 s.
TEST(TrendBuffer, ColumnsKeepMinMaxBreaksAndSetpointInABoundedStore) {
  const std::map<int, int16_t> spikes = {{10, 150}, {19, 20}, {39, 300}, {40, -5}, {99, 101}};
  auto X = [](double time, int16_t x) { return TrendSample{.time = time, .x = x}; };
  auto W = [](double time, int16_t w) {
    return TrendSample{.time = time, .w = w, .kind = TrendSample::Data, .wKnown = true};
  };
  TrendBuffer buffer(150);
  buffer.add(W(0, 900));
  for (int t = 1; t < 100; ++t)
    buffer.add(t == 50   ? TrendSample{.time = 50, .kind = TrendSample::NoAnswer}
               : t == 60 ? W(60, 950)
                         : X(t, spikes.contains(t) ? spikes.at(t) : int16_t{100}));
  buffer.add(X(171, 940));
  buffer.add(X(172, 941));
  const struct {
    int column, min, max;
    bool xBreak;
    int wMin, wMax;
  } cases[] = {
      // clang-format off
      {0, 100, 100, true, 900, 900}, {1, 20, 150, false, 900, 900}, {3, 100, 300, false, 900, 900},
      {4, -5, 100, false, 900, 900}, {5, 100, 100, true, 900, 900}, {6, 100, 100, false, 900, 950},
      {9, 100, 101, false, 950, 950}, {17, 940, 941, true, 950, 950},
      // clang-format on
  };
  const TrendView view = buffer.decimate(0, 180, 18, 60);
  for (const auto& c : cases) {
    const TrendColumn& column = view.columns[static_cast<size_t>(c.column)];
    EXPECT_EQ(std::tuple(int(column.x.min), int(column.x.max), column.xBreak, int(column.w.min),
                         int(column.w.max)),
              std::tuple(c.min, c.max, c.xBreak, c.wMin, c.wMax))
        << c.column;
  }
  // Older readings give way at the capacity, and events with them.
  buffer.addEvent({0.5, 0, 0, OperationEvent::Kind::RunStarted, QStringLiteral("start")});
  for (int t = 200; t < 250; ++t) buffer.add(X(t, 20));
  EXPECT_EQ(buffer.samples().size(), 150u);
  EXPECT_EQ(buffer.samples().front().time, 2);
  EXPECT_EQ(buffer.samples().front().w, 900);  // still what was last read
  EXPECT_TRUE(buffer.events().empty());
}
