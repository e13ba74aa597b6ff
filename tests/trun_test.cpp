// The temperature-run dialog and the run it starts, on the virtual clock
// with a scripted controller.

#include <QApplication>
#include <QDir>
#include <QSignalSpy>

#include "support/harness.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// A started program whose "Dir" is the test's folder, with the dialog, and
// whose controller reports the actual temperature as the setpoint plus
// `offset` (0: steady at once).
struct Furnace : Harness {
  explicit Furnace(int low = 0, int high = 1200)
      : Harness(kScripted, Block(900, 48, 8, 2, 0, low, high), kDirIni) {
    const double begin = platform.t;
    controller.beforeValueRead = [this, begin](int) {
      if (platform.t - begin > 4 * 3600) throw std::runtime_error("run did not end");
      controller.values.ActualTemperature =
          static_cast<int16_t>(controller.words[kSetpoint] + offset);
    };
  }
  int offset = 0;
  frmTRun dlg{platform, settings(), commands(), program().pidStore, form()};
  QLineEdit* fields[4] = {dlg.TStart, dlg.TStop, dlg.TStep, dlg.DwellTime};

  // Start, stop, step and dwell, separated by "|": typed, and as shown.
  void type(const QString& texts) {
    for (int i = 0; i < 4; ++i) fields[i]->setText(texts.section('|', i, i));
  }
  QString texts() const {
    QStringList shown;
    for (QLineEdit* field : fields) shown << field->text();
    return shown.join('|');
  }
};

}  // namespace

// The checks normalise without changing a field. In the shown dialog, getting
// focus selects the whole text; Enter normalises and moves on; leaving
// normalises too, except the dwell time. Cancel in the confirmation sends
// nothing and keeps the dialog with its normalised fields; Cancel in the
// dialog unloads it with "Ready", and it opens afresh from the then current SP 1.
TEST(TRunDialog, NormalisationsFieldEventsAndCancel) {
  Furnace h;
  frmTRun& dlg = h.dlg;
  EXPECT_EQ(h.texts(), "900|1200|1|60");  // SP 1, SP H, 1 and 60
  struct Case {
    int field;  // 0 TStart, 1 TStop, 2 TStep, 3 DwellTime
    int low, high;
    QString texts;  // start|stop|step|dwell
    int expected;
  } cases[] = {
      // clang-format off
      {0, 0, 1200, "5000|||", 1200}, {0, 0, 1200, "abc|||", 0}, {0, 0, 1200, "13.5°C|||", 14},
      {0, 0, 1200, "99999999999999999999|||", 1200}, {0, 500, 400, "450|||", 500},  // upper first
      {1, 0, 1200, "|1300||", 1200}, {1, -32768, 32767, "|-40000||", -32768},
      {2, 0, 1200, "900|1000|-25|", 25}, {2, 0, 1200, "900|1000|0|", 1},
      {2, 0, 1200, "900|1000|500|", 100}, {2, 0, 1200, "1000|900|25|", -25},
      {2, 0, 1200, "950|950|5|", 0}, {2, 0, 1200, "-99999|99999|50000|", 32767},  // as typed
      {3, 0, 1200, "|||0", 1}, {3, 0, 1200, "|||32001", 32000}, {3, 0, 1200, "|||59.5", 60},
      {3, 0, 1200, "|||60.5", 60},
      // clang-format on
  };
  int16_t (frmTRun::*check[])() = {&frmTRun::CheckTStart, &frmTRun::CheckTStop,
                                   &frmTRun::CheckTStep, &frmTRun::CheckDwellTime};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.texts.toStdString());
    h.commands().DataBlock[kSetpointLow] = static_cast<int16_t>(c.low);
    h.commands().DataBlock[kSetpointHigh] = static_cast<int16_t>(c.high);
    h.type(c.texts);
    EXPECT_EQ((dlg.*check[c.field])(), c.expected);
    EXPECT_EQ(h.texts(), c.texts);
  }
  // All four in order: the increment sees the normalised start and stop.
  h.commands().DataBlock[kSetpointLow] = 0;
  h.commands().DataBlock[kSetpointHigh] = 1200;
  h.type("5000|-5|3000|7.5");
  dlg.CheckTemperatureParameter();
  EXPECT_EQ(h.texts(), "1200|0|-1200|8");

  h.type("900|1200|1|60");
  ShowActive(dlg);
  dlg.TStop->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(dlg.TStop->selectedText(), "1200");
  dlg.TStart->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(dlg.TStart, "5000");
  EXPECT_EQ(dlg.TStart->text(), "5000");
  QTest::keyClick(dlg.TStart, Qt::Key_Return);
  EXPECT_EQ(dlg.TStart->text(), "1200");
  EXPECT_EQ(QApplication::focusWidget(), dlg.TStop);
  dlg.TStop->setText("1000");
  dlg.TStep->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(dlg.TStep, "0");
  dlg.DwellTime->setFocus(Qt::MouseFocusReason);
  QTest::keyClicks(dlg.DwellTime, "99999");
  dlg.TStart->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(h.texts(), "1200|1000|-1|99999");
  dlg.DwellTime->setFocus(Qt::TabFocusReason);
  QTest::keyClick(dlg.DwellTime, Qt::Key_Return);  // Enter in the dwell time normalises it
  EXPECT_TRUE(dlg.DwellTime->text() == "32000" && QApplication::focusWidget() == dlg.btnStart);

  QSignalSpy unloaded(&dlg, &frmTRun::unloaded);
  h.type("5000|900|7|0");
  h.platform.answers = {MsgAnswer::Cancel};
  dlg.BtnStart_Click();
  EXPECT_TRUE(h.platform.boxes.size() == 1 && dlg.isVisible());
  EXPECT_EQ(h.texts(), "1200|900|-7|1");
  h.form().setStatusLine("something");
  dlg.btnCancel->click();
  EXPECT_EQ(h.form().statusLine(), "Ready");
  EXPECT_FALSE(dlg.isVisible() || dlg.loaded());
  EXPECT_EQ(unloaded.count(), 1);
  EXPECT_TRUE(h.sent().empty());
  h.commands().DataBlock[kSetpoint] = 950;
  dlg.ShowCentered();
  EXPECT_EQ(h.texts(), "950|1200|1|60");
  dlg.TStep->setText("7");
  dlg.ShowCentered();  // while loaded, opening keeps the fields
  EXPECT_EQ(dlg.TStep->text(), "7");

  // Escape closes it as Cancel does.
  ShowActive(dlg);
  dlg.TStep->setFocus();
  h.form().setStatusLine("something");
  QTest::keyClick(dlg.TStep, Qt::Key_Escape);
  EXPECT_TRUE(h.form().statusLine() == "Ready" && !dlg.isVisible() && !dlg.loaded());

  // Limits that did not decode: no clamping to -32768, no run, nothing sent.
  h.commands().DataBlock[kSetpoint] = h.commands().DataBlock[kSetpointHigh] = kNoValue;
  dlg.ShowCentered();
  EXPECT_EQ(h.texts(), "||1|60");
  h.type("900|950|10|5");
  h.platform.answers = {MsgAnswer::Ok};
  const size_t boxes = h.platform.boxes.size();
  dlg.BtnStart_Click();
  ASSERT_EQ(h.platform.boxes.size(), boxes + 1);  // no confirmation asked
  EXPECT_EQ(h.platform.boxes.back().title, "Start Temperature Run");
  EXPECT_TRUE(h.platform.boxes.back().text.startsWith("The controller's setpoint limits"));
  EXPECT_TRUE(h.sent().empty());
}

