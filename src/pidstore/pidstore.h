// "pid.par": proven PID sets per setpoint, read and written on their own.
// The File menu commands that take the sets from the main window's fields
// live with the window.
#pragma once

#include <QString>
#include <cstdint>

#include "platform/platform.h"
#include "protocol/pidtext.h"
#include "protocol/settings.h"

namespace ovx {

class PidStore {
 public:
  PidStore(Platform& platform, const Settings& settings)
      : platform_(platform), settings_(settings) {}

  // Creates "pid.par" with its default line when it is missing.
  void CreateDefaultFile();
  // The set of the first PID line whose setpoint is >= the one asked for;
  // the default set 48, 8, 2 when there is none. `fromFile` tells which.
  PidSet ReadPIDSet(int16_t setpoint, bool* fromFile = nullptr);
  // Stores a set, replacing the line of an equal setpoint; false when the
  // file could not be written (the operator has been told).
  bool WritePIDSet(int16_t setpoint, int16_t P, int16_t I, int16_t D);

  QString parPath() const;

 private:
  // A file operation failed: beep and tell the operator.
  void tellFailure(const QString& text);
  Platform& platform_;
  const Settings& settings_;
};

}  // namespace ovx
