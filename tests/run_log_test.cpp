// The recorders of the readings on the virtual clock with a scripted
// controller. The run log: whole files byte for byte (a three-step run in a
// German locale; a self-optimizing; a run cancelled, with the trend's CSV of
// it; a run ended by closing the window; times at the test clock's offset of
// -03:30), a log that cannot be written (the crash test is with that of
// "pid.par"). The trend:
// monitoring between operations, the chart it draws, and the buffer behind
// it: one min/max pair per pixel column, breaks in the X line, the setpoint
// carried on, a day held at any read rate, the clock across a daylight-saving
// change.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTimeZone>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <map>

#include "record/csv.h"
#include "record/run_log.h"
#include "support/harness.h"
#include "trend/trend_window.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// A started program whose "Dir" is the test's folder, with a controller that
// fails the test when a request arrives while it still owes an answer. It
// answers the k-th value read (from 0) with X(k, W) at its setpoint W, or with
// only cut[k] characters, or not at all while silent.
struct LogHarness : Harness {
  LogHarness() : Harness(kScripted, Block(900, 48, 8, 2), kDirIni) {
    script([this](const QByteArray& frame) {
      EXPECT_GE(platform.t, owedUntil) << frame.toStdString() << " while an answer is owed";
      // Every row is on disk before the next exchange: the log ends where
      // its last sync left it.
      if (!logs().isEmpty())
        unsynced +=
            platform.syncs.empty() ||
            platform.syncs.back() != QFileInfo(platform.dir() + "/runs/" + logs()[0]).size();
      QByteArray answer = silent ? QByteArray() : controller.answer(frame);
      const auto c = cut.find(controller.valueReads - 1);
      if (frame == "R001NF?" && c != cut.end()) answer.truncate(c->second);
      if (!answer.isEmpty()) owedUntil = platform.t + 0.02 + answer.size() / 960.0;
      return answer;
    });
    controller.beforeValueRead = [this](int k) {
      const int W = controller.words[kSetpoint];
      controller.values.ActualTemperature = static_cast<int16_t>(X ? X(k, W) : W);
      controller.values.OutputStatus = controller.words[kHeaterOutput];
    };
  }
  std::function<int(int k, int W)> X;
  std::map<int, int> cut;
  bool silent = false;
  double owedUntil = 0;
  int unsynced = 0;

  // A confirmed run from 900 to 960 °C by 30, dwell 5 s.
  void run() {
    program().OpenTemperatureRun();
    frmTRun& dlg = *program().temperatureRun();
    dlg.TStop->setText("960");
    dlg.TStep->setText("30");
    dlg.DwellTime->setText("5");
    platform.answers.push_back(MsgAnswer::Ok);
    dlg.BtnStart_Click();
  }
  QStringList logs() const { return QDir(platform.dir() + "/runs").entryList(QDir::Files); }
  // The frames written since `from`, each with its virtual time from then.
  QString since(double from) const {
    QStringList out;
    for (const auto& w : platform.port->written)
      if (w.time >= from) out << w.data.left(7) + QString::asprintf(" %.2f", w.time - from);
    return out.join(", ");
  }
  QByteArray log() {
    return platform.readFile(platform.dir() + "/runs/" + logs().value(0)).value_or("");
  }
};

// An expected file of tests/data, with CR LF line ends.
QByteArray Expected(const QString& name) {
  QFile file(OVX_TEST_DATA "/" + name);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
  return file.readAll().replace("{version}", OVX_VERSION).replace("\n", "\r\n");
}

}  // namespace