// The heater switched on (read, write, read), then per step a read and a
// write of words 1, 14, 16, 17 and 37 with the set from "pid.par", the wait
// and the dwell; the run ends with the heater on and the dialog back as it
// was; a run from a temperature to the same one has that one step. The
// operator's buttons, pressed in the wait or 2 s into the dwell of one step
// (or in every wait), end that wait, that dwell, or the run; Hold, shown only
// in the dwell, stops its count until Continue, OK or Cancel 5 s later, and
// the dwell lasts as much longer. The steps after it wait and dwell in full.
// The menu entry does not show the dialog meanwhile.
TEST(TRun, StepsAndOperatorButtons) {
  // clang-format off
  enum Press { None, CancelInWait, CancelInDwell, OkInDwell, OkInEveryWait, Continue, OkInHold, CancelInHold };
  // clang-format on
  struct Case {
    QString fields, shownStep;  // typed (the dwell is 3 s); the increment confirmed
    std::vector<int> steps;     // the setpoints run
    Press press = None;
    int at = 0;      // the step (from 1) in which it is pressed
    int offset = 0;  // actual minus setpoint: 10 never settles
    int low = 0, high = 1200;
  } cases[] = {
      // clang-format off
      {"900|1000|30|3", "30", {900, 930, 960, 990}}, {"1000|900|50|3", "-50", {1000, 950, 900}},
      {"900|950|100|3", "50", {900, 950}},
      // A step that would leave 16 bits ends the run; down to the lowest value
      // that a block carries (below, its first character would be NUL).
      {"32000|32767|700|3", "700", {32000, 32700}, None, 0, 0, -31744, 32767},
      {"-31000|-31744|700|3", "-700", {-31000, -31700}, None, 0, 0, -31744, 32767},
      {"900|1000|50|3", "50", {900, 950}, CancelInWait, 2},
      {"900|1000|50|3", "50", {900, 950}, CancelInDwell, 2},
      {"900|1000|50|3", "50", {900, 950, 1000}, OkInDwell, 1},
      {"900|1000|50|3", "50", {900, 950, 1000}, OkInEveryWait, 0, 10},
      {"900|900|50|3", "0", {900}},
      {"900|1000|50|3", "50", {900, 950, 1000}, Continue, 2},
      {"900|1000|50|3", "50", {900, 950, 1000}, OkInHold, 1},
      {"900|1000|50|3", "50", {900, 950}, CancelInHold, 2},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields.toStdString() + " " + std::to_string(c.press));
    Furnace h(c.low, c.high);
    h.offset = c.offset;
    h.setPar("920=P30I3D1\r\n960=p40i4d2\r\n");
    h.dlg.ShowCentered();
    h.type(c.fields);
    const auto& status = h.recordStatus();
    const bool cancel =
        c.press == CancelInWait || c.press == CancelInDwell || c.press == CancelInHold;
    const bool inDwell = c.press != CancelInWait && c.press != OkInEveryWait;
    const bool held = c.press >= Continue;
    frmOVX& form = h.form();
    int pressedInStep = 0;
    auto press = [&] {
      EXPECT_TRUE(h.dlg.running());
      h.dlg.ShowCentered();
      EXPECT_FALSE(h.dlg.isVisible() || h.dlg.close());
      EXPECT_EQ(form.BtnHold->isVisible(), inDwell);
      // clang-format off
      QPushButton* button = cancel ? form.BtnCancel : c.press == Continue ? form.BtnHold : form.BtnOK;
      // clang-format on
      EXPECT_TRUE(button->isVisible());
      if (!held) return button->click();
      form.BtnHold->click();
      h.platform.at(h.platform.t + 5, [&, button] {
        EXPECT_EQ(std::pair(form.statusLine(), form.BtnHold->text()),
                  std::pair(QString("Dwell held for 5 s, 1 s left"), QString("Co&ntinue")));
        button->click();
      });
    };
    const QString pressAt =
        inDwell ? "Dwell time: 3 seconds remaining..." : "Waiting for steady state...";
    QObject::connect(h.form().StatusLine, &QLineEdit::textChanged, [&](const QString& text) {
      const int step = h.controller.writes - 1;  // the first write switched the heater on
      if (c.press == None || text != pressAt || step == pressedInStep || (c.at && step != c.at))
        return;
      pressedInStep = step;
      h.platform.at(h.platform.t + (inDwell ? 2 : 0), press);
    });
    h.platform.answers = {MsgAnswer::Ok};
    h.dlg.BtnStart_Click();

    EXPECT_TRUE(OnlyBox(h.platform,
                        "Selected parameter:\r\n\r\nT-Start   : " + c.fields.section('|', 0, 0) +
                            "\r\nT-Stop    : " + c.fields.section('|', 1, 1) +
                            "\r\nInterval  : " + c.shownStep + "\r\nDwell Time: 3\r\n",
                        "Start Temperature Run", MsgButtons::OkCancel, MsgIcon::None));
    DataBlockWords block = Block(900, 48, 8, 2, 0, c.low, c.high);
    block[kHeaterOutput] = 1;
    std::vector<QByteArray> frames{"R001NT?", WriteFrame(1, block), "R001NT?"};
    for (size_t i = 1; i <= c.steps.size(); ++i) {
      const int T = c.steps[i - 1];
      const PidSet set = T <= 920 ? PidSet{30, 3, 1} : T <= 960 ? PidSet{40, 4, 2} : PidSet{};
      block[kSetpoint] = static_cast<int16_t>(T);
      std::tie(block[kPTerm], block[kITerm], block[kDTerm]) = std::tuple(set.P, set.I, set.D);
      frames.insert(frames.end(), {"R001NT?", WriteFrame(1, block)});
      // Reads until steady; a wait ended by a button has its first two.
      const bool cut = c.press == OkInEveryWait || (c.press == CancelInWait && int(i) == c.at);
      frames.insert(frames.end(), cut ? 2 : 10, "R001NF?");
    }
    EXPECT_EQ(h.sent(), frames);
    EXPECT_EQ(h.form().CancelFlag, cancel);
    EXPECT_FALSE(h.form().OKFlag);
    EXPECT_EQ(pressedInStep > 0, c.press != None);
    // Each countdown: the seconds shown (remaining, rounded, a half to the even
    // neighbour) with their times, "Ready" at its end, and the next step's read
    // if it follows at once.
    QString dwells, expected;
    double begin = -1;
    for (const auto& s : status) {
      const bool counting = s.text.startsWith("Dwell time:");
      if (!counting && (s.text != "Ready" || begin < 0)) continue;
      begin = begin < 0 ? s.time : begin;
      dwells += (counting ? s.text.mid(11, 2).trimmed() : s.text) + "@" +
                QString::number(std::round((s.time - begin) * 10) / 10) + " ";
      if (counting) continue;
      begin = -1;
      for (const auto& w : h.port().written)
        if (w.time >= s.time && w.time - s.time < 0.01) dwells += w.data;
    }
    for (size_t i = 1; i <= c.steps.size(); ++i) {
      const bool pressed = int(i) == c.at && c.press != OkInEveryWait;
      const QString hold = "3@0 2@0.5 1@1.5 ";
      expected += QString(!pressed              ? "3@0 2@0.5 1@1.5 0@2.5 Ready@3 "
                          : c.press == Continue ? hold + "1@7 0@7.5 Ready@8 "
                          : held                ? hold + "Ready@7 "
                          : inDwell             ? "3@0 2@0.5 1@1.5 Ready@2 "
                                                : "3@0 Ready@0 ") +
                  (i < c.steps.size() ? "R001NT?\r\n" : "");
    }
    EXPECT_EQ(dwells, expected);
    EXPECT_GE(h.platform.beeps, static_cast<int>(c.steps.size()) + 1);
    EXPECT_TRUE(h.dlg.isVisible() && h.dlg.loaded() && !h.dlg.running());
    EXPECT_TRUE(Idle(h.form()));
  }
}

