#include "trun/resume.h"

#include <QFileInfo>
#include <cmath>

#include "link/tools.h"
#include "protocol/numtext.h"

namespace ovx {

namespace {

QString Degrees(int value) {
  return Plain(value) + QStringLiteral(" °C");
}

// A word of the controller in °C, or "undecodable".
QString Word(int16_t value) {
  return value == kNoValue ? TrimBlanks(BlankSignedWord(value)) : Degrees(value);
}

QString Seconds(double value) {
  return Plain(std::floor(value)) + QStringLiteral(" s");
}

}  // namespace

std::optional<Interrupted> FindInterrupted(Platform& platform, const Settings& settings,
                                           const DataBlockWords& block,
                                           const std::function<void(const QString&)>& tell) {
  if (settings.ResumeWithin == 0) return std::nullopt;
  const QString folder = settings.Dir + QStringLiteral("runs");
  const QStringList logs = platform.filesNewestFirst(folder);
  if (logs.isEmpty()) return std::nullopt;
  Interrupted run;
  run.path = folder + platform.pathSeparator() + logs.first();
  const auto refuse = [&](const QString& why) {
    tell(QStringLiteral("Run not offered for resume: ") + logs.first() + QStringLiteral(": ") +
         why + QLatin1Char('.'));
    return std::nullopt;
  };
  const std::optional<QByteArray> log = platform.readFile(run.path);
  if (!log) return refuse(QStringLiteral("it cannot be read"));
  run.log = *log;
  run.record = ReadRunLog(run.log);
  const RunRecord& r = run.record;
  if (!r.temperatureRun || r.ended) return std::nullopt;
  if (r.alarm) return refuse(QStringLiteral("an alarm of the watch stopped it"));
  if (!r.start.isValid() || !r.setpoint || !r.lastRow.isValid())
    return refuse(QStringLiteral("it shows no step of the run"));
  run.age = double(r.lastRow.msecsTo(platform.wallClock())) / 1000;
  if (run.age < 0) return refuse(QStringLiteral("its last row is later than the clock now"));
  if (run.age > settings.ResumeWithin)
    return refuse(QStringLiteral("its last row is ") + Seconds(run.age) +
                  QStringLiteral(" old, more than [Run] ResumeWithin ") +
                  Seconds(settings.ResumeWithin));
  if (block[kSetpoint] != *r.setpoint)
    return refuse(QStringLiteral("the controller's W is ") + Word(block[kSetpoint]) +
                  QStringLiteral(", not the step's ") + Degrees(*r.setpoint));
  return run;
}

ResumeChoice AskResume(Platform& platform, Commands& commands, const Interrupted& run) {
  using Phase = RunRecord::Phase;
  const RunRecord& r = run.record;
  commands.GetValueBlock(true);
  const DataBlockWords& block = commands.DataBlock;
  const int T = *r.setpoint;
  const int count = StepCount(r.tStart, r.tStop, r.increment);
  const int k = StepNumber(r.tStart, r.increment, T);
  const QString& nl = CRLF;

  const QString dwell = Seconds(r.dwellDone) + QStringLiteral(" of its ") + Seconds(r.dwell) +
                        QStringLiteral(" dwell done");
  QString where = QStringLiteral("Step ") + QString::number(k) + QStringLiteral(" of ") +
                  QString::number(count) + QStringLiteral(" at ") + Degrees(T) +
                  QStringLiteral(": ");
  QString thisStep = QStringLiteral("Resume this step: steady state at ") + Degrees(T) +
                     QStringLiteral(" again, then ");
  if (r.phase == Phase::Done) {
    where += QStringLiteral("its dwell is over.");
    thisStep = QStringLiteral("Resume this step: the run goes on with the next step.");
  } else {
    if (r.phase == Phase::Waiting && r.dwellDone == 0)
      where += QStringLiteral("waiting for steady state.");
    else if (r.phase == Phase::Waiting)
      where += QStringLiteral("waiting for steady state again, ") + dwell + QLatin1Char('.');
    else
      where += dwell + (r.held ? QStringLiteral(", held.") : QStringLiteral("."));
    const QString left = Seconds(r.dwell - r.dwellDone) + QStringLiteral(" left");
    thisStep += r.held ? QStringLiteral("its dwell held until Continue, ") + left + QLatin1Char('.')
                       : QStringLiteral("the ") + left + QStringLiteral(" of its dwell.");
  }
  const bool heaterOn = block[kHeaterOutput] == 1;
  if (!heaterOn && r.phase != Phase::Done) thisStep += QStringLiteral(" The heater goes on.");
  const int next = T + r.increment;
  const QString nextStep = k < count ? QStringLiteral("Next step: ") + Degrees(next) +
                                           QStringLiteral(" (step ") + QString::number(k + 1) +
                                           QStringLiteral(" of ") + QString::number(count) +
                                           QStringLiteral(").")
                                     : QStringLiteral("Next step: none, the run ends.");

  const QString text =
      QStringLiteral("The temperature run started ") +
      r.start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" did not end.") +
      nl + QStringLiteral("Log: ") + QFileInfo(run.path).fileName() + nl + nl +
      QStringLiteral("T-Start   : ") + Degrees(r.tStart) + nl + QStringLiteral("T-Stop    : ") +
      Degrees(r.tStop) + nl + QStringLiteral("Interval  : ") + Degrees(r.increment) + nl +
      QStringLiteral("Dwell Time: ") + Seconds(r.dwell) + nl + nl + where + nl +
      QStringLiteral("Its last row was written ") + Seconds(run.age) + QStringLiteral(" ago.") +
      nl + QStringLiteral("The controller now: W ") + Word(block[kSetpoint]) +
      QStringLiteral(", X ") + Word(commands.Values.ActualTemperature) +
      (heaterOn ? QStringLiteral(", heater ON.") : QStringLiteral(", heater OFF.")) + nl + nl +
      thisStep + nl + nextStep;
  MessageBoxRequest box{text, QStringLiteral("Resume Temperature Run"), MsgButtons::Custom,
                        MsgIcon::Question, MsgAnswer::Third};
  box.buttonTexts = {QStringLiteral("Resume this step"), QStringLiteral("Next step"),
                     QStringLiteral("Do not resume")};
  switch (platform.messageBox(box)) {
    case MsgAnswer::First:
      return ResumeChoice::ThisStep;
    case MsgAnswer::Second:
      return ResumeChoice::NextStep;
    default:
      return ResumeChoice::No;
  }
}

}  // namespace ovx