// Comment lines, header, readings, failed reads, events and steady verdicts,
// with "." in every number although the locale writes ",".
TEST(RunLog, ThreeStepRunByteForByte) {
  // Built here, since a machine need not have it (from the package locales).
  QTemporaryDir locales;
  QProcess::execute("localedef", {"-i", "de_DE", "-f", "ISO-8859-1", locales.filePath("de_DE")});
  qputenv("LOCPATH", locales.path().toLocal8Bit());
  ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE")) << "localedef: is the package locales there?";
  QLocale::setDefault(QLocale::German);
  const auto back = qScopeGuard([] {
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
  });
  LogHarness h;
  h.setPar("930=P30I3D1\r\n");
  h.cut = {{3, 0}, {4, 50}};  // no answer, then one cut short
  h.X = [&](int k, int W) {
    if (k == 12) h.platform.soon([&] { h.form().BtnOK_Click(); });  // in the wait at 930
    if (k == 23) h.platform.at(h.platform.t + 2, [&] { h.form().BtnOK_Click(); });  // in a dwell
    return W == 900 ? W + k % 2 : W;
  };
  h.run();
  ASSERT_EQ(h.logs(), QStringList{"2026-12-06_14-03-27_run.csv"});
  EXPECT_EQ(h.log(), Expected("three_step_run.csv"));
  // One sync for the head, then one per row, each before the next exchange.
  EXPECT_EQ(h.unsynced, 0);
  EXPECT_EQ(h.platform.syncs.size(), size_t(h.log().count("\n") - h.log().count("# ")));
  // Read back: a run that ended after its last dwell; what a crash may leave
  // of a row after it is no row.
  const RunRecord r = ReadRunLog(h.log() + "2026-12-06T14:");
  EXPECT_TRUE(r.ended && r.phase == RunRecord::Phase::Done && r.length == h.log().size());
}

// A self-optimizing that tunes P 10 I 44 (opt_status 1 in two reads); a run
// cancelled in its first wait, also as the trend saves it; a run ended by
// closing the window in its first wait. Each log after a line with its name.
TEST(RunLog, SelfOptimizingCancelledAndClosedRunsByteForByte) {
  QByteArray logs;
  {
    LogHarness h;
    h.controller.beforeValueRead = [&](int k) {
      h.controller.values.OptimizationStatus = k == 1 || k == 2;
      h.controller.values.ActualTemperature = static_cast<int16_t>(k < 3 ? 400 + 100 * k : 850);
      if (k == 3) h.controller.words[kPTerm] = 10, h.controller.words[kITerm] = 44;
    };
    h.platform.answers = {MsgAnswer::Ok};
    h.form().ops().SelfOptimizing(850);
    logs += "==> " + h.logs().join(' ').toUtf8() + " <==\r\n" + h.log();
  }
  for (const bool cancel : {true, false}) {
    LogHarness h;
    h.X = [&](int k, int W) {
      if (k == 2)
        h.platform.soon([&] {
          bool Cancel = false;
          h.platform.answers = {MsgAnswer::Ok};  // closed: quit with the heater on
          cancel ? h.form().BtnCancel_Click() : h.program().Form_Unload(Cancel);
        });
      return W;
    };
    try {
      h.run();
    } catch (const ProgramEnded&) {
      EXPECT_FALSE(cancel);
    }
    logs += "==> " + h.logs().join(' ').toUtf8() + " <==\r\n" + h.log();
    if (!cancel) continue;
    h.form().menuInfoTrend->trigger();
    h.platform.saveNames = {h.platform.dir() + "/trend.csv"};
    h.program().trend()->saveCsv();
    EXPECT_EQ(h.platform.readFile(h.platform.dir() + "/trend.csv"),
              Expected("cancelled_run_trend.csv"));
  }
  EXPECT_EQ(logs, Expected("selfopt_cancelled_closed.csv"));
}

