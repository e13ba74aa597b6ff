// Self-optimizing with a scripted controller: the start test, the
// confirmation, the polling with Cancel, and the wait for steady state at the
// end. The whole run on ovx-sim: self_optimizing_sim_test.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// The controller before the run: heater off, channel and dry run set, so
// that the words self-optimizing sets are seen.
DataBlockWords Before(int high = 1200) {
  DataBlockWords words = DefaultParameterSet();
  words[kSetpoint] = 400;
  words[kSetpointHigh] = static_cast<int16_t>(high);
  words[kChannel] = words[kDry] = 1;
  return words;
}

}  // namespace

// From the menu entry: the setpoint asked for (Cancel: nothing more), then the
// start test with its margin.
TEST(SelfOptimizing, StartTestWithItsMargin) {
  struct Case {
    int high, X;
    const char* margin;  // shown in the refusal, or null when the run may start
    std::optional<QString> reply = "850";
  } cases[] = {
      // clang-format off
      {1200, 610, nullptr}, {1200, 611, "240"},  // margin 240: X 610 just kept
      {1203, 609, nullptr}, {1203, 610, "241"},  // 240.6 kept, shown as 241
      {1202, 610, "240"}, {1200, 900, "240"},    // 240.4 shown as 240; above W
      {1200, 20, nullptr, std::nullopt},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.high << " " << c.X);
    Harness h(kScripted, Before(c.high));
    h.controller.values.ActualTemperature = static_cast<int16_t>(c.X);
    h.platform.inputs = {c.reply};
    h.platform.answers = {c.margin ? MsgAnswer::Ok : MsgAnswer::Cancel};  // declines the run

    h.form().ops().menuOVXSelfOptimizing_Click();

    // The setpoint is written whatever follows.
    DataBlockWords written = Before(c.high);
    written[kSetpoint] = 850;
    std::vector<QByteArray> frames{"R001NT?", "R001NF?", "R001NT?", WriteFrame(1, written)};
    EXPECT_EQ(h.sent(), c.reply ? frames : std::vector<QByteArray>{"R001NT?"});
    if (c.margin) {
      EXPECT_TRUE(OnlyBox(h.platform,
                          QString("Self-Optimizing not possible!\r\n"
                                  "Actual Temperature X must be at least\r\n"
                                  "(%1 + X)°C below Setpoint W at the\r\n"
                                  "beginning of the self optimizing process...\r\n\r\n"
                                  "Actual Temperature X: %2°C\r\n"
                                  "Setpoint W:           850°C\r\n")
                              .arg(c.margin)
                              .arg(c.X),
                          "OVX", MsgButtons::Ok, MsgIcon::None));
    } else if (c.reply) {
      EXPECT_TRUE(OnlyBox(h.platform, "Execute Self-Optimizing\r\nfor Setpoint 850°C now?",
                          "Self-Optimizing", MsgButtons::OkCancel, MsgIcon::Question));
    }
    EXPECT_EQ(h.platform.boxes.size(), c.reply ? 1u : 0u);
    EXPECT_EQ(h.platform.beeps, c.margin ? 1 : 0);
    EXPECT_TRUE(!c.reply || Idle(h.form()));
  }
}

// The run started: polls until the controller reports it finished, then the
// steady-state wait; or Cancel during a poll, which switches the heater off.
TEST(SelfOptimizing, PollsUntilFinishedOrCancel) {
  struct Case {
    int busyPolls;  // polls that still see the run going
    bool cancel;    // Cancel clicked during the exchange of the last busy poll
  } cases[] = {{3, false}, {0, false}, {3, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.busyPolls << c.cancel);
    Harness h(kScripted, Before());
    frmOVX& f = h.form();
    ScriptedController& ctl = h.controller;
    ctl.values.ActualTemperature = 100;
    // Value reads: 1 before the start, then the polls; at the end of the run
    // the controller holds its tuned terms and the furnace sits at W.
    ctl.beforeValueRead = [&](int k) {
      ctl.values.OptimizationStatus = k >= 1 && (c.cancel || k <= c.busyPolls) ? 1 : 0;
      if (c.cancel && k == c.busyPolls) h.platform.soon([&] { f.BtnCancel->click(); });
      if (!c.cancel && k == c.busyPolls + 1) {
        ctl.words[kPTerm] = 35, ctl.words[kITerm] = 250, ctl.words[kDTerm] = 40;
        ctl.words[kOptimize1] = ctl.words[kOptimize2] = 0;
        ctl.values.ActualTemperature = 850;
      }
    };
    // The window at each poll and pass, seen from its yield (OK: the wait).
    QStringList views;
    h.everyYield([&] {
      EXPECT_TRUE(!AnyMenu(f) && f.BtnCancel->isVisible());
      views << (f.BtnOK->isVisible() ? "wait" : f.statusLine());
    });
    h.platform.answers = {MsgAnswer::Ok};
    // Left over from earlier operations: neither may shorten anything.
    f.OKFlag = f.CancelFlag = true;
    f.move(0, 0);

    f.ops().SelfOptimizing(850);

    DataBlockWords started = Before();
    started[kSetpoint] = 850;
    const QByteArray setpointFrame = WriteFrame(1, started);
    started[kChannel] = started[kDry] = 0;
    started[kHeaterOutput] = started[kOptimize1] = started[kOptimize2] = 1;
    std::vector<QByteArray> expected{"R001NF?", "R001NT?", setpointFrame, WriteFrame(1, started),
                                     "R001NT?"};
    const int polls = c.cancel ? c.busyPolls : c.busyPolls + 1;
    expected.insert(expected.end(), polls, "R001NF?");
    expected.push_back("R001NT?");
    started[kHeaterOutput] = 0;  // Cancel: read, then the switch: read, write, read
    if (c.cancel) expected.insert(expected.end(), {"R001NT?", WriteFrame(1, started), "R001NT?"});
    if (!c.cancel) expected.insert(expected.end(), 10, "R001NF?");  // the steady-state wait
    EXPECT_EQ(h.sent(), expected);
    QStringList expectedViews(c.cancel ? polls + 1 : polls,
                              "Self-Optimizing for 850°C in progress...");
    EXPECT_EQ(views, expectedViews << QStringList(c.cancel ? 0 : 10, "wait"));
    EXPECT_EQ(f.x(), 5655 / 15);  // centred for the run
    EXPECT_EQ(Fields(f), c.cancel ? "850 10 300 60" : "850 35 250 40");
    EXPECT_EQ(f.HeaterStatus->text(), c.cancel ? "OFF" : "ON");
    EXPECT_EQ(h.platform.beeps, 1);  // the end of the run's, or the heater switch's
    EXPECT_EQ(h.platform.boxes.size(), 1u);
    EXPECT_EQ(f.CancelFlag, c.cancel);
    EXPECT_TRUE(Idle(f));
  }
}
