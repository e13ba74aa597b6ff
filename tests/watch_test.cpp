// The watch on the virtual clock with a scripted controller.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>

#include "app/settings.h"
#include "support/harness.h"
#include "trun/frmtrun.h"
#include "ui/watch_dialog.h"
#include "watch/conditions.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// "ovx.ini" with "Dir" in the test's folder and the lines of `watch`.
const char* Ini(const QByteArray& watch) {
  static QByteArray text;
  text = kDirIni + watch;
  return text.constData();
}

// A started program with "Dir" in the test's folder and the [Watch] lines of
// `watch`, whose scripted controller holds `words` and reports X(k, W) at the
// k-th value read, and nothing to the frames that `drop` picks. It fails the
// test when a request arrives while it still owes an answer. With the watch
// on, the program has read the data block once, so that the watch knows it.
struct Furnace : Harness, OperationListener {
  explicit Furnace(const QByteArray& watch = {}, const DataBlockWords& words = Block(900, 48, 8, 2))
      : Harness(kScripted, words, Ini(watch)) {
    script([this](const QByteArray& frame) {
      EXPECT_GE(platform.t, owedUntil) << frame.toStdString() << " while an answer is owed";
      if (drop && drop(frame)) return QByteArray();
      const QByteArray answer = controller.answer(frame);
      if (!answer.isEmpty()) owedUntil = platform.t + 0.02 + answer.size() / 960.0;
      return answer;
    });
    controller.beforeValueRead = [this](int k) {
      const int W = controller.words[kSetpoint];
      controller.values.ActualTemperature = static_cast<int16_t>(X ? X(k, W) : W);
      controller.values.OutputStatus = controller.words[kHeaterOutput] == 1;
    };
    program().recorder.addListener(this);
    if (!watch.isEmpty()) commands().GetDataBlock(true);
    mark();
    t0 = platform.t;
  }
  ~Furnace() override { program().recorder.removeListener(this); }
  std::function<int(int k, int W)> X;
  std::function<bool(const QByteArray& frame)> drop;
  double owedUntil = 0, t0 = 0;
  // The events posted, each "seconds since t0, text", a line each.
  QStringList events;
  void eventPosted(const OperationEvent& e) override {
    events << QString::number(e.time - t0, 'f', 1) + " " + Describe(e);
  }
  // The seconds since t0.
  double now() const { return platform.t - t0; }

  // A confirmed run from 900 to 960 °C by 30, with a dwell of `dwell` s.
  void run(const char* dwell = "5") {
    program().OpenTemperatureRun();
    frmTRun& dlg = *program().temperatureRun();
    dlg.TStop->setText("960");
    dlg.TStep->setText("30");
    dlg.DwellTime->setText(dwell);
    platform.answers.push_back(MsgAnswer::Ok);
    dlg.BtnStart_Click();
  }
  // The frames written since `from`, one a line with its virtual time from then.
  QByteArray since(double from) const {
    QByteArray out;
    for (const auto& w : platform.port->written)
      if (w.time >= from) out += QByteArray::number(w.time - from, 'f', 3) + " " + w.data;
    return out;
  }
};

}  // namespace

// With the watch off (no [Watch] section, or Enabled=0) a whole run, with
// readings outside the window, a read that gets no answer and OK in a dwell,
// puts every frame on the line at the time it did before the watch existed.
TEST(Watch, OffTalksToTheControllerExactlyAsBefore) {
  QFile golden(OVX_TEST_DATA "/watch_off_run_frames.txt");
  ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
  const QByteArray expected = golden.readAll().replace("\n", "\r\n");
  for (const char* watch : {"", "[Watch]\r\nEnabled=0\r\n"}) {
    Furnace h(watch);
    int valueRequests = 0;
    h.drop = [&](const QByteArray& frame) { return frame == "R001NF?" && valueRequests++ == 14; };
    h.X = [&](int k, int W) {
      if (k == 5) h.platform.at(h.platform.t + 2, [&] { h.form().BtnOK_Click(); });
      return k < 3 ? W - 20 : W + k % 2;
    };
    h.run();
    h.platform.idle(60);
    EXPECT_EQ(h.since(h.t0), expected);
  }
}

