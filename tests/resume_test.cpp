// A temperature run taken up again after the program died in it, on the
// virtual clock: a run from 900 to 960 °C by 30 with a dwell of 90 s on a
// scripted controller that is steady at once is stopped as by a crash, and
// the program starts again on the same folder. The offer and its refusals,
// and what each answer does to the controller, the log and the trend.

#include <QJsonDocument>

#include "platform/files.h"
#include "record/csv.h"
#include "record/run_log.h"
#include "support/harness.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

namespace {

struct Killed {};

// Where the first program dies: in the steady-state wait of the second
// step, 70 s into its dwell (after the row of its first minute), or held
// 5 s from 10 s into it.
enum Kill { InWait, InDwell, InHold };

bool AtStep2(Harness& h, const char* status) {
  return h.controller.words[kSetpoint] == 930 && h.form().statusLine().startsWith(status);
}

// A controller whose actual temperature is its setpoint.
void SteadyAtOnce(Harness& h) {
  h.controller.beforeValueRead = [&h](int) {
    h.controller.values.ActualTemperature = h.controller.words[kSetpoint];
    h.controller.values.OutputStatus = h.controller.words[kHeaterOutput];
  };
}

// The first program, stopped at `kill`.
struct Crashed : Harness {
  explicit Crashed(Kill kill) : Harness(kScripted, Block(900, 48, 8, 2), kDirIni) {
    SteadyAtOnce(*this);
    everyYield([this, kill] {
      if (kill == InHold && !held && AtStep2(*this, "Dwell time: 80 seconds"))
        held = true, form().BtnHold->click();
      if (AtStep2(*this, kill == InWait    ? "Waiting for steady state..."
                         : kill == InDwell ? "Dwell time: 20 seconds"
                                           : "Dwell held for 5 s, 80 s left"))
        throw Killed{};
    });
    program().OpenTemperatureRun();
    frmTRun& dialog = *program().temperatureRun();
    dialog.TStop->setText("960");
    dialog.TStep->setText("30");
    dialog.DwellTime->setText("90");
    platform.answers = {MsgAnswer::Ok};
    EXPECT_THROW(dialog.BtnStart_Click(), Killed);
  }
  QString log() const { return platform.dir() + "/runs/2026-12-06_14-03-27_run.csv"; }
  bool held = false;
};

// The program started again `gap` seconds later on the same folder, its
// controller holding W (as the run left it: 930) and the heater output, the
// boxes answered with `answers`.
struct Restart : Harness {
  Restart(const Harness& before, double gap, std::deque<MsgAnswer> boxAnswers, int W = 930,
          int heater = 1, const QByteArray& more = "", std::function<void(Harness&)> onYield = {})
      : Harness(("[General]\r\nSound=-1\r\nDir=" + before.platform.dir().toUtf8() +
                 "\r\n[COM]\r\nTxDelay=0.2\r\n" + more)
                    .constData()) {
    platform.t = before.platform.t + gap;
    controller.words = Block(W, 48, 8, 2, heater);
    SteadyAtOnce(*this);
    script([this](const QByteArray& frame) { return controller.answer(frame); });
    platform.answers = std::move(boxAnswers);
    // Continue, 5 s into a dwell held again; the first text of the dwell.
    everyYield([this, onYield] {
      const QString status = form().statusLine();
      if (status.startsWith("Dwell held for 5 s")) form().BtnHold->click();
      if (firstDwell.isEmpty() && status.startsWith("Dwell")) firstDwell = status;
      if (onYield) onYield(*this);
    });
    EXPECT_TRUE(start());
  }
  QString firstDwell;
};

}  // namespace

