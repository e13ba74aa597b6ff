// The temperature-run dialog and the run it starts, on the virtual clock
// with a scripted controller (or the controller model).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "link/codec.h"
#include "pidstore/pidfile.h"
#include "support/harness.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// A started program whose "Dir" is the test's folder and whose controller
// keeps a data block and reports the actual temperature as the setpoint plus
// `offset` (0: steady at once).
struct Furnace : Harness {
  explicit Furnace(int low = 0, int high = 1200) : Harness(nullptr) {
    platform.writeIni("[General]\r\nSound=-1\r\nDir=" + platform.dir().toLocal8Bit() +
                      "\r\n[COM]\r\nRxDelay=0\r\nTxDelay=0.2\r\n");
    controller[kSetpoint] = 900;
    controller[kSetpointLow] = static_cast<int16_t>(low);
    controller[kSetpointHigh] = static_cast<int16_t>(high);
    controller[kPTerm] = 48;
    controller[kITerm] = 8;
    controller[kDTerm] = 2;
    const double begin = platform.t;
    script([this, begin](const QByteArray& frame) -> QByteArray {
      // A run that never ends fails instead of hanging.
      if (platform.t - begin > 4 * 3600) throw std::runtime_error("run did not end");
      if (frame == "R001NT?") return BlockResponse(EncodeDataBlock(controller));
      if (frame == "R001NF?") {
        ValueBlock values;
        values.ActualTemperature = static_cast<int16_t>(controller[kSetpoint] + offset);
        return BlockResponse(EncodeValueBlock(values));
      }
      if (frame.startsWith("S001  T ")) {
        controller = DecodeDataBlock(frame.mid(8, 92));
        ++writes;
      }
      return {};
    });
    EXPECT_TRUE(start());
  }
  void setPar(const QByteArray& content) {
    QFile file(QDir(platform.dir()).filePath("pid.par"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) >= 0);
  }
  // Every status line text, in order, with its virtual time.
  void recordStatus() {
    QObject::connect(form().StatusLine, &QLineEdit::textChanged, [this](const QString& text) {
      status.push_back({text, platform.t});
    });
  }
  struct Status {
    QString text;
    double time;
  };
  std::vector<Status> status;
  DataBlockWords controller{};
  int offset = 0;
  int writes = 0;  // write frames received
};

void SetFields(frmTRun& dlg, const QString& start, const QString& stop, const QString& step,
               const QString& dwell) {
  dlg.TStart->setText(start);
  dlg.TStop->setText(stop);
  dlg.TStep->setText(step);
  dlg.DwellTime->setText(dwell);
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

bool ButtonsHiddenMenusEnabled(frmOVX& form) {
  return !form.BtnOK->isVisible() && !form.BtnCancel->isVisible() &&
         form.menuFile->menuAction()->isEnabled() &&
         form.menuTemperature->menuAction()->isEnabled();
}

}  // namespace

// --- The dialog ---

TEST(TRunDialog, LayoutAndDefaults) {
  Furnace h;
  h.g().DataBlock[kSetpoint] = 900;
  h.g().DataBlock[kSetpointHigh] = 1200;
  frmTRun dlg(h.program());
  EXPECT_EQ(dlg.windowTitle(), "Temperature Run");
  EXPECT_EQ(dlg.size(), QSize(157, 118));
  const std::pair<QWidget*, QRect> places[] = {
      {dlg.lblStart, {0, 6, 67, 16}},    {dlg.TStart, {72, 3, 53, 19}},
      {dlg.DwellTime, {72, 66, 53, 19}}, {dlg.btnStart, {3, 93, 67, 22}},
      {dlg.btnCancel, {87, 93, 67, 22}},
  };
  for (const auto& [control, px] : places)
    EXPECT_EQ(control->geometry(), px) << control->objectName().toStdString();
  EXPECT_EQ(dlg.lblIncrement->text(), "Increment:");
  EXPECT_TRUE(dlg.lblStop->alignment() & Qt::AlignRight);
  EXPECT_EQ(dlg.btnStart->text(), "&Start");
  EXPECT_EQ(dlg.btnCancel->text(), "&Cancel");
  QStringList units;
  for (QLabel* label : dlg.findChildren<QLabel*>())
    if (label->x() == 128) units << label->text();
  EXPECT_EQ(units, QStringList({"°C", "°C", "°C", "sec."}));

  QStringList order;
  for (QWidget* w = dlg.TStart; order.size() < 6; w = w->nextInFocusChain())
    if (w->focusPolicy() & Qt::TabFocus) order << w->objectName();
  EXPECT_EQ(order, QStringList({"TStart", "TStop", "TStep", "DwellTime", "btnStart", "btnCancel"}));

  EXPECT_EQ(dlg.TStart->text(), "900");
  EXPECT_EQ(dlg.TStop->text(), "1200");
  EXPECT_EQ(dlg.TStep->text(), "1");
  EXPECT_EQ(dlg.DwellTime->text(), "60");
  EXPECT_FALSE(dlg.isVisible());
  dlg.ShowCentered();
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dlg.pos(), QPoint((15360 / 15 - 157) / 2, (11520 / 15 - 118) / 2));
}

