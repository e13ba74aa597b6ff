// The temperature-run dialog and the run it starts, on the virtual clock
// with a scripted controller (or the controller model).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "pidstore/pidstore.h"
#include "support/harness.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

namespace {

DataBlockWords Limits(int low, int high) {
  DataBlockWords words{};
  words[kSetpoint] = 900;
  words[kSetpointLow] = static_cast<int16_t>(low);
  words[kSetpointHigh] = static_cast<int16_t>(high);
  words[kPTerm] = 48, words[kITerm] = 8, words[kDTerm] = 2;
  return words;
}

// A started program whose "Dir" is the test's folder, and whose controller
// reports the actual temperature as the setpoint plus `offset` (0: steady at
// once).
struct Furnace : Harness {
  explicit Furnace(int low = 0, int high = 1200) : Harness(kScripted, Limits(low, high), kDirIni) {
    const double begin = platform.t;
    controller.beforeValueRead = [this, begin](int) {
      if (platform.t - begin > 4 * 3600) throw std::runtime_error("run did not end");
      controller.values.ActualTemperature =
          static_cast<int16_t>(controller.words[kSetpoint] + offset);
    };
  }
  int offset = 0;
};

// Start, stop, step and dwell, typed and shown.
void SetFields(frmTRun& dlg, const QStringList& texts) {
  const QList<QLineEdit*> fields{dlg.TStart, dlg.TStop, dlg.TStep, dlg.DwellTime};
  for (int i = 0; i < 4; ++i) fields[i]->setText(texts[i]);
}
QString Texts(frmTRun& dlg) {
  return QStringList{dlg.TStart->text(), dlg.TStop->text(), dlg.TStep->text(),
                     dlg.DwellTime->text()}
      .join(' ');
}

// One step of a run as the controller saw it: a data-block read and a write
// right before the steady-state wait's first value-block read.
struct Step {
  DataBlockWords written;
  DataBlockWords before;  // the block as last written before this step
};

std::vector<Step> StepsOf(const std::vector<QByteArray>& frames) {
  std::vector<Step> steps;
  DataBlockWords last{};
  for (size_t i = 0; i < frames.size(); ++i) {
    if (!frames[i].startsWith('S')) continue;
    const DataBlockWords block = DecodeDataBlock(frames[i].mid(8, 92));
    if (i > 0 && frames[i - 1] == "R001NT?" && i + 1 < frames.size() && frames[i + 1] == "R001NF?")
      steps.push_back({block, last});
    last = block;
  }
  return steps;
}

}  // namespace

TEST(TRunDialog, DefaultsTabOrderAndPlace) {
  Furnace h;
  frmTRun dlg(h.platform, h.settings(), h.commands(), h.program().pidStore, h.form());
  EXPECT_EQ(Texts(dlg), "900 1200 1 60");  // SP 1, SP H, 1 and 60
  QStringList order;
  for (QWidget* w = dlg.TStart; order.size() < 6; w = w->nextInFocusChain())
    if (w->focusPolicy() & Qt::TabFocus) order << w->objectName();
  EXPECT_EQ(order.join(' '), "TStart TStop TStep DwellTime btnStart btnCancel");
  EXPECT_FALSE(dlg.isVisible());
  dlg.ShowCentered();
  EXPECT_EQ(QRect(dlg.pos(), dlg.size()),
            QRect((15360 / 15 - 157) / 2, (11520 / 15 - 118) / 2, 157, 118));
  EXPECT_EQ(dlg.windowTitle(), "Temperature Run");
}