// The box tells the run as its log has it; each answer then does what it
// says: the step waits again and dwells for what was left of its dwell (held
// again until Continue; the heater is switched on only if it is off), the
// next step begins, or the log is closed. The rows go on after the first
// program's, and the trend shows the run before the gap.
TEST(Resume, EachAnswerGoesOnFromWhereTheLogStopped) {
  const QString kSteady = "steady: average 930, STDEV 0, 10 samples, after 2 s | ";
  const QString kNext =
      "step 960 °C, PID 48/8/2 default | steady: average 960, STDEV 0, 10 "
      "samples, after 2 s | dwell: 60 s of 90 s | dwell done | end";
  const struct {
    Kill kill;
    MsgAnswer answer;
    int heater;
    QString shown, firstDwell, io, events;  // io: value reads and writes
  } cases[] = {
      // clang-format off
      {InWait, MsgAnswer::First, 1, "Step 2 of 3 at 930 °C: waiting for steady state.\r\n",
       "Dwell time: 90 seconds remaining...", "21 1",
       "resumed after 713 s at step 2 (930 °C) | " + kSteady + "dwell: 60 s of 90 s | dwell done | " + kNext},
      {InWait, MsgAnswer::First, 0, "heater OFF.\r\n\r\nResume this step: steady state at 930 °C again, "
       "then the 90 s left of its dwell. The heater goes on.", "Dwell time: 90 seconds remaining...", "21 2",
       "resumed after 713 s at step 2 (930 °C) | heater on | " + kSteady + "dwell: 60 s of 90 s | dwell done | " + kNext},
      {InDwell, MsgAnswer::First, 1, "Step 2 of 3 at 930 °C: 60 s of its 90 s dwell done.\r\n",
       "Dwell time: 30 seconds remaining...", "21 1", "resumed after 722 s at step 2 (930 °C) | " + kSteady + "dwell done | " + kNext},
      {InHold, MsgAnswer::First, 1, "", "Dwell held for 0 s, 81 s left", "21 1",
       "resumed after 717 s at step 2 (930 °C) | " + kSteady + "hold: dwell held at 9 s of 90 s | "
       "continue: dwell goes on at 9 s of 90 s, held 5 s | dwell: 60 s of 90 s | dwell done | " + kNext},
      {InDwell, MsgAnswer::Second, 1, "Next step: 960 °C (step 3 of 3).", "Dwell time: 90 seconds remaining...", "11 1",
       "resumed after 722 s at step 2 (930 °C), on to the next step | " + kNext},
      {InWait, MsgAnswer::Third, 1, "", "", "1 0", "not resumed | end"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kill << int(c.answer) << c.heater);
    Crashed before(c.kill);
    const QByteArray written = files::Read(before.log()).value_or("");
    Restart after(before, 713, {c.answer}, 930, c.heater);
    ASSERT_EQ(after.platform.boxes.size(), 1u);
    const MessageBoxRequest& box = after.platform.boxes[0];
    EXPECT_EQ(std::tuple(box.title, box.buttons, box.icon, box.defaultButton, box.buttonTexts),
              std::tuple(QString("Resume Temperature Run"), MsgButtons::Custom, MsgIcon::Question,
                         MsgAnswer::Third,
                         QStringList{"Resume this step", "Next step", "Do not resume"}));
    if (c.kill == InHold) {
      // clang-format off
      EXPECT_EQ(box.text,
                "The temperature run started 2026-12-06 14:03:27 did not end.\r\nLog: 2026-12-06_14-03-27_run.csv\r\n\r\n"
                "T-Start   : 900 °C\r\nT-Stop    : 960 °C\r\nInterval  : 30 °C\r\nDwell Time: 90 s\r\n\r\n"
                "Step 2 of 3 at 930 °C: 9 s of its 90 s dwell done, held.\r\nIts last row was written 717 s ago.\r\n"
                "The controller now: W 930 °C, X 930 °C, heater ON.\r\n\r\n"
                "Resume this step: steady state at 930 °C again, then its dwell held until Continue, 81 s left.\r\n"
                "Next step: 960 °C (step 3 of 3).");
      // clang-format on
    }
    EXPECT_TRUE(box.text.contains(c.shown)) << box.text.toStdString();
    EXPECT_EQ(QString("%1 %2").arg(after.controller.valueReads).arg(after.controller.writes), c.io);
    const QByteArray log = files::Read(before.log()).value_or("");
    EXPECT_TRUE(log.startsWith(written));
    QStringList events;
    ReadRunLog(log.mid(written.size()), [&](const CsvRow& row) {
      if (!row.event.isEmpty()) events << row.event;
    });
    EXPECT_EQ(events.join(" | "), c.events);
    EXPECT_EQ(after.firstDwell, c.firstDwell);
    if (c.answer == MsgAnswer::Third) continue;
    EXPECT_TRUE(Idle(after.form()) && after.program().temperatureRun()->isVisible());
    // The trend: the readings of the first program, the gap, and this one's.
    const auto& samples = after.program().trendFeed.buffer().samples();
    EXPECT_NE(std::adjacent_find(samples.begin(), samples.end(),
                                 [](auto& a, auto& b) { return b.time - a.time >= 713; }),
              samples.end());
    EXPECT_LT(samples.front().time, after.platform.t - 713 - 90);
  }
}

