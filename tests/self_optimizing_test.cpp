// Self-optimizing with a scripted controller, from its menu entry: the
// setpoint asked for, the start test with its margin, the confirmation, the
// polling with Cancel, and the wait for steady state at the end.

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

// The controller before: heater off, channel and dry run set, so that the
// words self-optimizing sets are seen. A run polls until the controller
// reports it finished (with its tuned terms, the furnace at W), then waits
// for steady state; Cancel during a poll switches the heater off. Flags left
// over from earlier operations shorten nothing.
TEST(SelfOptimizing, StartTestPollsAndCancel) {
  enum Then { Decline, Refused, Run, CancelRun };
  struct Case {
    int high, X;
    Then then;
    const char* margin = "240";  // shown in the refusal
    int busyPolls = 0;           // polls that still see the run going
    std::optional<QString> reply = "850";
  } cases[] = {
      // clang-format off
      {1200, 610, Decline}, {1200, 611, Refused},         // margin 240: X 610 just kept
      {1203, 609, Decline}, {1203, 610, Refused, "241"},  // 240.6 kept, shown as 241
      {1202, 610, Refused}, {1200, 900, Refused},         // 240.4 shown as 240; above W
      {1200, 20, Decline, "", 0, std::nullopt},           // Cancel in the setpoint box
      {1200, 100, Run, "", 3}, {1200, 100, Run, "", 0}, {1200, 100, CancelRun, "", 3},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.high << " " << c.X << " " << c.then << c.busyPolls);
    DataBlockWords before = Block(400, 10, 300, 60, 0, 0, c.high);
    before[kChannel] = before[kDry] = 1;
    Harness h(kScripted, before);
    frmOVX& f = h.form();
    ScriptedController& ctl = h.controller;
    ctl.values.ActualTemperature = static_cast<int16_t>(c.X);
    const bool run = c.then == Run || c.then == CancelRun, cancel = c.then == CancelRun;
    // Value reads: 1 before the start, then the polls.
    ctl.beforeValueRead = [&](int k) {
      ctl.values.OptimizationStatus = k >= 1 && (cancel || k <= c.busyPolls) ? 1 : 0;
      if (cancel && k == c.busyPolls) h.platform.soon([&] { f.BtnCancel->click(); });
      if (!cancel && k == c.busyPolls + 1) {
        ctl.words[kPTerm] = 35, ctl.words[kITerm] = 250, ctl.words[kDTerm] = 40;
        ctl.words[kOptimize1] = ctl.words[kOptimize2] = 0;
        ctl.values.ActualTemperature = 850;
      }
    };
    // The window at each poll and pass, seen from its yield (OK: the wait).
    QStringList views;
    if (run) {
      h.everyYield([&] {
        EXPECT_TRUE(!AnyMenu(f) && f.BtnCancel->isVisible());
        views << (f.BtnOK->isVisible() ? "wait" : f.statusLine());
      });
      f.OKFlag = f.CancelFlag = true;
      f.move(0, 0);
    }
    h.platform.inputs = {c.reply};
    h.platform.answers = {c.then == Decline ? MsgAnswer::Cancel : MsgAnswer::Ok};

    f.ops().menuOVXSelfOptimizing_Click();

    // After the setpoint read: the setpoint is written whatever follows.
    DataBlockWords started = before;
    started[kSetpoint] = 850;
    std::vector<QByteArray> expected{"R001NT?", "R001NF?", "R001NT?", WriteFrame(1, started)};
    started[kChannel] = started[kDry] = 0;
    started[kHeaterOutput] = started[kOptimize1] = started[kOptimize2] = 1;
    const int polls = cancel ? c.busyPolls : c.busyPolls + 1;
    if (run) {
      expected.insert(expected.end(), {WriteFrame(1, started), "R001NT?"});
      expected.insert(expected.end(), polls, "R001NF?");
      expected.push_back("R001NT?");
    }
    started[kHeaterOutput] = 0;  // Cancel: read, then the switch: read, write, read
    if (cancel) expected.insert(expected.end(), {"R001NT?", WriteFrame(1, started), "R001NT?"});
    if (c.then == Run) expected.insert(expected.end(), 10, "R001NF?");  // the steady-state wait
    EXPECT_EQ(h.sent(), c.reply ? expected : std::vector<QByteArray>{"R001NT?"});
    if (c.then == Refused) {
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
    // The refusal's beep, the end of the run's, or the heater switch's.
    EXPECT_EQ(h.platform.beeps, c.then == Decline ? 0 : 1);
    EXPECT_TRUE(!c.reply || Idle(f));
    if (!run) continue;
    QStringList expectedViews(cancel ? polls + 1 : polls,
                              "Self-Optimizing for 850°C in progress...");
    EXPECT_EQ(views, expectedViews << QStringList(cancel ? 0 : 10, "wait"));
    EXPECT_EQ(f.x(), 5655 / 15);  // centred for the run
    EXPECT_EQ(Fields(f), cancel ? "850 10 300 60" : "850 35 250 40");
    EXPECT_EQ(f.HeaterStatus->text(), cancel ? "OFF" : "ON");
    EXPECT_EQ(f.CancelFlag, cancel);
  }
}