TEST(TRunDialog, Normalisations) {
  struct Case {
    int field;  // 0 TStart, 1 TStop, 2 TStep, 3 DwellTime
    int low, high;
    QStringList texts;  // start, stop, step, dwell
    int expected;
  } cases[] = {
      // clang-format off
      {0, 0, 1200, {"5000", "", "", ""}, 1200},
      {0, 0, 1200, {"abc", "", "", ""}, 0},
      {0, 0, 1200, {"13.5°C", "", "", ""}, 14},
      {0, 0, 1200, {"99999999999999999999", "", "", ""}, 1200},
      {0, 500, 400, {"450", "", "", ""}, 500},  // the upper limit first
      {1, 0, 1200, {"", "1300", "", ""}, 1200},
      {1, -32768, 32767, {"", "-40000", "", ""}, -32768},
      {2, 0, 1200, {"900", "1000", "-25", ""}, 25},
      {2, 0, 1200, {"900", "1000", "0", ""}, 1},
      {2, 0, 1200, {"900", "1000", "500", ""}, 100},
      {2, 0, 1200, {"1000", "900", "25", ""}, -25},
      {2, 0, 1200, {"950", "950", "5", ""}, 0},
      {2, 0, 1200, {"-99999", "99999", "50000", ""}, 32767},  // the fields as typed
      {3, 0, 1200, {"", "", "", "0"}, 1},
      {3, 0, 1200, {"", "", "", "32001"}, 32000},
      {3, 0, 1200, {"", "", "", "59.5"}, 60},
      {3, 0, 1200, {"", "", "", "60.5"}, 60},
      // clang-format on
  };
  Furnace h;
  frmTRun dlg(h.platform, h.settings(), h.commands(), h.program().pidStore, h.form());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.texts.join('/').toStdString());
    h.commands().DataBlock[kSetpointLow] = static_cast<int16_t>(c.low);
    h.commands().DataBlock[kSetpointHigh] = static_cast<int16_t>(c.high);
    SetFields(dlg, c.texts);
    const int16_t value = c.field == 0   ? dlg.CheckTStart()
                          : c.field == 1 ? dlg.CheckTStop()
                          : c.field == 2 ? dlg.CheckTStep()
                                         : dlg.CheckDwellTime();
    EXPECT_EQ(value, c.expected);
    EXPECT_EQ(Texts(dlg), c.texts.join(' '));  // the checks change no field
  }
  // All four in order: the increment sees the normalised start and stop.
  h.commands().DataBlock[kSetpointLow] = 0;
  h.commands().DataBlock[kSetpointHigh] = 1200;
  SetFields(dlg, {"5000", "-5", "3000", "7.5"});
  dlg.CheckTemperatureParameter();
  EXPECT_EQ(Texts(dlg), "1200 0 -1200 8");
}

TEST(TRunDialog, FieldEvents) {
  Furnace h;
  frmTRun dlg(h.platform, h.settings(), h.commands(), h.program().pidStore, h.form());
  dlg.show();
  dlg.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  // Getting focus selects the whole text, however it comes.
  dlg.TStop->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(dlg.TStop->selectedText(), "1200");
  // Enter normalises and moves on; other keys reach the field.
  struct Case {
    QLineEdit* field;
    QString typed, normalised;
    QWidget* next;
  } cases[] = {
      {dlg.TStart, "5000", "1200", dlg.TStop},
      {dlg.TStop, "1000", "1000", dlg.TStep},
      {dlg.DwellTime, "0.4", "1", dlg.btnStart},
  };
  for (const Case& c : cases) {
    c.field->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(c.field, c.typed);
    EXPECT_EQ(c.field->text(), c.typed);
    QTest::keyClick(c.field, Qt::Key_Return);
    EXPECT_EQ(c.field->text(), c.normalised);
    EXPECT_EQ(QApplication::focusWidget(), c.next);
  }
  // Leaving normalises too, except the dwell time.
  dlg.TStep->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(dlg.TStep, "0");
  dlg.DwellTime->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(dlg.TStep->text(), "-1");
  QTest::keyClicks(dlg.DwellTime, "99999");
  dlg.TStart->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(dlg.DwellTime->text(), "99999");
}

