// The versions of "pid.par" that the crash test's saver writes: eight PID
// lines, setpoints 100 to 800; save k stores P = I = D = k for setpoint
// 100 * (k % 8 + 1), so every version is known byte for byte. Version 0 is
// the starting file.
#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstdint>

namespace ovx::test {

inline int16_t PidSetpoint(int k) {
  return static_cast<int16_t>(100 * (k % 8 + 1));
}

inline QByteArray PidVersion(int k) {
  QByteArray text;
  for (int line = 0; line < 8; ++line) {
    const QByteArray last = QByteArray::number(std::max(k - ((k - line) % 8 + 8) % 8, 0));
    text += QByteArray::number(PidSetpoint(line)) + "=P" + last + "I" + last + "D" + last + "\r\n";
  }
  return text;
}

}  // namespace ovx::test
