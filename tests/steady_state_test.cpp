// The wait for a steady temperature, fed exact temperature sequences by a
// scripted controller on the virtual clock.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <map>

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

constexpr int kW = 850;
constexpr double kPass = 0.2;  // TxDelay + RxDelay of the test settings

struct Wait {
  std::vector<QString> displays;  // the trace area after each pass
  std::vector<double> times;      // virtual time of each display
  double start = 0, end = 0;
};

// Runs WaitForSteadyState(W) on samples `prefix`, then `cycle` over and over.
Wait RunWait(Harness& h, int W, std::vector<int> prefix, std::vector<int> cycle) {
  h.controller.beforeValueRead = [&h, W, prefix, cycle](int k) {
    const size_t i = static_cast<size_t>(k);
    const int offset = i < prefix.size() ? prefix[i] : cycle[(i - prefix.size()) % cycle.size()];
    h.controller.values.ActualTemperature = static_cast<int16_t>(W + offset);
  };
  Wait wait;
  QObject::connect(h.form().StatusText, &QPlainTextEdit::textChanged, [&] {
    if (h.form().statusText().isEmpty()) return;
    wait.displays.push_back(h.form().statusText());
    wait.times.push_back(h.platform.t);
  });
  wait.start = h.platform.t;
  h.form().ops().WaitForSteadyState(static_cast<int16_t>(W));
  wait.end = h.platform.t;
  QObject::disconnect(h.form().StatusText, &QPlainTextEdit::textChanged, nullptr, nullptr);
  return wait;
}

QString Line(const QString& display, int line) {
  return display.split(QStringLiteral("\r\n")).value(line - 1);
}

struct Case {
  const char* name;
  std::vector<int> prefix, cycle;   // samples as X - W
  int passes;                       // value-block reads until the wait ends
  std::map<int, QString> stdev;     // STDEV after pass k
  std::map<int, QString> average;   // average after pass k
  double okAt = -1, cancelAt = -1;  // seconds after the start of the wait
  bool okBefore = false, cancelBefore = false;
};

}  // namespace

