// What the operations do, told as events at times on the program's clock:
// the trend marks them on its time axis and the run log writes them down.
#pragma once

#include <QString>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/blocks.h"
#include "protocol/pidtext.h"

namespace ovx {

// What the watch looks for.
enum class Alarm { OverTemperature, Runaway, Deviation, NoAnswer };

struct OperationEvent {
  enum class Kind {
    RunStarted,              // a temperature run or a self-optimizing begins
    RunEnded,                // ... and ends, however
    ProgramEnding,           // the program ends (a run in progress with it)
    HeaterSwitched,          // `on`
    SetpointWritten,         // `setpoint` written by the operator
    StepStarted,             // a run's step: `setpoint`, `pid`, `pidFromFile`
    SteadyReached,           // `average`, `stdev`, `samples`, `seconds`
    OperatorOK,              // OK ended a wait or a dwell
    OperatorCancel,          // Cancel stopped the operation
    DwellDone,               // a dwell time ran out
    SelfOptimizingStarted,   // at `setpoint`
    SelfOptimizingFinished,  // with the tuned `pid`
    AlarmRaised,        // `alarm` with `x`, `setpoint`, `limit`, `seconds`; `heaterOff` its action
    AlarmCleared,       // `alarm` no longer holds
    AlarmAcknowledged,  // by the operator: every alarm raised so far
    DwellProgress,      // `seconds` of the `dwell` counted down (a minute more)
    DwellHeld,          // the operator held the dwell at `seconds` of `dwell`
    DwellContinued,     // ... and let it go on, after `held` seconds
    // After `away` seconds at `step` (`setpoint`); `nextStep`: with the next
    // one, else with `seconds` of the run's `dwell` done.
    RunResumed,
    RunNotResumed,  // the operator chose not to resume the run of the log
  };
  enum class Run { Temperature, SelfOptimizing };

  explicit OperationEvent(Kind kind, Run run = Run::Temperature) : kind(kind), run(run) {}

  double time = 0;
  Kind kind;
  Run run;  // RunStarted, RunEnded
  bool on = false;
  // HeaterSwitched: by the watch's alarm; RunEnded: ended by the alarm.
  bool byAlarm = false;
  Alarm alarm = Alarm::OverTemperature;
  int x = 0, limit = 0;
  bool heaterOff = false;
  int16_t setpoint = 0;
  PidSet pid;
  bool pidFromFile = false;
  double average = 0, stdev = 0, seconds = 0;
  int samples = 0;
  double held = 0, away = 0;
  int step = 0;  // the run's step, from 1
  bool nextStep = false;
  // RunStarted: the run's parameters as confirmed (a self-optimizing has
  // only its setpoint), and the data block as the program holds it.
  int16_t tStart = 0, tStop = 0, increment = 0, dwell = 0;
  DataBlockWords words{};
};

// The event in words: "heater on", "step 930 °C, PID 48/8/2 from pid.par",
// "steady: average 929.8, STDEV .21, 14 samples, after 312 s",
// "alarm: over-temperature, X 1236 °C above 1220 °C; heater switched off", ...
QString Describe(const OperationEvent& event);
// The alarm's name: "over-temperature", "runaway", "deviation", "no answer".
QString AlarmName(Alarm alarm);
// The event whose text Describe wrote, with its kind; of the dwell's events
// and of a resume also the numbers the text shows, of the watch's action
// whether it switched the heater off or ended the run. Null for any other
// text.
std::optional<OperationEvent> ReadEvent(const QString& text);
// The kind's name as the publisher sends it: "RunStarted", "HeaterSwitched", ...
QString KindName(OperationEvent::Kind kind);

class OperationListener {
 public:
  virtual ~OperationListener() = default;
  virtual void eventPosted(const OperationEvent& event) = 0;
};

// Hands every event to its listeners, in the order they joined.
class Recorder {
 public:
  void addListener(OperationListener* listener) { listeners_.push_back(listener); }
  void removeListener(OperationListener* listener) { std::erase(listeners_, listener); }
  void post(const OperationEvent& event) {
    const std::vector<OperationListener*> listeners = listeners_;
    for (OperationListener* listener : listeners) listener->eventPosted(event);
  }

 private:
  std::vector<OperationListener*> listeners_;
};

}  // namespace ovx