// Between operations, read every Interval (10 s here): each condition armed
// and not, raised, its action's frames (heater off: a read, the block as read
// written with word 37 = 0, a read), the band and the title, cleared only 5 °C
// out of its zone (no answer: by one answer), acknowledged (the band goes,
// the beeps stop), and raised again when it still holds 10 minutes later.
TEST(Watch, ConditionsRaiseActClearAndComeAgain) {
  struct Step {
    double from;    // s after the start
    int x;          // X from then on; -1: no answer
    int slope = 0;  // °C more every 10 s
  };
  struct Case {
    const char* name;
    int heater, W;
    std::vector<Step> steps;
    double seconds;                       // watched
    double at = -1;                       // when the operator does `act`
    std::function<void(Furnace&)> act{};  // ... acknowledges, writes W
    const char* events = "";
    const char* action = "";  // R: data block read, W: the heater-off write
    const char* band = "";    // shown at the end (null: not compared)
    int beeps = 0;
    const char* watch = "";  // [Watch] lines after Enabled=1 and Interval=10
  };
  const auto acknowledge = [](Furnace& h) {
    h.form().btnAcknowledge->click();
    EXPECT_FALSE(h.form().alarmBand->isVisibleTo(&h.form()));
    EXPECT_EQ(h.form().windowTitle(), "KALVEN OVX 7316");
  };
  const auto writeW = [](Furnace& h) {
    h.form().W->setText("860");
    h.form().W_KeyPress(13);
  };
  // clang-format off
  const Case cases[] = {
      {"over-temperature", 1, 1000, {{0, 1200}, {25, 1221}, {45, 1216}, {55, 1215}}, 70, -1, {},
       "30.0 alarm: over-temperature, X 1221 °C above 1220 °C; heater switched off\n"
       "30.4 heater off by the alarm\n60.6 alarm cleared: over-temperature", "RWR",
       "14:03:57 alarm: over-temperature, X 1221 °C above 1220 °C; heater switched off "
       "(cleared 14:04:28)", 6},
      {"over-temperature set, heater off", 0, 1000, {{0, 1100}, {25, 1101}}, 40, -1, {},
       "30.0 alarm: over-temperature, X 1101 °C above 1100 °C; heater switched off", "R", nullptr,
       2, "OverTemperature=1100\r\n"},
      {"runaway", 1, 900, {{0, 930, 1}}, 140, -1, {},
       "130.0 alarm: runaway, X 942 °C above 925 °C (W 900 °C) and rising for 120 s with the "
       "heater on; heater switched off\n130.4 heater off by the alarm", "RWR", nullptr, 3},
      {"runaway, heater off", 0, 900, {{0, 930, 1}}, 140},
      {"runaway, falling", 1, 900, {{0, 950, -2}}, 260},
      // Not near W for 400 s: not armed.
      {"deviation", 1, 900, {{0, 850}, {395, 890}, {415, 860}, {845, 876}, {865, 880}}, 880, -1, {},
       "730.0 alarm: deviation, X 860 °C, W 900 °C, more than 25 °C apart for 310 s\n"
       "870.0 alarm cleared: deviation", "", nullptr, 16},
      {"deviation, heater off", 0, 900, {{0, 850}, {95, 890}, {115, 860}}, 500},
      {"deviation, new W", 1, 900, {{0, 850}, {95, 890}, {115, 860}}, 500, 300, writeW,
       "300.2 setpoint 860 °C"},
      {"no answer", 1, 900, {{0, 900}, {5, -1}, {95, 900}}, 120, -1, {},
       "70.0 alarm: no answer for 70 s with the heater on; the heater cannot be reached\n"
       "100.0 alarm cleared: no answer", "",
       "14:04:37 alarm: no answer for 70 s with the heater on; the heater cannot be reached "
       "(cleared 14:05:07)", 6},
      {"no answer, heater off", 0, 900, {{0, 900}, {5, -1}, {95, 900}}, 120},
      {"acknowledged, again", 1, 1000, {{0, 1230}}, 720, 95, acknowledge,
       "10.0 alarm: over-temperature, X 1230 °C above 1220 °C; heater switched off\n"
       "10.4 heater off by the alarm\n95.0 alarm acknowledged\n"
       "700.6 alarm: over-temperature, X 1230 °C above 1220 °C; heater switched off", "RWRR",
       "14:15:08 alarm: over-temperature, X 1230 °C above 1220 °C; heater switched off", 12},
      {"acknowledged, cleared, new", 1, 1000, {{0, 1230}, {200, 1200}, {300, 1230}}, 320, 95,
       acknowledge,
       "10.0 alarm: over-temperature, X 1230 °C above 1220 °C; heater switched off\n"
       "10.4 heater off by the alarm\n95.0 alarm acknowledged\n200.6 alarm cleared: "
       "over-temperature\n300.6 alarm: over-temperature, X 1230 °C above 1220 °C; heater "
       "switched off", "RWRR", nullptr, 12},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Furnace h(QByteArray("[Watch]\r\nEnabled=1\r\nInterval=10\r\n") + c.watch,
              Block(c.W, 48, 8, 2, c.heater));
    const DataBlockWords block = h.controller.words;
    auto x = [&] {
      int value = 0;
      for (const Step& s : c.steps)
        if (h.now() >= s.from) value = s.x + s.slope * int((h.now() - s.from) / 10);
      return value;
    };
    h.X = [&](int, int) { return x(); };
    h.drop = [&](const QByteArray&) { return x() < 0; };
    if (c.act) h.platform.at(h.t0 + c.at, [&] { c.act(h); });
    const int beeps = h.platform.beeps;
    h.platform.idle(c.seconds);

    EXPECT_EQ(h.events.join('\n'), c.events);
    DataBlockWords off = block, written = block;
    off[kHeaterOutput] = 0;
    written[kSetpoint] = 860;
    QString action;  // the operator's write of W aside
    for (const QByteArray& frame : h.sent())
      action += frame == "R001NT?"                                      ? "R"
                : frame == WriteFrame(1, off)                           ? "W"
                : frame == "R001NF?" || frame == WriteFrame(1, written) ? ""
                                                                        : "?";
    EXPECT_EQ(action, c.action);
    // Shown while an alarm raised since the last acknowledgement waits.
    const bool shown = QString(c.events).section("acknowledged", -1).contains("alarm:");
    EXPECT_EQ(h.form().alarmText->text(), c.band ? c.band : h.form().alarmText->text());
    EXPECT_EQ(h.form().alarmBand->isVisibleTo(&h.form()), shown);
    EXPECT_EQ(h.form().windowTitle(), shown ? "ALARM — KALVEN OVX 7316" : "KALVEN OVX 7316");
    EXPECT_EQ(h.platform.beeps - beeps, c.beeps);
  }
}

