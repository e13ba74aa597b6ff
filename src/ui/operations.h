// The controller operations behind the main window: the connection check,
// the parameter fields, heater switching, the status query, setpoint entry,
// the steady-state wait, self-optimizing and the PID file commands.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "link/commands.h"
#include "link/link.h"
#include "pidstore/pidstore.h"
#include "platform/platform.h"
#include "protocol/settings.h"
#include "record/events.h"

class QLineEdit;

namespace ovx {

class frmOVX;

// The operations that hold the controller for minutes or hours, yielding to
// the event loop meanwhile; only one of them runs at a time.
enum class LongOperation { None, TemperatureRun, SelfOptimizing, SteadyStateWait };

// A long operation's hold on the controller, given up when it is destroyed.
class LongClaim {
 public:
  explicit LongClaim(LongOperation& slot) : slot_(&slot) {}
  LongClaim(LongClaim&& other) noexcept : slot_(std::exchange(other.slot_, nullptr)) {}
  LongClaim& operator=(LongClaim&&) = delete;
  ~LongClaim() {
    if (slot_) *slot_ = LongOperation::None;
  }

 private:
  LongOperation* slot_;
};

class Operations {
 public:
  Operations(Platform& platform, const Settings& settings, Link& link, Commands& commands,
             PidStore& pidStore, Recorder& recorder, frmOVX& form)
      : platform_(platform),
        settings_(settings),
        link_(link),
        commands_(commands),
        pidStore_(pidStore),
        recorder_(recorder),
        form_(form) {}

  // Reads the data block once: -1 answered, 1 no answer, 3 invalid answer.
  int OVX_Check(bool ShowMessages);
  // The start-up check; ends the program unless the controller answers.
  void StartupCheck();
  // The quit check; sets Cancel when the operator keeps the program running.
  void QuitCheck(bool& Cancel);

  // Enter (13) or Escape (27) typed into W, P, I or D.
  void parameterKeyPress(QLineEdit* field, int key);
  // Heater output on (true) or off: read, write only when it changes, read.
  // Switching on is left out when the watch's alarm switched the heater off
  // since the operation in progress began.
  void SwitchHeaterOutput(bool on);
  // The watch's alarm switches the heater off: every operation in progress
  // ends as if cancelled (stoppedByAlarm), and none switches it on again.
  void alarmHeaterOff();
  // True from the alarm's heater switch until the operations in progress
  // have all ended.
  bool stoppedByAlarm() const { return stoppedByAlarm_; }
  // An operation in progress, for the time of a scope: the alarm's heater
  // switch stops it. They nest (a switch from a dwell's yield).
  class Busy {
   public:
    explicit Busy(Operations& ops) : ops_(ops) { ++ops_.busy_; }
    ~Busy() {
      if (--ops_.busy_ == 0) ops_.stoppedByAlarm_ = false;
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    Operations& ops_;
  };
  // Double click on the heater indicator: toggles from the word in memory.
  void HeaterStatus_DblClick();
  // "Query Status": the "OVX-Status" box.
  void menuOVXStatus_Click();
  // Waits until the actual temperature is steady at W, or OK or Cancel.
  void WaitForSteadyState(int16_t W);
  // Asks for a setpoint within SP L..SP H until one is given (a reply without
  // a number is refused); nullopt when cancelled or empty.
  std::optional<int16_t> EnterSetpoint();
  void menuOVXSelfOptimizing_Click();
  void SelfOptimizing(int16_t W);
  // "Load PID's" and "Save PID's" of the File menu, from and to the fields.
  void menuLoadPID_Click();
  void menuFileSavePID_Click();

  // An event of an operation, at the clock's time now.
  void post(OperationEvent event);
  // The end of a run, by the alarm when it stopped it.
  OperationEvent runEnded(OperationEvent::Run run) const;

  // The long operation in progress, from its first step to its end.
  LongOperation longOperation() const { return long_; }
  // Claims the controller for `kind`. While another long operation runs, a
  // box names it and nothing is claimed: the caller sends nothing and stops.
  std::optional<LongClaim> beginLong(LongOperation kind);

 private:
  // Self-optimizing once the controller is claimed for it.
  void selfOptimize(int16_t W);
  // Reads the data block, again while the operator chooses Retry in a box,
  // and tells how the last read went.
  Outcome checkConnection(bool showMessages);
  void switchHeater(bool on, bool byAlarm);
  // A main-window field does not hold a 16-bit number (Load/Save PID's).
  void refusePidField(const char* name, const QLineEdit* field, const QString& title,
                      const QString& consequence);

  Platform& platform_;
  const Settings& settings_;
  Link& link_;
  Commands& commands_;
  PidStore& pidStore_;
  Recorder& recorder_;
  frmOVX& form_;
  LongOperation long_ = LongOperation::None;
  int busy_ = 0;
  bool stoppedByAlarm_ = false;
  bool alarmSwitching_ = false;
};

}  // namespace ovx
