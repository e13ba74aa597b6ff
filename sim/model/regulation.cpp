#include "model/regulation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ovx::sim {

void Pid::reset(double integral) {
  integral_ = std::clamp(integral, 0.0, 100.0);
  derivative_ = 0;
  primed_ = false;
}

double Pid::update(double setpoint, double measured, const PidTerms& terms, double dt) {
  const double error = setpoint - measured;
  if (terms.band <= 0) {  // two-position control
    primed_ = false;
    return error > 0 ? 100 : 0;
  }
  const double gain = 100 / terms.band;
  if (!primed_) lastMeasured_ = measured;
  primed_ = true;
  if (terms.derivativeTime > 0) {
    // First-order filter on the derivative, time constant Td/8.
    const double filter = std::max(terms.derivativeTime / 8, dt);
    derivative_ =
        (filter * derivative_ - gain * terms.derivativeTime * (measured - lastMeasured_)) /
        (filter + dt);
  } else {
    derivative_ = 0;
  }
  lastMeasured_ = measured;
  const double proportional = gain * error;
  if (terms.integralTime > 0) {
    const double next = integral_ + gain * error * dt / terms.integralTime;
    const double raw = proportional + next + derivative_;
    // Integrate only while that does not drive the output further into its limit.
    if (!((raw > 100 && error > 0) || (raw < 0 && error < 0)))
      integral_ = std::clamp(next, 0.0, 100.0);
  } else {
    integral_ = 0;
  }
  return std::clamp(proportional + integral_ + derivative_, 0.0, 100.0);
}

void RelayTuner::start() {
  result_.reset();
  phase_ = kHeating;
  clock_ = 0;
  setpoint_ = std::nan("");
}

void RelayTuner::restart(double setpoint) {
  phase_ = kHeating;
  setpoint_ = setpoint;
  clock_ = sinceSwitch_ = 0;
  onSwitches_ = peaks_ = troughs_ = 0;
  peakSum_ = troughSum_ = onTime_ = countedTime_ = 0;
}

double RelayTuner::update(double setpoint, double measured, double hysteresis, double dt) {
  if (phase_ == kIdle) return 0;
  if (setpoint != setpoint_) restart(setpoint);  // a new setpoint: begin again
  clock_ += dt;
  if (phase_ == kHeating) {
    if (measured < setpoint) {
      if (clock_ > kMaxHeating) finish(false);
      return phase_ == kIdle ? 0 : 100;
    }
    phase_ = kOscillating;
    clock_ = sinceSwitch_ = 0;
    relayOn_ = false;
    extreme_ = measured;
  }

  sinceSwitch_ += dt;
  if (onSwitches_ >= 2) {  // the first cycle settles; the later ones count
    countedTime_ += dt;
    if (relayOn_) onTime_ += dt;
  }
  if (relayOn_) {
    extreme_ = std::min(extreme_, measured);
    if (measured >= setpoint + hysteresis) {
      if (onSwitches_ >= 2) troughSum_ += extreme_, ++troughs_;
      relayOn_ = false;
      extreme_ = measured;
      sinceSwitch_ = 0;
    }
  } else {
    extreme_ = std::max(extreme_, measured);
    if (measured <= setpoint - hysteresis) {
      if (onSwitches_ >= 2) peakSum_ += extreme_, ++peaks_;
      relayOn_ = true;
      extreme_ = measured;
      sinceSwitch_ = 0;
      ++onSwitches_;
      if (onSwitches_ == 2) firstCounted_ = clock_;
      lastOn_ = clock_;
      if (onSwitches_ == 2 + kMeasuredCycles) {
        finish(true);
        return 100;
      }
    }
  }
  if (sinceSwitch_ > kMaxHalfCycle) {
    finish(false);
    return 0;
  }
  return relayOn_ ? 100 : 0;
}

void RelayTuner::finish(bool tuned) {
  Result result;
  if (tuned && peaks_ > 0 && troughs_ > 0) {
    const double period = (lastOn_ - firstCounted_) / kMeasuredCycles;
    const double amplitude = std::max((peakSum_ / peaks_ - troughSum_ / troughs_) / 2, 0.01);
    // Describing function of a relay switching between 0 and 100 %.
    const double ultimateGain = 4 * 50 / (std::numbers::pi * amplitude);
    const double gain = ultimateGain / 2.2;
    result.tuned = true;
    result.band = std::clamp(static_cast<int>(std::lround(100 / gain)), 1, 500);
    result.integralTime = std::clamp(static_cast<int>(std::lround(2.2 * period)), 1, 5000);
    result.derivativeTime = std::clamp(static_cast<int>(std::lround(period / 6.3)), 0, 5000);
    result.bias = countedTime_ > 0 ? 100 * onTime_ / countedTime_ : 50;
  }
  result_ = result;
  phase_ = kIdle;
}

std::optional<RelayTuner::Result> RelayTuner::takeResult() {
  auto result = result_;
  result_.reset();
  return result;
}

}  // namespace ovx::sim
