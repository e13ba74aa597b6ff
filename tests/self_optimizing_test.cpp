// Self-optimizing with a scripted controller: the start test, the
// confirmation, the polling with Cancel, and the wait for steady state at the
// end. The whole run on ovx-sim: self_optimizing_sim_test.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

constexpr int16_t kW = 850;

// The controller before the run: heater off, channel and dry run set, so
// that the words self-optimizing sets are seen.
DataBlockWords Before(int high = 1200) {
  DataBlockWords words = DefaultParameterSet();
  words[kSetpoint] = 400;
  words[kSetpointHigh] = static_cast<int16_t>(high);
  words[kChannel] = 1;
  words[kDry] = 1;
  return words;
}

}  // namespace

TEST(SelfOptimizing, StartTestWithItsMargin) {
  struct Case {
    const char* name;
    int high, X;
    const char* margin;  // shown in the refusal, or null when the run may start
  } cases[] = {
      {"X 610: margin 240 just kept", 1200, 610, nullptr},
      {"X 611: refused", 1200, 611, "240"},
      {"margin 240.6 kept", 1203, 609, nullptr},
      {"margin 240.6 shown as 241", 1203, 610, "241"},
      {"margin 240.4 shown as 240", 1202, 610, "240"},
      {"above the setpoint", 1200, 900, "240"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(kScripted, Before(c.high));
    ASSERT_TRUE(h.started);
    h.controller.values.ActualTemperature = static_cast<int16_t>(c.X);
    h.platform.answers = {c.margin ? MsgAnswer::Ok : MsgAnswer::Cancel};  // declines the run

    h.form().ops().SelfOptimizing(kW);

    // The setpoint is written whatever follows.
    DataBlockWords written = Before(c.high);
    written[kSetpoint] = kW;
    EXPECT_EQ(h.sent(), (std::vector<QByteArray>{"R001NF?", "R001NT?", WriteFrame(1, written)}));
    EXPECT_EQ(h.controller.words, written);
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
    } else {
      EXPECT_TRUE(OnlyBox(h.platform, "Execute Self-Optimizing\r\nfor Setpoint 850°C now?",
                          "Self-Optimizing", MsgButtons::OkCancel, MsgIcon::Question));
    }
    EXPECT_EQ(h.platform.beeps, c.margin ? 1 : 0);
    EXPECT_TRUE(Idle(h.form()));
  }
}

