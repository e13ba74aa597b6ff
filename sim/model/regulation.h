// The controller's regulation: a PID loop on the measured temperature and
// the relay experiment of its self-optimizing run.
#pragma once

#include <array>
#include <optional>

namespace ovx::sim {

// P as proportional band in °C (0 or less: on/off control), I and D in
// seconds (0 or less: term off).
struct PidTerms {
  double band = 0;
  double integralTime = 0;
  double derivativeTime = 0;
};

// Ideal-form PID with the derivative on the filtered measurement (no kick on
// setpoint changes) and conditional integration as anti-windup. Output in %.
class Pid {
 public:
  // Starts afresh with the integral term at `integral` (% output).
  void reset(double integral = 0);
  double update(double setpoint, double measured, const PidTerms& terms, double dt);

 private:
  double integral_ = 0;
  double derivative_ = 0;
  double lastMeasured_ = 0;
  bool primed_ = false;
};

// Self-optimizing by a relay experiment: full power up to the setpoint
// (phase 1), then on/off around it with a small hysteresis (phase 2). After
// one settling cycle it measures amplitude and period of a few cycles and
// derives P, I, D from the ultimate gain and period (Tyreus-Luyben rules,
// which overshoot less than Ziegler-Nichols).
class RelayTuner {
 public:
  enum Phase { kIdle = 0, kHeating = 1, kOscillating = 2 };
  struct Result {
    bool tuned = false;  // false: given up (no oscillation); keep the old terms
    int band = 0, integralTime = 0, derivativeTime = 0;
    double bias = 0;  // mean output during the measured cycles, %
  };

  static constexpr int kMeasuredCycles = 4;
  static constexpr double kMaxHeating = 4 * 3600.0;  // s without reaching W
  static constexpr double kMaxHalfCycle = 3600.0;    // s without a relay switch

  void start();
  void stop() { phase_ = kIdle; }
  Phase phase() const { return phase_; }
  bool running() const { return phase_ != kIdle; }
  // One step of the run: the output in %. When the run has ended, the tuner
  // is idle and result() holds its outcome until the next start.
  double update(double setpoint, double measured, double hysteresis, double dt);
  std::optional<Result> takeResult();

 private:
  void restart(double setpoint);
  void finish(bool tuned);

  Phase phase_ = kIdle;
  double setpoint_ = 0;
  double clock_ = 0;        // s since the phase began
  double sinceSwitch_ = 0;  // s since the last relay switch
  bool relayOn_ = false;
  double extreme_ = 0;  // peak or trough of the current half cycle
  int onSwitches_ = 0;
  double firstCounted_ = 0, lastOn_ = 0;  // times of the on-switches bounding the cycles
  double peakSum_ = 0, troughSum_ = 0;
  int peaks_ = 0, troughs_ = 0;
  double onTime_ = 0, countedTime_ = 0;
  std::optional<Result> result_;
};

}  // namespace ovx::sim