TEST(TRunDialog, CancelUnloadsWithReady) {
  Furnace h;
  frmTRun dlg(h.platform, h.settings(), h.commands(), h.program().pidStore, h.form());
  QSignalSpy unloaded(&dlg, &frmTRun::unloaded);
  dlg.ShowCentered();
  h.form().setStatusLine("something");
  dlg.btnCancel->click();
  EXPECT_EQ(h.form().statusLine(), "Ready");
  EXPECT_FALSE(dlg.isVisible() || dlg.loaded());
  EXPECT_EQ(unloaded.count(), 1);
  EXPECT_TRUE(h.sent().empty());
  // Opened again, it starts afresh from the then current SP 1; while loaded,
  // opening keeps the fields.
  h.commands().DataBlock[kSetpoint] = 950;
  dlg.TStep->setText("7");
  dlg.ShowCentered();
  EXPECT_EQ(Texts(dlg), "950 1200 1 60");
  dlg.TStep->setText("7");
  dlg.ShowCentered();
  EXPECT_EQ(dlg.TStep->text(), "7");
}

TEST(TRun, StepsFramesAndPidSetsPerStep) {
  struct Case {
    int low, high;
    QString start, stop, step;
    QString shownStep;  // the increment in the confirmation
    std::vector<int> steps;
  } cases[] = {
      {0, 1200, "900", "1000", "30", "30", {900, 930, 960, 990}},
      {0, 1200, "1000", "900", "50", "-50", {1000, 950, 900}},
      {0, 1200, "900", "950", "100", "50", {900, 950}},
      // A step that would leave 16 bits ends the run.
      {-32768, 32767, "32000", "32767", "700", "700", {32000, 32700}},
      {-32768, 32767, "-32000", "-32768", "700", "-700", {-32000, -32700}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start.toStdString() + " to " + c.stop.toStdString());
    Furnace h(c.low, c.high);
    h.setPar("920=P30I3D1\r\n960=p40i4d2\r\n");
    frmTRun dlg(h.platform, h.settings(), h.commands(), h.program().pidStore, h.form());
    dlg.ShowCentered();
    SetFields(dlg, {c.start, c.stop, c.step, "3"});
    h.platform.answers = {MsgAnswer::Ok};
    dlg.BtnStart_Click();

    EXPECT_TRUE(OnlyBox(h.platform,
                        "Selected parameter:\r\n\r\nT-Start   : " + c.start + "\r\nT-Stop    : " +
                            c.stop + "\r\nInterval  : " + c.shownStep + "\r\nDwell Time: 3\r\n",
                        "Start Temperature Run", MsgButtons::OkCancel, MsgIcon::None));
    const std::vector<QByteArray> frames = h.sent();
    // The heater is switched on first: read, write with word 37 = 1, read.
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0], "R001NT?");
    EXPECT_EQ(DecodeDataBlock(frames[1].mid(8, 92))[kHeaterOutput], 1);
    // Then per step one read and one write, of words 1, 14, 16, 17 and 37
    // only, with the set from "pid.par", each followed by its wait.
    const std::vector<Step> steps = StepsOf(frames);
    ASSERT_EQ(steps.size(), c.steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
      const int T = c.steps[i];
      const PidSet set = T <= 920 ? PidSet{30, 3, 1} : T <= 960 ? PidSet{40, 4, 2} : PidSet{};
      DataBlockWords block = steps[i].before;
      const std::pair<int, int> words[] = {
          {kSetpoint, T}, {kPTerm, set.P}, {kITerm, set.I}, {kDTerm, set.D}, {kHeaterOutput, 1}};
      for (auto [word, value] : words) block[word] = static_cast<int16_t>(value);
      EXPECT_EQ(steps[i].written, block) << T;
    }
    EXPECT_EQ(std::count(frames.begin(), frames.end(), QByteArray("R001NT?")),
              static_cast<long>(steps.size()) + 2);
    EXPECT_GE(h.platform.beeps, static_cast<int>(steps.size()) + 1);
    // The run ends with the heater on and the dialog back as it was.
    EXPECT_EQ(h.controller.words[kHeaterOutput], 1);
    EXPECT_EQ(h.form().W->text(), QString::number(c.steps.back()));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.running());
    EXPECT_EQ(dlg.TStep->text(), c.shownStep);
    EXPECT_TRUE(Idle(h.form()));
  }
}