// An X or a limit that did not decode tells the watch nothing: it neither
// raises nor clears an alarm.
TEST(Watch, ValuesThatDidNotDecodeJudgeNothing) {
  Conditions c(WatchSettings{}, 0);
  c.observe({0, Observation::Data, 0, 1000, 1, kNoValue});  // SP H: no limit of its own
  EXPECT_TRUE(c.observe({10, Observation::Value, 1300}).empty());
  EXPECT_EQ(c.observe({20, Observation::Data, 0, 1000, 1, 1200}).size(), 1u);  // above 1220
  EXPECT_TRUE(c.observe({30, Observation::Value, kNoValue}).empty());
}

// An alarm in a run's steady-state wait, in its dwell (a monitoring read from
// the countdown's yield) or in a box that waits for the operator: the heater
// goes off at the end of the exchange that saw it, never between a request
// and its answer, and the operation ends as if cancelled, saying why; nothing
// switches the heater on again. A read that keeps failing raises "no answer"
// while the operation retries, and the run goes on when it is answered.
TEST(Watch, AlarmEndsTheOperationInItsWaitDwellOrBox) {
  struct Case {
    const char* name;
    const char* watch;            // [Watch] lines after Enabled=1 and Interval=2
    int alarmAt;                  // the value read (from 0) that reads 951 °C
    bool selfOptimizing = false;  // else a run with a dwell of 30 s
    const char* events = "";
    const char* heater = "";  // word 37 of each block written
    const char* logEnd = "";  // the last event of the run's log
  } cases[] = {
      // clang-format off
      {"in the wait", "OverTemperature=950\r\n", 5, false,
       "2.2 alarm: over-temperature, X 951 °C above 950 °C; heater switched off\n"
       "2.6 heater off by the alarm\n2.8 end: alarm", "110", "end: alarm"},
      {"in the dwell", "OverTemperature=950\r\n", 12, false,
       "9.1 alarm: over-temperature, X 951 °C above 950 °C; heater switched off\n"
       "9.5 heater off by the alarm\n9.7 end: alarm", "110", "end: alarm"},
      {"retrying", "NoAnswerTime=5\r\n", -1, false,
       "7.8 alarm: no answer for 6 s with the heater on; the heater cannot be reached\n"
       "12.6 alarm cleared: no answer\n108.6 end", "1111", "end"},
      {"in a box", "OverTemperature=950\r\n", 3, true,
       "6.4 alarm: over-temperature, X 951 °C above 950 °C; heater switched off\n"
       "6.8 heater off by the alarm", "10"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Furnace h(QByteArray("[Watch]\r\nEnabled=1\r\nInterval=2\r\n") + c.watch,
              Block(900, 48, 8, 2, c.selfOptimizing));
    h.X = [&](int k, int W) {
      return k == 0 && c.selfOptimizing ? 600 : k >= c.alarmAt && c.alarmAt >= 0 ? 951 : W;
    };
    // Retrying: no answer from 1.5 s to 12 s, in the first wait.
    h.drop = [&](const QByteArray&) { return c.alarmAt < 0 && h.now() > 1.5 && h.now() < 12; };
    if (c.selfOptimizing) {
      h.platform.boxSeconds = 30;
      h.platform.answers = {MsgAnswer::Ok};
      h.form().ops().SelfOptimizing(850);
    } else {
      h.run("30");
    }
    h.platform.boxSeconds = 0;
    h.platform.idle(5);
    EXPECT_EQ(h.events.filter(QRegularExpression("alarm| end$")).join('\n'), c.events);
    QString heater;
    for (const QByteArray& frame : h.sent())
      if (frame.startsWith('S'))
        heater += QString::number(DecodeDataBlock(frame.mid(8, kDataFieldLength))[kHeaterOutput]);
    EXPECT_EQ(heater, c.heater);
    const QDir runs(h.platform.dir() + "/runs");
    const QString log =
        h.platform.readFile(runs.filePath(runs.entryList(QDir::Files).value(0))).value_or("");
    EXPECT_EQ(log.section(',', -1), *c.logEnd ? c.logEnd + QString("\r\n") : "");
    // The run's log has the alarm's row.
    const QString alarm = QString(c.events).section('\n', 0, 0).section(' ', 1);
    EXPECT_TRUE(!*c.logEnd || log.contains(alarm)) << alarm.toStdString();
    EXPECT_TRUE(Idle(h.form()));
  }
}

// "Watch…" shows the settings in force, refuses a value that is not a whole
// number within its key's range and keeps the dialog open, and on OK writes
// the section, which reads back as shown, and starts the watch at once.
TEST(Watch, DialogRefusesWritesAndTakesEffectAtOnce) {
  Furnace h;
  h.form().menuTemperatureWatch->trigger();
  WatchDialog& dialog = *h.program().watchDialog();
  EXPECT_TRUE(dialog.isVisible() && !dialog.enabled->isChecked());
  QStringList shown;
  for (QLineEdit* field : dialog.fields) shown << field->text() + field->placeholderText();
  EXPECT_EQ(shown.join('|'), "5|SP H + 20 = 1220|25|300|60|120");

  dialog.enabled->setChecked(true);
  const std::pair<int, const char*> refused[] = {
      {0, "Interval value is out of range [1 <= Interval <= 3600]."},
      {1, "OverTemperature value is not a whole number."},
      {3, "DeviationTime value is out of range [0 <= DeviationTime <= 86400]."}};
  for (const auto& [field, text] : refused) {
    const QString kept = dialog.fields[field]->text();
    dialog.fields[field]->setText(field == 1 ? "1e3x" : "-1");
    h.platform.boxes.clear();
    h.platform.answers = {MsgAnswer::Ok};
    dialog.accept();
    EXPECT_TRUE(OnlyBox(h.platform, text, "Invalid input", MsgButtons::Ok, MsgIcon::Critical));
    EXPECT_TRUE(dialog.isVisible());
    dialog.fields[field]->setText(kept);
  }
  EXPECT_FALSE(h.platform.readIni().contains("[Watch]"));
  EXPECT_TRUE(h.sent().empty());

  dialog.fields[0]->setText("7");
  dialog.fields[1]->setText(" 1100 ");
  dialog.accept();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(h.platform.readIni().endsWith(
      "[Watch]\r\nEnabled=1\r\nInterval=7\r\nOverTemperature=1100\r\nDeviation=25\r\n"
      "DeviationTime=300\r\nNoAnswerTime=60\r\nRunawayTime=120\r\n"));
  WatchSettings read;
  EXPECT_EQ(ReadWatchSettings(h.platform, h.settings(), read), "");
  EXPECT_EQ(read, h.program().watch.watchSettings());
  EXPECT_EQ(read.OverTemperature, 1100);
  h.platform.idle(8);
  EXPECT_EQ(h.since(h.t0), "0.000 R001NF?\r\n7.000 R001NF?\r\n");
}