TEST(TRunDialog, Normalisations) {
  struct Case {
    const char* field;
    int low, high;
    QString start, stop, step, dwell;
    int expected;
  } cases[] = {
      {"TStart", 0, 1200, "5000", "", "", "", 1200},
      {"TStart", 0, 1200, "-5", "", "", "", 0},
      {"TStart", 0, 1200, "", "", "", "", 0},
      {"TStart", 0, 1200, "abc", "", "", "", 0},
      {"TStart", 0, 1200, " 12.5", "", "", "", 12},
      {"TStart", 0, 1200, "13.5°C", "", "", "", 14},
      {"TStart", 0, 1200, "99999999999999999999", "", "", "", 1200},
      {"TStart", 500, 400, "450", "", "", "", 500},  // upper limit first
      {"TStop", 0, 1200, "", "1300", "", "", 1200},
      {"TStop", -32768, 32767, "", "-40000", "", "", -32768},
      {"TStep", 0, 1200, "900", "1000", "-25", "", 25},
      {"TStep", 0, 1200, "900", "1000", "0", "", 1},
      {"TStep", 0, 1200, "900", "1000", "0.4", "", 1},
      {"TStep", 0, 1200, "900", "1000", "500", "", 100},
      {"TStep", 0, 1200, "900", "1000", "x", "", 1},
      {"TStep", 0, 1200, "1000", "900", "25", "", -25},
      {"TStep", 0, 1200, "950", "950", "5", "", 0},
      {"TStep", 0, 1200, "-99999", "99999", "50000", "", 32767},  // fields as typed
      {"DwellTime", 0, 1200, "", "", "", "0", 1},
      {"DwellTime", 0, 1200, "", "", "", "32001", 32000},
      {"DwellTime", 0, 1200, "", "", "", "", 1},
      {"DwellTime", 0, 1200, "", "", "", "59.5", 60},
      {"DwellTime", 0, 1200, "", "", "", "60.5", 60},
      {"DwellTime", 0, 1200, "", "", "", "-3", 1},
  };
  Furnace h;
  frmTRun dlg(h.program());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.start.toStdString() + "/" + c.stop.toStdString() +
                 "/" + c.step.toStdString() + "/" + c.dwell.toStdString());
    h.g().DataBlock[kSetpointLow] = static_cast<int16_t>(c.low);
    h.g().DataBlock[kSetpointHigh] = static_cast<int16_t>(c.high);
    SetFields(dlg, c.start, c.stop, c.step, c.dwell);
    const QString field(c.field);
    const int value = field == "TStart"  ? dlg.CheckTStart()
                      : field == "TStop" ? dlg.CheckTStop()
                      : field == "TStep" ? dlg.CheckTStep()
                                         : dlg.CheckDwellTime();
    EXPECT_EQ(value, c.expected);
    EXPECT_EQ(dlg.TStart->text(), c.start);  // the checks change no field
    EXPECT_EQ(dlg.DwellTime->text(), c.dwell);
  }

  // All four in order: the increment sees the normalised start and stop.
  h.g().DataBlock[kSetpointLow] = 0;
  h.g().DataBlock[kSetpointHigh] = 1200;
  SetFields(dlg, "5000", "-5", "3000", "7.5");
  dlg.CheckTemperatureParameter();
  EXPECT_EQ(dlg.TStart->text(), "1200");
  EXPECT_EQ(dlg.TStop->text(), "0");
  EXPECT_EQ(dlg.TStep->text(), "-1200");
  EXPECT_EQ(dlg.DwellTime->text(), "8");
}

