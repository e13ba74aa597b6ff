// Self-optimizing: the start test, the confirmation, the polling with
// Cancel, and the wait for steady state at the end; scripted, and against
// the controller model.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPushButton>

#include "scripted_controller.h"

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

const MessageBoxRequest& OnlyBox(Harness& h) {
  return h.platform.boxes.at(0).request;
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
    ScriptedHarness h(Before(c.high));
    ASSERT_TRUE(h.started);
    h.controller.values.ActualTemperature = static_cast<int16_t>(c.X);
    h.platform.answers = {c.margin ? MsgAnswer::Ok : MsgAnswer::Cancel};  // declines the run

    h.program().ops.SelfOptimizing(kW);

    // The setpoint is written whatever follows.
    DataBlockWords written = Before(c.high);
    written[kSetpoint] = kW;
    EXPECT_EQ(h.sent(), (std::vector<QByteArray>{"R001NF?", "R001NT?", WriteFrame(1, written)}));
    EXPECT_EQ(h.controller.words, written);
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    const MessageBoxRequest& box = OnlyBox(h);
    if (c.margin) {
      EXPECT_EQ(box.text, QString("Self-Optimizing not possible!\r\n"
                                  "Actual Temperature X must be at least\r\n"
                                  "(%1 + X)°C below Setpoint W at the\r\n"
                                  "beginning of the self optimizing process...\r\n"
                                  "\r\n"
                                  "Actual Temperature X: %2°C\r\n"
                                  "Setpoint W:           850°C\r\n")
                              .arg(c.margin)
                              .arg(c.X));
      EXPECT_EQ(box.title, "OVX");
      EXPECT_EQ(box.buttons, MsgButtons::Ok);
      EXPECT_EQ(box.icon, MsgIcon::None);
      EXPECT_EQ(h.platform.beeps, 1);
    } else {
      EXPECT_EQ(box.text, "Execute Self-Optimizing\r\nfor Setpoint 850°C now?");
      EXPECT_EQ(box.title, "Self-Optimizing");
      EXPECT_EQ(box.buttons, MsgButtons::OkCancel);
      EXPECT_EQ(box.icon, MsgIcon::Question);
      EXPECT_EQ(h.platform.beeps, 0);
    }
    EXPECT_EQ(h.form().statusLine(), "Ready");
    EXPECT_TRUE(h.form().menuOVX->menuAction()->isEnabled());
  }
}

// What the window looks like at each poll, seen from its yield.
struct PollView {
  QString statusLine;
  bool menus, cancel, ok;
};

