#include "record/events.h"

#include <QRegularExpression>
#include <cmath>
#include <utility>

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

using Kind = OperationEvent::Kind;

// The texts with numbers that ReadEvent reads back, as patterns of
// QString::arg: one description for the writing and the reading.
struct Pattern {
  Kind kind;
  bool nextStep;
  const char* text;
};
constexpr Pattern kPatterns[] = {
    {Kind::DwellProgress, false, "dwell: %1 s of %2 s"},
    {Kind::DwellHeld, false, "hold: dwell held at %1 s of %2 s"},
    {Kind::DwellContinued, false, "continue: dwell goes on at %1 s of %2 s, held %3 s"},
    {Kind::RunResumed, false, "resumed after %1 s at step %2 (%3 °C)"},
    {Kind::RunResumed, true, "resumed after %1 s at step %2 (%3 °C), on to the next step"},
};

// Seconds of a dwell or an absence, whole ones only: a resume never cuts a
// dwell short.
QString Whole(double seconds) {
  return Plain(std::floor(seconds));
}

QString Filled(const OperationEvent& e) {
  for (const Pattern& p : kPatterns) {
    if (p.kind != e.kind || (p.kind == Kind::RunResumed && p.nextStep != e.nextStep)) continue;
    const QString text = QString::fromUtf8(p.text);
    if (e.kind == Kind::RunResumed)
      return text.arg(Whole(e.away), QString::number(e.step), Plain(e.setpoint));
    if (e.kind == Kind::DwellContinued)
      return text.arg(Whole(e.seconds), Plain(e.dwell), Plain(RoundDigits(e.held, 0)));
    return text.arg(Whole(e.seconds), Plain(e.dwell));
  }
  return {};
}

}  // namespace

QString Describe(const OperationEvent& e) {
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
    case Kind::DwellProgress:
    case Kind::DwellHeld:
    case Kind::DwellContinued:
    case Kind::RunResumed:
      return Filled(e);
    case Kind::RunNotResumed:
      return QStringLiteral("not resumed");
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

std::optional<OperationEvent> ReadEvent(const QString& text) {
  // Texts without numbers, also those of the watch's action.
  for (const Kind kind : {Kind::RunStarted, Kind::RunEnded, Kind::HeaterSwitched, Kind::OperatorOK,
                          Kind::OperatorCancel, Kind::DwellDone, Kind::RunNotResumed}) {
    for (const bool on : {false, true}) {
      for (const bool byAlarm : {false, true}) {
        OperationEvent e(kind);
        e.on = on, e.byAlarm = byAlarm;
        if (text == Describe(e)) return e;
      }
    }
  }
  // A step, a steady verdict and an alarm by the first word of their texts;
  // an alarm also by whether its action switched the heater off.
  for (const Kind kind : {Kind::StepStarted, Kind::SteadyReached, Kind::AlarmRaised}) {
    OperationEvent e(kind);
    const QString described = Describe(e);
    if (!text.startsWith(described.left(described.indexOf(QLatin1Char(' ')) + 1))) continue;
    e.heaterOff = true;
    e.heaterOff = kind == Kind::AlarmRaised && text.endsWith(Describe(e).mid(described.size()));
    return e;
  }
  static const std::vector<std::pair<Pattern, QRegularExpression>> patterns = [] {
    std::vector<std::pair<Pattern, QRegularExpression>> list;
    const QRegularExpression placeholder(QStringLiteral("%[1-3]"));
    for (const Pattern& p : kPatterns) {
      QStringList parts = QString::fromUtf8(p.text).split(placeholder);
      for (QString& part : parts) part = QRegularExpression::escape(part);
      list.emplace_back(p, QRegularExpression(QLatin1Char('^') +
                                              parts.join(QStringLiteral("(-?[0-9]*\\.?[0-9]+)")) +
                                              QLatin1Char('$')));
    }
    return list;
  }();
  for (const auto& [p, expression] : patterns) {
    const QRegularExpressionMatch match = expression.match(text);
    if (!match.hasMatch()) continue;
    OperationEvent e(p.kind);
    e.nextStep = p.nextStep;
    auto number = [&](int n) { return match.captured(n).toDouble(); };
    if (p.kind == Kind::RunResumed) {
      e.away = number(1);
      e.step = static_cast<int>(number(2));
      e.setpoint = static_cast<int16_t>(number(3));
    } else {
      e.seconds = number(1);
      e.dwell = static_cast<int16_t>(number(2));
      e.held = p.kind == Kind::DwellContinued ? number(3) : 0;
    }
    return e;
  }
  return std::nullopt;
}

QString KindName(OperationEvent::Kind kind) {
  using Kind = OperationEvent::Kind;
  switch (kind) {
    case Kind::RunStarted:
      return QStringLiteral("RunStarted");
    case Kind::RunEnded:
      return QStringLiteral("RunEnded");
    case Kind::ProgramEnding:
      return QStringLiteral("ProgramEnding");
    case Kind::HeaterSwitched:
      return QStringLiteral("HeaterSwitched");
    case Kind::SetpointWritten:
      return QStringLiteral("SetpointWritten");
    case Kind::StepStarted:
      return QStringLiteral("StepStarted");
    case Kind::SteadyReached:
      return QStringLiteral("SteadyReached");
    case Kind::OperatorOK:
      return QStringLiteral("OperatorOK");
    case Kind::OperatorCancel:
      return QStringLiteral("OperatorCancel");
    case Kind::DwellDone:
      return QStringLiteral("DwellDone");
    case Kind::SelfOptimizingStarted:
      return QStringLiteral("SelfOptimizingStarted");
    case Kind::SelfOptimizingFinished:
      return QStringLiteral("SelfOptimizingFinished");
    case Kind::AlarmRaised:
      return QStringLiteral("AlarmRaised");
    case Kind::AlarmCleared:
      return QStringLiteral("AlarmCleared");
    case Kind::AlarmAcknowledged:
      return QStringLiteral("AlarmAcknowledged");
    case Kind::DwellProgress:
      return QStringLiteral("DwellProgress");
    case Kind::DwellHeld:
      return QStringLiteral("DwellHeld");
    case Kind::DwellContinued:
      return QStringLiteral("DwellContinued");
    case Kind::RunResumed:
      return QStringLiteral("RunResumed");
    case Kind::RunNotResumed:
      return QStringLiteral("RunNotResumed");
  }
  return {};
}

}  // namespace ovx