TEST(TRunDialog, FieldEvents) {
  Furnace h;
  h.g().DataBlock[kSetpointHigh] = 1200;
  frmTRun dlg(h.program());
  dlg.show();
  dlg.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));

  // Getting focus selects the whole text, however it comes.
  dlg.TStop->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(dlg.TStop->selectedText(), "1200");

  // Enter normalises and moves on; other keys reach the field.
  struct Case {
    QLineEdit* field;
    QString typed;
    QString normalised;
    QWidget* next;
  } cases[] = {
      {dlg.TStart, "5000", "1200", dlg.TStop},
      {dlg.TStop, "1000", "1000", dlg.TStep},
      {dlg.TStep, "-25", "-25", dlg.DwellTime},  // 1200 down to 1000
      {dlg.DwellTime, "0.4", "1", dlg.btnStart},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field->objectName().toStdString());
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
  frmTRun dlg(h.program());
  QSignalSpy unloaded(&dlg, &frmTRun::unloaded);
  dlg.ShowCentered();
  h.form().setStatusLine("something");
  const size_t frames = h.frames().size();
  dlg.btnCancel->click();
  EXPECT_EQ(h.form().statusLine(), "Ready");
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(unloaded.count(), 1);
  EXPECT_EQ(h.frames().size(), frames);

  EXPECT_FALSE(dlg.loaded());

  // Opened again, it starts afresh from the then current SP 1.
  h.g().DataBlock[kSetpoint] = 950;
  dlg.TStep->setText("7");
  dlg.ShowCentered();
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dlg.TStart->text(), "950");
  EXPECT_EQ(dlg.TStep->text(), "1");
  // While loaded, opening keeps the fields.
  dlg.TStep->setText("7");
  dlg.ShowCentered();
  EXPECT_EQ(dlg.TStep->text(), "7");
}

// --- The run ---