// A log that cannot be written: a file where the folder "runs" goes, a disk
// that fills up in the middle of a row. A log removed
// (alone or with its folder), or replaced by another file, in the first wait:
// a new file from the next row on, whose head names the old one and the time
// of the break. The run goes
// on; the notice is told once, the mark stands in the window until the run
// ends, and the box comes after the run, never during it.
TEST(RunLog, TroubleIsMarkedDuringTheRunAndReportedAfterIt) {
  std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the size limit fails instead
  enum Trouble { FolderIsAFile, FullDisk, Removed, FolderRemoved, Replaced };
  const struct {
    Trouble trouble;
    QString path, why, from;  // what failed, why, from which second; or the new file
  } cases[] = {
      // clang-format off
      {FolderIsAFile, "{dir}/runs", "File exists", "27"}, {FullDisk, "{log}.csv", "File too large", "29"},
      {Removed, "{log}.csv", "", ""}, {FolderRemoved, "{log}.csv", "", ""}, {Replaced, "{log}-2.csv", "", ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trouble);
    LogHarness h;
    const QString runs = h.platform.dir() + "/runs", log = runs + "/2026-12-06_14-03-27_run";
    const QString path = QString(c.path).replace("{log}", log).replace("{dir}", h.platform.dir());
    const bool lost = c.trouble < Removed;
    const QString notice =
        lost ? "No run log: cannot write " + path + " (" + c.why + "); the run goes on."
             : "Run log " + log + ".csv was removed or replaced; its rows go on in " + path + ".";
    if (c.trouble == FolderIsAFile) QFile(runs).open(QIODevice::WriteOnly);
    h.X = [&](int k, int W) {
      if (k == 3 && c.trouble == Removed) QFile::remove(log + ".csv");
      if (k == 3 && c.trouble == FolderRemoved) QDir(runs).removeRecursively();
      if (k == 3 && c.trouble == Replaced && QFile(runs + "/other").open(QIODevice::WriteOnly))
        std::rename(qPrintable(runs + "/other"), qPrintable(log + ".csv"));
      return W;
    };
    int told = 0;
    QStringList marks;
    QObject::connect(h.form().StatusLine, &QLineEdit::textChanged, [&](const QString& text) {
      told += text == notice;
      if (h.form().lblRunLog->isVisible() && !marks.contains(h.form().lblRunLog->text()))
        marks << h.form().lblRunLog->text();
    });
    LimitFileSize(c.trouble == FullDisk ? 1000 : RLIM_INFINITY);
    h.run();
    LimitFileSize(RLIM_INFINITY);
    EXPECT_EQ(h.controller.words[kSetpoint], 960);  // every step ran
    EXPECT_TRUE(Idle(h.form()) && !h.form().lblRunLog->isVisible());
    EXPECT_EQ(told, 1);
    EXPECT_EQ(marks, QStringList{lost ? "Run log not kept" : "Run log incomplete"});
    ASSERT_EQ(h.platform.boxes.size(), 1u);  // the confirmation only, during the run
    h.platform.boxes.clear();
    h.platform.answers = {MsgAnswer::Ok};
    h.platform.idle(1);
    EXPECT_TRUE(OnlyBox(
        h.platform,
        "The log of the temperature run started 2026-12-06 14:03:27 is not whole.\r\n\r\n" +
            (lost ? "Nothing written from 2026-12-06 14:03:" + c.from + " on (" + c.why + "):\r\n" +
                        path
                  : "Removed or replaced before 2026-12-06 14:03:29, with the rows written until "
                    "then:\r\n" +
                        log + ".csv\r\nThe rows from then on are in:\r\n" + path),
        "Run log", MsgButtons::Ok, MsgIcon::Exclamation));
    const QByteArray newest = h.log();
    EXPECT_EQ(newest.endsWith(",end\r\n"), !lost);
    EXPECT_EQ(newest.endsWith("\r\n"), c.trouble >= FullDisk);  // a row cut short is taken back
    const QString continues = "# continues: " + log + ".csv, removed or replaced between " +
                              "2026-12-06T14:03:28.800-03:30 and 2026-12-06T14:03:29.000-03:30\r\n";
    EXPECT_EQ(newest.contains(continues.toUtf8()), !lost) << newest.toStdString();
    EXPECT_EQ(h.platform.readFile(log + ".csv") == "", c.trouble == Replaced);  // left alone
  }
}