// One long operation at a time. A temperature run's Start during
// self-optimizing, a run or a wait for steady state, and self-optimizing from
// its menu during a run or a wait, are refused with a box that names the one
// in progress: at its first yield, or in the retry pause of its first read
// (where a run has the menus enabled). Nothing is sent, and the operation in
// progress runs exactly as it does without the attempt, to its log's own end.
TEST(LongOperations, OneAtATime) {
  enum Op { Run, SelfOpt, Wait };
  const QString names[] = {"A temperature run", "Self-optimizing", "A wait for steady state"};
  const struct {
    Op running, attempted;  // a run by its Start, self-optimizing by its menu
    bool inRetryPause;
  } cases[] = {{SelfOpt, Run, false}, {SelfOpt, Run, true}, {Run, SelfOpt, true},
               {Run, Run, false},     {Wait, Run, false},   {Wait, SelfOpt, true}};
  for (const auto& c : cases) {
    const QString box = "OVX|" + names[c.running] + " is in progress.\r\n" + names[c.attempted] +
                        " cannot start until it has ended.";
    SCOPED_TRACE(box.toStdString() + (c.inRetryPause ? " in a retry pause" : ""));
    // The frames sent, the boxes shown, the logs written.
    auto go = [&](bool attempt) {
      Furnace h;
      // Self-optimizing starts at 600 °C and polls twice before it is done.
      h.controller.beforeValueRead = [&](int k) {
        h.controller.values.OptimizationStatus = k == 1 || k == 2;
        h.controller.values.ActualTemperature = static_cast<int16_t>(
            k == 0 && c.running == SelfOpt ? 600 : h.controller.words[kSetpoint]);
      };
      bool silent = c.inRetryPause;  // the first read gets no answer
      h.script([&](const QByteArray& frame) {
        return std::exchange(silent, false) ? QByteArray() : h.controller.answer(frame);
      });
      if (attempt)
        h.platform.soon([&] {
          h.platform.answers.push_back(MsgAnswer::Ok);
          c.attempted == Run ? h.dlg.BtnStart_Click()
                             : h.form().ops().menuOVXSelfOptimizing_Click();
        });
      h.platform.answers = {MsgAnswer::Ok}, h.platform.inputs = {"850"};
      h.type("900|900|1|1");
      c.running == Run       ? h.dlg.BtnStart_Click()
      : c.running == SelfOpt ? h.form().ops().menuOVXSelfOptimizing_Click()
                             : h.form().ops().WaitForSteadyState(900);
      QStringList seen;
      for (const QByteArray& frame : h.sent()) seen << frame;
      for (const MessageBoxRequest& box : h.platform.boxes) seen << box.title + "|" + box.text;
      for (const QString& log : QDir(h.platform.dir() + "/runs").entryList(QDir::Files))
        seen << h.platform.readFile(h.platform.dir() + "/runs/" + log).value_or("?");
      return seen;
    };
    const QStringList without = go(false);
    QStringList with = go(true);
    EXPECT_TRUE(with.removeOne(box)) << with.join("\n").toStdString();
    EXPECT_EQ(with, without);
    EXPECT_EQ(with.last().endsWith(",end\r\n"), c.running != Wait);
  }
}