TEST(TRun, StepsFramesAndPidSetsPerStep) {
  struct Case {
    const char* name;
    int low, high;
    QString start, stop, step;
    QString shownStep;  // the increment in the confirmation
    std::vector<int> steps;
  } cases[] = {
      {"900 to 1000 by 30", 0, 1200, "900", "1000", "30", "30", {900, 930, 960, 990}},
      {"1000 to 900 by 50", 0, 1200, "1000", "900", "50", "-50", {1000, 950, 900}},
      {"900 to 950 by 100", 0, 1200, "900", "950", "100", "50", {900, 950}},
      {"ends at 16 bits", -32768, 32767, "32000", "32767", "700", "700", {32000, 32700}},
      {"and downwards", -32768, 32767, "-32000", "-32768", "700", "-700", {-32000, -32700}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Furnace h(c.low, c.high);
    h.setPar("920=P30I3D1\r\n960=p40i4d2\r\n");
    frmTRun dlg(h.program());
    dlg.ShowCentered();
    SetFields(dlg, c.start, c.stop, c.step, "3");
    const size_t from = h.frames().size();
    const int beeps = h.platform.beeps;
    h.platform.answers = {MsgAnswer::Ok};
    dlg.BtnStart_Click();

    ASSERT_EQ(h.platform.boxes.size(), 1u);
    const MessageBoxRequest& box = h.platform.boxes[0].request;
    EXPECT_EQ(box.text, "Selected parameter:\r\n\r\nT-Start   : " + c.start + "\r\nT-Stop    : " +
                            c.stop + "\r\nInterval  : " + c.shownStep + "\r\nDwell Time: 3\r\n");
    EXPECT_EQ(box.title, "Start Temperature Run");
    EXPECT_EQ(box.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(box.icon, MsgIcon::None);

    const std::vector<QByteArray> frames = h.frames(from);
    // The heater is switched on first: read, write with word 37 = 1, read.
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0], "R001NT?");
    EXPECT_EQ(DecodeDataBlock(frames[1].mid(8, 92))[kHeaterOutput], 1);
    const std::vector<Step> steps = StepsOf(frames);
    ASSERT_EQ(steps.size(), c.steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
      SCOPED_TRACE(c.steps[i]);
      const int T = c.steps[i];
      const PidSet expected = T <= 920 ? PidSet{30, 3, 1} : T <= 960 ? PidSet{40, 4, 2} : PidSet{};
      DataBlockWords block = steps[i].before;
      block[kSetpoint] = static_cast<int16_t>(T);
      block[kPTerm] = expected.P;
      block[kITerm] = expected.I;
      block[kDTerm] = expected.D;
      block[kHeaterOutput] = 1;
      EXPECT_EQ(steps[i].written, block);  // only words 1, 14, 16, 17, 37 set
    }
    // One read and one write per step, each followed by its wait.
    EXPECT_EQ(std::count(frames.begin(), frames.end(), QByteArray("R001NT?")),
              static_cast<long>(steps.size()) + 2);
    EXPECT_GE(h.platform.beeps - beeps, static_cast<int>(steps.size()) + 1);

    // The run ends with the heater on and the dialog back as it was.
    EXPECT_EQ(h.controller[kHeaterOutput], 1);
    EXPECT_EQ(h.controller[kSetpoint], c.steps.back());
    EXPECT_EQ(h.form().W->text(), QString::number(c.steps.back()));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.running());
    EXPECT_EQ(dlg.TStep->text(), c.shownStep);
    EXPECT_EQ(h.form().statusLine(), "Ready");
    EXPECT_TRUE(ButtonsHiddenMenusEnabled(h.form()));
  }
}

TEST(TRun, CancelInTheConfirmationChangesNothing) {
  Furnace h;
  frmTRun dlg(h.program());
  dlg.ShowCentered();
  SetFields(dlg, "5000", "900", "7", "0");
  const size_t frames = h.frames().size();
  h.platform.answers = {MsgAnswer::Cancel};
  dlg.BtnStart_Click();
  EXPECT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_EQ(h.frames().size(), frames);
  EXPECT_EQ(h.controller[kHeaterOutput], 0);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dlg.TStart->text(), "1200");
  EXPECT_EQ(dlg.TStep->text(), "-7");
  EXPECT_EQ(dlg.DwellTime->text(), "1");
}

namespace {

// The countdowns of a run in the status line: when each began and ended, and
// how many texts it showed.
struct Countdown {
  double begin, end;
  int texts;
};

std::vector<Countdown> CountdownsOf(const std::vector<Furnace::Status>& status) {
  std::vector<Countdown> out;
  bool inside = false;
  for (const auto& s : status) {
    if (s.text.startsWith("Dwell time:")) {
      if (!inside) out.push_back({s.time, 0, 0});
      inside = true;
      ++out.back().texts;
    } else if (s.text == "Ready" && inside) {
      out.back().end = s.time;
      inside = false;
    }
  }
  return out;
}

}  // namespace

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
    frmTRun dlg(h.program());
    dlg.ShowCentered();
    SetFields(dlg, c.start, c.stop, "50", "5");
    h.recordStatus();
    int pressedInStep = 0;
    double pressed = 0;
    auto press = [&] {
      QPushButton* button = c.cancel ? h.form().BtnCancel : h.form().BtnOK;
      EXPECT_TRUE(button->isVisible());
      button->click();
      pressed = h.platform.t;
    };
    QObject::connect(h.form().StatusLine, &QLineEdit::textChanged, [&](const QString& text) {
      const int step = h.writes - 1;  // the first write switched the heater on
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

    ASSERT_GT(pressed, 0);
    const std::vector<Step> steps = StepsOf(h.frames());
    ASSERT_EQ(steps.size(), c.steps);
    EXPECT_EQ(steps.back().written[kSetpoint],
              c.start.toInt() + (c.start == c.stop ? 0 : 50) * (static_cast<int>(c.steps) - 1));
    EXPECT_EQ(h.g().CancelFlag, c.cancel);
    EXPECT_FALSE(h.g().OKFlag);
    const std::vector<Countdown> countdowns = CountdownsOf(h.status);
    ASSERT_EQ(countdowns.size(), c.steps);
    for (size_t i = 0; i < countdowns.size(); ++i) {
      SCOPED_TRACE(i + 1);
      EXPECT_NEAR(countdowns[i].end - countdowns[i].begin,
                  static_cast<int>(i) + 1 == c.step ? c.dwell : 5.0, 0.03);
    }
    if (c.cancel && !c.inDwell) {
      EXPECT_EQ(countdowns.back().texts, 1);
    }
    if (!c.cancel && c.inDwell) {
      // The next step's read follows the end of the dwell at once.
      const double end = countdowns[c.step - 1].end;
      const auto& written = h.port().written;
      const auto next = std::find_if(written.begin(), written.end(),
                                     [&](const auto& w) { return w.time >= end; });
      ASSERT_NE(next, written.end());
      EXPECT_EQ(next->data, "R001NT?\r\n");
      EXPECT_LT(next->time - end, 0.01);
    }
    EXPECT_EQ(h.status.back().text, "Ready");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(h.controller[kHeaterOutput], 1);
    EXPECT_TRUE(ButtonsHiddenMenusEnabled(h.form()));
  }
}

