#include "watch/conditions.h"

#include <cmath>
#include <cstdlib>

#include "protocol/blocks.h"

namespace ovx {

Conditions::Conditions(const WatchSettings& settings, double start)
    : settings_(settings), lastAnswer_(start) {}

std::vector<OperationEvent> Conditions::observe(const Observation& o) {
  const double t = o.time;
  // A value that did not decode is none: it tells nothing of what it stands for.
  auto known = [](int16_t v) { return v == kNoValue ? std::nullopt : std::optional<int16_t>(v); };
  const bool xRead = o.kind == Observation::Value && o.x != kNoValue;
  switch (o.kind) {
    case Observation::Value:
      if (xRead) x_ = o.x;
      lastAnswer_ = t;
      break;
    case Observation::Data:
      lastAnswer_ = t;
      [[fallthrough]];
    case Observation::Written:
      w_ = known(o.w);
      heaterOn_ = o.heater == 1;
      highLimit_ = known(o.highLimit);
      break;
    case Observation::Failed:
      break;
  }
  if (!heaterOn_) approached_.reset();

  std::vector<OperationEvent> events;
  auto alarm = [&](Alarm which, int limit, double seconds, bool heaterOff) {
    OperationEvent e(OperationEvent::Kind::AlarmRaised);
    e.alarm = which;
    e.x = x_.value_or(0);
    e.setpoint = w_.value_or(0);
    e.limit = limit;
    e.seconds = std::round(seconds);
    e.heaterOff = heaterOff;
    return e;
  };

  // A failed read, or an X that did not decode, tells nothing new of X: the
  // temperatures wait for an answer.
  if (x_ && o.kind != Observation::Failed && (xRead || o.kind != Observation::Value)) {
    const int x = *x_;
    const int hysteresis = kHysteresis;
    const int deviation = settings_.Deviation;

    if (settings_.OverTemperature || highLimit_) {
      const int limit = settings_.OverTemperature.value_or(highLimit_.value_or(0) + 20);
      judge(Alarm::OverTemperature, true, x > limit, x <= limit - hysteresis, true, t,
            alarm(Alarm::OverTemperature, limit, 0, true), events);
    }

    if (w_) {
      const int w = *w_;
      if (heaterOn_ && std::abs(x - w) <= deviation) approached_ = w_;
      const int above = w + deviation;
      State& runaway = state(Alarm::Runaway);
      const bool wasIn = runaway.since.has_value();
      // Risen over a whole RunawayTime: judged span by span from the entry.
      bool risen = false;
      if (wasIn && t - runaway.riseFrom >= settings_.RunawayTime) {
        risen = x > runaway.riseX;
        if (!risen) runaway.riseFrom = t, runaway.riseX = static_cast<int16_t>(x);
      }
      const double rising = t - runaway.riseFrom;
      judge(Alarm::Runaway, heaterOn_, x > above, x <= above - hysteresis, risen, t,
            alarm(Alarm::Runaway, above, rising, true), events);
      if (!wasIn && runaway.since) runaway.riseFrom = t, runaway.riseX = static_cast<int16_t>(x);

      const std::optional<double>& since = state(Alarm::Deviation).since;
      const double apart = since ? t - *since : 0;
      judge(Alarm::Deviation, heaterOn_ && approached_ == w_, std::abs(x - w) > deviation,
            std::abs(x - w) <= deviation - hysteresis, apart > settings_.DeviationTime, t,
            alarm(Alarm::Deviation, deviation, apart, false), events);
    }
  }

  const double silent = t - lastAnswer_;
  const bool answered = o.kind == Observation::Value || o.kind == Observation::Data;
  judge(Alarm::NoAnswer, heaterOn_, silent > settings_.NoAnswerTime, answered, true, t,
        alarm(Alarm::NoAnswer, 0, silent, false), events);
  return events;
}

void Conditions::judge(Alarm alarm, bool armed, bool enters, bool leaves, bool holds, double time,
                       OperationEvent raised, std::vector<OperationEvent>& events) {
  State& s = state(alarm);
  // Not armed, it starts afresh; an alarm raised stays on the operator's
  // screen, but the condition no longer clears: it is not judged.
  if (!armed) {
    s = State{};
    return;
  }
  if (s.since && leaves) {
    if (s.raised) {
      OperationEvent cleared(OperationEvent::Kind::AlarmCleared);
      cleared.time = time;
      cleared.alarm = alarm;
      events.push_back(cleared);
    }
    s = State{};
    return;
  }
  if (!s.since) {
    if (!enters) return;
    s.since = time;
  }
  const bool again = s.raised && holds && s.acknowledged && time - *s.acknowledged >= kRepeat;
  if ((!s.raised && holds) || again) {
    s.raised = true;
    s.acknowledged.reset();
    raised.time = time;
    events.push_back(raised);
  }
}

void Conditions::acknowledge(double time) {
  for (State& s : states_)
    if (s.raised) s.acknowledged = time;
}

}  // namespace ovx
