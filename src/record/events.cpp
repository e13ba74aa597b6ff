#include "record/events.h"

#include "protocol/numtext.h"

namespace ovx {

namespace {

// What an alarm saw: "X 1236 °C above 1220 °C".
QString AlarmValues(const OperationEvent& e) {
  const QString degrees = QStringLiteral(" °C");
  const QString x = QStringLiteral("X ") + Plain(e.x) + degrees;
  const QString seconds = Plain(e.seconds) + QStringLiteral(" s");
  switch (e.alarm) {
    case Alarm::OverTemperature:
      return x + QStringLiteral(" above ") + Plain(e.limit) + degrees;
    case Alarm::Runaway:
      return x + QStringLiteral(" above ") + Plain(e.limit) + degrees + QStringLiteral(" (W ") +
             Plain(e.setpoint) + degrees + QStringLiteral(") and rising for ") + seconds +
             QStringLiteral(" with the heater on");
    case Alarm::Deviation:
      return x + QStringLiteral(", W ") + Plain(e.setpoint) + degrees +
             QStringLiteral(", more than ") + Plain(e.limit) + degrees +
             QStringLiteral(" apart for ") + seconds;
    case Alarm::NoAnswer:
      return QStringLiteral("for ") + seconds +
             QStringLiteral(" with the heater on; the heater cannot be reached");
  }
  return {};
}

}  // namespace

QString Describe(const OperationEvent& e) {
  using Kind = OperationEvent::Kind;
  const QString degrees = QStringLiteral(" °C");
  const QString pid =
      Plain(e.pid.P) + QLatin1Char('/') + Plain(e.pid.I) + QLatin1Char('/') + Plain(e.pid.D);
  switch (e.kind) {
    case Kind::RunStarted:
      return QStringLiteral("start");
    case Kind::RunEnded:
      return e.byAlarm ? QStringLiteral("end: alarm") : QStringLiteral("end");
    case Kind::ProgramEnding:
      return QStringLiteral("end");
    case Kind::HeaterSwitched:
      return (e.on ? QStringLiteral("heater on") : QStringLiteral("heater off")) +
             (e.byAlarm ? QStringLiteral(" by the alarm") : QString());
    case Kind::SetpointWritten:
      return QStringLiteral("setpoint ") + Plain(e.setpoint) + degrees;
    case Kind::StepStarted:
      return QStringLiteral("step ") + Plain(e.setpoint) + degrees + QStringLiteral(", PID ") +
             pid + (e.pidFromFile ? QStringLiteral(" from pid.par") : QStringLiteral(" default"));
    case Kind::SteadyReached:
      return QStringLiteral("steady: average ") + Plain(e.average) + QStringLiteral(", STDEV ") +
             Plain(e.stdev) + QStringLiteral(", ") + QString::number(e.samples) +
             QStringLiteral(" samples, after ") + Plain(e.seconds) + QStringLiteral(" s");
    case Kind::OperatorOK:
      return QStringLiteral("operator OK");
    case Kind::OperatorCancel:
      return QStringLiteral("cancelled by the operator");
    case Kind::DwellDone:
      return QStringLiteral("dwell done");
    case Kind::SelfOptimizingStarted:
      return QStringLiteral("self-optimizing started at ") + Plain(e.setpoint) + degrees;
    case Kind::SelfOptimizingFinished:
      return QStringLiteral("self-optimizing finished: P ") + Plain(e.pid.P) +
             QStringLiteral(" I ") + Plain(e.pid.I) + QStringLiteral(" D ") + Plain(e.pid.D);
    case Kind::AlarmRaised:
      return QStringLiteral("alarm: ") + AlarmName(e.alarm) +
             (e.alarm == Alarm::NoAnswer ? QStringLiteral(" ") : QStringLiteral(", ")) +
             AlarmValues(e) + (e.heaterOff ? QStringLiteral("; heater switched off") : QString());
    case Kind::AlarmCleared:
      return QStringLiteral("alarm cleared: ") + AlarmName(e.alarm);
    case Kind::AlarmAcknowledged:
      return QStringLiteral("alarm acknowledged");
  }
  return {};
}

QString AlarmName(Alarm alarm) {
  switch (alarm) {
    case Alarm::OverTemperature:
      return QStringLiteral("over-temperature");
    case Alarm::Runaway:
      return QStringLiteral("runaway");
    case Alarm::Deviation:
      return QStringLiteral("deviation");
    case Alarm::NoAnswer:
      return QStringLiteral("no answer");
  }
  return {};
}

}  // namespace ovx