TEST(TRun, NoSecondRunWhileOneIsInProgress) {
  Furnace h;
  frmTRun dlg(h.program());
  QSignalSpy unloaded(&dlg, &frmTRun::unloaded);
  dlg.ShowCentered();
  SetFields(dlg, "900", "900", "1", "2");
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
  EXPECT_EQ(StepsOf(h.frames()).size(), 1u);
  EXPECT_EQ(unloaded.count(), 0);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.running());
}

TEST(TRun, CountDownShowsTheRemainingSeconds) {
  Furnace h;
  frmTRun dlg(h.program());
  h.recordStatus();
  bool duringChecked = false;
  h.platform.soon([&] {
    EXPECT_TRUE(h.form().BtnOK->isVisible());
    EXPECT_TRUE(h.form().BtnCancel->isVisible());
    EXPECT_FALSE(h.form().menuFile->menuAction()->isEnabled());
    duringChecked = true;
  });
  const double t0 = h.platform.t;
  const int yields = h.platform.yields;
  dlg.CountDown(1);
  EXPECT_TRUE(duringChecked);
  ASSERT_EQ(h.status.size(), 3u);
  EXPECT_EQ(h.status[0].text, "Dwell time: 1 seconds remaining...");
  EXPECT_DOUBLE_EQ(h.status[0].time, t0);
  EXPECT_EQ(h.status[1].text, "Dwell time: 0 seconds remaining...");
  EXPECT_NEAR(h.status[1].time, t0 + 0.5, 0.021);
  EXPECT_EQ(h.status[2].text, "Ready");
  EXPECT_NEAR(h.status[2].time, t0 + 1, 0.002);
  // It sleeps between passes instead of spinning.
  EXPECT_LE(h.platform.yields - yields, 60);
  EXPECT_TRUE(ButtonsHiddenMenusEnabled(h.form()));
}

// The whole run against the controller model: it heats to each step and
// settles there on its own.
TEST(TRun, RunsOnTheControllerModel) {
  sim::ModelOptions options;
  options.start = 900;
  options.ambient = 25;
  Harness h(nullptr, options);
  h.platform.writeIni("[General]\r\nSound=-1\r\nDir=" + h.platform.dir().toLocal8Bit() +
                      "\r\n[COM]\r\nRxDelay=0\r\nTxDelay=0.2\r\n");
  h.model.dataBlock()[kSetpoint] = 900;
  h.model.dataBlock()[kSetpointHigh] = 1200;
  h.speed = 20;
  ASSERT_TRUE(h.start());
  frmTRun dlg(h.program());
  SetFields(dlg, "900", "920", "10", "10");
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