TEST(SelfOptimizing, PollsUntilFinishedThenWaitsForSteadyState) {
  struct Case {
    const char* name;
    int busyPolls;  // polls that still see the run going
  } cases[] = {{"three polls", 3}, {"finished at the first poll", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHarness h(Before());
    ASSERT_TRUE(h.started);
    ScriptedController& ctl = h.controller;
    ctl.values.ActualTemperature = 100;
    // Value reads: 1 before the start, then the polls; at the end of the run
    // the controller holds its tuned terms and the furnace sits at W.
    ctl.beforeValueRead = [&](int k) {
      const bool running = k >= 1 && k <= c.busyPolls;
      ctl.values.OptimizationStatus = running ? 1 : 0;
      if (k == c.busyPolls + 1) {
        ctl.words[kPTerm] = 35;
        ctl.words[kITerm] = 250;
        ctl.words[kDTerm] = 40;
        ctl.words[kOptimize1] = ctl.words[kOptimize2] = 0;
        ctl.values.ActualTemperature = kW;
      }
    };
    std::vector<PollView> views;
    std::function<void()> watch = [&] {
      views.push_back({h.form().statusLine(), h.form().menuOVX->menuAction()->isEnabled(),
                       !h.form().BtnCancel->isHidden(), !h.form().BtnOK->isHidden()});
      h.platform.soon(watch);  // the next yield
    };
    h.platform.soon(watch);
    h.platform.answers = {MsgAnswer::Ok};
    // Left over from earlier operations: neither may shorten anything.
    h.g().OKFlag = true;
    h.g().CancelFlag = true;
    h.form().move(0, 0);

    h.program().ops.SelfOptimizing(kW);

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

    ASSERT_EQ(views.size(), static_cast<size_t>(c.busyPolls + 1 + 10));
    for (int i = 0; i <= c.busyPolls; ++i) {
      EXPECT_EQ(views[i].statusLine, "Self-Optimizing for 850°C in progress...");
      EXPECT_FALSE(views[i].menus);
      EXPECT_TRUE(views[i].cancel);
      EXPECT_FALSE(views[i].ok);
    }
    EXPECT_TRUE(views.back().ok);
    EXPECT_EQ(h.form().x(), 5655 / 15);  // centred for the run
    EXPECT_EQ(h.form().P->text(), "35");
    EXPECT_EQ(h.form().I->text(), "250");
    EXPECT_EQ(h.form().D->text(), "40");
    EXPECT_EQ(h.form().HeaterStatus->text(), "ON");
    EXPECT_EQ(h.platform.beeps, 1);
    EXPECT_EQ(h.platform.boxes.size(), 1u);
    EXPECT_EQ(h.form().statusLine(), "Ready");
    EXPECT_TRUE(h.form().menuOVX->menuAction()->isEnabled());
    EXPECT_TRUE(h.form().BtnCancel->isHidden());
    EXPECT_TRUE(h.form().BtnOK->isHidden());
  }
}

TEST(SelfOptimizing, CancelSwitchesTheHeaterOff) {
  ScriptedHarness h(Before());
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
  h.program().ops.SelfOptimizing(kW);

  EXPECT_EQ(polls, 3);
  const std::vector<QByteArray> sent = h.sent();
  ASSERT_GE(sent.size(), 4u);
  DataBlockWords off = ctl.words;
  off[kHeaterOutput] = 0;
  // Read, then the switch: read, write, read.
  EXPECT_EQ(
      std::vector<QByteArray>(sent.end() - 5, sent.end()),
      (std::vector<QByteArray>{"R001NF?", "R001NT?", "R001NT?", WriteFrame(1, off), "R001NT?"}));
  EXPECT_EQ(ctl.words[kHeaterOutput], 0);
  // Nothing else is put back.
  EXPECT_EQ(ctl.words[kSetpoint], kW);
  EXPECT_EQ(ctl.words[kOptimize1], 1);
  EXPECT_EQ(ctl.words[kOptimize2], 1);
  EXPECT_EQ(ctl.words[kChannel], 0);
  EXPECT_EQ(h.form().HeaterStatus->text(), "OFF");
  EXPECT_EQ(h.platform.beeps, 1);  // the heater switch's
  EXPECT_TRUE(h.form().BtnCancel->isHidden());
  EXPECT_TRUE(h.form().menuOVX->menuAction()->isEnabled());
  EXPECT_EQ(h.form().statusLine(), "Ready");
  EXPECT_TRUE(h.g().CancelFlag);
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
    ScriptedHarness h(words);
    ASSERT_TRUE(h.started);
    h.controller.values.ActualTemperature = 20;  // too warm for a run to -1 °C
    h.platform.inputs = {c.reply};
    h.platform.answers = {MsgAnswer::Ok};
    h.program().ops.menuOVXSelfOptimizing_Click();
    EXPECT_EQ(h.sent().size(), 1 + c.frames);
    EXPECT_EQ(h.controller.words[kSetpoint], c.reply ? -1 : 400);
    EXPECT_EQ(h.platform.boxes.size(), c.reply ? 1u : 0u);
  }
}

// The whole procedure against the controller model: it heats, tunes, hands
// over the new terms and settles at W.
TEST(SelfOptimizing, ModelTunesAndSettles) {
  Harness h;
  h.speed = 50;  // 10 simulated seconds per exchange
  ASSERT_TRUE(h.start());
  h.platform.inputs = {QString("850")};
  h.platform.answers = {MsgAnswer::Ok};
  const double t0 = h.platform.t;
  // A guard: the run must end long before this.
  h.platform.at(t0 + 3 * 3600.0 / h.speed, [&] { h.form().BtnCancel->click(); });
  bool sawOptimizing = false;
  std::function<void()> watch = [&] {
    sawOptimizing = sawOptimizing || h.model.optimizing();
    h.platform.soon(watch);  // the next yield
  };
  h.platform.soon(watch);

  h.program().ops.menuOVXSelfOptimizing_Click();

  EXPECT_TRUE(sawOptimizing);
  EXPECT_FALSE(h.g().CancelFlag) << "ended by the guard";
  EXPECT_FALSE(h.model.optimizing());
  const DataBlockWords& tuned = h.model.dataBlock();
  const DataBlockWords defaults = DefaultParameterSet();
  EXPECT_NE(std::tie(tuned[kPTerm], tuned[kITerm], tuned[kDTerm]),
            std::tie(defaults[kPTerm], defaults[kITerm], defaults[kDTerm]));
  EXPECT_EQ(h.form().P->text(), QString::number(tuned[kPTerm]));
  EXPECT_EQ(h.form().I->text(), QString::number(tuned[kITerm]));
  EXPECT_EQ(h.form().D->text(), QString::number(tuned[kDTerm]));
  EXPECT_EQ(tuned[kHeaterOutput], 1);
  EXPECT_NEAR(h.model.temperature(), 850, 2);
  EXPECT_EQ(h.form().statusLine(), "Ready");
  std::printf("[          ] tuned P %d, I %d, D %d in %.0f simulated minutes\n", tuned[kPTerm],
              tuned[kITerm], tuned[kDTerm], (h.platform.t - t0) * h.speed / 60);
}
