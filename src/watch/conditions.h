// The watch's judgement, apart from everything it acts through: readings and
// writes at times of the program's clock go in, alarms raised and cleared
// come out as events.
//
//   over-temperature  X above OverTemperature (SP H + 20 when not set)
//   runaway           heater on, X above W + Deviation and risen over the
//                     last RunawayTime seconds
//   deviation         heater on, |X - W| above Deviation for longer than
//                     DeviationTime, once X has been within Deviation of this W
//   no answer         heater last known on, no valid answer for longer than
//                     NoAnswerTime
//
// A condition that held clears when it leaves its zone by 5 °C (no answer:
// at one valid answer); one that still holds 10 minutes after the operator
// acknowledged it is raised again. A condition that is no longer armed (the
// heater off, a new W) starts afresh, without a verdict.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "record/events.h"
#include "watch/watch_settings.h"

namespace ovx {

// One reading or write, as the watch sees it.
struct Observation {
  enum Kind { Value, Data, Written, Failed };
  double time = 0;
  Kind kind = Value;
  int16_t x = 0;                             // Value: the actual temperature
  int16_t w = 0, heater = 0, highLimit = 0;  // Data, Written: words 1, 37 and 4
};

class Conditions {
 public:
  static constexpr double kRepeat = 600;  // s after an acknowledgement
  static constexpr int kHysteresis = 5;   // °C

  // Watching from `start`: "no answer" counts from there.
  Conditions(const WatchSettings& settings, double start);
  // New limits and times; what was seen stays.
  void setSettings(const WatchSettings& settings) { settings_ = settings; }

  // The alarms that the observation raises (AlarmRaised) and clears
  // (AlarmCleared), at its time.
  std::vector<OperationEvent> observe(const Observation& o);
  // The operator has seen every alarm.
  void acknowledge(double time);

 private:
  struct State {
    std::optional<double> since;  // in the zone from then
    bool raised = false;
    std::optional<double> acknowledged;
    double riseFrom = 0;  // runaway: the reading X must have risen from
    int16_t riseX = 0;
  };
  // One condition at this observation: not armed, it starts afresh; out of
  // its zone it clears; in it, it is raised when it `holds`, and again when
  // it still holds kRepeat after an acknowledgement.
  void judge(Alarm alarm, bool armed, bool enters, bool leaves, bool holds, double time,
             OperationEvent raised, std::vector<OperationEvent>& events);
  State& state(Alarm alarm) { return states_[static_cast<size_t>(alarm)]; }

  WatchSettings settings_;
  std::array<State, 4> states_{};
  double lastAnswer_;
  std::optional<int16_t> x_, w_, highLimit_;
  bool heaterOn_ = false;
  std::optional<int16_t> approached_;  // the W that X came within Deviation of
};

}  // namespace ovx
