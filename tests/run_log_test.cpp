// The run log on the virtual clock with a scripted controller: whole files
// byte for byte (a three-step run in a German locale; a self-optimizing; a
// run cancelled, with the trend's CSV of it; a run ended by closing the
// window), a log that cannot be written, the offsets of its times, and the
// rows of a process killed while it logs.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>
#include <QTimeZone>
#include <clocale>
#include <csignal>
#include <random>

#include "record/csv.h"
#include "support/harness.h"
#include "trend/trend_window.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// A started program whose "Dir" is the test's folder. The controller answers
// the k-th value read (from 0) with X(k, W) at its setpoint W, or with only
// cut[k] characters.
struct LogHarness : Harness {
  LogHarness() : Harness(kScripted, DataBlockWords{0, 900, 0, 0, 1200}, kDirIni) {
    controller.words[kPTerm] = 48, controller.words[kITerm] = 8, controller.words[kDTerm] = 2;
    commands().DataBlock = controller.words;
    script([this](const QByteArray& frame) {
      const QByteArray answer = controller.answer(frame);
      const auto c = cut.find(controller.valueReads - 1);
      return frame == "R001NF?" && c != cut.end() ? answer.left(c->second) : answer;
    });
    controller.beforeValueRead = [this](int k) {
      const int W = controller.words[kSetpoint];
      controller.values.ActualTemperature = static_cast<int16_t>(X ? X(k, W) : W);
      controller.values.OutputStatus = controller.words[kHeaterOutput];
    };
  }
  std::function<int(int k, int W)> X;
  std::map<int, int> cut;

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

TEST(RunLog, NotWrittenTheRunGoesOnAndTheOperatorIsToldOnce) {
  const struct {
    bool readOnly;
    rlim_t limit;        // of a file's size: a full disk
    const char* notice;  // after ".../runs"
  } cases[] = {
      {true, RLIM_INFINITY, " (Read-only file system); the run goes on."},
      {false, 1000, "/2026-12-06_14-03-27_run.csv (File too large); the run goes on."},
  };
  for (const auto& c : cases) {
    LogHarness h;
    if (c.readOnly)
      h.platform.failWrite = [](const QString& path) {
        return path.endsWith("/runs") ? QString("Read-only file system") : QString();
      };
    const QString notice = "No run log: cannot write " + h.platform.dir() + "/runs" + c.notice;
    h.recordStatus();
    int traced = 0;
    QObject::connect(h.form().StatusText, &QPlainTextEdit::textChanged,
                     [&] { traced += h.form().statusText().endsWith(notice + "\r\n"); });
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const rlimit limited{c.limit, unlimited.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails instead
    setrlimit(RLIMIT_FSIZE, &limited);
    h.run();
    setrlimit(RLIMIT_FSIZE, &unlimited);

    EXPECT_EQ(h.controller.words[kSetpoint], 960);  // every step ran
    EXPECT_TRUE(Idle(h.form()));
    EXPECT_EQ(h.statusTexts().count(notice), 1);
    EXPECT_EQ(traced, 1);
    EXPECT_EQ(h.log().endsWith("\r\n"), !c.readOnly);  // a row cut short is taken back
  }
}

TEST(RunLog, IsoTimeWithItsOffset) {
  const QDateTime time(QDate(2026, 12, 6), QTime(14, 3, 27, 5), QTimeZone(-12600));
  EXPECT_EQ(IsoTime(time), "2026-12-06T14:03:27.005-03:30");
  EXPECT_EQ(IsoTime(time.toOffsetFromUtc(20700)), "2026-12-06T23:18:27.005+05:45");
}

// Killed at random moments while it logs, a process leaves whole rows, the
// last one it reported among them; every start makes a new file.
TEST(RunLogCrash, KilledLoggerLeavesWholeRows) {
  QTemporaryDir dir;
  std::mt19937 random(20261206);
  for (int kill = 1; kill <= 8; ++kill) {
    QProcess logger;
    logger.start(QCoreApplication::applicationDirPath() + "/run_logger", {dir.path()});
    ASSERT_TRUE(logger.waitForReadyRead(5000)) << logger.readAllStandardError().toStdString();
    QThread::usleep(std::uniform_int_distribution<int>(0, 100'000)(random));
    logger.kill();
    ASSERT_TRUE(logger.waitForFinished(5000));
    const int reported = logger.readAllStandardOutput().trimmed().split('\n').last().toInt();

    const QStringList logs = QDir(dir.filePath("runs")).entryList(QDir::Files, QDir::Time);
    ASSERT_EQ(logs.size(), kill);
    QFile file(dir.filePath("runs/" + logs.first()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    ASSERT_TRUE(content.endsWith("\r\n"));
    // The rows after the start's, the k-th with X = k; the last split is empty.
    const QList<QByteArray> rows = content.mid(content.indexOf(",start\r\n") + 8).split('\n');
    ASSERT_TRUE(rows.size() == reported + 1 || rows.size() == reported + 2) << reported;
    for (int k = 1; k < rows.size(); ++k)
      ASSERT_EQ(rows[k - 1].split(',').value(3), QByteArray::number(k));
  }
}