TEST(TrendMonitoring, ReadsAtTheIntervalPausesForOperationsNeverInterleaves) {
  LogHarness h;
  // Opened with Ctrl+T, also while a long operation has the menus disabled.
  ShowActive(h.form());
  h.form().setMenusEnabled(false);
  const double t0 = h.platform.t;
  QTest::keyClick(h.form().W, Qt::Key_T, Qt::ControlModifier);
  h.form().setMenusEnabled(true);
  ASSERT_NE(h.program().trend(), nullptr);
  TrendWindow& trend = *h.program().trend();
  EXPECT_EQ(trend.windowTitle(), "Trend");
  // The operator writes P 50 ms into the third read, and asks for the status
  // 50 ms into the fourth: each begins when that read is in.
  h.platform.at(t0 + 10.05, [&] {
    h.form().P->setText("11");
    h.form().P_KeyPress(13);
  });
  h.platform.at(t0 + 15.05, [&] {
    h.platform.answers = {MsgAnswer::Ok};
    h.form().menuOVXStatus_Click();
  });
  h.platform.idle(21);
  EXPECT_EQ(h.since(t0),
            "R001NF? 0.00, R001NF? 5.00, R001NF? 10.00, S001  T 10.20, R001NF? 15.00, "
            "R001NT? 15.20, R001NF? 15.40, R001NF? 20.00");
  EXPECT_EQ(h.platform.boxes.size(), 1u);  // the status box only
  EXPECT_EQ(trend.failureText(), "");      // every read answered whole

  // A run yields to the event loop through its whole dwells: nothing is read
  // in its last one. Afterwards the readings go on.
  trend.intervalBox().setValue(1);
  h.platform.idle(0.5);
  h.run();
  const double end = h.platform.t;
  h.platform.idle(3);
  EXPECT_EQ(h.since(end - 5), "R001NF? 5.30, R001NF? 6.30, R001NF? 7.30");

  // A read that gets no answer: no box, no beep; a break in the curve and
  // "no answer" with its time in the window. The next interval tries again.
  const int beeps = h.platform.beeps;
  const size_t boxes = h.platform.boxes.size();
  trend.intervalBox().setValue(2);
  EXPECT_TRUE(h.platform.readIni().contains("[Trend]\r\nInterval=2\r\n"));
  h.silent = true;
  h.platform.idle(2.2 + 1e-6);
  const QString failedAt = h.platform.wallClock().toString("HH:mm:ss");
  h.silent = false;
  h.platform.idle(2);
  EXPECT_EQ(trend.failureText(), failedAt + " no answer");
  EXPECT_EQ(std::pair(h.platform.beeps, h.platform.boxes.size()), std::pair(beeps, boxes));

  // Closed, the window leaves the line as it was.
  trend.close();
  const size_t written = h.port().written.size();
  h.platform.idle(30);
  EXPECT_EQ(h.port().written.size(), written);
}

