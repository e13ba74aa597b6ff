// The wait for a steady temperature, fed exact temperature sequences by a
// scripted controller on the virtual clock.

#include <QPlainTextEdit>
#include <map>

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

struct Wait {
  std::vector<QString> displays;  // the trace area after each pass
  std::vector<double> times;      // virtual time of each display
  double start = 0, end = 0;
};

// Runs WaitForSteadyState(W) on samples (as X - W) `prefix`, then `cycle`
// over and over.
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

}  // namespace

// The statistics shown on each pass, the end of the wait, and the window
// during it: menus off and both buttons shown at every yield, the progress
// text put back on every pass around the read's own.
TEST(SteadyState, StatisticsAndEndOfTheWait) {
  struct Case {
    const char* name;
    std::vector<int> prefix, cycle;   // samples as X - W
    int passes;                       // value-block reads until the wait ends
    std::map<int, QString> stdev;     // STDEV after pass k
    std::map<int, QString> average;   // average after pass k
    double okAt = -1, cancelAt = -1;  // seconds after the start of the wait
    bool okBefore = false, cancelBefore = false;
  };
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
    frmOVX& f = h.form();
    f.OKFlag = c.okBefore;
    f.CancelFlag = c.cancelBefore;
    const double t0 = h.platform.t;
    if (c.okAt >= 0) h.platform.at(t0 + c.okAt, [&] { f.BtnOK->click(); });
    if (c.cancelAt >= 0) h.platform.at(t0 + c.cancelAt, [&] { f.BtnCancel->click(); });
    // A guard against a wait that never ends; it fails the flag test below.
    h.platform.at(t0 + 60, [&] { f.BtnOK->click(); });
    h.recordStatus();
    QStringList seen;  // buttons hidden, menus enabled
    h.everyYield([&] {
      seen << QString("%1%2").arg(f.BtnOK->isHidden() || f.BtnCancel->isHidden()).arg(AnyMenu(f));
      if (seen.size() == 2) f.setStatusLine("Other");  // a field's write, say
    });

    const Wait wait = RunWait(h, 850, c.prefix, c.cycle);

    ASSERT_EQ(wait.displays.size(), static_cast<size_t>(c.passes));
    for (const auto& [pass, text] : c.stdev)
      EXPECT_EQ(Line(wait.displays[pass - 1], 7), "STDEV               :" + text) << pass;
    for (const auto& [pass, text] : c.average)
      EXPECT_EQ(Line(wait.displays[pass - 1], 5), "Average             :" + text + "°C") << pass;
    // Whole seconds since the start, rounded down.
    for (int i = 0; i < c.passes; ++i)
      EXPECT_EQ(Line(wait.displays[i], 10),
                QString("Elapsed time        : %1 sec").arg(int(wait.times[i] - wait.start)));
    // Nothing of its own between the exchanges (TxDelay + RxDelay: 0.2 s).
    EXPECT_NEAR(wait.end - wait.start, c.passes * 0.2, 0.001 * c.passes);
    EXPECT_EQ(seen, QStringList(c.passes, "00"));
    const QString waiting = "Waiting for steady state...", query = "Status query in progress...";
    QStringList texts{waiting};
    for (int pass = 1; pass <= c.passes; ++pass)
      texts +=
          pass == 2 ? QStringList{"Other", waiting, query, waiting} : QStringList{query, waiting};
    EXPECT_EQ(h.statusTexts(), texts << "Ready");
    EXPECT_EQ(f.statusText(), "");
    EXPECT_TRUE(Idle(f));
    // The routine clears neither flag.
    EXPECT_EQ(f.CancelFlag, c.cancelBefore || c.cancelAt >= 0);
    EXPECT_EQ(f.OKFlag, c.okBefore || c.okAt >= 0);
    EXPECT_TRUE(h.sent() == std::vector<QByteArray>(c.passes, "R001NF?"));
  }
}

// Listeners of their own see every reading with its virtual time, and the
// verdict of the wait with its statistics; the first pass's display whole.
TEST(SteadyState, ListenersReceiveReadingsAndTheVerdict) {
  struct Listener : LinkListener, OperationListener {
    std::vector<Reading> readings;
    std::vector<QString> events;
    void readingTaken(const Reading& r) override { readings.push_back(r); }
    void eventPosted(const OperationEvent& e) override { events.push_back(Describe(e)); }
  } listener;
  Harness h(kScripted);
  h.program().link.addListener(&listener);
  h.program().recorder.addListener(&listener);
  const Wait wait = RunWait(h, 850, {}, {1, -1});
  ASSERT_EQ(listener.readings.size(), 14u);
  for (size_t i = 0; i < 14; ++i) {
    const Reading& r = listener.readings[i];
    EXPECT_EQ(r.block, BlockKind::Value);
    EXPECT_EQ(r.outcome, Outcome::Answered);
    EXPECT_EQ(r.values.ActualTemperature, 850 + (i % 2 ? -1 : 1));
    EXPECT_DOUBLE_EQ(r.time, wait.times[i]);
  }
  EXPECT_EQ(listener.events,
            std::vector<QString>{"steady: average 850, STDEV .249, 14 samples, after 3 s"});
  EXPECT_EQ(wait.displays.at(0),
            "Actual Temperature X: 851°C\r\nSetpoint           W: 850°C\r\n\r\n"
            "Window              : W ±5\r\nAverage             : 851°C\r\n"
            "Average-Target      : W ±1\r\nSTDEV               : 100\r\n"
            "STDEV-Target        : < .25\r\n\r\nElapsed time        : 0 sec");
}
