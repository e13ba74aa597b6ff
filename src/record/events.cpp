#include "record/events.h"

#include "protocol/numtext.h"

namespace ovx {

QString Describe(const OperationEvent& e) {
  using Kind = OperationEvent::Kind;
  const QString degrees = QStringLiteral(" °C");
  const QString pid =
      Plain(e.pid.P) + QLatin1Char('/') + Plain(e.pid.I) + QLatin1Char('/') + Plain(e.pid.D);
  switch (e.kind) {
    case Kind::RunStarted:
      return QStringLiteral("start");
    case Kind::RunEnded:
    case Kind::ProgramEnding:
      return QStringLiteral("end");
    case Kind::HeaterSwitched:
      return e.on ? QStringLiteral("heater on") : QStringLiteral("heater off");
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
  }
  return {};
}

}  // namespace ovx