TEST(SelfOptimizing, PollsUntilFinishedThenWaitsForSteadyState) {
  struct Case {
    const char* name;
    int busyPolls;  // polls that still see the run going
  } cases[] = {{"three polls", 3}, {"finished at the first poll", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(kScripted, Before());
    ASSERT_TRUE(h.started);
    ScriptedController& ctl = h.controller;
    ctl.values.ActualTemperature = 100;
    // Value reads: 1 before the start, then the polls; at the end of the run
    // the controller holds its tuned terms and the furnace sits at W.
    ctl.beforeValueRead = [&](int k) {
      const bool running = k >= 1 && k <= c.busyPolls;
      ctl.values.OptimizationStatus = running ? 1 : 0;
      if (k == c.busyPolls + 1) {
        ctl.words[kPTerm] = 35, ctl.words[kITerm] = 250, ctl.words[kDTerm] = 40;
        ctl.words[kOptimize1] = ctl.words[kOptimize2] = 0;
        ctl.values.ActualTemperature = kW;
      }
    };
    // The window at each poll and pass, seen from its yield (OK: the wait).
    QStringList views;
    h.everyYield([&] {
      views << QString("%1 menus %2, Cancel %3")
                   .arg(h.form().BtnOK->isVisible() ? "wait" : h.form().statusLine())
                   .arg(h.form().menuOVX->menuAction()->isEnabled())
                   .arg(h.form().BtnCancel->isVisible());
    });
    h.platform.answers = {MsgAnswer::Ok};
    // Left over from earlier operations: neither may shorten anything.
    h.form().OKFlag = true;
    h.form().CancelFlag = true;
    h.form().move(0, 0);

    h.form().ops().SelfOptimizing(kW);

    DataBlockWords started = Before();
    started[kSetpoint] = kW;
    const QByteArray setpointFrame = WriteFrame(1, started);
    started[kChannel] = 0;
    started[kDry] = 0;
    started[kHeaterOutput] = 1;
    started[kOptimize1] = started[kOptimize2] = 1;
    std::vector<QByteArray> expected{"R001NF?", "R001NT?", setpointFrame, WriteFrame(1, started),
                                     "R001NT?"};
    for (int i = 0; i <= c.busyPolls; ++i) expected.push_back("R001NF?");
    expected.push_back("R001NT?");
    for (int i = 0; i < 10; ++i) expected.push_back("R001NF?");  // the steady-state wait
    EXPECT_EQ(h.sent(), expected);

    QStringList expectedViews(c.busyPolls + 1,
                              "Self-Optimizing for 850°C in progress... menus 0, Cancel 1");
    expectedViews << QStringList(10, "wait menus 0, Cancel 1");
    EXPECT_EQ(views, expectedViews);
    EXPECT_EQ(h.form().x(), 5655 / 15);  // centred for the run
    EXPECT_EQ(Fields(h.form()), "850 35 250 40");
    EXPECT_EQ(h.form().HeaterStatus->text(), "ON");
    EXPECT_EQ(h.platform.beeps, 1);
    EXPECT_EQ(h.platform.boxes.size(), 1u);
    EXPECT_TRUE(Idle(h.form()));
  }
}

TEST(SelfOptimizing, CancelSwitchesTheHeaterOff) {
  Harness h(kScripted, Before());
  ASSERT_TRUE(h.started);
  ScriptedController& ctl = h.controller;
  ctl.values.ActualTemperature = 100;
  ctl.values.OptimizationStatus = 1;
  int polls = 0;
  ctl.beforeValueRead = [&](int k) {
    // Cancel clicked during the third poll's exchange: the next poll sees
    // the flag before its read.
    if (k == 3) h.platform.soon([&] { h.form().BtnCancel->click(); });
    if (k >= 1) ++polls;
  };
  h.platform.answers = {MsgAnswer::Ok};
  h.form().ops().SelfOptimizing(kW);

  EXPECT_EQ(polls, 3);
  const std::vector<QByteArray> sent = h.sent();
  ASSERT_GE(sent.size(), 4u);
  DataBlockWords off = ctl.words;
  off[kHeaterOutput] = 0;
  // Read, then the switch: read, write, read.
  EXPECT_EQ(
      std::vector<QByteArray>(sent.end() - 5, sent.end()),
      (std::vector<QByteArray>{"R001NF?", "R001NT?", "R001NT?", WriteFrame(1, off), "R001NT?"}));
  // Nothing else is put back.
  EXPECT_EQ(QList<int>({ctl.words[kSetpoint], ctl.words[kOptimize1], ctl.words[kOptimize2],
                        ctl.words[kChannel], ctl.words[kHeaterOutput]}),
            QList<int>({kW, 1, 1, 0, 0}));
  EXPECT_EQ(h.form().HeaterStatus->text(), "OFF");
  EXPECT_EQ(h.platform.beeps, 1);  // the heater switch's
  EXPECT_TRUE(Idle(h.form()));
  EXPECT_TRUE(h.form().CancelFlag);
}

TEST(SelfOptimizing, MenuEntryAsksForTheSetpointFirst) {
  struct Case {
    const char* name;
    std::optional<QString> reply;
    size_t frames;  // after the setpoint read
  } cases[] = {{"Cancel: nothing more", std::nullopt, 0}, {"-1 is a setpoint", "-1", 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DataBlockWords words = Before();
    words[kSetpointLow] = -100;
    Harness h(kScripted, words);
    ASSERT_TRUE(h.started);
    h.controller.values.ActualTemperature = 20;  // too warm for a run to -1 °C
    h.platform.inputs = {c.reply};
    h.platform.answers = {MsgAnswer::Ok};
    h.form().ops().menuOVXSelfOptimizing_Click();
    EXPECT_EQ(h.sent().size(), 1 + c.frames);
    EXPECT_EQ(h.controller.words[kSetpoint], c.reply ? -1 : 400);
    EXPECT_EQ(h.platform.boxes.size(), c.reply ? 1u : 0u);
  }
}