TEST(SteadyState, StatisticsAndEndOfTheWait) {
  // clang-format off
  const Case cases[] = {
      {"constant W: ends after the tenth counted sample", {}, {0}, 10,
       {{1, " 100"}, {2, " 0"}, {10, " 0"}}, {{1, " 850"}}},
      {"alternating W+1, W-1", {}, {1, -1}, 14,
       {{1, " 100"}, {2, " .707"}, {3, " .491"}, {10, " .291"}, {13, " .257"}, {14, " .249"}},
       {{1, " 851"}, {2, " 850"}, {3, " 850.333"}}},
      {"W+6 does not count", {6}, {0}, 11, {{1, " 100"}, {2, " 100"}, {3, " 0"}},
       {{1, " 0"}, {2, " 850"}}},
      {"W-6 does not count", {-6, -6}, {0}, 12, {{3, " 100"}}, {{2, " 0"}, {3, " 850"}}},
      {"W+5 counts", {5}, {0}, 16, {{1, " 100"}, {2, " 1.768"}}, {{1, " 855"}, {2, " 852.5"}}},
      {"W-5 counts", {-5}, {0}, 16, {{2, " 1.768"}}, {{1, " 845"}}},
      {"STDEV of exactly .25 is steady", {0, 0, 1, -1, 1, -1, -1, 1, 1, 0}, {20}, 10,
       {{9, " .279"}, {10, " .25"}}, {{10, " 850.1"}}},
      {"sum of squares rounded when formed", {-3, -3, -2, -3}, {-3}, 5,
       {{3, " .272"}, {4, " .205"}}, {{4, " 847.25"}}, -1, 0.7},
      {"average of exactly W+1 is not steady", {}, {1}, 27, {{27, " 0"}}, {{27, " 851"}}, 5.1},
      {"average of exactly W-1 is not steady", {}, {-1}, 27, {{27, " 0"}}, {{27, " 849"}}, 5.1},
      {"Cancel at 3.1 s", {}, {20}, 17, {{17, " 100"}}, {{17, " 0"}}, -1, 3.1},
      {"OK already pressed", {}, {0}, 1, {}, {}, -1, -1, true},
      {"Cancel already pressed", {}, {0}, 1, {}, {}, -1, -1, false, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(kScripted);
    ASSERT_TRUE(h.started);
    h.form().OKFlag = c.okBefore;
    h.form().CancelFlag = c.cancelBefore;
    const double t0 = h.platform.t;
    if (c.okAt >= 0) h.platform.at(t0 + c.okAt, [&] { h.form().BtnOK->click(); });
    if (c.cancelAt >= 0) h.platform.at(t0 + c.cancelAt, [&] { h.form().BtnCancel->click(); });
    // A guard against a wait that never ends; it fails the flag test below.
    h.platform.at(t0 + 60, [&] { h.form().BtnOK->click(); });

    const Wait wait = RunWait(h, kW, c.prefix, c.cycle);

    ASSERT_EQ(wait.displays.size(), static_cast<size_t>(c.passes));
    for (const auto& [pass, text] : c.stdev)
      EXPECT_EQ(Line(wait.displays[pass - 1], 7), "STDEV               :" + text) << pass;
    for (const auto& [pass, text] : c.average)
      EXPECT_EQ(Line(wait.displays[pass - 1], 5), "Average             :" + text + "°C") << pass;
    // Nothing of its own between the exchanges.
    EXPECT_NEAR(wait.end - wait.start, c.passes * kPass, 0.001 * c.passes);
    EXPECT_EQ(h.form().statusText(), "");
    EXPECT_TRUE(Idle(h.form()));
    // The routine clears neither flag.
    EXPECT_EQ(h.form().CancelFlag, c.cancelBefore || c.cancelAt >= 0);
    EXPECT_EQ(h.form().OKFlag, c.okBefore || c.okAt >= 0);
    EXPECT_TRUE(h.sent() == std::vector<QByteArray>(c.passes, "R001NF?"));
  }
}

TEST(SteadyState, DisplayText) {
  Harness h(kScripted);
  ASSERT_TRUE(h.started);
  const Wait wait = RunWait(h, kW, {}, {1, -1});
  ASSERT_EQ(wait.displays.size(), 14u);
  EXPECT_EQ(wait.displays[0],
            "Actual Temperature X: 851°C\r\n"
            "Setpoint           W: 850°C\r\n"
            "\r\n"
            "Window              : W ±5\r\n"
            "Average             : 851°C\r\n"
            "Average-Target      : W ±1\r\n"
            "STDEV               : 100\r\n"
            "STDEV-Target        : < .25\r\n"
            "\r\n"
            "Elapsed time        : 0 sec");
  // Whole seconds since the start, rounded down.
  for (size_t i = 0; i < wait.displays.size(); ++i) {
    const int seconds = static_cast<int>(wait.times[i] - wait.start);
    EXPECT_EQ(Line(wait.displays[i], 10),
              "Elapsed time        : " + QString::number(seconds) + " sec");
  }
  EXPECT_EQ(Line(wait.displays[13], 1), "Actual Temperature X: 849°C");
  // Every label's colon stands in column 21.
  for (const QString& line : wait.displays[13].split("\r\n"))
    EXPECT_TRUE(line.isEmpty() || line.indexOf(':') == 20) << line.toStdString();

  Harness negative(kScripted);
  const Wait below = RunWait(negative, -5, {}, {0});
  EXPECT_EQ(Line(below.displays[1], 1), "Actual Temperature X:-5°C");
  EXPECT_EQ(Line(below.displays[1], 2), "Setpoint           W:-5°C");
  EXPECT_EQ(Line(below.displays[1], 5), "Average             :-5°C");
}

TEST(SteadyState, WindowStateDuringTheWait) {
  Harness h(kScripted);
  ASSERT_TRUE(h.started);
  h.form().setStatusLine("Idle");
  h.recordStatus();
  // Seen from the yield of each pass: menus off, both buttons shown.
  QStringList seen;
  h.everyYield([&] {
    seen << QString("%1%2%3")
                .arg(h.form().BtnOK->isHidden() || h.form().BtnCancel->isHidden())
                .arg(h.form().menuFile->menuAction()->isEnabled() ||
                     h.form().menuTemperature->menuAction()->isEnabled() ||
                     h.form().menuOVX->menuAction()->isEnabled())
                .arg(h.form().MenuInfo->menuAction()->isEnabled());
    if (seen.size() == 3) h.form().setStatusLine("Other");  // a field's write, say
  });
  RunWait(h, kW, {}, {0});
  EXPECT_EQ(seen, QStringList(10, "000"));
  // The progress text is put back on every pass, around each read's own text.
  QStringList expected{"Waiting for steady state..."};
  for (int pass = 1; pass <= 10; ++pass) {
    if (pass == 3)
      expected << "Other"
               << "Waiting for steady state...";
    expected << "Status query in progress..."
             << "Waiting for steady state...";
  }
  EXPECT_EQ(h.statusTexts(), expected << "Ready");
}

// Listeners of their own see every reading with its virtual time, and the
// verdict of the wait with its statistics.
TEST(SteadyState, ListenersReceiveReadingsAndTheVerdict) {
  struct Listener : LinkListener, OperationListener {
    std::vector<Reading> readings;
    std::vector<QString> events;
    void readingTaken(const Reading& r) override { readings.push_back(r); }
    void operationEvent(const OperationEvent& e) override { events.push_back(Describe(e)); }
  } listener;
  Harness h(kScripted);
  ASSERT_TRUE(h.started);
  h.program().link.addListener(&listener);
  h.program().recorder.addListener(&listener);
  const Wait wait = RunWait(h, kW, {}, {1, -1});
  ASSERT_EQ(listener.readings.size(), 14u);
  for (size_t i = 0; i < 14; ++i) {
    const Reading& r = listener.readings[i];
    EXPECT_EQ(r.block, BlockKind::Value);
    EXPECT_EQ(r.outcome, Outcome::Answered);
    EXPECT_EQ(r.values.ActualTemperature, kW + (i % 2 ? -1 : 1));
    EXPECT_DOUBLE_EQ(r.time, wait.times[i]);
  }
  EXPECT_EQ(listener.events,
            std::vector<QString>{"steady: average 850, STDEV .249, 14 samples, after 3 s"});
}
