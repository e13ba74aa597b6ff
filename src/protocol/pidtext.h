// The text of "pid.par": one PID set per line, "900=P48I8D2", ordered by
// setpoint. A PID line begins with a number, its setpoint, and holds "P",
// "=", "I" and "D"; every other line is a remark that lookups pass over and
// rewrites keep in place. Lookup and rewrite work on the file's bytes alone.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace ovx {

struct PidSet {
  int16_t P = 48, I = 8, D = 2;
  bool operator==(const PidSet&) const = default;
};

struct PidLookup {
  enum class Result { None, Found, Invalid };
  Result result = Result::None;
  PidSet set;       // the set found (Found)
  QByteArray line;  // the selected line in upper case (Found, Invalid)
};

// The first PID line whose setpoint is >= the one asked for: its set, or
// Invalid when its letters stand out of order or a number does not fit 16
// bits; None when no line qualifies.
PidLookup LookupPidSet(const QByteArray& content, int16_t setpoint);

// The file's new content with the set stored for the setpoint. The first PID
// line whose setpoint is >= the new one decides: one of an equal setpoint is
// replaced, one of a larger setpoint gets the new line before it; without
// such a line the new one goes at the end. PID lines come out in upper case,
// every other line unchanged and in place; all lines end with CR LF.
QByteArray RewritePidText(const QByteArray& content, int16_t setpoint, const PidSet& set);

}  // namespace ovx
