// "pid.par": proven PID sets per setpoint, and the File menu commands that
// load and save them.
#pragma once

#include <QString>
#include <cstdint>

#include "pidstore/pidtext.h"

class QLineEdit;

namespace ovx {

class Program;

class PidFile {
 public:
  explicit PidFile(Program& program) : p_(program) {}

  // Creates "pid.par" with its default line when it is missing.
  void CreateDefaultFile();
  // The set of the first PID line whose setpoint is >= the one asked for;
  // the default set 48, 8, 2 when there is none.
  PidSet ReadPIDSet(int16_t setpoint);
  // Stores a set, replacing the line of an equal setpoint; false when the
  // file could not be written (the operator has been told).
  bool WritePIDSet(int16_t setpoint, int16_t P, int16_t I, int16_t D);

  void menuLoadPID_Click();
  void menuFileSavePID_Click();

  QString parPath() const;

 private:
  // A file operation failed: beep and tell the operator.
  void tellFailure(const QString& text);
  // A main-window field does not hold a 16-bit number.
  void refuseField(const char* name, const QLineEdit* field, const QString& title,
                   const QString& consequence);
  Program& p_;
};

}  // namespace ovx