// Not offered when the log ended, when its last row is older than [Run] ResumeWithin (or it is 0)
// or later than the clock, when an alarm of the watch stopped the run, or when the controller's W
// is no longer the step's: the trace says why, whether Debug is on or not.
TEST(Resume, NotOfferedAndTheTraceSaysWhy) {
  const QString why = "Run not offered for resume: 2026-12-06_14-03-27_run.csv: ";
  const struct {
    double gap;
    int W = 930;
    QByteArray ini = "", row = "";
    QString trace = "";
  } cases[] = {
      // clang-format off
      {3601, 930, "", "", why + "its last row is 3601 s old, more than [Run] ResumeWithin 3600 s."},
      {20, 930, "[Run]\r\nResumeWithin=10\r\n", "", why + "its last row is 20 s old, more than [Run] ResumeWithin 10 s."},
      {20, 930, "[Run]\r\nResumeWithin=0\r\n"},
      {-1, 930, "", "", why + "its last row is later than the clock now."},
      {20, 950, "", "", why + "the controller's W is 950 °C, not the step's 930 °C."},
      {20, 930, "", "alarm: over-temperature, X 1236 °C above 1220 °C; heater switched off",
       why + "an alarm of the watch stopped it."},
      {20, 930, "", "end"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gap);
    Crashed before(InWait);
    QFile log(before.log());  // a last row of the test's own, with an event or none
    ASSERT_TRUE(
        log.open(QIODevice::Append | QIODevice::Unbuffered) &&
        log.write(CsvLine({before.platform.wallClock(), 0, {}, {}, {}, {}, {}, {}, {}, c.row})));
    Restart after(before, c.gap, {}, c.W, 1, c.ini);
    EXPECT_EQ(after.form().statusText(), c.trace.isEmpty() ? "" : c.trace + "\r\n");
  }
}

// A resumed run as published: the operation in the state goes on from the
// step of the log, its dwell left as the window counts it (held, too), and
// the resume's events come with their numbers.
TEST(Resume, PublishedAsTheWindowShowsIt) {
  const QRegularExpression left("Dwell (?:held for \\d+ s, ?|time: ?)(\\d+) (?:s left|seconds)");
  for (const Kill kill : {InDwell, InHold}) {
    SCOPED_TRACE(kill);
    Crashed before(kill);
    QString shown;
    int compared = 0;
    Restart restart(
        before, 713, {MsgAnswer::First}, 930, 1, "[MQTT]\r\nBroker=lab\r\n", [&](Harness& after) {
          const QString status = after.form().statusLine();
          const QRegularExpressionMatch m = left.match(status);
          if (status == shown || !m.hasMatch() || after.controller.words[kSetpoint] != 930) return;
          shown = status;
          const QJsonObject operation =
              QJsonDocument::fromJson(after.program().publisher->statePayload())
                  .object()
                  .value("operation")
                  .toObject();
          EXPECT_EQ(QString("%1 %2 %3 %4 %5")
                        .arg(operation.value("phase").toString())
                        .arg(operation.value("dwellLeft").toInt())
                        .arg(operation.value("step").toInt())
                        .arg(operation.value("T").toInt())
                        .arg(operation.value("log").toString()),
                    QString("%1 %2 2 930 2026-12-06_14-03-27_run.csv")
                        .arg(status.contains("held") ? "dwell held" : "dwell", m.captured(1)))
              << status.toStdString();
          ++compared;
        });
    EXPECT_GE(compared, kill == InHold ? 60 : 20);
    // The events of the time before the connection, in order.
    TestMessageClient& client = *restart.platform.messageClient;
    client.onState(MessageClient::State::Connected, "", 0);
    QStringList kinds;
    QByteArray resumed;
    for (const BrokerMessage& m : client.published) {
      if (!m.topic.endsWith("/event")) continue;
      const QJsonObject e = QJsonDocument::fromJson(m.payload).object();
      kinds << e.value("kind").toString();
      if (kinds.back() == "RunResumed") {
        QJsonObject numbers = e;
        numbers.remove("time");
        numbers.remove("text");
        resumed = QJsonDocument(numbers).toJson(QJsonDocument::Compact);
      }
    }
    EXPECT_EQ(kinds.join(' '),
              QString("RunResumed SteadyReached %1DwellDone StepStarted SteadyReached "
                      "DwellProgress DwellDone RunEnded")
                  .arg(kill == InHold ? "DwellHeld DwellContinued DwellProgress " : ""));
    EXPECT_EQ(resumed, QString("{\"away\":%1,\"kind\":\"RunResumed\",\"log\":\"2026-12-06_14-03-27_"
                               "run.csv\",\"nextStep\":false,\"setpoint\":930,\"step\":2}")
                           .arg(kill == InHold ? 717 : 722));
  }
}
