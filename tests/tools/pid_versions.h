// The versions of "pid.par" that the crash test's saver writes: version k
// holds eight lines, one per setpoint 100, 200, ... 800; save k stores the set
// of version k for setpoint k mod 8, so every version is known byte for byte.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace ovx::test {

inline constexpr int kPidSetpoints = 8;

struct PidSave {
  int16_t setpoint, P, I, D;
};

// The set that save k stores (k = 1, 2, ... below 30000).
inline PidSave PidSaveOf(int k) {
  const int index = k % kPidSetpoints;
  return {static_cast<int16_t>(100 * (index + 1)), static_cast<int16_t>(k),
          static_cast<int16_t>((7 * k) % 5000), static_cast<int16_t>((13 * k + index) % 1000)};
}

// The whole file after save k; version 0 is the starting file.
inline QByteArray PidVersion(int k) {
  QByteArray text;
  for (int index = 0; index < kPidSetpoints; ++index) {
    // The last save of this line, if any.
    const int last = k - ((k - index) % kPidSetpoints + kPidSetpoints) % kPidSetpoints;
    const PidSave s = last > 0 ? PidSaveOf(last) : PidSave{int16_t(100 * (index + 1)), 0, 0, 0};
    text += QByteArray::number(s.setpoint) + "=P" + QByteArray::number(s.P) + "I" +
            QByteArray::number(s.I) + "D" + QByteArray::number(s.D) + "\r\n";
  }
  return text;
}

}  // namespace ovx::test