// The chart drawn offscreen: X at 100 °C, then at 200 °C, W at 150 °C.
TEST(TrendChart, DrawsTheCurvesWhereTheyMustBe) {
  TrendBuffer buffer;
  for (int t = 0; t < 600; ++t)
    buffer.add({.time = double(t),
                .wallMs = t * 1000,
                .x = int16_t(t < 300 ? 100 : 200),
                .w = 150,
                .kind = t % 10 ? TrendSample::Value : TrendSample::Data,
                .wKnown = t % 10 == 0});
  TrendChart chart(buffer);
  chart.resize(500, 300);
  chart.setSpan(600);
  const QImage image = chart.image();
  auto at = [&](double t, double value) {
    return image.pixelColor(qRound(chart.xFor(t)), qRound(chart.yFor(value)));
  };
  const QColor X = TrendChart::kXColor, W = TrendChart::kWColor;
  EXPECT_LT(chart.yFor(200), chart.yFor(100));
  EXPECT_EQ(QList<QColor>({at(155, 100), at(455, 200), at(155, 150), at(455, 150)}),
            QList<QColor>({X, X, W, W}));
  EXPECT_TRUE(at(155, 200) != X && at(455, 100) != X);

  // The readout moves by keyboard from reading to reading (from the newest
  // in view, past the setpoint's read at 590 s) and says what it shows.
  for (int i = 0; i < 10; ++i) QTest::keyClick(&chart, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(chart.accessibleDescription(), "00:09:49   X 200 °C   W 150 °C");
  QTest::keyClick(&chart, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(chart.accessibleDescription(), "00:09:51   X 200 °C   W 150 °C");
}

// Ten columns of 10 s, a reading a second at 100 °C with one-reading spikes at
// the first and last reading of columns; no answer at 50 s, the setpoint 900
// read at 0 s and 950 at 60 s; then nothing until 171 s.
TEST(TrendBuffer, ColumnsKeepMinMaxBreaksAndSetpoint) {
  const std::map<int, int16_t> spikes = {{10, 150}, {19, 20}, {39, 300}, {40, -5}, {99, 101}};
  auto X = [](double time, int16_t x) { return TrendSample{.time = time, .x = x}; };
  auto W = [](double time, int16_t w) {
    return TrendSample{.time = time, .w = w, .kind = TrendSample::Data, .wKnown = true};
  };
  TrendBuffer buffer;
  buffer.add(W(0, 900));
  for (int t = 1; t < 100; ++t)
    buffer.add(t == 50   ? TrendSample{.time = 50, .kind = TrendSample::NoAnswer}
               : t == 60 ? W(60, 950)
                         : X(t, spikes.contains(t) ? spikes.at(t) : int16_t{100}));
  buffer.add(X(171, 940));
  buffer.add(X(172, 941));
  const struct {
    int column, min, max;
    bool xBreak;
    int wMin, wMax;
  } cases[] = {
      // clang-format off
      {0, 100, 100, true, 900, 900}, {1, 20, 150, false, 900, 900}, {3, 100, 300, false, 900, 900},
      {4, -5, 100, false, 900, 900}, {5, 100, 100, true, 900, 900}, {6, 100, 100, false, 900, 950},
      {9, 100, 101, false, 950, 950}, {17, 940, 941, true, 950, 950},
      // clang-format on
  };
  const TrendView view = buffer.decimate(0, 180, 18, 60);
  for (const auto& c : cases) {
    const TrendColumn& column = view.columns[static_cast<size_t>(c.column)];
    EXPECT_EQ(std::tuple(int(column.x.min), int(column.x.max), column.xBreak, int(column.w.min),
                         int(column.w.max)),
              std::tuple(c.min, c.max, c.xBreak, c.wMin, c.wMax))
        << c.column;
  }
}

// Five readings a second for a day and a minute, to 02:00 UTC on 2026-10-25
// in Berlin, an hour after summer time (03:00 CEST) went back to 02:00 CET:
// the store holds the last 24 hours, with the setpoint read before them; the
// older ones give way, and the events with them; a one-reading spike an hour
// before the end still shows. Each tick of the time axis reads the clock of
// its own moment, so 02:00 and 02:30 come twice.
TEST(TrendFeed, ADayAtFiveReadingsASecondAcrossADaylightSavingChange) {
  TestPlatform platform;
  platform.wallAt1000 = QDateTime(QDate(2026, 10, 24), QTime(1, 59), QTimeZone::utc())
                            .toTimeZone(QTimeZone("Europe/Berlin"));
  TrendFeed feed(platform);
  OperationEvent start(OperationEvent::Kind::RunStarted);
  start.time = 1000;
  feed.eventPosted(start);
  feed.readingTaken({1000, BlockKind::Data, Outcome::Answered, Block(900), {}});
  const int readings = 5 * (86'400 + 60) + 1, spike = readings - 5 * 3600 + 2;
  Reading value{0, BlockKind::Value, Outcome::Answered, {}, {}};
  for (int i = 0; i < readings; ++i) {
    value.time = platform.t = 1000 + i * 0.2;
    value.values.ActualTemperature = int16_t(i == spike ? 950 : 900);
    feed.readingTaken(value);
  }
  const auto& samples = feed.buffer().samples();
  EXPECT_NEAR(samples.back().time - samples.front().time, 86'400, 1);
  EXPECT_TRUE(samples.front().wKnown && samples.front().w == 900 && feed.buffer().events().empty());
  const double at = 1000 + spike * 0.2;
  const TrendView view = feed.buffer().decimate(at - 1, at + 1, 1, 60);
  EXPECT_EQ(std::pair(int(view.columns[0].x.min), int(view.columns[0].x.max)), std::pair(900, 950));

  TrendChart chart(feed.buffer());
  chart.resize(500, 300);
  chart.setSpan(7200);
  chart.image();
  QStringList labels;
  for (const TrendChart::TimeTick& tick : chart.timeTicks()) labels << tick.text;
  EXPECT_EQ(labels.join(' '), "02:00 02:30 02:00 02:30 03:00");
}
