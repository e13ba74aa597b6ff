// The controller operations behind the main window.
#pragma once

#include <cstdint>
#include <optional>

class QLineEdit;

namespace ovx {

class Program;

class Operations {
 public:
  explicit Operations(Program& program) : p_(program) {}

  // Reads the data block once: -1 answered, 1 no answer, 3 invalid answer.
  int OVX_Check(bool ShowMessages);
  // The start-up check; ends the program unless the controller answers.
  void StartupCheck();
  // The quit check; sets Cancel when the operator keeps the program running.
  void QuitCheck(bool& Cancel);

  // Heater output on (true) or off: read, write only when it changes, read.
  void SwitchHeaterOutput(bool on);
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
  // Enter (13) or Escape (27) typed into W, P, I or D.
  void FieldKeyPress(QLineEdit* field, int key);

 private:
  Program& p_;
};

}  // namespace ovx