TEST(TRun, CancelInTheConfirmationChangesNothing) {
  Furnace h;
  frmTRun dlg(h.platform, h.settings(), h.commands(), h.program().pidStore, h.form());
  dlg.ShowCentered();
  SetFields(dlg, {"5000", "900", "7", "0"});
  h.platform.answers = {MsgAnswer::Cancel};
  dlg.BtnStart_Click();
  EXPECT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_TRUE(h.sent().empty());
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(Texts(dlg), "1200 900 -7 1");
}

// The operator's buttons during a run, pressed in the wait or 2 s into the
// dwell of one step (or in every wait), and what follows.
TEST(TRun, OperatorButtons) {
  struct Case {
    const char* name;
    QString start, stop;
    int offset;    // actual minus setpoint: 10 never settles
    bool cancel;   // Cancel, else OK
    bool inDwell;  // 2 s into the dwell, else in the wait
    int step;      // the step (from 1) at which it is pressed; 0: every wait
    size_t steps;  // steps run
    double dwell;  // how long the dwell of that step lasts
  } cases[] = {
      {"Cancel in a wait", "900", "1000", 0, true, false, 2, 2, 0},
      {"Cancel in a dwell", "900", "1000", 0, true, true, 2, 2, 2},
      {"OK in a dwell", "900", "1000", 0, false, true, 1, 3, 2},
      {"OK in every wait, none settles", "900", "1000", 10, false, false, 0, 3, 5},
      {"equal start and stop until Cancel", "950", "950", 0, true, true, 4, 4, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Furnace h;
    h.offset = c.offset;
    frmTRun dlg(h.platform, h.settings(), h.commands(), h.program().pidStore, h.form());
    dlg.ShowCentered();
    SetFields(dlg, {c.start, c.stop, "50", "5"});
    const auto& status = h.recordStatus();
    int pressedInStep = 0;
    auto press = [&] {
      QPushButton* button = c.cancel ? h.form().BtnCancel : h.form().BtnOK;
      EXPECT_TRUE(button->isVisible());
      button->click();
    };
    QObject::connect(h.form().StatusLine, &QLineEdit::textChanged, [&](const QString& text) {
      const int step = h.controller.writes - 1;  // the first write switched the heater on
      if (step == pressedInStep || (c.step != 0 && step != c.step)) return;
      if (!c.inDwell && text == "Waiting for steady state...") {
        pressedInStep = step;
        h.platform.soon(press);
      }
      if (c.inDwell && text == "Dwell time: 5 seconds remaining...") {
        pressedInStep = step;
        h.platform.at(h.platform.t + 2, press);
      }
    });
    h.platform.answers = {MsgAnswer::Ok};
    dlg.BtnStart_Click();

    ASSERT_GT(pressedInStep, 0);
    const std::vector<Step> steps = StepsOf(h.sent());
    ASSERT_EQ(steps.size(), c.steps);
    EXPECT_EQ(steps.back().written[kSetpoint],
              c.start.toInt() + (c.start == c.stop ? 0 : 50) * (static_cast<int>(c.steps) - 1));
    EXPECT_EQ(h.form().CancelFlag, c.cancel);
    EXPECT_FALSE(h.form().OKFlag);
    // The countdowns: each from its first "Dwell time:" text to "Ready".
    struct Dwell {
      double begin, end;
      int texts;
    };
    std::vector<Dwell> dwells;
    bool inside = false;
    for (const auto& s : status) {
      if (s.text.startsWith("Dwell time:")) {
        if (!inside) dwells.push_back({s.time, 0, 0});
        inside = true;
        ++dwells.back().texts;
      } else if (s.text == "Ready" && inside) {
        dwells.back().end = s.time;
        inside = false;
      }
    }
    ASSERT_EQ(dwells.size(), c.steps);
    for (size_t i = 0; i < dwells.size(); ++i) {
      const bool pressed = static_cast<int>(i) + 1 == c.step;
      EXPECT_NEAR(dwells[i].end - dwells[i].begin, pressed ? c.dwell : 5.0, 0.03) << i;
      // 5 seconds down to 0, the next second after each half; a pressed
      // Cancel in the wait shows the first only.
      EXPECT_TRUE(pressed || dwells[i].texts == 6) << i << ": " << dwells[i].texts;
    }
    if (c.cancel && !c.inDwell) {
      EXPECT_EQ(dwells.back().texts, 1);
    }
    if (!c.cancel && c.inDwell) {
      // The next step's read follows the end of the dwell at once.
      const double end = dwells[c.step - 1].end;
      const auto& written = h.port().written;
      const auto next = std::find_if(written.begin(), written.end(),
                                     [&](const auto& w) { return w.time >= end; });
      ASSERT_NE(next, written.end());
      EXPECT_EQ(next->data, "R001NT?\r\n");
      EXPECT_LT(next->time - end, 0.01);
    }
    EXPECT_EQ(status.back().text, "Ready");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(h.controller.words[kHeaterOutput], 1);
    EXPECT_TRUE(Idle(h.form()));
  }
}

TEST(TRun, NoSecondRunWhileOneIsInProgress) {
  Furnace h;
  frmTRun dlg(h.platform, h.settings(), h.commands(), h.program().pidStore, h.form());
  QSignalSpy unloaded(&dlg, &frmTRun::unloaded);
  dlg.ShowCentered();
  SetFields(dlg, {"900", "900", "1", "2"});
  bool tried = false;
  QObject::connect(h.form().StatusLine, &QLineEdit::textChanged, [&](const QString& text) {
    if (text != "Waiting for steady state..." || tried) return;
    tried = true;
    h.platform.soon([&] {
      EXPECT_TRUE(dlg.running());
      dlg.BtnStart_Click();  // no second confirmation, no second run
      dlg.ShowCentered();    // the menu entry: stays hidden
      EXPECT_FALSE(dlg.isVisible());
      EXPECT_FALSE(dlg.close());
      h.form().BtnCancel->click();
    });
  });
  h.platform.answers = {MsgAnswer::Ok};
  dlg.BtnStart_Click();
  EXPECT_TRUE(tried);
  EXPECT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_EQ(StepsOf(h.sent()).size(), 1u);
  EXPECT_EQ(unloaded.count(), 0);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.running());
}

// The whole run against the controller model: it heats to each step and
// settles there on its own.
TEST(TRun, RunsOnTheControllerModel) {
  Harness h(kDirIni, {.start = 900});
  h.model.dataBlock()[kSetpoint] = 900;
  h.model.dataBlock()[kSetpointHigh] = 1200;
  h.speed = 20;
  ASSERT_TRUE(h.start());
  frmTRun dlg(h.platform, h.settings(), h.commands(), h.program().pidStore, h.form());
  SetFields(dlg, {"900", "920", "10", "10"});
  h.platform.answers = {MsgAnswer::Ok};
  dlg.BtnStart_Click();
  std::vector<int> setpoints;
  for (const QByteArray& frame : h.frames())
    if (frame.startsWith('S')) setpoints.push_back(DecodeDataBlock(frame.mid(8, 92))[kSetpoint]);
  EXPECT_EQ(setpoints, (std::vector<int>{900, 900, 910, 920}));
  EXPECT_NEAR(h.model.temperature(), 920, 2);
  EXPECT_EQ(h.model.dataBlock()[kHeaterOutput], 1);
  EXPECT_EQ(h.form().statusLine(), "Ready");
}
